// The window's layout through real widgets: design places at the design
// size, View, Fit to Window on and off, labels that show their whole texts,
// and pages added later filling their tab.
#include "window/curve_surface.h"
#include "window/fit_label.h"
#include "window/form1.h"

#include <QAction>
#include <QApplication>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using dlv::Form1;

namespace {

class LayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<Form1>();
        form->show();
        QApplication::processEvents();
        tabs = form->findChild<QTabWidget*>("Tab1");
        ASSERT_TRUE(tabs);
    }
    template <class T = QWidget>
    T* child(const char* name) const { return form->findChild<T*>(name); }
    // Where a control sits inside the tab control, as the design measures it.
    QRect inTab(const char* name) const
    {
        QWidget* w = child(name);
        return {w->mapTo(tabs, QPoint()), w->size()};
    }
    QAction* fitAction() const { return child<QAction>("mnuFitToWindow"); }
    void resizeClient(QSize size)
    {
        form->resize(size + (form->size() - form->centralWidget()->size()));
        QApplication::processEvents();
    }

    std::unique_ptr<Form1> form;
    QTabWidget* tabs = nullptr;
};

// Design boxes (pixels, relative to the tab control or to Frame1).
const QRect kGrid1(10, 56, 687, 305);
const QRect kFrame1(8, 360, 689, 273);
const QRect kGrid2(8, 32, 695, 625);
const QRect kPicture1(8, 40, 537, 201);
const QRect kLabel1(544, 40, 41, 25);

}  // namespace

TEST_F(LayoutTest, DesignSizeKeepsEveryControlAtItsDesignBox)
{
    EXPECT_FALSE(fitAction()->isChecked());
    EXPECT_TRUE(fitAction()->isCheckable());
    EXPECT_TRUE(fitAction()->shortcut().isEmpty());
    EXPECT_EQ(form->centralWidget()->size(), Form1::kDesignClientSize);
    EXPECT_EQ(tabs->geometry(), QRect(5, 13, 710, 649));
    EXPECT_EQ(inTab("Grid1"), kGrid1);
    EXPECT_EQ(inTab("Frame1"), kFrame1);
    EXPECT_EQ(child("Picture1")->geometry(), kPicture1);
    EXPECT_EQ(child("Label1")->geometry(), kLabel1);
    tabs->setCurrentIndex(1);
    QApplication::processEvents();
    EXPECT_EQ(inTab("Grid2"), kGrid2);
}

TEST_F(LayoutTest, FitOffKeepsTheWindowAtItsDesignSize)
{
    resizeClient({1000, 900});
    EXPECT_EQ(form->centralWidget()->size(), Form1::kDesignClientSize);
    EXPECT_EQ(inTab("Grid1"), kGrid1);
}

TEST_F(LayoutTest, FitOnGivesTheGridsAndTheCurveTheExtraRoom)
{
    const char* const rightOfCurve[] = {"Label1", "lblMax", "Label3", "lblAvg", "lblMinInfo", "lblMin", "lblValue"};
    std::vector<QRect> before;
    for (const char* name : rightOfCurve)
        before.push_back(child(name)->geometry());
    fitAction()->trigger();
    ASSERT_TRUE(form->fitsToWindow());
    const QSize extra(200, 150);
    resizeClient(Form1::kDesignClientSize + extra);
    ASSERT_EQ(form->centralWidget()->size(), Form1::kDesignClientSize + extra);
    EXPECT_EQ(tabs->size(), QSize(710, 649) + extra);
    // Grid1 takes the extra height and width; Frame1 moves down and widens.
    EXPECT_EQ(inTab("Grid1"), kGrid1.adjusted(0, 0, extra.width(), extra.height()));
    EXPECT_EQ(inTab("Frame1"), kFrame1.translated(0, extra.height()).adjusted(0, 0, extra.width(), 0));
    // Picture1 takes the extra width; Max/Avg/Min stay at its right edge.
    EXPECT_EQ(child("Picture1")->geometry(), kPicture1.adjusted(0, 0, extra.width(), 0));
    for (std::size_t i = 0; i < std::size(rightOfCurve); ++i)
        EXPECT_EQ(child(rightOfCurve[i])->geometry(), before[i].translated(extra.width(), 0)) << rightOfCurve[i];
    EXPECT_EQ(child("Label1")->geometry(), kLabel1.translated(extra.width(), 0));
    tabs->setCurrentIndex(1);
    QApplication::processEvents();
    EXPECT_EQ(inTab("Grid2"), kGrid2.adjusted(0, 0, extra.width(), extra.height()));
    // The curve's user scale follows the new width.
    auto* surface = child<dlv::CurveSurface>("Picture1");
    EXPECT_EQ(surface->surfaceSize().width(), surface->contentsRect().width());
}

