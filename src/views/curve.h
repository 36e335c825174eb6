#pragma once

#include "datalog/columns.h"
#include "datalog/ordered_sum.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dlv {

class TakeStore;

// The numbers of one parameter over takes 0 .. U: values()[t] is the number
// that take t holds, quiet NaN where its text is empty or not a number. The
// numbers are a column shared with whoever else reads them (the document's
// ColumnCache), never copied; a null column is a series of no takes.
struct ParamSeries {
    long long param = -1;
    ColumnPtr column;

    [[nodiscard]] std::span<const double> values() const noexcept
    {
        return column ? std::span<const double>(*column) : std::span<const double>();
    }
    [[nodiscard]] int takeCount() const noexcept { return column ? static_cast<int>(column->size()) : 0; }
    [[nodiscard]] bool isNumber(int t) const noexcept;
};

// Reads parameter p of every take in one pass, through the numeric column
// layer (parseColumns), into a column of its own. O(takes); 8 bytes a take.
// The window reads through LogDocument::curve, which shares the cached column.
[[nodiscard]] ParamSeries extractParamSeries(const TakeStore& store, long long p);

// What the labels beside a curve report. Only numbers count; among equal
// values the first take wins, so maxTake / minTake are the first takes that
// hold the extremes. With no number at all, count is 0 and the takes are -1.
struct CurveSummary {
    int count = 0;
    double maxValue = 0.0;
    int maxTake = -1;
    double minValue = 0.0;
    int minTake = -1;
    double average = 0.0;  // sum of the numbers (as doubles, in take order) / count

    [[nodiscard]] bool hasNumbers() const noexcept { return count > 0; }
};

// O(takes). A long series on three cores or more is split: the extremes and
// the count by take ranges, the ordered sum beside them in one pass in take
// order; the result is bit for bit that of one SummaryAccumulator over the
// whole series. parts: how many threads (0: by the length and the cores;
// 1: none but the caller's); the result is the same for any.
[[nodiscard]] CurveSummary summarizeSeries(const ParamSeries& series);
[[nodiscard]] CurveSummary summarizeValues(std::span<const double> values, std::size_t parts = 0);

// summarizeSeries for a pass that sees the numbers a block of takes at a
// time: the blocks must come in take order, one after the other, and then
// summary() is what summarizeSeries gives for the whole series. 64 bytes,
// O(1) a take.
// Whether a pass over several series follows the takes of their extremes
// (CurveSummary::maxTake, minTake) or only their values, as the report
// needs: then the takes of series summed in vector lanes stay -1.
enum class SummaryTakes { Kept, Skipped };

class SummaryAccumulator final {
public:
    // values[i] is the number of take firstTake + i, NaN for none.
    void add(int firstTake, std::span<const double> values) noexcept;
    // add(firstTake, values[k]) for every accumulators[k], all values of one
    // length: the same results, but several series at a time, a series to a
    // lane of the processor's vectors (as addRows), whose sums (each a chain
    // of additions, one waiting for the other) then proceed side by side
    // instead of one after the other.
    static void addEach(std::span<SummaryAccumulator* const> accumulators, int firstTake,
                        std::span<const std::span<const double>> values,
                        SummaryTakes takes = SummaryTakes::Kept) noexcept;
    // add(firstTake, column k of rows) for every accumulators[k], where rows
    // holds takeCount rows stride numbers apart (a RowBlock's layout) and
    // column k is rows[i * stride + k]: the same results, with the columns
    // side by side in vector lanes (two, or four where AVX2 is at hand).
    static void addRows(std::span<SummaryAccumulator* const> accumulators, int firstTake, const double* rows,
                        std::size_t stride, int takeCount, SummaryTakes takes = SummaryTakes::Kept) noexcept;
    [[nodiscard]] CurveSummary summary() const noexcept;

private:
    friend struct SummaryRows;
    friend struct SummaryColumns;
    CurveSummary m_summary;
    OrderedSum m_sum;
};

