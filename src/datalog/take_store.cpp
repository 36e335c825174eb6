#include "datalog/take_store.h"

#include "datalog/bits.h"
#include "datalog/byte_buffer.h"
#include "datalog/comma_mask.h"
#include "datalog/display_text.h"
#include "datalog/line_parts.h"
#include "datalog/file_mapping.h"
#include "datalog/number.h"
#include "datalog/parallel.h"
#include "datalog/regular_file.h"
#include "datalog/wide_instructions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <limits>
#include <new>
#include <thread>

#if defined(__x86_64__) || defined(__SSE2__)
#include <emmintrin.h>
#define DLV_HAVE_SSE2 1
#endif
#if defined(DLV_WIDE_INSTRUCTIONS)
#include <immintrin.h>
#endif


namespace dlv {

TakeStore::TakeStore() = default;
TakeStore::~TakeStore() = default;

namespace {

#if DLV_HAVE_SSE2
// What a block of 64 bytes of a log holds: bit i of a mask for byte i.
struct BlockMasks {
    std::uint64_t commas;
    std::uint64_t ends;    // CR or LF
    std::uint64_t spaces;
    bool control;          // a byte below 32 but CR and LF (TAB is sorted out by whoever counts them)
};

inline BlockMasks scanBlock(const char* bytes) noexcept
{
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i below32 = _mm_set1_epi8(31);
    BlockMasks m{0, 0, 0, false};
    __m128i control = _mm_setzero_si128();
    for (int k = 0; k < 4; ++k) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * k));
        const auto shift = static_cast<unsigned>(16 * k);
        const __m128i isEnd = _mm_or_si128(_mm_cmpeq_epi8(chunk, lf), _mm_cmpeq_epi8(chunk, cr));
        m.commas |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, comma)))) << shift;
        m.ends |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(isEnd))) << shift;
        m.spaces |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, space)))) << shift;
        control = _mm_or_si128(control, _mm_andnot_si128(isEnd, _mm_cmpeq_epi8(_mm_max_epu8(chunk, below32), below32)));
    }
    m.control = _mm_movemask_epi8(control) != 0;
    return m;
}
#endif

// Position of the n-th comma (n = 0 the first) at or after from in line
// bytes. The comma must exist: the scan does not stop at the line end. Reads
// up to 15 bytes past it, which the buffer's zeroed tail allows.
inline std::size_t nthComma(const char* line, std::size_t from, unsigned n) noexcept
{
#if DLV_HAVE_SSE2
    const __m128i comma = _mm_set1_epi8(',');
    for (;; from += 16) {
        auto m = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(line + from)), comma)));
        while (n != 0 && m != 0) {
            m &= m - 1;
            --n;
        }
        if (m != 0)
            return from + static_cast<std::size_t>(__builtin_ctz(m));
    }
#else
    for (;; ++from)
        if (line[from] == ',' && n-- == 0)
            return from;
#endif
}

// Field k of a line whose every eighth comma is indexed: anchors[g] is the
// offset of comma 8g + 7, so the field is found from the anchor before it
// after at most seven further commas.
template <class Offset>
inline std::string_view sparseField(const char* line, std::size_t span, std::uint64_t commaCount,
                                    const Offset* anchors, std::uint64_t k) noexcept
{
    const std::size_t group = k >> 3;
    std::size_t begin = group == 0 ? 0 : static_cast<std::size_t>(anchors[group - 1]) + 1;
    const auto skip = static_cast<unsigned>(k & 7);
    if (skip != 0)
        begin = nthComma(line, begin, skip - 1) + 1;
    const std::size_t end = k < commaCount ? nthComma(line, begin, 0) : textLength(line, span);
    return {line + begin, end - begin};
}

// Field k of a line of up to 64 bytes (span with its line end) that has at
// least k commas, found from its comma mask.
inline std::string_view maskedField(const char* line, std::size_t span, std::uint64_t k) noexcept
{
    std::uint64_t commas = commaMask(line, span);
    std::size_t begin = 0;
    for (std::uint64_t n = 0; n < k; ++n) {
        begin = static_cast<std::size_t>(std::countr_zero(commas)) + 1;
        commas &= commas - 1;
    }
    const std::size_t end = commas != 0 ? static_cast<std::size_t>(std::countr_zero(commas)) : textLength(line, span);
    return {line + begin, end - begin};
}

}  // namespace

const TakeStore::LongLine& TakeStore::longLine(std::size_t t) const noexcept
{
    return *std::lower_bound(m_longLines.begin(), m_longLines.end(), t,
                             [](const LongLine& line, std::size_t take) { return line.take < take; });
}

int TakeStore::fieldCount(int t) const noexcept
{
    if (m_linesOnly) [[unlikely]] {
        const std::string_view line = DataLines(t);
        return static_cast<int>(std::count(line.begin(), line.end(), ',')) + 1;
    }
    const auto i = static_cast<std::size_t>(t);
    const std::uint64_t span = m_index.start(i + 1) - m_index.start(i);
    if (span >= kShortLimit) [[unlikely]]
        return static_cast<int>(longLine(i).commaCount) + 1;  // below INT_MAX: longer lines are refused
    return static_cast<int>(shortCommaCount(i, span)) + 1;
}

std::string_view TakeStore::longField(std::uint64_t k, std::size_t t) const noexcept
{
    const LongLine& line = longLine(t);
    if (k > line.commaCount)
        return {};
    const std::uint64_t start = m_index.start(t);
    const std::size_t span = m_index.start(t + 1) - start;
    if (line.huge)
        return sparseField(m_data + start, span, line.commaCount, m_hugeCommas.data() + line.anchorBase, k);
    return sparseField(m_data + start, span, line.commaCount, m_longCommas.data() + line.anchorBase, k);
}

std::string_view TakeStore::field(long long p, int t) const noexcept
{
    const auto i = static_cast<std::size_t>(t);
    const std::uint64_t start = m_index.start(i);
    const std::uint64_t span = m_index.start(i + 1) - start;
    if (p < 0)
        return {};
    const auto k = static_cast<std::uint64_t>(p);
    if (m_linesOnly) [[unlikely]] {
        // No anchors: the line is walked from its start.
        const std::string_view line = DataLines(t);
        std::size_t begin = 0;
        for (std::uint64_t n = 0; n < k; ++n) {
            const std::size_t comma = line.find(',', begin);
            if (comma == std::string_view::npos)
                return {};
            begin = comma + 1;
        }
        return line.substr(begin, std::min(line.find(',', begin), line.size()) - begin);
    }
    if (span >= kShortLimit) [[unlikely]]
        return longField(k, i);
    const std::uint64_t commas = shortCommaCount(i, span);
    if (k > commas)
        return {};
    if (span <= kMaskedLineBytes)
        return maskedField(m_data + start, span, k);
    return sparseField(m_data + start, span, commas, m_shortOffsets + m_index.anchorBase(i), k);
}

namespace {

// One field of TakeStore::fields: a missing or empty one as `none`.
[[gnu::always_inline]] inline void keepField(std::string_view text, const char* none, const char*& at,
                                             std::uint64_t& length) noexcept
{
    at = text.empty() ? none : text.data();
    length = text.size();
}

}  // namespace

#if defined(DLV_WIDE_INSTRUCTIONS)
DLV_WIDE_INSTRUCTIONS void TakeStore::fieldsWide(long long p, int first, int count, const char* none,
                                                 const char** texts, std::uint64_t* lengths) const noexcept
{
    // Lines of up to 64 bytes, the whole of most tall logs' lines, are found
    // from their comma mask alone: the comma before field p is its p-th set
    // bit, picked by one deposit. Others as field() finds them.
    const auto k = static_cast<std::uint64_t>(p);
    // Each line's end is the next one's start: one index lookup a line.
    std::uint64_t next = count > 0 ? m_index.start(static_cast<std::size_t>(first)) : 0;
    for (int i = 0; i < count; ++i) {
        const auto t = static_cast<std::size_t>(first + i);
        const std::uint64_t start = next;
        next = m_index.start(t + 1);
        const std::uint64_t span = next - start;
        if (span > kMaskedLineBytes || k > 63 || m_linesOnly) [[unlikely]] {
            keepField(field(p, first + i), none, texts[i], lengths[i]);
            continue;
        }
        const char* const line = m_data + start;
        prefetchStreamAhead(line);
        std::uint64_t commas = commaMaskWide(line, span);
        std::uint64_t begin = 0;
        if (k > 0) {
            const std::uint64_t before = _pdep_u64(std::uint64_t{1} << (k - 1), commas);
            if (before == 0) {  // the line has no field p
                keepField({}, none, texts[i], lengths[i]);
                continue;
            }
            begin = static_cast<std::uint64_t>(std::countr_zero(before)) + 1;
            commas &= ~((before << 1) - 1);
        }
        const std::uint64_t end =
            commas != 0 ? static_cast<std::uint64_t>(std::countr_zero(commas)) : textLength(line, span);
        keepField(std::string_view(line + begin, end - begin), none, texts[i], lengths[i]);
    }
}
#endif

