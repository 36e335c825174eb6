// The Charts tab through its real widgets: editing the page, zoom and pan of
// all panes together, the cursor and legend, scatter hover and click, the
// filter's shade and export.
#include "window/charts_tab.h"

#include "datalog/take_store.h"
#include "render/chart_renderer.h"
#include "support/temp_logs.h"

#include <QApplication>
#include <QCompleter>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

namespace {

using dlv::ChartPaneKind;

constexpr QRgb kShade = 0xFFDCDCDC;

// Takes 0 .. 200: Time in tenths of a second, RPM = 800 + 10 t, a battery
// between 13.5 and 14.2.
std::string testLog()
{
    std::ostringstream log;
    log << "title\nTime,RPM,MAP,TPS,BLM,BATT\n";
    for (int t = 0; t <= 200; ++t)
        log << t * 0.1 << ',' << 800 + 10 * t << ',' << 30 + t % 50 << ',' << t % 100 << ',' << 125 + t % 7 << ','
            << 13.5 + 0.7 * (t % 10) / 9.0 << '\n';
    return log.str();
}

class ChartsTabTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const dlv::ReadResult log = dlv::readDataLogBytes(testLog(), "test.csv");
        ASSERT_TRUE(log.ok());
        source = std::make_shared<dlv::LogChannelSource>(std::make_shared<dlv::ColumnCache>(log.store));
        tab = std::make_unique<dlv::ChartsTab>();
        tab->resize(1000, 720);
        tab->setSource(source);
        tab->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(tab.get()));
        view = tab->view();
        outline = tab->findChild<QTreeWidget*>(QStringLiteral("chartOutline"));
        picker = tab->findChild<QLineEdit*>(QStringLiteral("chartChannelPicker"));
        ASSERT_TRUE(outline && picker);
    }

    QPushButton* button(const char* name) const { return tab->findChild<QPushButton*>(QString::fromLatin1(name)); }
    void click(const char* name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    dlv::ChartRenderer& renderer() const { return view->renderer(); }
    std::vector<dlv::ChartRenderer::PaneGeometry> panes() const { return renderer().geometry(view->size()); }
    int takeX(double take) const { return static_cast<int>(renderer().pixelOfTake(take, view->size())); }
    QImage grab() const { return view->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    void mouse(QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) const
    {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, pos, view->mapToGlobal(pos), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(view, &e);
    }
    void clickAt(QPoint pos) const
    {
        mouse(QEvent::MouseButtonPress, pos, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, pos, Qt::NoButton);
    }
    void wheelAt(QPoint pos, int eighths) const
    {
        QWheelEvent e(pos, view->mapToGlobal(pos), QPoint(), QPoint(0, eighths), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &e);
    }
    // Rows of column x inside pane's plot painted in colour.
    int countInColumn(const QImage& image, int pane, int x, QRgb colour) const
    {
        const QRect plot = panes()[static_cast<std::size_t>(pane)].plot;
        int n = 0;
        for (int y = plot.top() + 1; y < plot.bottom(); ++y)
            n += image.pixel(x, y) == colour;
        return n;
    }

    std::shared_ptr<dlv::LogChannelSource> source;
    std::unique_ptr<dlv::ChartsTab> tab;
    dlv::ChartView* view = nullptr;
    QTreeWidget* outline = nullptr;
    QLineEdit* picker = nullptr;
};

TEST_F(ChartsTabTest, PanesAndChannelsAreEditedInPlace)
{
    ASSERT_EQ(outline->topLevelItemCount(), 4) << "the default page";
    EXPECT_EQ(outline->topLevelItem(0)->child(0)->text(0), QStringLiteral("RPM"));
    EXPECT_EQ(outline->topLevelItem(3)->child(0)->text(0), QStringLiteral("BLM"));

    // The picker completes a part of a name, whatever its case.
    QTest::keyClicks(picker, QStringLiteral("att"));
    EXPECT_EQ(picker->completer()->currentCompletion(), QStringLiteral("BATT"));
    picker->setText(QStringLiteral("BATT"));
    tab->select(0);
    click("chartAddChannel");
    ASSERT_EQ(tab->page().panes[0].channels.size(), 2u);
    EXPECT_EQ(tab->page().panes[0].channels[1].name, "BATT");
    EXPECT_EQ(outline->topLevelItem(0)->child(1)->text(0), QStringLiteral("BATT"));
    EXPECT_TRUE(picker->text().isEmpty());
    EXPECT_EQ(renderer().legendText(0, 1), QStringLiteral("BATT"));

    // A name the log lacks is refused and said so.
    picker->setText(QStringLiteral("Boost"));
    click("chartAddChannel");
    EXPECT_EQ(tab->page().panes[0].channels.size(), 2u);
    EXPECT_TRUE(tab->findChild<QLabel*>(QStringLiteral("chartStatus"))->text().contains(QStringLiteral("Boost")));

    // A new pane, filled by Enter in the picker, moved up, then removed.
    QSignalSpy edits(tab.get(), &dlv::ChartsTab::pageEdited);
    click("chartAddPane");
    ASSERT_EQ(tab->page().panes.size(), 5u);
    picker->setText(QStringLiteral("MAP"));
    QTest::keyClick(picker, Qt::Key_Return);
    EXPECT_EQ(tab->page().panes[4].channels.at(0).name, "MAP");
    tab->select(4);
    click("chartMoveUp");
    EXPECT_EQ(tab->page().panes[3].channels.at(0).name, "MAP");
    EXPECT_EQ(tab->page().panes[4].channels.at(0).name, "BLM");
    click("chartRemove");
    ASSERT_EQ(tab->page().panes.size(), 4u);
    EXPECT_EQ(tab->page().panes[3].channels.at(0).name, "BLM");
    EXPECT_EQ(renderer().page().panes.size(), 4u);
    EXPECT_EQ(edits.count(), 4);

    // Reordering channels keeps the colour each one shows.
    tab->select(0, 1);
    click("chartMoveUp");
    EXPECT_EQ(tab->page().panes[0].channels[0].name, "BATT");
    EXPECT_EQ(dlv::channelColor(tab->page().panes[0], 0), dlv::defaultChannelColor(1));

    // Colour: the chosen colour is drawn.
    tab->setColourChooser([](const QColor&) { return std::optional<QColor>(QColor(255, 0, 255)); });
    tab->select(0, 1);
    click("chartColour");
    EXPECT_EQ(tab->page().panes[0].channels[1].color, 0xFF00FFu);
    const QImage image = grab();
    bool magenta = false;
    const QRect plot = panes()[0].plot;
    for (int x = plot.left(); x < plot.right() && !magenta; ++x)
        magenta = countInColumn(image, 0, x, 0xFFFF00FF) > 0;
    EXPECT_TRUE(magenta);

    // At most six channels a pane and eight panes a page.
    for (const char* name : {"MAP", "TPS", "BLM", "Time", "RPM"}) {
        tab->select(0);
        picker->setText(QString::fromLatin1(name));
        click("chartAddChannel");
    }
    EXPECT_EQ(tab->page().panes[0].channels.size(), 6u);
    for (int i = 0; i < 6; ++i)
        click("chartAddPane");
    EXPECT_EQ(tab->page().panes.size(), 8u);
}

TEST_F(ChartsTabTest, ZoomPanAndHomeMoveEveryPaneTogether)
{
    const QRect plot = panes()[1].plot;
    const QPoint at(plot.left() + plot.width() / 2, plot.center().y());
    const double before = renderer().takeAtPixel(at.x(), view->size());
    wheelAt(at, 240);
    EXPECT_LT(renderer().zoom().width(), 200.0 * 0.7);
    EXPECT_NEAR(renderer().takeAtPixel(at.x(), view->size()), before, 0.5) << "the take under the pointer stays";

    // Drag right by 100 pixels: the view moves left by as many takes.
    const double perPixel = renderer().takeAtPixel(1, view->size()) - renderer().takeAtPixel(0, view->size());
    const double left = renderer().zoom().left();
    mouse(QEvent::MouseButtonPress, at, Qt::LeftButton);
    mouse(QEvent::MouseMove, at + QPoint(50, 0), Qt::LeftButton);
    mouse(QEvent::MouseMove, at + QPoint(100, 0), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, at + QPoint(100, 0), Qt::NoButton);
    ASSERT_GT(left - 100 * perPixel, 0.0);
    EXPECT_NEAR(renderer().zoom().left(), left - 100 * perPixel, 1e-6);
    EXPECT_FALSE(view->cursorTake()) << "a drag is no click";

    // In step: a cursor put at a take lies at the same column in every pane.
    view->setCursorTake(static_cast<int>(renderer().zoom().left() + 10));
    const int x = takeX(*view->cursorTake());
    const QImage image = grab();
    for (int pane = 0; pane < 4; ++pane)
        EXPECT_GT(countInColumn(image, pane, x, 0xFF000000), panes()[0].plot.height() / 2) << "pane " << pane;

    view->setFocus();
    QTest::keyClick(view, Qt::Key_Home);
    EXPECT_TRUE(renderer().zoom().isWhole());
}

TEST_F(ChartsTabTest, AClickSetsTheCursorEverywhereAndTheLegendShowsItsValues)
{
    QSignalSpy chosen(tab.get(), &dlv::ChartsTab::takeChosen);
    const QRect plot = panes()[2].plot;
    clickAt(QPoint(takeX(50), plot.center().y()));
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.takeFirst().at(0).toInt(), 50);
    EXPECT_EQ(view->cursorTake(), 50);
    EXPECT_EQ(renderer().legendText(0, 0), QStringLiteral("RPM 1300"));
    EXPECT_EQ(renderer().legendText(2, 0), QStringLiteral("TPS 50"));

    view->setFocus();
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_EQ(view->cursorTake(), 51);
    EXPECT_EQ(renderer().legendText(0, 0), QStringLiteral("RPM 1310"));
    QTest::keyClick(view, Qt::Key_Left);
    QTest::keyClick(view, Qt::Key_Left);
    EXPECT_EQ(view->cursorTake(), 49);
    EXPECT_EQ(chosen.count(), 3);

    // At the ends the cursor stays on the log.
    clickAt(QPoint(plot.right() + 30, plot.center().y()));
    EXPECT_EQ(view->cursorTake(), 200);
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_EQ(view->cursorTake(), 200);
}

