// The window on the screen it is shown on, through real widgets: at start a
// design larger than the screen comes up fitted (View, Fit to Window on)
// with every control inside the window, Fit to Window lets the window
// shrink below the design, and the Tables and Charts tabs' captions fit
// their buttons at the design size. Also run on a 1600 x 1000 screen at
// scales 1 and 2 (tests/CMakeLists.txt).
#include "support/temp_logs.h"
#include "window/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QScreen>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using dlv::Form1;

namespace {

class FitScreenTest : public ::testing::Test {
protected:
    void SetUp() override { form = std::make_unique<Form1>(); }
    [[nodiscard]] QRect freeArea() const { return form->screen()->availableGeometry(); }
    // Whether widget lies wholly inside the window's inside and is not empty.
    [[nodiscard]] bool insideWindow(const QWidget* widget) const
    {
        const QRect at(widget->mapTo(form.get(), QPoint()), widget->size());
        return !at.isEmpty() && form->rect().contains(at);
    }
    void showTab(const QString& title) const
    {
        auto* tabs = form->findChild<QTabWidget*>("Tab1");
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->tabText(i) == title)
                tabs->setCurrentIndex(i);
        QApplication::processEvents();
    }
    // Buttons of the page on show whose caption is wider than the room they have.
    [[nodiscard]] QStringList clippedButtons(const QString& tab) const
    {
        showTab(tab);
        QStringList clipped;
        for (const QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
            if (!button->isVisible() || button->text().isEmpty())
                continue;
            // The caption with the style's minimum margins for a push button.
            const int needed = button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&')) + 8;
            if (button->width() < needed || !insideWindow(button))
                clipped << button->text();
        }
        return clipped;
    }

    std::unique_ptr<Form1> form;
};

}  // namespace

TEST_F(FitScreenTest, AtStartTheWindowFitsTheScreenWithEveryControlInside)
{
    form->showOnScreen();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QApplication::processEvents();
    const QSize design = Form1::kDesignClientSize;
    const bool designFits = design.width() < freeArea().width() && design.height() + 60 < freeArea().height();
    if (designFits) {
        EXPECT_FALSE(form->fitsToWindow());
        EXPECT_EQ(form->centralWidget()->size(), design);
    } else {
        EXPECT_TRUE(form->fitsToWindow());
    }
    EXPECT_TRUE(freeArea().contains(form->geometry())) << "window " << form->width() << " x " << form->height();
    for (const char* name : {"Grid1", "Picture1", "lblMin", "Label4", "lblRunTime"})
        EXPECT_TRUE(insideWindow(form->findChild<QWidget*>(name))) << name;
    // The Tables tab's map and the BLM table too.
    showTab("Tables");
    EXPECT_TRUE(insideWindow(form->findChild<QWidget*>("suggestedGrid")));
    showTab("BLM");
    EXPECT_TRUE(insideWindow(form->findChild<QWidget*>("Grid2")));
}

TEST_F(FitScreenTest, FitToWindowLetsTheWindowShrinkBelowTheDesignTheGridAndTheCurveGivingWay)
{
    form->show();
    QApplication::processEvents();
    auto* grid1 = form->findChild<QWidget*>("Grid1");
    auto* picture1 = form->findChild<QWidget*>("Picture1");
    const int gridAtDesign = grid1->height();
    const int curveAtDesign = picture1->height();
    form->setFitToWindow(true);
    const QSize small = Form1::kFittedMinimumClientSize;
    form->resize(small + (form->size() - form->centralWidget()->size()));
    QApplication::processEvents();
    EXPECT_EQ(form->centralWidget()->size(), small);
    // Both give way, neither to nothing.
    EXPECT_LT(grid1->height(), gridAtDesign);
    EXPECT_GT(grid1->height(), gridAtDesign / 3);
    EXPECT_LT(picture1->height(), curveAtDesign);
    EXPECT_GT(picture1->height(), curveAtDesign / 4);
    EXPECT_LE(grid1->mapTo(form.get(), QPoint(0, grid1->height())).y(), picture1->mapTo(form.get(), QPoint()).y());
    // What sits below and beside the curve moves up with it, in order and inside the window.
    const auto top = [&](const char* name) { return form->findChild<QWidget*>(name)->mapTo(form.get(), QPoint()).y(); };
    const auto bottom = [&](const char* name) {
        const QWidget* widget = form->findChild<QWidget*>(name);
        return widget->mapTo(form.get(), QPoint(0, widget->height())).y();
    };
    for (const char* name : {"Picture1", "Label4", "lblMax", "lblAvg", "lblMin"})
        EXPECT_TRUE(insideWindow(form->findChild<QWidget*>(name))) << name;
    EXPECT_LE(bottom("Picture1"), top("Label4"));
    EXPECT_LE(bottom("lblMax"), top("lblAvg"));
    EXPECT_LE(bottom("lblAvg"), top("lblMin"));

    // Off again: back at the design size.
    form->setFitToWindow(false);
    QApplication::processEvents();
    EXPECT_EQ(form->centralWidget()->size(), Form1::kDesignClientSize);
}

TEST_F(FitScreenTest, EveryButtonCaptionFitsAtTheDesignSize)
{
    dlvtest::TempLogs logs;
    form->show();
    form->openFile(QString::fromStdString(logs.write("log.csv", "t\nRPM,MAP,BLM\n800,30,120\n900,40,130\n")));
    ASSERT_EQ(form->centralWidget()->size(), Form1::kDesignClientSize);
    EXPECT_TRUE(clippedButtons("Tables").isEmpty()) << clippedButtons("Tables").join(", ").toStdString();
    EXPECT_TRUE(clippedButtons("Charts").isEmpty()) << clippedButtons("Charts").join(", ").toStdString();
    // The find field's placeholder fits it as well.
    showTab("General");
    QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
    auto* find = form->findChild<QLineEdit*>("findText");
    ASSERT_TRUE(find->isVisible());
    EXPECT_GE(find->width() - 12, find->fontMetrics().horizontalAdvance(find->placeholderText()))
        << find->width();
}
