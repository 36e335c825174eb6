// A page's arrangement placed by insets from a reference widget: where the
// area goes, whatever the style puts between the reference and the
// container, negative insets included, and the size hint a parent's box
// layout shares room by.
#include "window/inset_layout.h"

#include <QApplication>
#include <QGroupBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using dlv::InsetLayout;

TEST(InsetLayoutArea, FollowsTheReferenceLessTheInsetsFromWhereItStarts)
{
    // A page that starts at (2, 25) of a 710 x 649 tab control: the
    // reference's corner is at (-2, -25) in the page's coordinates.
    const QMargins insets(8, 30, 13, 16);
    EXPECT_EQ(InsetLayout::area({710, 649}, {-2, -25}, insets), QRect(6, 5, 689, 603));
    EXPECT_EQ(InsetLayout::area({910, 749}, {-2, -25}, insets), QRect(6, 5, 889, 703));
    // A negative inset reaches past the edge.
    EXPECT_EQ(InsetLayout::area({710, 649}, {0, 0}, QMargins(8, 32, 7, -8)), QRect(8, 32, 695, 625));
    // A reference smaller than the insets leaves an empty area, never a negative one.
    EXPECT_EQ(InsetLayout::area({10, 10}, {0, 0}, insets).size(), QSize(0, 0));
}

namespace {

// A widget whose size hint the test sets.
class Hinted final : public QWidget {
public:
    explicit Hinted(QSize hint) : m_hint(hint) {}
    [[nodiscard]] QSize sizeHint() const override { return m_hint; }

private:
    QSize m_hint;
};

}  // namespace

TEST(InsetLayoutWidgets, APageOfATabControlPlacesItsAreaRelativeToTheTabControl)
{
    QTabWidget tabs;
    auto* page = new QWidget;
    tabs.addTab(page, QStringLiteral("Page"));
    auto* content = new QWidget;
    (new InsetLayout(page, &tabs, QMargins(8, 32, 7, -8)))->setArea(content);
    tabs.resize(710, 649);
    tabs.show();
    QApplication::processEvents();
    // Wherever the tab bar ends, the content sits at the insets, past the bottom edge by 8.
    EXPECT_EQ(QRect(content->mapTo(&tabs, QPoint()), content->size()), QRect(8, 32, 695, 625));
    tabs.resize(810, 700);
    QApplication::processEvents();
    EXPECT_EQ(QRect(content->mapTo(&tabs, QPoint()), content->size()), QRect(8, 32, 795, 676));
}

TEST(InsetLayoutWidgets, AFrameHintsItsDesignSizeWhateverItsOwnMarginsSoItsParentSharesRoomRight)
{
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* above = new Hinted({100, 100});
    auto* frame = new QGroupBox;
    // The group box's frame margins are the style's; the design's insets hold them.
    frame->setContentsMargins(5, 11, 3, 2);
    auto* inside = new QVBoxLayout;
    auto* curve = new Hinted({100, 60});
    inside->setContentsMargins(0, 0, 0, 0);
    inside->addWidget(curve);
    (new InsetLayout(frame, nullptr, QMargins(8, 16, 8, 8)))->setArea(inside);
    column->addWidget(above);
    frame->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    column->addWidget(frame);
    EXPECT_EQ(frame->sizeHint(), QSize(116, 84));

    // At the hints' sum each gets its hint; the curve sits at the insets.
    window.resize(116, 184);
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(frame->geometry(), QRect(0, 100, 116, 84));
    EXPECT_EQ(curve->geometry(), QRect(8, 16, 100, 60));
    // Taller: the box above takes it all, the frame growing no taller.
    window.resize(116, 284);
    QApplication::processEvents();
    EXPECT_EQ(above->height(), 200);
    EXPECT_EQ(frame->height(), 84);
    // Shorter: both give way alike, the curve inside the frame with it.
    window.resize(116, 144);
    QApplication::processEvents();
    EXPECT_EQ(above->height(), 80);
    EXPECT_EQ(frame->height(), 64);
    EXPECT_EQ(curve->geometry(), QRect(8, 16, 100, 40));
}
