// Script window functions and control methods under Wine: Lua case files run in the UI interpreter
// with the test layouts loaded, creating real windows, running them modally and driving them with real
// mouse and keyboard input.
#include <gtest/gtest.h>
#include <windows.h>
#include <lua.hpp>
#include <shlobj.h>

#include <atomic>
#include <mutex>
#include <vector>
#include <string>
#include <thread>

#include "controls/controls.h"
#include "dui/context_parts.h"
#include "dui/control.h"
#include "dui/factory.h"
#include "dui/loader.h"
#include "host/handles.h"
#include "host/resource_file_system.h"
#include "host/ui_context.h"
#include "render/skin_store.h"
#include "sysfunc/lua_text.h"
#include "script/lua_window.h"
#include "script/script_engine.h"
#include "ui_test_support.h"
#include "script_case_support.h"
#include "win_test_support.h"
#include "window/timer.h"
#include "worker/lua_work.h"

namespace {

// ---- Natives for the case files ---------------------------------------------------------------------

HWND hwndArg(lua_State* L, int index) {
    return reinterpret_cast<HWND>(static_cast<intptr_t>(script::argInteger(L, index)));
}

// test_hwnd(windowTable) -> native handle, or nil once the window is gone.
int luaHwnd(lua_State* L) {
    LuaWindow* w = luaWindowAt(L, 1);
    if (!w)
        return 0;
    lua_pushnumber(L, static_cast<lua_Number>(reinterpret_cast<intptr_t>(w->handle())));
    return 1;
}

int luaIsWindow(lua_State* L) {
    lua_pushboolean(L, IsWindow(hwndArg(L, 1)));
    return 1;
}

int luaIsVisible(lua_State* L) {
    lua_pushboolean(L, IsWindowVisible(hwndArg(L, 1)));
    return 1;
}

// test_windowRect(hwnd) -> left, top, right, bottom
int luaWindowRect(lua_State* L) {
    RECT r = testsupport::windowRect(hwndArg(L, 1));
    lua_pushnumber(L, r.left);
    lua_pushnumber(L, r.top);
    lua_pushnumber(L, r.right);
    lua_pushnumber(L, r.bottom);
    return 4;
}

int luaScreenSize(lua_State* L) {
    lua_pushnumber(L, GetSystemMetrics(SM_CXSCREEN));
    lua_pushnumber(L, GetSystemMetrics(SM_CYSCREEN));
    return 2;
}

// test_shadowOf(hwnd) -> the shadow window's handle, or nil
int luaShadowOf(lua_State* L) {
    auto* w = dynamic_cast<ShadowedWindow*>(windowFromHandle(hwndArg(L, 1)));
    if (!w || !w->shadowWindow())
        return 0;
    lua_pushnumber(L, static_cast<lua_Number>(reinterpret_cast<intptr_t>(w->shadowWindow())));
    return 1;
}

// The screen centre of a control (argument 1, a control table), or false.
bool controlCentre(lua_State* L, POINT* out) {
    Control* c = controlFromSelf(L);
    RECT r{};
    if (!c || !c->window() || !c->windowRect(&r))
        return false;
    *out = testsupport::clientToScreen(c->window()->windowHandle(),
                                       POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    return true;
}

// test_click(controlTable): a real left click at the control's centre (queued input).
int luaClick(lua_State* L) {
    POINT p{};
    bool ok = controlCentre(L, &p);
    if (ok)
        testsupport::click(p);
    lua_pushboolean(L, ok);
    return 1;
}

// test_moveTo(controlTable): the real pointer onto the control's centre.
int luaMoveTo(lua_State* L) {
    POINT p{};
    bool ok = controlCentre(L, &p);
    if (ok)
        testsupport::moveMouse(p);
    lua_pushboolean(L, ok);
    return 1;
}

// test_bringToFront(hwnd) -> whether the window is the foreground window with the keyboard focus.
int luaBringToFront(lua_State* L) {
    lua_pushboolean(L, testsupport::bringToFront(hwndArg(L, 1)));
    return 1;
}

// test_typeText(text) -> false when a character has no key of its own on the keyboard layout. Each
// character is typed as the user would: its virtual key, with Shift held when the layout needs it.
int luaTypeText(lua_State* L) {
    for (wchar_t ch : script::argText(L, 1)) {
        SHORT scan = VkKeyScanW(ch);
        if (scan == -1 || (HIBYTE(scan) & ~1)) {
            lua_pushboolean(L, false);
            return 1;
        }
        bool shift = HIBYTE(scan) & 1;
        if (shift)
            testsupport::keyDown(VK_SHIFT);
        testsupport::pressKey(LOBYTE(scan));
        if (shift)
            testsupport::keyUp(VK_SHIFT);
    }
    lua_pushboolean(L, true);
    return 1;
}

int luaMouseDown(lua_State*) {
    testsupport::mouseDown();
    return 0;
}

int luaMouseUp(lua_State*) {
    testsupport::mouseUp();
    return 0;
}

// test_drainPosted(ms) -> whether everything posted to this thread before the call was dispatched
// within ms (a marker thread message posted now comes back after all of it).
int luaDrainPosted(lua_State* L) {
    constexpr UINT kMarker = WM_APP + 77;
    const DWORD timeout = static_cast<DWORD>(script::argInteger(L, 1));
    PostThreadMessageW(GetCurrentThreadId(), kMarker, 0, 0);
    bool seen = false;
    testsupport::pumpUntil(
        [&] {
            MSG message;
            if (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE) && !message.hwnd &&
                message.message == kMarker) {
                PeekMessageW(&message, nullptr, kMarker, kMarker, PM_REMOVE);
                seen = true;
            }
            return seen;
        },
        timeout);
    lua_pushboolean(L, seen);
    return 1;
}

int luaPumpFor(lua_State* L) {
    testsupport::pumpFor(static_cast<DWORD>(script::argInteger(L, 1)));
    return 0;
}

// test_pumpUntil(fn, ms) -> fn's last answer
int luaPumpUntil(lua_State* L) {
    bool result = testsupport::pumpUntil(
        [L] {
            lua_pushvalue(L, 1);
            lua_call(L, 0, 1);
            bool v = lua_toboolean(L, -1) != 0;
            lua_pop(L, 1);
            return v;
        },
        static_cast<DWORD>(script::argInteger(L, 2)));
    lua_pushboolean(L, result);
    return 1;
}

int luaPostQuit(lua_State* L) {
    PostQuitMessage(static_cast<int>(script::argInteger(L, 1)));
    return 0;
}

// test_takeQuit() -> the exit code of a queued quit message (removed), or nil
int luaTakeQuit(lua_State* L) {
    MSG message;
    if (!PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        return 0;
    lua_pushnumber(L, static_cast<lua_Number>(message.wParam));
    return 1;
}

int luaRunningTimers(lua_State* L) {
    lua_pushnumber(L, static_cast<lua_Number>(runningTimerCount()));
    return 1;
}

int luaCursorIsHand(lua_State* L) {
    lua_pushboolean(L, GetCursor() == LoadCursorW(nullptr, IDC_HAND));
    return 1;
}

// test_cursorIs(id) -> whether the current cursor is the system cursor with that id (32512 the arrow).
int luaCursorIs(lua_State* L) {
    WORD id = static_cast<WORD>(script::argInteger(L, 1));
    lua_pushboolean(L, GetCursor() == LoadCursorW(nullptr, MAKEINTRESOURCEW(id)));
    return 1;
}

int luaDestroyWindow(lua_State* L) {
    lua_pushboolean(L, DestroyWindow(hwndArg(L, 1)));
    return 1;
}

// test_repaintPending(w) -> whether a repaint request (message 1025) waits for the window
int luaRepaintPending(lua_State* L) {
    LuaWindow* w = luaWindowAt(L, 1);
    MSG msg;
    lua_pushboolean(L, w && PeekMessageW(&msg, w->handle(), kRepaintMessage, kRepaintMessage, PM_NOREMOVE));
    return 1;
}

int luaIsEnabled(lua_State* L) {
    lua_pushboolean(L, IsWindowEnabled(hwndArg(L, 1)));
    return 1;
}

// test_notify(text) -> the answer of the application's notification handlers
int luaNotify(lua_State* L) {
    lua_pushnumber(L, deliverNotification(luaL_checkstring(L, 1)));
    return 1;
}

int luaDesktopFolder(lua_State* L) {
    wchar_t path[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOPDIRECTORY, FALSE);
    script::pushText(L, path);
    return 1;
}

int luaHandlerCount(lua_State* L) {
    UiContext* context = uiContext();
    lua_pushnumber(
        L, context ? static_cast<lua_Number>(context->messageHandlers.count(kNotificationMessage)) : 0);
    return 1;
}

// A thread that answers the next folder browser of this process: "cancel", or "pick" (OK on the
// folder the browser shows selected).
std::thread g_browser;
std::atomic<bool> g_browserSeen{false};

int luaAnswerBrowser(lua_State* L) {
    std::wstring action = script::argText(L, 1);
    if (g_browser.joinable())
        g_browser.join();
    g_browserSeen = false;
    g_browser = std::thread([action] {
        DWORD start = GetTickCount();
        while (GetTickCount() - start < 15000) {
            for (HWND dialog : testsupport::topLevelWindows(GetCurrentProcessId(), L"#32770")) {
                if (!IsWindowVisible(dialog))
                    continue;
                g_browserSeen = true;
                if (action == L"pick") {
                    testsupport::pressButton(dialog, IDOK);
                } else {
                    testsupport::pressButton(dialog, IDCANCEL);
                }
                return;
            }
            Sleep(20);
        }
    });
    return 0;
}

int luaBrowserSeen(lua_State* L) {
    if (g_browser.joinable())
        g_browser.join();
    lua_pushboolean(L, g_browserSeen.load());
    return 1;
}

// test_loadLayouts(resource) -> whether the layout store now holds that archive
int luaLoadLayouts(lua_State* L) {
    lua_pushboolean(L, loadLayouts(script::argText(L, 1).c_str()));
    return 1;
}

int luaTakeErrorBoxes(lua_State* L);

const luaL_Reg kTestNatives[] = {
    {"test_hwnd", luaHwnd},
    {"test_isWindow", luaIsWindow},
    {"test_isVisible", luaIsVisible},
    {"test_windowRect", luaWindowRect},
    {"test_screenSize", luaScreenSize},
    {"test_shadowOf", luaShadowOf},
    {"test_click", luaClick},
    {"test_moveTo", luaMoveTo},
    {"test_mouseDown", luaMouseDown},
    {"test_mouseUp", luaMouseUp},
    {"test_drainPosted", luaDrainPosted},
    {"test_bringToFront", luaBringToFront},
    {"test_typeText", luaTypeText},
    {"test_pumpFor", luaPumpFor},
    {"test_pumpUntil", luaPumpUntil},
    {"test_postQuit", luaPostQuit},
    {"test_takeQuit", luaTakeQuit},
    {"test_runningTimers", luaRunningTimers},
    {"test_cursorIsHand", luaCursorIsHand},
    {"test_cursorIs", luaCursorIs},
    {"test_destroyWindow", luaDestroyWindow},
    {"test_handlerCount", luaHandlerCount},
    {"test_isEnabled", luaIsEnabled},
    {"test_repaintPending", luaRepaintPending},
    {"test_notify", luaNotify},
    {"test_desktopFolder", luaDesktopFolder},
    {"test_answerBrowser", luaAnswerBrowser},
    {"test_browserSeen", luaBrowserSeen},
    {"test_loadLayouts", luaLoadLayouts},
    {"test_takeErrorBoxes", luaTakeErrorBoxes},
};

// The catalogue with the test layouts and the installer's skin, for the whole run.
class WindowScriptEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        files_.registerName(L"frame.lz", 401);
        files_.registerName(L"style.lz", 402);
        files_.registerName(L"bad_shadow.lz", 403);
    }

