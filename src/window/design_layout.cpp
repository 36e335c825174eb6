#include "window/design_layout.h"

#include <QWidget>

namespace dlv {

DesignLayout::DesignLayout(QWidget* container, QWidget* reference, QSize designSize)
    : QLayout(container), m_reference(reference ? reference : container), m_designSize(designSize)
{
    setContentsMargins(0, 0, 0, 0);
    // Sizes are the window's to decide (Fit to Window), not the controls'.
    setSizeConstraint(SetNoConstraint);
}

DesignLayout::~DesignLayout()
{
    for (const Item& item : m_items)
        delete item.item;
}

void DesignLayout::place(QWidget* widget, QRect design, unsigned follow, std::optional<DesignBox::Shrink> shrinkY)
{
    addChildWidget(widget);
    m_items.append(Item{new QWidgetItem(widget), DesignBox{design, follow, shrinkY}});
    invalidate();
}

void DesignLayout::addItem(QLayoutItem* item)
{
    m_items.append(Item{item, DesignBox{item->geometry()}});
}

QLayoutItem* DesignLayout::itemAt(int index) const
{
    return index >= 0 && index < count() ? m_items[index].item : nullptr;
}

QLayoutItem* DesignLayout::takeAt(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    return m_items.takeAt(index).item;
}

QSize DesignLayout::sizeHint() const
{
    QRect all;
    for (const Item& item : m_items)
        all |= item.box.design;
    return {all.right() + 1, all.bottom() + 1};
}

QSize DesignLayout::minimumSize() const
{
    // The design is no minimum: with Fit to Window the window may be smaller
    // than designed, the growing controls giving way (DesignBox::fitted). At
    // the design size the window's inside is fixed anyway.
    return {0, 0};
}

void DesignLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    QWidget* container = parentWidget();
    if (!container || !m_reference)
        return;
    // The design places controls relative to the reference; the container
    // (a tab page, say) may start elsewhere inside it.
    const QPoint offset = m_reference == container ? QPoint() : container->mapTo(m_reference, QPoint());
    const QSize extra = m_reference->size() - m_designSize;
    for (const Item& item : m_items) {
        const QRect r = item.box.fitted(offset, extra);
        // Exactly the design box: QWidgetItem would widen a label to its
        // text's size hint.
        if (QWidget* widget = item.item->widget())
            widget->setGeometry(r);
        else
            item.item->setGeometry(r);
    }
}

}  // namespace dlv
