#include "ui_test_support.h"

#include "host/handles.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <cwchar>

namespace testsupport {

// ---- Waiting ---------------------------------------------------------------------------------------

void pumpFor(DWORD durationMs) {
    pumpUntil([] { return false; }, durationMs);
}

namespace {
struct FindState {
    const wchar_t* className;
    const wchar_t* title;
    HWND found;
};
BOOL CALLBACK matchWindow(HWND hwnd, LPARAM param) {
    auto* state = reinterpret_cast<FindState*>(param);
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    if (std::wcscmp(name, state->className) != 0)
        return TRUE;
    if (state->title) {
        wchar_t text[512] = {};
        // The title of a window of this thread is read directly; another thread's without waiting.
        InternalGetWindowText(hwnd, text, 512);
        if (std::wcscmp(text, state->title) != 0)
            return TRUE;
    }
    state->found = hwnd;
    return FALSE;
}
}  // namespace

HWND waitForWindow(const wchar_t* className, const wchar_t* title, DWORD timeoutMs) {
    FindState state{className, title, nullptr};
    pumpUntil(
        [&] {
            EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&state));
            return state.found != nullptr;
        },
        timeoutMs);
    return state.found;
}

bool waitVisible(HWND window, bool visible, DWORD timeoutMs) {
    return pumpUntil([&] { return (IsWindowVisible(window) != FALSE) == visible; }, timeoutMs);
}

bool waitDestroyed(HWND window, DWORD timeoutMs) {
    return pumpUntil([&] { return !IsWindow(window); }, timeoutMs);
}

// ---- Window state ----------------------------------------------------------------------------------

DWORD windowStyle(HWND window) {
    return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
}

DWORD windowExStyle(HWND window) {
    return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
}

RECT windowRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

RECT clientScreenRect(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

POINT clientToScreen(HWND window, POINT client) {
    ClientToScreen(window, &client);
    return client;
}

uint32_t screenPixel(int x, int y) {
    auto screen = win::get_dc(nullptr);
    const COLORREF c = screen ? GetPixel(screen.get(), x, y) : CLR_INVALID;
    if (c == CLR_INVALID)
        return 0xFFFFFFFF;
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

uint32_t waitScreenPixel(int x, int y, uint32_t rgb, DWORD timeoutMs) {
    uint32_t seen = 0xFFFFFFFF;
    pumpUntil(
        [&] {
            seen = screenPixel(x, y);
            return seen == rgb;
        },
        timeoutMs);
    return seen;
}

// ---- Real input ------------------------------------------------------------------------------------

namespace {
void sendMouse(DWORD flags, LONG dx = 0, LONG dy = 0, DWORD data = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dy;
    input.mi.mouseData = data;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof(input));
}

void sendKey(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof(input));
}
}  // namespace

void moveMouse(int x, int y) {
    // An absolute SendInput move can land a pixel off; SetCursorPos is exact, the relative move of
    // zero then delivers the move message at that point.
    SetCursorPos(x, y);
    sendMouse(MOUSEEVENTF_MOVE);
}

void moveMouse(POINT screen) {
    moveMouse(screen.x, screen.y);
}

void mouseDown(Button button) {
    sendMouse(button == Button::Left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN);
}

void mouseUp(Button button) {
    sendMouse(button == Button::Left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP);
}

void click(POINT screen, Button button) {
    moveMouse(screen);
    mouseDown(button);
    mouseUp(button);
}

void doubleClick(POINT screen, Button button) {
    click(screen, button);
    mouseDown(button);
    mouseUp(button);
}

void wheel(int notches) {
    sendMouse(MOUSEEVENTF_WHEEL, 0, 0, static_cast<DWORD>(notches * WHEEL_DELTA));
}

void keyDown(WORD virtualKey) {
    sendKey(virtualKey, false);
}

void keyUp(WORD virtualKey) {
    sendKey(virtualKey, true);
}

void pressKey(WORD virtualKey) {
    keyDown(virtualKey);
    keyUp(virtualKey);
}

bool bringToFront(HWND window, DWORD timeoutMs) {
    SetForegroundWindow(window);
    SetActiveWindow(window);
    SetFocus(window);
    return pumpUntil([&] { return GetForegroundWindow() == window && GetFocus() == window; }, timeoutMs);
}

std::optional<ClipboardGuard> openClipboard(HWND owner) {
    std::optional<ClipboardGuard> clipboard;
    if (!pumpUntil(
            [&] {
                clipboard.emplace(win::open_clipboard(owner));
                return static_cast<bool>(*clipboard);
            },
            2000))
        return std::nullopt;
    return clipboard;
}

bool setClipboardText(const std::wstring& text) {
    // A message-only window owns the clipboard: with no owner, SetClipboardData fails.
    win::unique_hwnd owner(
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    auto clipboard = owner ? openClipboard(owner.get()) : std::nullopt;
    if (!clipboard)
        return false;
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    win::unique_hglobal block(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!block)
        return false;
    {
        auto locked = win::global_lock(block.get());
        if (!locked.get())
            return false;
        std::memcpy(locked.get(), text.c_str(), bytes);
    }
    if (!SetClipboardData(CF_UNICODETEXT, block.get()))
        return false;
    block.release();  // the clipboard owns it now
    return true;
}

}  // namespace testsupport
