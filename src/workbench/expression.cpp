#include "workbench/expression.h"

#include "datalog/display_text.h"
#include "datalog/parallel.h"
#include "datalog/take_store.h"

#include <muParser.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

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

// A parser for this thread, its variables cleared: setting one up costs tens
// of microseconds, which a workspace of thousands of channels would pay a
// few times each. Each use ends before the next begins on the same thread.
mu::Parser& threadParser()
{
    thread_local const std::unique_ptr<mu::Parser> parser = makeParser();
    parser->ClearVar();
    return *parser;
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

// Control characters escaped, so that a quoted text cannot break a message
// into lines or colour a terminal.
std::string inQuotes(std::string_view text)
{
    return "\"" + controlsEscaped(text) + "\"";
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
                    // Without the spaces before "(": muparser wants none there.
                    copy(i, j);
                    functionNext = true;
                    i = next;
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

    // Where the call of function `name` that ends before offset starts: at its
    // name rather than at the end of its arguments, where muparser notices.
    std::size_t functionBefore(std::size_t offset, const std::string& name) const
    {
        offset = std::min(offset, text.size());
        for (std::size_t at = text.rfind(name, offset); at != std::string_view::npos;
             at = at > 0 ? text.rfind(name, at - 1) : std::string_view::npos) {
            std::size_t j = at + name.size();
            while (j < text.size() && isSpace(text[j]))
                ++j;
            if (j < text.size() && text[j] == '(' && (at == 0 || !isNameChar(text[at - 1])))
                return at;
            if (at == 0)
                break;
        }
        return offset;
    }

    // Where token, which muparser reports as found at offset, is written: at
    // offset itself, or ending there.
    std::size_t tokenBefore(std::size_t offset, const std::string& token) const
    {
        if (text.substr(std::min(offset, text.size()), token.size()) == token)
            return offset;
        // Spaces may lie between the operator and the place reported.
        std::size_t end = std::min(offset, text.size());
        while (end > 0 && isSpace(text[end - 1]))
            --end;
        if (end >= token.size() && text.substr(end - token.size(), token.size()) == token)
            return end - token.size();
        return offset;
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
        // muparser places an operator it did not expect after the operator
        // ("--A": at the "A"): the place is where its token is written.
        if (!error.GetToken().empty() && position >= 0 && error.GetCode() != mu::ecINTERNAL_ERROR)
            offset = tokenBefore(offset, error.GetToken());
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
        case mu::ecTOO_FEW_PARAMS:
            reason = std::string(error.GetCode() == mu::ecTOO_MANY_PARAMS ? "too many" : "too few") +
                     " arguments for " + inQuotes(error.GetToken());
            offset = functionBefore(offset, error.GetToken());
            break;
        case mu::ecMISSING_ELSE_CLAUSE:
            reason = "\"?\" without its \":\"";
            break;
        case mu::ecMISPLACED_COLON:
            reason = "\":\" without a \"?\" before it";
            offset = std::min(text.rfind(':', offset), text.size());
            break;
        case mu::ecUNEXPECTED_ARG:
            reason = "\",\" outside a function's arguments";
            break;
        case mu::ecINTERNAL_ERROR: {
            // muparser's word for an operator that ends the expression ("!",
            // "A + -"): named at that operator.
            std::size_t last = text.find_last_not_of(" \t\r\n");
            while (last != std::string_view::npos && last > 0 && (static_cast<unsigned char>(text[last]) & 0xC0) == 0x80)
                --last;
            const bool anOperator =
                last != std::string_view::npos && std::string_view("!-+*/^<>=&|").find(text[last]) != std::string_view::npos;
            if (anOperator) {
                offset = last > 0 && tokenLength(last - 1) == 2 ? last - 1 : last;
                reason = inQuotes(text.substr(offset, tokenLength(offset))) + " needs a value after it";
            } else {
                offset = text.size();
                reason = "the expression cannot be read here";
            }
            break;
        }
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
        mu::Parser* const parser = &threadParser();
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
        // muparser reads a C string: the expression would end there unseen.
        if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos)
            compiler.fail("a NUL character", nul, 1);
        compiler.rewrite();
        compiler.check();
    } catch (const ExpressionCompiler::Fail& failure) {
        return CompileResult{std::nullopt, failure.error};
    }
    return CompileResult{std::move(compiler.result), {}};
}

