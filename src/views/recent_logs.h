#pragma once

// The logs opened last, newest first, as File, Recent Logs lists them. File
// names are kept as the system's bytes. Pure: the window keeps the list in
// its settings.

#include <cstddef>
#include <string>
#include <vector>

namespace dlv {

class RecentLogs final {
public:
    static constexpr std::size_t kMostLogs = 10;

    RecentLogs() = default;
    // A list read back from the settings: empty names and repeats are
    // dropped, at most kMostLogs kept.
    explicit RecentLogs(const std::vector<std::string>& paths);

    // path was opened: it goes first, out of the place it had; the oldest
    // beyond kMostLogs goes.
    void opened(const std::string& path);
    void clear() noexcept { m_paths.clear(); }

    [[nodiscard]] const std::vector<std::string>& paths() const noexcept { return m_paths; }
    // The folder of the newest log, empty when there is none. What the open
    // dialog starts in.
    [[nodiscard]] std::string lastFolder() const;

private:
    std::vector<std::string> m_paths;
};

}  // namespace dlv