void TakeStore::fields(long long p, int first, int count, const char* none, const char** texts,
                       std::uint64_t* lengths) const noexcept
{
#if defined(DLV_WIDE_INSTRUCTIONS)
    if (useWideInstructions() && p >= 0) {
        fieldsWide(p, first, count, none, texts, lengths);
        return;
    }
#endif
    for (int i = 0; i < count; ++i)
        keepField(field(p, first + i), none, texts[i], lengths[i]);
}

const char* TakeStore::fieldHint(long long p, int t) const noexcept
{
    const auto i = static_cast<std::size_t>(t);
    const std::uint64_t start = m_index.start(i);
    const char* bytes = m_data + start;
    const std::uint64_t span = m_index.start(i + 1) - start;
    if (p < 8 || m_linesOnly || span <= kMaskedLineBytes)
        return bytes;
    const auto group = static_cast<std::uint64_t>(p) >> 3;
    const std::uint64_t base = m_index.anchorBase(i);
    if (span >= kShortLimit) [[unlikely]] {
        const LongLine& line = longLine(i);
        if (static_cast<std::uint64_t>(p) > line.commaCount)
            return bytes;
        return bytes + (line.huge ? m_hugeCommas[line.anchorBase + group - 1] : m_longCommas[line.anchorBase + group - 1]);
    }
    if (group > m_index.anchorBase(i + 1) - base)
        return bytes;
    return bytes + m_shortOffsets[base + group - 1];
}

std::optional<std::string_view> TakeStore::Get_Param_data(long long aParamNr, long long aStep) const noexcept
{
    if (aStep < 0 || aStep > lastTake())
        return std::nullopt;
    return trimSpaces(field(aParamNr, static_cast<int>(aStep)));
}

namespace {

// The counts behind the warnings about data lines, added up over the parts
// and chunks of a log in file order.
struct LineOddities {
    std::uint64_t controlBytes = 0;
    std::uint64_t firstControlTake = UINT64_MAX;  // the take holding the first control byte
    std::uint64_t fewerFields = 0;
    std::uint64_t moreFields = 0;
    std::uint64_t trailingCommas = 0;  // of moreFields: one field more, empty after a final comma
    bool firstTakeWithoutNumbers = false;  // the log's take 0 holds no number (set once, for take 0)

    // Adds those of a later chunk whose first take is take firstTake.
    void add(const LineOddities& later, std::uint64_t firstTake) noexcept
    {
        if (firstControlTake == UINT64_MAX && later.firstControlTake != UINT64_MAX)
            firstControlTake = firstTake + later.firstControlTake;
        controlBytes += later.controlBytes;
        fewerFields += later.fewerFields;
        moreFields += later.moreFields;
        trailingCommas += later.trailingCommas;
    }
};

}  // namespace

// The memory of a stream's chunk indexes, handed from one chunk to the next:
// fresh pages cost a fault each (on a virtual machine, several microseconds),
// and a chunk's index is megabytes that the next one needs again.
struct IndexScratch {
    std::vector<LineIndex> parts;  // one per part indexed at once
    LineIndex merged;              // the parts' indexes one after the other
    bool storeFromPart = false;    // the last store took its index from parts[0], not merged
};

// Builds a TakeStore from a buffer holding the whole file, or one over a
// chunk of a streamed log's data lines. Friend of TakeStore.
struct TakeStoreBuilder {
    static constexpr std::size_t kShortLimit = TakeStore::kShortLimit;  // offsets in shorter lines fit 16 bits
    static constexpr std::uint32_t kWidthLimit = TakeStore::kShownValueBytesLimit;

    const char* bytes = nullptr;
    std::size_t size = 0;        // end of the part of the buffer this builder indexes
    std::size_t paramLimit = 0;  // fields 0 .. paramLimit are shown in the grid

    // What this part of the log gives; merged into the store once every part
    // is done. The index ends with an entry for the part's end.
    LineIndex index;
    std::vector<TakeStore::LongLine> longLines;  // take numbers counted in this part
    std::vector<std::uint32_t> longCommas;
    std::vector<std::uint64_t> hugeCommas;
    std::uint64_t mostCommas = 0;  // in any one line
    std::size_t firstAnchor = 0;   // this part's first place in the short table
    bool linesOnly = false;        // no anchors and no widths: see indexLinesOnly

    // Oddities, for the warnings.
    std::uint64_t fewerFields = 0;
    std::uint64_t moreFields = 0;
    std::uint64_t trailingCommas = 0;  // of moreFields: one field more, empty after a final comma
    std::uint64_t controlBytes = 0;
    std::size_t firstControl = SIZE_MAX;  // position of the first control byte

    // State of the line being indexed.
    std::size_t lineStart = 0;
    std::size_t lineCommaBase = 0;  // index of its first anchor in the short table
    std::uint64_t lineCommas = 0;
    bool lineIsLong = false;
    bool lineIsHuge = false;        // anchors at 4 GiB and beyond: 64-bit
    std::size_t lineLongBase = 0;   // its first anchor in longCommas, or in hugeCommas when huge
    std::size_t fieldStart = 0;     // absolute position of the current field
    std::uint32_t maxField = 0;     // longest untrimmed field among 0 .. paramLimit, at most kWidthLimit
    bool lineHasSpace = false;
    std::size_t shortCount = 0;
    std::uint16_t* shortTable = nullptr;

    [[nodiscard]] static std::uint32_t width(std::size_t bytes) noexcept
    {
        return bytes < kWidthLimit ? static_cast<std::uint32_t>(bytes) : kWidthLimit;
    }

    // Ends of line 1 and 2 (title and names): position after the line end, or
    // npos if the file ends first without a line end.
    static std::size_t lineEnd(const char* b, std::size_t n, std::size_t from, std::size_t& next)
    {
        for (std::size_t i = from; i < n; ++i) {
            if (b[i] == '\n') {
                next = i + 1;
                return i;
            }
            if (b[i] == '\r') {
                next = (i + 1 < n && b[i + 1] == '\n') ? i + 2 : i + 1;
                return i;
            }
        }
        next = n;
        return n;
    }

    // Indexes a buffer that holds `size` bytes of a log followed by zeroed padding.
    static ReadResult build(std::unique_ptr<ByteBuffer> buffer, std::size_t size, std::string_view name);

    // Indexes the data lines from takesStart to size of the bytes store views
    // and sets odd to their oddities. An error message, or empty.
    // Parts of at least minPartBytes are indexed at once, one per core.
    // scratch, when given, lends the indexes' memory and gets the parts'
    // back (see IndexScratch).
    static std::string indexStore(TakeStore& store, std::size_t takesStart, std::size_t size, std::string_view name,
                                  LineOddities& odd, std::size_t minPartBytes = std::size_t{8} << 20,
                                  IndexScratch* scratch = nullptr);

    // A store over size bytes of whole data lines that it views without
    // owning them, with the given names, indexed as asked; null when it
    // cannot be built. Its index is built in scratch's memory; recycle
    // gives it back once the store is done with.
    static std::unique_ptr<TakeStore> buildChunk(const char* bytes, std::size_t size,
                                                 const std::vector<std::string>& names, ChunkIndex kind,
                                                 LineOddities& odd, IndexScratch& scratch);
    static void recycle(TakeStore& chunk, IndexScratch& scratch) noexcept
    {
        (scratch.storeFromPart ? scratch.parts.front() : scratch.merged) = std::move(chunk.m_index);
    }

    static void readNames(std::string_view line, std::vector<std::string>& names)
    {
        // Names are the fields up to the first empty one, which is kept last.
        std::size_t start = 0;
        while (true) {
            const std::size_t comma = line.find(',', start);
            std::string_view name = line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
            if (start > line.size())
                name = {};
            names.emplace_back(name);
            if (name.empty())
                break;
            if (comma == std::string_view::npos) {
                names.emplace_back();  // a line without more separators has no further field
                break;
            }
            start = comma + 1;
        }
    }

