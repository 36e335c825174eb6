#include "datalog/byte_buffer.h"

#include "datalog/file_mapping.h"
#include "datalog/huge_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace dlv {

std::unique_ptr<ByteBuffer> ByteBuffer::reserve(std::size_t capacity) noexcept
{
    if (capacity > (std::size_t{1} << 46))
        return nullptr;
    const std::size_t wanted = capacity + kPadding;
    // Map one huge page more than needed so that the data can start on a huge
    // page boundary, where the kernel can back it with huge pages. A small
    // buffer is mapped as it is: within a 2 MiB mapping a single touch would
    // make the kernel clear a whole huge page for a few bytes.
    const bool huge = wanted >= kHugePageBytes;
    const std::size_t mappingBytes = huge ? wanted + kHugePageBytes : wanted;
    void* mapping = ::mmap(nullptr, mappingBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED)
        return nullptr;
    auto address = reinterpret_cast<std::uintptr_t>(mapping);
    const std::uintptr_t aligned = huge ? (address + kHugePageBytes - 1) & ~(kHugePageBytes - 1) : address;
    char* data = reinterpret_cast<char*>(aligned);
    if (huge)
        ::madvise(data, wanted, MADV_HUGEPAGE);
    try {
        return std::unique_ptr<ByteBuffer>(new ByteBuffer(static_cast<char*>(mapping), mappingBytes, data, capacity));
    } catch (...) {
        ::munmap(mapping, mappingBytes);
        return nullptr;
    }
}

std::unique_ptr<ByteBuffer> ByteBuffer::adopt(char* mapping, std::size_t mappingBytes, std::size_t capacity) noexcept
{
    try {
        return std::unique_ptr<ByteBuffer>(new ByteBuffer(mapping, mappingBytes, mapping, capacity));
    } catch (...) {
        ::munmap(mapping, mappingBytes);
        return nullptr;
    }
}

void ByteBuffer::discard(std::size_t offset, std::size_t bytes) noexcept
{
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(m_data + offset);
    const std::uintptr_t first = (begin + page - 1) & ~(page - 1);
    const std::uintptr_t last = (begin + bytes) & ~(page - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

bool ByteBuffer::growFront(std::size_t bytes) noexcept
{
    // A mapped file has no room of its own before its first byte.
    if (m_mapping == nullptr || static_cast<std::size_t>(m_data - m_mapping) < bytes)
        return false;
    m_data -= bytes;
    m_capacity += bytes;
    return true;
}

std::unique_ptr<ByteBuffer> ByteBuffer::ofFile(std::unique_ptr<FileMapping> file) noexcept
{
    static_assert(FileMapping::kPadding >= kPadding);
    try {
        std::unique_ptr<ByteBuffer> buffer(new ByteBuffer(nullptr, 0, file->data(), file->size()));
        buffer->m_file = std::move(file);
        return buffer;
    } catch (...) {
        return nullptr;
    }
}

ByteBuffer::~ByteBuffer()
{
    if (m_mapping)
        ::munmap(m_mapping, m_mappingBytes);
}

}  // namespace dlv
