// Shared pieces of the text-input tests: the process's UI context with the tests' skin, a fixture that
// opens real windows from layout text, real keyboard and mouse input through SendInput (characters as
// KEYEVENTF_UNICODE, so they reach the controls through WM_CHAR), waiting for input to be handled, and
// the clipboard peer process. Test code only; UI thread.
#pragma once

#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "controls/edit.h"
#include "controls/text_box.h"
#include "ui_test_support.h"
#include "window_test_fixture.h"
#include "window/window_impl.h"

namespace textinputtest {

// Long enough for a show or hide that stalls without a window manager.
constexpr DWORD kDeadline = 8000;

class TextInputTest : public testsupport::WindowFixture {
  protected:
    // A visible window for the layout text, in front with the keyboard focus; null (and a failure)
    // when it could not be made.
    WindowImpl* open(const std::string& xml, int x = 100, int y = 100);
    // The control with this "id" in the open window, listened to for input and ValueChange.
    Edit* edit(int32_t id);
    TextBox* textBox(int32_t id);

    // Screen point of a control-relative point.
    POINT screenPoint(const Control* control, int dx, int dy) const;
    // A real click at a control-relative point; waits until the release was handled.
    void clickAt(const Control* control, int dx, int dy);
    void doubleClickAt(const Control* control, int dx, int dy);
    // Press at one point, move through the others, release at the last; waits for the release.
    void drag(const Control* control, const std::vector<POINT>& points);
    void wheelOver(const Control* control, int notches);

    // Real keys: each returns once the key-up reached the focused control.
    void type(const std::wstring& text);  // one KEYEVENTF_UNICODE press per UTF-16 unit
    void press(WORD virtualKey, int times = 1);
    void pressWithControl(WORD virtualKey);
    void pressWithShift(WORD virtualKey);

    bool waitFor(const std::function<bool()>& done, DWORD timeoutMs = kDeadline);
    // Until every repaint request and system update of the window is done.
    bool settle();
    using WindowFixture::settle;

    // The colour on the screen at a control-relative point (0x00RRGGBB), after the window settled.
    uint32_t pixelAt(const Control* control, int dx, int dy);
    // Whether any pixel of a control-relative rectangle differs from white (text on the test field).
    bool inkIn(const Control* control, const RECT& area);

    WindowImpl* window = nullptr;
    int keyUps = 0;        // PrevKeyUp events seen by listened controls
    int buttonUps = 0;     // LButtonUp events seen by listened controls
    int wheels = 0;        // MouseWheel events seen by listened controls
    int valueChanges = 0;  // ValueChange events raised by listened controls

  private:
    void listen(Control* control);
    static void count(void* self, Control* sender, EventRecord& e);
    void waitKeyUps(int expected);
};

// The clipboard as another process sees it, through the peer program beside the test executable.
// Each call starts the peer and waits for it; false when it failed.
bool peerSetClipboard(const std::wstring& text);
bool peerGetClipboard(std::wstring* text);

}  // namespace textinputtest
