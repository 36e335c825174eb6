#pragma once

// What the mlg fuzz target checks on each input, kept apart from libFuzzer so
// that the test suite replays fuzz/corpus/mlg and tests/fuzz_regressions/mlg
// with the same checks. The input is the file's bytes as they are. The
// reference reading below is written the plainest way, byte by byte: a
// header parse with every read checked, and a walk over the blocks one at a
// time with every field assembled by shifts. It shares nothing with the
// reader but displayText and parseNumber.

#include "datalog/display_text.h"
#include "datalog/log_formats.h"
#include "datalog/mlg_log.h"
#include "datalog/number.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dlv::fuzzcheck {

struct RefMlgField {
    int type = 0;
    int size = 0;
    std::string name, unit, category;
    int style = 0;
    double scale = 1, transform = 0;
    int digits = 0;
};

struct RefMlg {
    bool ok = false;
    int version = 0;
    std::vector<RefMlgField> fields;
    std::vector<std::vector<double>> records;  // values by record, then field
    std::vector<std::pair<int, std::string>> markers;
    std::uint64_t checksumMismatches = 0;
    std::uint64_t firstMismatch = 0;
    std::optional<std::uint64_t> cutShortBytes;
    std::optional<std::uint64_t> stoppedAt;
};

// Big-endian unsigned of n bytes at offset, or nothing when they are not all there.
inline std::optional<std::uint64_t> refBig(std::string_view b, std::uint64_t offset, int n)
{
    if (offset > b.size() || b.size() - offset < static_cast<std::uint64_t>(n))
        return std::nullopt;
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = v << 8 | static_cast<unsigned char>(b[static_cast<std::size_t>(offset) + static_cast<std::size_t>(i)]);
    return v;
}

inline double refFloat(std::uint64_t bits)
{
    const auto narrow = static_cast<std::uint32_t>(bits);
    float f;
    std::memcpy(&f, &narrow, 4);
    return f;
}

inline int refTypeSize(int type)
{
    switch (type) {
    case 0: case 1: case 10: return 1;
    case 2: case 3: case 11: return 2;
    case 4: case 5: case 7: case 12: return 4;
    case 6: return 8;
    default: return 0;
    }
}

// A NUL-padded text: up to its first NUL.
inline std::string refPadded(std::string_view b, std::size_t offset, std::size_t n)
{
    std::string text;
    for (std::size_t i = 0; i < n && b[offset + i] != '\0'; ++i)
        text.push_back(b[offset + i]);
    return text;
}

inline double refValue(const RefMlgField& f, std::uint64_t bits)
{
    double raw = 0;
    switch (f.type) {
    case 1: raw = static_cast<double>(static_cast<std::int64_t>(bits ^ 0x80) - 0x80); break;
    case 3: raw = static_cast<double>(static_cast<std::int64_t>(bits ^ 0x8000) - 0x8000); break;
    case 5: raw = static_cast<double>(static_cast<std::int64_t>(bits ^ 0x80000000u) - 0x80000000ll); break;
    case 6: {
        std::int64_t s;
        std::memcpy(&s, &bits, 8);
        raw = static_cast<double>(s);
        break;
    }
    case 7: raw = refFloat(bits); break;
    default: raw = static_cast<double>(bits); break;
    }
    const double v = f.type >= 10 ? raw : (raw + f.transform) * f.scale;
    return std::isfinite(v) ? v : std::numeric_limits<double>::quiet_NaN();
}

