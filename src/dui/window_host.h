// What a control tree needs from the window it is attached to. The top-level window implements it;
// a control keeps a non-owning pointer while attached. UI thread only.
//
// Identity: a window object derives from several bases, so its addresses differ by base. The one
// address that names a window to scripts (handles in `__window`), to script timers and to message
// delegates is its WindowHost* address, the same pointer Control::window() answers. Convert with
// static_cast<WindowHost*>(window) before storing or comparing; never compare addresses of other bases.
#pragma once

#include <windows.h>
#include <cstdint>

class Control;

class WindowHost {
  public:
    // Native window: client rectangle and the repaint request (message 1025) go to it.
    virtual HWND windowHandle() const = 0;
    // Id map: stores `control` under `id`, replacing an earlier control with that id.
    virtual void storeControlId(int32_t id, Control* control) = 0;
    // Removes every id-map entry naming `control` (it is being destroyed).
    virtual void eraseControlId(Control* control) = 0;
    // Drops capture, focus and hover resting on `control` or inside it (disabled, hidden or detached).
    virtual void forgetControl(Control* control) = 0;
    // Marks a client rectangle for repainting; the caller then sends or posts message 1025.
    virtual void addDirtyArea(const RECT& area) = 0;
    // True while the window paints newly dirty areas by itself (a held-back repaint waits for its
    // frame), so a posted repaint request would change nothing.
    virtual bool repaintScheduled() const { return false; }
    // The cursor in client coordinates.
    virtual POINT cursorClientPosition() const = 0;
    // Keyboard focus: moves it to `control` (null: no control) with LostFocus and GotFocus; a host
    // without focus ignores it.
    virtual void setFocusedControl(Control* /*control*/) {}
    virtual Control* focusedControl() const { return nullptr; }
    // The control holding the mouse capture, or null.
    virtual Control* capturedControl() const { return nullptr; }

    // The text caret, drawn by the window over the tree (client coordinates). A host without a caret
    // ignores these.
    virtual void setCaretSize(int /*width*/, int /*height*/) {}
    virtual void showCaret(int /*x*/, int /*y*/) {}
    virtual void hideCaret() {}

  protected:
    ~WindowHost() = default;
};

// The repaint request a control sends or posts to its window after addDirtyArea. A request whose
// wParam is kRepaintPaced may be folded into the next display frame's paint (the window paints at
// once unless it painted less than a frame ago); any other request paints what is dirty now.
constexpr UINT kRepaintMessage = WM_USER + 1;
constexpr WPARAM kRepaintPaced = 1;
