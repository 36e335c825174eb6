#pragma once

// The fixed part of an MLG ("MLVLG") file, versions 1 and 2: its header,
// field descriptors and info block, read from the file's bytes without
// walking its data blocks. Pure functions; every integer and float in the
// file is big-endian.

#include "datalog/log_channels.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace dlv {

// The type byte of a field descriptor. Bits8/16/32 are bit fields of 1, 2
// and 4 bytes, read as their unsigned raw value.
enum class MlgType : std::uint8_t {
    U08 = 0, S08 = 1, U16 = 2, S16 = 3, U32 = 4, S32 = 5, S64 = 6, F32 = 7,
    Bits8 = 10, Bits16 = 11, Bits32 = 12,
};

// Bytes a field of the type byte takes in a record; 0 for a byte that
// names no type.
[[nodiscard]] constexpr unsigned mlgTypeSize(std::uint8_t type) noexcept
{
    constexpr unsigned kSizes[13] = {1, 1, 2, 2, 4, 4, 8, 4, 0, 0, 1, 2, 4};
    return type < 13 ? kSizes[type] : 0;
}

[[nodiscard]] constexpr bool isBitField(MlgType type) noexcept
{
    return type == MlgType::Bits8 || type == MlgType::Bits16 || type == MlgType::Bits32;
}

// Sizes of the fixed parts, in bytes.
inline constexpr char kMlgMagic[] = "MLVLG";  // and a NUL: 6 bytes
inline constexpr std::size_t kMlgMagicBytes = 6;
inline constexpr std::size_t kMlgBlockHeadBytes = 4;   // type, counter, u16 time stamp
inline constexpr std::size_t kMlgMarkerTextBytes = 50;
// Decimals shown at most, whatever a descriptor asks for: a double holds
// no more than 17 significant digits.
inline constexpr int kMlgMaxDigits = 15;

[[nodiscard]] constexpr std::size_t mlgHeaderBytes(int version) noexcept { return version == 1 ? 22 : 24; }
[[nodiscard]] constexpr std::size_t mlgDescriptorBytes(int version) noexcept { return version == 1 ? 55 : 89; }

// One field of a record.
struct MlgField {
    MlgType type = MlgType::U08;
    std::uint32_t offset = 0;  // of its first byte within a record
    std::string name;          // the descriptor's bytes up to the first NUL, trailing spaces cut; not recoded
    ChannelInfo info;          // unit and category as UTF-8; digits within -1 .. kMlgMaxDigits
    double scale = 1.0;        // the descriptor's F32; 1 for bit fields
    double transform = 0.0;    // the descriptor's F32; 0 for bit fields
};

struct MlgHeader {
    int version = 2;
    std::uint32_t timeStamp = 0;   // Unix seconds; 0 when the writer left it out
    std::size_t infoOffset = 0;    // 0: no info block
    std::size_t dataOffset = 0;    // where the first block begins
    std::uint32_t recordLength = 0;
    std::vector<MlgField> fields;  // in record order
    std::string info;              // the info block's bytes up to the data or its first NUL
};

// The header of bytes, or a refusal in plain words without the file's name
// ("its record length is 0"). Every offset and count is checked against
// bytes.size() before anything is read at it. O(fields). Throws
// std::bad_alloc.
struct MlgHeaderParse {
    std::optional<MlgHeader> header;
    std::string error;
};
[[nodiscard]] MlgHeaderParse parseMlgHeader(std::string_view bytes);

// What the info block says: typically the firmware signature and a
// "Capture Date: ..." line, both quoted. Texts are UTF-8, unquoted and
// trimmed; empty lines are dropped.
struct MlgInfo {
    std::string signature;   // the first line that is not the capture date
    std::string captureDate; // the text after "Capture Date:"
    std::vector<std::string> otherLines;
};
[[nodiscard]] MlgInfo parseMlgInfo(std::string_view text);

// Big-endian loads of a field's bytes; p may be unaligned.
template <class T>
[[nodiscard]] inline T loadBigEndian(const unsigned char* p) noexcept
{
    T value;
    std::memcpy(&value, p, sizeof value);
    if constexpr (std::endian::native == std::endian::little && sizeof(T) == 2)
        value = static_cast<T>(__builtin_bswap16(static_cast<std::uint16_t>(value)));
    else if constexpr (std::endian::native == std::endian::little && sizeof(T) == 4)
        value = static_cast<T>(__builtin_bswap32(static_cast<std::uint32_t>(value)));
    else if constexpr (std::endian::native == std::endian::little && sizeof(T) == 8)
        value = static_cast<T>(__builtin_bswap64(static_cast<std::uint64_t>(value)));
    return value;
}

