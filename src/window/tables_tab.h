#pragma once

#include "workbench/table_edit.h"
#include "workbench/table_session.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTimer;

namespace dlv {

class CellGrid;
class ChannelsDialog;
class ColumnCache;
class LogDocument;
class NameCompleter;
class TakeStore;
namespace workbench {
class LogSession;
}

// The "Tables" tab: the workspace's tables in a list, an editor for the
// selected one (x, y, z, axes, statistic, minHits, target, filter) and the
// table itself, recomputed on every edit; below it the corrections of a
// pasted map. Errors show under their field with the place marked; the
// last good table stays on show. Edits the workspace it is given (the
// window's, shared with the Charts tab; its own when none is), and holds
// each open log's session (shared with the window, which made it). Writes no
// file unless asked through exportTable / exportSuggestedMap.
class TablesTab final : public QWidget {
    Q_OBJECT
public:
    explicit TablesTab(std::shared_ptr<Workspace> workspace = {}, QWidget* parent = nullptr);
    ~TablesTab() override;

    // A new log: its columns, and the default workspace for it. null clears.
    void setLog(std::shared_ptr<const TakeStore> store);
    // The same for the window's open log, sharing its numeric columns.
    void setDocument(const std::shared_ptr<LogDocument>& document);
    [[nodiscard]] bool hasLog() const noexcept { return m_columns != nullptr; }

    // One open log as the tab offers it: its name in the window, its
    // columns (shared with the window's document) and its session, the
    // values of its channels and expressions, which the Charts tab shares
    // (none: the tab makes one, kept while the log stays open).
    struct OpenLog {
        QString name;
        std::shared_ptr<ColumnCache> columns;
        std::shared_ptr<workbench::LogSession> session;
    };
    // Every open log in the window's order and the one on show (-1: none).
    // A table is computed over the log on show, or over a chosen set of the
    // open logs pooled, and may be shown as its difference from one log.
    // A log given without a session keeps the one the tab made for it while
    // it stays open; a closed log's goes with it.
    void setOpenLogs(std::vector<OpenLog> logs, int shown);
    [[nodiscard]] std::size_t openLogCount() const noexcept { return m_logs.size(); }
    // The difference on show (B - A per cell), if a comparison is chosen.
    [[nodiscard]] const ShownDifference* shownDifference() const noexcept;

    [[nodiscard]] const Workspace& workspace() const noexcept { return *m_workspace; }
    // Replaces the workspace (File, Open Workspace) and shows its first table.
    void setWorkspace(Workspace workspace);

    // File, Open Workspace: reads the workspace file at path (the JSON that
    // --tables reads) and shows it. False, with the reason in *error, when the
    // file cannot be read or is not a workspace; the workspace on show stays.
    bool openWorkspace(const QString& path, QString* error);
    // File, Save Workspace As: the workspace as --tables reads it. What was
    // opened is written back byte for byte when nothing was changed.
    bool saveWorkspace(const QString& path, QString* error) const;

    // The table on show (the last good one of the selected table), if any.
    [[nodiscard]] const ShownTable* shownTable() const noexcept;
    [[nodiscard]] int currentTable() const noexcept { return m_current; }
    void selectTable(int index);

    // The table on show as TAB-separated text (header line included), also
    // put on the clipboard; empty when no table is on show.
    QString copyTable();
    // The table on show as CSV into path; false with the reason in *error.
    bool exportTable(const QString& path, QString* error);

    // The engine computer's current map as text (a block pasted from its
    // editor), in the shape of the table on show. False with the reason shown
    // under the corrections when it does not fit.
    bool pasteMap(const QString& text);
    // The suggested map, values only, TAB-separated (also to the clipboard);
    // empty when there is none.
    QString copySuggestedMap();
    bool exportSuggestedMap(const QString& path, QString* error);
    // Toggles the lock of map cell (row, col), 0-based in the table.
    void toggleLock(std::size_t row, std::size_t col);
    [[nodiscard]] const std::vector<CorrectedCell>& suggestedMap() const noexcept { return m_suggested; }

    // Tools, Calculated Channels: the channel editor, not modal.
    void showChannelsEditor();
    [[nodiscard]] ChannelsDialog* channelsEditor() const noexcept { return m_channelsDialog; }
    // Replaces the channels (the channel editor's edits) and recomputes.
    void setChannels(std::vector<Channel> channels);
    // What is wrong with the channels now (empty when nothing is).
    [[nodiscard]] std::vector<EditorError> channelErrors() const;

    // Names an expression may use: the log's parameters, then the channels,
    // as they are written ("RPM", "{O2 (mV)}").
    [[nodiscard]] QStringList expressionNames() const;

