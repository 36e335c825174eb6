// libFuzzer target: see checkFileWriting in writing_checks.h for the input and
// what is checked: pictures and texts written through a device that fails
// after any number of bytes, in any of three ways.
#include "writing_checks.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Fonts for the pictures' texts, without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_file_writing";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string failure =
        dlv::fuzzcheck::checkFileWriting(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!failure.empty()) {
        std::fprintf(stderr, "checkFileWriting: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
