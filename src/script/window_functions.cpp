#include "script/window_functions.h"

#include <lua.hpp>

#include <string>

#include "script/lua_text.h"
#include "worker/lua_work.h"

namespace {

// startWork(scriptName, payloadName, config): hands the three texts to the install worker, which
// starts its thread and returns at once. The configuration is copied as bytes up to its first zero;
// a value that is not a string counts as empty. Stack effect: 0 results.
int luaStartWork(lua_State* L) {
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
    lua_register(L, "startWork", luaStartWork);
}
