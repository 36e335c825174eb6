// A log of another format in the real window: what was read is said where
// the warnings are, the grid shows units and built texts, the run time comes
// from the time channel, the BLM tab explains itself, File, Properties and
// File, Export Log As CSV work, Open As names the format, and the channel
// filter finds channels among many.
#include "datalog/log_formats.h"
#include "views/blm_table.h"
#include "views/log_document.h"
#include "window/cell_grid.h"
#include "window/channel_filter_bar.h"
#include "window/warning_bar.h"

#include "support/memory_log.h"
#include "support/temp_logs.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

class FormatsWindow : public dlvtest::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        log = dlvtest::drive();
        log->m_details.format = dlv::LogFormat::Mlg;
        log->m_details.formatName = "MLG 2";
        log->m_details.summary = "MLG 2, 3 channels, 4 records, 1 marker";
        log->m_details.signature = "rusEFI 2024";
        log->m_markers = {{2, "pull"}};
        form->setLogReader([this](const std::filesystem::path& path, dlv::ReadControl&) {
            readPaths.push_back(path);
            dlv::ReadResult result;
            result.log = log;
            return result;
        });
        form->setPathChooser([this](const QString&, bool) { return nextPath; });
    }
    template <class T = QWidget>
    T* child(const char* name) const
    {
        return form->findChild<T*>(QString::fromLatin1(name));
    }

    std::shared_ptr<dlvtest::MemoryLog> log;
    std::vector<std::filesystem::path> readPaths;
    QString nextPath;
    dlvtest::TempLogs dir;
};

TEST_F(FormatsWindow, GridRunTimeNoteAndWhatWasReadShowTheOtherFormat)
{
    form->openPath("drive.mlg");
    ASSERT_TRUE(form->document());
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_FALSE(form->store()) << "a binary log has no text store";
    auto* grid = child<dlv::CellGrid>("Grid1");
    EXPECT_EQ(grid->CellText(dlv::CellRange::cell(1, 0)), "Time [ms]");
    EXPECT_EQ(grid->CellText(dlv::CellRange::cell(2, 1)), "800");
    EXPECT_EQ(grid->CellText(dlv::CellRange::cell(3, 2)), "On");
    EXPECT_EQ(child<QLabel>("lblRunTime")->text(), "1.5 minutes (4 takes)");
    EXPECT_TRUE(form->findChild<dlv::WarningBar*>()->text().contains("MLG 2, 3 channels, 4 records, 1 marker"))
        << form->findChild<dlv::WarningBar*>()->text().toStdString();
    EXPECT_FALSE(form->findChild<dlv::WarningBar*>()->text().contains("but"))
        << "what was read is no warning: " << form->findChild<dlv::WarningBar*>()->text().toStdString();

    auto* tabs = child<QTabWidget>("Tab1");
    tabs->setCurrentIndex(1);
    QApplication::processEvents();
    auto* note = child<QLabel>("blmNote");
    ASSERT_TRUE(note);
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(note->text().contains("not in the datalog format")) << note->text().toStdString();

    // A click on the curve shows the value as the format shows it.
    grid->selectGridRow(3);
    QApplication::processEvents();
    EXPECT_EQ(child<QLabel>("lblParameterName")->text(), "Fan");
}

