#pragma once

// A log of any format written in the own format: a title line, the names
// line and one line per take, so that any tool's log reads in any other.

#include "datalog/log_channels.h"

#include <functional>
#include <string>
#include <string_view>

namespace dlv {

// Receives the export's text in pieces, in order; false stops the export
// (a write that failed).
using ExportSink = std::function<bool(std::string_view piece)>;
// Told how many takes are written so far; false stops the export (cancel).
using ExportProgress = std::function<bool(int takesDone)>;

// What a cell of the export holds: the value as the log shows it when that
// reads as a number; otherwise the log's number for the cell, in the
// shortest form that reads back as the same double (words of on/off
// channels, hex and bit styles); otherwise the shown text with its commas,
// CR and LF made spaces (text stays text, and cannot split the line).
// O(the text).
void appendExportCell(std::string& out, std::string_view shown, double number);

// The names line: the names joined by ',', each with its commas, CR and LF
// made spaces and an empty name written "Channel N" (so that the names do
// not end early), N counted from 1. No line end.
[[nodiscard]] std::string exportNamesLine(const std::vector<std::string>& names);

// The title line of an export: "FILE, FORMAT, exported by PROGRAM", the
// file name shown as UTF-8.
[[nodiscard]] std::string exportTitle(std::string_view fileName, const LogChannels& log, std::string_view program);

// Writes title (a line of its own, CR and LF made spaces), the names line
// and every take, lines ending in LF. Takes are formatted a block at a time
// on every core, written in order. Returns false when sink or progress
// stopped it. Throws std::bad_alloc. O(cells).
bool exportLog(const LogChannels& log, std::string_view title, const ExportSink& sink,
               const ExportProgress& progress = {});

}  // namespace dlv
