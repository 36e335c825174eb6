#include "views/general_grid.h"

#include <algorithm>

namespace dlv {

GeneralGridLayout::GeneralGridLayout(std::shared_ptr<const LogChannels> log) : m_log(std::move(log))
{
    const auto& names = m_log->ParamNames();
    m_names.reserve(names.size());
    for (std::size_t p = 0; p < names.size(); ++p) {
        m_names.push_back(shownChannelName(names[p], m_log->channel(static_cast<long long>(p)).unit));
        m_maxNameBytes = std::max<std::uint32_t>(m_maxNameBytes, static_cast<std::uint32_t>(m_names.back().size()));
    }
}

std::string_view GeneralGridLayout::cell(int p, int col, std::string& scratch) const
{
    if (p < 0 || p >= parameterRows() || col < 0 || col >= columnCount())
        return {};
    if (col == 0)
        return m_names[static_cast<std::size_t>(p)];
    return m_log->shownValue(p, col - 1, scratch).value_or(std::string_view{});
}

std::uint32_t GeneralGridLayout::maxCellBytes(int col) const noexcept
{
    if (col == 0)
        return m_maxNameBytes;
    if (col < 0 || col >= columnCount())
        return 0;
    return m_log->maxShownValueBytes(col - 1);
}

}  // namespace dlv
