#include "script/script_engine.h"

#include <windows.h>
#include <lua.hpp>

#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "dui/control.h"
#include "dui/delegate.h"
#include "host/resource_file_system.h"
#include "host/ui_context.h"
#include "script/control_methods.h"
#include "sysfunc/lua_text.h"
#include "sysfunc/system_functions.h"
#include "script/window_functions.h"

namespace {

constexpr int32_t kNotificationMessage = 1024;

// Stack effect: +1 (the registry table of that name).
void pushRegistryTable(lua_State* L, const char* name) {
    lua_getfield(L, LUA_REGISTRYINDEX, name);
}

// Controls that have a script table. A control's destruction always removes it (whatever the script
// did to has-script-object), so every member exists and may be read.
std::unordered_set<const Control*>& scriptedControls() {
    static std::unordered_set<const Control*> set;
    return set;
}

// Registry table with weak keys: control table -> serial of the control it was made for. A table
// that outlived its control names a different serial than a new control at the reused address.
constexpr const char* kTableSerials = "__controlSerial";

// The serial recorded for the table at `index`, or 0 (serials start at 1).
uint32_t tableSerial(lua_State* L, int index) {
    index = lua_absindex(L, index);
    pushRegistryTable(L, kTableSerials);
    lua_pushvalue(L, index);
    lua_rawget(L, -2);
    const uint32_t serial = lua_isnumber(L, -1) ? static_cast<uint32_t>(lua_tonumber(L, -1)) : 0;
    lua_pop(L, 2);
    return serial;
}

// Whether the table at `index` was made for `control`, which must exist.
bool isTableOf(lua_State* L, int index, const Control* control) {
    return scriptedControls().count(control) && tableSerial(L, index) == control->serial();
}

// Stack effect: 0. Drops the script's entry for the handle.
void removeControlEntry(lua_State* L, const Control* control) {
    lua_getglobal(L, "lua_removeControl");
    pushRegistryTable(L, "__control");
    script::pushHandle(L, const_cast<Control*>(control));
    callScript(L, 2, 0);
}

// The message of an error value, also for values that are not strings.
std::string errorText(lua_State* L, int index) {
    if (const char* text = lua_tostring(L, index))
        return text;
    return std::string("(error object is a ") + luaL_typename(L, index) + " value)";
}

}  // namespace

ScriptEngine& scriptEngine() {
    static ScriptEngine engine;
    return engine;
}

void showScriptError(const char* message) {
    DWORD err = GetLastError();
    std::wstring text = script::utf8ToWide(message);
    MessageBoxW(nullptr, text.c_str(), L"错误", MB_OK);
    SetLastError(err);
}

bool callScript(lua_State* L, int nargs, int nresults) {
    std::string message;
    const bool ok = callScriptSilently(L, nargs, nresults, &message);
    if (!ok)
        showScriptError(message.c_str());
    return ok;
}

bool callScriptSilently(lua_State* L, int nargs, int nresults, std::string* error) {
    DWORD err = GetLastError();
    bool ok = lua_pcall(L, nargs, nresults, 0) == LUA_OK;
    if (!ok) {
        *error = errorText(L, -1);
        lua_pop(L, 1);
        for (int i = 0; i < nresults; ++i) lua_pushnil(L);
    }
    SetLastError(err);
    return ok;
}

bool createScriptEngine(ScriptEngine& engine) {
    closeScriptEngine(engine);
    lua_State* L = luaL_newstate();
    if (!L)
        return false;
    luaL_openlibs(L);
    registerSystemFunctions(L);
    registerWindowGlobals(L);
    lua_newtable(L);
    lua_setfield(L, LUA_REGISTRYINDEX, "__window");
    lua_newtable(L);
    lua_setfield(L, LUA_REGISTRYINDEX, "__timer");
    lua_createtable(L, 2, 0);
    lua_newtable(L);
    lua_rawseti(L, -2, 1);
    lua_newtable(L);
    lua_rawseti(L, -2, 2);
    lua_setfield(L, LUA_REGISTRYINDEX, "__control");
    lua_newtable(L);
    lua_createtable(L, 0, 1);
    lua_pushliteral(L, "k");
    lua_setfield(L, -2, "__mode");
    lua_setmetatable(L, -2);
    lua_setfield(L, LUA_REGISTRYINDEX, kTableSerials);
    scriptedControls().clear();
    setScriptObjectRelease(removeControlObject);
    engine.state_ = L;
    return true;
}

void closeScriptEngine(ScriptEngine& engine) {
    if (!engine.state_)
        return;
    lua_State* L = engine.state_;
    engine.state_ = nullptr;  // controls destroyed from here on find no interpreter
    scriptedControls().clear();
    lua_close(L);
}

void runUiScript(ScriptEngine& engine, const wchar_t* name) {
    if (FileSystem* files = currentFileSystem()) {
        runUiScript(engine, name, *files);
        return;
    }
    closeScriptEngine(engine);
}

void runUiScript(ScriptEngine& engine, const wchar_t* name, FileSystem& files) {
    lua_State* L = engine.state();
    std::size_t size = 0;
    void* buffer = files.readFile(name, &size);
    if (L && buffer) {
        const char* text = static_cast<const char*>(buffer);
        int top = lua_gettop(L);
        // The chunk name is the text itself, so messages start with its first line in short form.
        int status = luaL_loadbuffer(L, text, strnlen(text, size), text);
        if (status == LUA_OK)
            status = lua_pcall(L, 0, LUA_MULTRET, 0);
        if (status != LUA_OK)
            showScriptError(errorText(L, -1).c_str());
        lua_settop(L, top);
    }
    if (buffer)
        files.freeBuffer(buffer);
    closeScriptEngine(engine);
}

