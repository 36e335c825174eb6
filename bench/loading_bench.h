#pragma once

#include <QString>

namespace dlv {
class Form1;
}

namespace dlv::bench {

// How often the window repaints while it reads a log: form.openFile(path)
// three times, each with a 10 ms timer running from Form1::loadStarted to
// loadRead that asks the window to repaint at each tick. Prints "key value"
// lines on standard output, the median over the opens of the largest gap
// between ticks (load_tick_gap_ms) and between paint events of the window
// (load_paint_gap_ms), from loadStarted to loadRead; on standard error the
// same beside their target (<= 100 ms) with each open's figure. False when
// an open failed.
bool reportLoadingRepaints(Form1& form, const QString& path);

}  // namespace dlv::bench
