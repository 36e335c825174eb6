#include "datalog/take_store.h"

#include "datalog/byte_buffer.h"
#include "datalog/number.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

std::optional<std::string_view> TakeStore::Get_Param_data(long long aParamNr, long long aStep) const noexcept
{
    if (aStep < 0 || aStep > lastTake())
        return std::nullopt;
    return trimSpaces(field(aParamNr, static_cast<int>(aStep)));
}

std::string displayText(std::string_view bytes)
{
    if (isValidUtf8(bytes))
        return std::string(bytes);
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            text.push_back(ch);
        } else {
            text.push_back(static_cast<char>(0xC0 | (c >> 6)));
            text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return text;
}

// Builds a TakeStore from a buffer holding the whole file. Friend of TakeStore.
struct TakeStoreBuilder {
    static constexpr std::size_t kShortLimit = 65536;  // offsets of shorter lines fit 16 bits

    TakeStore& store;
    const char* bytes;
    std::size_t size;
    std::size_t paramLimit = 0;  // fields 0 .. paramLimit are shown in the grid

    // State of the line being indexed.
    std::size_t lineStart = 0;
    std::size_t lineCommaBase = 0;  // index of its first offset in the short table
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

    void readNames(std::string_view line)
    {
        // Names are the fields up to the first empty one, which is kept last.
        std::vector<std::string>& names = store.m_paramNames;
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
            // Move this line's offsets to the 32-bit table and go on there.
            lineIsLong = true;
            lineLongBase = store.m_longCommas.size();
            for (std::size_t i = 0; i < lineCommas; ++i)
                store.m_longCommas.push_back(shortTable[lineCommaBase + i]);
            shortCount = lineCommaBase;
        }
        if (lineIsLong)
            store.m_longCommas.push_back(static_cast<std::uint32_t>(rel));
        else
            shortTable[shortCount++] = static_cast<std::uint16_t>(rel);
        ++lineCommas;
    }

    void endLine(std::size_t pos)
    {
        if (lineCommas <= paramLimit)
            maxField = std::max<std::uint32_t>(maxField, static_cast<std::uint32_t>(pos - fieldStart));
        TakeStore::Line line{lineStart, static_cast<std::uint32_t>(pos - lineStart), lineCommas,
                             lineIsLong ? lineLongBase : lineCommaBase, lineIsLong};
        store.m_lines.push_back(line);
        store.m_maxValueBytes.push_back(maxField);
        if (lineHasSpace)
            recomputeTrimmedMax();
    }

    void recomputeTrimmedMax()
    {
        const int t = store.lastTake();
        const long long last = std::min<long long>(static_cast<long long>(paramLimit), store.m_lines.back().commaCount);
        std::uint32_t longest = 0;
        for (long long p = 0; p <= last; ++p)
            longest = std::max<std::uint32_t>(longest, static_cast<std::uint32_t>(trimSpaces(store.field(p, t)).size()));
        store.m_maxValueBytes.back() = longest;
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
        shortTable[shortCount++] = static_cast<std::uint16_t>(rel);
        ++lineCommas;
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
                const auto count = static_cast<std::uint32_t>(__builtin_popcountll(commas));
                if (!lineIsLong && i + 64 - lineStart < kShortLimit && lineCommas + count <= paramLimit) {
                    // Every comma of the block ends a shown field of a short
                    // line: a loop without tests, kept in registers.
                    std::uint16_t* out = shortTable + shortCount;
                    std::size_t start = fieldStart;
                    std::uint32_t widest = maxField;
                    while (commas != 0) {
                        const std::size_t pos = i + static_cast<std::size_t>(__builtin_ctzll(commas));
                        commas &= commas - 1;
                        const auto width = static_cast<std::uint32_t>(pos - start);
                        widest = width > widest ? width : widest;
                        start = pos + 1;
                        *out++ = static_cast<std::uint16_t>(pos - lineStart);
                    }
                    shortCount += count;
                    lineCommas += count;
                    fieldStart = start;
                    maxField = widest;
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

ReadResult TakeStoreBuilder::build(std::unique_ptr<ByteBuffer> buffer, std::size_t size, std::string_view name)
{
    try {
        std::unique_ptr<TakeStore> store(new TakeStore());
        const char* bytes = buffer->data();
        TakeStoreBuilder builder{*store, bytes, size};

        std::size_t namesStart = 0;
        TakeStoreBuilder::lineEnd(bytes, size, 0, namesStart);
        if (namesStart >= size)
            return failure(inQuotes(name) + " is not a data log: it has fewer than two lines");
        std::size_t takesStart = 0;
        const std::size_t namesEnd = TakeStoreBuilder::lineEnd(bytes, size, namesStart, takesStart);
        builder.readNames(std::string_view(bytes + namesStart, namesEnd - namesStart));
        builder.paramLimit = store->m_paramNames.size() - 1;

        // At most one comma offset per byte; only the part written is ever touched.
        store->m_shortCommas = ByteBuffer::reserve(std::max<std::size_t>(size, 1) * sizeof(std::uint16_t));
        if (!store->m_shortCommas)
            return failure(memoryMessage(name, size));
        builder.shortTable = reinterpret_cast<std::uint16_t*>(store->m_shortCommas->data());
        store->m_shortOffsets = builder.shortTable;
        store->m_data = bytes;
        if (size - takesStart > 0xFFFFFFFFu && std::string_view(bytes + takesStart, size - takesStart).find('\n') == std::string_view::npos)
            return failure("Cannot read " + inQuotes(name) + ": a line is longer than 4 GB");
        store->m_bytes = std::move(buffer);
        store->m_fileBytes = size;
        builder.indexTakes(takesStart);

        store->m_lines.shrink_to_fit();
        store->m_maxValueBytes.shrink_to_fit();
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

ReadResult readDataLog(const std::filesystem::path& path) noexcept
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
        std::size_t done = 0;
        while (done < size) {
            const std::size_t chunk = std::min<std::size_t>(size - done, std::size_t{64} << 20);
            const ssize_t got = ::read(file.get(), buffer->data() + done, chunk);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return failure("Cannot read " + inQuotes(name) + ": " + reason(errno));
            }
            if (got == 0)
                break;  // the file got shorter while it was read
            done += static_cast<std::size_t>(got);
        }
        return TakeStoreBuilder::build(std::move(buffer), done, name);
    } catch (...) {
        return failure("Cannot read the log: not enough memory");
    }
}

}  // namespace dlv
