// Script host tests under Wine: the Lua case files of lua/ run in one interpreter each (one gtest per
// function family), plus native tests of the engine's load and run path and the bridge.
#include <gtest/gtest.h>
#include <windows.h>
#include <lua.hpp>
#include <objbase.h>
#include <shlobj.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winioctl.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dui/checked.h"
#include "dui/control.h"
#include "dui/delegate.h"
#include "dui/panels.h"
#include "dui/window_host.h"
#include "host/cleanup.h"
#include "host/handles.h"
#include "host/resource_file_system.h"
#include "dui/context_parts.h"
#include "host/ui_context.h"
#include "sysfunc/lua_text.h"
#include "script/script_engine.h"
#include "sysfunc/sys_shell.h"
#include "sysfunc/system_functions.h"
#include "stub_window_host.h"
#include "win_test_support.h"
#include "script_case_support.h"
#include "win_test_support.h"

namespace {

// ---- Processes started by the tests ---------------------------------------------------------------

// Every process this executable starts, directly or through the functions under test, is its child.
// At the end no child may still run: a process left running keeps Wine's server, its service processes
// and so the test's output pipe alive after the tests are over. Leftovers are reported, then ended and
// waited for. (A job object with kill-on-close would do this too, but Wine 8's server crashes when
// such a job holds the process itself.)
class ChildProcessGuard : public ::testing::Environment {
  public:
    void TearDown() override {
        // Processes ended without a wait (killRunningProcess) may still be on their way out.
        DWORD start = GetTickCount();
        std::vector<DWORD> left = others();
        while (!left.empty() && GetTickCount() - start < 3000) {
            Sleep(50);
            left = others();
        }
        for (DWORD pid : left) {
            ADD_FAILURE() << "a test left process " << pid << " (" << testsupport::narrow(imageName(pid))
                          << ") running";
            win::unique_handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
            if (process) {
                TerminateProcess(process.get(), 1);
                WaitForSingleObject(process.get(), 5000);
            }
        }
    }

    // Ids of this process's live child processes, except Wine's own helpers from the Windows folder
    // (the desktop or a console host started on behalf of the first window or console).
    std::vector<DWORD> others() const {
        std::vector<DWORD> result;
        forEachProcess([&](const PROCESSENTRY32W& entry) {
            if (entry.th32ParentProcessID == GetCurrentProcessId() &&
                entry.th32ProcessID != GetCurrentProcessId() &&
                testsupport::processAlive(entry.th32ProcessID) && !inWindowsFolder(entry.th32ProcessID))
                result.push_back(entry.th32ProcessID);
            return true;
        });
        return result;
    }

  private:
    static bool inWindowsFolder(DWORD pid) {
        wchar_t windows[MAX_PATH] = {};
        UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
        std::wstring image = imageName(pid);
        return n > 0 && image.size() > n && image[n] == L'\\' &&
               CompareStringOrdinal(image.c_str(), static_cast<int>(n), windows, static_cast<int>(n), TRUE) ==
                   CSTR_EQUAL;
    }
    static std::wstring imageName(DWORD pid) {
        win::unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        wchar_t path[MAX_PATH + 1] = {};
        DWORD size = MAX_PATH;
        if (!process || !QueryFullProcessImageNameW(process.get(), 0, path, &size))
            return L"?";
        return path;
    }
};

ChildProcessGuard* const g_childGuard =
    static_cast<ChildProcessGuard*>(::testing::AddGlobalTestEnvironment(new ChildProcessGuard));

// ---- Message boxes ---------------------------------------------------------------------------------

// Waits on its own thread for the next message box of this process, records its title and text and
// presses the button.
class DialogWatcher {
  public:
    explicit DialogWatcher(int button = IDOK, DWORD timeoutMs = 10000) {
        thread_ = std::thread([this, button, timeoutMs] {
            DWORD start = GetTickCount();
            while (GetTickCount() - start < timeoutMs) {
                for (HWND dialog : testsupport::topLevelWindows(GetCurrentProcessId(), L"#32770")) {
                    if (!IsWindowVisible(dialog))
                        continue;
                    title_ = testsupport::windowText(dialog);
                    text_ = testsupport::dialogText(dialog);
                    seen_ = true;
                    testsupport::pressButton(dialog, button);
                    return;
                }
                Sleep(20);
            }
        });
    }
    ~DialogWatcher() { finish(); }
    // Joins the watcher; true when a box was seen and answered.
    bool finish() {
        if (thread_.joinable())
            thread_.join();
        return seen_;
    }
    const std::wstring& title() const { return title_; }
    const std::wstring& text() const { return text_; }

