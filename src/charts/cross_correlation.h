#pragma once

// The cross-correlation of two real sequences through a fast Fourier
// transform (radix 2, written here so that the core needs no library).

#include <span>
#include <vector>

namespace dlv {

// c[L] = sum over j of a[j + L] * b[j], the sum over the j where both indices
// lie in their sequences (0 where none do), for every lag L in
// lowLag .. highLag (lowLag <= highLag), element L - lowLag of the result.
// One transform of size 2^k >= max(highLag + b.size(), a.size() - lowLag)
// there and one back: O(M log M) time, 16 bytes a point, exact to rounding
// (about 1e-15 of the norms' product times log M). Throws std::bad_alloc.
[[nodiscard]] std::vector<double> crossCorrelation(std::span<const double> a, std::span<const double> b,
                                                   long long lowLag, long long highLag);

}  // namespace dlv
