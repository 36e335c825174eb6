// A log of over a million takes in the window: the status line tells a
// take's time once a worker has found that parameter 0 is one, the window
// answering meanwhile, and each new curve is parsed into the memory of the
// one it replaces.
#include "window/form1.h"

#include "support/window_fixture.h"
#include "views/log_document.h"
#include "window/cell_grid.h"
#include "window/curve_surface.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <string>

using dlv::CellRange;

namespace {

constexpr int kTakes = 1100000;

// "t", names Time,Val,Gear, then take t holding t / 1000 s, t % 1000 and t % 7.
const std::string& longLog()
{
    static const std::string text = [] {
        std::string out = "t\nTime,Val,Gear\n";
        out.reserve(static_cast<std::size_t>(kTakes) * 20);
        for (int t = 0; t < kTakes; ++t) {
            out += std::to_string(t / 1000) + "." + std::to_string(1000 + t % 1000).substr(1) + ",";
            out += std::to_string(t % 1000) + "," + std::to_string(t % 7) + "\n";
        }
        return out;
    }();
    return text;
}

class LongLogTest : public dlvtest::LogWindowFixture {
protected:
    [[nodiscard]] QString statusLine() const { return form->findChild<QLabel*>("cellStatus")->text(); }
    [[nodiscard]] QString label(const char* name) const { return form->findChild<QLabel*>(name)->text(); }
    void clickCell(int row, int col)
    {
        grid1->ScrollToCell(row, col);
        const QModelIndex index = grid1->model()->index(row - 1, col - grid1->pageFirstColumn());
        QTest::mouseClick(grid1->viewport(), Qt::LeftButton, {}, grid1->visualRect(index).center());
    }
    [[nodiscard]] const double* columnMemory(long long param) const
    {
        const dlv::ColumnPtr column = form->document()->columns().cachedColumn(param);
        return column ? column->data() : nullptr;
    }
};

}  // namespace

TEST_F(LongLogTest, TheStatusLineTellsTheTimeOnceAWorkerHasFoundIt)
{
    openLog(longLog());
    ASSERT_EQ(form->document()->log().takeCount(), kTakes);
    // Val's curve: parameter 0 is not parsed for it, so its time is found
    // out aside; the take alone until then.
    clickCell(2, 1235);
    EXPECT_EQ(label("lblMax"), "999.00");
    EXPECT_EQ(statusLine(), "Val, take 1,234: 234");
    const QString timed("Val, take 1,234 at 1.234 s: 234");
    EXPECT_TRUE(QTest::qWaitFor([&] { return statusLine() == timed; }, 10000)) << statusLine().toStdString();
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();

    // Another cell: known now, told at once.
    QTest::keyClick(grid1, Qt::Key_Right);
    EXPECT_EQ(statusLine(), "Val, take 1,235 at 1.235 s: 235");

    // Another log of no time: the check starts again and says so.
    std::string noTime = longLog();
    noTime.replace(noTime.find("0.000,"), 6, "9.000,");
    openLog(noTime);
    clickCell(3, 11);
    EXPECT_EQ(statusLine(), "Gear, take 10: 3");
    QTest::qWait(300);
    EXPECT_EQ(statusLine(), "Gear, take 10: 3");
}

TEST_F(LongLogTest, TheStatusLineUsesTheColumnOfTheTimeCurveOnShow)
{
    openLog(longLog());
    clickCell(1, 2001);  // Time's own curve: its column is at hand
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(statusLine(), "Time, take 2,000 at 2.000 s: 2.000");
}

TEST_F(LongLogTest, EachNewCurveIsParsedIntoTheMemoryOfTheOneBefore)
{
    openLog(longLog());
    grid1->selectGridRow(1);
    const double* memory = columnMemory(0);
    ASSERT_TRUE(memory);
    EXPECT_EQ(label("lblMax"), "1100.00");
    for (const int row : {2, 3, 2}) {
        SCOPED_TRACE(row);
        grid1->selectGridRow(row);
        EXPECT_EQ(columnMemory(row - 1), memory);
        EXPECT_EQ(label("lblMax"), row == 2 ? "999.00" : "6.00");
        EXPECT_EQ(label("lblMin"), "0.00");
    }
    EXPECT_FALSE(columnMemory(0));
    EXPECT_FALSE(columnMemory(2));
    // The curve on show is redrawn from its own column, the zoom kept.
    auto* picture = form->findChild<dlv::CurveSurface*>("Picture1");
    ASSERT_EQ(picture->curveParam(), 1);
    form->DrawCurve(1);
    EXPECT_EQ(columnMemory(1), memory);
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
}

TEST_F(LongLogTest, ACurveWhoseEnvelopeWasBuiltBesideItsSummaryPaintsAsOneBuiltAtPaint)
{
    openLog(longLog());
    auto* picture = form->findChild<dlv::CurveSurface*>("Picture1");
    for (const int row : {2, 3}) {
        SCOPED_TRACE(row);
        grid1->selectGridRow(row);
        const QImage beside = picture->grab().toImage();
        // Zoomed in and back to the whole log: the paint builds it anew.
        const QPointF at = picture->rect().center();
        QWheelEvent wheel(at, picture->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(picture, &wheel);
        ASSERT_TRUE(picture->isZoomed());
        (void)picture->grab();
        picture->showWholeLog();
        EXPECT_EQ(picture->grab().toImage(), beside);
    }
}
