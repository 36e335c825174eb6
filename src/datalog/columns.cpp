#include "datalog/columns.h"

#include "datalog/bits.h"
#include "datalog/byte_buffer.h"
#include "datalog/comma_mask.h"
#include "datalog/huge_pages.h"
#include "datalog/number.h"
#include "datalog/own_log_stream.h"
#include "datalog/parallel.h"
#include "datalog/take_store.h"
#include "datalog/wide_instructions.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <barrier>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(DLV_WIDE_INSTRUCTIONS)
#include <immintrin.h>
#endif

#include <sys/mman.h>

namespace dlv {

namespace {

constexpr double kNoNumber = std::numeric_limits<double>::quiet_NaN();

// Byte-wise constant of a word: 0x01 in every byte.
template <class Word>
constexpr Word kEachByte = static_cast<Word>(~Word{0} / 0xFF);

// The first n bytes (1 to the word's size) of a word, the rest cleared.
template <class Word>
[[nodiscard]] [[gnu::always_inline]] inline Word firstBytes(std::size_t n) noexcept
{
    return static_cast<Word>(~Word{0} >> (8 * (sizeof(Word) - n)));
}

// The digits of a word (four or eight bytes) whose first n bytes are
// digits less '0', first digit in the lowest byte, as a whole number:
// shifted up so that the missing leading digits are zeros, then combined
// pairwise.
template <class Word>
[[nodiscard]] [[gnu::always_inline]] inline Word digitsValue(Word d, std::size_t n) noexcept
{
    Word v = static_cast<Word>((d & firstBytes<Word>(n)) << (8 * (sizeof(Word) - n)));
    v = static_cast<Word>(((v & kEachByte<Word> * 0x0F) * 2561) >> 8);
    v = static_cast<Word>(((v & static_cast<Word>(~Word{0} / 0x0101)) * 6553601) >> 16);
    if constexpr (sizeof(Word) == 8)
        v = ((v & 0x0000FFFF0000FFFFu) * 42949672960001u) >> 32;
    return v;
}

// High bit of each of the first bytes of mask that is not a digit, given
// d, the bytes less '0': a digit gives below 10. A byte below '0' borrows
// and so has its high bit set, as has one of 10 or more once 0x76 is added;
// bytes after a borrowing one may be misjudged, but the lowest non-digit is
// always told right, which is all the callers need.
template <class Word>
[[nodiscard]] [[gnu::always_inline]] inline Word notDigits(Word d, Word mask) noexcept
{
    return static_cast<Word>((d | (d + kEachByte<Word> * 0x76)) & (kEachByte<Word> * 0x80) & mask);
}

// A whole number of 2^52 or less, exact: made from its bits rather than by
// the int-to-double instruction, which keeps the register's upper half and
// so waits for the instruction before it that wrote the register (a
// previous number's division), chaining the numbers of a pass.
[[nodiscard]] [[gnu::always_inline]] inline double exactWhole(std::uint64_t v) noexcept
{
    return std::bit_cast<double>(v | 0x4330000000000000u) - 0x1p52;
}

// The number rule's short shape in a word: the n bytes of text (first in
// the lowest byte, the rest cleared) are an optional '-', then digits with
// at most one '.' and at least one digit. False for anything else; else
// the sign, the digits as a whole number, and how many of them follow the
// point. A whole number without a sign is for the caller to have taken.
template <class Word>
[[nodiscard]] [[gnu::always_inline]] inline bool splitDecimal(Word x, std::size_t n, bool& negative, Word& digits,
                                                              std::size_t& fraction) noexcept
{
    negative = (x & 0xFF) == '-';
    if (negative) {
        x >>= 8;
        if (--n == 0)
            return false;
    }
    Word mask = firstBytes<Word>(n);
    Word d = static_cast<Word>(x - kEachByte<Word> * '0');
    fraction = 0;
    if (const Word odd = notDigits(d, mask); odd != 0) {
        // Only a point may stand there: drop it, the digits after it move
        // down one place, and the rest must be digits.
        const auto at = static_cast<unsigned>(std::countr_zero(odd)) / 8;
        if (((x >> (8 * at)) & 0xFF) != '.' || --n == 0)
            return false;
        const Word below = static_cast<Word>((Word{1} << (8 * at)) - 1);
        x = static_cast<Word>((x & below) | ((x >> 8) & ~below));
        fraction = n - at;
        mask = static_cast<Word>(mask >> 8);
        d = static_cast<Word>(x - kEachByte<Word> * '0');
        if (notDigits(d, mask) != 0)
            return false;
    }
    digits = digitsValue(d, n);
    return true;
}

// The powers of ten a short number's digits are divided by, 10^fraction.
constexpr double kPowersOfTen[8] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7};

// quotient[k][v]: v / 10^k as parseNumber makes it (the whole number over
// the power of ten, one rounding), for up to three digits: a load in place
// of a conversion and a division, which were the longest wait in parsing a
// short decimal such as "22.6". 32 KB, of which a column touches a few lines.
struct ShortQuotients {
    static constexpr std::uint32_t kWholes = 1000;
    double quotient[4][kWholes];

