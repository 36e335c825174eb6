#include "app/command_line.h"

#include "datalog/display_text.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cctype>

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
    parser.addOptions({help, version, report, hits, tables});
    parser.addPositionalArgument(QStringLiteral("LOG"), QStringLiteral("The data log to open (window: at most one)."),
                                 QStringLiteral("[LOG]"));

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
                    "  datalog-viewer [LOG]                  the window, with LOG open\n"
                    "  datalog-viewer --report [--hits] LOG  the report on standard output\n"
                    "  datalog-viewer --tables WORKSPACE LOG [LOG ...]\n"
                    "                                        the workspace's tables on standard output\n";
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
    if (line.files.size() > 1)
        return failure("the window opens one LOG at a time");
    return line;
}

}  // namespace dlv