  private:
    std::thread thread_;
    std::wstring title_, text_;
    bool seen_ = false;
};

class NamedControl : public Control {
  public:
    explicit NamedControl(const wchar_t* type) : type_(type) {}
    const wchar_t* typeName() const override { return type_; }

  private:
    const wchar_t* type_;
};

// ---- Natives for the Lua case files -----------------------------------------------------------------

StubWindowHost* g_window = nullptr;

int luaHelperPath(lua_State* L) {
    script::pushText(L, testsupport::selfFolder() + L"\\" + script::argText(L, 1));
    return 1;
}

int luaTempFolder(lua_State* L) {
    std::wstring folder = testsupport::makeTempFolder(script::argText(L, 1));
    if (folder.empty())
        return 0;
    script::pushText(L, folder + L"\\");
    return 1;
}

int luaShortcutTarget(lua_State* L) {
    std::wstring link = script::argText(L, 1);
    std::wstring target;
    {
        auto com = win::co_initialize();
        win::com_ptr<IShellLinkW> shellLink;
        win::com_ptr<IPersistFile> file;
        wchar_t path[MAX_PATH] = {};
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                       shellLink.put_void())) &&
            SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, file.put_void())) &&
            SUCCEEDED(file->Load(link.c_str(), STGM_READ)) &&
            SUCCEEDED(shellLink->GetPath(path, MAX_PATH, nullptr, 0)))
            target = path;
    }
    if (target.empty())
        return 0;
    script::pushText(L, target);
    return 1;
}

int luaIsRestartPending(lua_State* L) {
    lua_pushboolean(L, isRestartPending());
    return 1;
}

// test_processCount(imageName) -> running processes of that executable name, and how many of them are
// far enough into their start that their full path can be read (what matching by path needs).
int luaProcessCount(lua_State* L) {
    std::vector<DWORD> ids = testsupport::processesByName(script::argText(L, 1));
    int readable = 0;
    for (DWORD pid : ids) {
        win::unique_handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
        wchar_t path[MAX_PATH + 1] = {};
        if (process && K32GetModuleFileNameExW(process.get(), nullptr, path, MAX_PATH))
            ++readable;
    }
    lua_pushnumber(L, static_cast<lua_Number>(ids.size()));
    lua_pushnumber(L, readable);
    return 2;
}

int luaSpecialFolder(lua_State* L) {
    wchar_t path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, static_cast<int>(script::argInteger(L, 1)), FALSE))
        return 0;
    script::pushText(L, path);
    return 1;
}

int luaSystemFolder(lua_State* L) {
    wchar_t path[MAX_PATH] = {};
    GetSystemDirectoryW(path, MAX_PATH);
    script::pushText(L, path);
    return 1;
}

int luaWindowsFolder(lua_State* L) {
    wchar_t path[MAX_PATH] = {};
    GetWindowsDirectoryW(path, MAX_PATH);
    script::pushText(L, path);
    return 1;
}

// test_messageBox(fn [, button]) -> seen, title, text: calls fn while a watcher answers the next box.
int luaMessageBox(lua_State* L) {
    int button = lua_gettop(L) >= 2 ? static_cast<int>(script::argInteger(L, 2)) : IDOK;
    DialogWatcher watcher(button);
    lua_pushvalue(L, 1);
    int status = lua_pcall(L, 0, 1, 0);
    bool seen = watcher.finish();
    if (status != LUA_OK)
        return lua_error(L);
    lua_pushboolean(L, seen);
    script::pushText(L, watcher.title());
    script::pushText(L, watcher.text());
    lua_pushvalue(L, -4);  // fn's result
    return 4;
}