    constexpr ShortQuotients() noexcept : quotient{}
    {
        for (std::size_t k = 0; k < 4; ++k)
            for (std::uint32_t v = 0; v < kWholes; ++v)
                quotient[k][v] = static_cast<double>(v) / kPowersOfTen[k];
    }
};
constexpr ShortQuotients kShortQuotients;

// What parseNumber gives for the commonest values in a log: an optional
// '-', then digits with at most one '.', at least one digit, eight bytes in
// all ("-12.5", "128", "0.25"). Sets value and returns true only for texts of
// that shape; for anything else returns false and parseNumber decides. Bit
// for bit parseNumber's result: the same whole number of at most eight
// digits divided by the same power of ten. readable: bytes that may be read
// from text.data() on; eight make the load a single one.
[[nodiscard]] [[gnu::always_inline]] inline bool shortNumber(std::string_view text, std::size_t readable,
                                                             double& value) noexcept
{
    const std::size_t n = text.size();
    if (n - 1 >= 8 || readable < 8)
        return false;
    bool negative = false;
    std::size_t fraction = 0;
    double magnitude = 0;
    if (n <= 4) {
        // Four bytes or fewer, most values of a log, in 32 bits. A whole
        // number first: one combining step fewer than eight bytes take.
        std::uint32_t x;
        std::memcpy(&x, text.data(), 4);
        x &= firstBytes<std::uint32_t>(n);
        const auto d = static_cast<std::uint32_t>(x - kEachByte<std::uint32_t> * '0');
        if (notDigits(d, firstBytes<std::uint32_t>(n)) == 0) {
            value = exactWhole(digitsValue(d, n));
            return true;
        }
        // Then a sign, a point or both ("-12", "22.6", "-0.5"): at most
        // three digits, whose quotient is looked up.
        std::uint32_t digits = 0;
        if (!splitDecimal(x, n, negative, digits, fraction))
            return false;
        magnitude = kShortQuotients.quotient[fraction][digits];
    } else {
        // Five to eight bytes, such as a log's times ("0.003" to "3599.999").
        std::uint64_t x;
        std::memcpy(&x, text.data(), 8);
        std::uint64_t digits = 0;
        if (!splitDecimal(x & firstBytes<std::uint64_t>(n), n, negative, digits, fraction))
            return false;
        // Whole numbers need no division (x / 1 is x).
        const double whole = exactWhole(digits);
        magnitude = fraction == 0 ? whole : whole / kPowersOfTen[fraction];
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

[[nodiscard]] [[gnu::always_inline]] inline double numberOf(std::string_view text, std::size_t readable) noexcept
{
    double value;
    if (shortNumber(text, readable, value))
        return value;
    // A missing field, as every field of a parameter beyond a log's lines
    // is (the BLM table's of a log of few fields): no call for it.
    if (text.empty())
        return kNoNumber;
    // parseNumber removes the surrounding spaces itself: untrimmed fields do.
    const std::optional<double> v = parseNumber(text);
    return v ? *v : kNoNumber;
}

// Numbers of a block of fields, as numberOf gives them: fields[i] is
// texts[i] of lengths[i] bytes, eight of which may be loaded whatever the
// length.
template <class Length>
[[gnu::always_inline]] inline void numbersOf(const char* const* texts, const Length* lengths, std::size_t count,
                                             double* out) noexcept
{
    for (std::size_t i = 0; i < count; ++i)
        out[i] = numberOf(std::string_view(texts[i], lengths[i]), ByteBuffer::kPadding);
}

#if defined(DLV_WIDE_INSTRUCTIONS)
// numberOf of four fields at once with AVX2, bit for bit: each field of the
// short shape (an optional '-', then at most eight digits and points, one
// point at most, a digit at least) as a whole number over a power of ten,
// the same division as shortNumber's; every other field by numberOf alone.
// Unlike the word tricks of shortNumber, bytes are told apart exactly, one
// by one.
template <class Length>
DLV_WIDE_INSTRUCTIONS [[gnu::always_inline]] inline void fourNumbers(const char* const* texts, const Length* lengths,
                                                                     double* out) noexcept
{
    static_assert(sizeof(Length) == 8 || sizeof(Length) == 4);
    const __m256i zero = _mm256_setzero_si256();
    __m256i length;
    if constexpr (sizeof(Length) == 8)
        length = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lengths));
    else
        length = _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lengths)));
    std::uint64_t words[4];
    for (int k = 0; k < 4; ++k)
        std::memcpy(&words[k], texts[k], 8);
    __m256i x = _mm256_set_epi64x(static_cast<long long>(words[3]), static_cast<long long>(words[2]),
                                  static_cast<long long>(words[1]), static_cast<long long>(words[0]));
    // The text's bytes: ~0 >> (64 - 8 n); a shift of 64 or more gives none.
    __m256i text = _mm256_srlv_epi64(_mm256_set1_epi64x(-1),
                                     _mm256_sub_epi64(_mm256_set1_epi64x(64), _mm256_slli_epi64(length, 3)));
    x = _mm256_and_si256(x, text);
    const __m256i negative =
        _mm256_cmpeq_epi64(_mm256_and_si256(x, _mm256_set1_epi64x(0xFF)), _mm256_set1_epi64x('-'));
    x = _mm256_blendv_epi8(x, _mm256_srli_epi64(x, 8), negative);
    text = _mm256_blendv_epi8(text, _mm256_srli_epi64(text, 8), negative);
    const __m256i d = _mm256_sub_epi8(x, _mm256_set1_epi8('0'));
    const __m256i isDigit = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_min_epu8(d, _mm256_set1_epi8(9)), d), text);
    const __m256i isPoint = _mm256_and_si256(_mm256_cmpeq_epi8(x, _mm256_set1_epi8('.')), text);
    const __m256i digitOnes = _mm256_and_si256(isDigit, _mm256_set1_epi8(1));
    const __m256i digits = _mm256_sad_epu8(digitOnes, zero);
    const __m256i points = _mm256_sad_epu8(_mm256_and_si256(isPoint, _mm256_set1_epi8(1)), zero);
    // Of the short shape: 1 to 8 bytes, each a digit or a point (the sign
    // gone), at most one point, at least one digit.
    __m256i shaped = _mm256_and_si256(_mm256_cmpgt_epi64(length, zero), _mm256_cmpgt_epi64(_mm256_set1_epi64x(9), length));
    shaped = _mm256_and_si256(shaped, _mm256_cmpeq_epi64(_mm256_andnot_si256(isDigit, text), isPoint));
    shaped = _mm256_and_si256(shaped, _mm256_cmpgt_epi64(_mm256_set1_epi64x(2), points));
    shaped = _mm256_and_si256(shaped, _mm256_cmpgt_epi64(digits, zero));
    // The bytes below the point (all of them without one); the point is
    // dropped, those above it move down one place.
    const __m256i below =
        _mm256_sub_epi64(_mm256_and_si256(isPoint, _mm256_sub_epi64(zero, isPoint)), _mm256_set1_epi64x(1));
    const __m256i y = _mm256_or_si256(_mm256_and_si256(d, below), _mm256_andnot_si256(below, _mm256_srli_epi64(d, 8)));
    const __m256i fraction = _mm256_sad_epu8(_mm256_andnot_si256(below, digitOnes), zero);
    // The digits as a whole number: shifted up so that the missing leading
    // digits are zeros, then combined pairwise (shortNumber's digitsValue).
    __m256i v = _mm256_sllv_epi64(y, _mm256_slli_epi64(_mm256_sub_epi64(_mm256_set1_epi64x(8), digits), 3));
    v = _mm256_maddubs_epi16(v, _mm256_set1_epi16(0x010A));
    v = _mm256_madd_epi16(v, _mm256_set1_epi32(0x00010064));
    v = _mm256_add_epi64(_mm256_mul_epu32(v, _mm256_set1_epi64x(10000)), _mm256_srli_epi64(v, 32));
    // exactWhole, then over 10^fraction (x / 1 is x).
    const __m256d whole = _mm256_sub_pd(
        _mm256_castsi256_pd(_mm256_or_si256(v, _mm256_set1_epi64x(0x4330000000000000))), _mm256_set1_pd(0x1p52));
    // Whole numbers, most of a log's, need no division (x / 1 is x).
    __m256d magnitude = whole;
    if (!_mm256_testz_si256(fraction, fraction)) {
        const __m256d power = _mm256_i64gather_pd(kPowersOfTen, _mm256_and_si256(fraction, _mm256_set1_epi64x(7)), 8);
        magnitude = _mm256_div_pd(whole, power);
    }
    // An empty field, as every field beyond a line is, is no number.
    const __m256d empty = _mm256_castsi256_pd(_mm256_cmpeq_epi64(length, zero));
    _mm256_storeu_pd(out, _mm256_blendv_pd(_mm256_xor_pd(magnitude, _mm256_and_pd(_mm256_castsi256_pd(negative),
                                                                                  _mm256_set1_pd(-0.0))),
                                           _mm256_set1_pd(kNoNumber), empty));
    const int told = _mm256_movemask_pd(_mm256_or_pd(_mm256_castsi256_pd(shaped), empty));
    if (const int others = told ^ 0xF; others != 0) [[unlikely]]
        for (int k = 0; k < 4; ++k)
            if ((others >> k) & 1)
                out[k] = numberOf(std::string_view(texts[k], lengths[k]), ByteBuffer::kPadding);
}

// Called once a block: the copy for any processor holds no AVX2 to inline.
DLV_WIDE_INSTRUCTIONS void numbersOfWide(const char* const* texts, const std::uint64_t* lengths, std::size_t count,
                                         double* out) noexcept
{
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4)
        fourNumbers(texts + i, lengths + i, out + i);
    numbersOf(texts + i, lengths + i, count - i, out + i);
}

// The commonest values of a log, whole numbers of one to four digits
// without a sign ("0", "128", "2047"), eight fields at once: heads[k] holds
// the first four bytes of field k (first byte lowest) and lengths[k] its
// length. Each of that shape gets its number in out[k], exactly (a whole
// number below 10^4 is a double as it is, as numberOf makes it); the
// result has bit k set for each field that is not of that shape, whose
// out[k] means nothing.
DLV_WIDE_INSTRUCTIONS [[gnu::always_inline]] inline int eightWholes(const std::uint32_t* heads,
                                                                    const std::uint32_t* lengths, double* out) noexcept
{
    const __m256i n = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lengths));
    const __m256i head = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(heads));
    // The text's bytes: ~0 >> (32 - 8 n); a shift of 32 or more gives none.
    const __m256i text = _mm256_srlv_epi32(_mm256_set1_epi32(-1),
                                           _mm256_sub_epi32(_mm256_set1_epi32(32), _mm256_slli_epi32(n, 3)));
    const __m256i d = _mm256_and_si256(_mm256_sub_epi8(head, _mm256_set1_epi8('0')), text);
    // Bytes past the text are 0 and pass as digits.
    const __m256i digits = _mm256_cmpeq_epi8(_mm256_min_epu8(d, _mm256_set1_epi8(9)), d);
    const __m256i shaped =
        _mm256_and_si256(_mm256_cmpeq_epi32(digits, _mm256_set1_epi32(-1)),
                         _mm256_and_si256(_mm256_cmpgt_epi32(n, _mm256_setzero_si256()),
                                          _mm256_cmpgt_epi32(_mm256_set1_epi32(5), n)));
    // Shifted up so that the missing leading digits are zeros, then
    // combined pairwise: tens and units, then hundreds.
    __m256i v = _mm256_sllv_epi32(d, _mm256_slli_epi32(_mm256_sub_epi32(_mm256_set1_epi32(4), n), 3));
    v = _mm256_maddubs_epi16(v, _mm256_set1_epi16(0x010A));
    v = _mm256_madd_epi16(v, _mm256_set1_epi32(0x00010064));
    _mm256_storeu_pd(out, _mm256_cvtepi32_pd(_mm256_castsi256_si128(v)));
    _mm256_storeu_pd(out + 4, _mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1)));
    return _mm256_movemask_ps(_mm256_castsi256_ps(shaped)) ^ 0xFF;
}

