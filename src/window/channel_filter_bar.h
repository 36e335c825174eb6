#pragma once

#include <QFrame>
#include <QPointer>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;

namespace dlv {

class CellGrid;
class LogChannels;

// A bar above the general data grid for logs of hundreds of channels: rows
// whose channel does not match the typed part of a name, or lies outside the
// chosen category (when the log groups its channels), are hidden from view;
// the rows themselves, their texts and marks stay as they are. "12 of 782
// channels" says what is shown. The grid is not owned.
class ChannelFilterBar final : public QFrame {
    Q_OBJECT
public:
    explicit ChannelFilterBar(CellGrid* grid, QWidget* parent = nullptr);

    // The log whose rows the grid holds now (row p + 1 is channel p); null
    // for none. Clears the filter and shows every row, unless the log has
    // the channels of the one before (the same log read again).
    void setLog(std::shared_ptr<const LogChannels> log);
    // Hides the rows that do not match; O(channels).
    void apply();
    // Filters nothing: every row shows again.
    void clear();

    [[nodiscard]] QLineEdit* lineEdit() const noexcept { return m_edit; }
    [[nodiscard]] QComboBox* categories() const noexcept { return m_categories; }
    [[nodiscard]] QString statusText() const;

private:
    QPointer<CellGrid> m_grid;
    std::shared_ptr<const LogChannels> m_log;
    QLineEdit* m_edit = nullptr;
    QComboBox* m_categories = nullptr;
    QLabel* m_status = nullptr;
};

}  // namespace dlv
