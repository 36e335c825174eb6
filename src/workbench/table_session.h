#pragma once

#include "views/blm_tint.h"
#include "workbench/table_difference.h"
#include "workbench/table_edit.h"
#include "workbench/workspace.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
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

// The Tables tab's side of the workbench: the sessions of one log or of
// several pooled, the selected table computed with the engine (the same
// computation and texts as --tables over those logs in that order) and laid
// out for the grid, with tints, tooltips and the takes behind every cell; and
// the difference of one table between two sets of logs. No Qt.

using workbench::Channel;
using workbench::Corrections;
using workbench::Table;
using workbench::Workspace;

// The statistics a table can show, in the order the editor offers them.
[[nodiscard]] const std::vector<workbench::Stat>& tableStatistics();

// Which field of the editor an error belongs to.
enum class TableField : std::uint8_t { X, Y, Z, XAxis, YAxis, Stat, MinHits, Target, Filter, Channel };

// An error in words, the text it was found in and the place in that text.
// channel: the channel's index when field is Channel. log: which of the
// logs computed over (their position in the order given) the expression was
// compiled against; a table's own checks (axes, target) give 0.
struct EditorError {
    TableField field = TableField::X;
    std::string message;
    std::string text;
    TextPlace place;
    std::size_t channel = 0;
    std::size_t log = 0;
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

// What every table the tab shows has: its breakpoints, its size and the
// texts as the command line writes them (header line, then one line per y
// breakpoint).
struct ShownGrid {
    std::vector<double> xAxis;
    std::vector<double> yAxis;  // empty for a 1-D table
    std::size_t rows = 0;
    std::size_t cols = 0;
    TextTable texts;
};

// A computed table, ready to show: the grid, the cells row-major under it,
// and the takes that fed each cell: logs in their order, each in take order.
struct ShownTable : ShownGrid {
    std::vector<ShownCell> cells;
    std::vector<std::vector<workbench::TakeRef>> takes;
    std::int64_t takesInTable = 0;
    // Per log: the z expression's parameter when it is a plain name of that
    // log, else -1: the curve the takes are marked on.
    std::vector<long long> zParams;
    [[nodiscard]] const ShownCell& at(std::size_t row, std::size_t col) const { return cells[row * cols + col]; }
    [[nodiscard]] long long zParam(std::size_t log = 0) const { return log < zParams.size() ? zParams[log] : -1; }
    // The take numbers of one log that fed cell (row * cols + col), in take
    // order. O(takes of the cell).
    [[nodiscard]] std::vector<int> takesOfLog(std::size_t cell, std::uint32_t log) const;
};

struct TableOutcome {
    std::optional<ShownTable> table;  // set when every field is right
    std::vector<EditorError> errors;  // every field found wrong, in field order
};

// Sessions of the logs a table is pooled over, in their order (not owned;
// each used by one thread at a time).
using SessionList = std::span<workbench::LogSession* const>;

// Table `index` of workspace folded over the sessions' logs in their order:
// takes of log 1, then log 2 ..., each log's look-backs starting afresh, as
// --tables pools its logs. The workspace is compiled against each log's
// names; the errors are the table's own checks and those of the first log
// whose compilation of the table fails (EditorError::log tells which), in
// field order. No session: no result, and only the table's own checks.
// withTakes: the takes behind each cell too. Expression values stay cached
// in each session (keep), and what the workspace no longer uses is dropped
// (keepOnly).
struct PooledTable {
    std::optional<workbench::TableResult> result;  // set when every field is right
    std::vector<EditorError> errors;
    std::vector<long long> zParams;                // per log, see ShownTable
};
[[nodiscard]] PooledTable computePooledTable(SessionList sessions, const Workspace& workspace, std::size_t index,
                                             bool withTakes);

// Computes table `index` of `workspace` over the sessions' logs pooled (see
// computePooledTable), or over one session's log. Never throws for a fault
// in the workspace: the fault comes back as an EditorError (out of memory
// still throws std::bad_alloc). Cost per log: a pass over the takes for the
// parameters not cached yet, an evaluation of each expression whose values
// the session does not hold (after a filter edit: the filter only), and one
// pass over the takes to bin them unless the session holds them binned
// (after an edit of the statistic, minHits or target: see
// LogSession::binned); then one fold over the binned takes of every log.
[[nodiscard]] TableOutcome computeShownTable(SessionList sessions, const Workspace& workspace, std::size_t index);
[[nodiscard]] TableOutcome computeShownTable(workbench::LogSession& session, const Workspace& workspace,
                                             std::size_t index);

// One cell of the difference of a table between two sets of logs, ready to
// show: the numbers, B - A as --compare prints it and in percent, tints by
// sign and a tooltip.
struct DifferenceShownCell {
    workbench::DifferenceCell numbers;
    std::string text;                // B - A
    std::string percentText;         // (B - A) / |A| * 100
    std::optional<Rgb> tint;         // by the sign and size of B - A
    std::optional<Rgb> percentTint;  // by the sign and size of the percent
    std::string toolTip;
};

// texts: B - A; percentTexts: the percent, laid out the same way.
struct ShownDifference : ShownGrid {
    TextTable percentTexts;
    std::vector<DifferenceShownCell> cells;
    [[nodiscard]] const DifferenceShownCell& at(std::size_t row, std::size_t col) const
    {
        return cells[row * cols + col];
    }
};

struct DifferenceOutcome {
    std::optional<ShownDifference> table;  // set when every field is right over both sets
    // As computePooledTable's; EditorError::log counts the logs of a first,
    // then those of b (the first log of b is a.size()).
    std::vector<EditorError> errors;
};

// Table `index` of workspace over the logs of a pooled and over those of b
// pooled, and per cell B - A of its statistic (see differenceTable). The
// sessions cache as computeShownTable's do; a session may be in both sets.
[[nodiscard]] DifferenceOutcome computeShownDifference(SessionList a, SessionList b, const Workspace& workspace,
                                                       std::size_t index);

// Tooltip of a difference cell, lines joined by LF:
//   "A: 128.41 from 57 takes\nB: 130.02 from 61 takes\nB - A: 1.61 (1.25 %)"
// A side without a value says why: "A: no takes", "A: none from 3 takes
// (below minHits 10)", "A: none from 1 take" (a statistic such as stddev
// that has none); then "B - A: none". Where A is 0: "B - A: 2.00 (no
// percent of 0)".
[[nodiscard]] std::string differenceToolTip(const Table& table, const workbench::DifferenceCell& cell);

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

// Whether text, which reads, is clearly still being typed while its field
// has the keyboard focus: any axis (XAxis, YAxis: "20 30" reads on the way
// to "20 30 40"), a filter that is empty or a bare name or number ("ECT" on
// the way to "ECT > 80"). The window applies such an edit after a short pause in
// typing, any other at once. O(text).
[[nodiscard]] bool looksMidTyping(TableField field, std::string_view text) noexcept;
// That pause: how long such an edit waits for the next key, in milliseconds
// (Enter or leaving the field applies it at once).
inline constexpr int kTypingPauseMs = 700;

}  // namespace dlv
