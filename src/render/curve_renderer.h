#pragma once

#include "views/curve.h"

#include <QColor>
#include <QLineF>
#include <QSize>
#include <QString>

#include <functional>
#include <span>

class QPainter;

namespace dlv {

// Pure painting of a parameter curve, shared by the window's curve and any
// other chart: each function paints into a w x h pixel area whose top-left
// corner is the painter's origin, through the user coordinate system scale.
// Nothing is kept between calls.

// One vertical run per column of envelope that has a number, the first
// `columns` of them, column c at x = left + c: from row rowOf(high) to row
// rowOf(low), both drawn, where rowOf(v) is v's pixel row (fractional, as a
// scale gives it); runs wholly above row top or below row bottom are
// skipped, the others cut to those rows. In the painter's pen. The one
// envelope painter of every curve. O(columns).
void paintEnvelopeRuns(QPainter& painter, const CurveEnvelope& envelope, int columns, int left, int top, int bottom,
                       const std::function<double(double)>& rowOf);

// The curve reduced to envelope (built for scale's x range and size.width()):
// one vertical run per pixel column, value a at user y = maxValue - a.
// O(width).
void paintCurveEnvelope(QPainter& painter, const CurveScale& scale, QSize size, const CurveEnvelope& envelope,
                        double maxValue, const QColor& color);

// A straight line given in user units. Points on the right or bottom edge
// belong to the last column or row, so they stay visible.
void paintUserLine(QPainter& painter, const CurveScale& scale, QSize size, QLineF line, const QColor& color);

// A tick of height pixels on the bottom edge at each of sortedTakes (user x =
// take) inside scale's x range: at most one per column, O(width log ticks).
void paintTakeTicks(QPainter& painter, const CurveScale& scale, QSize size, std::span<const int> sortedTakes,
                    const QColor& color, int height);

// A marker line from top to bottom at each take (user x = take) inside
// scale's x range, dashed, with its text beside its top end where there is
// room; fromLog markers in the second colour. O(markers).
struct MarkerLine {
    int take = 0;
    QString text;
    bool fromLog = false;
};
inline const QColor kUserMarkerColor{0xD5, 0x5E, 0x00};  // vermilion
inline const QColor kLogMarkerColor{0x56, 0x56, 0x56};   // dark grey
void paintMarkerLines(QPainter& painter, const CurveScale& scale, QSize size, std::span<const MarkerLine> markers);

}  // namespace dlv