TEST_F(FormatsWindow, PropertiesTellTheDetailsAndExportWritesTheOwnFormat)
{
    auto* properties = child<QAction>("mnuProperties");
    auto* exportLog = child<QAction>("mnuExportLog");
    ASSERT_TRUE(properties && exportLog);
    EXPECT_FALSE(properties->isEnabled()) << "nothing to tell before a log";
    EXPECT_FALSE(form->showProperties());
    form->openPath("drive.mlg");
    EXPECT_TRUE(properties->isEnabled());
    QDialog* dialog = form->showProperties();
    ASSERT_TRUE(dialog);
    QStringList texts;
    for (const QLabel* label : dialog->findChildren<QLabel*>())
        texts << label->text();
    const QString all = texts.join('\n');
    for (const char* shown : {"drive.mlg", "MLG 2, 3 channels, 4 records, 1 marker", "rusEFI 2024", "Markers:"})
        EXPECT_TRUE(all.contains(shown)) << shown << "\n" << all.toStdString();
    dialog->close();

    nextPath = QString::fromStdString(dir.path("out.csv"));
    exportLog->trigger();
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    std::ifstream in(dir.path("out.csv"));
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "drive.mlg, MLG 2, exported by Datalog Viewer 0.5\nTime,RPM,Fan\n"
                          "5000,800,0\n35000,,1\n65000,1000,1\n95000,1200,0\n");

    // A file that cannot be written is named, and nothing is left behind.
    EXPECT_FALSE(form->exportLogCsv(QString::fromStdString(dir.path("no/such/folder/x.csv"))));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.front().contains("x.csv")) << errors.front().toStdString();
}

TEST_F(FormatsWindow, OpenAsReadsTheChosenFormatAndF5KeepsIt)
{
    form->setLogReader({});  // the real readers, by the format asked for
    const std::string path = dir.write("a.csv", "title\nTime,RPM\n0,800\n1,900\n");
    nextName = QString::fromStdString(path);
    auto* asDatalog = child<QAction>("mnuOpenAs_datalog");
    auto* asMlg = child<QAction>("mnuOpenAs_mlg");
    ASSERT_TRUE(asDatalog && asMlg);
    asMlg->trigger();
    ASSERT_EQ(errors.size(), 1) << "a text log is no MLG log";
    EXPECT_TRUE(errors.front().contains("a.csv")) << errors.front().toStdString();
    EXPECT_FALSE(form->document()) << "nothing was opened";
    asDatalog->trigger();
    ASSERT_TRUE(form->document());
    EXPECT_EQ(form->document()->log().format(), dlv::LogFormat::Datalog);
    std::ofstream(path, std::ios::app) << "2,1000\n";
    form->reloadCommand();
    EXPECT_EQ(form->store()->takeCount(), 3);
}

TEST_F(FormatsWindow, ChannelFilterHidesRowsByNameAndCategoryAndCountsThem)
{
    auto* filter = child<dlv::ChannelFilterBar>("ChannelFilter");
    auto* toggle = child<QAction>("mnuChannelFilter");
    ASSERT_TRUE(filter && toggle);
    form->openPath("drive.mlg");
    toggle->setChecked(true);
    QApplication::processEvents();
    EXPECT_TRUE(filter->isVisible());
    auto* grid = child<dlv::CellGrid>("Grid1");
    EXPECT_EQ(filter->statusText(), "3 channels");
    QTest::keyClicks(filter->lineEdit(), "rp");
    EXPECT_EQ(filter->statusText(), "1 of 3 channels");
    EXPECT_TRUE(grid->isRowHidden(0));
    EXPECT_FALSE(grid->isRowHidden(1));
    EXPECT_TRUE(grid->isRowHidden(3)) << "the empty last row goes while filtering";
    filter->lineEdit()->clear();
    QComboBox* categories = filter->categories();
    ASSERT_EQ(categories->count(), 3) << "all, Engine, Outputs";
    categories->setCurrentIndex(2);
    EXPECT_EQ(filter->statusText(), "1 of 3 channels");
    EXPECT_FALSE(grid->isRowHidden(2));
    EXPECT_TRUE(grid->isRowHidden(1));
    // Read again, the same channels keep the filter; the rows' texts stay.
    form->reloadCommand();
    EXPECT_EQ(filter->statusText(), "1 of 3 channels");
    EXPECT_EQ(grid->CellText(dlv::CellRange::cell(2, 0)), "RPM [rpm]");
    toggle->setChecked(false);
    EXPECT_FALSE(grid->isRowHidden(1)) << "closing the filter shows every row";
}

}  // namespace
