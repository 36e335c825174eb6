#include "datalog/mlg_header.h"

#include "datalog/display_text.h"
#include "datalog/number.h"

#include <algorithm>

namespace dlv {

namespace {

MlgHeaderParse refusal(std::string why)
{
    return MlgHeaderParse{std::nullopt, std::move(why)};
}

std::string byteAt(std::uint64_t offset)
{
    return "byte " + groupedCount(offset);
}

// A NUL-padded text of a descriptor: its bytes up to the first NUL.
std::string_view padded(std::string_view bytes)
{
    return bytes.substr(0, std::min(bytes.find('\0'), bytes.size()));
}

std::string_view trimEnd(std::string_view text)
{
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

std::string_view trimSpacesAndTabs(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

const unsigned char* at(std::string_view bytes, std::size_t offset)
{
    return reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
}

MlgField readDescriptor(std::string_view d, int version, std::uint32_t offset)
{
    MlgField field;
    field.type = static_cast<MlgType>(static_cast<unsigned char>(d[0]));
    field.offset = offset;
    field.name = std::string(trimEnd(padded(d.substr(1, 34))));
    field.info.unit = displayText(trimSpaces(padded(d.substr(35, 10))));
    const auto style = static_cast<unsigned char>(d[45]);
    field.info.style = style <= static_cast<unsigned char>(ValueStyle::ActiveInactive) ? static_cast<ValueStyle>(style)
                                                                                       : ValueStyle::Number;
    if (isBitField(field.type)) {
        // Bytes 46 on may hold the bits' option names: the raw value is shown whole.
        field.info.style = ValueStyle::Bits;
        field.info.digits = 0;
        return field;
    }
    field.scale = loadBigEndianFloat(at(d, 46));
    field.transform = loadBigEndianFloat(at(d, 50));
    const int digits = static_cast<std::int8_t>(d[54]);
    field.info.digits = digits < 0 ? -1 : std::min(digits, kMlgMaxDigits);
    if (version == 2)
        field.info.category = displayText(trimSpaces(padded(d.substr(55, 34))));
    return field;
}

}  // namespace

MlgHeaderParse parseMlgHeader(std::string_view bytes)
{
    if (bytes.size() < kMlgMagicBytes || bytes.substr(0, kMlgMagicBytes) != std::string_view(kMlgMagic, kMlgMagicBytes))
        return refusal("it does not begin with \"MLVLG\" as MLG logs do");
    if (bytes.size() < 8)
        return refusal("it ends inside its header, after " + std::to_string(bytes.size()) + " bytes");
    MlgHeader header;
    const unsigned version = loadBigEndian<std::uint16_t>(at(bytes, 6));
    if (version != 1 && version != 2)
        return refusal("it is MLG version " + std::to_string(version) + "; versions 1 and 2 are read");
    header.version = static_cast<int>(version);
    const std::size_t headerBytes = mlgHeaderBytes(header.version);
    if (bytes.size() < headerBytes)
        return refusal("it ends inside its header, after " + std::to_string(bytes.size()) + " of its " +
                       std::to_string(headerBytes) + " bytes");
    header.timeStamp = loadBigEndian<std::uint32_t>(at(bytes, 8));
    // Version 2 widened the info offset to 32 bits; everything after it moves by 2.
    const std::size_t wide = header.version == 1 ? 0 : 2;
    header.infoOffset = header.version == 1 ? loadBigEndian<std::uint16_t>(at(bytes, 12))
                                            : loadBigEndian<std::uint32_t>(at(bytes, 12));
    header.dataOffset = loadBigEndian<std::uint32_t>(at(bytes, 14 + wide));
    header.recordLength = loadBigEndian<std::uint16_t>(at(bytes, 18 + wide));
    const std::size_t fieldCount = loadBigEndian<std::uint16_t>(at(bytes, 20 + wide));
    if (header.recordLength == 0)
        return refusal("its record length is 0");

    const std::size_t descriptorBytes = mlgDescriptorBytes(header.version);
    const std::size_t descriptorsEnd = headerBytes + fieldCount * descriptorBytes;
    if (descriptorsEnd > bytes.size())
        return refusal("its header declares " + groupedCount(fieldCount) +
                       " fields, but it ends inside their descriptors (they end at " + byteAt(descriptorsEnd) +
                       ", the file has " + groupedCount(bytes.size()) + " bytes)");
    header.fields.reserve(fieldCount);
    std::uint64_t fieldBytes = 0;
    for (std::size_t i = 0; i < fieldCount; ++i) {
        const std::string_view d = bytes.substr(headerBytes + i * descriptorBytes, descriptorBytes);
        const auto type = static_cast<unsigned char>(d[0]);
        if (mlgTypeSize(type) == 0)
            return refusal("field " + std::to_string(i) + " (" + inQuotes(trimEnd(padded(d.substr(1, 34)))) +
                           ") has type " + std::to_string(type) + ", which is no MLG field type");
        header.fields.push_back(readDescriptor(d, header.version, static_cast<std::uint32_t>(fieldBytes)));
        fieldBytes += mlgTypeSize(type);
    }
    if (fieldBytes != header.recordLength)
        return refusal("its fields take " + groupedCount(fieldBytes) + " bytes a record, but its header says " +
                       groupedCount(header.recordLength));

    if (header.dataOffset < descriptorsEnd)
        return refusal("its data begins at " + byteAt(header.dataOffset) +
                       ", inside its header and field descriptors (which end at " + byteAt(descriptorsEnd) + ")");
    if (header.dataOffset > bytes.size())
        return refusal("its data begins at " + byteAt(header.dataOffset) + ", past its end (" +
                       groupedCount(bytes.size()) + " bytes)");
    if (header.infoOffset != 0) {
        if (header.infoOffset > bytes.size())
            return refusal("its info block begins at " + byteAt(header.infoOffset) + ", past its end (" +
                           groupedCount(bytes.size()) + " bytes)");
        if (header.infoOffset < descriptorsEnd)
            return refusal("its info block begins at " + byteAt(header.infoOffset) +
                           ", inside its header and field descriptors (which end at " + byteAt(descriptorsEnd) +
                           ")");
        if (header.infoOffset > header.dataOffset)
            return refusal("its info block begins at " + byteAt(header.infoOffset) + ", inside its data (from " +
                           byteAt(header.dataOffset) + ")");
        header.info = std::string(padded(bytes.substr(header.infoOffset, header.dataOffset - header.infoOffset)));
    }
    return MlgHeaderParse{std::move(header), {}};
}

MlgInfo parseMlgInfo(std::string_view text)
{
    static constexpr std::string_view kCaptureDate = "capture date:";
    MlgInfo info;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        std::string_view line = trimSpacesAndTabs(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.size() >= 2 && line.front() == '"' && line.back() == '"')
            line = trimSpacesAndTabs(line.substr(1, line.size() - 2));
        if (line.empty())
            continue;
        const bool captureDate =
            line.size() >= kCaptureDate.size() &&
            std::equal(kCaptureDate.begin(), kCaptureDate.end(), line.begin(), [](char want, char c) {
                return want == (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
            });
        if (captureDate && info.captureDate.empty())
            info.captureDate = displayText(trimSpacesAndTabs(line.substr(kCaptureDate.size())));
        else if (info.signature.empty())
            info.signature = displayText(line);
        else
            info.otherLines.push_back(displayText(line));
    }
    return info;
}

}  // namespace dlv
