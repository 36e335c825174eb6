#pragma once

// Number texts of the workbench's tables: for scripts, so they never depend on
// the locale. Cost O(digits).

#include <string>

namespace dlv::workbench {

// The shortest plain decimal text that reads back as the same double: 20, 2.5,
// 0.1, -10, 0.00001, 100000000000000000000; no exponent, no trailing zeros.
// -0 gives "0". Not for NaN or infinities (gives "nan", "inf", "-inf").
[[nodiscard]] std::string formatBreakpoint(double value);

// Two decimals, correctly rounded from the double, always with the point:
// 2.675 -> "2.67" (its double lies below the half), -0.001 -> "0.00" (no
// negative zero is shown). Not for NaN or infinities.
[[nodiscard]] std::string formatStatistic(double value);

}  // namespace dlv::workbench
