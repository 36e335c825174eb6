#include "views/report.h"

#include "views/blm_table.h"
#include "views/curve.h"
#include "views/general_grid.h"
#include "views/run_time.h"

#include "datalog/columns.h"
#include "datalog/own_log_stream.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <optional>
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

// The report's running totals over the takes, fed a store at a time in take
// order: the whole log, or its chunks one after the other.
class ReportTotals final {
public:
    explicit ReportTotals(const std::vector<std::string>& names) : m_names(names), m_summaries(names.size())
    {
        m_params.resize(names.size());
        std::iota(m_params.begin(), m_params.end(), 0LL);
        for (std::size_t f = 0; f < kBlmFields.size(); ++f) {
            const auto slot = static_cast<std::size_t>(kBlmFields[f]);
            if (slot < names.size()) {
                m_blmSlots[f] = slot;
            } else {
                m_blmSlots[f] = m_params.size();
                m_params.push_back(kBlmFields[f]);
            }
        }
    }

    // One pass over the takes of store, which are takes firstTake on of the
    // log, parses every parameter of the grid and the BLM fields: each core
    // a run of the parameters over every take, adding to their totals as it
    // goes. The BLM table needs three fields of a take together, which may
    // be parsed on different cores: they are kept for a window of takes and
    // added once the window is parsed.
    void add(const TakeStore& store, int firstTake)
    {
        const int takes = store.takeCount();
        // Takes too short for the BLM field, all of a tall log's, are kept
        // out of the table's columns.
        m_feedsBlm = BlmTableBuilder::fedByTakesOf(store.mostFields());
        for (int window = 0; window < takes; window += kWindowTakes) {
            const int count = std::min(kWindowTakes, takes - window);
            if (m_feedsBlm)
                for (std::vector<double>& column : m_blmColumns)
                    column.resize(static_cast<std::size_t>(count));
            forEachParamRows(store, m_params, window, count, [&](std::size_t firstSlot, const RowBlock& block) {
                addBlock(firstSlot, block, firstTake, window);
            });
            if (m_feedsBlm)
                m_blm.add(m_blmColumns[0], m_blmColumns[1], m_blmColumns[2]);
        }
        if (takes > 0) {
            m_lastTime = std::string(*store.Get_Param_data(0, store.lastTake()));
            m_takeCount = firstTake + takes;
        }
        m_mostFields = std::max(m_mostFields, store.mostFields());
    }

    [[nodiscard]] int mostFields() const noexcept { return m_mostFields; }

    [[nodiscard]] std::string text(std::string_view decimalSeparator, bool hits) const
    {
        std::string out = "Runtime: ";
        // The same cell the window reads back: parameter 0 of the last take.
        out += runTimeCaption(m_lastTime, m_takeCount + 1, decimalSeparator);
        out += "\n\n";

        const BlmTable& table = m_blm.table();
        appendTable(out, blmTableTexts(table));
        if (hits) {
            out += '\n';
            appendTable(out, blmHitTexts(table));
        }

        out += "\nParameter\tMax\tAvg\tMin\n";
        for (std::size_t p = 0; p < m_names.size(); ++p) {
            const CurveLabels labels = curveLabels(m_summaries[p].summary(), decimalSeparator);
            out += displayText(m_names[p]);
            out += '\t' + labels.max + '\t' + labels.avg + '\t' + labels.min + '\n';
        }
        return out;
    }

private:
    // Takes whose BLM fields are kept at a time: 1.5 MB.
    static constexpr int kWindowTakes = 1 << 16;

    // The numbers of params[firstSlot ..] over the block's takes (of a
    // window starting at take window of the store, itself starting at take
    // firstTake of the log), on the core that parsed them.
    void addBlock(std::size_t firstSlot, const RowBlock& block, int firstTake, int window)
    {
        const std::size_t endSlot = firstSlot + block.columnCount();
        const std::size_t summarized = std::min(endSlot, m_summaries.size());
        if (firstSlot < summarized) {
            std::vector<SummaryAccumulator*> summaries;
            summaries.reserve(summarized - firstSlot);
            for (std::size_t p = firstSlot; p < summarized; ++p)
                summaries.push_back(&m_summaries[p]);
            SummaryAccumulator::addRows(summaries, firstTake + block.firstTake(), block.values(), block.stride(),
                                        block.takeCount(), SummaryTakes::Skipped);
        }
        for (std::size_t f = 0; f < kBlmFields.size() && m_feedsBlm; ++f)
            if (m_blmSlots[f] >= firstSlot && m_blmSlots[f] < endSlot) {
                const std::size_t slot = m_blmSlots[f] - firstSlot;
                double* const to = m_blmColumns[f].data() + (block.firstTake() - window);
                for (int i = 0; i < block.takeCount(); ++i)
                    to[i] = block.row(i)[slot];
            }
    }

