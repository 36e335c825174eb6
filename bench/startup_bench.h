#pragma once

// Start-up figures, each from a fresh process: the time from the start of a
// process that opens a log as `datalog-viewer LOG` does to the first paint of
// Grid1 with the data, and the first curve of each of several parameters
// (the time from selecting its row to the painted curve, no curve of it
// having been drawn before). The child process is dlv-bench itself, started
// with --startup-child; it builds the window exactly as the viewer's main
// does.
#include <optional>
#include <string>

namespace dlv::bench {

// Targets on the 2-core reference machine, in ms.
inline constexpr double kStartupTargetMs = 1000;       // 300,000 takes x 256 fields
inline constexpr double kTallStartupTargetMs = 1500;   // 3,600,000 takes x 10 fields
inline constexpr double kFirstCurveTargetMs = 50;      // 300,000 takes x 256 fields
inline constexpr double kTallFirstCurveTargetMs = 25;  // 3,600,000 takes x 10 fields

// Whether this process is such a child (its first argument says so).
[[nodiscard]] bool isStartupChild(int argc, char** argv);
// The child's whole run: builds its own QApplication, prints "key value"
// lines on standard output and exits. Returns the exit code.
int runStartupChild(int argc, char** argv);

// What a start-up is held to, in ms, and the child's peak resident memory
// after Open and its curves in times the file's size (0: none).
struct StartupTargets {
    double toDataMs = kStartupTargetMs;
    double firstCurveMs = kFirstCurveTargetMs;
    double peakPerFile = 0;
};
// A generated MLG log of 320,000 records x 1,389 fields.
inline constexpr StartupTargets kMlgStartupTargets{1000, 50, 1.2};

// Peak resident memory of this process so far, in KiB.
[[nodiscard]] long peakRssKb();

// Starts `runs` children of the program self on log, one after the other,
// and prints the medians beside their targets ("startup_to_data_ms 812.30
// target 1000"), with the phases on standard error. Without targets, those
// of the own format's logs, by their shape. False when a child failed (said
// on standard error).
bool printStartupFigures(const std::string& self, const std::string& log, int runs,
                         std::optional<StartupTargets> targets = std::nullopt);

}  // namespace dlv::bench
