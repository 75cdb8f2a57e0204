// The native functions behind the system functions, one family per source file. Each follows the
// Lua C calling convention; stack effect: reads its arguments, pushes only its results.
#pragma once

#include <lua.hpp>

namespace script::sys {

// sys_files.cpp
int removeFile(lua_State* L);
int moveFile(lua_State* L);
int copyFile(lua_State* L);
int removeDirectory(lua_State* L);
int createDirectory(lua_State* L);
int fileExists(lua_State* L);
int getFullPath(lua_State* L);
int getAppDataFolder(lua_State* L);
int getProgramFolder(lua_State* L);
int getTempFolder(lua_State* L);
int getDesktopFolder(lua_State* L);
int getStartMenuFolder(lua_State* L);
int createShortCut(lua_State* L);
int volumeExists(lua_State* L);
int directoryEmpty(lua_State* L);
int setCurrentDirectory(lua_State* L);
int isReparsePoint(lua_State* L);
int removeEmptyDirectory(lua_State* L);
int removeLink(lua_State* L);
int deleteAtRestart(lua_State* L);

// sys_process.cpp
int sleep(lua_State* L);
int killProcess(lua_State* L);
int shellExecuteEx(lua_State* L);
int isProcessRunning(lua_State* L);
int getProcessPath(lua_State* L);
int getRunningProcess(lua_State* L);
int killRunningProcess(lua_State* L);
int killProcessesByPath(lua_State* L);

// sys_registry.cpp
int regQueryString(lua_State* L);
int regQueryInteger(lua_State* L);
int regWriteString(lua_State* L);
int regWriteInteger(lua_State* L);
int regDeleteValue(lua_State* L);
int regDeleteSubKey(lua_State* L);

// sys_shell.cpp
int print(lua_State* L);
int reboot(lua_State* L);
int isWOW32(lua_State* L);
int showMessageBox(lua_State* L);
int markRestart(lua_State* L);
int releaseMutex(lua_State* L);
int setEnvVar(lua_State* L);
int isVista(lua_State* L);
int isWin11(lua_State* L);
int getLastError(lua_State* L);
int isWin8(lua_State* L);

}  // namespace script::sys
