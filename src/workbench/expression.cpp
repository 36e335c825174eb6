#include "workbench/expression.h"

#include "datalog/take_store.h"

#include <muParser.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <set>

namespace dlv::workbench {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double logicalNot(double v)
{
    return v == 0 ? 1.0 : 0.0;
}

// min and max that spread NaN from any argument, like the arithmetic
// operators (std::min would keep or drop it depending on the order).
double nanMin(const double* args, int count)
{
    double result = args[0];
    for (int i = 0; i < count; ++i) {
        if (std::isnan(args[i]))
            return kNaN;
        result = std::min(result, args[i]);
    }
    return result;
}

double nanMax(const double* args, int count)
{
    double result = args[0];
    for (int i = 0; i < count; ++i) {
        if (std::isnan(args[i]))
            return kNaN;
        result = std::max(result, args[i]);
    }
    return result;
}

std::unique_ptr<mu::Parser> makeParser()
{
    auto parser = std::make_unique<mu::Parser>();
    parser->DefineInfixOprt("!", logicalNot);
    parser->DefineFun("min", nanMin);
    parser->DefineFun("max", nanMax);
    return parser;
}

const std::set<std::string, std::less<>>& functionNames()
{
    static const std::set<std::string, std::less<>> names = [] {
        std::set<std::string, std::less<>> out;
        const std::unique_ptr<mu::Parser> parser = makeParser();
        for (const auto& [name, callback] : parser->GetFunDef())
            out.insert(name);
        return out;
    }();
    return names;
}

std::string variableName(std::size_t index)
{
    return "_v" + std::to_string(index);
}

bool isNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool isNameChar(char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int columnOf(std::string_view text, std::size_t offset)
{
    int column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i)
        column += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    return column;
}

std::string inQuotes(std::string_view text)
{
    return "\"" + displayText(text) + "\"";
}

}  // namespace

std::string errorMessage(std::string_view where, const ExprError& error)
{
    return std::string(where) + ": " + error.reason + " at column " + std::to_string(error.column) + " of " +
           inQuotes(error.expression);
}

NameScope::NameScope(const std::vector<std::string>& paramNames)
{
    // The store's last name is the empty one that ended the names line.
    m_parameterCount = paramNames.empty() ? 0 : paramNames.size() - 1;
    // First pass: names as the log holds them; second: their UTF-8 reading
    // for Latin-1 names, without displacing any name of the first pass.
    for (std::size_t p = 0; p < m_parameterCount; ++p)
        m_names.try_emplace(paramNames[p], Operand{Operand::Kind::Parameter, static_cast<long long>(p), 0});
    for (std::size_t p = 0; p < m_parameterCount; ++p)
        m_names.try_emplace(displayText(paramNames[p]), Operand{Operand::Kind::Parameter, static_cast<long long>(p), 0});
}

void NameScope::addChannel(std::string_view name, std::size_t index)
{
    m_names.insert_or_assign(std::string(name), Operand{Operand::Kind::Channel, static_cast<long long>(index), 0});
}

std::optional<Operand> NameScope::resolve(std::string_view name) const
{
    const auto found = m_names.find(std::string(name));
    if (found == m_names.end())
        return std::nullopt;
    return found->second;
}

// Rewrites the user's text for muparser, resolving names as it goes, and maps
// muparser's positions back.
struct ExpressionCompiler {
    std::string_view text;
    const NameScope& scope;
    CompiledExpression result;
    std::vector<std::size_t> sourceOf;  // per byte of the parser text: its offset in text
    // Start offset -> length of every name reference, for marking a whole
    // reference when muparser complains about its variable.
    std::vector<std::pair<std::size_t, std::size_t>> references;

    struct Fail {
        ExprError error;
    };

    [[noreturn]] void fail(std::string reason, std::size_t offset, std::size_t length) const
    {
        offset = std::min(offset, text.size());
        throw Fail{ExprError{std::move(reason), std::string(text), offset, std::min(length, text.size() - offset),
                             columnOf(text, offset)}};
    }

    void emit(std::string_view out, std::size_t source)
    {
        result.m_parserText += out;
        sourceOf.insert(sourceOf.end(), out.size(), source);
    }

    void copy(std::size_t begin, std::size_t end)
    {
        for (std::size_t i = begin; i < end; ++i)
            emit(text.substr(i, 1), i);
    }

