#include "datalog/take_store.h"

#include "datalog/byte_buffer.h"
#include "datalog/number.h"
#include "datalog/parallel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#if defined(__x86_64__) || defined(__SSE2__)
#include <emmintrin.h>
#define DLV_HAVE_SSE2 1
#endif


namespace dlv {

TakeStore::TakeStore() = default;
TakeStore::~TakeStore() = default;

std::string_view TakeStore::DataLines(int t) const noexcept
{
    const Line& line = m_lines[static_cast<std::size_t>(t)];
    return {m_bytes->data() + line.start, line.length};
}

int TakeStore::fieldCount(int t) const noexcept
{
    return static_cast<int>(m_lines[static_cast<std::size_t>(t)].commaCount) + 1;
}

namespace {

// Set bits of x. Without POPCNT in the target (the default for x86-64) the
// builtin becomes a library call, slower than these few operations.
inline unsigned countBits(std::uint64_t x) noexcept
{
#if defined(__POPCNT__) || !defined(__x86_64__)
    return static_cast<unsigned>(__builtin_popcountll(x));
#else
    x = x - ((x >> 1) & 0x5555555555555555u);
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<unsigned>((x * 0x0101010101010101u) >> 56);
#endif
}

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
inline std::string_view sparseField(const char* line, std::uint32_t length, std::uint32_t commaCount,
                                    const Offset* anchors, std::size_t k) noexcept
{
    const std::size_t group = k >> 3;
    std::size_t begin = group == 0 ? 0 : std::size_t{anchors[group - 1]} + 1;
    const auto skip = static_cast<unsigned>(k & 7);
    if (skip != 0)
        begin = nthComma(line, begin, skip - 1) + 1;
    const std::size_t end = k < commaCount ? nthComma(line, begin, 0) : length;
    return {line + begin, end - begin};
}

}  // namespace

std::string_view TakeStore::field(long long p, int t) const noexcept
{
    const Line& line = m_lines[static_cast<std::size_t>(t)];
    if (p < 0 || p > static_cast<long long>(line.commaCount))
        return {};
    const char* bytes = m_data + line.start;
    const auto k = static_cast<std::size_t>(p);
    if (!line.isLong) [[likely]]
        return sparseField(bytes, line.length, line.commaCount, m_shortOffsets + line.commaBase, k);
    return sparseField(bytes, line.length, line.commaCount, m_longCommas.data() + line.commaBase, k);
}

const char* TakeStore::fieldHint(long long p, int t) const noexcept
{
    const Line& line = m_lines[static_cast<std::size_t>(t)];
    const char* bytes = m_data + line.start;
    if (p < 8 || p > static_cast<long long>(line.commaCount))
        return bytes;
    const auto group = static_cast<std::size_t>(p >> 3);
    const std::size_t anchor = line.isLong ? m_longCommas[line.commaBase + group - 1]
                                           : m_shortOffsets[line.commaBase + group - 1];
    return bytes + anchor;
}

std::optional<std::string_view> TakeStore::Get_Param_data(long long aParamNr, long long aStep) const noexcept
{
    if (aStep < 0 || aStep > lastTake())
        return std::nullopt;
    return trimSpaces(field(aParamNr, static_cast<int>(aStep)));
}

// Builds a TakeStore from a buffer holding the whole file. Friend of TakeStore.
struct TakeStoreBuilder {
    static constexpr std::size_t kShortLimit = 65536;  // offsets of shorter lines fit 16 bits

    const char* bytes = nullptr;
    std::size_t size = 0;        // end of the part of the buffer this builder indexes
    std::size_t paramLimit = 0;  // fields 0 .. paramLimit are shown in the grid

    // What this part of the log gives; merged into the store once every part is done.
    std::vector<TakeStore::Line> lines;
    std::vector<std::uint32_t> maxValueBytes;
    std::vector<std::uint32_t> longCommas;