  private:
    ResourceFileSystem files_;
};

::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new WindowScriptEnvironment);

// Answers every script-error box ("错误") of this process while a case file runs and keeps its text,
// so a failing handler shows up as a test failure instead of a box nobody closes.
class ErrorBoxWatcher {
  public:
    ErrorBoxWatcher() {
        thread_ = std::thread([this] {
            while (!stop_) {
                for (HWND dialog : testsupport::topLevelWindows(GetCurrentProcessId(), L"#32770")) {
                    if (IsWindowVisible(dialog) && testsupport::windowText(dialog) == L"错误") {
                        {
                            std::lock_guard<std::mutex> lock(mutex_);
                            texts_.push_back(testsupport::dialogText(dialog));
                        }
                        testsupport::pressButton(dialog, IDOK);
                    }
                }
                Sleep(20);
            }
        });
    }
    ~ErrorBoxWatcher() { stop(); }
    void stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    std::vector<std::wstring> texts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return texts_;
    }
    // The texts so far, which a case expected: they no longer count as failures.
    std::vector<std::wstring> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::move(texts_);
    }

  private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::wstring> texts_;
};

ErrorBoxWatcher* g_errorBoxes = nullptr;

// test_takeErrorBoxes() -> the texts of the error boxes answered since the last call (UTF-8)
int luaTakeErrorBoxes(lua_State* L) {
    lua_newtable(L);
    if (!g_errorBoxes)
        return 1;
    int i = 0;
    for (const std::wstring& text : g_errorBoxes->take()) {
        script::pushText(L, text);
        lua_rawseti(L, -2, ++i);
    }
    return 1;
}

