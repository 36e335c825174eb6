#pragma once

// The name a Save dialog gives, completed with the extension of the file
// type chosen in it when none was typed.

#include <QString>

class QWidget;

namespace dlv {

// chosen with ".ext" added, ext from the first "*.ext" of selectedFilter
// ("PNG picture (*.png)"), when chosen's file name has no extension; as it
// is otherwise, and for a filter without one ("All files (*)").
[[nodiscard]] QString withChosenExtension(const QString& chosen, const QString& selectedFilter);

// QFileDialog::getSaveFileName with filters (";;"-separated, the first
// chosen at first), its answer completed by withChosenExtension. Empty when
// cancelled.
[[nodiscard]] QString askSavePath(QWidget* parent, const QString& title, const QString& filters);

}  // namespace dlv
