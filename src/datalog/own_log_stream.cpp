#include "datalog/own_log_stream.h"

#include "datalog/log_formats.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace dlv {

namespace {

// Whether the file's first bytes are of the own format; false when they
// cannot be read (the whole reading then says why).
bool ownFormat(const std::filesystem::path& path)
{
    // Only a regular file is opened: opening and closing a FIFO would be
    // seen by its writer.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    std::string head(kDetectBytes, '\0');
    std::size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = ::pread(fd, head.data() + got, head.size() - got, static_cast<off_t>(got));
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    head.resize(got);
    return detectLogFormat(head) == LogFormat::Datalog;
}

}  // namespace

std::optional<std::vector<ReadWarning>> streamOwnLog(const std::filesystem::path& path, std::size_t chunkBytes,
                                                     const TakeChunkConsumer& consume, ChunkIndex index)
{
    try {
        if (!ownFormat(path))
            return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
    return streamDataLog(path, chunkBytes, consume, index);
}

}  // namespace dlv
