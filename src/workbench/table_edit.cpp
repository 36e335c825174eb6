#include "workbench/table_edit.h"

#include "datalog/number.h"
#include "workbench/format.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <stdexcept>

namespace dlv {

namespace {

bool isSpace(char c) noexcept
{
    return c == ' ' || c == '\r';
}

// A field trimmed of spaces, with its place moved along.
TextField trimmedField(std::string_view line, std::size_t begin, std::size_t end, std::size_t lineOffset)
{
    while (begin < end && isSpace(line[begin]))
        ++begin;
    while (end > begin && isSpace(line[end - 1]))
        --end;
    return {line.substr(begin, end - begin), {lineOffset + begin, end - begin}};
}

// Lines of a pasted block: cut at LF, CR LF or a lone CR; offsets kept.
struct Line {
    std::string_view text;
    std::size_t offset;
};
std::vector<Line> splitLines(std::string_view text)
{
    std::vector<Line> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n' || text[i] == '\r') {
            lines.push_back({text.substr(start, i - start), start});
            if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    return lines;
}

std::string quoted(std::string_view text)
{
    constexpr std::size_t kShown = 24;
    std::string shown(text.substr(0, kShown));
    if (text.size() > kShown)
        shown += "...";
    return "\"" + shown + "\"";
}

std::string plural(std::size_t n, std::string_view one, std::string_view many)
{
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// A cell for TAB-separated text: no character that would cut it.
std::string tabSafe(std::string cell)
{
    std::replace_if(cell.begin(), cell.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    return cell;
}

std::string joinTab(const std::vector<std::string>& cells, std::size_t first)
{
    std::string line;
    for (std::size_t i = first; i < cells.size(); ++i) {
        if (i > first)
            line += '\t';
        line += tabSafe(cells[i]);
    }
    return line;
}

}  // namespace

std::vector<TextField> splitPastedLine(std::string_view line, std::size_t lineOffset)
{
    std::vector<TextField> fields;
    const bool hasTab = line.find('\t') != std::string_view::npos;
    const bool hasComma = line.find_first_of(",;") != std::string_view::npos;
    if (hasTab || hasComma) {
        const std::string_view separators = hasTab ? std::string_view("\t") : std::string_view(",;");
        std::size_t start = 0;
        for (std::size_t i = 0; i <= line.size(); ++i)
            if (i == line.size() || separators.find(line[i]) != std::string_view::npos) {
                fields.push_back(trimmedField(line, start, i, lineOffset));
                start = i + 1;
            }
    } else {
        std::size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && isSpace(line[i]))
                ++i;
            const std::size_t start = i;
            while (i < line.size() && !isSpace(line[i]))
                ++i;
            if (i > start)
                fields.push_back(trimmedField(line, start, i, lineOffset));
        }
    }
    while (!fields.empty() && fields.back().text.empty())
        fields.pop_back();
    const auto firstFull = std::find_if(fields.begin(), fields.end(), [](const TextField& f) { return !f.text.empty(); });
    fields.erase(fields.begin(), firstFull);
    return fields;
}

ParsedAxis parseAxisText(std::string_view text, std::string_view what)
{
    ParsedAxis axis;
    const std::string name(what);
    std::size_t index = 0;
    for (const Line& line : splitLines(text))
        for (const TextField& field : splitPastedLine(line.text, line.offset)) {
            ++index;
            if (field.text.empty()) {
                axis.error = TextError{name + ": value " + std::to_string(index) + " is empty", field.place};
                return axis;
            }
            const std::optional<double> value = parseNumber(field.text);
            if (!value) {
                axis.error = TextError{name + ": value " + std::to_string(index) + ", " + quoted(field.text) +
                                           ", is not a number",
                                       field.place};
                return axis;
            }
            if (!axis.values.empty() && !(*value > axis.values.back())) {
                axis.error = TextError{name + ": value " + std::to_string(index) + ", " + workbench::formatBreakpoint(*value) +
                                           ", is not above " + workbench::formatBreakpoint(axis.values.back()) +
                                           " before it; breakpoints must increase",
                                       field.place};
                return axis;
            }
            axis.values.push_back(*value);
        }
    if (axis.values.empty())
        axis.error = TextError{name + ": no breakpoints; type or paste at least one number", {0, text.size()}};
    return axis;
}

std::string axisText(std::span<const double> values)
{
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            text += ", ";
        text += workbench::formatBreakpoint(values[i]);
    }
    return text;
}

