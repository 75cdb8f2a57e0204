// The reference for start-up to first paint: a bare Win32 popup of 600 x 400 that fills itself with one
// colour. Signals the event named on the command line after its first paint, then ends.
#include <windows.h>

#include "host/handles.h"

namespace {
win::unique_handle g_painted;
bool g_done = false;

LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        EndPaint(hwnd, &ps);
        SetEvent(g_painted.get());
        g_done = true;
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    g_painted.reset(OpenEventW(EVENT_MODIFY_STATE, FALSE, commandLine));
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.lpszClassName = L"BareWindow";
    RegisterClassW(&wc);
    CreateWindowExW(0, L"BareWindow", L"", WS_POPUP | WS_VISIBLE, 100, 100, 600, 400, nullptr, nullptr,
                    instance, nullptr);
    MSG msg;
    while (!g_done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    ExitProcess(0);
}
