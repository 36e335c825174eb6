#include "datalog/text_layout.h"

#include "datalog/number.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstring>

namespace dlv {

namespace {

// Lines looked at for the names line, and data lines after it.
constexpr std::size_t kNamesLineLimit = 64;
constexpr std::size_t kDataLinesChecked = 16;
constexpr std::size_t kLayoutLines = 4096;
// Data lines whose numbers tell the decimal mark.
constexpr std::size_t kDecimalMarkLines = 64;
constexpr std::string_view kDataLogMark = "%DataLog%";

[[nodiscard]] bool startsWith(std::string_view text, std::string_view prefix) noexcept
{
    return text.substr(0, prefix.size()) == prefix;
}

[[nodiscard]] char lower(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

[[nodiscard]] bool equalsNoCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

[[nodiscard]] bool isDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

[[nodiscard]] CellCounts countLine(std::string_view line, char separator)
{
    const std::vector<std::string_view> cells = lineCells(line, separator);
    return countCells(cells);
}

// A line of data for a names line of `cells` cells.
[[nodiscard]] bool isDataLine(std::string_view line, char separator, std::size_t cells)
{
    const std::vector<std::string_view> split = lineCells(line, separator);
    return split.size() == cells && countCells(split).mostlyValues();
}

// A units line: as many cells as the names, none of them a number.
[[nodiscard]] bool isUnitsLine(std::string_view line, char separator, std::size_t cells)
{
    const std::vector<std::string_view> split = lineCells(line, separator);
    if (split.size() != cells)
        return false;
    const CellCounts counts = countCells(split);
    return counts.numbers + counts.commaNumbers == 0;
}

[[nodiscard]] std::size_t offsetAfter(std::span<const TextLine> lines, std::size_t line, std::size_t textSize)
{
    return line < lines.size() ? lines[line].next : textSize;
}

[[nodiscard]] std::size_t offsetOf(std::span<const TextLine> lines, std::size_t line, std::size_t textSize)
{
    return line == 0 ? 0 : offsetAfter(lines, line - 1, textSize);
}

void setData(TextLayout& layout, std::span<const TextLine> lines, std::size_t dataLine, std::size_t textSize,
             std::string_view text)
{
    layout.dataLine = dataLine;
    layout.dataOffset = std::min(offsetOf(lines, dataLine, textSize), text.size());
}

void setCells(TextLayout& layout, std::span<const TextLine> lines)
{
    layout.nameCells = layout.namesLine < lines.size() ? lineCells(lines[layout.namesLine].text, layout.separator)
                                                       : std::vector<std::string_view>{};
    if (layout.unitsLine && *layout.unitsLine < lines.size())
        layout.unitCells = lineCells(lines[*layout.unitsLine].text, layout.separator);
    layout.preamble.clear();
    for (std::size_t i = 0; i < layout.namesLine && i < lines.size(); ++i)
        layout.preamble.push_back(lines[i].text);
}

// ", ": most separators of the names line have a space after them.
[[nodiscard]] bool spacedSeparators(std::string_view line, char separator) noexcept
{
    std::size_t separators = 0;
    std::size_t spaced = 0;
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == separator) {
            ++separators;
            spaced += i + 1 < line.size() && line[i + 1] == ' ' ? 1 : 0;
        }
    return separators != 0 && spaced * 2 > separators;
}

// The separator a line is most plainly split by: the most frequent of
// TAB, ';' and ',' (',' when none).
[[nodiscard]] char likeliestSeparator(std::string_view line) noexcept
{
    char best = ',';
    std::size_t most = 0;
    for (const char separator : {',', ';', '\t'}) {
        const auto n = static_cast<std::size_t>(std::count(line.begin(), line.end(), separator));
        if (n > most) {
            most = n;
            best = separator;
        }
    }
    return best;
}

// The lines that layouts look at: complete lines of the first kLayoutBytes
// of text (the first line whole however long it is).
[[nodiscard]] std::vector<TextLine> layoutLines(std::string_view text)
{
    const bool cut = text.size() > kLayoutBytes;
    std::vector<TextLine> lines = textLines(text.substr(0, kLayoutBytes), kLayoutLines, cut);
    if (lines.empty() && !text.empty())
        lines = textLines(text, 1);
    return lines;
}

// A time of day at the start of a %DataLog% record.
[[nodiscard]] bool startsWithTimeOfDay(std::string_view line)
{
    const std::size_t comma = line.find(',');
    std::array<char, 64> out{};
    const std::string_view first = line.substr(0, comma);
    return first.size() <= out.size() && secondsOfDay(first, out.data()) != 0;
}

}  // namespace

std::optional<KeyValue> keyValue(std::string_view line) noexcept
{
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const std::string_view key = trimSpaces(line.substr(0, colon));
    if (key.empty())
        return std::nullopt;
    return KeyValue{key, trimSpaces(line.substr(colon + 1))};
}

namespace {

// %DataLog%: a preamble of "Key : value" lines, among them blocks that
// start "Channel : NAME"; the records begin at the first line that starts
// with a time of day. The names are "Time" and the channels' in order.
[[nodiscard]] TextLayout dataLogLayout(std::string_view text, std::span<const TextLine> lines)
{
    TextLayout layout;
    layout.dataLog = true;
    layout.namesFound = true;
    layout.separator = ',';
    std::size_t data = lines.size();
    for (std::size_t i = 1; i < lines.size(); ++i)
        if (startsWithTimeOfDay(lines[i].text)) {
            data = i;
            break;
        }
    layout.nameCells.push_back("Time");
    layout.unitCells.push_back("s");
    for (std::size_t i = 0; i < data; ++i) {
        layout.preamble.push_back(lines[i].text);
        if (const std::optional<KeyValue> entry = keyValue(lines[i].text); entry && equalsNoCase(entry->key, "channel"))
            layout.nameCells.push_back(entry->value);
    }
    setData(layout, lines, data, text.size(), text);
    return layout;
}

// MSL: quoted preamble lines (and lines starting with '#', and empty ones),
// then a TAB-separated names row, a units row, the data. strict: the units
// row has as many cells as the names and the first data row is a record
// of as many cells, mostly values.
[[nodiscard]] TextLayout mslLayout(std::string_view text, std::span<const TextLine> lines, bool& strict)
{
    TextLayout layout;
    layout.format = LogFormat::Msl;
    layout.separator = '\t';
    std::size_t i = 0;
    while (i < lines.size()) {
        const std::string_view line = trimSpaces(lines[i].text);
        if (!line.empty() && line.front() != '"' && line.front() != '#')
            break;
        ++i;
    }
    layout.namesLine = std::min(i, lines.size());
    layout.namesFound = i < lines.size();
    std::size_t data = i + 1;
    strict = false;
    if (i + 1 < lines.size()) {
        const std::vector<std::string_view> units = lineCells(lines[i + 1].text, '\t');
        const CellCounts counts = countCells(units);
        if (counts.numbers + counts.commaNumbers == 0) {
            layout.unitsLine = i + 1;
            data = i + 2;
        }
        // The first record: markers may come before it.
        std::size_t record = data;
        while (record < lines.size() && record < data + kDataLinesChecked &&
               cellKind(lineCells(lines[record].text, '\t').front()) != CellKind::Number)
            ++record;
        const std::size_t cells = lineCells(lines[i].text, '\t').size();
        strict = layout.unitsLine && cells >= 2 && units.size() == cells && record < lines.size() &&
                 isDataLine(lines[record].text, '\t', cells) && countLine(lines[i].text, '\t').mostlyTexts();
    }
    setCells(layout, lines);
    setData(layout, lines, data, text.size(), text);
    return layout;
}

[[nodiscard]] TextLayout delimitedLayout(std::string_view text, std::span<const TextLine> lines)
{
    TextLayout layout;
    std::optional<NamesLine> best;
    for (const char separator : {',', ';', '\t'}) {
        const std::optional<NamesLine> found = findNamesLine(lines, separator);
        if (found && (!best || found->names < best->names || (found->names == best->names && found->cells > best->cells))) {
            best = found;
            layout.separator = separator;
        }
    }
    if (best) {
        layout.namesFound = true;
        layout.namesLine = best->names;
        layout.unitsLine = best->units;
        setData(layout, lines, best->data, text.size(), text);
    } else {
        std::size_t first = 0;
        while (first < lines.size() && trimSpaces(lines[first].text).empty())
            ++first;
        layout.namesLine = first;
        layout.separator = first < lines.size() ? likeliestSeparator(lines[first].text) : ',';
        setData(layout, lines, first + 1, text.size(), text);
    }
    setCells(layout, lines);
    if (layout.namesLine < lines.size())
        layout.spaced = spacedSeparators(lines[layout.namesLine].text, layout.separator);
    if (layout.separator != ',' && layout.dataLine < lines.size())
        layout.decimalComma = usesDecimalComma(
            lines.subspan(layout.dataLine, std::min(lines.size() - layout.dataLine, kDecimalMarkLines)), layout.separator);
    return layout;
}

// Whether a comma splits the names line and the first data line found by
// another separator into the same number (> 1) of cells: then the other
// separator may be the one inside the cells.
[[nodiscard]] bool commaSplitsAlike(std::span<const TextLine> lines, const NamesLine& found)
{
    const std::size_t names = lineCells(lines[found.names].text, ',').size();
    return names > 1 && names == lineCells(lines[found.data].text, ',').size();
}

[[nodiscard]] bool holdsAnySeparator(std::string_view line) noexcept
{
    return line.find_first_of(",;\t") != std::string_view::npos;
}

}  // namespace

std::vector<TextLine> textLines(std::string_view text, std::size_t maxLines, bool cutShort)
{
    std::vector<TextLine> lines;
    std::size_t start = 0;
    while (start < text.size() && lines.size() < maxLines) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        if (end == text.size()) {
            if (!cutShort)
                lines.push_back({text.substr(start), text.size()});
            break;
        }
        std::size_t next = end + 1;
        if (text[end] == '\r' && next < text.size() && text[next] == '\n')
            ++next;
        else if (text[end] == '\r' && next == text.size() && cutShort)
            break;  // the LF of a CR LF may follow
        lines.push_back({text.substr(start, end - start), next});
        start = next;
    }
    return lines;
}

