// WindowImpl: the keyboard beyond typing. Tab moves the focus, Space, Enter and Escape press buttons
// with the events a click raises, arrows move within groups, and the focus ring shows where the focus
// is once the keyboard has been used.
//
// A key press mirrors the mouse: the press half (PrevLButtonDown, GotCapture for a control that
// captures, LButtonDown) and the release half (LButtonUp to the holder, LostCapture; or PrevLButtonUp
// and LButtonUp for one that does not capture) with the control's centre as the point, so the button's
// own click detection posts Click as for the mouse. Space presses on the key's press and releases on
// its release, as system buttons do; Tab while it is held takes the press away without a Click, like
// dragging off a button.
#include "window/window_impl.h"

#include <oleacc.h>

#include "dui/style.h"
#include "render/skin_image.h"
#include "render/skin_store.h"
#include "window/focus_order.h"
#include "window/window_events.h"

using windowEvents::raise;
using windowEvents::repaintOnState;

namespace {

constexpr LPARAM kRepeatBit = 1 << 30;  // the key was already down: auto-repeat

bool keyDown(int virtualKey) {
    return GetKeyState(virtualKey) < 0;
}

// Controls a Space press acts on: what a click on them does something with.
bool pressedBySpace(Control* c) {
    switch (c->accessibleRole()) {
        case ROLE_SYSTEM_PUSHBUTTON:
        case ROLE_SYSTEM_CHECKBUTTON:
        case ROLE_SYSTEM_RADIOBUTTON:
        case ROLE_SYSTEM_PAGETAB:
        case ROLE_SYSTEM_LINK:
        case ROLE_SYSTEM_COMBOBOX:
            return true;
        default:
            return false;
    }
}

// Enter presses the focused push button or link; on anything else, the default button.
bool pressedByEnter(Control* c) {
    const int32_t role = c->accessibleRole();
    return role == ROLE_SYSTEM_PUSHBUTTON || role == ROLE_SYSTEM_LINK;
}

LPARAM centreOf(const Control* c) {
    RECT r{0, 0, 0, 0};
    c->windowRect(&r);
    return MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// The neighbour of `from` among its enabled, shown siblings of the same role, wrapping around.
Control* sibling(Control* from, int step) {
    Control* parent = from->parent();
    if (!parent)
        return nullptr;
    std::vector<Control*> group;
    parent->accessibleChildren(&group);
    const int32_t role = from->accessibleRole();
    std::vector<Control*> peers;
    for (Control* c : group) {
        if (c == from || (c->accessibleRole() == role && c->hasFlag(flag::enabled) && focus::shown(c)))
            peers.push_back(c);
    }
    const size_t n = peers.size();
    for (size_t i = 0; i < n; ++i) {
        if (peers[i] == from)
            return n > 1 ? peers[(i + n + static_cast<size_t>(step > 0 ? 1 : n - 1)) % n] : nullptr;
    }
    return nullptr;
}

}  // namespace

bool WindowImpl::onNavigationKey(UINT message, WPARAM wParam, LPARAM lParam) {
    const auto key = static_cast<UINT>(wParam);
    const bool repeat = (lParam & kRepeatBit) != 0;
    if (message != WM_KEYUP)
        showFocusCues();
    Control* root = root_.get();
    if (!root || !isLiveControl(root))
        return false;

    if (message == WM_SYSKEYDOWN) {
        if (key != VK_F4)
            return false;
        // Alt+F4 is Escape's twin; without a cancel button the close request is ignored, as ever.
        if (!repeat)
            pressLikeClick(focus::cancelButton(root));
        return true;
    }
    if (message == WM_KEYUP) {
        if (key != VK_SPACE || !keyPressed_)
            return false;
        Control* c = keyPressed_;
        keyPressed_ = nullptr;
        if (isLiveControl(c) && c->serial() == keyPressedSerial_)
            pressUp(c);
        return true;
    }

    Control* focused = focused_ && isLiveControl(focused_) ? focused_ : nullptr;
    if (focused && focused->keepsKey(key, keyDown(VK_CONTROL)))
        return false;
    switch (key) {
        case VK_TAB: {
            if (keyDown(VK_MENU))
                return false;
            cancelKeyPress();
            swallowedChar_ = L'\t';
            if (Control* next = focus::next(root, focused, keyDown(VK_SHIFT)))
                setFocusedControl(next);
            return true;
        }
        case VK_SPACE:
            if (!focused || !pressedBySpace(focused))
                return false;
            swallowedChar_ = L' ';
            if (!repeat && !keyPressed_) {
                keyPressed_ = focused;
                keyPressedSerial_ = focused->serial();
                pressDown(focused);
            }
            return true;
        case VK_RETURN:
        case VK_ESCAPE: {
            Control* target = key == VK_ESCAPE                     ? focus::cancelButton(root)
                              : focused && pressedByEnter(focused) ? focused
                                                                   : focus::defaultButton(root);
            if (!target)
                return false;
            swallowedChar_ = key == VK_RETURN ? L'\r' : L'\x1B';
            if (!repeat)
                pressLikeClick(target);
            return true;
        }
        case VK_LEFT:
        case VK_UP:
            return focused && arrowKey(focused, -1);
        case VK_RIGHT:
        case VK_DOWN:
            return focused && arrowKey(focused, +1);
        default:
            return false;
    }
}

bool WindowImpl::arrowKey(Control* focused, int step) {
    switch (focused->accessibleRole()) {
        case ROLE_SYSTEM_RADIOBUTTON:
        case ROLE_SYSTEM_PAGETAB: {
            // Within a group the arrows move the focus and choose, as a click on the neighbour does.
            Control* next = sibling(focused, step);
            if (!next)
                return true;
            cancelKeyPress();
            setFocusedControl(next);
            if (isLiveControl(next))
                pressLikeClick(next);
            return true;
        }
        case ROLE_SYSTEM_COMBOBOX:
            pressLikeClick(focused);  // opens the drop-down, whose list takes the arrows from then on
            return true;
        default:
            return focused->keyStep(step);
    }
}

bool WindowImpl::swallowChar(WPARAM character) {
    const bool spent = swallowedChar_ && character == static_cast<WPARAM>(swallowedChar_);
    swallowedChar_ = 0;
    return spent;
}

// ---- Presses ----------------------------------------------------------------------------------------

void WindowImpl::pressLikeClick(Control* control) {
    if (!control || !isLiveControl(control))
        return;
    cancelKeyPress();
    Watch watch(this);
    pressDown(control);
    if (watch.alive() && isLiveControl(control))
        pressUp(control);
}

void WindowImpl::pressDown(Control* c) {
    Watch watch(this);
    auto goOn = [&] { return watch.alive() && isLiveControl(c); };
    const LPARAM point = centreOf(c);
    repaintOnState(c);
    if (raise(c, event::PrevLButtonDown, kRouteTunnel, MK_LBUTTON, point) || !goOn())
        return;
    if (c->hasFlag(flag::captureOnPress)) {
        if (captured_ && captured_ != c)
            endCapture(captured_);
        if (!goOn())
            return;
        captured_ = c;  // the system's mouse capture is not taken: the mouse stays free
        c->setFlag(flag::pressed, true);
        raise(c, event::GotCapture, kRouteDirect);
        if (!goOn())
            return;
    }
    raise(c, event::LButtonDown, kRouteBubble, MK_LBUTTON, point);
}

void WindowImpl::pressUp(Control* c) {
    Watch watch(this);
    const LPARAM point = centreOf(c);
    if (captured_ == c) {
        repaintOnState(c);
        raise(c, event::LButtonUp, kRouteDirect, 0, point);
        if (watch.alive() && captured_ == c)
            endCapture(c);
        return;
    }
    // A capturing control that lost its press gets no release; any other is released only where the
    // mouse would still find it.
    if (c->hasFlag(flag::captureOnPress) || !c->hasFlag(flag::enabled) || !focus::shown(c))
        return;
    repaintOnState(c);
    if (!raise(c, event::PrevLButtonUp, kRouteTunnel, 0, point) && watch.alive() && isLiveControl(c))
        raise(c, event::LButtonUp, kRouteBubble, 0, point);
}

void WindowImpl::cancelKeyPress() {
    Control* c = keyPressed_;
    keyPressed_ = nullptr;
    if (c && isLiveControl(c) && c->serial() == keyPressedSerial_ && captured_ == c)
        endCapture(c);
}

// ---- The focus ring -----------------------------------------------------------------------------------

namespace {

// The focused control's own focus face: its Style's "focusSkin" image, when the skin has one.
SkinImage* focusFace(const Control* c, const Style** style) {
    const wchar_t* name = c->findText(attr::style);
    SkinStore* skin = currentSkin();
    Style* found = name && skin ? skin->findStyle(name) : nullptr;
    if (!found)
        return nullptr;
    *style = found;
    return findSkinImage(found->findText(attr::focusSkin));
}

}  // namespace

RECT WindowImpl::focusRingRect(const Control* c) const {
    RECT r{0, 0, 0, 0};
    if (!c || !isLiveControl(c) || !c->windowRect(&r))
        return RECT{0, 0, 0, 0};
    const int out = kFocusRingGap + kFocusRingWidth;
    InflateRect(&r, out, out);
    return r;
}

void WindowImpl::showFocusCues() {
    if (focusCues_)
        return;
    focusCues_ = true;
    invalidateFocusRing(focused_);
}

void WindowImpl::invalidateFocusRing(const Control* c) {
    if (!focusCues_ || !c || !isLiveControl(c) || !handle())
        return;
    RECT r = focusRingRect(c), client{}, area{};
    GetClientRect(handle(), &client);
    if (!IntersectRect(&area, &r, &client))
        return;
    addDirtyArea(area);
    PostMessageW(handle(), kRepaintMessage, 0, 0);
}

// GDI leaves the alpha byte at 0, so a per-pixel-alpha window gets no ring (its controls take no
// focus: the shadow and the drop-down's list, which shows its selection instead).
void WindowImpl::drawFocusRing(HDC dc) {
    Control* c = focused_;
    if (!focusCues_ || layered_ || !c || !isLiveControl(c) || !focus::shown(c))
        return;
    RECT r{};
    if (!c->windowRect(&r))
        return;
    const Style* style = nullptr;
    if (SkinImage* face = focusFace(c, &style)) {
        const RECT* grid = style->findRect(attr::scaleGrid);
        drawImageInto(face, dc, r, grid);
        return;
    }
    win::unique_hgdiobj white(CreateSolidBrush(RGB(255, 255, 255)));
    win::unique_hgdiobj ring(CreateSolidBrush(kFocusRingColor));
    auto frame = [&](RECT box, int width, HGDIOBJ brush) {
        for (int i = 0; i < width; ++i) {
            FrameRect(dc, &box, static_cast<HBRUSH>(brush));
            InflateRect(&box, -1, -1);
        }
    };
    RECT outer = focusRingRect(c);
    frame(outer, kFocusRingWidth, ring.get());
    InflateRect(&outer, -kFocusRingWidth, -kFocusRingWidth);
    frame(outer, kFocusRingGap, white.get());
}
