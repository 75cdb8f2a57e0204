// The text and number conventions at the script boundary. Strings cross as UTF-8 on the script side
// and UTF-16 on the native side; handles cross as integers. Any thread, on its own interpreter.
#pragma once

#include <lua.hpp>
#include <cstdint>
#include <string>

#include "host/text_conv.h"

namespace script {

// UTF-16 <-> UTF-8 as everywhere else (host/text_conv.h).
using win::utf8ToWide;
using win::wideToUtf8;

// Argument `index` as UTF-16: a string as it is, a number in the interpreter's own text form, any
// other value (missing, nil, boolean, table, function) as the empty text. Does not modify the stack.
std::wstring argText(lua_State* L, int index);

// Argument `index` as a 64-bit integer, fraction dropped; missing or non-numeric counts as 0.
int64_t argInteger(lua_State* L, int index);

// Pushes a UTF-16 text as a UTF-8 string (empty text -> ""). Keeps the thread's last error.
void pushText(lua_State* L, const wchar_t* text);
void pushText(lua_State* L, const std::wstring& text);

// Pushers that keep the thread's last error, so a script's GetLastError sees the system call's code.
void pushBoolean(lua_State* L, bool value);
void pushInteger(lua_State* L, int64_t value);

// Object handles: an address pushed as an integer; read back by truncation, 0 meaning none.
void pushHandle(lua_State* L, const void* object);
void* toHandle(lua_State* L, int index);

}  // namespace script
