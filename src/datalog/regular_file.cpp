#include "datalog/regular_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>

namespace dlv {

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

FileHandle::~FileHandle()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::string errorReason(int error)
{
    switch (error) {
    case ENOENT: return "the file does not exist";
    case EACCES:
    case EPERM: return "permission denied";
    case EISDIR: return "it is a directory";
    case ENOMEM: return "not enough memory";
    default: {
        std::string text = std::strerror(error);
        if (!text.empty())
            text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
        return text;
    }
    }
}

RegularFile openRegularFile(const std::filesystem::path& path)
{
    RegularFile opened;
    // Without O_NONBLOCK, opening a FIFO would wait for a writer that may
    // never come; the file type is checked right after.
    opened.file = FileHandle(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (opened.file.get() < 0) {
        opened.error = errorReason(errno);
        return opened;
    }
    if (::fstat(opened.file.get(), &opened.info) != 0)
        opened.error = errorReason(errno);
    else if (S_ISDIR(opened.info.st_mode))
        opened.error = "it is a directory";
    else if (!S_ISREG(opened.info.st_mode))
        opened.error = "it is not a regular file";
    if (!opened.error.empty())
        opened.file = FileHandle();
    return opened;
}

}  // namespace dlv
