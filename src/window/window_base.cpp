#include "window/window_base.h"

#include <cwchar>
#include <map>
#include <utility>

#include "host/handles.h"
#include "host/static_order.h"

// The class procedure and the creation hook's binding step (friends of WindowBase).
LRESULT CALLBACK windowClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void bindPendingWindow(HWND hwnd);

namespace {

// Native handle -> bound object.
TARVO_STATIC_ORDER(kWindowRegistry) std::map<HWND, WindowBase*> g_windows;

std::map<HWND, WindowBase*>& registry() {
    return g_windows;
}

// The object whose native window is being created, and the creation hook that binds it.
WindowBase* g_pending = nullptr;
win::unique_hhook g_bindHook;

ATOM registerWindowClass() {
    static win::unique_wndclass windowClass = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = windowClassProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kWindowClassName;
        return win::unique_wndclass(RegisterClassExW(&wc), wc.hInstance);
    }();
    return windowClass.get();
}

LRESULT CALLBACK bindHookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        auto hwnd = reinterpret_cast<HWND>(wParam);
        wchar_t name[64] = {};
        if (g_pending && GetClassNameW(hwnd, name, 64) && std::wcscmp(name, kWindowClassName) == 0)
            bindPendingWindow(hwnd);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

void bindPendingWindow(HWND hwnd) {
    g_pending->hwnd_ = hwnd;
    registry()[hwnd] = g_pending;
    g_pending = nullptr;
    g_bindHook.reset();
}

LRESULT CALLBACK windowClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (WindowBase* window = windowFromHandle(hwnd))
        return window->handleMessage(message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

WindowBase::~WindowBase() {
    for (Watch* w = watches_; w; w = w->outer_) {
        w->window_ = nullptr;
        w->endCode_ = endCode_;
    }
    auto& windows = registry();
    auto it = windows.find(hwnd_);
    if (it != windows.end() && it->second == this)
        windows.erase(it);
}

LRESULT WindowBase::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        delete this;
        return 0;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

WindowBase::Watch::Watch(WindowBase* window) : window_(window), outer_(window->watches_) {
    window->watches_ = this;
}

WindowBase::Watch::~Watch() {
    if (window_)
        window_->watches_ = outer_;
}

int32_t WindowBase::runModal(HWND owner) {
    const HWND self = hwnd_;
    BOOL ownerWasEnabled = FALSE;
    if (owner) {
        if (IsIconic(owner))
            ShowWindow(owner, SW_RESTORE);
        ownerWasEnabled = IsWindowEnabled(owner);
        EnableWindow(owner, FALSE);
    }

    Watch watch(this);
    endCode_ = 0;
    ShowWindow(self, SW_SHOWNORMAL);
    auto code = [&] { return watch.alive() ? endCode_ : watch.endCodeAtDeath(); };

    // The end code is tested before each fetch, so a message fetched while the code was set (by a hook
    // or a sent message inside GetMessage) is still dispatched rather than lost.
    MSG msg;
    while (watch.alive() && endCode_ == 0) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1)
            break;
        if (got == 0) {
            if (code() == 0)
                PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop outside this one
            break;
        }
        if (msg.hwnd == self &&
            (msg.message == WM_CLOSE || (msg.message == WM_SYSCOMMAND && (msg.wParam & 0xFFF0) == SC_CLOSE)))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    if (owner) {
        EnableWindow(owner, ownerWasEnabled);
        SetActiveWindow(owner);
    }
    if (!watch.alive())
        return code();
    SetWindowPos(self, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    const int32_t result = code();
    if (watch.alive())
        DestroyWindow(self);
    return result;
}

void WindowBase::endModal(int32_t code) {
    endCode_ = code;
    PostMessageW(hwnd_, WM_NULL, 0, 0);
}

bool createNativeWindow(WindowBase* window, const wchar_t* title, DWORD style, int x, int y, int width,
                        int height, HWND parent, HMENU menu, HINSTANCE instance) {
    return createNativeWindowEx(window, 0, title, style, x, y, width, height, parent, menu, instance);
}

bool createNativeWindowEx(WindowBase* window, DWORD exStyle, const wchar_t* title, DWORD style, int x, int y,
                          int width, int height, HWND parent, HMENU menu, HINSTANCE instance) {
    if (!window)
        return false;
    HWND hwnd = nullptr;
    bool alive = true;
    if (registerWindowClass()) {
        // A window created from inside another's creation messages nests here.
        WindowBase* outerPending = std::exchange(g_pending, window);
        win::unique_hhook outerHook = std::move(g_bindHook);
        g_bindHook.reset(SetWindowsHookExW(WH_CBT, bindHookProc, nullptr, GetCurrentThreadId()));
        {
            WindowBase::Watch watch(window);
            if (g_bindHook)
                hwnd = CreateWindowExW(exStyle, kWindowClassName, title, style, x, y, width, height, parent,
                                       menu, instance ? instance : GetModuleHandleW(nullptr), nullptr);
            alive = watch.alive();
        }
        g_bindHook = std::move(outerHook);
        g_pending = outerPending;
    }
    if (!hwnd && alive)
        delete window;
    return hwnd != nullptr;
}

WindowBase* windowFromHandle(HWND hwnd) {
    auto& windows = registry();
    auto it = windows.find(hwnd);
    return it == windows.end() ? nullptr : it->second;
}

std::size_t boundWindowCount() {
    return registry().size();
}
