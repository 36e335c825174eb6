#pragma once

#include <QLayout>
#include <QMargins>
#include <QPointer>

#include <memory>

namespace dlv {

// Lays out one item (the box layout that arranges a tab page's or a frame's
// controls) over the area a design gives it: a reference widget's rectangle
// less fixed insets, in pixels. The reference is the container itself or an
// ancestor (a tab page's controls are designed relative to the tab control,
// whose tab bar height is the style's). An inset may be negative: the item
// then reaches past the reference's edge, as a designed control may.
// The item's own layouts share out the room; this one only places it.
class InsetLayout final : public QLayout {
public:
    // reference null: the container itself.
    InsetLayout(QWidget* container, QWidget* reference, QMargins insets);
    ~InsetLayout() override;

    // Takes ownership of the item that fills the area.
    void setArea(QLayout* arrangement);
    void setArea(QWidget* widget);

    void addItem(QLayoutItem* item) override;
    [[nodiscard]] QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    [[nodiscard]] int count() const override { return m_item ? 1 : 0; }
    // The item's size and the insets, as the container measures them.
    [[nodiscard]] QSize sizeHint() const override;
    // None: with Fit to Window the window may be smaller than designed,
    // the growing controls giving way.
    [[nodiscard]] QSize minimumSize() const override;
    [[nodiscard]] Qt::Orientations expandingDirections() const override;
    void setGeometry(const QRect& rect) override;

    // The area inside the container for a reference of the given size whose
    // top-left corner lies at offset in the container's coordinates.
    [[nodiscard]] static QRect area(QSize reference, QPoint offset, QMargins insets) noexcept;

private:
    QPointer<QWidget> m_reference;
    QMargins m_insets;
    std::unique_ptr<QLayoutItem> m_item;
};

}  // namespace dlv
