#include "window/warning_bar.h"

#include "datalog/take_store.h"
#include "render/shown_text.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

#include <string_view>

namespace dlv {

QStringList readWarningTexts(const ReadResult& result)
{
    QStringList texts;
    for (const auto& warning : result.warnings)
        texts << shownQString(std::string_view(warning.message));
    return texts;
}

WarningBar::WarningBar(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("WarningBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    // The colours of a note, whatever the style: dark text on pale yellow.
    QPalette note = palette();
    note.setColor(QPalette::Window, QColor(0xFF, 0xF4, 0xC2));
    note.setColor(QPalette::WindowText, QColor(0x3A, 0x2E, 0x00));
    setPalette(note);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 3, 3);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("WarningText"));
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_close = new QToolButton(this);
    m_close->setObjectName(QStringLiteral("WarningClose"));
    m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    m_close->setToolTip(tr("Dismiss"));
    m_close->setAutoRaise(true);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_close, 0, Qt::AlignTop);
    connect(m_close, &QToolButton::clicked, this, [this] {
        dismiss();
        emit dismissed();
    });
    hide();
}

void WarningBar::showWarnings(const QString& fileName, const QStringList& warnings, const QString& details)
{
    m_warnings.clear();
    for (QString warning : warnings) {
        if (!warning.isEmpty())
            warning[0] = warning[0].toUpper();
        m_warnings << warning;
    }
    if (m_warnings.isEmpty() && details.isEmpty()) {
        hide();
        return;
    }
    // How a log of another format was read heads the bar; warnings follow.
    if (m_warnings.isEmpty())
        m_text->setText(tr("%1: %2").arg(fileName, details));
    else if (details.isEmpty())
        m_text->setText(tr("%1 was read, but:").arg(fileName) + QLatin1Char('\n') + m_warnings.join(QLatin1Char('\n')));
    else
        m_text->setText(tr("%1 (%2) was read, but:").arg(fileName, details) + QLatin1Char('\n') +
                        m_warnings.join(QLatin1Char('\n')));
    show();
}

QString WarningBar::text() const
{
    return m_text->text();
}

void WarningBar::dismiss()
{
    hide();
}

}  // namespace dlv
