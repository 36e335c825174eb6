#include "datalog/own_log_stream.h"

#include "datalog/log_formats.h"

#include <sys/stat.h>

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
    return fileLogFormat(path, LogFormat::Auto) == LogFormat::Datalog;
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
