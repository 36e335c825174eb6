#include "datalog/parallel.h"

#include <algorithm>

namespace dlv {

std::size_t partCount(std::size_t items, std::size_t minPerPart) noexcept
{
    // Asked once: the system reads a file to answer, and some passes ask for
    // every parameter of a log.
    static const std::size_t threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
    const std::size_t bySize = items / std::max<std::size_t>(minPerPart, 1);
    return std::clamp<std::size_t>(std::min(threads, bySize), 1, 8);
}

}  // namespace dlv
