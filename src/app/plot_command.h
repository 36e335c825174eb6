#pragma once

// datalog-viewer --plot WORKSPACE LOG --output FILE.png|FILE.svg [--size WIDTHxHEIGHT]
//
// Draws the workspace's chart page (or the default page when it has none) for
// the log into a PNG or SVG file, without a display. Exit code 0 when the
// picture was written; 1 when the log cannot be read or the picture cannot be
// written; 2 for bad arguments or a bad workspace. Messages go to standard
// error, nothing to standard output.

#include <QSize>
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace dlv {

struct PlotRequest {
    QString workspace;
    QString log;
    QString output;
    QSize size{1200, 800};
};

inline constexpr int kPlotMaxSide = 16384;

// The arguments after "--plot". Sets error (and returns nullopt) for anything
// else than the form above.
[[nodiscard]] std::optional<PlotRequest> parsePlotArguments(const std::vector<std::string>& args, std::string& error);

// Runs a parsed request; creates the GUI application (offscreen unless
// QT_QPA_PLATFORM names another platform) when none exists yet.
[[nodiscard]] int runPlot(const PlotRequest& request);

// Both of the above, for main(): args are those after "--plot".
[[nodiscard]] int plotCommand(const std::vector<std::string>& args);

}  // namespace dlv
