// The widget-free halves of the window's layout: where a design box goes as
// its reference grows, and fitting a text to a box.
#include "render/design_box.h"
#include "render/fit_text.h"

#include <QFontMetricsF>
#include <QImage>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using dlv::DesignBox;

TEST(DesignBoxTest, TwipsArePixelsTimesFifteenRoundedDown)
{
    static_assert(DesignBox::twips(75, 195, 10650, 9735) == QRect(5, 13, 710, 649));
    EXPECT_EQ(DesignBox::twips(14, 29, 16, 44), QRect(0, 1, 1, 2));
}

TEST(DesignBoxTest, AtTheDesignSizeEveryBoxStaysAndExtraRoomMovesOrGrowsIt)
{
    const QRect design(10, 20, 100, 50);
    const QPoint none;
    for (const unsigned follow : {0u, 1u, 2u, 4u, 8u, 15u})
        EXPECT_EQ((DesignBox{design, follow}.placed(none, QSize(0, 0))), design) << follow;

    const QSize extra(30, 40);
    EXPECT_EQ((DesignBox{design, DesignBox::Fixed}.placed(none, extra)), design);
    EXPECT_EQ((DesignBox{design, DesignBox::MoveX}.placed(none, extra)), QRect(40, 20, 100, 50));
    EXPECT_EQ((DesignBox{design, DesignBox::GrowX | DesignBox::MoveY}.placed(none, extra)), QRect(10, 60, 130, 50));
    EXPECT_EQ((DesignBox{design, DesignBox::GrowX | DesignBox::GrowY}.placed(none, extra)), QRect(10, 20, 130, 90));
    // A reference smaller than designed does not shrink anything.
    EXPECT_EQ((DesignBox{design, 15u}.placed(none, QSize(-5, -7))), design);
}

TEST(DesignBoxTest, BoxesOneAboveTheOtherShareAMissingHeightAndGrowAsBefore)
{
    // Fit to Window below the design: 40 pixels missing, split between a
    // box that keeps its top and the one below it, which moves up by half.
    const DesignBox upper{QRect(10, 20, 100, 50), DesignBox::GrowY, DesignBox::Shrink{0.0, 0.5}};
    const DesignBox lower{QRect(10, 70, 100, 60), DesignBox::MoveY, DesignBox::Shrink{0.5, 1.0}};
    const QSize missing(0, -40);
    EXPECT_EQ(upper.fitted(QPoint(), missing), QRect(10, 20, 100, 30));
    EXPECT_EQ(lower.fitted(QPoint(), missing), QRect(10, 50, 100, 40));
    EXPECT_EQ(upper.fitted(QPoint(), missing).bottom() + 1, lower.fitted(QPoint(), missing).top());
    // Never below nothing.
    EXPECT_EQ(upper.fitted(QPoint(), QSize(0, -400)).height(), 0);
    // Extra room follows the growth flags alone.
    EXPECT_EQ(upper.fitted(QPoint(), QSize(0, 40)), QRect(10, 20, 100, 90));
    EXPECT_EQ(lower.placed(QPoint(), QSize(0, 40)), QRect(10, 110, 100, 60));
}

TEST(DesignBoxTest, AContainerInsideTheReferenceShiftsTheBoxBack)
{
    // A tab page that starts at (5, 25) inside its tab control.
    const DesignBox box{QRect(8, 32, 100, 50), DesignBox::MoveX};
    EXPECT_EQ(box.placed(QPoint(5, 25), QSize(20, 0)), QRect(23, 7, 100, 50));
}

class FitTextTest : public ::testing::Test {
protected:
    QImage device{10, 10, QImage::Format_RGB32};  // a fixed 96 dpi to measure on
    QFont bold12 = [] {
        QFont f;
        f.setPointSizeF(12.0);
        f.setBold(true);
        return f;
    }();

    [[nodiscard]] QSizeF extent(const QString& text, const QFont& font) const
    {
        const QFontMetricsF m(font, &device);
        return {m.horizontalAdvance(text), m.height()};
    }
};

TEST_F(FitTextTest, ARoomyBoxKeepsTheFontAndATightOneGetsTheLargestHalfPointThatFits)
{
    const QString text = QStringLiteral("Runtime:");
    const dlv::FittedText roomy = dlv::fitText(text, bold12, QSize(1000, 100), &device, 6.0);
    EXPECT_EQ(roomy.font, bold12);
    EXPECT_EQ(roomy.shown, text);

    // Just the room the text needs at 9 points.
    QFont nine = bold12;
    nine.setPointSizeF(9.0);
    const QSizeF need = extent(text, nine);
    const QSize box(static_cast<int>(std::ceil(need.width())), static_cast<int>(std::ceil(need.height())));
    const dlv::FittedText tight = dlv::fitText(text, bold12, box, &device, 6.0);
    EXPECT_EQ(tight.shown, text);
    EXPECT_TRUE(tight.font.bold());
    EXPECT_GE(tight.font.pointSizeF(), 9.0);
    EXPECT_LT(tight.font.pointSizeF(), 12.0);
    const QSizeF used = extent(text, tight.font);
    EXPECT_LE(used.width(), box.width());
    EXPECT_LE(used.height(), box.height());
    QFont halfUp = tight.font;
    halfUp.setPointSizeF(tight.font.pointSizeF() + 0.5);
    const QSizeF bigger = extent(text, halfUp);
    EXPECT_TRUE(bigger.width() > box.width() || bigger.height() > box.height()) << "not the largest size that fits";
}

TEST_F(FitTextTest, WhatFitsAtNoSizeIsCutWithAnEllipsisAtTheSmallest)
{
    const dlv::FittedText cut = dlv::fitText(QString(300, QLatin1Char('9')), bold12, QSize(60, 30), &device, 6.0);
    EXPECT_EQ(cut.font.pointSizeF(), 6.0);
    EXPECT_TRUE(cut.shown.endsWith(QChar(0x2026)));
    EXPECT_LE(extent(cut.shown, cut.font).width(), 60.0);

    const dlv::FittedText nothing = dlv::fitText(QStringLiteral("Max:"), bold12, QSize(0, 0), &device, 6.0);
    EXPECT_FALSE(nothing.shown.isNull()) << "an empty box shows an empty text, not a null one";
}

}  // namespace
