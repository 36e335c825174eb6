#include "window/tables_tab.h"

#include "datalog/take_store.h"
#include "support/temp_logs.h"
#include "window/cell_grid.h"
#include "window/channels_dialog.h"
#include "window/name_completer.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include "support/user_log.h"

#include <gtest/gtest.h>

using dlv::CellGrid;
using dlv::CellRange;
using dlv::TablesTab;

namespace {

using dlvtest::kUserLog;

std::shared_ptr<const dlv::TakeStore> storeOf(const std::string& bytes)
{
    dlv::ReadResult result = dlv::readDataLogBytes(bytes, "test log");
    EXPECT_TRUE(result.ok()) << result.error;
    return result.store;
}

class TablesTabTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tab = std::make_unique<TablesTab>();
        tab->resize(900, 700);
        tab->show();
        grid = tab->findChild<CellGrid*>("tableGrid");
        ASSERT_TRUE(grid);
        tester = std::make_unique<QAbstractItemModelTester>(grid->model(),
                                                            QAbstractItemModelTester::FailureReportingMode::Warning);
        tab->setLog(storeOf(kUserLog));
    }

    template <typename T>
    T* child(const char* name) const
    {
        T* widget = tab->findChild<T*>(QString::fromLatin1(name));
        EXPECT_TRUE(widget) << name;
        return widget;
    }
    // Replaces a field's text as a user would: select all, type.
    void type(const char* field, const QString& text)
    {
        auto* edit = child<QLineEdit>(field);
        edit->setFocus();
        edit->selectAll();
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Delete);
        else
            QTest::keyClicks(edit, text);
    }
    // Pastes text into a field from the clipboard, replacing what it held.
    void paste(const char* field, const QString& text)
    {
        QApplication::clipboard()->setText(text);
        auto* edit = child<QLineEdit>(field);
        edit->setFocus();
        edit->selectAll();
        QTest::keySequence(edit, QKeySequence::Paste);
    }
    QString cell(int r, int c) const { return grid->CellText(CellRange::cell(r, c)); }
    QString error(const char* name) const
    {
        auto* label = child<QLabel>(name);
        return label->isVisible() ? label->text() : QString();
    }
    // Grid cell (r, c) selected as a click would select it.
    void clickCell(CellGrid* on, int r, int c, Qt::KeyboardModifiers modifiers = {})
    {
        const QModelIndex index = on->model()->index(r - 1, c - 1);
        on->scrollTo(index);
        QTest::mouseClick(on->viewport(), Qt::LeftButton, modifiers, on->visualRect(index).center());
    }

    std::unique_ptr<TablesTab> tab;
    CellGrid* grid = nullptr;
    std::unique_ptr<QAbstractItemModelTester> tester;
    dlvtest::TempLogs files;
};

TEST_F(TablesTabTest, DefaultTableUsesTheLogsRpmMapAndBlmLikeTheBlmTab)
{
    auto* list = child<QListWidget>("tableList");
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "BLM by RPM and MAP");
    EXPECT_EQ(child<QLineEdit>("exprX")->text(), "MAP");
    EXPECT_EQ(child<QLineEdit>("exprY")->text(), "RPM");
    EXPECT_EQ(child<QLineEdit>("exprZ")->text(), "BLM");
    EXPECT_EQ(child<QLineEdit>("axisX")->text(), "20, 30, 40, 50, 60, 70, 80, 90, 100");
    EXPECT_EQ(child<QLineEdit>("axisY")->text(), "400, 800, 1200, 1600, 2000, 2400, 2800, 3200");
    EXPECT_EQ(child<QLineEdit>("target")->text(), "128");
    EXPECT_EQ(child<QComboBox>("stat")->currentText(), "mean");

    ASSERT_EQ(grid->RowCount(), 9);
    ASSERT_EQ(grid->ColCount(), 10);
    EXPECT_EQ(cell(0, 0), "RPM / MAP");
    EXPECT_EQ(cell(0, 1), "20");
    EXPECT_EQ(cell(8, 0), "3200");
    EXPECT_EQ(cell(2, 2), "118.00");
    EXPECT_EQ(cell(3, 3), "132.00");
    EXPECT_EQ(cell(4, 4), "128.00");
    EXPECT_EQ(cell(1, 1), "");
    EXPECT_EQ(tab->shownTable()->takesInTable, 6);
    EXPECT_TRUE(child<QLabel>("tableStatus")->text().startsWith("6 of 6 takes in the table"));
}

