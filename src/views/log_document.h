#pragma once

#include "datalog/columns.h"
#include "datalog/log_channels.h"
#include "datalog/take_store.h"
#include "views/blm_table.h"
#include "views/curve.h"
#include "views/log_view_state.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>

namespace dlv {

// The open log and everything derived from it: the file name as the system
// gave it (raw bytes), the log's channels (of any format), its numeric
// columns, the BLM table and the curve of the last parameter asked for. A new log or a reload makes a
// new document; nothing here is ever keyed by a store address, so no cache
// can outlive the log it was built from. Derived parts are built on first
// use. Thread-safe: the window and the tabs that follow it may ask from any
// thread.
class LogDocument final {
public:
    LogDocument(std::filesystem::path path, std::shared_ptr<const LogChannels> log);
    // A log of the own format.
    LogDocument(std::filesystem::path path, std::shared_ptr<const TakeStore> store);
    LogDocument(const LogDocument&) = delete;
    LogDocument& operator=(const LogDocument&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const noexcept { return m_path; }
    [[nodiscard]] const LogChannels& log() const noexcept { return *m_log; }
    [[nodiscard]] const std::shared_ptr<const LogChannels>& sharedLog() const noexcept { return m_log; }
    // Whether the log is of the own format, whose fixed fields the BLM table reads.
    [[nodiscard]] bool isDatalog() const noexcept { return m_log->format() == LogFormat::Datalog && m_store; }
    // The own format's store; only when isDatalog().
    [[nodiscard]] const TakeStore& store() const noexcept { return *m_store; }
    [[nodiscard]] const std::shared_ptr<const TakeStore>& sharedStore() const noexcept { return m_store; }
    [[nodiscard]] ColumnCache& columns() noexcept { return m_columns; }

    // The averaged BLM table; O(takes) once. Empty for a log of another
    // format, whose fields 224, 236 and 247 mean nothing.
    [[nodiscard]] const BlmTable& blmTable();

    // One parameter's values and summary. The values are the column cache's
    // (one copy of a column whoever reads it). The last curve asked for is
    // kept, so that a click redraws without reading the takes again;
    // O(takes) otherwise.
    struct Curve {
        std::shared_ptr<const ParamSeries> series;
        CurveSummary summary;
    };
    // alongside, when given, is called with the series of a curve made anew
    // on another core while its summary is worked out (a long one's).
    [[nodiscard]] Curve curve(long long param, const std::function<void(const ParamSeries&)>& alongside = {});
    // Lets go of the last curve asked for, so that its column, once no one
    // else holds it either, can lend its memory to the next one parsed.
    void forgetCurve();

    // How the log's view stood when it was last on show (kept by the window
    // as another log comes on show, and carried to the document that a
    // reading again makes). For the window's thread only.
    [[nodiscard]] LogViewState& viewState() noexcept { return m_view; }
    [[nodiscard]] const LogViewState& viewState() const noexcept { return m_view; }

private:
    std::filesystem::path m_path;
    std::shared_ptr<const LogChannels> m_log;
    std::shared_ptr<const TakeStore> m_store;  // of the own format only
    ColumnCache m_columns;
    std::mutex m_mutex;
    std::unique_ptr<const BlmTable> m_blm;
    Curve m_curve;
    LogViewState m_view;
};

}  // namespace dlv
