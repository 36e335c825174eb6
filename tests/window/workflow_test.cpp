// The tuner's workflow additions, through the real window: dropping a log,
// reading it again, the BLM table's tints and tooltips, and from a BLM cell to
// the takes behind it.
#include "window/form1.h"

#include "support/temp_logs.h"
#include "views/blm_table.h"
#include "window/cell_grid.h"
#include "window/curve_surface.h"
#include "window/find_bar.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTabWidget>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <fstream>

using dlv::CellGrid;
using dlv::CellRange;
using dlv::Form1;

namespace {

class WorkflowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<Form1>();
        form->setMessageHandler([this](Form1::MessageKind kind, const QString&, const QString& text) {
            (kind == Form1::MessageKind::Error ? errors : abouts) << text;
        });
        form->show();
        grid1 = form->findChild<CellGrid*>("Grid1");
        grid2 = form->findChild<CellGrid*>("Grid2");
    }

    void drop(const QString& path)
    {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent dropEvent(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &dropEvent);
    }

    // Takes for the BLM cell of row 3 (RPM 800..1200) and column 5 (MAP 60).
    static std::string blmLog(int takes)
    {
        std::string log = "title\n";
        for (int f = 0; f < 250; ++f)
            log += (f ? ",P" : "P") + std::to_string(f);
        log += "\n";
        for (int t = 0; t < takes; ++t)
            log += dlvtest::takeLine(250, {{0, std::to_string(t)}, {224, t % 2 ? "1000" : "3000"},
                                           {236, std::to_string(120 + t % 3)}, {247, "60"}}) + "\n";
        return log;
    }

    dlvtest::TempLogs logs;
    std::unique_ptr<Form1> form;
    CellGrid* grid1 = nullptr;
    CellGrid* grid2 = nullptr;
    QStringList errors;
    QStringList abouts;
};

}  // namespace

TEST_F(WorkflowTest, DroppedLogOpensLikeFileOpen)
{
    drop(QString::fromStdString(logs.write("d.csv", "t\nTime\n0\n90\n")));
    EXPECT_EQ(grid1->CellText(CellRange::cell(1, 2)), "90");
    EXPECT_EQ(form->findChild<QLabel*>("lblRunTime")->text(), "1.5 minutes (2 takes)");
    drop(QString::fromStdString(logs.path("gone.csv")));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("does not exist"));
    EXPECT_EQ(grid1->CellText(CellRange::cell(1, 2)), "90");
}

TEST_F(WorkflowTest, F5ReadsAGrowingLogAgain)
{
    const std::string path = logs.write("g.csv", "t\nTime\n0\n60\n");
    form->openFile(QString::fromStdString(path));
    std::ofstream(path, std::ios::app) << "120\n";
    QTest::keyClick(form.get(), Qt::Key_F5);
    EXPECT_EQ(grid1->ColCount(), 4);
    EXPECT_EQ(form->findChild<QLabel*>("lblRunTime")->text(), "2 minutes (3 takes)");
    std::filesystem::remove(path);
    QTest::keyClick(form.get(), Qt::Key_F5);  // gone now: a message, and the log stays
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(grid1->ColCount(), 4);
}

TEST_F(WorkflowTest, BlmCellsAreTintedAndTellTheirTakesWithoutChangingTexts)
{
    form->openFile(QString::fromStdString(logs.write("b.csv", blmLog(40))));
    // RPM 1000 lies in the band of row 3; MAP 60 in column 5.
    EXPECT_EQ(grid2->CellText(CellRange::cell(3, 5)), "121");
    const QModelIndex index = grid2->model()->index(2, 4);
    const QString tip = grid2->model()->data(index, Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains("Takes: 20")) << tip.toStdString();
    const QColor tint = grid2->model()->data(index, Qt::BackgroundRole).value<QBrush>().color();
    EXPECT_NE(tint, QColor(Qt::white));  // 121 is away from 128
    EXPECT_EQ(grid2->CellBackColor(CellRange::cell(3, 5)), 0xFFFFFFu);
    // The report is unchanged by the additions: it still has no hit table.
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(WorkflowTest, DoubleClickOnBlmCellSelectsBlmAndTicksItsTakes)
{
    form->openFile(QString::fromStdString(logs.write("b.csv", blmLog(12))));
    auto* tabs = form->findChild<QTabWidget*>("Tab1");
    tabs->setCurrentIndex(1);
    QApplication::processEvents();
    const QRect cellRect = grid2->visualRect(grid2->model()->index(2, 4));
    QTest::mouseDClick(grid2->viewport(), Qt::LeftButton, Qt::NoModifier, cellRect.center());
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(grid1->SelectedRow(), dlv::kBlmParam + 1);
    EXPECT_EQ(form->findChild<QLabel*>("lblParameterName")->text(), "P236");
    const auto* picture = form->findChild<dlv::CurveSurface*>("Picture1");
    EXPECT_EQ(picture->tickTakes(), (std::vector<int>{1, 3, 5, 7, 9, 11}));
}

TEST_F(WorkflowTest, CtrlFFindsTheNextParameterByName)
{
    form->openFile(QString::fromStdString(logs.write("b.csv", blmLog(3))));
    QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
    auto* bar = form->findChild<dlv::FindBar*>("FindBar");
    ASSERT_TRUE(bar->isVisible());
    QTest::keyClicks(bar->lineEdit(), "p24");
    QTest::keyClick(bar->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(grid1->SelectedRow(), 25);  // P24
    EXPECT_EQ(form->findChild<QLabel*>("lblParameterName")->text(), "P24");
}

TEST_F(WorkflowTest, AboutListsTheKeysAndGestures)
{
    form->findChild<QAction*>("mnuAbout")->trigger();
    ASSERT_EQ(abouts.size(), 1);
    for (const char* key : {"F12", "F5", "Ctrl+F", "Ctrl+C", "F3", "wheel", "Home", "drop"})
        EXPECT_TRUE(abouts[0].contains(key, Qt::CaseInsensitive)) << key;
}
