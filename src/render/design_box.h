#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <algorithm>
#include <cmath>
#include <optional>

namespace dlv {

// Where one control of a designed form goes: its design rectangle, relative
// to a reference (the window's inside, a tab control, a frame), and how it
// follows when the reference grows beyond its design size: moving right or
// down with the extra room, or growing by it. At the design size every
// control sits exactly at its design place.
struct DesignBox {
    enum Follow : unsigned {
        Fixed = 0,
        MoveX = 1u << 0,
        GrowX = 1u << 1,
        MoveY = 1u << 2,
        GrowY = 1u << 3,
    };

    // Design rectangles are given in twips, 15 to the pixel.
    static constexpr int kTwipsPerPixel = 15;
    [[nodiscard]] static constexpr QRect twips(int left, int top, int width, int height) noexcept
    {
        return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel};
    }

    // How a box follows a reference shorter than designed, where the
    // growth's rule would not share the missing height out: the part of it
    // (0 to 1) by which its top and its bottom move up. {0, 0.5} and
    // {0.5, 1} split it between two boxes one above the other.
    struct Shrink {
        double top = 0.0;
        double bottom = 0.0;
    };

    constexpr DesignBox(QRect designRect, unsigned followFlags = Fixed,
                        std::optional<Shrink> shrink = std::nullopt) noexcept
        : design(designRect), follow(followFlags), shrinkY(shrink)
    {
    }

    QRect design;  // pixels, relative to the reference
    unsigned follow = Fixed;
    std::optional<Shrink> shrinkY;  // none: as the growth flags say

    // The rectangle inside a container that starts at offset within the
    // reference, when the reference is extra pixels larger than designed
    // (negative sizes count as 0).
    [[nodiscard]] QRect placed(QPoint offset, QSize extra) const noexcept
    {
        return fitted(offset, extra.expandedTo(QSize(0, 0)));
    }

    // The same for a reference that may also be smaller than designed
    // (Fit to Window on a small screen): then growing boxes shrink by the
    // missing pixels, never below nothing, and following boxes move back.
    [[nodiscard]] QRect fitted(QPoint offset, QSize extra) const noexcept
    {
        QRect r = design.translated(-offset);
        if (follow & MoveX)
            r.translate(extra.width(), 0);
        if (follow & GrowX)
            r.setWidth(std::max(0, r.width() + extra.width()));
        if (shrinkY && extra.height() < 0) {
            const auto part = [&](double share) { return static_cast<int>(std::lround(extra.height() * share)); };
            const int top = r.top() + part(shrinkY->top);
            r.setHeight(std::max(0, r.bottom() + 1 + part(shrinkY->bottom) - top));
            r.moveTop(top);
            return r;
        }
        if (follow & MoveY)
            r.translate(0, extra.height());
        if (follow & GrowY)
            r.setHeight(std::max(0, r.height() + extra.height()));
        return r;
    }
};

}  // namespace dlv