// The sums of each 32-bit lane's bytes (each 0 or 1).
DLV_WIDE_INSTRUCTIONS [[gnu::always_inline]] inline __m256i byteSums(__m256i ones) noexcept
{
    return _mm256_madd_epi16(_mm256_maddubs_epi16(ones, _mm256_set1_epi8(1)), _mm256_set1_epi16(1));
}

// Lanes 0 .. 3 (half 0) or 4 .. 7 (half 1) of eight 32-bit lanes.
DLV_WIDE_INSTRUCTIONS [[gnu::always_inline]] inline __m128i halfOf(__m256i lanes, int half) noexcept
{
    return half == 0 ? _mm256_castsi256_si128(lanes) : _mm256_extracti128_si256(lanes, 1);
}

// The commonest values of a log, fields of one to four bytes of the short
// shape ("0", "128", "-138", "22.6", "-.5": an optional '-', then digits
// with at most one '.', a digit at least), eight at once, bit for bit
// numberOf's: each as a whole number of at most four digits (a double as it
// is), over 10^fraction where it has a point (the division shortNumber's
// table holds), negated where it has a sign. heads[k] holds the first four
// bytes of field k (first byte lowest) and lengths[k] its length; an empty
// field is no number. The result has bit k set for each field of neither
// kind, whose out[k] means nothing; marked tells whether some field has a
// sign or a point.
DLV_WIDE_INSTRUCTIONS [[gnu::always_inline]] inline int eightShorts(const std::uint32_t* heads,
                                                                    const std::uint32_t* lengths, double* out,
                                                                    bool& marked) noexcept
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i n = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lengths));
    // The text's bytes: ~0 >> (32 - 8 n); a shift of 32 or more (any
    // length but 1 to 4) gives none.
    __m256i text = _mm256_srlv_epi32(_mm256_set1_epi32(-1),
                                     _mm256_sub_epi32(_mm256_set1_epi32(32), _mm256_slli_epi32(n, 3)));
    __m256i x = _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(heads)), text);
    const __m256i negative =
        _mm256_cmpeq_epi32(_mm256_and_si256(x, _mm256_set1_epi32(0xFF)), _mm256_set1_epi32('-'));
    x = _mm256_blendv_epi8(x, _mm256_srli_epi32(x, 8), negative);
    text = _mm256_blendv_epi8(text, _mm256_srli_epi32(text, 8), negative);
    const __m256i d = _mm256_sub_epi8(x, _mm256_set1_epi8('0'));
    const __m256i isDigit = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_min_epu8(d, _mm256_set1_epi8(9)), d), text);
    const __m256i isPoint = _mm256_and_si256(_mm256_cmpeq_epi8(x, _mm256_set1_epi8('.')), text);
    const __m256i digitOnes = _mm256_and_si256(isDigit, _mm256_set1_epi8(1));
    const __m256i digits = byteSums(digitOnes);
    __m256i shaped = _mm256_and_si256(_mm256_cmpgt_epi32(n, zero), _mm256_cmpgt_epi32(_mm256_set1_epi32(5), n));
    shaped = _mm256_and_si256(shaped, _mm256_cmpeq_epi32(_mm256_andnot_si256(isDigit, text), isPoint));
    shaped = _mm256_and_si256(shaped, _mm256_cmpgt_epi32(_mm256_set1_epi32(2),
                                                         byteSums(_mm256_and_si256(isPoint, _mm256_set1_epi8(1)))));
    shaped = _mm256_and_si256(shaped, _mm256_cmpgt_epi32(digits, zero));
    // The bytes below the point (all of them without one); the point is
    // dropped, those above it move down one place.
    const __m256i below =
        _mm256_sub_epi32(_mm256_and_si256(isPoint, _mm256_sub_epi32(zero, isPoint)), _mm256_set1_epi32(1));
    const __m256i y = _mm256_or_si256(_mm256_and_si256(d, below), _mm256_andnot_si256(below, _mm256_srli_epi32(d, 8)));
    const __m256i fraction = _mm256_and_si256(byteSums(_mm256_andnot_si256(below, digitOnes)), _mm256_set1_epi32(3));
    // Shifted up so that the missing leading digits are zeros (and what
    // follows the digits is gone), then combined pairwise: tens and units,
    // then hundreds.
    __m256i v = _mm256_sllv_epi32(y, _mm256_slli_epi32(_mm256_sub_epi32(_mm256_set1_epi32(4), digits), 3));
    v = _mm256_maddubs_epi16(v, _mm256_set1_epi16(0x010A));
    v = _mm256_madd_epi16(v, _mm256_set1_epi32(0x00010064));
    const bool divide = !_mm256_testz_si256(fraction, fraction);
    marked = divide || !_mm256_testz_si256(negative, negative);
    const __m256i empty = _mm256_cmpeq_epi32(n, zero);
    // 10^0 .. 10^3 as pairs of 32-bit halves, picked by 2 f and 2 f + 1.
    const __m256i powers = _mm256_castpd_si256(_mm256_setr_pd(1e0, 1e1, 1e2, 1e3));
    for (int half = 0; half < 2; ++half) {
        __m256d magnitude = _mm256_cvtepi32_pd(halfOf(v, half));
        // Whole numbers, most of a log's, need no division (x / 1 is x).
        if (divide) {
            const __m256i twice = _mm256_slli_epi64(_mm256_cvtepu32_epi64(halfOf(fraction, half)), 1);
            const __m256i pick =
                _mm256_or_si256(twice, _mm256_slli_epi64(_mm256_add_epi64(twice, _mm256_set1_epi64x(1)), 32));
            magnitude = _mm256_div_pd(magnitude, _mm256_castsi256_pd(_mm256_permutevar8x32_epi32(powers, pick)));
        }
        const __m256d sign = _mm256_and_pd(_mm256_castsi256_pd(_mm256_cvtepi32_epi64(halfOf(negative, half))),
                                           _mm256_set1_pd(-0.0));
        _mm256_storeu_pd(out + 4 * half,
                         _mm256_blendv_pd(_mm256_xor_pd(magnitude, sign), _mm256_set1_pd(kNoNumber),
                                          _mm256_castsi256_pd(_mm256_cvtepi32_epi64(halfOf(empty, half)))));
    }
    return _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(shaped, empty))) ^ 0xFF;
}

// The numbers of count fields of a walk's batch (see FieldBatch), bit for
// bit numberOf's: eight at once, those of another shape (longer ones, such
// as a log's times) then one by one, or four at once where they are
// several of four. Runs of plain whole numbers, most fields of a wide log,
// take eightWholes, half the work of eightShorts; a run of other fields
// (a tall log's are mixed throughout) goes on with eightShorts until eight
// plain whole numbers come again.
DLV_WIDE_INSTRUCTIONS void batchNumbersWide(const char* const* texts, const std::uint32_t* heads,
                                            const std::uint32_t* lengths, std::size_t count, double* out) noexcept
{
    std::size_t i = 0;
    bool wholes = true;
    for (; i + 8 <= count; i += 8) {
        if (wholes && eightWholes(heads + i, lengths + i, out + i) == 0)
            continue;
        bool marked = false;
        const auto others = static_cast<unsigned>(eightShorts(heads + i, lengths + i, out + i, marked));
        wholes = others == 0 && !marked;
        if (others == 0)
            continue;
        for (std::size_t half = 0; half < 8; half += 4) {
            unsigned left = (others >> half) & 0xF;
            if (std::popcount(left) >= 2) {
                fourNumbers(texts + i + half, lengths + i + half, out + i + half);
                continue;
            }
            for (; left != 0; left &= left - 1) {
                const std::size_t k = i + half + static_cast<std::size_t>(std::countr_zero(left));
                out[k] = numberOf(std::string_view(texts[k], lengths[k]), ByteBuffer::kPadding);
            }
        }
    }
    for (; i + 4 <= count; i += 4)
        fourNumbers(texts + i, lengths + i, out + i);
    numbersOf(texts + i, lengths + i, count - i, out + i);
}
#endif


// Whether a pass over params reads each take's line from its start, as it
// does when they cover its first fields densely, rather than picking each
// field from the comma index.
[[nodiscard]] bool walksLines(const std::vector<std::string>& names, std::span<const long long> params) noexcept
{
    // Fields beyond the names are rare: a walk ends with the line anyway.
    // A walk costs a line's bytes up to the last asked field, a pick about
    // as much as walking three short fields. One field alone is always
    // picked: even the first field of a line of 40 bytes took a walk 30 %
    // longer, having to find the line's end besides.
    if (params.size() == 1)
        return false;
    long long highest = -1;
    for (const long long p : params)
        highest = std::max(highest, p);
    const long long span = std::min<long long>(highest, static_cast<long long>(names.size())) + 1;
    return static_cast<long long>(params.size()) * 3 >= span;
}

