#pragma once

// What the text-log fuzz targets check on each input, kept apart from
// libFuzzer so that the test suite replays the same checks on the corpus
// (fuzz/corpus/text_log, .../detect) and on tests/fuzz_regressions/.
// The reference reading is written plainly here: lines and cells split
// by the plain helpers of fuzz_checks.h, numbers by the number rule after
// the decimal-comma swap. From the reader it takes only the layout (where
// the names and the data start, the separator, the decimal mark), whose
// rules the unit tests pin down.

#include "datalog/display_text.h"
#include "datalog/log_channels.h"
#include "datalog/log_formats.h"
#include "datalog/text_encoding.h"
#include "datalog/text_layout.h"
#include "fuzz_checks.h"

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

namespace dlv::fuzzcheck {

// Input bytes as UTF-16 code units of one byte each, with a byte-order mark.
inline std::string asUtf16(std::string_view bytes, bool bigEndian)
{
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char c : bytes) {
        out += bigEndian ? '\0' : c;
        out += bigEndian ? c : '\0';
    }
    return out;
}

// The UTF-8 text of such code units, written plainly (U+0000 to U+00FF).
inline std::string latin1AsUtf8(std::string_view bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

inline std::string numberOrNone(const std::optional<double>& value)
{
    return value ? number(*value) : "no number";
}

struct ReferenceMarker {
    std::uint64_t take;
    std::string text;
};

// A text log read the plain way, once its layout is known.
struct ReferenceTextLog {
    std::vector<std::vector<std::string>> records;  // converted cells, untrimmed
    std::vector<ReferenceMarker> markers;
    std::uint64_t oddRows = 0;
    std::vector<bool> words;  // by column
};

inline ReferenceTextLog referenceTextLog(std::string_view text, const dlv::TextLayout& layout)
{
    ReferenceTextLog log;
    const std::vector<std::string_view> lines = naiveLines(text);
    const char commaTo = layout.separator == ',' ? ',' : layout.decimalComma ? '.' : ';';
    log.words.assign(layout.nameCells.size(), false);
    for (std::size_t i = layout.dataLine; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.empty())
            continue;
        const std::vector<std::string_view> cells = naiveSplit(line, std::string(1, layout.separator));
        if (layout.format == dlv::LogFormat::Msl) {
            const std::string_view first = naiveTrim(cells[0]);
            if (!referenceNumber(first)) {
                if (first.empty()) {
                    ++log.oddRows;
                } else {
                    std::string joined;
                    for (const std::string_view cell : cells)
                        if (!dlv::cellText(cell).empty())
                            joined += (joined.empty() ? "" : " ") + std::string(dlv::cellText(cell));
                    log.markers.push_back({log.records.size(), dlv::displayText(joined)});
                }
                continue;
            }
        }
        std::vector<std::string> converted;
        bool digit = false;
        bool word = false;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            std::string cell(cells[c]);
            for (char& ch : cell) {
                digit = digit || (ch >= '0' && ch <= '9');
                if (ch == ',')
                    ch = commaTo;
            }
            if (layout.dataLog && c == 0 && cell.size() <= 64) {
                char seconds[64];
                if (const std::size_t n = dlv::secondsOfDay(cell, seconds))
                    cell.assign(seconds, n);
            }
            if (dlv::wordValue(cell)) {
                word = true;
                if (c < log.words.size())
                    log.words[c] = true;
            }
            converted.push_back(std::move(cell));
        }
        if (layout.format != dlv::LogFormat::Msl && !digit && !word) {
            ++log.oddRows;
            continue;
        }
        log.records.push_back(std::move(converted));
    }
    return log;
}

