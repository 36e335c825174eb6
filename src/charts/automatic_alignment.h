#pragma once

// Automatic alignment of two logs: the offset at which one channel of log B
// best matches the same channel of log A.
//
// Both channels are resampled onto one uniform grid (the step of the log
// sampled more finely; coarser when the two grids together would exceed
// maxGridPoints), linearly between the takes with a number, across gaps.
// Offsets are scored by Pearson's correlation over their overlap (mean and
// spread taken over that overlap, so that a level or scale of each log's own
// does not matter), only where the overlap holds at least minOverlap of the
// shorter channel, so that the edges do not win:
//  1. every offset at once by FFT, on the grid in blocks (at most 2^16 points
//     in all), of the values and of their changes from block to block, each
//     weighed by how unlikely its match is by chance (Fisher's z times the
//     root of the points): the region that matches;
//  2. the grid's own offsets around it by the correlation of the changes from
//     point to point, which peaks sharply at the one offset where the values'
//     peak is gentle enough for an unrelated stretch in the overlap to tilt;
//  3. on the takes themselves: each take of the log sampled more coarsely is
//     paired with the other log's channel at its time, at each offset near
//     the grid's best that puts the first takes of the two on a common step
//     of the finer log, by the same changes.
// So a log B that is log A shifted by whole takes, with other takes before or
// after, noise or gaps, gets that shift exactly.

#include "charts/time_alignment.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace dlv {

struct AlignmentOptions {
    double minOverlap = 0.2;                           // of the shorter channel's time span, 0 .. 1
    std::size_t maxGridPoints = std::size_t{1} << 21;  // both grids together
};

enum class AlignmentProblem {
    None,
    NoNumbers,  // a log has fewer than two takes with a time and a number
    Flat,       // the channel never changes in a log
    Unlike,     // no offset correlates the channels positively
};

struct AlignmentResult {
    std::optional<double> offset;  // as OverlayTime::offset: B's time + offset = A's time
    // Pearson's r at the offset over the overlap, -1 .. 1: of the values (how
    // alike the two curves look), and of the changes from take to take (what
    // the search maximises; above 0 for an offset found).
    double correlation = 0.0;
    double changeCorrelation = 0.0;
    AlignmentProblem problem = AlignmentProblem::None;
    std::string reason;            // why there is no offset, for the user
    [[nodiscard]] bool ok() const noexcept { return offset.has_value(); }
};

// The offset for overlay at which bValues (over B's takes) matches aValues
// (over A's takes) best; NaN values are passed over. Time O(M) for a grid of
// M points, with some 20 passes over it and a few over the takes; memory
// about 48 bytes a grid point. About 40 ms for two channels of 300,000 takes
// (bench/align_bench.cpp), 400 ms for two of 3,600,000. Throws std::bad_alloc
// when memory runs out.
[[nodiscard]] AlignmentResult findAlignment(const OverlayTime& overlay, std::span<const double> aValues,
                                            std::span<const double> bValues, const AlignmentOptions& options = {});

}  // namespace dlv