// One asked parameter and where its numbers go (its place in the asked set).
struct Wanted {
    long long param;
    std::size_t slot;
};

// Where a parse puts the numbers of slot k of the i-th take it parses.
// Columns: outs[k][i], a slot's numbers one after the other.
struct ColumnsOut {
    std::span<double* const> outs;
};
// Rows: rows[i * stride + k], a take's numbers one after the other.
struct RowsOut {
    double* rows;
    std::size_t stride;
};

// Fields cut from the lines of a walk before their numbers are read: their
// texts, lengths and the places the numbers go. A batch spans lines, so
// that reading it (four numbers to an instruction where AVX2 is at hand)
// is one call however short the lines; 8 KB, in the first level of cache.
struct FieldBatch {
    static constexpr std::size_t kSize = 256;
    const char* texts[kSize];
    std::uint32_t heads[kSize];  // the first four bytes of each text, for the copy with the newer instructions
    std::uint32_t lengths[kSize];
    double* to[kSize];
    double numbers[kSize];
};

// The numbers of the first count fields of a batch, into to[], or when
// direct is set into direct[0 ..].
template <bool kWide>
[[gnu::always_inline]] inline void readBatch(FieldBatch& batch, std::size_t count, double* direct) noexcept
{
    double* const out = direct ? direct : batch.numbers;
#if defined(DLV_WIDE_INSTRUCTIONS)
    if constexpr (kWide)
        batchNumbersWide(batch.texts, batch.heads, batch.lengths, count, out);
    else
#endif
        numbersOf(batch.texts, batch.lengths, count, out);
    if (!direct)
        for (std::size_t k = 0; k < count; ++k)
            *batch.to[k] = batch.numbers[k];
}

// Parses the asked parameters of a range of takes. Two ways, chosen once per
// pass by how densely the parameters cover the lines:
// - walking: when they are many (a report, a table of every parameter), each
//   line is read once from its start, its asked fields cut in order from
//   its comma masks and then their numbers read a batch at a time (four to
//   an instruction where AVX2 is at hand), so a line costs one pass over
//   its bytes however many of its fields are asked for;
// - picking: when they are few (a curve, the three BLM fields), each field
//   is found from the store's comma index and its cache lines are asked for
//   a few takes ahead, so that the memory reads of different takes overlap.
// Both cut fields by the one rule of AFSEP: field k lies between comma k and
// comma k + 1.
class TakeParser final {
public:
    TakeParser(const TakeStore& store, std::span<const long long> params) : m_store(store), m_params(params)
    {
        m_sorted.reserve(params.size());
        for (std::size_t k = 0; k < params.size(); ++k)
            m_sorted.push_back({params[k], k});
        std::sort(m_sorted.begin(), m_sorted.end(),
                  [](const Wanted& a, const Wanted& b) { return a.param < b.param; });
        m_walk = !store.indexesFields() || walksLines(store.ParamNames(), params);
        // The fields a walk cuts: each asked parameter once, in field order,
        // with the first of its places in m_sorted. None of a negative
        // parameter or of one beyond the fields of every take (the BLM
        // fields of a narrow log): those hold no number in any take.
        while (m_firstValid < m_sorted.size() && m_sorted[m_firstValid].param < 0)
            ++m_firstValid;
        m_endValid = m_sorted.size();
        while (m_endValid > m_firstValid && m_sorted[m_endValid - 1].param >= store.mostFields())
            --m_endValid;
        for (std::size_t k = m_firstValid; k < m_endValid; ++k)
            if (k == m_firstValid || m_sorted[k].param != m_sorted[k - 1].param) {
                m_fields.push_back(static_cast<std::size_t>(m_sorted[k].param));
                m_fieldEntry.push_back(k);
            }
        m_fieldEntry.push_back(m_endValid);
        m_once = m_fields.size() == m_endValid - m_firstValid;
        m_contiguous = m_once;
        for (std::size_t d = 1; d < m_fields.size(); ++d)
            m_contiguous = m_contiguous && m_fields[d] == m_fields[0] + d;
        // Rows can take a batch's numbers one after the other when the
        // fields cut go to slots 0, 1, ... in order and those beyond every
        // take fill the slots after them: the walk then puts empty fields
        // of its own in their place.
        m_inOrder = m_once && m_firstValid == 0;
        for (std::size_t k = 0; k < m_endValid; ++k)
            m_inOrder = m_inOrder && m_sorted[k].slot == k;
        // Short lines follow each other within a few cache lines, which the
        // processor fetches ahead by itself; asking for them as well only
        // costs the index lookups (a third of a pick on lines of 40 bytes).
        m_prefetch = store.fileBytes() >= kPrefetchLineBytes * static_cast<std::size_t>(std::max(store.takeCount(), 1));
    }

    // Takes begin .. end - 1 into out (ColumnsOut or RowsOut), the i-th of
    // them being take begin + i.
    template <class Out>
    void parseTo(int begin, int end, const Out& out) const noexcept
    {
        if (m_params.empty())
            return;
#if defined(DLV_WIDE_INSTRUCTIONS)
        if (useWideInstructions()) {
            parseWide(begin, end, out);
            return;
        }
#endif
        parseHere<false>(begin, end, out);
    }

    // Parameter k of take t goes to outs[k][t - begin].
    void parse(int begin, int end, std::span<double* const> outs) const noexcept
    {
        parseTo(begin, end, ColumnsOut{outs});
    }

private:
    // The parse proper, built into each copy (see wide_instructions.h);
    // kWide in the copy with the newer instructions.
    template <bool kWide, class Out>
    [[gnu::always_inline]] void parseHere(int begin, int end, const Out& out) const noexcept
    {
        if (m_walk)
            walk<kWide>(begin, end, out);
        else
            pick<kWide>(begin, end, out);
    }
#if defined(DLV_WIDE_INSTRUCTIONS)
    template <class Out>
    DLV_WIDE_INSTRUCTIONS void parseWide(int begin, int end, const Out& out) const noexcept
    {
        parseHere<true>(begin, end, out);
    }
#endif

    static void put(const ColumnsOut& out, std::size_t slot, std::size_t i, double v) noexcept { out.outs[slot][i] = v; }
    static void put(const RowsOut& out, std::size_t slot, std::size_t i, double v) noexcept
    {
        out.rows[i * out.stride + slot] = v;
    }

    template <bool kWide, class Out>
    [[gnu::always_inline]] void walk(int begin, int end, const Out& out) const noexcept
    {
        // Where the numbers of each place in m_sorted go: base[e] + i * step
        // for the i-th take. Rows whose numbers come in the order they are
        // read need none of it: the batch's numbers go one after the other.
        std::size_t step = 1;
        bool direct = false;
        if constexpr (std::is_same_v<Out, RowsOut>) {
            step = out.stride;
            direct = m_inOrder && !m_fields.empty() && out.stride == m_sorted.size();
        }
        const auto none = [&](std::size_t k) {
            for (int t = begin; t < end; ++t)
                put(out, m_sorted[k].slot, static_cast<std::size_t>(t - begin), kNoNumber);
        };
        for (std::size_t k = 0; k < m_firstValid; ++k)
            none(k);
        // Slots beyond every take's fields: a direct walk fills them with its rows.
        const std::size_t tail = m_sorted.size() - m_endValid;
        if (!direct)
            for (std::size_t k = m_endValid; k < m_sorted.size(); ++k)
                none(k);
        if (m_fields.empty())
            return;
        std::vector<double*> base;
        if (!direct) {
            base.resize(m_sorted.size());
            for (std::size_t e = m_firstValid; e < m_endValid; ++e) {
                if constexpr (std::is_same_v<Out, RowsOut>)
                    base[e] = out.rows + m_sorted[e].slot;
                else
                    base[e] = out.outs[m_sorted[e].slot];
            }
        }
        double* next = nullptr;  // where the next direct batch goes
        if constexpr (std::is_same_v<Out, RowsOut>)
            next = direct ? out.rows : nullptr;
        const std::size_t emptyTail = direct ? tail : 0;
        if (m_contiguous)
            walkFields<kWide, true>(begin, end, base.data(), step, next, emptyTail);
        else
            walkFields<kWide, false>(begin, end, base.data(), step, next, emptyTail);
    }

