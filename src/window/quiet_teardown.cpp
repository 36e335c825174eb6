#include "window/quiet_teardown.h"

#include <QObject>

namespace dlv {

void stopHearingChildren(QObject* owner)
{
    // Connections to lambdas made with the owner as context are the owner's
    // too, so this reaches them as well.
    for (QObject* child : owner->findChildren<QObject*>())
        QObject::disconnect(child, nullptr, owner, nullptr);
}

}  // namespace dlv
