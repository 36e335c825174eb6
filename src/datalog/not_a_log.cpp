#include "datalog/not_a_log.h"

#include "datalog/display_text.h"
#include "datalog/log_formats.h"
#include "datalog/number.h"

#include <algorithm>
#include <cstdint>

namespace dlv {

namespace {

[[nodiscard]] bool isControl(unsigned char c) noexcept
{
    return c < 32 && c != '\t' && c != '\r' && c != '\n';
}

// A line of text: valid UTF-8 without a control character, 4 bytes or more
// (programs hold shorter ones between their line-end bytes), or 3 with a
// comma: the names line "A,B" of a log whose values are NUL bytes.
[[nodiscard]] bool isTextLine(std::string_view line) noexcept
{
    const bool long_ = line.size() >= 4 || (line.size() == 3 && line.find(',') != std::string_view::npos);
    if (!long_ || !isValidUtf8(line))
        return false;
    for (const char c : line)
        if (isControl(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// Bytes that are no text: control characters, and bytes of no valid UTF-8
// character (each counted once).
[[nodiscard]] std::size_t noTextBytes(std::string_view bytes) noexcept
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = utf8CharLength(bytes, i);
        if (length == 0 || isControl(static_cast<unsigned char>(bytes[i])))
            ++count;
        i += length == 0 ? 1 : length;
    }
    return count;
}

// Whether the head starts as a log of the own format does: a title line and
// a names line, both text (the title may be empty, the names not), the
// first ended by CR, LF or CR LF. A short log of one parameter ("t", "A")
// has no line long enough to count as text otherwise.
[[nodiscard]] bool startsWithTitleAndNames(std::string_view head) noexcept
{
    const auto textOrEmpty = [](std::string_view line) {
        if (!isValidUtf8(line))
            return false;
        for (const char c : line)
            if (isControl(static_cast<unsigned char>(c)))
                return false;
        return true;
    };
    const std::size_t titleEnd = head.find_first_of("\r\n");
    if (titleEnd == std::string_view::npos)
        return false;
    const std::size_t namesStart =
        titleEnd + (head[titleEnd] == '\r' && titleEnd + 1 < head.size() && head[titleEnd + 1] == '\n' ? 2 : 1);
    const std::size_t namesEnd = std::min(head.find_first_of("\r\n", namesStart), head.size());
    return textOrEmpty(head.substr(0, titleEnd)) && namesEnd > namesStart &&
           textOrEmpty(head.substr(namesStart, namesEnd - namesStart));
}

}  // namespace

std::optional<std::string> notALogReason(std::string_view head)
{
    head = head.substr(0, kNotALogHeadBytes);
    if (head.empty() || detectLogFormat(head) != LogFormat::Datalog || startsWithTitleAndNames(head))
        return std::nullopt;
    const std::size_t noText = noTextBytes(head);
    if (noText * 4 < head.size())
        return std::nullopt;
    // The last line may be cut off by the end of the head; it counts all the same.
    for (std::size_t start = 0; start < head.size();) {
        const std::size_t end = head.find_first_of("\r\n", start);
        const std::size_t stop = end == std::string_view::npos ? head.size() : end;
        if (isTextLine(head.substr(start, stop - start)))
            return std::nullopt;
        start = stop + 1;
    }
    const auto percent = static_cast<std::uint64_t>(noText * 100 / head.size());
    const std::string bytes = (head.size() == kNotALogHeadBytes ? "its first " : "its ") + groupedCount(head.size());
    return "is not a text file: " + std::to_string(percent) + " % of " + bytes +
           " bytes are control characters or not UTF-8, and no line of it is text";
}

}  // namespace dlv