    // Each line's asked fields cut from its comma masks into a batch, read
    // whenever it is full. kContiguous: the fields follow each other
    // (m_fields[0], m_fields[0] + 1, ...), so that only the first is
    // sought; after it every field is taken. A field beyond the line goes
    // into the batch empty, which reads as no number, as do the tail empty
    // fields a direct walk adds after each line's (the slots of parameters
    // beyond every take). Written out in the loop: this runs once per field
    // of the log.
    template <bool kWide, bool kContiguous>
    [[gnu::always_inline]] void walkFields(int begin, int end, double* const* base, std::size_t step,
                                           double* direct, std::size_t tail) const noexcept
    {
        static constexpr char kNoText[8] = {};
        FieldBatch batch;
        std::size_t n = 0;  // fields in the batch
        const std::size_t* const fields = m_fields.data();
        const std::size_t* const entries = m_fieldEntry.data();
        const std::size_t count = m_fields.size();
        const bool once = m_once;
        // Field d of the i-th take, the text of size bytes, into the batch,
        // once for each place it is asked for.
        const auto add = [&](std::size_t d, std::size_t i, const char* text, std::size_t size)
                             __attribute__((always_inline)) {
            const std::size_t last = once ? entries[d] + 1 : entries[d + 1];
            for (std::size_t e = entries[d]; e < last; ++e) {
                batch.texts[n] = text;
                if constexpr (kWide)
                    std::memcpy(&batch.heads[n], text, 4);
                batch.lengths[n] = static_cast<std::uint32_t>(size);
                if (!direct)
                    batch.to[n] = base[e] + i * step;
                if (++n == FieldBatch::kSize) {
                    readBatch<kWide>(batch, n, direct);
                    if (direct)
                        direct += n;
                    n = 0;
                }
            }
        };
        std::uint64_t next = begin < end ? m_store.lineStart(begin) : 0;
        for (int t = begin; t < end; ++t) {
            prefetchAhead(t, end);
            const auto i = static_cast<std::size_t>(t - begin);
            const std::uint64_t lineStart = next;
            next = m_store.lineStart(t + 1);
            const std::string_view line = m_store.lineBetween(lineStart, next);
            const char* const bytes = line.data();
            const std::size_t length = line.size();
            if (length > std::numeric_limits<std::uint32_t>::max()) [[unlikely]] {
                // A field may be longer than a batch keeps lengths: the
                // batch is read first, then this line field by field.
                if (n != 0) {
                    readBatch<kWide>(batch, n, direct);
                    if (direct)
                        direct += n;
                    n = 0;
                }
                hugeLine(line, i, base, step, direct);
                if (direct) {
                    std::fill_n(direct + count, tail, kNoNumber);
                    direct += count + tail;
                }
                continue;
            }
            std::size_t d = 0;      // the wanted field cut next
            std::size_t field = 0;  // the field that starts at start
            std::size_t start = 0;
            std::size_t want = fields[0];
            for (std::size_t at = 0; at < length; at += 64) {
                prefetchStreamAhead(bytes + at);
                std::uint64_t mask = commaMask(bytes + at, length - at);
                while (true) {
                    if (field < want) {
                        // The commas up to the one before the wanted field.
                        const std::size_t pass = want - field;
                        const std::size_t commas = countBitsWith<kWide>(mask);
                        if (commas < pass) {
                            field += commas;
                            break;
                        }
                        for (std::size_t k = 1; k < pass; ++k)
                            mask &= mask - 1;
                        start = at + static_cast<std::size_t>(__builtin_ctzll(mask)) + 1;
                        mask &= mask - 1;
                        field = want;
                    }
                    if constexpr (kContiguous) {
                        // Every field from here on is asked for, each once:
                        // the batch filled straight, up to where it is full
                        // or the line's last wanted field is in.
                        std::size_t limit = std::min(FieldBatch::kSize, n + (count - d));
                        while (mask != 0) {
                            const std::size_t stop = at + static_cast<std::size_t>(__builtin_ctzll(mask));
                            mask &= mask - 1;
                            const char* const text = bytes + start;
                            batch.texts[n] = text;
                            if constexpr (kWide)
                                std::memcpy(&batch.heads[n], text, 4);
                            batch.lengths[n] = static_cast<std::uint32_t>(stop - start);
                            if (!direct)
                                batch.to[n] = base[entries[d]] + i * step;
                            start = stop + 1;
                            ++d;
                            if (++n == limit) {
                                if (n == FieldBatch::kSize) {
                                    readBatch<kWide>(batch, n, direct);
                                    if (direct)
                                        direct += n;
                                    n = 0;
                                }
                                if (d == count)
                                    goto next;
                                limit = std::min(FieldBatch::kSize, n + (count - d));
                            }
                        }
                        field = want = fields[0] + d;
                        break;
                    } else {
                        if (mask == 0)
                            break;
                        const std::size_t stop = at + static_cast<std::size_t>(__builtin_ctzll(mask));
                        mask &= mask - 1;
                        if (field == want) {
                            add(d, i, bytes + start, stop - start);
                            if (++d == count)
                                goto next;
                            want = fields[d];
                        }
                        start = stop + 1;
                        ++field;
                    }
                }
            }
            // The line ends inside the field that starts at start.
            if (field == want) {
                add(d, i, bytes + start, length - start);
                ++d;
            }
            for (; d < count; ++d)
                add(d, i, kNoText, 0);  // beyond the line's fields
        next:
            for (std::size_t k = 0; k < tail; ++k) {
                batch.texts[n] = kNoText;
                if constexpr (kWide)
                    batch.heads[n] = 0;
                batch.lengths[n] = 0;
                if (++n == FieldBatch::kSize) {
                    readBatch<kWide>(batch, n, direct);
                    direct += n;
                    n = 0;
                }
            }
        }
        if (n != 0)
            readBatch<kWide>(batch, n, direct);
    }

    // The asked fields of a line too long for a batch's lengths (4 GiB or
    // more), each read by itself: into direct[0 ..] when set, else by base
    // and step as for a batch.
    void hugeLine(std::string_view line, std::size_t i, double* const* base, std::size_t step,
                  double* direct) const noexcept
    {
        std::size_t field = 0;
        std::size_t start = 0;
        for (std::size_t d = 0; d < m_fields.size(); ++d) {
            while (field < m_fields[d] && start <= line.size()) {
                const std::size_t comma = line.find(',', start);
                start = comma == std::string_view::npos ? line.size() + 1 : comma + 1;
                ++field;
            }
            double v = kNoNumber;
            if (start <= line.size()) {
                const std::size_t stop = std::min(line.find(',', start), line.size());
                v = numberOf(line.substr(start, stop - start), ByteBuffer::kPadding);
            }
            if (direct) {
                direct[d] = v;
                continue;
            }
            for (std::size_t e = m_fieldEntry[d]; e < m_fieldEntry[d + 1]; ++e)
                *(base[e] + i * step) = v;
        }
    }

    // Long lines do not follow each other closely enough for the processor
    // to fetch the bytes a pass reads of them by itself: field p of the
    // take kAhead on is asked for (its line's start for a walk, p = 0).
    [[gnu::always_inline]] void prefetchAhead(int t, int end, long long p = 0) const noexcept
    {
        if (m_prefetch && t + kAhead < end)
            prefetchField(m_store, p, t + kAhead);
    }

    template <bool kWide, class Out>
    [[gnu::always_inline]] void pick(int begin, int end, const Out& out) const noexcept
    {
        if constexpr (std::is_same_v<Out, ColumnsOut>) {
            if (m_params.size() == 1 && !m_prefetch) {
                pickOne<kWide>(begin, end, out.outs.front());
                return;
            }
        }
        for (int t = begin; t < end; ++t) {
            for (const long long p : m_params)
                prefetchAhead(t, end, p);
            const auto i = static_cast<std::size_t>(t - begin);
            for (std::size_t k = 0; k < m_params.size(); ++k) {
                // A store's bytes lie in a ByteBuffer, followed by its
                // padding: eight bytes can be loaded from any field.
                const std::string_view field = m_store.field(m_params[k], t);
                put(out, k, i, numberOf(field, ByteBuffer::kPadding));
            }
        }
    }

    // A curve's column of a tall log, a block of takes at a time: first
    // their fields are found, then their numbers parsed, four at once where
    // the processor can. Apart, each loop is short enough for the processor
    // to overlap many takes; together they had made every take wait for
    // its field (the decimals of a tall log took 40 % longer).
    template <bool kWide>
    [[gnu::always_inline]] void pickOne(int begin, int end, double* out) const noexcept
    {
        constexpr int kBlock = 256;
        static constexpr char kNoText[8] = {};
        const char* texts[kBlock];
        std::uint64_t lengths[kBlock];
        const long long p = m_params.front();
        for (int first = begin; first < end; first += kBlock) {
            const int count = std::min(kBlock, end - first);
            // A missing field has no address; eight bytes are read of each.
            m_store.fields(p, first, count, kNoText, texts, lengths);
            double* const to = out + (first - begin);
#if defined(DLV_WIDE_INSTRUCTIONS)
            if constexpr (kWide) {
                numbersOfWide(texts, lengths, static_cast<std::size_t>(count), to);
                continue;
            }
#endif
            numbersOf(texts, lengths, static_cast<std::size_t>(count), to);
        }
    }

