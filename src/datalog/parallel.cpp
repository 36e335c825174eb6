#include "datalog/parallel.h"

#include <sys/resource.h>

#include <algorithm>

namespace dlv {

namespace {

// Whether the process runs under a limit on its address space or data size
// (ulimit -v, ulimit -d). Asked anew each time: a limit can be set at any time.
bool memoryLimited() noexcept
{
    for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit limit{};
        if (::getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            return true;
    }
    return false;
}

}  // namespace

std::size_t partCount(std::size_t items, std::size_t minPerPart) noexcept
{
    // Asked once: the system reads a file to answer, and some passes ask for
    // every parameter of a log.
    static const std::size_t threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
    const std::size_t bySize = items / std::max<std::size_t>(minPerPart, 1);
    const std::size_t parts = std::clamp<std::size_t>(std::min(threads, bySize), 1, 8);
    // Every further thread takes address space: its stack, and in glibc a
    // malloc arena of 64 MiB, which is reserved only when that much is free.
    // Under a limit, that made whether a log fits turn back as the limit
    // grew (refused at one limit, read at a lower one). There every pass
    // runs on the calling thread alone, whose needs do not depend on what
    // happens to be free.
    if (parts > 1 && memoryLimited())
        return 1;
    return parts;
}

}  // namespace dlv
