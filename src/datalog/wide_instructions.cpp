#include "datalog/wide_instructions.h"

#include <atomic>

#if defined(DLV_WIDE_INSTRUCTIONS)
#include <immintrin.h>
#endif

namespace dlv {

namespace {

[[nodiscard]] bool processorHasAvx() noexcept
{
#if defined(DLV_WIDE_INSTRUCTIONS)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx");
#else
    return false;
#endif
}

#if defined(DLV_WIDE_INSTRUCTIONS)
[[gnu::target("avx")]] void zeroUpper() noexcept
{
    _mm256_zeroupper();
}
#endif

[[nodiscard]] bool processorHasThem() noexcept
{
#if defined(DLV_WIDE_INSTRUCTIONS)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("popcnt");
#else
    return false;
#endif
}

}  // namespace

std::atomic<bool> detail::g_useWideInstructions{processorHasThem()};

void clearVectorUpperHalves() noexcept
{
#if defined(DLV_WIDE_INSTRUCTIONS)
    static const bool hasAvx = processorHasAvx();
    if (hasAvx)
        zeroUpper();
#endif
}

void allowWideInstructions(bool allowed) noexcept
{
    detail::g_useWideInstructions.store(allowed && processorHasThem(), std::memory_order_relaxed);
}

}  // namespace dlv
