// The window in daily use, through real widgets and events: a view that
// stays at the newest takes while another tab is on show, failed reads that
// leave no progress dialog behind, files that are plainly no log, a line of
// units read as take 0, what Grid1 says of its takes, the window title and
// the empty window's hint, and File, Recent Logs.
#include "window/form1.h"

#include "support/temp_logs.h"
#include "support/window_fixture.h"
#include "window/cell_grid.h"
#include "window/tables_tab.h"

#include "views/log_document.h"
#include "window/warning_bar.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QFileDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QTabBar>
#include <QStyle>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using dlv::CellGrid;
using dlv::CellRange;

namespace {

// "t", names Time,Val, then takes t = first .. last holding t / 10 and 2t.
std::string takes(int first, int last)
{
    std::string out;
    for (int t = first; t <= last; ++t)
        out += std::to_string(t / 10.0) + "," + std::to_string(2 * t) + "\n";
    return out;
}
const std::string kHeader = "t\nTime,Val\n";

class DailyUseTest : public dlvtest::LogWindowFixture {
protected:
    void SetUp() override
    {
        LogWindowFixture::SetUp();
        tabs = form->findChild<QTabWidget*>("Tab1");
    }
    [[nodiscard]] bool columnInView(int col) const
    {
        const int section = col - grid1->pageFirstColumn();
        return section >= 0 && section < grid1->model()->columnCount() &&
               grid1->viewport()->rect().contains(grid1->visualRect(grid1->model()->index(0, section)));
    }

    [[nodiscard]] QString warningText() const { return form->findChild<dlv::WarningBar*>("WarningBar")->text(); }
    [[nodiscard]] QString statusLine() const { return form->findChild<QLabel*>("cellStatus")->text(); }
    [[nodiscard]] QLabel* emptyHint() const { return form->findChild<QLabel*>("emptyHint"); }
    // The tooltip of row 0 over grid column col, as hovering shows it.
    [[nodiscard]] QString headerTip(int col) const
    {
        QHeaderView* header = grid1->horizontalHeader();
        const int section = col - grid1->pageFirstColumn();
        const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
        QHelpEvent hover(QEvent::ToolTip, at, header->viewport()->mapToGlobal(at));
        QApplication::sendEvent(header->viewport(), &hover);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }
    [[nodiscard]] QList<QAction*> recentItems() const
    {
        QList<QAction*> items;
        for (QAction* action : form->findChild<QMenu*>("mnuRecentLogs")->actions())
            if (action->objectName().startsWith("mnuRecentLog"))
                items << action;
        return items;
    }

    QTabWidget* tabs = nullptr;
};

}  // namespace

TEST_F(DailyUseTest, AViewAtTheNewestTakesStaysThereWhileAnotherTabIsOnShow)
{
    openLog(kHeader + takes(0, 999));
    grid1->selectGridRow(2);
    QTest::keyClick(grid1, Qt::Key_End);
    ASSERT_TRUE(columnInView(grid1->ColCount() - 1));
    for (const char* other : {"BLM", "Charts"}) {
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->tabText(i) == other)
                tabs->setCurrentIndex(i);
        append(takes(1000 + 0, 1000 + 299));
        QTest::keyClick(form.get(), Qt::Key_F5);
        ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
        tabs->setCurrentIndex(0);
        QApplication::processEvents();
        EXPECT_TRUE(columnInView(grid1->ColCount() - 1)) << other;
        EXPECT_EQ(grid1->SelectedRow(), 2);
        // Back at the start, it stays there too.
        QTest::keyClick(grid1, Qt::Key_Home);
        tabs->setCurrentIndex(1);
        QTest::keyClick(form.get(), Qt::Key_F5);
        tabs->setCurrentIndex(0);
        QApplication::processEvents();
        EXPECT_TRUE(columnInView(1)) << other;
        QTest::keyClick(grid1, Qt::Key_End);
    }
}

