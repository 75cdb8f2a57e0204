// WindowImpl: a top-level window that hosts one control tree. It paints the tree through a back buffer
// (plain windows through WM_PAINT, per-pixel-alpha layered windows through a dirty list and
// UpdateLayeredWindow), turns mouse and keyboard messages into control events, and keeps focus,
// capture, hover, tooltip and caret state. UI thread only.
//
// Ownership and lifetime: the window owns its root control and the tree below it. Like every
// WindowBase it belongs to its native window once created and deletes itself on WM_DESTROY, after
// detaching the tree (Detached on every control). A layer above that must act when the window goes
// (for example to drop its script tables and timers) derives from WindowImpl or a subclass, overrides
// handleMessage, does its work on WM_DESTROY and then calls the base, touching nothing afterwards.
//
// Identity: scripts, timers and message delegates know a window by its WindowHost address
// (static_cast<WindowHost*>(window)); static_cast back from that address, never compare addresses of
// different bases.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "dui/control.h"
#include "dui/window_host.h"
#include "host/handles.h"
#include "render/paint_surface.h"
#include "window/accessible.h"
#include "window/dirty_list.h"
#include "window/timer.h"
#include "window/window_base.h"

class WindowImpl : public WindowBase, public WindowHost {
  public:
    static constexpr int kHoverChainCapacity = 32;
    static constexpr COLORREF kCaretColor = 0x5A5A5A;

    // Takes ownership of `root`, which may be null (the window then paints nothing and routes no
    // input). The native window comes later, from createNativeWindow.
    explicit WindowImpl(Control* root = nullptr);
    ~WindowImpl() override;

    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // ---- WindowHost -----------------------------------------------------------------------------
    HWND windowHandle() const override { return handle(); }
    void storeControlId(int32_t id, Control* control) override { ids_[id] = control; }
    void eraseControlId(Control* control) override;
    // Drops capture, focus, remembered focus and hover resting on `control` or inside it, with
    // LostCapture, LostFocus and MouseLeave; hover is computed again from a posted mouse move.
    void forgetControl(Control* control) override;
    // Plain window: invalidates the area in the system, or adds it to the held-back area while a
    // paced repaint waits for its frame. Layered window: adds it to the dirty list,
    // pushing the collected areas to the screen first when the list is full.
    void addDirtyArea(const RECT& area) override;
    bool repaintScheduled() const override { return !layered_ && pushTimerArmed_; }
    POINT cursorClientPosition() const override;
    void setCaretSize(int width, int height) override;
    // Shows the caret at (x, y); a caret that was not blinking yet first appears one blink later.
    void showCaret(int x, int y) override;
    // Hides the caret, stops the blinking and cancels an input-method composition.
    void hideCaret() override;

    // ---- Focus and tree -------------------------------------------------------------------------
    // Moves the keyboard focus to `control` (null: no control), with LostFocus and GotFocus.
    void setFocusedControl(Control* control) override;
    // Measures the root (its "initSize", else what it needs within 1024 x 768), arranges it and
    // resizes the window to it, keeping the position. `flags` go to SetWindowPos with SWP_NOMOVE.
    void fitToLayout(UINT flags = SWP_NOZORDER | SWP_NOACTIVATE);

    Control* root() const { return root_.get(); }
    Control* controlById(int32_t id) const;
    Control* focusedControl() const override { return focused_; }
    Control* capturedControl() const override { return captured_; }
    Control* hoveredControl() const { return hovered_; }
    int hoverChainLength() const { return chainLength_; }
    bool tooltipShown() const { return tooltipShown_; }
    HWND tooltipWindow() const { return tooltip_.get(); }
    bool caretVisible() const { return caretVisible_; }
    RECT caretRect() const { return RECT{caretX_, caretY_, caretX_ + caretWidth_, caretY_ + caretHeight_}; }

    // ---- Keyboard (window_keys.cpp) --------------------------------------------------------------
    // Tab and Shift+Tab move the focus along focus::order; Space (on release) and Enter press the
    // focused button or link as a click does, Enter otherwise the default button; Escape and Alt+F4
    // press the cancel button; arrows move within radio groups and tabs and step sliders. Keys the
    // focused control keeps (Control::keepsKey) are routed to it as before.
    // The focus cues (the focus ring) show from the first key pressed in the window on, as the
    // system's own focus rectangles do; mouse users never see them.
    bool focusCuesShown() const { return focusCues_; }
    // Presses the control as a left click on its centre does, with the same events in the same order
    // (the mouse capture stays the system's, and the keyboard focus stays where it is).
    void pressLikeClick(Control* control);
    // Where the focus ring of a control is drawn, client coordinates (empty when none is drawn for it).
    RECT focusRingRect(const Control* control) const;
    static constexpr COLORREF kFocusRingColor = RGB(0, 84, 166);
    static constexpr int kFocusRingGap = 1;  // white between the control and the ring
    static constexpr int kFocusRingWidth = 2;