inline RefMlg referenceMlg(std::string_view b)
{
    RefMlg ref;
    if (b.size() < 6 || std::memcmp(b.data(), "MLVLG\0", 6) != 0)
        return ref;
    const auto version = refBig(b, 6, 2);
    if (!version || (*version != 1 && *version != 2))
        return ref;
    ref.version = static_cast<int>(*version);
    const bool v1 = ref.version == 1;
    const std::uint64_t headerSize = v1 ? 22 : 24;
    if (b.size() < headerSize)
        return ref;
    const std::uint64_t infoOffset = *refBig(b, 12, v1 ? 2 : 4);
    const std::uint64_t dataOffset = *refBig(b, v1 ? 14 : 16, 4);
    const std::uint64_t recordLength = *refBig(b, v1 ? 18 : 20, 2);
    const std::uint64_t count = *refBig(b, v1 ? 20 : 22, 2);
    const std::uint64_t descSize = v1 ? 55 : 89;
    if (recordLength == 0 || headerSize + count * descSize > b.size())
        return ref;
    std::uint64_t sum = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::size_t d = static_cast<std::size_t>(headerSize + i * descSize);
        RefMlgField f;
        f.type = static_cast<unsigned char>(b[d]);
        f.size = refTypeSize(f.type);
        if (f.size == 0)
            return ref;
        f.name = refPadded(b, d + 1, 34);
        while (!f.name.empty() && f.name.back() == ' ')
            f.name.pop_back();
        f.unit = displayText(trimSpaces(refPadded(b, d + 35, 10)));
        f.style = static_cast<unsigned char>(b[d + 45]);
        if (f.style > 7)
            f.style = 0;
        if (f.type >= 10) {
            f.style = 2;
        } else {
            f.scale = refFloat(*refBig(b, d + 46, 4));
            f.transform = refFloat(*refBig(b, d + 50, 4));
            f.digits = static_cast<signed char>(b[d + 54]);
            f.digits = f.digits < 0 ? -1 : f.digits > 15 ? 15 : f.digits;
            if (!v1)
                f.category = displayText(trimSpaces(refPadded(b, d + 55, 34)));
        }
        sum += static_cast<std::uint64_t>(f.size);
        ref.fields.push_back(f);
    }
    const std::uint64_t descEnd = headerSize + count * descSize;
    if (sum != recordLength || dataOffset < descEnd || dataOffset > b.size())
        return ref;
    if (infoOffset != 0 && (infoOffset > b.size() || infoOffset < descEnd || infoOffset > dataOffset))
        return ref;
    ref.ok = true;

    std::uint64_t pos = dataOffset;
    while (pos < b.size()) {
        const int type = static_cast<unsigned char>(b[static_cast<std::size_t>(pos)]);
        const std::uint64_t left = b.size() - pos;
        if (type == 0) {
            if (left < 4 + recordLength + 1) {
                ref.cutShortBytes = left;
                break;
            }
            std::vector<double> values;
            std::uint64_t at = pos + 4;
            unsigned checksum = 0;
            for (std::uint64_t i = 0; i < recordLength; ++i)
                checksum += static_cast<unsigned char>(b[static_cast<std::size_t>(at + i)]);
            for (const RefMlgField& f : ref.fields) {
                values.push_back(refValue(f, *refBig(b, at, f.size)));
                at += static_cast<std::uint64_t>(f.size);
            }
            if ((checksum & 0xFF) != static_cast<unsigned char>(b[static_cast<std::size_t>(at)])) {
                if (ref.checksumMismatches == 0)
                    ref.firstMismatch = ref.records.size();
                ++ref.checksumMismatches;
            }
            ref.records.push_back(std::move(values));
            pos += 4 + recordLength + 1;
        } else if (type == 1) {
            if (left < 54) {
                ref.cutShortBytes = left;
                break;
            }
            ref.markers.emplace_back(static_cast<int>(ref.records.size()),
                                     displayText(trimSpaces(refPadded(b, static_cast<std::size_t>(pos) + 4, 50))));
            pos += 54;
        } else {
            ref.stoppedAt = pos;
            break;
        }
    }
    return ref;
}

inline std::string refCounted(std::uint64_t n, const char* thing)
{
    return groupedCount(n) + " " + thing + (n == 1 ? "" : "s");
}

