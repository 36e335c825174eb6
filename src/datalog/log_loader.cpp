#include "datalog/log_loader.h"

#include "datalog/display_text.h"

#include <array>
#include <charconv>
#include <utility>

namespace dlv {

LogLoader::LogLoader(Reader reader, std::filesystem::path path, std::function<void()> onDone)
    : m_path(std::move(path)),
      m_worker([this, reader = std::move(reader), onDone = std::move(onDone)] {
          try {
              m_result = reader(m_path, m_control);
          } catch (...) {
              m_result = ReadResult{};
              m_result.error = "Cannot read '" + displayText(m_path.native()) + "': not enough memory";
          }
          if (onDone)
              onDone();
      })
{
}

LogLoader::~LogLoader()
{
    if (m_worker.joinable()) {
        cancel();
        m_worker.join();
    }
}

std::string LogLoader::progressText() const
{
    // to_chars: the same digits whatever the C locale says.
    std::array<char, 32> mb{};
    const double megabytes = static_cast<double>(bytesRead()) / (1024.0 * 1024.0);
    const auto end = std::to_chars(mb.data(), mb.data() + mb.size(), megabytes, std::chars_format::fixed, 1).ptr;
    return "Reading " + shownText(m_path.native()) + "\n" + std::string(mb.data(), end) + " MB read";
}

ReadResult LogLoader::finish()
{
    if (m_worker.joinable())
        m_worker.join();
    return std::move(m_result);
}

}  // namespace dlv
