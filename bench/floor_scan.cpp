#include "floor_scan.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <immintrin.h>
#include <stdexcept>

namespace dlv::bench {

namespace {

FloorCounts countScalarTail(const char* bytes, std::size_t from, std::size_t size, FloorCounts counts) noexcept
{
    for (std::size_t i = from; i < size; ++i) {
        counts.lineFeeds += bytes[i] == '\n';
        counts.commas += bytes[i] == ',';
    }
    return counts;
}

__attribute__((target("avx2"))) FloorCounts countAvx2(const char* bytes, std::size_t size) noexcept
{
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i comma = _mm256_set1_epi8(',');
    FloorCounts counts;
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 32));
        const auto lfA = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, lf)));
        const auto lfB = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, lf)));
        const auto cA = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, comma)));
        const auto cB = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, comma)));
        counts.lineFeeds += static_cast<unsigned>(__builtin_popcountll((std::uint64_t{lfB} << 32) | lfA));
        counts.commas += static_cast<unsigned>(__builtin_popcountll((std::uint64_t{cB} << 32) | cA));
    }
    return countScalarTail(bytes, i, size, counts);
}

FloorCounts countSse2(const char* bytes, std::size_t size) noexcept
{
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i comma = _mm_set1_epi8(',');
    FloorCounts counts;
    std::size_t i = 0;
    for (; i + 16 <= size; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        counts.lineFeeds += static_cast<unsigned>(__builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, lf)))));
        counts.commas += static_cast<unsigned>(__builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, comma)))));
    }
    return countScalarTail(bytes, i, size, counts);
}

}  // namespace

FloorCounts countLineFeedsAndCommas(const char* bytes, std::size_t size) noexcept
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 ? countAvx2(bytes, size) : countSse2(bytes, size);
}

#if defined(__clang__)
FloorCounts countLineFeedsAndCommasPlain(const char* bytes, std::size_t size) noexcept
#else
__attribute__((optimize("no-tree-vectorize"))) FloorCounts countLineFeedsAndCommasPlain(const char* bytes, std::size_t size) noexcept
#endif
{
    FloorCounts counts;
#if defined(__clang__)
#pragma clang loop vectorize(disable) interleave(disable)
#endif
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] == ',')
            ++counts.commas;
        else if (bytes[i] == '\n')
            ++counts.lineFeeds;
    }
    return counts;
}

FloorCounts scanMappedFile(const std::string& path, FloorLoop loop)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_size == 0) {
        ::close(fd);
        throw std::runtime_error("cannot map " + path);
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED)
        throw std::runtime_error("cannot map " + path + ": " + std::strerror(errno));
    const char* bytes = static_cast<const char*>(map);
    const FloorCounts counts =
        loop == FloorLoop::Plain ? countLineFeedsAndCommasPlain(bytes, size) : countLineFeedsAndCommas(bytes, size);
    ::munmap(map, size);
    return counts;
}

}  // namespace dlv::bench
