#include "views/recent_logs.h"

#include <algorithm>
#include <filesystem>

namespace dlv {

RecentLogs::RecentLogs(const std::vector<std::string>& paths)
{
    // Oldest first, so that the newest ends up in front.
    for (auto it = paths.rbegin(); it != paths.rend(); ++it)
        if (!it->empty())
            opened(*it);
}

void RecentLogs::opened(const std::string& path)
{
    m_paths.erase(std::remove(m_paths.begin(), m_paths.end(), path), m_paths.end());
    m_paths.insert(m_paths.begin(), path);
    if (m_paths.size() > kMostLogs)
        m_paths.resize(kMostLogs);
}

std::string RecentLogs::lastFolder() const
{
    if (m_paths.empty())
        return {};
    return std::filesystem::path(m_paths.front()).parent_path().native();
}

}  // namespace dlv
