#pragma once

// A shown Form1 whose File, Open dialog answers with nextName and whose
// messages are collected instead of shown: errors apart from the rest (the
// About box). Tests of the whole window derive from it.
#include "support/temp_logs.h"
#include "support/user_log.h"
#include "window/cell_grid.h"
#include "window/form1.h"

#include <QAction>
#include <QString>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

namespace dlvtest {

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<dlv::Form1>();
        form->setFileNameChooser([this] { return nextName; });
        form->setMessageHandler([this](dlv::Form1::MessageKind kind, const QString&, const QString& text) {
            (kind == dlv::Form1::MessageKind::Error ? errors : abouts) << text;
        });
        form->show();
    }

    // Triggers the window's action of that object name, as its menu item would.
    void trigger(const char* action)
    {
        auto* a = form->findChild<QAction*>(action);
        ASSERT_TRUE(a) << action;
        a->trigger();
    }

    std::unique_ptr<dlv::Form1> form;
    QString nextName;
    QStringList errors;
    QStringList abouts;
};

// The window with the user's log open as drive.csv through File, Open.
class DriveLogWindowFixture : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        nextName = QString::fromStdString(files.write("drive.csv", kUserLog));
        trigger("mnuOpen");
        ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    }

    TempLogs files;
};

// The same window, active (keys reach it), with a log of the test's own:
// openLog writes log.csv and opens it as File, Open would; append lets it
// grow, as a logger writing it does.
class LogWindowFixture : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        grid1 = form->findChild<dlv::CellGrid*>("Grid1");
    }
    void openLog(const std::string& bytes)
    {
        path = logs.write("log.csv", bytes);
        form->openFile(QString::fromStdString(path));
        ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    }
    void append(const std::string& bytes) const { std::ofstream(path, std::ios::binary | std::ios::app) << bytes; }

    TempLogs logs;
    std::string path;
    dlv::CellGrid* grid1 = nullptr;
};

}  // namespace dlvtest
