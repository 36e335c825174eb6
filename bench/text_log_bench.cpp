// dlv-text-bench: opening a ';'-separated log with decimal commas (names on
// line 1, as spreadsheet exports write it) beside opening the same log in
// the own format, the two files of about the same size.
//
//   dlv-text-bench OWN_LOG TEXT_LOG [--runs N]
//
// Writes TEXT_LOG from OWN_LOG when it is missing or older (its title line
// dropped, ',' made ';' and '.' made ','), reads both once into the page
// cache, then times readLog (detection included) of each in a fresh child
// process N times (default 3) after a warm-up, and prints the medians and
// the highest peak memory of the children beside the figures they are set
// against: "text_open_ms", "own_open_ms", their ratio, and the peak memory
// of each as a multiple of its file. Exit 0, 1 when a log cannot be read,
// 2 for bad arguments.
#include "datalog/log_formats.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Opening {
    double ms = 0;
    long peakKb = 0;
    int takes = 0;
    bool ok = false;
};

// One readLog in a child of its own, so that its peak memory is its own.
Opening openInChild(const char* path)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        const auto start = std::chrono::steady_clock::now();
        const dlv::ReadResult result = dlv::readLog(path);
        Opening opening;
        opening.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        opening.ok = result.ok();
        opening.takes = result.ok() ? dlv::logOf(result)->takeCount() : 0;
        if (!result.ok())
            std::fprintf(stderr, "dlv-text-bench: %s\n", result.error.c_str());
        (void)!::write(pipeEnds[1], &opening, sizeof opening);
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    Opening opening;
    if (::read(pipeEnds[0], &opening, sizeof opening) != static_cast<ssize_t>(sizeof opening))
        opening.ok = false;
    ::close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    opening.peakKb = usage.ru_maxrss;
    return opening;
}

bool upToDate(const char* from, const char* to)
{
    struct stat a {};
    struct stat b {};
    return ::stat(from, &a) == 0 && ::stat(to, &b) == 0 && b.st_mtime >= a.st_mtime && b.st_size > 0;
}

bool writeTextLog(const char* from, const char* to)
{
    std::ifstream in(from, std::ios::binary);
    const std::string tmp = std::string(to) + ".part";
    std::ofstream out(tmp, std::ios::binary);
    std::string line;
    std::getline(in, line);  // the title
    std::vector<char> chunk(std::size_t{16} << 20);
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto n = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i < n; ++i)
            chunk[i] = chunk[i] == ',' ? ';' : chunk[i] == '.' ? ',' : chunk[i];
        out.write(chunk.data(), static_cast<std::streamsize>(n));
    }
    out.close();
    return out && std::rename(tmp.c_str(), to) == 0;
}

void intoPageCache(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chunk(std::size_t{16} << 20);
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())))
        ;
}

double fileMb(const char* path)
{
    struct stat s {};
    return ::stat(path, &s) == 0 ? static_cast<double>(s.st_size) / (1 << 20) : 0.0;
}

struct Figures {
    double medianMs = 0;
    long peakKb = 0;
    int takes = 0;
};

bool measure(const char* path, int runs, Figures& figures)
{
    std::vector<double> times;
    for (int run = 0; run <= runs; ++run) {
        const Opening opening = openInChild(path);
        if (!opening.ok)
            return false;
        if (run == 0)
            continue;  // the warm-up
        times.push_back(opening.ms);
        figures.peakKb = std::max(figures.peakKb, opening.peakKb);
        figures.takes = opening.takes;
    }
    std::sort(times.begin(), times.end());
    figures.medianMs = times[times.size() / 2];
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && !(argc == 5 && std::strcmp(argv[3], "--runs") == 0)) {
        std::fprintf(stderr, "usage: dlv-text-bench OWN_LOG TEXT_LOG [--runs N]\n");
        return 2;
    }
    const char* own = argv[1];
    const char* text = argv[2];
    const int runs = argc == 5 ? std::max(1, std::atoi(argv[4])) : 3;
    if (!upToDate(own, text) && !writeTextLog(own, text)) {
        std::fprintf(stderr, "dlv-text-bench: cannot write %s\n", text);
        return 1;
    }
    intoPageCache(own);
    intoPageCache(text);
    Figures ownFigures;
    Figures textFigures;
    if (!measure(own, runs, ownFigures) || !measure(text, runs, textFigures))
        return 1;
    if (ownFigures.takes != textFigures.takes) {
        std::fprintf(stderr, "dlv-text-bench: %d takes as text, %d in the own format\n", textFigures.takes,
                     ownFigures.takes);
        return 1;
    }
    const double ownMb = fileMb(own);
    const double textMb = fileMb(text);
    std::printf("text_file_mb %.0f (own format: %.0f MB, %d takes)\n", textMb, ownMb, ownFigures.takes);
    std::printf("text_open_ms %.1f   own_open_ms %.1f   ratio %.2f\n", textFigures.medianMs, ownFigures.medianMs,
                textFigures.medianMs / ownFigures.medianMs);
    std::printf("text_peak_mb %.0f (%.2f x the file)   own_peak_mb %.0f (%.2f x the file)\n",
                static_cast<double>(textFigures.peakKb) / 1024, static_cast<double>(textFigures.peakKb) / 1024 / textMb,
                static_cast<double>(ownFigures.peakKb) / 1024, static_cast<double>(ownFigures.peakKb) / 1024 / ownMb);
    return 0;
}
