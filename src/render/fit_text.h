#pragma once

#include <QFont>
#include <QSize>
#include <QString>

class QPaintDevice;

namespace dlv {

// A one-line text fitted to a box: the font to draw it in and what to draw.
struct FittedText {
    QFont font;
    QString shown;
};

// Tries base at its own size, then half a point smaller each time down to
// minPointSize, and takes the first size whose text fits box (advance and
// line height, measured for device). When none does, the text is cut with an
// ellipsis at the smallest size tried. O(sizes tried) text measurements.
[[nodiscard]] FittedText fitText(const QString& text, const QFont& base, QSize box, const QPaintDevice* device,
                                 double minPointSize);

}  // namespace dlv
