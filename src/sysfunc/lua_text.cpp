#include "sysfunc/lua_text.h"

#include <windows.h>
#include <cmath>

namespace script {

namespace {

// Truncating conversion that never overflows: NaN gives 0, values outside the range saturate.
int64_t truncateToInt64(lua_Number n) {
    if (std::isnan(n))
        return 0;
    if (n >= 9223372036854775807.0)
        return INT64_MAX;
    if (n <= -9223372036854775808.0)
        return INT64_MIN;
    return static_cast<int64_t>(n);
}

}  // namespace

std::wstring argText(lua_State* L, int index) {
    int type = lua_type(L, index);
    if (type == LUA_TSTRING)
        return utf8ToWide(lua_tostring(L, index));
    if (type == LUA_TNUMBER) {
        // Convert a copy so that the argument slot keeps its number.
        lua_pushvalue(L, index);
        std::wstring text = utf8ToWide(lua_tostring(L, -1));
        lua_pop(L, 1);
        return text;
    }
    return {};
}

int64_t argInteger(lua_State* L, int index) {
    int isNumber = 0;
    lua_Number n = lua_tonumberx(L, index, &isNumber);
    return isNumber ? truncateToInt64(n) : 0;
}

void pushText(lua_State* L, const wchar_t* text) {
    DWORD err = GetLastError();
    std::string utf8 = wideToUtf8(text);
    lua_pushlstring(L, utf8.data(), utf8.size());
    SetLastError(err);
}

void pushText(lua_State* L, const std::wstring& text) {
    pushText(L, text.c_str());
}

void pushBoolean(lua_State* L, bool value) {
    DWORD err = GetLastError();
    lua_pushboolean(L, value ? 1 : 0);
    SetLastError(err);
}

void pushInteger(lua_State* L, int64_t value) {
    DWORD err = GetLastError();
    lua_pushnumber(L, static_cast<lua_Number>(value));
    SetLastError(err);
}

void pushHandle(lua_State* L, const void* object) {
    pushInteger(L, static_cast<int64_t>(reinterpret_cast<intptr_t>(object)));
}

void* toHandle(lua_State* L, int index) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(argInteger(L, index)));
}

}  // namespace script
