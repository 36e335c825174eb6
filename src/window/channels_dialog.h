#pragma once

#include "workbench/table_session.h"

#include <QDialog>

#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace dlv {

class NameCompleter;

// Tools, "Calculated Channels…": the workspace's channels in order, each a
// name and an expression over the log's parameters and the channels before
// it. Every edit goes to the Tables tab at once (channelsEdited); an error
// shows under the expression with its place marked, as in the table editor.
class ChannelsDialog final : public QDialog {
    Q_OBJECT
public:
    explicit ChannelsDialog(QWidget* parent = nullptr);

    void setChannels(const std::vector<Channel>& channels);
    [[nodiscard]] const std::vector<Channel>& channels() const noexcept { return m_channels; }
    void setNames(const QStringList& references);
    // Errors of the channels now; the one of the selected channel is shown.
    void setErrors(const std::vector<EditorError>& errors);
    void selectChannel(int index);

signals:
    void channelsEdited(const std::vector<Channel>& channels);

private:
    void loadEditor();
    void refreshList();
    void edited();
    void showError();

    std::vector<Channel> m_channels;
    std::vector<EditorError> m_errorList;
    int m_current = -1;
    bool m_loading = false;

    QListWidget* m_list = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_expr = nullptr;
    NameCompleter* m_completer = nullptr;
    QLabel* m_error = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_up = nullptr;
    QPushButton* m_down = nullptr;
};

}  // namespace dlv
