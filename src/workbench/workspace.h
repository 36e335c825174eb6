#pragma once

// The workspace: calculated channels and tables that a user writes as JSON (or
// the window saves). Plain data; parsing and writing cost O(text).

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dlv::workbench {

enum class Stat { Mean, Count, Min, Max, Median, Stddev, DiffPercent };

// "mean", "count", "min", "max", "median", "stddev", "diff%".
[[nodiscard]] std::string_view statName(Stat stat) noexcept;
[[nodiscard]] std::optional<Stat> statFromName(std::string_view name) noexcept;

// A calculated channel: a name and an expression over the log's parameters
// and the channels before it.
struct Channel {
    std::string name;
    std::string expr;
    bool operator==(const Channel&) const = default;
};

// The largest change a correction makes to a cell, in % of its old value,
// unless the user sets another.
inline constexpr double kDefaultCorrectionLimitPercent = 10.0;

// What a table's corrections are worked out from (the Tables tab's Paste
// Current Map, Lock / Unlock and Limit), kept with the table so that they
// come back with the workspace.
struct Corrections {
    // The engine computer's map as pasted, row by row: a row per y
    // breakpoint (one for a 1-D table) of one value per x breakpoint.
    // Empty: none pasted.
    std::vector<double> map;
    std::vector<std::size_t> locked;  // cells kept as they are: indices into map, increasing
    int decimals = 0;  // the most decimals a value of the map was written with (0 to 6), as pasted
    double limitPercent = kDefaultCorrectionLimitPercent;
    bool operator==(const Corrections&) const = default;
};

// A table of z binned by x (and y): expressions, breakpoints strictly
// increasing, at least one each. y empty: a 1-D table (yAxis empty too).
struct Table {
    std::string name;
    std::string x;
    std::vector<double> xAxis;
    std::string y;
    std::vector<double> yAxis;
    std::string z;
    Stat stat = Stat::Mean;
    int minHits = 1;
    std::optional<double> target;  // needed by diff%
    std::string filter;            // empty: every take counts
    std::optional<Corrections> corrections;

    [[nodiscard]] bool twoD() const noexcept { return !y.empty(); }
    // Rows and columns of its cells: y breakpoints (1 for a 1-D table) by x's.
    [[nodiscard]] std::size_t rowCount() const noexcept { return twoD() ? yAxis.size() : 1; }
    [[nodiscard]] std::size_t columnCount() const noexcept { return xAxis.size(); }
    bool operator==(const Table&) const = default;
};

// A marker the user put on a take of a log, kept with the workspace: the
// log by its file name (no folder), so that it finds the log again wherever
// it lies; the note as typed (UTF-8).
struct WorkspaceMarker {
    std::string log;
    int take = 0;
    std::string note;
    bool operator==(const WorkspaceMarker&) const = default;
};

struct Workspace {
    std::vector<Channel> channels;
    std::vector<Table> tables;
    std::vector<WorkspaceMarker> markers;  // in log, then take order as saved
    // The charts layer's own part, kept as it was read; absent when the file
    // has none.
    std::optional<nlohmann::json> charts;
    bool operator==(const Workspace&) const = default;
};

// Limits that keep a typo from asking for gigabytes.
inline constexpr std::size_t kMaxBreakpoints = 10000;
inline constexpr std::size_t kMaxCells = 1000000;
// Lists and objects nested deeper than this are refused while parsing: the
// JSON library copies, compares and writes a value one call per level, so a
// hostile file could otherwise run the stack out.
inline constexpr std::size_t kMaxJsonDepth = 256;
// More calculated channels than anyone writes by hand; each costs a compile
// of its expression, a few microseconds.
inline constexpr std::size_t kMaxChannels = 100000;
inline constexpr std::size_t kMaxMarkers = 100000;

struct WorkspaceResult {
    std::optional<Workspace> workspace;
    // Why the text is not a workspace, naming the table or channel and the
    // key: 'table "BLM": xAxis: breakpoints must increase strictly (40 after 50)'.
    std::string error;
    [[nodiscard]] bool ok() const noexcept { return workspace.has_value(); }
};

// Reads a workspace from JSON text. Unknown and repeated keys are errors; so
// are lists and objects nested deeper than kMaxJsonDepth, a NUL byte anywhere
// in the text, a NUL character (\u0000) in any text or key, wrong types, axes
// that are empty or not strictly increasing, an unknown stat, diff% without a
// target (or with target 0), a y without a yAxis, repeated channel names, and
// corrections whose map is not of the table's shape or that lock a cell
// outside it. Expressions are not compiled here (that needs a
// log's names): see compileWorkspace. Never throws but std::bad_alloc.
[[nodiscard]] WorkspaceResult parseWorkspace(std::string_view text);

// The workspace as JSON, in a fixed layout (keys in the documented order,
// whole numbers without a point, doubles in their shortest round-trip form),
// so that writing what parseWorkspace read gives the same bytes again.
[[nodiscard]] std::string workspaceToJson(const Workspace& workspace);

// 'table "NAME"' (or 'table N', counted from 1, for a table without a name)
// and 'channel "NAME"', as every message about them starts.
[[nodiscard]] std::string tableLabel(std::string_view name, std::size_t index);
[[nodiscard]] std::string channelLabel(const Channel& channel);

}  // namespace dlv::workbench
