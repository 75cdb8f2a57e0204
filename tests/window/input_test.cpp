// Input through real windows and real input (SendInput): capture, double clicks, focus, keys, hover
// chains, tooltips, the wheel, the cursor query, and controls forgotten while the mouse rests on them.
#include <string>
#include <vector>

#include "dui/checked.h"
#include "dui/loader.h"
#include "dui/panels.h"
#include "window_fixture.h"

using namespace windowtest;
using namespace testsupport;

namespace {

// Buttons 10 and 11; panel 20 split into a left child 21 and a right child 22.
const char kPage[] = R"(
<Canvas id="1" initSize="300,200">
  <TestButton id="10" x="20" y="20" width="80" height="40"/>
  <TestButton id="11" x="120" y="20" width="80" height="40"/>
  <Grid id="20" x="20" y="100" width="200" height="60">
    <Grid id="21" width="100" horizontalAlign="left"/>
    <Grid id="22" width="100" horizontalAlign="right"/>
  </Grid>
</Canvas>)";

using Strings = std::vector<std::string>;

// Counts the key messages that reach it and what the window answered.
class KeyProbe : public WindowImpl {
  public:
    using WindowImpl::WindowImpl;
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        const bool key = message == WM_KEYDOWN || message == WM_KEYUP || message == WM_CHAR;
        LRESULT result = WindowImpl::handleMessage(message, wParam, lParam);
        if (key) {
            ++keyMessages;
            nonZeroAnswers += result != 0;
        }
        return result;
    }
    int keyMessages = 0;
    int nonZeroAnswers = 0;
};

void markHandled(void*, Control*, EventRecord& e) {
    e.handled = 1;
}

}  // namespace

class Input : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        w = open(kPage);
        ASSERT_NE(w, nullptr);
        log.listen(w->root());
    }
    // Waits until the log holds `entry`.
    bool waitFor(const std::string& entry) {
        return pumpUntil([&] { return log.contains(entry); }, kDeadline);
    }
    WindowImpl* w = nullptr;
};

// ---- Capture --------------------------------------------------------------------------------------

