#pragma once

// Small logs written to a temporary folder for tests that open files.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace dlvtest {

class TempLogs {
public:
    TempLogs()
        : m_dir(std::filesystem::temp_directory_path() /
                ("dlv-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter()++)))
    {
        std::filesystem::create_directories(m_dir);
    }
    ~TempLogs() { std::filesystem::remove_all(m_dir); }
    TempLogs(const TempLogs&) = delete;
    TempLogs& operator=(const TempLogs&) = delete;

    std::string write(const std::string& name, const std::string& bytes) const
    {
        const auto path = m_dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    [[nodiscard]] std::string path(const std::string& name) const { return (m_dir / name).string(); }
    [[nodiscard]] const std::filesystem::path& dir() const { return m_dir; }

private:
    static int& counter()
    {
        static int n = 0;
        return n;
    }
    std::filesystem::path m_dir;
};

// A take line of `fields` comma-separated fields, all "0" except those given.
inline std::string takeLine(int fields, const std::vector<std::pair<int, std::string>>& values)
{
    std::vector<std::string> cells(static_cast<std::size_t>(fields), "0");
    for (const auto& [index, text] : values)
        cells[static_cast<std::size_t>(index)] = text;
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i)
        line += (i ? "," : "") + cells[i];
    return line;
}

}  // namespace dlvtest
