#include "datalog/text_log.h"

#include "datalog/byte_buffer.h"

namespace dlv {

std::optional<LogFormat> detectTextFormat(std::string_view) noexcept
{
    return std::nullopt;
}

ReadResult readTextLogBuffer(std::unique_ptr<ByteBuffer>, std::size_t, std::string_view displayName,
                             LogFormat) noexcept
{
    ReadResult result;
    result.error = "Cannot read '" + std::string(displayName) + "': text logs of other tools are not read yet";
    return result;
}

}  // namespace dlv
