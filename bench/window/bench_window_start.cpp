// Start-up to first paint of a window from a layout, as the installer opens one: the UI context, the
// skin and the layouts loaded, a shadowed window of page.xml created and shown. Signals the event named
// on the command line once the window and its shadow have painted, then ends.
#include <windows.h>

#include "bench_page.h"
#include "host/handles.h"
#include "window/shadowed_window.h"

namespace {

class FirstPaintWindow : public ShadowedWindow {
  public:
    FirstPaintWindow() : ShadowedWindow(L"page.xml") {}
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        LRESULT result = ShadowedWindow::handleMessage(message, wParam, lParam);
        if (message == WM_PAINT)
            painted = true;
        return result;
    }
    bool painted = false;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    win::unique_handle done(OpenEventW(EVENT_MODIFY_STATE, FALSE, commandLine));
    if (!loadBenchPage())
        ExitProcess(1);
    auto* window = new FirstPaintWindow;
    if (!createNativeWindow(window, L"", WS_POPUP | WS_VISIBLE, 100, 100, 0, 0, nullptr, nullptr, nullptr))
        ExitProcess(2);
    HWND shadow = window->shadowWindow();
    auto* proxy = static_cast<WindowImpl*>(windowFromHandle(shadow));
    MSG msg;
    while (!(window->painted && proxy && proxy->dirtyAreas().empty()) &&
           GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    SetEvent(done.get());
    ExitProcess(0);
}