TEST_F(ChartsTabTest, EachPaneFitsItsOwnChannelsValues)
{
    tab->select(0);
    picker->setText(QStringLiteral("BATT"));
    click("chartAddChannel");
    (void)grab();
    const dlv::ValueRange battery = renderer().shownRange(0, 1);
    EXPECT_GT(battery.low, 13.4);
    EXPECT_LT(battery.high, 14.3);
    const dlv::ValueRange rpm = renderer().shownRange(0, 0);
    EXPECT_LT(rpm.low, 800.0);
    EXPECT_GT(rpm.high, 2800.0);
}

TEST_F(ChartsTabTest, ScatterPointsShowTheirTakeOnHoverAndMoveTheCursorOnClick)
{
    click("chartAddScatter");
    ASSERT_EQ(tab->page().panes.back().kind, ChartPaneKind::Scatter);
    EXPECT_EQ(tab->page().panes.back().x, "RPM");
    EXPECT_EQ(tab->page().panes.back().y, "MAP");
    EXPECT_EQ(tab->page().panes.back().color, "TPS");
    const QImage image = grab();
    const int pane = 4;
    const QRect plot = panes()[pane].plot;
    QPoint point;
    int take = -1;
    for (int y = plot.top(); y < plot.bottom() && take < 0; y += 2)
        for (int x = plot.left(); x < plot.right() && take < 0; x += 2)
            if ((take = renderer().scatterTakeAt(pane, QPoint(x, y), view->size())) >= 0)
                point = QPoint(x, y);
    ASSERT_GE(take, 0);
    EXPECT_NE(image.pixel(point), 0xFFFFFFFF) << "a point is drawn there";

    mouse(QEvent::MouseMove, point, Qt::NoButton);
    EXPECT_TRUE(view->hoverText().startsWith(QStringLiteral("Take %1: RPM %2, MAP").arg(take).arg(800 + 10 * take)))
        << view->hoverText().toStdString();
    EXPECT_TRUE(view->hoverText().contains(QStringLiteral("TPS %1").arg(take % 100)));
    mouse(QEvent::MouseMove, QPoint(plot.left() + 1, plot.top() + 1), Qt::NoButton);

    QSignalSpy chosen(tab.get(), &dlv::ChartsTab::takeChosen);
    clickAt(point);
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toInt(), take);
    EXPECT_EQ(view->cursorTake(), take);
}

