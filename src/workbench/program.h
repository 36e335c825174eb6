#pragma once

// A workspace compiled against one log's names: every channel and every
// table expression checked, with the errors of each field kept apart so that
// a window can show them under their fields. Cost O(total expression length).

#include "workbench/expression.h"
#include "workbench/workspace.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dlv::workbench {

// A fault in one field of the workspace.
struct FieldError {
    enum class Owner { Channel, Table };
    Owner owner = Owner::Table;
    std::size_t index = 0;  // of the channel or table in the workspace
    std::string field;      // "expr" for a channel; "x", "y", "z" or "filter" for a table
    ExprError error;
    std::string message;    // 'table "BLM", filter: unknown name "ECTX" at column 1 of "ECTX > 80"'
};

struct CompiledChannel {
    std::optional<CompiledExpression> expression;  // empty when it has an error
    // What the channel computes, down to the log's parameters: equal keys
    // give equal columns on the same log (the cache key of LogSession).
    // O(the channel's own text): the channels it reads are named by the
    // numbers of their keys.
    std::string key;
    std::uint64_t keyNumber = 0;  // the same for equal keys, for the whole run
};

struct CompiledTable {
    std::optional<CompiledExpression> x, y, z, filter;  // y, filter: empty when the table has none
    bool ok = false;                                      // every field compiled
};

struct Program {
    std::vector<CompiledChannel> channels;
    std::vector<CompiledTable> tables;
    std::vector<FieldError> errors;  // in the workspace's order
    [[nodiscard]] bool ok() const noexcept { return errors.empty(); }
};

// Compiles every channel (each sees the log's parameters and the channels
// before it) and every table expression (they see all channels). An
// expression that uses a channel with an error has an error of its own.
[[nodiscard]] Program compileWorkspace(const Workspace& workspace, const std::vector<std::string>& paramNames);

// Compiles one more expression against the names program was compiled with
// (paramNames and every channel of workspace), checked as a table field is:
// one that uses a channel with an error has an error of its own. For fields
// outside the tables, such as the charts' filter.
[[nodiscard]] CompileResult compileFieldExpression(const Program& program, const Workspace& workspace,
                                                   const std::vector<std::string>& paramNames, std::string_view text);

// The cache key of an expression compiled in program (see CompiledChannel::key).
[[nodiscard]] std::string expressionKey(const Program& program, const CompiledExpression& expression);

// What table `index` reads, as the keys of its x, y, z and filter: a window
// bins a table again after an edit only when this or its axes changed.
// Precondition: program.tables[index].ok.
[[nodiscard]] std::string tableKey(const Program& program, std::size_t index);

}  // namespace dlv::workbench