TEST_F(TablesTabTest, CellsCarryTintsAroundTheTargetAndTooltipsWithTheirNumbers)
{
    const dlv::ShownTable& shown = *tab->shownTable();
    // 118 is below the target 128: orange side; 132 above: purple side.
    const dlv::Rgb below = *shown.at(1, 1).tint;
    const dlv::Rgb above = *shown.at(2, 2).tint;
    EXPECT_GT(below.r, below.b);
    EXPECT_GT(above.b, above.g);
    EXPECT_EQ(*shown.at(3, 3).tint, dlv::kBlmWhite);  // on target
    EXPECT_FALSE(shown.at(0, 0).tint.has_value());    // no takes
    const QString tip = grid->model()->data(grid->model()->index(1, 1), Qt::ToolTipRole).toString();
    EXPECT_EQ(tip, "Takes: 3\nMean 118.00\nMin 110, max 124\nStd dev 7.21");
    EXPECT_EQ(grid->model()->data(grid->model()->index(0, 0), Qt::ToolTipRole).toString(), "No takes");
}

TEST_F(TablesTabTest, EveryFieldEditRecomputesTheTable)
{
    type("exprZ", "TPS");
    EXPECT_EQ(cell(2, 2), "5.00");
    type("exprZ", "BLM");
    child<QComboBox>("stat")->setCurrentText("count");
    EXPECT_EQ(cell(2, 2), "3");
    EXPECT_EQ(cell(4, 4), "1");
    child<QComboBox>("stat")->setCurrentText("max");
    EXPECT_EQ(cell(2, 2), "124.00");

    // Fewer takes than minHits: empty, faded tint, the numbers in the tooltip.
    child<QComboBox>("stat")->setCurrentText("mean");
    auto* minHits = child<QSpinBox>("minHits");
    minHits->setFocus();
    minHits->selectAll();
    QTest::keyClicks(minHits, "2");
    EXPECT_EQ(tab->workspace().tables[0].minHits, 2);
    EXPECT_EQ(cell(4, 4), "");
    EXPECT_EQ(cell(3, 3), "132.00");
    EXPECT_TRUE(grid->model()->data(grid->model()->index(3, 3), Qt::ToolTipRole).toString().contains("below minHits 2"));

    type("exprX", "TPS");
    paste("axisX", "5\t20\t50");
    EXPECT_EQ(grid->ColCount(), 4);
    EXPECT_EQ(cell(0, 1), "5");
    EXPECT_EQ(cell(2, 1), "118.00");

    // Without y the table has one row with an empty label.
    type("exprY", "");
    EXPECT_EQ(grid->RowCount(), 2);
    EXPECT_EQ(cell(1, 0), "");
    EXPECT_EQ(cell(1, 1), "118.00");
    EXPECT_EQ(cell(0, 0), "TPS");

    type("target", "");
    EXPECT_FALSE(tab->workspace().tables[0].target.has_value());
    type("target", "120");
    EXPECT_EQ(tab->workspace().tables[0].target, 120.0);
    type("tableName", "Trim by TPS");
    EXPECT_EQ(child<QListWidget>("tableList")->item(0)->text(), "Trim by TPS");
}

TEST_F(TablesTabTest, FilterEditsRecomputeAndErrorsKeepTheLastGoodTable)
{
    type("filter", "TPS > 10");
    EXPECT_EQ(cell(2, 2), "");
    EXPECT_EQ(cell(3, 3), "132.00");
    EXPECT_EQ(tab->shownTable()->takesInTable, 3);
    EXPECT_EQ(error("errorFilter"), "");

    type("filter", "TPX > 10");
    const QString message = error("errorFilter");
    EXPECT_TRUE(message.contains("TPX")) << message.toStdString();
    EXPECT_TRUE(message.contains("text-decoration:underline")) << message.toStdString();
    EXPECT_EQ(cell(3, 3), "132.00");  // the last good table stays
    EXPECT_EQ(tab->shownTable()->takesInTable, 3);
    EXPECT_TRUE(child<QLabel>("tableStatus")->text().contains("last good"));

    type("filter", "");
    EXPECT_EQ(error("errorFilter"), "");
    EXPECT_EQ(cell(2, 2), "118.00");
}