    // Moves the anchors of the line being indexed from the 16-bit table to
    // the 32-bit one, and from there to the 64-bit one.
    void makeLong()
    {
        lineIsLong = true;
        lineLongBase = longCommas.size();
        for (std::size_t i = 0; i < lineCommas / 8; ++i)
            longCommas.push_back(shortTable[lineCommaBase + i]);
        shortCount = lineCommaBase;
    }
    void makeHuge()
    {
        lineIsHuge = true;
        const std::size_t from = lineLongBase;
        lineLongBase = hugeCommas.size();
        hugeCommas.insert(hugeCommas.end(), longCommas.begin() + static_cast<std::ptrdiff_t>(from), longCommas.end());
        longCommas.resize(from);
    }

    void onComma(std::size_t pos)
    {
        const std::size_t rel = pos - lineStart;
        if (lineCommas <= paramLimit)
            maxField = std::max(maxField, width(pos - fieldStart));
        fieldStart = pos + 1;
        if (!lineIsLong && rel >= kShortLimit)
            makeLong();
        if (!lineIsHuge && rel > std::numeric_limits<std::uint32_t>::max())
            makeHuge();
        if ((lineCommas & 7) == 7) {
            if (lineIsHuge)
                hugeCommas.push_back(rel);
            else if (lineIsLong)
                longCommas.push_back(static_cast<std::uint32_t>(rel));
            else
                shortTable[shortCount++] = static_cast<std::uint16_t>(rel);
        }
        ++lineCommas;
    }

    // The line being indexed ends at pos; the next one starts at next.
    void endLine(std::size_t pos, std::size_t next)
    {
        if (lineCommas <= paramLimit)
            maxField = std::max(maxField, width(pos - fieldStart));
        if (!lineIsLong && next - lineStart >= kShortLimit)
            makeLong();
        if (lineHasSpace)
            maxField = trimmedMax(pos);
        const std::size_t take = index.size();
        std::uint32_t facts = maxField | ((lineCommas & 7) << 13);
        if (next - lineStart <= TakeStore::kMaskedLineBytes) {
            // Found from its comma mask: its anchors are given back, its
            // comma count kept whole.
            shortCount = lineCommaBase;
            facts |= static_cast<std::uint32_t>(lineCommas >> 3) << TakeStore::kMaskedEighthsShift;
        }
        index.push(lineStart, lineCommaBase, static_cast<std::uint16_t>(facts));
        if (lineIsLong)
            longLines.push_back({take, lineCommas, lineLongBase, lineIsHuge});
        mostCommas = std::max(mostCommas, lineCommas);
        countFields(pos);
    }

    // The line of lineCommas commas from lineStart to pos, against the names.
    void countFields(std::size_t pos) noexcept
    {
        if (lineCommas + 1 < paramLimit) {
            ++fewerFields;
        } else if (lineCommas + 1 > paramLimit) {
            ++moreFields;
            // The one field more may be the empty one after a comma that
            // ends the line, as a names line may end in one too.
            if (lineCommas == paramLimit && pos > lineStart && bytes[pos - 1] == ',')
                ++trailingCommas;
        }
    }

    // The widest shown field of a line with spaces, measured again with the
    // spaces trimmed, in one walk along the line.
    [[nodiscard]] std::uint32_t trimmedMax(std::size_t pos) const
    {
        const std::string_view text(bytes + lineStart, pos - lineStart);
        const std::uint64_t last = std::min<std::uint64_t>(paramLimit, lineCommas);
        std::uint32_t longest = 0;
        std::size_t start = 0;
        for (std::uint64_t k = 0; k <= last; ++k) {
            const std::size_t comma = std::min(text.find(',', start), text.size());
            longest = std::max(longest, width(trimSpaces(text.substr(start, comma - start)).size()));
            start = comma + 1;
        }
        return longest;
    }

    // Counts the control bytes (below 32 but TAB, CR and LF) among n bytes from pos.
    void countControlBytes(std::size_t pos, std::size_t n) noexcept
    {
        for (std::size_t i = pos; i < pos + n; ++i) {
            const auto c = static_cast<unsigned char>(bytes[i]);
            if (c < 32 && c != '\t' && c != '\n' && c != '\r') {
                firstControl = std::min(firstControl, i);
                ++controlBytes;
            }
        }
    }

    void startLine(std::size_t pos)
    {
        lineStart = pos;
        fieldStart = pos;
        lineCommaBase = shortCount;
        lineCommas = 0;
        lineIsLong = false;
        lineIsHuge = false;
        maxField = 0;
    }

    // The usual comma: a short line, its offset fits 16 bits. Kept small so
    // that it inlines into the scanning loop.
    inline __attribute__((always_inline)) void onShortComma(std::size_t pos)
    {
        const std::size_t rel = pos - lineStart;
        if (rel >= kShortLimit || lineIsLong) [[unlikely]] {
            onComma(pos);
            return;
        }
        if (lineCommas <= paramLimit) {
            const auto w = width(pos - fieldStart);
            maxField = w > maxField ? w : maxField;
        }
        fieldStart = pos + 1;
        if ((lineCommas & 7) == 7)
            shortTable[shortCount++] = static_cast<std::uint16_t>(rel);
        ++lineCommas;
    }

    // Whether bits holds a run of more than n one bits.
    static bool hasRunLongerThan(std::uint64_t bits, std::uint32_t n) noexcept
    {
        if (n >= 64)
            return false;
        // After the loop, bit i is set when bits i .. i + len - 1 all were.
        std::uint32_t len = 1;
        const std::uint32_t wanted = n + 1;
        while (len * 2 <= wanted) {
            bits &= bits >> len;
            len *= 2;
        }
        bits &= bits >> (wanted - len);
        return bits != 0;
    }

    static std::uint32_t longestRun(std::uint64_t bits) noexcept
    {
        std::uint32_t n = 0;
        for (; bits != 0; ++n)
            bits &= bits >> 1;
        return n;
    }

    // A comma, CR or LF at pos, in file order.
    void visit(std::size_t pos, bool& skipLf)
    {
        const char c = bytes[pos];
        if (skipLf && pos != lineStart)
            skipLf = false;
        if (c == ',') {
            onShortComma(pos);
        } else if (c == '\n') {
            if (skipLf) {  // the LF of a CR LF pair
                skipLf = false;
                startLine(pos + 1);
                return;
            }
            endLine(pos, pos + 1);
            startLine(pos + 1);
        } else {  // CR
            endLine(pos, pos + 1 < size && bytes[pos + 1] == '\n' ? pos + 2 : pos + 1);
            startLine(pos + 1);
            skipLf = true;
        }
    }

    // Indexes the data lines from `from` to the end of the buffer in one
    // pass: 64 bytes at a time are compared with ',', CR and LF, and only the
    // positions found are visited. Blocks without a line end, by far the most,
    // take a short loop over their commas.
    void indexTakes(std::size_t from)
    {
        if (from < size) {  // else no data line: a line end after the names adds no take
            if (linesOnly) {
#if defined(DLV_WIDE_INSTRUCTIONS)
                if (useWideInstructions())
                    indexLinesOnlyWide(from);
                else
#endif
                    indexLinesOnly<false>(from);
            } else
                indexLines(from);
        }
        index.push(size, shortCount, 0);
    }

    // Room in the line table for a guess at the number of lines from the
    // first one, so that the table is rarely copied while it grows; capped,
    // so that a short first line does not reserve far more than the part
    // can need.
    void reserveLines(std::size_t from)
    {
        const std::size_t probe = std::min<std::size_t>(size - from, std::size_t{1} << 20);
        const char* firstEnd = static_cast<const char*>(std::memchr(bytes + from, '\n', probe));
        const std::size_t firstLength = firstEnd ? static_cast<std::size_t>(firstEnd - bytes) - from + 1 : probe;
        const std::size_t guess = std::min((size - from) / std::max<std::size_t>(firstLength, 1) * 9 / 8 + 16,
                                           (size - from) / 64 + 16);
        index.reserve(guess + 1);
    }

#if defined(DLV_WIDE_INSTRUCTIONS)
    // indexLinesOnly built with POPCNT, which counts a block's commas in
    // one instruction: streaming the chunks of a 300,000 x 256 log took
    // 45.5 ms of processor time with it instead of 54.
    DLV_WIDE_INSTRUCTIONS void indexLinesOnlyWide(std::size_t from) { indexLinesOnly<true>(from); }
#endif

