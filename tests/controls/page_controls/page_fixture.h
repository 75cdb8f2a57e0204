// Shared pieces of the page-control tests: the UI context with every control creator and the tests'
// solid-colour skin, real windows opened from layout text, event counters, back-buffer pixels and a
// "Probe" control that records where it was painted. Test code only; UI thread.
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

namespace pagetest {

constexpr DWORD kDeadline = testsupport::kWindowDeadline;

// The skin's colours as back-buffer words (0x00RRGGBB).
constexpr uint32_t kGrey = 0x808080, kYellow = 0xFFFF00, kOrange = 0xFF8000, kPurple = 0x800080,
                   kRed = 0xFF0000, kBlue = 0x0000FF, kCyan = 0x00FFFF, kGreen = 0x00FF00,
                   kMagenta = 0xFF00FF, kWhite = 0xFFFFFF;

// Counts the events of one id raised on one control, and remembers the control's flag word at each.
class Counter {
  public:
    Counter(Control* control, int32_t eventId);
    int count() const { return static_cast<int>(flagsAt.size()); }
    // Whether `mask` was set at each event.
    std::vector<bool> at(uint32_t mask) const;
    std::vector<uint32_t> flagsAt;

  private:
    static void record(void* context, Control* sender, EventRecord& event);
};

// A leaf control registered for layouts as "Probe": records the left and top of every rectangle it
// is painted into (surface coordinates) and fills it white.
class Probe : public Control {
  public:
    void paint(HDC dc, const RECT& rect, const RECT& clip) override;
    std::vector<POINT> painted;
};

class PageTest : public testsupport::WindowFixture {
  protected:
    // A plain window for the layout text at a screen position, shown and painted once. Null (and a
    // test failure) when it could not be made.
    WindowImpl* open(const std::string& xml, int x = 100, int y = 100);
    // The back buffer's pixel at a client point (0x00RRGGBB), after settling.
    uint32_t pixel(WindowImpl* window, int x, int y);
    // The same as it is now, without pumping (for reading inside a wait).
    uint32_t bufferPixel(WindowImpl* window, int x, int y);
    // The same at an offset from a control's top-left corner.
    uint32_t pixelIn(WindowImpl* window, Control* control, int dx, int dy);
    // Real left press / release at the cursor, then pumping until the window has handled them.
    void press(WindowImpl* window);
    void release(WindowImpl* window);
    void moveTo(WindowImpl* window, POINT screen);
    void clickAt(WindowImpl* window, POINT screen);
};

// Dispatches every message queued now, and those they post (posted events, repaint requests), until
// the queue is empty.
void drain();

}  // namespace pagetest
