// Control: a node of a window's element tree with links, bounds, flags and per-event delegate lists.
// A control is live while attached to a window (WindowHost); dispatch, invalidation, point conversion
// and layout do nothing for a control that is not live. UI thread only.
#pragma once

#include <windows.h>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "dui/delegate.h"
#include "dui/object.h"

class WindowHost;

// Flag-word bits (script-visible through readFlag/writeFlag by bit number).
namespace flag {
constexpr uint32_t enabled = 0x1;
constexpr uint32_t visible = 0x2;
constexpr uint32_t focused = 0x4;
constexpr uint32_t pressed = 0x8;
constexpr uint32_t hover = 0x10;
constexpr uint32_t repaintOnState = 0x20;
constexpr uint32_t captureOnPress = 0x40;
constexpr uint32_t focusOnPress = 0x80;
constexpr uint32_t unfocusOnPress = 0x100;
constexpr uint32_t dropTarget = 0x200;
constexpr uint32_t transparent = 0x400;
constexpr uint32_t doubleClick = 0x800;
constexpr uint32_t collapsed = 0x1000;
constexpr uint32_t container = 0x2000;
constexpr uint32_t checked = 0x4000;
constexpr uint32_t wheelAdjust = 0x8000;
constexpr uint32_t hasScriptObject = 0x40000;

// Initial flag words by class family.
constexpr uint32_t kControlInitial = enabled | visible;  // 0x3
constexpr uint32_t kPanelInitial = 0x2003;
}  // namespace flag

// What a control asks of the modules that own painting and scripts. Each owner hands its object in
// with the setter below (null: none); the object is not owned and must outlive its installation.
// Until a painter is handed in the default paint draws nothing; until a script owner is, a destroyed
// control tells no one. UI thread only.
class StylePainter {
  public:
    // Paints `control` into `rect` with the style named `styleName`.
    virtual void paintStyle(Control& control, HDC dc, const RECT& rect, const wchar_t* styleName) const = 0;

  protected:
    ~StylePainter() = default;
};
void setStylePainter(const StylePainter* painter);

class ScriptObjectOwner {
  public:
    // `control` is destroyed or leaves its tree for good: drop its table if one was made (the owner
    // keeps its own record: a script may clear has-script-object).
    virtual void releaseScriptObject(Control* control) = 0;

  protected:
    ~ScriptObjectOwner() = default;
};
void setScriptObjectOwner(ScriptObjectOwner* owner);

class Control : public Object {
  public:
    explicit Control(uint32_t initialFlags = flag::kControlInitial);
    // Disarms every delegate, tells the script host, then frees delegates and
    // attributes. A control destroyed while attached also leaves the live set and the window's id map.
    ~Control() override;

    // Draws the "style" attribute's style into `rect` (surface coordinates).
    virtual void paint(HDC dc, const RECT& rect, const RECT& clip);
    // `point` in the parent's coordinates; this control when visible, not transparent, inside.
    virtual Control* hitTest(POINT point);
    // The script-visible type name.
    virtual const wchar_t* typeName() const { return L"Control"; }
    // Content size for the available size.
    virtual SIZE measure(SIZE /*available*/) { return SIZE{0, 0}; }
    // Places the content in the final size; answers the size used.
    virtual SIZE arrange(SIZE finalSize) { return finalSize; }

    // Delegates. addDelegate answers false when the delegate pool is exhausted (nothing is added).
    bool addDelegate(int32_t eventId, void* context, EventFn function);
    void removeDelegate(int32_t eventId, void* context, EventFn function);
    // Whether any delegate is registered on this control for the event.
    bool hasDelegates(int32_t eventId) const;
    // Synchronous dispatch; the caller reads event.handled afterwards. One dispatch calls at most the
    // first 16 delegates of its calling order; delegates beyond that are not called by it.
    void raiseEvent(EventRecord& event);
    // Dispatches a copy later through the deferred-call window (handled reset, live test at delivery).
    // False when no deferred-call window exists; nothing is delivered then.
    bool postEvent(const EventRecord& event);

    // Marks the control's window rectangle dirty and sends (synchronous) or posts message 1025.
    bool invalidate(bool synchronous);
    // The same for a part of the control, in its own coordinates (clipped to the control).
    bool invalidate(const RECT& part, bool synchronous);
    void setEnabled(bool on);
    void setVisible(bool on);
    void setChecked(bool on);

    // Bounds moved by the offsets of the ancestors below the root; false when not live.
    bool windowRect(RECT* out) const;
    bool toWindowPoint(POINT* point) const;
    // The window's cursor position in this control's coordinates.
    bool fromWindowPoint(POINT* point) const;
    // A mouse event's own point (client coordinates in lParam) in this control's coordinates: where
    // the press or move happened, not where the pointer is by the time a busy window handles it.
    bool eventPoint(const EventRecord& event, POINT* point) const;

    // Window attachment; attach and detach recurse into containers.
    void attach(WindowHost* window);
    void detach();

    Control* parent() const { return parent_; }
    Control* previousSibling() const { return prev_; }
    Control* nextSibling() const { return next_; }
    WindowHost* window() const { return window_; }
    const RECT& bounds() const { return bounds_; }
    void setBounds(const RECT& r) { bounds_ = r; }
    SIZE desiredSize() const { return desired_; }
    void setDesiredSize(SIZE s) { desired_ = s; }
    uint32_t flags() const { return flags_; }
    // Changes of the enabled, visible, collapsed, checked and focused bits of a live control are told to
    // assistive technology (notifyAccessible).
    void setFlags(uint32_t f);
    bool hasFlag(uint32_t mask) const { return (flags_ & mask) != 0; }
    void setFlag(uint32_t mask, bool on) { setFlags(on ? (flags_ | mask) : (flags_ & ~mask)); }
    // Changes with every construction; lets a posted record tell a new control at a reused address.
    uint32_t serial() const { return serial_; }