BOOL WINAPI failOpenToken(HANDLE, DWORD, PHANDLE) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
BOOL WINAPI failExitWindows(UINT, DWORD) {
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
}
std::atomic<int> g_exitWindowsCalls{0};
BOOL WINAPI countExitWindows(UINT, DWORD) {
    ++g_exitWindowsCalls;
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
}

// test_rebootFails(step): "token" makes opening the token fail, "exit" makes the restart request fail.
int luaRebootFails(lua_State* L) {
    std::wstring step = script::argText(L, 1);
    g_exitWindowsCalls = 0;
    script::RebootSteps steps{OpenProcessToken, failExitWindows};
    if (step == L"token")
        steps = script::RebootSteps{failOpenToken, countExitWindows};
    script::setRebootSteps(&steps);
    return 0;
}

int luaExitWindowsCalls(lua_State* L) {
    lua_pushnumber(L, g_exitWindowsCalls.load());
    return 1;
}

int luaSetReadOnly(lua_State* L) {
    std::wstring path = script::argText(L, 1);
    lua_pushboolean(L, SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    return 1;
}

// test_folderLink(target, link) / test_removeLink(link): a Unix symbolic link to a folder, made and
// removed from outside Wine's own calls.
int luaFolderLink(lua_State* L) {
    lua_pushboolean(L, testsupport::unixFolderLink(script::argText(L, 1), script::argText(L, 2)));
    return 1;
}
int luaRemoveLink(lua_State* L) {
    lua_pushboolean(L, testsupport::unixRemoveLink(script::argText(L, 1)));
    return 1;
}

// test_regWriteExpand(subKey, name, text): a REG_EXPAND_SZ value under HKEY_CURRENT_USER.
int luaRegWriteExpand(lua_State* L) {
    std::wstring key = script::argText(L, 1), name = script::argText(L, 2), text = script::argText(L, 3);
    win::unique_hkey k;
    bool ok =
        RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.put(),
                        nullptr) == ERROR_SUCCESS &&
        RegSetValueExW(k.get(), name.c_str(), 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * 2)) == ERROR_SUCCESS;
    lua_pushboolean(L, ok);
    return 1;
}

constexpr wchar_t kWindowsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Windows";

int luaShutdownTime(lua_State* L) {
    auto bytes = testsupport::regReadBinary(HKEY_LOCAL_MACHINE, kWindowsKey, L"ShutdownTime");
    if (!bytes)
        return 0;
    lua_pushlstring(L, bytes->data(), bytes->size());
    return 1;
}

// test_setShutdownTime(bytes or nil): nil deletes the value.
int luaSetShutdownTime(lua_State* L) {
    size_t n = 0;
    const char* bytes = lua_tolstring(L, 1, &n);
    bool ok = bytes ? testsupport::regWriteBinary(HKEY_LOCAL_MACHINE, kWindowsKey, L"ShutdownTime", bytes,
                                                  static_cast<DWORD>(n))
                    : testsupport::regDeleteValue(HKEY_LOCAL_MACHINE, kWindowsKey, L"ShutdownTime");
    lua_pushboolean(L, ok);
    return 1;
}

constexpr wchar_t kTestMutexName[] = L"Local\\TarvoScriptTestMutex";

int luaHoldInstanceMutex(lua_State* L) {
    instanceMutex().reset(CreateMutexW(nullptr, TRUE, kTestMutexName));
    lua_pushboolean(L, static_cast<bool>(instanceMutex()));
    return 1;
}

int luaInstanceMutexHeld(lua_State* L) {
    lua_pushboolean(L, static_cast<bool>(instanceMutex()));
    return 1;
}

int luaInstanceMutexFree(lua_State* L) {
    win::unique_handle probe(CreateMutexW(nullptr, FALSE, kTestMutexName));
    lua_pushboolean(L, probe && GetLastError() != ERROR_ALREADY_EXISTS);
    return 1;
}

int luaGetEnv(lua_State* L) {
    std::wstring name = script::argText(L, 1);
    wchar_t value[512] = {};
    if (!GetEnvironmentVariableW(name.c_str(), value, 512))
        return 0;
    script::pushText(L, value);
    return 1;
}

int luaVersionEx(lua_State* L) {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&info);
#pragma GCC diagnostic pop
    lua_pushnumber(L, info.dwMajorVersion);
    lua_pushnumber(L, info.dwMinorVersion);
    return 2;
}