std::vector<std::string_view> lineCells(std::string_view line, char separator)
{
    std::vector<std::string_view> cells;
    std::size_t start = 0;
    while (true) {
        const std::size_t at = line.find(separator, start);
        if (at == std::string_view::npos) {
            cells.push_back(line.substr(start));
            return cells;
        }
        cells.push_back(line.substr(start, at - start));
        start = at + 1;
    }
}

std::string_view cellText(std::string_view cell) noexcept
{
    cell = trimSpaces(cell);
    if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"')
        cell = trimSpaces(cell.substr(1, cell.size() - 2));
    return cell;
}

CellKind cellKind(std::string_view cell) noexcept
{
    const std::string_view text = trimSpaces(cell);
    if (text.empty())
        return CellKind::Empty;
    if (parseNumber(text))
        return CellKind::Number;
    const std::size_t comma = text.find(',');
    if (comma != std::string_view::npos && text.find(',', comma + 1) == std::string_view::npos &&
        text.find('.') == std::string_view::npos && text.size() <= 64) {
        std::array<char, 64> swapped{};
        std::memcpy(swapped.data(), text.data(), text.size());
        swapped[comma] = '.';
        if (parseNumber(std::string_view(swapped.data(), text.size())))
            return CellKind::CommaNumber;
    }
    if (wordValue(text))
        return CellKind::Word;
    return CellKind::Text;
}