TEST_F(Input, PressDragOutAndReleaseGoToTheCapturedControl) {
    Control* button = byId(w, 10);
    moveMouse(centreOf(w, button));
    ASSERT_TRUE(waitFor("10 MouseEnter"));
    log.clear();
    mouseDown();
    ASSERT_TRUE(waitFor("1 LButtonDown"));
    EXPECT_EQ(log.entries(), (Strings{"1 PrevLButtonDown", "10 PrevLButtonDown", "10 GotCapture",
                                      "10 LButtonDown", "1 LButtonDown"}));
    EXPECT_EQ(w->capturedControl(), button);
    EXPECT_TRUE(button->hasFlag(flag::pressed));
    EXPECT_EQ(GetCapture(), w->handle());

    const RECT r = windowRect(w->handle());
    moveMouse(r.right + 40, r.bottom + 40);
    ASSERT_TRUE(
        pumpUntil([&] { return log.count("10 MouseMove") > 0 && log.contains("10 MouseLeave"); }, kDeadline));
    EXPECT_EQ(log.count("1 MouseMove"), 0) << "moves go straight to the captured control";
    log.clear();
    mouseUp();
    ASSERT_TRUE(waitFor("10 LostCapture"));
    pumpFor(50);
    EXPECT_EQ(log.count("10 LButtonUp"), 1);
    EXPECT_EQ(log.count("1 LButtonUp"), 0) << "the release is not bubbled";
    EXPECT_EQ(log.only("PrevLButtonUp"), Strings{});
    EXPECT_EQ(log.count("10 LostCapture"), 1);
    EXPECT_EQ(w->capturedControl(), nullptr);
    EXPECT_FALSE(button->hasFlag(flag::pressed));
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Input, HidingACapturedControlOrItsParentEndsTheCaptureOnce) {
    Control* button = byId(w, 10);
    moveMouse(centreOf(w, button));
    mouseDown();
    ASSERT_TRUE(waitFor("10 GotCapture"));
    log.clear();
    button->setVisible(false);
    EXPECT_EQ(log.count("10 LostCapture"), 1);
    EXPECT_FALSE(button->hasFlag(flag::pressed));
    EXPECT_EQ(w->capturedControl(), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
    mouseUp();
    ASSERT_TRUE(waitFor("1 LButtonUp"));
    EXPECT_EQ(log.count("10 LButtonUp"), 0) << "a hidden control gets no release";
    EXPECT_EQ(log.count("10 LostCapture"), 1);

    // The same when the panel around the pressed control is hidden.
    Control* leaf = byId(w, 21);
    leaf->setFlag(flag::captureOnPress, true);
    moveMouse(centreOf(w, leaf));
    mouseDown();
    ASSERT_TRUE(waitFor("21 GotCapture"));
    log.clear();
    byId(w, 20)->setVisible(false);
    EXPECT_EQ(log.count("21 LostCapture"), 1);
    EXPECT_EQ(GetCapture(), nullptr);
    mouseUp();
    pumpFor(50);
    EXPECT_EQ(log.count("21 LostCapture"), 1);
}

TEST_F(Input, AReleaseWithoutCaptureTunnelsThenBubbles) {
    Control* leaf = byId(w, 21);
    click(centreOf(w, leaf));
    ASSERT_TRUE(waitFor("1 LButtonUp"));
    EXPECT_EQ(log.only("LButtonUp"), (Strings{"21 LButtonUp", "20 LButtonUp", "1 LButtonUp"}));
    EXPECT_EQ(log.only("PrevLButtonUp"),
              (Strings{"1 PrevLButtonUp", "20 PrevLButtonUp", "21 PrevLButtonUp"}));
    EXPECT_EQ(log.only("GotCapture"), Strings{}) << "a panel does not capture";
}

TEST_F(Input, ADisabledControlTakesNoPress) {
    Control* button = byId(w, 10);
    button->setEnabled(false);
    click(centreOf(w, button));
    click(centreOf(w, byId(w, 11)));
    ASSERT_TRUE(waitFor("11 LButtonUp"));
    EXPECT_EQ(log.only("LButtonDown"), (Strings{"11 LButtonDown", "1 LButtonDown"}));
}

TEST_F(Input, RightButtonsNeitherCaptureNorFocus) {
    Control* button = byId(w, 10);
    button->setFlag(flag::focusOnPress, true);
    click(centreOf(w, button), Button::Right);
    ASSERT_TRUE(waitFor("1 RButtonUp"));
    EXPECT_EQ(log.only("RButtonDown"), (Strings{"10 RButtonDown", "1 RButtonDown"}));
    EXPECT_EQ(log.only("PrevRButtonUp"), (Strings{"1 PrevRButtonUp", "10 PrevRButtonUp"}));
    EXPECT_EQ(log.only("GotCapture"), Strings{});
    EXPECT_EQ(log.only("GotFocus"), Strings{});
}

// ---- Double clicks --------------------------------------------------------------------------------

TEST_F(Input, ADoubleClickWithoutTheFlagIsTwoPresses) {
    Control* button = byId(w, 10);
    doubleClick(centreOf(w, button));
    ASSERT_TRUE(pumpUntil([&] { return log.count("10 LButtonUp") == 2; }, kDeadline));
    EXPECT_EQ(log.count("10 PrevLButtonDown"), 2);
    EXPECT_EQ(log.count("10 LButtonDown"), 2);
    EXPECT_EQ(log.count("10 GotCapture"), 2);
    EXPECT_EQ(log.count("10 LostCapture"), 2);
    EXPECT_EQ(log.only("LButtonDbClick"), Strings{});
}

TEST_F(Input, ADoubleClickWithTheFlagIsOneEvent) {
    Control* button = byId(w, 11);
    button->setFlag(flag::doubleClick, true);
    doubleClick(centreOf(w, button));
    ASSERT_TRUE(pumpUntil([&] { return log.contains("11 LButtonDbClick") && log.count("11 LButtonUp") == 2; },
                          kDeadline));
    EXPECT_EQ(log.count("11 LButtonDown"), 1);
    EXPECT_EQ(log.count("11 LButtonDbClick"), 1);
    EXPECT_EQ(log.count("1 LButtonDbClick"), 0) << "sent directly";
}

// ---- Focus ----------------------------------------------------------------------------------------

TEST_F(Input, DisablingTheFocusedControlLeavesNoFocus) {
    Control* button = byId(w, 10);
    button->setFlag(flag::focusOnPress, true);
    click(centreOf(w, button));
    ASSERT_TRUE(waitFor("10 GotFocus"));
    ASSERT_TRUE(waitFor("10 LButtonUp")) << "the press is over: nothing is captured any more";
    EXPECT_EQ(w->focusedControl(), button);
    EXPECT_TRUE(button->hasFlag(flag::focused));
    EXPECT_EQ(GetFocus(), w->handle());
    log.clear();
    button->setEnabled(false);
    // The mouse rests on it too, so it also leaves the hover.
    EXPECT_EQ(log.entries(), (Strings{"10 LostFocus", "10 MouseLeave"}));
    EXPECT_EQ(w->focusedControl(), nullptr);
    EXPECT_FALSE(button->hasFlag(flag::focused));
}

TEST_F(Input, APressOnAnUnfocusingControlClearsTheFocus) {
    Control* first = byId(w, 10);
    w->setFocusedControl(first);
    EXPECT_EQ(log.entries(), Strings{"10 GotFocus"});
    w->setFocusedControl(first);
    EXPECT_EQ(log.count("10 GotFocus"), 1) << "focusing the focused control does nothing";
    click(centreOf(w, byId(w, 11)));
    ASSERT_TRUE(waitFor("11 LButtonUp"));
    EXPECT_EQ(log.count("10 LostFocus"), 1);
    EXPECT_EQ(w->focusedControl(), nullptr);
}

TEST_F(Input, LosingTheSystemFocusRemembersTheControlForTheNextActivation) {
    Control* leaf = byId(w, 21);
    ASSERT_TRUE(bringToFront(w->handle()));
    w->setFocusedControl(leaf);
    WindowImpl* other = open(kPage, 500, 100);
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(bringToFront(other->handle()));
    ASSERT_TRUE(waitFor("21 LostFocus"));
    EXPECT_EQ(w->focusedControl(), nullptr);
    EXPECT_TRUE(leaf->hasFlag(flag::focused)) << "the flag stays while the window is inactive";
    log.clear();
    ASSERT_TRUE(bringToFront(w->handle()));
    ASSERT_TRUE(waitFor("21 GotFocus"));
    EXPECT_EQ(w->focusedControl(), leaf);
}

// ---- Keys -----------------------------------------------------------------------------------------

class KeyInput : public WindowTest {};

TEST_F(KeyInput, WithoutAFocusedControlAKeyIsSwallowed) {
    Control* root = buildLayout(kPage, sizeof(kPage) - 1);
    auto* probe = new KeyProbe(root);
    ASSERT_NE(create(probe, 100, 100, WS_POPUP | WS_VISIBLE), nullptr);
    log.listen(probe->root());
    ASSERT_TRUE(bringToFront(probe->handle()));
    pressKey('A');
    ASSERT_TRUE(pumpUntil([&] { return probe->keyMessages >= 3; }, kDeadline));  // down, char, up
    EXPECT_EQ(probe->nonZeroAnswers, 0);
    EXPECT_EQ(log.entries(), Strings{});
}

TEST_F(KeyInput, KeysGoToTheFocusedControlTunnelThenBubble) {
    WindowImpl* w = open(kPage);
    ASSERT_NE(w, nullptr);
    log.listen(w->root());
    ASSERT_TRUE(bringToFront(w->handle()));
    w->setFocusedControl(byId(w, 21));
    log.clear();
    pressKey('A');
    ASSERT_TRUE(pumpUntil([&] { return log.contains("1 KeyUp"); }, kDeadline));
    EXPECT_EQ(log.only("PrevKeyDown"), (Strings{"1 PrevKeyDown", "20 PrevKeyDown", "21 PrevKeyDown"}));
    EXPECT_EQ(log.only("KeyDown"), (Strings{"21 KeyDown", "20 KeyDown", "1 KeyDown"}));
    EXPECT_EQ(log.only("KeyPress"), (Strings{"21 KeyPress", "20 KeyPress", "1 KeyPress"}));

    // A handled preview stops the key before the focused control sees it.
    byId(w, 20)->addDelegate(event::PrevKeyDown, nullptr, markHandled);
    log.clear();
    pressKey('B');
    ASSERT_TRUE(pumpUntil([&] { return log.contains("1 KeyUp"); }, kDeadline));
    EXPECT_EQ(log.only("PrevKeyDown"), (Strings{"1 PrevKeyDown", "20 PrevKeyDown"}));
    EXPECT_EQ(log.only("KeyDown"), Strings{});
}

// ---- Hover ----------------------------------------------------------------------------------------

TEST_F(Input, MovingFromAChildToItsSiblingSkipsTheCommonParent) {
    moveMouse(centreOf(w, byId(w, 21)));
    ASSERT_TRUE(waitFor("21 MouseEnter"));
    EXPECT_EQ(log.only("MouseEnter"), (Strings{"1 MouseEnter", "20 MouseEnter", "21 MouseEnter"}));
    EXPECT_EQ(w->hoverChainLength(), 3);
    log.clear();
    moveMouse(centreOf(w, byId(w, 22)));
    ASSERT_TRUE(waitFor("22 MouseEnter"));
    EXPECT_EQ(log.only("MouseLeave"), Strings{"21 MouseLeave"});
    EXPECT_EQ(log.only("MouseEnter"), Strings{"22 MouseEnter"});
    EXPECT_FALSE(byId(w, 21)->hasFlag(flag::hover));
    EXPECT_TRUE(byId(w, 22)->hasFlag(flag::hover));
    EXPECT_TRUE(byId(w, 20)->hasFlag(flag::hover));
    EXPECT_EQ(w->hoveredControl(), byId(w, 22));

    // Leaving the window: everything hovered leaves, innermost first.
    log.clear();
    const RECT r = windowRect(w->handle());
    moveMouse(r.right + 30, r.top);
    ASSERT_TRUE(waitFor("1 MouseLeave"));
    EXPECT_EQ(log.only("MouseLeave"), (Strings{"22 MouseLeave", "20 MouseLeave", "1 MouseLeave"}));
    EXPECT_EQ(w->hoverChainLength(), 0);
    EXPECT_EQ(w->hoveredControl(), nullptr);
}

TEST_F(WindowTest, ATreeDeeperThanTheHoverChainKeepsItsInnermostControls) {
    constexpr int kDepth = 40;
    std::string xml = R"(<Grid id="1" initSize="200,100">)";
    for (int i = 2; i <= kDepth; ++i) xml += "<Grid id=\"" + std::to_string(i) + "\">";
    for (int i = 2; i <= kDepth; ++i) xml += "</Grid>";
    xml += "</Grid>";
    WindowImpl* deep = open(xml);
    ASSERT_NE(deep, nullptr);
    log.listen(deep->root());
    moveMouse(clientToScreen(deep->handle(), POINT{100, 50}));
    ASSERT_TRUE(pumpUntil([&] { return log.contains("40 MouseEnter"); }, kDeadline));
    EXPECT_EQ(deep->hoverChainLength(), WindowImpl::kHoverChainCapacity);
    EXPECT_EQ(log.only("MouseEnter").size(), static_cast<size_t>(WindowImpl::kHoverChainCapacity));
    EXPECT_TRUE(deep->controlById(kDepth - WindowImpl::kHoverChainCapacity + 1)->hasFlag(flag::hover));
    EXPECT_FALSE(deep->controlById(kDepth - WindowImpl::kHoverChainCapacity)->hasFlag(flag::hover));
    EXPECT_FALSE(deep->controlById(1)->hasFlag(flag::hover));

    const RECT r = windowRect(deep->handle());
    moveMouse(r.right + 30, r.top);
    ASSERT_TRUE(pumpUntil([&] { return deep->hoverChainLength() == 0; }, kDeadline));
    for (int i = 1; i <= kDepth; ++i) EXPECT_FALSE(deep->controlById(i)->hasFlag(flag::hover)) << i;
}

TEST_F(Input, HidingTheHoveredControlLeavesItOnceAndKeepsItsParentHovered) {
    Control* leaf = byId(w, 21);
    moveMouse(centreOf(w, leaf));
    ASSERT_TRUE(waitFor("21 MouseEnter"));
    log.clear();
    leaf->setVisible(false);
    EXPECT_EQ(log.entries(), Strings{"21 MouseLeave"});
    pumpFor(100);  // the posted move finds the parent under the cursor: nothing new
    EXPECT_EQ(log.only("MouseEnter"), Strings{});
    EXPECT_EQ(log.only("MouseLeave"), Strings{"21 MouseLeave"});
    EXPECT_EQ(w->hoveredControl(), byId(w, 20));
    EXPECT_TRUE(byId(w, 20)->hasFlag(flag::hover));
}

// A MouseLeave handler that rebuilds part of the tree (as a relayout rebuilds scroll bars): the hover
// walk must not take the new control in the freed cell for the old one.
TEST_F(Input, ALeaveHandlerThatRebuildsAChildEndsTheWalkForTheFreedChild) {
    struct Rebuild {
        EventLog* log;
        Control* made = nullptr;
        static void onLeave(void* context, Control* sender, EventRecord&) {
            auto* self = static_cast<Rebuild*>(context);
            auto* panel = static_cast<Panel*>(sender);
            delete panel->removeChild(panel->firstChild());
            dui::flushSmallQuarantine();  // a checked build would keep the freed cell out of reuse
            self->made = new Grid;
            self->made->setInt(attr::id, 23);
            panel->addChild(self->made);
            self->log->listen(self->made);
        }
    } rebuild{&log};
    Control* leaf = byId(w, 21);
    moveMouse(centreOf(w, leaf));
    ASSERT_TRUE(waitFor("21 MouseEnter"));
    byId(w, 20)->addDelegate(event::MouseLeave, &rebuild, Rebuild::onLeave);
    log.clear();
    moveMouse(centreOf(w, byId(w, 10)));
    ASSERT_TRUE(waitFor("10 MouseEnter"));
    ASSERT_EQ(rebuild.made, leaf) << "the allocator gave the new child another cell";
    EXPECT_EQ(log.only("MouseLeave"), Strings{"20 MouseLeave"});
    EXPECT_FALSE(rebuild.made->hasFlag(flag::hover));
}

// ---- Wheel and cursor -----------------------------------------------------------------------------

TEST_F(Input, TheWheelBubblesFromTheControlUnderTheCursor) {
    moveMouse(centreOf(w, byId(w, 22)));
    ASSERT_TRUE(waitFor("22 MouseEnter"));
    ASSERT_TRUE(bringToFront(w->handle()));
    wheel(1);
    ASSERT_TRUE(waitFor("1 MouseWheel"));
    EXPECT_EQ(log.only("MouseWheel"), (Strings{"22 MouseWheel", "20 MouseWheel", "1 MouseWheel"}));
}

TEST_F(Input, AHandledCursorQueryKeepsTheCursorItSet) {
    log.listen(w->root(), true, true);
    static HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
    byId(w, 11)->addDelegate(event::QueryCursor, nullptr, [](void*, Control*, EventRecord& e) {
        SetCursor(hand);
        e.handled = 1;
    });
    moveMouse(centreOf(w, byId(w, 11)));
    ASSERT_TRUE(waitFor("11 QueryCursor"));
    EXPECT_EQ(GetCursor(), hand);
    moveMouse(centreOf(w, byId(w, 10)));
    ASSERT_TRUE(waitFor("10 QueryCursor"));
    EXPECT_EQ(log.count("1 QueryCursor"), 0) << "sent directly";
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW)) << "unhandled: the class cursor";
}

