#include "test_window.h"

namespace {
constexpr wchar_t kClass[] = L"DuiTestWindow";
}

TestWindow::TestWindow(int width, int height) {
    static ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = proc;
        wc.lpszClassName = kClass;
        wc.hInstance = GetModuleHandleW(nullptr);
        return RegisterClassW(&wc);
    }();
    (void)atom;
    hwnd_ = CreateWindowExW(0, kClass, L"dui test", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);
}

TestWindow::~TestWindow() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

LRESULT CALLBACK TestWindow::proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == kRepaintMessage && self) {
        ++self->repaintRequests;
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void TestWindow::forgetControl(Control* control) {
    forgotten.push_back(control);
}

void TestWindow::pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
