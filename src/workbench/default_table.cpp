#include "workbench/default_table.h"

#include "datalog/log_channels.h"
#include "datalog/number.h"
#include "datalog/take_store.h"
#include "views/blm_table.h"

#include <algorithm>
#include <cmath>

namespace dlv {

namespace {

std::vector<double> steps(double first, double step, std::size_t count)
{
    std::vector<double> axis;
    axis.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        axis.push_back(first + step * static_cast<double>(i));
    return axis;
}

bool covers(std::span<const double> axis, double low, double high)
{
    if (axis.empty())
        return false;
    if (axis.size() == 1)
        return true;  // a single breakpoint takes every value
    const double firstGap = axis[1] - axis[0];
    const double lastGap = axis[axis.size() - 1] - axis[axis.size() - 2];
    return low >= axis.front() - firstGap / 2 && high <= axis.back() + lastGap / 2;
}

// A round step, 1, 2, 2.5 or 5 times 10^exponent, kept as its parts so that
// breakpoints are computed as whole multiples and come out as short decimals
// (0.3, not 0.30000000000000004).
struct RoundStep {
    double mantissa;
    int exponent;
    [[nodiscard]] double value() const { return scaled(1.0); }
    // k steps, with one rounding: k x mantissa is exact for the k used here.
    [[nodiscard]] double scaled(double k) const
    {
        const double m = k * mantissa;
        return exponent >= 0 ? m * std::pow(10.0, exponent) : m / std::pow(10.0, -exponent);
    }
};

// The smallest round step at least `raw` (raw > 0).
RoundStep roundStep(double raw)
{
    int exponent = static_cast<int>(std::floor(std::log10(raw)));
    for (;;) {
        for (const double m : {1.0, 2.0, 2.5, 5.0})
            if (RoundStep{m, exponent}.value() >= raw * (1 - 1e-12))
                return {m, exponent};
        ++exponent;
    }
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

}  // namespace

std::vector<double> defaultMapAxis()
{
    return steps(20.0, 10.0, 9);
}

std::vector<double> defaultRpmAxis()
{
    return steps(400.0, 400.0, 8);
}

std::vector<double> coveringAxis(double low, double high, std::span<const double> preferred)
{
    std::vector<double> keep(preferred.begin(), preferred.end());
    // A span beyond the doubles (values near ±1e308) has no round step:
    // the preferred breakpoints are as good as any there.
    if (!std::isfinite(low) || !std::isfinite(high) || low > high || !std::isfinite(high - low) ||
        covers(preferred, low, high))
        return keep;
    const std::size_t wanted = std::clamp<std::size_t>(preferred.size(), 2, kMaxDefaultBreakpoints);
    if (low == high)
        return {low};
    // The round step just above the even split and the one below it; the one
    // whose breakpoint count comes nearer the wanted count wins.
    const RoundStep above = roundStep((high - low) / static_cast<double>(wanted - 1));
    const RoundStep below = roundStep(above.value() * 0.99 / 2.5);
    const auto countFor = [low, high](const RoundStep& step) {
        return static_cast<std::size_t>(std::ceil(high / step.value()) - std::floor(low / step.value())) + 1;
    };
    const auto distance = [wanted](std::size_t count) { return count > wanted ? count - wanted : wanted - count; };
    RoundStep step = above;
    if (const std::size_t n = countFor(below); n <= kMaxDefaultBreakpoints && distance(n) < distance(countFor(above)))
        step = below;
    while (countFor(step) > kMaxDefaultBreakpoints)
        step = roundStep(step.value() * 1.01);
    const double first = std::floor(low / step.value());
    std::vector<double> axis;
    axis.reserve(countFor(step));
    for (std::size_t i = 0; i < countFor(step); ++i) {
        const double breakpoint = step.scaled(first + static_cast<double>(i));
        if (!std::isfinite(breakpoint))
            return keep;  // the last round step lies past the largest double
        axis.push_back(breakpoint);
    }
    return axis;
}

namespace {

// The lower-case words of a name, what stands in brackets left out.
std::vector<std::string> wordsOf(std::string_view name)
{
    std::vector<std::string> words;
    std::string word;
    int depth = 0;
    for (const char c : name) {
        if (c == '(' || c == '[')
            ++depth;
        else if ((c == ')' || c == ']') && depth > 0)
            --depth;
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (letter && depth == 0) {
            word += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

bool holdsWords(const std::vector<std::string>& words, const std::vector<std::string>& wanted)
{
    if (wanted.empty() || wanted.size() > words.size())
        return false;
    for (std::size_t i = 0; i + wanted.size() <= words.size(); ++i)
        if (std::equal(wanted.begin(), wanted.end(), words.begin() + static_cast<std::ptrdiff_t>(i)))
            return true;
    return false;
}

std::span<const std::string_view> usualNames(ChannelRole role)
{
    static constexpr std::string_view kRpm[] = {"RPM", "Engine Speed", "Engine RPM"};
    static constexpr std::string_view kMap[] = {"MAP", "Manifold Pressure", "Manifold Absolute Pressure"};
    static constexpr std::string_view kTps[] = {"TPS", "Throttle Position", "Throttle"};
    static constexpr std::string_view kMixture[] = {"AFR", "Lambda", "Wideband", "O2"};
    switch (role) {
    case ChannelRole::Rpm: return kRpm;
    case ChannelRole::Map: return kMap;
    case ChannelRole::Tps: return kTps;
    case ChannelRole::Mixture: return kMixture;
    }
    return {};
}

}  // namespace

std::optional<long long> findChannelFor(std::span<const std::string> names, ChannelRole role)
{
    const std::span<const std::string_view> usual = usualNames(role);
    for (const std::string_view name : usual)
        if (const std::optional<long long> p = findParameterNamed(names, name))
            return p;
    for (const std::string_view name : usual) {
        const std::vector<std::string> wanted = wordsOf(name);
        for (std::size_t i = 0; i < names.size(); ++i)
            if (holdsWords(wordsOf(names[i]), wanted))
                return static_cast<long long>(i);
    }
    return std::nullopt;
}

double defaultTargetFor(std::string_view name)
{
    const std::vector<std::string> words = wordsOf(name);
    if (holdsWords(words, {"lambda"}))
        return 1.0;
    if (holdsWords(words, {"afr"}))
        return 14.7;
    return kDefaultTableTarget;
}

std::optional<long long> findParameterNamed(std::span<const std::string> names, std::string_view wanted)
{
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == wanted)
            return static_cast<long long>(i);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!wanted.empty() && equalsIgnoringCase(trimSpaces(names[i]), wanted))
            return static_cast<long long>(i);
    return std::nullopt;
}

namespace {

// otherFormatBlmNote's two lines: why there is no table, and where to look.
std::pair<std::string_view, std::string_view> otherFormatNoteLines() noexcept
{
    const std::string_view text = otherFormatBlmNote();
    const std::size_t end = text.find('\n');
    std::string_view instead = text.substr(end + 1);
    while (!instead.empty() && instead.back() == '\n')
        instead.remove_suffix(1);
    return {text.substr(0, end), instead};
}

}  // namespace

std::optional<BlmTableNote> blmTableNote(std::span<const std::string> names, int mostFields)
{
    const long long needed = std::max({kDefaultRpmParam, kDefaultMapParam, kDefaultBlmParam}) + 1;
    if (mostFields >= needed)
        return std::nullopt;
    const bool named = findParameterNamed(names, "RPM") && findParameterNamed(names, "MAP") &&
                       findParameterNamed(names, "BLM");
    return BlmTableNote{
        "No take of this log has fields 224, 236 and 247, which this table reads as RPM, BLM and MAP.",
        named ? "The \"Tables\" tab shows the same table from the log's channels named RPM, MAP and BLM."
              : std::string(otherFormatNoteLines().second),
        named};
}

std::optional<BlmTableNote> blmTableNote(const LogChannels& log)
{
    const TakeStore* store = log.format() == LogFormat::Datalog ? log.textStore() : nullptr;
    if (!store) {
        const auto [why, instead] = otherFormatNoteLines();
        return BlmTableNote{std::string(why), std::string(instead), false};
    }
    const std::vector<std::string>& names = store->ParamNames();
    return blmTableNote(std::span<const std::string>(names.data(), names.empty() ? 0 : names.size() - 1),
                        store->mostFields());
}

}  // namespace dlv
