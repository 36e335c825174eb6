// The "Tables" tab inside the window: its menu commands, cells to takes on
// the General tab's curve, and the BLM tab's note for logs laid out otherwise.
#include "window/form1.h"

#include "support/temp_logs.h"
#include "window/cell_grid.h"
#include "window/channels_dialog.h"
#include "window/curve_surface.h"
#include "window/tables_tab.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include "support/user_log.h"

#include <gtest/gtest.h>

using dlv::CellGrid;
using dlv::CellRange;
using dlv::Form1;

namespace {

using dlvtest::kUserLog;

class Form1TablesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<Form1>();
        form->setFileNameChooser([this] { return nextName; });
        form->setPathChooser([this](const QString& title, bool save) {
            titles << title;
            saves << save;
            return nextPath;
        });
        form->setMessageHandler([this](Form1::MessageKind kind, const QString&, const QString& text) {
            if (kind == Form1::MessageKind::Error)
                errors << text;
        });
        form->show();
        tabs = form->findChild<QTabWidget*>("Tab1");
        tables = form->tablesTab();
        tableGrid = form->findChild<CellGrid*>("tableGrid");
        grid1 = form->findChild<CellGrid*>("Grid1");
        picture1 = form->findChild<dlv::CurveSurface*>("Picture1");
        note = form->findChild<QLabel*>("blmNote");
        ASSERT_TRUE(tabs && tables && tableGrid && grid1 && picture1 && note);
    }

    void open(const std::string& path)
    {
        nextName = QString::fromStdString(path);
        trigger("mnuOpen");
    }
    void trigger(const char* action)
    {
        auto* a = form->findChild<QAction*>(action);
        ASSERT_TRUE(a) << action;
        a->trigger();
    }
    void clickTableCell(int r, int c)
    {
        const QModelIndex index = tableGrid->model()->index(r - 1, c - 1);
        tableGrid->scrollTo(index);
        QTest::mouseClick(tableGrid->viewport(), Qt::LeftButton, {}, tableGrid->visualRect(index).center());
    }
    QString fileText(const QString& path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<unreadable>");
    }

    dlvtest::TempLogs files;
    std::unique_ptr<Form1> form;
    QTabWidget* tabs = nullptr;
    dlv::TablesTab* tables = nullptr;
    CellGrid* tableGrid = nullptr;
    CellGrid* grid1 = nullptr;
    dlv::CurveSurface* picture1 = nullptr;
    QLabel* note = nullptr;
    QString nextName;
    QString nextPath;
    QStringList titles;
    QList<bool> saves;
    QStringList errors;
};

TEST_F(Form1TablesTest, TablesTabFollowsOtherAndShowsTheDefaultTableOfEachLog)
{
    EXPECT_EQ(tabs->tabText(2), "Other");
    EXPECT_EQ(tabs->indexOf(tables), 3);
    EXPECT_EQ(tabs->tabText(3), "Tables");
    open(files.write("user.csv", kUserLog));
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    // Out of view, the tab works nothing out; shown, it catches up.
    EXPECT_FALSE(tables->shownTable());
    tabs->setCurrentWidget(tables);
    ASSERT_TRUE(tables->shownTable());
    EXPECT_EQ(tableGrid->CellText(CellRange::cell(2, 2)), "118.00");
    EXPECT_EQ(form->findChild<QLineEdit*>("exprZ")->text(), "BLM");

    // In view, the next log reaches it at once.
    std::string other(kUserLog);
    other.replace(other.find("30,110"), 6, "30,116");
    open(files.write("other.csv", other));
    ASSERT_TRUE(tables->shownTable());
    EXPECT_EQ(tableGrid->CellText(CellRange::cell(2, 2)), "120.00");

    // Out of view again, it lets go of the log it showed: once that log is
    // closed, nothing keeps it in memory beside the others.
    tabs->setCurrentIndex(0);
    const std::weak_ptr<dlv::LogDocument> previous = form->document();
    form->closeLog(form->shownLogIndex());
    open(files.write("user.csv", kUserLog));
    EXPECT_FALSE(tables->shownTable());
    EXPECT_TRUE(previous.expired());
}

TEST_F(Form1TablesTest, BlmTabSaysWhyItIsEmptyOnlyWhenNoTakeHasItsFields)
{
    EXPECT_FALSE(note->isVisible());
    open(files.write("user.csv", kUserLog));
    tabs->setCurrentIndex(1);
    QApplication::processEvents();
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(note->text().contains("fields 224, 236 and 247"));
    EXPECT_TRUE(note->text().contains("\"Tables\" tab")) << note->text().toStdString();
    EXPECT_TRUE(note->text().contains("named RPM, MAP and BLM"));
    // The table itself is as it always was: labels and captions, empty cells.
    auto* grid2 = form->findChild<CellGrid*>("Grid2");
    EXPECT_EQ(grid2->CellText(CellRange::cell(0, 0)), "RPM/MAP");
    EXPECT_EQ(grid2->CellText(CellRange::cell(1, 0)), "400");
    EXPECT_EQ(grid2->CellText(CellRange::cell(2, 2)), "");
    EXPECT_GT(note->geometry().top(), grid2->verticalHeader()->length());

    // A log with the fields: no note.
    std::string wide = "title\n" + dlvtest::takeLine(250, {{224, "RPM"}, {236, "BLM"}, {247, "MAP"}}) + "\n";
    for (int t = 0; t < 3; ++t)
        wide += dlvtest::takeLine(250, {{224, "800"}, {236, "130"}, {247, "30"}}) + "\n";
    open(files.write("wide.csv", wide));
    EXPECT_FALSE(note->isVisible());
    EXPECT_EQ(grid2->CellText(CellRange::cell(2, 2)), "130");
}

