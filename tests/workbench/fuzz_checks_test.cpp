// The workbench fuzz checks on hand-picked inputs, and the inputs the fuzzers
// once broke the code with (tests/fuzz_regressions/expression, .../workspace).
#include "../../fuzz/workbench_checks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

TEST(WorkbenchFuzzChecks, HandPickedExpressions)
{
    for (const char* text : {"RPM", "RPM[-2]", "{O2 (mV)} / 100 + 10", "#5 + {\xC2\xB0" "C}", "1 / 0", "TPS[-99999999999]",
                             "((((", "abs(", "min(1,", "1 ? 2", "\xFF\xFE", "RPM[-1", "{", "#", "#99999999999999",
                             "a = 1", ",", "1,2", "sum(1, 2, 3) + avg(RPM, MAP)", "!RPM", "- -RPM", "\"x\"", "",
                             "RPM\n>\t800", "max(RPM, MAP[-1]) ^ 0.5"})
        EXPECT_EQ(dlv::fuzzcheck::checkExpression(text), "") << text;
}

TEST(WorkbenchFuzzChecks, HandPickedWorkspaces)
{
    for (const char* text : {
             "", "{}", "null", R"({"tables": []})", R"({"tables": [], "charts": [1, {"a": null}]})",
             R"({"channels": [{"name": "d", "expr": "TPS - TPS[-1]"}], "tables": [{"name": "x", "x": "RPM",
                 "xAxis": [800, 1000], "y": "d", "yAxis": [0], "z": "MAP", "stat": "stddev", "filter": "d"}]})",
             R"({"tables": [{"name": "x", "x": "nope", "xAxis": [1], "z": "MAP", "stat": "count"}]})",
             R"({"tables": [{"name": "x", "x": "RPM", "xAxis": [1e308, 1.7e308], "z": "MAP", "stat": "diff%", "target": 1e-300}]})",
         })
        EXPECT_EQ(dlv::fuzzcheck::checkWorkspace(text), "") << text;
}

TEST(WorkbenchFuzzChecks, KeptInputsPassEveryCheck)
{
    const std::filesystem::path root = std::filesystem::path(DLV_SOURCE_DIR) / "tests" / "fuzz_regressions";
    const std::pair<const char*, std::string (*)(std::string_view)> targets[] = {
        {"expression", dlv::fuzzcheck::checkExpression},
        {"workspace", dlv::fuzzcheck::checkWorkspace},
    };
    for (const auto& [target, check] : targets) {
        const std::filesystem::path dir = root / target;
        if (!std::filesystem::is_directory(dir))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes(std::istreambuf_iterator<char>(in), {});
            EXPECT_EQ(check(bytes), "") << entry.path();
        }
    }
}

}  // namespace
