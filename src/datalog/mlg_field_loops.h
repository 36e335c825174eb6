#pragma once

// The loops that decode one MLG field over a block of records: the numbers
// a channel's column is made of.

#include "datalog/mlg_header.h"

#include <cstddef>

namespace dlv {

// out[i] = mlgValue of field in the record that starts at first + i * stride,
// for i < n. Built twice (see wide_instructions.h): with AVX2, eight records
// at a time, their fields gathered and turned into numbers in vector lanes,
// to the same bits. May read up to 3 bytes past a field of 1 or 2 bytes,
// which a record's checksum byte and its buffer's padding cover. O(n).
void decodeEvenlySpaced(const MlgField& field, const unsigned char* first, std::size_t stride, std::size_t n,
                        double* out) noexcept;

// The same over records wherever they lie: records[i] is record i's first byte.
void decodeScattered(const MlgField& field, const unsigned char* const* records, std::size_t n, double* out) noexcept;

}  // namespace dlv
