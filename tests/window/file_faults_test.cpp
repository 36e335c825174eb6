// Files under faults: every file the program writes is written whole or not
// at all, with the system's reason once and nothing else on standard error;
// a workspace that is no regular file, or nests too deep, is refused at once
// and the window keeps what it had. The window's Save dialogs add the
// extension of the chosen type, and an exported chart names its log.
#include "../../fuzz/writing_checks.h"

#include "render/file_writing.h"
#include "support/temp_logs.h"
#include "support/user_log.h"
#include "support/window_fixture.h"
#include "window/cell_grid.h"
#include "window/charts_tab.h"
#include "window/curve_surface.h"
#include "window/save_path.h"
#include "window/tables_tab.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using dlv::writeFileSafely;

dlv::DeviceWriter textWriter(const std::string& text)
{
    return [text](QIODevice& device, QString&) {
        return device.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
    };
}

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::size_t filesIn(const std::filesystem::path& dir)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

// A limit on the size of files this process writes, as `ulimit -f` sets it,
// with SIGXFSZ ignored so that a write past it fails with EFBIG.
class FileSizeLimit final {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_signal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_signal);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_signal)(int) = nullptr;
};

// A small page for pictures: one stacked pane of a channel of 50 takes.
dlv::ResolvedPage smallPage()
{
    auto values = std::make_shared<dlv::Column>();
    for (int t = 0; t < 50; ++t)
        values->push_back(t % 7);
    dlv::ResolvedPage page;
    page.takeCount = 50;
    page.panes.push_back(dlv::ResolvedPane{dlv::ChartPaneKind::Stacked, {dlv::ResolvedChannel{"A", values, 0x0072B2, {}}}});
    return page;
}

TEST(FileWriting, AFullDiskLeavesTheOldFileAndNoPartOfTheNewOne)
{
    dlvtest::TempLogs dir;
    const std::string path = dir.write("table.csv", "the old table\n");
    dlv::ChartRenderer renderer;
    renderer.setPage(smallPage());
    const std::string picture = dir.write("chart.png", "the old picture");
    {
        const FileSizeLimit limit(8 << 10);
        // Beyond the limit by much, and by less than a write buffer (the
        // failure then shows only when the last bytes are flushed).
        for (const std::size_t size : {std::size_t{100} << 10, (std::size_t{8} << 10) + 100}) {
            const QString reason = writeFileSafely(QString::fromStdString(path), textWriter(std::string(size, 'x')));
            EXPECT_EQ(reason, "file too large") << size;
        }
        const QString message = dlv::exportChart(renderer, QSize(2000, 1500), QString::fromStdString(picture));
        EXPECT_EQ(message, "cannot write '" + QString::fromStdString(picture) + "': file too large");
    }
    EXPECT_EQ(contents(path), "the old table\n");
    EXPECT_EQ(contents(picture), "the old picture");
    EXPECT_EQ(filesIn(dir.dir()), 2u) << "no temporary file is left behind";
    EXPECT_EQ(writeFileSafely(QString::fromStdString(path), textWriter("new\n")), QString());
    EXPECT_EQ(contents(path), "new\n");
}

