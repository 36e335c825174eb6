// The curve view's rules without a widget: zoom kept or reset, the series
// resetting what belongs to it, the marker and tick steps, clicks and hovers.
#include "views/curve_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

using dlv::CurveScale;
using dlv::CurveView;
using dlv::ParamSeries;

std::shared_ptr<const ParamSeries> seriesOf(int takes)
{
    dlv::Column values;
    for (int t = 0; t < takes; ++t)
        values.push_back(t % 7);
    return std::make_shared<const ParamSeries>(ParamSeries{0, std::make_shared<const dlv::Column>(std::move(values))});
}

// A view of a 1001-take series (user x 0 .. 1000) zoomed to 400 .. 500.
CurveView zoomedView(const std::shared_ptr<const ParamSeries>& series)
{
    CurveView view;
    view.setFullScale(CurveScale(0.0, 0.0, 1000.0, 10.0));
    view.setSeries(series, 6.0);
    view.setVisibleRange(400.0, 100.0);
    return view;
}

TEST(CurveViewTest, ZoomSurvivesTheSameRangeAndResetsOnAnotherAndReportsChanges)
{
    CurveView view;
    EXPECT_TRUE(view.setFullScale(CurveScale(0.0, 0.0, 1000.0, 10.0)));
    EXPECT_FALSE(view.setFullScale(CurveScale(0.0, 0.0, 1000.0, 10.0))) << "nothing moved";
    EXPECT_TRUE(view.setVisibleRange(400.0, 100.0));
    EXPECT_FALSE(view.setVisibleRange(400.0, 100.0));
    EXPECT_TRUE(view.isZoomed());

    // Same x range, other height (a redraw of another parameter): zoom kept.
    EXPECT_TRUE(view.setFullScale(CurveScale(0.0, 0.0, 1000.0, 20.0)));
    EXPECT_EQ(view.visibleScale(), CurveScale(400.0, 0.0, 100.0, 20.0));
    EXPECT_EQ(view.fullScale(), CurveScale(0.0, 0.0, 1000.0, 20.0));

    // Another x range starts whole.
    view.setFullScale(CurveScale(0.0, 0.0, 500.0, 20.0));
    EXPECT_FALSE(view.isZoomed());
    EXPECT_EQ(view.visibleScale(), view.fullScale());

    view.setVisibleRange(-50.0, 1.0);  // clamped into the log, at least kMinSpan wide
    EXPECT_DOUBLE_EQ(view.visibleScale().left(), 0.0);
    EXPECT_DOUBLE_EQ(view.visibleScale().width(), dlv::CurveZoom::kMinSpan);
    EXPECT_TRUE(view.showWhole());
    EXPECT_FALSE(view.showWhole());
}

TEST(CurveViewTest, WheelKeepsThePointUnderThePointerAndDragFollowsIt)
{
    CurveView view;
    view.setFullScale(CurveScale(0.0, 0.0, 1000.0, 10.0));
    // Pointer at pixel 100 of 400: user x 250 stays there.
    EXPECT_TRUE(view.zoomAt(100.0, 400.0, 2.0));
    EXPECT_DOUBLE_EQ(view.visibleScale().width(), 500.0);
    EXPECT_DOUBLE_EQ(view.visibleScale().toUserX(100.0, 400.0), 250.0);
    // Left of the surface counts as its left edge, which stays put.
    view.zoomAt(-30.0, 400.0, 2.0);
    EXPECT_DOUBLE_EQ(view.visibleScale().left(), 125.0);
    EXPECT_DOUBLE_EQ(view.visibleScale().width(), 250.0);

    // Dragging 40 of 400 pixels to the left moves the view a tenth of its width right.
    view.startPan(200.0);
    EXPECT_TRUE(view.panTo(160.0, 400.0));
    EXPECT_DOUBLE_EQ(view.visibleScale().left(), 150.0);
    view.panTo(-10000.0, 400.0);  // stops at the end of the log
    EXPECT_DOUBLE_EQ(view.visibleScale().right(), 1000.0);
}

TEST(CurveViewTest, AnotherSeriesResetsZoomTicksAndMarkerTheSameOneKeepsThem)
{
    const auto series = seriesOf(1001);
    CurveView view = zoomedView(series);
    view.setTicks({5, 600});
    view.setMarker(450);

    view.clearSeries();  // the window clears and redraws on every click
    view.setSeries(series, 6.0);
    EXPECT_TRUE(view.isZoomed());
    EXPECT_EQ(view.ticks().size(), 2u);
    EXPECT_EQ(view.marker(), 450);

    view.setSeries(nullptr, 0.0);  // ignored
    EXPECT_EQ(view.series(), series);

    view.setSeries(seriesOf(1001), 6.0);
    EXPECT_FALSE(view.isZoomed());
    EXPECT_TRUE(view.ticks().empty());
    EXPECT_FALSE(view.marker().has_value());
}

