#pragma once

// Small logs in memory and the workbench run over them, for the tests.
#include "datalog/columns.h"
#include "datalog/take_store.h"
#include "workbench/workbench.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace dlvtest {

// A log of the given names line and take lines (each a comma-joined line).
inline std::shared_ptr<const dlv::TakeStore> makeLog(const std::string& names, const std::vector<std::string>& takes)
{
    std::string bytes = "title\n" + names + "\n";
    for (const std::string& take : takes)
        bytes += take + "\n";
    dlv::ReadResult read = dlv::readDataLogBytes(bytes, "test.csv");
    EXPECT_TRUE(read.ok()) << read.error;
    return read.store;
}

inline dlv::workbench::LogSession makeSession(const std::shared_ptr<const dlv::TakeStore>& store)
{
    return dlv::workbench::LogSession(std::make_shared<dlv::ColumnCache>(store));
}

inline dlv::workbench::Workspace parsed(const std::string& json)
{
    dlv::workbench::WorkspaceResult result = dlv::workbench::parseWorkspace(json);
    EXPECT_TRUE(result.ok()) << result.error;
    return result.ok() ? *result.workspace : dlv::workbench::Workspace{};
}

// The tables of workspace over the logs, folded in order, as --tables does.
inline std::vector<dlv::workbench::TableResult> computeOver(const dlv::workbench::Workspace& workspace,
                                                            const std::vector<std::shared_ptr<const dlv::TakeStore>>& logs,
                                                            bool withTakes = false)
{
    using namespace dlv::workbench;
    std::vector<std::vector<BinnedTakes>> perTable(workspace.tables.size());
    for (const auto& log : logs) {
        const Program program = compileWorkspace(workspace, log->ParamNames());
        EXPECT_TRUE(program.ok()) << (program.ok() ? "" : program.errors.front().message);
        if (!program.ok())
            return {};
        LogSession session = makeSession(log);
        session.prefetch(program);
        for (std::size_t t = 0; t < workspace.tables.size(); ++t)
            perTable[t].push_back(binTable(session, program, workspace.tables[t], t, true));
    }
    std::vector<TableResult> out;
    for (std::size_t t = 0; t < workspace.tables.size(); ++t)
        out.push_back(accumulateTable(workspace.tables[t], perTable[t], withTakes));
    return out;
}

}  // namespace dlvtest
