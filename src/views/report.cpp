#include "views/report.h"

#include "views/blm_table.h"
#include "views/curve.h"
#include "views/general_grid.h"
#include "views/run_time.h"

#include "datalog/columns.h"
#include "datalog/parallel.h"

#include <array>
#include <numeric>
#include <vector>

namespace dlv {

namespace {

void appendTable(std::string& out, const BlmGridTexts& texts)
{
    for (const auto& row : texts) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c > 0)
                out += '\t';
            out += row[c];
        }
        out += '\n';
    }
}

}  // namespace

std::string reportText(const TakeStore& store, std::string_view decimalSeparator, bool hits)
{
    std::string out = "Runtime: ";
    // The same cell the window reads back: parameter 0 of the last take.
    const int columns = store.takeCount() + 1;
    const auto last = store.Get_Param_data(0, store.lastTake());
    out += runTimeCaption(last, columns, decimalSeparator);
    out += "\n\n";

    // One pass over the takes parses every parameter of the grid and the BLM
    // fields, keeping running totals only: no column of a whole log is held.
    const auto& names = store.ParamNames();
    std::vector<long long> params(names.size());
    std::iota(params.begin(), params.end(), 0LL);
    std::array<std::size_t, kBlmFields.size()> blmSlots{};
    for (std::size_t f = 0; f < kBlmFields.size(); ++f) {
        const auto slot = static_cast<std::size_t>(kBlmFields[f]);
        if (slot < names.size()) {
            blmSlots[f] = slot;
        } else {
            blmSlots[f] = params.size();
            params.push_back(kBlmFields[f]);
        }
    }
    std::vector<SummaryAccumulator> summaries(names.size());
    BlmTableBuilder blm;
    forEachColumnBlock(store, params, [&](const ColumnBlock& block) {
        blm.add(block.column(blmSlots[0]), block.column(blmSlots[1]), block.column(blmSlots[2]));
        // Each parameter's totals see its takes in order, whichever core adds them.
        parallelFor(summaries.size(), 16, [&](std::size_t begin, std::size_t end) {
            for (std::size_t p = begin; p < end; ++p)
                summaries[p].add(block.firstTake(), block.column(p));
        });
    });

    const BlmTable& table = blm.table();
    appendTable(out, blmTableTexts(table));
    if (hits) {
        out += '\n';
        appendTable(out, blmHitTexts(table));
    }

    out += "\nParameter\tMax\tAvg\tMin\n";
    for (std::size_t p = 0; p < names.size(); ++p) {
        const CurveLabels labels = curveLabels(summaries[p].summary(), decimalSeparator);
        out += displayText(names[p]);
        out += '\t' + labels.max + '\t' + labels.avg + '\t' + labels.min + '\n';
    }
    return out;
}

}  // namespace dlv