[[nodiscard]] inline float loadBigEndianFloat(const unsigned char* p) noexcept
{
    return std::bit_cast<float>(loadBigEndian<std::uint32_t>(p));
}

// The raw value of a field of type T at p, as a double (an S64 beyond 2^53
// rounded to the nearest double).
template <MlgType T>
[[nodiscard]] inline double mlgRaw(const unsigned char* p) noexcept
{
    if constexpr (T == MlgType::U08 || T == MlgType::Bits8)
        return p[0];
    else if constexpr (T == MlgType::S08)
        return static_cast<std::int8_t>(p[0]);
    else if constexpr (T == MlgType::U16 || T == MlgType::Bits16)
        return loadBigEndian<std::uint16_t>(p);
    else if constexpr (T == MlgType::S16)
        return static_cast<std::int16_t>(loadBigEndian<std::uint16_t>(p));
    else if constexpr (T == MlgType::U32 || T == MlgType::Bits32)
        return loadBigEndian<std::uint32_t>(p);
    else if constexpr (T == MlgType::S32)
        return static_cast<std::int32_t>(loadBigEndian<std::uint32_t>(p));
    else if constexpr (T == MlgType::S64)
        return static_cast<double>(static_cast<std::int64_t>(loadBigEndian<std::uint64_t>(p)));
    else
        return loadBigEndianFloat(p);
}

// Calls f(std::integral_constant<MlgType, T>{}) for the field's type, so that
// a loop over many takes is built once per type.
template <class F>
decltype(auto) visitMlgType(MlgType type, F&& f)
{
    switch (type) {
    case MlgType::U08: return f(std::integral_constant<MlgType, MlgType::U08>{});
    case MlgType::S08: return f(std::integral_constant<MlgType, MlgType::S08>{});
    case MlgType::U16: return f(std::integral_constant<MlgType, MlgType::U16>{});
    case MlgType::S16: return f(std::integral_constant<MlgType, MlgType::S16>{});
    case MlgType::U32: return f(std::integral_constant<MlgType, MlgType::U32>{});
    case MlgType::S32: return f(std::integral_constant<MlgType, MlgType::S32>{});
    case MlgType::S64: return f(std::integral_constant<MlgType, MlgType::S64>{});
    case MlgType::F32: return f(std::integral_constant<MlgType, MlgType::F32>{});
    case MlgType::Bits8: return f(std::integral_constant<MlgType, MlgType::Bits8>{});
    case MlgType::Bits16: return f(std::integral_constant<MlgType, MlgType::Bits16>{});
    case MlgType::Bits32: break;
    }
    return f(std::integral_constant<MlgType, MlgType::Bits32>{});
}

// The number a field stands for with its raw value: raw for a bit field,
// otherwise (raw + transform) * scale in double.
[[nodiscard]] inline double mlgScaled(const MlgField& field, double raw) noexcept
{
    return isBitField(field.type) ? raw : (raw + field.transform) * field.scale;
}

// A number as a channel's number: quiet NaN (no number) when it is not
// finite, as the own format's number rule has no infinite numbers.
[[nodiscard]] inline double finiteOrNoNumber(double value) noexcept
{
    return std::isfinite(value) ? value : std::numeric_limits<double>::quiet_NaN();
}

// mlgScaled as a channel's number.
[[nodiscard]] inline double mlgValue(const MlgField& field, double raw) noexcept
{
    return finiteOrNoNumber(mlgScaled(field, raw));
}

// mlgValue of a field of type T read at p, its factors copied out of the
// field: a loop over many records keeps them in registers, where its stores
// of doubles might otherwise be taken to change field.scale. O(1).
template <MlgType T>
struct MlgDecoder {
    double transform = 0.0;
    double scale = 1.0;

    explicit MlgDecoder(const MlgField& field) noexcept : transform(field.transform), scale(field.scale) {}

    [[nodiscard]] double operator()(const unsigned char* p) const noexcept
    {
        if constexpr (isBitField(T))
            return mlgRaw<T>(p);
        else
            return finiteOrNoNumber((mlgRaw<T>(p) + transform) * scale);
    }
};

}  // namespace dlv
