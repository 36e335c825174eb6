#include "window/stale_fade.h"

#include <QGraphicsOpacityEffect>
#include <QWidget>

namespace dlv {

void showAsStale(QWidget* widget, bool stale)
{
    if (!stale) {
        widget->setGraphicsEffect(nullptr);
        return;
    }
    auto* faded = new QGraphicsOpacityEffect(widget);
    faded->setOpacity(0.45);
    widget->setGraphicsEffect(faded);
}

}  // namespace dlv
