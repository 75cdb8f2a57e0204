// The combo box and its drop-down: where it opens and how tall it is, choosing with the mouse and the
// keyboard, cancelling, the quit message while it is open, and closing with the combo box. The
// drop-down runs its own message loop inside the press that opened it, so input comes from a second
// thread (InputScript) while the test's thread is inside that loop.
#include "lists_fixture.h"

using namespace liststest;
using namespace testsupport;

namespace {

std::string comboWith(int count, int windowHeight = 60) {
    return R"(<Canvas initSize="200,)" + std::to_string(windowHeight) +
           R"("><ComboBox id="1" x="10" y="10" width="120" height="24" text="item 1">)" + items(count) +
           "</ComboBox></Canvas>";
}

RECT screenRectOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

}  // namespace

using ComboDropDown = ListsTest;

TEST_F(ComboDropDown, OpensBelowWithTenItemsAt148Pixels) {
    WindowImpl* w = open(comboWith(10));
    auto* combo = byId<ComboBox>(w, 1);
    ASSERT_TRUE(combo && combo->dropDown());
    const HWND popup = combo->dropDown()->handle();
    EXPECT_FALSE(IsWindowVisible(popup)) << "made hidden with the combo box";
    EXPECT_TRUE(windowExStyle(popup) & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(windowStyle(popup) & WS_POPUP);
    const POINT comboTopLeft = pointIn(w, combo, 0, 0);

    RECT shown{};
    bool visible = false;
    InputScript script([&] {
        visible = waitFor([&] { return IsWindowVisible(popup) != FALSE; });
        shown = screenRectOf(popup);
        pressKey(VK_ESCAPE);
    });
    clickOn(w, combo);
    ASSERT_TRUE(pumpUntil([&] { return script.done() && !IsWindowVisible(popup); }, kDeadline));
    ASSERT_TRUE(visible);
    EXPECT_EQ(shown.top, comboTopLeft.y + 24);
    EXPECT_EQ(shown.left, comboTopLeft.x);
    EXPECT_EQ(shown.right - shown.left, 120);
    EXPECT_EQ(shown.bottom - shown.top, 148) << "10 items: limited to 148";
    EXPECT_TRUE(combo->dropDown()->openedBelow());
    EXPECT_STREQ(combo->getText(attr::text), L"item 1") << "Escape chooses nothing";
}

TEST_F(ComboDropDown, OpensUpwardNearTheScreenBottomWithTwoItemsAt52Pixels) {
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    // The combo (y 10 in the window) ends up with its top 30 pixels above the screen's bottom.
    WindowImpl* w = open(comboWith(2, 40), 100, screenHeight - 30 - 10);
    auto* combo = byId<ComboBox>(w, 1);
    ASSERT_TRUE(combo && combo->dropDown());
    const HWND popup = combo->dropDown()->handle();
    const POINT comboTopLeft = pointIn(w, combo, 0, 0);
    ASSERT_EQ(comboTopLeft.y, screenHeight - 30);

    bool below = true;
    const POINT origin = ComboBox::dropDownOrigin(
        RECT{comboTopLeft.x, comboTopLeft.y, comboTopLeft.x + 120, comboTopLeft.y + 24}, 2, screenHeight,
        &below);
    EXPECT_FALSE(below);
    EXPECT_EQ(origin.y, comboTopLeft.y - 2 * 24 - 4);

    RECT shown{};
    InputScript script([&] {
        waitFor([&] { return IsWindowVisible(popup) != FALSE; });
        shown = screenRectOf(popup);
        pressKey(VK_ESCAPE);
    });
    clickOn(w, combo);
    ASSERT_TRUE(pumpUntil([&] { return script.done() && !IsWindowVisible(popup); }, kDeadline));
    EXPECT_EQ(shown.bottom - shown.top, 52) << "2 items: 2 * 24 + 4";
    EXPECT_EQ(shown.bottom, comboTopLeft.y) << "it ends where the combo box begins";
    EXPECT_FALSE(combo->dropDown()->openedBelow());
}

TEST_F(ComboDropDown, AClickOnAnItemChoosesIt) {
    WindowImpl* w = open(comboWith(4));
    auto* combo = byId<ComboBox>(w, 1);
    ASSERT_TRUE(combo && combo->dropDown());
    const HWND popup = combo->dropDown()->handle();
    EventCounter changes(combo, event::ValueChange);
    // A message the handler posts while the drop-down's loop still runs reaches the loop outside.
    constexpr UINT kProbe = WM_APP + 7;
    changes.onEvent = [] { PostThreadMessageW(GetCurrentThreadId(), kProbe, 0, 0); };

    InputScript script([&] {
        waitFor([&] { return IsWindowVisible(popup) != FALSE; });
        const RECT r = screenRectOf(popup);
        scriptClick(POINT{r.left + 30, r.top + 2 + 3 * 24 + 12});  // the fourth entry, "item 3"
    });
    clickOn(w, combo);
    bool probeArrived = false;
    const ULONGLONG deadline = GetTickCount64() + kDeadline;
    while (GetTickCount64() < deadline && !(probeArrived && script.done() && !IsWindowVisible(popup))) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == kProbe)
                probeArrived = true;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    EXPECT_TRUE(script.done());
    EXPECT_FALSE(IsWindowVisible(popup)) << "choosing closes the drop-down";
    EXPECT_STREQ(combo->getText(attr::text), L"item 3");
    EXPECT_EQ(changes.count(), 1);
    EXPECT_TRUE(probeArrived) << "a message posted during the choice was lost";
    EXPECT_TRUE(combo->dropDown()->list()->itemStack()->childAt(3)->hasFlag(flag::checked));
}

