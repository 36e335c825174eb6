#pragma once

#include "datalog/log_channels.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dlv {

// Layout of the general data grid over a log of any format: one row per
// entry of ParamNames (row p + 1 is parameter p, the last row has the empty
// name), the names (with their units, where the log has them) in column 0
// and take t in column t + 1, for every take 0 .. U.
class GeneralGridLayout final {
public:
    explicit GeneralGridLayout(std::shared_ptr<const LogChannels> log);

    // Rows below the header row: one per entry of ParamNames (P + 1).
    [[nodiscard]] int parameterRows() const noexcept { return static_cast<int>(m_names.size()); }
    // ColCount of the grid: the name column plus one column per take (U + 2).
    [[nodiscard]] int columnCount() const noexcept { return m_log->takeCount() + 1; }

    // Text of parameter p's row at column col: its shown name (UTF-8) in
    // column 0, the value take col - 1 shows elsewhere. O(1); points into the
    // log, or into scratch for a format whose values are built when shown.
    [[nodiscard]] std::string_view cell(int p, int col, std::string& scratch) const;
    // Bytes of the longest text of column col over all parameter rows. O(1).
    [[nodiscard]] std::uint32_t maxCellBytes(int col) const noexcept;

    [[nodiscard]] const LogChannels& log() const noexcept { return *m_log; }

private:
    std::shared_ptr<const LogChannels> m_log;
    std::vector<std::string> m_names;  // shown names of ParamNames
    std::uint32_t m_maxNameBytes = 0;
};

}  // namespace dlv
