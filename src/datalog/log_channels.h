#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dlv {

class TakeStore;

// Bytes a shown value is counted up to: no cell shows more than that.
inline constexpr std::uint32_t kShownValueBytesLimit = 8191;

// The formats a log can be read as. Auto: by the file's content.
enum class LogFormat { Auto, Datalog, Mlg, Msl, Text };

// "auto", "datalog", "mlg", "msl", "text": the names --format takes.
[[nodiscard]] std::string_view logFormatName(LogFormat format) noexcept;
[[nodiscard]] std::optional<LogFormat> logFormatNamed(std::string_view name) noexcept;

// How a channel's value is shown (MLG display styles; text logs show their
// own text and are all Number).
enum class ValueStyle { Number, Hex, Bits, Date, OnOff, YesNo, HighLow, ActiveInactive };

// What a log says of one channel besides its name. All texts UTF-8.
struct ChannelInfo {
    std::string unit;      // "rpm", "kPa"; empty when the log gives none
    std::string category;  // a group such as "Sensors"; empty when none
    int digits = -1;       // decimals shown; -1 when values show as the log's text has them
    ValueStyle style = ValueStyle::Number;
};

// A marker the log itself carries: a note at a take (MLG marker blocks,
// MSL MARK rows). take is the take it stands before (the first record
// after it), so it lies in 0 .. takeCount (takeCount for one after the last).
struct LogMarker {
    int take = 0;
    std::string text;  // UTF-8
};

// Where a log's run time comes from: parameter `param`, whose numbers times
// secondsPerUnit are seconds.
struct TimeChannel {
    long long param = 0;
    double secondsPerUnit = 1.0;
};

// What was read, for the window's line about it and File, Properties.
struct LogDetails {
    LogFormat format = LogFormat::Datalog;
    std::string formatName;   // "MLG 2", "MSL", "text", "datalog"
    std::string summary;      // one line: "MLG 2, 782 channels, 727 records, 3 markers"; empty for the own format
    std::string signature;    // firmware signature, empty when the log has none
    std::string captureDate;  // as the log writes it, empty when none
    // Further facts, in order: ("Separator", "';'"), ("Info", "..."), ...
    std::vector<std::pair<std::string, std::string>> more;
};

// One log's channels, whatever its format: names, units, the takes, the
// numbers of any channel by column and the text any take shows, built when
// it is shown. Every view and the workbench read a log through this alone.
// Immutable once read and shared (shared_ptr<const LogChannels>); every
// member may be called from any thread at once.
class LogChannels {
public:
    LogChannels() = default;
    LogChannels(const LogChannels&) = delete;
    LogChannels& operator=(const LogChannels&) = delete;
    virtual ~LogChannels() = default;

    // The channel names, the empty name last (so the last index is the
    // number of channels), as TakeStore::ParamNames gives them.
    [[nodiscard]] virtual const std::vector<std::string>& ParamNames() const noexcept = 0;
    [[nodiscard]] int channelCount() const noexcept { return static_cast<int>(ParamNames().size()) - 1; }
    // Takes 0 .. takeCount() - 1.
    [[nodiscard]] virtual int takeCount() const noexcept = 0;
    [[nodiscard]] int lastTake() const noexcept { return takeCount() - 1; }
    // Size of the file as read, in bytes.
    [[nodiscard]] virtual std::size_t fileBytes() const noexcept = 0;

    // Facts of channel p (0 .. channelCount() - 1); a default ChannelInfo
    // beyond. O(1).
    [[nodiscard]] virtual const ChannelInfo& channel(long long p) const noexcept;
    // Markers in take order; none by default.
    [[nodiscard]] virtual const std::vector<LogMarker>& markers() const noexcept;
    [[nodiscard]] virtual const LogDetails& details() const noexcept = 0;
    [[nodiscard]] LogFormat format() const noexcept { return details().format; }
    // Where the run time comes from; nullopt when the log has no time.
    [[nodiscard]] virtual std::optional<TimeChannel> timeChannel() const noexcept;

