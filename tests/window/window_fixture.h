// Shared pieces of the window tests: the process's UI context with the tests' skin and layouts, test
// controls, an event log, and a fixture that opens real windows and checks that each test leaves no
// window, timer or capture behind. Test code only; UI thread.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dui/control.h"
#include "ui_test_support.h"
#include "window_test_fixture.h"
#include "window/window_impl.h"

namespace windowtest {

using testsupport::kWindowDeadline;
constexpr DWORD kDeadline = kWindowDeadline;

// A control with a button's flags (enabled, visible, repaint-on-state, capture-on-press,
// unfocus-on-press), registered for layouts as "TestButton".
class TestButton : public Control {
  public:
    TestButton() : Control(0x163) {}
};

// Records "id Event" for every event raised on the controls it listens to (the "id" attribute, or
// "?" without one). Bubbled and tunnelled events appear once per control they pass.
class EventLog {
  public:
    // Listens to every event id on the control and, with `deep`, on everything below it. Cursor
    // queries (one per mouse message) are left out unless asked for.
    void listen(Control* control, bool deep = true, bool cursorQueries = false);
    std::vector<std::string> take();  // the entries so far, then empty
    const std::vector<std::string>& entries() const { return entries_; }
    // Entries naming this event (for example "MouseEnter"), in order.
    std::vector<std::string> only(const std::string& eventName) const;
    bool contains(const std::string& entry) const;
    int count(const std::string& entry) const;
    void clear() { entries_.clear(); }

  private:
    static void record(void* context, Control* sender, EventRecord& event);
    std::vector<std::string> entries_;
};

std::string eventName(int32_t id);

// A WindowImpl made per-pixel-alpha layered, as the shadow window is.
class LayeredWindow : public WindowImpl {
  public:
    explicit LayeredWindow(Control* root) : WindowImpl(root) { setLayered(true); }
};

class WindowTest : public testsupport::WindowFixture {
  protected:
    void SetUp() override;
    void TearDown() override;

    WindowImpl* openLayered(const std::string& xml, int x = 100, int y = 100);

    EventLog log;
};

}  // namespace windowtest
