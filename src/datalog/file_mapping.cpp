#include "datalog/file_mapping.h"

#include "datalog/parallel.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace dlv {

namespace {

// A lease is given up this long at most after someone asks for the file:
// the system's lease break time must leave room to copy a big log first.
constexpr long kMinBreakSeconds = 10;

// The signal a lease break is told by: a real-time one, which carries the
// file descriptor and is queued, not merged.
int leaseSignal() noexcept
{
    return SIGRTMIN + 6;
}

long leaseBreakSeconds() noexcept
{
    std::FILE* file = std::fopen("/proc/sys/fs/lease-break-time", "re");
    if (!file)
        return 0;
    long seconds = 0;
    if (std::fscanf(file, "%ld", &seconds) != 1)
        seconds = 0;
    std::fclose(file);
    return seconds;
}

bool leasesEnabled() noexcept
{
    std::FILE* file = std::fopen("/proc/sys/fs/leases-enable", "re");
    if (!file)
        return false;
    int enabled = 0;
    if (std::fscanf(file, "%d", &enabled) != 1)
        enabled = 0;
    std::fclose(file);
    return enabled != 0;
}

int g_wakeWrite = -1;  // the watch's pipe, for the signal handler

// Only what is safe in a signal handler: the descriptor goes down a pipe
// to the watching thread.
void onLeaseBreak(int, siginfo_t* info, void*)
{
    const int saved = errno;
    const int fd = info->si_fd;
    if (g_wakeWrite >= 0)
        (void)::write(g_wakeWrite, &fd, sizeof fd);
    errno = saved;
}

std::size_t pageBytes() noexcept
{
    const long page = ::sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<std::size_t>(page) : 4096;
}

std::size_t roundUp(std::size_t bytes, std::size_t page) noexcept
{
    return (bytes + page - 1) / page * page;
}

}  // namespace

// The mappings under a lease, and the thread that copies one when its
// lease breaks. Made once, on the first mapping, and kept for the life of
// the process (the thread waits on a pipe, costing nothing).
struct LeaseWatch {
    std::mutex mutex;
    std::vector<FileMapping*> mappings;
    int wakeRead = -1;
    bool tried = false;
    bool ready = false;

    static LeaseWatch& instance()
    {
        static LeaseWatch* watch = new LeaseWatch;  // never destroyed: its thread outlives the statics
        return *watch;
    }

    // Under mutex: the pipe, the handler and the thread, once; false when
    // any of them cannot be had (or the signal is someone else's).
    bool start() noexcept
    {
        if (tried)
            return ready;
        tried = true;
        struct sigaction old {};
        if (::sigaction(leaseSignal(), nullptr, &old) != 0 ||
            (!(old.sa_flags & SA_SIGINFO) && old.sa_handler != SIG_DFL))
            return false;
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return false;
        ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
        try {
            std::thread([this, fd = ends[0]] { watch(fd); }).detach();
        } catch (...) {
            ::close(ends[0]);
            ::close(ends[1]);
            return false;
        }
        wakeRead = ends[0];
        g_wakeWrite = ends[1];
        struct sigaction action {};
        action.sa_sigaction = onLeaseBreak;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        ready = ::sigaction(leaseSignal(), &action, nullptr) == 0;
        return ready;
    }

    void watch(int fd) noexcept
    {
        while (true) {
            int broken = -1;
            const ssize_t n = ::read(fd, &broken, sizeof broken);
            if (n < 0 && errno == EINTR)
                continue;
            if (n != sizeof broken)
                return;
            const std::lock_guard lock(mutex);
            for (FileMapping* mapping : mappings)
                if (mapping->m_fd == broken)
                    mapping->copyPages();
        }
    }
};