    // Reads "[-k]" after a name reference when there is one; returns k and
    // moves i past it.
    long long lookBack(std::size_t& i)
    {
        std::size_t j = i;
        while (j < text.size() && isSpace(text[j]))
            ++j;
        if (j >= text.size() || text[j] != '[')
            return 0;
        const std::size_t open = j++;
        const std::size_t close = text.find(']', open);
        const std::size_t shown = close == std::string_view::npos ? 1 : close - open + 1;
        const auto bad = [&] {
            fail("a look-back is written [-k], k a whole number of takes", open, shown);
        };
        while (j < text.size() && isSpace(text[j]))
            ++j;
        if (j >= text.size() || text[j] != '-')
            bad();
        ++j;
        while (j < text.size() && isSpace(text[j]))
            ++j;
        if (j >= text.size() || !isDigit(text[j]))
            bad();
        long long k = 0;
        for (; j < text.size() && isDigit(text[j]); ++j)
            k = std::min<long long>(k * 10 + (text[j] - '0'), std::numeric_limits<int>::max());
        while (j < text.size() && isSpace(text[j]))
            ++j;
        if (j >= text.size() || text[j] != ']')
            bad();
        i = j + 1;
        return k;
    }

    void reference(Operand operand, std::size_t begin, std::size_t& i)
    {
        operand.lookBack = lookBack(i);
        const auto found = std::find(result.m_operands.begin(), result.m_operands.end(), operand);
        const std::size_t index = static_cast<std::size_t>(found - result.m_operands.begin());
        if (found == result.m_operands.end())
            result.m_operands.push_back(operand);
        result.m_uses.push_back({index, begin, i - begin});
        references.emplace_back(begin, i - begin);
        emit(variableName(index), begin);
    }

    void named(std::string_view name, std::size_t begin, std::size_t& i)
    {
        const std::optional<Operand> operand = scope.resolve(name);
        if (!operand)
            fail("unknown name " + inQuotes(name), begin, i - begin);
        reference(*operand, begin, i);
    }

    void rewrite()
    {
        // Which open parentheses belong to a function call: only there is a
        // comma an argument separator (muparser would take "1, 2" as two results).
        result.m_source = std::string(text);
        std::vector<bool> parens;
        bool functionNext = false;
        std::size_t i = 0;
        while (i < text.size()) {
            const char c = text[i];
            const bool function = std::exchange(functionNext, false);
            if (isDigit(c) || (c == '.' && i + 1 < text.size() && isDigit(text[i + 1]))) {
                std::size_t j = i;
                while (j < text.size() && (isDigit(text[j]) || text[j] == '.'))
                    ++j;
                if (j < text.size() && (text[j] == 'e' || text[j] == 'E')) {
                    std::size_t k = j + 1;
                    if (k < text.size() && (text[k] == '+' || text[k] == '-'))
                        ++k;
                    if (k < text.size() && isDigit(text[k])) {
                        while (k < text.size() && isDigit(text[k]))
                            ++k;
                        j = k;
                    }
                }
                copy(i, j);
                i = j;
            } else if (isNameStart(c)) {
                std::size_t j = i;
                while (j < text.size() && isNameChar(text[j]))
                    ++j;
                std::size_t next = j;
                while (next < text.size() && isSpace(text[next]))
                    ++next;
                const std::string_view name = text.substr(i, j - i);
                if (next < text.size() && text[next] == '(') {
                    if (!functionNames().contains(name))
                        fail("unknown function " + inQuotes(name), i, j - i);
                    copy(i, j);
                    functionNext = true;
                    i = j;
                } else {
                    const std::size_t begin = i;
                    i = j;
                    named(name, begin, i);
                }
            } else if (c == '{') {
                const std::size_t close = text.find('}', i);
                if (close == std::string_view::npos)
                    fail("\"{\" without \"}\"", i, 1);
                if (close == i + 1)
                    fail("empty name in braces", i, 2);
                const std::size_t begin = i;
                i = close + 1;
                named(text.substr(begin + 1, close - begin - 1), begin, i);
            } else if (c == '#') {
                std::size_t j = i + 1;
                long long number = 0;
                while (j < text.size() && isDigit(text[j])) {
                    number = std::min(number * 10 + (text[j] - '0'), kMaxParameterNumber + 1);
                    ++j;
                }
                if (j == i + 1)
                    fail("\"#\" needs a parameter number, as in #12", i, 1);
                if (number > kMaxParameterNumber)
                    fail("no parameter " + std::string(text.substr(i, j - i)) + " (parameter numbers go up to " +
                             std::to_string(kMaxParameterNumber) + ")",
                         i, j - i);
                const std::size_t begin = i;
                i = j;
                reference(Operand{Operand::Kind::Parameter, number, 0}, begin, i);
            } else if (c == '[') {
                fail("\"[\" must follow a name, as in TPS[-1]", i, 1);
            } else if (c == '"') {
                fail("texts in quotes are not values", i, 1);
            } else if (c == '=') {
                const bool prevOp = i > 0 && std::string_view("<>!=").find(text[i - 1]) != std::string_view::npos;
                const bool nextEq = i + 1 < text.size() && text[i + 1] == '=';
                if (!prevOp && !nextEq)
                    fail("\"=\" is no comparison: write \"==\"", i, 1);
                copy(i, i + 1);
                ++i;
            } else if (c == '(') {
                parens.push_back(function);
                copy(i, i + 1);
                ++i;
            } else if (c == ')') {
                if (!parens.empty())
                    parens.pop_back();
                copy(i, i + 1);
                ++i;
            } else if (c == ',') {
                if (parens.empty() || !parens.back())
                    fail("\",\" outside a function's arguments", i, 1);
                copy(i, i + 1);
                ++i;
            } else {
                if (isSpace(c))
                    functionNext = function;  // "abs (x)": the call goes on
                copy(i, i + 1);
                ++i;
            }
        }
        sourceOf.push_back(text.size());  // the end of the text
        result.m_isOperand = result.m_uses.size() == 1 && references.size() == 1 &&
                             text.find_first_not_of(" \t\r\n") == references[0].first &&
                             text.find_last_not_of(" \t\r\n") + 1 == references[0].first + references[0].second;
    }

