// The window-level globals of the UI interpreter. UI thread only.
#pragma once

struct lua_State;

// Registers `startWork` into the global table of `L` (stack unchanged).
void registerWindowGlobals(lua_State* L);
