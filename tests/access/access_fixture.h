// The fixture of the accessibility tests: windows of this process (the UI thread with COM) opened from
// the tests' layouts, what their controls did, and acctool's view of them. Test code only; UI thread.
#pragma once

#include <string>
#include <vector>

#include "access_support.h"
#include "window_fixture.h"

namespace accesstest {

class AccessTest : public windowtest::WindowTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A layout entry in a visible window at (100, 100) with a title of its own (args names it), its
    // controls listened to.
    WindowImpl* openLayout(const wchar_t* entry);
    // acctool list of the open window.
    std::vector<Line> list();
    RECT screenRectOf(WindowImpl* window, Control* control);
    // Pumps until `entry` ("id Event") is among the happenings.
    bool happened(const std::string& entry);

    std::wstring args;  // acctool's window arguments for the open window
    // "id Event" for GotFocus, LostFocus, Click, ValueChange and Notify of the listened controls, noted
    // by delegates registered after the controls' own, as a script's handlers are.
    std::vector<std::string> happenings;
};

bool sameRect(const RECT& a, const RECT& b);

}  // namespace accesstest
