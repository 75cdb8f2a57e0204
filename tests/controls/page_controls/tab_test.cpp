// Tabs: arrangement on top and on the left, selection by a press with ValueChange on both sides, the
// page sliding in from the side of the new tab, and hit testing into the selected page.
#include <algorithm>

#include "controls/tab_control.h"
#include "page_fixture.h"

using namespace pagetest;
using namespace testsupport;

namespace {

// Tab strip 30 high at the top of a 300 x 200 control; tab 14 has no page. The root is purple.
const char kTabs[] = R"(
<Canvas initSize="400,260" style="strip.xml">
  <TabControl id="1" x="10" y="10" width="300" height="200" tabHeight="30" style="red.xml">
    <TabItem id="11" width="60" style="tab.xml"><Grid id="111"><Probe id="112"/></Grid></TabItem>
    <TabItem id="12" width="80" style="tab.xml">
      <Grid id="121"><Probe id="122"/>
        <Button id="123" width="40" height="20" horizontalAlign="left" verticalAlign="top"/></Grid>
      <Grid id="124"/>
    </TabItem>
    <TabItem id="13" width="70" style="tab.xml"><Grid id="131"><Probe id="132"/></Grid></TabItem>
    <TabItem id="14" width="50" style="tab.xml"/>
  </TabControl>
  <TabControl id="2" x="320" y="10" width="70" height="200" tabHeight="40" tabPlacement="left">
    <TabItem id="21" height="30"><Grid id="211"/></TabItem>
    <TabItem id="22" height="50"/>
  </TabControl>
</Canvas>)";

void countPress(void* context, Control*, EventRecord&) {
    ++*static_cast<int*>(context);
}

void recordSender(void* context, Control* sender, EventRecord&) {
    *static_cast<Control**>(context) = sender;
}

bool same(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != FALSE;
}

class Tabs : public PageTest {
  protected:
    void SetUp() override {
        PageTest::SetUp();
        w = open(kTabs);
        ASSERT_NE(w, nullptr);
        tabs = as<TabControl>(w, 1);
        ASSERT_NE(tabs, nullptr);
    }
    Probe* probe(int32_t id) { return as<Probe>(w, id); }
    // The left edges the probe was painted at, from now on.
    std::vector<LONG> leftsOf(Probe* p) {
        std::vector<LONG> out;
        for (POINT at : p->painted) out.push_back(at.x);
        return out;
    }
    void selectByClick(int32_t tab) {
        clickAt(w, centreOf(w, byId(w, tab)));
        ASSERT_EQ(tabs->selected(), byId(w, tab));
        settle(w);
    }

    WindowImpl* w = nullptr;
    TabControl* tabs = nullptr;
};

}  // namespace

TEST_F(Tabs, TabsLineUpAlongTheStripAndEveryPageFillsThePageRectangle) {
    EXPECT_TRUE(same(byId(w, 11)->bounds(), RECT{0, 0, 60, 30}));
    EXPECT_TRUE(same(byId(w, 12)->bounds(), RECT{60, 0, 140, 30}));
    EXPECT_TRUE(same(byId(w, 14)->bounds(), RECT{210, 0, 260, 30}));
    EXPECT_TRUE(same(tabs->tabStrip(), RECT{0, 0, 300, 30}));
    EXPECT_TRUE(same(tabs->pageRect(), RECT{0, 30, 300, 200}));
    for (int32_t page : {111, 121, 131}) EXPECT_TRUE(same(byId(w, page)->bounds(), RECT{0, 30, 300, 200}));
    EXPECT_EQ(w->controlById(124), nullptr) << "only the first child element is a page";
    EXPECT_EQ(tabs->selected(), byId(w, 11)) << "the first tab is selected by the first arrange";
    EXPECT_TRUE(byId(w, 11)->hasFlag(flag::checked));

    auto* side = as<TabControl>(w, 2);
    ASSERT_NE(side, nullptr);
    EXPECT_TRUE(same(byId(w, 21)->bounds(), RECT{0, 0, 40, 30}));
    EXPECT_TRUE(same(byId(w, 22)->bounds(), RECT{0, 30, 40, 80}));
    EXPECT_TRUE(same(side->pageRect(), RECT{40, 0, 70, 200}));
    EXPECT_TRUE(same(byId(w, 211)->bounds(), RECT{40, 0, 70, 200}));
}