    // The data lines from `from` on with no anchors and no widths: only
    // where each line starts, and its commas counted for the warnings.
    template <bool kPopcnt>
    [[gnu::always_inline]] void indexLinesOnly(std::size_t from)
    {
        reserveLines(from);
        lineStart = from;
        lineCommas = 0;
        bool skipLf = false;  // the last line end was a CR: an LF right after it belongs to it
        // A line end at pos, in file order.
        auto endAt = [&](std::size_t pos) {
            const char c = bytes[pos];
            if (c == '\n' && skipLf && pos == lineStart) {
                skipLf = false;
                lineStart = pos + 1;
                return;
            }
            endBareLine(pos);
            lineStart = pos + 1;
            skipLf = c == '\r';
        };
        std::size_t i = from;
#if DLV_HAVE_SSE2
        for (; i + 64 <= size; i += 64) {
            prefetchStreamAhead(bytes + i);
            const BlockMasks block = scanBlock(bytes + i);
            std::uint64_t commas = block.commas;
            std::uint64_t ends = block.ends;
            if (block.control) [[unlikely]]
                countControlBytes(i, 64);
            while (ends != 0) {
                const auto b = static_cast<unsigned>(__builtin_ctzll(ends));
                ends &= ends - 1;
                const std::uint64_t before = (std::uint64_t{1} << b) - 1;
                lineCommas += countBitsWith<kPopcnt>(commas & before);
                commas &= ~before;
                endAt(i + b);
            }
            lineCommas += countBitsWith<kPopcnt>(commas);
        }
#endif
        countControlBytes(i, size - i);
        for (; i < size; ++i) {
            if (bytes[i] == ',')
                ++lineCommas;
            else if (bytes[i] == '\n' || bytes[i] == '\r')
                endAt(i);
        }
        // The end of the file ends the last line; after a final line end there is no further take.
        if (lineStart < size)
            endBareLine(size);
    }

    // The line being indexed without anchors ends: its entry and its counts.
    void endBareLine(std::size_t pos)
    {
        index.push(lineStart, 0, 0);
        mostCommas = std::max(mostCommas, lineCommas);
        countFields(pos);
        lineCommas = 0;
    }

    // The commas of the 64-byte block at i that commas marks, none of them
    // past a line end, as onShortComma would take them one after the other.
    [[gnu::always_inline]] void shortCommas(std::size_t i, std::uint64_t commas)
    {
        if (commas == 0)
            return;
        const auto count = static_cast<std::uint32_t>(countBits(commas));
        if (!lineIsLong && i + 64 - lineStart < kShortLimit && lineCommas + count <= paramLimit) {
            // Every one of these commas ends a shown field of a short
            // line: no test per comma. The widths come from the gaps
            // between commas, the anchors from every eighth comma.
            const unsigned first = static_cast<unsigned>(__builtin_ctzll(commas));
            const unsigned last = 63u - static_cast<unsigned>(__builtin_clzll(commas));
            std::uint32_t widest = std::max(maxField, static_cast<std::uint32_t>(i + first - fieldStart));
            if (count > 1) {
                // The non-comma bytes strictly between the first and the last comma.
                const std::uint64_t inside = (~std::uint64_t{0} >> (63u - last)) & ~((std::uint64_t{2} << first) - 1);
                const std::uint64_t gaps = ~commas & inside;
                if (hasRunLongerThan(gaps, widest))
                    widest = longestRun(gaps);
            }
            maxField = std::min(widest, kWidthLimit);
            fieldStart = i + last + 1;
            // Anchors: the commas whose number in the line is 7 mod 8.
            unsigned skip = 7u - (lineCommas & 7u);
            unsigned left = count;
            std::uint64_t m = commas;
            while (skip < left) {
                left -= skip + 1;
                for (; skip != 0; --skip)
                    m &= m - 1;
                shortTable[shortCount++] = static_cast<std::uint16_t>(i + static_cast<std::size_t>(__builtin_ctzll(m)) - lineStart);
                m &= m - 1;
                skip = 7;
            }
            lineCommas += count;
            return;
        }
        while (commas != 0) {
            onShortComma(i + static_cast<std::size_t>(__builtin_ctzll(commas)));
            commas &= commas - 1;
        }
    }

    void indexLines(std::size_t from)
    {
        reserveLines(from);
        startLine(from);
        bool skipLf = false;  // an LF right after a CR belongs to that line end
        std::size_t i = from;
#if DLV_HAVE_SSE2
        for (; i + 64 <= size; i += 64) {
            prefetchStreamAhead(bytes + i);
            const BlockMasks block = scanBlock(bytes + i);
            std::uint64_t commas = block.commas;
            const std::uint64_t ends = block.ends;
            const std::uint64_t spaces = block.spaces;
            if (block.control) [[unlikely]]
                countControlBytes(i, 64);
            // A space anywhere in the block may start or end a value, so the
            // lines it touches get their widths measured with trimming.
            const bool blockSpace = spaces != 0;
            lineHasSpace |= blockSpace;
            if (ends == 0) {
                skipLf = false;
                shortCommas(i, commas);
                continue;
            }
            // The commas before each line end, then the end: in file order,
            // as visiting every position one by one would take them. A comma
            // leaves skipLf alone: the visit of the next line end sees to it.
            std::uint64_t rest = commas;
            for (std::uint64_t left = ends; left != 0; left &= left - 1) {
                const auto b = static_cast<unsigned>(__builtin_ctzll(left));
                const std::uint64_t before = (std::uint64_t{1} << b) - 1;
                shortCommas(i, rest & before);
                rest &= ~before;
                visit(i + b, skipLf);
                lineHasSpace = blockSpace;
            }
            shortCommas(i, rest);
        }
#endif
        countControlBytes(i, size - i);
        for (; i < size; ++i) {
            const char c = bytes[i];
            if (c == ' ')
                lineHasSpace = true;
            if (c == ',' || c == '\n' || c == '\r') {
                visit(i, skipLf);
                if (c != ',')
                    lineHasSpace = false;
            }
        }
        // The end of the file ends the last line; after a final line end there is no further take.
        if (lineStart < size)
            endLine(size, size);
    }
};

namespace {

ReadResult failure(std::string message)
{
    ReadResult result;
    result.error = std::move(message);
    return result;
}

std::string megabytes(std::size_t bytes)
{
    return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB";
}

// The file's bytes did not fit.
std::string memoryMessage(std::string_view name, std::size_t bytes)
{
    return "Cannot read " + inQuotes(name) + ": not enough memory for a log of " + megabytes(bytes);
}

// The bytes fitted, the index of the lines did not.
std::string indexMemoryMessage(std::string_view name, std::size_t bytes)
{
    return "Cannot read " + inQuotes(name) + ": not enough memory for the index of its lines (the log itself, " +
           megabytes(bytes) + ", fitted)";
}

}  // namespace

bool holdsNumber(std::string_view line) noexcept
{
    for (std::size_t start = 0;;) {
        const std::size_t comma = line.find(',', start);
        const std::string_view field = line.substr(start, comma == std::string_view::npos ? line.npos : comma - start);
        if (parseNumber(field))
            return true;
        if (comma == std::string_view::npos)
            return false;
        start = comma + 1;
    }
}

// Whether the first take of store (the log's take 0 when store holds the
// start of the log) holds no number: a line of units read as a take. O(its line).
static bool firstTakeHoldsNoNumber(const TakeStore& store) noexcept
{
    return store.takeCount() > 0 && !holdsNumber(store.DataLines(0));
}

// The warnings about the names line, from its text.
static void namesWarnings(std::string_view names, std::vector<ReadWarning>& warnings)
{
    const auto commas = static_cast<std::size_t>(std::count(names.begin(), names.end(), ','));
    const auto semicolons = static_cast<std::size_t>(std::count(names.begin(), names.end(), ';'));
    const auto tabs = static_cast<std::size_t>(std::count(names.begin(), names.end(), '\t'));
    if (semicolons > commas && semicolons >= tabs)
        warnings.push_back({ReadWarning::Kind::NamesSeparatedBySemicolon, semicolons,
                            "the names line looks separated by ';' (" + groupedCount(semicolons) +
                                " of them), not by commas"});
    else if (tabs > commas)
        warnings.push_back({ReadWarning::Kind::NamesSeparatedByTab, tabs,
                            "the names line looks separated by TAB (" + groupedCount(tabs) + " of them), not by commas"});
    else if (commas == 0)
        warnings.push_back({ReadWarning::Kind::NoCommaInNames, 1, "the names line has no comma: the log has one parameter"});
}

