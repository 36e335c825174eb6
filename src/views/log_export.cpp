#include "views/log_export.h"

#include "datalog/display_text.h"
#include "datalog/number.h"
#include "datalog/parallel.h"

#include <charconv>
#include <cmath>
#include <numeric>
#include <vector>

namespace dlv {

namespace {

// Text put in a field of the own format: no comma may split it, no line end
// end its line.
void appendFieldText(std::string& out, std::string_view text)
{
    for (const char c : text)
        out += c == ',' || c == '\r' || c == '\n' ? ' ' : c;
}

// Takes formatted at a time; each core formats a part of them.
constexpr int kExportBlockTakes = 4096;

}  // namespace

void appendExportCell(std::string& out, std::string_view shown, double number)
{
    if (parseNumber(shown)) {
        out += trimSpaces(shown);
        return;
    }
    if (std::isfinite(number)) {
        char digits[32];
        const auto [end, error] = std::to_chars(digits, digits + sizeof digits, number);
        if (error == std::errc())
            out.append(digits, end);
        return;
    }
    appendFieldText(out, trimSpaces(shown));
}

std::string exportNamesLine(const std::vector<std::string>& names)
{
    std::string line;
    // The last name is the empty one that ends the list.
    const std::size_t count = names.empty() ? 0 : names.size() - 1;
    for (std::size_t p = 0; p < count; ++p) {
        if (p > 0)
            line += ',';
        if (trimSpaces(names[p]).empty())
            line += "Channel " + std::to_string(p + 1);
        else
            appendFieldText(line, names[p]);
    }
    return line;
}

std::string exportTitle(std::string_view fileName, const LogChannels& log, std::string_view program)
{
    return displayText(fileName) + ", " + log.details().formatName + ", exported by " + std::string(program);
}

bool exportLog(const LogChannels& log, std::string_view title, const ExportSink& sink, const ExportProgress& progress)
{
    std::string head;
    for (const char c : title)
        head += c == '\r' || c == '\n' ? ' ' : c;
    head += '\n';
    head += exportNamesLine(log.ParamNames());
    head += '\n';
    if (!sink(head))
        return false;

    const int channels = log.channelCount();
    std::vector<long long> params(static_cast<std::size_t>(std::max(channels, 0)));
    std::iota(params.begin(), params.end(), 0LL);
    const int takes = log.takeCount();
    const std::size_t parts = partCount(static_cast<std::size_t>(kExportBlockTakes), 512);
    std::vector<std::string> texts(parts);
    std::vector<double> numbers(static_cast<std::size_t>(kExportBlockTakes) * params.size());
    std::vector<double*> outs(params.size());
    for (std::size_t k = 0; k < params.size(); ++k)
        outs[k] = numbers.data() + k * kExportBlockTakes;
    for (int first = 0; first < takes; first += kExportBlockTakes) {
        const int count = std::min(kExportBlockTakes, takes - first);
        if (!params.empty())
            log.parseInto(params, first, count, outs);
        runParts(parts, [&](std::size_t part) {
            std::string& out = texts[part];
            out.clear();
            std::string scratch;
            const int from = static_cast<int>(static_cast<std::size_t>(count) * part / parts);
            const int to = static_cast<int>(static_cast<std::size_t>(count) * (part + 1) / parts);
            for (int i = from; i < to; ++i) {
                for (int p = 0; p < channels; ++p) {
                    if (p > 0)
                        out += ',';
                    const std::string_view shown = log.shownValue(p, first + i, scratch).value_or(std::string_view{});
                    appendExportCell(out, shown, outs[static_cast<std::size_t>(p)][i]);
                }
                out += '\n';
            }
        });
        for (const std::string& text : texts)
            if (!text.empty() && !sink(text))
                return false;
        if (progress && !progress(first + count))
            return false;
    }
    return true;
}

}  // namespace dlv