TEST_F(TablesTabTest, BadAxesShowTheirPlaceAndChangeNothing)
{
    paste("axisX", "20\t30\t3O\t50");
    const QString message = error("errorXAxis");
    EXPECT_TRUE(message.contains("x axis: value 3, &quot;3O&quot;, is not a number")) << message.toStdString();
    EXPECT_TRUE(message.contains(">3O</span>")) << message.toStdString();
    EXPECT_EQ(grid->ColCount(), 10);
    EXPECT_EQ(tab->workspace().tables[0].xAxis.size(), 9u);

    paste("axisY", "400, 800, 600");
    EXPECT_TRUE(error("errorYAxis").contains("not above 800")) << error("errorYAxis").toStdString();
    EXPECT_EQ(grid->RowCount(), 9);

    type("axisY", "800 1200");
    EXPECT_EQ(error("errorYAxis"), "");
    EXPECT_EQ(grid->RowCount(), 3);
    type("target", "abc");
    EXPECT_TRUE(error("errorTarget").contains("is not a number"));
}

TEST_F(TablesTabTest, CopyGivesTabTextAndExportWritesCsv)
{
    type("axisX", "30 40");
    type("axisY", "800 1200");
    const QString expected = "\t30\t40\n800\t118.00\t\n1200\t\t132.00\n";
    child<QPushButton>("copyTable")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), expected);

    // Ctrl+C on selected cells copies just those.
    clickCell(grid, 1, 1);
    clickCell(grid, 2, 2, Qt::ShiftModifier);
    QApplication::clipboard()->clear();
    QTest::keySequence(grid, QKeySequence::Copy);
    // The grid puts each row's label first, as on the other tabs.
    EXPECT_EQ(QApplication::clipboard()->text(), "800\t118.00\t\n1200\t\t132.00\n");

    const QString path = QString::fromStdString(files.path("table.csv"));
    QString why;
    ASSERT_TRUE(tab->exportTable(path, &why)) << why.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), ",30,40\n800,118.00,\n1200,,132.00\n");
    EXPECT_FALSE(tab->exportTable(QString::fromStdString(files.path("no/such/dir/t.csv")), &why));
    EXPECT_TRUE(why.contains("Cannot write")) << why.toStdString();
}

TEST_F(TablesTabTest, SelectedCellsGiveTheirTakesInTakeOrder)
{
    QSignalSpy selected(tab.get(), &TablesTab::takesSelected);
    QSignalSpy requested(tab.get(), &TablesTab::takesRequested);
    clickCell(grid, 2, 2);
    ASSERT_GE(selected.count(), 1);
    EXPECT_EQ(selected.last().at(0).value<std::vector<int>>(), (std::vector<int>{0, 1, 5}));
    EXPECT_EQ(selected.last().at(1).toLongLong(), 3);  // BLM is field 3
    clickCell(grid, 3, 3, Qt::ControlModifier);
    EXPECT_EQ(selected.last().at(0).value<std::vector<int>>(), (std::vector<int>{0, 1, 2, 3, 5}));
    clickCell(grid, 3, 3);
    const QModelIndex index = grid->model()->index(2, 2);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
    ASSERT_EQ(requested.count(), 1);
    EXPECT_EQ(requested.last().at(0).value<std::vector<int>>(), (std::vector<int>{2, 3}));
}

