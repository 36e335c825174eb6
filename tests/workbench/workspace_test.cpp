// Workspace files: what is accepted, what each fault says, and the round trip
// of the window's Save.
#include "workbench_support.h"

namespace {

using namespace dlv::workbench;

const char* const kExample = R"({
  "channels": [
    {"name": "AFR", "expr": "O2 / 100 + 10"},
    {"name": "dTPS", "expr": "TPS - TPS[-1]"}
  ],
  "tables": [
    {"name": "BLM by RPM and MAP",
     "x": "MAP", "xAxis": [20, 30, 40, 50, 60, 70, 80, 90, 100],
     "y": "RPM", "yAxis": [400, 800, 1200, 1600, 2000, 2400, 2800, 3200],
     "z": "BLM", "stat": "mean", "minHits": 3, "target": 128,
     "filter": "ECT > 80 && abs(dTPS) < 2"}
  ]
})";

std::string errorOf(const std::string& json)
{
    const WorkspaceResult result = parseWorkspace(json);
    EXPECT_FALSE(result.ok()) << json;
    return result.error;
}

// A workspace of one table whose keys are `table` (an object's inside).
std::string withTable(const std::string& table)
{
    return R"({"tables": [{"name": "T", )" + table + "}]}";
}

TEST(Workspace, ReadsTheDocumentedExample)
{
    const Workspace workspace = dlvtest::parsed(kExample);
    ASSERT_EQ(workspace.channels.size(), 2u);
    EXPECT_EQ(workspace.channels[1], (Channel{"dTPS", "TPS - TPS[-1]"}));
    ASSERT_EQ(workspace.tables.size(), 1u);
    const Table& table = workspace.tables[0];
    EXPECT_EQ(table.name, "BLM by RPM and MAP");
    EXPECT_EQ(table.x, "MAP");
    EXPECT_EQ(table.xAxis.size(), 9u);
    EXPECT_EQ(table.yAxis.back(), 3200);
    EXPECT_EQ(table.stat, Stat::Mean);
    EXPECT_EQ(table.minHits, 3);
    EXPECT_EQ(table.target, 128);
    EXPECT_EQ(table.filter, "ECT > 80 && abs(dTPS) < 2");
    EXPECT_FALSE(workspace.charts.has_value());
}

TEST(Workspace, DefaultsAndOptionalParts)
{
    const Workspace workspace = dlvtest::parsed(withTable(R"("x": "RPM", "xAxis": [1000], "z": "BLM", "stat": "count")"));
    EXPECT_TRUE(workspace.channels.empty());
    const Table& table = workspace.tables[0];
    EXPECT_FALSE(table.twoD());
    EXPECT_EQ(table.minHits, 1);
    EXPECT_FALSE(table.target.has_value());
    EXPECT_TRUE(table.filter.empty());
    for (const char* stat : {"mean", "count", "min", "max", "median", "stddev"})
        EXPECT_TRUE(parseWorkspace(withTable(R"("x": "A", "xAxis": [1], "z": "B", "stat": ")" + std::string(stat) + "\"")).ok())
            << stat;
    EXPECT_TRUE(dlvtest::parsed(R"({"tables": []})").tables.empty());
}

TEST(Workspace, KeepsTheChartsPartAsItIs)
{
    const Workspace workspace =
        dlvtest::parsed(R"({"tables": [], "charts": {"panes": [{"channels": ["RPM", "AFR"]}], "shade": true}})");
    ASSERT_TRUE(workspace.charts.has_value());
    EXPECT_EQ((*workspace.charts)["panes"][0]["channels"][1], "AFR");
    EXPECT_EQ((*workspace.charts)["shade"], true);
}

TEST(WorkspaceErrors, BadJsonSaysWhere)
{
    EXPECT_EQ(errorOf("{\"tables\": [}").substr(0, 28), "bad JSON at line 1, column 1");
    EXPECT_NE(errorOf("{\"tables\": [],\n  \"channels\": [,]}").find("line 2, column"), std::string::npos);
    EXPECT_EQ(errorOf("").substr(0, 8), "bad JSON");
    EXPECT_EQ(errorOf(withTable(R"("x": "A", "xAxis": [1e999], "z": "B", "stat": "mean")")),
              "bad JSON: number overflow parsing '1e999'");
    EXPECT_EQ(errorOf("[1, 2]"), "workspace must be a JSON object with tables (and channels), not a list");
}

