// The scroll panel: which bars it makes, their sizes from the skin, positions kept across layout, and a
// plain panel scrolling its content from its bars and the wheel.
#include "lists_fixture.h"

using namespace liststest;
using namespace testsupport;

namespace {

std::string panelWith(int contentWidth, int contentHeight) {
    return R"(<Canvas initSize="240,240"><ScrollPanel id="1" x="10" y="10" width="200" height="200">)"
           R"(<Canvas id="2" width=")" +
           std::to_string(contentWidth) + R"(" height=")" + std::to_string(contentHeight) +
           R"("/></ScrollPanel></Canvas>)";
}

}  // namespace

using ScrollPanelBars = ListsTest;

TEST_F(ScrollPanelBars, FittingContentShowsNoBars) {
    WindowImpl* w = open(panelWith(150, 150));
    auto* panel = byId<ScrollPanel>(w, 1);
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->verticalBar(), nullptr);
    EXPECT_EQ(panel->horizontalBar(), nullptr);
    EXPECT_EQ(panel->childCount(), 1);
    const RECT content = byId(w, 2)->bounds();
    EXPECT_EQ(content.right - content.left, 150) << "the content keeps its own width";
}

TEST_F(ScrollPanelBars, TallContentGetsOnlyAVerticalBarSizedByTheSkin) {
    WindowImpl* w = open(panelWith(500, 600));
    auto* panel = byId<ScrollPanel>(w, 1);
    ASSERT_TRUE(panel);
    ScrollBar* bar = panel->verticalBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(panel->horizontalBar(), nullptr) << "horizontal bars are off by default, even for wide content";
    EXPECT_EQ(panel->verticalBarWidth(), 16) << "the width of barSkin's image in vscrollbar.xml";
    EXPECT_EQ(panel->horizontalBarHeight(), 15);
    EXPECT_EQ(bar->bounds().left, 200 - 16);
    EXPECT_EQ(bar->bounds().bottom, 200);
    EXPECT_EQ(bar->total(), 600);
    EXPECT_EQ(bar->page(), 200);
    EXPECT_TRUE(bar->vertical());
}

TEST_F(ScrollPanelBars, AutoHorizontalAddsBothBarsForLargeContent) {
    WindowImpl* w = open(panelWith(500, 600));
    auto* panel = byId<ScrollPanel>(w, 1);
    ASSERT_TRUE(panel);
    panel->setInt(attr::scrollhorizontal, attr::auto_);
    relayout(w);
    ASSERT_NE(panel->verticalBar(), nullptr);
    ASSERT_NE(panel->horizontalBar(), nullptr);
    EXPECT_FALSE(panel->horizontalBar()->vertical());
    EXPECT_EQ(panel->horizontalBar()->bounds().top, 200 - 15);
    EXPECT_EQ(panel->horizontalBar()->bounds().right, 200 - 16) << "the bars do not overlap";
    EXPECT_EQ(panel->verticalBar()->page(), 200 - 15);
    EXPECT_EQ(panel->horizontalBar()->total(), 500);

    panel->setInt(attr::scrollvertical, attr::never);
    relayout(w);
    EXPECT_EQ(panel->verticalBar(), nullptr);
    ASSERT_NE(panel->horizontalBar(), nullptr);
    EXPECT_EQ(panel->horizontalBar()->page(), 200);
}

TEST_F(ScrollPanelBars, AlwaysMakesADisabledBarForFittingContent) {
    WindowImpl* w = open(panelWith(100, 100));
    auto* panel = byId<ScrollPanel>(w, 1);
    ASSERT_TRUE(panel);
    panel->setInt(attr::scrollvertical, attr::always);
    relayout(w);
    ASSERT_NE(panel->verticalBar(), nullptr);
    EXPECT_FALSE(panel->verticalBar()->hasFlag(flag::enabled));
    EXPECT_EQ(panel->verticalBar()->total(), 200) << "the content fills at least the visible area";

    // With the bar forced, no rule of the decision measures the content; it is measured all the same.
    byId(w, 2)->setInt(attr::height, 600);
    relayout(w);
    ASSERT_NE(panel->verticalBar(), nullptr);
    EXPECT_EQ(panel->verticalBar()->total(), 600);
    EXPECT_TRUE(panel->verticalBar()->hasFlag(flag::enabled));
}

TEST_F(ScrollPanelBars, ArrangeRemakesTheBarsAndKeepsThePosition) {
    WindowImpl* w = open(panelWith(150, 600));
    auto* panel = byId<ScrollPanel>(w, 1);
    ASSERT_TRUE(panel && panel->verticalBar());
    panel->verticalBar()->EnsurePosition(130);
    EXPECT_EQ(byId(w, 2)->bounds().top, -130);
    relayout(w);
    ASSERT_NE(panel->verticalBar(), nullptr);
    EXPECT_EQ(panel->verticalBar()->position(), 130);
    EXPECT_EQ(byId(w, 2)->bounds().top, -130) << "the content is scrolled as before";
    EXPECT_EQ(panel->childCount(), 2) << "the old bar is gone";
}

using ScrollPanelInput = ListsTest;

TEST_F(ScrollPanelInput, ArrowsTrackAndWheelMoveThePlainPanelsContent) {
    WindowImpl* w = open(panelWith(150, 600));
    auto* panel = byId<ScrollPanel>(w, 1);
    Control* content = byId(w, 2);
    ASSERT_TRUE(panel && panel->verticalBar());
    ScrollBar* bar = panel->verticalBar();

    click(pointIn(w, bar, 8, 200 - 8));  // down arrow
    ASSERT_TRUE(pumpUntil([&] { return bar->position() > 0; }, kDeadline));
    pumpUntil([&] { return !bar->timerRunning(); }, kDeadline);
    EXPECT_EQ(bar->position() % ScrollPanel::kLineStep, 0);
    const int32_t afterArrow = bar->position();
    EXPECT_EQ(content->bounds().top, -afterArrow);

    moveMouse(pointIn(w, panel, 40, 100));
    wheel(-1);  // one notch towards the user
    ASSERT_TRUE(
        pumpUntil([&] { return bar->position() == afterArrow + 2 * ScrollPanel::kLineStep; }, kDeadline));
    EXPECT_EQ(content->bounds().top, -bar->position());
    wheel(3);
    ASSERT_TRUE(pumpUntil([&] { return bar->position() == 0; }, kDeadline)) << "the wheel stops at the top";
}
