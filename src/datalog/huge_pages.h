#pragma once

#include <cstddef>
#include <new>

namespace dlv {

// Bytes of one huge page as adviseHugePages counts them.
inline constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// Asks the system to back the whole 2 MiB pages within [data, data + bytes)
// with huge pages when they are first touched: one fault and one clearing of
// a huge page instead of 512 faults. Fresh memory for a column or an index
// comes several times faster so (ten times on virtual machines, where each
// fault also costs the host). Only a hint: nothing happens where the system
// has no such pages or gives them to no one. Cost: one system call.
void adviseHugePages(void* data, std::size_t bytes) noexcept;

// An allocator for containers that grow large (a log's line index): blocks
// of 4 MiB and more start on a huge page and are advised as such; smaller
// ones are allocated as by std::allocator. Stateless.
template <class T>
struct HugePageAllocator {
    using value_type = T;

    HugePageAllocator() noexcept = default;
    template <class U>
    HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

    [[nodiscard]] T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        if (!isHuge(bytes))
            return static_cast<T*>(::operator new(bytes, std::align_val_t{alignof(T)}));
        void* data = ::operator new(bytes, std::align_val_t{kHugePageBytes});
        adviseHugePages(data, bytes);
        return static_cast<T*>(data);
    }

    void deallocate(T* data, std::size_t n) noexcept
    {
        const std::size_t bytes = n * sizeof(T);
        ::operator delete(data, std::align_val_t{isHuge(bytes) ? kHugePageBytes : alignof(T)});
    }

    template <class U>
    bool operator==(const HugePageAllocator<U>&) const noexcept
    {
        return true;
    }

private:
    [[nodiscard]] static constexpr bool isHuge(std::size_t bytes) noexcept { return bytes >= 2 * kHugePageBytes; }
};

}  // namespace dlv
