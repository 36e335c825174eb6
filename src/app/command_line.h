#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace dlv {

// What the command line asks for. File names keep the bytes they were given
// in, whatever their encoding. New modes add an enumerator, their fields and
// a branch in main's dispatch.
struct CommandLine {
    enum class Mode {
        Window,   // the window, with the log in files (at most one) opened
        Report,   // --report [--hits] LOG: what the window would show, as text
        Tables,   // --tables WORKSPACE LOG [LOG ...]: the workspace's tables over the logs
        Help,     // --help: text holds the usage
        Version,  // --version: text holds "Datalog Viewer 0.5"
        Error,    // text holds a one-line hint
    };
    Mode mode = Mode::Window;
    std::vector<std::filesystem::path> files;
    std::filesystem::path workspace;  // --tables
    bool hits = false;
    std::string text;

    // Exit status for Help, Version (0) and Error (2).
    [[nodiscard]] int exitCode() const noexcept { return mode == Mode::Error ? 2 : 0; }
};

// Parses argv[1..argc-1]; needs no application object. programName is what
// --version prints.
[[nodiscard]] CommandLine parseCommandLine(int argc, const char* const* argv, const std::string& programName);

}  // namespace dlv
