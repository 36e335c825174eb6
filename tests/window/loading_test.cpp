// Reading logs off the user-interface thread, through the real window: the
// progress dialog, Cancel and failures keeping the previous log, no second
// Open inside a first, file names that are not UTF-8, and bounded texts.
#include "datalog/display_text.h"
#include "support/temp_logs.h"
#include "views/log_document.h"
#include "window/cell_grid.h"
#include "window/fit_label.h"
#include "window/form1.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using dlv::CellGrid;
using dlv::CellRange;
using dlv::Form1;

namespace {

const std::string kFirst = "title\nTime,RPM\n0,800\n60,900\n750,1000\n";
const std::string kSecond = "title\nTime,RPM\n0,1800\n120,1900\n";

class LoadingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<Form1>();
        form->setMessageHandler([this](Form1::MessageKind kind, const QString&, const QString& text) {
            if (kind == Form1::MessageKind::Error)
                errors << text;
        });
        form->setFileNameChooser([this] { return nextName; });
        form->setProgressDelay(std::chrono::milliseconds(0));
        form->show();
        grid1 = form->findChild<CellGrid*>("Grid1");
        form->openFile(QString::fromStdString(logs.write("first.csv", kFirst)));
        ASSERT_EQ(cell(2, 3), "1000");
        grid1->selectGridRow(2);
        form->findChild<QAction*>("mnuBookMark")->trigger();
        ASSERT_EQ(grid1->CellBackColor(CellRange::cell(2, 0)), 255u);
        firstDocument = form->document();
    }

    // Readers that wait for the test: the real reading once `release` is set,
    // a failure once cancelled.
    void useGatedReader()
    {
        form->setLogReader([this](const std::filesystem::path& path, dlv::ReadControl& control) {
            ++reads;
            while (!release && !control.cancel)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return dlv::readDataLog(path, &control);
        });
    }
    // Runs `step` from the event loop once the progress dialog is up.
    void whenProgressShows(std::function<void(QProgressDialog*)> step)
    {
        auto* poll = new QTimer(form.get());
        QObject::connect(poll, &QTimer::timeout, poll, [this, poll, step] {
            if (auto* dialog = form->findChild<QProgressDialog*>("LoadProgress"); dialog && dialog->isVisible()) {
                poll->deleteLater();
                poll->stop();
                step(dialog);
            }
        });
        poll->start(5);
    }
    void expectFirstLogUntouched()
    {
        EXPECT_EQ(form->document(), firstDocument);
        EXPECT_EQ(cell(2, 3), "1000");
        EXPECT_EQ(grid1->CellBackColor(CellRange::cell(2, 0)), 255u);  // the bookmark stays
        EXPECT_EQ(form->findChild<QLabel*>("lblRunTime")->text(), "12.5 minutes (3 takes)");
        EXPECT_FALSE(form->isLoading());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    void drop(const QUrl& url)
    {
        QMimeData data;
        data.setUrls({url});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent dropEvent(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &dropEvent);
    }
    QString cell(int r, int c) const { return grid1->CellText(CellRange::cell(r, c)); }

    dlvtest::TempLogs logs;
    std::unique_ptr<Form1> form;
    CellGrid* grid1 = nullptr;
    std::shared_ptr<dlv::LogDocument> firstDocument;
    QString nextName;
    QStringList errors;
    std::atomic<int> reads{0};
    std::atomic<bool> release{false};
};

}  // namespace

TEST_F(LoadingTest, ProgressDialogShowsAndTheWindowKeepsPaintingWhileReading)
{
    useGatedReader();
    int ticks = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
    heartbeat.start(1);
    whenProgressShows([&](QProgressDialog* dialog) {
        EXPECT_TRUE(dialog->isModal() || dialog->windowModality() != Qt::NonModal);
        EXPECT_TRUE(dialog->labelText().contains("second.csv")) << dialog->labelText().toStdString();
        EXPECT_TRUE(dialog->labelText().contains("MB read"));
        QTimer::singleShot(30, [&] { release = true; });
    });
    QSignalSpy changed(form.get(), &Form1::documentChanged);
    form->openFile(QString::fromStdString(logs.write("second.csv", kSecond)));
    EXPECT_GT(ticks, 3);  // events went on while the log was read
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(cell(2, 1), "1800");
    EXPECT_NE(form->document(), firstDocument);
    EXPECT_EQ(form->document()->path().filename(), "second.csv");
    EXPECT_EQ(form->findChild<QProgressDialog*>("LoadProgress"), nullptr);
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(LoadingTest, CancelKeepsThePreviousLogViewsAndBookmarks)
{
    useGatedReader();
    whenProgressShows([](QProgressDialog* dialog) {
        dialog->findChild<QPushButton*>()->click();
    });
    QSignalSpy changed(form.get(), &Form1::documentChanged);
    form->openFile(QString::fromStdString(logs.write("second.csv", kSecond)));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    expectFirstLogUntouched();
}

TEST_F(LoadingTest, FailedReadingKeepsThePreviousLogAndSaysWhy)
{
    form->setLogReader([](const std::filesystem::path&, dlv::ReadControl&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        dlv::ReadResult failed;
        failed.error = "Cannot read 'broken.csv': input/output error";
        return failed;
    });
    nextName = "broken.csv";
    form->findChild<QAction*>("mnuOpen")->trigger();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("broken.csv"));
    expectFirstLogUntouched();
}

