// Expressions: what users write, what it computes over a log's columns, and
// the message and place of every fault.
#include "workbench_support.h"

#include <cmath>
#include <limits>

namespace {

using namespace dlv::workbench;
using dlvtest::makeLog;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Values of expr at every take, computed as a channel of the log.
std::vector<double> values(const std::shared_ptr<const dlv::TakeStore>& log, const std::string& expr,
                           std::vector<Channel> before = {})
{
    Workspace workspace;
    workspace.channels = std::move(before);
    workspace.channels.push_back({"__under_test", expr});
    const Program program = compileWorkspace(workspace, log->ParamNames());
    EXPECT_TRUE(program.ok()) << (program.ok() ? "" : program.errors.front().message);
    if (!program.ok())
        return {};
    LogSession session = dlvtest::makeSession(log);
    return *session.channel(program, workspace.channels.size() - 1);
}

double value(const std::string& expr)
{
    static const auto log = makeLog("A,B", {"2,3"});
    const std::vector<double> v = values(log, expr);
    return v.empty() ? -12345 : v[0];
}

ExprError failure(const std::string& expr, const std::string& names = "RPM,MAP,O2 (mV),TPS")
{
    const auto log = makeLog(names, {"1,2,3,4"});
    NameScope scope(log->ParamNames());
    const CompileResult result = compileExpression(expr, scope);
    EXPECT_FALSE(result.ok()) << expr;
    return result.error;
}

// NaN-aware equality of columns.
void expectColumn(const std::vector<double>& got, const std::vector<double>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (std::isnan(want[i]))
            EXPECT_TRUE(std::isnan(got[i])) << "take " << i << ": " << got[i];
        else
            EXPECT_DOUBLE_EQ(got[i], want[i]) << "take " << i;
    }
}

TEST(Expression, NumbersOperatorsAndPrecedence)
{
    EXPECT_EQ(value("128"), 128);
    EXPECT_EQ(value("1.5 + .5 + 1e3"), 1002);
    EXPECT_EQ(value("1 + 2 * 3"), 7);
    EXPECT_EQ(value("(1 + 2) * 3"), 9);
    EXPECT_EQ(value("2 ^ 3 * 2"), 16);
    EXPECT_EQ(value("-2 ^ 2"), -4);  // the power binds before the sign
    EXPECT_EQ(value("10 - 4 - 3"), 3);
    EXPECT_EQ(value("12 / 3 / 2"), 2);
    EXPECT_EQ(value("1 + 2 < 4"), 1);
    EXPECT_EQ(value("3 <= 2"), 0);
    EXPECT_EQ(value("2 >= 2") + value("2 == 2") + value("2 != 2") + value("3 > 2"), 3);
    EXPECT_EQ(value("1 || 0 && 0"), 1);  // && before ||
    EXPECT_EQ(value("0 && 1 || 1"), 1);
    EXPECT_EQ(value("!0 + 1"), 2);
    EXPECT_EQ(value("!(2 > 1)"), 0);
    EXPECT_EQ(value("1 ? 2 : 3"), 2);
    EXPECT_EQ(value("0 ? 2 : 1 ? 3 : 4"), 3);
    EXPECT_EQ(value("A * B + A"), 8);
}

TEST(Expression, Functions)
{
    EXPECT_EQ(value("abs(-3)"), 3);
    EXPECT_EQ(value("min(4, 2, 3)"), 2);
    EXPECT_EQ(value("max(4, 2, 3)"), 4);
    EXPECT_EQ(value("sqrt(16)"), 4);
    EXPECT_EQ(value("exp(0)"), 1);
    EXPECT_EQ(value("ln(exp(2))"), 2);
    EXPECT_EQ(value("log10(1000)"), 3);
    EXPECT_EQ(value("abs (A - B)"), 1);  // a space before the parenthesis
}

TEST(Expression, NamesBracesAndNumbers)
{
    const auto log = makeLog("RPM,O2 (mV), RPM ,MAP,RPM", {"800,450,7,30,9", "900,500,8,40,9"});
    expectColumn(values(log, "RPM"), {800, 900});  // the first of a repeated name
    expectColumn(values(log, "{O2 (mV)} / 100 + 10"), {14.5, 15});
    expectColumn(values(log, "{ RPM }"), {7, 8});  // braces take the name exactly, spaces included
    expectColumn(values(log, "{RPM}"), {800, 900});
    expectColumn(values(log, "#3 + #0"), {830, 940});
    expectColumn(values(log, "#4"), {9, 9});
    expectColumn(values(log, "#7"), {kNaN, kNaN});  // a field the lines do not have
}

TEST(Expression, ChannelsShadowParametersAndSeeTheChannelsBefore)
{
    const auto log = makeLog("RPM,MAP", {"800,30", "900,40"});
    // RPM in its own expression is still the log's RPM; after it, the channel.
    expectColumn(values(log, "RPM", {{"RPM", "RPM / 100"}}), {8, 9});
    expectColumn(values(log, "Load * 2", {{"Load", "MAP / 10"}}), {6, 8});
    expectColumn(values(log, "B", {{"A", "MAP + 1"}, {"B", "A * 2"}}), {62, 82});
}