TEST_F(Tabs, TheStyleFillsOnlyTheStripAndTheSelectedTabShowsChecked) {
    EXPECT_EQ(pixelIn(w, tabs, 280, 5), kRed) << "the strip beyond the last tab";
    EXPECT_EQ(pixelIn(w, tabs, 5, 5), kOrange) << "the selected tab";
    EXPECT_EQ(pixelIn(w, tabs, 65, 5), kGrey);
    EXPECT_EQ(pixelIn(w, tabs, 150, 100), kWhite) << "the selected page";
}

TEST_F(Tabs, ATabToTheRightSlidesItsPageInFromTheRight) {
    Counter oldTab(byId(w, 11), event::ValueChange), control(tabs, event::ValueChange);
    Probe* incoming = probe(132);
    Probe* outgoing = probe(112);
    outgoing->painted.clear();
    selectByClick(13);
    EXPECT_EQ(oldTab.at(flag::checked), std::vector<bool>{false});
    EXPECT_EQ(control.count(), 1);
    EXPECT_TRUE(byId(w, 13)->hasFlag(flag::checked));
    EXPECT_FALSE(byId(w, 11)->hasFlag(flag::checked));

    // Surface x of the page: the control's 10 plus the step's shift (W = 300: 270, 240, ... 30, then 0).
    const std::vector<LONG> lefts = leftsOf(incoming);
    ASSERT_GE(lefts.size(), 9u);
    EXPECT_EQ(lefts.front(), 10 + 270);
    EXPECT_EQ(lefts.back(), 10);
    EXPECT_TRUE(std::is_sorted(lefts.rbegin(), lefts.rend())) << "moving left all the way";
    EXPECT_TRUE(outgoing->painted.empty()) << "the old page is not painted again";
    EXPECT_EQ(pixelIn(w, tabs, 150, 100), kWhite);
}

TEST_F(Tabs, ATabToTheLeftSlidesItsPageInFromTheLeft) {
    selectByClick(13);
    Probe* incoming = probe(122);
    incoming->painted.clear();
    selectByClick(12);
    const std::vector<LONG> lefts = leftsOf(incoming);
    ASSERT_GE(lefts.size(), 9u);
    EXPECT_EQ(lefts.front(), 10 + 30 - 300);
    EXPECT_EQ(lefts.back(), 10);
    EXPECT_TRUE(std::is_sorted(lefts.begin(), lefts.end())) << "moving right all the way";
}

TEST_F(Tabs, PressingTheSelectedTabDoesNothingAndAPressOnATabStaysThere) {
    Counter control(tabs, event::ValueChange);
    int rootPresses = 0;
    w->root()->addDelegate(event::LButtonDown, &rootPresses, countPress);
    Probe* page = probe(112);
    page->painted.clear();
    clickAt(w, centreOf(w, byId(w, 11)));
    settle(w);
    EXPECT_EQ(control.count(), 0);
    EXPECT_EQ(tabs->selected(), byId(w, 11));
    EXPECT_TRUE(page->painted.empty()) << "no slide, no repaint of the page";
    EXPECT_EQ(rootPresses, 0) << "the press is spent on the tab";
}

TEST_F(Tabs, PressesBelowTheStripGoToTheSelectedPageOrToAnEmptyPage) {
    selectByClick(12);
    Counter clicks(byId(w, 123), event::Click);
    clickAt(w, centreOf(w, byId(w, 123)));
    EXPECT_EQ(clicks.count(), 1) << "a button on the selected page";

    Control* hit = nullptr;
    tabs->addDelegate(event::LButtonDown, &hit, recordSender);
    selectByClick(14);
    EXPECT_EQ(pixelIn(w, tabs, 150, 100), kPurple) << "a tab without a page shows an empty page";
    clickAt(w, pointIn(w, tabs, 150, 100));
    EXPECT_EQ(hit, tabs) << "nothing on the empty page: the tab control itself is hit";
    hit = nullptr;
    clickAt(w, pointIn(w, tabs, 280, 15));
    EXPECT_EQ(hit, tabs) << "the strip beyond the last tab";
}