static std::string takesText(std::uint64_t count, std::string_view what)
{
    return groupedCount(count) + (count == 1 ? " take has " : " takes have ") + std::string(what);
}

// Whether the names line ends in a comma that follows its last name: its
// first empty field is the one after that comma.
static bool endsInListComma(std::string_view names)
{
    if (names.size() < 2 || names.back() != ',')
        return false;
    std::size_t start = 0;
    for (std::size_t comma = names.find(','); comma != std::string_view::npos; comma = names.find(',', start)) {
        if (comma == start)
            return false;  // an empty field before the end
        start = comma + 1;
    }
    return true;
}

// The reader's warnings: those about the names line, and those counted over
// the data lines. Line numbers count from 1 for the title line.
static std::vector<ReadWarning> readWarnings(std::string_view namesLine, const LineOddities& odd)
{
    std::vector<ReadWarning> warnings;
    namesWarnings(namesLine, warnings);
    // A log separated by ';' or TAB has no number between commas anywhere:
    // the names line's warning already says why.
    const bool otherSeparator = !warnings.empty() && warnings.front().kind != ReadWarning::Kind::NoCommaInNames;
    std::uint64_t namesControl = 0;
    for (const char byte : namesLine) {
        const auto c = static_cast<unsigned char>(byte);
        if (c < 32 && c != '\t')
            ++namesControl;
    }
    const std::uint64_t control = namesControl + odd.controlBytes;
    if (control != 0) {
        const std::string where = namesControl != 0 ? "the names line" : "line " + groupedCount(odd.firstControlTake + 3);
        warnings.push_back({ReadWarning::Kind::ControlBytes, control,
                            groupedCount(control) + (control == 1 ? " byte is NUL" : " bytes are NUL") +
                                " or another control character (the first in " + where + ")"});
    }
    if (odd.fewerFields != 0)
        warnings.push_back({ReadWarning::Kind::FewerFieldsThanNames, odd.fewerFields,
                            takesText(odd.fewerFields, "fewer fields than the names line")});
    // A names line that ends in a comma right after its last name has that
    // same empty field: takes that end so have no field more than it.
    const std::uint64_t more = odd.moreFields - (endsInListComma(namesLine) ? odd.trailingCommas : 0);
    if (more != 0)
        warnings.push_back({ReadWarning::Kind::MoreFieldsThanNames, more,
                            takesText(more, "more fields than the names line")});
    if (odd.firstTakeWithoutNumbers && !otherSeparator)
        warnings.push_back({ReadWarning::Kind::NoNumbersInFirstTake, 1,
                            "take 0 (line 3) holds no numbers: is it a line of units?"});
    return warnings;
}

// Where line 2 (the names) starts and ends, and where the takes start, in
// the first size bytes of a log; namesStart is size or more when the log has
// fewer than two lines.
struct HeaderLines {
    std::size_t namesStart = 0;
    std::size_t namesEnd = 0;
    std::size_t takesStart = 0;
};

static HeaderLines headerLines(const char* bytes, std::size_t size)
{
    HeaderLines h;
    TakeStoreBuilder::lineEnd(bytes, size, 0, h.namesStart);
    if (h.namesStart < size)
        h.namesEnd = TakeStoreBuilder::lineEnd(bytes, size, h.namesStart, h.takesStart);
    return h;
}

ReadResult TakeStoreBuilder::build(std::unique_ptr<ByteBuffer> buffer, std::size_t size, std::string_view name)
{
    try {
        std::unique_ptr<TakeStore> store(new TakeStore());
        const char* bytes = buffer->data();

        const HeaderLines header = headerLines(bytes, size);
        if (header.namesStart >= size)
            return failure(inQuotes(name) + " is not a data log: it has fewer than two lines");
        const std::string_view namesLine(bytes + header.namesStart, header.namesEnd - header.namesStart);
        try {
            readNames(namesLine, store->m_paramNames);
        } catch (const std::bad_alloc&) {
            return failure("Cannot read " + inQuotes(name) + ": not enough memory for the names in its names line (" +
                           megabytes(namesLine.size()) + ")");
        }
        store->m_data = bytes;
        store->m_bytes = std::move(buffer);
        store->m_fileBytes = size;
        LineOddities odd;
        std::string error = indexStore(*store, header.takesStart, size, name, odd);
        if (!error.empty())
            return failure(std::move(error));
        odd.firstTakeWithoutNumbers = firstTakeHoldsNoNumber(*store);

        ReadResult result;
        result.warnings = readWarnings(namesLine, odd);
        result.store = std::shared_ptr<const TakeStore>(std::move(store));
        return result;
    } catch (const std::bad_alloc&) {
        return failure(indexMemoryMessage(name, size));
    } catch (const std::exception& e) {
        return failure("Cannot read " + inQuotes(name) + ": " + e.what());
    }
}

std::unique_ptr<TakeStore> TakeStoreBuilder::buildChunk(const char* bytes, std::size_t size,
                                                        const std::vector<std::string>& names, ChunkIndex kind,
                                                        LineOddities& odd, IndexScratch& scratch)
{
    std::unique_ptr<TakeStore> store(new TakeStore());
    store->m_paramNames = names;
    store->m_data = bytes;
    store->m_fileBytes = size;
    store->m_linesOnly = kind == ChunkIndex::Lines;
    // A chunk is small enough to stay in cache from its indexing to the
    // pass over its takes; it is still indexed on every core.
    if (!indexStore(*store, 0, size, "log", odd, std::size_t{1} << 20, &scratch).empty())
        return nullptr;
    return store;
}

