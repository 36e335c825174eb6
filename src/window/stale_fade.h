#pragma once

class QWidget;

namespace dlv {

// Draws widget faded while what it shows is stale (an edit that does not
// read yet, or waits for a pause in typing): still there to read and to
// click. The effect is the widget's child; off again, it goes.
void showAsStale(QWidget* widget, bool stale);

}  // namespace dlv