TEST(FileWriting, DevicesLinksFoldersAndFifos)
{
    dlvtest::TempLogs dir;
    dlv::ChartRenderer renderer;
    renderer.setPage(smallPage());
    // A symbolic link to /dev/full: the system's reason, once, and not a word
    // from libpng or QPainter; the link and the device stay as they are.
    const std::filesystem::path full = dir.dir() / "o.png";
    std::filesystem::create_symlink("/dev/full", full);
    for (const char* name : {"o.png", "o.svg", "o.csv"}) {
        const std::filesystem::path link = dir.dir() / name;
        if (!std::filesystem::is_symlink(link))
            std::filesystem::create_symlink("/dev/full", link);
        const dlv::fuzzcheck::MessageCount messages;
        const QString path = QString::fromStdString(link.string());
        const QString result = std::string_view(name).ends_with(".csv")
                                   ? dlv::cannotWriteMessage(path, writeFileSafely(path, textWriter("a,b\n")))
                                   : dlv::exportChart(renderer, QSize(300, 200), path);
        EXPECT_EQ(result, "cannot write '" + path + "': no space left on device") << name;
        EXPECT_EQ(messages.count(), 0) << name;
        EXPECT_TRUE(std::filesystem::is_symlink(link));
    }
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));

    // A link to a regular file: the file is replaced, the link stays a link.
    const std::string target = dir.write("target.csv", "old");
    std::filesystem::create_symlink(target, dir.dir() / "link.csv");
    EXPECT_EQ(writeFileSafely(QString::fromStdString((dir.dir() / "link.csv").string()), textWriter("new")), QString());
    EXPECT_EQ(contents(target), "new");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.dir() / "link.csv"));

    EXPECT_EQ(writeFileSafely(QString::fromStdString(dir.dir().string()), textWriter("x")), "it is a directory");
    EXPECT_EQ(writeFileSafely(QString::fromStdString(dir.path("none/t.csv")), textWriter("x")),
              "its folder does not exist");

    // A FIFO nothing reads from is refused at once; one that is read gets
    // every byte.
    const std::string fifo = dir.path("out.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(writeFileSafely(QString::fromStdString(fifo), textWriter("x")), "nothing reads from it");
    std::string read;
    std::thread reader([&] { read = contents(fifo); });
    // The reader opens the FIFO in its own time: until then there is none.
    QString reason;
    const std::string text(200000, 'y');
    for (int tries = 0; tries < 2000; ++tries) {
        reason = writeFileSafely(QString::fromStdString(fifo), textWriter(text));
        if (reason != "nothing reads from it")
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    reader.join();
    EXPECT_EQ(reason, QString());
    EXPECT_EQ(read, text);
}

TEST(FileWriting, FuzzChecksOnHandPickedAndKeptInputs)
{
    using namespace std::string_literals;
    for (const std::string& input :
         {"\0\0\x10\0\0\x80\x40\x01\x02\x03\xff\x05\x81\x7f"s, "\x01\0\x04\0\x01\x30\x20\0\x08\x10\x18"s,
          "\x02\x0a\0\0\x02,30,40\n800,118.00,\n"s, "\x00\xff\xff\xff\x00\x10\x10\x7f\x81\x7f\x81"s,
          "\x01\x00\x00\x00\x02\x10\x10\x01"s, "\x02\x00\x00\x00\x00"s, "\x02\x03\x00\x00\x01hello"s})
        EXPECT_EQ(dlv::fuzzcheck::checkFileWriting(input), "");
    const std::filesystem::path kept = std::filesystem::path(DLV_SOURCE_DIR) / "tests" / "fuzz_regressions" / "file_writing";
    if (std::filesystem::is_directory(kept)) {
        for (const auto& entry : std::filesystem::directory_iterator(kept))
            EXPECT_EQ(dlv::fuzzcheck::checkFileWriting(contents(entry.path().string())), "") << entry.path();
    }
}

// ------------------------------------------------------------ the window

// Answers the next file dialog as a person would: the file type picked in
// its list, the name typed, Enter.
void answerSaveDialog(const QString& folder, const QString& name, const QString& type, int tries = 200)
{
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (tries > 0)
                answerSaveDialog(folder, name, type, tries - 1);
            return;
        }
        dialog->setDirectory(folder);
        if (!type.isEmpty())
            dialog->selectNameFilter(type);
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!edit) {
            dialog->reject();
            return;
        }
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, name);
        QTest::keyClick(edit, Qt::Key_Return);
    });
}

class FileFaultsWindow : public dlvtest::DriveLogWindowFixture {
protected:
    void choosePaths() { form->setPathChooser([this](const QString&, bool) { return nextPath; }); }

    QString nextPath;
};

