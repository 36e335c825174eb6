#include "datalog/mlg_log.h"

#include "datalog/byte_buffer.h"

#include <cstring>

namespace dlv {

bool looksLikeMlg(std::string_view head) noexcept
{
    return head.size() >= 6 && std::memcmp(head.data(), "MLVLG\0", 6) == 0;
}

ReadResult readMlgBuffer(std::unique_ptr<ByteBuffer>, std::size_t, std::string_view displayName) noexcept
{
    ReadResult result;
    result.error = "Cannot read '" + std::string(displayName) + "': MLG logs are not read yet";
    return result;
}

}  // namespace dlv
