#pragma once

#include "views/blm_tint.h"
#include "workbench/table_edit.h"
#include "workbench/workspace.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dlv {

class ColumnCache;
class LogChannels;
class TakeStore;
namespace workbench {
class LogSession;
}

// The Tables tab's side of the workbench: one log's session, the selected
// table computed with the engine (the same computation and texts as
// --tables) and laid out for the grid, with tints, tooltips and the takes
// behind every cell. No Qt.

using workbench::Channel;
using workbench::Table;
using workbench::Workspace;

// The statistics a table can show, in the order the editor offers them.
[[nodiscard]] const std::vector<workbench::Stat>& tableStatistics();

// Which field of the editor an error belongs to.
enum class TableField : std::uint8_t { X, Y, Z, XAxis, YAxis, Stat, MinHits, Target, Filter, Channel };

// An error in words, the text it was found in and the place in that text.
// channel: the channel's index when field is Channel.
struct EditorError {
    TableField field = TableField::X;
    std::string message;
    std::string text;
    TextPlace place;
    std::size_t channel = 0;
};

// One cell as the tab shows it: the statistic's text (empty below minHits),
// the numbers behind it, its tint and tooltip.
struct ShownCell {
    std::int64_t count = 0;
    double mean = 0.0;
    double min = 0.0;
    double max = 0.0;
    double stddev = 0.0;  // NaN below 2 takes
    std::string text;
    std::optional<Rgb> tint;
    std::string toolTip;
};

// A computed table, ready to show: texts as the command line writes them
// (header line, then one line per y breakpoint), the cells row-major under
// them, and the takes that fed each cell, in take order.
struct ShownTable {
    std::vector<double> xAxis;
    std::vector<double> yAxis;  // empty for a 1-D table
    std::size_t rows = 0;
    std::size_t cols = 0;
    TextTable texts;
    std::vector<ShownCell> cells;
    std::vector<std::vector<int>> takes;
    std::int64_t takesInTable = 0;
    // The z expression's parameter when it is a plain name of the log, else -1:
    // the curve the takes are marked on.
    long long zParam = -1;
    [[nodiscard]] const ShownCell& at(std::size_t row, std::size_t col) const { return cells[row * cols + col]; }
};

struct TableOutcome {
    std::optional<ShownTable> table;  // set when every field is right
    std::vector<EditorError> errors;  // every field found wrong, in field order
};

// Computes table `index` of `workspace` over the session's log. Never throws
// for a fault in the workspace: the fault comes back as an EditorError (out
// of memory still throws std::bad_alloc). Cost: a pass over the takes for
// the parameters not cached yet, an evaluation of each expression whose
// values the session does not hold (after a filter edit: the filter only),
// and one pass over the takes to bin them.
[[nodiscard]] TableOutcome computeShownTable(workbench::LogSession& session, const Workspace& workspace,
                                             std::size_t index);

// What is wrong with the workspace's channels: one error for each channel
// whose expression cannot be read, field Channel, in channel order.
[[nodiscard]] std::vector<EditorError> checkChannels(const std::vector<std::string>& names, const Workspace& workspace);

// Tooltip of a cell, lines joined by LF:
//   "Takes: 57\nMean 128.41\nMin 121, max 135\nStd dev 3.20"
// with "(below minHits 10)" after the count when it is short, the std dev line
// only from 2 takes on, and "No takes" for an empty cell.
[[nodiscard]] std::string cellToolTip(const ShownCell& cell, std::int64_t minHits);

// The value a cell is tinted by and the centre of the scale, from the
// statistic: around the target for mean, median, min and max; around 0 for
// diff%; sequential (no centre) for count and stddev, or without a target.
[[nodiscard]] std::optional<double> tintCenter(const Table& table);

// The table a new log starts with: BLM by RPM and MAP, like the BLM tab. The
// log's names RPM, MAP and BLM where it has them (fields 224, 247 and 236
// otherwise), on the BLM tab's breakpoints widened to the log's range, mean
// around target 128.
[[nodiscard]] Workspace defaultWorkspace(ColumnCache& columns);

// An expression for parameter p of the log: its name as it is when it is a
// plain name, in braces otherwise, #p when braces cannot hold it.
[[nodiscard]] std::string parameterReference(const std::vector<std::string>& names, long long p);

// What a table's heading shows for an axis or value expression: the
// expression, and " [unit]" after it when it names a channel of log that has
// a unit (log may be null). O(channels).
[[nodiscard]] std::string expressionHeading(const LogChannels* log, std::string_view expression);

}  // namespace dlv