TEST_F(TablesTabTest, CorrectionsFollowPastedMapLimitAndLocks)
{
    type("axisX", "30 40 50");
    type("axisY", "800 1200 1600");
    auto* suggested = child<CellGrid>("suggestedGrid");
    // A map of the wrong shape is refused with its place.
    QApplication::clipboard()->setText("100\t100\n");
    child<QPushButton>("pasteMap")->click();
    EXPECT_TRUE(child<QLabel>("mapError")->text().contains("Map: 1 row pasted; the table has 3 rows of 3 values"));
    EXPECT_EQ(suggested->RowCount(), 0);

    QApplication::clipboard()->setText("100\t100\t100\r\n100\t100\t100\r\n100\t100\t100\r\n");
    child<QPushButton>("pasteMap")->click();
    ASSERT_EQ(suggested->RowCount(), 4);
    // 118 / 128: -7.8 %; 132 / 128: +3.1 %; 128: unchanged; empty cells stay.
    EXPECT_EQ(suggested->CellText(CellRange::cell(1, 1)), "92.19");
    EXPECT_EQ(suggested->CellText(CellRange::cell(2, 2)), "103.12");
    EXPECT_EQ(suggested->CellText(CellRange::cell(3, 3)), "100");
    EXPECT_EQ(suggested->CellText(CellRange::cell(1, 2)), "100");

    auto* limit = child<QDoubleSpinBox>("limitPercent");
    EXPECT_EQ(limit->value(), 10.0);
    limit->setValue(5.0);
    EXPECT_EQ(suggested->CellText(CellRange::cell(1, 1)), "95");
    EXPECT_EQ(tab->suggestedMap()[0].kind, dlv::CorrectionKind::Limited);

    // Double-click locks a cell; the lock button toggles the selected ones.
    const QModelIndex first = suggested->model()->index(0, 0);
    QTest::mouseDClick(suggested->viewport(), Qt::LeftButton, {}, suggested->visualRect(first).center());
    EXPECT_EQ(suggested->CellText(CellRange::cell(1, 1)), "100");
    EXPECT_EQ(tab->suggestedMap()[0].kind, dlv::CorrectionKind::Locked);
    clickCell(suggested, 1, 1);
    child<QPushButton>("lockCells")->click();
    EXPECT_EQ(suggested->CellText(CellRange::cell(1, 1)), "95");

    // minHits above a cell's takes leaves it unchanged.
    auto* minHits = child<QSpinBox>("minHits");
    minHits->setValue(3);
    EXPECT_EQ(suggested->CellText(CellRange::cell(2, 2)), "100");
    EXPECT_EQ(suggested->CellText(CellRange::cell(1, 1)), "95");

    EXPECT_EQ(tab->copySuggestedMap(), "95\t100\t100\n100\t100\t100\n100\t100\t100\n");
    EXPECT_EQ(QApplication::clipboard()->text(), tab->copySuggestedMap());
    const QString path = QString::fromStdString(files.path("map.csv"));
    QString why;
    ASSERT_TRUE(tab->exportSuggestedMap(path, &why)) << why.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), ",30,40,50\n800,95,100,100\n1200,100,100,100\n1600,100,100,100\n");

    // Without a target there is nothing to correct towards.
    type("target", "");
    EXPECT_EQ(suggested->RowCount(), 0);
    EXPECT_TRUE(child<QLabel>("mapError")->text().contains("Set a target"));
}

TEST_F(TablesTabTest, TablesAreAddedSelectedAndRemoved)
{
    child<QPushButton>("addTable")->click();
    auto* list = child<QListWidget>("tableList");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(tab->currentTable(), 1);
    EXPECT_EQ(list->item(1)->text(), "Table 2");
    type("exprZ", "TPS");
    EXPECT_EQ(cell(3, 3), "20.00");
    list->setCurrentRow(0);
    EXPECT_EQ(child<QLineEdit>("exprZ")->text(), "BLM");
    EXPECT_EQ(cell(3, 3), "132.00");
    child<QPushButton>("removeTable")->click();
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(child<QLineEdit>("exprZ")->text(), "TPS");
    child<QPushButton>("removeTable")->click();
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(tab->shownTable(), nullptr);
    EXPECT_FALSE(child<QLineEdit>("exprZ")->isEnabled());
}

TEST_F(TablesTabTest, ChannelsEditedInTheirDialogFeedTheTables)
{
    QSignalSpy changed(tab.get(), &TablesTab::channelsChanged);
    tab->showChannelsEditor();
    dlv::ChannelsDialog* dialog = tab->channelsEditor();
    ASSERT_TRUE(dialog->isVisible());
    dialog->findChild<QPushButton*>("addChannel")->click();
    auto* name = dialog->findChild<QLineEdit*>("channelName");
    auto* expr = dialog->findChild<QLineEdit*>("channelExpr");
    name->selectAll();
    QTest::keyClicks(name, "TRIM");
    expr->selectAll();
    QTest::keyClicks(expr, "BLM - 128");
    ASSERT_EQ(tab->workspace().channels.size(), 1u);
    EXPECT_EQ(tab->workspace().channels[0].name, "TRIM");
    EXPECT_GE(changed.count(), 1);
    EXPECT_TRUE(tab->expressionNames().contains("TRIM"));

    type("exprZ", "TRIM");
    EXPECT_EQ(cell(2, 2), "-10.00");

    // A broken channel: its error under the expression, the table keeps its
    // last good state and says so under z.
    expr->end(false);
    QTest::keyClicks(expr, " -");
    auto* channelError = dialog->findChild<QLabel*>("channelError");
    EXPECT_TRUE(channelError->isVisible());
    EXPECT_FALSE(channelError->text().isEmpty());
    EXPECT_EQ(cell(2, 2), "-10.00");
}