int luaRtlVersion(lua_State* L) {
    using Fn = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (fn)
        fn(&info);
    lua_pushnumber(L, info.dwMajorVersion);
    lua_pushnumber(L, info.dwMinorVersion);
    lua_pushnumber(L, info.dwBuildNumber);
    return 3;
}

// Wine's mount manager defines and removes drive letters on request (its own extension, as winecfg
// uses it); other systems refuse the request.
struct MountManagerDrive {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;  // a NUL-terminated Unix path after the record, or 0 to remove the drive
    USHORT deviceOffset;
    USHORT labelOffset;
};

bool defineWineDrive(wchar_t letter, const char* unixPath) {
    std::vector<char> request(sizeof(MountManagerDrive) + (unixPath ? std::strlen(unixPath) + 1 : 0));
    auto* drive = reinterpret_cast<MountManagerDrive*>(request.data());
    drive->size = static_cast<ULONG>(request.size());
    drive->type = unixPath ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
    drive->letter = letter;
    if (unixPath) {
        drive->mountPointOffset = sizeof(MountManagerDrive);
        std::strcpy(request.data() + sizeof(MountManagerDrive), unixPath);
    }
    win::unique_file manager(CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                         nullptr));
    DWORD returned = 0;
    const DWORD defineUnixDrive = CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
    return manager && DeviceIoControl(manager.get(), defineUnixDrive, request.data(),
                                      static_cast<DWORD>(request.size()), nullptr, 0, &returned, nullptr);
}

// test_mapDrive(folder) -> "X:" of a free drive letter whose root is now that folder, or nothing.
int luaMapDrive(lua_State* L) {
    std::wstring folder = script::argText(L, 1);
    using UnixName = char*(CDECL*)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unixPath = unixName ? unixName(folder.c_str()) : nullptr;
    if (!unixPath)
        return 0;
    std::string path = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    for (wchar_t letter = L'P'; letter <= L'Y'; ++letter) {
        std::wstring root = std::wstring(1, letter) + L":\\";
        if (GetDriveTypeW(root.c_str()) != DRIVE_NO_ROOT_DIR)
            continue;
        if (!defineWineDrive(static_cast<wchar_t>(towlower(letter)), path.c_str()))
            return 0;
        script::pushText(L, root.substr(0, 2));
        return 1;
    }
    return 0;
}

// test_unmapDrive("X:")
int luaUnmapDrive(lua_State* L) {
    std::wstring drive = script::argText(L, 1);
    if (!drive.empty())
        defineWineDrive(static_cast<wchar_t>(towlower(drive[0])), nullptr);
    return 0;
}

// Bridge natives: every control made here is attached to g_window on its own (a panel with its
// children); g_owned holds them until the test ends or test_destroy deletes one.
std::vector<Control*> g_owned;

// test_newControl(type [, children]) -> table; type "Panel", "Button" or anything else ("Control").
int luaNewControl(lua_State* L) {
    std::wstring type = script::argText(L, 1);
    Control* control = nullptr;
    if (type == L"Panel") {
        Panel* panel = new Panel;
        for (int64_t i = script::argInteger(L, 2); i > 0; --i) panel->addChild(new NamedControl(L"Control"));
        control = panel;
    } else {
        control = new NamedControl(type == L"Button" ? L"Button" : L"Control");
    }
    control->setBounds(RECT{0, 0, 20, 20});  // inside the host's window, so a repaint is asked for
    control->attach(g_window);
    g_owned.push_back(control);
    pushControlObject(L, control);
    return 1;
}

void destroyOwned() {
    for (Control* c : g_owned) {
        c->detach();
        delete c;
    }
    g_owned.clear();
}

int luaHandleOf(lua_State* L) {
    lua_getglobal(L, "lua_queryControlHandle");
    lua_getfield(L, LUA_REGISTRYINDEX, "__control");
    lua_pushvalue(L, 1);
    lua_call(L, 2, 1);
    return 1;
}

// test_pushControl(handle): the native side hands the control to the script again.
int luaPushControl(lua_State* L) {
    pushControlObject(L, static_cast<Control*>(script::toHandle(L, 1)));
    return 1;
}

