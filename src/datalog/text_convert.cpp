#include "datalog/text_convert.h"

#include "datalog/byte_buffer.h"
#include "datalog/display_text.h"
#include "datalog/line_parts.h"
#include "datalog/number.h"
#include "datalog/parallel.h"
#include "datalog/text_layout.h"
#include "datalog/wide_instructions.h"

#include <array>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(DLV_WIDE_INSTRUCTIONS)
#include <immintrin.h>
#endif

namespace dlv {

namespace {

// Parts smaller than this are not worth a thread of their own.
constexpr std::size_t kMinPartBytes = std::size_t{4} << 20;
// How far a pass reads before it gives the pages behind it back.
constexpr std::size_t kDiscardStep = std::size_t{16} << 20;

struct ByteFlags {
    bool digit = false;
    bool letter = false;  // a letter other than e and E, with which a word could start
};

[[nodiscard]] bool isLetterNotE(unsigned char c) noexcept
{
    const unsigned folded = c | 0x20u;
    return folded >= 'a' && folded <= 'z' && folded != 'e';
}

// dst[i] = src[i] with separator made ',' and ',' made commaTo (src may be
// dst), and whether the bytes hold a digit or a letter.
ByteFlags translateBytes(const char* src, char* dst, std::size_t n, char separator, char commaTo) noexcept
{
    std::size_t i = 0;
    ByteFlags flags;
#if defined(__SSE2__)
    const __m128i sep = _mm_set1_epi8(separator);
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i to = _mm_set1_epi8(commaTo);
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i nine = _mm_set1_epi8(9);
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i a = _mm_set1_epi8('a');
    const __m128i z = _mm_set1_epi8(25);
    const __m128i e = _mm_set1_epi8('e');
    __m128i digits = _mm_setzero_si128();
    __m128i letters = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i isSep = _mm_cmpeq_epi8(x, sep);
        const __m128i isComma = _mm_cmpeq_epi8(x, comma);
        const __m128i kept = _mm_andnot_si128(_mm_or_si128(isSep, isComma), x);
        const __m128i y = _mm_or_si128(kept, _mm_or_si128(_mm_and_si128(isSep, comma), _mm_and_si128(isComma, to)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), y);
        const __m128i d = _mm_sub_epi8(x, zero);
        digits = _mm_or_si128(digits, _mm_cmpeq_epi8(_mm_min_epu8(d, nine), d));
        const __m128i folded = _mm_or_si128(x, caseBit);
        const __m128i l = _mm_sub_epi8(folded, a);
        letters = _mm_or_si128(letters, _mm_andnot_si128(_mm_cmpeq_epi8(folded, e), _mm_cmpeq_epi8(_mm_min_epu8(l, z), l)));
    }
    flags.digit = _mm_movemask_epi8(digits) != 0;
    flags.letter = _mm_movemask_epi8(letters) != 0;
#endif
    for (; i < n; ++i) {
        const char c = src[i];
        dst[i] = c == separator ? ',' : c == ',' ? commaTo : c;
        flags.digit = flags.digit || (c >= '0' && c <= '9');
        flags.letter = flags.letter || isLetterNotE(static_cast<unsigned char>(c));
    }
    return flags;
}

#if defined(DLV_WIDE_INSTRUCTIONS)
// translateBytes 32 bytes at a time, the rest as there.
DLV_WIDE_INSTRUCTIONS ByteFlags translateBytesWide(const char* src, char* dst, std::size_t n, char separator,
                                                   char commaTo) noexcept
{
    const __m256i sep = _mm256_set1_epi8(separator);
    const __m256i comma = _mm256_set1_epi8(',');
    const __m256i to = _mm256_set1_epi8(commaTo);
    const __m256i zero = _mm256_set1_epi8('0');
    const __m256i nine = _mm256_set1_epi8(9);
    const __m256i caseBit = _mm256_set1_epi8(0x20);
    const __m256i a = _mm256_set1_epi8('a');
    const __m256i z = _mm256_set1_epi8(25);
    const __m256i e = _mm256_set1_epi8('e');
    __m256i digits = _mm256_setzero_si256();
    __m256i letters = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i isSep = _mm256_cmpeq_epi8(x, sep);
        const __m256i isComma = _mm256_cmpeq_epi8(x, comma);
        const __m256i y = _mm256_blendv_epi8(_mm256_blendv_epi8(x, to, isComma), comma, isSep);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), y);
        const __m256i d = _mm256_sub_epi8(x, zero);
        digits = _mm256_or_si256(digits, _mm256_cmpeq_epi8(_mm256_min_epu8(d, nine), d));
        const __m256i folded = _mm256_or_si256(x, caseBit);
        const __m256i l = _mm256_sub_epi8(folded, a);
        letters = _mm256_or_si256(
            letters, _mm256_andnot_si256(_mm256_cmpeq_epi8(folded, e), _mm256_cmpeq_epi8(_mm256_min_epu8(l, z), l)));
    }
    ByteFlags flags = translateBytes(src + i, dst + i, n - i, separator, commaTo);
    flags.digit = flags.digit || _mm256_movemask_epi8(digits) != 0;
    flags.letter = flags.letter || _mm256_movemask_epi8(letters) != 0;
    return flags;
}

