// LuaWindow: the shadowed window that createWindow makes for a script. It owns the timers the script
// sets on it and, however its native window is destroyed (the end of showDialog, or the system), drops
// its script table, its timers and its notification delegate before the window layer tears down. UI
// thread only; like every window object it belongs to its native window once created.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "window/shadowed_window.h"
#include "window/timer.h"

struct lua_State;

class LuaWindow : public ShadowedWindow {
  public:
    // A script timer: each tick calls lua_onTimer(__timer, handle) in the UI interpreter. Its handle
    // for scripts is its Timer address. A tick whose call fails stops the timer, then shows the error
    // once (the box's own message loop would otherwise go on ticking into more boxes).
    class LuaWindowTimer : public Timer {
      public:
        explicit LuaWindowTimer(UINT interval) : Timer(interval) {}
        ~LuaWindowTimer() override;
        void tick() override;

      private:
        // One per running tick, innermost first: a tick's call may delete its own timer.
        struct TickWatch {
            bool alive;
            TickWatch* outer;
        };
        TickWatch* ticks_ = nullptr;
    };

    explicit LuaWindow(std::wstring layoutName);

    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The address scripts, timers and delegates know this window by.
    WindowHost* key() { return static_cast<WindowHost*>(this); }

    // A started timer owned by this window (its first tick has already run), or null when the system
    // timer could not be made.
    LuaWindowTimer* addTimer(UINT interval);
    // Stops and deletes the timer with that handle when this window owns it; false otherwise.
    bool killTimer(const void* handle);
    std::size_t timerCount() const { return timers_.size(); }

  private:
    std::vector<std::unique_ptr<LuaWindowTimer>> timers_;
};

// The script window whose WindowHost address is `window`, or null for any other window host.
LuaWindow* luaWindowFromHost(WindowHost* window);
// The registered script window whose table is at `index` (asked of lua_queryWindowHandle), or null.
// Stack unchanged.
LuaWindow* luaWindowAt(lua_State* L, int index);