    // State of the line being indexed.
    std::size_t lineStart = 0;
    std::size_t lineCommaBase = 0;  // index of its first anchor in the short table
    std::uint32_t lineCommas = 0;
    bool lineIsLong = false;
    std::size_t lineLongBase = 0;
    std::size_t fieldStart = 0;  // absolute position of the current field
    std::uint32_t maxField = 0;  // longest untrimmed field among 0 .. paramLimit
    bool lineHasSpace = false;
    std::size_t shortCount = 0;
    std::uint16_t* shortTable = nullptr;

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

    void onComma(std::size_t pos)
    {
        const std::size_t rel = pos - lineStart;
        if (lineCommas <= paramLimit)
            maxField = std::max<std::uint32_t>(maxField, static_cast<std::uint32_t>(pos - fieldStart));
        fieldStart = pos + 1;
        if (!lineIsLong && rel >= kShortLimit) {
            // Move this line's anchors to the 32-bit table and go on there.
            lineIsLong = true;
            lineLongBase = longCommas.size();
            for (std::size_t i = 0; i < lineCommas / 8; ++i)
                longCommas.push_back(shortTable[lineCommaBase + i]);
            shortCount = lineCommaBase;
        }
        if ((lineCommas & 7) == 7) {
            if (lineIsLong)
                longCommas.push_back(static_cast<std::uint32_t>(rel));
            else
                shortTable[shortCount++] = static_cast<std::uint16_t>(rel);
        }
        ++lineCommas;
    }

    void endLine(std::size_t pos)
    {
        if (lineCommas <= paramLimit)
            maxField = std::max<std::uint32_t>(maxField, static_cast<std::uint32_t>(pos - fieldStart));
        TakeStore::Line line{lineStart, static_cast<std::uint32_t>(pos - lineStart), lineCommas,
                             lineIsLong ? lineLongBase : lineCommaBase, lineIsLong};
        lines.push_back(line);
        maxValueBytes.push_back(maxField);
        if (lineHasSpace)
            recomputeTrimmedMax();
    }

    // The widths of a line with spaces, measured again with the spaces
    // trimmed, in one walk along the line.
    void recomputeTrimmedMax()
    {
        const TakeStore::Line& line = lines.back();
        const std::string_view text(bytes + line.start, line.length);
        const std::size_t last = std::min<std::size_t>(paramLimit, line.commaCount);
        std::uint32_t longest = 0;
        std::size_t start = 0;
        for (std::size_t k = 0; k <= last; ++k) {
            const std::size_t comma = std::min(text.find(',', start), text.size());
            longest = std::max<std::uint32_t>(longest, static_cast<std::uint32_t>(trimSpaces(text.substr(start, comma - start)).size()));
            start = comma + 1;
        }
        maxValueBytes.back() = longest;
    }

