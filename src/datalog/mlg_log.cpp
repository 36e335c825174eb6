#include "datalog/mlg_log.h"

#include "datalog/byte_buffer.h"
#include "datalog/display_text.h"
#include "datalog/mlg_field_loops.h"
#include "datalog/number.h"
#include "datalog/parallel.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <span>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dlv {

namespace {

constexpr std::size_t kMarkerBlockBytes = kMlgBlockHeadBytes + kMlgMarkerTextBytes;
constexpr std::uint64_t kMaxRecords = INT_MAX;
// Takes a part of a parallel pass gets at least: below that a thread costs
// more than it saves.
constexpr std::size_t kMinTakesPerPart = 8192;
// Records decoded together: their pointers are found once, then each field
// is decoded over all of them in a loop of its own type.
constexpr std::size_t kDecodeBlock = 16;
// Cache lines ahead within the records that the decode asks memory for.
constexpr std::uint32_t kLinesAhead = 2;
// Records ahead of the walk whose type bytes are asked of memory.
constexpr std::size_t kWalkAhead = 16;

// What a walk over the blocks found.
struct Walk {
    std::vector<MlgRun> runs;
    std::uint64_t records = 0;
    std::vector<LogMarker> markers;
    std::size_t end = 0;  // where the readable part ends: after the last whole block
    enum class Stop { AtEnd, CutShort, UnknownBlock, TooManyRecords } stop = Stop::AtEnd;
    unsigned stopType = 0;
};

std::string markerText(const unsigned char* block)
{
    std::string_view text(reinterpret_cast<const char*>(block + kMlgBlockHeadBytes), kMlgMarkerTextBytes);
    text = text.substr(0, std::min(text.find('\0'), text.size()));
    return displayText(trimSpaces(text));
}

// The blocks from the data offset on, one after another: a run of data
// blocks is stepped over by stride reading only each one's type byte.
Walk walkBlocks(const unsigned char* data, std::size_t size, const MlgHeader& header)
{
    const std::size_t stride = kMlgBlockHeadBytes + header.recordLength + 1;
    Walk walk;
    std::size_t pos = header.dataOffset;
    bool inRun = false;
    while (pos < size) {
        const unsigned type = data[pos];
        if (type == 0) {
            if (size - pos < stride) {
                walk.stop = Walk::Stop::CutShort;
                break;
            }
            const std::uint64_t fit = std::min<std::uint64_t>((size - pos) / stride, kMaxRecords - walk.records);
            if (fit == 0) {
                walk.stop = Walk::Stop::TooManyRecords;
                break;
            }
            if (!inRun)
                walk.runs.push_back(MlgRun{walk.records, pos});
            inRun = true;
            // Each type byte is a page (or more) away from the last: asked of
            // memory well ahead, their misses wait side by side instead of
            // one after the other.
            const std::size_t ahead = kWalkAhead * stride;
            std::uint64_t n = 0;
            do {
                if (size - pos > ahead)
                    __builtin_prefetch(data + pos + ahead);
                ++n;
                pos += stride;
            } while (n < fit && data[pos] == 0);
            walk.records += n;
        } else if (type == 1) {
            if (size - pos < kMarkerBlockBytes) {
                walk.stop = Walk::Stop::CutShort;
                break;
            }
            walk.markers.push_back(LogMarker{static_cast<int>(walk.records), markerText(data + pos)});
            pos += kMarkerBlockBytes;
            inRun = false;
        } else {
            walk.stop = Walk::Stop::UnknownBlock;
            walk.stopType = type;
            break;
        }
    }
    walk.end = pos;
    return walk;
}

// The records of takes from a given one on, in order, across runs.
class RecordCursor {
public:
    RecordCursor(std::span<const MlgRun> runs, std::uint64_t records, const unsigned char* data, std::size_t stride,
                 std::uint64_t t) noexcept
        : m_runs(runs), m_records(records), m_data(data), m_stride(stride), m_t(t)
    {
        const auto after = std::upper_bound(runs.begin(), runs.end(), t,
                                            [](std::uint64_t take, const MlgRun& run) { return take < run.firstTake; });
        m_run = static_cast<std::size_t>(after - runs.begin()) - 1;
        m_at = data + runs[m_run].offset + (t - runs[m_run].firstTake) * stride;
        m_runEnd = runEnd();
    }
    // The block of the next take: its type byte.
    const unsigned char* next() noexcept
    {
        if (m_t == m_runEnd) {
            ++m_run;
            m_at = m_data + m_runs[m_run].offset;
            m_runEnd = runEnd();
        }
        const unsigned char* block = m_at;
        m_at += m_stride;
        ++m_t;
        return block;
    }

private:
    [[nodiscard]] std::uint64_t runEnd() const noexcept
    {
        return m_run + 1 < m_runs.size() ? m_runs[m_run + 1].firstTake : m_records;
    }
    std::span<const MlgRun> m_runs;
    std::uint64_t m_records;
    const unsigned char* m_data;
    std::size_t m_stride;
    std::uint64_t m_t;
    std::size_t m_run = 0;
    const unsigned char* m_at = nullptr;
    std::uint64_t m_runEnd = 0;
};

// The sum of n bytes modulo 256: bytes added lane by lane with wrap-around,
// which keeps the sum modulo 256, then the lanes.
std::uint8_t byteSum(const unsigned char* p, std::size_t n) noexcept
{
    unsigned sum = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    __m128i a = _mm_setzero_si128();
    __m128i b = _mm_setzero_si128();
    for (; i + 32 <= n; i += 32) {
        a = _mm_add_epi8(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
        b = _mm_add_epi8(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16)));
    }
    const __m128i lanes = _mm_sad_epu8(_mm_add_epi8(a, b), _mm_setzero_si128());
    sum = static_cast<unsigned>(_mm_cvtsi128_si32(lanes)) + static_cast<unsigned>(_mm_extract_epi16(lanes, 4));
#endif
    for (; i < n; ++i)
        sum += p[i];
    return static_cast<std::uint8_t>(sum);
}

