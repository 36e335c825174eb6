#include "views/blm_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "datalog/number.h"
#include "datalog/parallel.h"
#include "datalog/take_store.h"

namespace dlv {
namespace {

// Grid rows whose closed band holds rpm: one row, or two on a shared bound.
// False when rpm lies outside 0 .. 3200.
bool rpmRows(double rpm, int& firstRow, int& lastRow) noexcept
{
    if (!(rpm >= 0.0) || rpm > blmRowRpm(kBlmRpmBands))
        return false;
    // The quotient only narrows the search; the exact bound comparisons below
    // decide, so a quotient that rounds across a whole number does no harm.
    const int k = static_cast<int>(rpm / kRpmBandWidth);
    firstRow = kBlmRpmBands + 1;
    lastRow = 0;
    for (int r = std::max(1, k - 1); r <= std::min(kBlmRpmBands, k + 2); ++r) {
        if (blmRowRpm(r - 1) <= rpm && rpm <= blmRowRpm(r)) {
            firstRow = std::min(firstRow, r);
            lastRow = std::max(lastRow, r);
        }
    }
    return firstRow <= lastRow;
}

// Grid column 1..9 of a MAP value, 0 when it falls outside the table.
int mapColumn(double map) noexcept
{
    const double column = roundHalfEven(map / kMapStep) - 1.0;
    if (!(column >= 1.0 && column <= kBlmMapColumns))
        return 0;
    return static_cast<int>(column);
}

// How many takes ahead the pass asks for fields to be brought into cache.
constexpr int kPrefetchDistance = 8;

// Where one take lands in the table: rows firstRow .. lastRow of column, or
// nowhere (column 0).
struct BlmSample {
    double blm;
    std::int8_t firstRow;
    std::int8_t lastRow;
    std::int8_t column;
};

// Parses takes begin .. end - 1 into out[0 ..].
void parseBlmSamples(const TakeStore& store, int begin, int end, BlmSample* out) noexcept
{
    for (int t = begin; t < end; ++t) {
        // Each take's three fields lie in a different part of a buffer far
        // larger than the caches, so the pass waits on memory far more than it
        // parses; asking for a later take's fields now hides most of that wait.
        if (t + kPrefetchDistance < end) {
            const int ahead = t + kPrefetchDistance;
            for (const long long p : {kRpmParam, kMapParam, kBlmParam})
                prefetchField(store, p, ahead);
        }
        BlmSample& sample = out[t - begin];
        sample.column = 0;
        // parseNumber removes the surrounding spaces itself, so the untrimmed
        // field is enough. RPM first: it rejects the most takes in real logs.
        const std::optional<double> rpm = parseNumber(store.field(kRpmParam, t));
        if (!rpm)
            continue;
        int firstRow = 0;
        int lastRow = 0;
        if (!rpmRows(*rpm, firstRow, lastRow))
            continue;
        const std::optional<double> map = parseNumber(store.field(kMapParam, t));
        if (!map)
            continue;
        const int column = mapColumn(*map);
        if (column == 0)
            continue;
        const std::optional<double> blm = parseNumber(store.field(kBlmParam, t));
        if (!blm)
            continue;
        sample = BlmSample{*blm, static_cast<std::int8_t>(firstRow), static_cast<std::int8_t>(lastRow),
                           static_cast<std::int8_t>(column)};
    }
}

// Calls sample(take, firstRow, lastRow, column, blm) for every take that
// feeds the table, in take order. The table and the take listing both go
// through here so that they can never disagree about which takes count.
// The fields are parsed a block of takes at a time on every core; the
// samples are then handed out in take order on the calling thread, so that
// sums come out the same to the last bit however the work was split.
template <class Sample>
void forEachBlmSample(const TakeStore& store, Sample&& sample)
{
    constexpr int kBlock = 1 << 16;
    const int n = store.takeCount();
    std::vector<BlmSample> samples(static_cast<std::size_t>(std::min(n, kBlock)));
    for (int block = 0; block < n; block += kBlock) {
        const int count = std::min(kBlock, n - block);
        parallelFor(static_cast<std::size_t>(count), 8192, [&](std::size_t begin, std::size_t end) {
            parseBlmSamples(store, block + static_cast<int>(begin), block + static_cast<int>(end), samples.data() + begin);
        });
        for (int i = 0; i < count; ++i) {
            const BlmSample& s = samples[static_cast<std::size_t>(i)];
            if (s.column != 0)
                sample(block + i, s.firstRow, s.lastRow, s.column, s.blm);
        }
    }
}

BlmGridTexts labelledGrid()
{
    BlmGridTexts texts;
    texts[0][0] = kBlmCornerText;
    for (int c = 1; c <= kBlmMapColumns; ++c)
        texts[0][static_cast<std::size_t>(c)] = std::to_string(blmColumnMap(c));
    for (int r = 1; r <= kBlmRpmBands; ++r)
        texts[static_cast<std::size_t>(r)][0] = std::to_string(blmRowRpm(r));
    return texts;
}

}  // namespace

BlmTable computeBlmTable(const TakeStore& store)
{
    BlmTable table;
    forEachBlmSample(store, [&table](int, int firstRow, int lastRow, int column, double blm) {
        for (int r = firstRow; r <= lastRow; ++r) {
            BlmCell& cell = table.cells[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(column - 1)];
            if (cell.hits == 0) {
                cell.min = blm;
                cell.max = blm;
            } else {
                cell.min = std::min(cell.min, blm);
                cell.max = std::max(cell.max, blm);
            }
            ++cell.hits;
            cell.sum += blm;
        }
    });
    return table;
}

std::optional<double> blmCellAverage(const BlmCell& cell) noexcept
{
    if (cell.hits <= 0)
        return std::nullopt;
    // The mean of doubles is itself within double range, whatever the sum.
    const double mean = static_cast<double>(cell.sum / static_cast<long double>(cell.hits));
    const double rounded = roundHalfEven(mean);
    return rounded == 0.0 ? 0.0 : rounded;  // no "-0" for a mean such as -0.4
}

std::string blmCellText(const BlmCell& cell)
{
    const std::optional<double> average = blmCellAverage(cell);
    if (!average || !std::isfinite(*average))
        return {};
    // A whole double has at most 309 digits; fixed notation with no decimals
    // prints every one of them, so large averages never turn into exponents.
    char buffer[std::numeric_limits<double>::max_exponent10 + 16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, *average, std::chars_format::fixed, 0);
    if (result.ec != std::errc{})
        return {};
    return std::string(buffer, result.ptr);
}

BlmGridTexts blmTableTexts(const BlmTable& table)
{
    BlmGridTexts texts = labelledGrid();
    for (int r = 1; r <= kBlmRpmBands; ++r)
        for (int c = 1; c <= kBlmMapColumns; ++c)
            texts[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = blmCellText(table.at(r, c));
    return texts;
}

BlmGridTexts blmHitTexts(const BlmTable& table)
{
    BlmGridTexts texts = labelledGrid();
    for (int r = 1; r <= kBlmRpmBands; ++r)
        for (int c = 1; c <= kBlmMapColumns; ++c)
            texts[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = std::to_string(table.at(r, c).hits);
    return texts;
}

std::vector<int> blmCellTakes(const TakeStore& store, int gridRow, int gridColumn)
{
    std::vector<int> takes;
    if (gridRow < 1 || gridRow > kBlmRpmBands || gridColumn < 1 || gridColumn > kBlmMapColumns)
        return takes;
    forEachBlmSample(store, [&](int take, int firstRow, int lastRow, int column, double) {
        if (column == gridColumn && firstRow <= gridRow && gridRow <= lastRow)
            takes.push_back(take);
    });
    return takes;
}

}  // namespace dlv
