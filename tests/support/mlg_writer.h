#pragma once

// A small writer of MLG ("MLVLG") logs, versions 1 and 2, for tests: written
// from the format's description alone, sharing nothing with the reader, so
// that a misreading of the format on one side shows up on the other.
// Everything big-endian. Parts of the header can be overridden to write
// broken files.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace dlvtest {

// Type bytes of a field descriptor.
enum MlgTypeByte : std::uint8_t {
    kU08 = 0, kS08 = 1, kU16 = 2, kS16 = 3, kU32 = 4, kS32 = 5, kS64 = 6, kF32 = 7,
    kBits8 = 10, kBits16 = 11, kBits32 = 12,
};

inline int mlgFieldBytes(std::uint8_t type)
{
    switch (type) {
    case kU08: case kS08: case kBits8: return 1;
    case kU16: case kS16: case kBits16: return 2;
    case kU32: case kS32: case kF32: case kBits32: return 4;
    case kS64: return 8;
    default: return 0;
    }
}

struct MlgFieldSpec {
    MlgFieldSpec(std::uint8_t type_, std::string name_, std::string unit_ = {}, std::uint8_t style_ = 0,
                 float scale_ = 1.0f, float transform_ = 0.0f, std::int8_t digits_ = 0, std::string category_ = {})
        : type(type_), name(std::move(name_)), unit(std::move(unit_)), style(style_), scale(scale_),
          transform(transform_), digits(digits_), category(std::move(category_))
    {
    }
    std::uint8_t type;
    std::string name;
    std::string unit;
    std::uint8_t style;  // 0 float, 1 hex, 2 bits, 3 date, 4 on/off, 5 yes/no, 6 high/low, 7 active/inactive
    float scale;
    float transform;
    std::int8_t digits;
    std::string category;  // version 2 only
};

class MlgWriter {
public:
    MlgWriter(int version, std::vector<MlgFieldSpec> fields) : m_version(version), m_fields(std::move(fields)) {}

    MlgWriter& info(std::string text) { m_info = std::move(text); return *this; }
    MlgWriter& timeStamp(std::uint32_t seconds) { m_timeStamp = seconds; return *this; }

    // One data block: values[i] written as field i's type (integers
    // truncated toward zero, F32 as the nearest float).
    MlgWriter& record(const std::vector<double>& values)
    {
        std::string fields;
        for (std::size_t i = 0; i < m_fields.size(); ++i)
            fields += encode(m_fields[i].type, i < values.size() ? values[i] : 0.0);
        return recordBytes(fields);
    }
    // One data block of the given field bytes; checksumDelta added to the
    // right checksum (not 0: a checksum that does not match).
    MlgWriter& recordBytes(const std::string& fields, int checksumDelta = 0)
    {
        unsigned sum = 0;
        for (const char c : fields)
            sum += static_cast<unsigned char>(c);
        std::string block = blockHead(0) + fields;
        block.push_back(static_cast<char>((sum + static_cast<unsigned>(checksumDelta)) & 0xFF));
        m_blocks += block;
        return *this;
    }
    MlgWriter& marker(const std::string& text)
    {
        std::string padded = text.substr(0, 50);
        padded.resize(50, '\0');
        m_blocks += blockHead(1) + padded;
        return *this;
    }
    // Any bytes after the blocks written so far.
    MlgWriter& raw(const std::string& bytes) { m_blocks += bytes; return *this; }

    // Header values written in place of the right ones.
    std::optional<std::uint32_t> recordLength, fieldCount, dataOffset, infoOffset, version;

    [[nodiscard]] int headerBytes() const { return m_version == 1 ? 22 : 24; }
    [[nodiscard]] int descriptorBytes() const { return m_version == 1 ? 55 : 89; }
    [[nodiscard]] int rightRecordLength() const
    {
        int bytes = 0;
        for (const MlgFieldSpec& f : m_fields)
            bytes += mlgFieldBytes(f.type);
        return bytes;
    }
    // Where the info block and the data begin when nothing is overridden.
    [[nodiscard]] std::size_t rightInfoOffset() const
    {
        return static_cast<std::size_t>(headerBytes()) + m_fields.size() * static_cast<std::size_t>(descriptorBytes());
    }
    [[nodiscard]] std::size_t rightDataOffset() const { return rightInfoOffset() + m_info.size(); }

    [[nodiscard]] std::string bytes() const
    {
        std::string out("MLVLG", 5);
        out.push_back('\0');
        put(out, version.value_or(static_cast<std::uint32_t>(m_version)), 2);
        put(out, m_timeStamp, 4);
        put(out, infoOffset.value_or(static_cast<std::uint32_t>(rightInfoOffset())), m_version == 1 ? 2 : 4);
        put(out, dataOffset.value_or(static_cast<std::uint32_t>(rightDataOffset())), 4);
        put(out, recordLength.value_or(static_cast<std::uint32_t>(rightRecordLength())), 2);
        put(out, fieldCount.value_or(static_cast<std::uint32_t>(m_fields.size())), 2);
        for (const MlgFieldSpec& f : m_fields) {
            out.push_back(static_cast<char>(f.type));
            out += padded(f.name, 34);
            out += padded(f.unit, 10);
            out.push_back(static_cast<char>(f.style));
            putFloat(out, f.scale);
            putFloat(out, f.transform);
            out.push_back(static_cast<char>(f.digits));
            if (m_version == 2)
                out += padded(f.category, 34);
        }
        return out + m_info + m_blocks;
    }

    // Big-endian bytes of value as a field of the type.
    static std::string encode(std::uint8_t type, double value)
    {
        std::string out;
        if (type == kF32) {
            putFloat(out, static_cast<float>(value));
        } else if (type == kS64) {
            put(out, static_cast<std::uint64_t>(static_cast<std::int64_t>(value)), 8);
        } else {
            // Negative values as their two's complement in the field's width.
            const auto whole = static_cast<std::int64_t>(value);
            put(out, static_cast<std::uint64_t>(whole), mlgFieldBytes(type));
        }
        return out;
    }

private:
    std::string blockHead(int type)
    {
        std::string head;
        head.push_back(static_cast<char>(type));
        head.push_back(static_cast<char>(m_counter++));
        put(head, static_cast<std::uint32_t>(m_blockTicks += 100), 2);
        return head;
    }
    static void put(std::string& out, std::uint64_t value, int bytes)
    {
        for (int i = bytes - 1; i >= 0; --i)
            out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
    static void putFloat(std::string& out, float value)
    {
        std::uint32_t bits;
        std::memcpy(&bits, &value, 4);
        put(out, bits, 4);
    }
    static std::string padded(std::string text, std::size_t bytes)
    {
        text.resize(bytes, '\0');
        return text;
    }

    int m_version;
    std::vector<MlgFieldSpec> m_fields;
    std::string m_info;
    std::string m_blocks;
    std::uint32_t m_timeStamp = 0;
    unsigned m_counter = 0;
    std::uint32_t m_blockTicks = 0;
};

}  // namespace dlvtest
