#include "script/lua_window.h"

#include <lua.hpp>

#include <algorithm>
#include <string>

#include "sysfunc/lua_text.h"
#include "script/script_engine.h"

LuaWindow::LuaWindowTimer::~LuaWindowTimer() {
    for (TickWatch* t = ticks_; t; t = t->outer) t->alive = false;
}

void LuaWindow::LuaWindowTimer::tick() {
    lua_State* L = scriptEngine().state();
    if (!L)
        return;
    int top = lua_gettop(L);
    lua_getglobal(L, "lua_onTimer");
    lua_getfield(L, LUA_REGISTRYINDEX, "__timer");
    script::pushHandle(L, this);
    TickWatch watch{true, ticks_};
    ticks_ = &watch;
    std::string error;
    const bool ok = callScriptSilently(L, 2, 0, &error);  // may kill this timer or destroy its window
    if (watch.alive) {
        ticks_ = watch.outer;
        if (!ok)
            stop();
    }
    lua_settop(L, top);
    if (!ok)
        showScriptError(error.c_str());
}

LuaWindow::LuaWindow(std::wstring layoutName) : ShadowedWindow(std::move(layoutName)) {}

LRESULT LuaWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        removeWindowObject(key());
        timers_.clear();  // stops every timer for good
    }
    return ShadowedWindow::handleMessage(message, wParam, lParam);
}

LuaWindow::LuaWindowTimer* LuaWindow::addTimer(UINT interval) {
    auto timer = std::make_unique<LuaWindowTimer>(interval);
    if (!timer->start())
        return nullptr;
    timers_.push_back(std::move(timer));
    return timers_.back().get();
}

bool LuaWindow::killTimer(const void* handle) {
    auto it = std::find_if(timers_.begin(), timers_.end(),
                           [handle](const std::unique_ptr<LuaWindowTimer>& t) { return t.get() == handle; });
    if (it == timers_.end())
        return false;
    std::unique_ptr<LuaWindowTimer> timer = std::move(*it);
    timers_.erase(it);
    timer->stop();
    return true;
}

LuaWindow* luaWindowFromHost(WindowHost* window) {
    return dynamic_cast<LuaWindow*>(window);
}

LuaWindow* luaWindowAt(lua_State* L, int index) {
    lua_getglobal(L, "lua_queryWindowHandle");
    lua_getfield(L, LUA_REGISTRYINDEX, "__window");
    lua_pushvalue(L, index);
    callScript(L, 2, 1);
    void* handle = script::toHandle(L, -1);
    lua_pop(L, 1);
    return luaWindowFromHost(static_cast<WindowHost*>(handle));
}
