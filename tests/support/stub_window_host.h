// A window host that only owns a hidden popup: enough for control trees that need a native window
// handle but no id map, focus or painting; it counts the repaint requests. UI thread only; the popup
// lives as long as the host.
#pragma once

#include <windows.h>

#include "dui/window_host.h"
#include "host/handles.h"

class StubWindowHost final : public WindowHost {
  public:
    StubWindowHost() {
        hwnd_.reset(
            CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr));
    }
    HWND windowHandle() const override { return hwnd_.get(); }
    void storeControlId(int32_t, Control*) override {}
    void eraseControlId(Control*) override {}
    void forgetControl(Control*) override {}
    void addDirtyArea(const RECT&) override { ++dirtyAreas; }
    POINT cursorClientPosition() const override { return POINT{0, 0}; }

    int dirtyAreas = 0;

  private:
    win::unique_hwnd hwnd_;
};