TEST_F(DailyUseTest, EachOpenLogKeepsItsPlaceAtTheNewestTakesAndTheTitleFollowsTheLogOnShow)
{
    const std::string first = logs.write("first.csv", kHeader + takes(0, 999));
    const std::string second = logs.write("second.csv", kHeader + takes(0, 999));
    form->openFile(QString::fromStdString(first));
    grid1->selectGridRow(2);
    QTest::keyClick(grid1, Qt::Key_End);
    form->openFile(QString::fromStdString(second));
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    EXPECT_EQ(form->windowTitle(), QString("second.csv \u2014 ") + dlv::programName());
    grid1->selectGridRow(2);
    QTest::keyClick(grid1, Qt::Key_Home);
    auto* logTabs = form->findChild<QTabBar*>("LogTabs");
    const auto showLog = [&](int index) {
        QTest::mouseClick(logTabs, Qt::LeftButton, {}, logTabs->tabRect(index).center());
        QApplication::processEvents();
    };

    // On the BLM tab both logs grow and are read again, each while on show.
    tabs->setCurrentIndex(1);
    for (const std::string& log : {first, second})
        std::ofstream(log, std::ios::binary | std::ios::app) << takes(1000, 1299);
    for (const int index : {0, 1}) {
        showLog(index);
        QTest::keyClick(form.get(), Qt::Key_F5);
        ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    }
    showLog(0);
    EXPECT_EQ(form->windowTitle(), QString("first.csv \u2014 ") + dlv::programName());
    tabs->setCurrentIndex(0);
    QApplication::processEvents();
    EXPECT_TRUE(columnInView(grid1->ColCount() - 1)) << "the first log's view stays at its newest takes";
    EXPECT_EQ(grid1->ColCount(), 1301);
    showLog(1);
    EXPECT_EQ(form->windowTitle(), QString("second.csv \u2014 ") + dlv::programName());
    EXPECT_TRUE(columnInView(1)) << "the second log's view stays at its start";
    EXPECT_FALSE(columnInView(grid1->ColCount() - 1));

    // Closed one by one: the title follows, and the empty window says how to start.
    form->findChild<QAction*>("mnuClose")->trigger();
    EXPECT_EQ(form->windowTitle(), QString("first.csv \u2014 ") + dlv::programName());
    EXPECT_FALSE(emptyHint()->isVisible());
    form->findChild<QAction*>("mnuClose")->trigger();
    EXPECT_EQ(form->windowTitle(), dlv::programName());
    EXPECT_TRUE(emptyHint()->isVisible());
    EXPECT_EQ(statusLine(), "");
}

TEST_F(DailyUseTest, AFailedReadLeavesTheErrorAloneWithNoProgressDialogOverIt)
{
    // The dialog would come after 30 ms; the error box stays up longer.
    form->setProgressDelay(std::chrono::milliseconds(30));
    QStringList dialogsUnderTheError;
    form->setMessageHandler([&](dlv::Form1::MessageKind, const QString&, const QString& text) {
        errors << text;
        QTest::qWait(150);  // the error box's own event loop
        for (const QProgressDialog* dialog : form->findChildren<QProgressDialog*>())
            if (dialog->isVisible())
                dialogsUnderTheError << text;
    });
    const std::string empty = logs.write("empty.csv", "");
    const std::string missing = logs.path("missing.csv");
    for (const std::string& bad : {empty, logs.dir().string(), missing}) {
        nextName = QString::fromStdString(bad);
        form->findChild<QAction*>("mnuOpen")->trigger();
        QTest::qWait(100);  // after the error: still none
        for (const QProgressDialog* dialog : form->findChildren<QProgressDialog*>())
            EXPECT_FALSE(dialog->isVisible()) << bad;
    }
    ASSERT_EQ(errors.size(), 3) << errors.join("; ").toStdString();
    EXPECT_TRUE(dialogsUnderTheError.isEmpty()) << dialogsUnderTheError.join("; ").toStdString();
    EXPECT_EQ(form->document(), nullptr);
}