TEST(Expression, Latin1NameFromUtf8Braces)
{
    const auto log = makeLog("IAT \xB0" "C,RPM", {"20,800"});
    expectColumn(values(log, "{IAT \xC2\xB0" "C} + 1"), {21});
}

TEST(Expression, LookBackStartsEmpty)
{
    const auto log = makeLog("TPS,RPM", {"10,800", "13,900", "11,1000", "20,1100"});
    expectColumn(values(log, "TPS - TPS[-1]"), {kNaN, 3, -2, 9});
    expectColumn(values(log, "TPS[-0]"), {10, 13, 11, 20});
    expectColumn(values(log, "{TPS}[-2] + #1 [ - 1 ]"), {kNaN, kNaN, 10 + 900, 13 + 1000});
    expectColumn(values(log, "TPS[-9]"), {kNaN, kNaN, kNaN, kNaN});
    // Look-back on a channel, which has itself looked back.
    expectColumn(values(log, "dTPS[-1]", {{"dTPS", "TPS - TPS[-1]"}}), {kNaN, kNaN, 3, -2});
}

TEST(Expression, NotANumberAndDivisionByZero)
{
    const auto log = makeLog("A,B", {"2,0", "x,1", ",2", "1e999,3"});
    expectColumn(values(log, "A"), {2, kNaN, kNaN, kNaN});
    expectColumn(values(log, "A + 1"), {3, kNaN, kNaN, kNaN});
    expectColumn(values(log, "A > 1"), {1, 0, 0, 0});   // a comparison with NaN is false ...
    expectColumn(values(log, "A != A"), {0, 1, 1, 1});  // ... and != true
    expectColumn(values(log, "min(A, 5)"), {2, kNaN, kNaN, kNaN});
    expectColumn(values(log, "max(5, A)"), {5, kNaN, kNaN, kNaN});
    // An infinite result has no value, and stays without one in later channels.
    expectColumn(values(log, "1 / B"), {kNaN, 1, 0.5, 1.0 / 3});
    expectColumn(values(log, "Inv > 0", {{"Inv", "1 / B"}}), {0, 1, 1, 1});
    expectColumn(values(log, "sqrt(B - 2)"), {kNaN, kNaN, 0, 1});
    expectColumn(values(log, "ln(B)"), {kNaN, 0, std::log(2.0), std::log(3.0)});
}

TEST(ExpressionErrors, EveryFaultNamesItsPlace)
{
    struct Case {
        std::string expr;
        std::string reason;
        int column;
    };
    const Case cases[] = {
        {"RPM + MAPP", "unknown name \"MAPP\"", 7},
        {"{O2 mV} > 3", "unknown name \"O2 mV\"", 1},
        {"RPM + foo(2)", "unknown function \"foo\"", 7},
        {"RPM + * 2", "unexpected \"*\"", 7},
        {"RPM MAP", "unexpected name \"MAP\"", 5},
        {"RPM 2", "unexpected number \"2\"", 5},
        {"(RPM + 2", "a \")\" is missing", 9},
        {"RPM +", "unexpected end of the expression", 6},
        {"RPM + 2)", "unexpected \")\"", 8},
        {"abs(RPM, 2)", "too many arguments for \"abs\"", 1},
        {"1 + min ()", "too few arguments for \"min\"", 5},
        {"RPM = 800", "\"=\" is no comparison: write \"==\"", 5},
        {"RPM, MAP", "\",\" outside a function's arguments", 4},
        {"(RPM, MAP)", "\",\" outside a function's arguments", 5},
        {"RPM > 1 ? 2", "\"?\" without its \":\"", 9},
        {"RPM : 2", "\":\" without a \"?\" before it", 5},
        {"[-1]", "\"[\" must follow a name, as in TPS[-1]", 1},
        {"TPS[1]", "a look-back is written [-k], k a whole number of takes", 4},
        {"TPS[-1.5]", "a look-back is written [-k], k a whole number of takes", 4},
        {"TPS[-1", "a look-back is written [-k], k a whole number of takes", 4},
        {"# 3", "\"#\" needs a parameter number, as in #12", 1},
        {"#40000", "no parameter #40000 (parameter numbers go up to 32767)", 1},
        {"{} + 1", "empty name in braces", 1},
        {"1 + {RPM", "\"{\" without \"}\"", 5},
        {"   ", "the expression is empty", 1},
        {"\"RPM\" > 2", "texts in quotes are not values", 1},
        {"RPM $ 2", "unexpected \"$\"", 5},
    };
    for (const Case& c : cases) {
        const ExprError error = failure(c.expr);
        EXPECT_EQ(error.reason, c.reason) << c.expr;
        EXPECT_EQ(error.column, c.column) << c.expr << ": " << error.reason;
        EXPECT_EQ(error.expression, c.expr);
        EXPECT_LE(error.offset + error.length, c.expr.size()) << c.expr;
    }
}