    void startLine(std::size_t pos)
    {
        lineStart = pos;
        fieldStart = pos;
        lineCommaBase = shortCount;
        lineCommas = 0;
        lineIsLong = false;
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
            const auto width = static_cast<std::uint32_t>(pos - fieldStart);
            maxField = width > maxField ? width : maxField;
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
            endLine(pos);
            startLine(pos + 1);
        } else {  // CR
            endLine(pos);
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
        if (from >= size)
            return;  // no data line: a line end after the names adds no take
        // A guess at the number of lines from the first one, so that the
        // line table is rarely copied while it grows; capped, so that a short
        // first line does not reserve far more than the part can need.
        const std::size_t probe = std::min<std::size_t>(size - from, std::size_t{1} << 20);
        const char* firstEnd = static_cast<const char*>(std::memchr(bytes + from, '\n', probe));
        const std::size_t firstLength = firstEnd ? static_cast<std::size_t>(firstEnd - bytes) - from + 1 : probe;
        const std::size_t guess = std::min((size - from) / std::max<std::size_t>(firstLength, 1) * 9 / 8 + 16,
                                           (size - from) / 64 + 16);
        lines.reserve(guess);
        maxValueBytes.reserve(guess);
        startLine(from);
        bool skipLf = false;  // an LF right after a CR belongs to that line end
        std::size_t i = from;
#if DLV_HAVE_SSE2
        const __m128i comma = _mm_set1_epi8(',');
        const __m128i lf = _mm_set1_epi8('\n');
        const __m128i cr = _mm_set1_epi8('\r');
        const __m128i space = _mm_set1_epi8(' ');
        for (; i + 64 <= size; i += 64) {
            std::uint64_t commas = 0;
            std::uint64_t ends = 0;
            std::uint64_t spaces = 0;
            for (int k = 0; k < 4; ++k) {
                const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 16 * k));
                const auto shift = static_cast<unsigned>(16 * k);
                commas |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, comma)))) << shift;
                ends |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(
                            _mm_or_si128(_mm_cmpeq_epi8(chunk, lf), _mm_cmpeq_epi8(chunk, cr))))) << shift;
                spaces |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, space)))) << shift;
            }
            // A space anywhere in the block may start or end a value, so the
            // lines it touches get their widths measured with trimming.
            const bool blockSpace = spaces != 0;
            lineHasSpace |= blockSpace;
            if (ends == 0) {
                skipLf = false;
                const auto count = static_cast<std::uint32_t>(countBits(commas));
                if (!lineIsLong && i + 64 - lineStart < kShortLimit && lineCommas + count <= paramLimit) {
                    // Every comma of the block ends a shown field of a short
                    // line: no test per comma. The widths come from the gaps
                    // between commas, the anchors from every eighth comma.
                    if (count == 0)
                        continue;
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
                    maxField = widest;
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
                    continue;
                }
                while (commas != 0) {
                    onShortComma(i + static_cast<std::size_t>(__builtin_ctzll(commas)));
                    commas &= commas - 1;
                }
                continue;
            }
            std::uint64_t all = commas | ends;
            while (all != 0) {
                const std::size_t pos = i + static_cast<std::size_t>(__builtin_ctzll(all));
                all &= all - 1;
                const bool isEnd = bytes[pos] != ',';
                visit(pos, skipLf);
                if (isEnd)
                    lineHasSpace = blockSpace;
            }
        }
#endif
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
            endLine(size);
    }
};

namespace {

ReadResult failure(std::string message)
{
    ReadResult result;
    result.error = std::move(message);
    return result;
}

std::string inQuotes(std::string_view name)
{
    return "'" + displayText(name) + "'";
}

std::string memoryMessage(std::string_view name, std::size_t bytes)
{
    return "Cannot read " + inQuotes(name) + ": not enough memory for a log of " +
           std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB";
}

}  // namespace

// Where the data lines from `from` on are cut into `parts` parts of about
// equal size: each cut is the start of a line. Fewer parts come back when
// lines are too long to cut the log that finely.
static std::vector<std::size_t> partStarts(const char* bytes, std::size_t from, std::size_t size, std::size_t parts)
{
    std::vector<std::size_t> starts{from};
    for (std::size_t k = 1; k < parts; ++k) {
        std::size_t q = std::max(from + (size - from) / parts * k, starts.back());
        while (q < size && bytes[q] != '\n' && bytes[q] != '\r')
            ++q;
        if (q >= size)
            break;
        const std::size_t next = bytes[q] == '\r' && q + 1 < size && bytes[q + 1] == '\n' ? q + 2 : q + 1;
        if (next >= size)
            break;
        if (next > starts.back())
            starts.push_back(next);
    }
    return starts;
}