CellCounts countCells(std::span<const std::string_view> cells) noexcept
{
    CellCounts counts;
    for (const std::string_view cell : cells) {
        switch (cellKind(cell)) {
        case CellKind::Empty: ++counts.empty; break;
        case CellKind::Number:
            ++counts.numbers;
            counts.pointNumbers += cell.find('.') != std::string_view::npos ? 1 : 0;
            break;
        case CellKind::CommaNumber: ++counts.commaNumbers; break;
        case CellKind::Word: ++counts.words; break;
        case CellKind::Text: ++counts.texts; break;
        }
    }
    return counts;
}

std::optional<NamesLine> findNamesLine(std::span<const TextLine> lines, char separator)
{
    for (std::size_t i = 0; i < lines.size() && i < kNamesLineLimit; ++i) {
        const std::vector<std::string_view> cells = lineCells(lines[i].text, separator);
        const std::size_t n = cells.size();
        if (n < 2 || !countCells(cells).mostlyTexts())
            continue;
        NamesLine found{i, std::nullopt, i + 1, n};
        if (i + 2 < lines.size() && isUnitsLine(lines[i + 1].text, separator, n) &&
            isDataLine(lines[i + 2].text, separator, n)) {
            found.units = i + 1;
            found.data = i + 2;
        } else if (i + 1 >= lines.size() || !isDataLine(lines[i + 1].text, separator, n)) {
            continue;
        }
        const std::size_t end = std::min(lines.size(), found.data + kDataLinesChecked);
        std::size_t alike = 0;
        for (std::size_t k = found.data; k < end; ++k)
            alike += lineCells(lines[k].text, separator).size() == n ? 1 : 0;
        if (alike * 2 > end - found.data)
            return found;
    }
    return std::nullopt;
}

