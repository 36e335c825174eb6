// A second open log over the Charts tab's page: chosen beside the page,
// drawn in the same panes, its values beside the first log's at the cursor,
// moved by a typed offset, a Shift+drag or the automatic alignment, and
// gone when that log is closed.
#include "render/chart_renderer.h"
#include "window/charts_tab.h"
#include "window/form1.h"

#include "support/temp_logs.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

// RPM of an engine going up and down, at take t (100 takes a second).
double rpmAt(int t)
{
    return std::round(2500 + 1200 * std::sin(t / 37.0) + 300 * std::sin(t / 5.3) + (t * 7919 % 41) * 3);
}

// 600 takes of Time, RPM and MAP; the log's RPM starts `shift` takes into
// the drive.
std::string driveLog(int shift)
{
    std::string log = "title\nTime,RPM,MAP\n";
    for (int t = 0; t < 600; ++t)
        log += std::to_string(t / 100.0) + "," + std::to_string(static_cast<int>(rpmAt(t + shift))) + "," +
               std::to_string(30 + t % 9) + "\n";
    return log;
}

class ChartOverlay : public dlvtest::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        tabs = form->findChild<QTabWidget*>("Tab1");
        charts = form->findChild<dlv::ChartsTab*>();
        choice = form->findChild<QComboBox*>("chartOverlay");
        offset = form->findChild<QDoubleSpinBox*>("chartOffset");
        align = form->findChild<QPushButton*>("chartAlign");
        ASSERT_TRUE(tabs && charts && choice && offset && align);
    }
    void open(const std::string& path)
    {
        nextName = QString::fromStdString(path);
        form->findChild<QAction*>("mnuOpen")->trigger();
        ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    }
    // Pane and channel of RPM on the page.
    std::pair<int, int> rpm() const
    {
        const dlv::ResolvedPage& page = charts->view()->renderer().page();
        for (std::size_t p = 0; p < page.panes.size(); ++p)
            for (std::size_t k = 0; k < page.panes[p].channels.size(); ++k)
                if (page.panes[p].channels[k].name == "RPM")
                    return {static_cast<int>(p), static_cast<int>(k)};
        return {-1, -1};
    }

    dlvtest::TempLogs files;
    QTabWidget* tabs = nullptr;
    dlv::ChartsTab* charts = nullptr;
    QComboBox* choice = nullptr;
    QDoubleSpinBox* offset = nullptr;
    QPushButton* align = nullptr;
};

