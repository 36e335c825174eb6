#pragma once

// The time of an overlay: a second log (B) drawn on the time axis of the log
// on show (A), shifted by an offset, and the rules that move that offset by
// hand (typed, dragged, aligned at the cursor). The automatic search for the
// offset is in charts/automatic_alignment.h.
//
// Positions are take positions as the chart panes use them (take t at x = t,
// fractional in between); times are seconds, or take numbers for a log that
// has no usable time channel.

#include "datalog/columns.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace dlv {

// One log's time axis: the seconds of its time channel, or its take numbers.
// A time channel counts when its numbers never run back and at least two of
// them differ; takes without a number in it (gaps) have no time of their own
// and are passed over by the lookups, which reach across them. A channel that
// runs back, or one with fewer than two different numbers, leaves the log on
// take numbers. Shares the column, never copies it; with gaps it keeps an
// index of the timed takes (4 bytes a take).
class LogTimeline final {
public:
    LogTimeline() = default;  // no takes
    // time: the log's time channel in seconds (LogChannelSource::timeColumn),
    // null for none; takes beyond its end have no time. O(takes).
    LogTimeline(ColumnPtr time, int takeCount);
    [[nodiscard]] static LogTimeline ofTakes(int takeCount);

    [[nodiscard]] bool inSeconds() const noexcept { return m_time != nullptr; }
    [[nodiscard]] int takeCount() const noexcept { return m_takes; }
    // Takes that have a time (every take on take numbers).
    [[nodiscard]] int timedCount() const noexcept
    {
        return m_time && !m_timed.empty() ? static_cast<int>(m_timed.size()) : m_takes;
    }
    // The k-th take with a time and its time, k in 0 .. timedCount() - 1. O(1).
    [[nodiscard]] int timedTake(int k) const noexcept
    {
        return m_timed.empty() ? k : m_timed[static_cast<std::size_t>(k)];
    }
    [[nodiscard]] double timeOfTimed(int k) const noexcept
    {
        return m_time ? (*m_time)[static_cast<std::size_t>(timedTake(k))] : static_cast<double>(k);
    }

    // The time of take: its seconds or its number; NaN for a gap or a take
    // outside the log. O(1).
    [[nodiscard]] double timeOf(int take) const noexcept;
    // The first and last times; NaN for a log without takes.
    [[nodiscard]] double firstTime() const noexcept;
    [[nodiscard]] double lastTime() const noexcept;
    // The usual step from one timed take to the next: the median of the
    // positive steps (1 on take numbers, 1 for a log of a single time).
    // Worked out once on construction, O(takes).
    [[nodiscard]] double sampleInterval() const noexcept { return m_interval; }

    // The timed take whose time is nearest to time, the earlier one on a tie;
    // none for NaN or a log without takes. O(log takes).
    [[nodiscard]] std::optional<int> nearestTake(double time) const noexcept;
    // Whether time lies on the log: from half a sample interval before its
    // first time to half one after its last, as each take covers its time
    // +- half an interval.
    [[nodiscard]] bool covers(double time) const noexcept;

    // The time at take position x, interpolated between the timed takes
    // around it, and beyond the ends continued at the sample interval, so
    // that the axis runs on off the log (a drag past the end, a second log
    // longer than this one). O(1) without gaps, O(log takes) with them.
    [[nodiscard]] double timeAt(double x) const noexcept;
    // The inverse: the take position at which time is reached (on a run of
    // equal times, its first take). O(log takes).
    [[nodiscard]] double positionAt(double time) const noexcept;

private:
    // The first k whose timed take's time is time or later (timedCount() for none).
    [[nodiscard]] int firstTimedAtOrAfter(double time) const noexcept;
    [[nodiscard]] int timedBelowOrAt(double x) const noexcept;

    ColumnPtr m_time;                  // null: take numbers
    std::vector<std::int32_t> m_timed; // the takes with a time, when some lack one
    int m_takes = 0;
    double m_interval = 1.0;
};

// Log B over log A: B's time s shows at A's time s + offset. Both logs go by
// seconds when both have them, otherwise both by take numbers (a time in
// seconds means nothing against take numbers); offset() is in that unit.
class OverlayTime final {
public:
    OverlayTime() = default;
    OverlayTime(LogTimeline a, LogTimeline b, double offset = 0.0);

    [[nodiscard]] const LogTimeline& a() const noexcept { return m_a; }
    [[nodiscard]] const LogTimeline& b() const noexcept { return m_b; }
    [[nodiscard]] bool inSeconds() const noexcept { return m_a.inSeconds(); }
    [[nodiscard]] double offset() const noexcept { return m_offset; }
    // NaN and infinities are refused (the offset stays).
    void setOffset(double offset) noexcept;

    // A's time of B's take; NaN when that take has no time. O(1).
    [[nodiscard]] double timeOnA(int bTake) const noexcept;
    // Where B's take position x shows in A's panes, and back: B's position at
    // A's position x (to find the takes of B in A's visible range). Both
    // O(log takes).
    [[nodiscard]] double positionOnA(double bPosition) const noexcept;
    [[nodiscard]] double positionOnB(double aPosition) const noexcept;
    // B's take nearest to A's time; none where B does not cover it. O(log takes).
    [[nodiscard]] std::optional<int> takeOfB(double aTime) const noexcept;
    // B's take at A's take (the cursor of A), by A's time there.
    [[nodiscard]] std::optional<int> takeOfBAt(int aTake) const noexcept;

    // "Align at cursor": the offset that puts B's take bTake on A's take
    // aTake; none when either is outside its log or has no time.
    [[nodiscard]] std::optional<double> offsetAligning(int aTake, int bTake) const noexcept;

    // Shift+drag on a pane plotting A's positions x0 .. x1 across widthPx
    // pixels: the change of offset that moves B's curve with the pointer from
    // pixel fromPx to pixel toPx, so that what was under the pointer stays
    // under it. 0 for an empty pane.
    [[nodiscard]] double dragChange(double x0, double x1, double widthPx, double fromPx, double toPx) const noexcept;

private:
    LogTimeline m_a;
    LogTimeline m_b;
    double m_offset = 0.0;
};

// The channel an automatic alignment compares by default: "RPM" when both
// logs have a channel of that name; none otherwise (the user picks one).
[[nodiscard]] std::optional<std::string> defaultAlignmentChannel(std::span<const std::string> namesA,
                                                                 std::span<const std::string> namesB);

}  // namespace dlv
