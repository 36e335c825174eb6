#pragma once

// What the fuzz targets check on each input, kept apart from libFuzzer so
// that the test suite runs the same checks on the inputs kept under
// tests/fuzz_regressions/. Each check returns an empty text when every
// property holds, otherwise a description of the first one that does not.
// The references are written the plainest possible way, independent of the
// code under test; inputs are small, so their cost does not matter.

#include "datalog/afsep.h"
#include "datalog/columns.h"
#include "datalog/log_formats.h"
#include "datalog/not_a_log.h"
#include "datalog/number.h"
#include "datalog/take_store.h"
#include "views/blm_table.h"
#include "views/curve.h"
#include "views/report.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numeric>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace dlv::fuzzcheck {

// ------------------------------------------------------------ helpers

// Printable form of bytes for a failure message.
inline std::string shown(std::string_view bytes, std::size_t limit = 80)
{
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (bytes.size() > limit)
        out += "...(" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

inline std::string number(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// Reads the input a little at a time; past its end every read gives zero.
class Bytes {
public:
    explicit Bytes(std::string_view data) : m_data(data) {}
    std::uint8_t byte() { return m_at < m_data.size() ? static_cast<std::uint8_t>(m_data[m_at++]) : 0; }
    template <class T>
    T raw()
    {
        unsigned char buffer[sizeof(T)] = {};
        for (auto& b : buffer)
            b = byte();
        T value;
        std::memcpy(&value, buffer, sizeof(T));
        return value;
    }
    std::string_view rest() const { return m_data.substr(std::min(m_at, m_data.size())); }
    bool empty() const { return m_at >= m_data.size(); }

private:
    std::string_view m_data;
    std::size_t m_at = 0;
};

// ------------------------------------------------------------ references

inline std::vector<std::string_view> naiveLines(std::string_view bytes)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (bytes[i] == '\n' || bytes[i] == '\r') {
            lines.push_back(bytes.substr(start, i - start));
            i += (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < bytes.size())
        lines.push_back(bytes.substr(start));
    return lines;
}

// Fields separated by sep, found left to right without overlaps.
inline std::vector<std::string_view> naiveSplit(std::string_view line, std::string_view sep)
{
    std::vector<std::string_view> fields;
    if (sep.empty()) {
        fields.push_back(line);
        return fields;
    }
    std::size_t start = 0;
    std::size_t i = 0;
    while (i + sep.size() <= line.size()) {
        if (line.compare(i, sep.size(), sep) == 0) {
            fields.push_back(line.substr(start, i - start));
            i += sep.size();
            start = i;
        } else {
            ++i;
        }
    }
    fields.push_back(line.substr(start));
    return fields;
}

inline std::string_view naiveTrim(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// The number rule written plainly: a grammar check, then std::from_chars on
// the text after its sign; out of range, strtod tells too large (no value)
// from too small (a signed zero).
inline std::optional<double> referenceNumber(std::string_view text)
{
    const std::string t(naiveTrim(text));
    std::size_t i = 0;
    const bool negative = i < t.size() && t[i] == '-';
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    const std::size_t body = i;
    std::size_t digits = 0;
    std::size_t points = 0;
    for (; i < t.size() && (std::isdigit(static_cast<unsigned char>(t[i])) || t[i] == '.'); ++i)
        (t[i] == '.' ? points : digits) += 1;
    if (digits == 0 || points > 1)
        return std::nullopt;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        if (i >= t.size() || !std::isdigit(static_cast<unsigned char>(t[i])))
            return std::nullopt;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
            ++i;
    }
    if (i != t.size())
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(t.data() + body, t.data() + t.size(), value);
    if (ec == std::errc::result_out_of_range) {
        if (std::isinf(std::strtod(t.c_str() + body, nullptr)))
            return std::nullopt;
        return negative ? -0.0 : 0.0;
    }
    if (ec != std::errc{} || end != t.data() + t.size() || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

// The number rule as the older checks call it.
inline std::optional<double> naiveNumber(std::string_view text)
{
    return referenceNumber(text);
}

// Whether the number rule's answer agrees with the reference; values too
// small to be normal may come out as zero.
inline bool sameNumber(const std::optional<double>& got, const std::optional<double>& want)
{
    if (got.has_value() != want.has_value())
        return false;
    if (!got)
        return true;
    if (std::fabs(*want) < std::numeric_limits<double>::min())
        return *got == 0.0 || *got == *want;
    return *got == *want && std::signbit(*got) == std::signbit(*want);
}

inline bool naiveUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t n;
        std::uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 2;
            cp = c & 0x1Fu;
        } else if ((c & 0xF0) == 0xE0) {
            n = 3;
            cp = c & 0x0Fu;
        } else if ((c & 0xF8) == 0xF0) {
            n = 4;
            cp = c & 0x07u;
        } else {
            return false;
        }
        if (i + n > bytes.size())
            return false;
        for (std::size_t k = 1; k < n; ++k) {
            const auto cc = static_cast<unsigned char>(bytes[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3Fu);
        }
        const std::uint32_t least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}

inline double naiveHalfEven(double v)
{
    const double f = std::floor(v);
    const double d = v - f;
    if (d < 0.5)
        return f;
    if (d > 0.5)
        return f + 1.0;
    return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

// ------------------------------------------------------------ the number rule

// Input: a text, read by the number rule. An input starting with 0xFF
// stands for a long number: after the next byte n, the first '~' and the
// byte after it become that byte n x 64 + 1 times ("1~0e-1" is 1, many
// zeros and e-1), so that the fuzzer reaches values of hundreds of digits.
inline std::string checkNumber(std::string_view data)
{
    std::string text(data);
    if (data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0xFF) {
        const std::size_t copies = 1 + static_cast<unsigned char>(data[1]) * 64u;
        text = std::string(data.substr(2));
        const std::size_t tilde = text.find('~');
        if (tilde != std::string::npos && tilde + 1 < text.size())
            text.replace(tilde, 2, std::string(copies, text[tilde + 1]));
    }
    const std::optional<double> got = dlv::parseNumber(text);
    const std::optional<double> want = referenceNumber(text);
    if (got.has_value() != want.has_value())
        return "'" + shown(text) + "': " + (got ? "a number " + number(*got) : std::string("not a number")) +
               ", the reference says " + (want ? "a number " + number(*want) : std::string("not a number"));
    if (got && (std::memcmp(&*got, &*want, sizeof(double)) != 0))
        return "'" + shown(text) + "' reads " + number(*got) + " instead of " + number(*want);
    return {};
}

// ------------------------------------------------------------ AFSEP

// Input: two bytes of field number (signed), one byte of separator length
// (0..3), the separator, then the text.
inline std::string checkAfsep(std::string_view data)
{
    Bytes in(data);
    const long long n = in.raw<std::int16_t>() % 300;
    const std::size_t sepLength = in.byte() % 4;
    std::string sep;
    for (std::size_t i = 0; i < sepLength; ++i)
        sep.push_back(static_cast<char>(in.byte()));
    const std::string_view text = in.rest();

    for (const std::string_view s : {std::string_view(sep), std::string_view(",")}) {
        const std::vector<std::string_view> fields = naiveSplit(text, s);
        for (const long long k : {n, n < 0 ? -n : n + 1, 0LL, static_cast<long long>(fields.size()) - 1,
                                  static_cast<long long>(fields.size()), LLONG_MAX, LLONG_MIN}) {
            const std::string_view got = dlv::AFSEP(text, k, s);
            const std::string_view want =
                k >= 0 && static_cast<unsigned long long>(k) < fields.size() ? fields[static_cast<std::size_t>(k)] : std::string_view{};
            if (got != want)
                return "AFSEP field " + std::to_string(k) + " of '" + shown(text) + "' by '" + shown(s) + "' is '" +
                       shown(got) + "', not '" + shown(want) + "'";
            if (!got.empty() && (got.data() < text.data() || got.data() + got.size() > text.data() + text.size()))
                return "AFSEP result does not point into the line";
        }
    }
    return {};
}

// ------------------------------------------------------------ the reader

// A log from the input: as it is, or (first byte 0xFF) a title and names
// followed by the rest repeated, so that lines far longer than an input
// reach the wide offset tables.
inline std::string logFromInput(std::string_view data)
{
    if (data.size() < 3 || static_cast<unsigned char>(data[0]) != 0xFF)
        return std::string(data);
    const std::size_t copies = 1 + static_cast<unsigned char>(data[1]) * 64u;
    const std::string_view body = data.substr(2);
    std::string log = "t\nA,B,C\n";
    for (std::size_t i = 0; i < copies && log.size() < (70u << 10); ++i)
        log += body;
    return log;
}

inline std::string checkStoreAgainst(std::string_view bytes, const dlv::ReadResult& result)
{
    const std::vector<std::string_view> lines = naiveLines(bytes);
    if (lines.size() < 2) {
        if (result.ok())
            return "a log of fewer than two lines was read";
        if (result.error != "'log' is not a data log: it has fewer than two lines")
            return "wrong message for a short log: " + result.error;
        return {};
    }
    if (!result.ok())
        return "a log of " + std::to_string(lines.size()) + " lines was refused: " + result.error;
    const dlv::TakeStore& store = *result.store;
    if (store.fileBytes() != bytes.size())
        return "fileBytes " + std::to_string(store.fileBytes()) + " for " + std::to_string(bytes.size()) + " bytes";

    // Names: fields of line 2 up to the first empty one, which is kept last.
    std::vector<std::string> names;
    for (const std::string_view name : naiveSplit(lines[1], ",")) {
        names.emplace_back(name);
        if (name.empty())
            break;
    }
    if (!names.back().empty())
        names.emplace_back();
    if (store.ParamNames() != names)
        return "names of '" + shown(lines[1]) + "' differ: " + std::to_string(store.ParamNames().size()) + " instead of " +
               std::to_string(names.size());
    for (const std::string& name : names) {
        const std::string text = dlv::displayText(name);
        if (dlv::isValidUtf8(name) != naiveUtf8(name))
            return "isValidUtf8 is wrong for '" + shown(name) + "'";
        if (!naiveUtf8(text))
            return "displayText of '" + shown(name) + "' is not UTF-8";
        if (naiveUtf8(name) && text != name)
            return "displayText changed valid UTF-8 '" + shown(name) + "'";
    }

    if (static_cast<std::size_t>(store.takeCount()) != lines.size() - 2)
        return std::to_string(store.takeCount()) + " takes instead of " + std::to_string(lines.size() - 2);
    if (store.lastTake() != store.takeCount() - 1)
        return "lastTake is not takeCount - 1";
    for (const long long t : {-1LL, static_cast<long long>(store.takeCount()), LLONG_MIN, LLONG_MAX})
        if (store.Get_Param_data(0, t).has_value())
            return "take " + std::to_string(t) + " has a value";
    const std::size_t shownFields = names.size();
    for (int t = 0; t < store.takeCount(); ++t) {
        const std::string_view line = lines[static_cast<std::size_t>(t) + 2];
        auto where = [&] { return "take " + std::to_string(t) + " '" + shown(line) + "'"; };
        if (store.DataLines(t) != line)
            return where() + ": DataLines is '" + shown(store.DataLines(t)) + "'";
        const std::vector<std::string_view> fields = naiveSplit(line, ",");
        if (store.fieldCount(t) != static_cast<int>(fields.size()))
            return where() + ": fieldCount " + std::to_string(store.fieldCount(t));
        std::uint32_t widest = 0;
        for (std::size_t p = 0; p < fields.size(); ++p) {
            const auto k = static_cast<long long>(p);
            if (store.field(k, t) != fields[p])
                return where() + ": field " + std::to_string(p) + " is '" + shown(store.field(k, t)) + "'";
            // AFSEP costs the length of the line: a few fields of each line.
            if ((p < 4 || p + 4 > fields.size() || p % 997 == 0) && dlv::AFSEP(store.DataLines(t), k, ",") != fields[p])
                return where() + ": AFSEP field " + std::to_string(p) + " differs";
            const std::optional<std::string_view> value = store.Get_Param_data(k, t);
            if (!value || *value != naiveTrim(fields[p]))
                return where() + ": Get_Param_data " + std::to_string(p) + " is not the trimmed field";
            if (p < shownFields)
                widest = std::max<std::uint32_t>(widest, static_cast<std::uint32_t>(naiveTrim(fields[p]).size()));
        }
        for (const long long p : {-1LL, static_cast<long long>(fields.size()), LLONG_MAX, LLONG_MIN}) {
            const std::optional<std::string_view> value = store.Get_Param_data(p, t);
            if (!value || !value->empty())
                return where() + ": parameter " + std::to_string(p) + " beyond the line is not the empty text";
        }
        widest = std::min(widest, dlv::TakeStore::kShownValueBytesLimit);  // no cell shows more
        if (store.maxShownValueBytes(t) != widest)
            return where() + ": maxShownValueBytes " + std::to_string(store.maxShownValueBytes(t)) + " instead of " +
                   std::to_string(widest);
    }

    // Take 0 without a number between its commas is warned of (a line of
    // units?), unless the names line looks separated by ';' or TAB.
    bool noNumber = store.takeCount() > 0;
    if (noNumber)
        for (const std::string_view field : naiveSplit(lines[2], ","))
            noNumber = noNumber && !naiveNumber(field);
    const auto count = [&](char c) { return std::count(lines[1].begin(), lines[1].end(), c); };
    const bool otherSeparator = (count(';') > count(',') && count(';') >= count('\t')) || count('\t') > count(',');
    const bool warned = std::any_of(result.warnings.begin(), result.warnings.end(), [](const dlv::ReadWarning& w) {
        return w.kind == dlv::ReadWarning::Kind::NoNumbersInFirstTake;
    });
    if (warned != (noNumber && !otherSeparator))
        return std::string(warned ? "a" : "no") + " warning of take 0 without numbers for '" + shown(lines[2]) + "'";
    return {};
}

// ------------------------------------------------------------ not a log

// Whether a file's head is plainly not a log, written plainly: a quarter of
// its bytes or more are no text (control bytes but TAB, CR and LF, and bytes
// of no UTF-8 character, as naiveUtf8 reads one), no line is text, and no
// reader of another format claims it (detection has a target of its own).
inline bool naiveNotALog(std::string_view head)
{
    head = head.substr(0, dlv::kNotALogHeadBytes);
    if (head.empty() || dlv::detectLogFormat(head) != dlv::LogFormat::Datalog)
        return false;
    const auto control = [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 32 && b != '\t' && b != '\r' && b != '\n';
    };
    std::size_t noText = 0;
    for (std::size_t i = 0; i < head.size();) {
        std::size_t length = 0;
        for (std::size_t n = 1; n <= 4 && i + n <= head.size() && length == 0; ++n)
            if (naiveUtf8(head.substr(i, n)))
                length = n;
        noText += length == 0 || control(head[i]) ? 1 : 0;
        i += length == 0 ? 1 : length;
    }
    if (noText * 4 < head.size())
        return false;
    // The lines, each with whether a line end followed it (CR LF is one).
    std::vector<std::pair<std::string, bool>> lines(1);
    for (std::size_t i = 0; i < head.size(); ++i) {
        if (head[i] != '\r' && head[i] != '\n') {
            lines.back().first += head[i];
            continue;
        }
        lines.back().second = true;
        if (head[i] == '\r' && i + 1 < head.size() && head[i + 1] == '\n')
            ++i;
        lines.emplace_back();
    }
    const auto text = [&](const std::string& line) {
        return naiveUtf8(line) && std::none_of(line.begin(), line.end(), control);
    };
    // A title line and a names line, as the own format starts.
    if (lines.size() >= 2 && lines[0].second && text(lines[0].first) && !lines[1].first.empty() &&
        text(lines[1].first))
        return false;
    for (const auto& entry : lines) {
        const std::string& line = entry.first;
        const bool longEnough = line.size() >= 4 || (line.size() == 3 && line.find(',') != std::string::npos);
        if (longEnough && text(line))
            return false;
    }
    return true;
}

// Input: a file's first bytes; the first byte, when 0xFE, asks for the rest
// to be repeated up to past kNotALogHeadBytes, so that the cut at the head's
// end is reached too.
inline std::string checkNotALog(std::string_view data)
{
    std::string head(data);
    if (!data.empty() && static_cast<unsigned char>(data[0]) == 0xFE && data.size() > 1)
        for (head = std::string(data.substr(1)); head.size() <= dlv::kNotALogHeadBytes;)
            head += data.substr(1);
    const std::optional<std::string> reason = dlv::notALogReason(head);
    if (reason.has_value() != naiveNotALog(head))
        return reason ? "'" + shown(head) + "' is called not a log: " + *reason : "'" + shown(head) + "' is not told";
    if (reason && (reason->rfind("is not a text file: ", 0) != 0 || !naiveUtf8(*reason)))
        return "an odd reason: " + *reason;
    return {};
}

// The report streamed in chunks of a few sizes (one cutting every few bytes,
// one from the input's size) is the whole log's, warnings included; a chunk
// as large as the log always streams.
inline std::string checkStreamedReport(std::string_view bytes, const dlv::ReadResult& whole, const std::string& report)
{
    std::string warnings;
    for (const dlv::ReadWarning& w : whole.warnings)
        warnings += std::to_string(w.count) + " " + w.message + "\n";
    for (const std::size_t chunk : {std::size_t{5}, 1 + bytes.size() % 61, 1 + bytes.size() / 3, bytes.size() + 1}) {
        const std::optional<dlv::StreamedReport> streamed = dlv::streamedReportOfBytes(bytes, ",", true, chunk);
        const std::string where = "streamed in chunks of " + std::to_string(chunk) + " bytes";
        if (!streamed) {
            if (chunk > bytes.size())
                return "the log was not " + where;
            continue;
        }
        if (streamed->text != report)
            return "the report " + where + " differs";
        std::string got;
        for (const dlv::ReadWarning& w : streamed->warnings)
            got += std::to_string(w.count) + " " + w.message + "\n";
        if (got != warnings)
            return "the warnings " + where + " differ: '" + shown(got) + "' instead of '" + shown(warnings) + "'";
    }
    return {};
}

// A log streamed in chunks indexed by their lines alone holds the takes and
// fields of the log read whole (field() and fieldCount() walk the line there).
inline std::string checkLinesOnlyChunks(std::string_view bytes, const dlv::TakeStore& whole)
{
    std::string failure;
    int takes = 0;
    const auto warnings = dlv::streamDataLogBytes(
        bytes, 1 + bytes.size() / 2,
        [&](const dlv::TakeStore& chunk, int firstTake) {
            for (int t = 0; t < chunk.takeCount() && failure.empty(); ++t, ++takes) {
                const int w = firstTake + t;
                if (chunk.DataLines(t) != whole.DataLines(w) || chunk.fieldCount(t) != whole.fieldCount(w)) {
                    failure = "take " + std::to_string(w) + " differs in a chunk indexed by its lines";
                    break;
                }
                for (long long p = -1; p <= whole.fieldCount(w) && failure.empty(); ++p)
                    if (chunk.field(p, t) != whole.field(p, w))
                        failure = "field " + std::to_string(p) + " of take " + std::to_string(w) +
                                  " differs in a chunk indexed by its lines";
            }
        },
        dlv::ChunkIndex::Lines);
    if (failure.empty() && warnings && takes != whole.takeCount())
        failure = std::to_string(takes) + " takes in chunks indexed by their lines, not " + std::to_string(whole.takeCount());
    return failure;
}

inline std::string checkReader(std::string_view data)
{
    const std::string bytes = logFromInput(data);
    const dlv::ReadResult result = dlv::readDataLogBytes(bytes, "log");
    std::string failure = checkStoreAgainst(bytes, result);
    if (!failure.empty() || !result.ok())
        return failure;
    // Every view's computation runs over whatever was read.
    if (bytes.size() < (16u << 10) && result.store->ParamNames().size() < 256) {
        const std::string report = dlv::reportText(*result.store, ",", true);
        if (!naiveUtf8(report))
            return "the report is not UTF-8";
        failure = checkLinesOnlyChunks(bytes, *result.store);
        if (!failure.empty())
            return failure;
        return checkStreamedReport(bytes, result, report);
    }
    return {};
}

// ------------------------------------------------------------ the BLM table

// An average as defined: the numbers added as doubles in take order, divided
// by their count. Only where that sum overflows does the long double sum
// stand in, and then the code under test may differ from it in the last bits.
struct NaiveMean {
    std::int64_t count = 0;
    double sum = 0;
    long double wide = 0;
    void add(double v)
    {
        sum += v;
        wide += v;
        ++count;
    }
    [[nodiscard]] bool overflowed() const { return !std::isfinite(sum); }
    [[nodiscard]] double value() const
    {
        return overflowed() ? static_cast<double>(wide / static_cast<long double>(count)) : sum / static_cast<double>(count);
    }
    // Whether got is this average: exactly, or within rounding after an overflow.
    [[nodiscard]] bool matches(double got) const
    {
        const double want = value();
        if (!overflowed())
            return got == want;
        return std::isfinite(got) && std::fabs(got - want) <= 1e-12 * std::fabs(want);
    }
};

struct NaiveCell {
    std::int64_t hits = 0;
    NaiveMean mean;
    double min = 0;
    double max = 0;
};

// Input: lines of up to three texts separated by '|': RPM, MAP and BLM. Each
// line becomes a take of 250 fields with those texts at their places (a comma
// inside a text shifts the later fields, as it would in a log).
inline std::string blmLogFromInput(std::string_view data)
{
    std::string log = "title\n";
    for (int f = 0; f < 250; ++f)
        log += (f ? ",P" : "P") + std::to_string(f);
    log += '\n';
    std::size_t start = 0;
    while (start <= data.size()) {
        std::size_t end = data.find('\n', start);
        if (end == std::string_view::npos)
            end = data.size();
        const std::vector<std::string_view> texts = naiveSplit(data.substr(start, end - start), "|");
        std::vector<std::string> fields(250, "0");
        const int places[] = {dlv::kRpmParam, dlv::kMapParam, dlv::kBlmParam};
        for (std::size_t i = 0; i < texts.size() && i < 3; ++i)
            fields[static_cast<std::size_t>(places[i])] = std::string(texts[i]);
        // A fourth text cuts the take after that many fields.
        std::size_t keep = fields.size();
        if (texts.size() > 3)
            keep = std::min<std::size_t>(keep, texts[3].size() * 37 % 251);
        for (std::size_t f = 0; f < keep; ++f)
            log += (f ? "," : "") + fields[f];
        log += '\n';
        start = end + 1;
    }
    return log;
}

inline std::string checkBlm(std::string_view data)
{
    const std::string log = blmLogFromInput(data);
    const dlv::ReadResult result = dlv::readDataLogBytes(log, "log");
    if (!result.ok())
        return "the BLM log was refused: " + result.error;
    const dlv::TakeStore& store = *result.store;

    NaiveCell cells[dlv::kBlmGridRows][dlv::kBlmGridColumns] = {};
    std::vector<int> takesOf[dlv::kBlmGridRows][dlv::kBlmGridColumns];
    const std::vector<std::string_view> lines = naiveLines(log);
    for (std::size_t t = 0; t + 2 < lines.size(); ++t) {
        const std::vector<std::string_view> fields = naiveSplit(lines[t + 2], ",");
        auto text = [&](int p) { return static_cast<std::size_t>(p) < fields.size() ? fields[static_cast<std::size_t>(p)] : std::string_view{}; };
        for (const int p : {dlv::kRpmParam, dlv::kMapParam, dlv::kBlmParam})
            if (!sameNumber(dlv::parseNumber(text(p)), naiveNumber(text(p))))
                return "number rule differs for '" + shown(text(p)) + "'";
        const std::optional<double> rpm = naiveNumber(text(dlv::kRpmParam));
        const std::optional<double> map = naiveNumber(text(dlv::kMapParam));
        const std::optional<double> blm = naiveNumber(text(dlv::kBlmParam));
        if (!rpm || !map || !blm)
            continue;
        const double column = naiveHalfEven(*map / 10.0) - 1.0;
        if (!(column >= 1.0 && column <= 9.0))
            continue;
        const int c = static_cast<int>(column);
        for (int r = 1; r <= 8; ++r) {
            if (!(400.0 * (r - 1) <= *rpm && *rpm <= 400.0 * r))
                continue;
            NaiveCell& cell = cells[r][c];
            if (cell.hits == 0 || *blm < cell.min)
                cell.min = *blm;
            if (cell.hits == 0 || *blm > cell.max)
                cell.max = *blm;
            ++cell.hits;
            cell.mean.add(*blm);
            takesOf[r][c].push_back(static_cast<int>(t));
        }
    }

    const dlv::BlmTable table = dlv::computeBlmTable(store);
    const dlv::BlmGridTexts texts = dlv::blmTableTexts(table);
    const dlv::BlmGridTexts hitTexts = dlv::blmHitTexts(table);
    if (texts[0][0] != "RPM/MAP")
        return "corner text";
    for (int r = 1; r <= 8; ++r) {
        if (texts[static_cast<std::size_t>(r)][0] != std::to_string(400 * r))
            return "RPM label of row " + std::to_string(r);
        for (int c = 1; c <= 9; ++c) {
            if (r == 1 && texts[0][static_cast<std::size_t>(c)] != std::to_string(10 * c + 10))
                return "MAP caption of column " + std::to_string(c);
            const NaiveCell& want = cells[r][c];
            const dlv::BlmCell& got = table.at(r, c);
            auto where = [&] { return "cell (" + std::to_string(r) + ", " + std::to_string(c) + ")"; };
            if (got.hits != want.hits)
                return where() + ": " + std::to_string(got.hits) + " hits instead of " + std::to_string(want.hits);
            if (hitTexts[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] != std::to_string(want.hits))
                return where() + ": hit text";
            std::string wantText;
            if (want.hits > 0) {
                if (!want.mean.matches(got.sum.mean(got.hits)) || got.min != want.min || got.max != want.max)
                    return where() + ": average, min or max differ";
                double average = naiveHalfEven(want.mean.overflowed() ? got.sum.mean(got.hits) : want.mean.value());
                if (average == 0.0)
                    average = 0.0;  // no negative zero
                char buffer[400];
                std::snprintf(buffer, sizeof buffer, "%.0f", average);
                wantText = buffer;
            }
            const std::string& gotText = texts[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            if (gotText != wantText)
                return where() + ": text '" + gotText + "' instead of '" + wantText + "'";
        }
    }
    // The take listing of one cell chosen by the input, and of cells outside.
    const int r = 1 + static_cast<int>(data.size() % 8);
    const int c = 1 + static_cast<int>(data.size() / 8 % 9);
    if (dlv::blmCellTakes(store, r, c) != takesOf[r][c])
        return "takes of cell (" + std::to_string(r) + ", " + std::to_string(c) + ") differ";
    if (!dlv::blmCellTakes(store, 0, c).empty() || !dlv::blmCellTakes(store, r, 10).empty())
        return "a cell outside the table has takes";
    return {};
}

// ------------------------------------------------------------ numeric columns

// What a pass split by parameters must hand over to each slot: blocks of
// its numbers in take order, from first on, always on the same thread, each
// number that of whole (the columns parseColumns gives). Called with each
// block a slot gets, where value(i) is the block's number of take
// block.firstTake() + i; failures() says what went wrong first, per slot.
class SlotBlocks final {
public:
    SlotBlocks(const std::vector<dlv::Column>& whole, int first, int count)
        : m_whole(whole), m_first(first), m_count(count), m_next(whole.size(), first), m_threads(whole.size()),
          m_failures(whole.size())
    {
    }
    template <typename Value>
    void check(std::size_t k, const dlv::NumberBlock& block, Value&& value)
    {
        if (!m_failures[k].empty())
            return;  // a slot's, written only by its thread
        if (m_next[k] == m_first)
            m_threads[k] = std::this_thread::get_id();
        if (block.firstTake() != m_next[k] || block.takeCount() < 1 || m_threads[k] != std::this_thread::get_id()) {
            m_failures[k] = "slot " + std::to_string(k) + ": block at take " + std::to_string(block.firstTake()) +
                            " after " + std::to_string(m_next[k]);
            return;
        }
        for (int i = 0; i < block.takeCount(); ++i) {
            const double got = value(i);
            const double want = m_whole[k][static_cast<std::size_t>(block.firstTake() + i)];
            if (std::memcmp(&got, &want, sizeof got) != 0 && !(std::isnan(got) && std::isnan(want)))
                m_failures[k] = "slot " + std::to_string(k) + " differs at take " + std::to_string(block.firstTake() + i);
        }
        m_next[k] = block.firstTake() + block.takeCount();
    }
    // Empty when every slot got all its takes and nothing went wrong.
    [[nodiscard]] std::string failure() const
    {
        for (std::size_t k = 0; k < m_failures.size(); ++k) {
            if (!m_failures[k].empty())
                return m_failures[k];
            if (m_next[k] != m_first + std::max(m_count, 0))
                return "slot " + std::to_string(k) + " ended at take " + std::to_string(m_next[k]);
        }
        return {};
    }

private:
    const std::vector<dlv::Column>& m_whole;
    int m_first;
    int m_count;
    std::vector<int> m_next;
    std::vector<std::thread::id> m_threads;
    std::vector<std::string> m_failures;
};

// What forEachParamRun must hand over for params over takes first .. first +
// count - 1 of store: each slot's numbers once, in take order, always on the
// same thread (see SlotBlocks). Empty when so, else what went wrong.
inline std::string checkParamRuns(const dlv::TakeStore& store, const std::vector<long long>& params,
                                  const std::vector<dlv::Column>& whole, int first, int count, std::size_t blockBytes)
{
    SlotBlocks slots(whole, first, count);
    dlv::forEachParamRun(
        store, params, first, count,
        [&](std::size_t firstSlot, const dlv::ColumnBlock& block) {
            for (std::size_t j = 0; j < block.columnCount(); ++j)
                if (firstSlot + j < params.size())
                    slots.check(firstSlot + j, block, [&](int i) { return block.column(j)[static_cast<std::size_t>(i)]; });
        },
        blockBytes);
    return slots.failure();
}

// Whether two summaries are the same to the last bit of every number.
inline bool sameSummary(const dlv::CurveSummary& a, const dlv::CurveSummary& b)
{
    return a.count == b.count && a.maxTake == b.maxTake && a.minTake == b.minTake &&
           std::memcmp(&a.maxValue, &b.maxValue, sizeof(double)) == 0 &&
           std::memcmp(&a.minValue, &b.minValue, sizeof(double)) == 0 &&
           std::memcmp(&a.average, &b.average, sizeof(double)) == 0;
}

// What forEachParamRows must hand over, as checkParamRuns asks of
// forEachParamRun, the numbers a row a take; and the summaries that
// SummaryAccumulator::addRows makes of its blocks, which must be those of
// add over each slot's numbers, to the bit. Empty when so, else what went
// wrong.
inline std::string checkParamRows(const dlv::TakeStore& store, const std::vector<long long>& params,
                                  const std::vector<dlv::Column>& whole, int first, int count, std::size_t blockBytes)
{
    SlotBlocks slots(whole, first, count);
    std::vector<dlv::SummaryAccumulator> summaries(params.size());
    dlv::forEachParamRows(
        store, params, first, count,
        [&](std::size_t firstSlot, const dlv::RowBlock& block) {
            std::vector<dlv::SummaryAccumulator*> added;
            for (std::size_t j = 0; j < block.columnCount(); ++j) {
                if (firstSlot + j >= params.size())
                    continue;
                added.push_back(&summaries[firstSlot + j]);
                slots.check(firstSlot + j, block, [&](int i) { return block.row(i)[j]; });
            }
            if (added.size() == block.columnCount())
                dlv::SummaryAccumulator::addRows(added, block.firstTake(), block.values(), block.stride(),
                                                 block.takeCount());
        },
        blockBytes);
    if (std::string failure = slots.failure(); !failure.empty())
        return failure;
    for (std::size_t k = 0; k < params.size(); ++k) {
        dlv::SummaryAccumulator one;
        if (count > 0)
            one.add(first, std::span<const double>(whole[k]).subspan(static_cast<std::size_t>(first),
                                                                      static_cast<std::size_t>(count)));
        if (!sameSummary(summaries[k].summary(), one.summary()))
            return "slot " + std::to_string(k) + ": the summary of its rows differs from add's";
    }
    return {};
}

// Input: a byte naming the names line's width (1 .. 64 names), a byte
// choosing the asked parameters, then the data lines as they come. Checks
// every way of reading numbers from the store (whole columns by walking the
// lines or by the comma index, the block pass with blocks of a few takes,
// the pass split by parameters, the cache) against parseNumber of each
// field, and the summaries of the block pass against summarizeSeries.
inline std::string checkColumns(std::string_view data)
{
    Bytes in(data);
    const int names = 1 + in.byte() % 64;
    const std::uint8_t choice = in.byte();
    std::string log = "t\n";
    for (int f = 0; f < names; ++f)
        log += (f ? ",N" : "N") + std::to_string(f);
    log += '\n';
    log += in.rest();
    const dlv::ReadResult result = dlv::readDataLogBytes(log, "log");
    if (!result.ok())
        return "the log was refused: " + result.error;
    const auto store = result.store;
    const int takes = store->takeCount();

    // Every parameter up to two past the names (walked), one or two chosen
    // ones (picked from the index), and a negative one; one alone, as a
    // curve asks for it (found a block of takes at a time).
    std::vector<long long> all(static_cast<std::size_t>(names + 3));
    std::iota(all.begin(), all.end(), 0LL);
    std::vector<long long> few{choice % (names + 2), -1, (choice / 7) % (names + 1) + 8 * (choice & 1)};
    std::vector<long long> one{(choice / 3) % (names + 2)};
    for (const std::vector<long long>* params : {&all, &few, &one}) {
        const std::vector<dlv::Column> columns = dlv::parseColumns(*store, *params);
        if (columns.size() != params->size())
            return "parseColumns gave " + std::to_string(columns.size()) + " columns";
        std::vector<dlv::SummaryAccumulator> sums(params->size());
        int nextTake = 0;
        std::string failure;
        dlv::forEachColumnBlock(
            *store, *params,
            [&](const dlv::ColumnBlock& block) {
                if (block.firstTake() != nextTake || block.takeCount() < 1)
                    failure = "block at take " + std::to_string(block.firstTake()) + " after " + std::to_string(nextTake);
                for (std::size_t k = 0; k < params->size() && failure.empty(); ++k) {
                    sums[k].add(block.firstTake(), block.column(k));
                    for (int i = 0; i < block.takeCount(); ++i) {
                        const double got = block.column(k)[static_cast<std::size_t>(i)];
                        const double want = columns[k][static_cast<std::size_t>(block.firstTake() + i)];
                        if (!(got == want || (std::isnan(got) && std::isnan(want))))
                            failure = "block and column differ at take " + std::to_string(block.firstTake() + i);
                    }
                }
                nextTake = block.firstTake() + block.takeCount();
            },
            1 + choice % 5 * 24 * params->size());
        if (!failure.empty())
            return failure;
        if (nextTake != takes)
            return "blocks ended at take " + std::to_string(nextTake) + " of " + std::to_string(takes);
        // The pass split by parameters, over every take and over a window.
        const std::size_t runBytes = 1 + choice % 3 * 40 * sizeof(double);
        if (std::string runs = checkParamRuns(*store, *params, columns, 0, takes, runBytes); !runs.empty())
            return "parameter runs: " + runs;
        if (std::string runs = checkParamRuns(*store, *params, columns, takes / 3, takes / 2, runBytes); !runs.empty())
            return "parameter runs of a window: " + runs;
        if (std::string rows = checkParamRows(*store, *params, columns, 0, takes, runBytes); !rows.empty())
            return "parameter rows: " + rows;
        if (std::string rows = checkParamRows(*store, *params, columns, takes / 3, takes / 2, runBytes); !rows.empty())
            return "parameter rows of a window: " + rows;
        for (std::size_t k = 0; k < params->size(); ++k) {
            const long long p = (*params)[k];
            if (columns[k].size() != static_cast<std::size_t>(takes))
                return "column of " + std::to_string(columns[k].size()) + " takes";
            for (int t = 0; t < takes; ++t) {
                const std::string_view text = p < 0 ? std::string_view{} : store->field(p, t);
                const std::optional<double> want = dlv::parseNumber(text);
                const double got = columns[k][static_cast<std::size_t>(t)];
                const bool same = want ? (std::signbit(got) == std::signbit(*want) && got == *want) : std::isnan(got);
                if (!same)
                    return "parameter " + std::to_string(p) + " of take " + std::to_string(t) + " ('" + shown(text) +
                           "') read as " + number(got);
            }
            const dlv::ParamSeries series{p, std::make_shared<const dlv::Column>(columns[k])};
            const dlv::CurveSummary want = dlv::summarizeSeries(series);
            const dlv::CurveSummary got = sums[k].summary();
            if (got.count != want.count || got.maxTake != want.maxTake || got.minTake != want.minTake ||
                (want.count > 0 && (got.maxValue != want.maxValue || got.minValue != want.minValue ||
                                    std::memcmp(&got.average, &want.average, sizeof(double)) != 0)))
                return "block summary of parameter " + std::to_string(p) + " differs from summarizeSeries";
        }
    }
    // The cache hands out the same numbers, within a budget of one column.
    dlv::ColumnCache cache(store, std::max<std::size_t>(1, static_cast<std::size_t>(takes) * sizeof(double)));
    const std::vector<dlv::ColumnPtr> cached = cache.columns(few);
    const std::vector<dlv::Column> direct = dlv::parseColumns(*store, few);
    for (std::size_t k = 0; k < few.size(); ++k)
        if (!cached[k] || cached[k]->size() != direct[k].size() ||
            (!direct[k].empty() && std::memcmp(cached[k]->data(), direct[k].data(), direct[k].size() * sizeof(double)) != 0))
            return "the cache gives other numbers for parameter " + std::to_string(few[k]);
    return {};
}

// ------------------------------------------------------------ the curve

// Input: a mode byte, the surface width, the visible range and the values.
// Values are numbers or NaN, as a series read from a log holds: small whole
// numbers (one byte each, 0x80 for no number) or any double (eight bytes,
// infinities taken as no number).
inline std::string checkCurve(std::string_view data)
{
    Bytes in(data);
    const std::uint8_t mode = in.byte();
    const int widthPx = static_cast<int>(in.raw<std::int16_t>()) % 2100;
    dlv::Column values;
    double x0 = 0;
    double x1 = 0;
    const int rangeMode = (mode >> 1) % 4;
    if (rangeMode == 1) {
        x0 = static_cast<std::int8_t>(in.byte());
        x1 = static_cast<std::int8_t>(in.byte());
    } else if (rangeMode == 2) {
        x0 = in.raw<std::int16_t>() / 16.0;
        x1 = in.raw<std::int16_t>() / 16.0;
    } else if (rangeMode == 3) {
        x0 = in.raw<double>();
        x1 = in.raw<double>();
    }
    while (!in.empty() && values.size() < 20000) {
        double v;
        if (mode & 1) {
            v = in.raw<double>();
            if (std::isinf(v))
                v = std::numeric_limits<double>::quiet_NaN();
        } else {
            const auto b = static_cast<std::int8_t>(in.byte());
            v = b == INT8_MIN ? std::numeric_limits<double>::quiet_NaN() : static_cast<double>(b);
        }
        values.push_back(v);
    }
    const dlv::ParamSeries series{0, std::make_shared<const dlv::Column>(std::move(values))};
    const int n = series.takeCount();
    if (rangeMode == 0) {
        x0 = 0.0;
        x1 = n > 1 ? n - 1 : 1;
    }

    // The summary against a plain pass.
    const dlv::CurveSummary summary = dlv::summarizeSeries(series);
    int count = 0;
    NaiveMean mean;
    double low = 0;
    double high = 0;
    int lowTake = -1;
    int highTake = -1;
    for (int t = 0; t < n; ++t) {
        const double v = series.values()[static_cast<std::size_t>(t)];
        if (std::isnan(v))
            continue;
        if (count == 0 || v > high) {
            high = v;
            highTake = t;
        }
        if (count == 0 || v < low) {
            low = v;
            lowTake = t;
        }
        mean.add(v);
        ++count;
        if (!series.isNumber(t))
            return "isNumber is false for a number";
    }
    if (summary.count != count || summary.maxTake != highTake || summary.minTake != lowTake)
        return "summary counts or takes differ";
    if (count > 0 && (summary.maxValue != high || summary.minValue != low || !mean.matches(summary.average)))
        return "summary values differ";
    const dlv::CurveLabels labels = dlv::curveLabels(summary, ".");
    if ((count == 0) != labels.max.empty() || (count == 0) != labels.min.empty() || (count == 0) != labels.avg.empty())
        return "labels present without numbers or missing with numbers";
    for (const std::string* label : {&labels.max, &labels.min}) {
        if (label->empty())
            continue;
        const std::size_t point = label->find('.');
        if (point == std::string::npos || point + 3 != label->size() || label->find_first_not_of("-0123456789.") != std::string::npos)
            return "label '" + *label + "' is not a number with two decimals";
        if (*label == "-0.00")
            return "a label shows negative zero";
    }

    const dlv::CurveLayout layout = dlv::CurveLayout::of(n - 1, summary);
    if (!(layout.height > 0.0) || !(layout.width > 0.0))
        return "layout without a positive size";

    // The envelope: one extent per column, each within the values of the
    // series, and every visible number inside the extent of its column.
    const dlv::CurveEnvelope envelope = dlv::CurveEnvelope::build(series, x0, x1, widthPx);
    const int w = std::max(widthPx, 1);
    if (envelope.widthPx() != w)
        return "envelope of " + std::to_string(envelope.widthPx()) + " columns for width " + std::to_string(widthPx);
    if (!std::isfinite(envelope.x0()) || !std::isfinite(envelope.x1()) || envelope.x1() < envelope.x0())
        return "envelope range is not a finite range";
    const double slack = 1e-9 * std::fabs(high) + 1e-9 * std::fabs(low) + 1e-300;
    for (int c = 0; c < w; ++c) {
        const dlv::ColumnExtent& e = envelope.columns()[static_cast<std::size_t>(c)];
        if (std::isnan(e.low) || std::isnan(e.high))
            return "column " + std::to_string(c) + " has NaN in its extent";
        if (e.empty())
            continue;
        if (count == 0)
            return "column " + std::to_string(c) + " is drawn for a series without numbers";
        if (e.low < low - slack || e.high > high + slack)
            return "column " + std::to_string(c) + " reaches [" + number(e.low) + ", " + number(e.high) +
                   "] beyond the values [" + number(low) + ", " + number(high) + "]";
    }
    // The scale the envelope was built with: rebuilt from x0() and x1() it
    // could differ in the last bit and move a take across the right edge.
    const dlv::CurveScale scale(x0, 0.0, x1 - x0, 1.0);
    for (int t = 0; t < n; ++t) {
        const double v = series.values()[static_cast<std::size_t>(t)];
        if (std::isnan(v) || t < envelope.x0() || t > envelope.x1())
            continue;
        const double px = scale.toPixelX(t, w);
        if (!(px >= 0.0 && px <= w))
            continue;
        const int c = std::min(static_cast<int>(px), w - 1);
        const dlv::ColumnExtent& e = envelope.columns()[static_cast<std::size_t>(c)];
        if (!(e.low <= v && v <= e.high))
            return "take " + std::to_string(t) + " (" + number(v) + ") is not inside column " + std::to_string(c) + " [" +
                   number(e.low) + ", " + number(e.high) + "]";
    }

    // Clicks anywhere give a take in the range of int, or none for NaN.
    for (const double x : {x0, x1, envelope.x0(), std::nan(""), 1e300, -1e300}) {
        const int take = dlv::clickedTake(x);
        const bool inRange = x > INT_MIN + 1.0 && x < INT_MAX - 1.0;
        if (std::isnan(x) ? take != -1 : (inRange && std::fabs(take - x) > 0.5))
            return "clickedTake of " + number(x) + " is " + std::to_string(take);
        const int col = dlv::clickedGridColumn(take, n + 1);
        if (n + 1 >= 2 ? (col < 1 || col > n) : col != 0)
            return "clickedGridColumn " + std::to_string(col) + " for take " + std::to_string(take);
    }
    return {};
}

}  // namespace dlv::fuzzcheck
