// Each window method resolves its window from argument 1; for a table that is not (or no longer) a
// registered window it does nothing and returns no results (setCursor alone ignores argument 1).
#include "script/window_functions.h"

#include <windows.h>
#include <lua.hpp>
#include <shlobj.h>

#include <string>

#include "dui/context_parts.h"
#include "dui/delegate.h"
#include "dui/loader.h"
#include "host/handles.h"
#include "host/ui_context.h"
#include "pack/pack_archive.h"
#include "sysfunc/lua_text.h"
#include "script/lua_window.h"
#include "script/script_engine.h"
#include "worker/lua_work.h"

namespace {

LuaWindow* selfWindow(lua_State* L) {
    return luaWindowFromHost(windowFromSelf(L));
}

int getRoot(lua_State* L) {
    LuaWindow* w = selfWindow(L);
    if (!w)
        return 0;
    pushControlObject(L, w->root());
    return 1;
}

int getChild(lua_State* L) {
    LuaWindow* w = selfWindow(L);
    if (!w)
        return 0;
    pushControlObject(L, w->controlById(static_cast<int32_t>(script::argInteger(L, 2))));
    return 1;
}

int setPosition(lua_State* L) {
    if (LuaWindow* w = selfWindow(L)) {
        SetWindowPos(w->handle(), nullptr, static_cast<int>(script::argInteger(L, 2)),
                     static_cast<int>(script::argInteger(L, 3)), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    return 0;
}

int getPosition(lua_State* L) {
    LuaWindow* w = selfWindow(L);
    if (!w)
        return 0;
    RECT rect{};
    GetWindowRect(w->handle(), &rect);
    script::pushInteger(L, rect.left);
    script::pushInteger(L, rect.top);
    return 2;
}

// 50 px above the centre of the primary screen.
int centerScreen(lua_State* L) {
    LuaWindow* w = selfWindow(L);
    if (!w)
        return 0;
    RECT rect{};
    GetWindowRect(w->handle(), &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - height - 100) / 2;
    SetWindowPos(w->handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    return 0;
}

struct CoTaskMemDeleter {
    void operator()(ITEMIDLIST* item) const { CoTaskMemFree(item); }
};

// browseForFolder(title) -> the picked folder's path as the system gives it, or nothing.
int browseForFolder(lua_State* L) {
    LuaWindow* w = selfWindow(L);
    if (!w)
        return 0;
    std::wstring title = script::argText(L, 2);
    BROWSEINFOW info{};
    info.hwndOwner = w->handle();
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    std::unique_ptr<ITEMIDLIST, CoTaskMemDeleter> item(SHBrowseForFolderW(&info));
    wchar_t path[MAX_PATH] = {};
    if (!item || !SHGetPathFromIDListW(item.get(), path))
        return 0;
    script::pushText(L, path);
    return 1;
}

// showDialog([owner]) -> end code; the window is destroyed when it returns.
int showDialog(lua_State* L) {
    LuaWindow* w = selfWindow(L);
    if (!w)
        return 0;
    HWND owner = nullptr;
    if (lua_gettop(L) > 1) {
        if (LuaWindow* ownerWindow = luaWindowAt(L, 2))
            owner = ownerWindow->handle();
    }
    int32_t code = w->runModal(owner);
    script::pushInteger(L, code);
    return 1;
}

int endDialog(lua_State* L) {
    if (LuaWindow* w = selfWindow(L))
        w->endModal(static_cast<int32_t>(script::argInteger(L, 2)));
    return 0;
}

int updateLayout(lua_State* L) {
    if (LuaWindow* w = selfWindow(L))
        w->fitToLayout(0);  // keeps the position and brings the window to the top
    return 0;
}

// setMessageHandler(fn): a later call replaces the function; the window keeps one delegate, so each
// notification reaches the script once.
int setMessageHandler(lua_State* L) {
    LuaWindow* w = selfWindow(L);
    if (!w)
        return 0;
    lua_getglobal(L, "lua_setMessageHandler");
    lua_getfield(L, LUA_REGISTRYINDEX, "__window");
    lua_pushvalue(L, 1);
    lua_pushvalue(L, 2);
    callScript(L, 3, 0);
    UiContext* context = uiContext();
    WindowHost* key = w->key();
    if (context && !context->messageHandlers.find(kNotificationMessage, [key](Delegate* d) {
            return d->context() == key && d->function() == invokeWindowMessageHandler;
        }))
        addWindowMessageHandler(key);
    return 0;
}

int setIcon(lua_State* L) {
    LuaWindow* w = selfWindow(L);
    if (!w)
        return 0;
    WORD id = static_cast<WORD>(script::argInteger(L, 2) & 0xFFFF);
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));  // shared, not destroyed
    SendMessageW(w->handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    SendMessageW(w->handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    return 0;
}

int setTitle(lua_State* L) {
    if (LuaWindow* w = selfWindow(L)) {
        std::wstring text = script::argText(L, 2);
        SendMessageW(w->handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    return 0;
}

int setCursor(lua_State* L) {
    WORD id = static_cast<WORD>(script::argInteger(L, 2) & 0xFFFF);
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(id)));
    return 0;
}

int showWindow(lua_State* L) {
    if (LuaWindow* w = selfWindow(L))
        ShowWindow(w->handle(), static_cast<int>(script::argInteger(L, 2)));
    return 0;
}

int showMessageBox(lua_State* L) {
    LuaWindow* w = selfWindow(L);
    if (!w)
        return 0;
    std::wstring text = script::argText(L, 2);
    std::wstring caption = script::argText(L, 3);
    UINT type = static_cast<UINT>(script::argInteger(L, 4));
    script::pushInteger(L, MessageBoxW(w->handle(), text.c_str(), caption.c_str(), type));
    return 1;
}

// setTimer(interval, fn) -> timer handle.
int setTimer(lua_State* L) {
    LuaWindow* w = selfWindow(L);
    if (!w)
        return 0;
    UINT interval = static_cast<UINT>(script::argInteger(L, 2));
    LuaWindow::LuaWindowTimer* timer = w->addTimer(interval);
    if (!timer)
        return 0;
    lua_getglobal(L, "lua_setTimer");
    lua_getfield(L, LUA_REGISTRYINDEX, "__timer");
    script::pushHandle(L, timer);
    lua_pushvalue(L, 3);
    script::pushHandle(L, w->key());
    callScript(L, 4, 0);
    script::pushHandle(L, timer);
    return 1;
}

// killTimer(handle): only this window's own timers stop.
int killTimer(lua_State* L) {
    LuaWindow* w = selfWindow(L);
    if (!w)
        return 0;
    void* handle = script::toHandle(L, 2);
    w->killTimer(handle);
    lua_getglobal(L, "lua_killTimer");
    lua_getfield(L, LUA_REGISTRYINDEX, "__timer");
    script::pushHandle(L, handle);
    script::pushHandle(L, w->key());
    callScript(L, 3, 0);
    return 0;
}

const luaL_Reg kWindowMethods[] = {
    {"getRoot", getRoot},
    {"getChild", getChild},
    {"setPosition", setPosition},
    {"getPosition", getPosition},
    {"centerScreen", centerScreen},
    {"browseForFolder", browseForFolder},
    {"showDialog", showDialog},
    {"endDialog", endDialog},
    {"updateLayout", updateLayout},
    {"setMessageHandler", setMessageHandler},
    {"setIcon", setIcon},
    {"setTitle", setTitle},
    {"setCursor", setCursor},
    {"showWindow", showWindow},
    {"showMessageBox", showMessageBox},
    {"setTimer", setTimer},
    {"killTimer", killTimer},
};

bool layoutExists(const std::wstring& name) {
    UiParts* parts = uiParts();
    if (!parts || !parts->layouts || !parts->layouts->get())
        return false;
    std::u16string key(name.begin(), name.end());
    return parts->layouts->get()->find(key) != nullptr;
}

// createWindow(layout [, style]) -> the window table, or nil when the layout store lacks the layout,
// the native window cannot be made, or its layout or its shadow's is malformed (shown under "错误"
// with the entry, line, column and the parser's message). The window stays hidden unless the style
// says otherwise.
int createWindow(lua_State* L) {
    std::wstring layout = script::argText(L, 1);
    DWORD style = lua_gettop(L) >= 2 ? static_cast<DWORD>(script::argInteger(L, 2)) : WS_POPUP;
    if (!layoutExists(layout)) {
        OutputDebugStringW((L"createWindow: no layout named \"" + layout + L"\"\n").c_str());
        lua_pushnil(L);
        return 1;
    }
    auto* window = new LuaWindow(layout);
    if (!createNativeWindow(window, L"", style, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr))) {
        // The object is gone with its native window.
        OutputDebugStringW(
            (L"createWindow: the window for \"" + layout + L"\" could not be created\n").c_str());
        lua_pushnil(L);
        return 1;
    }
    if (!window->layoutError().empty()) {
        // A malformed layout (the window's or its shadow's): say where, and make no window of it.
        const std::string message = script::wideToUtf8(L"界面布局有误：\n" + window->layoutError());
        DestroyWindow(window->handle());
        showScriptError(message.c_str());
        lua_pushnil(L);
        return 1;
    }
    lua_createtable(L, 0, static_cast<int>(std::size(kWindowMethods)));
    int table = lua_gettop(L);
    for (const luaL_Reg& method : kWindowMethods) {
        lua_pushcfunction(L, method.func);
        lua_setfield(L, table, method.name);
    }
    lua_getglobal(L, "lua_addWindow");
    lua_getfield(L, LUA_REGISTRYINDEX, "__window");
    lua_pushvalue(L, table);
    script::pushHandle(L, window->key());
    callScript(L, 3, 0);
    lua_settop(L, table);
    return 1;
}

// startWork(scriptName, payloadName, config): hands the three texts to the install worker, which
// starts its thread and returns at once. The configuration is copied as bytes up to its first zero;
// a value that is not a string counts as empty.
int startWorkFunction(lua_State* L) {
    std::wstring scriptName = script::argText(L, 1);
    std::wstring payloadName = script::argText(L, 2);
    std::string config;
    if (lua_type(L, 3) == LUA_TSTRING || lua_type(L, 3) == LUA_TNUMBER) {
        size_t size = 0;
        const char* text = lua_tolstring(L, 3, &size);
        config.assign(text, size);
    }
    startWork(scriptName, payloadName, config);
    return 0;
}

}  // namespace

void registerWindowGlobals(lua_State* L) {
    lua_register(L, "createWindow", createWindow);
    lua_register(L, "startWork", startWorkFunction);
}