std::string TakeStoreBuilder::indexStore(TakeStore& store, std::size_t takesStart, std::size_t size,
                                         std::string_view name, LineOddities& odd, std::size_t minPartBytes,
                                         IndexScratch* scratch)
{
    odd = LineOddities{};
    const char* bytes = store.m_data;
    const std::size_t paramLimit = store.m_paramNames.size() - 1;
    // An anchor for every eighth comma, so at most one per eight bytes;
    // only the part written is ever touched.
    std::uint16_t* shortTable = nullptr;
    if (!store.m_linesOnly) {
        store.m_shortCommas = ByteBuffer::reserve((size / 8 + 1) * sizeof(std::uint16_t));
        if (!store.m_shortCommas)
            return indexMemoryMessage(name, size);
        shortTable = reinterpret_cast<std::uint16_t*>(store.m_shortCommas->data());
        store.m_shortOffsets = shortTable;
    }
    // Big logs are indexed in parts at once, one per core. Each part
    // writes its anchors from the table position of its distance from
    // the first take divided by eight: a part cannot have more anchors
    // than an eighth of its bytes, so the parts never overlap.
    const std::vector<std::size_t> starts =
        size > takesStart ? partStarts(bytes, takesStart, size, partCount(size - takesStart, minPartBytes))
                          : std::vector<std::size_t>{takesStart};
    std::vector<TakeStoreBuilder> builders;
    builders.reserve(starts.size());
    for (std::size_t k = 0; k < starts.size(); ++k) {
        TakeStoreBuilder& b = builders.emplace_back();
        b.bytes = bytes;
        b.size = k + 1 < starts.size() ? starts[k + 1] : size;
        b.paramLimit = paramLimit;
        b.shortTable = shortTable;
        b.linesOnly = store.m_linesOnly;
        b.firstAnchor = b.shortCount = b.linesOnly ? 0 : (starts[k] - takesStart) / 8;
        if (scratch && k < scratch->parts.size()) {
            b.index = std::move(scratch->parts[k]);
            b.index.clear();
        }
    }
    runParts(builders.size(), [&](std::size_t k) { builders[k].indexTakes(starts[k]); });

    // The parts' indexes one after the other, their anchors moved
    // together; each part's last entry (its end) is the next one's first.
    std::size_t lineCount = 0;
    for (const TakeStoreBuilder& b : builders)
        lineCount += b.index.size() - 1;
    if (lineCount > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return "Cannot read " + inQuotes(name) + ": it has more than " +
               groupedCount(static_cast<std::uint64_t>(std::numeric_limits<int>::max())) + " takes";
    if (scratch) {
        scratch->parts.resize(std::max(scratch->parts.size(), builders.size()));
        scratch->storeFromPart = builders.size() == 1;
    }
    if (builders.size() == 1) {
        store.m_index = std::move(builders[0].index);
        store.m_longLines = std::move(builders[0].longLines);
        store.m_longCommas = std::move(builders[0].longCommas);
        store.m_hugeCommas = std::move(builders[0].hugeCommas);
    } else {
        if (scratch) {
            store.m_index = std::move(scratch->merged);
            store.m_index.clear();
        }
        store.m_index.reserve(lineCount + 1);
        std::size_t anchors = 0;
        for (std::size_t k = 0; k < builders.size(); ++k) {
            TakeStoreBuilder& b = builders[k];
            const std::size_t partAnchors = b.shortCount - b.firstAnchor;
            if (partAnchors != 0)
                std::memmove(shortTable + anchors, shortTable + b.firstAnchor, partAnchors * sizeof(std::uint16_t));
            const std::size_t takeBase = store.m_index.size();
            const bool last = k + 1 == builders.size();
            store.m_index.append(b.index, b.index.size() - (last ? 0 : 1), b.firstAnchor - anchors);
            for (TakeStore::LongLine line : b.longLines) {
                line.take += takeBase;
                line.anchorBase += line.huge ? store.m_hugeCommas.size() : store.m_longCommas.size();
                store.m_longLines.push_back(line);
            }
            store.m_longCommas.insert(store.m_longCommas.end(), b.longCommas.begin(), b.longCommas.end());
            store.m_hugeCommas.insert(store.m_hugeCommas.end(), b.hugeCommas.begin(), b.hugeCommas.end());
            anchors += partAnchors;
            // Given back as soon as it is copied, or kept for the next chunk.
            if (scratch)
                scratch->parts[k] = std::move(b.index);
            else
                b.index = LineIndex();
        }
        // Where the later parts wrote before their anchors moved down.
        if (store.m_shortCommas) {
            const std::size_t used = anchors * sizeof(std::uint16_t);
            store.m_shortCommas->discard(used, store.m_shortCommas->capacity() - used);
        }
    }
    store.m_takeCount = static_cast<int>(lineCount);
    std::uint64_t mostCommas = 0;
    for (const TakeStoreBuilder& b : builders)
        mostCommas = std::max(mostCommas, b.mostCommas);
    store.m_mostFields = lineCount == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(mostCommas + 1, std::numeric_limits<int>::max()));
    if (mostCommas >= static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
        return "Cannot read " + inQuotes(name) + ": a take has more than " +
               groupedCount(static_cast<std::uint64_t>(std::numeric_limits<int>::max())) + " fields";
    // Only a guess far off is given back: shrinking copies the table. A
    // chunk's index keeps its room for the next chunk.
    if (!scratch && store.m_index.capacityBytes() > LineIndex::bytesFor(lineCount + lineCount / 4 + 1024))
        store.m_index.shrinkToFit();

    for (const TakeStoreBuilder& b : builders) {
        odd.controlBytes += b.controlBytes;
        odd.fewerFields += b.fewerFields;
        odd.moreFields += b.moreFields;
        odd.trailingCommas += b.trailingCommas;
    }
    if (odd.controlBytes != 0) {
        std::size_t firstControl = SIZE_MAX;
        for (const TakeStoreBuilder& b : builders)
            firstControl = std::min(firstControl, b.firstControl);
        odd.firstControlTake = store.m_index.lineAt(firstControl);
    }
    return {};
}

namespace {

constexpr std::size_t kMinReadPartBytes = std::size_t{16} << 20;

std::size_t physicalMemoryBytes() noexcept
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return SIZE_MAX;  // unknown: let the reservation decide
    return static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
}

}  // namespace

ReadResult readDataLogBuffer(std::unique_ptr<ByteBuffer> buffer, std::size_t size, std::string_view displayName) noexcept
{
    try {
        if (!buffer || size > buffer->capacity())
            return failure("Cannot read " + inQuotes(displayName) + ": no buffer of " + std::to_string(size) + " bytes");
        return TakeStoreBuilder::build(std::move(buffer), size, displayName);
    } catch (...) {
        return failure(indexMemoryMessage(displayName, size));
    }
}

ReadResult readDataLogBytes(std::string_view bytes, std::string_view displayName) noexcept
{
    try {
        auto buffer = ByteBuffer::reserve(bytes.size());
        if (!buffer)
            return failure(memoryMessage(displayName, bytes.size()));
        if (!bytes.empty())
            std::memcpy(buffer->data(), bytes.data(), bytes.size());
        return TakeStoreBuilder::build(std::move(buffer), bytes.size(), displayName);
    } catch (...) {
        return failure(memoryMessage(displayName, bytes.size()));
    }
}

namespace {

// Reads a file whose size the system does not tell (those under /proc and
// /sys say 0) to its end, in growing steps, up to the machine's memory.
ReadResult readStream(int fd, const std::string& name, const LogBuilder& build)
{
    std::string bytes;
    std::size_t step = std::size_t{64} << 10;
    while (true) {
        if (bytes.size() + step > physicalMemoryBytes())
            return failure(memoryMessage(name, bytes.size() + step));
        const std::size_t at = bytes.size();
        bytes.resize(at + step);
        const ssize_t n = ::read(fd, bytes.data() + at, step);
        if (n < 0) {
            bytes.resize(at);
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                break;  // nothing more to read now
            return failure("Cannot read " + inQuotes(name) + ": " + errorReason(errno));
        }
        bytes.resize(at + static_cast<std::size_t>(n));
        if (n == 0)
            break;
        step = std::min(step * 2, std::size_t{64} << 20);
    }
    auto buffer = ByteBuffer::reserve(bytes.size());
    if (!buffer)
        return failure(memoryMessage(name, bytes.size()));
    if (!bytes.empty())
        std::memcpy(buffer->data(), bytes.data(), bytes.size());
    const std::size_t size = bytes.size();
    std::string().swap(bytes);
    return build(std::move(buffer), size, name);
}

}  // namespace

namespace {

// What the system tells about a file that any write or cut changes.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    explicit FileStamp(const struct stat& info) noexcept
        : device(info.st_dev), inode(info.st_ino), size(info.st_size), modified(info.st_mtim), changed(info.st_ctim) {}

    [[nodiscard]] bool operator==(const FileStamp& other) const noexcept
    {
        auto same = [](const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; };
        return device == other.device && inode == other.inode && size == other.size &&
               same(modified, other.modified) && same(changed, other.changed);
    }
};

// Whether an unchanged stamp proves that nothing was written while the file
// was read: file times come from a clock that ticks coarsely (milliseconds,
// whole seconds on some file systems), so a write within the same tick as
// the last one may leave them as they were. A file last changed two seconds
// or more before the reading began is safe from that.
[[nodiscard]] bool unchangedWhileRead(const FileStamp& before, const FileStamp& after, const timespec& began) noexcept
{
    return before == after && before.changed.tv_sec + 2 < began.tv_sec;
}

// A 64-bit digest of bytes, for telling whether two readings of a file got
// the same bytes without keeping both; four lanes keep the multiplier busy.
[[nodiscard]] std::uint64_t digestOf(const char* bytes, std::size_t size) noexcept
{
    constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15u;
    std::uint64_t lanes[4] = {size, 1, 2, 3};
    std::size_t i = 0;
    for (; i + 32 <= size; i += 32)
        for (std::size_t k = 0; k < 4; ++k) {
            std::uint64_t word;
            std::memcpy(&word, bytes + i + 8 * k, 8);
            const std::uint64_t mixed = lanes[k] ^ word;
            lanes[k] = ((mixed << 29) | (mixed >> 35)) * kOdd;
        }
    std::uint64_t tail = 0;
    for (; i < size; ++i)
        tail = (tail << 8 | static_cast<unsigned char>(bytes[i])) * kOdd;
    std::uint64_t digest = tail;
    for (const std::uint64_t lane : lanes)
        digest = ((digest ^ lane) * kOdd) ^ (digest >> 31);
    return digest;
}

// One reading of the first `size` bytes of a file into buffer.
struct ReadPass {
    std::size_t done = 0;  // bytes read without a gap from the start
    int error = 0;         // errno of a failed read, else 0
};

// Where part k of the parts a reading of size bytes is split into starts.
[[nodiscard]] std::size_t readPartStart(std::size_t size, std::size_t parts, std::size_t k) noexcept
{
    return k == parts ? size : size / parts * k;
}

