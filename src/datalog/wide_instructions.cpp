#include "datalog/wide_instructions.h"

#include <atomic>

namespace dlv {

namespace {

std::atomic<bool> g_allowed{true};

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

bool useWideInstructions() noexcept
{
    static const bool has = processorHasThem();
    return has && g_allowed.load(std::memory_order_relaxed);
}

void allowWideInstructions(bool allowed) noexcept
{
    g_allowed.store(allowed, std::memory_order_relaxed);
}

}  // namespace dlv
