#include "render/file_writing.h"

#include "datalog/display_text.h"
#include "datalog/regular_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>

namespace dlv {

namespace {

// While one is alive, what Qt says on this thread goes nowhere: the writer's
// own reason tells the user what went wrong, once. Other threads are heard
// as before.
class QuietMessages final {
public:
    QuietMessages()
    {
        if (t_depth++ == 0)
            s_previous = qInstallMessageHandler(&QuietMessages::handle);
    }
    ~QuietMessages()
    {
        if (--t_depth == 0)
            qInstallMessageHandler(s_previous);
    }
    QuietMessages(const QuietMessages&) = delete;
    QuietMessages& operator=(const QuietMessages&) = delete;

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (t_depth > 0 && type != QtFatalMsg)
            return;
        if (s_previous)
            s_previous(type, context, message);
        else
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    }
    static thread_local int t_depth;
    static inline QtMessageHandler s_previous = nullptr;
};

thread_local int QuietMessages::t_depth = 0;

// Hands every write on to a target and keeps the first failure with the
// target's reason: the writers of pictures (QImageWriter, QSvgGenerator)
// carry on over a failed write and tell nothing, or only "Unknown error".
class CheckedDevice final : public QIODevice {
public:
    explicit CheckedDevice(QIODevice& target) : m_target(target) {}
    [[nodiscard]] const std::optional<QString>& failure() const noexcept { return m_failure; }
    [[nodiscard]] bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (m_failure)
            return -1;
        for (qint64 done = 0; done < size;) {
            const qint64 written = m_target.write(data + done, size - done);
            if (written <= 0) {
                const QString reason = m_target.errorString();
                m_failure = written == 0 || reason.isEmpty() ? QStringLiteral("the device took no more bytes") : reason;
                setErrorString(*m_failure);
                return -1;
            }
            done += written;
        }
        return size;
    }

private:
    QIODevice& m_target;
    std::optional<QString> m_failure;
};

// A device or FIFO that is there: written as it is, opened without waiting
// for a reader and then made to wait for the writes, so that nothing is
// lost to a full pipe.
QString writeDirectly(const QByteArray& native, const DeviceWriter& write)
{
    const int fd = ::open(native.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENXIO ? QStringLiteral("nothing reads from it") : QString::fromStdString(errorReason(errno));
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return reasonText(file.errorString());
    }
    QString reason = writeThrough(file, write);
    if (reason.isEmpty() && !file.flush())
        reason = reasonText(file.errorString());
    file.close();
    return reason;
}

}  // namespace

QString writeThrough(QIODevice& device, const DeviceWriter& write)
{
    const QuietMessages quiet;
    CheckedDevice checked(device);
    checked.open(QIODevice::WriteOnly);
    QString why;
    bool ok = false;
    try {
        ok = write(checked, why);
    } catch (const std::bad_alloc&) {
        why = QStringLiteral("not enough memory");
    } catch (const std::exception& error) {
        why = QString::fromLocal8Bit(error.what());
    }
    checked.close();
    if (checked.failure())
        return reasonText(*checked.failure());
    if (!ok)
        return why.isEmpty() ? QStringLiteral("it could not be written") : why;
    return {};
}

QString writeFileSafely(const QString& path, const DeviceWriter& write)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return QStringLiteral("it is a directory");
        if (!S_ISREG(info.st_mode))
            return writeDirectly(native, write);
    } else if (errno == ENOENT && !QFileInfo(path).absoluteDir().exists()) {
        return QStringLiteral("its folder does not exist");
    }
    // Unbuffered: QSaveFile counts a failed write only when it comes from a
    // write call, not from the flush of its buffer when it closes, so a disk
    // that fills in the last buffer's worth would pass unseen.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return reasonText(file.errorString());
    QString reason = writeThrough(file, write);
    if (reason.isEmpty() && (!file.flush() || file.error() != QFileDevice::NoError))
        reason = reasonText(file.errorString());
    if (!reason.isEmpty()) {
        file.cancelWriting();  // the temporary file goes with the object
        return reason;
    }
    // Syncs, closes and renames; any failure leaves the old file.
    if (!file.commit())
        return reasonText(file.errorString());
    return {};
}

QString reasonText(QString systemText)
{
    if (!systemText.isEmpty())
        systemText[0] = systemText[0].toLower();
    return systemText;
}

QString cannotWriteMessage(const QString& path, const QString& reason)
{
    const QByteArray native = QFile::encodeName(path);
    const std::string quoted = quotedText(std::string_view(native.constData(), static_cast<std::size_t>(native.size())));
    return QStringLiteral("cannot write '%1': %2").arg(QString::fromStdString(quoted), reason);
}

}  // namespace dlv
