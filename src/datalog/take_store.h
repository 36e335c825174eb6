#pragma once

#include "datalog/display_text.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datalog/line_index.h"
#include "datalog/wide_instructions.h"

namespace dlv {

class ByteBuffer;

// Length of a line's text from its span up to the next line's start: the
// line end (CR, LF or CR LF) taken off. No line holds a CR or LF inside.
[[nodiscard]] inline std::size_t textLength(const char* line, std::size_t span) noexcept
{
    if (span != 0 && line[span - 1] == '\n')
        --span;
    if (span != 0 && line[span - 1] == '\r')
        --span;
    return span;
}

// One data log held in memory: the file's bytes in one buffer, an index of its
// data lines (about 6 bytes a line) and of every eighth comma in lines of
// more than 64 bytes (2 bytes an anchor in lines under 64 KiB), and the
// names cut from the names line.
// Immutable once read; shared (shared_ptr<const TakeStore>) between the window
// and whatever still shows the previous log while a new one is drawn. A
// streamed log's chunk (see streamDataLog) is a store too, over bytes it
// views without owning them.
class TakeStore final {
public:
    TakeStore(const TakeStore&) = delete;
    TakeStore& operator=(const TakeStore&) = delete;
    ~TakeStore();

    // Names line fields 0, 1, ... up to the first empty field, which is stored
    // last: the last index equals the number of names. Raw bytes, not trimmed.
    [[nodiscard]] const std::vector<std::string>& ParamNames() const noexcept { return m_paramNames; }

    // Number of data lines (takes). Takes are numbered 0 .. takeCount() - 1.
    [[nodiscard]] int takeCount() const noexcept { return m_takeCount; }
    // U: the highest take number, -1 when the log has no data line.
    [[nodiscard]] int lastTake() const noexcept { return takeCount() - 1; }

    // The whole text of take t without its line end. Precondition: 0 <= t <= U.
    [[nodiscard]] std::string_view DataLines(int t) const noexcept;

    // Where take t starts in the file's bytes, 0 <= t <= U + 1 (take U + 1:
    // the end of the last). O(1).
    [[nodiscard]] std::uint64_t lineStart(int t) const noexcept { return m_index.start(static_cast<std::size_t>(t)); }
    // DataLines(t) from lineStart(t) and lineStart(t + 1), for walks that
    // carry each line's end on as the next line's start.
    [[nodiscard]] std::string_view lineBetween(std::uint64_t start, std::uint64_t next) const noexcept
    {
        return {m_data + start, textLength(m_data + start, static_cast<std::size_t>(next - start))};
    }

    // No value (nullopt) for a take number below 0 or above U; otherwise field
    // aParamNr of take aStep with leading and trailing spaces removed (tabs
    // stay), possibly empty. A parameter number beyond the line's fields, or a
    // negative one, gives the empty text. O(1), as field(). The view points
    // into the store.
    [[nodiscard]] std::optional<std::string_view> Get_Param_data(long long aParamNr, long long aStep) const noexcept;

    // Field p of take t untrimmed; empty when the line has no field p.
    // Precondition: 0 <= t <= U. O(1): found from the anchor of every eighth
    // comma after at most seven more.
    [[nodiscard]] std::string_view field(long long p, int t) const noexcept;

    // field(p, t) of takes first .. first + count - 1 (within 0 .. U), into
    // texts and lengths; an empty or missing field's text is `none`. One call
    // for a block of takes, field() inlined in its loop; lines of up to 64
    // bytes found from their comma mask where AVX2 is at hand. O(count).
    void fields(long long p, int first, int count, const char* none, const char** texts,
                std::uint64_t* lengths) const noexcept;

    // An address in take t at or shortly before the start of field p, found
    // from the index alone, without reading the line: for asking the
    // processor to fetch a field before field() reads it. Precondition:
    // 0 <= t <= U.
    [[nodiscard]] const char* fieldHint(long long p, int t) const noexcept;

    // Number of fields in take t (commas + 1). Precondition: 0 <= t <= U.
    [[nodiscard]] int fieldCount(int t) const noexcept;

