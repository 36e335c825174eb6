#include "app/command_line.h"

#include "datalog/display_text.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cctype>
#include <optional>
#include <tuple>
#include <utility>

namespace dlv {

namespace {

constexpr const char* kExecutable = "datalog-viewer";

// Arguments go through the parser as Latin-1, one character per byte, so
// that every byte of a file name comes back out unchanged.
QString fromBytes(const char* arg)
{
    return QString::fromLatin1(arg);
}

std::filesystem::path toPath(const QString& arg)
{
    return std::filesystem::path(arg.toLatin1().toStdString());
}

CommandLine failure(const std::string& what)
{
    CommandLine line;
    line.mode = CommandLine::Mode::Error;
    line.text = std::string(kExecutable) + ": " + what + "; try '" + kExecutable + " --help'.";
    return line;
}

// "WIDTHxHEIGHT", each side kMinPlotSide .. kMaxPlotSide.
std::optional<std::pair<int, int>> plotSize(const QString& text)
{
    const QStringList sides = text.split(QLatin1Char('x'), Qt::KeepEmptyParts, Qt::CaseInsensitive);
    if (sides.size() != 2)
        return std::nullopt;
    bool okWidth = false;
    bool okHeight = false;
    const int width = sides[0].toInt(&okWidth);
    const int height = sides[1].toInt(&okHeight);
    const auto fits = [](int side) { return side >= kMinPlotSide && side <= kMaxPlotSide; };
    if (!okWidth || !okHeight || !fits(width) || !fits(height))
        return std::nullopt;
    return std::pair{width, height};
}

CommandLine plotLine(CommandLine line, const QCommandLineParser& parser, const QCommandLineOption& plot,
                     const QCommandLineOption& output, const QCommandLineOption& size, bool otherMode)
{
    if (otherMode)
        return failure("--plot goes alone, without --tables or --report");
    if (line.hits)
        return failure("--hits goes with --report");
    if (line.files.size() != 1)
        return failure("--plot needs a workspace file and a log file");
    const QString picture = parser.value(output);
    if (picture.isEmpty())
        return failure("--plot needs --output FILE.png or FILE.svg");
    if (!picture.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) &&
        !picture.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive))
        return failure("--output " + displayText(picture.toLatin1().toStdString()) +
                       ": the name must end in .png or .svg");
    if (parser.isSet(size)) {
        const std::optional<std::pair<int, int>> sides = plotSize(parser.value(size));
        if (!sides)
            return failure("--size " + displayText(parser.value(size).toLatin1().toStdString()) +
                           ": give WIDTHxHEIGHT, each " + std::to_string(kMinPlotSide) + " to " +
                           std::to_string(kMaxPlotSide) + " pixels");
        std::tie(line.width, line.height) = *sides;
    }
    line.mode = CommandLine::Mode::Plot;
    line.workspace = toPath(parser.value(plot));
    line.output = toPath(picture);
    return line;
}

// How many positional arguments stand before the first "--" that ends the
// options, or nullopt without one. Found by parsing what comes before it
// again: a "--" that is an option's value leaves that option without one.
std::optional<std::size_t> positionalsBeforeSeparator(const QList<QCommandLineOption>& options,
                                                      const QStringList& args)
{
    const qsizetype at = args.indexOf(QStringLiteral("--"));
    if (at < 0)
        return std::nullopt;
    QCommandLineParser before;
    before.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    before.addOptions(options);
    if (!before.parse(args.mid(0, at)))
        return std::nullopt;
    return static_cast<std::size_t>(before.positionalArguments().size());
}