    // ---- Painting -------------------------------------------------------------------------------
    bool layered() const { return layered_; }
    const DirtyList& dirtyAreas() const { return dirty_; }
    const PaintSurface& backBuffer() const { return backBuffer_; }
    // Layered window: paints every dirty area into the back buffer and pushes the whole buffer to the
    // screen; nothing when the list is empty. Message 1025 calls it. Areas invalidated by the paints
    // wait for the next flush, which it requests; it never runs inside itself. The push itself is
    // paced (below).
    void flushDirtyAreas();
    // The changed area painted into the back buffer but not yet pushed to the screen (empty when the
    // screen shows the back buffer). A push is held back while mouse or key input waits in the queue
    // (it goes first, for one frame at most) and while the last push is less than one display frame
    // old; a timer of the window then pushes what was held back, so the last state painted always
    // reaches the screen.
    // Plain window: a paced repaint request (kRepaintPaced) paints at once unless the window painted
    // less than one display frame ago; then the dirty area is held back here and the window's timer
    // paints it when the frame is over. Any other request paints the held-back area at once. A repaint
    // leaves the area to the system's WM_PAINT while input or posted messages wait (a click's handler
    // runs before the pressed button is painted).
    RECT heldBackArea() const { return heldBack_; }

  protected:
    // For subclasses that build their tree late: replaces the root before WM_CREATE.
    void setRoot(Control* root);
    // Makes the window per-pixel-alpha layered; before WM_CREATE.
    void setLayered(bool perPixelAlpha);

  private:
    class CaretTimer : public Timer {
      public:
        explicit CaretTimer(WindowImpl& window) : window_(window) {}
        void tick() override { window_.toggleCaret(); }

      private:
        WindowImpl& window_;
    };

    // Creation, size and painting (window_impl.cpp).
    LRESULT onCreate();
    LRESULT onSize(WPARAM kind);
    LRESULT onPaint();
    void applyRoundCorner();
    void createTooltip();
    void paintTree(HDC dc, const RECT& area);
    void drawCaret(HDC dc);
    void repaintPlain(bool paced);
    void releaseHeldBack();  // plain window: the held-back area becomes invalid in the system again
    void armHoldTimer(double delayMs);
    void pushLayered(const RECT& changed);
    void pushHeldBack();
    static void CALLBACK onPushTimer(HWND window, UINT, UINT_PTR, DWORD);
    void invalidateCaret();
    void toggleCaret();

    // Input (window_input.cpp).
    Control* controlAt(POINT client) const;
    Control* enabledControlAt(POINT client) const;
    LRESULT onKey(int32_t previewId, int32_t id, WPARAM wParam, LPARAM lParam);
    LRESULT onButtonDown(bool left, WPARAM wParam, LPARAM lParam);
    LRESULT onButtonUp(bool left, WPARAM wParam, LPARAM lParam);
    LRESULT onDoubleClick(bool left, WPARAM wParam, LPARAM lParam);
    LRESULT onMouseMove(WPARAM wParam, LPARAM lParam);
    LRESULT onMouseWheel(WPARAM wParam, LPARAM lParam);
    LRESULT onMouseHover(LPARAM lParam);
    LRESULT onMouseLeave(WPARAM wParam, LPARAM lParam);
    void onCaptureChanged();
    bool onSetCursor();
    void onKillFocus();
    // Keyboard (window_keys.cpp): true when the key was spent on navigation or a press.
    bool onNavigationKey(UINT message, WPARAM wParam, LPARAM lParam);
    bool swallowChar(WPARAM character);
    bool arrowKey(Control* focused, int step);
    void pressDown(Control* control);
    void pressUp(Control* control);
    void cancelKeyPress();
    void showFocusCues();
    void invalidateFocusRing(const Control* control);
    void drawFocusRing(HDC dc);
    void updateHover(WPARAM wParam, LPARAM lParam);
    void requestMouseTracking();
    void hideTooltip();
    void postMouseMove();
    void endCapture(Control* control);

    std::unique_ptr<Control> root_;
    std::map<int32_t, Control*> ids_;  // entries not owned
    PaintSurface backBuffer_;

    // Not owned; each is live or null (forgetControl keeps them so).
    Control* captured_ = nullptr;
    Control* focused_ = nullptr;
    Control* rememberedFocus_ = nullptr;  // focused again when the window is activated
    Control* hovered_ = nullptr;
    Control* chain_[kHoverChainCapacity] = {};  // hovered control and its ancestors, innermost first
    int chainLength_ = 0;
    bool trackingMouse_ = false;

    win::unique_hwnd tooltip_;
    TTTOOLINFOW toolInfo_{};
    std::wstring tooltipText_;
    bool tooltipShown_ = false;

    int caretX_ = 0, caretY_ = 0, caretWidth_ = 1, caretHeight_ = 16;
    bool caretVisible_ = false;
    CaretTimer caretTimer_{*this};

    bool layered_ = false;
    BYTE constantAlpha_ = 255;
    bool perPixelAlpha_ = false;
    DirtyList dirty_;  // areas for the next flush, also those invalidated while one paints
    bool flushing_ = false;
    RECT heldBack_{0, 0, 0, 0};  // layered: painted, not yet pushed; plain: not yet painted
    double lastPushMs_ = -1e9;   // when the last push or plain paint went out (performance counter, ms)
    double heldSinceMs_ = 0;     // when heldBack_ last turned non-empty
    bool pushTimerArmed_ = false;

    bool focusCues_ = false;
    Control* keyPressed_ = nullptr;  // held down by Space until its release; live or checked by serial
    uint32_t keyPressedSerial_ = 0;
    wchar_t swallowedChar_ = 0;  // the character of a key spent on navigation, not typed

    AccessibleBridge accessible_{*this};  // answers WM_GETOBJECT
};
