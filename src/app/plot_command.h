#pragma once

// datalog-viewer --plot WORKSPACE LOG --output FILE.png|FILE.svg [--size WIDTHxHEIGHT]
//
// Draws the workspace's chart page (or the default page when it has none) for
// the log into a PNG or SVG file, without a display. The arguments are
// checked by the command line (app/command_line.h).

#include "datalog/log_channels.h"

#include <filesystem>
#include <iosfwd>

namespace dlv {

struct PlotRequest {
    std::filesystem::path workspace;
    std::filesystem::path log;
    std::filesystem::path output;  // ends in .png or .svg, any case
    int width = 0;                 // pixels
    int height = 0;
    LogFormat format = LogFormat::Auto;  // --format
};

// Writes the picture and returns 0; on failure writes no picture, prints one
// line naming the file and the reason to err (warnings too, such as a channel
// the log lacks) and returns 1 for a log that cannot be read or a picture that
// cannot be written (or when memory runs out), 2 for a bad workspace. Creates
// the GUI application (offscreen unless QT_QPA_PLATFORM names another
// platform) when none exists yet. Never throws.
[[nodiscard]] int runPlotCommand(const PlotRequest& request, std::ostream& err) noexcept;

}  // namespace dlv