// ---- Bridge ----------------------------------------------------------------------------------------

WindowHost* windowFromSelf(lua_State* L) {
    lua_getglobal(L, "lua_queryWindowHandle");
    pushRegistryTable(L, "__window");
    lua_pushvalue(L, 1);
    callScript(L, 2, 1);
    void* handle = script::toHandle(L, -1);
    lua_pop(L, 1);
    return static_cast<WindowHost*>(handle);
}

Control* controlFromSelf(lua_State* L) {
    lua_getglobal(L, "lua_queryControlHandle");
    pushRegistryTable(L, "__control");
    lua_pushvalue(L, 1);
    callScript(L, 2, 1);
    auto* control = static_cast<Control*>(script::toHandle(L, -1));
    lua_pop(L, 1);
    return control && isTableOf(L, 1, control) ? control : nullptr;
}

void pushControlObject(lua_State* L, Control* control) {
    if (!control) {
        lua_pushnil(L);
        return;
    }
    lua_getglobal(L, "lua_queryControl");
    pushRegistryTable(L, "__control");
    script::pushHandle(L, control);
    callScript(L, 2, 1);
    if (!lua_isnil(L, -1) && isTableOf(L, -1, control))
        return;
    if (!lua_isnil(L, -1))
        removeControlEntry(L, control);  // the table of a control that was here before
    lua_pop(L, 1);

    lua_newtable(L);
    const wchar_t* type = control->typeName();
    script::registerControlMethods(L, type);
    int table = lua_gettop(L);
    lua_getglobal(L, "lua_addControl");
    pushRegistryTable(L, "__control");
    lua_pushvalue(L, table);
    script::pushHandle(L, control);
    if (!callScript(L, 3, 0))
        return;
    pushRegistryTable(L, kTableSerials);
    lua_pushvalue(L, table);
    lua_pushnumber(L, control->serial());
    lua_rawset(L, -3);
    lua_pop(L, 1);
    scriptedControls().insert(control);
    control->setFlag(flag::hasScriptObject, true);
}

void removeControlObject(Control* control) {
    if (!control || !scriptedControls().erase(control))
        return;
    control->setFlag(flag::hasScriptObject, false);
    lua_State* L = scriptEngine().state();
    if (!L)
        return;
    int top = lua_gettop(L);
    removeControlEntry(L, control);
    lua_settop(L, top);
}

void removeWindowObject(WindowHost* window) {
    if (!window)
        return;
    if (lua_State* L = scriptEngine().state()) {
        int top = lua_gettop(L);
        lua_getglobal(L, "lua_removeWindow");
        pushRegistryTable(L, "__window");
        script::pushHandle(L, window);
        callScript(L, 2, 0);
        lua_getglobal(L, "lua_removeTimer");
        pushRegistryTable(L, "__timer");
        script::pushHandle(L, window);
        callScript(L, 2, 0);
        lua_settop(L, top);
    }
    if (UiContext* context = uiContext()) {
        Delegate* handler = context->messageHandlers.find(kNotificationMessage, [window](Delegate* d) {
            return d->context() == window && d->function() == invokeWindowMessageHandler;
        });
        if (handler) {
            handler->disarm();  // a delivery running over a copy of the list calls nothing more
            context->messageHandlers.remove(kNotificationMessage, handler);
        }
    }
}

bool addWindowMessageHandler(WindowHost* window) {
    UiContext* context = uiContext();
    if (!context || !window)
        return false;
    Delegate* handler = Delegate::create(window, invokeWindowMessageHandler);
    if (!handler)
        return false;
    context->messageHandlers.add(kNotificationMessage, handler);
    handler->release();  // the map holds its own reference
    return true;
}

void invokeControlHandlers(void* context, Control* sender, EventRecord& event) {
    (void)sender;
    lua_State* L = scriptEngine().state();
    Control* control = static_cast<Control*>(context);
    if (!L || !control)
        return;
    int top = lua_gettop(L);
    pushControlObject(L, control);
    int table = lua_gettop(L);
    lua_getglobal(L, "lua_invokeHandlers");
    lua_getglobal(L, "lua_queryControlDispatcher");
    pushRegistryTable(L, "__control");
    lua_pushvalue(L, table);
    callScript(L, 2, 1);
    lua_pushvalue(L, table);
    script::pushInteger(L, event.id);
    script::pushInteger(L, event.wParam);
    script::pushInteger(L, event.lParam);
    callScript(L, 5, 1);
    event.handled = lua_toboolean(L, -1) ? 1 : 0;
    lua_settop(L, top);
}

void invokeWindowMessageHandler(void* context, Control* sender, EventRecord& event) {
    (void)sender;
    lua_State* L = scriptEngine().state();
    event.lParam = 0;
    if (!L || !context)
        return;
    int top = lua_gettop(L);
    lua_getglobal(L, "lua_invokeMessageHandler");
    pushRegistryTable(L, "__window");
    lua_getglobal(L, "lua_queryWindow");
    pushRegistryTable(L, "__window");
    script::pushHandle(L, context);
    callScript(L, 2, 1);
    const char* text = reinterpret_cast<const char*>(static_cast<intptr_t>(event.wParam));
    lua_pushstring(L, text ? text : "");
    callScript(L, 3, 1);
    event.lParam = script::argInteger(L, -1);
    lua_settop(L, top);
}
