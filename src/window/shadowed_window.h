// ShadowedWindow: a WindowImpl whose tree comes from a named layout and which carries a click-through,
// per-pixel-alpha companion (ProxyWindow) drawing a soft shadow around it. The companion follows the
// window's position, size and visibility without ever taking the activation, and is destroyed by the
// system together with the window that owns it. UI thread only; lifetime as for every WindowImpl.
#pragma once

#include <string>

#include "window/window_impl.h"

// The shadow companion: a layered WindowImpl whose whole look is its own layout's tree, sized to the
// shadow rectangle. Owned by its native window.
class ProxyWindow : public WindowImpl {
  public:
    // Builds the tree of `layoutName` now (null when the layout store lacks it or it is malformed:
    // an empty shadow).
    explicit ProxyWindow(std::wstring layoutName);
    const std::wstring& layoutName() const { return layout_; }
    // Where and why the layout could not be parsed ("entry:line:column: message"); empty when it was.
    const std::wstring& layoutError() const { return layoutError_; }

  private:
    std::wstring layout_;
    std::wstring layoutError_;
};

class ShadowedWindow : public WindowImpl {
  public:
    // How far the shadow reaches beyond the window on each side, in pixels.
    static constexpr int kShadowLeft = 20;
    static constexpr int kShadowTop = 14;
    static constexpr int kShadowRight = 16;
    static constexpr int kShadowBottom = 21;
    static constexpr wchar_t kShadowLayout[] = L"proxywindow.xml";

    // Stores the layout name; the tree is built on WM_CREATE. Create the native window next with
    // createNativeWindow (no title, position and size 0: the layout decides the size).
    explicit ShadowedWindow(std::wstring layoutName);

    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The shadow's native window (null before creation or when it could not be made).
    HWND shadowWindow() const;
    const std::wstring& layoutName() const { return layout_; }
    // After creation: why its own layout or the shadow's could not be parsed (as ProxyWindow says);
    // empty when both were. The window is then without that tree, and its owner should give it up.
    const std::wstring& layoutError() const { return layoutError_; }

  private:
    void createShadow();
    void repositionShadow();

    HWND shadow_ = nullptr;  // owned by the system through this window
    std::wstring layout_;
    std::wstring layoutError_;
};