TEST_F(LayoutTest, FitOffAfterResizingReturnsToTheDesign)
{
    fitAction()->trigger();
    resizeClient({1100, 800});
    form->showMaximized();
    QApplication::processEvents();
    fitAction()->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(form->fitsToWindow());
    EXPECT_FALSE(form->isMaximized());
    EXPECT_EQ(form->centralWidget()->size(), Form1::kDesignClientSize);
    EXPECT_EQ(inTab("Grid1"), kGrid1);
    EXPECT_EQ(inTab("Frame1"), kFrame1);
    EXPECT_EQ(child("Label1")->geometry(), kLabel1);
}

TEST_F(LayoutTest, WorkbenchTabFillsItsTabInBothModes)
{
    auto* page = new QWidget;
    const int index = form->addWorkbenchTab(page, "Tables");
    EXPECT_EQ(index, tabs->count() - 1);  // after every tab there was
    EXPECT_EQ(tabs->tabText(2), "Other");
    tabs->setCurrentIndex(index);
    QApplication::processEvents();
    const QSize atDesign = page->size();
    EXPECT_GT(atDesign.width(), 690);
    EXPECT_GT(atDesign.height(), 600);
    fitAction()->trigger();
    resizeClient(Form1::kDesignClientSize + QSize(120, 80));
    EXPECT_EQ(page->size(), atDesign + QSize(120, 80));
}

// Every label shows every text it can show in full, inside its design box.
TEST_F(LayoutTest, EveryLabelShowsItsWholeTextInsideItsBox)
{
    const std::vector<std::pair<const char*, std::vector<QString>>> texts = {
        {"Label2", {"Runtime:"}},
        {"lblRunTime", {"", "12.5 minutes (1500 takes)", "0.03 minutes (3 takes)", "9999.99 minutes (300000 takes)",
                        "1234567.89 minutes (2147483646 takes)"}},
        {"lblParameterName", {"Parameter summary", "Engine speed RPM", "Desired idle air control position (steps)"}},
        {"lblValue", {"", "3000", "-12345.678", "1234567890"}},
        {"Label1", {"Max:"}},
        {"Label3", {"Avg:"}},
        {"lblMinInfo", {"Min:"}},
        {"lblMax", {"", "0.00", "6000.00", "-123456.78"}},
        {"lblAvg", {"", "15.00", "-123456.78"}},
        {"lblMin", {"", "10.00", "-1234567.89"}},
        {"Label4", {"(Click on curve to locate the actual take in the data grid)"}},
    };
    for (const auto& [name, shown] : texts) {
        auto* label = child<dlv::FitLabel>(name);
        ASSERT_TRUE(label) << name;
        for (const QString& text : shown) {
            label->setText(text);
            EXPECT_EQ(label->shownText(), text) << name << ": " << text.toStdString();
            const QFontMetricsF metrics(label->shownFont(), label);
            EXPECT_LE(metrics.horizontalAdvance(text), label->contentsRect().width()) << name;
            EXPECT_LE(metrics.height(), label->contentsRect().height()) << name;
            EXPECT_LE(label->shownFont().pointSizeF(), label->font().pointSizeF()) << name;
            EXPECT_EQ(label->shownFont().bold(), label->font().bold()) << name;
        }
    }
    // The design font is still the design's: bold 12 points but for Label4.
    EXPECT_EQ(child("lblMax")->font().pointSize(), 12);
}

TEST_F(LayoutTest, TextTooLongForAnySizeIsCutWithAnEllipsis)
{
    auto* label = child<dlv::FitLabel>("lblMax");
    label->setText(QString(500, QLatin1Char('9')));
    EXPECT_TRUE(label->shownText().endsWith(QChar(0x2026))) << label->shownText().toStdString();
    EXPECT_LE(QFontMetricsF(label->shownFont(), label).horizontalAdvance(label->shownText()),
              label->contentsRect().width());
    EXPECT_EQ(label->shownFont().pointSizeF(), dlv::FitLabel::kMinPointSize);
}

// Tab walks the General tab's controls in their order: Grid1, the find bar
// (once Ctrl+F shows it) beside the run time, then the curve. The hidden
// bar keeps its room: the run time's label keeps its width.
TEST_F(LayoutTest, TabGoesFromGrid1ThroughTheFindBarToTheCurve)
{
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QWidget* grid = child("Grid1");
    QWidget* findBar = child("FindBar");
    QWidget* curve = child("Picture1");
    QWidget* runTime = child("lblRunTime");
    ASSERT_FALSE(findBar->isVisible());
    const QRect runTimeHidden = runTime->geometry();
    QTest::keyClick(grid, Qt::Key_F, Qt::ControlModifier);
    QApplication::processEvents();
    ASSERT_TRUE(findBar->isVisible());
    EXPECT_EQ(runTime->geometry(), runTimeHidden);
    EXPECT_LT(runTime->geometry().right(), findBar->geometry().left());
    grid->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(grid->hasFocus());
    bool passedFindBar = false;
    for (int step = 0; step < 10 && !curve->hasFocus(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* now = QApplication::focusWidget();
        ASSERT_TRUE(now);
        passedFindBar = passedFindBar || findBar->isAncestorOf(now);
    }
    EXPECT_TRUE(curve->hasFocus());
    EXPECT_TRUE(passedFindBar);
}