TEST_F(ComboDropDown, KeysChooseFromTheCurrentEntry) {
    WindowImpl* w = open(comboWith(5));
    auto* combo = byId<ComboBox>(w, 1);
    ASSERT_TRUE(combo && combo->dropDown());
    const HWND popup = combo->dropDown()->handle();
    EventCounter changes(combo, event::ValueChange);

    InputScript script([&] {
        waitFor([&] { return IsWindowVisible(popup) != FALSE; });
        pressKey(VK_DOWN);
        pressKey(VK_DOWN);
        pressKey(VK_RETURN);
    });
    clickOn(w, combo);
    ASSERT_TRUE(pumpUntil([&] { return script.done() && !IsWindowVisible(popup); }, kDeadline));
    EXPECT_STREQ(combo->getText(attr::text), L"item 3") << "from item 1, two entries down";
    EXPECT_EQ(changes.count(), 1);

    // Choosing the entry already shown raises nothing.
    InputScript again([&] {
        waitFor([&] { return IsWindowVisible(popup) != FALSE; });
        pressKey(VK_RETURN);
    });
    clickOn(w, combo);
    ASSERT_TRUE(pumpUntil([&] { return again.done() && !IsWindowVisible(popup); }, kDeadline));
    EXPECT_STREQ(combo->getText(attr::text), L"item 3");
    EXPECT_EQ(changes.count(), 1);
}

TEST_F(ComboDropDown, APressOutsideCancels) {
    WindowImpl* w = open(comboWith(3));
    auto* combo = byId<ComboBox>(w, 1);
    ASSERT_TRUE(combo && combo->dropDown());
    const HWND popup = combo->dropDown()->handle();
    const POINT outside = pointIn(w, combo, 160, 5);  // in the window, right of the combo box
    InputScript script([&] {
        waitFor([&] { return IsWindowVisible(popup) != FALSE; });
        scriptClick(outside);
    });
    clickOn(w, combo);
    ASSERT_TRUE(pumpUntil([&] { return script.done() && !IsWindowVisible(popup); }, kDeadline));
    EXPECT_STREQ(combo->getText(attr::text), L"item 1");
}

TEST_F(ComboDropDown, TheQuitMessageEndsTheDropDownAndStaysQueued) {
    WindowImpl* w = open(comboWith(3));
    auto* combo = byId<ComboBox>(w, 1);
    ASSERT_TRUE(combo && combo->dropDown());
    const HWND popup = combo->dropDown()->handle();
    const DWORD uiThread = GetCurrentThreadId();
    InputScript script([&] {
        waitFor([&] { return IsWindowVisible(popup) != FALSE; });
        PostThreadMessageW(uiThread, WM_QUIT, 7, 0);
    });
    clickOn(w, combo);
    bool quit = false;
    WPARAM code = 0;
    const ULONGLONG deadline = GetTickCount64() + kDeadline;
    while (!quit && GetTickCount64() < deadline) {
        MSG msg;
        while (!quit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                code = msg.wParam;
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    EXPECT_TRUE(script.done());
    EXPECT_TRUE(quit) << "the quit message was not posted again for the loop outside";
    EXPECT_EQ(code, 7u);
    EXPECT_FALSE(combo->dropDown()->isOpen());
    EXPECT_TRUE(waitVisible(popup, false, kDeadline));
}

using ComboLifetime = ListsTest;

TEST_F(ComboLifetime, LosingTheSystemFocusKeepsTheListFocused) {
    WindowImpl* w = open(comboWith(3));
    auto* combo = byId<ComboBox>(w, 1);
    ASSERT_TRUE(combo && combo->dropDown());
    ComboHelperWnd* popup = combo->dropDown();
    popup->setFocusedControl(popup->list());
    SendMessageW(popup->handle(), WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(popup->focusedControl(), popup->list());
}

TEST_F(ComboLifetime, TheDropDownWindowGoesWithTheComboBox) {
    WindowImpl* w = open(comboWith(3));
    auto* combo = byId<ComboBox>(w, 1);
    ASSERT_TRUE(combo && combo->dropDown());
    const HWND popup = combo->dropDown()->handle();
    EXPECT_EQ(combo->itemCount(), 3);
    EXPECT_EQ(combo->dropDown()->list()->itemHeight(), 24);
    DestroyWindow(w->handle());
    EXPECT_TRUE(waitDestroyed(popup, kDeadline));
}