    // Length in bytes of the longest trimmed value among fields 0 .. P of take
    // t, P being the number of names: what the grid column of take t shows.
    // Saturates at kShownValueBytesLimit: no cell shows more than that.
    [[nodiscard]] std::uint32_t maxShownValueBytes(int t) const noexcept
    {
        const auto i = static_cast<std::size_t>(t);
        const std::uint16_t facts = m_index.facts(i);
        return facts & (isMaskedLine(i) ? kMaskedWidthBits : kShownValueBytesLimit);
    }
    static constexpr std::uint32_t kShownValueBytesLimit = 8191;

    // Size of the file as read, in bytes.
    [[nodiscard]] std::size_t fileBytes() const noexcept { return m_fileBytes; }
    // The first bytes of the file (of a streamed chunk: of the chunk), at
    // most n of them, as read. O(1).
    [[nodiscard]] std::string_view fileHead(std::size_t n) const noexcept
    {
        return {m_data, m_data ? std::min(n, m_fileBytes) : 0};
    }

    // Fields in the take that has the most of them (commas + 1); 0 for a
    // log without takes. Counted while indexing: O(1).
    [[nodiscard]] int mostFields() const noexcept { return m_mostFields; }

    // False for a streamed chunk indexed by its lines alone (ChunkIndex::Lines):
    // there field() and fieldCount() walk the line, O(its length), fieldHint()
    // gives the line's start and maxShownValueBytes() is 0.
    [[nodiscard]] bool indexesFields() const noexcept { return !m_linesOnly; }

private:
    friend struct TakeStoreBuilder;
    TakeStore();

    // A line of 64 KiB or more keeps its anchors as 32-bit offsets (64-bit
    // from 4 GiB on) and its comma count here, found by take number.
    struct LongLine {
        std::uint64_t take;
        std::uint64_t commaCount;
        std::uint64_t anchorBase;  // in m_longCommas, or in m_hugeCommas when huge
        bool huge;
    };
    static constexpr std::uint64_t kShortLimit = 65536;
    // Lines of up to 64 bytes with their line end, most lines of tall logs,
    // keep no anchors: their fields are found from their comma mask. Their
    // facts hold the widest shown value in the low 7 bits and the comma
    // count / 8 in the next 6 (see m_index).
    static constexpr std::uint64_t kMaskedLineBytes = 64;
    static constexpr std::uint16_t kMaskedWidthBits = 127;
    static constexpr int kMaskedEighthsShift = 7;
    [[nodiscard]] bool isMaskedLine(std::size_t t) const noexcept
    {
        return !m_linesOnly && m_index.start(t + 1) - m_index.start(t) <= kMaskedLineBytes;
    }
    // Commas in take t, a line under 64 KiB of an indexed store.
    [[nodiscard]] std::uint64_t shortCommaCount(std::size_t t, std::uint64_t span) const noexcept
    {
        const std::uint16_t facts = m_index.facts(t);
        const std::uint64_t eighths = span <= kMaskedLineBytes ? (facts >> kMaskedEighthsShift) & 63
                                                               : m_index.anchorBase(t + 1) - m_index.anchorBase(t);
        return 8 * eighths + (facts >> 13);
    }

    [[nodiscard]] const LongLine& longLine(std::size_t t) const noexcept;
#if defined(DLV_WIDE_INSTRUCTIONS)
    // fields() with the newer instructions (see wide_instructions.h).
    DLV_WIDE_INSTRUCTIONS void fieldsWide(long long p, int first, int count, const char* none, const char** texts,
                                          std::uint64_t* lengths) const noexcept;
#endif
    [[nodiscard]] std::string_view longField(std::uint64_t p, std::size_t t) const noexcept;

