#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "datalog/log_channels.h"
#include "datalog/take_store.h"

namespace dlv {

// The numbers of one parameter over takes 0 .. U: element t is the value of
// take t by the core's number rule (parseNumber), quiet NaN where the text is
// empty or not a number. 8 bytes a take; immutable and shared once built.
using Column = std::vector<double>;
using ColumnPtr = std::shared_ptr<const Column>;

// What a column cache knows of its log besides the columns: its names (as
// TakeStore::ParamNames holds them), how many takes it has, and its size.
struct LogShape {
    std::vector<std::string> names;
    int takeCount = 0;
    std::size_t fileBytes = 0;
};

// Parses the columns of params over every take of a log, as parseColumns
// does; the columns of storage, when given, may be filled in place of new
// ones. May throw (std::bad_alloc, or what the loader says went wrong).
using ColumnLoader = std::function<std::vector<Column>(std::span<const long long> params, std::vector<Column> storage)>;

// The numeric columns of one open log, built on demand and cached. Asked for a
// set of parameters, it parses the missing ones in one pass over the takes,
// split over every core by take ranges. The cache keeps at most budgetBytes of
// columns and drops the least recently used first; columns handed out stay
// valid for as long as their holders keep them. Thread-safe.
class ColumnCache final {
public:
    // budgetBytes 0: a budget from the store's size (see defaultBudget).
    explicit ColumnCache(std::shared_ptr<const TakeStore> store, std::size_t budgetBytes = 0);
    // A cache over a log of any format; over its take store when it has one.
    explicit ColumnCache(std::shared_ptr<const LogChannels> log, std::size_t budgetBytes = 0);
    // A cache over a log that is not held in memory: its columns come from
    // loader (and from insert), its names and take count from shape.
    ColumnCache(LogShape shape, ColumnLoader loader, std::size_t budgetBytes = 0);
    ColumnCache(const ColumnCache&) = delete;
    ColumnCache& operator=(const ColumnCache&) = delete;

    // The log in memory; only for a cache built over a store (hasStore()).
    [[nodiscard]] const TakeStore& store() const noexcept { return *m_store; }
    [[nodiscard]] const std::shared_ptr<const TakeStore>& sharedStore() const noexcept { return m_store; }
    [[nodiscard]] bool hasStore() const noexcept { return m_store != nullptr; }
    // The log of any format the cache was built over; null for one built
    // from a store or a shape alone.
    [[nodiscard]] const std::shared_ptr<const LogChannels>& log() const noexcept { return m_log; }

    // Names line fields as TakeStore::ParamNames gives them (the empty name
    // that ended the line last), and the number of takes: of the store, or
    // of the shape the cache was built with.
    [[nodiscard]] const std::vector<std::string>& paramNames() const noexcept;
    [[nodiscard]] int takeCount() const noexcept { return m_shape.takeCount; }

    // The columns of params, in their order (a parameter may appear twice).
    // Those not cached are parsed together in one pass. Throws std::bad_alloc
    // when memory runs out (or what the loader throws).
    [[nodiscard]] std::vector<ColumnPtr> columns(std::span<const long long> params);
    [[nodiscard]] ColumnPtr column(long long param);
    // The column of param when the cache holds it, else null: no parse, and
    // it does not count as a use.
    [[nodiscard]] ColumnPtr cachedColumn(long long param) const;

    // Holds column as param's, parsed elsewhere (takeCount() values), as if
    // it had just been asked for; a column already held stays.
    void insert(long long param, Column column);

    // Bytes of columns held by the cache now.
    [[nodiscard]] std::size_t cachedBytes() const;
    [[nodiscard]] std::size_t budgetBytes() const noexcept { return m_budget; }

    // Has a column's worth of memory made ready on another thread now, so
    // that the first column parsed does not wait for the system to hand out
    // its pages (about 15 ms for 3.6 million takes; a small log gains
    // nothing and gets none). Once it is used up, a column the cache drops
    // while no one else holds it becomes the spare as it is, with no new
    // pages to touch; no fresh one is made. Costs that memory, 8 bytes a
    // take, held idle outside the budget. For the window, where one column
    // is asked for at a time. From then on a column to parse takes no fresh
    // memory while the cache holds one that no one else does: the least
    // recently used of those lends its memory, within the budget or not.
    void keepSpareColumn();
    // Whether a spare column is held or being made.
    [[nodiscard]] bool holdsSpare() const;

