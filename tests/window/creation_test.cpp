// Creation of windows: the class and the binding, sizes from the layout, the rounded region, the
// tooltip, the layered style, and what happens when creation fails or the tree is missing.
#include "window_fixture.h"

#include <commctrl.h>

#include "dui/panels.h"
#include "window/shadowed_window.h"

using namespace windowtest;
using namespace testsupport;

namespace {

// Records which messages reached the object, and refuses WM_CREATE when told to.
class ProbeWindow : public WindowBase {
  public:
    explicit ProbeWindow(bool refuseCreate, bool* destroyed) : refuse_(refuseCreate), destroyed_(destroyed) {}
    ~ProbeWindow() override { *destroyed_ = true; }
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_NCCREATE)
            sawNcCreate = true;
        if (message == WM_CREATE && refuse_)
            return -1;
        return WindowBase::handleMessage(message, wParam, lParam);
    }
    bool sawNcCreate = false;

  private:
    bool refuse_;
    bool* destroyed_;
};

}  // namespace

using Creation = WindowTest;

TEST_F(Creation, OneClassWithDoubleClicksAndEveryMessageFromTheFirst) {
    bool destroyed = false;
    auto* probe = new ProbeWindow(false, &destroyed);
    HWND hwnd = create(probe, 0, 0, WS_POPUP);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(probe->sawNcCreate) << "the object must be bound before WM_NCCREATE";
    EXPECT_EQ(windowFromHandle(hwnd), probe);

    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), kWindowClassName, &info));
    EXPECT_EQ(info.style, static_cast<UINT>(CS_DBLCLKS));
    EXPECT_EQ(info.hbrBackground, nullptr);

    WindowImpl* second = open("<Grid width='10' height='10'/>", 0, 0, WS_POPUP);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetClassLongPtrW(hwnd, GCW_ATOM), GetClassLongPtrW(second->handle(), GCW_ATOM));

    DestroyWindow(hwnd);
    EXPECT_TRUE(destroyed) << "WM_DESTROY deletes the object";
    EXPECT_EQ(windowFromHandle(hwnd), nullptr);
}

TEST_F(Creation, RefusedCreationDeletesTheObjectAndLeavesNoEntry) {
    bool destroyed = false;
    auto* probe = new ProbeWindow(true, &destroyed);
    EXPECT_FALSE(createNativeWindow(probe, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr));
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(boundWindowCount(), 0u);
}

TEST_F(Creation, SizeFromInitSizeKeepsThePosition) {
    WindowImpl* w =
        open(R"(<Window initSize="600,400"><Grid id="2" margin="10,10,10,10"/></Window>)", 120, 90);
    ASSERT_NE(w, nullptr);
    const RECT r = windowRect(w->handle());
    EXPECT_EQ(r.left, 120);
    EXPECT_EQ(r.top, 90);
    EXPECT_EQ(r.right - r.left, 600);
    EXPECT_EQ(r.bottom - r.top, 400);
    const RECT root = w->root()->bounds();
    EXPECT_EQ(root.right - root.left, 600);
    EXPECT_EQ(root.bottom - root.top, 400);
    EXPECT_EQ(byId(w, 2)->bounds().right, 590);
    EXPECT_EQ(w->backBuffer().width(), 600);
    EXPECT_EQ(w->backBuffer().height(), 400);
}

TEST_F(Creation, SizeFromTheMeasuredLayout) {
    // A column of a 320 x 100 block and a 200 x 150 block with a margin of 5 all round: 330 x 260.
    WindowImpl* w = open(R"(<StackPanel margin="5,5,5,5">
                              <Grid width="320" height="100"/><Grid width="200" height="150"/>
                            </StackPanel>)");
    ASSERT_NE(w, nullptr);
    const RECT r = windowRect(w->handle());
    EXPECT_EQ(r.right - r.left, 330);
    EXPECT_EQ(r.bottom - r.top, 260);
}

TEST_F(Creation, RoundCornerRegionFollowsTheSize) {
    WindowImpl* w = open(R"(<Grid initSize="200,100" roundCorner="20,20"/>)");
    ASSERT_NE(w, nullptr);
    auto checkRegion = [&](int width, int height) {
        win::unique_hrgn region(CreateRectRgn(0, 0, 0, 0));
        ASSERT_NE(GetWindowRgn(w->handle(), region.get()), ERROR);
        RECT box{};
        GetRgnBox(region.get(), &box);
        EXPECT_EQ(box.right, width);
        EXPECT_EQ(box.bottom, height);
        EXPECT_FALSE(PtInRegion(region.get(), 0, 0)) << "the corner is cut";
        EXPECT_TRUE(PtInRegion(region.get(), width / 2, height / 2));
    };
    checkRegion(200, 100);
    // Each resize replaces the region; the replaced one is the system's to delete.
    for (int i = 0; i < 3; ++i) {
        SetWindowPos(w->handle(), nullptr, 0, 0, 300 + i, 150, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        checkRegion(300 + i, 150);
    }
}

TEST_F(Creation, TooltipWindowWithOneTrackingTool) {
    WindowImpl* w = open(R"(<Grid initSize="100,50"/>)");
    ASSERT_NE(w, nullptr);
    HWND tip = w->tooltipWindow();
    ASSERT_NE(tip, nullptr);
    wchar_t name[64] = {};
    GetClassNameW(tip, name, 64);
    EXPECT_STREQ(name, L"tooltips_class32");
    EXPECT_EQ(GetWindow(tip, GW_OWNER), w->handle());
    EXPECT_EQ(windowStyle(tip) & 0x80000003u, 0x80000003u);
    EXPECT_TRUE(windowExStyle(tip) & WS_EX_TOPMOST);
    EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    ASSERT_TRUE(SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)));
    EXPECT_EQ(tool.uFlags, 161u);
    EXPECT_EQ(tool.uId, reinterpret_cast<UINT_PTR>(w->handle()));
    HWND main = w->handle();
    DestroyWindow(main);
    EXPECT_FALSE(IsWindow(tip)) << "the tooltip dies with its owner";
}

TEST_F(Creation, LayeredWindowAndTheIdMap) {
    WindowImpl* w = openLayered(R"(<Grid id="1" initSize="80,60"><Grid id="7"/><Grid id="7" x="1"/></Grid>)");
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(windowExStyle(w->handle()) & WS_EX_LAYERED);
    EXPECT_TRUE(w->layered());
    EXPECT_EQ(w->controlById(1), w->root());
    // The later control with an id replaces the earlier one.
    EXPECT_EQ(w->controlById(7), childAt(w->root(), 1));
    EXPECT_EQ(w->controlById(99), nullptr);
}

TEST_F(Creation, AWindowWithoutATreeShowsAndClosesQuietly) {
    // A layout name the store does not hold: the window has no tree (and its shadow still exists).
    auto* w = new ShadowedWindow(L"no-such-layout.xml");
    HWND hwnd = create(w, 50, 50, WS_POPUP | WS_VISIBLE);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(w->root(), nullptr);
    SetWindowPos(hwnd, nullptr, 0, 0, 120, 80, SWP_NOMOVE | SWP_NOZORDER);
    click(clientToScreen(hwnd, POINT{10, 10}));
    pumpFor(100);
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
    HWND shadow = w->shadowWindow();
    EXPECT_NE(shadow, nullptr);
    DestroyWindow(hwnd);
    EXPECT_FALSE(IsWindow(shadow));
}