    // The user's token at offset: a whole name reference, a word or number,
    // a two-character operator, or one character.
    std::size_t tokenLength(std::size_t offset) const
    {
        for (const auto& [begin, length] : references)
            if (begin == offset)
                return length;
        if (offset >= text.size())
            return 0;
        if (isNameChar(text[offset]) || text[offset] == '.') {
            std::size_t j = offset;
            while (j < text.size() && (isNameChar(text[j]) || text[j] == '.'))
                ++j;
            return j - offset;
        }
        static constexpr std::string_view pairs[] = {"<=", ">=", "==", "!=", "&&", "||"};
        for (const std::string_view pair : pairs)
            if (text.substr(offset, 2) == pair)
                return 2;
        // One character, whole when it is a multi-byte one.
        std::size_t j = offset + 1;
        while (j < text.size() && (static_cast<unsigned char>(text[j]) & 0xC0) == 0x80)
            ++j;
        return j - offset;
    }

    std::string tokenAt(std::size_t offset) const
    {
        return std::string(text.substr(offset, tokenLength(offset)));
    }

    [[noreturn]] void parserFailed(const mu::ParserError& error) const
    {
        const int position = error.GetPos();
        std::size_t offset;
        if (position < 0) {
            // No position: an unfinished condition is the usual case.
            const std::size_t question = text.rfind('?');
            offset = question == std::string_view::npos ? text.size() : question;
        } else {
            offset = sourceOf[std::min<std::size_t>(static_cast<std::size_t>(position), sourceOf.size() - 1)];
        }
        const std::string token = tokenAt(offset);
        const auto unexpected = [&](std::string_view kind) {
            return offset >= text.size() ? std::string("unexpected end of the expression")
                                         : "unexpected " + std::string(kind) + inQuotes(token);
        };
        std::string reason;
        switch (error.GetCode()) {
        case mu::ecUNEXPECTED_OPERATOR:
        case mu::ecUNASSIGNABLE_TOKEN:
        case mu::ecUNEXPECTED_PARENS:
        case mu::ecUNEXPECTED_ARG_SEP:
        case mu::ecUNEXPECTED_CONDITIONAL:
            reason = unexpected("");
            break;
        case mu::ecUNEXPECTED_VAL:
            reason = unexpected("number ");
            break;
        case mu::ecUNEXPECTED_VAR:
            reason = unexpected("name ");
            break;
        case mu::ecUNEXPECTED_FUN:
            reason = unexpected("function ");
            break;
        case mu::ecUNEXPECTED_EOF:
            reason = "unexpected end of the expression";
            offset = text.size();
            break;
        case mu::ecMISSING_PARENS:
            reason = "a \")\" is missing";
            offset = text.size();
            break;
        case mu::ecTOO_MANY_PARAMS:
            reason = "too many arguments for " + inQuotes(error.GetToken());
            break;
        case mu::ecTOO_FEW_PARAMS:
            reason = "too few arguments for " + inQuotes(error.GetToken());
            break;
        case mu::ecMISSING_ELSE_CLAUSE:
            reason = "\"?\" without its \":\"";
            break;
        case mu::ecMISPLACED_COLON:
            reason = "\":\" without a \"?\" before it";
            break;
        case mu::ecUNEXPECTED_ARG:
            reason = "\",\" outside a function's arguments";
            break;
        case mu::ecEMPTY_EXPRESSION:
        case mu::ecINVALID_CHARACTERS_FOUND:
            reason = "the expression is empty";
            offset = 0;
            break;
        default:
            reason = "cannot read the expression here (" + error.GetMsg() + ")";
            break;
        }
        fail(std::move(reason), offset, offset < text.size() ? tokenLength(offset) : 0);
    }

