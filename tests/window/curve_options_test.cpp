// View, Curve Time Axis and Curve Shading by Chart Filter: the General curve
// labels its x axis and shades the takes the Charts tab's filter drops, as
// the chart panes do; with both off it is drawn as it always was.
#include "render/plot_axes.h"
#include "support/window_fixture.h"
#include "window/cell_grid.h"
#include "window/curve_surface.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class CurveOptionsWindow : public dlvtest::DriveLogWindowFixture {
protected:
    void SetUp() override
    {
        DriveLogWindowFixture::SetUp();
        form->findChild<dlv::CellGrid*>("Grid1")->selectGridRow(5);  // TPS: 5 5 20 20 50 5
        picture = form->findChild<dlv::CurveSurface*>("Picture1");
        ASSERT_TRUE(picture->renderer().view().series());
    }
    [[nodiscard]] QImage shown() const
    {
        return picture->grab(picture->contentsRect()).toImage().convertToFormat(QImage::Format_RGB32);
    }
    // The widget column of take position x, frame included.
    [[nodiscard]] int columnOf(double take) const { return static_cast<int>(picture->toWidget({take, 0.0}).x()); }
    void clickAtTake(double take) const
    {
        QTest::mouseClick(picture, Qt::LeftButton, Qt::NoModifier, QPoint(columnOf(take), picture->height() / 3));
    }
    [[nodiscard]] QString value() const { return form->findChild<QLabel*>("lblValue")->text(); }
    [[nodiscard]] static int shadedPixels(const QImage& image)
    {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) == dlv::kDroppedShade;
        return n;
    }

    dlv::CurveSurface* picture = nullptr;
};

}  // namespace

TEST_F(CurveOptionsWindow, TheTimeAxisLabelsTheCurveFromBelowAndClicksStillFindTheirTake)
{
    clickAtTake(2.0);
    ASSERT_EQ(value(), "20");
    const QImage plain = shown();
    const QSize size = picture->surfaceSize();

    trigger("mnuCurveAxis");
    ASSERT_TRUE(picture->renderer().axisShown());
    const QRect plot = picture->renderer().plotRect(size);
    ASSERT_LT(plot.height(), size.height());
    const QImage labelled = shown();
    EXPECT_NE(labelled, plain);
    // Under the plot only the axis is drawn: its labels are dark.
    int dark = 0;
    for (int y = plot.bottom() + 2; y < labelled.height(); ++y)
        for (int x = 0; x < labelled.width(); ++x)
            dark += qGray(labelled.pixel(x, y)) < 128;
    EXPECT_GT(dark, 10) << "labels under the curve";

    // The same spot of the curve is the same take.
    clickAtTake(4.0);
    EXPECT_EQ(value(), "50");
    clickAtTake(2.0);
    EXPECT_EQ(value(), "20");

    // Off again, the curve is drawn as before, to the pixel.
    trigger("mnuCurveAxis");
    EXPECT_FALSE(picture->renderer().axisShown());
    EXPECT_EQ(shown(), plain);
}

TEST_F(CurveOptionsWindow, ShadingShowsWhatTheChartFilterDropsOnceTheGeneralTabIsBack)
{
    trigger("mnuCurveShading");
    EXPECT_EQ(shadedPixels(shown()), 0) << "no filter, no shading";

    auto* tabs = form->findChild<QTabWidget*>("Tab1");
    tabs->setCurrentIndex(tabs->count() - 1);  // Charts
    auto* filter = form->findChild<QLineEdit*>("chartFilter");
    ASSERT_TRUE(filter);
    filter->setFocus();
    QTest::keyClicks(filter, "TPS > 10");
    QTest::keyClick(filter, Qt::Key_Return);
    tabs->setCurrentIndex(0);

    // Takes 0, 1 and 5 are dropped: shaded at both ends, not in the middle,
    // at the top of the plot, which the curve reaches only at take 4.
    const QImage image = shown();
    const int top = 1;
    const int origin = picture->contentsRect().left();
    EXPECT_EQ(image.pixel(columnOf(0.4) - origin, top), dlv::kDroppedShade);
    EXPECT_EQ(image.pixel(columnOf(4.8) - origin, top), dlv::kDroppedShade);
    EXPECT_EQ(image.pixel(columnOf(2.5) - origin, top), qRgb(255, 255, 255));

    trigger("mnuCurveShading");
    EXPECT_EQ(shadedPixels(shown()), 0) << "shading off";
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}
