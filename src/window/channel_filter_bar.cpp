#include "window/channel_filter_bar.h"

#include "datalog/display_text.h"
#include "datalog/log_channels.h"
#include "views/channel_filter.h"
#include "window/cell_grid.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace dlv {

ChannelFilterBar::ChannelFilterBar(CellGrid* grid, QWidget* parent) : QFrame(parent), m_grid(grid)
{
    setObjectName(QStringLiteral("ChannelFilter"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    m_edit = new QLineEdit;
    m_edit->setObjectName(QStringLiteral("channelFilterText"));
    m_edit->setPlaceholderText(QStringLiteral("Filter channels by name"));
    m_edit->setClearButtonEnabled(true);
    m_categories = new QComboBox;
    m_categories->setObjectName(QStringLiteral("channelFilterCategory"));
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("channelFilterStatus"));
    row->addWidget(m_edit, 1);
    row->addWidget(m_categories);
    row->addWidget(m_status);
    connect(m_edit, &QLineEdit::textChanged, this, [this] { apply(); });
    connect(m_categories, &QComboBox::currentIndexChanged, this, [this] { apply(); });
    setLog(nullptr);
}

void ChannelFilterBar::setLog(std::shared_ptr<const LogChannels> log)
{
    // The same log read again (F5, Follow Log) keeps what is filtered.
    const bool same = m_log && log && m_log->ParamNames() == log->ParamNames();
    m_log = std::move(log);
    if (same) {
        apply();
        return;
    }
    const QSignalBlocker blockEdit(m_edit);
    const QSignalBlocker blockCategories(m_categories);
    m_edit->clear();
    m_categories->clear();
    m_categories->addItem(QStringLiteral("All categories"));
    if (m_log)
        for (const std::string& category : channelCategories(*m_log))
            m_categories->addItem(QString::fromStdString(displayText(category)), QByteArray::fromStdString(category));
    m_categories->setVisible(m_categories->count() > 1);
    apply();
}

void ChannelFilterBar::apply()
{
    if (!m_grid)
        return;
    const std::string text = m_edit->text().toStdString();
    const std::string category = m_categories->currentData().toByteArray().toStdString();
    const int channels = m_log ? m_log->channelCount() : 0;
    int shown = 0;
    // Model row r is grid row r + 1, channel r; the last row (the empty
    // name) shows only while nothing is filtered.
    const bool everything = text.empty() && category.empty();
    for (int r = 0; r + 1 < m_grid->RowCount(); ++r) {
        const bool match = everything || (m_log && channelMatches(*m_log, r, text, category));
        m_grid->setRowHidden(r, !match);
        shown += match && r < channels ? 1 : 0;
    }
    m_status->setText(everything ? QStringLiteral("%1 channels").arg(channels)
                                 : QStringLiteral("%1 of %2 channels").arg(shown).arg(channels));
}

void ChannelFilterBar::clear()
{
    {
        const QSignalBlocker blockEdit(m_edit);
        const QSignalBlocker blockCategories(m_categories);
        m_edit->clear();
        m_categories->setCurrentIndex(0);
    }
    apply();
}

QString ChannelFilterBar::statusText() const
{
    return m_status->text();
}

}  // namespace dlv
