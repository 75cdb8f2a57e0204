// The list box: items from the layout, choosing with the mouse, Up and Down, the wheel and the bar
// moving by whole items, and painting when only a few of many items are in view.
#include <algorithm>

#include "lists_fixture.h"

using namespace liststest;
using namespace testsupport;

namespace {

constexpr uint32_t kCheckedColour = 0xC03020;  // item_on.png
constexpr uint32_t kItemColour = 0xFFFFFF;     // item.png

std::string listWith(int count, const char* itemHeight = "24") {
    return std::string(
               R"(<Canvas initSize="200,140"><ListBox id="1" x="10" y="10" width="150" height="100" itemHeight=")") +
           itemHeight + "\">" + items(count) + "</ListBox></Canvas>";
}

Control* item(ListBox* list, int index) {
    return list->itemStack()->childAt(index);
}

}  // namespace

using ListBoxItems = ListsTest;

TEST_F(ListBoxItems, ChildElementsBecomeItemsOfTheColumn) {
    WindowImpl* w = open(listWith(20));
    auto* list = byId<ListBox>(w, 1);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->itemCount(), 20);
    EXPECT_EQ(list->firstChild(), list->itemStack()) << "the layout's items are not extra children";
    for (int i = 0; i < 20; ++i) {
        ASSERT_NE(item(list, i), nullptr);
        EXPECT_EQ(item(list, i)->bounds().top, i * 24);
        EXPECT_EQ(item(list, i)->bounds().bottom, i * 24 + 24);
    }
    ASSERT_NE(list->verticalBar(), nullptr);
    EXPECT_EQ(list->verticalBar()->total(), 480);
    EXPECT_EQ(list->verticalBar()->page(), 100);
    EXPECT_EQ(list->selectedItem(), nullptr);
    EXPECT_STREQ(list->selectedText(), L"");
}

TEST_F(ListBoxItems, MissingOrZeroItemHeightCountsAsTwentyFour) {
    WindowImpl* w = open(listWith(20, "0"));
    auto* list = byId<ListBox>(w, 1);
    ASSERT_TRUE(list && list->verticalBar());
    EXPECT_EQ(list->itemHeight(), 24);
    EXPECT_EQ(item(list, 3)->bounds().top, 72);
    moveMouse(centreOf(w, list));
    wheel(-1);
    EXPECT_TRUE(pumpUntil([&] { return list->verticalBar()->position() == 48; }, kDeadline));
}

TEST_F(ListBoxItems, OnlyTheItemsInViewArePaintedAtTheirPlaces) {
    WindowImpl* w = open(listWith(1000));
    auto* list = byId<ListBox>(w, 1);
    ASSERT_TRUE(list && list->verticalBar());
    list->select(item(list, 500));
    EXPECT_EQ(list->verticalBar()->position(), 501 * 24 - 100 + 4) << "scrolled just far enough";
    ASSERT_TRUE(settle(w));
    // Item 500 is the last whole row in view: rows start at multiples of 24 from the list's top.
    const POINT checked = pointIn(w, list, 20, 3 * 24 + 12);
    const POINT above = pointIn(w, list, 20, 2 * 24 + 12);
    EXPECT_EQ(screenPixel(checked.x, checked.y), kCheckedColour);
    EXPECT_EQ(screenPixel(above.x, above.y), kItemColour);
}

using ListBoxInput = ListsTest;