bool usesDecimalComma(std::span<const TextLine> dataLines, char separator)
{
    if (separator == ',')
        return false;
    std::size_t commas = 0;
    std::size_t points = 0;
    for (const TextLine& line : dataLines) {
        const CellCounts counts = countLine(line.text, separator);
        commas += counts.commaNumbers;
        points += counts.pointNumbers;
    }
    return commas != 0 && commas >= points;
}

TextLayout textLayout(std::string_view text, LogFormat format)
{
    const std::vector<TextLine> lines = layoutLines(text);
    if (format == LogFormat::Msl) {
        bool strict = false;
        return mslLayout(text, lines, strict);
    }
    if (startsWith(text, kDataLogMark))
        return dataLogLayout(text, lines);
    return delimitedLayout(text, lines);
}

std::optional<LogFormat> detectTextLayout(std::string_view head, bool cutShort)
{
    if (startsWith(head, kDataLogMark))
        return LogFormat::Text;
    const std::vector<TextLine> lines = textLines(head, kLayoutLines, cutShort);
    if (lines.empty())
        return std::nullopt;
    if (startsWith(trimSpaces(lines[0].text), "\"")) {
        bool strict = false;
        (void)mslLayout(head, lines, strict);
        if (strict)
            return LogFormat::Msl;
    }
    // ';' or TAB: the names on line 1, or after lines that hold no
    // separator at all, and a second line of data within the next few. A names line 2 is
    // how a log of the own format whose names line is separated so looks:
    // it stays the own format.
    for (const char separator : {';', '\t'}) {
        const std::optional<NamesLine> found = findNamesLine(lines, separator);
        if (!found || commaSplitsAlike(lines, *found))
            continue;
        bool second = false;
        for (std::size_t i = found->data + 1; i < lines.size() && i <= found->data + kDataLinesChecked && !second; ++i)
            second = isDataLine(lines[i].text, separator, found->cells);
        if (!second)
            continue;
        bool plainPreamble = found->names != 1;
        for (std::size_t i = 1; i < found->names; ++i)
            plainPreamble = plainPreamble && !holdsAnySeparator(lines[i].text);
        if (plainPreamble)
            return LogFormat::Text;
    }
    // ',': the names on line 1 and numbers on line 2, where a log of the own
    // format has its names.
    const std::optional<NamesLine> found = findNamesLine(lines, ',');
    if (found && found->names == 0 && !found->units)
        return LogFormat::Text;
    return std::nullopt;
}

std::string channelName(std::string_view cell, std::size_t index)
{
    std::string name(cellText(cell));
    if (name.empty())
        return "Channel " + std::to_string(index + 1);
    std::replace(name.begin(), name.end(), ',', ';');
    return name;
}

