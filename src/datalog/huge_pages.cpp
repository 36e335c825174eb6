#include "datalog/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace dlv {

void adviseHugePages(void* data, std::size_t bytes) noexcept
{
#if defined(MADV_HUGEPAGE)
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePageBytes - 1) & ~std::uintptr_t{kHugePageBytes - 1};
    const std::uintptr_t last = (begin + bytes) & ~std::uintptr_t{kHugePageBytes - 1};
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace dlv
