#include "datalog/text_log.h"

#include "datalog/byte_buffer.h"
#include "datalog/display_text.h"
#include "datalog/log_formats.h"
#include "datalog/number.h"
#include "datalog/text_convert.h"
#include "datalog/text_encoding.h"
#include "datalog/text_layout.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace dlv {

namespace {

// Preamble lines shown in a log's details are cut to this many bytes.
constexpr std::size_t kShownPreambleBytes = 200;

ReadResult failure(std::string message)
{
    ReadResult result;
    result.error = std::move(message);
    return result;
}

std::string memoryFailure(std::string_view name, std::size_t bytes)
{
    return "Cannot read " + inQuotes(name) + ": not enough memory to convert a log of " +
           groupedCount((bytes + (1 << 20) - 1) >> 20) + " MB";
}

[[nodiscard]] std::string separatorName(char separator, bool spaced)
{
    if (separator == '\t')
        return "TAB";
    return spaced ? "', '" : std::string("'") + separator + "'";
}

[[nodiscard]] std::string countOf(std::uint64_t n, std::string_view one, std::string_view many)
{
    return groupedCount(n) + " " + std::string(n == 1 ? one : many);
}

[[nodiscard]] std::string shownLine(std::string_view line)
{
    return shownText(line, {.maxChars = kShownPreambleBytes});
}

// What the header of a text log says, copied out of its bytes before they
// are overwritten.
struct Header {
    std::string title;
    std::vector<std::string> names;
    std::vector<std::string> units;
    LogDetails details;
};

// The MSL preamble: the firmware signature, the capture date, notes.
void readMslPreamble(const TextLayout& layout, LogDetails& details)
{
    constexpr std::string_view kCaptureDate = "Capture Date:";
    for (const std::string_view raw : layout.preamble) {
        const std::string_view line = cellText(raw);
        if (line.empty())
            continue;
        if (line.substr(0, kCaptureDate.size()) == kCaptureDate) {
            details.captureDate = displayText(trimSpaces(line.substr(kCaptureDate.size())));
        } else if (line.front() == '#') {
            details.more.emplace_back("Note", shownLine(trimSpaces(line.substr(1))));
        } else if (details.signature.empty()) {
            details.signature = displayText(line);
        } else {
            details.more.emplace_back("Preamble", shownLine(line));
        }
    }
}

// The %DataLog% preamble: its "Key : value" lines as they are.
void readDataLogPreamble(const TextLayout& layout, LogDetails& details)
{
    for (std::size_t i = 1; i < layout.preamble.size(); ++i) {
        if (const std::optional<KeyValue> entry = keyValue(layout.preamble[i]))
            details.more.emplace_back(displayText(entry->key), shownLine(entry->value));
        else if (!trimSpaces(layout.preamble[i]).empty())
            details.more.emplace_back("Line " + groupedCount(i + 1), shownLine(layout.preamble[i]));
    }
    details.more.emplace_back("Time", "the time of day of each record, as seconds since midnight");
    details.more.emplace_back("Values", "raw, as written: the scale of each channel's Type is not known");
}

Header readHeader(const TextLayout& layout, TextEncoding encoding)
{
    Header header;
    for (std::size_t k = 0; k < layout.nameCells.size(); ++k) {
        header.names.push_back(channelName(layout.nameCells[k], k));
        header.units.push_back(channelUnit(layout.nameCells[k],
                                           k < layout.unitCells.size() ? layout.unitCells[k] : std::string_view()));
    }
    LogDetails& details = header.details;
    details.format = layout.format;
    details.formatName = layout.format == LogFormat::Msl ? "MSL" : "text";
    if (layout.format == LogFormat::Msl) {
        readMslPreamble(layout, details);
        details.more.emplace_back("Separator", "TAB");
        details.more.emplace_back("Names row", "line " + groupedCount(layout.namesLine + 1));
        if (layout.unitsLine)
            details.more.emplace_back("Units row", "line " + groupedCount(*layout.unitsLine + 1));
    } else if (layout.dataLog) {
        readDataLogPreamble(layout, details);
    } else {
        details.more.emplace_back("Separator", separatorName(layout.separator, layout.spaced));
        details.more.emplace_back("Decimal mark", layout.decimalComma ? "comma" : "point");
        details.more.emplace_back("Names line", groupedCount(layout.namesLine + 1));
        if (layout.unitsLine)
            details.more.emplace_back("Units line", groupedCount(*layout.unitsLine + 1));
        for (std::size_t i = 0; i < layout.preamble.size(); ++i)
            details.more.emplace_back("Line " + groupedCount(i + 1), shownLine(layout.preamble[i]));
    }
    details.more.emplace_back("Encoding", std::string(encodingName(encoding)));
    const std::string_view firstLine = layout.preamble.empty() ? std::string_view() : cellText(layout.preamble[0]);
    header.title = firstLine.empty() ? details.formatName : std::string(firstLine);
    return header;
}

std::string summaryOf(const TextLayout& layout, TextEncoding encoding, std::size_t channels, std::uint64_t records,
                      std::size_t markers)
{
    if (layout.format == LogFormat::Msl) {
        std::string summary = "MSL, " + countOf(channels, "channel", "channels") + ", " +
                              countOf(records, "record", "records");
        if (markers != 0)
            summary += ", " + countOf(markers, "marker", "markers");
        return summary;
    }
    std::string summary = "text: ";
    if (layout.dataLog) {
        summary += "%DataLog%, " + countOf(channels, "channel", "channels") + ", raw values";
    } else {
        summary += separatorName(layout.separator, layout.spaced) + "-separated, decimal " +
                   (layout.decimalComma ? "comma" : "point") + ", names on line " + groupedCount(layout.namesLine + 1);
        if (layout.unitsLine)
            summary += ", units on line " + groupedCount(*layout.unitsLine + 1);
    }
    if (isUtf16(encoding))
        summary += ", UTF-16";
    return summary;
}

// The text log's lines from 1 on, for messages: line of take t and of the
// dropped rows, counted from the first data line.
class SourceLines {
public:
    SourceLines(std::size_t dataLine, const std::vector<DroppedRow>& dropped) : m_dataLine(dataLine), m_dropped(dropped) {}
    [[nodiscard]] std::uint64_t ofTake(std::uint64_t take) const
    {
        const auto before = std::upper_bound(m_dropped.begin(), m_dropped.end(), take,
                                             [](std::uint64_t t, const DroppedRow& row) { return t < row.take; });
        return m_dataLine + 1 + take + static_cast<std::uint64_t>(before - m_dropped.begin());
    }
    [[nodiscard]] std::uint64_t ofDropped(std::size_t index) const { return m_dataLine + 1 + m_dropped[index].take + index; }

private:
    std::size_t m_dataLine;
    const std::vector<DroppedRow>& m_dropped;
};

[[nodiscard]] bool isControl(char byte) noexcept
{
    const auto c = static_cast<unsigned char>(byte);
    return c < 32 && c != '\t' && c != '\r' && c != '\n';
}

// Where the first control byte is, in the text log's own line numbers.
std::string firstControlPlace(const TakeStore& store, const Header& header, const TextLayout& layout,
                              const SourceLines& lines)
{
    for (const std::string& name : header.names)
        if (std::any_of(name.begin(), name.end(), isControl))
            return "the names line (line " + groupedCount(layout.namesLine + 1) + ")";
    for (int t = 0; t < store.takeCount(); ++t) {
        const std::string_view line = store.DataLines(t);
        if (std::any_of(line.begin(), line.end(), isControl))
            return "line " + groupedCount(lines.ofTake(static_cast<std::uint64_t>(t)));
    }
    return "the log";
}

// The warnings of a text log: the store's, told in the text log's terms,
// and the rows left out. The store's names line is the one written for
// it, so what it says of separators in the names does not apply.
std::vector<ReadWarning> textWarnings(const ReadResult& read, const Header& header, const TextLayout& layout,
                                      const RowsOutcome& rows)
{
    const SourceLines lines(layout.dataLine, rows.dropped);
    std::vector<ReadWarning> warnings;
    for (const ReadWarning& w : read.warnings) {
        switch (w.kind) {
        case ReadWarning::Kind::ControlBytes:
            warnings.push_back({w.kind, w.count,
                                groupedCount(w.count) + (w.count == 1 ? " byte is NUL" : " bytes are NUL") +
                                    " or another control character (the first in " +
                                    firstControlPlace(*read.store, header, layout, lines) + ")"});
            break;
        case ReadWarning::Kind::FewerFieldsThanNames:
        case ReadWarning::Kind::MoreFieldsThanNames:
            warnings.push_back({w.kind, w.count,
                                countOf(w.count, "row has ", "rows have ") +
                                    (w.kind == ReadWarning::Kind::FewerFieldsThanNames ? "fewer" : "more") +
                                    " cells than there are names"});
            break;
        default:
            break;
        }
    }
    std::uint64_t odd = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < rows.dropped.size(); ++i)
        if (rows.dropped[i].kind == DroppedRow::Kind::Odd && odd++ == 0)
            first = i;
    if (odd != 0) {
        const std::string what = layout.format == LogFormat::Msl
                                     ? (odd == 1 ? " is neither a record nor a marker" : " are neither records nor markers")
                                     : (odd == 1 ? " holds no value" : " hold no value");
        warnings.push_back({ReadWarning::Kind::OddRows, odd,
                            countOf(odd, "row", "rows") + what + " and " + (odd == 1 ? "is" : "are") +
                                " left out (the first on line " + groupedCount(lines.ofDropped(first)) + ")"});
    }
    return warnings;
}