TEST_F(ChartsTabTest, TheFilterShadesTheTakesItDropsOnEveryPane)
{
    auto keep = std::make_shared<dlv::KeepMask>(201, 1);
    std::fill(keep->begin() + 100, keep->begin() + 150, 0);
    source->setKeepMask(keep);
    tab->setSource(source);
    const QImage image = grab();
    for (int pane = 0; pane < 4; ++pane) {
        EXPECT_GT(countInColumn(image, pane, takeX(120), kShade), panes()[pane].plot.height() / 2) << "pane " << pane;
        EXPECT_EQ(countInColumn(image, pane, takeX(20), kShade), 0) << "pane " << pane;
    }
}

TEST_F(ChartsTabTest, ExportWritesWhatIsOnShowAsPngOrSvg)
{
    dlvtest::TempLogs dir;
    const QString png = QString::fromStdString(dir.path("chart.png"));
    ASSERT_EQ(tab->exportTo(png), QString());
    const QImage image(png);
    EXPECT_EQ(image.size(), view->size());
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 8);

    const QString svg = QString::fromStdString(dir.path("chart.svg"));
    ASSERT_EQ(tab->exportTo(svg), QString());
    QFile file(svg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("<svg"));

    EXPECT_TRUE(tab->exportTo(QString::fromStdString(dir.path("chart.bmp"))).contains(QStringLiteral(".png or .svg")));
    EXPECT_TRUE(tab->exportTo(QString::fromStdString(dir.path("none/chart.png"))).startsWith(QStringLiteral("cannot write")));
}

}  // namespace

