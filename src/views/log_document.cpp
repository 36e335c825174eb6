#include "views/log_document.h"

#include "datalog/parallel.h"

namespace dlv {

namespace {

// Takes from which a curve's summary and what goes alongside it are worth a
// thread of their own.
constexpr int kAlongsideFromTakes = 1 << 16;

std::shared_ptr<const TakeStore> datalogStore(const LogChannels& log)
{
    return log.format() == LogFormat::Datalog ? log.sharedTextStore() : nullptr;
}

}  // namespace

LogDocument::LogDocument(std::filesystem::path path, std::shared_ptr<const TakeStore> store)
    : LogDocument(std::move(path), std::make_shared<const StoreChannels>(std::move(store)))
{
}

LogDocument::LogDocument(std::filesystem::path path, std::shared_ptr<const LogChannels> log)
    : m_path(std::move(path)), m_log(std::move(log)), m_store(datalogStore(*m_log)), m_columns(m_log)
{
    // The window asks for one column at a time, each as a row is clicked.
    m_columns.keepSpareColumn();
}

const BlmTable& LogDocument::blmTable()
{
    const std::lock_guard lock(m_mutex);
    if (!m_blm)
        m_blm = std::make_unique<const BlmTable>(m_store ? computeBlmTable(*m_store) : BlmTable{});
    return *m_blm;
}

LogDocument::Curve LogDocument::curve(long long param, const std::function<void(const ParamSeries&)>& alongside)
{
    const std::lock_guard lock(m_mutex);
    if (!m_curve.series || m_curve.series->param != param) {
        auto series = std::make_shared<const ParamSeries>(ParamSeries{param, m_columns.column(param)});
        CurveSummary summary;
        if (!alongside) {
            summary = summarizeSeries(*series);
        } else if (series->takeCount() < kAlongsideFromTakes) {
            summary = summarizeSeries(*series);
            alongside(*series);
        } else {
            // The summary is one chain of additions in take order; the
            // other core is free meanwhile.
            runParts(2, [&](std::size_t k) {
                if (k == 0)
                    summary = summarizeSeries(*series);
                else
                    alongside(*series);
            });
        }
        m_curve = {series, summary};
    }
    return m_curve;
}

void LogDocument::forgetCurve()
{
    const std::lock_guard lock(m_mutex);
    m_curve = {};
}

}  // namespace dlv
