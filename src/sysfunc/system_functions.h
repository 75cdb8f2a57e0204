// The system functions shared by the UI and the worker interpreter: files and folders, special
// folders, processes, the registry, shortcuts, message boxes, program start, version tests, the
// restart marker and reboot. None raises a script error; failures show only in the results.
#pragma once

struct lua_State;

// Registers the 40 functions into the global table in their fixed order (replacing the standard
// `print`), then those added after them (`getFullPath` for the path checks, and the uninstaller's
// link-safe removal functions), then the four registry-root numbers HKEY_CLASSES_ROOT .. HKEY_USERS.
// Call after the standard libraries are open; the calling thread owns `L`.
void registerSystemFunctions(lua_State* L);
