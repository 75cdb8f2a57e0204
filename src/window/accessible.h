// Accessible objects of a WindowImpl (Microsoft Active Accessibility): the window answers WM_GETOBJECT
// for OBJID_CLIENT with an IAccessible whose children mirror its control tree, so screen readers and
// automation in other processes can read every control and operate it.
//
// Child ids: an object's positive child ids are positions among its own children (1 is the first);
// negative ids name any control of the window (Control::accessibleId, also used in WinEvents); 0 is
// the object itself. Every child is a full object of its own (get_accChild answers it). The layout's
// "id" is the object's help text, "id=5". A default action is checked at once (refused with
// E_ACCESSDENIED for a disabled or invisible control, DISP_E_MEMBERNOTFOUND without one) and done
// after the COM call has returned, from a posted call on the UI thread.
//
// Threads and lifetime: UI thread only (calls from other apartments arrive through COM's message
// loop). The bridge belongs to its window; objects live as long as clients hold them and answer
// RPC_E_DISCONNECTED once their control or window is gone.
#pragma once

#include <windows.h>

#include <map>

class WindowImpl;
class Control;

class ControlAccessible;

class AccessibleBridge {
  public:
    explicit AccessibleBridge(WindowImpl& window) : window_(window) {}
    AccessibleBridge(const AccessibleBridge&) = delete;
    AccessibleBridge& operator=(const AccessibleBridge&) = delete;
    // Disconnects every object handed out (remote clients get RPC_E_DISCONNECTED from then on).
    ~AccessibleBridge();

    // WM_GETOBJECT: the client object for OBJID_CLIENT; 0 (default processing) for other objects or
    // when the object cannot be handed out (for example without COM on this thread).
    LRESULT answerGetObject(WPARAM wParam, LPARAM lParam);

    // ---- For the objects ------------------------------------------------------------------------
    WindowImpl& window() const { return window_; }
    // The window's live root control, or null.
    Control* root() const;
    // The control named by a negative child id (or CHILDID_SELF: the root) and its accessible parent
    // (null for the root); null when no control of the window has the id.
    Control* find(LONG id, Control** parent = nullptr) const;
    // The object of a control of this window, AddRef'd; the same object while a client holds it.
    ControlAccessible* objectFor(Control* control);
    void forget(LONG id) { objects_.erase(id); }

  private:
    WindowImpl& window_;
    std::map<LONG, ControlAccessible*> objects_;  // by accessibleId; not owned (each removes itself)
};
