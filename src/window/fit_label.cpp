#include "window/fit_label.h"

#include <QPainter>
#include <QStyle>

namespace dlv {

FitLabel::FitLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

const FittedText& FitLabel::fit() const
{
    const QSize box = contentsRect().size();
    if (m_fitText != text() || m_fitBox != box || m_fitBase != font() || m_fit.shown.isNull()) {
        m_fitText = text();
        m_fitBox = box;
        m_fitBase = font();
        m_fit = fitText(m_fitText, m_fitBase, box, this, kMinPointSize);
    }
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
    const FittedText& f = fit();
    QPainter painter(this);
    painter.setFont(f.font);
    style()->drawItemText(&painter, contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(), f.shown, foregroundRole());
}

}  // namespace dlv
