// The scroll bar: thumb geometry, EnsurePosition's limits, and held arrows and track under real mouse
// input (a tick at once, then every 100 ms; pausing off the part; the track stopping at the pointer).
#include "lists_fixture.h"

using namespace liststest;
using namespace testsupport;

namespace {

// A bar 16 wide and 232 high: 16-pixel arrows leave a 200-pixel track.
const char kBar[] =
    R"(<Canvas initSize="100,260"><TestScrollBar id="1" x="10" y="10" width="16" height="232"/></Canvas>)";

// A panel 232 high over content 1000 high: the bar gets page 232 of 1000.
const char kTallPanel[] = R"(<Canvas initSize="140,260">
  <ScrollPanel id="1" x="10" y="10" width="116" height="232"><Canvas id="2" height="1000"/></ScrollPanel>
</Canvas>)";

void configure(ScrollBar* bar, int32_t total, int32_t page, int32_t position) {
    bar->setTotal(total);
    bar->setPage(page);
    bar->EnsurePosition(position);
}

}  // namespace

using ScrollBarGeometry = ListsTest;

TEST_F(ScrollBarGeometry, ArrowsComeFromTheStyleImages) {
    WindowImpl* w = open(kBar);
    auto* bar = byId<ScrollBar>(w, 1);
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->upArrowRect().top, 0);
    EXPECT_EQ(bar->upArrowRect().bottom, 16);
    EXPECT_EQ(bar->downArrowRect().top, 216);
    EXPECT_EQ(bar->downArrowRect().bottom, 232);
    EXPECT_EQ(bar->trackStart(), 16);
    EXPECT_EQ(bar->trackLength(), 200);
}

TEST_F(ScrollBarGeometry, ThumbLengthAndEndAtTheLastPosition) {
    WindowImpl* w = open(kBar);
    auto* bar = byId<ScrollBar>(w, 1);
    ASSERT_TRUE(bar);
    configure(bar, 1000, 250, 0);
    EXPECT_EQ(bar->thumbLength(), 51) << "250 * 200 / 1000 + 1";
    EXPECT_EQ(bar->thumbRect().top, 16);
    bar->EnsurePosition(750);
    EXPECT_EQ(bar->position(), 750);
    EXPECT_EQ(bar->thumbRect().bottom, bar->downArrowRect().top) << "the thumb ends exactly at the track end";
    EXPECT_EQ(bar->thumbRect().top, 16 + 149);
    bar->EnsurePosition(5000);
    EXPECT_EQ(bar->position(), 750) << "limited to total - page";
    bar->EnsurePosition(-3);
    EXPECT_EQ(bar->position(), 0);
}

TEST_F(ScrollBarGeometry, ShortThumbsKeepTwentyPixels) {
    WindowImpl* w = open(kBar);
    auto* bar = byId<ScrollBar>(w, 1);
    ASSERT_TRUE(bar);
    configure(bar, 100000, 100, 0);
    EXPECT_EQ(bar->thumbLength(), ScrollBar::kMinThumbLength);
    bar->EnsurePosition(100000);
    EXPECT_EQ(bar->thumbRect().bottom, 216);
}

TEST_F(ScrollBarGeometry, AWholePageDisablesTheBarAndForcesPositionZero) {
    WindowImpl* w = open(kBar);
    auto* bar = byId<ScrollBar>(w, 1);
    ASSERT_TRUE(bar);
    configure(bar, 1000, 250, 300);
    ASSERT_TRUE(bar->hasFlag(flag::enabled));
    configure(bar, 100, 100, 40);
    EXPECT_FALSE(bar->hasFlag(flag::enabled));
    EXPECT_EQ(bar->position(), 0);
    configure(bar, 50, 100, 10);
    EXPECT_EQ(bar->position(), 0) << "a page larger than the total never gives a negative position";
    configure(bar, 1000, 250, 10);
    EXPECT_TRUE(bar->hasFlag(flag::enabled)) << "enabled again once the content is longer than the page";
    EXPECT_EQ(bar->position(), 10);
}