TEST_F(Form1TablesTest, SelectedCellsMarkTheirTakesOnTheGeneralCurve)
{
    open(files.write("user.csv", kUserLog));
    tabs->setCurrentWidget(tables);
    clickTableCell(2, 2);  // RPM 800, MAP 30: takes 0, 1 and 5
    EXPECT_EQ(grid1->SelectedRow(0), 4);  // BLM, parameter 3
    EXPECT_EQ(picture1->tickTakes(), (std::vector<int>{0, 1, 5}));
    EXPECT_EQ(tabs->currentWidget(), tables);  // selecting does not leave the tab

    // Double-click: to the General tab, where F3 / Shift+F3 step the ticks.
    const QModelIndex index = tableGrid->model()->index(2, 2);
    QTest::mouseDClick(tableGrid->viewport(), Qt::LeftButton, {}, tableGrid->visualRect(index).center());
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(picture1->tickTakes(), (std::vector<int>{2, 3}));
    QSignalSpy steps(picture1, &dlv::CurveSurface::takeStepRequested);
    picture1->setFocus();
    QTest::keyClick(picture1, Qt::Key_F3);
    QTest::keyClick(picture1, Qt::Key_F3);
    QTest::keyClick(picture1, Qt::Key_F3, Qt::ShiftModifier);
    ASSERT_EQ(steps.count(), 3);
    EXPECT_EQ(steps.at(0).at(0).toInt(), 2);
    EXPECT_EQ(steps.at(1).at(0).toInt(), 3);
    EXPECT_EQ(steps.at(2).at(0).toInt(), 2);

    // z an expression: the curve on show keeps, the ticks change.
    tabs->setCurrentWidget(tables);
    auto* z = form->findChild<QLineEdit*>("exprZ");
    z->selectAll();
    QTest::keyClicks(z, "BLM - 128");
    clickTableCell(2, 2);
    EXPECT_EQ(grid1->SelectedRow(0), 4);
    EXPECT_EQ(picture1->tickTakes(), (std::vector<int>{0, 1, 5}));
}

TEST_F(Form1TablesTest, WorkspaceAndExportCommandsAskForAFileAndReportFailures)
{
    open(files.write("user.csv", kUserLog));
    nextPath = QString::fromStdString(files.path("saved.json"));
    trigger("mnuSaveWorkspace");
    EXPECT_EQ(titles.last(), "Save Workspace As");
    EXPECT_TRUE(saves.last());
    const QString saved = fileText(nextPath);
    EXPECT_TRUE(saved.contains("\"z\": \"BLM\"")) << saved.toStdString();

    nextPath = QString::fromStdString(files.write(
        "other.json",
        R"({"tables": [{"name": "TPS by RPM", "x": "RPM", "xAxis": [800, 1200], "z": "TPS", "stat": "max"}]})"));
    tabs->setCurrentIndex(0);
    trigger("mnuOpenWorkspace");
    EXPECT_FALSE(saves.last());
    EXPECT_EQ(tabs->currentWidget(), tables);
    EXPECT_EQ(tableGrid->CellText(CellRange::cell(1, 2)), "20.00");

    nextPath = QString::fromStdString(files.path("table.csv"));
    trigger("mnuExportTable");
    EXPECT_EQ(fileText(nextPath), ",800,1200\n,5.00,20.00\n");

    // Cancel does nothing; a failure says what and why, and changes nothing.
    nextPath.clear();
    trigger("mnuOpenWorkspace");
    EXPECT_TRUE(errors.isEmpty());
    nextPath = QString::fromStdString(files.write("bad.json", "{\"tables\": ["));
    trigger("mnuOpenWorkspace");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.last().contains("bad.json is not a workspace")) << errors.last().toStdString();
    EXPECT_EQ(tableGrid->CellText(CellRange::cell(1, 2)), "20.00");
    nextPath = QString::fromStdString(files.path("no/such/dir/t.csv"));
    trigger("mnuExportTable");
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors.last().startsWith("Cannot write")) << errors.last().toStdString();

    // The opened workspace carries over to the next log (and to F5).
    open(files.write("user2.csv", kUserLog));
    EXPECT_EQ(tables->workspace().tables.at(0).name, "TPS by RPM");
}

TEST_F(Form1TablesTest, CalculatedChannelsOpensTheChannelEditor)
{
    open(files.write("user.csv", kUserLog));
    trigger("mnuCalculatedChannels");
    ASSERT_TRUE(tables->channelsEditor());
    EXPECT_TRUE(tables->channelsEditor()->isVisible());
    EXPECT_EQ(tables->channelsEditor()->windowTitle(), "Calculated Channels");
}

}  // namespace
