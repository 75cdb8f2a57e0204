// Debugger output, message boxes, the restart marker and reboot, the instance mutex, environment
// variables, version tests and the thread's last error.
#include "sysfunc/sys_shell.h"

#include <windows.h>

#include <string>

#include "host/cleanup.h"
#include "host/handles.h"
#include "sysfunc/lua_text.h"
#include "sysfunc/sys_internal.h"

namespace script {

namespace {

RebootSteps defaultRebootSteps() {
    return RebootSteps{OpenProcessToken, ExitWindowsEx};
}

RebootSteps& rebootSteps() {
    static RebootSteps steps = defaultRebootSteps();
    return steps;
}

bool versionInfo(OSVERSIONINFOW& info) {
    info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return GetVersionExW(&info) != 0;
#pragma GCC diagnostic pop
}

}  // namespace

void setRebootSteps(const RebootSteps* steps) {
    rebootSteps() = steps ? *steps : defaultRebootSteps();
}

namespace sys {

// print(text) -> nothing; no line break is added.
int print(lua_State* L) {
    std::wstring text = argText(L, 1);
    OutputDebugStringW(text.c_str());
    return 0;
}

// reboot() -> nothing; tells the user when the restart cannot be asked for.
int reboot(lua_State* L) {
    (void)L;
    const RebootSteps& steps = rebootSteps();
    win::unique_handle token;
    if (!steps.openProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) {
        MessageBoxW(nullptr, L"重启电脑失败，原因：提升权限失败。请手动重启电脑。", nullptr, MB_OK);
        return 0;
    }
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    if (steps.exitWindows(EWX_REBOOT | EWX_FORCE, 0))
        return 0;
    DWORD error = GetLastError();
    std::wstring text = L"重启电脑失败，原因：" + std::to_wstring(error) + L"。 请手动重启电脑。";
    MessageBoxW(nullptr, text.c_str(), nullptr, MB_OK);
    return 0;
}

// isWOW32() -> boolean; true only on a system without a WOW64 folder (32-bit Windows).
int isWOW32(lua_State* L) {
    wchar_t folder[MAX_PATH + 1] = {};
    bool none =
        GetSystemWow64DirectoryW(folder, MAX_PATH) == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED;
    pushBoolean(L, none);
    return 1;
}

// showMessageBox(text, caption, type) -> button id
int showMessageBox(lua_State* L) {
    std::wstring text = argText(L, 1), caption = argText(L, 2);
    int button = MessageBoxW(nullptr, text.c_str(), caption.c_str(), static_cast<UINT>(argInteger(L, 3)));
    pushInteger(L, button);
    return 1;
}

// markRestart() -> nothing; writes the restart marker and asks for its deletion at the next restart.
int markRestart(lua_State* L) {
    (void)L;
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH, temp);
    if (n == 0 || n > MAX_PATH)
        return 0;
    std::wstring marker = std::wstring(temp) + L"\\tarvovirtualcamera_restart";
    win::unique_file file(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        unsigned char shutdownTime[8] = {};
        win::unique_hkey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Windows", 0, KEY_READ,
                          key.put()) == ERROR_SUCCESS) {
            DWORD bytes = sizeof(shutdownTime);
            if (RegQueryValueExW(key.get(), L"ShutdownTime", nullptr, nullptr, shutdownTime, &bytes) !=
                ERROR_SUCCESS)
                ZeroMemory(shutdownTime, sizeof(shutdownTime));
        }
        DWORD written = 0;
        WriteFile(file.get(), shutdownTime, sizeof(shutdownTime), &written, nullptr);
    }
    MoveFileExW(marker.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return 0;
}

// releaseMutex() -> nothing; lets another installer start.
int releaseMutex(lua_State* L) {
    (void)L;
    instanceMutex().reset();
    return 0;
}

// setEnvVar(name, value) -> nothing
int setEnvVar(lua_State* L) {
    std::wstring name = argText(L, 1), value = argText(L, 2);
    SetEnvironmentVariableW(name.c_str(), value.c_str());
    return 0;
}

// isVista() -> boolean, from the manifest-dependent version query.
int isVista(lua_State* L) {
    OSVERSIONINFOW info;
    pushBoolean(L,
                versionInfo(info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion > 5);
    return 1;
}

// isWin8() -> boolean
int isWin8(lua_State* L) {
    OSVERSIONINFOW info;
    pushBoolean(L, versionInfo(info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT &&
                       info.dwMajorVersion > 5 && info.dwMinorVersion > 1);
    return 1;
}

// isWin11() -> boolean, from the kernel's own version query.
int isWin11(lua_State* L) {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    bool win11 = false;
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
        auto query = reinterpret_cast<RtlGetVersionFn>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
        OSVERSIONINFOW info = {};
        info.dwOSVersionInfoSize = sizeof(info);
        if (query && query(&info) == 0)
            win11 = info.dwMajorVersion == 10 && info.dwBuildNumber >= 22000;
    }
    pushBoolean(L, win11);
    return 1;
}

// GetLastError() -> number
int getLastError(lua_State* L) {
    pushInteger(L, GetLastError());
    return 1;
}

}  // namespace sys
}  // namespace script