void FileMapping::copyPages() noexcept
{
    if (m_copied)
        return;
    // Cutting a file takes its pages away from every mapping of it, even
    // pages a private mapping has copied on writing: the bytes must leave
    // the file's mapping altogether. They are copied into fresh memory,
    // which then takes the mapping's place in one call, so that readers
    // find the same bytes at the same addresses throughout. Should memory be
    // short, the copy is tried again while the writer is kept waiting.
    const std::size_t page = pageBytes();
    const std::size_t pages = roundUp(m_size, page);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(kMinBreakSeconds - 2);
    while (pages != 0) {
        void* copy = ::mmap(nullptr, pages, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (copy != MAP_FAILED) {
            std::memcpy(copy, m_base, m_size);
            if (::mremap(copy, pages, pages, MREMAP_MAYMOVE | MREMAP_FIXED, m_base) != MAP_FAILED)
                break;
            ::munmap(copy, pages);
        }
        if (std::chrono::steady_clock::now() > until)
            break;  // the system gives the writer its way soon anyway
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    m_copied = true;
    ::fcntl(m_fd, F_SETLEASE, F_UNLCK);
}

bool FileMapping::copied() const noexcept
{
    LeaseWatch& watch = LeaseWatch::instance();
    const std::lock_guard lock(watch.mutex);
    return m_copied;
}

std::unique_ptr<FileMapping> FileMapping::map(int fd) noexcept
{
    try {
        if (!leasesEnabled() || leaseBreakSeconds() < kMinBreakSeconds)
            return nullptr;
        LeaseWatch& watch = LeaseWatch::instance();
        // Held from the lease on until the mapping is listed, so that a
        // break that comes meanwhile finds it.
        const std::lock_guard lock(watch.mutex);
        if (!watch.start())
            return nullptr;
        std::unique_ptr<FileMapping> mapping(new FileMapping());
        mapping->m_fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (mapping->m_fd < 0)
            return nullptr;
        const auto fail = [&mapping] {
            ::close(mapping->m_fd);  // gives the lease up, if any
            mapping->m_fd = -1;
            return nullptr;
        };
        // The lease makes the thread that takes it the one told of a break,
        // and that may be a worker that has ended or blocks the signal by
        // then: the whole process is told instead, which any thread hears.
        const f_owner_ex process{F_OWNER_PID, ::getpid()};
        if (::fcntl(mapping->m_fd, F_SETSIG, leaseSignal()) != 0 ||
            ::fcntl(mapping->m_fd, F_SETLEASE, F_RDLCK) != 0 || ::fcntl(mapping->m_fd, F_SETOWN_EX, &process) != 0)
            return fail();
        struct stat info {};
        if (::fstat(mapping->m_fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0)
            return fail();
        const auto size = static_cast<std::size_t>(info.st_size);
        const std::size_t total = roundUp(size + kPadding, pageBytes());
        // Zero pages after the file's, for the loads that read past its end.
        void* range = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (range == MAP_FAILED)
            return fail();
        // Writable before any page is mapped: changing the protection of
        // mapped pages is a walk over them all. Pages brought in by reading
        // stay the cache's until written to.
        if (::mmap(range, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED, mapping->m_fd, 0) == MAP_FAILED) {
            ::munmap(range, total);
            return fail();
        }
        mapping->m_base = static_cast<char*>(range);
        mapping->m_size = size;
        mapping->bringInParts();
        mapping->m_mappedBytes = total;
        watch.mappings.push_back(mapping.get());
        mapping->m_listed = true;
        return mapping;
    } catch (...) {
        return nullptr;
    }
}

void FileMapping::bring(std::size_t from, std::size_t n) const noexcept
{
#if defined(MADV_POPULATE_READ)
    const std::size_t page = pageBytes();
    const std::size_t first = from / page * page;
    const std::size_t last = std::min(roundUp(from + n, page), roundUp(m_size, page));
    if (last > first)
        ::madvise(m_base + first, last - first, MADV_POPULATE_READ);
#else
    (void)from;
    (void)n;
#endif
}

void FileMapping::bringInParts() const noexcept
{
    // Mapping the pages is the kernel's walk over the file's cached pages,
    // a millisecond per 30 MB: on every core, one part of the file each.
    const std::size_t parts = partCount(m_size, kBytesBroughtPerPart);
    try {
        runParts(parts, [this, parts](std::size_t k) {
            const std::size_t from = m_size * k / parts;
            bring(from, m_size * (k + 1) / parts - from);
        });
    } catch (...) {
        // Only a hint: faults bring what is left.
    }
}

FileMapping::~FileMapping()
{
    std::unique_lock<std::mutex> lock;
    if (m_listed) {
        LeaseWatch& watch = LeaseWatch::instance();
        lock = std::unique_lock(watch.mutex);
        std::erase(watch.mappings, this);
    }
    if (m_fd >= 0)
        ::close(m_fd);  // gives the lease up
    if (m_base)
        ::munmap(m_base, m_mappedBytes);
}

}  // namespace dlv
