#include "views/report.h"

#include "views/blm_table.h"
#include "views/curve.h"
#include "views/general_grid.h"
#include "views/run_time.h"

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

    const BlmTable table = computeBlmTable(store);
    appendTable(out, blmTableTexts(table));
    if (hits) {
        out += '\n';
        appendTable(out, blmHitTexts(table));
    }

    out += "\nParameter\tMax\tAvg\tMin\n";
    const auto& names = store.ParamNames();
    for (std::size_t p = 0; p < names.size(); ++p) {
        const CurveLabels labels =
            curveLabels(summarizeSeries(extractParamSeries(store, static_cast<long long>(p))), decimalSeparator);
        out += displayText(names[p]);
        out += '\t' + labels.max + '\t' + labels.avg + '\t' + labels.min + '\n';
    }
    return out;
}

}  // namespace dlv
