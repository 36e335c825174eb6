#pragma once

#include "render/design_box.h"

#include <QLayout>
#include <QList>
#include <QPointer>
#include <QRect>

namespace dlv {

// Lays out the controls of one container at their design boxes (relative to
// a reference widget: the container itself or an ancestor such as the tab
// control), following the reference's size as each DesignBox says.
class DesignLayout final : public QLayout {
public:
    using Follow = DesignBox::Follow;
    static constexpr auto twips = &DesignBox::twips;

    // reference null: the container itself. designSize in pixels.
    DesignLayout(QWidget* container, QWidget* reference, QSize designSize);
    ~DesignLayout() override;

    // Puts widget (a child of the container) at design (pixels, as twips() gives).
    // shrinkY: how it follows a reference shorter than designed, when not
    // as follow says (see DesignBox::Shrink).
    void place(QWidget* widget, QRect design, unsigned follow = Follow::Fixed,
               std::optional<DesignBox::Shrink> shrinkY = std::nullopt);

    void addItem(QLayoutItem* item) override;
    [[nodiscard]] QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    [[nodiscard]] int count() const override { return static_cast<int>(m_items.size()); }
    // The design's size; no minimum (see DesignBox::fitted).
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    struct Item {
        QLayoutItem* item;
        DesignBox box;
    };
    QPointer<QWidget> m_reference;
    QSize m_designSize;
    QList<Item> m_items;
};

}  // namespace dlv
