#include "app/command_line.h"
#include "app/plot_command.h"
#include "app/tables_command.h"
#include "datalog/display_text.h"
#include "datalog/own_log_stream.h"
#include "datalog/take_store.h"
#include "views/report.h"
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
int report(const std::filesystem::path& path, bool hits) noexcept
{
    try {
        const std::string separator = QLocale().decimalPoint().toStdString();
        // Streamed, the log's bytes are never all held at once; the whole
        // reading answers what streaming cannot, errors included.
        std::optional<dlv::StreamedReport> streamed = dlv::streamedReport(path, separator, hits);
        if (!streamed) {
            const dlv::ReadResult result = dlv::readWholeLog(path);
            if (!result.ok()) {
                std::fprintf(stderr, "datalog-viewer: %s\n", result.error.c_str());
                return 1;
            }
            streamed = dlv::StreamedReport{dlv::reportText(*result.store, separator, hits), result.warnings};
        }
        for (const dlv::ReadWarning& warning : streamed->warnings)
            std::fprintf(stderr, "datalog-viewer: warning: '%s': %s\n", dlv::quotedText(path.native()).c_str(),
                         warning.message.c_str());
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
    dlv::Form1 form;
    form.show();
    if (!line.files.empty())
        form.openPath(line.files.front());
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
        return report(line.files.front(), line.hits);
    case dlv::CommandLine::Mode::Tables:
        return dlv::runTablesCommand(line.workspace, line.files, std::cout, std::cerr);
    case dlv::CommandLine::Mode::Plot:
        return dlv::runPlotCommand({line.workspace, line.files.front(), line.output, line.width, line.height},
                                   std::cerr);
    case dlv::CommandLine::Mode::Window:
        break;
    }
    return window(argc, argv, line);
}
