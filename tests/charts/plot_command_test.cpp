// datalog-viewer --plot, run as the real program without a display.
#include "support/temp_logs.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct PlotRun {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

PlotRun plot(const QStringList& args)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));  // the command picks offscreen itself
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));  // as under cron or a bare ssh session
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(DLV_VIEWER_EXE), QStringList{QStringLiteral("--plot")} + args);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

const QString kSample = QStringLiteral(DLV_SOURCE_DIR "/examples/sample.csv");

// Distinct colours in the picture: a blank or one-colour image has few.
int colourCount(const QImage& image)
{
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            seen.insert(image.pixel(x, y));
    return static_cast<int>(seen.size());
}

class PlotCommand : public ::testing::Test {
protected:
    QString file(const char* name, const std::string& bytes) const { return QString::fromStdString(m_dir.write(name, bytes)); }
    QString path(const char* name) const { return QString::fromStdString(m_dir.path(name)); }
    dlvtest::TempLogs m_dir;
};

TEST_F(PlotCommand, DrawsTheDefaultPageAsAPictureOfTheAskedSize)
{
    const QString workspace = file("w.json", R"({"tables": []})");
    const PlotRun run = plot({workspace, kSample, QStringLiteral("--output"), path("chart.png"), QStringLiteral("--size"),
                          QStringLiteral("640x480")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();  // a good run says nothing
    const QImage image(path("chart.png"));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(640, 480));
    EXPECT_GT(colourCount(image), 8) << "the picture is blank";
    // The first pane's channel (RPM, default blue) is drawn somewhere.
    bool blue = false;
    for (int y = 0; y < 120 && !blue; ++y)
        for (int x = 64; x < 570 && !blue; ++x)
            blue = image.pixel(x, y) == QColor(0x00, 0x72, 0xB2).rgb();
    EXPECT_TRUE(blue);
}

TEST_F(PlotCommand, DrawsTheWorkspacesChartsAsSvg)
{
    const QString workspace = file("w.json", R"({"tables": [], "charts": {"panes": [{"channels": ["RPM", "BATT"]},
        {"type": "scatter", "x": "RPM", "y": "BLM", "color": "MAP"}]}})");
    const PlotRun run = plot({workspace, kSample, QStringLiteral("--output"), path("chart.svg"), QStringLiteral("--size"),
                          QStringLiteral("800x600")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    QFile svg(path("chart.svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    EXPECT_TRUE(text.contains("<svg"));
    EXPECT_TRUE(text.contains("viewBox=\"0 0 800 600\""));
    EXPECT_TRUE(text.contains("BATT"));
    EXPECT_TRUE(text.contains("<image")) << "the scatter's points";
}

TEST_F(PlotCommand, ChannelsMissingFromTheLogAreToldButTheRestIsDrawn)
{
    const QString workspace = file("w.json", R"({"tables": [], "charts": {"panes": [{"channels": ["RPM", "NoSuch"]}]}})");
    const PlotRun run = plot({workspace, kSample, QStringLiteral("--output"), path("c.png")});
    EXPECT_EQ(run.code, 0);
    EXPECT_TRUE(run.err.contains("pane 1: no channel \"NoSuch\"")) << run.err.toStdString();
    EXPECT_EQ(QImage(path("c.png")).size(), QSize(1200, 800)) << "the default size";
}

TEST_F(PlotCommand, CalculatedChannelsAndTheFilterReachThePicture)
{
    const QString workspace = file("w.json", R"({"channels": [{"name": "Load", "expr": "MAP / 100"}], "tables": [],
        "charts": {"filter": "RPM > 2000", "panes": [{"channels": ["Load"]}, {"channels": ["RPM"]}]}})");
    const PlotRun run = plot({workspace, kSample, QStringLiteral("--output"), path("f.png"), QStringLiteral("--size"),
                          QStringLiteral("800x400")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("no channel")) << run.err.toStdString();
    const QImage image(path("f.png"));
    ASSERT_EQ(image.size(), QSize(800, 400));
    int shaded = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            shaded += image.pixel(x, y) == 0xFFDCDCDC;
    EXPECT_GT(shaded, 1000) << "the takes at 2000 RPM or below are shaded";

    // An expression that does not fit the log is the workspace's fault, as for --tables.
    const QString bad = file("bad.json", R"({"tables": [], "charts": {"filter": "ECTX > 80", "panes": [{}]}})");
    const PlotRun refused = plot({bad, kSample, QStringLiteral("--output"), path("g.png")});
    EXPECT_EQ(refused.code, 2);
    EXPECT_TRUE(refused.err.contains("charts, filter: unknown name \"ECTX\"")) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("sample.csv")) << refused.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("g.png")));
}