TEST_F(ScrollBarGeometry, AnUnattachedBarChangesNothing) {
    ScrollBar bar;
    bar.setTotal(1000);
    bar.setPage(100);
    bar.EnsurePosition(300);
    EXPECT_EQ(bar.position(), 0);
    EXPECT_TRUE(bar.hasFlag(flag::enabled));
}

using ScrollBarInput = ListsTest;

TEST_F(ScrollBarInput, HeldArrowRepeatsEveryHundredMillisecondsAndPausesOffTheArrow) {
    WindowImpl* w = open(kBar);
    auto* bar = byId<ScrollBar>(w, 1);
    ASSERT_TRUE(bar);
    configure(bar, 1000, 250, 0);
    EventCounter notify(bar, event::Notify);
    std::vector<ULONGLONG> at;
    notify.onEvent = [&] { at.push_back(GetTickCount64()); };

    moveMouse(pointIn(w, bar, 8, 224));  // the down arrow
    mouseDown();
    ASSERT_TRUE(pumpUntil([&] { return notify.count() >= 1; }, kDeadline));
    EXPECT_EQ(notify.values[0], scrollRequest::lineForward);
    EXPECT_TRUE(bar->timerRunning());
    ASSERT_TRUE(pumpUntil([&] { return notify.count() >= 5; }, kDeadline));
    for (std::size_t i = 1; i < at.size(); ++i)
        EXPECT_GE(at[i] - at[i - 1], 80u) << "repeats come from the 100 ms timer, not from every message";
    EXPECT_LE(at[4] - at[0], 1500u);

    moveMouse(pointIn(w, bar, 8, 120));  // still held, now over the track
    ASSERT_TRUE(pumpUntil([&] { return !bar->timerRunning(); }, kDeadline));
    const int paused = notify.count();
    pumpFor(350);
    EXPECT_EQ(notify.count(), paused) << "no repeats while the pointer is off the held arrow";

    moveMouse(pointIn(w, bar, 8, 224));
    ASSERT_TRUE(pumpUntil([&] { return notify.count() > paused; }, kDeadline)) << "resumes on the way back";
    EXPECT_EQ(notify.values.back(), scrollRequest::lineForward);
    mouseUp();
    ASSERT_TRUE(pumpUntil([&] { return !bar->timerRunning(); }, kDeadline)) << "the release stops it";
    const int released = notify.count();
    pumpFor(250);
    EXPECT_EQ(notify.count(), released);
}

TEST_F(ScrollBarInput, HeldTrackStopsOnceTheThumbReachesThePointer) {
    WindowImpl* w = open(kTallPanel);
    auto* panel = byId<ScrollPanel>(w, 1);
    ASSERT_TRUE(panel);
    ScrollBar* bar = panel->verticalBar();
    ASSERT_TRUE(bar);
    ASSERT_EQ(bar->total(), 1000);
    ASSERT_EQ(bar->page(), 232);
    EventCounter notify(bar, event::Notify);

    const int pointerY = 130;  // bar-local, well below the thumb at the start
    moveMouse(pointIn(w, bar, 8, pointerY));
    mouseDown();
    ASSERT_TRUE(pumpUntil([&] { return notify.count() >= 1; }, kDeadline));
    EXPECT_EQ(notify.values[0], scrollRequest::pageForward);
    // Paging goes on until the thumb covers the pointer, then the held track asks for nothing more.
    ASSERT_TRUE(pumpUntil([&] { return bar->thumbRect().bottom > pointerY; }, kDeadline));
    const int32_t stopped = bar->position();
    pumpFor(400);
    EXPECT_EQ(bar->position(), stopped);
    EXPECT_LE(bar->thumbRect().top, pointerY);
    EXPECT_LT(stopped, bar->total() - bar->page()) << "it stopped at the pointer, not at the end";
    for (int64_t request : notify.values) EXPECT_EQ(request, scrollRequest::pageForward);
    mouseUp();
    EXPECT_TRUE(pumpUntil([&] { return !bar->timerRunning(); }, kDeadline));
}