std::string channelUnit(std::string_view name, std::string_view unitCell)
{
    const std::string_view unit = cellText(unitCell);
    if (!unit.empty())
        return std::string(unit);
    name = cellText(name);
    if (name.size() < 3)
        return {};
    const char close = name.back();
    const char open = close == ')' ? '(' : close == ']' ? '[' : '\0';
    if (open == '\0')
        return {};
    const std::size_t at = name.rfind(open);
    if (at == std::string_view::npos)
        return {};
    const std::string_view inside = trimSpaces(name.substr(at + 1, name.size() - at - 2));
    constexpr std::size_t kLongestUnit = 12;
    if (inside.empty() || inside.size() > kLongestUnit || inside.find_first_of(" ()[]") != std::string_view::npos)
        return {};
    return std::string(inside);
}

std::optional<TimeChannel> findTimeChannel(std::span<const std::string> names, std::span<const std::string> units)
{
    const auto unitOf = [&units](std::size_t p) -> std::string_view {
        return p < units.size() ? std::string_view(units[p]) : std::string_view();
    };
    const auto inMilliseconds = [](std::string_view text) {
        return equalsNoCase(text, "ms") || equalsNoCase(text, "msec");
    };
    for (std::size_t p = 0; p < names.size(); ++p) {
        const std::string_view name = trimSpaces(names[p]);
        const std::string_view unit = unitOf(p);
        const bool named = equalsNoCase(name, "time") ||
                           (name.size() > 4 && equalsNoCase(name.substr(0, 4), "time") && (name[4] == ' ' || name[4] == '('));
        const bool timeUnit = equalsNoCase(unit, "s") || equalsNoCase(unit, "sec") || inMilliseconds(unit);
        if (!named && !timeUnit)
            continue;
        bool ms = inMilliseconds(unit);
        // A name that says so without a unit of its own: "Time ms".
        for (const std::string_view word : {"ms", "msec"}) {
            const std::size_t at = name.size() >= word.size() ? name.size() - word.size() : std::string_view::npos;
            ms = ms || (unit.empty() && at != std::string_view::npos && at > 0 &&
                        equalsNoCase(name.substr(at), word) && !std::isalnum(static_cast<unsigned char>(name[at - 1])));
        }
        return TimeChannel{static_cast<long long>(p), ms ? 0.001 : 1.0};
    }
    return std::nullopt;
}

std::size_t secondsOfDay(std::string_view text, char* out) noexcept
{
    text = trimSpaces(text);
    std::size_t i = 0;
    const auto digits = [&text, &i](std::size_t most) {
        unsigned value = 0;
        std::size_t n = 0;
        while (i < text.size() && n < most && isDigit(text[i])) {
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
            ++i;
            ++n;
        }
        return std::pair{value, n};
    };
    const auto [hours, hourDigits] = digits(2);
    if (hourDigits == 0 || i >= text.size() || text[i] != ':')
        return 0;
    ++i;
    const auto [minutes, minuteDigits] = digits(2);
    if (minuteDigits != 2 || minutes > 59 || i >= text.size() || text[i] != ':')
        return 0;
    ++i;
    const auto [seconds, secondDigits] = digits(2);
    if (secondDigits != 2 || seconds > 60)
        return 0;
    const std::string_view fraction = text.substr(i);
    if (!fraction.empty()) {
        if (fraction.front() != '.' || fraction.size() < 2)
            return 0;
        for (const char c : fraction.substr(1))
            if (!isDigit(c))
                return 0;
    }
    std::array<char, 16> whole{};
    const auto written = std::to_chars(whole.data(), whole.data() + whole.size(), hours * 3600 + minutes * 60 + seconds);
    const auto wholeBytes = static_cast<std::size_t>(written.ptr - whole.data());
    std::memcpy(out, whole.data(), wholeBytes);
    std::memcpy(out + wholeBytes, fraction.data(), fraction.size());
    return wholeBytes + fraction.size();
}

}  // namespace dlv
