// dlv-floor: the floor of reading one log (see floor_scan.h), timed alone, for
// scripts that compare a command against it.
//
//   dlv-floor LOG [--runs N]
//
// Prints "floor_ms X", the median of N runs (default 5) after a warm-up.
// Exit code 0, 1 when the file cannot be mapped, 2 for bad arguments.
#include "floor_scan.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--runs") == 0)) {
        std::fprintf(stderr, "usage: dlv-floor LOG [--runs N]\n");
        return 2;
    }
    const int runs = argc == 4 ? std::max(1, std::atoi(argv[3])) : 5;
    try {
        (void)dlv::bench::scanMappedFile(argv[1]);
        std::vector<double> times;
        for (int run = 0; run < runs; ++run) {
            const auto start = std::chrono::steady_clock::now();
            (void)dlv::bench::scanMappedFile(argv[1]);
            times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        std::sort(times.begin(), times.end());
        std::printf("floor_ms %.2f\n", times[times.size() / 2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dlv-floor: %s\n", e.what());
        return 1;
    }
    return 0;
}
