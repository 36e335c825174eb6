#pragma once
// The process's address space, for tests that lower its limit. Under
// AddressSanitizer (DLV_UNDER_ASAN), which reserves terabytes of it at start,
// such tests cannot run; they live in tests/limits/ and run in the plain build.

#include <sys/resource.h>
#include <unistd.h>

#include <cstddef>
#include <fstream>

#if defined(__SANITIZE_ADDRESS__)
#define DLV_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DLV_UNDER_ASAN 1
#endif
#endif

namespace dlvtest {

// Bytes of address space the process already uses (reads /proc/self/statm).
inline std::size_t addressSpaceInUse()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    statm >> pages;
    return pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// Lowers this process's address-space limit to what it uses now plus
// extraBytes, for as long as it lives.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(std::size_t extraBytes)
    {
        ::getrlimit(RLIMIT_AS, &m_previous);
        const rlimit lowered{addressSpaceInUse() + extraBytes, m_previous.rlim_max};
        m_active = ::setrlimit(RLIMIT_AS, &lowered) == 0;
    }
    ~AddressSpaceLimit()
    {
        if (m_active)
            ::setrlimit(RLIMIT_AS, &m_previous);
    }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;
    [[nodiscard]] bool active() const { return m_active; }

private:
    rlimit m_previous{};
    bool m_active = false;
};

}  // namespace dlvtest
