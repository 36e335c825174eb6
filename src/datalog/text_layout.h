#pragma once

// Where the names, units and data of a text log of another tool are, and
// how its cells read: the pure rules that the detector, the reader, the
// tests and the fuzz checks share. Texts here are UTF-8 (UTF-16 is turned
// into UTF-8 first) without a byte-order mark.

#include "datalog/log_channels.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dlv {

// One line of a text: its bytes without the line end, and where the next
// line starts (past the CR, LF or CR LF that ends this one).
struct TextLine {
    std::string_view text;
    std::size_t next = 0;
};

// The lines of text, at most maxLines of them: each ends at LF, CR or
// CR LF; text after the last line end is a line when not empty. With
// cutShort, text is the start of a longer one, so its last line without a
// line end is left out (it may go on). O(bytes of the lines returned).
[[nodiscard]] std::vector<TextLine> textLines(std::string_view text, std::size_t maxLines, bool cutShort = false);

// The cells of a line between separators, untrimmed; a line has at least
// one (an empty line one empty cell). O(line).
[[nodiscard]] std::vector<std::string_view> lineCells(std::string_view line, char separator);

// Text with spaces around it removed, then one pair of double quotes
// around it, then spaces inside them: what a name or unit cell says.
[[nodiscard]] std::string_view cellText(std::string_view cell) noexcept;

// What a cell holds, after spaces around it: nothing; a number by the
// number rule (Number); a number once its one comma is read as the decimal
// point and it has no point (CommaNumber: "12,5"); an on/off word (see
// wordValue); anything else. O(cell).
enum class CellKind { Empty, Number, CommaNumber, Word, Text };
[[nodiscard]] CellKind cellKind(std::string_view cell) noexcept;

// How many cells of a line are of each kind.
struct CellCounts {
    std::size_t empty = 0;
    std::size_t numbers = 0;       // Number
    std::size_t pointNumbers = 0;  // Number with a decimal point
    std::size_t commaNumbers = 0;  // CommaNumber
    std::size_t words = 0;
    std::size_t texts = 0;
    [[nodiscard]] std::size_t values() const noexcept { return numbers + commaNumbers + words; }
    // A line of data: values in more than half of its filled cells.
    [[nodiscard]] bool mostlyValues() const noexcept { return values() != 0 && values() * 2 > values() + texts; }
    // A line of names: more texts than numbers.
    [[nodiscard]] bool mostlyTexts() const noexcept { return texts != 0 && texts + words > numbers + commaNumbers; }
};
[[nodiscard]] CellCounts countCells(std::span<const std::string_view> cells) noexcept;

// Where a line of names was found in a text's first lines, split by one
// separator: the first line of two or more cells, mostly texts, followed
// by (at most one units line of as many cells, none a number, and then) a
// line of as many cells that are mostly values; of the data lines that
// follow in the lines given (up to 16), more than half have as many cells.
// Indexes count the lines given from 0.
struct NamesLine {
    std::size_t names = 0;
    std::optional<std::size_t> units;
    std::size_t data = 0;
    std::size_t cells = 0;
};
[[nodiscard]] std::optional<NamesLine> findNamesLine(std::span<const TextLine> lines, char separator);

// Whether data lines of a log separated by separator (not a comma) use the
// decimal comma: their cells hold numbers like "12,5" at least as often as
// numbers with a point.
[[nodiscard]] bool usesDecimalComma(std::span<const TextLine> dataLines, char separator);

// How a text log is laid out. Line numbers count the text's lines from 0.
struct TextLayout {
    LogFormat format = LogFormat::Text;
    bool dataLog = false;       // a %DataLog% log: names from its Channel blocks, a time of day first
    char separator = ',';       // ',' ';' or '\t'
    bool spaced = false;        // ", ": a space after each separator of the names line
    bool decimalComma = false;
    bool namesFound = false;    // false: no line fitted, the first one was taken as the names
    std::size_t namesLine = 0;
    std::optional<std::size_t> unitsLine;
    std::size_t dataLine = 0;     // the first line after the names (and units)
    std::size_t dataOffset = 0;   // its byte offset in the text (the text's size when none)
    std::vector<std::string_view> preamble;  // the lines before the names (before the data for %DataLog%)
    std::vector<std::string_view> nameCells; // as written
    std::vector<std::string_view> unitCells; // as written, by channel; may be shorter than the names
};

// The layout of text read as format (Msl or Text). Looks at the first
// kLayoutBytes of text only. Never fails: without a line of names that
// fits, the first line that is not empty is taken as the names.
inline constexpr std::size_t kLayoutBytes = std::size_t{1} << 20;
[[nodiscard]] TextLayout textLayout(std::string_view text, LogFormat format);

// Msl or Text when the start of a text (up to kDetectBytes, cutShort when
// the file goes on) is plainly in one of these formats rather than in the
// own one; nullopt otherwise. O(head).
[[nodiscard]] std::optional<LogFormat> detectTextLayout(std::string_view head, bool cutShort);

// A "Key : value" line of a %DataLog% preamble, both trimmed of spaces;
// nullopt without a ':' or with nothing before it.
struct KeyValue {
    std::string_view key;
    std::string_view value;
};
[[nodiscard]] std::optional<KeyValue> keyValue(std::string_view line) noexcept;

// The name channel `index` (from 0) shows: cellText of its cell with every
// ',' made a ';' (so that it cannot split the own format's names line), or
// "Channel N" (N = index + 1) when empty.
[[nodiscard]] std::string channelName(std::string_view cell, std::size_t index);

// The unit of a channel: its units cell when not empty, otherwise the unit
// in brackets at the end of its name ("Time (msec)", "[rpm]"): a short word
// without spaces. Empty when neither gives one.
[[nodiscard]] std::string channelUnit(std::string_view name, std::string_view unitCell);

// The time channel among names and units: the first named Time (any case),
// or whose name starts "Time " or "Time(", or whose unit is s, sec, ms or
// msec; in milliseconds when its unit or name says ms or msec.
[[nodiscard]] std::optional<TimeChannel> findTimeChannel(std::span<const std::string> names,
                                                         std::span<const std::string> units);

// Seconds of the day of a time of day "hh:mm:ss" or "hh:mm:ss.fff" (spaces
// around allowed), written as a decimal number with the fraction as given:
// "14:15:46.020" gives "51346.020". Written to out, which holds at least
// text.size() bytes; returns the bytes written, 0 when text is no time of
// day. Never longer than text.
[[nodiscard]] std::size_t secondsOfDay(std::string_view text, char* out) noexcept;

}  // namespace dlv