    // How long the last computation took, in milliseconds.
    [[nodiscard]] double lastComputeMillis() const noexcept { return m_lastMillis; }
    // Whether the table on show is not that of the fields as they read: an
    // edit does not read yet, or waits for a pause in typing. It is drawn
    // faded then.
    [[nodiscard]] bool tableStale() const noexcept { return m_stale; }


signals:
    // The user selected table cells: the takes that fed them, in take order,
    // and the z parameter to show them on (-1 when z is not one parameter).
    void takesSelected(const std::vector<int>& takes, long long param);
    // The user double-clicked a cell: show its takes on the General tab.
    void takesRequested(const std::vector<int>& takes, long long param);
    // The channels changed (the charts offer them too).
    void channelsChanged();
    // File, Open Workspace read a workspace (after channelsChanged).
    void workspaceOpened();

private:
    void buildControls();
    void buildCorrections(QWidget* parent);
    void setColumns(std::shared_ptr<ColumnCache> columns);
    // Shows the workspace as it now is from its first table.
    void showWorkspace();
    void loadEditor();
    void refreshList();
    void refreshNames();
    // Reads one editor field into the draft and recomputes; what happens on
    // each edit.
    void onFieldEdited(TableField field);
    void recompute();
    void showErrors(const std::vector<EditorError>& errors);
    void showTable(const ShownTable& table);
    void showSuggested();
    // The corrections' inputs (pasted map, locks, limit) into the current
    // table of the workspace, and back from it.
    void keepCorrections();
    void loadCorrections();
    void setStale(bool stale);
    // The edit waiting for a pause in typing, computed now.
    void flushTyping();
    void onCellsSelected();
    [[nodiscard]] std::vector<int> selectedTakes() const;
    void addTable();
    void removeTable();
    // The chooser of the logs a table is computed over, above the table.
    QWidget* buildLogChoice(QWidget* parent);
    void refreshLogChoice();
    // The sessions the table is pooled over, as chosen, in the window's order.
    [[nodiscard]] std::vector<workbench::LogSession*> pooledSessions() const;
    [[nodiscard]] QString pooledName() const;
    // recompute's side for a comparison: B (the pooled logs) minus A.
    void recomputeDifference(workbench::LogSession& against, const QString& againstName);
    void showDifference(const ShownDifference& difference);
    // The texts of what is on show (table or difference), or null.
    [[nodiscard]] const TextTable* shownTexts() const;
    // A corner cell for the table on show: its expressions with units.
    [[nodiscard]] QString cornerText() const;

    struct LogEntry {
        QString name;
        std::shared_ptr<ColumnCache> columns;
        std::shared_ptr<workbench::LogSession> session;  // the log's expression values
    };
    std::vector<LogEntry> m_logs;  // the window's open logs, in its order
    std::shared_ptr<ColumnCache> m_columns;  // of the log on show
    std::shared_ptr<workbench::LogSession> m_session;  // of the log on show
    // The chosen pool: 0 the log on show, 1 every open log, else the log
    // whose columns are m_poolLog alone; m_against: the log a difference is
    // taken from (none: the table itself).
    int m_poolChoice = 0;
    std::shared_ptr<ColumnCache> m_poolLog;
    std::shared_ptr<ColumnCache> m_against;
    std::optional<ShownDifference> m_difference;
    std::shared_ptr<Workspace> m_workspace;  // never null
    int m_current = -1;
    // The last good computation of the selected table.
    std::optional<ShownTable> m_shown;
    double m_lastMillis = 0.0;
    bool m_stale = false;
    QTimer* m_typingPause = nullptr;
    bool m_loading = false;  // the editor is being filled by the program
    bool m_userWorkspace = false;  // opened or edited: kept for the next log

    // Corrections of the table on show.
    std::optional<ParsedMap> m_oldMap;
    std::vector<std::uint8_t> m_locks;
    std::vector<CorrectedCell> m_suggested;

    // Controls, owned by Qt's parent tree.
    QListWidget* m_list = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_x = nullptr;
    QLineEdit* m_y = nullptr;
    QLineEdit* m_z = nullptr;
    QLineEdit* m_xAxis = nullptr;
    QLineEdit* m_yAxis = nullptr;
    QComboBox* m_stat = nullptr;
    QSpinBox* m_minHits = nullptr;
    QLineEdit* m_target = nullptr;
    QLineEdit* m_filter = nullptr;
    std::vector<NameCompleter*> m_completers;
    // One error label under each field, by TableField.
    std::vector<QLabel*> m_errors;
    QLabel* m_status = nullptr;
    QWidget* m_logChoice = nullptr;
    QComboBox* m_pool = nullptr;
    QComboBox* m_compare = nullptr;
    QCheckBox* m_percent = nullptr;
    CellGrid* m_grid = nullptr;
    QGroupBox* m_corrections = nullptr;
    QDoubleSpinBox* m_limit = nullptr;
    QLabel* m_mapError = nullptr;
    CellGrid* m_suggestedGrid = nullptr;
    ChannelsDialog* m_channelsDialog = nullptr;
};

// The error as rich text for a label: the message, then the text it was
// found in with the faulty place marked (red, underlined).
[[nodiscard]] QString errorHtml(const EditorError& error);

}  // namespace dlv
