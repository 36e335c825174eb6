// The bar above Grid1 that shows the reader's warnings after Open: each kind
// of odd log, the log staying open, dismissing, and reloads.
#include "window/form1.h"

#include "datalog/take_store.h"
#include "support/temp_logs.h"
#include "window/cell_grid.h"
#include "window/warning_bar.h"

#include <QAction>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using dlv::CellGrid;
using dlv::Form1;
using dlv::WarningBar;

namespace {

// A warning as the reader gives it; the bar shows only its message.
void addWarning(std::vector<dlv::ReadWarning>& warnings, const std::string& text)
{
    warnings.push_back({dlv::ReadWarning::Kind::FewerFieldsThanNames, 1, text});
}

class WarningBarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<Form1>();
        form->setMessageHandler([this](Form1::MessageKind, const QString&, const QString& text) { errors << text; });
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        bar = form->findChild<WarningBar*>("WarningBar");
        grid1 = form->findChild<CellGrid*>("Grid1");
        ASSERT_TRUE(bar && grid1);
    }
    void open(const std::string& name, const std::string& bytes)
    {
        form->openFile(QString::fromStdString(logs.write(name, bytes)));
        ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
        ASSERT_NE(form->store(), nullptr);
    }
    [[nodiscard]] bool barShows(const QString& text) const
    {
        return bar->isVisible() && bar->warnings().contains(text);
    }

    dlvtest::TempLogs logs;
    std::unique_ptr<Form1> form;
    WarningBar* bar = nullptr;
    CellGrid* grid1 = nullptr;
    QStringList errors;
};

// ------------------------------------------------- the bar and the window

TEST_F(WarningBarTest, HiddenForAnOrdinaryLogAndSitsAboveTheGrid)
{
    open("plain.csv", "t\nTime,RPM\n0,800\n1,900\n");
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(grid1->mapTo(form.get(), QPoint()), grid1->parentWidget()->mapTo(form.get(), QPoint()));

    form->setLogReader([](const std::filesystem::path& path, dlv::ReadControl& control) {
        dlv::ReadResult result = dlv::readDataLog(path, &control);
        addWarning(result.warnings, "3,412 takes have fewer fields than the names line");
        addWarning(result.warnings, "the names line has no comma: the log has one parameter");
        return result;
    });
    const QPoint gridBefore = grid1->mapTo(form.get(), QPoint());
    open("odd.csv", "t\nTime,RPM\n0,800\n1,900\n");
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->warnings(), QStringList({"3,412 takes have fewer fields than the names line",
                                            "The names line has no comma: the log has one parameter"}));
    EXPECT_TRUE(bar->text().contains("odd.csv"));
    // Above the grid, which moves down to make room and keeps its data.
    EXPECT_LE(bar->mapTo(form.get(), QPoint()).y() + bar->height(), grid1->mapTo(form.get(), QPoint()).y());
    EXPECT_EQ(bar->mapTo(form.get(), QPoint()).y(), gridBefore.y());
    EXPECT_EQ(grid1->CellText(dlv::CellRange::cell(2, 2)), "900");
    EXPECT_TRUE(errors.isEmpty());
    // Not modal: the window goes on taking clicks.
    grid1->selectGridRow(2);
    EXPECT_EQ(form->findChild<QLabel*>("lblParameterName")->text(), "RPM");
}

TEST_F(WarningBarTest, DismissedBarStaysClosedOnReloadAndComesBackOnOpen)
{
    form->setLogReader([](const std::filesystem::path& path, dlv::ReadControl& control) {
        dlv::ReadResult result = dlv::readDataLog(path, &control);
        addWarning(result.warnings, "2 takes have more fields than the names line");
        return result;
    });
    open("a.csv", "t\nA,B\n1,2,3\n4,5,6\n");
    ASSERT_TRUE(bar->isVisible());
    QTest::mouseClick(bar->findChild<QToolButton*>("WarningClose"), Qt::LeftButton);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_NE(form->store(), nullptr);

    form->reloadCommand();
    EXPECT_FALSE(bar->isVisible());
    open("b.csv", "t\nA,B\n1,2,3\n");
    EXPECT_TRUE(bar->isVisible());

    // A log without warnings takes the bar away.
    form->setLogReader([](const std::filesystem::path& path, dlv::ReadControl& control) {
        return dlv::readDataLog(path, &control);
    });
    open("c.csv", "t\nA,B\n1,2\n");
    EXPECT_FALSE(bar->isVisible());
}

TEST_F(WarningBarTest, FailedOpenLeavesTheBarOfTheOpenLog)
{
    form->setLogReader([](const std::filesystem::path& path, dlv::ReadControl& control) {
        dlv::ReadResult result = dlv::readDataLog(path, &control);
        addWarning(result.warnings, "1 take has more fields than the names line");
        return result;
    });
    open("a.csv", "t\nA,B\n1,2,3\n");
    form->openFile(QString::fromStdString(logs.path("missing.csv")));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(barShows("1 take has more fields than the names line"));
}

// ------------------------------------------------- each kind, from the reader

TEST_F(WarningBarTest, ProgramFileOpensWithAWordOfWarning)
{
    std::filesystem::copy_file("/bin/ls", logs.path("ls"));
    form->openFile(QString::fromStdString(logs.path("ls")));
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    ASSERT_NE(form->store(), nullptr);  // open all the same
    ASSERT_TRUE(bar->isVisible());
    EXPECT_TRUE(bar->warnings().join('\n').contains("NUL or another control character")) << bar->text().toStdString();
}

TEST_F(WarningBarTest, EachOddityOfTheNamesLineIsNamed)
{
    open("semicolons.csv", "t\nTime;RPM;MAP\n0;800;30\n1;900;31\n");
    EXPECT_TRUE(barShows("The names line looks separated by ';' (2 of them), not by commas")) << bar->text().toStdString();
    EXPECT_EQ(grid1->RowCount(), 3);  // one parameter, as read

    open("tabs.csv", "t\nTime\tRPM\tMAP\n0\t800\t30\n");
    EXPECT_TRUE(bar->isVisible());
    EXPECT_TRUE(bar->warnings().join('\n').contains("looks separated by TAB")) << bar->text().toStdString();

    open("one.csv", "t\nRPM\n800\n900\n");
    EXPECT_TRUE(barShows("The names line has no comma: the log has one parameter")) << bar->text().toStdString();

    static constexpr char kControl[] = "t\nA,B\n1,2\n3,\0\0\x01\n";
    open("control.csv", std::string(kControl, sizeof kControl - 1));
    EXPECT_TRUE(barShows("3 bytes are NUL or another control character (the first in line 4)"))
        << bar->text().toStdString();
}

TEST_F(WarningBarTest, TakesWithFewerOrMoreFieldsAreCounted)
{
    std::string log = "t\nTime,RPM,MAP\n";
    for (int t = 0; t < 3412; ++t)
        log += std::to_string(t) + ",800\n";
    log += "1,2,3\n1,2,3,4\n5,6,7,8\n";
    open("fields.csv", log);
    EXPECT_TRUE(barShows("3,412 takes have fewer fields than the names line")) << bar->text().toStdString();
    EXPECT_TRUE(barShows("2 takes have more fields than the names line")) << bar->text().toStdString();
    EXPECT_EQ(form->store()->takeCount(), 3415);
}

}  // namespace