TEST(NameCompleterWord, FindsTheWordOrBracedNameBeforeTheCursor)
{
    using W = dlv::NameCompleter;
    EXPECT_EQ(W::wordBefore("abs(RP", 6).prefix, "RP");
    EXPECT_EQ(W::wordBefore("abs(RP", 6).start, 4);
    EXPECT_EQ(W::wordBefore("{O2 (m", 6).prefix, "O2 (m");
    EXPECT_EQ(W::wordBefore("{O2 (m", 6).start, 0);
    EXPECT_EQ(W::wordBefore("{A} + B", 7).prefix, "B");
    EXPECT_EQ(W::wordBefore("RPM > 12", 8).start, -1);
    EXPECT_EQ(W::wordBefore("#22", 3).start, -1);
    EXPECT_EQ(W::wordBefore("RPM ", 4).start, -1);
}

}  // namespace

namespace {

const std::string kWorkspace = R"({
  "channels": [
    {"name": "TRIM", "expr": "BLM - 128"}
  ],
  "tables": [
    {"name": "Trim by RPM",
     "x": "RPM", "xAxis": [800, 1200, 1600],
     "z": "TRIM", "stat": "mean",
     "filter": "TPS < 30"}
  ]
})";

TEST_F(TablesTabTest, WorkspaceFilesOpenAndSaveBackByteForByte)
{
    const QString path = QString::fromStdString(files.write("in.json", kWorkspace));
    QString why;
    ASSERT_TRUE(tab->openWorkspace(path, &why)) << why.toStdString();
    ASSERT_EQ(tab->workspace().tables.size(), 1u);
    EXPECT_EQ(child<QListWidget>("tableList")->item(0)->text(), "Trim by RPM");
    EXPECT_EQ(child<QLineEdit>("filter")->text(), "TPS < 30");
    // 1-D: one row; TRIM over the takes with TPS < 30: 800 -> -10, 1200 -> 4.
    ASSERT_EQ(grid->RowCount(), 2);
    EXPECT_EQ(cell(1, 1), "-10.00");
    EXPECT_EQ(cell(1, 2), "4.00");
    EXPECT_EQ(cell(1, 3), "");

    // What is saved reads back as the same workspace; saving what was read
    // writes the same bytes again.
    const QString once = QString::fromStdString(files.path("once.json"));
    ASSERT_TRUE(tab->saveWorkspace(once, &why)) << why.toStdString();
    ASSERT_TRUE(tab->openWorkspace(once, &why)) << why.toStdString();
    const QString twice = QString::fromStdString(files.path("twice.json"));
    ASSERT_TRUE(tab->saveWorkspace(twice, &why));
    QFile a(once), b(twice);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());

    // Edits go into the saved file.
    type("filter", "TPS < 60");
    ASSERT_TRUE(tab->saveWorkspace(twice, &why));
    ASSERT_TRUE(tab->openWorkspace(twice, &why));
    EXPECT_EQ(tab->workspace().tables[0].filter, "TPS < 60");
    EXPECT_EQ(tab->workspace().channels[0].name, "TRIM");
}

TEST_F(TablesTabTest, ABadWorkspaceFileSaysWhyAndChangesNothing)
{
    const dlv::Workspace before = tab->workspace();
    QString why;
    const QString typo = QString::fromStdString(
        files.write("typo.json", R"({"tables": [{"name": "T", "x": "RPM", "xAxis": [1], "z": "BLM", "stats": "mean"}]})"));
    EXPECT_FALSE(tab->openWorkspace(typo, &why));
    EXPECT_TRUE(why.contains("typo.json is not a workspace")) << why.toStdString();
    EXPECT_TRUE(why.contains("stats")) << why.toStdString();
    EXPECT_FALSE(tab->openWorkspace(QString::fromStdString(files.path("missing.json")), &why));
    EXPECT_TRUE(why.startsWith("Cannot read")) << why.toStdString();
    EXPECT_EQ(tab->workspace(), before);
    EXPECT_EQ(cell(2, 2), "118.00");
}

}  // namespace
