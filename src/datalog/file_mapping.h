#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>

namespace dlv {

// A log file mapped into memory in place of a copy, which spares zeroing
// and filling a buffer of the file's size, held only while no one can
// change the file under it. A mapped file that a logger cuts back would
// fault (SIGBUS) on reading the lost pages, and one written to would change
// bytes under an index built for the old ones; so the file is mapped only
// under a read lease (fcntl F_SETLEASE): the system grants it only while no
// process has the file open for writing, and anyone who then opens it for
// writing or cuts it waits until the lease is given up. When that happens,
// a thread of the reader first copies the mapped bytes into fresh memory
// that takes the mapping's place at the same addresses (readers notice
// nothing; a private mapping's own copies of pages would not do, since
// cutting a file takes those away too), then gives the lease up. Where no lease can be had (a file of another
// user, a network file system, a file open for writing, leases turned off,
// a lease break time of a few seconds only), there is no mapping and the
// caller copies the file as before.
//
// Memory: the file's pages, shared with the system's cache until they are
// copied; an address range of the file's size. Costs: mapping the pages
// (about a millisecond per 30 MB, split over the cores); a copy of the file
// only when someone wants to write to it.
class FileMapping final {
public:
    // Maps the regular file open as fd (read-only), all of it as it is once
    // the lease is held, its pages brought in on every core; null when that
    // cannot be done safely. The bytes are followed by at least kPadding
    // zero bytes. Never throws.
    [[nodiscard]] static std::unique_ptr<FileMapping> map(int fd) noexcept;

    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;
    ~FileMapping();

    // The file's bytes, writable as private memory (what is written never
    // reaches the file).
    [[nodiscard]] char* data() noexcept { return m_base; }
    [[nodiscard]] const char* data() const noexcept { return m_base; }
    [[nodiscard]] std::size_t size() const noexcept { return m_size; }
    // Whether the pages have been copied because someone wanted to write.
    [[nodiscard]] bool copied() const noexcept;

    static constexpr std::size_t kPadding = 64;

private:
    friend struct LeaseWatch;
    FileMapping() = default;
    void copyPages() noexcept;
    // Has the pages of bytes [from, from + n) mapped in one call (a hint:
    // faults bring them otherwise).
    void bring(std::size_t from, std::size_t n) const noexcept;
    // bring over the whole file, split over the cores.
    void bringInParts() const noexcept;
    static constexpr std::size_t kBytesBroughtPerPart = std::size_t{64} << 20;

    int m_fd = -1;  // the lease's own open file
    char* m_base = nullptr;
    std::size_t m_size = 0;
    std::size_t m_mappedBytes = 0;  // the whole range, padding included
    bool m_copied = false;          // under the watch's lock
    bool m_listed = false;          // in the watch's list, which its lock guards
};

}  // namespace dlv
