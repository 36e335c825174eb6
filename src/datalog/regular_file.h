#pragma once

// Opening a file for reading the way every reader of the program does: never
// waiting on a FIFO, and refusing anything but a regular file with the reason
// in the program's words. POSIX; no Qt.

#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace dlv {

// A file descriptor, closed when its owner goes. Move-only.
class FileHandle final {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) noexcept : m_fd(fd) {}
    FileHandle(FileHandle&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();
    [[nodiscard]] int get() const noexcept { return m_fd; }

private:
    int m_fd = -1;
};

// An errno value as messages word it: "the file does not exist", "permission
// denied", "it is a directory", "not enough memory", otherwise the system's
// text starting in lower case ("input/output error").
[[nodiscard]] std::string errorReason(int error);

// A file open for reading, with what fstat said of it; or, with no file, the
// reason it was refused (errorReason's words, "it is a directory", "it is not
// a regular file").
struct RegularFile {
    FileHandle file;
    struct stat info {};
    std::string error;
    [[nodiscard]] bool ok() const noexcept { return error.empty(); }
};

// Opens path read-only with O_NONBLOCK, so that a FIFO without a writer does
// not hold the caller up, and then checks the type of what it opened (the
// same file, whatever a rename does meanwhile). One open and one fstat.
[[nodiscard]] RegularFile openRegularFile(const std::filesystem::path& path);

}  // namespace dlv
