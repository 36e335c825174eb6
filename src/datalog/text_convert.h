#pragma once

// The pass that turns the data rows of a text log of another tool into
// takes of the own format, in place or into another buffer: every byte
// stays where it is (one-byte separators and decimal commas swapped), so
// the pass splits over the cores at any line start and needs no second
// pass. A row that is no record (an empty line, a marker, a row without a
// value) becomes spaces, which the next line's first cell starts with and
// the own format trims; only those at the very end are cut off.

#include "datalog/log_channels.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dlv {

class ByteBuffer;

// How the bytes of one log's data rows are converted.
struct RowRules {
    char separator = ',';  // the log's, written as ','
    char commaTo = ',';    // what a ',' in a cell becomes: '.' for a decimal comma, ';' otherwise
    bool markerRows = false;  // MSL: a row whose first cell is not a number is a marker (or odd, when empty)
    bool timeOfDay = false;   // %DataLog%: the first cell is a time of day, written as seconds of the day
    std::size_t columns = 0;  // the names, for noting which channels hold words
};

// A row that is no take, at the record it stands before.
struct DroppedRow {
    enum class Kind : std::uint8_t { Empty, Marker, Odd };
    std::uint64_t take = 0;
    Kind kind = Kind::Empty;
};

// What the pass found in the rows.
struct RowsOutcome {
    std::uint64_t records = 0;
    std::vector<DroppedRow> dropped;  // in row order
    std::vector<LogMarker> markers;   // their takes counted as dropped[].take
    std::vector<std::uint8_t> words;  // by column: 1 where a cell held an on/off word
};

// Converts the bytes src[0, size) into dst[0, size) (dst may be src) by
// rules, in parts on every core. When source is given (the buffer src
// lies in, at sourceOffset) and dst is not src, the pages of src already
// read are given back to the system as the pass goes, so the two buffers
// never take much more memory than one. Returns the size the converted
// bytes end at: size, less the spaces of rows dropped at the end. Throws
// std::bad_alloc.
[[nodiscard]] std::size_t convertRows(const char* src, char* dst, std::size_t size, const RowRules& rules,
                                      RowsOutcome& outcome, ByteBuffer* source = nullptr,
                                      std::size_t sourceOffset = 0);

// The first CR or LF in [p, end), or end. O(distance).
[[nodiscard]] const char* findLineEnd(const char* p, const char* end) noexcept;

}  // namespace dlv
