#pragma once

#include <QLayout>
#include <QList>
#include <QPointer>
#include <QRect>

namespace dlv {

// Lays out the controls of one container at their design rectangles (given
// in twips, 15 to the pixel, relative to a reference widget: the container
// itself or an ancestor such as the tab control). When the reference is
// larger than its design size, each control follows the extra width and
// height as its Follow flags say: moving right or down with it, or growing
// by it. At the design size every control sits exactly at its design place.
class DesignLayout final : public QLayout {
public:
    enum Follow : unsigned {
        Fixed = 0,
        MoveX = 1u << 0,
        GrowX = 1u << 1,
        MoveY = 1u << 2,
        GrowY = 1u << 3,
    };

    static constexpr int kTwipsPerPixel = 15;
    [[nodiscard]] static constexpr QRect twips(int left, int top, int width, int height) noexcept
    {
        return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel};
    }

    // reference null: the container itself. designSize in pixels.
    DesignLayout(QWidget* container, QWidget* reference, QSize designSize);
    ~DesignLayout() override;

    // Puts widget (a child of the container) at designTwips.
    void place(QWidget* widget, QRect designTwips, unsigned follow = Fixed);

    void addItem(QLayoutItem* item) override;
    [[nodiscard]] QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    [[nodiscard]] int count() const override { return static_cast<int>(m_items.size()); }
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    struct Item {
        QLayoutItem* item;
        QRect design;  // pixels, relative to the reference
        unsigned follow;
    };
    QPointer<QWidget> m_reference;
    QSize m_designSize;
    QList<Item> m_items;
};

}  // namespace dlv
