#pragma once

// One log open in the workbench: its numeric columns and the values of the
// workspace's expressions on it, cached by what they compute, so that an edit
// recomputes only what it changed. Not thread-safe: one thread at a time.

#include "datalog/columns.h"
#include "workbench/program.h"
#include "workbench/table.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace dlv::workbench {

// Every log parameter that program's channels and tables read, sorted, each once.
[[nodiscard]] std::vector<long long> programParameters(const Program& program);

// The farthest back the tables of program look from a take, through their
// channels: a table's values at a take depend on the parameters of at most
// this many takes before it (TPS - TPS[-1] gives 1; a look-back of 2 at a
// channel that itself looks back 1 gives 3).
[[nodiscard]] long long lookBackDepth(const Program& program);

class LogSession final {
public:
    explicit LogSession(std::shared_ptr<ColumnCache> columns);

    // The log's names, as TakeStore::ParamNames gives them.
    [[nodiscard]] const std::vector<std::string>& paramNames() const noexcept { return m_columns->paramNames(); }
    [[nodiscard]] ColumnCache& columns() noexcept { return *m_columns; }
    [[nodiscard]] const std::shared_ptr<ColumnCache>& sharedColumns() const noexcept { return m_columns; }
    [[nodiscard]] std::size_t takes() const noexcept;

    // Parses every log parameter that program's channels and tables read, in
    // one pass over the takes (parameters asked later would each cost a pass).
    void prefetch(const Program& program);

    // The values of expression (compiled in program, without an error) at
    // every take: the parameter's column itself for a plain name, otherwise
    // evaluated once and, when keep is true, cached. Channels it uses are
    // evaluated and cached as needed. Throws std::bad_alloc.
    [[nodiscard]] ColumnPtr evaluate(const Program& program, const CompiledExpression& expression, bool keep = true);
    // Null for a channel with an error.
    [[nodiscard]] ColumnPtr channel(const Program& program, std::size_t index);

    // Table `index` of program binned over the log (binTable, its expression
    // values cached): the same takes as the call before when the table reads
    // the same expressions onto the same breakpoints, so that an edit of the
    // statistic, minHits, target or name folds again without binning. Holds
    // the last table binned only: 16 bytes a binned take. Precondition:
    // program.tables[index].ok. Throws std::bad_alloc.
    [[nodiscard]] std::shared_ptr<const BinnedTakes> binned(const Program& program, const Table& table,
                                                            std::size_t index);

    // Drops cached values that program no longer uses (after an edit).
    void keepOnly(const Program& program);
    [[nodiscard]] std::size_t cachedResults() const noexcept { return m_results.size(); }

private:
    [[nodiscard]] ColumnPtr operandColumn(const Program& program, const Operand& operand);
    // expression's values once every channel it reads is in m_results.
    [[nodiscard]] ColumnPtr computed(const Program& program, const CompiledExpression& expression, bool keep = true);

    std::shared_ptr<ColumnCache> m_columns;
    std::unordered_map<std::string, ColumnPtr> m_results;
    std::string m_binnedTable;  // tableKey of the binned takes
    std::string m_binnedKey;    // the same with the breakpoints
    std::shared_ptr<const BinnedTakes> m_binned;
};

}  // namespace dlv::workbench
