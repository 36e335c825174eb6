#pragma once

// The one place where the streamed commands (--report, --tables, --plot)
// decide how a log is read: streamed a chunk at a time when it is of the
// own text format, otherwise read whole.

#include "datalog/take_store.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <vector>

namespace dlv {

// streamDataLog of the log at path when its first bytes are of the own
// format (detectLogFormat); nullopt, having called consume never, for a log
// of another format, and whenever streamDataLog gives up.
[[nodiscard]] std::optional<std::vector<ReadWarning>> streamOwnLog(const std::filesystem::path& path,
                                                                   std::size_t chunkBytes,
                                                                   const TakeChunkConsumer& consume,
                                                                   ChunkIndex index = ChunkIndex::Fields);

}  // namespace dlv