TEST_F(ChartOverlay, ASecondLogIsDrawnOverThePageMovedByHandOrAlignedAndLeavesWithItsLog)
{
    open(files.write("a.csv", driveLog(0)));
    open(files.write("b.csv", driveLog(50)));  // b's drive began half a second earlier
    form->showLog(0);
    tabs->setCurrentWidget(charts);
    ASSERT_TRUE(choice->isVisibleTo(form.get()));
    EXPECT_FALSE(align->isEnabled()) << "nothing overlaid yet";
    ASSERT_EQ(choice->count(), 2) << "none, and the other open log";
    EXPECT_EQ(choice->itemText(1), "b.csv");

    choice->setFocus();
    QTest::keyClick(choice, Qt::Key_Down);
    dlv::ChartRenderer& renderer = charts->view()->renderer();
    ASSERT_TRUE(renderer.overlay());
    EXPECT_EQ(renderer.overlay()->name, "b.csv");
    EXPECT_TRUE(renderer.overlay()->time.inSeconds());
    EXPECT_TRUE(offset->suffix().contains("s"));
    EXPECT_FALSE(charts->view()->grab().isNull());

    // The automatic alignment by RPM finds the half second.
    QTest::mouseClick(align, Qt::LeftButton);
    EXPECT_NEAR(charts->overlayOffset(), 0.5, 1e-6);
    EXPECT_NEAR(offset->value(), 0.5, 1e-6);
    // At a's take 300, b shows its take 250: the same RPM.
    const auto [pane, channel] = rpm();
    ASSERT_GE(pane, 0);
    charts->view()->setCursorTake(300);
    EXPECT_EQ(renderer.overlayValueText(pane, channel).toStdString(),
              std::to_string(static_cast<int>(rpmAt(300))));

    // Typed: the offset box, as a user types a number and Enter.
    offset->setFocus();
    offset->selectAll();
    QTest::keyClicks(offset, "0.25");
    QTest::keyClick(offset, Qt::Key_Return);
    EXPECT_NEAR(charts->overlayOffset(), 0.25, 1e-9);

    // Shift+drag on the first pane moves the overlaid log, not the view.
    const auto panes = renderer.geometry(charts->view()->size());
    const QPoint from = panes.front().plot.center();
    const double left = renderer.zoom().left();
    QTest::mousePress(charts->view(), Qt::LeftButton, Qt::ShiftModifier, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(from + QPoint(60, 0)), charts->view()->mapToGlobal(QPointF(from + QPoint(60, 0))),
                     Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(charts->view(), &move);
    QTest::mouseRelease(charts->view(), Qt::LeftButton, Qt::ShiftModifier, from + QPoint(60, 0));
    EXPECT_GT(charts->overlayOffset(), 0.25) << "dragged right: b's takes show later";
    EXPECT_NEAR(offset->value(), charts->overlayOffset(), 1e-3);
    EXPECT_EQ(renderer.zoom().left(), left);

    // A scatter pane shows the overlaid log's points too, in a colour of
    // their own under the first log's.
    QTest::mouseClick(form->findChild<QPushButton*>("chartAddScatter"), Qt::LeftButton);
    ASSERT_EQ(renderer.page().panes.back().kind, dlv::ChartPaneKind::Scatter);
    const QImage image = charts->view()->grab().toImage();
    const QRect scatter = renderer.geometry(charts->view()->size()).back().plot;
    // Orange without a colour channel, else a grey by b's own colour channel
    // (inside the plot's border).
    const bool shaded = !renderer.page().panes.back().channels[2].name.empty();
    int others = 0;
    for (int y = scatter.top() + 1; y < scatter.bottom() - 1; ++y)
        for (int x = scatter.left() + 1; x < scatter.right() - 1; ++x) {
            const QRgb pixel = image.pixel(x, y);
            others += shaded ? qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel) && qRed(pixel) >= 50 &&
                                   qRed(pixel) <= 200
                             : pixel == 0xFFE69F00;
        }
    EXPECT_GT(others, 0) << "points of b.csv where a.csv has none; colour channel: "
                         << renderer.page().panes.back().channels[2].name;

    // Closing b.csv takes the overlay with it.
    form->closeLog(1);
    EXPECT_FALSE(renderer.overlay());
    EXPECT_FALSE(choice->isVisibleTo(form.get()));
}

}  // namespace

namespace {

// Align at cursor: the cursor b.csv had when it was on show goes onto the
// cursor of a.csv.
TEST_F(ChartOverlay, AlignAtCursorPutsTheOverlaidLogsCursorOnTheShownOne)
{
    open(files.write("a.csv", driveLog(0)));
    open(files.write("b.csv", driveLog(50)));
    tabs->setCurrentWidget(charts);
    auto* atCursor = form->findChild<QPushButton*>("chartAlignCursor");
    ASSERT_TRUE(atCursor);
    charts->view()->setCursorTake(250);  // in b.csv, on show
    form->showLog(0);
    charts->view()->setCursorTake(300);  // the same event in a.csv
    choice->setFocus();
    QTest::keyClick(choice, Qt::Key_Down);
    ASSERT_TRUE(atCursor->isEnabled());
    QTest::mouseClick(atCursor, Qt::LeftButton);
    EXPECT_NEAR(charts->overlayOffset(), 0.5, 1e-9);
    EXPECT_TRUE(charts->statusText().contains("take 250 of b.csv on take 300")) << charts->statusText().toStdString();
}

}  // namespace