// The decimals a number is written with: digits after its point, less its
// exponent ("1.25e1" is 12.5: 1), from 0 to 6.
static int writtenDecimals(std::string_view text)
{
    const std::size_t point = text.find('.');
    const std::size_t e = text.find_first_of("eE");
    long long decimals = 0;
    if (point != std::string_view::npos)
        for (std::size_t i = point + 1; i < text.size() && i < e && text[i] >= '0' && text[i] <= '9'; ++i)
            ++decimals;
    if (e != std::string_view::npos) {
        long long exponent = 0;
        std::size_t i = e + 1;
        const bool negative = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+'))
            ++i;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            exponent = std::min<long long>(exponent * 10 + (text[i] - '0'), 1000);
        decimals += negative ? exponent : -exponent;
    }
    return static_cast<int>(std::clamp<long long>(decimals, 0, 6));
}

ParsedMap parseMapText(std::string_view text, std::size_t rows, std::size_t cols)
{
    ParsedMap map;
    map.rows = rows;
    map.cols = cols;
    std::vector<std::vector<TextField>> lines;
    for (const Line& line : splitLines(text)) {
        std::vector<TextField> fields = splitPastedLine(line.text, line.offset);
        if (!fields.empty())
            lines.push_back(std::move(fields));
    }
    const std::string shape = plural(rows, "row", "rows") + " of " + plural(cols, "value", "values");
    if (lines.empty()) {
        map.error = TextError{"Map: nothing to read; paste " + shape, {0, text.size()}};
        return map;
    }
    // The table's own header row and column, as Copy gives them, are dropped:
    // one line more than rows, and one field more than cols on the rows below.
    bool headers = false;
    if (lines.size() == rows + 1) {
        headers = std::all_of(lines.begin() + 1, lines.end(),
                              [cols](const std::vector<TextField>& f) { return f.size() == cols + 1; });
        if (headers)
            lines.erase(lines.begin());
    }
    // Row labels without the header row (a selection copied from a grid).
    if (!headers && lines.size() == rows)
        headers = std::all_of(lines.begin(), lines.end(),
                              [cols](const std::vector<TextField>& f) { return f.size() == cols + 1; });
    if (lines.size() != rows) {
        map.error = TextError{"Map: " + plural(lines.size(), "row", "rows") + " pasted; the table has " + shape,
                              {0, text.size()}};
        return map;
    }
    map.values.reserve(rows * cols);
    for (std::size_t r = 0; r < rows; ++r) {
        const std::vector<TextField>& fields = lines[r];
        const std::size_t skip = headers ? 1 : 0;
        if (fields.size() - skip != cols) {
            const TextPlace place{fields.front().place.offset,
                                  fields.back().place.offset + fields.back().place.length - fields.front().place.offset};
            map.error = TextError{"Map row " + std::to_string(r + 1) + ": " +
                                      plural(fields.size() - skip, "value", "values") + "; the table has " +
                                      plural(cols, "column", "columns"),
                                  place};
            map.values.clear();
            return map;
        }
        for (std::size_t c = 0; c < cols; ++c) {
            const TextField& field = fields[c + skip];
            const std::optional<double> value = parseNumber(field.text);
            if (!value) {
                map.error = TextError{"Map row " + std::to_string(r + 1) + ", column " + std::to_string(c + 1) + ": " +
                                          (field.text.empty() ? std::string("empty") : quoted(field.text)) +
                                          " is not a number",
                                      field.place};
                map.values.clear();
                return map;
            }
            map.values.push_back(*value);
            map.decimals = std::max(map.decimals, writtenDecimals(field.text));
        }
    }
    return map;
}