TEST_F(ScrollBarInput, HoverStateFollowsThePartsAndLeavesWithThePointer) {
    WindowImpl* w = open(kBar);
    auto* bar = byId<ScrollBar>(w, 1);
    ASSERT_TRUE(bar);
    configure(bar, 1000, 250, 0);
    moveMouse(pointIn(w, bar, 8, 4));
    EXPECT_TRUE(pumpUntil([&] { return bar->state() == scrollPart::upHover; }, kDeadline));
    moveMouse(pointIn(w, bar, 8, 30));  // on the thumb (16 .. 67)
    EXPECT_TRUE(pumpUntil([&] { return bar->state() == scrollPart::thumbHover; }, kDeadline));
    moveMouse(pointIn(w, bar, 60, 30));  // off the bar, inside the window
    EXPECT_TRUE(pumpUntil([&] { return bar->state() == 0; }, kDeadline));
}

// The input of each case is queued before the window handles any of it, as on a busy window: by the
// time the press is handled the pointer is already elsewhere.
TEST_F(ScrollBarInput, APressHoldsThePartItWasMadeOnNotThePartThePointerReachedSince) {
    WindowImpl* w = open(kBar);
    auto* bar = byId<ScrollBar>(w, 1);
    ASSERT_TRUE(bar);
    configure(bar, 1000, 250, 0);  // thumb 16 .. 67, track after it down to 216
    EventCounter notify(bar, event::Notify);

    moveMouse(pointIn(w, bar, 8, 224));  // the down arrow
    mouseDown();
    moveMouse(pointIn(w, bar, 8, 150));  // still held, over the track after the thumb
    ASSERT_TRUE(pumpUntil([&] { return notify.count() >= 1 && !bar->timerRunning(); }, kDeadline));
    EXPECT_EQ(notify.values[0], scrollRequest::lineForward) << "the press was on the down arrow";
    mouseUp();
    ASSERT_TRUE(pumpUntil([&] { return !bar->hasFlag(flag::pressed); }, kDeadline));
    for (int64_t request : notify.values)
        EXPECT_EQ(request, scrollRequest::lineForward) << "the track was never pressed";
}

TEST_F(ScrollBarInput, ADraggedThumbEndsWhereTheButtonWasReleased) {
    WindowImpl* w = open(kBar);
    auto* bar = byId<ScrollBar>(w, 1);
    ASSERT_TRUE(bar);
    configure(bar, 1000, 250, 0);
    EventCounter notify(bar, event::Notify);

    const int grabbed = 30;  // 14 below the thumb's start
    moveMouse(pointIn(w, bar, 8, grabbed));
    mouseDown();
    for (int y = 50; y <= 90; y += 20) moveMouse(pointIn(w, bar, 8, y));
    mouseUp();
    moveMouse(pointIn(w, bar, 8, 4));  // afterwards, with the button up: the up arrow
    ASSERT_TRUE(pumpUntil([&] { return notify.count() >= 1 && !bar->hasFlag(flag::pressed); }, kDeadline));
    ASSERT_TRUE(pumpUntil([&] { return bar->state() == scrollPart::upHover; }, kDeadline))
        << "the last move reached the bar";

    for (int64_t request : notify.values) EXPECT_EQ(request, scrollRequest::thumbDrag);
    // The thumb start asked for is the release point less the grab, measured from the track start,
    // scaled from the 149 free pixels to the 750 positions.
    const int64_t distance = 90 - (grabbed - 16) - 16;
    EXPECT_EQ(notify.details.back(), distance * 750 / 149);
    for (int64_t value : notify.details)
        EXPECT_LE(value, distance * 750 / 149) << "nothing beyond the release";
}