TEST_F(DailyUseTest, AFilePlainlyNotALogIsAskedAboutBeforeItTakesTheLogOnShowsPlace)
{
    std::string program = std::string("\x7f" "ELF\x02\x01\x01", 7);
    while (program.size() < 20000)
        program += std::string(6, '\0') + "\x90\xe8\x01\n";
    const std::string binary = logs.write("ls", program);
    // An empty window has nothing to lose: the file opens, the bar says what it is.
    form->setQuestionHandler([](const QString&, const QString&) {
        ADD_FAILURE() << "asked in an empty window";
        return false;
    });
    form->openFile(QString::fromStdString(binary));
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    EXPECT_TRUE(warningText().contains("'ls' is not a text file: ")) << warningText().toStdString();
    form->findChild<QAction*>("mnuClose")->trigger();

    openLog(kHeader + takes(0, 99));
    const int columns = grid1->ColCount();
    QStringList questions;
    bool answer = false;
    int readings = 0;
    QObject::connect(form.get(), &dlv::Form1::loadStarted, form.get(), [&] { ++readings; });
    form->setQuestionHandler([&](const QString&, const QString& text) {
        questions << text;
        return answer;
    });

    // Through the menu, as a user opens it.
    nextName = QString::fromStdString(binary);
    form->findChild<QAction*>("mnuOpen")->trigger();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].startsWith("'ls' is not a text file: ")) << questions[0].toStdString();
    EXPECT_TRUE(questions[0].contains("control characters or not UTF-8")) << questions[0].toStdString();
    EXPECT_TRUE(questions[0].contains("Open it anyway? It comes on show in place of 'log.csv', which stays open."))
        << questions[0].toStdString();
    EXPECT_EQ(readings, 0) << "asked before a byte is read";
    EXPECT_EQ(form->documents().size(), 1u) << "cancelled: nothing opened";
    EXPECT_EQ(form->document()->path().filename(), "log.csv");
    EXPECT_EQ(grid1->ColCount(), columns);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();

    // Opened all the same, beside the log; read again, it is not asked about again.
    answer = true;
    form->findChild<QAction*>("mnuOpen")->trigger();
    EXPECT_EQ(questions.size(), 2);
    EXPECT_EQ(form->documents().size(), 2u);
    EXPECT_EQ(form->document()->path().filename(), "ls");
    QTest::keyClick(form.get(), Qt::Key_F5);
    EXPECT_EQ(questions.size(), 2);

    // Logs with odd bytes open as before, without a question.
    openLog(kHeader + "1," + std::string(40, '\0') + "\n" + takes(1, 20));
    EXPECT_EQ(questions.size(), 2);
    EXPECT_EQ(form->document()->path().filename(), "log.csv");
}

TEST_F(DailyUseTest, ALineOfUnitsReadAsTakeZeroIsNamedInTheWarningBar)
{
    openLog("t\nTime,Val\ns,rpm\n" + takes(1, 50));
    EXPECT_TRUE(warningText().contains("take 0 (line 3) holds no numbers", Qt::CaseInsensitive)) << warningText().toStdString();
    openLog(kHeader + takes(0, 50));
    EXPECT_FALSE(form->findChild<dlv::WarningBar*>("WarningBar")->isVisible());
}

// Whether a log has a time is a pass over a whole column: on a log of more
// than a million takes the first selection's curve does not wait for it.
TEST_F(DailyUseTest, OnALongLogTheStatusLineTellsTheTimeOnceTheSelectionIsPainted)
{
    std::string log = kHeader;
    log.reserve(16u << 20);
    for (int t = 0; t <= 1000000; ++t)
        log += std::to_string(t) + ",7\n";
    openLog(log);
    grid1->setFocus();
    grid1->selectGridRow(2);
    const QString first = statusLine();
    EXPECT_TRUE(first.startsWith("Val, take ")) << first.toStdString();
    EXPECT_FALSE(first.contains(" at ")) << "no time yet: " << first.toStdString();
    QTRY_VERIFY_WITH_TIMEOUT(statusLine().contains(" s: 7"), 10000);
    EXPECT_TRUE(statusLine().startsWith(first.section(':', 0, 0) + " at ")) << statusLine().toStdString();
    // Known from then on: the next cell tells its time at once.
    QTest::keyClick(grid1, Qt::Key_Right);
    EXPECT_TRUE(statusLine().contains(" at ")) << statusLine().toStdString();
}