// ---------------------------------------------------------------- corrections

std::vector<CorrectedCell> suggestCorrections(std::span<const double> oldMap, std::span<const CellEvidence> evidence,
                                              std::span<const std::uint8_t> locked,
                                              const CorrectionSettings& settings)
{
    if (evidence.size() != oldMap.size() || (!locked.empty() && locked.size() != oldMap.size()))
        throw std::invalid_argument("the map, the table and the locks differ in size");
    if (!std::isfinite(settings.target) || settings.target == 0.0)
        throw std::invalid_argument("corrections need a target other than 0");
    if (!(settings.limitPercent >= 0.0))
        throw std::invalid_argument("the limit per cell must be 0 % or more");
    const double limit = settings.limitPercent / 100.0;
    std::vector<CorrectedCell> out(oldMap.size());
    for (std::size_t i = 0; i < oldMap.size(); ++i) {
        const double old = oldMap[i];
        CorrectedCell& cell = out[i];
        cell.value = old;
        if (!locked.empty() && locked[i]) {
            cell.kind = CorrectionKind::Locked;
            continue;
        }
        const CellEvidence& e = evidence[i];
        const double ratio = e.mean / settings.target;
        if (e.count < std::max<std::int64_t>(settings.minHits, 1) || !std::isfinite(ratio)) {
            cell.kind = CorrectionKind::Unchanged;
            continue;
        }
        const double wanted = old * ratio;
        const double a = old * (1.0 - limit);
        const double b = old * (1.0 + limit);
        const double clamped = std::clamp(wanted, std::min(a, b), std::max(a, b));
        cell.value = clamped;
        cell.kind = clamped == wanted ? CorrectionKind::Corrected : CorrectionKind::Limited;
    }
    return out;
}

std::string mapValueText(double value)
{
    std::string text = workbench::formatStatistic(value);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

std::string mapValueText(double value, int decimals)
{
    if (decimals < 0)
        return mapValueText(value);
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", std::min(decimals, 6), value);
    std::string text = buffer;
    // No negative zero ("-0.0" for -0.04 at one decimal).
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    return text;
}

// ---------------------------------------------------------------- text out

TextTable mapTextTable(std::span<const double> xAxis, std::span<const double> yAxis, std::span<const double> values,
                       int decimals)
{
    const std::size_t rows = yAxis.empty() ? 1 : yAxis.size();
    if (values.size() != rows * xAxis.size())
        throw std::invalid_argument("the map does not have the table's shape");
    TextTable table;
    table.reserve(rows + 1);
    std::vector<std::string> header{std::string()};
    for (const double x : xAxis)
        header.push_back(workbench::formatBreakpoint(x));
    table.push_back(std::move(header));
    for (std::size_t r = 0; r < rows; ++r) {
        std::vector<std::string> line{yAxis.empty() ? std::string() : workbench::formatBreakpoint(yAxis[r])};
        for (std::size_t c = 0; c < xAxis.size(); ++c)
            line.push_back(mapValueText(values[r * xAxis.size() + c], decimals));
        table.push_back(std::move(line));
    }
    return table;
}

std::string tabText(const TextTable& table)
{
    std::string text;
    for (const auto& line : table)
        text += joinTab(line, 0) + '\n';
    return text;
}

std::string tabValuesText(const TextTable& table)
{
    std::string text;
    for (std::size_t r = 1; r < table.size(); ++r)
        text += joinTab(table[r], 1) + '\n';
    return text;
}

std::string csvText(const TextTable& table)
{
    std::string text;
    for (const auto& line : table) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (i > 0)
                text += ',';
            const std::string& cell = line[i];
            if (cell.find_first_of(",\"\r\n") == std::string::npos) {
                text += cell;
                continue;
            }
            text += '"';
            for (const char c : cell) {
                if (c == '"')
                    text += '"';
                text += c;
            }
            text += '"';
        }
        text += '\n';
    }
    return text;
}

}  // namespace dlv
