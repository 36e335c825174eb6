// libFuzzer target: axes and maps pasted into the Tables tab. The first byte
// picks the map's shape (rows 1..8, columns 1..16); the rest is the text,
// read both as an axis and as a map. Checked: nothing crashes; an error's
// place lies inside the text; an axis read is non-empty and strictly
// increasing, and its text reads back as the same values; a map read has
// exactly rows x cols finite values, and its TAB text (with or without the
// header row and column) reads back as the same map.
#include "workbench/table_edit.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_paste: %s\n", what);
    std::abort();
}

void checkPlace(const std::optional<dlv::TextError>& error, std::size_t size)
{
    if (error && (error->place.offset > size || error->place.length > size - error->place.offset))
        fail("error place outside the text");
    if (error && error->message.empty())
        fail("error without words");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t rows = 1 + (data[0] & 7);
    const std::size_t cols = 1 + ((data[0] >> 3) & 15);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    const dlv::ParsedAxis axis = dlv::parseAxisText(text, "x axis");
    checkPlace(axis.error, text.size());
    if (axis.ok()) {
        if (axis.values.empty())
            fail("axis read without values");
        for (std::size_t i = 1; i < axis.values.size(); ++i)
            if (!(axis.values[i] > axis.values[i - 1]))
                fail("axis not increasing");
        const dlv::ParsedAxis again = dlv::parseAxisText(dlv::axisText(axis.values), "x axis");
        if (!again.ok() || again.values != axis.values)
            fail("axis text does not read back");
    }

    const dlv::ParsedMap map = dlv::parseMapText(text, rows, cols);
    checkPlace(map.error, text.size());
    if (map.ok()) {
        if (map.values.size() != rows * cols)
            fail("map of the wrong size");
        for (const double v : map.values)
            if (!std::isfinite(v))
                fail("map value not finite");
        std::vector<double> xAxis, yAxis;
        for (std::size_t c = 0; c < cols; ++c)
            xAxis.push_back(static_cast<double>(c));
        for (std::size_t r = 0; r < rows; ++r)
            yAxis.push_back(static_cast<double>(r));
        // Values go out with two decimals: compare with the text's own reading.
        const dlv::TextTable table = dlv::mapTextTable(xAxis, yAxis, map.values);
        const dlv::ParsedMap headed = dlv::parseMapText(dlv::tabText(table), rows, cols);
        const dlv::ParsedMap bare = dlv::parseMapText(dlv::tabValuesText(table), rows, cols);
        if (!headed.ok() || !bare.ok() || headed.values != bare.values)
            fail("map text does not read back");
        for (std::size_t i = 0; i < map.values.size(); ++i)
            if (std::fabs(bare.values[i] - map.values[i]) > 0.005 * (1 + 1e-9) + std::fabs(map.values[i]) * 1e-15)
                fail("map value changed by more than its rounding");
    }
    return 0;
}
