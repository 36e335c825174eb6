#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dlv {

class LogChannels;

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

// What a default table or chart page looks for in a log of another format,
// whose tools name the same channels differently.
enum class ChannelRole { Rpm, Map, Tps, Mixture };

// The channel of a log of another format that plays role: a usual name
// ("RPM", "Engine Speed"; "AFR" before "Lambda" for Mixture) as
// findParameterNamed finds it, else the first name that holds one of them as
// whole words, ignoring case and what stands in brackets ("PLX Engine Speed
// (rpm)"). O(names).
[[nodiscard]] std::optional<long long> findChannelFor(std::span<const std::string> names, ChannelRole role);

// What a mean of the channel is compared with by default: 1 for a lambda,
// 14.7 for an AFR (by the name's words), else kDefaultTableTarget.
[[nodiscard]] double defaultTargetFor(std::string_view name);

// Why the BLM tab's table of a log is empty, and where to look instead: the
// note the BLM tab shows in its place, and --report prints for a log with
// channels named RPM, MAP and BLM.
struct BlmTableNote {
    std::string why;      // "No take of this log has fields 224, 236 and 247, ..."
    std::string instead;  // the Tables tab, by the log's names when it has RPM, MAP and BLM
    bool named = false;   // the log has channels named RPM, MAP and BLM
};
// The note for a log of the own format when no take holds the fields the
// table reads (mostFields, the most fields of any take, below 248). names
// are the log's names without the empty one that ends them. nullopt when
// some take holds the fields. O(names).
[[nodiscard]] std::optional<BlmTableNote> blmTableNote(std::span<const std::string> names, int mostFields);
// The note for any log: the one above for the own format, otherFormatBlmNote
// for another. O(names).
[[nodiscard]] std::optional<BlmTableNote> blmTableNote(const LogChannels& log);

}  // namespace dlv
