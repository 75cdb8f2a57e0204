// A minimal real window for attaching control trees in tests: a hidden popup whose procedure counts
// repaint requests (message 1025), with the id map, dirty list, capture and forget log a window keeps.
#pragma once

#include <windows.h>
#include <algorithm>
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
    // Drops capture resting on the control or inside it, with LostCapture.
    void forgetControl(Control* control) override;
    void addDirtyArea(const RECT& area) override { dirty.push_back(area); }
    POINT cursorClientPosition() const override { return cursor; }

    // Sets `pressed` and raises GotCapture, as a left press on a capture-on-press control does.
    void capture(Control* control);
    // Dispatches every message queued for this thread (posted events, repaint requests).
    static void pump();

    std::map<int32_t, Control*> ids;
    std::vector<RECT> dirty;
    std::vector<Control*> forgotten;
    Control* captured = nullptr;
    POINT cursor{0, 0};
    int repaintRequests = 0;

  private:
    static LRESULT CALLBACK proc(HWND, UINT, WPARAM, LPARAM);
    HWND hwnd_ = nullptr;
};

// Is `inner` the control `outer` or inside it?
inline bool isInside(const Control* inner, const Control* outer) {
    for (const Control* c = inner; c; c = c->parent())
        if (c == outer)
            return true;
    return false;
}
