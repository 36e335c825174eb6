// The widget-free half of the window's labels: fitting a text to a box.
#include "render/fit_text.h"

#include <QFontMetricsF>
#include <QImage>

#include <gtest/gtest.h>

#include <cmath>

namespace {

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