inline bool sameBits(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

// A shown text against the number of its take: words of the style, hex of
// the raw value, or a number that reads back within the digits shown.
inline std::string checkShownText(const RefMlgField& f, double value, std::string_view shown)
{
    static const char* const kWords[8][2] = {{}, {}, {}, {}, {"On", "Off"}, {"Yes", "No"}, {"High", "Low"},
                                             {"Active", "Inactive"}};
    if (std::isnan(value))
        return "";  // the text of a value that is not finite is not checked
    if (f.style >= 4) {
        if (shown != kWords[f.style][value == 0 ? 1 : 0])
            return "style " + std::to_string(f.style) + " shows '" + std::string(shown) + "'";
        return "";
    }
    if (f.style == 1 && f.type != 7)
        return shown.substr(0, 2) == "0x" && shown.size() > 2 ? "" : "hex shows '" + std::string(shown) + "'";
    const std::optional<double> back = parseNumber(shown);
    if (!back)
        return "'" + std::string(shown) + "' is no number";
    const int digits = f.style == 2 ? -1 : f.digits;
    if (digits < 0)
        return *back == value ? "" : "'" + std::string(shown) + "' does not read back exactly";
    const double step = std::pow(10.0, -digits);
    if (std::fabs(*back - value) > step / 2 * (1 + 1e-9) + std::fabs(value) * 1e-15)
        return "'" + std::string(shown) + "' is too far from " + std::to_string(value);
    return "";
}

inline std::string checkMlgAgainst(std::string_view data, const ReadResult& result)
{
    const RefMlg ref = referenceMlg(data);
    if (ref.ok != result.ok())
        return std::string("reference ") + (ref.ok ? "reads" : "refuses") + ", reader says: " + result.error;
    if (!ref.ok)
        return result.error.rfind("Cannot read 'fuzz.mlg': ", 0) == 0 ? "" : "refusal without the file: " + result.error;
    if (result.store || !result.log)
        return "no MLG log came back";
    const LogChannels& log = *result.log;
    const auto channels = static_cast<long long>(ref.fields.size());
    if (log.channelCount() != channels || !log.ParamNames().back().empty())
        return "channel count " + std::to_string(log.channelCount()) + ", reference " + std::to_string(channels);
    if (log.takeCount() != static_cast<int>(ref.records.size()))
        return "takes " + std::to_string(log.takeCount()) + ", reference " + std::to_string(ref.records.size());
    for (long long p = 0; p < channels; ++p) {
        const RefMlgField& f = ref.fields[static_cast<std::size_t>(p)];
        const ChannelInfo& info = log.channel(p);
        if (log.ParamNames()[static_cast<std::size_t>(p)] != f.name || info.unit != f.unit ||
            info.category != f.category || info.digits != f.digits || static_cast<int>(info.style) != f.style)
            return "channel " + std::to_string(p) + " differs";
    }
    // Every value, in one pass and in pieces that cross markers.
    const int takes = log.takeCount();
    std::vector<long long> params;
    for (long long p = -1; p <= channels; ++p)
        params.push_back(p);
    std::vector<std::vector<double>> whole(params.size(), std::vector<double>(static_cast<std::size_t>(takes)));
    std::vector<double*> outs;
    for (auto& column : whole)
        outs.push_back(column.data());
    log.parseInto(params, 0, takes, outs);
    std::string scratch;
    for (std::size_t k = 0; k < params.size(); ++k)
        for (int t = 0; t < takes; ++t) {
            const long long p = params[k];
            const bool real = p >= 0 && p < channels;
            const double want = real ? ref.records[static_cast<std::size_t>(t)][static_cast<std::size_t>(p)]
                                     : std::numeric_limits<double>::quiet_NaN();
            if (!sameBits(whole[k][static_cast<std::size_t>(t)], want))
                return "value of channel " + std::to_string(p) + " in take " + std::to_string(t);
            const std::optional<std::string_view> shown = log.shownValue(p, t, scratch);
            if (!shown || real == shown->empty())
                return "shown value of channel " + std::to_string(p) + " in take " + std::to_string(t);
            if (real)
                if (std::string failure = checkShownText(ref.fields[static_cast<std::size_t>(p)], want, *shown);
                    !failure.empty())
                    return "channel " + std::to_string(p) + ", take " + std::to_string(t) + ": " + failure;
        }
    for (const long long t : {-1LL, static_cast<long long>(takes)})
        if (log.shownValue(0, t, scratch) || log.maxShownValueBytes(static_cast<int>(t)) != 0)
            return "a take outside the log has a value";
    for (int first = 0; first < takes; first += 3) {
        const int count = std::min(5, takes - first);
        std::vector<double> piece(static_cast<std::size_t>(count));
        double* out = piece.data();
        const long long last = channels - 1;
        log.parseInto(std::span<const long long>(&last, 1), first, count, std::span<double* const>(&out, 1));
        for (int i = 0; i < count; ++i)
            if (!sameBits(piece[static_cast<std::size_t>(i)],
                          ref.records[static_cast<std::size_t>(first + i)][static_cast<std::size_t>(last)]))
                return "a piece from take " + std::to_string(first) + " differs";
    }
    {
        // A range reaching two takes past either end: no number outside the log.
        const long long last = channels - 1;
        std::vector<double> wide(static_cast<std::size_t>(takes) + 4);
        double* out = wide.data();
        log.parseInto(std::span<const long long>(&last, 1), -2, takes + 4, std::span<double* const>(&out, 1));
        for (int i = 0; i < takes + 4; ++i) {
            const int t = i - 2;
            const double want = t >= 0 && t < takes && last >= 0
                                    ? ref.records[static_cast<std::size_t>(t)][static_cast<std::size_t>(last)]
                                    : std::numeric_limits<double>::quiet_NaN();
            if (!sameBits(wide[static_cast<std::size_t>(i)], want))
                return "take " + std::to_string(t) + " of a range past the ends differs";
        }
    }

    if (log.markers().size() != ref.markers.size())
        return "markers " + std::to_string(log.markers().size()) + ", reference " + std::to_string(ref.markers.size());
    for (std::size_t i = 0; i < ref.markers.size(); ++i)
        if (log.markers()[i].take != ref.markers[i].first || log.markers()[i].text != ref.markers[i].second)
            return "marker " + std::to_string(i) + " differs";

    std::optional<std::uint64_t> mismatches, cutShort, stopped;
    for (const ReadWarning& w : result.warnings) {
        if (w.kind == ReadWarning::Kind::ChecksumMismatch)
            mismatches = w.count;
        else if (w.kind == ReadWarning::Kind::CutShort)
            cutShort = w.count;
        else if (w.kind == ReadWarning::Kind::StoppedEarly)
            stopped = w.count;
        else
            return "an unexpected warning: " + w.message;
    }
    if (mismatches.value_or(0) != ref.checksumMismatches || cutShort != ref.cutShortBytes || stopped != ref.stoppedAt)
        return "warnings differ from the reference's";
    const std::string summary = "MLG " + std::to_string(ref.version) + ", " + refCounted(ref.fields.size(), "channel") +
                                ", " + refCounted(ref.records.size(), "record") + ", " +
                                refCounted(ref.markers.size(), "marker");
    if (log.details().summary != summary)
        return "summary '" + log.details().summary + "', reference '" + summary + "'";
    return "";
}

// The check of one input: read as MLG, by detection and by name.
inline std::string checkMlg(std::string_view data)
{
    const ReadResult named = readLogBytes(data, LogFormat::Mlg, "fuzz.mlg");
    if (std::string failure = checkMlgAgainst(data, named); !failure.empty())
        return failure;
    if (looksLikeMlg(data) != (detectLogFormat(data) == LogFormat::Mlg))
        return "detection and looksLikeMlg disagree";
    return "";
}

}  // namespace dlv::fuzzcheck
