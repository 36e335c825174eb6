#pragma once

#include "views/curve.h"
#include "window/cell_grid.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>

class QAction;
class QFileDialog;
class QGroupBox;
class QLabel;
class QMenu;
class QTabWidget;

namespace dlv {

class ChartsTab;
class CurveSurface;
class FindBar;
class TakeStore;

// The program's only window. Owns the take store of the open log, the
// file-open dialog, the tabs with both grids, and the curve surface with its
// labels; every command runs to its end inside the user event that started it.
// Controls carry their names as object names (Grid1, Picture1, lblRunTime, ...).
class Form1 final : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // How failures and the About box reach the user: a message box unless
    // replaced (tests replace it). Only Form1 shows message boxes.
    enum class MessageKind { Error, About };
    using MessageHandler = std::function<void(MessageKind, const QString& title, const QString& text)>;
    void setMessageHandler(MessageHandler handler);

    // Replaces the file-open dialog by a function that reports a file name
    // (empty for cancel), so that Open can be driven without a real dialog.
    using FileNameChooser = std::function<QString()>;
    void setFileNameChooser(FileNameChooser chooser);

    // File, Open: busy cursor, ReadDataFile, then DrawGeneral, DrawBLM and
    // ShowRuntime when a log was read. A failure shows a message and leaves
    // what the window showed intact.
    void openCommand();
    // Opens the log at path exactly as File, Open would, without the dialog.
    void openFile(const QString& path);
    // Reads the current log again from disk (F5), with Open's error handling.
    void reloadCommand();

    // Shows the dialog and reads the chosen log into the store; false when no
    // name was given or the log could not be read (the store is unchanged).
    bool ReadDataFile();
    void DrawGeneral();
    void DrawBLM();
    void ShowRuntime();
    void DrawCurve(int aData);
    void BookMark();

    [[nodiscard]] const TakeStore* store() const noexcept { return m_store.get(); }

    // File, Export Chart...: what the Charts tab shows, as PNG or SVG. A
    // failure shows a message; the chart stays as it was.
    void exportChartCommand();
    void exportChart(const QString& path);
    [[nodiscard]] ChartsTab* charts() const noexcept { return m_charts; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void placeTabPages();
    bool readLog(const QString& path);
    void runOpen(const std::function<bool()>& read);
    void onRowSelected();
    void onCurveReleased(double x);
    void showAbout();
    void onChartTake(int take);
    void onBlmCellDoubleClicked(int row, int col);
    void reportError(const QString& text);
    // Runs a command, turning any failure into a message; never throws.
    void guarded(const char* what, const std::function<void()>& command);
    [[nodiscard]] std::string decimalSeparator() const;

    std::shared_ptr<const TakeStore> m_store;
    MessageHandler m_messageHandler;
    FileNameChooser m_fileNameChooser;
    QString m_lastFileName;
    QString m_currentPath;  // the log on show, read again by F5

    // The curve of the selected parameter, kept so that a click redraws
    // without reading the log again.
    struct CurveCache {
        const TakeStore* store = nullptr;
        long long param = -1;
        std::shared_ptr<const ParamSeries> series;
        CurveSummary summary;
    } m_curve;

    // Controls, owned by Qt's parent tree.
    QFileDialog* m_fileDialog = nullptr;
    QTabWidget* m_tab = nullptr;
    QWidget* m_pageGeneral = nullptr;
    QWidget* m_pageBlm = nullptr;
    QLabel* m_label2 = nullptr;
    QLabel* m_lblRunTime = nullptr;
    CellGrid* m_grid1 = nullptr;
    QGroupBox* m_frame1 = nullptr;
    CurveSurface* m_picture1 = nullptr;
    QLabel* m_lblParameterName = nullptr;
    QLabel* m_lblValue = nullptr;
    QLabel* m_lblMax = nullptr;
    QLabel* m_lblAvg = nullptr;
    QLabel* m_lblMin = nullptr;
    CellGrid* m_grid2 = nullptr;
    FindBar* m_findBar = nullptr;
    ChartsTab* m_charts = nullptr;
    QAction* m_mnuOpen = nullptr;
    QAction* m_mnuQuit = nullptr;
    QAction* m_mnuExportChart = nullptr;
    QAction* m_mnuBookMark = nullptr;
    QAction* m_mnuAbout = nullptr;
};

}  // namespace dlv