// The whole of a file written by the window, empty when it cannot be read.
QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(FileFaultsWindow, OpenWorkspaceRefusesWhatIsNoWorkspaceAtOnceAndKeepsItsOwn)
{
    choosePaths();
    dlv::TablesTab* tables = form->tablesTab();
    nextPath = QString::fromStdString(files.write("w.json", R"({"tables": [{"name": "Mine", "x": "RPM",
        "xAxis": [800, 1200], "z": "BLM", "stat": "max"}]})"));
    trigger("mnuOpenWorkspace");
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    const dlv::Workspace before = tables->workspace();

    const std::string fifo = files.path("w.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string deep = "{\"tables\": [], \"charts\": ";
    for (int i = 0; i < 60000; ++i)
        deep += "{\"a\":";
    deep += "1" + std::string(60000, '}') + "}";
    const struct {
        std::string path;
        QString says;
    } cases[] = {
        {fifo, QStringLiteral("it is not a regular file")},
        {"/dev/zero", QStringLiteral("it is not a regular file")},
        {files.write("deep.json", deep), QStringLiteral("bad JSON at line 1, column 1301: lists and objects nest more than 256 deep")},
        {files.write("nul.json", R"({"tables": [{"name": "T", "x": "RPM", "xAxis": [1], "z": "BLM", "stat": "mean",
            "filter": "RPM < 1 \u0000|| 1"}]})"),
         QStringLiteral("filter: a NUL character at column 9")},
    };
    for (const auto& c : cases) {
        nextPath = QString::fromStdString(c.path);
        errors.clear();
        trigger("mnuOpenWorkspace");
        ASSERT_EQ(errors.size(), 1) << c.path;
        EXPECT_TRUE(errors[0].contains(c.says)) << errors[0].toStdString();
        EXPECT_EQ(tables->workspace(), before) << c.path;
    }
}

TEST_F(FileFaultsWindow, SavingToAFullDeviceSaysWhyOnce)
{
    choosePaths();
    form->findChild<QTabWidget*>("Tab1")->setCurrentWidget(form->tablesTab());
    const std::filesystem::path link = files.dir() / "w.json";
    std::filesystem::create_symlink("/dev/full", link);
    nextPath = QString::fromStdString(link.string());
    const dlv::fuzzcheck::MessageCount messages;
    for (const char* command : {"mnuSaveWorkspace", "mnuExportTable"}) {
        errors.clear();
        trigger(command);
        ASSERT_EQ(errors.size(), 1) << command;
        EXPECT_EQ(errors[0], "Cannot write '" + nextPath + "': no space left on device");
    }
    errors.clear();
    form->exportChart(QString::fromStdString(files.path("c.png")));  // not linked: written
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    std::filesystem::create_symlink("/dev/full", files.dir() / "c.svg");
    form->exportChart(QString::fromStdString((files.dir() / "c.svg").string()));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].endsWith("c.svg': no space left on device")) << errors[0].toStdString();
    EXPECT_EQ(messages.count(), 0);
}