namespace {

// Takes per part of a parallel evaluation: a parser costs tens of
// microseconds to set up, a take tens of nanoseconds.
constexpr std::size_t kTakesPerPart = 32768;

// muparser's bulk mode runs an OpenMP team of its own when the library was
// built with OpenMP, as Debian's is. On a busy machine each such team waits
// for its threads to be scheduled, which costs far more than small
// evaluations take, and our own threads already share the work: so every
// evaluating thread asks for a team of one. Weak, so that a muparser without
// OpenMP links as well.
extern "C" void omp_set_num_threads(int) __attribute__((weak));

void evaluateBulk(mu::Parser& parser, double* out, std::size_t count)
{
    if (omp_set_num_threads)
        omp_set_num_threads(1);
    parser.Eval(out, static_cast<int>(count));
}

// NaN and infinite results have no value: both read as NaN from here on.
void normalise(std::span<double> values)
{
    for (double& v : values)
        if (!std::isfinite(v))
            v = kNaN;
}

}  // namespace

namespace {

// muparser's bytecode run over blocks of takes instead of take by take: each
// step of the program runs over a whole block in one tight loop, so the cost
// of reading the bytecode is paid once a block, not once a take. Measured on
// the 300,000-take log: a seven-step filter took 30 ns a take in muparser's
// bulk mode (100 ns on a busy machine), 2-4 ns here. muparser still reads,
// checks and optimises the text; the steps mean what they mean there (a
// comparison gives 1 or 0, && and || and ?: take any number other than 0,
// NaN included, as true). Both branches of a condition are computed and one
// is chosen per take, which gives the same values since nothing has side
// effects. A program with a step this does not know is left to muparser.
class BlockProgram final {
public:
    static constexpr std::size_t kBlock = 256;

    static std::optional<BlockProgram> from(const mu::Parser& parser, std::span<const double> slots)
    {
        BlockProgram program;
        const mu::ParserByteCode& code = parser.GetByteCode();
        const mu::SToken* token = code.GetBase();
        if (!token)
            return std::nullopt;
        int depth = 0;
        int conditions = 0;
        const auto push = [&] { program.m_depth = std::max(program.m_depth, ++depth); };
        for (; token->Cmd != mu::cmEND; ++token) {
            Step step{token->Cmd, -1, 0, 0, {}, 0};
            switch (token->Cmd) {
            case mu::cmVAR:
            case mu::cmVARMUL:
            case mu::cmVARPOW2:
            case mu::cmVARPOW3:
            case mu::cmVARPOW4: {
                const double* slot = token->Val.ptr;
                if (slot < slots.data() || slot >= slots.data() + slots.size())
                    return std::nullopt;
                step.operand = static_cast<int>(slot - slots.data());
                step.a = token->Val.data;
                step.b = token->Val.data2;
                push();
                break;
            }
            case mu::cmVAL:
                step.b = token->Val.data2;
                push();
                break;
            case mu::cmLE:
            case mu::cmGE:
            case mu::cmNEQ:
            case mu::cmEQ:
            case mu::cmLT:
            case mu::cmGT:
            case mu::cmADD:
            case mu::cmSUB:
            case mu::cmMUL:
            case mu::cmDIV:
            case mu::cmPOW:
            case mu::cmLAND:
            case mu::cmLOR:
                if (depth < 2)
                    return std::nullopt;
                --depth;
                break;
            case mu::cmIF:
                if (depth < 1)
                    return std::nullopt;
                --depth;
                program.m_conditions = std::max(program.m_conditions, ++conditions);
                break;
            case mu::cmELSE:
                break;
            case mu::cmENDIF:
                if (depth < 2 || conditions < 1)
                    return std::nullopt;
                --depth;
                --conditions;
                break;
            case mu::cmFUNC: {
                const int argc = token->Fun.argc;
                const int taken = argc >= 0 ? argc : -argc;
                if (argc > 3 || taken > depth || taken == 0 || !token->Fun.cb)
                    return std::nullopt;
                step.fn = token->Fun.cb;
                step.argc = argc;
                depth -= taken;
                push();
                break;
            }
            default:
                return std::nullopt;
            }
            program.m_steps.push_back(step);
        }
        if (depth != 1 || conditions != 0 || program.m_steps.empty())
            return std::nullopt;
        return program;
    }

