#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dlv::bench {

// What the fastest possible look at a log finds: its line feeds and commas.
struct FloorCounts {
    std::uint64_t lineFeeds = 0;
    std::uint64_t commas = 0;
};

// Counts line feeds and commas of bytes[0, size) in one vectorised pass
// (AVX2 when the processor has it, SSE2 otherwise).
[[nodiscard]] FloorCounts countLineFeedsAndCommas(const char* bytes, std::size_t size) noexcept;

// The same count one byte at a time: a plain loop with a branch per byte,
// kept from being vectorised. The floor the report and tall-log targets are
// set against.
[[nodiscard]] FloorCounts countLineFeedsAndCommasPlain(const char* bytes, std::size_t size) noexcept;

enum class FloorLoop { Vectorised, Plain };

// The floor of reading a log: maps the file (MAP_POPULATE, so that the page
// tables are filled from the page cache at once) and makes the one pass
// above, then unmaps it. Throws std::runtime_error when the file cannot be
// mapped.
[[nodiscard]] FloorCounts scanMappedFile(const std::string& path, FloorLoop loop = FloorLoop::Vectorised);

}  // namespace dlv::bench
