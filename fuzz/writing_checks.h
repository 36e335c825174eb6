#pragma once

// What the writing fuzz target checks on each input, kept apart from
// libFuzzer so that the test suite replays the inputs kept under
// tests/fuzz_regressions/file_writing. Returns an empty text when every
// property holds, otherwise what broke. Needs a QGuiApplication (pictures
// are painted with fonts).
//
// The input: byte 0 picks what is written (0 a PNG chart, 1 an SVG chart,
// else text); bytes 1-3 the number of bytes the device takes before it fails
// (little-endian; 0xFFFFFF: it never fails); byte 4 how it fails (0: the
// write returns -1 with a reason, 1: it takes part of the write first, 2: it
// takes nothing and says nothing); the rest is the text, or for a chart a
// width and height byte and the values of one channel (one byte a take,
// 255 for no number).

#include "charts/chart_data.h"
#include "render/chart_renderer.h"
#include "render/file_writing.h"

#include <QBuffer>
#include <QIODevice>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

namespace dlv::fuzzcheck {

// A device that takes `capacity` bytes and then fails as told.
class FailingDevice final : public QIODevice {
public:
    enum class Mode { Error, PartThenError, Silent };
    static constexpr const char* kReason = "No space left on device";

    FailingDevice(std::uint64_t capacity, Mode mode) : m_capacity(capacity), m_mode(mode) {}
    [[nodiscard]] bool failed() const noexcept { return m_failed; }
    [[nodiscard]] const QByteArray& bytes() const noexcept { return m_bytes; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        const std::uint64_t room = m_capacity - static_cast<std::uint64_t>(m_bytes.size());
        if (static_cast<std::uint64_t>(size) <= room) {
            m_bytes.append(data, size);
            return size;
        }
        m_failed = true;
        if (m_mode == Mode::PartThenError && room > 0 && !m_partDone) {
            m_partDone = true;
            m_bytes.append(data, static_cast<qsizetype>(room));
            return static_cast<qint64>(room);
        }
        if (m_mode == Mode::Silent)
            return 0;
        setErrorString(QString::fromLatin1(kReason));
        return -1;
    }

private:
    std::uint64_t m_capacity;
    Mode m_mode;
    QByteArray m_bytes;
    bool m_failed = false;
    bool m_partDone = false;
};

// Counts what Qt says on the calling thread while it lives.
class MessageCount final {
public:
    MessageCount() { s_previous = qInstallMessageHandler(&MessageCount::handle); s_thread = QThread::currentThread(); s_count = 0; }
    ~MessageCount() { qInstallMessageHandler(s_previous); }
    [[nodiscard]] int count() const noexcept { return s_count; }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (QThread::currentThread() == s_thread)
            ++s_count;
        else if (s_previous)
            s_previous(type, context, message);
    }
    static inline QtMessageHandler s_previous = nullptr;
    static inline QThread* s_thread = nullptr;
    static inline std::atomic<int> s_count = 0;
};

inline std::string checkFileWriting(std::string_view input)
{
    if (input.size() < 5)
        return {};
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(input[i]); };
    const int kind = byte(0) % 3;
    const std::uint32_t limit = byte(1) | (byte(2) << 8) | (static_cast<std::uint32_t>(byte(3)) << 16);
    const std::uint64_t capacity = limit == 0xFFFFFF ? std::numeric_limits<std::uint64_t>::max() : limit;
    const auto mode = static_cast<FailingDevice::Mode>(byte(4) % 3);
    const std::string_view rest = input.substr(5);

    // What is written, the same way to the failing device and to a buffer.
    DeviceWriter write;
    ChartRenderer renderer;
    QSize size;
    const std::string text(rest);
    if (kind == 2) {
        write = [&text](QIODevice& device, QString&) {
            return device.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
        };
    } else {
        if (rest.size() < 2)
            return {};
        size = QSize(40 + byte(5) % 200, 30 + byte(6) % 150);
        auto values = std::make_shared<Column>();
        for (const char c : rest.substr(2))
            values->push_back(static_cast<unsigned char>(c) == 255 ? std::numeric_limits<double>::quiet_NaN()
                                                                   : static_cast<double>(static_cast<signed char>(c)) * 1e306);
        ResolvedPage page;
        page.takeCount = static_cast<int>(values->size());
        page.panes.push_back(ResolvedPane{ChartPaneKind::Stacked, {ResolvedChannel{"A", values, 0x0072B2, {}}}});
        renderer.setPage(std::move(page));
        const ChartFormat format = kind == 0 ? ChartFormat::Png : ChartFormat::Svg;
        write = [&renderer, size, format](QIODevice& device, QString& why) {
            return writeChart(renderer, size, format, QStringLiteral("fuzz.csv  \u00b7  every take"), device, why);
        };
    }

    QBuffer reference;
    reference.open(QIODevice::WriteOnly);
    if (const QString failed = writeThrough(reference, write); !failed.isEmpty())
        return "writing to memory failed: " + failed.toStdString();

    FailingDevice device(capacity, mode);
    device.open(QIODevice::WriteOnly);
    QString reason;
    int messages = 0;
    {
        const MessageCount counted;
        reason = writeThrough(device, write);
        messages = counted.count();
    }
    if (messages != 0)
        return "Qt said " + std::to_string(messages) + " thing(s) on standard error while writing";
    if (device.failed() != !reason.isEmpty())
        return device.failed() ? "a failed write was not reported" : "a write that worked was reported as failed: " +
                                                                         reason.toStdString();
    if (!device.failed()) {
        if (device.bytes() != reference.data())
            return "the bytes written differ from those written to memory";
        return {};
    }
    if (static_cast<std::uint64_t>(reference.data().size()) <= capacity)
        return "the device failed although everything fitted";
    if (mode != FailingDevice::Mode::Silent) {
        const QString expected = reasonText(QString::fromLatin1(FailingDevice::kReason));
        if (reason != expected)
            return "the reason is \"" + reason.toStdString() + "\", not the device's";
    } else if (reason.isEmpty()) {
        return "a device that took nothing gave no reason";
    }
    if (!reference.data().startsWith(device.bytes()))
        return "the bytes before the failure differ from those written to memory";
    const QString message = cannotWriteMessage(QStringLiteral("fuzz.png"), reason);
    if (message.count(reason) != 1)
        return "the message does not give the reason once";
    return {};
}

}  // namespace dlv::fuzzcheck