ReadResult TakeStoreBuilder::build(std::unique_ptr<ByteBuffer> buffer, std::size_t size, std::string_view name)
{
    try {
        std::unique_ptr<TakeStore> store(new TakeStore());
        const char* bytes = buffer->data();

        std::size_t namesStart = 0;
        TakeStoreBuilder::lineEnd(bytes, size, 0, namesStart);
        if (namesStart >= size)
            return failure(inQuotes(name) + " is not a data log: it has fewer than two lines");
        std::size_t takesStart = 0;
        const std::size_t namesEnd = TakeStoreBuilder::lineEnd(bytes, size, namesStart, takesStart);
        readNames(std::string_view(bytes + namesStart, namesEnd - namesStart), store->m_paramNames);
        const std::size_t paramLimit = store->m_paramNames.size() - 1;

        // An anchor for every eighth comma, so at most one per eight bytes;
        // only the part written is ever touched.
        store->m_shortCommas = ByteBuffer::reserve((size / 8 + 1) * sizeof(std::uint16_t));
        if (!store->m_shortCommas)
            return failure(memoryMessage(name, size));
        auto* shortTable = reinterpret_cast<std::uint16_t*>(store->m_shortCommas->data());
        store->m_shortOffsets = shortTable;
        store->m_data = bytes;
        if (size - takesStart > 0xFFFFFFFFu && std::string_view(bytes + takesStart, size - takesStart).find('\n') == std::string_view::npos)
            return failure("Cannot read " + inQuotes(name) + ": a line is longer than 4 GB");
        store->m_bytes = std::move(buffer);
        store->m_fileBytes = size;

        // Big logs are indexed in parts at once, one per core. Each part
        // writes its anchors from the table position of its distance from
        // the first take divided by eight: a part cannot have more anchors
        // than an eighth of its bytes, so the parts never overlap.
        constexpr std::size_t kMinPartBytes = std::size_t{8} << 20;
        const std::vector<std::size_t> starts =
            size > takesStart ? partStarts(bytes, takesStart, size, partCount(size - takesStart, kMinPartBytes))
                              : std::vector<std::size_t>{takesStart};
        std::vector<TakeStoreBuilder> builders;
        builders.reserve(starts.size());
        for (std::size_t k = 0; k < starts.size(); ++k) {
            TakeStoreBuilder& b = builders.emplace_back();
            b.bytes = bytes;
            b.size = k + 1 < starts.size() ? starts[k + 1] : size;
            b.paramLimit = paramLimit;
            b.shortTable = shortTable;
            b.shortCount = (starts[k] - takesStart) / 8;
        }
        runParts(builders.size(), [&](std::size_t k) { builders[k].indexTakes(starts[k]); });

        if (builders.size() == 1) {
            store->m_lines = std::move(builders[0].lines);
            store->m_maxValueBytes = std::move(builders[0].maxValueBytes);
            store->m_longCommas = std::move(builders[0].longCommas);
        } else {
            std::size_t lineCount = 0;
            std::size_t longCount = 0;
            for (const TakeStoreBuilder& b : builders) {
                lineCount += b.lines.size();
                longCount += b.longCommas.size();
            }
            store->m_lines.reserve(lineCount);
            store->m_maxValueBytes.reserve(lineCount);
            store->m_longCommas.reserve(longCount);
            for (const TakeStoreBuilder& b : builders) {
                const std::size_t longBase = store->m_longCommas.size();
                for (TakeStore::Line line : b.lines) {
                    if (line.isLong)
                        line.commaBase += longBase;
                    store->m_lines.push_back(line);
                }
                store->m_maxValueBytes.insert(store->m_maxValueBytes.end(), b.maxValueBytes.begin(), b.maxValueBytes.end());
                store->m_longCommas.insert(store->m_longCommas.end(), b.longCommas.begin(), b.longCommas.end());
            }
        }
        if (store->m_lines.size() > std::numeric_limits<int>::max())
            return failure("Cannot read " + inQuotes(name) + ": it has more than " +
                           std::to_string(std::numeric_limits<int>::max()) + " takes");
        // Only a guess far off is given back: shrinking copies the table.
        if (store->m_lines.capacity() > store->m_lines.size() + store->m_lines.size() / 4 + 1024) {
            store->m_lines.shrink_to_fit();
            store->m_maxValueBytes.shrink_to_fit();
        }
        ReadResult result;
        result.store = std::shared_ptr<const TakeStore>(std::move(store));
        return result;
    } catch (const std::bad_alloc&) {
        return failure(memoryMessage(name, size));
    } catch (const std::exception& e) {
        return failure("Cannot read " + inQuotes(name) + ": " + e.what());
    }
}