CommandLine compareLine(CommandLine line, const QCommandLineParser& parser, const QList<QCommandLineOption>& options,
                        const QStringList& args, const QCommandLineOption& compare, bool otherMode)
{
    if (otherMode)
        return failure("--compare goes alone, without --tables, --plot, --report or --export-csv");
    for (const char* other : {"hits", "output", "size"})
        if (parser.isSet(QString::fromLatin1(other)))
            return failure(std::string("--") + other + " does not go with --compare");
    if (const std::optional<std::size_t> a = positionalsBeforeSeparator(options, args)) {
        if (*a == 0 || *a == line.files.size())
            return failure("--compare needs at least one log before -- (A) and one after it (B)");
        line.compareA = *a;
    } else if (line.files.size() == 2) {
        line.compareA = 1;
    } else {
        return failure("--compare needs a WORKSPACE and two logs, A and B (or A1 [A2 ...] -- B1 [B2 ...])");
    }
    line.mode = CommandLine::Mode::Compare;
    line.workspace = toPath(parser.value(compare));
    return line;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv, const std::string& programName)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A viewer for engine data logs."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version and exit."));
    const QCommandLineOption report(QStringLiteral("report"),
                                    QStringLiteral("Print what the window would show for LOG (run time, BLM "
                                                   "table, parameter summaries) and exit; needs no display."));
    const QCommandLineOption hits(QStringLiteral("hits"), QStringLiteral("With --report: add the BLM hit counts."));
    const QCommandLineOption tables(QStringLiteral("tables"),
                                    QStringLiteral("Print the tables of WORKSPACE over the LOGs, TAB-separated, "
                                                   "and exit; needs no display."),
                                    QStringLiteral("WORKSPACE"));
    const QCommandLineOption compare(QStringLiteral("compare"),
                                     QStringLiteral("Print each table of WORKSPACE over log B minus log A (per cell "
                                                    "and in percent of A) and exit; logs A1 [A2 ...] -- B1 [B2 ...] "
                                                    "pool each side; needs no display."),
                                     QStringLiteral("WORKSPACE"));
    const QCommandLineOption plot(QStringLiteral("plot"),
                                  QStringLiteral("Draw the charts of WORKSPACE over LOG into the --output picture "
                                                 "and exit; needs no display."),
                                  QStringLiteral("WORKSPACE"));
    const QCommandLineOption output(QStringLiteral("output"),
                                    QStringLiteral("With --plot: the picture to write, FILE.png or FILE.svg."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption size(QStringLiteral("size"),
                                  QStringLiteral("With --plot: the picture's size in pixels (default %1x%2).")
                                      .arg(kDefaultPlotWidth)
                                      .arg(kDefaultPlotHeight),
                                  QStringLiteral("WIDTHxHEIGHT"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("Read every LOG as FORMAT: auto (by its content, the default), "
                                                   "datalog, mlg, msl or text."),
                                    QStringLiteral("FORMAT"));
    const QCommandLineOption exportCsv(QStringLiteral("export-csv"),
                                       QStringLiteral("Write LOG, of any format, to OUT.csv in the datalog format "
                                                      "(a title line, a names line, one line per take) and exit; "
                                                      "needs no display."));
    const QList<QCommandLineOption> options{help, version, report, hits, tables, compare, plot, output, size, format,
                                            exportCsv};
    parser.addOptions(options);
    parser.addPositionalArgument(QStringLiteral("LOG"), QStringLiteral("The data logs to open."),
                                 QStringLiteral("[LOG ...]"));

    QStringList args{QString::fromLatin1(kExecutable)};
    for (int i = 1; i < argc; ++i)
        args << fromBytes(argv[i]);
    if (!parser.parse(args)) {
        std::string what = displayText(parser.errorText().toLatin1().toStdString());
        if (!what.empty() && what.back() == '.')
            what.pop_back();
        if (!what.empty())
            what[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(what[0])));
        return failure(what);
    }

    CommandLine line;
    if (parser.isSet(help)) {
        line.mode = CommandLine::Mode::Help;
        line.text = parser.helpText().replace(QStringLiteral("<executable_name>"), QString::fromLatin1(kExecutable))
                        .toStdString() +
                    "\nModes:\n"
                    "  datalog-viewer [LOG ...]              the window, with each LOG open\n"
                    "  datalog-viewer --report [--hits] LOG  the report on standard output\n"
                    "  datalog-viewer --tables WORKSPACE LOG [LOG ...]\n"
                    "                                        the workspace's tables on standard output\n"
                    "  datalog-viewer --compare WORKSPACE A.csv B.csv\n"
                    "  datalog-viewer --compare WORKSPACE A1.csv [A2.csv ...] -- B1.csv [B2.csv ...]\n"
                    "                                        each table over B minus over A, and in percent\n"
                    "  datalog-viewer --plot WORKSPACE LOG --output FILE.png|FILE.svg [--size WIDTHxHEIGHT]\n"
                    "                                        the workspace's charts as a picture\n"
                    "  datalog-viewer --export-csv LOG OUT.csv\n"
                    "                                        LOG written in the datalog format\n"
                    "Every mode takes --format auto|datalog|mlg|msl|text (default auto: by the file's content).\n";
        return line;
    }
    if (parser.isSet(version)) {
        line.mode = CommandLine::Mode::Version;
        line.text = programName;
        return line;
    }
    for (const QString& file : parser.positionalArguments())
        line.files.push_back(toPath(file));
    line.hits = parser.isSet(hits);
    if (parser.isSet(format)) {
        const std::string name = parser.value(format).toLatin1().toStdString();
        const std::optional<LogFormat> named = logFormatNamed(name);
        if (!named)
            return failure("--format '" + quotedText(name) + "': give auto, datalog, mlg, msl or text");
        line.format = *named;
    }
    if (parser.isSet(compare))
        return compareLine(std::move(line), parser, options, args, compare,
                           parser.isSet(tables) || parser.isSet(report) || parser.isSet(plot) ||
                               parser.isSet(exportCsv));
    if (parser.isSet(exportCsv)) {
        if (parser.isSet(tables) || parser.isSet(report) || parser.isSet(plot))
            return failure("--export-csv goes alone, without --tables, --plot or --report");
        if (line.hits || parser.isSet(output) || parser.isSet(size))
            return failure(std::string(line.hits ? "--hits" : parser.isSet(output) ? "--output" : "--size") +
                           " does not go with --export-csv");
        if (line.files.size() != 2)
            return failure("--export-csv needs a LOG and the CSV file to write");
        line.mode = CommandLine::Mode::ExportCsv;
        line.output = line.files.back();
        line.files.pop_back();
        return line;
    }
    if (parser.isSet(plot))
        return plotLine(std::move(line), parser, plot, output, size, parser.isSet(tables) || parser.isSet(report));
    if (parser.isSet(output) || parser.isSet(size))
        return failure(std::string(parser.isSet(output) ? "--output" : "--size") + " goes with --plot");
    if (parser.isSet(tables)) {
        if (parser.isSet(report))
            return failure("--tables and --report go alone");
        if (line.hits)
            return failure("--hits goes with --report");
        if (line.files.empty())
            return failure("--tables needs a WORKSPACE and at least one LOG");
        line.mode = CommandLine::Mode::Tables;
        line.workspace = toPath(parser.value(tables));
        return line;
    }
    if (parser.isSet(report)) {
        if (line.files.size() != 1)
            return failure("--report needs exactly one LOG");
        line.mode = CommandLine::Mode::Report;
        return line;
    }
    if (line.hits)
        return failure("--hits goes with --report");
    return line;
}

}  // namespace dlv
