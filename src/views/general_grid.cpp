#include "views/general_grid.h"

#include "datalog/number.h"

#include <algorithm>

namespace dlv {

GeneralGridLayout::GeneralGridLayout(std::shared_ptr<const TakeStore> store) : m_store(std::move(store))
{
    const auto& names = m_store->ParamNames();
    m_names.reserve(names.size());
    for (const std::string& name : names) {
        m_names.push_back(displayText(name));
        m_maxNameBytes = std::max<std::uint32_t>(m_maxNameBytes, static_cast<std::uint32_t>(m_names.back().size()));
    }
}

std::string_view GeneralGridLayout::cell(int p, int col) const noexcept
{
    if (p < 0 || p >= parameterRows() || col < 0 || col >= columnCount())
        return {};
    if (col == 0)
        return m_names[static_cast<std::size_t>(p)];
    return trimSpaces(m_store->field(p, col - 1));
}

std::uint32_t GeneralGridLayout::maxCellBytes(int col) const noexcept
{
    if (col == 0)
        return m_maxNameBytes;
    if (col < 0 || col >= columnCount())
        return 0;
    return m_store->maxShownValueBytes(col - 1);
}

}  // namespace dlv
