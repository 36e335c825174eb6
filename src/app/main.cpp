#include "app/command_line.h"
#include "app/compare_command.h"
#include "app/export_command.h"
#include "app/plot_command.h"
#include "app/tables_command.h"
#include "datalog/display_text.h"
#include "datalog/log_formats.h"
#include "datalog/take_store.h"
#include "views/report.h"
#include "workbench/default_table.h"
#include "window/form1.h"

#include <QApplication>
#include <QLocale>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <new>
#include <optional>
#include <string>

namespace {

// Prints what the window would show for the log, without a display, and the
// reader's warnings on standard error. Every failure ends here with exit code
// 1 and a message; nothing escapes to abort the program.
int report(const std::filesystem::path& path, bool hits, dlv::LogFormat format) noexcept
{
    try {
        const std::string separator = QLocale().decimalPoint().toStdString();
        // Streamed, the log's bytes are never all held at once; the whole
        // reading answers what streaming cannot, errors included. Only the
        // own format streams.
        const dlv::LogFormat read = dlv::fileLogFormat(path, format);
        const std::string shownPath = dlv::quotedText(path.native());
        std::optional<dlv::StreamedReport> streamed;
        std::optional<dlv::BlmTableNote> blmNote;
        if (read == dlv::LogFormat::Datalog)
            streamed = dlv::streamedReport(path, separator, hits);
        if (!streamed) {
            const dlv::ReadResult result = dlv::readLog(path, read);
            if (!result.ok()) {
                std::fprintf(stderr, "datalog-viewer: %s\n", result.error.c_str());
                return 1;
            }
            const std::shared_ptr<const dlv::LogChannels> log = dlv::logOf(result);
            streamed = dlv::StreamedReport{dlv::reportText(*log, separator, hits), result.warnings, {}, 0};
            if (!log->details().summary.empty())
                std::fprintf(stderr, "datalog-viewer: '%s': read as %s\n", shownPath.c_str(),
                             log->details().summary.c_str());
            // Another format's report says itself why it has no BLM table.
            if (log->format() == dlv::LogFormat::Datalog)
                blmNote = dlv::blmTableNote(*log);
        } else {
            blmNote = dlv::blmTableNote(streamed->names, streamed->mostFields);
        }
        for (const dlv::ReadWarning& warning : streamed->warnings)
            std::fprintf(stderr, "datalog-viewer: warning: '%s': %s\n", shownPath.c_str(), warning.message.c_str());
        // The BLM tab's note, as the window shows it, for a log whose
        // channels named RPM, MAP and BLM give the table elsewhere.
        if (blmNote && blmNote->named)
            std::fprintf(stderr, "datalog-viewer: note: '%s': %s %s\n", shownPath.c_str(), blmNote->why.c_str(),
                         blmNote->instead.c_str());
        const std::string& text = streamed->text;
        std::fwrite(text.data(), 1, text.size(), stdout);
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "datalog-viewer: cannot write the report: %s\n", std::strerror(errno));
            return 1;
        }
        return 0;
    } catch (const std::bad_alloc&) {
        std::fputs("datalog-viewer: not enough memory to build the report\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "datalog-viewer: cannot build the report: %s\n", e.what());
    } catch (...) {
        std::fputs("datalog-viewer: cannot build the report\n", stderr);
    }
    return 1;
}

int window(int argc, char** argv, const dlv::CommandLine& line)
{
    QApplication app(argc, argv);
    // Where the settings (the recent logs) are kept: ~/.config/datalog-viewer/.
    QCoreApplication::setOrganizationName(QStringLiteral("datalog-viewer"));
    QCoreApplication::setApplicationName(QStringLiteral("datalog-viewer"));
    dlv::Form1 form;
    form.showOnScreen();
    for (const std::filesystem::path& file : line.files)
        form.openPath(file, line.format);
    return app.exec();
}

}  // namespace

int main(int argc, char** argv)
{
    const dlv::CommandLine line = dlv::parseCommandLine(argc, argv, dlv::programName().toStdString());
    switch (line.mode) {
    case dlv::CommandLine::Mode::Help:
    case dlv::CommandLine::Mode::Version:
        std::cout << line.text << '\n';
        return std::cout.flush() ? 0 : 1;
    case dlv::CommandLine::Mode::Error:
        std::cerr << line.text << '\n';
        return line.exitCode();
    case dlv::CommandLine::Mode::Report:
        return report(line.files.front(), line.hits, line.format);
    case dlv::CommandLine::Mode::Tables:
        return dlv::runTablesCommand(line.workspace, line.files, std::cout, std::cerr, line.format);
    case dlv::CommandLine::Mode::Compare: {
        const auto split = line.files.begin() + static_cast<std::ptrdiff_t>(line.compareA);
        return dlv::runCompareCommand(line.workspace, {line.files.begin(), split}, {split, line.files.end()},
                                      std::cout, std::cerr, line.format);
    }
    case dlv::CommandLine::Mode::Plot:
        return dlv::runPlotCommand(
            {line.workspace, line.files.front(), line.output, line.width, line.height, line.format}, std::cerr);
    case dlv::CommandLine::Mode::ExportCsv:
        return dlv::runExportCommand(line.files.front(), line.output, line.format, std::cerr);
    case dlv::CommandLine::Mode::Window:
        break;
    }
    return window(argc, argv, line);
}