TEST_F(DailyUseTest, TakesAreToldOnHoverAndInTheStatusLineWhileRowZeroStaysEmpty)
{
    EXPECT_EQ(form->windowTitle(), dlv::programName());
    ASSERT_TRUE(emptyHint()->isVisible());
    EXPECT_EQ(emptyHint()->text(), "Open a log with File, Open or drop one here");
    EXPECT_TRUE(grid1->viewport()->rect().contains(emptyHint()->geometry()));

    openLog(kHeader + takes(0, 99));
    EXPECT_EQ(form->windowTitle(), QString("log.csv \u2014 ") + dlv::programName());
    EXPECT_FALSE(emptyHint()->isVisible());
    // Parameter 0 is a time: the take and its time.
    EXPECT_EQ(headerTip(6), "Take 5 at 0.500000 s");
    for (int col = 1; col < grid1->ColCount(); ++col)
        ASSERT_EQ(grid1->CellText(CellRange::cell(0, col)), "") << col;

    // A click on a cell, then the keys: the status line follows the current cell.
    const QModelIndex index = grid1->model()->index(1, 3 - grid1->pageFirstColumn());
    QTest::mouseClick(grid1->viewport(), Qt::LeftButton, {}, grid1->visualRect(index).center());
    EXPECT_EQ(statusLine(), "Val, take 2 at 0.200000 s: 4");
    QTest::keyClick(grid1, Qt::Key_Right);
    EXPECT_EQ(statusLine(), "Val, take 3 at 0.300000 s: 6");
    // It tells of Grid1: on another tab it is out of the way.
    auto* status = form->findChild<QLabel*>("cellStatus");
    tabs->setCurrentIndex(1);
    EXPECT_FALSE(status->isVisible());
    tabs->setCurrentIndex(0);
    EXPECT_TRUE(status->isVisible());

    // Without a time channel, the take alone.
    openLog("t\nGear,Val\n3,1\n2,2\n3,3\n1,4\n");
    EXPECT_EQ(headerTip(2), "Take 1");
    grid1->setFocus();
    grid1->selectGridRow(1);
    QTest::keyClick(grid1, Qt::Key_End);
    const int last = grid1->ColCount() - 1;
    EXPECT_EQ(statusLine(), QString("Gear, take %1: %2").arg(last - 1).arg(grid1->CellText(CellRange::cell(1, last))));
}

TEST_F(DailyUseTest, RecentLogsListTheLastTenOpenedAndTheOpenDialogStartsInTheLastFolder)
{
    form->clearRecentLogs();
    const QAction* none = form->findChild<QMenu*>("mnuRecentLogs")->actions().constFirst();
    EXPECT_FALSE(none->isEnabled());
    std::vector<std::string> paths;
    for (int i = 0; i < 12; ++i) {
        paths.push_back(logs.write("drive" + std::to_string(i) + ".csv", kHeader + takes(0, 10 + i)));
        form->openFile(QString::fromStdString(paths.back()));
    }
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    ASSERT_EQ(recentItems().size(), 10);
    EXPECT_TRUE(recentItems()[0]->text().endsWith("drive11.csv")) << recentItems()[0]->text().toStdString();
    EXPECT_TRUE(recentItems()[9]->text().endsWith("drive2.csv")) << recentItems()[9]->text().toStdString();

    // Chosen from the menu: that log opens and goes first.
    recentItems()[4]->trigger();
    EXPECT_EQ(form->document()->path().filename(), "drive7.csv");
    EXPECT_TRUE(recentItems()[0]->text().endsWith("drive7.csv"));
    EXPECT_EQ(form->recentLogs().size(), 10u);

    // Kept in the settings: a new window lists them too, and its open dialog
    // starts in the folder of the last log.
    dlv::Form1 next;
    EXPECT_EQ(next.recentLogs(), form->recentLogs());
    const auto* dialog = next.findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(std::filesystem::path(dialog->directory().absolutePath().toStdString()),
              std::filesystem::path(paths[7]).parent_path());

    // A log gone since: a message, and the list keeps it for when it is back.
    std::filesystem::remove(paths[7]);
    recentItems()[0]->trigger();
    EXPECT_EQ(errors.size(), 1);
    form->findChild<QAction*>("mnuClearRecentLogs")->trigger();
    EXPECT_TRUE(recentItems().isEmpty());
    EXPECT_TRUE(form->recentLogs().empty());
}

TEST_F(DailyUseTest, ColumnsAreAsWideAsTheirWidestValueOnLogsOfAnyLength)
{
    // Texts as the grid's cells are drawn: the delegate's margins each side
    // and the grid line; what does not fit is cut with an ellipsis.
    const int margins = 2 * (grid1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid1) + 1) + 1;
    const QFontMetrics metrics(grid1->font());
    const auto cutCells = [&] {
        QStringList cut;
        const int shown = std::min(grid1->model()->columnCount(), 200);
        for (int section = 0; section < shown; ++section) {
            const int col = grid1->pageFirstColumn() + section;
            const int room = grid1->columnWidth(section) - margins;
            for (int row = 1; row < grid1->RowCount(); ++row) {
                const QString text = grid1->shownCellText(row, col);
                if (metrics.elidedText(text, Qt::ElideRight, room) != text)
                    cut << QString("%1 in column %2").arg(text).arg(col);
            }
        }
        return cut;
    };
    for (const int count : {3, 50, 400, 5000}) {
        std::string log = "t\nTIME,CLT,SPARK,BATT,O2MV,INJPW\n";
        for (int t = 0; t < count; ++t)
            log += std::to_string(t / 1000) + "." + std::to_string(1000 + t % 1000).substr(1) + ",20,22.6," +
                   (t % 7 ? "13.6" : "14.10") + "," + std::to_string(-138 + t % 2000) + ",2.720\n";
        openLog(log);
        EXPECT_TRUE(cutCells().isEmpty()) << count << " takes: " << cutCells().join(", ").toStdString();
        QTest::keyClick(form.get(), Qt::Key_F5);
        EXPECT_TRUE(cutCells().isEmpty()) << count << " takes, F5: " << cutCells().join(", ").toStdString();
    }
}