struct Checksums {
    std::uint64_t mismatches = 0;
    std::uint64_t first = UINT64_MAX;
};

// Every record's checksum against the sum of its bytes, in parts on every
// core; the file is read once, from end to end.
Checksums checkRecords(const unsigned char* data, std::span<const MlgRun> runs, std::uint64_t records,
                       std::size_t recordLength)
{
    const std::size_t stride = kMlgBlockHeadBytes + recordLength + 1;
    const std::size_t parts = partCount(static_cast<std::size_t>(records), kMinTakesPerPart);
    std::vector<Checksums> found(parts);
    runParts(parts, [&](std::size_t k) {
        const std::uint64_t begin = records * k / parts;
        const std::uint64_t end = records * (k + 1) / parts;
        if (begin == end)
            return;
        RecordCursor cursor(runs, records, data, stride, begin);
        Checksums& mine = found[k];
        for (std::uint64_t t = begin; t < end; ++t) {
            const unsigned char* fields = cursor.next() + kMlgBlockHeadBytes;
            if (byteSum(fields, recordLength) != fields[recordLength]) {
                mine.first = std::min(mine.first, t);
                ++mine.mismatches;
            }
        }
    });
    Checksums all;
    for (const Checksums& part : found) {
        all.mismatches += part.mismatches;
        all.first = std::min(all.first, part.first);
    }
    return all;
}

std::string counted(std::uint64_t count, std::string_view thing)
{
    return groupedCount(count) + " " + std::string(thing) + (count == 1 ? "" : "s");
}

