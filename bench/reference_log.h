#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace dlv::bench {

// A deliberately plain reading of a log, against which the benchmark checks
// what the window shows before it times anything: the file split into
// std::string lines at CR LF, lone CR and lone LF, each line cut at every ','
// into std::string fields. Slow and memory-hungry on purpose (about the file
// size again, plus a vector of fields per take while a pass runs); nothing
// here shares code with the viewer.
class ReferenceLog final {
public:
    // Reads the whole file. Throws std::runtime_error when it cannot, or when
    // the file has fewer than two lines.
    explicit ReferenceLog(const std::string& path);

    // Fields of the names line before its first empty field.
    [[nodiscard]] const std::vector<std::string>& names() const noexcept { return m_names; }
    [[nodiscard]] int takeCount() const noexcept { return static_cast<int>(m_lines.size()) - 2; }
    // Every field of take t, untrimmed.
    [[nodiscard]] std::vector<std::string> fields(int take) const;
    // Field p of take t without surrounding spaces; empty when the take has no field p.
    [[nodiscard]] std::string value(int take, int param) const;

private:
    std::vector<std::string> m_lines;  // title, names, then one line per take
    std::vector<std::string> m_names;
};

[[nodiscard]] std::vector<std::string> splitFields(const std::string& line);
[[nodiscard]] std::string trimSpaces(const std::string& text);
// The log's number rule, written as a regular expression; 1e999 is no number.
[[nodiscard]] std::optional<double> referenceNumber(const std::string& text);
// "%.2f", never "-0.00".
[[nodiscard]] std::string fixed2(double value);

inline constexpr int kRefRpm = 224;
inline constexpr int kRefBlm = 236;
inline constexpr int kRefMap = 247;

using BlmTexts = std::array<std::array<std::string, 10>, 9>;

struct CurveTexts {
    std::string max;
    std::string avg;
    std::string min;
};

// What the window should show for a log, all found in one pass over the takes.
struct ReferenceViews {
    std::string runTime;  // lblRunTime
    BlmTexts blm;         // Grid2, row 0 and column 0 included
    CurveTexts curve;     // lblMax, lblAvg, lblMin of curveParam
};

[[nodiscard]] ReferenceViews computeReferenceViews(const ReferenceLog& log, int curveParam);

}  // namespace dlv::bench
