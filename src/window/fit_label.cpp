#include "window/fit_label.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>

namespace dlv {

FitLabel::FitLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

const FitLabel::Fit& FitLabel::fit() const
{
    const QSize box = contentsRect().size();
    if (m_fit.text == text() && m_fit.box == box && m_fit.base == font() && !m_fit.shown.isNull())
        return m_fit;
    m_fit = Fit{text(), box, font(), font(), text()};
    const double width = box.width();
    const double height = box.height();
    for (double size = font().pointSizeF(); size >= kMinPointSize; size -= 0.5) {
        QFont candidate = font();
        candidate.setPointSizeF(size);
        m_fit.font = candidate;
        const QFontMetricsF metrics(candidate, this);
        if (metrics.horizontalAdvance(m_fit.text) <= width && metrics.height() <= height)
            return m_fit;
    }
    m_fit.shown = QFontMetricsF(m_fit.font, this).elidedText(m_fit.text, Qt::ElideRight, width);
    if (m_fit.shown.isNull())
        m_fit.shown = QStringLiteral("");
    return m_fit;
}

QFont FitLabel::shownFont() const
{
    return fit().font;
}

QString FitLabel::shownText() const
{
    return fit().shown;
}

void FitLabel::paintEvent(QPaintEvent*)
{
    const Fit& f = fit();
    QPainter painter(this);
    painter.setFont(f.font);
    style()->drawItemText(&painter, contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(), f.shown, foregroundRole());
}

}  // namespace dlv