// findLineEnd 32 bytes at a time.
DLV_WIDE_INSTRUCTIONS const char* findLineEndWide(const char* p, const char* end) noexcept
{
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i cr = _mm256_set1_epi8('\r');
    while (end - p >= 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const auto mask = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(x, lf), _mm256_cmpeq_epi8(x, cr))));
        if (mask != 0)
            return p + __builtin_ctz(mask);
        p += 32;
    }
    return findLineEnd(p, end);
}
#endif

// Notes the columns of a converted line (cells between commas) that hold
// an on/off word; whether any does.
bool noteWords(std::string_view line, std::vector<std::uint8_t>& words)
{
    bool any = false;
    std::size_t column = 0;
    std::size_t start = 0;
    while (start <= line.size()) {
        std::size_t end = line.find(',', start);
        if (end == std::string_view::npos)
            end = line.size();
        std::size_t first = start;
        while (first < end && line[first] == ' ')
            ++first;
        if (first < end && isLetterNotE(static_cast<unsigned char>(line[first])) &&
            wordValue(line.substr(start, end - start))) {
            any = true;
            if (column < words.size())
                words[column] = 1;
        }
        start = end + 1;
        ++column;
    }
    return any;
}

// A marker row's text: its cells that hold something, joined by spaces.
std::string markerText(std::string_view line, char separator)
{
    std::string text;
    for (const std::string_view cell : lineCells(line, separator)) {
        const std::string_view t = cellText(cell);
        if (t.empty())
            continue;
        if (!text.empty())
            text.push_back(' ');
        text += t;
    }
    return displayText(text);
}

// The first cell of a time-of-day row as seconds of the day, right-aligned
// in the cell's bytes.
void writeSecondsOfDay(char* line, std::size_t length) noexcept
{
    const auto* comma = static_cast<const char*>(std::memchr(line, ',', length));
    const std::size_t cell = comma ? static_cast<std::size_t>(comma - line) : length;
    std::array<char, 64> seconds{};
    if (cell > seconds.size())
        return;
    const std::size_t n = secondsOfDay(std::string_view(line, cell), seconds.data());
    if (n == 0)
        return;
    std::memset(line, ' ', cell - n);
    std::memcpy(line + cell - n, seconds.data(), n);
}

class PartPass {
public:
    PartPass(const char* src, char* dst, const RowRules& rules, RowsOutcome& outcome, ByteBuffer* source,
             std::size_t sourceOffset)
        : m_src(src), m_dst(dst), m_rules(rules), m_outcome(outcome), m_source(source), m_sourceOffset(sourceOffset)
    {
        m_outcome.words.assign(rules.columns, 0);
    }

