// One fixture for tests that open real windows from layout text, and one process-wide environment
// for their UI context: the resource catalogue, the context with its parts, the test skin and layouts
// and the test's control creators. Test code only; UI thread.
#pragma once

#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "dui/control.h"
#include "window/window_impl.h"

namespace duiFactory {
class ControlCreatorRegistry;
}

namespace testsupport {

// Long enough for a show or hide that stalls without a window manager.
constexpr DWORD kWindowDeadline = 8000;

// What a test program's UI context is made of. Every named resource is an embedded _TARVORESC entry.
struct UiResources {
    std::vector<std::pair<const wchar_t*, int>> names;  // resource name -> id
    const wchar_t* skin = nullptr;                      // loaded into the skin store when set
    const wchar_t* layouts = nullptr;                   // opened as the layout store when set
    // Adds the program's control creators; runs after the skin and layouts are loaded.
    std::function<void(duiFactory::ControlCreatorRegistry&)> creators;
    bool ole = false;  // the UI thread joins an OLE apartment first (browser controls need one)
};

// Registers the environment that makes the UI context from `resources` before the first test and
// destroys it after the last. Call once, from a namespace-scope initialiser.
::testing::Environment* addUiEnvironment(UiResources resources);

// Waits until the window's layered dirty list is empty and no repaint request or invalid area is left.
bool settleWindow(WindowImpl* window);
// The window's back-buffer pixel at a client point (0x00RRGGBB) as it is now; 0xFFFFFFFF outside.
uint32_t backBufferPixel(const WindowImpl* window, int x, int y);

class WindowFixture : public ::testing::Test {
  protected:
    // The cursor rests at `restingCursor` between tests, away from every test window.
    explicit WindowFixture(POINT restingCursor = POINT{1260, 780}) : restingCursor_(restingCursor) {}

    // Moves the cursor to its resting place and handles what is queued.
    void SetUp() override;
    // Releases a left button still down, destroys the test's windows, waits until every window object has gone
    // and checks that no window object, timer or capture outlived the test.
    void TearDown() override;

    // Creates `window` natively with `style` and tracks it for clean-up; waits until it is visible
    // when the style says so. Null (and a test failure) when it could not be made.
    HWND create(WindowBase* window, int x, int y, DWORD style, DWORD exStyle = 0);
    // A WindowImpl for the layout text, created as create does.
    WindowImpl* open(const std::string& xml, int x = 100, int y = 100, DWORD style = WS_POPUP | WS_VISIBLE);
    // A control by "id" in the window's id map; fails the test when missing.
    Control* byId(WindowImpl* window, int32_t id);
    // The same as class T; fails the test when missing or of another class.
    template <typename T>
    T* as(WindowImpl* window, int32_t id) {
        auto* c = dynamic_cast<T*>(byId(window, id));
        EXPECT_NE(c, nullptr) << "control " << id << " is not of the expected class";
        return c;
    }
    // Screen points of an offset from a control's top-left corner and of its centre.
    POINT pointIn(WindowImpl* window, const Control* control, int dx, int dy);
    POINT centreOf(WindowImpl* window, const Control* control);
    bool settle(WindowImpl* window) { return settleWindow(window); }

    std::vector<HWND> windows;

  private:
    POINT restingCursor_;
};

}  // namespace testsupport
