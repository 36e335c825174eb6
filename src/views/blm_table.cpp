#include "views/blm_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "datalog/columns.h"
#include "datalog/number.h"
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

// Where a take with these numbers (NaN for none) lands in the table: rows
// firstRow .. lastRow of column. False when it feeds no cell.
bool placeTake(double rpm, double map, double blm, int& firstRow, int& lastRow, int& column) noexcept
{
    if (std::isnan(blm) || !rpmRows(rpm, firstRow, lastRow))
        return false;
    column = mapColumn(map);
    return column != 0;
}

// Calls sample(take, firstRow, lastRow, column, blm) for every take that
// feeds the table, in take order. The table and the take listing both go
// through placeTake so that they can never disagree about which takes count.
template <class Sample>
void forEachBlmSample(const TakeStore& store, Sample&& sample)
{
    forEachColumnBlock(store, kBlmFields, [&](const ColumnBlock& block) {
        const std::span<const double> rpm = block.column(0);
        const std::span<const double> map = block.column(1);
        const std::span<const double> blm = block.column(2);
        for (std::size_t i = 0; i < rpm.size(); ++i) {
            int firstRow = 0;
            int lastRow = 0;
            int column = 0;
            if (placeTake(rpm[i], map[i], blm[i], firstRow, lastRow, column))
                sample(block.firstTake() + static_cast<int>(i), firstRow, lastRow, column, blm[i]);
        }
    });
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

void BlmTableBuilder::add(std::span<const double> rpm, std::span<const double> map,
                          std::span<const double> blm) noexcept
{
    const std::size_t n = std::min({rpm.size(), map.size(), blm.size()});
    for (std::size_t i = 0; i < n; ++i) {
        int firstRow = 0;
        int lastRow = 0;
        int column = 0;
        if (!placeTake(rpm[i], map[i], blm[i], firstRow, lastRow, column))
            continue;
        const double value = blm[i];
        for (int r = firstRow; r <= lastRow; ++r) {
            BlmCell& cell = m_table.cells[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(column - 1)];
            if (cell.hits == 0) {
                cell.min = value;
                cell.max = value;
            } else {
                cell.min = std::min(cell.min, value);
                cell.max = std::max(cell.max, value);
            }
            ++cell.hits;
            cell.sum.add(value);
        }
    }
}

BlmTable computeBlmTable(const TakeStore& store)
{
    BlmTableBuilder builder;
    forEachColumnBlock(store, kBlmFields, [&builder](const ColumnBlock& block) {
        builder.add(block.column(0), block.column(1), block.column(2));
    });
    return builder.table();
}

std::optional<double> blmCellAverage(const BlmCell& cell) noexcept
{
    if (cell.hits <= 0)
        return std::nullopt;
    const double mean = cell.sum.mean(cell.hits);
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

std::string_view otherFormatBlmNote() noexcept
{
    return "This log is not in the datalog format, whose fields 224, 236 and 247 this table reads as RPM, BLM "
           "and MAP.\n"
           "The \"Tables\" tab builds tables of any of the log's channels.\n";
}

}  // namespace dlv
