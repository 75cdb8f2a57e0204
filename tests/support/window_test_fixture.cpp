#include "window_test_fixture.h"

#include <optional>

#include "dui/context_parts.h"
#include "dui/factory.h"
#include "dui/loader.h"
#include "host/handles.h"
#include "host/resource_file_system.h"
#include "render/paint_surface.h"
#include "render/skin_store.h"
#include "ui_test_support.h"
#include "win_test_support.h"
#include "window/timer.h"

namespace testsupport {

namespace {

class UiEnvironment : public ::testing::Environment {
  public:
    explicit UiEnvironment(UiResources resources) : resources_(std::move(resources)) {}
    void SetUp() override {
        if (resources_.ole) {
            ole_.emplace(win::ole_initialize());
            ASSERT_TRUE(SUCCEEDED(ole_->get()));
        }
        files_ = new ResourceFileSystem;
        for (const auto& [name, id] : resources_.names) files_->registerName(name, id);
        ASSERT_TRUE(createUiContextWithParts());
        UiParts* ui = uiParts();
        if (resources_.skin) {
            ASSERT_TRUE(ui->skin && ui->skin->loadSkin(resources_.skin));
        }
        if (resources_.layouts) {
            ASSERT_TRUE(loadLayouts(resources_.layouts));
        }
        if (resources_.creators)
            resources_.creators(*ui->controlCreators);
    }
    void TearDown() override {
        destroyUiContextWithParts();
        ole_.reset();
    }

  private:
    UiResources resources_;
    std::optional<decltype(win::ole_initialize())> ole_;
    ResourceFileSystem* files_ = nullptr;  // lives to the process end, as the catalogue does
};

}  // namespace

::testing::Environment* addUiEnvironment(UiResources resources) {
    return ::testing::AddGlobalTestEnvironment(new UiEnvironment(std::move(resources)));
}

void WindowFixture::SetUp() {
    moveMouse(restingCursor_);
    pumpFor(0);
}

void WindowFixture::TearDown() {
    // A button a failed test left down; a release without a press would reach the next test's window.
    if (GetCapture() || (GetAsyncKeyState(VK_LBUTTON) & 0x8000))
        mouseUp();
    for (HWND hwnd : windows) {
        if (IsWindow(hwnd))
            DestroyWindow(hwnd);
    }
    // A combo box's drop-down closes through a posted WM_CLOSE.
    pumpUntil([] { return boundWindowCount() == 0; }, kWindowDeadline);
    EXPECT_EQ(boundWindowCount(), 0u) << "a window object outlived its test";
    EXPECT_EQ(runningTimerCount(), 0u) << "a timer outlived its test";
    EXPECT_EQ(GetCapture(), nullptr);
}

HWND WindowFixture::create(WindowBase* window, int x, int y, DWORD style, DWORD exStyle) {
    if (!createNativeWindowEx(window, exStyle, L"window test", style, x, y, 0, 0, nullptr, nullptr,
                              nullptr)) {
        ADD_FAILURE() << "the native window was not created";
        return nullptr;
    }
    HWND hwnd = window->handle();
    windows.push_back(hwnd);
    if (style & WS_VISIBLE) {
        EXPECT_TRUE(waitVisible(hwnd, true, kWindowDeadline));
    }
    return hwnd;
}

WindowImpl* WindowFixture::open(const std::string& xml, int x, int y, DWORD style) {
    Control* root = buildLayout(xml.data(), xml.size());
    EXPECT_NE(root, nullptr) << "the layout text built no tree";
    auto* window = new WindowImpl(root);
    return create(window, x, y, style) ? window : nullptr;
}

Control* WindowFixture::byId(WindowImpl* window, int32_t id) {
    Control* c = window ? window->controlById(id) : nullptr;
    EXPECT_NE(c, nullptr) << "no control with id " << id;
    return c;
}

POINT WindowFixture::pointIn(WindowImpl* window, const Control* control, int dx, int dy) {
    RECT r{};
    control->windowRect(&r);
    return clientToScreen(window->handle(), POINT{r.left + dx, r.top + dy});
}

POINT WindowFixture::centreOf(WindowImpl* window, const Control* control) {
    RECT r{};
    control->windowRect(&r);
    return pointIn(window, control, (r.right - r.left) / 2, (r.bottom - r.top) / 2);
}

uint32_t backBufferPixel(const WindowImpl* window, int x, int y) {
    GdiFlush();
    const PaintSurface& surface = window->backBuffer();
    DIBSECTION section{};
    if (x < 0 || y < 0 || x >= surface.width() || y >= surface.height() ||
        GetObjectW(surface.bitmap(), sizeof(section), &section) != sizeof(section))
        return 0xFFFFFFFF;
    const auto* bits = static_cast<const uint32_t*>(section.dsBm.bmBits);
    return bits[static_cast<std::size_t>(y) * surface.width() + x] & 0xFFFFFF;
}

bool settleWindow(WindowImpl* window) {
    HWND hwnd = window->handle();
    return pumpUntil(
        [&] {
            MSG msg;
            RECT update;
            const RECT held = window->heldBackArea();
            return window->dirtyAreas().empty() && IsRectEmpty(&held) &&
                   !PeekMessageW(&msg, hwnd, kRepaintMessage, kRepaintMessage, PM_NOREMOVE) &&
                   !GetUpdateRect(hwnd, &update, FALSE);
        },
        kWindowDeadline);
}

}  // namespace testsupport
