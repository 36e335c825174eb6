#pragma once

// Writing a file whole or not at all, in one place for every file the
// program writes: --plot's picture, and the window's Export Chart, Export
// Table, Export Map and Save Workspace As. Qt Core only.

#include <QString>

#include <functional>

class QIODevice;

namespace dlv {

// Puts a file's bytes into device, open for writing. Returns false when it
// failed on its own account (an encoder that gave up), with why set; the
// device's own failures need no report, writeThrough sees them.
using DeviceWriter = std::function<bool(QIODevice& device, QString& why)>;

// Writes through write to path. A new file, or a regular file that is
// there, is written to a temporary file beside it that replaces it only when
// every write, the flush and the close succeeded (QSaveFile): a failure
// leaves the old file as it was and no partial file. A device or FIFO that
// is there (/dev/stdout, a symbolic link to /dev/full) is written directly,
// opened without waiting for a reader. Returns an empty text, or the reason
// in the program's words, once: the system's error ("no space left on
// device", "file too large"), "its folder does not exist", "it is a
// directory". What Qt and its libraries say on this thread meanwhile
// (libpng's "Write Error", QPainter's) is kept off standard error: the
// reason says it. O(bytes written).
[[nodiscard]] QString writeFileSafely(const QString& path, const DeviceWriter& write);

// The same steps through a device already open for writing, without the
// temporary file: for the direct writes, and for tests and fuzzing with a
// device that fails on cue. Returns the first failure of a write to device
// (its errorString), or write's own reason; empty when all went well.
[[nodiscard]] QString writeThrough(QIODevice& device, const DeviceWriter& write);

// A reason in Qt's or the system's words ("No space left on device") as it
// reads after a colon in our messages: "no space left on device".
[[nodiscard]] QString reasonText(QString systemText);

// "cannot write 'PATH': REASON", the path with its control characters escaped.
[[nodiscard]] QString cannotWriteMessage(const QString& path, const QString& reason);

}  // namespace dlv