TEST_F(PlotCommand, FailuresExitWithOneOrTwoAndWriteNothingOnStandardOutput)
{
    const QString good = file("w.json", R"({"tables": []})");
    const QString bad = file("bad.json", "{\n  \"tables\": [],\n  \"charts\": {\"panes\": 3}\n}");
    const QString broken = file("broken.json", "{\"charts\": ");
    struct Case {
        QStringList args;
        int code;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{good, path("missing.csv"), QStringLiteral("--output"), path("a.png")}, 1, "missing.csv"},
        {{bad, kSample, QStringLiteral("--output"), path("a.png")}, 2, "charts: needs \"panes\""},
        {{broken, kSample, QStringLiteral("--output"), path("a.png")}, 2, "bad JSON at line 1"},
        {{path("nowhere.json"), kSample, QStringLiteral("--output"), path("a.png")}, 2, "nowhere.json"},
        {{good, kSample}, 2, "--output"},
        {{good, kSample, QStringLiteral("--output"), path("a.jpg")}, 2, ".png or .svg"},
        {{good, kSample, QStringLiteral("--output"), path("a.png"), QStringLiteral("--size"), QStringLiteral("10x10")}, 2, "--size"},
        {{good, kSample, QStringLiteral("--output"), path("a.png"), QStringLiteral("--size"), QStringLiteral("wide")}, 2, "--size"},
        {{good, QStringLiteral("--output"), path("a.png")}, 2, "workspace file and a log file"},
        {{good, kSample, QStringLiteral("--output"), path("no/such/dir/a.png")}, 1, "cannot write"},
    };
    for (const Case& c : cases) {
        const PlotRun run = plot(c.args);
        EXPECT_EQ(run.code, c.code) << c.args.join(' ').toStdString() << "\n" << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(path("a.png")));
}

TEST_F(PlotCommand, AWorkspaceThatIsNoFileOrNestsTooDeepIsRefusedAtOnce)
{
    // A FIFO nothing writes to would block open() for ever; /dev/zero would
    // fill the memory; 60,000 nested objects ran the stack out.
    const QString fifo = path("w.fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::string deep = "{\"tables\": [], \"charts\": ";
    for (int i = 0; i < 60000; ++i)
        deep += "{\"a\":";
    deep += "1" + std::string(60000, '}') + "}";
    const struct {
        QString workspace;
        QByteArray says;
    } cases[] = {
        {fifo, "Cannot open workspace '" + fifo.toUtf8() + "': it is not a regular file\n"},
        {QStringLiteral("/dev/zero"), "Cannot open workspace '/dev/zero': it is not a regular file\n"},
        {file("deep.json", deep), "': bad JSON at line 1, column 1301: lists and objects nest more than 256 deep\n"},
    };
    for (const auto& c : cases) {
        const PlotRun run = plot({c.workspace, kSample, QStringLiteral("--output"), path("a.png")});
        EXPECT_EQ(run.code, 2) << c.workspace.toStdString();
        EXPECT_TRUE(run.err.endsWith(c.says)) << run.err.toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(path("a.png")));
}

// --plot under `ulimit -f` with SIGXFSZ ignored, as a full disk looks to it;
// the limit in bytes, rounded down to the 512-byte blocks of sh's ulimit.
PlotRun plotWithFileLimit(qint64 bytes, const QStringList& args)
{
    QStringList quoted;
    for (const QString& arg : args)
        quoted << "'" + arg + "'";
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"), QStringLiteral("ulimit -f %1; trap '' XFSZ; exec '%2' --plot %3")
                                             .arg(bytes / 512)
                                             .arg(QStringLiteral(DLV_VIEWER_EXE), quoted.join(' '))});
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

TEST_F(PlotCommand, AFullDiskLeavesTheOldPictureAndSaysWhyOnce)
{
    const QString workspace = file("w.json", R"({"tables": []})");
    // How large each picture is, written freely.
    for (const char* name : {"free.png", "free.svg"})
        ASSERT_EQ(plot({workspace, kSample, QStringLiteral("--output"), path(name)}).code, 0);
    for (const char* format : {"png", "svg"}) {
        const qint64 size = QFileInfo(path(format[0] == 'p' ? "free.png" : "free.svg")).size();
        // Failing early, and failing within the last few kilobytes.
        for (const qint64 limit : {size / 4, size - 3000}) {
            const QString target = path(format[0] == 'p' ? "old.png" : "old.svg");
            QFile::remove(target);
            QFile old(target);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("the old picture");
            old.close();
            const PlotRun run = plotWithFileLimit(limit, {workspace, kSample,
                                                                                   QStringLiteral("--output"), target});
            EXPECT_EQ(run.code, 1) << format << " " << limit;
            EXPECT_EQ(run.err, "datalog-viewer: cannot write '" + target.toUtf8() + "': file too large\n") << format;
            ASSERT_TRUE(old.open(QIODevice::ReadOnly));
            EXPECT_EQ(old.readAll(), "the old picture") << format << " " << limit;
            old.close();
        }
    }
    EXPECT_EQ(QDir(path("")).entryList(QDir::Files).size(), 5) << QDir(path("")).entryList(QDir::Files).join(' ').toStdString();
}

TEST_F(PlotCommand, AFullDeviceIsTheSystemsErrorOnceWithoutLibraryChatter)
{
    const QString workspace = file("w.json", R"({"tables": []})");
    for (const char* name : {"o.png", "o.svg"}) {
        ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), path(name)));
        const PlotRun run = plot({workspace, kSample, QStringLiteral("--output"), path(name)});
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.err, "datalog-viewer: cannot write '" + path(name).toUtf8() + "': no space left on device\n");
    }
}