// test_raise(tbl, id, wparam, lparam) -> handled (route direct, raised natively)
int luaRaise(lua_State* L) {
    Control* control = controlFromSelf(L);
    if (!control)
        return 0;
    EventRecord event;
    event.id = static_cast<int32_t>(script::argInteger(L, 2));
    event.route = kRouteDirect;
    event.wParam = script::argInteger(L, 3);
    event.lParam = script::argInteger(L, 4);
    control->raiseEvent(event);
    lua_pushboolean(L, event.handled != 0);
    return 1;
}

// test_destroy(tbl): detaches and deletes a control made by test_newControl.
int luaDestroy(lua_State* L) {
    Control* control = controlFromSelf(L);
    for (auto it = g_owned.begin(); it != g_owned.end(); ++it) {
        if (*it != control)
            continue;
        g_owned.erase(it);
        control->detach();
        delete control;
        // In a checked build the freed cell waits in quarantine; hand it back now, as a release build
        // does at once, so a case can see the cell reused.
        dui::flushSmallQuarantine();
        break;
    }
    return 0;
}

// test_attribute(tbl, "color" | "style" | "tooltip") -> the native attribute, or nil
int luaAttribute(lua_State* L) {
    Control* control = controlFromSelf(L);
    const std::string name = luaL_checkstring(L, 2);
    if (control && name == "color") {
        if (const int32_t* value = control->findInt(attr::color)) {
            lua_pushnumber(L, *value);
            return 1;
        }
    } else if (control && (name == "style" || name == "tooltip")) {
        if (const wchar_t* text = control->findText(name == "style" ? attr::style : attr::tooltip)) {
            script::pushText(L, text);
            return 1;
        }
    }
    return 0;
}

// test_repaintRequests() -> how many areas the controls asked their window to repaint so far
int luaRepaintRequests(lua_State* L) {
    lua_pushnumber(L, g_window ? g_window->dirtyAreas : 0);
    return 1;
}

int luaPoolAvailable(lua_State* L) {
    lua_pushnumber(L, static_cast<lua_Number>(Delegate::poolAvailable()));
    return 1;
}

int luaFlags(lua_State* L) {
    Control* control = static_cast<Control*>(script::toHandle(L, 1));
    lua_pushnumber(L, control ? control->flags() : 0);
    return 1;
}

const luaL_Reg kTestNatives[] = {
    {"test_helperPath", luaHelperPath},
    {"test_tempFolder", luaTempFolder},
    {"test_shortcutTarget", luaShortcutTarget},
    {"test_isRestartPending", luaIsRestartPending},
    {"test_processCount", luaProcessCount},
    {"test_specialFolder", luaSpecialFolder},
    {"test_systemFolder", luaSystemFolder},
    {"test_windowsFolder", luaWindowsFolder},
    {"test_messageBox", luaMessageBox},
    {"test_rebootFails", luaRebootFails},
    {"test_exitWindowsCalls", luaExitWindowsCalls},
    {"test_setReadOnly", luaSetReadOnly},
    {"test_folderLink", luaFolderLink},
    {"test_removeLink", luaRemoveLink},
    {"test_regWriteExpand", luaRegWriteExpand},
    {"test_shutdownTime", luaShutdownTime},
    {"test_setShutdownTime", luaSetShutdownTime},
    {"test_holdInstanceMutex", luaHoldInstanceMutex},
    {"test_instanceMutexHeld", luaInstanceMutexHeld},
    {"test_instanceMutexFree", luaInstanceMutexFree},
    {"test_getEnv", luaGetEnv},
    {"test_versionEx", luaVersionEx},
    {"test_rtlVersion", luaRtlVersion},
    {"test_mapDrive", luaMapDrive},
    {"test_unmapDrive", luaUnmapDrive},
    {"test_newControl", luaNewControl},
    {"test_handleOf", luaHandleOf},
    {"test_pushControl", luaPushControl},
    {"test_raise", luaRaise},
    {"test_destroy", luaDestroy},
    {"test_poolAvailable", luaPoolAvailable},
    {"test_attribute", luaAttribute},
    {"test_repaintRequests", luaRepaintRequests},
    {"test_flags", luaFlags},
};

