#include "charts/cross_correlation.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>

namespace dlv {

namespace {

// A complex number as two doubles: std::complex's product checks for
// infinities on every multiplication, which would double the cost of a
// transform whose numbers are all finite.
struct Cx {
    double re = 0.0;
    double im = 0.0;
};

inline Cx operator+(Cx x, Cx y) noexcept { return {x.re + y.re, x.im + y.im}; }
inline Cx operator-(Cx x, Cx y) noexcept { return {x.re - y.re, x.im - y.im}; }
inline Cx operator*(Cx x, Cx y) noexcept { return {x.re * y.re - x.im * y.im, x.re * y.im + x.im * y.re}; }
inline Cx conj(Cx x) noexcept { return {x.re, -x.im}; }

// The twiddle factors of every stage of a transform of size m, one table:
// entry n/2 + i is exp(-2 pi i / n) for the stage of size n, i < n/2, so each
// stage reads its factors in order. Sines and cosines are taken for one
// eighth of the circle, the rest follows by symmetry; the smaller stages
// take every second factor of the next larger one.
std::vector<Cx> twiddles(std::size_t m)
{
    std::vector<Cx> w(std::max<std::size_t>(m, 2));
    const std::size_t half = m / 2;
    if (half >= 1) {
        Cx* top = w.data() + half;  // exp(-2 pi i k / m), k < m/2
        const std::size_t quarter = m / 4;
        const std::size_t eighth = m / 8;
        top[0] = {1.0, 0.0};
        for (std::size_t k = 1; k <= eighth; ++k) {
            const double angle = 2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(m);
            const double c = std::cos(angle);
            const double s = std::sin(angle);
            top[k] = {c, -s};
            top[quarter - k] = {s, -c};
            top[quarter + k] = {-s, -c};
            if (half - k > quarter + k)
                top[half - k] = {-c, -s};
        }
        if (quarter >= 1 && quarter < half)
            top[quarter] = {0.0, -1.0};
        for (std::size_t n = half; n >= 2; n /= 2)
            for (std::size_t i = 0; i < n / 2; ++i)
                w[n / 2 + i] = w[n + 2 * i];
    }
    return w;
}

// Stages of at most this size run within one block that stays in cache.
constexpr std::size_t kBlock = 4096;

// One stage of butterflies over p[0 .. 2h - 1] with the factors f of that
// stage: forward (decimation in frequency) and its undoing (in time).
inline void forwardStage(Cx* p, std::size_t h, const Cx* f) noexcept
{
    for (std::size_t i = 0; i < h; ++i) {
        const Cx u = p[i];
        const Cx v = p[i + h];
        p[i] = u + v;
        p[i + h] = (u - v) * f[i];
    }
}

inline void inverseStage(Cx* p, std::size_t h, const Cx* f) noexcept
{
    for (std::size_t i = 0; i < h; ++i) {
        const Cx u = p[i];
        const Cx v = p[i + h] * conj(f[i]);
        p[i] = u + v;
        p[i + h] = u - v;
    }
}

// The stage of size 2, whose factor is 1, the same both ways.
void pairStage(Cx* x, std::size_t n) noexcept
{
    for (std::size_t i = 0; i + 1 < n; i += 2) {
        const Cx u = x[i];
        x[i] = u + x[i + 1];
        x[i + 1] = u - x[i + 1];
    }
}

// Forward transform, decimation in frequency: natural order in, the
// spectrum in bit-reversed order out. n is a power of two. The stages larger
// than a block run over the whole array once each; a block runs all of its
// stages while in cache.
void forward(Cx* x, std::size_t n, const Cx* w) noexcept
{
    if (n > kBlock) {
        forwardStage(x, n / 2, w + n / 2);
        forward(x, n / 2, w);
        forward(x + n / 2, n / 2, w);
        return;
    }
    for (std::size_t len = n; len >= 4; len /= 2)
        for (std::size_t start = 0; start < n; start += len)
            forwardStage(x + start, len / 2, w + len / 2);
    pairStage(x, n);
}

// The inverse without the factor 1/n, decimation in time: bit-reversed
// order in, natural order out; it undoes forward() stage by stage.
void inverse(Cx* x, std::size_t n, const Cx* w) noexcept
{
    if (n > kBlock) {
        inverse(x, n / 2, w);
        inverse(x + n / 2, n / 2, w);
        inverseStage(x, n / 2, w + n / 2);
        return;
    }
    pairStage(x, n);
    for (std::size_t len = 4; len <= n; len *= 2)
        for (std::size_t start = 0; start < n; start += len)
            inverseStage(x + start, len / 2, w + len / 2);
}

// The bits of k (below 2^bits) in reverse order.
std::size_t reverseBits(std::size_t k, int bits) noexcept
{
    std::uint64_t r = k;
    r = ((r >> 1) & 0x5555555555555555ULL) | ((r & 0x5555555555555555ULL) << 1);
    r = ((r >> 2) & 0x3333333333333333ULL) | ((r & 0x3333333333333333ULL) << 2);
    r = ((r >> 4) & 0x0F0F0F0F0F0F0F0FULL) | ((r & 0x0F0F0F0F0F0F0F0FULL) << 4);
    r = ((r >> 8) & 0x00FF00FF00FF00FFULL) | ((r & 0x00FF00FF00FF00FFULL) << 8);
    r = ((r >> 16) & 0x0000FFFF0000FFFFULL) | ((r & 0x0000FFFF0000FFFFULL) << 16);
    r = (r >> 32) | (r << 32);
    return bits == 0 ? 0 : static_cast<std::size_t>(r >> (64 - bits));
}

}  // namespace

std::vector<double> crossCorrelation(std::span<const double> a, std::span<const double> b, long long lowLag,
                                     long long highLag)
{
    std::vector<double> out(static_cast<std::size_t>(std::max(0LL, highLag - lowLag + 1)), 0.0);
    const auto na = static_cast<long long>(a.size());
    const auto nb = static_cast<long long>(b.size());
    // Lags where any j counts; the others stay 0.
    const long long lo = std::max(lowLag, -(nb - 1));
    const long long hi = std::min(highLag, na - 1);
    if (na == 0 || nb == 0 || lo > hi)
        return out;

    // Large enough that no lag asked for meets another lag's sum going round.
    const auto needed = static_cast<std::size_t>(std::max({hi + nb, na - lo, na, nb}));
    const std::size_t m = std::bit_ceil(std::max<std::size_t>(needed, 2));
    const int bits = std::countr_zero(m);

    // Both sequences in one transform, a in the real and b in the imaginary
    // part; their spectra are told apart by the symmetry of real sequences:
    // A(k) = (Z(k) + conj Z(-k)) / 2, B(k) = (Z(k) - conj Z(-k)) / 2i.
    std::vector<Cx> z(m);
    for (std::size_t i = 0; i < a.size(); ++i)
        z[i].re = a[i];
    for (std::size_t i = 0; i < b.size(); ++i)
        z[i].im = b[i];
    const std::vector<Cx> w = twiddles(m);
    forward(z.data(), m, w.data());

    // The correlation's spectrum is A(k) conj B(k), whose value at -k is the
    // conjugate of that at k (the correlation is real): each pair of
    // frequencies is worked out once, in place. Position p holds frequency
    // reverseBits(p).
    for (std::size_t p = 0; p < m; ++p) {
        const std::size_t k = reverseBits(p, bits);
        const std::size_t q = reverseBits((m - k) & (m - 1), bits);
        if (q < p)
            continue;
        const Cx zk = z[p];
        const Cx zm = conj(z[q]);
        const Cx ak{0.5 * (zk.re + zm.re), 0.5 * (zk.im + zm.im)};
        // (zk - zm) / 2i
        const Cx bk{0.5 * (zk.im - zm.im), -0.5 * (zk.re - zm.re)};
        const Cx ck = ak * conj(bk);
        z[p] = ck;
        z[q] = conj(ck);
    }
    inverse(z.data(), m, w.data());

    const double scale = 1.0 / static_cast<double>(m);
    const auto size = static_cast<long long>(m);
    for (long long lag = lo; lag <= hi; ++lag)
        out[static_cast<std::size_t>(lag - lowLag)] = z[static_cast<std::size_t>(((lag % size) + size) % size)].re * scale;
    return out;
}

}  // namespace dlv
