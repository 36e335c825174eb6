#pragma once

// The loops over every byte or number of a log (the column parse, the
// indexing of streamed chunks) are built twice on x86-64: for any such
// processor, and for those with AVX2, BMI1/2 and POPCNT (most since 2013),
// whose instructions made the report of a 300,000 x 256 log take about 9 %
// less processor time here. Mostly both copies come from the same code;
// the few pieces written for the newer instructions alone (a curve's
// column: its fields found from a comma mask, its numbers parsed four at
// once) follow the same rules. Both give the same results bit for bit,
// which the tests check of each: the program is built with floating-point
// contraction off, so neither fuses a multiplication and an addition.
//
//   DLV_WIDE_INSTRUCTIONS   marks a function built with those instructions;
//                           defined only where they can be asked for.
//   useWideInstructions()   whether to call such a function: the processor
//                           has them and tests have not turned them off.

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define DLV_WIDE_INSTRUCTIONS [[gnu::target("avx2,bmi,bmi2,popcnt")]]
#endif

#include <atomic>

namespace dlv {

namespace detail {
// Whether the processor has them and tests allow them: set as the program
// starts (false until then, which only means the plain copy).
extern std::atomic<bool> g_useWideInstructions;
}  // namespace detail

// O(1): a flag read, inline, since the decode loops ask it per field.
[[nodiscard]] inline bool useWideInstructions() noexcept
{
    return detail::g_useWideInstructions.load(std::memory_order_relaxed);
}

// For tests, which run both copies: false keeps every pass to the copy for
// any processor until set true again.
void allowWideInstructions(bool allowed) noexcept;

// Clears the upper halves of the vector registers (VZEROUPPER) where the
// processor has them: called as each part of a pass begins, on whatever
// thread. A thread starts with its creator's registers, and code outside
// ours (in a window process, something run while the toolkit starts) can
// leave those halves set; while they are, every instruction of the
// plain-processor copy that writes a vector register waits for the one
// before it: in the window the BLM table of the 300,000 x 256 log took 78
// ms instead of 14. About a nanosecond; never throws.
void clearVectorUpperHalves() noexcept;

}  // namespace dlv
