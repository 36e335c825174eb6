#include "datalog/mlg_field_loops.h"

#include "datalog/wide_instructions.h"

#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>

#if defined(DLV_WIDE_INSTRUCTIONS)
#include <immintrin.h>
#endif

namespace dlv {

namespace {

template <MlgType T, class RecordAt>
void decodeEach(const MlgField& field, std::size_t from, std::size_t n, double* out, RecordAt&& recordAt) noexcept
{
    const MlgDecoder<T> decode(field);
    const std::uint32_t offset = field.offset;
    for (std::size_t i = from; i < n; ++i)
        out[i] = decode(recordAt(i) + offset);
}

#if defined(DLV_WIDE_INSTRUCTIONS)

// Where each byte of a gathered 32-bit word goes so that the lane holds the
// field's value: MLG is big-endian, and a signed field of 1 or 2 bytes is
// put at the top of its lane, to be shifted down with its sign. A shuffle
// of AVX2 works within each 16 bytes.
template <MlgType T>
constexpr std::array<char, 32> byteOrder() noexcept
{
    constexpr char kNone = static_cast<char>(0x80);
    std::array<char, 4> order{};
    if constexpr (T == MlgType::U08 || T == MlgType::Bits8)
        order = {0, kNone, kNone, kNone};
    else if constexpr (T == MlgType::S08)
        order = {kNone, kNone, kNone, 0};
    else if constexpr (T == MlgType::U16 || T == MlgType::Bits16)
        order = {1, 0, kNone, kNone};
    else if constexpr (T == MlgType::S16)
        order = {kNone, kNone, 1, 0};
    else
        order = {3, 2, 1, 0};
    std::array<char, 32> lanes{};
    for (std::size_t k = 0; k < lanes.size(); ++k) {
        const char byte = order[k % 4];
        lanes[k] = byte == kNone ? kNone : static_cast<char>(byte + (k % 16) / 4 * 4);
    }
    return lanes;
}

template <MlgType T>
constexpr std::array<char, 32> kByteOrder = byteOrder<T>();

// Four raw values as numbers: (raw + transform) * scale, NaN where that
// is not finite; bit fields stay raw. As MlgDecoder does, in the same order.
template <MlgType T>
DLV_WIDE_INSTRUCTIONS inline __m256d scaled(__m256d raw, __m256d transform, __m256d scale) noexcept
{
    if constexpr (isBitField(T)) {
        return raw;
    } else {
        const __m256d value = _mm256_mul_pd(_mm256_add_pd(raw, transform), scale);
        const __m256d magnitude = _mm256_andnot_pd(_mm256_set1_pd(-0.0), value);
        const __m256d finite = _mm256_cmp_pd(magnitude, _mm256_set1_pd(std::numeric_limits<double>::infinity()),
                                             _CMP_LT_OQ);
        return _mm256_blendv_pd(_mm256_set1_pd(std::numeric_limits<double>::quiet_NaN()), value, finite);
    }
}

// An unsigned 32-bit lane read as signed is 2^32 too low when its top bit is set.
DLV_WIDE_INSTRUCTIONS inline __m256d unsignedOf(__m256d asSigned) noexcept
{
    const __m256d negative = _mm256_cmp_pd(asSigned, _mm256_setzero_pd(), _CMP_LT_OQ);
    return _mm256_add_pd(asSigned, _mm256_and_pd(negative, _mm256_set1_pd(4294967296.0)));
}

// The fields of eight records, apart[k] bytes after at for record k, as numbers.
template <MlgType T>
DLV_WIDE_INSTRUCTIONS inline void decodeEight(const unsigned char* at, __m256i apart, const MlgField& field,
                                              double* out) noexcept
{
    const __m256i order = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kByteOrder<T>.data()));
    const __m256d transform = _mm256_set1_pd(field.transform);
    const __m256d scale = _mm256_set1_pd(field.scale);
    __m256i lanes = _mm256_shuffle_epi8(_mm256_i32gather_epi32(reinterpret_cast<const int*>(at), apart, 1), order);
    if constexpr (T == MlgType::S08)
        lanes = _mm256_srai_epi32(lanes, 24);
    else if constexpr (T == MlgType::S16)
        lanes = _mm256_srai_epi32(lanes, 16);
    __m256d low;
    __m256d high;
    if constexpr (T == MlgType::F32) {
        const __m256 floats = _mm256_castsi256_ps(lanes);
        low = _mm256_cvtps_pd(_mm256_castps256_ps128(floats));
        high = _mm256_cvtps_pd(_mm256_extractf128_ps(floats, 1));
    } else {
        low = _mm256_cvtepi32_pd(_mm256_castsi256_si128(lanes));
        high = _mm256_cvtepi32_pd(_mm256_extracti128_si256(lanes, 1));
        if constexpr (T == MlgType::U32 || T == MlgType::Bits32) {
            low = unsignedOf(low);
            high = unsignedOf(high);
        }
    }
    _mm256_storeu_pd(out, scaled<T>(low, transform, scale));
    _mm256_storeu_pd(out + 4, scaled<T>(high, transform, scale));
}

template <MlgType T>
DLV_WIDE_INSTRUCTIONS void decodeWide(const MlgField& field, const unsigned char* first, std::size_t stride,
                                      std::size_t n, double* out) noexcept
{
    const __m256i apart = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                             _mm256_set1_epi32(static_cast<int>(stride)));
    const unsigned char* at = first + field.offset;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8, at += 8 * stride)
        decodeEight<T>(at, apart, field, out + i);
    decodeEach<T>(field, i, n, out, [first, stride](std::size_t k) { return first + k * stride; });
}

#endif

}  // namespace

void decodeEvenlySpaced(const MlgField& field, const unsigned char* first, std::size_t stride, std::size_t n,
                        double* out) noexcept
{
    visitMlgType(field.type, [&](auto type) {
        constexpr MlgType T = decltype(type)::value;
#if defined(DLV_WIDE_INSTRUCTIONS)
        // An S64 does not fit a 32-bit lane; the gather's offsets must fit one.
        if constexpr (T != MlgType::S64)
            if (stride <= INT_MAX / 8 && useWideInstructions()) {
                decodeWide<T>(field, first, stride, n, out);
                return;
            }
#endif
        decodeEach<T>(field, 0, n, out, [first, stride](std::size_t i) { return first + i * stride; });
    });
}

void decodeScattered(const MlgField& field, const unsigned char* const* records, std::size_t n, double* out) noexcept
{
    visitMlgType(field.type, [&](auto type) {
        decodeEach<decltype(type)::value>(field, 0, n, out, [records](std::size_t i) { return records[i]; });
    });
}

}  // namespace dlv