TEST(ExpressionErrors, ColumnsCountCharactersOfTheUsersText)
{
    // Names rewritten to internal ones of other lengths, and a multi-byte
    // character, all before the fault.
    const ExprError error = failure("{O2 (mV)} + TPS[-1] + \xC3\xA4 + 1");
    EXPECT_EQ(error.reason, "unexpected \"\xC3\xA4\"");
    EXPECT_EQ(error.column, 23);
    EXPECT_EQ(error.offset, 22u);
    EXPECT_EQ(error.length, 2u);
    const ExprError name = failure("{O2 (mV)} * {Lambda 1}");
    EXPECT_EQ(name.offset, 12u);
    EXPECT_EQ(name.length, 10u);  // the whole braced name is marked
    EXPECT_EQ(errorMessage("channel \"AFR\"", name),
              "channel \"AFR\": unknown name \"Lambda 1\" at column 13 of \"{O2 (mV)} * {Lambda 1}\"");
}

TEST(ExpressionErrors, WorkspaceMessagesNameTheTableOrChannelAndField)
{
    const auto log = makeLog("RPM,MAP,BLM,ECT", {"800,30,128,85"});
    const Workspace workspace = dlvtest::parsed(R"({
      "channels": [{"name": "AFR", "expr": "O2 / 100"}, {"name": "Lean", "expr": "AFR > 15"}],
      "tables": [{"name": "BLM", "x": "MAP", "xAxis": [30], "z": "BLM", "stat": "mean",
                  "filter": "ECT > 80 && TPSX < 2"},
                 {"name": "", "x": "Lean", "xAxis": [0, 1], "z": "BLM", "stat": "count"}]})");
    const Program program = compileWorkspace(workspace, log->ParamNames());
    ASSERT_EQ(program.errors.size(), 4u);
    EXPECT_EQ(program.errors[0].message, "channel \"AFR\": unknown name \"O2\" at column 1 of \"O2 / 100\"");
    EXPECT_EQ(program.errors[1].message,
              "channel \"Lean\": channel \"AFR\" has an error at column 1 of \"AFR > 15\"");
    EXPECT_EQ(program.errors[2].message,
              "table \"BLM\", filter: unknown name \"TPSX\" at column 13 of \"ECT > 80 && TPSX < 2\"");
    EXPECT_EQ(program.errors[2].field, "filter");
    EXPECT_EQ(program.errors[2].index, 0u);
    EXPECT_EQ(program.errors[3].message, "table 2, x: channel \"Lean\" has an error at column 1 of \"Lean\"");
    EXPECT_TRUE(program.tables[0].x.has_value());
    EXPECT_FALSE(program.tables[0].ok);
}

}  // namespace

namespace {

// The block evaluation against muparser take by take, over more takes than
// one block, with values that are not numbers and look-backs.
TEST(ExpressionBlocks, SameValuesAsMuparserTakeByTake)
{
    std::vector<std::string> takes;
    for (int t = 0; t < 700; ++t)
        takes.push_back(std::to_string(t % 17 - 8) + "," + (t % 13 == 0 ? std::string("x") : std::to_string(t * 0.25)) +
                        "," + std::to_string(t % 3));
    const auto log = dlvtest::makeLog("A,B,C", takes);
    const NameScope scope(log->ParamNames());
    std::vector<dlv::ColumnPtr> columns;
    for (long long p = 0; p < 3; ++p)
        columns.push_back(std::make_shared<const dlv::Column>(dlv::parseColumns(*log, std::vector<long long>{p})[0]));
    for (const std::string text :
         {"A + B * C - A / B", "A > 0 ? B : C", "A > 0 ? (B > 10 ? 1 : 2) : C < 1 ? 3 : A", "A ^ 2 + B ^ 3 + C ^ 4",
          "2 * A + 3", "A * 2", "min(A, B, C) + max(A, C)", "abs(A) + sqrt(B) + ln(B) + exp(C) + log10(B)",
          "A && B || !C", "A != A", "B[-1] - B[-3] + C[-700]", "sum(A, B[-2], 1) / avg(C, 2)", "1 + 2", "-A", "A ^ B",
          "A == 0 ? 1 / A : -1 / A", "(A < B) + (A <= B) + (A >= B) + (A > B) + (A == B)"}) {
        const CompileResult compiled = compileExpression(text, scope);
        ASSERT_TRUE(compiled.ok()) << text << ": " << compiled.error.reason;
        std::vector<const double*> data;
        for (const Operand& operand : compiled.expression->operands())
            data.push_back(columns[static_cast<std::size_t>(operand.index)]->data());
        expectColumn(evaluateExpression(*compiled.expression, data, takes.size()),
                     evaluateWithParser(*compiled.expression, data, takes.size()));
    }
}

}  // namespace
