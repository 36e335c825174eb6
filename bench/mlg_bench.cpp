// dlv-mlg-bench: opening an MLG log and its first channel, timed, beside
// their targets.
//
//   dlv-mlg-bench LOG [--runs N]
//
// Reads LOG as the viewer does (readLog's file reading), and times inside
// it readMlgBuffer alone: the header, the walk over the blocks, the
// checksum pass and the index, with the bytes already in memory. Then, on
// the log open, the first parseInto of each of eight channels spread over
// the fields, over every take (nothing is cached between them). Prints the
// median open after a warm-up and the slowest and median first channel,
// the memory the open log holds beyond the file's bytes, and the counts.
// Exit code 0, 1 when the log cannot be read, 2 for bad arguments.
#include "datalog/byte_buffer.h"
#include "datalog/log_formats.h"
#include "datalog/mlg_log.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Resident memory of this process, in bytes.
std::size_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4096;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--runs") == 0)) {
        std::fprintf(stderr, "usage: dlv-mlg-bench LOG [--runs N]\n");
        return 2;
    }
    const int runs = argc == 4 ? std::max(1, std::atoi(argv[3])) : 5;
    std::vector<double> opens;
    std::size_t beyondFile = 0;
    dlv::ReadResult result;
    for (int run = 0; run <= runs; ++run) {
        result = dlv::ReadResult{};
        double openMs = 0;
        std::size_t before = 0;
        result = dlv::readLogFile(argv[1], nullptr, [&](std::unique_ptr<dlv::ByteBuffer> buffer, std::size_t size,
                                                        std::string_view name) {
            before = residentBytes();
            const Clock::time_point start = Clock::now();
            dlv::ReadResult read = dlv::readMlgBuffer(std::move(buffer), size, name);
            openMs = msSince(start);
            return read;
        });
        if (!result.ok()) {
            std::fprintf(stderr, "dlv-mlg-bench: %s\n", result.error.c_str());
            return 1;
        }
        const std::size_t after = residentBytes();
        beyondFile = after > before ? after - before : 0;
        if (run > 0)  // the first is the warm-up
            opens.push_back(openMs);
    }
    const dlv::LogChannels& log = *result.log;
    const int takes = log.takeCount();
    std::vector<double> column(static_cast<std::size_t>(takes));
    std::vector<double> firsts;
    double checksum = 0;
    for (int k = 0; k < 8; ++k) {
        const long long p = static_cast<long long>(log.channelCount() - 1) * k / 7;
        double* out = column.data();
        const Clock::time_point start = Clock::now();
        log.parseInto(std::span<const long long>(&p, 1), 0, takes, std::span<double* const>(&out, 1));
        firsts.push_back(msSince(start));
        std::fprintf(stderr, "channel %lld: %.2f ms\n", p, firsts.back());
        checksum += column[static_cast<std::size_t>(takes) / 2];
    }
    std::printf("mlg_file_mb %.1f\n", static_cast<double>(log.fileBytes()) / (1 << 20));
    std::printf("mlg_channels %d\nmlg_records %d\nmlg_markers %zu\n", log.channelCount(), takes, log.markers().size());
    std::printf("mlg_open_ms %.2f (target: well under 300)\n", median(opens));
    std::printf("mlg_first_channel_ms %.2f slowest of 8, median %.2f (target: under 35)\n",
                *std::max_element(firsts.begin(), firsts.end()), median(firsts));
    std::printf("mlg_memory_beyond_file_mb %.1f (target: small)\n", static_cast<double>(beyondFile) / (1 << 20));
    std::fprintf(stderr, "dlv-mlg-bench: %s; sum of sampled values %g\n", log.details().summary.c_str(), checksum);
    return 0;
}
