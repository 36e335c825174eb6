// The Tables and Charts tabs while the user types, through real widgets and
// key events: an edit that does not read leaves the last table (or chart)
// faded as stale, one clearly still being typed waits for a pause, the
// Charts filter works as the Tables filter does and counts the takes it
// keeps; and the corrections' inputs go into the workspace and come back.
#include "window/charts_tab.h"
#include "window/tables_tab.h"

#include "datalog/columns.h"
#include "datalog/take_store.h"
#include "support/temp_logs.h"
#include "window/cell_grid.h"
#include "workbench/table_session.h"
#include "workbench/workspace.h"

#include <QApplication>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using dlv::CellGrid;
using dlv::CellRange;

namespace {

// RPM, MAP and BLM by name; MAP runs 30, 40, 50 and TPS 5, 20, 50.
const std::string kLog =
    "title\nTIME,RPM,MAP,BLM,TPS,ECT\n"
    "0,800,30,120,5,20\n1,800,30,124,5,85\n2,1200,40,130,20,85\n"
    "3,1200,40,134,20,90\n4,1600,50,128,50,90\n5,800,30,110,5,90\n";

std::shared_ptr<const dlv::TakeStore> storeOf(const std::string& bytes)
{
    dlv::ReadResult result = dlv::readDataLogBytes(bytes, "test log");
    EXPECT_TRUE(result.ok()) << result.error;
    return result.store;
}

// Types text into field key by key as a user does (the field has the
// keyboard focus), calling after(text so far) after each key.
template <typename After>
void typeKeys(QLineEdit* field, const QString& text, After after)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    for (const QChar c : text) {
        QTest::keyClicks(field, QString(c));
        after(field->text());
    }
}

class TablesTypingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tab = std::make_unique<dlv::TablesTab>();
        tab->resize(900, 700);
        tab->show();
        tab->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(tab.get()));
        tab->setLog(storeOf(kLog));
        grid = tab->findChild<CellGrid*>("tableGrid");
    }
    template <typename T>
    T* child(const char* name) const
    {
        return tab->findChild<T*>(QString::fromLatin1(name));
    }

    std::unique_ptr<dlv::TablesTab> tab;
    CellGrid* grid = nullptr;
};

}  // namespace

TEST_F(TablesTypingTest, AnAxisTypedKeyByKeyShowsNoStepOnTheWayAndAppliesAfterAPause)
{
    const int before = grid->ColCount();
    auto* axis = child<QLineEdit>("axisX");
    QStringList shownOnTheWay;
    typeKeys(axis, "30 40 50", [&](const QString& sofar) {
        if (sofar != "30 40 50" && grid->ColCount() != before)
            shownOnTheWay << sofar;
        if (sofar != "30 40 50") {
            EXPECT_TRUE(tab->tableStale()) << sofar.toStdString();
        }
    });
    EXPECT_TRUE(shownOnTheWay.isEmpty()) << shownOnTheWay.join(" | ").toStdString();
    // Done: the table follows once the typing pauses.
    EXPECT_TRUE(QTest::qWaitFor([&] { return grid->ColCount() == 4; }, 10 * dlv::kTypingPauseMs));
    EXPECT_FALSE(tab->tableStale());
    EXPECT_EQ(grid->CellText(CellRange::cell(0, 3)), "50");

    // "20 30 " waits too; Enter applies it at once.
    typeKeys(axis, "20 30 ", [](const QString&) {});
    EXPECT_EQ(grid->ColCount(), 4);
    QTest::keyClick(axis, Qt::Key_Return);
    EXPECT_EQ(grid->ColCount(), 3);
    EXPECT_FALSE(tab->tableStale());
}