// The reading of a text log (UTF-8, no byte-order mark) as format, against
// the plain reading of text.
inline std::string checkTextReading(std::string_view text, dlv::LogFormat format, const dlv::ReadResult& result)
{
    const dlv::TextLayout layout = dlv::textLayout(text, format);
    if (!result.ok()) {
        const bool names = !layout.nameCells.empty() &&
                           (layout.namesFound || layout.nameCells.size() > 1 || !naiveTrim(layout.nameCells[0]).empty());
        if (names)
            return "a log with names was refused: " + result.error;
        if (result.error.find("'fuzz.log'") == std::string::npos)
            return "the message does not name the log: " + result.error;
        return {};
    }
    const std::shared_ptr<const dlv::LogChannels> log = dlv::logOf(result);
    if (!log || log->format() != format)
        return "the log is not of the format asked for";
    if (static_cast<std::size_t>(log->channelCount()) != layout.nameCells.size())
        return std::to_string(log->channelCount()) + " channels, not " + std::to_string(layout.nameCells.size());
    for (std::size_t p = 0; p < layout.nameCells.size(); ++p)
        if (log->ParamNames()[p] != dlv::channelName(layout.nameCells[p], p))
            return "name " + std::to_string(p) + " is " + shown(log->ParamNames()[p]);

    const ReferenceTextLog want = referenceTextLog(text, layout);
    if (static_cast<std::size_t>(log->takeCount()) != want.records.size())
        return std::to_string(log->takeCount()) + " takes, not " + std::to_string(want.records.size()) + " in " +
               shown(text);
    if (log->markers().size() != want.markers.size())
        return std::to_string(log->markers().size()) + " markers, not " + std::to_string(want.markers.size());
    for (std::size_t m = 0; m < want.markers.size(); ++m)
        if (static_cast<std::uint64_t>(log->markers()[m].take) != want.markers[m].take ||
            log->markers()[m].text != want.markers[m].text)
            return "marker " + std::to_string(m) + " is " + shown(log->markers()[m].text) + " at take " +
                   std::to_string(log->markers()[m].take);
    std::uint64_t oddRows = 0;
    for (const dlv::ReadWarning& w : result.warnings)
        if (w.kind == dlv::ReadWarning::Kind::OddRows)
            oddRows = w.count;
    if (oddRows != want.oddRows)
        return std::to_string(oddRows) + " rows left out, not " + std::to_string(want.oddRows);

    std::string scratch;
    const std::size_t channels = layout.nameCells.size();
    std::vector<double> column(want.records.size());
    for (std::size_t p = 0; p < channels; ++p) {
        const long long param = static_cast<long long>(p);
        double* out = column.data();
        if (!column.empty())
            log->parseInto({&param, 1}, 0, static_cast<int>(column.size()), {&out, 1});
        for (std::size_t t = 0; t < want.records.size(); ++t) {
            const std::vector<std::string>& cells = want.records[t];
            const std::string cell = p < cells.size() ? cells[p] : std::string();
            const std::optional<std::string_view> got = log->shownValue(param, static_cast<long long>(t), scratch);
            if (!got || *got != naiveTrim(cell))
                return "take " + std::to_string(t) + " channel " + std::to_string(p) + " shows " +
                       shown(got.value_or("(none)")) + ", not " + shown(cell);
            std::optional<double> number = referenceNumber(cell);
            if (!number && p < want.words.size() && want.words[p])
                number = dlv::wordValue(cell);
            const std::optional<double> value =
                std::isnan(column[t]) ? std::nullopt : std::optional<double>(column[t]);
            if (!sameNumber(value, number))
                return "take " + std::to_string(t) + " channel " + std::to_string(p) + " reads " +
                       numberOrNone(value) + " from " + shown(cell);
        }
    }
    return {};
}