TEST(CurveViewTest, ClicksSetTheMarkerJustBeyondTheEndsAtMostAndHoversFindTakes)
{
    CurveView view;
    view.setFullScale(CurveScale(0.0, 0.0, 10.0, 1.0));
    EXPECT_EQ(view.lastTake(), 10) << "without a series: the full x range";
    EXPECT_FALSE(view.takeAt(3.0).has_value()) << "no hover without a series";

    view.setSeries(seriesOf(8), 6.0);
    EXPECT_EQ(view.lastTake(), 7);
    view.markClick(3.4);
    EXPECT_EQ(view.marker(), 3);
    view.markClick(2.5);  // half to even
    EXPECT_EQ(view.marker(), 2);
    view.markClick(1e12);
    EXPECT_EQ(view.marker(), 8);
    view.markClick(-1e12);
    EXPECT_EQ(view.marker(), -1);
    view.markClick(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(view.marker(), -1);

    EXPECT_EQ(view.takeAt(6.6), 7);
    EXPECT_FALSE(view.takeAt(7.6).has_value());
    EXPECT_FALSE(view.takeAt(-0.6).has_value());
}

TEST(CurveViewTest, MarkerStepsStayOnTheTakesAndScrollAZoomedViewToThem)
{
    CurveView view = zoomedView(seriesOf(1001));
    EXPECT_EQ(view.stepMarker(+1), 400) << "no marker: the first visible take";
    EXPECT_EQ(view.stepMarker(-1), 399);
    EXPECT_LE(view.visibleScale().left(), 399.0);
    EXPECT_DOUBLE_EQ(view.visibleScale().width(), 100.0) << "scrolled, not zoomed";

    view.setMarker(1000);
    EXPECT_EQ(view.stepMarker(+1), 1000);
    EXPECT_GE(view.visibleScale().right(), 1000.0);
    view.setMarker(-1);  // a click left of the first take
    EXPECT_EQ(view.stepMarker(+1), 0);
}

TEST(CurveViewTest, TickStepsFindTheNextTickOfTheSeriesEitherWay)
{
    CurveView view = zoomedView(seriesOf(1001));
    view.setTicks({900, -3, 100, 450, 100, 5000});
    EXPECT_EQ(view.ticks(), (std::vector<int>{-3, 100, 450, 900, 5000})) << "sorted, no repeats";

    // No marker: forward from the left edge of the view, back from its right edge.
    EXPECT_EQ(view.stepTick(true), 450);
    view.setMarker(std::nullopt);
    view.setVisibleRange(400.0, 100.0);
    EXPECT_EQ(view.stepTick(false), 450);

    EXPECT_EQ(view.stepTick(true), 900);
    EXPECT_EQ(view.marker(), 900);
    EXPECT_GE(view.visibleScale().right(), 900.0) << "scrolled to the tick";
    EXPECT_FALSE(view.stepTick(true).has_value()) << "5000 is not a take";
    EXPECT_EQ(view.marker(), 900);

    view.setMarker(100);
    EXPECT_FALSE(view.stepTick(false).has_value()) << "-3 is not a take";
    EXPECT_EQ(view.marker(), 100);
}

TEST(CurveViewTest, EnvelopeFollowsTheVisibleRangeAndWidth)
{
    CurveView view = zoomedView(seriesOf(1001));
    const dlv::CurveEnvelope& zoomed = view.envelope(50);
    EXPECT_EQ(zoomed.widthPx(), 50);
    EXPECT_DOUBLE_EQ(zoomed.x0(), 400.0);
    EXPECT_EQ(&view.envelope(50), &zoomed);
    view.showWhole();
    EXPECT_DOUBLE_EQ(view.envelope(80).x1(), 1000.0);
    EXPECT_EQ(view.envelope(80).widthPx(), 80);
}

TEST(CurveViewTest, AnOfferedEnvelopeServesOnlyItsSeriesRangeAndWidth)
{
    const auto series = seriesOf(1001);
    CurveView view = zoomedView(series);
    view.showWhole();
    // A picture of no takes at all for the whole range, 60 columns wide:
    // told apart from the series' own by its empty columns.
    const std::vector<double> nothing(1001, std::numeric_limits<double>::quiet_NaN());
    const auto offer = [&] { view.offerEnvelope(series, dlv::CurveEnvelope::build(nothing, 0.0, 1000.0, 60)); };
    offer();
    EXPECT_TRUE(view.envelope(60).columns().front().empty());
    // Another width, another range or another series: built anew.
    offer();
    EXPECT_FALSE(view.envelope(61).columns().front().empty());
    offer();
    view.setVisibleRange(0.0, 999.0);
    EXPECT_FALSE(view.envelope(60).columns().front().empty());
    view.showWhole();
    view.offerEnvelope(seriesOf(1001), dlv::CurveEnvelope::build(nothing, 0.0, 1000.0, 60));
    EXPECT_FALSE(view.envelope(60).columns().front().empty());
}

}  // namespace