std::string utcDate(std::uint32_t unixSeconds)
{
    using namespace std::chrono;
    const sys_seconds when{seconds{unixSeconds}};
    const sys_days day = floor<days>(when);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{when - day};
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d UTC", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

std::string lowered(std::string_view text)
{
    std::string out(trimSpaces(text));
    for (char& c : out)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

// Whether a name or unit says milliseconds: "ms", "msec", or a name ending
// in one of them after something other than a letter ("Time_ms", "t (ms)").
bool saysMilliseconds(std::string_view text)
{
    std::string word = lowered(text);
    while (!word.empty() && (word.back() == ')' || word.back() == ']'))
        word.pop_back();
    for (const std::string_view ms : {std::string_view("msec"), std::string_view("ms")})
        if (word.size() >= ms.size() && word.compare(word.size() - ms.size(), ms.size(), ms) == 0) {
            const std::size_t before = word.size() - ms.size();
            if (before == 0 || !std::isalpha(static_cast<unsigned char>(word[before - 1])))
                return true;
        }
    return false;
}

// The field named "Time" (any case), else the first whose unit is a time.
std::optional<TimeChannel> findTime(const std::vector<MlgField>& fields)
{
    auto timeOf = [](std::size_t p, const MlgField& field) {
        const bool ms = saysMilliseconds(field.name) || saysMilliseconds(field.info.unit);
        return TimeChannel{static_cast<long long>(p), ms ? 0.001 : 1.0};
    };
    for (std::size_t p = 0; p < fields.size(); ++p)
        if (lowered(fields[p].name) == "time")
            return timeOf(p, fields[p]);
    for (std::size_t p = 0; p < fields.size(); ++p) {
        const std::string unit = lowered(fields[p].info.unit);
        if (unit == "s" || unit == "sec" || unit == "ms" || unit == "msec")
            return timeOf(p, fields[p]);
    }
    return std::nullopt;
}

// The raw value of a field of type T as the bits of its width, for hex.
template <MlgType T>
std::uint64_t rawBits(const unsigned char* p) noexcept
{
    constexpr unsigned bytes = mlgTypeSize(static_cast<std::uint8_t>(T));
    if constexpr (bytes == 1)
        return p[0];
    else if constexpr (bytes == 2)
        return loadBigEndian<std::uint16_t>(p);
    else if constexpr (bytes == 4)
        return loadBigEndian<std::uint32_t>(p);
    else
        return loadBigEndian<std::uint64_t>(p);
}

// The number as text: with digits decimals (digits >= 0), or the shortest
// text that reads back as the same double. No "-0.00": a value that rounds
// to zero shows without a sign.
std::string_view numberText(double value, int digits, std::string& scratch)
{
    if (std::isnan(value)) {
        scratch.assign("nan");
        return scratch;
    }
    std::array<char, 400> text;
    const std::to_chars_result written =
        digits >= 0 ? std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, digits)
                    : std::to_chars(text.data(), text.data() + text.size(), value);
    std::string_view shown(text.data(), static_cast<std::size_t>(written.ptr - text.data()));
    if (shown.size() > 1 && shown[0] == '-' && shown.find_first_not_of("0.", 1) == std::string_view::npos)
        shown.remove_prefix(1);
    scratch.assign(shown);
    return scratch;
}

std::string_view hexText(std::uint64_t bits, std::string& scratch)
{
    std::array<char, 24> text{'0', 'x'};
    const std::to_chars_result written = std::to_chars(text.data() + 2, text.data() + text.size(), bits, 16);
    for (char* c = text.data() + 2; c != written.ptr; ++c)
        *c = *c >= 'a' && *c <= 'f' ? static_cast<char>(*c - 'a' + 'A') : *c;
    scratch.assign(text.data(), written.ptr);
    return scratch;
}

// The two words of an on/off style: the first for a value other than 0.
std::optional<std::pair<std::string_view, std::string_view>> styleWords(ValueStyle style) noexcept
{
    switch (style) {
    case ValueStyle::OnOff: return std::pair{std::string_view("On"), std::string_view("Off")};
    case ValueStyle::YesNo: return std::pair{std::string_view("Yes"), std::string_view("No")};
    case ValueStyle::HighLow: return std::pair{std::string_view("High"), std::string_view("Low")};
    case ValueStyle::ActiveInactive: return std::pair{std::string_view("Active"), std::string_view("Inactive")};
    case ValueStyle::Number:
    case ValueStyle::Hex:
    case ValueStyle::Bits:
    case ValueStyle::Date: break;
    }
    return std::nullopt;
}

// The text a field shows for the bytes at p.
std::string_view shownText(const MlgField& field, const unsigned char* p, std::string& scratch)
{
    return visitMlgType(field.type, [&](auto type) -> std::string_view {
        constexpr MlgType T = decltype(type)::value;
        const double raw = mlgRaw<T>(p);
        if (field.info.style == ValueStyle::Hex && T != MlgType::F32)
            return hexText(rawBits<T>(p), scratch);
        const double scaled = mlgScaled(field, raw);
        if (const auto words = styleWords(field.info.style); words && !std::isnan(scaled))
            return scaled != 0 ? words->first : words->second;
        return numberText(scaled, field.info.style == ValueStyle::Bits ? -1 : field.info.digits, scratch);
    });
}

// Digits before the point of a number of magnitude up to m.
int wholeDigits(double m) noexcept
{
    return m < 10 ? 1 : std::min(static_cast<int>(std::floor(std::log10(m))) + 1, 40);
}

// The widest text field can show: its words, its hex digits, or its
// numbers' sign, whole digits and decimals.
std::uint32_t shownWidth(const MlgField& field)
{
    if (const auto words = styleWords(field.info.style); words && !isBitField(field.type))
        return static_cast<std::uint32_t>(std::max({words->first.size(), words->second.size(), std::size_t{4}}));
    const unsigned bytes = mlgTypeSize(static_cast<std::uint8_t>(field.type));
    if (field.info.style == ValueStyle::Hex && field.type != MlgType::F32)
        return 2 + 2 * bytes;
    double low = 0, high = 0;
    switch (field.type) {
    case MlgType::S08: case MlgType::S16: case MlgType::S32: case MlgType::S64:
        low = -std::ldexp(1.0, static_cast<int>(8 * bytes - 1));
        high = std::ldexp(1.0, static_cast<int>(8 * bytes - 1)) - 1;
        break;
    case MlgType::F32:
        low = -99999;
        high = 99999;
        break;
    default:
        high = std::ldexp(1.0, static_cast<int>(8 * bytes)) - 1;
        break;
    }
    const double a = mlgScaled(field, low);
    const double b = mlgScaled(field, high);
    if (!std::isfinite(a) || !std::isfinite(b))
        return 4;  // "-inf"
    const int sign = std::min(a, b) < 0 ? 1 : 0;
    const int whole = wholeDigits(std::max(std::fabs(a), std::fabs(b)));
    const int digits = field.info.style == ValueStyle::Bits ? -1 : field.info.digits;
    if (digits >= 0)
        return static_cast<std::uint32_t>(sign + whole + (digits > 0 ? 1 + digits : 0));
    const bool wholeNumbers = field.type != MlgType::F32 &&
                              (isBitField(field.type) || (field.scale == 1 && std::trunc(field.transform) == field.transform));
    // The shortest text of a double: up to 17 significant digits, a point, an exponent.
    return static_cast<std::uint32_t>(wholeNumbers ? sign + whole : std::min(sign + whole + 18, 24));
}

LogDetails mlgDetails(const MlgLog::Layout& layout)
{
    const MlgHeader& header = layout.header;
    LogDetails details;
    details.format = LogFormat::Mlg;
    details.formatName = "MLG " + std::to_string(header.version);
    details.summary = details.formatName + ", " + counted(header.fields.size(), "channel") + ", " +
                      counted(static_cast<std::uint64_t>(layout.records), "record") + ", " +
                      counted(layout.markers.size(), "marker");
    MlgInfo info = parseMlgInfo(header.info);
    details.signature = std::move(info.signature);
    details.captureDate = std::move(info.captureDate);
    details.more.emplace_back("Record length", counted(header.recordLength, "byte"));
    if (header.timeStamp != 0)
        details.more.emplace_back("Time stamp", utcDate(header.timeStamp));
    for (std::string& line : info.otherLines)
        details.more.emplace_back("Info", std::move(line));
    details.more.emplace_back("Checksum mismatches",
                              layout.checksumMismatches == 0
                                  ? std::string("none")
                                  : groupedCount(layout.checksumMismatches) + " (the first at take " +
                                        groupedCount(layout.firstMismatch) + ")");
    return details;
}

std::vector<ReadWarning> walkWarnings(const Walk& walk, std::size_t size, const Checksums& checksums)
{
    std::vector<ReadWarning> warnings;
    if (checksums.mismatches != 0)
        warnings.push_back(ReadWarning{
            ReadWarning::Kind::ChecksumMismatch, checksums.mismatches,
            checksums.mismatches == 1
                ? "1 record's checksum does not match (take " + groupedCount(checksums.first) + "); it is kept"
                : groupedCount(checksums.mismatches) + " records' checksums do not match (the first at take " +
                      groupedCount(checksums.first) + "); they are kept"});
    const std::uint64_t rest = size - walk.end;
    if (walk.stop == Walk::Stop::CutShort)
        warnings.push_back(ReadWarning{ReadWarning::Kind::CutShort, rest,
                                       "it ends inside a block: the last " + counted(rest, "byte") +
                                           ", after the last whole record, are left over"});
    if (walk.stop == Walk::Stop::UnknownBlock)
        warnings.push_back(ReadWarning{ReadWarning::Kind::StoppedEarly, walk.end,
                                       "reading stopped at byte " + groupedCount(walk.end) + ", a block of type " +
                                           std::to_string(walk.stopType) +
                                           " (only data, 0, and markers, 1, are known); the last " +
                                           counted(rest, "byte") + " are not read"});
    return warnings;
}

}  // namespace