// UTF-16 bytes as UTF-8 in a buffer of their own; the UTF-16 ones given back.
std::unique_ptr<ByteBuffer> transcoded(std::unique_ptr<ByteBuffer> buffer, std::size_t& size, TextEncoding encoding)
{
    const std::string_view bytes(buffer->data(), size);
    const std::size_t mark = byteOrderMarkBytes(bytes, encoding);
    std::unique_ptr<ByteBuffer> text = ByteBuffer::reserve(utf8BytesOfUtf16(size - mark));
    if (!text)
        return nullptr;
    size = utf16ToUtf8(bytes.substr(mark), encoding == TextEncoding::Utf16Be, text->data());
    return text;
}

ReadResult readText(std::unique_ptr<ByteBuffer> buffer, std::size_t size, std::string_view name, LogFormat format)
{
    if (!buffer)
        return failure(memoryFailure(name, size));
    const TextEncoding encoding = textEncoding(std::string_view(buffer->data(), size));
    if (isUtf16(encoding)) {
        buffer = transcoded(std::move(buffer), size, encoding);
        if (!buffer)
            return failure(memoryFailure(name, size));
    }
    const std::size_t mark = encoding == TextEncoding::Utf8WithMark ? byteOrderMarkBytes({buffer->data(), size}, encoding) : 0;
    const std::string_view text(buffer->data() + mark, size - mark);
    const TextLayout layout = textLayout(text, format);
    if (layout.nameCells.empty() || (layout.nameCells.size() == 1 && trimSpaces(layout.nameCells[0]).empty() &&
                                     !layout.namesFound))
        return failure(inQuotes(name) + " is not a " + std::string(format == LogFormat::Msl ? "MSL" : "text") +
                       " log: it has no line of names");

    Header header = readHeader(layout, encoding);
    std::string lines = "\n";
    for (std::size_t k = 0; k < header.names.size(); ++k)
        lines += (k ? "," : "") + header.names[k];
    lines += "\n";

    // The takes stay where they are when the new title and names fit where
    // the old header was (the title padded or cut short), or in the room
    // the buffer has before its start; otherwise they move to a new
    // buffer, the old one given back as they go.
    std::size_t dataBegin = mark + layout.dataOffset;
    std::string title = header.title;
    const std::size_t headBytes = title.size() + lines.size();
    if (headBytes > dataBegin && buffer->growFront(headBytes - dataBegin)) {
        size += headBytes - dataBegin;
        dataBegin = headBytes;
    } else if (headBytes > dataBegin && lines.size() <= dataBegin) {
        title.resize(dataBegin - lines.size());
    }
    const std::size_t dataBytes = size - dataBegin;
    const bool inPlace = title.size() + lines.size() <= dataBegin;
    if (inPlace)
        title.resize(dataBegin - lines.size(), ' ');
    // A title is one line whatever the preamble held.
    std::replace_if(title.begin(), title.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    const std::string head = title + lines;

    RowRules rules;
    rules.separator = layout.separator;
    rules.commaTo = layout.separator == ',' ? ',' : layout.decimalComma ? '.' : ';';
    rules.markerRows = layout.format == LogFormat::Msl;
    rules.timeOfDay = layout.dataLog;
    rules.columns = header.names.size();
    RowsOutcome rows;
    std::unique_ptr<ByteBuffer> out;
    std::size_t outSize = 0;
    if (inPlace) {
        char* bytes = buffer->data();
        outSize = dataBegin + convertRows(bytes + dataBegin, bytes + dataBegin, dataBytes, rules, rows);
        std::memcpy(bytes, head.data(), head.size());
        out = std::move(buffer);
    } else {
        out = ByteBuffer::reserve(head.size() + dataBytes);
        if (!out)
            return failure(memoryFailure(name, size));
        std::memcpy(out->data(), head.data(), head.size());
        outSize = head.size() + convertRows(buffer->data() + dataBegin, out->data() + head.size(), dataBytes, rules,
                                            rows, buffer.get(), dataBegin);
        buffer.reset();
    }

    ReadResult read = readDataLogBuffer(std::move(out), outSize, name);
    if (!read.store)
        return read;

    StoreChannels::Extras extras;
    for (const std::string& unit : header.units)
        extras.channels.push_back(ChannelInfo{unit, {}, -1, ValueStyle::Number});
    extras.time = findTimeChannel(header.names, header.units);
    for (std::size_t c = 0; c < rows.words.size(); ++c)
        if (rows.words[c])
            extras.wordChannels.push_back(static_cast<long long>(c));
    extras.details = std::move(header.details);
    extras.details.summary = summaryOf(layout, encoding, header.names.size(),
                                       static_cast<std::uint64_t>(read.store->takeCount()), rows.markers.size());
    extras.markers = std::move(rows.markers);

    ReadResult result;
    result.warnings = textWarnings(read, header, layout, rows);
    result.store = read.store;
    result.log = std::make_shared<StoreChannels>(read.store, std::move(extras));
    return result;
}

}  // namespace

std::optional<LogFormat> detectTextFormat(std::string_view head) noexcept
{
    try {
        head = head.substr(0, kDetectBytes);
        const bool cutShort = head.size() >= kDetectBytes;
        const TextEncoding encoding = textEncoding(head);
        const std::size_t mark = byteOrderMarkBytes(head, encoding);
        if (isUtf16(encoding)) {
            const std::string text = utf16ToUtf8(head.substr(mark), encoding == TextEncoding::Utf16Be);
            return detectTextLayout(text, cutShort) == LogFormat::Msl ? LogFormat::Msl : LogFormat::Text;
        }
        return detectTextLayout(head.substr(mark), cutShort);
    } catch (...) {
        return std::nullopt;  // no memory for a look at the head: the own format reads it
    }
}

ReadResult readTextLogBuffer(std::unique_ptr<ByteBuffer> buffer, std::size_t size, std::string_view displayName,
                             LogFormat format) noexcept
{
    try {
        return readText(std::move(buffer), size, displayName, format);
    } catch (const std::bad_alloc&) {
        return failure(memoryFailure(displayName, size));
    } catch (const std::exception& e) {
        return failure("Cannot read " + inQuotes(displayName) + ": " + e.what());
    }
}

}  // namespace dlv
