#include "window/curve_surface.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kBlue = 0xFF0000FF;
constexpr dlv::GridColor kRedBgr = 0x0000FF;
constexpr dlv::GridColor kBlueBgr = 0xFF0000;

// A surface whose inside is exactly w x h pixels.
std::unique_ptr<dlv::CurveSurface> surfaceOfInside(int w, int h)
{
    auto s = std::make_unique<dlv::CurveSurface>();
    const int f = s->frameWidth();
    s->resize(w + 2 * f, h + 2 * f);
    return s;
}

// The inside of the surface as painted now (frame cut off).
QImage inside(dlv::CurveSurface& s)
{
    return s.grab().toImage().convertToFormat(QImage::Format_RGB32).copy(s.contentsRect());
}

int countPixels(const QImage& img, QRgb color)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += img.pixel(x, y) == color ? 1 : 0;
    return n;
}

std::shared_ptr<const dlv::ParamSeries> seriesOf(std::vector<double> values)
{
    return std::make_shared<const dlv::ParamSeries>(
        dlv::ParamSeries{1, std::make_shared<const dlv::Column>(std::move(values))});
}

// Coloured rows of pixel column x, top and bottom; -1 when none.
std::pair<int, int> coloredRows(const QImage& img, int x, QRgb color)
{
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < img.height(); ++y) {
        if (img.pixel(x, y) == color) {
            if (top < 0)
                top = y;
            bottom = y;
        }
    }
    return {top, bottom};
}

// --- mouse --------------------------------------------------------------