// A big log is read in parts at once, one per core: copying it out of the
// page cache, and the first touch of each page of the buffer, cost about as
// much as indexing it. Smaller pieces when someone follows the progress.
// The bytes land at buffer[0 ..] from the file's byte fileOffset on; parts
// of at least minPartBytes are read at once.
ReadPass readPass(int fd, char* buffer, std::size_t size, ReadControl* control, std::uint64_t fileOffset = 0,
                  std::size_t minPartBytes = kMinReadPartBytes)
{
    const std::size_t parts = partCount(size, minPartBytes);
    std::vector<std::size_t> got(parts, 0);
    std::vector<int> errors(parts, 0);
    runParts(parts, [&](std::size_t k) {
        const std::size_t from = readPartStart(size, parts, k);
        const std::size_t to = readPartStart(size, parts, k + 1);
        std::size_t at = from;
        while (at < to) {
            if (control && control->cancel.load(std::memory_order_relaxed))
                break;
            const std::size_t chunk = std::min<std::size_t>(to - at, (control ? std::size_t{4} : std::size_t{64}) << 20);
            const ssize_t n = ::pread(fd, buffer + at, chunk, static_cast<off_t>(fileOffset + at));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                errors[k] = errno;
                break;
            }
            if (n == 0)
                break;  // the file got shorter while it was read
            at += static_cast<std::size_t>(n);
            if (control)
                control->bytesRead.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
        }
        got[k] = at - from;
    });
    ReadPass pass;
    for (const int error : errors)
        if (error != 0 && pass.error == 0)
            pass.error = error;
    // After a part that came back short (the file was cut), nothing further
    // counts: the bytes would not follow on.
    for (std::size_t k = 0; k < parts; ++k) {
        pass.done += got[k];
        if (got[k] < readPartStart(size, parts, k + 1) - readPartStart(size, parts, k))
            break;
    }
    return pass;
}

// Digests of the parts of size bytes, computed in parts at once.
std::vector<std::uint64_t> partDigests(const char* bytes, std::size_t size)
{
    const std::size_t parts = partCount(size, kMinReadPartBytes);
    std::vector<std::uint64_t> digests(parts, 0);
    runParts(parts, [&](std::size_t k) {
        const std::size_t from = readPartStart(size, parts, k);
        digests[k] = digestOf(bytes + from, readPartStart(size, parts, k + 1) - from);
    });
    return digests;
}

// How often a file that changes while it is read is read again before the
// reading gives up, and the pause before each further reading (times the
// number of readings so far), which lets a writer's burst pass.
constexpr int kReadPasses = 6;
constexpr auto kPassPause = std::chrono::milliseconds(2);

}  // namespace

ReadResult readDataLog(const std::filesystem::path& path, ReadControl* control) noexcept
{
    return readLogFile(path, control, [](std::unique_ptr<ByteBuffer> buffer, std::size_t size, std::string_view name) {
        return readDataLogBuffer(std::move(buffer), size, name);
    });
}

ReadResult readLogFile(const std::filesystem::path& path, ReadControl* control, const LogBuilder& build) noexcept
{
    std::string name;
    try {
        name = path.native();
        const RegularFile opened = openRegularFile(path);
        if (!opened.ok())
            return failure("Cannot open " + inQuotes(name) + ": " + opened.error);
        const FileHandle& file = opened.file;
        const struct stat& info = opened.info;
        if (info.st_size == 0)
            return readStream(file.get(), name, build);

        // A log that is still being written is read up to the size it had
        // when it was opened; reading it again later shows the new takes.
        std::size_t size = static_cast<std::size_t>(info.st_size);
        // The buffer is reserved without backing store, so only reading would
        // find out that the file does not fit, by the system killing the
        // program; a log larger than the machine's memory is refused here.
        if (size > physicalMemoryBytes())
            return failure(memoryMessage(name, size));
        // Mapped where no one can change the file while it is mapped (see
        // file_mapping.h): then it is one version of the file, as it is
        // now. Otherwise copied: a plain mapping would show whatever a
        // writer later puts into the file, under an index built for the
        // old bytes, and fault where a writer cut it.
        if (std::unique_ptr<FileMapping> mapped = FileMapping::map(file.get())) {
            if (control)
                control->bytesRead.fetch_add(mapped->size());
            const std::size_t mappedSize = mapped->size();
            std::unique_ptr<ByteBuffer> bytes = ByteBuffer::ofFile(std::move(mapped));
            if (!bytes)
                return failure(memoryMessage(name, mappedSize));
            return build(std::move(bytes), mappedSize, name);
        }
        auto buffer = ByteBuffer::reserve(size);
        if (!buffer)
            return failure(memoryMessage(name, size));
        ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

        // Appending leaves the bytes read in place, but a writer that cuts
        // the file back and writes it again between the pieces of a reading
        // would splice two versions together. A reading counts when the file
        // provably did not change during it, or when the reading before it
        // got the same bytes; a file cut shorter is read again up to its new
        // size.
        std::vector<std::uint64_t> previous;  // digests of the last whole reading that did not count by itself
        for (int passes = 0; passes < kReadPasses; ++passes) {
            if (passes > 0)
                std::this_thread::sleep_for(kPassPause * passes);
            timespec began{};
            ::clock_gettime(CLOCK_REALTIME, &began);
            struct stat before {};
            if (::fstat(file.get(), &before) != 0)
                return failure("Cannot read " + inQuotes(name) + ": " + errorReason(errno));
            const ReadPass pass = readPass(file.get(), buffer->data(), size, control);
            if (control && control->cancel.load())
                return failure("Reading " + inQuotes(name) + " was cancelled");
            if (pass.error != 0)
                return failure("Cannot read " + inQuotes(name) + ": " + errorReason(pass.error));
            struct stat after {};
            if (::fstat(file.get(), &after) != 0)
                return failure("Cannot read " + inQuotes(name) + ": " + errorReason(errno));
            if (pass.done < size) {
                size = pass.done;  // cut shorter: its new end is what can be read
                previous.clear();
                continue;
            }
            if (unchangedWhileRead(FileStamp(before), FileStamp(after), began))
                return build(std::move(buffer), size, name);
            std::vector<std::uint64_t> digests = partDigests(buffer->data(), size);
            if (digests == previous)
                return build(std::move(buffer), size, name);
            previous = std::move(digests);
        }
        return failure("Cannot read " + inQuotes(name) + ": it changed while it was read; try again");
    } catch (...) {
        return failure("Cannot read " + (name.empty() ? std::string("the log") : inQuotes(name)) + ": not enough memory");
    }
}

namespace {

// Reads n bytes of a streamed log from its byte offset on into to; false
// when they could not all be read.
using ReadAt = std::function<bool(char* to, std::size_t n, std::uint64_t offset)>;

// A piece of a log as a streaming read it, with the digest of its bytes
// when asked for: reading the pieces again must give the same digests.
struct StreamSpan {
    std::uint64_t offset;
    std::size_t bytes;
    std::uint64_t digest;
};

// Where a chunk of n bytes of data lines that more bytes follow is cut: after
// its last line end whose kind it tells (a CR as its last byte may be the
// first half of a CR LF); 0 when it has none.
std::size_t chunkCut(const char* bytes, std::size_t n) noexcept
{
    if (n == 0)
        return 0;
    if (bytes[n - 1] == '\n')
        return n;
    const auto* lf = static_cast<const char*>(::memrchr(bytes, '\n', n - 1));
    const std::size_t from = lf ? static_cast<std::size_t>(lf - bytes) + 1 : 0;
    const auto* cr = static_cast<const char*>(::memrchr(bytes + from, '\r', n - 1 - from));
    return cr ? static_cast<std::size_t>(cr - bytes) + 1 : from;
}

// The first bytes of a log of size bytes up to the start of its takes, read
// in growing steps; nullopt when they cannot be read, the log has fewer than
// two lines, or its names line is too long to be worth streaming.
std::optional<std::string> readHeader(std::uint64_t size, const ReadAt& readAt)
{
    constexpr std::size_t kMaxHeaderBytes = std::size_t{64} << 20;
    std::string header;
    for (std::size_t want = std::size_t{64} << 10;; want *= 2) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(want, size));
        header.resize(n);
        if (n != 0 && !readAt(header.data(), n, 0))
            return std::nullopt;
        const HeaderLines lines = headerLines(header.data(), n);
        const bool whole = n == size;
        // Both lines end inside what was read, and a CR that ends the names
        // line is known not to start a CR LF.
        if (lines.namesStart < n && lines.namesEnd < n && (header[lines.namesEnd] != '\r' || lines.namesEnd + 1 < n)) {
            header.resize(lines.takesStart);
            return header;
        }
        if (whole) {
            if (lines.namesStart >= n)
                return std::nullopt;  // fewer than two lines: the whole reading tells so
            return header;
        }
        if (want >= kMaxHeaderBytes)
            return std::nullopt;
    }
}