    void run(std::size_t begin, std::size_t end)
    {
        std::size_t discarded = begin;
        std::size_t p = begin;
        while (p < end) {
            const std::size_t lineEnd = static_cast<std::size_t>(lineEndFrom(m_src + p, m_src + end) - m_src);
            std::size_t next = lineEnd;
            if (next < end)
                next += m_src[next] == '\r' && next + 1 < end && m_src[next + 1] == '\n' ? 2 : 1;
            row(p, lineEnd, next);
            p = next;
            if (m_source && p - discarded >= kDiscardStep) {
                m_source->discard(m_sourceOffset + discarded, p - discarded);
                discarded = p;
            }
        }
    }

private:
    void row(std::size_t begin, std::size_t lineEnd, std::size_t next)
    {
        const std::string_view line(m_src + begin, lineEnd - begin);
        if (line.empty())
            return drop(begin, next, DroppedRow::Kind::Empty);
        if (m_rules.markerRows) {
            const std::string_view first = trimSpaces(line.substr(0, line.find(m_rules.separator)));
            if (!parseNumber(first)) {
                if (first.empty())
                    return drop(begin, next, DroppedRow::Kind::Odd);
                m_outcome.markers.push_back({static_cast<int>(m_outcome.records), markerText(line, m_rules.separator)});
                return drop(begin, next, DroppedRow::Kind::Marker);
            }
        }
        const ByteFlags flags = translate(m_src + begin, m_dst + begin, next - begin);
        if (m_rules.timeOfDay)
            writeSecondsOfDay(m_dst + begin, line.size());
        bool record = flags.digit || m_rules.markerRows;
        if (flags.letter)
            record = noteWords(std::string_view(m_dst + begin, line.size()), m_outcome.words) || record;
        if (!record)
            return drop(begin, next, DroppedRow::Kind::Odd);
        ++m_outcome.records;
    }

    [[nodiscard]] const char* lineEndFrom(const char* p, const char* end) const noexcept
    {
#if defined(DLV_WIDE_INSTRUCTIONS)
        if (m_wide)
            return findLineEndWide(p, end);
#endif
        return findLineEnd(p, end);
    }

    ByteFlags translate(const char* src, char* dst, std::size_t n) const noexcept
    {
#if defined(DLV_WIDE_INSTRUCTIONS)
        if (m_wide)
            return translateBytesWide(src, dst, n, m_rules.separator, m_rules.commaTo);
#endif
        return translateBytes(src, dst, n, m_rules.separator, m_rules.commaTo);
    }

    void drop(std::size_t begin, std::size_t next, DroppedRow::Kind kind)
    {
        std::memset(m_dst + begin, ' ', next - begin);
        m_outcome.dropped.push_back({m_outcome.records, kind});
    }

    const char* m_src;
    char* m_dst;
    const RowRules& m_rules;
    RowsOutcome& m_outcome;
    ByteBuffer* m_source;
    std::size_t m_sourceOffset;
    bool m_wide = useWideInstructions();
};

}  // namespace

const char* findLineEnd(const char* p, const char* end) noexcept
{
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    while (end - p >= 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(x, lf), _mm_cmpeq_epi8(x, cr)));
        if (mask != 0)
            return p + __builtin_ctz(static_cast<unsigned>(mask));
        p += 16;
    }
#endif
    while (p < end && *p != '\n' && *p != '\r')
        ++p;
    return p;
}

std::size_t convertRows(const char* src, char* dst, std::size_t size, const RowRules& rules, RowsOutcome& outcome,
                        ByteBuffer* source, std::size_t sourceOffset)
{
    const std::vector<std::size_t> starts = partStarts(src, 0, size, partCount(size, kMinPartBytes));
    std::vector<RowsOutcome> parts(starts.size());
    ByteBuffer* discarding = src != dst ? source : nullptr;
    runParts(starts.size(), [&](std::size_t k) {
        PartPass pass(src, dst, rules, parts[k], discarding, sourceOffset);
        pass.run(starts[k], k + 1 < starts.size() ? starts[k + 1] : size);
    });

    // The parts' rows one after the other: their takes counted on.
    outcome = RowsOutcome{};
    outcome.words.assign(rules.columns, 0);
    for (RowsOutcome& part : parts) {
        for (DroppedRow row : part.dropped) {
            row.take += outcome.records;
            outcome.dropped.push_back(row);
        }
        for (LogMarker& marker : part.markers) {
            marker.take += static_cast<int>(outcome.records);
            outcome.markers.push_back(std::move(marker));
        }
        for (std::size_t c = 0; c < rules.columns; ++c)
            outcome.words[c] |= part.words[c];
        outcome.records += part.records;
        part = RowsOutcome{};
    }

    // Rows dropped at the end would make a last line of spaces.
    std::size_t end = size;
    while (end > 0 && dst[end - 1] == ' ')
        --end;
    std::memset(dst + end, 0, size - end);
    return end;
}

}  // namespace dlv