TEST_F(LoadingTest, OpenDropAndF5DuringALoadAreIgnoredNotNested)
{
    useGatedReader();
    const QString other = QString::fromStdString(logs.write("third.csv", kSecond));
    whenProgressShows([&](QProgressDialog*) {
        form->reloadCommand();
        form->findChild<QAction*>("actReload")->trigger();
        nextName = other;
        form->findChild<QAction*>("mnuOpen")->trigger();
        drop(QUrl::fromLocalFile(other));
        EXPECT_EQ(reads, 1);
        release = true;
    });
    form->openFile(QString::fromStdString(logs.write("second.csv", kSecond)));
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(form->document()->path().filename(), "second.csv");
    EXPECT_FALSE(form->isLoading());
}

TEST_F(LoadingTest, FileNamesThatAreNotUtf8OpenFromEveryRoad)
{
    const std::filesystem::path bad = logs.dir() / std::string("bad\xff\xfe.csv");
    std::ofstream(bad, std::ios::binary) << kSecond;
    form->openPath(bad);
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    EXPECT_EQ(form->document()->path(), bad);
    EXPECT_EQ(cell(2, 1), "1800");

    // F5 reads the same bytes again.
    std::ofstream(bad, std::ios::binary | std::ios::app) << "240,2000\n";
    form->reloadCommand();
    EXPECT_EQ(grid1->ColCount(), 4);

    // A drop carries the bytes percent-encoded in its URL.
    form->openFile(QString::fromStdString(logs.write("first.csv", kFirst)));
    drop(QUrl::fromEncoded("file://" + QByteArray::fromStdString(bad.native()).toPercentEncoding("/")));
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    EXPECT_EQ(form->document()->path(), bad);

    // A missing one is named in the message, its bytes shown as Latin-1.
    form->openPath(logs.dir() / std::string("gone\xff.csv"));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QString::fromUtf8("gone\xC3\xBF.csv"))) << errors[0].toStdString();
}

// A value of a megabyte stands for the 150 MB ones: what is shown, measured,
// copied and put in tooltips and labels stays a few thousand characters.
TEST_F(LoadingTest, HugeValueIsShownCutAndCostsNoMoreThanItsBound)
{
    const std::string huge(1u << 20, '\0');
    const std::string big(1u << 20, '8');
    form->openFile(QString::fromStdString(logs.write("huge.csv", "t\nA,B\n1," + huge + "\n2," + big + "\n3,4\n")));
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    const auto limit = static_cast<qsizetype>(dlv::kMaxShownChars + 1);
    const QVariant shown = grid1->model()->data(grid1->model()->index(1, 0));  // grid cell (2, 1)
    EXPECT_EQ(shown.toString().size(), limit);
    EXPECT_TRUE(shown.toString().endsWith(QChar(0x2026)));
    EXPECT_EQ(grid1->model()->data(grid1->model()->index(1, 1)).toString().size(), limit);
    EXPECT_LT(grid1->columnWidth(1), 100000);  // measured from the cut text

    grid1->selectGridRow(2);
    grid1->selectAll();
    const QString copied = grid1->copySelection();
    EXPECT_LT(copied.size(), 4 * limit);
    EXPECT_EQ(grid1->shownCellText(2, 1).size(), limit);

    auto* value = form->findChild<dlv::FitLabel*>("lblValue");
    value->setText(grid1->shownCellText(2, 1));
    EXPECT_LE(value->text().size(), limit);
    EXPECT_TRUE(value->shownText().endsWith(QChar(0x2026)));
    form->grab();  // paints every control without failing
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
}