    const TakeStore& m_store;
    std::span<const long long> m_params;
    std::vector<Wanted> m_sorted;
    std::size_t m_firstValid = 0;         // m_sorted's first parameter that is not negative
    std::size_t m_endValid = 0;           // m_sorted's first parameter beyond the fields of every take
    std::vector<std::size_t> m_fields;      // the fields a walk cuts, in order, each once
    std::vector<std::size_t> m_fieldEntry;  // field d's places: m_sorted[m_fieldEntry[d] .. m_fieldEntry[d + 1])
    bool m_walk = false;
    bool m_once = false;        // no parameter asked for twice
    bool m_contiguous = false;  // m_fields are p, p + 1, ..., each asked for once
    bool m_inOrder = false;     // m_sorted[k] goes to slot k up to m_endValid: a row's numbers go where they are read
    bool m_prefetch = true;
    static constexpr int kAhead = 12;  // takes between a prefetch and the take's parse
    static constexpr std::size_t kPrefetchLineBytes = 256;  // average line length from which a pick prefetches
};

// Bytes from which a column's memory is mapped on every core at once, and
// pages per core: below them a thread costs more than it saves.
constexpr std::size_t kFreshColumnBytes = std::size_t{8} << 20;
constexpr std::size_t kFreshPagesPerPart = 1024;

// Fields per part of a parallel parse: enough that starting a thread pays.
constexpr std::size_t kMinFieldsPerPart = 16384;

// Takes per part of a parallel parse of params parameters.
[[nodiscard]] std::size_t minTakesPerPart(std::size_t params) noexcept
{
    return std::max<std::size_t>(64, kMinFieldsPerPart / std::max<std::size_t>(params, 1));
}

}  // namespace

namespace {

// Takes first .. first + count - 1 parsed on every core, each core a range
// of them: parameter k of take first + i goes to to[k][i].
void parseTakes(const TakeParser& parser, std::size_t params, std::size_t first, std::size_t count,
                std::span<double* const> to)
{
    parallelFor(count, minTakesPerPart(params), [&](std::size_t begin, std::size_t end) {
        std::vector<double*> parts(params);
        for (std::size_t k = 0; k < params; ++k)
            parts[k] = to[k] + begin;
        parser.parse(static_cast<int>(first + begin), static_cast<int>(first + end), parts);
    });
}

}  // namespace

void parseColumnsInto(const TakeStore& store, std::span<const long long> params, std::span<double* const> outs)
{
    const std::size_t takes = static_cast<std::size_t>(store.takeCount());
    if (params.empty() || takes == 0)
        return;
    parseTakes(TakeParser(store, params), params.size(), 0, takes, outs);
}

void parseColumnsInto(const TakeStore& store, std::span<const long long> params, int first, int count,
                      std::span<double* const> outs)
{
    if (params.empty() || count <= 0)
        return;
    parseTakes(TakeParser(store, params), params.size(), static_cast<std::size_t>(first),
               static_cast<std::size_t>(count), outs);
}

namespace {

// A column of zeros over memory asked for at once: the system maps its
// pages in one call per core, which for 3.6 million takes took 8-10 ms on
// one core where touching them one fault at a time took 15. Where the call
// is unknown (kernels before 5.14) the zeros are written as usual.
[[nodiscard]] Column freshColumn(std::size_t takes)
{
    Column column;
    column.reserve(takes);
#if defined(MADV_POPULATE_WRITE)
    constexpr std::uintptr_t kPage = 4096;
    const auto first = (reinterpret_cast<std::uintptr_t>(column.data()) + kPage - 1) & ~(kPage - 1);
    const auto last = (reinterpret_cast<std::uintptr_t>(column.data() + takes)) & ~(kPage - 1);
    if (last > first) {
        adviseHugePages(column.data(), takes * sizeof(double));
        const std::size_t pages = (last - first) / kPage;
        const std::size_t parts = partCount(pages, kFreshPagesPerPart);
        try {
            runParts(parts, [&](std::size_t k) {
                const std::uintptr_t from = first + pages * k / parts * kPage;
                const std::uintptr_t to = first + pages * (k + 1) / parts * kPage;
                ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
            });
        } catch (...) {
            // Only a hint: the zeros below fault in what is left.
        }
    }
#endif
    column.resize(takes);
    return column;
}

}  // namespace

std::vector<Column> parseColumns(const TakeStore& store, std::span<const long long> params, std::vector<Column> storage)
{
    const std::size_t takes = static_cast<std::size_t>(store.takeCount());
    std::vector<Column> out = std::move(storage);
    out.resize(params.size());
    std::vector<double*> outs;
    outs.reserve(params.size());
    for (Column& column : out) {
        // A tall log's new column is mapped on every core, not zeroed a
        // fault at a time on this one.
        if (column.capacity() < takes && takes * sizeof(double) >= kFreshColumnBytes)
            column = freshColumn(takes);
        else
            column.resize(takes);
        outs.push_back(column.data());
    }
    parseColumnsInto(store, params, outs);
    return out;
}

std::optional<StreamedColumns> streamColumns(const std::filesystem::path& path, const ParamsOfNames& paramsOf,
                                             std::size_t chunkBytes)
{
    StreamedColumns out;
    std::uintmax_t fileBytes = 0;
    {
        std::error_code error;
        fileBytes = std::filesystem::file_size(path, error);
        if (error)
            return std::nullopt;
    }
    std::size_t takes = 0;
    std::vector<double*> outs;
    // Chunks indexed by their lines alone: their fields are walked, which
    // costs less than indexing their commas even for one field near the end
    // of long lines.
    std::optional<std::vector<ReadWarning>> warnings = streamOwnLog(
        path, chunkBytes,
        [&](const TakeStore& chunk, int firstTake) {
            if (firstTake == 0) {
                out.shape.names = chunk.ParamNames();
                out.params = paramsOf(out.shape.names);
                out.columns.resize(out.params.size());
                // Room for the takes the whole file holds at this chunk's
                // bytes a take, so that the columns rarely grow.
                const double perTake = static_cast<double>(std::max<std::size_t>(chunk.fileBytes(), 1)) /
                                       std::max(chunk.takeCount(), 1);
                const auto estimate = static_cast<std::size_t>(static_cast<double>(fileBytes) / perTake * 1.02) + 16;
                for (Column& column : out.columns)
                    column.reserve(std::max(estimate, static_cast<std::size_t>(chunk.takeCount())));
            }
            takes = static_cast<std::size_t>(firstTake) + static_cast<std::size_t>(chunk.takeCount());
            outs.clear();
            for (Column& column : out.columns) {
                column.resize(takes);
                outs.push_back(column.data() + firstTake);
            }
            parseColumnsInto(chunk, out.params, outs);
        },
        ChunkIndex::Lines);
    if (!warnings)
        return std::nullopt;
    out.shape.takeCount = static_cast<int>(takes);
    out.shape.fileBytes = static_cast<std::size_t>(fileBytes);
    out.warnings = std::move(*warnings);
    return out;
}

void forEachColumnBlock(const TakeStore& store, std::span<const long long> params,
                        const std::function<void(const ColumnBlock&)>& consume, std::size_t blockBytes)
{
    const std::size_t takes = static_cast<std::size_t>(store.takeCount());
    if (takes == 0)
        return;
    const std::size_t perTake = std::max<std::size_t>(params.size(), 1) * sizeof(double);
    const std::size_t blockTakes = std::clamp<std::size_t>(blockBytes / perTake, 1, takes);
    std::vector<double> values(blockTakes * params.size());
    std::vector<double*> columns(params.size());
    for (std::size_t k = 0; k < params.size(); ++k)
        columns[k] = values.data() + k * blockTakes;
    const TakeParser parser(store, params);
    for (std::size_t first = 0; first < takes; first += blockTakes) {
        const std::size_t count = std::min(blockTakes, takes - first);
        parseTakes(parser, params.size(), first, count, columns);
        consume(ColumnBlock(static_cast<int>(first), static_cast<int>(count), values.data(), blockTakes,
                            params.size()));
    }
}