TEST_F(TablesTypingTest, AFilterThatDoesNotReadYetLeavesTheLastTableStale)
{
    auto* filter = child<QLineEdit>("filter");
    const int takes = tab->shownTable()->takesInTable;
    ASSERT_EQ(takes, 6);
    std::vector<int> keptOnTheWay;
    typeKeys(filter, "ECT > 80", [&](const QString& sofar) {
        if (sofar != "ECT > 80")
            keptOnTheWay.push_back(tab->shownTable()->takesInTable);
    });
    // The field emptied first waits as a bare name does, "E", "EC" do not
    // read, "ECT" reads but is still being typed, "ECT >" does not read,
    // "ECT > 8" keeps every take of this log: the table kept every take
    // until the end.
    for (const int kept : keptOnTheWay)
        EXPECT_EQ(kept, takes);
    EXPECT_EQ(tab->shownTable()->takesInTable, 5);
    EXPECT_FALSE(tab->tableStale());

    typeKeys(filter, "ECT >", [](const QString&) {});
    EXPECT_TRUE(tab->tableStale());
    EXPECT_EQ(tab->shownTable()->takesInTable, 5) << "the last table stays";
    QTest::keyClicks(filter, " 85");
    EXPECT_FALSE(tab->tableStale());
    EXPECT_EQ(tab->shownTable()->takesInTable, 3);
}

TEST_F(TablesTypingTest, PastedMapLocksAndLimitGoIntoTheWorkspaceAndComeBack)
{
    auto* axisX = child<QLineEdit>("axisX");
    axisX->setText("30 40 50");
    emit axisX->textEdited(axisX->text());
    auto* axisY = child<QLineEdit>("axisY");
    axisY->setText("800 1200 1600");
    emit axisY->textEdited(axisY->text());
    ASSERT_EQ(grid->RowCount(), 4);
    QApplication::clipboard()->setText("100\t101\t102\n110\t111\t112\n120\t121\t122\n");
    child<QPushButton>("pasteMap")->click();
    tab->toggleLock(1, 2);
    child<QDoubleSpinBox>("limitPercent")->setValue(4.5);

    const dlv::Workspace saved = tab->workspace();
    ASSERT_TRUE(saved.tables.at(0).corrections);
    const dlv::Corrections& kept = *saved.tables[0].corrections;
    EXPECT_EQ(kept.map, (std::vector<double>{100, 101, 102, 110, 111, 112, 120, 121, 122}));
    EXPECT_EQ(kept.locked, (std::vector<std::size_t>{5}));
    EXPECT_EQ(kept.limitPercent, 4.5);
    const std::vector<dlv::CorrectedCell> suggested = tab->suggestedMap();

    // Written and read back, in a new tab: the same suggested map.
    const std::string json = dlv::workbench::workspaceToJson(saved);
    EXPECT_NE(json.find("\"corrections\": {\"limit\": 4.5, \"map\": [[100, 101, 102], [110, 111, 112], "
                        "[120, 121, 122]], \"locked\": [[1, 2]]}"),
              std::string::npos)
        << json;
    const dlv::workbench::WorkspaceResult read = dlv::workbench::parseWorkspace(json);
    ASSERT_TRUE(read.ok()) << read.error;
    dlv::TablesTab again;
    again.setLog(storeOf(kLog));
    again.setWorkspace(*read.workspace);
    EXPECT_EQ(again.findChild<QDoubleSpinBox*>("limitPercent")->value(), 4.5);
    ASSERT_EQ(again.suggestedMap().size(), suggested.size());
    for (std::size_t i = 0; i < suggested.size(); ++i) {
        EXPECT_EQ(again.suggestedMap()[i].value, suggested[i].value) << i;
        EXPECT_EQ(again.suggestedMap()[i].kind, suggested[i].kind) << i;
    }

    // Axes of another shape: the map no longer fits and is dropped; the limit stays.
    axisX->setText("30 40");
    emit axisX->textEdited(axisX->text());
    ASSERT_TRUE(tab->workspace().tables[0].corrections);
    EXPECT_TRUE(tab->workspace().tables[0].corrections->map.empty());
    EXPECT_EQ(tab->workspace().tables[0].corrections->limitPercent, 4.5);
}