TEST_F(ListBoxInput, ClickSelectsTheItemUnderThePointerAndNotifies) {
    WindowImpl* w = open(listWith(20));
    auto* list = byId<ListBox>(w, 1);
    ASSERT_TRUE(list);
    EventCounter notify(list, event::Notify);

    click(pointIn(w, list, 30, 2 * 24 + 12));
    ASSERT_TRUE(pumpUntil([&] { return notify.count() == 1; }, kDeadline));
    EXPECT_EQ(notify.values[0], 2) << "Notify carries the item's index";
    EXPECT_EQ(list->selectedItem(), item(list, 2));
    EXPECT_TRUE(item(list, 2)->hasFlag(flag::checked));
    EXPECT_STREQ(list->selectedText(), L"item 2");
    EXPECT_EQ(w->focusedControl(), list) << "a press inside the list gives it the focus";

    click(pointIn(w, list, 30, 12));
    ASSERT_TRUE(pumpUntil([&] { return notify.count() == 2; }, kDeadline));
    EXPECT_EQ(list->selectedItem(), item(list, 0));
    EXPECT_FALSE(item(list, 2)->hasFlag(flag::checked)) << "the previous item is cleared";
    ASSERT_TRUE(settle(w));
    const POINT first = pointIn(w, list, 30, 12);
    const POINT third = pointIn(w, list, 30, 2 * 24 + 12);
    EXPECT_EQ(screenPixel(first.x, first.y), kCheckedColour);
    EXPECT_EQ(screenPixel(third.x, third.y), kItemColour);

    click(pointIn(w, list, 150 - 8, 100 - 8));  // the bar's down arrow is no item
    ASSERT_TRUE(pumpUntil([&] { return list->verticalBar()->position() == 24; }, kDeadline));
    pumpFor(50);
    EXPECT_EQ(notify.count(), 2);
    EXPECT_EQ(list->selectedItem(), item(list, 0));
}

// Pressed and released over item 1, both queued before the window handles them; by then the pointer
// is over item 3.
TEST_F(ListBoxInput, AClickChoosesTheItemItWasMadeOnNotTheOneThePointerReachedSince) {
    WindowImpl* w = open(listWith(20));
    auto* list = byId<ListBox>(w, 1);
    ASSERT_TRUE(list);
    EventCounter notify(list, event::Notify);

    click(pointIn(w, list, 30, 24 + 12));
    moveMouse(pointIn(w, list, 30, 3 * 24 + 12));
    ASSERT_TRUE(pumpUntil([&] { return notify.count() >= 1; }, kDeadline));
    EXPECT_EQ(notify.values[0], 1) << "Notify carries the index of the item the click was made on";
    EXPECT_EQ(list->selectedItem(), item(list, 1));
}

TEST_F(ListBoxInput, UpAndDownMoveTheSelectionIntoView) {
    WindowImpl* w = open(listWith(20));
    auto* list = byId<ListBox>(w, 1);
    ASSERT_TRUE(list && list->verticalBar());
    ScrollBar* bar = list->verticalBar();
    w->setFocusedControl(list);
    pressKey(VK_DOWN);
    pumpFor(100);
    EXPECT_EQ(list->selectedItem(), nullptr) << "without a selection the keys do nothing";

    click(pointIn(w, list, 30, 3 * 24 + 12));
    ASSERT_TRUE(pumpUntil([&] { return list->selectedItem() == item(list, 3); }, kDeadline));
    pressKey(VK_DOWN);
    pressKey(VK_DOWN);
    ASSERT_TRUE(pumpUntil([&] { return list->selectedItem() == item(list, 5); }, kDeadline));
    EXPECT_FALSE(item(list, 3)->hasFlag(flag::checked));
    EXPECT_FALSE(item(list, 4)->hasFlag(flag::checked));
    EXPECT_TRUE(item(list, 5)->hasFlag(flag::checked));
    EXPECT_EQ(bar->position(), 48) << "item 5 (120-144) shown at the bottom, on a whole-item boundary";

    for (int i = 0; i < 4; ++i) pressKey(VK_UP);
    ASSERT_TRUE(pumpUntil([&] { return list->selectedItem() == item(list, 1); }, kDeadline));
    EXPECT_EQ(bar->position(), 24) << "an item above the view comes to the top";
    pressKey(VK_UP);
    pressKey(VK_UP);
    ASSERT_TRUE(pumpUntil([&] { return list->selectedItem() == item(list, 0); }, kDeadline));
    pumpFor(100);
    EXPECT_EQ(list->selectedItem(), item(list, 0)) << "Up stops at the first item";
    EXPECT_EQ(bar->position(), 0);
}