bool runsForward(std::span<const double> values, double& previous) noexcept
{
    for (const double v : values) {
        if (!std::isfinite(v) || v < previous)
            return false;
        previous = v;
    }
    return true;
}

bool paramRunsForward(const TakeStore& store, long long param)
{
    if (store.takeCount() == 0)
        return false;
    bool forward = true;
    double previous = -std::numeric_limits<double>::infinity();
    const long long params[] = {param};
    forEachColumnBlock(store, params, [&](const ColumnBlock& block) {
        forward = forward && runsForward(block.column(0), previous);
    });
    return forward;
}

namespace {

// Cuts params into one run per core and calls parse(first, n, columns) for
// each run a block of takes at a time, in take order, then consume.
template <class MakeParser>
void paramRuns(std::size_t slots, int firstTake, int takeCount, std::size_t blockBytes, MakeParser&& makeParser,
               const std::function<void(std::size_t firstSlot, const ColumnBlock&)>& consume)
{
    if (slots == 0 || takeCount <= 0)
        return;
    const auto takes = static_cast<std::size_t>(takeCount);
    const std::size_t parts = std::min(partCount(slots, 1), partCount(slots * takes, kMinFieldsPerPart));
    runParts(parts, [&](std::size_t k) {
        const std::size_t firstSlot = slots * k / parts;
        const std::size_t count = slots * (k + 1) / parts - firstSlot;
        const auto parse = makeParser(firstSlot, count);
        const std::size_t blockTakes = std::clamp<std::size_t>(blockBytes / (count * sizeof(double)), 1, takes);
        std::vector<double> values(blockTakes * count);
        std::vector<double*> columns(count);
        for (std::size_t j = 0; j < count; ++j)
            columns[j] = values.data() + j * blockTakes;
        for (std::size_t done = 0; done < takes; done += blockTakes) {
            const auto n = static_cast<int>(std::min(blockTakes, takes - done));
            const int first = firstTake + static_cast<int>(done);
            parse(first, n, columns);
            consume(firstSlot, ColumnBlock(first, n, values.data(), blockTakes, count));
        }
    });
}

}  // namespace

void forEachParamRun(const TakeStore& store, std::span<const long long> params, int firstTake, int takeCount,
                     const std::function<void(std::size_t firstSlot, const ColumnBlock&)>& consume,
                     std::size_t blockBytes)
{
    paramRuns(params.size(), firstTake, takeCount, blockBytes,
              [&](std::size_t firstSlot, std::size_t count) {
                  return [parser = TakeParser(store, params.subspan(firstSlot, count))](
                             int first, int n, std::span<double* const> columns) {
                      parser.parse(first, first + n, columns);
                  };
              },
              consume);
}

void forEachParamRun(const LogChannels& log, std::span<const long long> params, int firstTake, int takeCount,
                     const std::function<void(std::size_t firstSlot, const ColumnBlock&)>& consume,
                     std::size_t blockBytes)
{
    paramRuns(params.size(), firstTake, takeCount, blockBytes,
              [&](std::size_t firstSlot, std::size_t count) {
                  return [&log, run = params.subspan(firstSlot, count)](int first, int n,
                                                                         std::span<double* const> columns) {
                      log.parseInto(run, first, n, columns);
                  };
              },
              consume);
}

namespace {

// Where the slots of params are cut into parts runs of consecutive slots:
// part k holds slots cuts[k] .. cuts[k + 1] - 1. A parameter within the
// names weighs four times one beyond them, which most lines lack, so that
// the parts' walks cost about alike; every part holds a slot at least.
std::vector<std::size_t> slotCuts(const TakeStore& store, std::span<const long long> params, std::size_t parts)
{
    const auto named = static_cast<long long>(store.ParamNames().size()) - 1;
    std::vector<std::size_t> weights(params.size());
    std::size_t total = 0;
    for (std::size_t k = 0; k < params.size(); ++k) {
        weights[k] = params[k] >= 0 && params[k] < named ? 4 : 1;
        total += weights[k];
    }
    std::vector<std::size_t> cuts{0};
    std::size_t sum = 0;
    for (std::size_t k = 0; k < params.size() && cuts.size() < parts; ++k) {
        if (sum * parts >= total * cuts.size() && k > cuts.back())
            cuts.push_back(k);
        sum += weights[k];
    }
    cuts.push_back(params.size());
    return cuts;
}

// Slots up to which forEachParamRows cuts the parse by takes: lines of so
// few fields cost their walk more than their numbers, and a core walking
// every line for its share of the parameters made the walk twice (the
// report of a 3,600,000 x 10 log ran on 1.2 of its 2 cores).
constexpr std::size_t kSlotsCutByTakes = 64;

// forEachParamRows cut by takes: the cores parse a window of takes together,
// each a range of its takes with every parameter, into rows they share;
// once all are in, each hands on its run of slots over the whole window, so
// that each slot still meets its numbers in take order on one thread. The
// rows of two windows take turns: a core starts parsing the next while
// another may still be handing on the last, and the window after can only
// be begun once every core has met past that one.
void rowsCutByTakes(const TakeStore& store, std::span<const long long> params, int firstTake, std::size_t takes,
                    const std::function<void(std::size_t firstSlot, const RowBlock&)>& consume, std::size_t parts,
                    std::size_t blockBytes)
{
    const std::size_t slots = params.size();
    const TakeParser parser(store, params);
    const std::size_t windowTakes = std::clamp<std::size_t>(blockBytes * parts / (slots * sizeof(double)), 1, takes);
    std::array<std::vector<double>, 2> rows{std::vector<double>(windowTakes * slots),
                                            std::vector<double>(takes > windowTakes ? windowTakes * slots : 0)};
    std::atomic<bool> failed{false};
    runTogether(parts, [&](std::size_t k, std::size_t cores, std::barrier<>& meet) {
        const std::size_t firstSlot = slots * k / cores;
        const std::size_t count = slots * (k + 1) / cores - firstSlot;
        std::size_t turn = 0;
        for (std::size_t done = 0; done < takes; done += windowTakes, turn ^= 1) {
            const std::size_t n = std::min(windowTakes, takes - done);
            const int first = firstTake + static_cast<int>(done);
            double* const values = rows[turn].data();
            const std::size_t begin = n * k / cores;
            const std::size_t end = n * (k + 1) / cores;
            if (!failed.load(std::memory_order_relaxed))
                parser.parseTo(first + static_cast<int>(begin), first + static_cast<int>(end),
                               RowsOut{values + begin * slots, slots});
            meet.arrive_and_wait();
            // Set before its core met here: every core leaves at the same window.
            if (failed.load(std::memory_order_relaxed))
                return;
            if (count == 0)
                continue;
            try {
                consume(firstSlot, RowBlock(first, static_cast<int>(n), values + firstSlot, slots, count));
            } catch (...) {
                failed.store(true, std::memory_order_relaxed);
                meet.arrive_and_drop();
                throw;
            }
        }
    });
}

}  // namespace

void forEachParamRows(const TakeStore& store, std::span<const long long> params, int firstTake, int takeCount,
                      const std::function<void(std::size_t firstSlot, const RowBlock&)>& consume,
                      std::size_t blockBytes)
{
    if (params.empty() || takeCount <= 0)
        return;
    const std::size_t slots = params.size();
    const auto takes = static_cast<std::size_t>(takeCount);
    const std::size_t parts = std::min(partCount(slots, 1), partCount(slots * takes, kMinFieldsPerPart));
    if (parts > 1 && slots <= kSlotsCutByTakes) {
        rowsCutByTakes(store, params, firstTake, takes, consume, parts, blockBytes);
        return;
    }
    const std::vector<std::size_t> cuts = slotCuts(store, params, parts);
    runParts(cuts.size() - 1, [&](std::size_t k) {
        const std::size_t firstSlot = cuts[k];
        const std::size_t count = cuts[k + 1] - firstSlot;
        const TakeParser parser(store, params.subspan(firstSlot, count));
        const std::size_t blockTakes = std::clamp<std::size_t>(blockBytes / (count * sizeof(double)), 1, takes);
        std::vector<double> values(blockTakes * count);
        for (std::size_t done = 0; done < takes; done += blockTakes) {
            const auto n = static_cast<int>(std::min(blockTakes, takes - done));
            const int first = firstTake + static_cast<int>(done);
            parser.parseTo(first, first + n, RowsOut{values.data(), count});
            consume(firstSlot, RowBlock(first, n, values.data(), count, count));
        }
    });
}