bool looksLikeMlg(std::string_view head) noexcept
{
    return head.size() >= kMlgMagicBytes && std::memcmp(head.data(), kMlgMagic, kMlgMagicBytes) == 0;
}

MlgLog::MlgLog(std::unique_ptr<ByteBuffer> bytes, std::size_t size, Layout layout)
    : m_bytes(std::move(bytes)),
      m_data(m_bytes ? reinterpret_cast<const unsigned char*>(m_bytes->data()) : nullptr),
      m_size(size),
      m_stride(kMlgBlockHeadBytes + layout.header.recordLength + 1),
      m_layout(std::move(layout))
{
    m_names.reserve(m_layout.header.fields.size() + 1);
    for (const MlgField& field : m_layout.header.fields) {
        m_names.push_back(field.name);
        m_maxShownBytes = std::max(m_maxShownBytes, shownWidth(field));
    }
    m_names.emplace_back();
    m_maxShownBytes = std::min(m_maxShownBytes, kShownValueBytesLimit);
    m_details = mlgDetails(m_layout);
    m_time = findTime(m_layout.header.fields);
}

MlgLog::~MlgLog() = default;

const MlgField* MlgLog::field(long long p) const noexcept
{
    const auto& fields = m_layout.header.fields;
    return p >= 0 && static_cast<unsigned long long>(p) < fields.size() ? &fields[static_cast<std::size_t>(p)]
                                                                          : nullptr;
}