    // Half the file size, at most 4 GiB; a log whose 64 columns fit in
    // kSmallLogBudget gets room for 64 columns even beyond that half.
    [[nodiscard]] static std::size_t defaultBudget(const TakeStore& store) noexcept;
    [[nodiscard]] static std::size_t defaultBudget(int takeCount, std::size_t fileBytes) noexcept;
    static constexpr std::size_t kSmallLogBudget = std::size_t{64} << 20;

private:
    void touch(long long param);
    // Whether `coming` bytes more of columns would drop one held. Under m_mutex.
    [[nodiscard]] bool dropsFor(std::size_t coming) const noexcept;
    // Drops the least recently used columns while dropsFor(coming). Under m_mutex.
    void evict(std::size_t coming = 0);
    // Bytes of one column of this log.
    [[nodiscard]] std::size_t columnBytes() const noexcept;
    // Holds a column just parsed, unless one is held already; returns the one held.
    ColumnPtr hold(long long param, Column column);
    void prepareSpare();
    // Makes column, about to be dropped, the spare when one is kept and
    // missing and no one else holds the column. Under m_mutex.
    void recycle(ColumnPtr& column);
    // Drops the least recently used column no one else holds and makes it
    // the spare, when a spare is kept and missing. Under m_mutex.
    void lendIdleColumn();
    // Takes of a log whose columns are worth a spare.
    static constexpr int kSpareFromTakes = 1 << 20;