    std::vector<std::string> m_names;
    std::vector<long long> m_params;  // every name's parameter, then the BLM fields beyond them
    std::array<std::size_t, kBlmFields.size()> m_blmSlots{};
    std::vector<SummaryAccumulator> m_summaries;
    BlmTableBuilder m_blm;
    std::array<std::vector<double>, kBlmFields.size()> m_blmColumns;  // of the window being parsed
    bool m_feedsBlm = true;                                            // the store being added can feed the table
    std::optional<std::string> m_lastTime;  // parameter 0 of the last take so far
    int m_takeCount = 0;
    int m_mostFields = 0;
};

// The report over the chunks that stream hands to its consumer.
template <class Stream>
std::optional<StreamedReport> reportOfStream(const Stream& stream, std::string_view decimalSeparator, bool hits)
{
    std::optional<ReportTotals> totals;
    std::vector<std::string> names;
    std::optional<std::vector<ReadWarning>> warnings = stream([&](const TakeStore& chunk, int firstTake) {
        if (!totals) {
            totals.emplace(chunk.ParamNames());
            names.assign(chunk.ParamNames().begin(), chunk.ParamNames().end() - 1);
        }
        totals->add(chunk, firstTake);
    });
    if (!warnings || !totals)
        return std::nullopt;
    StreamedReport report{totals->text(decimalSeparator, hits), std::move(*warnings), names, totals->mostFields()};
    return report;
}

}  // namespace

std::string reportText(const TakeStore& store, std::string_view decimalSeparator, bool hits)
{
    ReportTotals totals(store.ParamNames());
    totals.add(store, 0);
    return totals.text(decimalSeparator, hits);
}

std::string reportText(const LogChannels& log, std::string_view decimalSeparator, bool hits)
{
    if (log.format() == LogFormat::Datalog && log.textStore())
        return reportText(*log.textStore(), decimalSeparator, hits);
    const std::vector<std::string>& names = log.ParamNames();
    std::vector<SummaryAccumulator> summaries(names.size());
    std::vector<long long> params(names.size());
    std::iota(params.begin(), params.end(), 0LL);
    const std::optional<TimeChannel> time = log.timeChannel();
    std::vector<double> timeValues;
    if (time && time->param >= 0 && static_cast<std::size_t>(time->param) < names.size())
        timeValues.resize(static_cast<std::size_t>(log.takeCount()));
    forEachParamRun(log, params, 0, log.takeCount(), [&](std::size_t firstSlot, const ColumnBlock& block) {
        // A core's blocks come one after the other: their lists are kept.
        thread_local std::vector<SummaryAccumulator*> runs;
        thread_local std::vector<std::span<const double>> columns;
        runs.clear();
        columns.clear();
        for (std::size_t j = 0; j < block.columnCount(); ++j) {
            runs.push_back(&summaries[firstSlot + j]);
            columns.push_back(block.column(j));
            if (!timeValues.empty() && static_cast<long long>(firstSlot + j) == time->param)
                std::copy(columns.back().begin(), columns.back().end(), timeValues.begin() + block.firstTake());
        }
        SummaryAccumulator::addEach(runs, block.firstTake(), columns, SummaryTakes::Skipped);
    });

    std::string out = "Runtime: ";
    out += channelRunTimeCaption(timeValues.empty() ? std::nullopt : time, timeValues, log.takeCount() + 1,
                                 decimalSeparator);
    out += "\n\n";
    out += otherFormatBlmNote();
    (void)hits;  // no table, so no table of hits either
    out += "\nParameter\tMax\tAvg\tMin\n";
    for (std::size_t p = 0; p < names.size(); ++p) {
        const CurveLabels labels = curveLabels(summaries[p].summary(), decimalSeparator);
        out += shownChannelName(names[p], log.channel(static_cast<long long>(p)).unit);
        out += '\t' + labels.max + '\t' + labels.avg + '\t' + labels.min + '\n';
    }
    return out;
}

std::optional<StreamedReport> streamedReport(const std::filesystem::path& path, std::string_view decimalSeparator,
                                             bool hits, std::size_t chunkBytes)
{
    return reportOfStream(
        [&](const TakeChunkConsumer& consume) {
            // Every field is walked: the chunks' commas need no index.
            return streamOwnLog(path, chunkBytes, consume, ChunkIndex::Lines);
        },
        decimalSeparator,
        hits);
}

std::optional<StreamedReport> streamedReportOfBytes(std::string_view bytes, std::string_view decimalSeparator, bool hits,
                                                    std::size_t chunkBytes)
{
    return reportOfStream(
        [&](const TakeChunkConsumer& consume) {
            return streamDataLogBytes(bytes, chunkBytes, consume, ChunkIndex::Lines);
        },
        decimalSeparator, hits);
}

}  // namespace dlv