TEST_F(DailyUseTest, ACorrectionsPastedMapLocksAndLimitComeBackWithTheWorkspace)
{
    const std::string log = "title\nTIME,RPM,MAP,BLM\n0,800,30,120\n1,800,30,124\n2,1200,40,130\n"
                            "3,1200,40,134\n4,1600,50,128\n5,800,30,110\n";
    const std::string workspace = logs.path("tuned.json");
    const auto setUpTables = [&](dlv::Form1& window) {
        window.setPathChooser([&](const QString&, bool) { return QString::fromStdString(workspace); });
        auto* tabs1 = window.findChild<QTabWidget*>("Tab1");
        tabs1->setCurrentWidget(window.tablesTab());
        QApplication::processEvents();
        return window.tablesTab();
    };
    openLog(log);
    dlv::TablesTab* tables = setUpTables(*form);
    for (const auto& [name, text] : {std::pair{"axisX", "30 40 50"}, std::pair{"axisY", "800 1200 1600"}}) {
        auto* axis = tables->findChild<QLineEdit*>(name);
        axis->setFocus();
        axis->selectAll();
        QTest::keyClicks(axis, text);
        QTest::keyClick(axis, Qt::Key_Return);
    }
    QApplication::clipboard()->setText("100.5\t101\t102\n110\t111\t112\n120\t121\t122\n");
    tables->findChild<QPushButton*>("pasteMap")->click();
    ASSERT_EQ(tables->suggestedMap().size(), 9u);
    // A double-click on the suggested cell of RPM 1200, MAP 50 locks it.
    auto* suggested = tables->findChild<CellGrid*>("suggestedGrid");
    const QModelIndex cell = suggested->model()->index(1, 3 - suggested->pageFirstColumn());
    QTest::mouseDClick(suggested->viewport(), Qt::LeftButton, {}, suggested->visualRect(cell).center());
    auto* limit = tables->findChild<QDoubleSpinBox*>("limitPercent");
    limit->setFocus();
    limit->selectAll();
    QTest::keyClicks(limit, "4.5");
    QTest::keyClick(limit, Qt::Key_Return);
    ASSERT_EQ(limit->value(), 4.5);
    const std::vector<dlv::CorrectedCell> before = tables->suggestedMap();
    form->findChild<QAction*>("mnuSaveWorkspace")->trigger();
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();

    // Another window, the same log, the workspace opened: the same corrections.
    dlv::Form1 next;
    next.setMessageHandler([&](dlv::Form1::MessageKind, const QString&, const QString& text) { errors << text; });
    next.show();
    next.openFile(QString::fromStdString(path));
    dlv::TablesTab* again = setUpTables(next);
    next.findChild<QAction*>("mnuOpenWorkspace")->trigger();
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    EXPECT_EQ(again->findChild<QDoubleSpinBox*>("limitPercent")->value(), 4.5);
    ASSERT_EQ(again->suggestedMap().size(), before.size());
    int locked = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(again->suggestedMap()[i].value, before[i].value) << i;
        EXPECT_EQ(again->suggestedMap()[i].kind, before[i].kind) << i;
        locked += before[i].kind == dlv::CorrectionKind::Locked ? 1 : 0;
    }
    EXPECT_EQ(locked, 1);
    // Shown with the pasted map's one decimal, as before.
    auto* shown = again->findChild<CellGrid*>("suggestedGrid");
    EXPECT_EQ(shown->CellText(CellRange::cell(1, 1)), suggested->CellText(CellRange::cell(1, 1)));
    EXPECT_TRUE(shown->CellText(CellRange::cell(1, 1)).contains('.')) << shown->CellText(CellRange::cell(1, 1)).toStdString();
}
