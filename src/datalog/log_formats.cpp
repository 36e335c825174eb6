#include "datalog/log_formats.h"

#include "datalog/byte_buffer.h"
#include "datalog/mlg_log.h"
#include "datalog/text_log.h"

#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dlv {

LogFormat detectLogFormat(std::string_view head) noexcept
{
    head = head.substr(0, kDetectBytes);
    if (looksLikeMlg(head))
        return LogFormat::Mlg;
    if (const std::optional<LogFormat> text = detectTextFormat(head))
        return *text;
    return LogFormat::Datalog;
}

ReadResult readLogBuffer(std::unique_ptr<ByteBuffer> buffer, std::size_t size, std::string_view displayName,
                         LogFormat format) noexcept
{
    if (format == LogFormat::Auto)
        format = buffer ? detectLogFormat(std::string_view(buffer->data(), std::min(size, buffer->capacity())))
                        : LogFormat::Datalog;
    ReadResult result;
    switch (format) {
    case LogFormat::Mlg:
        return readMlgBuffer(std::move(buffer), size, displayName);
    case LogFormat::Msl:
    case LogFormat::Text:
        return readTextLogBuffer(std::move(buffer), size, displayName, format);
    case LogFormat::Auto:
    case LogFormat::Datalog:
        break;
    }
    result = readDataLogBuffer(std::move(buffer), size, displayName);
    try {
        if (result.store && !result.log)
            result.log = std::make_shared<StoreChannels>(result.store);
    } catch (...) {
        return ReadResult{nullptr, "Cannot read the log: not enough memory", {}, nullptr};
    }
    return result;
}

ReadResult readLog(const std::filesystem::path& path, LogFormat format, ReadControl* control) noexcept
{
    return readLogFile(path, control, [format](std::unique_ptr<ByteBuffer> buffer, std::size_t size,
                                               std::string_view name) {
        return readLogBuffer(std::move(buffer), size, name, format);
    });
}

ReadResult readLogBytes(std::string_view bytes, LogFormat format, std::string_view displayName) noexcept
{
    auto buffer = ByteBuffer::reserve(bytes.size());
    if (!buffer)
        return ReadResult{nullptr, "Cannot read the log: not enough memory", {}, nullptr};
    if (!bytes.empty())
        std::memcpy(buffer->data(), bytes.data(), bytes.size());
    return readLogBuffer(std::move(buffer), bytes.size(), displayName, format);
}

std::string fileHead(const std::filesystem::path& path, std::size_t bytes) noexcept
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    struct stat info {};
    std::string head;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        try {
            head.resize(bytes);
            std::size_t got = 0;
            while (got < head.size()) {
                const ssize_t n = ::pread(fd, head.data() + got, head.size() - got, static_cast<off_t>(got));
                if (n <= 0)
                    break;
                got += static_cast<std::size_t>(n);
            }
            head.resize(got);
        } catch (...) {
            head.clear();
        }
    }
    ::close(fd);
    return head;
}

LogFormat fileLogFormat(const std::filesystem::path& path, LogFormat format) noexcept
{
    if (format != LogFormat::Auto)
        return format;
    return detectLogFormat(fileHead(path, kDetectBytes));
}

std::shared_ptr<const LogChannels> logOf(const ReadResult& result)
{
    if (result.log)
        return result.log;
    if (result.store)
        return std::make_shared<StoreChannels>(result.store);
    return nullptr;
}

}  // namespace dlv
