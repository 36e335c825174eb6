#include "app/export_command.h"

#include "datalog/display_text.h"
#include "datalog/log_formats.h"
#include "views/log_export.h"
#include "window/form1.h"

#include <QFile>
#include <QSaveFile>

#include <new>
#include <ostream>
#include <string>

namespace dlv {

namespace {

constexpr const char* kProgram = "datalog-viewer: ";

std::string quotedPath(const std::filesystem::path& path)
{
    return "'" + quotedText(path.native()) + "'";
}

int run(const std::filesystem::path& logPath, const std::filesystem::path& outPath, LogFormat format,
        std::ostream& err)
{
    const ReadResult read = readLog(logPath, format);
    if (!read.ok()) {
        err << kProgram << read.error << "\n";
        return 1;
    }
    for (const ReadWarning& warning : read.warnings)
        err << kProgram << "warning: " << quotedPath(logPath) << ": " << warning.message << "\n";
    const std::shared_ptr<const LogChannels> log = logOf(read);
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(outPath.native())));
    if (!file.open(QIODevice::WriteOnly)) {
        err << kProgram << "cannot write " << quotedPath(outPath) << ": " << file.errorString().toStdString() << "\n";
        return 1;
    }
    const bool written = exportLog(*log, exportTitle(logPath.filename().native(), *log, programName().toStdString()), [&file](std::string_view piece) {
        return file.write(piece.data(), static_cast<qint64>(piece.size())) == static_cast<qint64>(piece.size());
    });
    if (!written || !file.commit()) {
        err << kProgram << "cannot write " << quotedPath(outPath) << ": " << file.errorString().toStdString() << "\n";
        file.cancelWriting();
        return 1;
    }
    return 0;
}

}  // namespace

int runExportCommand(const std::filesystem::path& log, const std::filesystem::path& out, LogFormat format,
                     std::ostream& err) noexcept
{
    try {
        try {
            return run(log, out, format, err);
        } catch (const std::bad_alloc&) {
            err << kProgram << "not enough memory to export " << quotedPath(log) << "\n";
        } catch (const std::exception& e) {
            err << kProgram << "the export failed: " << e.what() << "\n";
        } catch (...) {
            err << kProgram << "the export failed\n";
        }
    } catch (...) {
    }
    return 1;
}

}  // namespace dlv
