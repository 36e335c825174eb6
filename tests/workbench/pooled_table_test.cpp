// A table shown over several open logs pooled: the same cells and texts as
// --tables over those logs in that order, the takes of each log behind each
// cell, each log's own layout, errors naming the log, and edits recomputed
// from each session's cache.
#include "app/tables_command.h"
#include "support/temp_logs.h"
#include "workbench/table_session.h"
#include "workbench_support.h"

#include <sstream>

namespace {

using dlv::computeShownTable;
using dlv::ShownTable;
using dlv::TableOutcome;
using dlv::workbench::LogSession;
using dlv::workbench::TakeRef;
using dlv::workbench::Workspace;

// The look-back of dTPS starts afresh at take 0 of each log: log b's first
// take would pass the filter if it saw log a's last TPS (30 against 31).
const char* const kWorkspace = R"({
  "channels": [{"name": "dTPS", "expr": "TPS - TPS[-1]"}],
  "tables": [{"name": "BLM", "x": "MAP", "xAxis": [20, 40], "y": "RPM", "yAxis": [800, 1600],
              "z": "BLM", "stat": "mean", "filter": "abs(dTPS) < 5"},
             {"name": "Spread", "x": "RPM", "xAxis": [800, 1600], "z": "BLM", "stat": "stddev"},
             {"name": "Hits", "x": "RPM", "xAxis": [800, 1600], "z": "BLM", "stat": "count", "minHits": 2}]
})";
const char* const kLogA = "title\nRPM,MAP,BLM,TPS\n800,20,120,10\n800,20,124,11\n1600,40,130,30\n1600,40,133,31\n";
// The same parameters in another order, as another logger writes them.
const char* const kLogB = "title\nTPS,BLM,RPM,MAP\n30,150,1600,41\n31,140,1600,40\n32,126,800,21\n";

std::vector<std::vector<std::string>> splitLines(std::string_view text)
{
    std::vector<std::vector<std::string>> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        std::string_view line = text.substr(start, end - start);
        std::vector<std::string> cells;
        std::size_t from = 0;
        for (;;) {
            const std::size_t tab = line.find('\t', from);
            cells.emplace_back(line.substr(from, tab - from));
            if (tab == std::string_view::npos)
                break;
            from = tab + 1;
        }
        lines.push_back(std::move(cells));
        start = end + 1;
    }
    return lines;
}

class PooledTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_workspace = dlvtest::parsed(kWorkspace);
        m_files.write("w.json", kWorkspace);
        m_pathA = m_files.write("a.csv", kLogA);
        m_pathB = m_files.write("b.csv", kLogB);
        m_a = std::make_unique<LogSession>(dlvtest::makeSession(dlv::readDataLog(m_pathA).store));
        m_b = std::make_unique<LogSession>(dlvtest::makeSession(dlv::readDataLog(m_pathB).store));
    }
    // What --tables prints over the files, as lines of cells per table.
    std::vector<std::vector<std::vector<std::string>>> printed(const std::vector<std::filesystem::path>& logs)
    {
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(dlv::runTablesCommand(m_files.path("w.json"), logs, out, err), 0) << err.str();
        std::vector<std::vector<std::vector<std::string>>> tables;
        for (std::vector<std::string>& line : splitLines(out.str())) {
            if (!line.empty() && line[0].starts_with("# "))
                tables.emplace_back();
            else if (!(line.size() == 1 && line[0].empty()))
                tables.back().push_back(std::move(line));
        }
        return tables;
    }
    TableOutcome shown(std::vector<LogSession*> sessions, std::size_t table)
    {
        return computeShownTable(dlv::SessionList(sessions), m_workspace, table);
    }

    dlvtest::TempLogs m_files;
    Workspace m_workspace;
    std::string m_pathA;
    std::string m_pathB;
    std::unique_ptr<LogSession> m_a;
    std::unique_ptr<LogSession> m_b;
};

TEST_F(PooledTable, GivesTheTextsOfTablesOverTheSameLogsInTheSameOrder)
{
    for (const bool swapped : {false, true}) {
        const std::vector<std::filesystem::path> paths =
            swapped ? std::vector<std::filesystem::path>{m_pathB, m_pathA} : std::vector<std::filesystem::path>{m_pathA, m_pathB};
        const auto tables = printed(paths);
        ASSERT_EQ(tables.size(), m_workspace.tables.size());
        for (std::size_t t = 0; t < tables.size(); ++t) {
            const TableOutcome outcome =
                shown(swapped ? std::vector{m_b.get(), m_a.get()} : std::vector{m_a.get(), m_b.get()}, t);
            ASSERT_TRUE(outcome.table) << outcome.errors.front().message;
            EXPECT_EQ(outcome.table->texts, tables[t]) << "table " << t << (swapped ? ", b first" : "");
        }
    }
    // Log b's take 0 has no dTPS: only its take 1 (+1) joins a's two warm
    // takes at 1600 / 40.
    const TableOutcome blm = shown({m_a.get(), m_b.get()}, 0);
    EXPECT_EQ(blm.table->at(1, 1).count, 2);
    EXPECT_EQ(blm.table->at(1, 1).text, "136.50");  // (133 + 140) / 2
    EXPECT_EQ(blm.table->takesInTable, 4);
}

