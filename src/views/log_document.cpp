#include "views/log_document.h"

namespace dlv {

LogDocument::LogDocument(std::filesystem::path path, std::shared_ptr<const TakeStore> store)
    : m_path(std::move(path)), m_store(std::move(store)), m_columns(m_store)
{
    // The window asks for one column at a time, each as a row is clicked.
    m_columns.keepSpareColumn();
}

const BlmTable& LogDocument::blmTable()
{
    const std::lock_guard lock(m_mutex);
    if (!m_blm)
        m_blm = std::make_unique<const BlmTable>(computeBlmTable(*m_store));
    return *m_blm;
}

LogDocument::Curve LogDocument::curve(long long param)
{
    const std::lock_guard lock(m_mutex);
    if (!m_curve.series || m_curve.series->param != param) {
        auto series = std::make_shared<const ParamSeries>(ParamSeries{param, m_columns.column(param)});
        m_curve = {series, summarizeSeries(*series)};
    }
    return m_curve;
}

}  // namespace dlv
