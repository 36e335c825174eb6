#pragma once

class QObject;

namespace dlv {

// QWidget's destructor hides and closes the children after the derived part
// of the owner is gone; a child losing focus or visibility then emits
// (editingFinished, visibilityChanged, …) into slots of an object that no
// longer exists. Called first in the owner's destructor, this cuts every
// connection from the owner's children (all depths) to the owner.
// Cost: one pass over the children.
void stopHearingChildren(QObject* owner);

}  // namespace dlv
