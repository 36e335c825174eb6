#pragma once

#include "datalog/file_mapping.h"

#include <cstddef>
#include <memory>

namespace dlv {

// A large block of zero-initialised memory reserved from the system in one
// piece and asked to be backed by huge pages, because touching fresh 4 KiB pages
// costs far more than the work done on a log's bytes. Only the pages written to
// count as used memory, so capacity may be generous. Not copyable.
class ByteBuffer final {
public:
    // Reserves capacity bytes (plus a zeroed tail of kPadding bytes that vector
    // code may read past the end). Returns null when the system has no room.
    [[nodiscard]] static std::unique_ptr<ByteBuffer> reserve(std::size_t capacity) noexcept;

    // Takes over a mapping made elsewhere with mmap (unmapped with the
    // buffer) whose first capacity bytes are followed by kPadding zero bytes.
    // Null, and the mapping unmapped, when memory runs out.
    [[nodiscard]] static std::unique_ptr<ByteBuffer> adopt(char* mapping, std::size_t mappingBytes, std::size_t capacity) noexcept;

    // The bytes of a file mapped in place of a copy (see file_mapping.h);
    // capacity is the file's size. Null when memory runs out.
    [[nodiscard]] static std::unique_ptr<ByteBuffer> ofFile(std::unique_ptr<FileMapping> file) noexcept;

    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ~ByteBuffer();

    [[nodiscard]] char* data() noexcept { return m_data; }
    [[nodiscard]] const char* data() const noexcept { return m_data; }
    [[nodiscard]] std::size_t capacity() const noexcept { return m_capacity; }

    // Gives the whole pages within [offset, offset + bytes) back to the
    // system, for a pass that has read them for the last time: they no
    // longer count as used memory and read as zero afterwards. One call to
    // the system; nothing happens for a range within one page.
    void discard(std::size_t offset, std::size_t bytes) noexcept;

    // Makes the buffer start `bytes` earlier, its capacity that much larger,
    // when its mapping has room there (a buffer of 2 MiB or more mostly has
    // up to 2 MiB, left by the alignment): the bytes stay at their
    // addresses, at offsets `bytes` higher, after new zero bytes. False,
    // and nothing changed, without the room. O(1).
    [[nodiscard]] bool growFront(std::size_t bytes) noexcept;

    static constexpr std::size_t kPadding = 64;

private:
    ByteBuffer(char* mapping, std::size_t mappingBytes, char* data, std::size_t capacity) noexcept
        : m_mapping(mapping), m_mappingBytes(mappingBytes), m_data(data), m_capacity(capacity) {}
    std::unique_ptr<FileMapping> m_file;  // set for a mapped file, which then owns the memory
    char* m_mapping;
    std::size_t m_mappingBytes;
    char* m_data;
    std::size_t m_capacity;
};

}  // namespace dlv
