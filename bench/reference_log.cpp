#include "reference_log.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>

namespace dlv::bench {

namespace {

std::vector<std::string> splitLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(current);
            current.clear();
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            current += c;
        }
    }
    // Text after the last line end is a line of its own; a final line end adds none.
    if (!current.empty())
        lines.push_back(current);
    return lines;
}

std::string plainTwoDecimals(double value)
{
    std::string text = fixed2(value);
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text;
}

}  // namespace

ReferenceLog::ReferenceLog(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    m_lines = splitLines(bytes);
    if (m_lines.size() < 2)
        throw std::runtime_error(path + " has fewer than two lines");
    for (const std::string& name : splitFields(m_lines[1])) {
        if (name.empty())
            break;
        m_names.push_back(name);
    }
}

std::vector<std::string> ReferenceLog::fields(int take) const
{
    return splitFields(m_lines.at(static_cast<std::size_t>(take) + 2));
}

std::string ReferenceLog::value(int take, int param) const
{
    const std::vector<std::string> all = fields(take);
    if (param < 0 || static_cast<std::size_t>(param) >= all.size())
        return {};
    return trimSpaces(all[static_cast<std::size_t>(param)]);
}

std::vector<std::string> splitFields(const std::string& line)
{
    std::vector<std::string> fields(1);
    for (const char c : line) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

std::string trimSpaces(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::optional<double> referenceNumber(const std::string& text)
{
    static const std::regex number(R"([+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?)",
                                   std::regex::ECMAScript | std::regex::optimize);
    const std::string t = trimSpaces(text);
    if (!std::regex_match(t, number))
        return std::nullopt;
    const double value = std::strtod(t.c_str(), nullptr);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string fixed2(double value)
{
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    const std::string text = buffer;
    return text == "-0.00" ? "0.00" : text;
}

ReferenceViews computeReferenceViews(const ReferenceLog& log, int curveParam)
{
    const int takes = log.takeCount();
    struct Cell {
        long long hits = 0;
        double sum = 0;
    };
    Cell cells[9][10] = {};  // [grid row][grid column], rows and columns 1.. used
    int curveCount = 0;
    double curveSum = 0, curveMax = 0, curveMin = 0;

    for (int t = 0; t < takes; ++t) {
        const std::vector<std::string> f = log.fields(t);
        auto number = [&f](int p) -> std::optional<double> {
            if (static_cast<std::size_t>(p) >= f.size())
                return std::nullopt;
            return referenceNumber(f[static_cast<std::size_t>(p)]);
        };
        if (const auto v = number(curveParam)) {
            curveMax = curveCount == 0 ? *v : std::max(curveMax, *v);
            curveMin = curveCount == 0 ? *v : std::min(curveMin, *v);
            curveSum += *v;
            ++curveCount;
        }
        const auto rpm = number(kRefRpm);
        const auto map = number(kRefMap);
        const auto blm = number(kRefBlm);
        if (!rpm || !map || !blm)
            continue;
        const double col = std::nearbyint(*map / 10.0) - 1.0;
        if (col < 1.0 || col > 9.0)
            continue;
        for (int r = 1; r <= 8; ++r) {
            if (400.0 * (r - 1) <= *rpm && *rpm <= 400.0 * r) {
                Cell& cell = cells[r][static_cast<int>(col)];
                ++cell.hits;
                cell.sum += *blm;
            }
        }
    }

    ReferenceViews views;
    const std::string takesText = " minutes (" + std::to_string(takes) + " takes)";
    if (takes == 0) {
        views.runTime = "0" + takesText;
    } else {
        const auto seconds = referenceNumber(log.value(takes - 1, 0));
        views.runTime = (seconds ? plainTwoDecimals(std::nearbyint(*seconds) / 60.0) : "?") + takesText;
    }

    views.blm[0][0] = "RPM/MAP";
    for (int c = 1; c <= 9; ++c)
        views.blm[0][static_cast<std::size_t>(c)] = std::to_string(10 * c + 10);
    for (int r = 1; r <= 8; ++r) {
        views.blm[static_cast<std::size_t>(r)][0] = std::to_string(400 * r);
        for (int c = 1; c <= 9; ++c) {
            const Cell& cell = cells[r][c];
            if (cell.hits == 0)
                continue;
            char buffer[512];
            std::snprintf(buffer, sizeof buffer, "%.0f", std::nearbyint(cell.sum / static_cast<double>(cell.hits)));
            const std::string text = buffer;
            views.blm[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = text == "-0" ? "0" : text;
        }
    }

    if (curveCount > 0)
        views.curve = {fixed2(curveMax), fixed2(curveSum / curveCount), fixed2(curveMin)};
    return views;
}

}  // namespace dlv::bench
