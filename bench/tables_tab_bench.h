#pragma once

#include <string>

namespace dlv::bench {

// Times the Tables tab on the log at path, in the real widget: the default
// table for a new log (columns parsed), then an edit of the filter field, the
// user's commonest edit, with the columns cached (the median of `runs`, after
// a warm-up). Prints "tables_default_ms X" and "tables_filter_recompute_ms X"
// lines, and the target beside the figure on standard error. False when the
// tab shows an error instead of a table.
bool printTablesTabFigures(const std::string& path, int runs);

}  // namespace dlv::bench
