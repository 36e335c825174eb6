#include "views/curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using dlv::CurveZoom;

TEST(CurveZoom, StartsWholeAndReportsFullRange)
{
    const CurveZoom z(10.0, 100.0);
    EXPECT_TRUE(z.isWhole());
    EXPECT_DOUBLE_EQ(z.left(), 10.0);
    EXPECT_DOUBLE_EQ(z.right(), 110.0);
}

TEST(CurveZoom, ZoomKeepsAnchorAtTheSameFractionOfTheView)
{
    CurveZoom z(0.0, 1000.0);
    z.zoomAt(250.0, 0.25, 2.0);
    EXPECT_DOUBLE_EQ(z.width(), 500.0);
    EXPECT_DOUBLE_EQ(z.left() + 0.25 * z.width(), 250.0);
    z.zoomAt(300.0, 0.6, 4.0);
    EXPECT_DOUBLE_EQ(z.width(), 125.0);
    EXPECT_DOUBLE_EQ(z.left() + 0.6 * z.width(), 300.0);
    EXPECT_FALSE(z.isWhole());
}

TEST(CurveZoom, ZoomInStopsAtFourTakesAcross)
{
    CurveZoom z(0.0, 1000.0);
    z.zoomAt(500.0, 0.5, 1e9);
    EXPECT_DOUBLE_EQ(z.width(), CurveZoom::kMinSpan);
    EXPECT_DOUBLE_EQ(z.left(), 498.0);
}

TEST(CurveZoom, ZoomOutStopsAtWholeLogAndSnapsToItsLeft)
{
    CurveZoom z(0.0, 1000.0);
    z.zoomAt(900.0, 0.5, 3.0);
    z.zoomAt(100.0, 0.1, 1e-6);
    EXPECT_TRUE(z.isWhole());
    EXPECT_DOUBLE_EQ(z.left(), 0.0);
    EXPECT_DOUBLE_EQ(z.width(), 1000.0);
}

TEST(CurveZoom, ZoomNearAnEdgeIsClampedIntoTheLog)
{
    CurveZoom z(0.0, 1000.0);
    z.zoomAt(5.0, 0.9, 10.0);  // the anchor would need the view to start left of 0
    EXPECT_DOUBLE_EQ(z.left(), 0.0);
    EXPECT_DOUBLE_EQ(z.width(), 100.0);
}

TEST(CurveZoom, PanStopsAtBothEndsOfTheLog)
{
    CurveZoom z(0.0, 1000.0);
    z.setVisible(400.0, 100.0);
    z.panBy(-1000.0);
    EXPECT_DOUBLE_EQ(z.left(), 0.0);
    z.panBy(1e9);
    EXPECT_DOUBLE_EQ(z.right(), 1000.0);
    EXPECT_DOUBLE_EQ(z.width(), 100.0);
    z.panBy(-250.0);
    EXPECT_DOUBLE_EQ(z.left(), 650.0);
}

TEST(CurveZoom, PanOfTheWholeLogDoesNotMove)
{
    CurveZoom z(0.0, 1000.0);
    z.panBy(300.0);
    EXPECT_DOUBLE_EQ(z.left(), 0.0);
    EXPECT_TRUE(z.isWhole());
}

TEST(CurveZoom, LogNarrowerThanFourTakesCannotBeZoomed)
{
    CurveZoom z(0.0, 2.0);
    z.zoomAt(1.0, 0.5, 10.0);
    EXPECT_TRUE(z.isWhole());
    EXPECT_DOUBLE_EQ(z.width(), 2.0);
}

TEST(CurveZoom, NonFiniteInputLeavesTheViewAlone)
{
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    CurveZoom z(0.0, 1000.0);
    z.setVisible(100.0, 50.0);
    const CurveZoom before = z;
    z.zoomAt(kNaN, 0.5, 2.0);
    z.zoomAt(10.0, 0.5, kInf);
    z.zoomAt(10.0, 0.5, -2.0);
    z.panBy(kNaN);
    z.setVisible(kInf, 10.0);
    EXPECT_EQ(z, before);
}

TEST(CurveZoom, ResetShowsTheWholeLog)
{
    CurveZoom z(5.0, 100.0);
    z.setVisible(50.0, 10.0);
    z.reset();
    EXPECT_TRUE(z.isWhole());
    EXPECT_DOUBLE_EQ(z.left(), 5.0);
}

}  // namespace
