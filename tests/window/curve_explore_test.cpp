#include "window/curve_surface.h"

#include "support/temp_logs.h"
#include "window/cell_grid.h"
#include "window/form1.h"

#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using dlv::CurveSurface;

constexpr QRgb kBlack = 0xFF000000u;

std::shared_ptr<const dlv::ParamSeries> seriesOf(std::vector<double> values)
{
    return std::make_shared<const dlv::ParamSeries>(
        dlv::ParamSeries{1, std::make_shared<const dlv::Column>(std::move(values))});
}

// Value t at take t, takes 0 .. last.
std::shared_ptr<const dlv::ParamSeries> rampOf(int last)
{
    std::vector<double> v;
    for (int t = 0; t <= last; ++t)
        v.push_back(t);
    return seriesOf(std::move(v));
}

// A shown surface whose inside is w x h pixels, holding series the way the
// window draws it: clear, full scale, curve.
class Explore {
public:
    Explore(std::shared_ptr<const dlv::ParamSeries> series, int w = 200, int h = 100)
        : surface(std::make_unique<CurveSurface>()), m_series(std::move(series))
    {
        const int f = surface->frameWidth();
        surface->resize(w + 2 * f, h + 2 * f);
        surface->show();
        redraw();
    }
    // What Form1::DrawCurve does on every click.
    void redraw()
    {
        layout = dlv::CurveLayout::of(m_series->takeCount() - 1, dlv::summarizeSeries(*m_series));
        surface->clear();
        surface->setUserScale(layout.scale());
        surface->setCurve(m_series, layout);
    }
    // Widget position of inside pixel (x, y).
    [[nodiscard]] QPoint at(int x, int y = 50) const { return surface->contentsRect().topLeft() + QPoint(x, y); }
    void wheel(int x, int eighths)
    {
        const QPointF pos = at(x);
        QWheelEvent e(pos, surface->mapToGlobal(pos), QPoint(), QPoint(0, eighths), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(surface.get(), &e);
    }
    [[nodiscard]] QString toolTipAt(int x)
    {
        const QPoint pos = at(x);
        QHelpEvent e(QEvent::ToolTip, pos, surface->mapToGlobal(pos));
        QApplication::sendEvent(surface.get(), &e);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }
    [[nodiscard]] QImage inside() const
    {
        return surface->grab().toImage().convertToFormat(QImage::Format_RGB32).copy(surface->contentsRect());
    }

    std::unique_ptr<CurveSurface> surface;
    dlv::CurveLayout layout;

private:
    std::shared_ptr<const dlv::ParamSeries> m_series;
};

// Takes given by the signal spy, in order.
std::vector<int> steppedTakes(const QSignalSpy& spy)
{
    std::vector<int> takes;
    for (const QList<QVariant>& args : spy)
        takes.push_back(args.at(0).toInt());
    return takes;
}

// --- zoom ---------------------------------------------------------------

TEST(CurveExploreZoom, WheelKeepsTheTakeUnderThePointer)
{
    Explore e(rampOf(1000));  // 5 takes a pixel
    ASSERT_DOUBLE_EQ(e.surface->toUser(e.at(50)).x(), 250.0);
    e.wheel(50, 120);
    EXPECT_TRUE(e.surface->isZoomed());
    EXPECT_NEAR(e.surface->toUser(e.at(50)).x(), 250.0, 1e-9);
    EXPECT_DOUBLE_EQ(e.surface->userScale().width(), 800.0);
    e.wheel(50, 240);
    EXPECT_NEAR(e.surface->toUser(e.at(50)).x(), 250.0, 1e-9);
    EXPECT_LT(e.surface->userScale().width(), 800.0);
    EXPECT_EQ(e.surface->userScale().height(), e.layout.height);  // only x zooms
}

TEST(CurveExploreZoom, WheelBackOutStopsAtTheWholeLog)
{
    Explore e(rampOf(1000));
    e.wheel(120, 360);
    e.wheel(120, -120 * 40);
    EXPECT_FALSE(e.surface->isZoomed());
    EXPECT_EQ(e.surface->userScale(), e.layout.scale());
}

TEST(CurveExploreZoom, WheelNeverShowsFewerThanFourTakes)
{
    Explore e(rampOf(1000));
    e.wheel(100, 120 * 100);
    EXPECT_DOUBLE_EQ(e.surface->userScale().width(), dlv::CurveZoom::kMinSpan);
}

TEST(CurveExploreZoom, ZoomSurvivesTheWindowsRedrawOfTheSameCurve)
{
    Explore e(rampOf(1000));
    e.surface->setVisibleRange(400.0, 100.0);
    e.redraw();
    e.redraw();
    EXPECT_DOUBLE_EQ(e.surface->userScale().left(), 400.0);
    EXPECT_DOUBLE_EQ(e.surface->userScale().width(), 100.0);
    EXPECT_EQ(e.surface->fullScale(), e.layout.scale());
}

TEST(CurveExploreZoom, AnotherSeriesResetsZoomTicksAndMarker)
{
    Explore e(rampOf(1000));
    e.surface->setVisibleRange(400.0, 100.0);
    e.surface->setTickTakes({450});
    e.surface->setMarkerTake(420);
    auto other = rampOf(1000);  // same length: only the series differs
    e.surface->clear();
    e.surface->setUserScale(e.layout.scale());
    e.surface->setCurve(other, e.layout);
    EXPECT_FALSE(e.surface->isZoomed());
    EXPECT_TRUE(e.surface->tickTakes().empty());
    EXPECT_FALSE(e.surface->markerTake().has_value());
}

TEST(CurveExploreZoom, AnotherFullRangeResetsZoom)
{
    Explore e(rampOf(1000));
    e.surface->setVisibleRange(400.0, 100.0);
    e.surface->setUserScale(500.0, 10.0);
    EXPECT_FALSE(e.surface->isZoomed());
    EXPECT_DOUBLE_EQ(e.surface->userScale().width(), 500.0);
}

TEST(CurveExploreZoom, HomeAndMiddleDoubleClickShowTheWholeLog)
{
    Explore e(rampOf(1000));
    QSignalSpy clicks(e.surface.get(), &CurveSurface::mouseReleased);
    e.surface->setVisibleRange(400.0, 100.0);
    QTest::keyClick(e.surface.get(), Qt::Key_Home);
    EXPECT_FALSE(e.surface->isZoomed());

    e.surface->setVisibleRange(400.0, 100.0);
    QTest::mouseDClick(e.surface.get(), Qt::MiddleButton, {}, e.at(30));
    EXPECT_FALSE(e.surface->isZoomed());
    EXPECT_EQ(e.surface->userScale(), e.layout.scale());
    EXPECT_EQ(clicks.count(), 0);
}

TEST(CurveExploreZoom, ZoomedCurveIsPaintedForTheVisibleRange)
{
    std::vector<double> v(1001, 0.0);
    for (int t = 450; t <= 1000; ++t)
        v[static_cast<std::size_t>(t)] = 10.0;
    Explore e(seriesOf(v));
    e.surface->setVisibleRange(400.0, 100.0);  // the step at take 450 lies at pixel 100
    const QImage img = e.inside();
    auto topRow = [&](int x) {
        for (int y = 0; y < img.height(); ++y)
            if (img.pixel(x, y) == kBlack)
                return y;
        return -1;
    };
    EXPECT_GT(topRow(50), 80);  // value 0 near the bottom (height 11 over 100 rows)
    EXPECT_EQ(topRow(150), 0);  // value 10 on the top row
    EXPECT_EQ(topRow(199), 0);
}

// --- pan ----------------------------------------------------------------

TEST(CurveExplorePan, MiddleDragMovesTheRangeWithoutAClick)
{
    Explore e(rampOf(1000));
    e.surface->setVisibleRange(400.0, 100.0);  // half a take a pixel
    QSignalSpy clicks(e.surface.get(), &CurveSurface::mouseReleased);
    QTest::mousePress(e.surface.get(), Qt::MiddleButton, {}, e.at(100));
    QTest::mouseMove(e.surface.get(), e.at(140));
    EXPECT_DOUBLE_EQ(e.surface->userScale().left(), 380.0);  // the curve follows the pointer
    QTest::mouseRelease(e.surface.get(), Qt::MiddleButton, {}, e.at(140));
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_DOUBLE_EQ(e.surface->userScale().width(), 100.0);
}

TEST(CurveExplorePan, PanStopsAtTheEndsOfTheLog)
{
    Explore e(rampOf(1000));
    e.surface->setVisibleRange(50.0, 100.0);
    QTest::mousePress(e.surface.get(), Qt::MiddleButton, {}, e.at(10));
    QTest::mouseMove(e.surface.get(), e.at(190));
    QTest::mouseMove(e.surface.get(), e.at(199, 400));  // far below: only x counts; 94.5 takes to the right
    EXPECT_DOUBLE_EQ(e.surface->userScale().left(), 0.0);
    QTest::mouseRelease(e.surface.get(), Qt::MiddleButton, {}, e.at(199));

    e.surface->setVisibleRange(850.0, 100.0);
    QTest::mousePress(e.surface.get(), Qt::MiddleButton, {}, e.at(190));
    QTest::mouseMove(e.surface.get(), e.at(0));
    EXPECT_DOUBLE_EQ(e.surface->userScale().right(), 1000.0);
    QTest::mouseRelease(e.surface.get(), Qt::MiddleButton, {}, e.at(0));
}

TEST(CurveExplorePan, CtrlLeftDragPansAndIsNoClickButPlainLeftStillIs)
{
    Explore e(rampOf(1000));
    e.surface->setVisibleRange(400.0, 100.0);
    QSignalSpy clicks(e.surface.get(), &CurveSurface::mouseReleased);
    QTest::mousePress(e.surface.get(), Qt::LeftButton, Qt::ControlModifier, e.at(100));
    QTest::mouseMove(e.surface.get(), e.at(60));
    QTest::mouseRelease(e.surface.get(), Qt::LeftButton, Qt::ControlModifier, e.at(60));
    EXPECT_DOUBLE_EQ(e.surface->userScale().left(), 420.0);
    EXPECT_EQ(clicks.count(), 0);

    QTest::mousePress(e.surface.get(), Qt::LeftButton, {}, e.at(100));
    QTest::mouseMove(e.surface.get(), e.at(60));
    QTest::mouseRelease(e.surface.get(), Qt::LeftButton, {}, e.at(60));
    EXPECT_DOUBLE_EQ(e.surface->userScale().left(), 420.0);  // a plain drag does not pan
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_DOUBLE_EQ(clicks.at(0).at(2).toDouble(), 450.0);
}

TEST(CurveExplorePan, ReleaseAfterZoomReportsTheUserXUnderThePointer)
{
    Explore e(rampOf(1000));
    e.surface->setVisibleRange(400.0, 100.0);
    QSignalSpy clicks(e.surface.get(), &CurveSurface::mouseReleased);
    QTest::mouseRelease(e.surface.get(), Qt::LeftButton, {}, e.at(50));
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_DOUBLE_EQ(clicks.at(0).at(2).toDouble(), 425.0);
    EXPECT_EQ(e.surface->markerTake(), 425);
}

// --- hover --------------------------------------------------------------

TEST(CurveExploreHover, TooltipShowsTheTakeAndItsNumber)
{
    auto series = seriesOf({0, 10, std::nan(""), 30, 40});
    Explore e(series, 200, 100);  // 50 pixels a take
    EXPECT_EQ(e.surface->toolTipTextAt(e.at(52)), "Take 1: 10");
    EXPECT_EQ(e.surface->toolTipTextAt(e.at(100)), "Take 2: (empty)");
    EXPECT_EQ(e.toolTipAt(148), "Take 3: 30");
}

TEST(CurveExploreHover, TooltipShowsTheProvidersTextForTheTake)
{
    Explore e(rampOf(1000));
    std::vector<int> asked;
    e.surface->setValueTextProvider([&](int t) {
        asked.push_back(t);
        return t == 250 ? QStringLiteral("3000") : QString();
    });
    EXPECT_EQ(e.toolTipAt(50), "Take 250: 3000");
    EXPECT_EQ(e.surface->toolTipTextAt(e.at(60)), "Take 300: (empty)");
    EXPECT_EQ(asked, (std::vector<int>{250, 300}));
}

TEST(CurveExploreHover, TooltipFollowsTheZoom)
{
    Explore e(rampOf(1000));
    e.surface->setVisibleRange(400.0, 100.0);
    EXPECT_EQ(e.surface->toolTipTextAt(e.at(50)), "Take 425: 425");
}

TEST(CurveExploreHover, NoTooltipOffTheTakesOrWithoutCurve)
{
    Explore e(rampOf(4));
    e.surface->setUserScale(dlv::CurveScale(-2.0, 0.0, 8.0, 5.0));  // takes 0 .. 4 in the middle
    EXPECT_EQ(e.surface->toolTipTextAt(e.at(10)), "");   // x = -1.6
    EXPECT_EQ(e.surface->toolTipTextAt(e.at(190)), "");  // x = 5.6
    e.surface->clear();
    EXPECT_EQ(e.toolTipAt(100), "");
}

// --- keys ---------------------------------------------------------------

TEST(CurveExploreKeys, SurfaceTakesTheFocusOnClickAndTab)
{
    CurveSurface s;
    EXPECT_EQ(s.focusPolicy(), Qt::StrongFocus);
}

TEST(CurveExploreKeys, ArrowsStepOneTakeFromTheLastClick)
{
    Explore e(rampOf(1000));
    QSignalSpy steps(e.surface.get(), &CurveSurface::takeStepRequested);
    QTest::mouseRelease(e.surface.get(), Qt::LeftButton, {}, e.at(100));  // take 500
    QTest::keyClick(e.surface.get(), Qt::Key_Right);
    QTest::keyClick(e.surface.get(), Qt::Key_Right);
    QTest::keyClick(e.surface.get(), Qt::Key_Left);
    EXPECT_EQ(steppedTakes(steps), (std::vector<int>{501, 502, 501}));
    EXPECT_EQ(e.surface->markerTake(), 501);
}

TEST(CurveExploreKeys, FirstArrowWithoutMarkerGoesToTheFirstVisibleTake)
{
    Explore e(rampOf(1000));
    e.surface->setVisibleRange(400.5, 100.0);
    QSignalSpy steps(e.surface.get(), &CurveSurface::takeStepRequested);
    QTest::keyClick(e.surface.get(), Qt::Key_Left);
    EXPECT_EQ(steppedTakes(steps), (std::vector<int>{401}));
}

TEST(CurveExploreKeys, ArrowsStopAtTheFirstAndLastTake)
{
    Explore e(rampOf(10));
    QSignalSpy steps(e.surface.get(), &CurveSurface::takeStepRequested);
    QTest::mouseRelease(e.surface.get(), Qt::LeftButton, {}, e.at(-30));  // left of take 0
    QTest::keyClick(e.surface.get(), Qt::Key_Left);
    QTest::keyClick(e.surface.get(), Qt::Key_Right);
    e.surface->setMarkerTake(10);
    QTest::keyClick(e.surface.get(), Qt::Key_Right);
    QTest::mouseRelease(e.surface.get(), Qt::LeftButton, {}, e.at(400));  // right of take 10
    QTest::keyClick(e.surface.get(), Qt::Key_Left);
    EXPECT_EQ(steppedTakes(steps), (std::vector<int>{0, 1, 10, 10}));
}

TEST(CurveExploreKeys, SteppingOutOfTheZoomedRangeScrollsTheTakeIntoView)
{
    Explore e(rampOf(1000));
    e.surface->setVisibleRange(400.0, 100.0);
    e.surface->setMarkerTake(400);
    QTest::keyClick(e.surface.get(), Qt::Key_Left);
    EXPECT_EQ(e.surface->markerTake(), 399);
    EXPECT_LE(e.surface->userScale().left(), 399.0);
    EXPECT_DOUBLE_EQ(e.surface->userScale().width(), 100.0);
}

TEST(CurveExploreKeys, F3AndShiftF3StepThroughTheTicks)
{
    Explore e(rampOf(1000));
    e.surface->setTickTakes({700, 100, 300});
    QSignalSpy steps(e.surface.get(), &CurveSurface::takeStepRequested);
    QTest::mouseRelease(e.surface.get(), Qt::LeftButton, {}, e.at(40));  // take 200
    QTest::keyClick(e.surface.get(), Qt::Key_F3);
    QTest::keyClick(e.surface.get(), Qt::Key_F3);
    QTest::keyClick(e.surface.get(), Qt::Key_F3);  // none after 700
    QTest::keyClick(e.surface.get(), Qt::Key_F3, Qt::ShiftModifier);
    QTest::keyClick(e.surface.get(), Qt::Key_F3, Qt::ShiftModifier);
    QTest::keyClick(e.surface.get(), Qt::Key_F3, Qt::ShiftModifier);  // none before 100
    EXPECT_EQ(steppedTakes(steps), (std::vector<int>{300, 700, 300, 100}));
}

TEST(CurveExploreKeys, F3WithoutMarkerStartsAtTheVisibleRange)
{
    Explore e(rampOf(1000));
    e.surface->setTickTakes({100, 300, 700});
    e.surface->setVisibleRange(250.0, 100.0);
    QSignalSpy steps(e.surface.get(), &CurveSurface::takeStepRequested);
    QTest::keyClick(e.surface.get(), Qt::Key_F3);
    e.surface->setMarkerTake(std::nullopt);
    QTest::keyClick(e.surface.get(), Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(steppedTakes(steps), (std::vector<int>{300, 300}));
}

// --- ticks --------------------------------------------------------------

// Columns of the inside that hold a tick on the bottom rows.
std::vector<int> tickColumns(const QImage& img)
{
    std::vector<int> cols;
    for (int x = 0; x < img.width(); ++x) {
        bool full = true;
        for (int y = img.height() - CurveSurface::kTickHeight; y < img.height(); ++y)
            full = full && img.pixel(x, y) == CurveSurface::kTickColor;
        if (full)
            cols.push_back(x);
        else
            EXPECT_NE(img.pixel(x, img.height() - 1), CurveSurface::kTickColor) << "part of a tick at " << x;
    }
    return cols;
}

TEST(CurveExploreTicks, TicksSitOnTheBottomEdgeAtTheirTakes)
{
    Explore e(seriesOf(std::vector<double>(101, 5.0)), 100, 50);  // one pixel a take, curve on the top row
    e.surface->setTickTakes({50, 0, 100, 10});
    EXPECT_EQ(tickColumns(e.inside()), (std::vector<int>{0, 10, 50, 99}));  // the last take on the last column
    const QImage img = e.inside();
    EXPECT_NE(img.pixel(50, img.height() - CurveSurface::kTickHeight - 1), CurveSurface::kTickColor);
}

TEST(CurveExploreTicks, TicksFollowTheZoom)
{
    Explore e(seriesOf(std::vector<double>(101, 5.0)), 100, 50);
    e.surface->setTickTakes({10, 50, 52, 100});
    e.surface->setVisibleRange(40.0, 20.0);  // five pixels a take
    EXPECT_EQ(tickColumns(e.inside()), (std::vector<int>{50, 60}));
}

TEST(CurveExploreTicks, ManyTicksGiveOneTickPerColumn)
{
    std::vector<int> all(300000);
    for (int t = 0; t < 300000; ++t)
        all[static_cast<std::size_t>(t)] = t;
    Explore e(seriesOf(std::vector<double>(300000, 5.0)), 200, 40);
    e.surface->setTickTakes(std::move(all));
    EXPECT_EQ(tickColumns(e.inside()).size(), 200u);
}

TEST(CurveExploreTicks, ClearKeepsTicksEmptyListRemovesThem)
{
    Explore e(seriesOf(std::vector<double>(101, 5.0)), 100, 50);
    e.surface->setTickTakes({20});
    e.redraw();
    EXPECT_EQ(tickColumns(e.inside()), (std::vector<int>{20}));
    e.surface->setTickTakes({});
    EXPECT_TRUE(tickColumns(e.inside()).empty());
}

// --- in the window ------------------------------------------------------

TEST(CurveExploreWindow, ClickOnAZoomedCurveKeepsTheZoomAndFindsTheTake)
{
    dlvtest::TempLogs logs;
    std::string log = "t\nTime,Val\n";
    for (int t = 0; t < 2000; ++t)
        log += std::to_string(t) + "," + std::to_string(t * 2) + "\n";
    dlv::Form1 form;
    QStringList errors;
    form.setMessageHandler([&](dlv::Form1::MessageKind, const QString&, const QString& text) { errors << text; });
    form.show();
    form.openFile(QString::fromStdString(logs.write("zoom.csv", log)));
    form.findChild<dlv::CellGrid*>("Grid1")->selectGridRow(2);
    auto* picture = form.findChild<CurveSurface*>("Picture1");
    picture->setVisibleRange(1490.0, 20.0);

    const QPointF p = picture->toWidget(QPointF(1500.2, 10.0));
    QTest::mouseRelease(picture, Qt::LeftButton, {}, p.toPoint());
    EXPECT_EQ(form.findChild<QLabel*>("lblValue")->text(), "3000");
    EXPECT_DOUBLE_EQ(picture->userScale().left(), 1490.0);
    EXPECT_DOUBLE_EQ(picture->userScale().width(), 20.0);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
}

}  // namespace