// ---- Tooltips -------------------------------------------------------------------------------------

TEST_F(Input, ATooltipShowsBelowTheCursorAndAPressHidesIt) {
    Control* button = byId(w, 10);
    button->setText(attr::tooltip, L"Install");
    byId(w, 20)->setText(attr::tooltip, L"Not for the children");
    const POINT at = centreOf(w, button);
    moveMouse(at);
    ASSERT_TRUE(pumpUntil([&] { return w->tooltipShown(); }, kDeadline));
    HWND tip = w->tooltipWindow();
    ASSERT_TRUE(waitVisible(tip, true, kDeadline));
    // The tooltip's border lies outside the tracking position, its client area starts there.
    const RECT r = clientScreenRect(tip);
    EXPECT_EQ(r.left, at.x);
    EXPECT_EQ(r.top, at.y + 19);
    mouseDown();
    mouseUp();
    ASSERT_TRUE(waitVisible(tip, false, kDeadline));
    EXPECT_FALSE(w->tooltipShown());

    // Only a control's own tooltip counts, not its parent's.
    moveMouse(centreOf(w, byId(w, 21)));
    UINT hoverTime = 400;
    SystemParametersInfoW(SPI_GETMOUSEHOVERTIME, 0, &hoverTime, 0);
    pumpFor(hoverTime * 3);
    EXPECT_FALSE(w->tooltipShown());
    EXPECT_FALSE(IsWindowVisible(tip));
}