    // out[i] for takes i = 0 .. count - 1 of a stretch, inputs[v] pointing at
    // operand v's value for its first take. count <= kBlock.
    void run(std::span<const double* const> inputs, std::size_t count, double* out,
             std::vector<double>& stack, std::vector<double>& conditions) const
    {
        stack.resize(static_cast<std::size_t>(m_depth) * kBlock);
        conditions.resize(static_cast<std::size_t>(std::max(m_conditions, 1)) * kBlock);
        std::size_t top = 0;   // blocks on the stack
        std::size_t tests = 0;  // blocks on the condition stack
        const auto block = [&](std::size_t k) { return stack.data() + k * kBlock; };
        for (const Step& step : m_steps) {
            switch (step.cmd) {
            case mu::cmVAR: {
                const double* in = inputs[static_cast<std::size_t>(step.operand)];
                std::copy(in, in + count, block(top++));
                break;
            }
            case mu::cmVARMUL: {
                const double* in = inputs[static_cast<std::size_t>(step.operand)];
                double* r = block(top++);
                for (std::size_t i = 0; i < count; ++i)
                    r[i] = in[i] * step.a + step.b;
                break;
            }
            case mu::cmVARPOW2:
            case mu::cmVARPOW3:
            case mu::cmVARPOW4: {
                const double* in = inputs[static_cast<std::size_t>(step.operand)];
                double* r = block(top++);
                for (std::size_t i = 0; i < count; ++i) {
                    const double v = in[i];
                    r[i] = step.cmd == mu::cmVARPOW2 ? v * v : step.cmd == mu::cmVARPOW3 ? v * v * v : v * v * v * v;
                }
                break;
            }
            case mu::cmVAL:
                std::fill(block(top), block(top) + count, step.b);
                ++top;
                break;
            case mu::cmIF:
                --top;
                std::copy(block(top), block(top) + count, conditions.data() + tests++ * kBlock);
                break;
            case mu::cmELSE:
                break;
            case mu::cmENDIF: {
                const double* test = conditions.data() + --tests * kBlock;
                const double* otherwise = block(--top);
                double* r = block(top - 1);
                for (std::size_t i = 0; i < count; ++i)
                    r[i] = test[i] == 0 ? otherwise[i] : r[i];
                break;
            }
            case mu::cmFUNC:
                call(step, block(top - static_cast<std::size_t>(step.argc >= 0 ? step.argc : -step.argc)), count, top);
                break;
            default:
                binary(step.cmd, block(top - 2), block(top - 1), count);
                --top;
                break;
            }
        }
        std::copy(block(0), block(0) + count, out);
    }

private:
    struct Step {
        mu::ECmdCode cmd;
        int operand;
        double a;
        double b;
        mu::generic_callable_type fn;
        int argc;
    };

    static void binary(mu::ECmdCode cmd, double* a, const double* b, std::size_t count)
    {
        // One loop per operator, so that each vectorises.
        switch (cmd) {
        case mu::cmLE: for (std::size_t i = 0; i < count; ++i) a[i] = a[i] <= b[i]; break;
        case mu::cmGE: for (std::size_t i = 0; i < count; ++i) a[i] = a[i] >= b[i]; break;
        case mu::cmNEQ: for (std::size_t i = 0; i < count; ++i) a[i] = a[i] != b[i]; break;
        case mu::cmEQ: for (std::size_t i = 0; i < count; ++i) a[i] = a[i] == b[i]; break;
        case mu::cmLT: for (std::size_t i = 0; i < count; ++i) a[i] = a[i] < b[i]; break;
        case mu::cmGT: for (std::size_t i = 0; i < count; ++i) a[i] = a[i] > b[i]; break;
        case mu::cmADD: for (std::size_t i = 0; i < count; ++i) a[i] += b[i]; break;
        case mu::cmSUB: for (std::size_t i = 0; i < count; ++i) a[i] -= b[i]; break;
        case mu::cmMUL: for (std::size_t i = 0; i < count; ++i) a[i] *= b[i]; break;
        case mu::cmDIV: for (std::size_t i = 0; i < count; ++i) a[i] /= b[i]; break;
        case mu::cmPOW: for (std::size_t i = 0; i < count; ++i) a[i] = std::pow(a[i], b[i]); break;
        case mu::cmLAND: for (std::size_t i = 0; i < count; ++i) a[i] = (a[i] != 0) && (b[i] != 0); break;
        case mu::cmLOR: for (std::size_t i = 0; i < count; ++i) a[i] = (a[i] != 0) || (b[i] != 0); break;
        default: break;
        }
    }

    // A function over its arguments' blocks, which start at args; the result
    // replaces the first argument's block.
    static void call(const Step& step, double* args, std::size_t count, std::size_t& top)
    {
        const mu::generic_callable_type& fn = step.fn;
        double* const r = args;
        switch (step.argc) {
        case 1: for (std::size_t i = 0; i < count; ++i) r[i] = fn.call_fun<1>(args[i]); break;
        case 2: for (std::size_t i = 0; i < count; ++i) r[i] = fn.call_fun<2>(args[i], args[kBlock + i]); break;
        case 3:
            for (std::size_t i = 0; i < count; ++i)
                r[i] = fn.call_fun<3>(args[i], args[kBlock + i], args[2 * kBlock + i]);
            break;
        default: {
            // Any number of arguments, gathered take by take.
            const std::size_t n = static_cast<std::size_t>(-step.argc);
            std::vector<double> gathered(n);
            for (std::size_t i = 0; i < count; ++i) {
                for (std::size_t k = 0; k < n; ++k)
                    gathered[k] = args[k * kBlock + i];
                r[i] = fn.call_multfun(gathered.data(), static_cast<int>(n));
            }
            break;
        }
        }
        top -= static_cast<std::size_t>(step.argc >= 0 ? step.argc : -step.argc) - 1;
    }