namespace {

// A channel of more takes than columns is drawn as one run a column, from
// its highest to its lowest value there, by the same rule as the General
// curve: a steady channel is one row tall in every column, a rising one
// leaves no column empty and no row twice.
TEST(ChartEnvelope, RunsGoFromTheHighestToTheLowestRowOfEachColumnAsOnTheGeneralCurve)
{
    std::ostringstream log;
    log << "title\nTime,RPM,Ramp\n";
    for (int t = 0; t < 6000; ++t)
        log << t * 0.1 << ",3000," << t << '\n';
    const dlv::ReadResult read = dlv::readDataLogBytes(log.str(), "steady.csv");
    ASSERT_TRUE(read.ok());
    dlv::LogChannelSource source(std::make_shared<dlv::ColumnCache>(read.store));
    dlv::ChartPage page;
    page.panes.push_back({ChartPaneKind::Stacked, {{"RPM", std::nullopt}}, {}, {}, {}});
    page.panes.push_back({ChartPaneKind::Stacked, {{"Ramp", std::nullopt}}, {}, {}, {}});
    dlv::ChartRenderer renderer;
    renderer.setPage(dlv::resolveChartPage(page, source));
    QImage image(700, 500, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        renderer.paint(painter, image.size());
    }
    const std::vector<dlv::ChartRenderer::PaneGeometry> panes = renderer.geometry(image.size());
    ASSERT_EQ(panes.size(), 2u);
    const auto rowsIn = [&](int pane, int x) {
        const QRgb colour = dlv::chartQColor(renderer.page().panes[static_cast<std::size_t>(pane)].channels[0].color).rgb();
        std::vector<int> rows;
        for (int y = panes[static_cast<std::size_t>(pane)].plot.top() + 1; y < panes[static_cast<std::size_t>(pane)].plot.bottom(); ++y)
            if (image.pixel(x, y) == colour)
                rows.push_back(y);
        return rows;
    };
    const QRect steady = panes[0].plot;
    for (int x = steady.left() + 3; x < steady.right() - 3; x += 29)
        EXPECT_EQ(rowsIn(0, x).size(), 1u) << "column " << x;
    // The ramp climbs about one row a column: each column's run starts where
    // the one left of it ended or a row above, never two rows further.
    const QRect ramp = panes[1].plot;
    std::vector<int> previous;
    for (int x = ramp.left() + 3; x < ramp.right() - 3; ++x) {
        const std::vector<int> rows = rowsIn(1, x);
        ASSERT_FALSE(rows.empty()) << "column " << x;
        if (!previous.empty()) {
            EXPECT_GE(rows.back(), previous.front() - 1) << "column " << x;
        }
        previous = rows;
    }
}

}  // namespace