TEST_F(WindowTest, ATooltipNearTheRightEdgeMovesLeftToFit) {
    const int screen = GetSystemMetrics(SM_CXSCREEN);
    WindowImpl* w = open(R"(<Grid initSize="60,40" tooltip="Seven77"/>)", screen - 60, 300);
    ASSERT_NE(w, nullptr);
    moveMouse(screen - 30, 320);
    ASSERT_TRUE(pumpUntil([&] { return w->tooltipShown(); }, kDeadline));
    ASSERT_TRUE(waitVisible(w->tooltipWindow(), true, kDeadline));
    // Seven characters are estimated at 14 pixels each, plus 2.
    EXPECT_EQ(clientScreenRect(w->tooltipWindow()).left, screen - (7 * 14 + 2));
}

TEST_F(Input, AHandlerThatDestroysTheWindowEndsTheRouting) {
    static HWND target = nullptr;
    target = w->handle();
    byId(w, 10)->addDelegate(event::PrevLButtonDown, nullptr,
                             [](void*, Control*, EventRecord&) { DestroyWindow(target); });
    click(centreOf(w, byId(w, 10)));
    ASSERT_TRUE(waitDestroyed(target, kDeadline));
    pumpFor(50);
    EXPECT_EQ(log.count("10 GotCapture"), 0) << "nothing routed after the window went";
    EXPECT_EQ(log.count("10 LButtonDown"), 0);
    EXPECT_EQ(GetCapture(), nullptr);
}

// ---- A window destroyed while the mouse rests on it -----------------------------------------------

TEST_F(Input, DestroyingTheWindowDetachesTheTreeWithLeaveEvents) {
    Control* button = byId(w, 10);
    moveMouse(centreOf(w, button));
    ASSERT_TRUE(waitFor("10 MouseEnter"));
    mouseDown();
    ASSERT_TRUE(waitFor("10 GotCapture"));
    log.clear();
    DestroyWindow(w->handle());
    EXPECT_EQ(log.count("10 LostCapture"), 1);
    EXPECT_EQ(log.count("10 MouseLeave"), 1);
    EXPECT_EQ(GetCapture(), nullptr);
    mouseUp();
    pumpFor(50);
}
