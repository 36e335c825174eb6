#pragma once

#include "datalog/wide_instructions.h"

#include <algorithm>
#include <barrier>
#include <cstddef>
#include <exception>
#include <latch>
#include <thread>
#include <vector>

namespace dlv {

// Number of parts a pass over `items` things should be split into: one per
// hardware thread, at most 8, and none smaller than minPerPart things; one
// under a limit on address space or data size (ulimit -v, -d), where what
// further threads take would decide whether the work fits.
[[nodiscard]] std::size_t partCount(std::size_t items, std::size_t minPerPart) noexcept;

// Calls part(k) for every k in 0 .. parts - 1, each on its own thread (part 0
// on the calling thread), and returns when all are done. Used for the passes
// over a whole log, which wait on memory far more than they compute. When no
// further thread can be started the remaining parts run on the calling
// thread. An exception thrown by a part is rethrown here once all parts have
// ended (that of the lowest part first).
template <class Part>
void runParts(std::size_t parts, Part&& part)
{
    std::vector<std::exception_ptr> errors(parts);
    auto run = [&](std::size_t k) {
        clearVectorUpperHalves();
        try {
            part(k);
        } catch (...) {
            errors[k] = std::current_exception();
        }
    };
    std::vector<std::thread> workers;
    try {
        workers.reserve(parts > 0 ? parts - 1 : 0);
        for (std::size_t k = 1; k < parts; ++k)
            workers.emplace_back(run, k);
    } catch (...) {
        // No more threads (or no memory for them): what did not start runs here.
    }
    if (parts > 0)
        run(0);
    for (std::size_t k = workers.size() + 1; k < parts; ++k)
        run(k);
    for (std::thread& worker : workers)
        worker.join();
    for (const std::exception_ptr& error : errors)
        if (error)
            std::rethrow_exception(error);
}

// Calls part(k, parts, meet) for every k in 0 .. parts - 1, all on threads
// that run at the same time (part 0 on the calling thread), so that the parts
// may wait for each other at meet, a std::barrier of parts. parts is wanted, or fewer
// (at least 1) when not every thread could be started; it is the same for
// every call. An exception thrown by a part is rethrown here once all parts
// have ended (that of the lowest part first); a part that waits for others
// must see to it that none of them leaves early by throwing.
template <class Part>
void runTogether(std::size_t wanted, Part&& part)
{
    wanted = std::max<std::size_t>(wanted, 1);
    std::vector<std::exception_ptr> errors(wanted);
    std::size_t parts = 1;
    // Made before any thread starts (it allocates): if it cannot be, no
    // part has begun waiting.
    std::barrier<> meet(static_cast<std::ptrdiff_t>(wanted));
    std::latch counted(1);  // parts is set and meet counts the parts that run
    auto run = [&](std::size_t k) {
        clearVectorUpperHalves();
        try {
            part(k, parts, meet);
        } catch (...) {
            errors[k] = std::current_exception();
        }
    };
    std::vector<std::thread> workers;
    try {
        workers.reserve(wanted - 1);
        for (std::size_t k = 1; k < wanted; ++k)
            workers.emplace_back([&, k] {
                counted.wait();
                run(k);
            });
    } catch (...) {
        // Fewer threads: the parts are cut among those that started.
    }
    parts = workers.size() + 1;
    for (std::size_t k = parts; k < wanted; ++k)
        meet.arrive_and_drop();  // a part that never started
    counted.count_down();
    run(0);
    for (std::thread& worker : workers)
        worker.join();
    for (const std::exception_ptr& error : errors)
        if (error)
            std::rethrow_exception(error);
}

// Calls body(begin, end) over contiguous ranges that together cover
// 0 .. items - 1 once, in parallel as partCount(items, minPerPart) allows.
template <class Body>
void parallelFor(std::size_t items, std::size_t minPerPart, Body&& body)
{
    const std::size_t parts = partCount(items, minPerPart);
    runParts(parts, [&](std::size_t k) { body(items * k / parts, items * (k + 1) / parts); });
}

}  // namespace dlv
