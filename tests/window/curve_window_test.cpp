#include "window/form1.h"

#include "support/temp_logs.h"
#include "window/cell_grid.h"
#include "window/curve_surface.h"

#include <QImage>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using dlv::CellGrid;
using dlv::CellRange;
using dlv::CurveSurface;
using dlv::Form1;

namespace {

class CurveWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<Form1>();
        form->setMessageHandler([this](Form1::MessageKind, const QString&, const QString& text) { errors << text; });
        form->show();
        grid1 = form->findChild<CellGrid*>("Grid1");
        picture = form->findChild<CurveSurface*>("Picture1");
    }

    void open(const std::string& bytes)
    {
        form->openFile(QString::fromStdString(logs.write("log" + std::to_string(++count) + ".csv", bytes)));
        ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    }
    QString label(const char* name) const { return form->findChild<QLabel*>(name)->text(); }

    // A real mouse release on the surface at user x (middle height).
    void clickAt(double x)
    {
        const QPointF p = picture->toWidget(QPointF(x, picture->userScale().top() + picture->userScale().height() / 2));
        QTest::mouseRelease(picture, Qt::LeftButton, Qt::NoModifier, p.toPoint());
    }
    bool columnInView(int col) const
    {
        const QModelIndex index = grid1->model()->index(0, col - 1);
        return grid1->viewport()->rect().intersects(grid1->visualRect(index));
    }
    static bool hasBlueNear(const QImage& image, int x)
    {
        for (int dx = -1; dx <= 1; ++dx)
            for (int y = 0; y < image.height(); ++y) {
                const QColor c = image.pixelColor(std::clamp(x + dx, 0, image.width() - 1), y);
                if (c.blue() > 200 && c.red() < 80 && c.green() < 80)
                    return true;
            }
        return false;
    }

    dlvtest::TempLogs logs;
    std::unique_ptr<Form1> form;
    CellGrid* grid1 = nullptr;
    CurveSurface* picture = nullptr;
    QStringList errors;
    int count = 0;
};

// Takes 0..4 hold 5, 10, 20, 30, 40 for parameter 1.
const std::string kFiveTakes = "t\nTime,Val\n0,5\n1,10\n2,20\n3,30\n4,40\n";

}  // namespace

TEST_F(CurveWindowTest, SelectingARowShowsNameAndSummaryOverAllTakes)
{
    open(kFiveTakes);
    grid1->selectGridRow(2);
    EXPECT_EQ(label("lblParameterName"), "Val");
    EXPECT_EQ(label("lblMax"), "40.00");  // the last take counts
    EXPECT_EQ(label("lblMin"), "5.00");   // and the first
    EXPECT_EQ(label("lblAvg"), "21.00");
    EXPECT_EQ(picture->userScale().width(), 4.0);   // W = U
    EXPECT_EQ(picture->userScale().height(), 41.0); // from -1 up to the maximum
}

TEST_F(CurveWindowTest, EmptyAndTextValuesAreLeftOutWithoutError)
{
    open("t\nTime,Val\n0,10\n1,\n2,abc\n3,30\n");
    grid1->selectGridRow(2);
    EXPECT_EQ(label("lblAvg"), "20.00");
    EXPECT_EQ(label("lblMin"), "10.00");
    EXPECT_EQ(label("lblMax"), "30.00");
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(CurveWindowTest, ParameterWithoutNumbersBlanksLabelsAndSurface)
{
    open("t\nTime,Val\n0,x\n1,\n");
    grid1->selectGridRow(2);
    EXPECT_EQ(label("lblAvg"), "");
    EXPECT_EQ(label("lblMax"), "");
    EXPECT_EQ(label("lblMin"), "");
    EXPECT_EQ(picture->drawnItemCount(), 0);
}

TEST_F(CurveWindowTest, ClickMarksShowsTheTakeAndScrollsTheGridToIt)
{
    std::string log = "t\nTime,Val\n";
    for (int t = 0; t < 2000; ++t)
        log += std::to_string(t) + "," + std::to_string(t * 2) + "\n";
    open(log);
    grid1->selectGridRow(2);
    ASSERT_FALSE(columnInView(1501));

    clickAt(1500.4);
    EXPECT_EQ(label("lblValue"), "3000");
    EXPECT_TRUE(columnInView(1501));  // take 1500's own column
    EXPECT_EQ(grid1->SelectedRow(), 2);
    const QImage image = picture->grab().toImage();
    EXPECT_TRUE(hasBlueNear(image, qRound(picture->toWidget(QPointF(1500.4, 0)).x())));
}

// Exact halves cannot be hit with whole pixels; the rounding of halves is
// covered by the click arithmetic's own tests.
TEST_F(CurveWindowTest, ClicksGoToTheNearestTakeAndOutsideTheTakesShowNothing)
{
    open(kFiveTakes);
    grid1->selectGridRow(2);
    clickAt(2.4);
    EXPECT_EQ(label("lblValue"), "20");
    clickAt(3.6);
    EXPECT_EQ(label("lblValue"), "40");
    clickAt(-0.7);  // left of the first take: no take
    EXPECT_EQ(label("lblValue"), "");
    clickAt(-0.2);  // rounds to take 0
    EXPECT_EQ(label("lblValue"), "5");
    clickAt(4.6);   // right of the last take
    EXPECT_EQ(label("lblValue"), "");
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(CurveWindowTest, ValueLabelSurvivesSelectingAnotherRow)
{
    open(kFiveTakes);
    grid1->selectGridRow(2);
    clickAt(1.1);
    EXPECT_EQ(label("lblValue"), "10");
    grid1->selectGridRow(1);
    EXPECT_EQ(label("lblParameterName"), "Time");
    EXPECT_EQ(label("lblValue"), "10");
}

TEST_F(CurveWindowTest, ClickWithoutSelectedRowDoesNothing)
{
    open(kFiveTakes);
    clickAt(2.0);
    EXPECT_EQ(label("lblValue"), "");
    EXPECT_EQ(label("lblParameterName"), "Parameter summary");
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(CurveWindowTest, OpeningAnotherLogKeepsTheCurveUntilARowIsSelected)
{
    open(kFiveTakes);
    grid1->selectGridRow(2);
    open("t\nOther\n1\n2\n");
    EXPECT_EQ(label("lblParameterName"), "Val");
    EXPECT_EQ(label("lblMax"), "40.00");
    grid1->selectGridRow(1);
    EXPECT_EQ(label("lblParameterName"), "Other");
    EXPECT_EQ(label("lblMax"), "2.00");
}