// Hands a stream's chunks to consume in file order, numbering their takes
// and gathering their oddities: what every stream does with a chunk once
// its bytes are in place. consuming is set while consume runs, so that the
// stream lets consume's exceptions travel on.
struct ChunkFeed {
    const std::vector<std::string>& names;
    ChunkIndex kind;
    const TakeChunkConsumer& consume;
    bool& consuming;
    std::uint64_t takes = 0;
    LineOddities odd;

    // Indexes the whole lines of bytes [bytes, bytes + size) and hands them
    // on; false when they cannot be indexed or would take the log past the
    // takes an int numbers.
    bool feed(const char* bytes, std::size_t size)
    {
        LineOddities chunkOdd;
        const std::unique_ptr<TakeStore> chunk = TakeStoreBuilder::buildChunk(bytes, size, names, kind, chunkOdd, scratch);
        if (!chunk || takes + static_cast<std::uint64_t>(chunk->takeCount()) >
                          static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
            return false;
        if (takes == 0)
            odd.firstTakeWithoutNumbers = firstTakeHoldsNoNumber(*chunk);
        consuming = true;
        consume(*chunk, static_cast<int>(takes));
        consuming = false;
        odd.add(chunkOdd, takes);
        takes += static_cast<std::uint64_t>(chunk->takeCount());
        TakeStoreBuilder::recycle(*chunk, scratch);
        return true;
    }

    IndexScratch scratch;
};

}  // namespace

// The streaming read of a log of size bytes. spans, when given, gets the
// digest of every piece read.
static std::optional<std::vector<ReadWarning>> streamLog(std::uint64_t size, std::size_t chunkBytes, const ReadAt& readAt,
                                                         const TakeChunkConsumer& consume, ChunkIndex kind,
                                                         std::vector<StreamSpan>* spans)
{
    bool consuming = false;
    try {
        if (chunkBytes == 0)
            return std::nullopt;
        const std::optional<std::string> header = readHeader(size, readAt);
        if (!header)
            return std::nullopt;
        if (spans)
            spans->push_back({0, header->size(), digestOf(header->data(), header->size())});
        const HeaderLines lines = headerLines(header->data(), header->size());
        const std::string_view namesLine(header->data() + lines.namesStart, lines.namesEnd - lines.namesStart);
        std::vector<std::string> names;
        TakeStoreBuilder::readNames(namesLine, names);

        // No larger than the data lines: a small log is held in one chunk of its size.
        chunkBytes = static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, size - header->size()));
        // Two buffers: the next chunk's bytes are read into one while the
        // other's takes are indexed and consumed, so that the reading (a
        // copy out of the system's cache, on one core) overlaps the work.
        // Declared before the read in flight, which is so waited for first.
        std::unique_ptr<ByteBuffer> buffer = ByteBuffer::reserve(chunkBytes);
        std::unique_ptr<ByteBuffer> spare = chunkBytes < size - header->size() ? ByteBuffer::reserve(chunkBytes) : nullptr;
        if (!buffer)
            return std::nullopt;
        std::future<bool> reading;
        auto readAhead = [&](char* to, std::size_t n, std::uint64_t at) {
            try {
                reading = std::async(std::launch::async, [&readAt, to, n, at] { return readAt(to, n, at); });
            } catch (...) {
                // No thread for it: read when the bytes are wanted.
                std::promise<bool> done;
                done.set_value(readAt(to, n, at));
                reading = done.get_future();
            }
        };
        std::uint64_t offset = header->size();  // where in the file the buffer's first byte comes from
        std::size_t carry = 0;                  // bytes of an unfinished line at the buffer's start
        auto want = static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, size - offset));
        if (want != 0 && !readAt(buffer->data(), want, offset))
            return std::nullopt;
        ChunkFeed chunks{names, kind, consume, consuming, 0, {}, {}};
        while (true) {
            char* const bytes = buffer->data();
            const std::size_t have = carry + want;
            const bool last = offset + have == size;
            const std::size_t cut = last ? have : chunkCut(bytes, have);
            if (cut == 0 && !last)
                return std::nullopt;  // a line longer than a chunk
            if (last)
                std::memset(bytes + have, 0, ByteBuffer::kPadding);  // as after a whole file
            std::size_t nextCarry = 0;
            std::size_t nextWant = 0;
            if (!last) {
                if (!spare)
                    return std::nullopt;
                nextCarry = have - cut;
                nextWant = static_cast<std::size_t>(
                    std::min<std::uint64_t>(chunkBytes - nextCarry, size - offset - cut - nextCarry));
                std::memcpy(spare->data(), bytes + cut, nextCarry);
                if (nextWant != 0)
                    readAhead(spare->data() + nextCarry, nextWant, offset + cut + nextCarry);
            }
            if (spans)
                spans->push_back({offset, cut, digestOf(bytes, cut)});
            if (!chunks.feed(bytes, cut))
                return std::nullopt;
            if (last)
                return readWarnings(namesLine, chunks.odd);
            if (nextWant != 0 && !reading.get())
                return std::nullopt;
            std::swap(buffer, spare);
            offset += cut;
            carry = nextCarry;
            want = nextWant;
        }
    } catch (...) {
        if (consuming)
            throw;
        return std::nullopt;
    }
}

std::optional<std::vector<ReadWarning>> streamDataLogBytes(std::string_view bytes, std::size_t chunkBytes,
                                                           const TakeChunkConsumer& consume, ChunkIndex index)
{
    const ReadAt readAt = [bytes](char* to, std::size_t n, std::uint64_t offset) {
        if (offset > bytes.size() || n > bytes.size() - offset)
            return false;
        std::memcpy(to, bytes.data() + offset, n);
        return true;
    };
    return streamLog(bytes.size(), chunkBytes, readAt, consume, index, nullptr);
}

std::optional<std::vector<ReadWarning>> streamDataLog(const std::filesystem::path& path, std::size_t chunkBytes,
                                                      const TakeChunkConsumer& consume, ChunkIndex index)
{
    // Only a regular file is opened: opening and closing a FIFO would be
    // seen by its writer.
    struct stat named {};
    if (::stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode))
        return std::nullopt;
    const FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat before {};
    if (file.get() < 0 || ::fstat(file.get(), &before) != 0 || !S_ISREG(before.st_mode) || before.st_size <= 0)
        return std::nullopt;
    // Read, not mapped, even where the file could be (see FileMapping): a
    // stream reads each byte once, and its two buffers, once touched, take
    // every chunk, while a mapping's pages are all new to the processor's
    // page tables. Where that costs the most (a machine virtualized by
    // shadow page tables, some 1.7 us a page on first touch), the report of
    // a 276 MB log took 0.32 s mapped and 0.21 s read; reading it costs the
    // other core a copy out of the system's cache.
    timespec began{};
    ::clock_gettime(CLOCK_REALTIME, &began);
    const int fd = file.get();
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    const ReadAt readAt = [fd](char* to, std::size_t n, std::uint64_t offset) {
        const ReadPass pass = readPass(fd, to, n, nullptr, offset, std::size_t{4} << 20);
        return pass.error == 0 && pass.done == n;
    };
    // A file changed shortly before may change again within the same tick of
    // its clock: then the pieces are read twice, as the whole reading does.
    const FileStamp stamp(before);
    const bool recent = !unchangedWhileRead(stamp, stamp, began);
    std::vector<StreamSpan> spans;
    std::optional<std::vector<ReadWarning>> warnings =
        streamLog(static_cast<std::uint64_t>(before.st_size), chunkBytes, readAt, consume, index,
                  recent ? &spans : nullptr);
    if (!warnings)
        return std::nullopt;
    struct stat after {};
    if (::fstat(fd, &after) != 0 || !(FileStamp(after) == stamp))
        return std::nullopt;
    if (!recent)
        return warnings;
    try {
        std::size_t longest = 0;
        for (const StreamSpan& span : spans)
            longest = std::max(longest, span.bytes);
        std::string again(longest, '\0');
        for (const StreamSpan& span : spans)
            if (!readAt(again.data(), span.bytes, span.offset) || digestOf(again.data(), span.bytes) != span.digest)
                return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
    return warnings;
}

}  // namespace dlv
