#include "window/find_bar.h"

#include "window/cell_grid.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QtDebug>

#include <exception>

namespace dlv {

FindBar::FindBar(CellGrid* grid, QWidget* parent) : QWidget(parent), m_grid(grid)
{
    setObjectName(QStringLiteral("findBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);

    // The bar is narrow (its design box): the placeholder says what the
    // field is for, and the button is only as wide as its caption, so that
    // the placeholder fits at any scale.
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("findText"));
    m_edit->setClearButtonEnabled(true);
    m_edit->setPlaceholderText(tr("Find parameter"));
    m_edit->setAccessibleName(tr("Find parameter"));
    m_edit->installEventFilter(this);

    m_next = new QPushButton(tr("Next"), this);
    m_next->setObjectName(QStringLiteral("findNext"));
    m_next->setAutoDefault(false);
    m_next->setMaximumWidth(m_next->fontMetrics().horizontalAdvance(m_next->text()) +
                            2 * style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, m_next) + 8);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("findStatus"));
    // Room for the status from the start, so the bar does not jump when it shows.
    m_status->setMinimumWidth(m_status->fontMetrics().horizontalAdvance(tr("No match")) + 4);

    m_close = new QToolButton(this);
    m_close->setObjectName(QStringLiteral("findClose"));
    m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    m_close->setToolTip(tr("Close (Esc)"));
    m_close->setAutoRaise(true);

    layout->addWidget(m_edit, 1);
    layout->addWidget(m_next);
    layout->addWidget(m_status);
    layout->addWidget(m_close);

    connect(m_edit, &QLineEdit::returnPressed, this, &FindBar::findNextSafely);
    connect(m_edit, &QLineEdit::textEdited, m_status, &QLabel::clear);
    connect(m_next, &QPushButton::clicked, this, &FindBar::findNextSafely);
    connect(m_close, &QToolButton::clicked, this, &FindBar::dismiss);

    hide();
}

void FindBar::activate()
{
    show();
    raise();
    m_edit->setFocus(Qt::ShortcutFocusReason);
    m_edit->selectAll();
}

QString FindBar::statusText() const
{
    return m_status->text();
}

bool FindBar::findNext()
{
    const QString needle = m_edit->text();
    if (needle.isEmpty() || !m_grid) {
        m_status->clear();
        return false;
    }
    CellGrid& grid = *m_grid;
    const int rows = grid.RowCount();
    const int dataRows = rows - 1;
    if (dataRows > 0 && grid.ColCount() > 0) {
        const int selected = grid.SelectedRow(0);
        // Rows 1 .. rows-1, starting after the selected row (or at row 1).
        const int start = selected >= 1 && selected < rows ? selected : 0;
        for (int i = 0; i < dataRows; ++i) {
            const int row = (start + i) % dataRows + 1;
            if (grid.CellText(CellRange::cell(row, 0)).contains(needle, Qt::CaseInsensitive)) {
                m_status->clear();
                grid.selectGridRow(row);
                return true;
            }
        }
    }
    m_status->setText(tr("No match"));
    return false;
}

void FindBar::dismiss()
{
    const bool hadFocus = isAncestorOf(QApplication::focusWidget());
    hide();
    if (hadFocus && m_grid)
        m_grid->setFocus(Qt::OtherFocusReason);
}

void FindBar::findNextSafely()
{
    // Runs from key and button handlers: a failing rowSelected listener or
    // grid must not escape into Qt.
    try {
        findNext();
    } catch (const std::exception& e) {
        qWarning("FindBar: finding failed: %s", e.what());
    } catch (...) {
        qWarning("FindBar: finding failed");
    }
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F3 && key->modifiers() == Qt::NoModifier) {
            findNextSafely();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            dismiss();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FindBar::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        dismiss();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace dlv