// Input: a first byte choosing the format (bit 0: MSL, else text) and the
// encoding (bit 1: UTF-16 LE, bit 2: UTF-16 BE, each byte a code unit),
// then the log's bytes. Every cell of every take is checked against the
// plain reading, and the markers and the count of rows left out.
inline std::string checkTextLog(std::string_view data)
{
    if (data.empty())
        return {};
    const auto mode = static_cast<unsigned char>(data[0]);
    const dlv::LogFormat format = (mode & 1) ? dlv::LogFormat::Msl : dlv::LogFormat::Text;
    const std::string_view body = data.substr(1);
    std::string file(body);
    std::string text;
    if (mode & 6) {
        const bool bigEndian = (mode & 4) != 0;
        file = asUtf16(body, bigEndian);
        text = latin1AsUtf8(body);
        if (dlv::utf16ToUtf8(std::string_view(file).substr(2), bigEndian) != text)
            return "UTF-16 of " + shown(body) + " is not read as its characters";
    } else {
        const dlv::TextEncoding encoding = dlv::textEncoding(file);
        const std::size_t mark = dlv::byteOrderMarkBytes(file, encoding);
        text = dlv::isUtf16(encoding) ? dlv::utf16ToUtf8(std::string_view(file).substr(mark),
                                                         encoding == dlv::TextEncoding::Utf16Be)
                                      : file.substr(mark);
    }
    return checkTextReading(text, format, dlv::readLogBytes(file, format, "fuzz.log"));
}

// ------------------------------------------------------------ detection

// An own-format log built from the input: a title, a names line of names
// that are not numbers, and data lines of numbers (ragged, any line ends).
// No NUL bytes (a UTF-16 text has them every other byte), and no title that
// starts as another format's file does.
inline std::string ownLogFromInput(std::string_view data)
{
    Bytes in(data);
    const auto textOf = [&in](std::size_t most, bool names) {
        std::string out;
        const std::size_t n = in.byte() % (most + 1);
        for (std::size_t i = 0; i < n; ++i) {
            const char c = static_cast<char>(in.byte());
            if (c != '\r' && c != '\n' && c != '\0' && !(names && c == ','))
                out += c;
        }
        return out;
    };
    std::string title = textOf(64, false);
    for (const std::string_view start : {"%DataLog%", "\xFF\xFE", "\xFE\xFF", "MLVLG"})
        if (title.substr(0, start.size()) == start)
            title.insert(0, "t");
    const std::size_t names = 1 + in.byte() % 12;
    std::string log = title + "\n";
    for (std::size_t k = 0; k < names; ++k) {
        std::string name = textOf(12, true);
        if (dlv::cellKind(name) != dlv::CellKind::Text)
            name.insert(0, "N");
        log += (k ? "," : "") + name;
    }
    static const char* const kEnds[] = {"\n", "\r\n", "\r"};
    log += kEnds[in.byte() % 3];
    const std::size_t lines = in.byte() % 24;
    for (std::size_t l = 0; l < lines; ++l) {
        const std::uint8_t shape = in.byte();
        const std::size_t cells = shape & 0x80 ? shape % 16 : names;
        for (std::size_t c = 0; c < cells; ++c) {
            const std::uint8_t v = in.byte();
            std::string cell;
            switch (v % 6) {
            case 0: break;
            case 1: cell = std::to_string(v); break;
            case 2: cell = "-" + std::to_string(v) + "." + std::to_string(in.byte()); break;
            case 3: cell = std::to_string(in.byte()) + "e" + std::to_string(v % 9); break;
            case 4: cell = " " + std::to_string(in.byte() * 7) + " "; break;
            default: cell = "0." + std::to_string(in.byte()); break;
            }
            log += (c ? "," : "") + cell;
        }
        log += kEnds[in.byte() % 3];
    }
    return log;
}

// Any bytes through detection (never a crash, the same answer twice), and
// an own-format log built from them always detected as the own format.
inline std::string checkDetect(std::string_view data)
{
    const dlv::LogFormat format = dlv::detectLogFormat(data);
    if (format == dlv::LogFormat::Auto || dlv::detectLogFormat(data) != format)
        return "detection of " + shown(data) + " is not one format";
    const std::string own = ownLogFromInput(data);
    if (dlv::detectLogFormat(own) != dlv::LogFormat::Datalog)
        return "an own-format log is read as " + std::string(dlv::logFormatName(dlv::detectLogFormat(own))) + ": " +
               shown(own, 400);
    return {};
}

}  // namespace dlv::fuzzcheck