TEST_F(PlotCommand, ExtremeValuesTimesAndASingleTakeAreDrawn)
{
    std::string log = "title\nTime,Huge,Tiny,Big\n";
    for (int t = 0; t <= 100; ++t)
        log += std::to_string(1000000000000000000LL + t * 10000000000000000LL) + (t % 2 ? ",1e308" : ",-1e308") +
               ",6e300," + std::to_string(1200000000 + t * 1000000) + "\n";
    const QString workspace = file("w.json", R"({"tables": [], "charts": {"panes": [{"channels": ["Huge"]},
        {"channels": ["Tiny"]}, {"channels": ["Big"]}]}})");
    const PlotRun run = plot({workspace, file("huge.csv", log), QStringLiteral("--output"), path("huge.svg"),
                              QStringLiteral("--size"), QStringLiteral("800x500")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    QFile svg(path("huge.svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(svg.readAll());
    // Labels in scientific form, none of hundreds of digits.
    EXPECT_TRUE(text.contains(">1e308<")) << "the scale of +-1e308";
    EXPECT_TRUE(text.contains(">6e300<"));
    EXPECT_TRUE(text.contains(">1.2e18<")) << "the time axis";
    EXPECT_TRUE(text.contains("e9<")) << "ten digits are too wide for the margin";
    EXPECT_FALSE(text.contains("0000000000")) << "a label of many digits";
    // The footer names the log and what the filter keeps.
    EXPECT_TRUE(text.contains("huge.csv")) << "the log's name";
    EXPECT_TRUE(text.contains("every take"));

    // Both panes show their curves in the picture.
    const PlotRun png = plot({workspace, path("huge.csv"), QStringLiteral("--output"), path("huge.png"),
                              QStringLiteral("--size"), QStringLiteral("800x500")});
    ASSERT_EQ(png.code, 0);
    const QImage image(path("huge.png"));
    int curve = 0;
    for (int y = 22; y < image.height(); ++y)  // below the first legend
        for (int x = 70; x < 730; ++x)
            curve += image.pixel(x, y) == QColor(0x00, 0x72, 0xB2).rgb();
    EXPECT_GT(curve, 1000) << "the +-1e308 curve is drawn";

    // A log of one take: a dot, not nothing.
    const QString one = file("one.csv", "title\nTime,RPM\n5,800\n");
    const QString rpm = file("rpm.json", R"({"tables": [], "charts": {"panes": [{"channels": ["RPM"]}]}})");
    ASSERT_EQ(plot({rpm, one, QStringLiteral("--output"), path("one.png"), QStringLiteral("--size"),
                    QStringLiteral("400x300")})
                  .code,
              0);
    const QImage dot(path("one.png"));
    int blue = 0;
    for (int y = 22; y < dot.height(); ++y)  // below the legend's colour square
        for (int x = 0; x < dot.width(); ++x)
            blue += dot.pixel(x, y) == QColor(0x00, 0x72, 0xB2).rgb();
    EXPECT_GT(blue, 4) << "the take is drawn as a dot";
    ASSERT_EQ(plot({rpm, one, QStringLiteral("--output"), path("one.svg")}).code, 0);
    QFile oneSvg(path("one.svg"));
    ASSERT_TRUE(oneSvg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(oneSvg.readAll().contains(">5<")) << "the take's time under it";
}

}  // namespace
