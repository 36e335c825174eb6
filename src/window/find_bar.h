#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace dlv {

class CellGrid;

// A find bar for a grid's row names: a line edit, a "Next" button, a status
// label and a close button. Next (or Enter / F3 in the line edit) selects the
// first data row after the selected one, wrapping past the last row, whose
// column-0 text contains the typed text, ignoring case. The row is selected
// through CellGrid::selectGridRow, so the grid raises rowSelected as for a
// click. The status label reads "No match" when no row matches. Esc hides the
// bar. The grid is not owned; the bar does nothing once the grid is gone.
// Starts hidden: activate() shows it.
class FindBar final : public QWidget {
    Q_OBJECT
public:
    FindBar(CellGrid* grid, QWidget* parent = nullptr);

    // Shows the bar and puts the focus in the line edit, its text selected.
    void activate();

    // Selects the next matching row; false (status "No match") when none
    // matches or the text is empty. O(rows) name comparisons.
    bool findNext();

    [[nodiscard]] QLineEdit* lineEdit() const noexcept { return m_edit; }
    [[nodiscard]] QString statusText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void findNextSafely();
    // Hides the bar; the focus goes back to the grid when the bar had it.
    void dismiss();

    QPointer<CellGrid> m_grid;
    QLineEdit* m_edit = nullptr;
    QPushButton* m_next = nullptr;
    QLabel* m_status = nullptr;
    QToolButton* m_close = nullptr;
};

}  // namespace dlv