    // Children of a container, null for other controls (Panel overrides).
    virtual Control* firstChild() const { return nullptr; }

    // ---- Accessibility ------------------------------------------------------------------------------
    // What screen readers and automation read through the window's accessible objects. The defaults
    // follow the type name and the flags; concrete controls refine them. UI thread only.

    // A Microsoft Active Accessibility role (ROLE_SYSTEM_* of <oleacc.h>): the item role of an item
    // (childAccessibleRole), grouping for containers, push button for "Button", editable text for
    // "Edit" and "TextBox", progress bar for "ProgressBar", graphic for "Image", animation for
    // "PowerPoint"; other controls are static text when they have a "text" and a graphic (they only
    // show their style) when not.
    virtual int32_t accessibleRole() const;
    // The "text" attribute, else the "tooltip"; empty when neither is set.
    virtual std::wstring accessibleName() const;
    // The control's value as text; false when it has no value (the default).
    virtual bool accessibleValue(std::wstring* value) const;
    // STATE_SYSTEM_* bits: invisible (the control or an ancestor hidden or collapsed), unavailable
    // (disabled), focused (focused flag while the window has the keyboard focus), focusable
    // (focus-on-press), hot (hover), pressed, and checked for the button family (selected for items).
    virtual uint32_t accessibleState() const;
    // The name of what a click does: "Press" for the button family, "Click" for a leaf of type
    // "Control" that takes the mouse and listens to its own press or release (a label a script made
    // clickable); null when a click does nothing.
    virtual const wchar_t* defaultActionName() const;
    // Does what a click does (the button family posts Click, a clickable leaf gets the click's events);
    // false when there is nothing to do. Called on the UI thread from a posted call, never inside a COM
    // call, since handlers may run long.
    virtual bool doDefaultAction();
    // Appends the children assistive technology sees, in order; by default the child list.
    virtual void accessibleChildren(std::vector<Control*>* out) const;
    // A container whose children are items (a list's column) answers ROLE_SYSTEM_LISTITEM: its children
    // then default to that role, to the states selectable and selected (their checked flag) and to the
    // action "Select", which doChildDefaultAction carries out as a press on the item would. 0 (the
    // default): children describe themselves.
    virtual int32_t childAccessibleRole() const { return 0; }
    virtual bool doChildDefaultAction(Control& /*child*/) { return false; }

    // ---- Keyboard ---------------------------------------------------------------------------------
    // What the keyboard may do with the control. The window keeps the focus order and presses; these
    // only describe the control. UI thread only.

    // Whether the Tab key stops here, before the window looks at the enabled and shown state and the
    // "tabStop" and "tabIndex" attributes: buttons, check boxes, links, text controls, sliders, lists,
    // combo boxes, the selected tab and the checked radio button of a group (or its first one).
    virtual bool isTabStop() const;
    // Whether the control uses this key itself while it has the focus, so that the window routes it as
    // KeyDown instead of moving the focus or pressing a button: a text control keeps every key but Tab
    // (a single-line one also gives up Enter and Escape; a multi-line one keeps Ctrl+Tab), a list keeps
    // Up and Down.
    virtual bool keepsKey(UINT virtualKey, bool control) const;
    // One step by an arrow key (-1 back, +1 on) on a control with a value: a slider moves, a combo box
    // chooses its neighbouring entry, raising what the mouse would. False when arrows do nothing here.
    virtual bool keyStep(int /*step*/) { return false; }

    // The child id under which the window's accessible object names this control in events and
    // get_accChild: CHILDID_SELF for a root, otherwise a negative number unique to the control for the
    // whole run.
    LONG accessibleId() const;
    // NotifyWinEvent(winEvent) for this control when it is live and its window has a native window.
    void notifyAccessible(DWORD winEvent) const;

  protected:
    // Names (the "text" and "tooltip" attributes) of a live control are told to assistive technology.
    void textChanged(AttributeId id) override;
    // For a control that outlives the tree that deleted it (another owner still holds it): forgets its
    // parent and siblings, which are being freed, and lets the script host drop its table now.
    void leaveTree();

  private:
    friend class Panel;
    struct DelegateLink;
    struct DelegateList {
        DelegateLink* head = nullptr;
        DelegateLink* tail = nullptr;
    };
    using DelegateMap = std::map<int32_t, DelegateList, std::less<int32_t>,
                                 dui::SmallAllocator<std::pair<const int32_t, DelegateList>>>;

    Control* parent_ = nullptr;
    Control* prev_ = nullptr;
    Control* next_ = nullptr;
    WindowHost* window_ = nullptr;
    RECT bounds_{0, 0, 0, 0};
    SIZE desired_{0, 0};
    DelegateMap delegates_;
    uint32_t flags_;
    uint32_t serial_;
};

// Raises what a left click raises on a control that does not capture the mouse: PrevLButtonDown
// (tunnel) and, unless handled, LButtonDown (bubble), then PrevLButtonUp (tunnel) and, unless handled,
// LButtonUp (bubble), with the control's centre (client coordinates) as the point; capture and focus,
// which the window keeps, are left alone. For the default actions of controls that act on the click's
// events rather than on Click.
void raiseClickEvents(Control* control);

// Membership in the live-control set (attached controls). Any address may be asked.
bool isLiveControl(const void* control);
// Number of live controls.
std::size_t liveControlCount();