TEST(CurveSurfaceMouse, ReleaseReportsUserUnitsAndButtons)
{
    auto s = surfaceOfInside(200, 100);
    s->setUserScale(50, 10);
    s->show();
    QSignalSpy spy(s.get(), &dlv::CurveSurface::mouseReleased);
    const QPoint origin = s->contentsRect().topLeft();
    QTest::mouseRelease(s.get(), Qt::RightButton, Qt::ShiftModifier, origin + QPoint(80, 30));
    ASSERT_EQ(spy.count(), 1);
    const QList<QVariant> args = spy.takeFirst();
    EXPECT_EQ(args.at(0).value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(args.at(1).value<Qt::KeyboardModifiers>(), Qt::KeyboardModifiers(Qt::ShiftModifier));
    EXPECT_DOUBLE_EQ(args.at(2).toDouble(), 20.0);  // 80 / 200 * 50
    EXPECT_DOUBLE_EQ(args.at(3).toDouble(), 3.0);   // 30 / 100 * 10
}

TEST(CurveSurfaceMouse, WithoutScaleReportsFractionOfInside)
{
    auto s = surfaceOfInside(200, 100);
    s->show();
    QSignalSpy spy(s.get(), &dlv::CurveSurface::mouseReleased);
    QTest::mouseRelease(s.get(), Qt::LeftButton, {}, s->contentsRect().topLeft() + QPoint(50, 25));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_DOUBLE_EQ(spy.at(0).at(2).toDouble(), 0.25);
    EXPECT_DOUBLE_EQ(spy.at(0).at(3).toDouble(), 0.25);
}

TEST(CurveSurfaceMouse, PointerDraggedOffGivesUnitsOutsideScale)
{
    auto s = surfaceOfInside(100, 100);
    s->setUserScale(10, 10);
    s->show();
    QSignalSpy spy(s.get(), &dlv::CurveSurface::mouseReleased);
    const QPoint origin = s->contentsRect().topLeft();
    QTest::mousePress(s.get(), Qt::LeftButton, {}, origin + QPoint(50, 50));
    QTest::mouseRelease(s.get(), Qt::LeftButton, {}, origin + QPoint(150, -20));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_DOUBLE_EQ(spy.at(0).at(2).toDouble(), 15.0);
    EXPECT_DOUBLE_EQ(spy.at(0).at(3).toDouble(), -2.0);
}

// --- drawing ------------------------------------------------------------

TEST(CurveSurfaceDrawing, LineAppearsInBlueGreenRedColour)
{
    auto s = surfaceOfInside(100, 100);
    s->setUserScale(10, 10);
    s->setDrawColor(kRedBgr);
    s->drawLine(0, 5, 10, 5);
    s->setDrawColor(kBlueBgr);
    s->drawLine(2, 0, 2, 10);
    const QImage img = inside(*s);
    EXPECT_EQ(img.pixel(70, 50), kRed);
    EXPECT_EQ(img.pixel(0, 50), kRed);
    EXPECT_EQ(img.pixel(99, 50), kRed);
    EXPECT_EQ(img.pixel(20, 10), kBlue);
    EXPECT_EQ(img.pixel(20, 90), kBlue);
    EXPECT_EQ(img.pixel(70, 20), kWhite);
    EXPECT_EQ(img.pixel(20, 50), kBlue);  // drawn later, so on top
    EXPECT_EQ(countPixels(img, kRed) + countPixels(img, kBlue), 199);
}

TEST(CurveSurfaceDrawing, LineOnRightAndBottomEdgeStaysVisible)
{
    auto s = surfaceOfInside(50, 40);
    s->setUserScale(5, 4);
    s->drawLine(5, 0, 5, 4);
    s->drawLine(0, 4, 5, 4);
    const QImage img = inside(*s);
    EXPECT_EQ(img.pixel(49, 20), 0xFF000000u);
    EXPECT_EQ(img.pixel(25, 39), 0xFF000000u);
}

TEST(CurveSurfaceDrawing, CurveFollowsValuesAcrossWidth)
{
    // Values 0 .. 10 in steps of 1/8 over takes 0 .. 80 (exact in binary):
    // the curve rises from the row of value 0 to the top row on the right.
    std::vector<double> v;
    for (int t = 0; t <= 80; ++t)
        v.push_back(t * 0.125);
    auto series = seriesOf(v);
    const dlv::CurveLayout layout = dlv::CurveLayout::of(80, dlv::summarizeSeries(*series));
    ASSERT_DOUBLE_EQ(layout.height, 11.0);
    auto s = surfaceOfInside(160, 88);  // 2 pixels a take, 8 pixels a unit
    s->setUserScale(layout.width, layout.height);
    s->setDrawColor(kBlueBgr);
    s->setCurve(series, layout);
    const QImage img = inside(*s);
    for (int x = 0; x < 160; ++x) {
        const auto [top, bottom] = coloredRows(img, x, kBlue);
        ASSERT_GE(top, 0) << "column " << x;
        // Column x holds values x / 16 .. (x + 1) / 16, at rows 80 - 8 a.
        EXPECT_EQ(top, static_cast<int>(std::floor(80.0 - 0.5 * (x + 1)))) << "column " << x;
        EXPECT_EQ(bottom, static_cast<int>(std::floor(80.0 - 0.5 * x))) << "column " << x;
    }
    EXPECT_EQ(img.pixel(80, 20), kWhite);
    EXPECT_EQ(countPixels(img, kBlue), 160 * 2 - 80);  // neighbouring runs share one row every other column
}

TEST(CurveSurfaceDrawing, CurveGapLeavesColumnsBlank)
{
    auto series = seriesOf({5, 5, std::nan(""), 5, 5});
    const dlv::CurveLayout layout = dlv::CurveLayout::of(4, dlv::summarizeSeries(*series));
    auto s = surfaceOfInside(40, 20);
    s->setUserScale(layout.width, layout.height);
    s->setCurve(series, layout);
    const QImage img = inside(*s);
    constexpr QRgb kBlack = 0xFF000000u;
    EXPECT_EQ(coloredRows(img, 5, kBlack).first, 0);  // the maximum is the top row
    EXPECT_EQ(coloredRows(img, 15, kBlack).first, -1);
    EXPECT_EQ(coloredRows(img, 25, kBlack).first, -1);
    EXPECT_EQ(coloredRows(img, 35, kBlack).first, 0);
}

TEST(CurveSurfaceDrawing, ClearBlanksLinesAndCurves)
{
    auto s = surfaceOfInside(60, 30);
    s->setUserScale(2, 3);
    auto series = seriesOf({1, 2, 1});
    s->setCurve(series, dlv::CurveLayout::of(2, dlv::summarizeSeries(*series)));
    s->drawLine(0, 0, 2, 3);
    ASSERT_GT(countPixels(inside(*s), 0xFF000000u), 0);
    s->clear();
    EXPECT_EQ(s->drawnItemCount(), 0);
    const QImage img = inside(*s);
    EXPECT_EQ(countPixels(img, kWhite), img.width() * img.height());
}

TEST(CurveSurfaceDrawing, ContentSurvivesHideShowAndResize)
{
    auto series = seriesOf({0, 0, 0, 0});  // flat at the top row
    const dlv::CurveLayout layout = dlv::CurveLayout::of(3, dlv::summarizeSeries(*series));
    auto s = surfaceOfInside(90, 30);
    s->setUserScale(layout.width, layout.height);
    s->setDrawColor(kRedBgr);
    s->setCurve(series, layout);
    s->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(s.get()));
    s->hide();
    s->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(s.get()));
    QImage img = inside(*s);
    EXPECT_EQ(coloredRows(img, 0, kRed).first, 0);
    EXPECT_EQ(coloredRows(img, 89, kRed).first, 0);

    const int f = s->frameWidth();
    s->resize(300 + 2 * f, 60 + 2 * f);
    img = inside(*s);
    ASSERT_EQ(img.width(), 300);
    EXPECT_EQ(countPixels(img, kRed), 300);  // the envelope is rebuilt for the new width
    EXPECT_EQ(coloredRows(img, 299, kRed).first, 0);
}

TEST(CurveSurfaceDrawing, ChangingScaleZoomsTheCurve)
{
    // Value t at take t; showing takes 5 .. 10 of 0 .. 10 puts value 5 at the left edge.
    std::vector<double> v;
    for (int t = 0; t <= 10; ++t)
        v.push_back(t);
    auto series = seriesOf(v);
    const dlv::CurveLayout layout = dlv::CurveLayout::of(10, dlv::summarizeSeries(*series));
    auto s = surfaceOfInside(50, 110);
    s->setUserScale(layout.scale(5, 10));
    s->setCurve(series, layout);
    const QImage img = inside(*s);
    // Value 5 lies at user y = 5 of 11, pixel row 50.
    EXPECT_EQ(coloredRows(img, 0, 0xFF000000u).second, 50);
    EXPECT_EQ(coloredRows(img, 49, 0xFF000000u).first, 0);
}

}  // namespace