    std::vector<Step> m_steps;
    int m_depth = 0;
    int m_conditions = 0;
};

// A parser set up for expression, its variables bound to slots (whose
// addresses name the operands in its bytecode) and its bytecode built.
// The thread's parser: valid until the next use of threadParser on this thread.
mu::Parser& boundParser(const CompiledExpression& expression, std::vector<double>& slots)
{
    mu::Parser& parser = threadParser();
    slots.assign(expression.operands().size(), 1.0);
    for (std::size_t v = 0; v < slots.size(); ++v)
        parser.DefineVar(variableName(v), &slots[v]);
    parser.SetExpr(expression.parserText());
    (void)parser.Eval();
    return parser;
}

// Pointers such that base[v][t] is operand v's value at take t, for takes
// from..to: straight into the columns past the look-back, or into copies
// with NaN in front where a look-back reaches before take 0.
struct Inputs {
    std::vector<const double*> base;
    std::vector<std::vector<double>> padded;
};

Inputs inputsFor(const CompiledExpression& expression, std::span<const double* const> columns, std::size_t head,
                 bool inHead)
{
    Inputs inputs;
    const std::vector<Operand>& operands = expression.operands();
    inputs.padded.resize(operands.size());
    for (std::size_t v = 0; v < operands.size(); ++v) {
        const std::size_t k = static_cast<std::size_t>(operands[v].lookBack);
        if (!inHead) {
            // Only read at takes >= head >= k.
            inputs.base.push_back(columns[v] - k);
            continue;
        }
        std::vector<double>& copy = inputs.padded[v];
        copy.assign(head, kNaN);
        for (std::size_t t = k; t < head; ++t)
            copy[t] = columns[v][t - k];
        inputs.base.push_back(copy.data());
    }
    return inputs;
}

// Values of takes from..to into out[from..to).
void evaluateRange(const CompiledExpression& expression, const std::vector<const double*>& base, std::size_t from,
                   std::size_t to, double* out)
{
    std::vector<double> slots;
    mu::Parser* const parser = &boundParser(expression, slots);
    const std::optional<BlockProgram> program = BlockProgram::from(*parser, slots);
    if (!program) {
        for (std::size_t v = 0; v < base.size(); ++v)
            parser->DefineVar(variableName(v), const_cast<double*>(base[v] + from));
        evaluateBulk(*parser, out + from, to - from);
        return;
    }
    std::vector<double> stack;
    std::vector<double> conditions;
    std::vector<const double*> at(base.size());
    for (std::size_t begin = from; begin < to; begin += BlockProgram::kBlock) {
        const std::size_t count = std::min(BlockProgram::kBlock, to - begin);
        for (std::size_t v = 0; v < base.size(); ++v)
            at[v] = base[v] + begin;
        program->run(at, count, out + begin, stack, conditions);
    }
}

}  // namespace

std::vector<double> evaluateExpression(const CompiledExpression& expression, std::span<const double* const> columns,
                                       std::size_t takes)
{
    std::vector<double> out(takes, kNaN);
    if (takes == 0)
        return out;
    long long deepest = 0;
    for (const Operand& operand : expression.operands())
        deepest = std::max(deepest, operand.lookBack);
    const std::size_t head = std::min<std::size_t>(static_cast<std::size_t>(deepest), takes);

    if (expression.isOperand()) {
        const double* column = columns[0];
        std::copy(column, column + (takes - head), out.begin() + static_cast<std::ptrdiff_t>(head));
        return out;
    }
    if (head > 0) {
        const Inputs inputs = inputsFor(expression, columns, head, true);
        evaluateRange(expression, inputs.base, 0, head, out.data());
    }
    const Inputs inputs = inputsFor(expression, columns, head, false);
    // The cores share the takes by ranges, each with a parser of its own (a
    // parser is not thread-safe).
    parallelFor(takes - head, kTakesPerPart, [&](std::size_t begin, std::size_t end) {
        evaluateRange(expression, inputs.base, head + begin, head + end, out.data());
    });
    normalise(out);
    return out;
}

std::vector<double> evaluateWithParser(const CompiledExpression& expression, std::span<const double* const> columns,
                                       std::size_t takes)
{
    std::vector<double> out(takes, kNaN);
    std::vector<double> slots;
    mu::Parser* const parser = &boundParser(expression, slots);
    for (std::size_t t = 0; t < takes; ++t) {
        for (std::size_t v = 0; v < slots.size(); ++v) {
            const std::size_t k = static_cast<std::size_t>(expression.operands()[v].lookBack);
            slots[v] = t >= k ? columns[v][t - k] : kNaN;
        }
        out[t] = parser->Eval();
    }
    normalise(out);
    return out;
}

}  // namespace dlv::workbench
