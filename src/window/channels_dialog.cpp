#include "window/channels_dialog.h"

#include "window/name_completer.h"
#include "window/tables_tab.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace dlv {

ChannelsDialog::ChannelsDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ChannelsDialog"));
    setWindowTitle(QStringLiteral("Calculated Channels"));
    setModal(false);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("channelList"));
    m_add = new QPushButton(QStringLiteral("&Add"), this);
    m_add->setObjectName(QStringLiteral("addChannel"));
    m_remove = new QPushButton(QStringLiteral("&Remove"), this);
    m_remove->setObjectName(QStringLiteral("removeChannel"));
    m_up = new QPushButton(QStringLiteral("&Up"), this);
    m_up->setObjectName(QStringLiteral("channelUp"));
    m_down = new QPushButton(QStringLiteral("&Down"), this);
    m_down->setObjectName(QStringLiteral("channelDown"));
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("channelName"));
    m_expr = new QLineEdit(this);
    m_expr->setObjectName(QStringLiteral("channelExpr"));
    m_expr->setPlaceholderText(QStringLiteral("e.g. O2MV / 100 + 10, or TPS - TPS[-1]"));
    m_completer = new NameCompleter(m_expr);
    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("channelError"));
    m_error->setTextFormat(Qt::RichText);
    m_error->setWordWrap(true);
    m_error->hide();

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_add, m_remove, m_up, m_down})
        buttons->addWidget(b);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Name:"), m_name);
    form->addRow(QStringLiteral("Expression:"), m_expr);
    form->addRow(QString(), m_error);
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Each channel may use the log's parameters and the channels above it."),
                                 this));
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    layout->addLayout(form);
    layout->addWidget(close);
    resize(460, 360);

    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_loading)
            return;
        m_current = row;
        loadEditor();
    });
    connect(m_name, &QLineEdit::textEdited, this, [this] { edited(); });
    connect(m_expr, &QLineEdit::textEdited, this, [this] { edited(); });
    connect(m_add, &QPushButton::clicked, this, [this] {
        m_channels.push_back({QStringLiteral("CH%1").arg(m_channels.size() + 1).toStdString(), "0"});
        m_current = static_cast<int>(m_channels.size()) - 1;
        refreshList();
        loadEditor();
        emit channelsEdited(m_channels);
        m_name->setFocus();
        m_name->selectAll();
    });
    connect(m_remove, &QPushButton::clicked, this, [this] {
        if (m_current < 0 || m_current >= static_cast<int>(m_channels.size()))
            return;
        m_channels.erase(m_channels.begin() + m_current);
        m_current = std::min(m_current, static_cast<int>(m_channels.size()) - 1);
        refreshList();
        loadEditor();
        emit channelsEdited(m_channels);
    });
    const auto move = [this](int by) {
        const int to = m_current + by;
        if (m_current < 0 || to < 0 || to >= static_cast<int>(m_channels.size()))
            return;
        std::swap(m_channels[static_cast<std::size_t>(m_current)], m_channels[static_cast<std::size_t>(to)]);
        m_current = to;
        refreshList();
        emit channelsEdited(m_channels);
    };
    connect(m_up, &QPushButton::clicked, this, [move] { move(-1); });
    connect(m_down, &QPushButton::clicked, this, [move] { move(+1); });
    loadEditor();
}

void ChannelsDialog::setChannels(const std::vector<Channel>& channels)
{
    m_channels = channels;
    m_current = m_channels.empty() ? -1 : std::clamp(m_current, 0, static_cast<int>(m_channels.size()) - 1);
    refreshList();
    loadEditor();
}

void ChannelsDialog::setNames(const QStringList& references)
{
    m_completer->setNames(references);
}

void ChannelsDialog::setErrors(const std::vector<EditorError>& errors)
{
    m_errorList = errors;
    showError();
}

void ChannelsDialog::selectChannel(int index)
{
    m_list->setCurrentRow(index);
}

void ChannelsDialog::refreshList()
{
    m_loading = true;
    m_list->clear();
    for (const Channel& channel : m_channels)
        m_list->addItem(QString::fromStdString(channel.name + " = " + channel.expr));
    m_list->setCurrentRow(m_current);
    m_loading = false;
}

void ChannelsDialog::loadEditor()
{
    const bool any = m_current >= 0 && m_current < static_cast<int>(m_channels.size());
    m_name->setEnabled(any);
    m_expr->setEnabled(any);
    m_remove->setEnabled(any);
    m_up->setEnabled(any && m_current > 0);
    m_down->setEnabled(any && m_current + 1 < static_cast<int>(m_channels.size()));
    m_name->setText(any ? QString::fromStdString(m_channels[static_cast<std::size_t>(m_current)].name) : QString());
    m_expr->setText(any ? QString::fromStdString(m_channels[static_cast<std::size_t>(m_current)].expr) : QString());
    showError();
}

void ChannelsDialog::edited()
{
    if (m_current < 0 || m_current >= static_cast<int>(m_channels.size()))
        return;
    Channel& channel = m_channels[static_cast<std::size_t>(m_current)];
    channel.name = m_name->text().toStdString();
    channel.expr = m_expr->text().toStdString();
    if (QListWidgetItem* item = m_list->item(m_current))
        item->setText(QString::fromStdString(channel.name + " = " + channel.expr));
    emit channelsEdited(m_channels);
}

void ChannelsDialog::showError()
{
    for (const EditorError& error : m_errorList)
        if (static_cast<int>(error.channel) == m_current) {
            m_error->setText(errorHtml(error));
            m_error->show();
            return;
        }
    m_error->clear();
    m_error->hide();
}

}  // namespace dlv
