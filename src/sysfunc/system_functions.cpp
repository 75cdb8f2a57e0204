#include "sysfunc/system_functions.h"

#include <lua.hpp>

#include "sysfunc/sys_internal.h"

namespace {

// Registration order is part of the script interface: `print` must replace the standard one.
const luaL_Reg kSystemFunctions[] = {
    {"sleep", script::sys::sleep},
    {"killProcess", script::sys::killProcess},
    {"removeFile", script::sys::removeFile},
    {"moveFile", script::sys::moveFile},
    {"copyFile", script::sys::copyFile},
    {"removeDirectory", script::sys::removeDirectory},
    {"createDirectory", script::sys::createDirectory},
    {"shellExecuteEx", script::sys::shellExecuteEx},
    {"fileExists", script::sys::fileExists},
    {"print", script::sys::print},
    {"getAppDataFolder", script::sys::getAppDataFolder},
    {"getProgramFolder", script::sys::getProgramFolder},
    {"getTempFolder", script::sys::getTempFolder},
    {"getDesktopFolder", script::sys::getDesktopFolder},
    {"getStartMenuFolder", script::sys::getStartMenuFolder},
    {"createShortCut", script::sys::createShortCut},
    {"reboot", script::sys::reboot},
    {"volumeExists", script::sys::volumeExists},
    {"directoryEmpty", script::sys::directoryEmpty},
    {"setCurrentDirectory", script::sys::setCurrentDirectory},
    {"isWOW32", script::sys::isWOW32},
    {"isProcessRunning", script::sys::isProcessRunning},
    {"showMessageBox", script::sys::showMessageBox},
    {"getProcessPath", script::sys::getProcessPath},
    {"regQueryString", script::sys::regQueryString},
    {"regQueryInteger", script::sys::regQueryInteger},
    {"regWriteString", script::sys::regWriteString},
    {"regWriteInteger", script::sys::regWriteInteger},
    {"regDeleteValue", script::sys::regDeleteValue},
    {"regDeleteSubKey", script::sys::regDeleteSubKey},
    {"markRestart", script::sys::markRestart},
    {"releaseMutex", script::sys::releaseMutex},
    {"setEnvVar", script::sys::setEnvVar},
    {"isVista", script::sys::isVista},
    {"isWin11", script::sys::isWin11},
    {"GetLastError", script::sys::getLastError},
    {"isWin8", script::sys::isWin8},
    {"getRunningProcess", script::sys::getRunningProcess},
    {"killRunningProcess", script::sys::killRunningProcess},
    {"killProcessesByPath", script::sys::killProcessesByPath},
    // Added after the fixed set: the UI script's path checks compare a path with its full form.
    {"getFullPath", script::sys::getFullPath},
    // The uninstaller's: removal that never reaches through a link.
    {"isReparsePoint", script::sys::isReparsePoint},
    {"removeEmptyDirectory", script::sys::removeEmptyDirectory},
    {"removeLink", script::sys::removeLink},
    {"deleteAtRestart", script::sys::deleteAtRestart},
};

struct RootKey {
    const char* name;
    lua_Number value;
};

// The predefined key handles as the signed 32-bit numbers scripts see.
const RootKey kRootKeys[] = {
    {"HKEY_CLASSES_ROOT", -2147483648.0},
    {"HKEY_CURRENT_USER", -2147483647.0},
    {"HKEY_LOCAL_MACHINE", -2147483646.0},
    {"HKEY_USERS", -2147483645.0},
};

}  // namespace

void registerSystemFunctions(lua_State* L) {
    for (const luaL_Reg& f : kSystemFunctions) {
        lua_pushcfunction(L, f.func);
        lua_setglobal(L, f.name);
    }
    for (const RootKey& k : kRootKeys) {
        lua_pushnumber(L, k.value);
        lua_setglobal(L, k.name);
    }
}
