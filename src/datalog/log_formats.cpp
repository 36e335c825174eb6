#include "datalog/log_formats.h"

#include "datalog/byte_buffer.h"
#include "datalog/mlg_log.h"
#include "datalog/text_log.h"

#include <cstring>

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

std::shared_ptr<const LogChannels> logOf(const ReadResult& result)
{
    if (result.log)
        return result.log;
    if (result.store)
        return std::make_shared<StoreChannels>(result.store);
    return nullptr;
}

}  // namespace dlv
