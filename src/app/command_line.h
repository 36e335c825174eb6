#pragma once

#include "datalog/log_channels.h"

#include <filesystem>
#include <string>
#include <vector>

namespace dlv {

// The picture --plot draws without --size, and the sides --size accepts.
inline constexpr int kDefaultPlotWidth = 1200;
inline constexpr int kDefaultPlotHeight = 800;
inline constexpr int kMinPlotSide = 16;
inline constexpr int kMaxPlotSide = 16384;

// What the command line asks for. File names keep the bytes they were given
// in, whatever their encoding. New modes add an enumerator, their fields and
// a branch in main's dispatch.
struct CommandLine {
    enum class Mode {
        Window,   // the window, with the log in files (at most one) opened
        Report,   // --report [--hits] LOG: what the window would show, as text
        Tables,   // --tables WORKSPACE LOG [LOG ...]: the workspace's tables over the logs
        Compare,  // --compare WORKSPACE A B, or A1 [A2 ...] -- B1 [B2 ...]: B - A of each table
        Plot,     // --plot WORKSPACE LOG --output FILE [--size WxH]: the workspace's charts as a picture
        ExportCsv,  // --export-csv LOG OUT.csv: the log in the own format
        Help,     // --help: text holds the usage
        Version,  // --version: text holds "Datalog Viewer 0.5"
        Error,    // text holds a one-line hint
    };
    Mode mode = Mode::Window;
    std::vector<std::filesystem::path> files;
    std::filesystem::path workspace;  // --tables, --compare, --plot
    std::size_t compareA = 0;         // --compare: files[0, compareA) are A's logs, the rest B's
    std::filesystem::path output;     // --plot: ends in .png or .svg (any case); --export-csv: the CSV file
    int width = kDefaultPlotWidth;    // --plot: pixels, kMinPlotSide .. kMaxPlotSide
    int height = kDefaultPlotHeight;
    bool hits = false;
    LogFormat format = LogFormat::Auto;  // --format, for every mode's logs
    std::string text;

    // Exit status for Help, Version (0) and Error (2).
    [[nodiscard]] int exitCode() const noexcept { return mode == Mode::Error ? 2 : 0; }
};

// Parses argv[1..argc-1]; needs no application object. programName is what
// --version prints.
[[nodiscard]] CommandLine parseCommandLine(int argc, const char* const* argv, const std::string& programName);

}  // namespace dlv
