#pragma once

#include "datalog/take_store.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace dlv {

// Reads one log on a worker thread of its own, so that the thread that
// starts it stays free (to keep a window painting). The reader runs on the
// worker and should follow the ReadControl it is given; onDone runs there
// too, once, when the reading has ended (to wake whoever waits, say).
// bytesRead and cancel may be used from any thread. The destructor cancels a
// reading still under way and waits for it.
class LogLoader final {
public:
    using Reader = std::function<ReadResult(const std::filesystem::path&, ReadControl&)>;

    LogLoader(Reader reader, std::filesystem::path path, std::function<void()> onDone);
    ~LogLoader();
    LogLoader(const LogLoader&) = delete;
    LogLoader& operator=(const LogLoader&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const noexcept { return m_path; }
    [[nodiscard]] std::uint64_t bytesRead() const noexcept { return m_control.bytesRead.load(); }
    void cancel() noexcept { m_control.cancel = true; }
    [[nodiscard]] bool cancelled() const noexcept { return m_control.cancel.load(); }

    // "Reading NAME\n12.3 MB read": the shown file name and the megabytes
    // (2^20 bytes) read so far.
    [[nodiscard]] std::string progressText() const;

    // Waits for the worker and hands over what the reader gave: a failure
    // naming the file when it threw. Call once.
    [[nodiscard]] ReadResult finish();

private:
    std::filesystem::path m_path;
    ReadControl m_control;
    ReadResult m_result;
    std::thread m_worker;  // last: started once everything it uses exists
};

}  // namespace dlv
