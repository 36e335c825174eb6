// The Charts tab on values at the ends of the double range, a clock far from
// zero and a log of one take: every pane gets its curve and a scale whose
// labels fit.
#include "render/chart_renderer.h"
#include "support/temp_logs.h"
#include "window/charts_tab.h"
#include "window/form1.h"

#include <QImage>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using dlv::Form1;

// Pixels of colour within the plot of pane `pane` on the tab's chart.
int pixelsOf(dlv::ChartView* view, int pane, QRgb colour)
{
    const QImage image = view->grab().toImage();
    const QRect plot = view->renderer().geometry(view->size())[static_cast<std::size_t>(pane)].plot;
    const qreal ratio = image.devicePixelRatio();
    int n = 0;
    for (int y = plot.top() + 1; y < plot.bottom(); ++y)
        for (int x = plot.left() + 1; x < plot.right(); ++x)
            n += image.pixel(static_cast<int>(x * ratio), static_cast<int>(y * ratio)) == colour;
    return n;
}

TEST(ExtremeCharts, ValuesNearTheLargestDoubleAndASingleTakeAreDrawn)
{
    dlvtest::TempLogs logs;
    Form1 form;
    QStringList errors;
    form.setMessageHandler([&](Form1::MessageKind, const QString&, const QString& text) { errors << text; });
    form.resize(1200, 900);
    form.show();
    std::string log = "t\nTime,RPM,MAP,TPS,BLM\n";
    for (int t = 0; t < 300; ++t)
        log += std::to_string(1000000000000000000LL + t * 1000000000000000LL) + (t % 2 ? ",1e308" : ",-1e308") +
               ",1.1e308,6e300,128\n";
    form.openFile(QString::fromStdString(logs.write("huge.csv", log)));
    ASSERT_TRUE(errors.isEmpty()) << errors.join(';').toStdString();
    auto* tabs = form.findChild<QTabWidget*>(QStringLiteral("Tab1"));
    tabs->setCurrentWidget(form.charts());
    dlv::ChartView* view = form.charts()->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    const QRgb blue = QColor(0x00, 0x72, 0xB2).rgb();
    for (int pane = 0; pane < 3; ++pane) {
        EXPECT_GT(pixelsOf(view, pane, blue), 20) << "pane " << pane << " is drawn";
        const dlv::ValueRange shown = view->renderer().shownRange(pane, 0);
        EXPECT_FALSE(shown.empty()) << pane;
        EXPECT_TRUE(std::isfinite(shown.low) && std::isfinite(shown.high)) << pane;
    }

    // One take: a dot in the middle of each pane.
    form.openFile(QString::fromStdString(logs.write("one.csv", "t\nTime,RPM,MAP,TPS,BLM\n5,800,30,10,128\n")));
    ASSERT_TRUE(errors.isEmpty()) << errors.join(';').toStdString();
    tabs->setCurrentWidget(form.charts());
    EXPECT_GT(pixelsOf(view, 0, blue), 4) << "the take is drawn as a dot";
}

}  // namespace