// Texts of lblMax, lblAvg and lblMin ("0.00"); all empty without numbers.
struct CurveLabels {
    std::string max;
    std::string avg;
    std::string min;
};

[[nodiscard]] CurveLabels curveLabels(const CurveSummary& summary, std::string_view decimalSeparator);

// A user coordinate system laid over a surface of pixels: the user rectangle
// [left, left + width] x [top, top + height] fills the surface, y growing
// downwards. Pixel coordinates are continuous: pixel column c covers
// [c, c + 1), so user x = left falls into column 0.
class CurveScale final {
public:
    CurveScale() noexcept = default;  // (0, 0) to (1, 1)
    // A width or height that is not a positive finite number is taken as 1.
    CurveScale(double left, double top, double width, double height) noexcept;

    [[nodiscard]] double left() const noexcept { return m_left; }
    [[nodiscard]] double top() const noexcept { return m_top; }
    [[nodiscard]] double width() const noexcept { return m_width; }
    [[nodiscard]] double height() const noexcept { return m_height; }
    [[nodiscard]] double right() const noexcept { return m_left + m_width; }
    [[nodiscard]] double bottom() const noexcept { return m_top + m_height; }

    // widthPx / heightPx: size of the surface in pixels (values below 1 count as 1).
    [[nodiscard]] double toPixelX(double x, double widthPx) const noexcept;
    [[nodiscard]] double toPixelY(double y, double heightPx) const noexcept;
    [[nodiscard]] double toUserX(double px, double widthPx) const noexcept;
    [[nodiscard]] double toUserY(double py, double heightPx) const noexcept;

    friend bool operator==(const CurveScale&, const CurveScale&) = default;

private:
    double m_left = 0.0;
    double m_top = 0.0;
    double m_width = 1.0;
    double m_height = 1.0;
};

// Where a parameter's curve lies in user units: take v at x = v, value a at
// y = maxValue - a, so the maximum touches the top edge y = 0. The bottom edge
// is the lower of -1 and the minimum; height is one unit when that leaves no
// room (all values equal and at most -1, or no number at all).
struct CurveLayout {
    double width = 1.0;     // U, or 1 for a log of a single take (or none)
    double height = 1.0;    // maxValue - min(-1, minimum)
    double maxValue = 0.0;  // value at y = 0 (0 without numbers)

    [[nodiscard]] static CurveLayout of(int lastTake, const CurveSummary& summary) noexcept;

    [[nodiscard]] double userY(double value) const noexcept { return maxValue - value; }
    [[nodiscard]] double valueAt(double y) const noexcept { return maxValue - y; }
    // The whole log.
    [[nodiscard]] CurveScale scale() const noexcept { return {0.0, 0.0, width, height}; }
    // Only takes x0 .. x1 across the surface (x1 > x0), full height.
    [[nodiscard]] CurveScale scale(double x0, double x1) const noexcept { return {x0, 0.0, x1 - x0, height}; }
};

// The visible x range of a zoomed curve within the whole log [fullLeft,
// fullLeft + fullWidth], in user units. It never leaves the whole range and
// never gets narrower than minSpan (or the whole width when that is less), so
// a zoomed view always shows a few takes. O(1) throughout.
class CurveZoom final {
public:
    static constexpr double kMinSpan = 4.0;  // takes across at the deepest zoom

    CurveZoom() noexcept = default;  // whole range 0 .. 1
    // A width that is not a positive finite number is taken as 1.
    CurveZoom(double fullLeft, double fullWidth, double minSpan = kMinSpan) noexcept;

    [[nodiscard]] double fullLeft() const noexcept { return m_fullLeft; }
    [[nodiscard]] double fullWidth() const noexcept { return m_fullWidth; }
    [[nodiscard]] double left() const noexcept { return m_left; }
    [[nodiscard]] double width() const noexcept { return m_width; }
    [[nodiscard]] double right() const noexcept { return m_left + m_width; }
    [[nodiscard]] bool isWhole() const noexcept { return m_width >= m_fullWidth; }