class WindowScript : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(createUiContextWithParts());
        registerControlCreators(*uiParts()->controlCreators);
        ASSERT_TRUE(uiParts()->skin->loadSkin(L"style.lz"));
        ASSERT_TRUE(loadLayouts(L"frame.lz"));
        ASSERT_TRUE(createScriptEngine(scriptEngine()));
        for (const luaL_Reg& f : kTestNatives) lua_register(scriptEngine().state(), f.name, f.func);
    }
    void TearDown() override {
        if (g_browser.joinable())
            g_browser.join();
        closeScriptEngine(scriptEngine());
        destroyUiContextWithParts();
    }
};

TEST_P(WindowScript, CasesPass) {
    const std::string file = std::string("window_lua/") + GetParam() + ".lua";
    runLuaCases(scriptEngine().state(), file, "window_lua/preamble.lua",
                [&](const std::function<void()>& run) {
                    ErrorBoxWatcher errors;
                    g_errorBoxes = &errors;
                    run();
                    g_errorBoxes = nullptr;
                    errors.stop();
                    for (const std::wstring& text : errors.texts())
                        ADD_FAILURE() << file << ": script error box: " << testsupport::narrow(text);
                });
    // Every window a case made is gone, with its timers and notification delegates.
    EXPECT_EQ(boundWindowCount(), 0u);
    EXPECT_EQ(runningTimerCount(), 0u);
    EXPECT_EQ(uiContext()->messageHandlers.count(kNotificationMessage), 0u);
}

INSTANTIATE_TEST_SUITE_P(Script, WindowScript, ::testing::Values("windows", "controls", "inputs"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

}  // namespace
