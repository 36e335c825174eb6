// The Tables tab over several open logs: the table of the log on show, of
// every open log pooled or of one chosen log, and its difference from
// another log, chosen beside the table; the choice gives way when a log
// it names is closed.
#include "window/cell_grid.h"
#include "window/tables_tab.h"
#include "window/form1.h"

#include "support/temp_logs.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

using dlv::CellGrid;
using dlv::CellRange;

// RPM, MAP and BLM over takes; B's BLM is `scale` times A's in every take.
std::string blmLog(int takes, int scale)
{
    std::string log = "title\nTime,RPM,MAP,BLM\n";
    for (int t = 0; t < takes; ++t)
        log += std::to_string(t) + "," + std::to_string(800 + (t % 10) * 100) + "," +
               std::to_string(30 + (t % 7) * 5) + "," + std::to_string(scale * (100 + t % 13)) + "\n";
    return log;
}

class TablesLogs : public dlvtest::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        tabs = form->findChild<QTabWidget*>("Tab1");
        tables = form->tablesTab();
        grid = form->findChild<CellGrid*>("tableGrid");
        pool = form->findChild<QComboBox*>("tablePool");
        compare = form->findChild<QComboBox*>("tableCompare");
        percent = form->findChild<QCheckBox*>("tablePercent");
        status = form->findChild<QLabel*>("tableStatus");
        ASSERT_TRUE(tabs && tables && grid && pool && compare && percent && status);
    }
    void open(const std::string& path)
    {
        nextName = QString::fromStdString(path);
        form->findChild<QAction*>("mnuOpen")->trigger();
        ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    }
    // As a user picks an item: the keyboard on the closed combo box.
    static void pick(QComboBox* box, int index)
    {
        box->setFocus();
        while (box->currentIndex() < index)
            QTest::keyClick(box, Qt::Key_Down);
        while (box->currentIndex() > index)
            QTest::keyClick(box, Qt::Key_Up);
    }
    // The texts of every cell of the table on show that holds one.
    QStringList cellTexts() const
    {
        QStringList texts;
        for (int r = 1; r < grid->RowCount(); ++r)
            for (int c = 1; c < grid->ColCount(); ++c)
                if (const QString text = grid->CellText(CellRange::cell(r, c)); !text.isEmpty())
                    texts << text;
        return texts;
    }

    dlvtest::TempLogs files;
    QTabWidget* tabs = nullptr;
    dlv::TablesTab* tables = nullptr;
    CellGrid* grid = nullptr;
    QComboBox* pool = nullptr;
    QComboBox* compare = nullptr;
    QCheckBox* percent = nullptr;
    QLabel* status = nullptr;
};

TEST_F(TablesLogs, OneLogShowsNoChoiceAndTwoArePooledOrComparedBesideTheTable)
{
    open(files.write("a.csv", blmLog(140, 1)));
    tabs->setCurrentWidget(tables);
    ASSERT_TRUE(tables->shownTable());
    EXPECT_FALSE(pool->isVisibleTo(form.get())) << "one log: the tab looks as it always did";

    open(files.write("b.csv", blmLog(140, 2)));
    ASSERT_TRUE(pool->isVisibleTo(form.get()));
    ASSERT_TRUE(tables->shownTable());
    EXPECT_EQ(tables->shownTable()->takesInTable, 140) << "the log on show, b.csv";
    const auto firstMean = [this] {
        for (const dlv::ShownCell& cell : tables->shownTable()->cells)
            if (cell.count > 0)
                return cell.mean;
        return 0.0;
    };
    const double meanOfB = firstMean();
    EXPECT_FALSE(percent->isEnabled());

    // Pooled: the takes of both, and a selection gives those of b.csv only.
    pick(pool, 1);
    ASSERT_TRUE(tables->shownTable());
    EXPECT_EQ(tables->shownTable()->takesInTable, 280);
    EXPECT_TRUE(status->text().contains("of 280 takes")) << status->text().toStdString();
    EXPECT_TRUE(status->text().contains("2 logs pooled")) << status->text().toStdString();
    // One chosen log: a.csv alone, while b.csv stays on show.
    pick(pool, 2);
    ASSERT_TRUE(tables->shownTable());
    EXPECT_EQ(tables->shownTable()->takesInTable, 140);
    EXPECT_DOUBLE_EQ(firstMean() * 2, meanOfB);

    // b.csv minus a.csv: b's takes have twice a's values, so each cell in
    // both is +100 % in percent.
    pick(pool, 0);
    pick(compare, 1);
    ASSERT_EQ(compare->currentText(), "a.csv");
    const dlv::ShownDifference* difference = tables->shownDifference();
    ASSERT_TRUE(difference);
    EXPECT_FALSE(tables->shownTable()) << "no takes stand behind a difference";
    EXPECT_TRUE(status->text().startsWith("b.csv minus a.csv")) << status->text().toStdString();
    ASSERT_TRUE(percent->isEnabled());
    QTest::mouseClick(percent, Qt::LeftButton);
    const QStringList percents = cellTexts();
    ASSERT_FALSE(percents.isEmpty());
    for (const QString& text : percents)
        EXPECT_EQ(text.toStdString(), "100.00");
    EXPECT_TRUE(grid->CellText(CellRange::cell(0, 0)).endsWith("(B - A, %)"));
    // Every cell in both says where its numbers come from.
    for (int r = 1; r < grid->RowCount(); ++r)
        for (int c = 1; c < grid->ColCount(); ++c)
            if (!grid->CellText(CellRange::cell(r, c)).isEmpty()) {
                EXPECT_TRUE(grid->model()->index(r - 1, c - 1).data(Qt::ToolTipRole).toString().contains("B - A: "));
            }
    // Copy Table gives what is on show.
    EXPECT_TRUE(tables->copyTable().contains("100.00"));

    // Closing a.csv takes its comparison along; the table of b.csv is back.
    form->showLog(0);
    form->closeLog(0);
    EXPECT_FALSE(pool->isVisibleTo(form.get()));
    EXPECT_FALSE(tables->shownDifference());
    ASSERT_TRUE(tables->shownTable());
    EXPECT_EQ(tables->shownTable()->takesInTable, 140);
    EXPECT_DOUBLE_EQ(firstMean(), meanOfB);
    EXPECT_EQ(tables->openLogCount(), 1u);
}

TEST_F(TablesLogs, PooledCellsGiveTheTakesOfTheLogOnShowToItsCurve)
{
    open(files.write("a.csv", blmLog(30, 1)));
    open(files.write("b.csv", blmLog(30, 1)));
    tabs->setCurrentWidget(tables);
    pick(pool, 1);
    ASSERT_TRUE(tables->shownTable());
    std::vector<int> selected;
    QObject::connect(tables, &dlv::TablesTab::takesSelected,
                     [&](const std::vector<int>& takes, long long) { selected = takes; });
    grid->selectAll();
    ASSERT_FALSE(selected.empty());
    // Both logs have takes 0 .. 29; the pooled table holds 60 but the curve
    // of the log on show gets each of its own once.
    EXPECT_EQ(selected.size(), 30u);
    EXPECT_EQ(selected.front(), 0);
    EXPECT_EQ(selected.back(), 29);
}

}  // namespace
