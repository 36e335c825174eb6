#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dlv {

// The pieces of the table a new log starts with, like the BLM tab's table:
// BLM by RPM (rows) and MAP (columns) on the BLM tab's breakpoints, widened
// when the log's values reach beyond them.

inline constexpr double kDefaultTableTarget = 128.0;
inline constexpr long long kDefaultRpmParam = 224;  // the BLM tab's fixed fields
inline constexpr long long kDefaultMapParam = 247;
inline constexpr long long kDefaultBlmParam = 236;

// The BLM tab's breakpoints: MAP 20 .. 100 by 10, RPM 400 .. 3200 by 400.
[[nodiscard]] std::vector<double> defaultMapAxis();
[[nodiscard]] std::vector<double> defaultRpmAxis();

// Breakpoints on which every value in [low, high] falls (none more than half
// a gap outside the ends): `preferred` itself when it already covers them,
// otherwise about as many breakpoints on a round step (1, 2, 2.5 or 5 times a
// power of ten) from below low to above high. NaN bounds (a channel without
// numbers) give `preferred`. At most kMaxDefaultBreakpoints.
inline constexpr std::size_t kMaxDefaultBreakpoints = 64;
[[nodiscard]] std::vector<double> coveringAxis(double low, double high, std::span<const double> preferred);

// The parameter number of the log's name `wanted`: the first exact match,
// else the first whose name, trimmed of spaces, equals it ignoring ASCII case.
[[nodiscard]] std::optional<long long> findParameterNamed(std::span<const std::string> names, std::string_view wanted);

// Why the BLM tab's table of a log is empty when no take holds the fields it
// reads (mostFields, the most fields of any take, below 248), and where to
// look instead: the note the BLM tab shows, and --report prints for a log
// with channels of those names. names are the log's names without the empty
// one that ends them. nullopt when some take holds the fields.
struct BlmTableNote {
    std::string why;      // "No take of this log has fields 224, 236 and 247, ..."
    std::string instead;  // the Tables tab, by the log's names when it has RPM, MAP and BLM
    bool named = false;   // the log has channels named RPM, MAP and BLM
};
[[nodiscard]] std::optional<BlmTableNote> blmTableNote(std::span<const std::string> names, int mostFields);

}  // namespace dlv