    // The text take t shows for channel p: nullopt (no value) for a take
    // outside 0 .. U, the empty text for a channel the take lacks. Points
    // into the log or into scratch, whichever the format needs; valid until
    // scratch is next written. O(1).
    [[nodiscard]] virtual std::optional<std::string_view> shownValue(long long p, long long t,
                                                                     std::string& scratch) const = 0;
    // Bytes of the longest shown value of take t over every channel, at most
    // kShownValueBytesLimit (an estimate where the format decodes values
    // only when shown). O(1).
    [[nodiscard]] virtual std::uint32_t maxShownValueBytes(int t) const noexcept = 0;

    // The numbers of params over takes firstTake .. firstTake + count - 1
    // (within 0 .. U): params[k] of take firstTake + i goes to outs[k][i],
    // quiet NaN where the take has no number. Split over every core.
    // Throws std::bad_alloc.
    virtual void parseInto(std::span<const long long> params, int firstTake, int count,
                           std::span<double* const> outs) const = 0;

    // The own text format's store behind this log, when it has one (the
    // own format, and the text formats, which are read into one), for the
    // passes built on it; null otherwise.
    [[nodiscard]] virtual const TakeStore* textStore() const noexcept { return nullptr; }
    [[nodiscard]] virtual std::shared_ptr<const TakeStore> sharedTextStore() const { return nullptr; }
};

// What a grid row, a curve's title, a legend or a table header shows for a
// channel: its name as UTF-8 (displayText), then " [unit]" when the log
// gives a unit that the name does not already carry in brackets.
[[nodiscard]] std::string shownChannelName(std::string_view name, std::string_view unit);

// Words that on/off channels of text logs hold, read as numbers: On, Yes,
// High, Active, True give 1; Off, No, Low, Inactive, False give 0 (any case).
[[nodiscard]] std::optional<double> wordValue(std::string_view text) noexcept;

// A log held in a take store: the own format (no units, the time in
// parameter 0), or a text format read into one. The names are the store's.
class StoreChannels final : public LogChannels {
public:
    struct Extras {
        std::vector<ChannelInfo> channels;  // by parameter; may be shorter than the names
        std::vector<LogMarker> markers;
        LogDetails details;
        std::optional<TimeChannel> time = TimeChannel{};
        // Parameters whose cells may hold words (wordValue) where no number.
        std::vector<long long> wordChannels;
    };
    // The own format: details say "datalog", the time is parameter 0.
    explicit StoreChannels(std::shared_ptr<const TakeStore> store);
    StoreChannels(std::shared_ptr<const TakeStore> store, Extras extras);

    [[nodiscard]] const std::vector<std::string>& ParamNames() const noexcept override;
    [[nodiscard]] int takeCount() const noexcept override;
    [[nodiscard]] std::size_t fileBytes() const noexcept override;
    [[nodiscard]] const ChannelInfo& channel(long long p) const noexcept override;
    [[nodiscard]] const std::vector<LogMarker>& markers() const noexcept override { return m_extras.markers; }
    [[nodiscard]] const LogDetails& details() const noexcept override { return m_extras.details; }
    [[nodiscard]] std::optional<TimeChannel> timeChannel() const noexcept override { return m_extras.time; }
    [[nodiscard]] std::optional<std::string_view> shownValue(long long p, long long t,
                                                             std::string& scratch) const override;
    [[nodiscard]] std::uint32_t maxShownValueBytes(int t) const noexcept override;
    void parseInto(std::span<const long long> params, int firstTake, int count,
                   std::span<double* const> outs) const override;
    [[nodiscard]] const TakeStore* textStore() const noexcept override { return m_store.get(); }
    [[nodiscard]] std::shared_ptr<const TakeStore> sharedTextStore() const override { return m_store; }

private:
    std::shared_ptr<const TakeStore> m_store;
    Extras m_extras;
};

// The details of a log of the own format.
[[nodiscard]] LogDetails datalogDetails();

}  // namespace dlv
