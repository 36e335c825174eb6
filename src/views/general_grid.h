#pragma once

#include "datalog/take_store.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dlv {

// Layout of the general data grid over a take store: one row per entry of
// ParamNames (row p + 1 is parameter p, the last row has the empty name), the
// names in column 0 and take t in column t + 1, for every take 0 .. U.
class GeneralGridLayout final {
public:
    explicit GeneralGridLayout(std::shared_ptr<const TakeStore> store);

    // Rows below the header row: one per entry of ParamNames (P + 1).
    [[nodiscard]] int parameterRows() const noexcept { return static_cast<int>(m_names.size()); }
    // ColCount of the grid: the name column plus one column per take (U + 2).
    [[nodiscard]] int columnCount() const noexcept { return m_store->takeCount() + 1; }

    // Text of parameter p's row at column col: its name (as UTF-8) in column 0,
    // the trimmed value of take col - 1 elsewhere. O(1); points into the store.
    [[nodiscard]] std::string_view cell(int p, int col) const noexcept;
    // Bytes of the longest text of column col over all parameter rows. O(1).
    [[nodiscard]] std::uint32_t maxCellBytes(int col) const noexcept;

    [[nodiscard]] const TakeStore& store() const noexcept { return *m_store; }

private:
    std::shared_ptr<const TakeStore> m_store;
    std::vector<std::string> m_names;  // display texts of ParamNames
    std::uint32_t m_maxNameBytes = 0;
};

}  // namespace dlv