const ChannelInfo& MlgLog::channel(long long p) const noexcept
{
    const MlgField* f = field(p);
    return f ? f->info : LogChannels::channel(p);
}

const unsigned char* MlgLog::record(std::uint64_t t) const noexcept
{
    const auto& runs = m_layout.runs;
    const auto after = std::upper_bound(runs.begin(), runs.end(), t,
                                        [](std::uint64_t take, const MlgRun& run) { return take < run.firstTake; });
    const MlgRun& run = *(after - 1);
    return m_data + run.offset + kMlgBlockHeadBytes + (t - run.firstTake) * m_stride;
}

std::optional<std::string_view> MlgLog::shownValue(long long p, long long t, std::string& scratch) const
{
    if (t < 0 || t >= m_layout.records)
        return std::nullopt;
    const MlgField* f = field(p);
    if (!f)
        return std::string_view();
    return shownText(*f, record(static_cast<std::uint64_t>(t)) + f->offset, scratch);
}

std::uint32_t MlgLog::maxShownValueBytes(int t) const noexcept
{
    return t >= 0 && t < m_layout.records ? m_maxShownBytes : 0;
}

void MlgLog::decodeTakes(std::span<const long long> params, std::size_t firstTake, std::size_t count,
                         std::span<double* const> outs, std::size_t outAt) const
{
    RecordCursor cursor(m_layout.runs, static_cast<std::uint64_t>(m_layout.records), m_data, m_stride, firstTake);
    // A few channels read a few bytes of records kilobytes apart: each is a
    // miss of its own, so the next block's are asked for while this one is
    // decoded.
    const bool prefetch = params.size() <= 4;
    std::array<const unsigned char*, kDecodeBlock> blocks[2];
    auto gather = [&](std::array<const unsigned char*, kDecodeBlock>& into, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            into[i] = cursor.next() + kMlgBlockHeadBytes;
            if (prefetch)
                for (const long long p : params)
                    if (const MlgField* f = field(p))
                        __builtin_prefetch(into[i] + f->offset);
        }
    };
    std::size_t n = std::min(kDecodeBlock, count);
    gather(blocks[0], n);
    for (std::size_t done = 0, b = 0; done < count; b ^= 1) {
        const std::size_t following = std::min(kDecodeBlock, count - done - n);
        gather(blocks[b ^ 1], following);
        const auto& records = blocks[b];
        // Records follow one another one stride apart unless a marker
        // stands between two of them, which only makes the gap longer.
        const bool evenlySpaced = static_cast<std::size_t>(records[n - 1] - records[0]) == (n - 1) * m_stride;
        std::uint32_t lineAsked = UINT32_MAX;
        for (std::size_t k = 0; k < params.size(); ++k) {
            double* out = outs[k] + outAt + done;
            const MlgField* f = field(params[k]);
            // Fields in their order walk each record a cache line after the
            // other: the line kLinesAhead on is asked for as each is entered.
            if (f && f->offset / 64 != lineAsked) {
                lineAsked = f->offset / 64;
                const std::size_t ahead = std::size_t{lineAsked + kLinesAhead} * 64;
                if (ahead < m_layout.header.recordLength)
                    for (std::size_t i = 0; i < n; ++i)
                        __builtin_prefetch(records[i] + ahead);
            }
            if (!f)
                std::fill(out, out + n, std::numeric_limits<double>::quiet_NaN());
            else if (evenlySpaced)
                decodeEvenlySpaced(*f, records[0], m_stride, n, out);
            else
                decodeScattered(*f, records.data(), n, out);
        }
        done += n;
        n = following;
    }
}

