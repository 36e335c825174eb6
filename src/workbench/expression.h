#pragma once

// Expressions over a log's numbers: what users write (names as they are or in
// braces, #N, look-back NAME[-k]) is rewritten to internal variable names and
// handed to muparser, which evaluates it in bulk over whole columns. A map
// from the rewritten text back to the user's text lets every error name the
// user's column.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dlv::workbench {

// One column an expression reads: a log parameter or a channel (its index in
// the workspace), lookBack takes earlier (0: the same take).
struct Operand {
    enum class Kind { Parameter, Channel };
    Kind kind = Kind::Parameter;
    long long index = 0;
    long long lookBack = 0;
    bool operator==(const Operand&) const = default;
};

// Where and why an expression cannot be compiled, in the user's text.
struct ExprError {
    std::string reason;      // 'unknown name "ECTX"'
    std::string expression;  // the user's text
    std::size_t offset = 0;  // bytes from the start of expression to the fault
    std::size_t length = 0;  // bytes of the faulty token (0 at the end)
    int column = 1;          // 1-based, in characters (UTF-8)
};

// 'WHERE: REASON at column C of "EXPRESSION"'; where is e.g. 'table "BLM", z'.
[[nodiscard]] std::string errorMessage(std::string_view where, const ExprError& error);

// The names an expression may use: the log's parameters (the first of a name
// that the names line holds twice) and channels added in order, which shadow
// a parameter of the same name. A name written in UTF-8 also finds a Latin-1
// name of the log.
class NameScope final {
public:
    explicit NameScope(const std::vector<std::string>& paramNames);
    void addChannel(std::string_view name, std::size_t index);
    [[nodiscard]] std::optional<Operand> resolve(std::string_view name) const;
    [[nodiscard]] std::size_t parameterCount() const noexcept { return m_parameterCount; }

private:
    std::unordered_map<std::string, Operand> m_names;
    std::size_t m_parameterCount = 0;
};

// Parameter numbers a #N may name: the store's field numbers.
inline constexpr long long kMaxParameterNumber = 32767;
// Longer expressions are refused before they reach the parser.
inline constexpr std::size_t kMaxExpressionBytes = 10000;

// An expression checked against a scope. Cheap to copy; holds no columns.
class CompiledExpression final {
public:
    [[nodiscard]] const std::string& source() const noexcept { return m_source; }
    // The operands, in the order of their variables in parserText().
    [[nodiscard]] const std::vector<Operand>& operands() const noexcept { return m_operands; }
    [[nodiscard]] const std::string& parserText() const noexcept { return m_parserText; }
    // The whole expression is one operand (a name, maybe with a look-back).
    [[nodiscard]] bool isOperand() const noexcept { return m_isOperand; }

    // Where each operand is written in the source, for messages about them.
    struct Use {
        std::size_t operand;
        std::size_t offset;
        std::size_t length;
    };
    [[nodiscard]] const std::vector<Use>& uses() const noexcept { return m_uses; }

private:
    friend struct ExpressionCompiler;
    std::string m_source;
    std::string m_parserText;
    std::vector<Operand> m_operands;
    std::vector<Use> m_uses;
    bool m_isOperand = false;
};

struct CompileResult {
    std::optional<CompiledExpression> expression;
    ExprError error;  // when expression is empty
    [[nodiscard]] bool ok() const noexcept { return expression.has_value(); }
};

// Checks text against the names of scope and the expression syntax. Never
// throws but std::bad_alloc. Cost O(length) plus one parse by muparser.
[[nodiscard]] CompileResult compileExpression(std::string_view text, const NameScope& scope);

// The value of expression at every take 0 .. takes - 1. columns[i] holds the
// values of operand i without its look-back (takes numbers each); a look-back
// before take 0 reads NaN. NaN and infinite results come out as NaN (no
// value). muparser's bytecode run over blocks of takes on every core: a few
// ns a take for a dozen operations. Thread-safe.
[[nodiscard]] std::vector<double> evaluateExpression(const CompiledExpression& expression,
                                                     std::span<const double* const> columns, std::size_t takes);

// The same values from muparser itself, take by take (30-100 ns a take): the
// reference that tests and fuzzing hold evaluateExpression to.
[[nodiscard]] std::vector<double> evaluateWithParser(const CompiledExpression& expression,
                                                     std::span<const double* const> columns, std::size_t takes);

}  // namespace dlv::workbench