TEST_F(ListBoxInput, WheelScrollsTwoItemsPerNotch) {
    WindowImpl* w = open(listWith(20));
    auto* list = byId<ListBox>(w, 1);
    ASSERT_TRUE(list && list->verticalBar());
    moveMouse(pointIn(w, list, 30, 50));
    wheel(-1);
    ASSERT_TRUE(pumpUntil([&] { return list->verticalBar()->position() == 48; }, kDeadline));
    EXPECT_EQ(list->itemStack()->bounds().top, -48);
    wheel(-10);
    ASSERT_TRUE(pumpUntil([&] { return list->verticalBar()->position() == 380; }, kDeadline))
        << "limited to total - page";
}

// The wheel turns over the left list; before the window handles it the pointer is over the right one.
TEST_F(ListBoxInput, TheWheelScrollsTheListItTurnedOverNotTheOneThePointerReachedSince) {
    WindowImpl* w = open(R"(<Canvas initSize="340,140">
  <ListBox id="1" x="10" y="10" width="150" height="100" itemHeight="24">)" +
                         items(20) + R"(</ListBox>
  <ListBox id="2" x="180" y="10" width="150" height="100" itemHeight="24">)" +
                         items(20) + R"(</ListBox>
</Canvas>)");
    auto* left = byId<ListBox>(w, 1);
    auto* right = byId<ListBox>(w, 2);
    ASSERT_TRUE(left && right && left->verticalBar() && right->verticalBar());

    moveMouse(pointIn(w, left, 30, 50));
    wheel(-1);
    moveMouse(pointIn(w, right, 30, 50));
    ASSERT_TRUE(pumpUntil([&] { return left->verticalBar()->position() == 48; }, kDeadline))
        << "the left list scrolled";
    EXPECT_EQ(right->verticalBar()->position(), 0) << "the right list did not";

    wheel(-1);  // the pointer is now over the right list
    ASSERT_TRUE(pumpUntil([&] { return right->verticalBar()->position() == 48; }, kDeadline));
    EXPECT_EQ(left->verticalBar()->position(), 48);
}

TEST_F(ListBoxInput, PagesAndDraggedThumbLandOnWholeItems) {
    WindowImpl* w = open(listWith(20));
    auto* list = byId<ListBox>(w, 1);
    ASSERT_TRUE(list && list->verticalBar());
    ScrollBar* bar = list->verticalBar();
    std::vector<int32_t> positions;
    EventCounter notify(bar, event::Notify);
    notify.onEvent = [&] { positions.push_back(bar->position()); };  // after the list's own handler

    // Page down: the track below the thumb (the thumb starts at 16, 68 * 100 / 480 + 1 = 15 -> 20 long).
    moveMouse(pointIn(w, bar, 8, 70));
    mouseDown();
    ASSERT_TRUE(pumpUntil([&] { return !positions.empty(); }, kDeadline));
    mouseUp();
    ASSERT_TRUE(pumpUntil([&] { return !bar->timerRunning(); }, kDeadline));
    EXPECT_EQ(positions[0], 96) << "a page of a 100-pixel list is four whole items";
    for (std::size_t i = 1; i < positions.size(); ++i) EXPECT_EQ(positions[i] - positions[i - 1], 96);

    // Drag the thumb down in small steps: every position is a multiple of 24.
    positions.clear();
    const RECT thumb = bar->thumbRect();
    moveMouse(pointIn(w, bar, 8, thumb.top + 5));
    mouseDown();
    pumpFor(30);
    for (int dy = 1; dy <= 30; dy += 2) {
        moveMouse(pointIn(w, bar, 8, thumb.top + 5 + dy));
        pumpUntil([&] { return false; }, 15);
    }
    mouseUp();
    ASSERT_TRUE(pumpUntil([&] { return !bar->hasFlag(flag::pressed); }, kDeadline));
    ASSERT_FALSE(positions.empty());
    // Whole items, except the very end, which shows the last item entirely.
    const int32_t end = bar->total() - bar->page();
    for (int32_t p : positions) EXPECT_TRUE(p % 24 == 0 || p == end) << p;
    EXPECT_TRUE(std::count_if(positions.begin(), positions.end(), [&](int32_t p) { return p != end; }) >= 2);
    EXPECT_GT(bar->position(), 96) << "the drag moved the list";
    EXPECT_EQ(list->itemStack()->bounds().top, -bar->position());
}