TEST(WorkspaceErrors, UnknownAndRepeatedKeys)
{
    EXPECT_EQ(errorOf(R"({"tables": [], "tabels": []})"),
              "workspace: unknown key \"tabels\" (known keys: channels, tables, markers, charts)");
    EXPECT_EQ(errorOf(withTable(R"("x": "A", "xAxis": [1], "z": "B", "stat": "mean", "minhits": 3)")),
              "table \"T\": unknown key \"minhits\" (known keys: name, x, xAxis, y, yAxis, z, stat, minHits, "
              "target, filter)");
    EXPECT_EQ(errorOf(R"({"channels": [{"name": "AFR", "expr": "O2", "unit": "x"}], "tables": []})"),
              "channel \"AFR\": unknown key \"unit\" (known keys: name, expr)");
    EXPECT_EQ(errorOf(withTable(R"("x": "A", "xAxis": [1], "z": "B", "z": "C", "stat": "mean")")),
              "table \"T\": key \"z\" appears twice");
    EXPECT_EQ(errorOf(R"({"tables": [], "tables": []})"), "workspace: key \"tables\" appears twice");
}

TEST(WorkspaceErrors, MissingPartsAndWrongTypes)
{
    EXPECT_EQ(errorOf(R"({"channels": []})"), "workspace: tables is missing");
    EXPECT_EQ(errorOf(R"({"tables": {}})"), "workspace: tables must be a list, not an object");
    EXPECT_EQ(errorOf(withTable(R"("xAxis": [1], "z": "B", "stat": "mean")")), "table \"T\": x is missing");
    EXPECT_EQ(errorOf(withTable(R"("x": 3, "xAxis": [1], "z": "B", "stat": "mean")")),
              "table \"T\": x must be a text, not a number");
    EXPECT_EQ(errorOf(withTable(R"("x": "A", "xAxis": [1], "z": " ", "stat": "mean")")), "table \"T\": z is empty");
    EXPECT_EQ(errorOf(withTable(R"("x": "A", "xAxis": [1], "z": "B")")), "table \"T\": stat is missing");
    EXPECT_EQ(errorOf(withTable(R"("x": "A", "xAxis": [1], "z": "B", "stat": "average")")),
              "table \"T\": stat \"average\" is not one of mean, count, min, max, median, stddev, diff%");
    EXPECT_EQ(errorOf(withTable(R"("x": "A", "xAxis": [1], "y": "C", "z": "B", "stat": "mean")")),
              "table \"T\": y needs a yAxis");
    EXPECT_EQ(errorOf(withTable(R"("x": "A", "xAxis": [1], "z": "B", "stat": "mean", "minHits": 2.5)")),
              "table \"T\": minHits must be a whole number from 0 up, not 2.5");
    EXPECT_EQ(errorOf(withTable(R"("x": "A", "xAxis": [1], "z": "B", "stat": "mean", "minHits": -1)")),
              "table \"T\": minHits must be a whole number from 0 up, not -1");
    EXPECT_EQ(errorOf(R"({"tables": [{"x": "A", "xAxis": [1], "z": "B", "stat": "mean"}]})"),
              "table 1: name is missing");
    EXPECT_EQ(errorOf(R"({"tables": [7]})"), "table 1 must be an object, not a number");
    EXPECT_EQ(errorOf(R"({"channels": [{"name": "", "expr": "1"}], "tables": []})"), "channel 1: name is empty");
    EXPECT_EQ(errorOf(R"({"channels": [{"name": "A", "expr": "1"}, {"name": "A", "expr": "2"}], "tables": []})"),
              "channel \"A\": a channel of this name comes before");
}

TEST(WorkspaceErrors, AxesMustIncreaseStrictly)
{
    EXPECT_EQ(errorOf(withTable(R"("x": "A", "xAxis": [20, 50, 40], "z": "B", "stat": "mean")")),
              "table \"T\": xAxis: breakpoints must increase strictly (40 after 50)");
    EXPECT_EQ(errorOf(withTable(R"("x": "A", "xAxis": [1], "y": "C", "yAxis": [0.5, 0.5], "z": "B", "stat": "mean")")),
              "table \"T\": yAxis: breakpoints must increase strictly (0.5 after 0.5)");
    EXPECT_EQ(errorOf(withTable(R"("x": "A", "xAxis": [], "z": "B", "stat": "mean")")),
              "table \"T\": xAxis needs at least one breakpoint");
    EXPECT_EQ(errorOf(withTable(R"("x": "A", "xAxis": [1, "2"], "z": "B", "stat": "mean")")),
              "table \"T\": xAxis breakpoint 2 must be a number, not a text");
}