namespace {

ColumnLoader storeLoader(const TakeStore* store)
{
    return [store](std::span<const long long> params, std::vector<Column> storage) {
        return parseColumns(*store, params, std::move(storage));
    };
}

// Names and size of a log not held in a take store.
LogShape shapeOf(const LogChannels& log)
{
    return LogShape{log.ParamNames(), log.takeCount(), log.fileBytes()};
}

ColumnLoader loaderOf(std::shared_ptr<const LogChannels> log)
{
    return [log = std::move(log)](std::span<const long long> params, std::vector<Column> storage) {
        const auto takes = static_cast<std::size_t>(log->takeCount());
        std::vector<Column> out = std::move(storage);
        out.resize(params.size());
        std::vector<double*> outs;
        outs.reserve(params.size());
        for (Column& column : out) {
            column.resize(takes);
            outs.push_back(column.data());
        }
        log->parseInto(params, 0, log->takeCount(), outs);
        return out;
    };
}

}  // namespace

ColumnCache::ColumnCache(std::shared_ptr<const TakeStore> store, std::size_t budgetBytes)
    : m_store(std::move(store)), m_budget(budgetBytes ? budgetBytes : defaultBudget(*m_store))
{
    m_shape.takeCount = m_store->takeCount();
    m_shape.fileBytes = m_store->fileBytes();
    m_loader = storeLoader(m_store.get());
}

ColumnCache::ColumnCache(std::shared_ptr<const LogChannels> log, std::size_t budgetBytes)
    : m_log(std::move(log))
{
    // The own format keeps the store's road (and store() for its callers);
    // every other format parses through its reader.
    if (m_log->format() == LogFormat::Datalog && m_log->sharedTextStore()) {
        m_store = m_log->sharedTextStore();
        m_loader = storeLoader(m_store.get());
        m_shape.takeCount = m_store->takeCount();
        m_shape.fileBytes = m_store->fileBytes();
    } else {
        m_shape = shapeOf(*m_log);
        m_loader = loaderOf(m_log);
    }
    m_budget = budgetBytes ? budgetBytes : defaultBudget(m_shape.takeCount, m_shape.fileBytes);
}

ColumnCache::ColumnCache(LogShape shape, ColumnLoader loader, std::size_t budgetBytes)
    : m_shape(std::move(shape)), m_loader(std::move(loader)),
      m_budget(budgetBytes ? budgetBytes : defaultBudget(m_shape.takeCount, m_shape.fileBytes))
{
}

const std::vector<std::string>& ColumnCache::paramNames() const noexcept
{
    return m_store ? m_store->ParamNames() : m_shape.names;
}

std::size_t ColumnCache::defaultBudget(const TakeStore& store) noexcept
{
    return defaultBudget(store.takeCount(), store.fileBytes());
}

std::size_t ColumnCache::defaultBudget(int takeCount, std::size_t fileBytes) noexcept
{
    // A small log keeps many columns whatever its size; a tall one (few
    // fields, millions of takes) may not: there a column costs a fifth of
    // the file or more.
    const std::size_t columnBytes = static_cast<std::size_t>(std::max(takeCount, 0)) * sizeof(double);
    const std::size_t half = fileBytes / 2;
    const std::size_t small = std::min(64 * columnBytes, kSmallLogBudget);
    return std::min<std::size_t>(std::max(half, small), std::size_t{4} << 30);
}

std::vector<ColumnPtr> ColumnCache::columns(std::span<const long long> params)
{
    std::vector<ColumnPtr> result(params.size());
    std::vector<long long> missing;
    {
        std::lock_guard lock(m_mutex);
        for (std::size_t k = 0; k < params.size(); ++k) {
            const auto found = m_entries.find(params[k]);
            if (found != m_entries.end()) {
                result[k] = found->second.column;
                touch(params[k]);
            } else if (std::find(missing.begin(), missing.end(), params[k]) == missing.end()) {
                missing.push_back(params[k]);
            }
        }
    }
    if (missing.empty())
        return result;
    // Parsed outside the lock: another thread may parse the same column at
    // the same time; the first one stored wins and both are equal.
    std::vector<Column> storage;
    std::future<Column> spare;
    {
        std::lock_guard lock(m_mutex);
        // Room is made before the parse, so that a column dropped for it
        // lends its memory to the first one parsed.
        evict(missing.size() * columnBytes());
        lendIdleColumn();
        spare = std::move(m_spare);
    }
    if (spare.valid()) {
        try {
            storage.push_back(spare.get());
        } catch (...) {
            // No memory for it then; the parse asks again.
        }
    }
    std::vector<Column> parsed = m_loader(missing, std::move(storage));
    std::lock_guard lock(m_mutex);
    for (std::size_t m = 0; m < missing.size(); ++m) {
        const ColumnPtr column = hold(missing[m], std::move(parsed[m]));
        for (std::size_t k = 0; k < params.size(); ++k)
            if (params[k] == missing[m])
                result[k] = column;
    }
    // A column dropped just now may become the spare; no new one is made:
    // a tall log's column is a fifth of the file, and holding one idle
    // beside the first curve's would keep the window's memory far above
    // the file's size for a later curve's 10 ms.
    evict();
    return result;
}

void ColumnCache::insert(long long param, Column column)
{
    std::lock_guard lock(m_mutex);
    hold(param, std::move(column));
    evict();
}

ColumnPtr ColumnCache::hold(long long param, Column column)
{
    const auto found = m_entries.find(param);
    if (found != m_entries.end()) {
        touch(param);
        return found->second.column;
    }
    // Made as a mutable object, so that once dropped by the cache and held
    // by no one else its memory may be taken over as the spare.
    ColumnPtr held = std::make_shared<Column>(std::move(column));
    m_order.push_front(param);
    m_entries.emplace(param, Entry{held, m_order.begin()});
    m_bytes += held->size() * sizeof(double);
    return held;
}

ColumnPtr ColumnCache::column(long long param)
{
    return columns(std::span<const long long>(&param, 1)).front();
}

ColumnPtr ColumnCache::cachedColumn(long long param) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_entries.find(param);
    return found != m_entries.end() ? found->second.column : nullptr;
}

void ColumnCache::keepSpareColumn()
{
    std::lock_guard lock(m_mutex);
    if (m_shape.takeCount < kSpareFromTakes)
        return;
    m_keepSpare = true;
    if (!m_spare.valid())
        prepareSpare();
}

bool ColumnCache::holdsSpare() const
{
    std::lock_guard lock(m_mutex);
    return m_spare.valid();
}


void ColumnCache::prepareSpare()
{
    const auto takes = static_cast<std::size_t>(m_shape.takeCount);
    try {
        m_spare = std::async(std::launch::async, [takes] { return freshColumn(takes); });
    } catch (...) {
        // No thread to spare: the next column is made when it is parsed.
    }
}

void ColumnCache::recycle(ColumnPtr& column)
{
    // Held by the cache alone (others only copy it under m_mutex, which is
    // held here), so nothing reads it any more; hold() made it mutable.
    if (!m_keepSpare || m_spare.valid() || column.use_count() != 1 ||
        column->size() != static_cast<std::size_t>(m_shape.takeCount))
        return;
    std::promise<Column> ready;
    ready.set_value(std::move(const_cast<Column&>(*column)));
    m_spare = ready.get_future();
}

void ColumnCache::lendIdleColumn()
{
    // Fresh pages cost far more than the parse of a column on some machines
    // (virtual ones above all); a column asked for again is parsed anew.
    if (!m_keepSpare || m_spare.valid())
        return;
    for (auto at = m_order.end(); at != m_order.begin();) {
        --at;
        const auto found = m_entries.find(*at);
        if (found->second.column.use_count() != 1)
            continue;
        m_bytes -= found->second.column->size() * sizeof(double);
        recycle(found->second.column);
        m_entries.erase(found);
        m_order.erase(at);
        return;
    }
}

std::size_t ColumnCache::cachedBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_bytes;
}

void ColumnCache::touch(long long param)
{
    Entry& entry = m_entries.at(param);
    m_order.splice(m_order.begin(), m_order, entry.position);
}

std::size_t ColumnCache::columnBytes() const noexcept
{
    return static_cast<std::size_t>(std::max(m_shape.takeCount, 0)) * sizeof(double);
}

bool ColumnCache::dropsFor(std::size_t coming) const noexcept
{
    // The most recently used column always stays, even over budget, so that
    // what was just asked for is not parsed again at once.
    return m_bytes + coming > m_budget && m_order.size() > 1;
}

void ColumnCache::evict(std::size_t coming)
{
    while (dropsFor(coming)) {
        const long long oldest = m_order.back();
        m_order.pop_back();
        const auto found = m_entries.find(oldest);
        m_bytes -= found->second.column->size() * sizeof(double);
        recycle(found->second.column);
        m_entries.erase(found);
    }
}

}  // namespace dlv
