#pragma once

// MLG, the binary log ("MLVLG") of versions 1 and 2.

#include "datalog/log_channels.h"
#include "datalog/mlg_header.h"
#include "datalog/take_store.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace dlv {

class ByteBuffer;

// Whether head starts as an MLG file does. O(1).
[[nodiscard]] bool looksLikeMlg(std::string_view head) noexcept;

// Reads the first size bytes of buffer as MLG; the log keeps the buffer and
// decodes a channel's numbers when they are asked for. Opening walks the
// blocks (a stride when no marker breaks it) and sums every record's bytes
// for its checksum, in parts on every core: O(file) once, memory-bound.
// Never throws.
[[nodiscard]] ReadResult readMlgBuffer(std::unique_ptr<ByteBuffer> buffer, std::size_t size,
                                       std::string_view displayName) noexcept;

// Where a run of records lies that follow one another without a marker
// between them: records firstTake, firstTake + 1, ... start at offset,
// offset + stride, ... up to the next run's firstTake. Offsets are of the
// block's type byte.
struct MlgRun {
    std::uint64_t firstTake = 0;
    std::uint64_t offset = 0;
};

// A log read from an MLG file: channels are its fields, takes its data
// records. Holds the file's bytes and, beyond them, the descriptors, the
// markers and one MlgRun per run of records (one in a log without markers).
// Numbers and texts are decoded from the bytes when asked for.
class MlgLog final : public LogChannels {
public:
    struct Layout {
        MlgHeader header;
        std::vector<MlgRun> runs;
        int records = 0;
        std::vector<LogMarker> markers;
        std::uint64_t checksumMismatches = 0;
        std::uint64_t firstMismatch = 0;  // the first take whose checksum does not match, when any
    };
    MlgLog(std::unique_ptr<ByteBuffer> bytes, std::size_t size, Layout layout);
    ~MlgLog() override;

    [[nodiscard]] const std::vector<std::string>& ParamNames() const noexcept override { return m_names; }
    [[nodiscard]] int takeCount() const noexcept override { return m_layout.records; }
    [[nodiscard]] std::size_t fileBytes() const noexcept override { return m_size; }
    [[nodiscard]] const ChannelInfo& channel(long long p) const noexcept override;
    [[nodiscard]] const std::vector<LogMarker>& markers() const noexcept override { return m_layout.markers; }
    [[nodiscard]] const LogDetails& details() const noexcept override { return m_details; }
    [[nodiscard]] std::optional<TimeChannel> timeChannel() const noexcept override { return m_time; }
    // O(log runs): the record is found by its run.
    [[nodiscard]] std::optional<std::string_view> shownValue(long long p, long long t,
                                                             std::string& scratch) const override;
    // The widest text any field can show, from its type, scale, transform,
    // digits and style (an F32 is taken to stay within ±99,999 before its
    // scale); the same for every take. O(1).
    [[nodiscard]] std::uint32_t maxShownValueBytes(int t) const noexcept override;
    // Decodes blocks of 16 records at a time, a loop per field type
    // (mlg_field_loops.h), in parts on every core. Takes outside the log
    // get NaN.
    void parseInto(std::span<const long long> params, int firstTake, int count,
                   std::span<double* const> outs) const override;

    // The field of channel p; nullptr beyond the fields.
    [[nodiscard]] const MlgField* field(long long p) const noexcept;

private:
    [[nodiscard]] const unsigned char* record(std::uint64_t t) const noexcept;
    void decodeTakes(std::span<const long long> params, std::size_t firstTake, std::size_t count,
                     std::span<double* const> outs, std::size_t outAt) const;

    std::unique_ptr<ByteBuffer> m_bytes;
    const unsigned char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_stride = 0;  // bytes of a data block
    Layout m_layout;
    std::vector<std::string> m_names;
    LogDetails m_details;
    std::optional<TimeChannel> m_time;
    std::uint32_t m_maxShownBytes = 0;
};

}  // namespace dlv