TEST(WorkspaceCorrections, AMapOfTheWrongShapeOrALockOutsideItIsRefusedByName)
{
    const auto parse = [](const std::string& corrections) {
        return dlv::workbench::parseWorkspace(R"({"tables": [{"name": "T", "x": "MAP", "xAxis": [30, 40], "z": "BLM",
            "stat": "mean", "corrections": )" + corrections + "}]}");
    };
    EXPECT_TRUE(parse(R"({"limit": 7})").ok());
    EXPECT_TRUE(parse(R"({"map": [[1, 2]], "locked": [[0, 1], [0, 1]]})").ok());
    EXPECT_EQ(parse(R"({"map": [[1, 2, 3]]})").error,
              "table \"T\": corrections: map row 1 must hold 2 values, as the table has columns");
    EXPECT_EQ(parse(R"({"map": [[1, 2], [3, 4]]})").error,
              "table \"T\": corrections: map must be a list of 1 rows, as the table has");
    EXPECT_EQ(parse(R"({"map": [[1, 2]], "locked": [[0, 2]]})").error,
              "table \"T\": corrections: locked cell [0,2] is not a [row, column] of the table (from 0)");
    EXPECT_EQ(parse(R"({"locked": [[0, 0]]})").error, "table \"T\": corrections: locked needs a map");
    EXPECT_EQ(parse(R"({"limit": -1})").error, "table \"T\": corrections: limit must be from 0 to 1000 %, not -1");
    EXPECT_FALSE(parse(R"({"limt": 7})").ok());
}

namespace {

class ChartsFilterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tab.resize(900, 600);
        tab.show();
        tab.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&tab));
        tab.setColumns(std::make_shared<dlv::ColumnCache>(storeOf(kLog)));
        filter = tab.findChild<QLineEdit*>("chartFilter");
        count = tab.findChild<QLabel*>("chartFilterCount");
    }
    dlv::ChartsTab tab;
    QLineEdit* filter = nullptr;
    QLabel* count = nullptr;
};

}  // namespace

TEST_F(ChartsFilterTest, TheFilterFollowsTypingAsTheTablesFilterDoesAndCountsTheTakesKept)
{
    EXPECT_EQ(count->text(), "");
    QSignalSpy edited(&tab, &dlv::ChartsTab::pageEdited);
    std::vector<std::string> appliedOnTheWay;
    typeKeys(filter, "ECT > 80", [&](const QString& sofar) {
        if (sofar != "ECT > 80" && !tab.page().filter.empty())
            appliedOnTheWay.push_back(tab.page().filter);
    });
    // "E", "EC" do not read, "ECT" is a bare name still being typed, "ECT >"
    // does not read; "ECT > 8" reads and is a filter of its own.
    EXPECT_EQ(appliedOnTheWay, std::vector<std::string>{"ECT > 8"});
    // Applied as soon as it reads, without Enter.
    EXPECT_EQ(tab.page().filter, "ECT > 80");
    EXPECT_EQ(count->text(), "Filter keeps 5 of 6 takes");
    EXPECT_FALSE(tab.filterStale());
    EXPECT_EQ(edited.count(), 0) << "told once the edit is done";

    // A filter that does not read: the charts keep the last one, marked stale.
    QTest::keyClicks(filter, " &&");
    EXPECT_TRUE(tab.filterStale());
    EXPECT_EQ(tab.page().filter, "ECT > 80");
    EXPECT_TRUE(count->text().startsWith("Stale")) << count->text().toStdString();
    EXPECT_FALSE(tab.statusText().isEmpty());
    QTest::keyClicks(filter, " TPS < 30");
    EXPECT_FALSE(tab.filterStale());
    EXPECT_EQ(count->text(), "Filter keeps 4 of 6 takes");
    QTest::keyClick(filter, Qt::Key_Return);
    EXPECT_EQ(edited.count(), 1);
    EXPECT_EQ(tab.page().filter, "ECT > 80 && TPS < 30");

    // A bare name waits for a pause; then it counts as any filter.
    typeKeys(filter, "ECT", [](const QString&) {});
    EXPECT_EQ(tab.page().filter, "ECT > 80 && TPS < 30");
    EXPECT_TRUE(QTest::qWaitFor([&] { return tab.page().filter == "ECT"; }, 10 * dlv::kTypingPauseMs));
    EXPECT_EQ(count->text(), "Filter keeps 6 of 6 takes");
}