    // Divides the visible width by factor (above 1 zooms in) so that user x
    // anchor stays at the same fraction (0 = left edge, 1 = right edge) of the
    // view, as far as the clamping allows.
    void zoomAt(double anchor, double fraction, double factor) noexcept;
    // Moves the view by dx user units, stopping at the ends of the whole range.
    void panBy(double dx) noexcept;
    // Shows [left, left + width], clamped as above.
    void setVisible(double left, double width) noexcept;
    void reset() noexcept;

    friend bool operator==(const CurveZoom&, const CurveZoom&) = default;

private:
    [[nodiscard]] double minSpan() const noexcept;
    void clampLeft() noexcept;

    double m_fullLeft = 0.0;
    double m_fullWidth = 1.0;
    double m_minSpan = kMinSpan;
    double m_left = 0.0;
    double m_width = 1.0;
};

// Range of values (not user y) that a curve covers within one pixel column;
// empty when low > high.
struct ColumnExtent {
    double low;
    double high;
    [[nodiscard]] bool empty() const noexcept { return low > high; }
};

// The curve of a series reduced to one vertical extent per pixel column, so
// that painting it costs O(width) however many takes there are. A segment
// joins consecutive takes that both hold numbers; a take without a number
// leaves a gap. A number with no numeric neighbour is shown as a dot (its
// value alone in its column). A single-take series is a flat segment from
// x = 0 to x = 1. Each column's extent is the union of what the segments
// cover inside it, their crossings of the column's edges included, so that
// neighbouring columns overlap where a segment passes from one to the other
// and one vertical line per column shows the same picture as every segment.
// Takes outside the visible range [x0, x1] (user x) are clipped away; a take
// exactly at x1 belongs to the last column.
class CurveEnvelope final {
public:
    CurveEnvelope() = default;

    // O(takes within [x0, x1] + widthPx). widthPx below 1 counts as 1. Many
    // takes on three cores or more are split by ranges of columns.
    [[nodiscard]] static CurveEnvelope build(const ParamSeries& series, double x0, double x1, int widthPx);
    // The same over a bare column: values[t] is take t, NaN where no number.
    // parts: how many ranges of columns are filled side by side (0: by the
    // number of takes and the cores); the result is the same to the bit for any.
    [[nodiscard]] static CurveEnvelope build(std::span<const double> values, double x0, double x1, int widthPx,
                                             std::size_t parts = 0);

    [[nodiscard]] int widthPx() const noexcept { return static_cast<int>(m_columns.size()); }
    [[nodiscard]] double x0() const noexcept { return m_x0; }
    [[nodiscard]] double x1() const noexcept { return m_x1; }
    [[nodiscard]] const std::vector<ColumnExtent>& columns() const noexcept { return m_columns; }

private:
    std::vector<ColumnExtent> m_columns;
    double m_x0 = 0.0;
    double m_x1 = 1.0;
};

// Take under a click at user x: x rounded half to even, clamped into the
// range of int. NaN gives -1 (no take).
[[nodiscard]] int clickedTake(double x) noexcept;

// What lblValue shows for take t: the value exactly as the log holds it
// (spaces trimmed; as the format shows it for a binary log), empty when t
// is not a take. Points into the log or into scratch.
[[nodiscard]] std::string_view clickedValueText(const LogChannels& log, long long p, int t, std::string& scratch);
// The same for a log of the own format. Points into the store.
[[nodiscard]] std::string_view clickedValueText(const TakeStore& store, long long p, int t) noexcept;

// Grid column to scroll to for take t: t + 1 clamped to [1, colCount - 1]
// (the grid has colCount = U + 2 columns). 0 for a grid of fewer than 2 columns.
[[nodiscard]] int clickedGridColumn(int t, int colCount) noexcept;

}  // namespace dlv
