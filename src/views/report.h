#pragma once

#include "datalog/log_channels.h"
#include "datalog/take_store.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dlv {

// The texts the window shows for a log, as plain text for the headless
// report: "Runtime: " and the run-time line; an empty line and the 9 rows of
// the BLM table; with hits, an empty line and the same table of hit counts;
// an empty line, "Parameter Max Avg Min" and one line per parameter row of
// the general grid. Cells are joined by TAB, lines end with LF.
// Cost: one pass over the takes for everything, split over the cores; memory
// a few MB beside the store, whatever the log's size.
[[nodiscard]] std::string reportText(const TakeStore& store, std::string_view decimalSeparator, bool hits = false);

// The report of a log of any format: reportText(store) for the own format.
// For another: the run time from the log's time channel, the note that
// stands in for the BLM table (otherFormatBlmNote; once, with or without
// hits), and every channel's maximum, average and minimum, its name shown
// with its unit. One pass over the takes, split over the cores by channels.
[[nodiscard]] std::string reportText(const LogChannels& log, std::string_view decimalSeparator, bool hits = false);

// The report of a log read a chunk at a time, and the reader's warnings:
// byte for byte what reportText and readDataLog give for the whole log.
struct StreamedReport {
    std::string text;
    std::vector<ReadWarning> warnings;
    // What the window's notes are made of besides: the names (without the
    // empty one that ends them) and the most fields of any take.
    std::vector<std::string> names;
    int mostFields = 0;
};

// Bytes of data lines a streamed report holds at a time: large enough that
// each chunk is still read and indexed on every core.
inline constexpr std::size_t kReportChunkBytes = std::size_t{16} << 20;

// The report of the log at path streamed (see streamOwnLog: a log of the
// own format; of another format, nullopt): memory about
// twice chunkBytes plus one chunk's index, whatever the log's size. nullopt where
// streaming cannot answer (any error included): then read the log whole and
// use reportText (readLog also gives the error's message).
[[nodiscard]] std::optional<StreamedReport> streamedReport(const std::filesystem::path& path,
                                                           std::string_view decimalSeparator, bool hits = false,
                                                           std::size_t chunkBytes = kReportChunkBytes);

// The same over a log's bytes in memory (see streamDataLogBytes).
[[nodiscard]] std::optional<StreamedReport> streamedReportOfBytes(std::string_view bytes,
                                                                  std::string_view decimalSeparator, bool hits,
                                                                  std::size_t chunkBytes);

}  // namespace dlv
