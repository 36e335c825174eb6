#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace dlv {

// Where the lines of bytes[from, size) are cut into `parts` parts of about
// equal size, for passes split over the cores: each cut is the start of a
// line (after a CR, LF or CR LF). Fewer parts come back when lines are too
// long to cut the bytes that finely. O(parts) searches for a line end.
[[nodiscard]] inline std::vector<std::size_t> partStarts(const char* bytes, std::size_t from, std::size_t size,
                                                         std::size_t parts)
{
    std::vector<std::size_t> starts{from};
    for (std::size_t k = 1; k < parts; ++k) {
        std::size_t q = std::max(from + (size - from) / parts * k, starts.back());
        // The first CR or LF from q on; lines may be gigabytes long.
        const auto* lf = static_cast<const char*>(std::memchr(bytes + q, '\n', size - q));
        const std::size_t lfAt = lf ? static_cast<std::size_t>(lf - bytes) : size;
        const auto* cr = static_cast<const char*>(std::memchr(bytes + q, '\r', lfAt - q));
        q = cr ? static_cast<std::size_t>(cr - bytes) : lfAt;
        if (q >= size)
            break;
        const std::size_t next = bytes[q] == '\r' && q + 1 < size && bytes[q + 1] == '\n' ? q + 2 : q + 1;
        if (next >= size)
            break;
        if (next > starts.back())
            starts.push_back(next);
    }
    return starts;
}

}  // namespace dlv
