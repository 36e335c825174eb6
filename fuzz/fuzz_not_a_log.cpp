// libFuzzer target: see checkNotALog in fuzz_checks.h for the input and what is checked.
#include "fuzz_checks.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string failure =
        dlv::fuzzcheck::checkNotALog(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!failure.empty()) {
        std::fprintf(stderr, "checkNotALog: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
