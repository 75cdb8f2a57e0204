// The shadowed window and its shadow companion: geometry, following moves and sizes, showing and hiding
// together without activation, clicks passing through the shadow, destruction with the owner, and a
// screenshot of the real thing.
#include <string>

#include "win_test_support.h"
#include "window/shadowed_window.h"
#include "window_fixture.h"

using namespace windowtest;
using namespace testsupport;

namespace {

constexpr DWORD kLight = 0xF0F0E8;  // page.png

WindowImpl* implOf(HWND hwnd) {
    return static_cast<WindowImpl*>(windowFromHandle(hwnd));
}

bool sameRect(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != FALSE;
}

}  // namespace

class Shadow : public WindowTest {
  protected:
    // A shadowed window of the 600 x 400 test page, moved to (x, y).
    ShadowedWindow* openPage(int x, int y, DWORD style = WS_POPUP | WS_VISIBLE) {
        auto* w = new ShadowedWindow(L"page.xml");
        if (!create(w, 0, 0, style))
            return nullptr;
        SetWindowPos(w->handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return w;
    }
};

TEST_F(Shadow, AroundA600By400WindowAt100And100) {
    ShadowedWindow* w = openPage(100, 100, WS_POPUP);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(sameRect(windowRect(w->handle()), RECT{100, 100, 700, 500}));
    HWND shadow = w->shadowWindow();
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(waitForWindow(kWindowClassName, L"", kDeadline), shadow) << "one class, no title";
    const RECT s = windowRect(shadow);
    EXPECT_EQ(s.left, 80);
    EXPECT_EQ(s.top, 86);
    EXPECT_EQ(s.right - s.left, 636);
    EXPECT_EQ(s.bottom - s.top, 435);
    EXPECT_EQ(windowExStyle(shadow) & (WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_LAYERED),
              static_cast<DWORD>(WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_LAYERED));
    EXPECT_EQ(windowStyle(shadow) & WS_POPUP, static_cast<DWORD>(WS_POPUP));
    EXPECT_EQ(GetWindow(shadow, GW_OWNER), w->handle());
    EXPECT_FALSE(IsWindowVisible(shadow)) << "hidden like its window";
    // Its tree, from proxywindow.xml, is laid out over the whole shadow.
    WindowImpl* proxy = implOf(shadow);
    ASSERT_NE(proxy, nullptr);
    ASSERT_NE(proxy->root(), nullptr);
    EXPECT_TRUE(sameRect(proxy->root()->bounds(), RECT{0, 0, 636, 435}));
    EXPECT_TRUE(proxy->layered());
}

TEST_F(Shadow, FollowsMovesAndSizes) {
    ShadowedWindow* w = openPage(100, 100);
    ASSERT_NE(w, nullptr);
    HWND shadow = w->shadowWindow();
    SetWindowPos(w->handle(), nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_TRUE(sameRect(windowRect(shadow), RECT{180, 136, 200 + 600 + 16, 150 + 400 + 21}));
    SetWindowPos(w->handle(), nullptr, 0, 0, 500, 300, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(sameRect(windowRect(shadow), RECT{180, 136, 200 + 500 + 16, 150 + 300 + 21}));
    // The shadow's tree follows the new size once its repaint request is handled.
    ASSERT_TRUE(settle(implOf(shadow)));
    EXPECT_TRUE(sameRect(implOf(shadow)->root()->bounds(), RECT{0, 0, 536, 335}));
}

TEST_F(Shadow, HidesAndShowsWithItsWindowWithoutTakingTheActivation) {
    ShadowedWindow* w = openPage(100, 100);
    ASSERT_NE(w, nullptr);
    HWND main = w->handle();
    HWND shadow = w->shadowWindow();
    EXPECT_TRUE(waitVisible(shadow, true, kDeadline));
    ASSERT_TRUE(bringToFront(main));

    ShowWindow(main, SW_HIDE);
    EXPECT_TRUE(waitVisible(shadow, false, kDeadline));
    ShowWindow(main, SW_SHOW);
    EXPECT_TRUE(waitVisible(shadow, true, kDeadline));
    EXPECT_EQ(GetActiveWindow(), main);
    EXPECT_EQ(GetForegroundWindow(), main);

    // Shown while another window is active: neither the window nor its shadow takes the activation.
    WindowImpl* other = open(R"(<Grid initSize="100,60"/>)", 900, 100);
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(bringToFront(other->handle()));
    ShowWindow(main, SW_HIDE);
    ASSERT_TRUE(waitVisible(shadow, false, kDeadline));
    ShowWindow(main, SW_SHOWNA);
    EXPECT_TRUE(waitVisible(shadow, true, kDeadline));
    EXPECT_EQ(GetActiveWindow(), other->handle());
    EXPECT_NE(GetForegroundWindow(), shadow);
}

TEST_F(Shadow, AClickOnTheShadowReachesTheWindowBelow) {
    WindowImpl* below = open(R"(<Canvas id="1" initSize="300,300" style="page.xml"/>)", 0, 0);
    ASSERT_NE(below, nullptr);
    ShadowedWindow* w = openPage(100, 100);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(settle(implOf(w->shadowWindow())));
    log.listen(below->root());
    log.listen(w->root());
    // (85, 250) lies in the shadow's left margin, over the window below.
    const POINT inShadow{85, 250};
    ASSERT_EQ(WindowFromPoint(inShadow), below->handle()) << "the shadow is transparent to hit testing";
    click(inShadow);
    ASSERT_TRUE(pumpUntil([&] { return log.contains("1 LButtonUp"); }, kDeadline));
    EXPECT_EQ(log.count("1 LButtonDown"), 1);
    EXPECT_EQ(log.only("LButtonDown"), std::vector<std::string>{"1 LButtonDown"})
        << "the main window got nothing";
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Shadow, GoesWithItsWindowAtTheEndOfAModalRun) {
    ShadowedWindow* w = openPage(100, 100, WS_POPUP);
    ASSERT_NE(w, nullptr);
    HWND main = w->handle();
    HWND shadow = w->shadowWindow();
    bool shadowShown = false;
    struct Ender : Timer {
        using Timer::Timer;
        void tick() override {
            if (++ticks == 3) {
                *shown = IsWindowVisible(shadow) != FALSE;
                window->endModal(4);
            }
        }
        int ticks = 0;
        ShadowedWindow* window = nullptr;
        HWND shadow = nullptr;
        bool* shown = nullptr;
    } ender(20);
    ender.window = w;
    ender.shadow = shadow;
    ender.shown = &shadowShown;
    ASSERT_TRUE(ender.start());
    EXPECT_EQ(w->runModal(nullptr), 4);
    ender.stop();
    EXPECT_TRUE(shadowShown) << "shown with the window during the run";
    EXPECT_FALSE(IsWindow(main));
    EXPECT_FALSE(IsWindow(shadow));
}

TEST_F(Shadow, ScreenshotOfARealShadowedWindow) {
    // A light desk below, so the shadow has something to darken.
    WindowImpl* desk = open(R"(<Grid initSize="760,540" style="page.xml"/>)", 20, 20);
    ASSERT_NE(desk, nullptr);
    ASSERT_TRUE(settle(desk));
    ShadowedWindow* w = openPage(100, 80);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(settle(w));
    ASSERT_TRUE(settle(implOf(w->shadowWindow())));
    ASSERT_EQ(waitScreenPixel(60, 300, kLight, kDeadline), kLight) << "the desk, away from the shadow";
    const uint32_t underEdge = waitScreenPixel(400, 80 + 400 + 8, 0, 1000);
    EXPECT_LT(underEdge & 0xFF, kLight & 0xFF) << "darker below the window's bottom edge";
    EXPECT_LT((underEdge >> 8) & 0xFF, (kLight >> 8) & 0xFF);
    EXPECT_EQ(waitScreenPixel(100 + 300, 80 + 200, kLight, kDeadline), kLight)
        << "the page through the shadow's hole";

    Image shot;
    ASSERT_TRUE(captureScreen(RECT{40, 40, 760, 560}, &shot));
    EXPECT_TRUE(writePng(selfFolder() + L"\\shadowed-window.png", shot));  // beside the test program
}
