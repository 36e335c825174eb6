// Form1's side of the log formats: File, Open As (a format named instead of
// told by the content), File, Properties, File, Export Log As CSV, and the
// channel filter above Grid1 for logs of hundreds of channels.
#include "window/form1.h"

#include "datalog/log_channels.h"
#include "views/log_document.h"
#include "views/log_export.h"
#include "views/log_properties.h"
#include "window/channel_filter_bar.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QSaveFile>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <thread>

namespace dlv {

namespace {

// Logs of another format with this many channels or more show the channel
// filter on their own.
constexpr int kFilterFromChannels = 64;

QAction* insertItem(QMenu* menu, QAction* before, const char* name, const QString& caption)
{
    auto* action = new QAction(caption, menu);
    action->setObjectName(QString::fromLatin1(name));
    menu->insertAction(before, action);
    return action;
}

}  // namespace

void Form1::buildFormatCommands()
{
    auto* file = menuBar()->findChild<QMenu*>(QStringLiteral("mnuFile"));
    auto* open = findChild<QAction*>(QStringLiteral("mnuOpen"));
    const QList<QAction*> items = file->actions();
    const qsizetype at = items.indexOf(open);
    QAction* afterOpen = at + 1 < items.size() ? items[at + 1] : nullptr;

    auto* openAs = new QMenu(QStringLiteral("Open &As"), file);
    openAs->setObjectName(QStringLiteral("mnuOpenAs"));
    file->insertMenu(afterOpen, openAs);
    const std::pair<LogFormat, QString> formats[] = {
        {LogFormat::Datalog, QStringLiteral("&Datalog (title, names, comma-separated takes)\u2026")},
        {LogFormat::Mlg, QStringLiteral("&MLG (binary)\u2026")},
        {LogFormat::Msl, QStringLiteral("M&SL (TAB-separated, with units)\u2026")},
        {LogFormat::Text, QStringLiteral("&Text (delimited, any separator)\u2026")},
    };
    for (const auto& [format, caption] : formats) {
        QAction* item = openAs->addAction(caption);
        item->setObjectName(QStringLiteral("mnuOpenAs_") + QString::fromLatin1(logFormatName(format)));
        connect(item, &QAction::triggered, this,
                [this, format = format] { runOpen([this, format] { return readChosenFile(format); }); });
    }

    auto* quit = findChild<QAction*>(QStringLiteral("mnuQuit"));
    m_mnuExportLog = insertItem(file, quit, "mnuExportLog", QStringLiteral("Export &Log As CSV\u2026"));
    connect(m_mnuExportLog, &QAction::triggered, this, [this] {
        const QString path = choosePath(QStringLiteral("Export Log As CSV"), true);
        if (!path.isEmpty())
            exportLogCsv(path);
    });
    m_mnuProperties = insertItem(file, quit, "mnuProperties", QStringLiteral("P&roperties\u2026"));
    connect(m_mnuProperties, &QAction::triggered, this, [this] { showProperties(); });
    file->insertSeparator(quit);

    // The channel filter sits between the reader's warnings and Grid1.
    m_channelFilter = new ChannelFilterBar(m_grid1);
    m_channelFilter->hide();
    if (auto* column = qobject_cast<QVBoxLayout*>(findChild<QWidget*>(QStringLiteral("GridArea"))->layout()))
        column->insertWidget(1, m_channelFilter);
    auto* view = menuBar()->findChild<QMenu*>(QStringLiteral("mnuView"));
    m_mnuChannelFilter = view->addAction(QStringLiteral("&Channel Filter"));
    m_mnuChannelFilter->setObjectName(QStringLiteral("mnuChannelFilter"));
    m_mnuChannelFilter->setCheckable(true);
    m_mnuChannelFilter->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    connect(m_mnuChannelFilter, &QAction::toggled, this, [this](bool on) {
        m_channelFilter->setVisible(on);
        if (on)
            m_channelFilter->lineEdit()->setFocus();
        else
            guarded("Filtering the channels", [this] { m_channelFilter->clear(); });
    });
    connect(this, &Form1::documentChanged, this, [this] {
        guarded("Filtering the channels", [this] {
            m_channelFilter->setLog(m_document ? m_document->sharedLog() : nullptr);
            if (!m_document)
                return;
            const LogChannels& log = m_document->log();
            const bool many = log.format() != LogFormat::Datalog && log.channelCount() >= kFilterFromChannels;
            if (many && !m_mnuChannelFilter->isChecked())
                m_mnuChannelFilter->setChecked(true);
        });
    });
    updateFormatCommands();
    connect(this, &Form1::documentChanged, this, [this] { updateFormatCommands(); });
}

void Form1::updateFormatCommands()
{
    m_mnuExportLog->setEnabled(m_document != nullptr);
    m_mnuProperties->setEnabled(m_document != nullptr);
}

QDialog* Form1::showProperties()
{
    if (!m_document)
        return nullptr;
    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("PropertiesDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Properties \u2014 %1").arg(programName()));
    auto* column = new QVBoxLayout(dialog);
    auto* form = new QFormLayout;
    for (const auto& [label, value] : logProperties(m_document->log(), m_document->path().filename().native())) {
        auto* text = new QLabel(QString::fromStdString(value));
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        text->setWordWrap(true);
        form->addRow(QString::fromStdString(label) + QLatin1Char(':'), text);
    }
    column->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    column->addWidget(buttons);
    dialog->show();
    return dialog;
}

bool Form1::exportLogCsv(const QString& path)
{
    if (!m_document)
        return false;
    // Written on a worker while the window paints and offers Cancel; the
    // file replaces the one named only once every byte is in.
    const std::shared_ptr<const LogChannels> log = m_document->sharedLog();
    const std::string title =
        exportTitle(m_document->path().filename().native(), *log, programName().toStdString());
    std::atomic<int> done{0};
    std::atomic<bool> cancel{false};
    QString error;
    bool written = false;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly)) {
                error = file.errorString();
            } else {
                written = exportLog(
                    *log, title,
                    [&file](std::string_view piece) {
                        return file.write(piece.data(), static_cast<qint64>(piece.size())) ==
                               static_cast<qint64>(piece.size());
                    },
                    [&](int takes) {
                        done = takes;
                        return !cancel.load();
                    });
                if (written)
                    written = file.commit();
                else
                    file.cancelWriting();
                if (!written && !cancel)
                    error = file.errorString();
            }
        } catch (const std::bad_alloc&) {
            error = QStringLiteral("not enough memory");
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    QProgressDialog progress(QStringLiteral("Exporting %1").arg(path), QStringLiteral("Cancel"), 0,
                             std::max(log->takeCount(), 1), this);
    progress.setObjectName(QStringLiteral("ExportProgress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, &progress, [&] { progress.setValue(done.load()); });
    connect(&progress, &QProgressDialog::canceled, &progress, [&] { cancel = true; });
    ticker.start(100);
    loop.exec();
    worker.join();
    ticker.stop();
    progress.reset();
    if (!written && !cancel)
        reportError(QStringLiteral("Cannot write '%1': %2").arg(path, error));
    return written;
}

QString Form1::readDetails() const
{
    return m_document ? QString::fromStdString(m_document->log().details().summary) : QString();
}

}  // namespace dlv