    std::unique_ptr<ByteBuffer> m_bytes;
    std::size_t m_fileBytes = 0;
    std::vector<std::string> m_paramNames;
    // One entry per take and one past the last: facts are the widest shown
    // value (low 13 bits) and the comma count mod 8 (top 3 bits); in a line
    // of up to kMaskedLineBytes the width takes 7 bits and the comma count
    // / 8 the next 6.
    LineIndex m_index;
    int m_takeCount = 0;
    int m_mostFields = 0;
    // Anchors: the offset from the line start of comma 7, 15, 23, ... of each
    // line of more than kMaskedLineBytes; uint16 for lines under 64 KiB,
    // uint32 or uint64 for the longer ones.
    std::unique_ptr<ByteBuffer> m_shortCommas;
    std::vector<LongLine> m_longLines;
    std::vector<std::uint32_t> m_longCommas;
    std::vector<std::uint64_t> m_hugeCommas;
    // Views into m_bytes and m_shortCommas, for the inline field lookup.
    const char* m_data = nullptr;
    const std::uint16_t* m_shortOffsets = nullptr;
    bool m_linesOnly = false;
};

// Inline: the walks over every field of a log call it once a take.
inline std::string_view TakeStore::DataLines(int t) const noexcept
{
    const auto i = static_cast<std::size_t>(t);
    return lineBetween(m_index.start(i), m_index.start(i + 1));
}

// Asks the processor for the bytes a pass that reads a log front to back
// will read a little later. Its own fetching ahead kept too few cache lines
// coming for a pass that spends some 20 cycles on each line it reads (one
// column of a tall log read at 4 GB/s a core where the memory gives 11);
// 2 KiB ahead took a third to a half off that pass and a third off
// indexing a wide log. Free past the end of the bytes: a prefetch never
// faults. Call it once per 64 bytes read, or once per line of up to 64.
inline void prefetchStreamAhead(const char* at) noexcept
{
    constexpr std::size_t kAheadBytes = 2048;
    __builtin_prefetch(at + kAheadBytes);
}

// Asks the processor to bring field p of take t into cache ahead of
// field(): the field starts up to seven fields past its anchor, so the cache
// line after the anchor's is asked for too. Reads only the index.
inline void prefetchField(const TakeStore& store, long long p, int t) noexcept
{
    const char* hint = store.fieldHint(p, t);
    __builtin_prefetch(hint);
    __builtin_prefetch(hint + 63);
}

// Something odd about a log that was read all the same. count is how many
// takes (or bytes, for control bytes) are concerned; message says it in plain
// words, with the count in digits grouped by commas.
struct ReadWarning {
    enum class Kind {
        ControlBytes,           // NUL or other bytes below 32 but TAB, CR and LF
        NoCommaInNames,         // a single name
        NamesSeparatedBySemicolon,
        NamesSeparatedByTab,
        FewerFieldsThanNames,   // count: takes
        MoreFieldsThanNames,    // count: takes
        // Other formats (see log_formats.h):
        CutShort,               // count: bytes left over after the last whole record
        ChecksumMismatch,       // count: records whose checksum does not match
        StoppedEarly,           // count: the byte offset where the readable part ends
        OddRows,                // count: rows that are neither records nor markers
        NoNumbersInFirstTake,   // count: 1; take 0 holds no number at all (a units line read as a take?)
    };
    Kind kind;
    std::uint64_t count;
    std::string message;
};

// Whether some comma-separated field of the line is a number by the number
// rule. O(length of the line).
[[nodiscard]] bool holdsNumber(std::string_view line) noexcept;

class LogChannels;

// What reading a log gave: the store, or an error message in plain words that
// names the file and the reason; warnings do not stop the reading. A log of
// another format (see log_formats.h) comes as log, with the store behind it
// when it has one; a log of the own format may come as store alone.
struct ReadResult {
    std::shared_ptr<const TakeStore> store;
    std::string error;
    std::vector<ReadWarning> warnings;
    std::shared_ptr<const LogChannels> log;
    [[nodiscard]] bool ok() const noexcept { return store != nullptr || log != nullptr; }
};

// Lets another thread follow a reading and stop it: bytesRead grows while
// the file's bytes come in (again when a file that changed is read again);
// setting cancel ends the reading soon as a failure that says so.
struct ReadControl {
    std::atomic<std::uint64_t> bytesRead{0};
    std::atomic<bool> cancel{false};
};

// Reads the log at path: line 1 is dropped, line 2 holds the names, every
// further line is one take. CR LF, a lone CR and a lone LF each end a line.
// The path is used as the bytes it holds. Fails (store null) for a file that
// cannot be opened or read, a directory, a file with fewer than two lines,
// when memory runs out, or when the file keeps being cut back and rewritten
// while it is read; a file that changes is read again, so the store always
// holds a prefix of one version of it. Files that cannot be sized (under
// /proc and /sys) are read to their end as streams. Never throws.
// control, when given, is followed and may be stopped from another thread.
[[nodiscard]] ReadResult readDataLog(const std::filesystem::path& path, ReadControl* control = nullptr) noexcept;

// What turns a file's bytes into a log: the first size bytes of buffer (its
// padding zero), named displayName in messages. Never throws.
using LogBuilder = std::function<ReadResult(std::unique_ptr<ByteBuffer> buffer, std::size_t size,
                                            std::string_view displayName)>;

// readDataLog's reading of the file, every check and retry included, with
// build in place of the own format's store: for the readers of other
// formats, which take the same bytes by the same rules.
[[nodiscard]] ReadResult readLogFile(const std::filesystem::path& path, ReadControl* control,
                                     const LogBuilder& build) noexcept;

// The same reading from bytes already in memory; displayName is used in
// messages in place of a path.
[[nodiscard]] ReadResult readDataLogBytes(std::string_view bytes, std::string_view displayName = "log") noexcept;

// The same reading of the first size bytes of a buffer the store takes over,
// without copying them (the buffer's padding must be zero).
[[nodiscard]] ReadResult readDataLogBuffer(std::unique_ptr<ByteBuffer> buffer, std::size_t size,
                                           std::string_view displayName) noexcept;

// How a streamed log's chunks are indexed: Fields as a whole log is, every
// eighth comma too; Lines only where each take starts (see
// TakeStore::indexesFields). A pass over a stream reads each chunk once, and
// indexing the commas costs about as much as walking the lines, so walking
// passes want Lines.
enum class ChunkIndex { Fields, Lines };

// Receives the takes of a streamed log a chunk at a time, in file order:
// chunk holds whole data lines numbered from 0, which are takes firstTake ..
// firstTake + chunk.lastTake() of the log, and the log's names. The store and
// the bytes it views live only for the call.
using TakeChunkConsumer = std::function<void(const TakeStore& chunk, int firstTake)>;

// The same reading as readDataLog in bounded memory: the data lines are read
// chunkBytes at most at a time (each chunk cut after its last line end, the
// rest carried over) and each chunk indexed and handed to consume, at least
// once (a log without takes gives one empty chunk). Returns the warnings
// readDataLog would give. Returns nullopt, having possibly called consume
// already, whenever that could not be done so as to give what readDataLog
// gives: an error of any kind, a file that is not a regular file or has no
// size, a line longer than chunkBytes, a file that changed or came back short
// while it was read. Then the caller forgets what consume was given and reads
// the log whole. Chunks are indexed as index says. Memory:
// twice chunkBytes (the next chunk is read while one is consumed) plus the
// index of one chunk. An exception thrown by consume travels on.
[[nodiscard]] std::optional<std::vector<ReadWarning>> streamDataLog(const std::filesystem::path& path,
                                                                    std::size_t chunkBytes,
                                                                    const TakeChunkConsumer& consume,
                                                                    ChunkIndex index = ChunkIndex::Fields);

// The same streaming over bytes already in memory, as readDataLogBytes reads
// them; each chunk is copied into a buffer of chunkBytes.
[[nodiscard]] std::optional<std::vector<ReadWarning>> streamDataLogBytes(std::string_view bytes, std::size_t chunkBytes,
                                                                         const TakeChunkConsumer& consume,
                                                                         ChunkIndex index = ChunkIndex::Fields);

}  // namespace dlv
