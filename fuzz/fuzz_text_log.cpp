// libFuzzer target: see checkTextLog in text_checks.h for the input and what is checked.
#include "text_checks.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string failure =
        dlv::fuzzcheck::checkTextLog(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!failure.empty()) {
        std::fprintf(stderr, "checkTextLog: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
