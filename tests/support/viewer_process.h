#pragma once

// The viewer run as a process of its own, as a script runs it: no display
// (the command-line modes need none) and a locale of the caller's choosing.
#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace dlvtest {

struct ViewerRun {
    int exitCode;
    QByteArray outBytes;  // standard output as written
    QString out;          // the same, read as UTF-8
    QString err;
};

inline ViewerRun runViewer(const QStringList& arguments, const QString& locale = QStringLiteral("C"))
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    env.insert("LC_ALL", locale);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(DLV_VIEWER_EXE), arguments);
    process.waitForFinished(60000);
    const QByteArray out = process.readAllStandardOutput();
    return {process.exitCode(), out, QString::fromUtf8(out), QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace dlvtest
