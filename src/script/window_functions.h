// The window-level globals of the UI interpreter (createWindow, startWork) and the methods of window
// tables. UI thread only.
#pragma once

struct lua_State;

// Registers `createWindow` and `startWork` into the global table of `L` (stack unchanged).
void registerWindowGlobals(lua_State* L);