TEST(WorkspaceErrors, DiffPercentNeedsATarget)
{
    EXPECT_EQ(errorOf(withTable(R"("x": "A", "xAxis": [1], "z": "B", "stat": "diff%")")),
              "table \"T\": stat diff% needs a target");
    EXPECT_EQ(errorOf(withTable(R"("x": "A", "xAxis": [1], "z": "B", "stat": "diff%", "target": 0)")),
              "table \"T\": stat diff% needs a target other than 0");
    EXPECT_TRUE(parseWorkspace(withTable(R"("x": "A", "xAxis": [1], "z": "B", "stat": "diff%", "target": 128)")).ok());
}

TEST(WorkspaceSave, RoundTripIsByteForByte)
{
    const std::string documents[] = {
        kExample,
        R"({"tables": []})",
        R"({"tables": [{"name": "1-D \"quoted\" \u00e4", "x": "{O2 (mV)}", "xAxis": [-10, 1e-7, 0.1, 2.5, 12345678901234567],
            "z": "B", "stat": "diff%", "target": 14.7, "minHits": 0, "filter": "  "}],
            "charts": {"b": [1, {"c": null}], "a": "x"}})",
    };
    for (const std::string& document : documents) {
        const Workspace first = dlvtest::parsed(document);
        const std::string saved = workspaceToJson(first);
        const Workspace second = dlvtest::parsed(saved);
        EXPECT_EQ(second, first) << saved;
        EXPECT_EQ(workspaceToJson(second), saved);
    }
}

TEST(WorkspaceSave, WritesAReadableLayout)
{
    const std::string saved = workspaceToJson(dlvtest::parsed(kExample));
    // kExample is laid out as Save writes it.
    EXPECT_EQ(saved, std::string(kExample) + "\n");
}

}  // namespace

namespace {

// Markers are kept by log file name and take, with an optional note; what
// is wrong with one is told by its place in the list.
TEST(WorkspaceMarkers, ReadSavedAndRefusedByTheirPlace)
{
    const Workspace workspace = dlvtest::parsed(R"({"tables": [], "markers": [
        {"log": "monday.csv", "take": 812, "note": "pull \u00e4"},
        {"log": "monday.mlg", "take": 0}]})");
    ASSERT_EQ(workspace.markers.size(), 2u);
    EXPECT_EQ(workspace.markers[0], (WorkspaceMarker{"monday.csv", 812, "pull \xC3\xA4"}));
    EXPECT_EQ(workspace.markers[1], (WorkspaceMarker{"monday.mlg", 0, ""}));
    const std::string saved = workspaceToJson(workspace);
    EXPECT_EQ(dlvtest::parsed(saved), workspace) << saved;
    EXPECT_EQ(workspaceToJson(dlvtest::parsed(saved)), saved);
    EXPECT_EQ(workspaceToJson(dlvtest::parsed(R"({"tables": []})")).find("markers"), std::string::npos)
        << "no markers, no key";

    const auto markers = [](const std::string& list) { return R"({"tables": [], "markers": )" + list + "}"; };
    EXPECT_EQ(errorOf(markers(R"({"log": "a"})")), "workspace: markers must be a list, not an object");
    EXPECT_EQ(errorOf(markers(R"([{"log": "a.csv", "take": 1.5}])")),
              "marker 1: take must be a whole number from 0 up, not 1.5");
    EXPECT_EQ(errorOf(markers(R"([{"log": "a.csv", "take": 1}, {"take": 2}])")), "marker 2: log is missing");
    EXPECT_EQ(errorOf(markers(R"([{"log": "/tmp/a.csv", "take": 2}])")),
              "marker 1: log must be a file name without a folder, not \"/tmp/a.csv\"");
    EXPECT_EQ(errorOf(markers(R"([{"log": "a.csv", "take": 2, "colour": 1}])")),
              "marker 1: unknown key \"colour\" (known keys: log, take, note)");
    EXPECT_EQ(errorOf(markers(R"([{"log": "a.csv", "take": 2, "take": 3}])")),
              "marker 1: key \"take\" appears twice");
}

}  // namespace