void installTestNatives(lua_State* L) {
    for (const luaL_Reg& f : kTestNatives) {
        lua_pushcfunction(L, f.func);
        lua_setglobal(L, f.name);
    }
}

// ---- Running a case file ---------------------------------------------------------------------------

class LuaFamily : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        ASSERT_NE(createUiContextWithParts(), false);
        window_ = new StubWindowHost;
        g_window = window_;
        ASSERT_TRUE(createScriptEngine(scriptEngine()));
        installTestNatives(scriptEngine().state());
    }
    void TearDown() override {
        closeScriptEngine(scriptEngine());
        destroyOwned();
        delete window_;
        g_window = nullptr;
        destroyUiContextWithParts();
        script::setRebootSteps(nullptr);
    }
    StubWindowHost* window_ = nullptr;
};

TEST_P(LuaFamily, CasesPass) {
    runLuaCases(scriptEngine().state(), std::string("lua/") + GetParam() + ".lua");
}

INSTANTIATE_TEST_SUITE_P(Script, LuaFamily,
                         ::testing::Values("files", "folders", "processes", "running_list", "registry",
                                           "shell", "bridge"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

// ---- The engine's own load and run path -------------------------------------------------------------

// A file system of one named text.
class TextFileSystem : public FileSystem {
  public:
    TextFileSystem(const wchar_t* name, std::string text) : name_(name), text_(std::move(text)) {}
    void* readFile(const wchar_t* name, std::size_t* size) override {
        if (name_ != name)
            return nullptr;
        void* buffer = std::calloc(text_.size() + 4, 1);
        std::memcpy(buffer, text_.data(), text_.size());
        *size = text_.size();
        ++reads;
        return buffer;
    }
    void freeBuffer(void* buffer) override {
        if (buffer)
            ++frees;
        std::free(buffer);
    }
    int reads = 0, frees = 0;

  private:
    std::wstring name_;
    std::string text_;
};

// Runs the "UI.lua" of files in a fresh engine while watcher answers its box; true when one came up.
bool runWatched(TextFileSystem& files, DialogWatcher& watcher) {
    if (!createScriptEngine(scriptEngine())) {
        ADD_FAILURE() << "no script engine";
        return false;
    }
    runUiScript(scriptEngine(), L"UI.lua", files);
    return watcher.finish();
}

TEST(ScriptEngine, ScriptThatOnlyDefinesFunctionsRunsAndClosesTheInterpreter) {
    TextFileSystem files(L"UI.lua", uiGlue() + "\nfunction later() return 1 end\n");
    DialogWatcher watcher(IDOK, 1500);
    EXPECT_FALSE(runWatched(files, watcher)) << "unexpected box: " << testsupport::narrow(watcher.text());
    EXPECT_EQ(scriptEngine().state(), nullptr);
    EXPECT_EQ(files.reads, 1);
    EXPECT_EQ(files.frees, 1);
}

TEST(ScriptEngine, SyntaxErrorShowsShortSourceAndLineUnderErrorTitle) {
    TextFileSystem files(L"UI.lua", "-- first line of the script\nlocal x = 1\nfunction broken(\n");
    DialogWatcher watcher;
    ASSERT_TRUE(runWatched(files, watcher));
    EXPECT_EQ(watcher.title(), L"错误");
    EXPECT_EQ(watcher.text().rfind(L"[string \"-- first line of the script...\"]:4:", 0), 0u)
        << testsupport::narrow(watcher.text());
    EXPECT_EQ(scriptEngine().state(), nullptr);
    EXPECT_EQ(files.frees, 1);
}

TEST(ScriptEngine, RuntimeErrorWithChineseTextIsShownIntact) {
    TextFileSystem files(L"UI.lua", "error('安装失败', 0)\n");
    DialogWatcher watcher;
    ASSERT_TRUE(runWatched(files, watcher));
    EXPECT_EQ(watcher.title(), L"错误");
    EXPECT_EQ(watcher.text(), L"安装失败");
}

TEST(ScriptEngine, MissingScriptClosesTheInterpreterSilently) {
    TextFileSystem files(L"other.lua", "x = 1");
    DialogWatcher watcher(IDOK, 1500);
    EXPECT_FALSE(runWatched(files, watcher));
    EXPECT_EQ(scriptEngine().state(), nullptr);
}

TEST(ScriptEngine, StandardLibrariesSystemFunctionsAndRegistryTablesExist) {
    ASSERT_TRUE(createScriptEngine(scriptEngine()));
    lua_State* L = scriptEngine().state();
    const char* check =
        "assert(bit32 and debug and io and os and package and coroutine and string and math and table)\n"
        "assert(type(regQueryString) == 'function' and type(killProcessesByPath) == 'function')\n"
        "assert(HKEY_LOCAL_MACHINE == -2147483646 and HKEY_CLASSES_ROOT == -2147483648)\n"
        "assert(HKEY_CURRENT_USER == -2147483647 and HKEY_USERS == -2147483645)\n"
        "assert(print ~= nil)\n";
    std::string error;
    EXPECT_TRUE(runChunk(L, check, "=check", &error)) << error;
    for (const char* name : {"__window", "__timer"}) {
        lua_getfield(L, LUA_REGISTRYINDEX, name);
        EXPECT_TRUE(lua_istable(L, -1)) << name;
        lua_pop(L, 1);
    }
    lua_getfield(L, LUA_REGISTRYINDEX, "__control");
    lua_rawgeti(L, -1, 1);
    lua_rawgeti(L, -2, 2);
    EXPECT_TRUE(lua_istable(L, -1) && lua_istable(L, -2));
    lua_pop(L, 3);
    EXPECT_EQ(lua_gettop(L), 0);
    closeScriptEngine(scriptEngine());
}

// The guard above only means something if programs started through the shell show as children.
TEST(ChildProcesses, ProgramsStartedThroughTheShellShowAsChildrenUntilEnded) {
    ASSERT_TRUE(createScriptEngine(scriptEngine()));
    lua_State* L = scriptEngine().state();
    script::pushText(L, testsupport::selfFolder() + L"\\sleeper.exe");
    lua_setglobal(L, "sleeper");
    std::string error;
    ASSERT_TRUE(runChunk(L, "assert(shellExecuteEx(sleeper, '20000', 'open', 0, 0))", "=start", &error))
        << error;
    DWORD start = GetTickCount();
    while (g_childGuard->others().empty() && GetTickCount() - start < 5000) Sleep(20);
    std::vector<DWORD> started = g_childGuard->others();
    EXPECT_EQ(started.size(), 1u);
    // killProcess matches by full path, which a process only shows once it has started up.
    ASSERT_TRUE(runChunk(L,
                         "for _ = 1, 100 do if isProcessRunning(sleeper) then break end sleep(50) end\n"
                         "killProcess(sleeper)",
                         "=end", &error))
        << error;
    EXPECT_TRUE(g_childGuard->others().empty());
    closeScriptEngine(scriptEngine());
}

// The native->script paths run protected: a failing handler shows the error and the event stays
// unhandled; the native stack is left as it was.
TEST(ScriptBridge, FailingHandlerIsReportedAndCountsAsNotHandled) {
    ASSERT_TRUE(createUiContextWithParts());
    StubWindowHost window;
    Panel* root = new Panel;
    root->attach(&window);
    ASSERT_TRUE(createScriptEngine(scriptEngine()));
    lua_State* L = scriptEngine().state();
    std::string error;
    ASSERT_TRUE(runChunk(L, uiGlue(), "=glue", &error)) << error;
    pushControlObject(L, root);
    lua_setglobal(L, "root");
    ASSERT_TRUE(runChunk(L, "root:addHandler(30, function() error('handler broke', 0) end)", "=add", &error))
        << error;
    EventRecord event;
    event.id = 30;
    event.handled = 0;
    DialogWatcher watcher;
    root->raiseEvent(event);
    ASSERT_TRUE(watcher.finish());
    EXPECT_EQ(watcher.title(), L"错误");
    EXPECT_EQ(watcher.text(), L"handler broke");
    EXPECT_EQ(event.handled, 0);
    EXPECT_EQ(lua_gettop(L), 0);
    closeScriptEngine(scriptEngine());
    root->detach();
    delete root;
    destroyUiContextWithParts();
}

TEST(ScriptBridge, NotificationReachesTheWindowHandlerAndItsAnswerReturns) {
    ASSERT_TRUE(createUiContextWithParts());
    StubWindowHost window;
    ASSERT_TRUE(createScriptEngine(scriptEngine()));
    lua_State* L = scriptEngine().state();
    std::string error;
    ASSERT_TRUE(runChunk(L, uiGlue(), "=glue", &error)) << error;
    // What createWindow and setMessageHandler do for a window table.
    lua_newtable(L);
    lua_setglobal(L, "win");
    ASSERT_TRUE(runChunk(L,
                         "lua_addWindow(debug.getregistry().__window, win, " +
                             std::to_string(reinterpret_cast<intptr_t>(static_cast<WindowHost*>(&window))) +
                             ")",
                         "=add", &error))
        << error;
    EventRecord record;
    std::string text = "{code=4,position=37}";
    record.wParam = reinterpret_cast<intptr_t>(text.c_str());
    invokeWindowMessageHandler(static_cast<WindowHost*>(&window), nullptr, record);
    EXPECT_EQ(record.lParam, 0) << "no handler set yet";

    ASSERT_TRUE(runChunk(L,
                         "lua_setMessageHandler(debug.getregistry().__window, win, function(t) "
                         "local v = load('return ' .. t)() return v.position * 2 + 0.9 end)",
                         "=set", &error))
        << error;
    ASSERT_TRUE(addWindowMessageHandler(&window));
    ASSERT_EQ(uiContext()->messageHandlers.count(1024), 1u);
    Delegate* handler = uiContext()->messageHandlers.find(1024, [](Delegate*) { return true; });
    handler->invoke(nullptr, record);
    EXPECT_EQ(record.lParam, 74);

    // A message handler that fails is reported like a failing event handler; the worker gets 0.
    std::string bad = "{code=4}";
    record.wParam = reinterpret_cast<intptr_t>(bad.c_str());
    {
        DialogWatcher watcher;
        handler->invoke(nullptr, record);
        ASSERT_TRUE(watcher.finish());
        EXPECT_EQ(watcher.title(), L"错误");
        EXPECT_NE(watcher.text().find(L"position"), std::wstring::npos)
            << testsupport::narrow(watcher.text());
    }
    EXPECT_EQ(record.lParam, 0);
    EXPECT_EQ(lua_gettop(L), 0);

    size_t free = Delegate::poolAvailable();
    removeWindowObject(&window);
    EXPECT_EQ(uiContext()->messageHandlers.count(1024), 0u);
    EXPECT_EQ(Delegate::poolAvailable(), free + 1);
    invokeWindowMessageHandler(static_cast<WindowHost*>(&window), nullptr, record);
    EXPECT_EQ(record.lParam, 0) << "the window is gone from __window";
    EXPECT_EQ(lua_gettop(L), 0);
    closeScriptEngine(scriptEngine());
    destroyUiContextWithParts();
}

}  // namespace

namespace {

// The installer itself: a "UI.lua" with a syntax error shows the parser's message under "错误", and
// the process still shuts down with exit code 0.
TEST(SetupExe, UiScriptSyntaxErrorIsShownAndTheInstallerExitsWithZero) {
    std::wstring exe = testsupport::selfFolder() + L"\\" + testsupport::widen(TARVO_TEST_BROKEN_SETUP_EXE);
    testsupport::Process setup = testsupport::startProcess(exe);
    ASSERT_TRUE(setup);
    HWND box = testsupport::findDialog(setup.pid, L"错误", 30000);
    ASSERT_NE(box, nullptr) << "no error box";
    std::wstring text = testsupport::dialogText(box);
    EXPECT_EQ(text.rfind(L"[string \"-- broken UI script for tests...\"]:", 0), 0u)
        << testsupport::narrow(text);
    EXPECT_NE(text.find(L"'end' expected"), std::wstring::npos) << testsupport::narrow(text);
    EXPECT_TRUE(testsupport::pressButton(box, IDOK));
    EXPECT_EQ(testsupport::waitExit(setup, 30000), 0);
}

}  // namespace