namespace {

std::string reason(int error)
{
    switch (error) {
    case ENOENT: return "the file does not exist";
    case EACCES:
    case EPERM: return "permission denied";
    case EISDIR: return "it is a directory";
    case ENOMEM: return "not enough memory";
    default: {
        std::string text = std::strerror(error);
        if (!text.empty())
            text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
        return text;
    }
    }
}

constexpr std::size_t kMinReadPartBytes = std::size_t{16} << 20;

std::size_t physicalMemoryBytes() noexcept
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return SIZE_MAX;  // unknown: let the reservation decide
    return static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
}

class FileHandle final {
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { if (m_fd >= 0) ::close(m_fd); }
    [[nodiscard]] int get() const { return m_fd; }
private:
    int m_fd;
};

}  // namespace

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

ReadResult readDataLog(const std::filesystem::path& path, ReadControl* control) noexcept
{
    try {
        const std::string name = path.string();
        // Without O_NONBLOCK, opening a FIFO would wait for a writer that
        // may never come; the file type is checked right after.
        FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (file.get() < 0)
            return failure("Cannot open " + inQuotes(name) + ": " + reason(errno));
        struct stat info {};
        if (::fstat(file.get(), &info) != 0)
            return failure("Cannot open " + inQuotes(name) + ": " + reason(errno));
        if (S_ISDIR(info.st_mode))
            return failure("Cannot open " + inQuotes(name) + ": it is a directory");
        if (!S_ISREG(info.st_mode))
            return failure("Cannot open " + inQuotes(name) + ": it is not a regular file");

        // A log that is still being written is read up to the size it had
        // when it was opened; reading it again later shows the new takes.
        const auto size = static_cast<std::size_t>(info.st_size);
        // The buffer is reserved without backing store, so only reading would
        // find out that the file does not fit, by the system killing the
        // program; a log larger than the machine's memory is refused here.
        if (size > physicalMemoryBytes())
            return failure(memoryMessage(name, size));
        // The bytes are copied rather than mapped: a mapping would show
        // whatever a writer later puts into the file, under an index built
        // for the old bytes.
        auto buffer = ByteBuffer::reserve(size);
        if (!buffer)
            return failure(memoryMessage(name, size));
        ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        // A big log is read in parts at once, one per core: copying it out of
        // the page cache, and the first touch of each page of the buffer,
        // cost about as much as indexing it.
        const std::size_t parts = partCount(size, kMinReadPartBytes);
        std::vector<std::size_t> got(parts, 0);
        std::vector<int> errors(parts, 0);
        runParts(parts, [&](std::size_t k) {
            const std::size_t from = size / parts * k;
            const std::size_t to = k + 1 == parts ? size : size / parts * (k + 1);
            std::size_t at = from;
            while (at < to) {
                if (control && control->cancel.load(std::memory_order_relaxed))
                    break;
                // Smaller pieces when someone follows the progress.
                const std::size_t chunk = std::min<std::size_t>(to - at, (control ? std::size_t{4} : std::size_t{64}) << 20);
                const ssize_t n = ::pread(file.get(), buffer->data() + at, chunk, static_cast<off_t>(at));
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
        if (control && control->cancel.load())
            return failure("Reading " + inQuotes(name) + " was cancelled");
        for (const int error : errors)
            if (error != 0)
                return failure("Cannot read " + inQuotes(name) + ": " + reason(error));
        // What was read without a gap: after a part that came back short
        // (the file was cut), nothing further counts.
        std::size_t done = 0;
        for (std::size_t k = 0; k < parts; ++k) {
            done += got[k];
            const std::size_t wanted = (k + 1 == parts ? size : size / parts * (k + 1)) - size / parts * k;
            if (got[k] < wanted)
                break;
        }
        return TakeStoreBuilder::build(std::move(buffer), done, name);
    } catch (...) {
        return failure("Cannot read the log: not enough memory");
    }
}

}  // namespace dlv