TEST_F(PooledTable, KeepsTheTakesOfEachLogAndItsOwnParameters)
{
    const TableOutcome outcome = shown({m_a.get(), m_b.get()}, 2);
    ASSERT_TRUE(outcome.table);
    const ShownTable& table = *outcome.table;
    // RPM 1600: a's takes 2 and 3, then b's 0 and 1, logs in their order.
    const std::size_t cell = 1;
    EXPECT_EQ(table.takes[cell], (std::vector<TakeRef>{{0, 2}, {0, 3}, {1, 0}, {1, 1}}));
    EXPECT_EQ(table.takesOfLog(cell, 0), (std::vector<int>{2, 3}));
    EXPECT_EQ(table.takesOfLog(cell, 1), (std::vector<int>{0, 1}));
    EXPECT_TRUE(table.takesOfLog(cell, 2).empty());
    // BLM is parameter 2 of a and 1 of b: each log's curve to mark.
    EXPECT_EQ(table.zParam(0), 2);
    EXPECT_EQ(table.zParam(1), 1);
    EXPECT_EQ(table.zParam(2), -1);
    // minHits 2 over the pool: b's single take at 800 joins a's two.
    EXPECT_EQ(table.at(0, 0).text, "3");
}

TEST_F(PooledTable, OneSessionIsTheTableOfItsLogAlone)
{
    const auto tables = printed({m_pathB});
    for (std::size_t t = 0; t < tables.size(); ++t) {
        const TableOutcome one = computeShownTable(*m_b, m_workspace, t);
        ASSERT_TRUE(one.table);
        EXPECT_EQ(one.table->texts, tables[t]);
        EXPECT_EQ(one.table->zParams, (std::vector<long long>{1}));
    }
}

TEST_F(PooledTable, ErrorsNameTheLogTheyWereFoundInAndNoSessionGivesNothing)
{
    const auto noBlm = dlvtest::makeLog("RPM,MAP,TPS", {"800,20,1"});
    LogSession other = dlvtest::makeSession(noBlm);
    const TableOutcome outcome = shown({m_a.get(), m_b.get(), &other}, 0);
    EXPECT_FALSE(outcome.table);
    ASSERT_EQ(outcome.errors.size(), 1u);
    EXPECT_EQ(outcome.errors[0].field, dlv::TableField::Z);
    EXPECT_EQ(outcome.errors[0].log, 2u);
    EXPECT_NE(outcome.errors[0].message.find("unknown name \"BLM\""), std::string::npos) << outcome.errors[0].message;

    const TableOutcome none = shown({}, 0);
    EXPECT_FALSE(none.table);
    EXPECT_TRUE(none.errors.empty());

    // The table's own checks come once, whatever the number of logs.
    m_workspace.tables[0].stat = dlv::workbench::Stat::DiffPercent;
    m_workspace.tables[0].target.reset();
    const TableOutcome noTarget = shown({m_a.get(), m_b.get()}, 0);
    ASSERT_EQ(noTarget.errors.size(), 1u);
    EXPECT_EQ(noTarget.errors[0].field, dlv::TableField::Target);
    EXPECT_EQ(shown({}, 0).errors.size(), 1u);

}

TEST_F(PooledTable, AnEditRecomputesFromEachSessionsCache)
{
    ASSERT_TRUE(shown({m_a.get(), m_b.get()}, 0).table);
    const dlv::workbench::Program programA = dlv::workbench::compileWorkspace(m_workspace, m_a->paramNames());
    const dlv::workbench::Program programB = dlv::workbench::compileWorkspace(m_workspace, m_b->paramNames());
    const dlv::ColumnPtr channelA = m_a->channel(programA, 0);
    const dlv::ColumnPtr channelB = m_b->channel(programB, 0);

    m_workspace.tables[0].filter = "abs(dTPS) < 25";
    const TableOutcome edited = shown({m_a.get(), m_b.get()}, 0);
    ASSERT_TRUE(edited.table);
    // The channel stayed in both caches; the old filter's values went.
    EXPECT_EQ(m_a->channel(dlv::workbench::compileWorkspace(m_workspace, m_a->paramNames()), 0), channelA);
    EXPECT_EQ(m_b->channel(dlv::workbench::compileWorkspace(m_workspace, m_b->paramNames()), 0), channelB);
    EXPECT_EQ(m_a->cachedResults(), 2u);  // dTPS and the new filter
    // The same as fresh sessions give: nothing stale came from the caches.
    LogSession freshA = dlvtest::makeSession(dlv::readDataLog(m_pathA).store);
    LogSession freshB = dlvtest::makeSession(dlv::readDataLog(m_pathB).store);
    EXPECT_EQ(edited.table->texts, shown({&freshA, &freshB}, 0).table->texts);
    EXPECT_EQ(edited.table->at(1, 1).count, 3);  // a's take 2 (+19) now passes

    // The statistic changes: the takes stay binned; the breakpoints move:
    // binned again.
    const dlv::workbench::Program program = dlv::workbench::compileWorkspace(m_workspace, m_b->paramNames());
    const auto binned = m_b->binned(program, m_workspace.tables[0], 0);
    m_workspace.tables[0].stat = dlv::workbench::Stat::Max;
    const TableOutcome maxima = shown({m_a.get(), m_b.get()}, 0);
    EXPECT_EQ(maxima.table->at(1, 1).text, "140.00");
    EXPECT_EQ(m_b->binned(program, m_workspace.tables[0], 0), binned);
    m_workspace.tables[0].xAxis = {20, 41};
    EXPECT_NE(m_b->binned(program, m_workspace.tables[0], 0), binned);
    EXPECT_EQ(shown({m_a.get(), m_b.get()}, 0).table->texts, shown({&freshA, &freshB}, 0).table->texts);
}

}  // namespace