void MlgLog::parseInto(std::span<const long long> params, int firstTake, int count,
                       std::span<double* const> outs) const
{
    if (params.empty() || count <= 0)
        return;
    // Takes outside the log have no number: the bytes are never read there.
    const long long from = std::max<long long>(firstTake, 0);
    const long long to = std::min<long long>(static_cast<long long>(firstTake) + count, m_layout.records);
    const long long last = static_cast<long long>(firstTake) + count;
    for (std::size_t k = 0; k < params.size(); ++k) {
        double* out = outs[k];
        std::fill(out, out + (std::clamp(from, static_cast<long long>(firstTake), last) - firstTake),
                  std::numeric_limits<double>::quiet_NaN());
        std::fill(out + (std::clamp(to, static_cast<long long>(firstTake), last) - firstTake), out + count,
                  std::numeric_limits<double>::quiet_NaN());
    }
    if (from >= to)
        return;
    const auto skipped = static_cast<std::size_t>(from - firstTake);
    parallelFor(static_cast<std::size_t>(to - from), kMinTakesPerPart, [&](std::size_t begin, std::size_t end) {
        decodeTakes(params, static_cast<std::size_t>(from) + begin, end - begin, outs, skipped + begin);
    });
}

ReadResult readMlgBuffer(std::unique_ptr<ByteBuffer> buffer, std::size_t size, std::string_view displayName) noexcept
{
    ReadResult result;
    try {
        if (buffer && size > buffer->capacity()) {
            result.error = "Cannot read " + inQuotes(displayName) + ": no buffer of " + std::to_string(size) + " bytes";
            return result;
        }
        const std::string_view bytes = buffer ? std::string_view(buffer->data(), size) : std::string_view();
        MlgHeaderParse parse = parseMlgHeader(bytes);
        if (!parse.header) {
            result.error = "Cannot read " + inQuotes(displayName) + ": " + parse.error;
            return result;
        }
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        Walk walk = walkBlocks(data, bytes.size(), *parse.header);
        if (walk.stop == Walk::Stop::TooManyRecords) {
            result.error = "Cannot read " + inQuotes(displayName) + ": it has more than " +
                           groupedCount(kMaxRecords) + " records";
            return result;
        }
        const Checksums checksums = checkRecords(data, walk.runs, walk.records, parse.header->recordLength);
        result.warnings = walkWarnings(walk, bytes.size(), checksums);
        MlgLog::Layout layout{std::move(*parse.header), std::move(walk.runs), static_cast<int>(walk.records),
                              std::move(walk.markers), checksums.mismatches,
                              checksums.mismatches ? checksums.first : 0};
        result.log = std::make_shared<MlgLog>(std::move(buffer), size, std::move(layout));
    } catch (const std::bad_alloc&) {
        result = ReadResult{};
        result.error = "Cannot read " + inQuotes(displayName) + ": not enough memory for its channels and markers";
    } catch (const std::exception& e) {
        result = ReadResult{};
        result.error = "Cannot read " + inQuotes(displayName) + ": " + e.what();
    }
    return result;
}

}  // namespace dlv