    std::shared_ptr<const TakeStore> m_store;  // null for a cache built from a shape
    std::shared_ptr<const LogChannels> m_log;  // the log of any format, when built over one
    LogShape m_shape;                          // names empty when m_store is set
    ColumnLoader m_loader;
    std::size_t m_budget;
    mutable std::mutex m_mutex;
    std::list<long long> m_order;  // most recently used first
    struct Entry {
        ColumnPtr column;
        std::list<long long>::iterator position;
    };
    std::unordered_map<long long, Entry> m_entries;
    std::size_t m_bytes = 0;
    bool m_keepSpare = false;
    std::future<Column> m_spare;  // a column of takeCount() values (zeros or a dropped column's), being made or made
};

// Parses params over every take in one pass, without caching: one column per
// parameter, in order. The columns of storage, when given, are filled in
// place of new ones (their memory is reused). Throws std::bad_alloc when
// memory runs out.
[[nodiscard]] std::vector<Column> parseColumns(const TakeStore& store, std::span<const long long> params,
                                               std::vector<Column> storage = {});

// The same parse into memory of the caller's: parameter params[k] of take t
// goes to outs[k][t], each of outs having room for store.takeCount() values.
void parseColumnsInto(const TakeStore& store, std::span<const long long> params, std::span<double* const> outs);
// The same for takes first .. first + count - 1 (within 0 .. U): parameter
// params[k] of take first + i goes to outs[k][i].
void parseColumnsInto(const TakeStore& store, std::span<const long long> params, int first, int count,
                      std::span<double* const> outs);

// The columns of a log read from its file in bounded memory: its data lines
// stream chunkBytes at a time (see streamOwnLog: the own format only) and only the
// asked parameters are kept, as whole columns. paramsOf is called once with
// the log's names (as ParamNames gives them), before any take is parsed, and
// says which parameters to keep; columns[k] is the column of params[k].
struct StreamedColumns {
    LogShape shape;
    std::vector<long long> params;
    std::vector<Column> columns;
    std::vector<ReadWarning> warnings;
};
using ParamsOfNames = std::function<std::vector<long long>(const std::vector<std::string>& names)>;

// Bytes of data lines streamColumns holds at a time: its two buffers are
// fresh memory, which the system hands out slowly, so they stay small; a
// chunk is still large enough to be indexed and parsed on every core.
inline constexpr std::size_t kColumnsChunkBytes = std::size_t{4} << 20;

// nullopt whenever streamOwnLog gives up (then readLog tells what is
// wrong, or reads what streaming cannot); throws std::bad_alloc when memory
// for the columns runs out, and what paramsOf throws. Memory: twice
// chunkBytes plus the columns.
[[nodiscard]] std::optional<StreamedColumns> streamColumns(const std::filesystem::path& path,
                                                           const ParamsOfNames& paramsOf,
                                                           std::size_t chunkBytes = kColumnsChunkBytes);

// Numbers of a run of consecutive takes parsed for a set of parameters, laid
// out stride() apart as ColumnBlock or RowBlock says. Lives only for the
// call it is handed to.
class NumberBlock {
public:
    NumberBlock(int firstTake, int takeCount, const double* values, std::size_t stride,
                std::size_t columnCount) noexcept
        : m_first(firstTake), m_count(takeCount), m_values(values), m_stride(stride), m_columns(columnCount)
    {
    }
    [[nodiscard]] int firstTake() const noexcept { return m_first; }
    [[nodiscard]] int takeCount() const noexcept { return m_count; }
    [[nodiscard]] std::size_t columnCount() const noexcept { return m_columns; }
    [[nodiscard]] std::size_t stride() const noexcept { return m_stride; }
    [[nodiscard]] const double* values() const noexcept { return m_values; }

protected:
    int m_first;
    int m_count;
    const double* m_values;
    std::size_t m_stride;
    std::size_t m_columns;
};

// A block a column a parameter: column(k)[i] is parameter k of the set in
// take firstTake() + i, NaN where it is no number.
class ColumnBlock final : public NumberBlock {
public:
    using NumberBlock::NumberBlock;
    [[nodiscard]] std::span<const double> column(std::size_t k) const noexcept
    {
        return {m_values + k * m_stride, static_cast<std::size_t>(m_count)};
    }
};

// Bytes of parsed numbers a block pass holds at a time. A block starts its
// threads anew (the parse, then often the consumer's totals); 4 MiB makes
// that cost little (2 MiB measured 10-20 % slower for the report of a
// 256-field log) and still stays in the processor's cache.
inline constexpr std::size_t kColumnBlockBytes = std::size_t{4} << 20;

// The streaming form of parseColumns, for passes that keep running totals
// instead of whole columns: parses params over every take, a block of takes
// at a time (each block split over the cores), and calls consume with each
// block in take order on the calling thread. So whatever consume adds up in
// take order comes out the same to the last bit however the parse was split.
// Holds about blockBytes of numbers whatever the log's size (at least one
// take per block). An exception from consume ends the pass and travels on.
void forEachColumnBlock(const TakeStore& store, std::span<const long long> params,
                        const std::function<void(const ColumnBlock&)>& consume,
                        std::size_t blockBytes = kColumnBlockBytes);

// Whether values are finite numbers that never run back from previous (the
// value before them, -infinity for none), as a log's time does: the charts'
// rule for a time axis. previous becomes the last value.
[[nodiscard]] bool runsForward(std::span<const double> values, double& previous) noexcept;

// Whether parameter param of store holds a time by runsForward, over every
// take: a block pass (forEachColumnBlock) that keeps no column, for a window
// that needs the answer but not the numbers. False for a log without takes.
[[nodiscard]] bool paramRunsForward(const TakeStore& store, long long param);

// A block a row a take: row(i)[k] is parameter k of the set in take
// firstTake() + i, NaN where it is no number; rows lie stride() numbers
// apart. The layout a pass wants that works along the parameters of each
// take (the report's totals, four parameters to an instruction).
class RowBlock final : public NumberBlock {
public:
    using NumberBlock::NumberBlock;
    [[nodiscard]] std::span<const double> row(int i) const noexcept
    {
        return {m_values + static_cast<std::size_t>(i) * m_stride, m_columns};
    }
};

// Bytes of parsed numbers each core holds at a time in forEachParamRun:
// few enough that they are still in that core's cache when consumed.
inline constexpr std::size_t kParamRunBlockBytes = std::size_t{256} << 10;

// A pass for running totals kept per parameter, split over the cores by
// parameters rather than by takes: params are cut into runs of consecutive
// slots, one per core, and each core parses its run over takes firstTake ..
// firstTake + takeCount - 1 of store, in take order, a block of takes at a
// time, calling consume(firstSlot, block) on its own thread, where
// block.column(j) holds the numbers of params[firstSlot + j]. So each
// parameter's numbers reach consume in take order and from one thread:
// totals need neither merging nor a pass of their own over stored numbers,
// and come out the same to the last bit whatever the number of cores.
// consume runs on several threads at once, never twice at once for one slot.
// Holds about blockBytes of numbers per core. An exception from consume ends
// that core's run and travels on once every core has ended.
void forEachParamRun(const TakeStore& store, std::span<const long long> params, int firstTake, int takeCount,
                     const std::function<void(std::size_t firstSlot, const ColumnBlock&)>& consume,
                     std::size_t blockBytes = kParamRunBlockBytes);

// forEachParamRun over a log of any format, through its parseInto: the same
// split by parameters, each core a run of them in take order, so the same
// totals come out to the last bit.
void forEachParamRun(const LogChannels& log, std::span<const long long> params, int firstTake, int takeCount,
                     const std::function<void(std::size_t firstSlot, const ColumnBlock&)>& consume,
                     std::size_t blockBytes = kParamRunBlockBytes);

// forEachParamRun with each block's numbers a row a take (RowBlock): the
// same split over the cores, the same take order and threads per slot,
// except that the slots are cut where the cores' shares of parameters
// within the names (those a line is likely to hold) are equal, so that
// parameters past every line cost a core nothing.
void forEachParamRows(const TakeStore& store, std::span<const long long> params, int firstTake, int takeCount,
                      const std::function<void(std::size_t firstSlot, const RowBlock&)>& consume,
                      std::size_t blockBytes = kParamRunBlockBytes);

}  // namespace dlv