    void check()
    {
        const std::unique_ptr<mu::Parser> parser = makeParser();
        std::vector<double> dummy(result.m_operands.size(), 1.0);
        for (std::size_t v = 0; v < dummy.size(); ++v)
            parser->DefineVar(variableName(v), &dummy[v]);
        try {
            parser->SetExpr(result.m_parserText);
            (void)parser->Eval();
        } catch (const mu::ParserError& error) {
            parserFailed(error);
        }
    }
};

CompileResult compileExpression(std::string_view text, const NameScope& scope)
{
    ExpressionCompiler compiler{text, scope, {}, {}, {}};
    try {
        if (text.find_first_not_of(" \t\r\n") == std::string_view::npos)
            compiler.fail("the expression is empty", 0, 0);
        if (text.size() > kMaxExpressionBytes)
            compiler.fail("the expression is longer than " + std::to_string(kMaxExpressionBytes) + " bytes", 0, 0);
        compiler.rewrite();
        compiler.check();
    } catch (const ExpressionCompiler::Fail& failure) {
        return CompileResult{std::nullopt, failure.error};
    }
    return CompileResult{std::move(compiler.result), {}};
}

namespace {

// NaN and infinite results have no value: both read as NaN from here on.
void normalise(std::span<double> values)
{
    for (double& v : values)
        if (!std::isfinite(v))
            v = kNaN;
}

}  // namespace

std::vector<double> evaluateExpression(const CompiledExpression& expression, std::span<const double* const> columns,
                                       std::size_t takes)
{
    std::vector<double> out(takes, kNaN);
    const std::vector<Operand>& operands = expression.operands();
    if (takes == 0)
        return out;
    long long deepest = 0;
    for (const Operand& operand : operands)
        deepest = std::max(deepest, operand.lookBack);
    const std::size_t head = std::min<std::size_t>(static_cast<std::size_t>(deepest), takes);

    if (expression.isOperand()) {
        const double* column = columns[0];
        std::copy(column, column + (takes - head), out.begin() + static_cast<std::ptrdiff_t>(head));
        return out;
    }

    // Takes from `head` on: every variable points straight into its column,
    // shifted by its look-back, and one bulk evaluation covers them all.
    const std::unique_ptr<mu::Parser> parser = makeParser();
    parser->SetExpr(expression.parserText());
    if (head < takes) {
        for (std::size_t v = 0; v < operands.size(); ++v)
            parser->DefineVar(variableName(v),
                              const_cast<double*>(columns[v]) + head - static_cast<std::size_t>(operands[v].lookBack));
        parser->Eval(out.data() + head, static_cast<int>(takes - head));
    }
    // The first takes, where some look-back reaches before take 0: copies
    // with NaN in front.
    if (head > 0) {
        std::vector<std::vector<double>> shifted(operands.size());
        for (std::size_t v = 0; v < operands.size(); ++v) {
            const std::size_t k = static_cast<std::size_t>(operands[v].lookBack);
            shifted[v].assign(head, kNaN);
            for (std::size_t t = k; t < head; ++t)
                shifted[v][t] = columns[v][t - k];
            parser->DefineVar(variableName(v), shifted[v].data());
        }
        parser->Eval(out.data(), static_cast<int>(head));
    }
    normalise(out);
    return out;
}

}  // namespace dlv::workbench
