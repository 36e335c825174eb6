#include "window/inset_layout.h"

#include <QWidget>

namespace dlv {

InsetLayout::InsetLayout(QWidget* container, QWidget* reference, QMargins insets)
    : QLayout(container), m_reference(reference ? reference : container), m_insets(insets)
{
    setContentsMargins(0, 0, 0, 0);
    // Sizes are the window's to decide (Fit to Window), not the controls'.
    setSizeConstraint(SetNoConstraint);
}

InsetLayout::~InsetLayout() = default;

void InsetLayout::setArea(QLayout* arrangement)
{
    addChildLayout(arrangement);
    addItem(arrangement);
}

void InsetLayout::setArea(QWidget* widget)
{
    addChildWidget(widget);
    addItem(new QWidgetItem(widget));
}

void InsetLayout::addItem(QLayoutItem* item)
{
    m_item.reset(item);
    invalidate();
}

QLayoutItem* InsetLayout::itemAt(int index) const
{
    return index == 0 ? m_item.get() : nullptr;
}

QLayoutItem* InsetLayout::takeAt(int index)
{
    return index == 0 ? m_item.release() : nullptr;
}

QSize InsetLayout::sizeHint() const
{
    if (!m_item)
        return {0, 0};
    QSize hint = m_item->sizeHint().grownBy(m_insets);
    // The container adds its own margins (a group box's frame) to this
    // hint; the insets already hold them.
    if (const QWidget* container = parentWidget(); container && container == m_reference)
        hint = hint.shrunkBy(container->contentsMargins());
    return hint.expandedTo(QSize(0, 0));
}

QSize InsetLayout::minimumSize() const
{
    return {0, 0};
}

Qt::Orientations InsetLayout::expandingDirections() const
{
    return m_item ? m_item->expandingDirections() : Qt::Orientations();
}

QRect InsetLayout::area(QSize reference, QPoint offset, QMargins insets) noexcept
{
    const QRect r = QRect(offset, reference) - insets;
    return {r.topLeft(), r.size().expandedTo(QSize(0, 0))};
}

void InsetLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    QWidget* container = parentWidget();
    if (!m_item || !container || !m_reference)
        return;
    const QPoint offset = m_reference == container ? QPoint() : -container->mapTo(m_reference, QPoint());
    m_item->setGeometry(area(m_reference->size(), offset, m_insets));
}

}  // namespace dlv
