#pragma once

// Texts of billions of bytes that cost a few megabytes: for tests at the
// 2 GiB and 4 GiB limits without writing gigabytes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dlvtest {

// Pieces of text and long runs of one byte, laid out one after the other in
// address space: each run is one 2 MiB block of that byte mapped again and
// again, so reading it costs page faults but (almost) no memory. The text is
// followed by 64 zero bytes. Blocks that hold a piece are private copies.
class RepeatedBytes {
public:
    static constexpr std::size_t kBlock = std::size_t{2} << 20;

    struct Piece {
        std::string text;         // written as it is, or
        char fill = 0;            // repeated `count` times when text is empty
        std::uint64_t count = 0;
    };

    explicit RepeatedBytes(const std::vector<Piece>& pieces)
    {
        for (const Piece& piece : pieces)
            m_size += piece.text.empty() ? piece.count : piece.text.size();
        m_mappingBytes = (m_size + 64 + kBlock - 1) / kBlock * kBlock;
        void* base = ::mmap(nullptr, m_mappingBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (base == MAP_FAILED)
            return;
        m_base = static_cast<char*>(base);
        // Blocks default to runs of the first fill byte; pieces overwrite.
        std::uint64_t at = 0;
        for (const Piece& piece : pieces) {
            if (piece.text.empty()) {
                fillRun(at, piece.fill, piece.count);
                at += piece.count;
            } else {
                write(at, piece.text);
                at += piece.text.size();
            }
        }
        write(m_size, std::string(64, '\0'));
        m_ok = true;
    }
    ~RepeatedBytes()
    {
        if (m_base)
            ::munmap(m_base, m_mappingBytes);
        for (const auto& [fill, fd] : m_fills)
            ::close(fd);
    }
    RepeatedBytes(const RepeatedBytes&) = delete;
    RepeatedBytes& operator=(const RepeatedBytes&) = delete;

    [[nodiscard]] bool ok() const { return m_ok; }
    [[nodiscard]] std::string_view view() const { return {m_base, m_size}; }
    [[nodiscard]] std::uint64_t size() const { return m_size; }
    // Gives the mapping away (to a ByteBuffer that unmaps it).
    char* release(std::size_t& mappingBytes)
    {
        mappingBytes = m_mappingBytes;
        char* base = m_base;
        m_base = nullptr;
        return base;
    }

private:
    int fillFile(char fill)
    {
        for (const auto& [c, fd] : m_fills)
            if (c == fill)
                return fd;
        const int fd = ::memfd_create("dlv-test-run", 0);
        std::string block(kBlock, fill);
        if (fd < 0 || ::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size()))
            return -1;
        m_fills.emplace_back(fill, fd);
        return fd;
    }
    // Maps whole blocks of the run to the shared block of fill bytes; its
    // ends are written.
    void fillRun(std::uint64_t at, char fill, std::uint64_t count)
    {
        const std::uint64_t end = at + count;
        const std::uint64_t wholeFrom = (at + kBlock - 1) / kBlock;
        const std::uint64_t wholeTo = end / kBlock;
        if (wholeFrom >= wholeTo) {
            write(at, std::string(static_cast<std::size_t>(count), fill));
            return;
        }
        const int fd = fillFile(fill);
        for (std::uint64_t b = wholeFrom; b < wholeTo; ++b)
            ::mmap(m_base + b * kBlock, kBlock, PROT_READ, MAP_SHARED | MAP_FIXED, fd, 0);
        write(at, std::string(static_cast<std::size_t>(wholeFrom * kBlock - at), fill));
        write(wholeTo * kBlock, std::string(static_cast<std::size_t>(end - wholeTo * kBlock), fill));
    }
    void write(std::uint64_t at, std::string_view text)
    {
        for (std::uint64_t done = 0; done < text.size();) {
            const std::uint64_t b = (at + done) / kBlock;
            if (!m_private.count(b)) {
                ::mmap(m_base + b * kBlock, kBlock, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
                m_private.insert(b);
            }
            const std::uint64_t n = std::min<std::uint64_t>(text.size() - done, (b + 1) * kBlock - (at + done));
            std::memcpy(m_base + at + done, text.data() + done, n);
            done += n;
        }
    }

    char* m_base = nullptr;
    std::size_t m_mappingBytes = 0;
    std::uint64_t m_size = 0;
    bool m_ok = false;
    std::vector<std::pair<char, int>> m_fills;
    std::set<std::uint64_t> m_private;
};

}  // namespace dlvtest
