// A stand-in window for control-tree tests that need no real window behaviour: a hidden popup whose
// procedure counts repaint requests (message 1025), with an id map and logs of dirty areas and forgotten
// controls. Capture, focus, hover and painting are tested through real windows (tests/window).
#pragma once

#include <windows.h>
#include <map>
#include <string>
#include <vector>

#include "dui/control.h"
#include "dui/window_host.h"

class TestWindow : public WindowHost {
  public:
    explicit TestWindow(int width = 400, int height = 300);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND windowHandle() const override { return hwnd_; }
    void storeControlId(int32_t id, Control* control) override { ids[id] = control; }
    void eraseControlId(Control* control) override {
        for (auto it = ids.begin(); it != ids.end();)
            it = it->second == control ? ids.erase(it) : std::next(it);
    }
    // Records the control.
    void forgetControl(Control* control) override;
    void addDirtyArea(const RECT& area) override { dirty.push_back(area); }
    POINT cursorClientPosition() const override { return cursor; }

    // Dispatches every message queued for this thread (posted events, repaint requests).
    static void pump();

    std::map<int32_t, Control*> ids;
    std::vector<RECT> dirty;
    std::vector<Control*> forgotten;
    POINT cursor{0, 0};
    int repaintRequests = 0;

  private:
    static LRESULT CALLBACK proc(HWND, UINT, WPARAM, LPARAM);
    HWND hwnd_ = nullptr;
};
