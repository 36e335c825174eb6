// Entry point of the window tests: real widgets need a QApplication, which
// the tests run under the offscreen platform unless one is chosen. The
// window's settings (the recent logs) go to a folder of the test run's own,
// never to the user's.
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir settings;
    QCoreApplication::setOrganizationName(QStringLiteral("Datalog Viewer Tests"));
    QCoreApplication::setApplicationName(QStringLiteral("test_window"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, settings.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