// File, Export Curve...: the General curve as the window shows it, zoom
// included, through the picture writer the charts use.
TEST_F(FileFaultsWindow, ExportCurveSavesTheGeneralCurveAsItIsShown)
{
    const QString folder = QString::fromStdString(files.dir().string());
    // No parameter chosen: nothing to save, and no dialog asks for a name.
    trigger("mnuExportCurve");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("no curve is shown")) << errors[0].toStdString();
    errors.clear();

    form->findChild<dlv::CellGrid*>("Grid1")->selectGridRow(3);
    auto* picture = form->findChild<dlv::CurveSurface*>("Picture1");
    ASSERT_TRUE(picture->renderer().view().series());
    // What the window shows is what the renderer paints.
    QImage painted(picture->surfaceSize(), QImage::Format_RGB32);
    {
        QPainter painter(&painted);
        picture->renderer().paint(painter, painted.size());
    }
    const QImage shown = picture->grab(picture->contentsRect()).toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, painted);

    answerSaveDialog(folder, QStringLiteral("whole"), QString());
    trigger("mnuExportCurve");
    const QImage whole(folder + "/whole.png");
    ASSERT_FALSE(whole.isNull());
    EXPECT_EQ(whole.size(), picture->surfaceSize());
    int curvePixels = 0;
    for (int y = 0; y < whole.height() * 3 / 4; ++y)
        for (int x = 0; x < whole.width(); ++x)
            curvePixels += whole.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_GT(curvePixels, whole.width() / 2) << "the curve is in the picture";

    picture->setVisibleRange(0, 3);
    answerSaveDialog(folder, QStringLiteral("zoomed"), QString());
    trigger("mnuExportCurve");
    const QImage zoomed(folder + "/zoomed.png");
    ASSERT_EQ(zoomed.size(), whole.size());
    EXPECT_NE(zoomed, whole) << "the zoom is saved as shown";

    answerSaveDialog(folder, QStringLiteral("curve"), QStringLiteral("SVG drawing (*.svg)"));
    trigger("mnuExportCurve");
    const QByteArray drawing = bytesOf(folder + "/curve.svg");
    EXPECT_TRUE(drawing.contains("<svg"));
    // The footer names the log and the parameter.
    EXPECT_TRUE(drawing.contains("drive.csv"));
    const QString parameter = form->findChild<QLabel*>("lblParameterName")->text();
    EXPECT_FALSE(parameter.isEmpty());
    EXPECT_TRUE(drawing.contains(parameter.toUtf8())) << parameter.toStdString();
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(FileFaultsWindow, SaveDialogsAddTheExtensionOfTheChosenType)
{
    const QString folder = QString::fromStdString(files.dir().string());
    form->findChild<QTabWidget*>("Tab1")->setCurrentWidget(form->tablesTab());
    answerSaveDialog(folder, QStringLiteral("table"), QString());
    trigger("mnuExportTable");
    EXPECT_TRUE(QFile::exists(folder + "/table.csv"));
    EXPECT_FALSE(QFile::exists(folder + "/table"));

    // Export Chart: PNG unless SVG is chosen; a typed extension stays.
    answerSaveDialog(folder, QStringLiteral("chart"), QString());
    trigger("mnuExportChart");
    EXPECT_FALSE(QImage(folder + "/chart.png").isNull());
    answerSaveDialog(folder, QStringLiteral("chart"), QStringLiteral("SVG drawing (*.svg)"));
    trigger("mnuExportChart");
    const QByteArray drawing = bytesOf(folder + "/chart.svg");
    EXPECT_TRUE(drawing.contains("<svg"));
    // The footer names the log and what the filter keeps.
    EXPECT_TRUE(drawing.contains("drive.csv")) << "the log's name";
    EXPECT_TRUE(drawing.contains("every take"));
    answerSaveDialog(folder, QStringLiteral("mine.svg"), QStringLiteral("PNG picture (*.png)"));
    trigger("mnuExportChart");
    EXPECT_TRUE(QFile::exists(folder + "/mine.svg"));
    EXPECT_FALSE(QFile::exists(folder + "/mine.svg.png"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();

    EXPECT_EQ(dlv::withChosenExtension(QStringLiteral("/a/b"), QStringLiteral("All files (*)")), "/a/b");
    EXPECT_EQ(dlv::withChosenExtension(QString(), QStringLiteral("CSV files (*.csv)")), QString());
}

TEST_F(FileFaultsWindow, TheSuggestedMapKeepsThePastedDecimals)
{
    dlv::TablesTab* tables = form->tablesTab();
    form->findChild<QTabWidget*>("Tab1")->setCurrentWidget(tables);
    auto type = [&](const char* field, const QString& text) {
        auto* edit = tables->findChild<QLineEdit*>(QString::fromLatin1(field));
        ASSERT_TRUE(edit) << field;
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    };
    type("axisX", "30 40 50");
    type("axisY", "800 1200 1600");
    auto* suggested = tables->findChild<dlv::CellGrid*>(QStringLiteral("suggestedGrid"));
    ASSERT_TRUE(suggested);
    // As a map editor copies it: one decimal everywhere, though some values
    // are whole. 118 / 128 and 132 / 128 of 100.0; the others unchanged.
    QApplication::clipboard()->setText("100.0\t65\t78.5\r\n46.5\t100.0\t100\r\n100\t100\t100\r\n");
    tables->findChild<QPushButton*>(QStringLiteral("pasteMap"))->click();
    ASSERT_EQ(suggested->RowCount(), 4);
    using dlv::CellRange;
    EXPECT_EQ(suggested->CellText(CellRange::cell(1, 1)), "92.2");
    EXPECT_EQ(suggested->CellText(CellRange::cell(1, 2)), "65.0");
    EXPECT_EQ(suggested->CellText(CellRange::cell(2, 1)), "46.5");
    EXPECT_EQ(suggested->CellText(CellRange::cell(2, 2)), "103.1");
    EXPECT_EQ(tables->copySuggestedMap(), "92.2\t65.0\t78.5\n46.5\t103.1\t100.0\n100.0\t100.0\t100.0\n");
}

}  // namespace
