#include "window/shadowed_window.h"

#include "dui/loader.h"

namespace {

RECT shadowRect(const RECT& window) {
    return RECT{window.left - ShadowedWindow::kShadowLeft, window.top - ShadowedWindow::kShadowTop,
                window.right + ShadowedWindow::kShadowRight, window.bottom + ShadowedWindow::kShadowBottom};
}

}  // namespace

ProxyWindow::ProxyWindow(std::wstring layoutName) : layout_(std::move(layoutName)) {
    setLayered(true);
    setRoot(loadLayoutReporting(layout_.c_str(), &layoutError_));
}

ShadowedWindow::ShadowedWindow(std::wstring layoutName) : layout_(std::move(layoutName)) {}

HWND ShadowedWindow::shadowWindow() const {
    return shadow_ && IsWindow(shadow_) ? shadow_ : nullptr;
}

LRESULT ShadowedWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            setRoot(loadLayoutReporting(layout_.c_str(), &layoutError_));
            WindowImpl::handleMessage(message, wParam, lParam);
            createShadow();
            return 0;
        case WM_MOVE:
            repositionShadow();
            return 0;
        case WM_SIZE:
            repositionShadow();
            break;
        case WM_SHOWWINDOW:
            if (HWND shadow = shadowWindow())
                ShowWindow(shadow, wParam ? SW_SHOWNOACTIVATE : SW_HIDE);
            break;
        default:
            break;
    }
    return WindowImpl::handleMessage(message, wParam, lParam);
}

void ShadowedWindow::createShadow() {
    RECT r{};
    GetWindowRect(handle(), &r);
    const RECT s = shadowRect(r);
    const DWORD style = WS_POPUP | (IsWindowVisible(handle()) ? WS_VISIBLE : 0);
    auto* proxy = new ProxyWindow(kShadowLayout);
    if (layoutError_.empty())
        layoutError_ = proxy->layoutError();
    if (createNativeWindowEx(proxy, WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT, L"", style, s.left, s.top,
                             s.right - s.left, s.bottom - s.top, handle(), nullptr, nullptr))
        shadow_ = proxy->handle();
    repositionShadow();
}

void ShadowedWindow::repositionShadow() {
    HWND shadow = shadowWindow();
    RECT r{};
    if (!shadow || !GetWindowRect(handle(), &r))
        return;
    const RECT s = shadowRect(r);
    SetWindowPos(shadow, nullptr, s.left, s.top, s.right - s.left, s.bottom - s.top,
                 SWP_NOACTIVATE | SWP_NOZORDER);
    PostMessageW(shadow, kRepaintMessage, 0, 0);
}
