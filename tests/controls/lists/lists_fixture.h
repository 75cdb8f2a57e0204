// Shared pieces of the list tests: the UI context with the tests' skin and the control creators, two
// test elements, and a fixture that opens real windows from layout text and checks that each test
// leaves no window, timer or capture behind. Test code only; UI thread.
#pragma once

#include <windows.h>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "controls/combobox.h"
#include "controls/listbox.h"
#include "controls/scroll.h"
#include "ui_test_support.h"
#include "window_test_fixture.h"
#include "window/window_impl.h"

namespace liststest {

constexpr DWORD kDeadline = testsupport::kWindowDeadline;

// An entry like a label: transparent to the mouse, painted by "item.xml" (red when checked).
// Registered for layouts as "TestItem".
class TestItem : public Control {
  public:
    TestItem() : Control(flag::enabled | flag::visible | flag::transparent) {
        setText(attr::style, L"item.xml");
    }
};

// A bare scroll bar, registered for layouts as "TestScrollBar".
class TestScrollBar : public ScrollBar {};

// Counts the events of one id raised on a control and keeps their wParam values.
class EventCounter {
  public:
    EventCounter(Control* control, int32_t eventId);
    ~EventCounter();
    int count() const { return static_cast<int>(values.size()); }
    std::vector<int64_t> values;    // wParam
    std::vector<int64_t> details;   // lParam
    std::function<void()> onEvent;  // runs inside the handler

  private:
    static void record(void* self, Control*, EventRecord& event);
    Control* control_;
    int32_t id_;
};

// Runs input steps on a thread of its own while the UI thread is inside a nested message loop (the
// drop-down's). Steps may only use thread-safe system calls (input, window state), never controls.
class InputScript {
  public:
    explicit InputScript(std::function<void()> steps);
    ~InputScript();
    bool done() const { return done_; }

  private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// Waits, from any thread, until the condition holds or the deadline passes.
bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs = kDeadline);
// A click for an InputScript: the press waits until the cursor is where it was put (under Wine a late
// echo of an earlier cursor move can otherwise carry the press elsewhere).
void scriptClick(POINT screen);

class ListsTest : public testsupport::WindowFixture {
  protected:
    ListsTest() : WindowFixture(POINT{1260, 20}) {}

    // A window for the layout text at a screen position (shown, plain popup, in front). Null (and a
    // test failure) when it could not be made.
    WindowImpl* open(const std::string& xml, int x = 100, int y = 100);
    using WindowFixture::byId;
    template <typename T>
    T* byId(WindowImpl* window, int32_t id) {
        return as<T>(window, id);
    }
    // Presses and releases on a control once the window has seen the cursor there; with a drop-down
    // this returns only after it closed.
    void clickOn(WindowImpl* window, const Control* control);
    // Measures and arranges the window's tree again in its client area, as a resize does.
    void relayout(WindowImpl* window);
};

// "<TestItem text="item N"/>" for N from 0 to count - 1.
std::string items(int count);

}  // namespace liststest
