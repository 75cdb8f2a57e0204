// WindowImpl: mouse and keyboard routing, capture, focus, hover and tooltips.
//
// Event handlers may change the tree or destroy the window. After each event the routing checks that
// the window object still exists (WindowBase::Watch) and that the control is still live before it
// goes on.
#include "window/window_impl.h"

#include <windowsx.h>

#include <algorithm>

#include "window/window_events.h"

using windowEvents::raise;
using windowEvents::repaintOnState;

namespace {

constexpr int kTooltipCharWidth = 14;  // estimated pixels per character
constexpr int kTooltipBelowCursor = 19;

POINT pointOf(LPARAM lParam) {
    return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

// One control of a hover chain as it was when a walk began.
struct HoverStep {
    Control* control;
    uint32_t serial;  // 0 when it was not live
    // Still that control: live, and not a new one in its cell.
    bool stillThere() const { return serial && isLiveControl(control) && control->serial() == serial; }
};

int takeSteps(Control* const* chain, int length, HoverStep* out) {
    for (int i = 0; i < length; ++i)
        out[i] = HoverStep{chain[i], isLiveControl(chain[i]) ? chain[i]->serial() : 0};
    return length;
}

// Whether the chain holds the address; the control is not touched.
bool inSteps(const HoverStep* steps, int length, const Control* control) {
    for (int i = 0; i < length; ++i) {
        if (steps[i].control == control)
            return true;
    }
    return false;
}

// Is `inner` the control `outer` or inside it?
bool isInside(const Control* inner, const Control* outer) {
    for (const Control* c = inner; c; c = c->parent()) {
        if (c == outer)
            return true;
    }
    return false;
}

}  // namespace

Control* WindowImpl::controlAt(POINT client) const {
    Control* root = root_.get();
    return root && isLiveControl(root) ? root->hitTest(client) : nullptr;
}

Control* WindowImpl::enabledControlAt(POINT client) const {
    Control* c = controlAt(client);
    return c && c->hasFlag(flag::enabled) ? c : nullptr;
}

void WindowImpl::postMouseMove() {
    POINT p = cursorClientPosition();
    PostMessageW(handle(), WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
}

// ---- Keyboard -----------------------------------------------------------------------------------------

LRESULT WindowImpl::onKey(int32_t previewId, int32_t id, WPARAM wParam, LPARAM lParam) {
    Control* target = focused_;
    if (!target || !isLiveControl(target))
        return 0;  // swallowed
    Watch watch(this);
    if (!raise(target, previewId, kRouteTunnel, wParam, lParam) && watch.alive() && isLiveControl(target))
        raise(target, id, kRouteBubble, wParam, lParam);
    return 0;
}

// ---- Buttons ------------------------------------------------------------------------------------------

LRESULT WindowImpl::onButtonDown(bool left, WPARAM wParam, LPARAM lParam) {
    hideTooltip();
    Control* c = enabledControlAt(pointOf(lParam));
    if (!c)
        return 0;
    Watch watch(this);
    auto goOn = [&] { return watch.alive() && isLiveControl(c); };
    repaintOnState(c);
    if (raise(c, left ? event::PrevLButtonDown : event::PrevRButtonDown, kRouteTunnel, wParam, lParam) ||
        !goOn())
        return 0;
    if (left) {
        if (c->hasFlag(flag::captureOnPress)) {
            if (captured_ && captured_ != c)
                endCapture(captured_);  // a press whose release never came
            if (!goOn())
                return 0;
            SetCapture(handle());
            captured_ = c;
            c->setFlag(flag::pressed, true);
            raise(c, event::GotCapture, kRouteDirect);
            if (!goOn())
                return 0;
        }
        if (c->hasFlag(flag::focusOnPress))
            setFocusedControl(c);
        else if (c->hasFlag(flag::unfocusOnPress))
            setFocusedControl(nullptr);
        if (!goOn())
            return 0;
    }
    raise(c, left ? event::LButtonDown : event::RButtonDown, kRouteBubble, wParam, lParam);
    return 0;
}

LRESULT WindowImpl::onButtonUp(bool left, WPARAM wParam, LPARAM lParam) {
    Watch watch(this);
    if (left && captured_) {
        Control* c = captured_;
        repaintOnState(c);
        raise(c, event::LButtonUp, kRouteDirect, wParam, lParam);
        if (!watch.alive())
            return 0;
        ReleaseCapture();  // WM_CAPTURECHANGED ends the capture with LostCapture
        if (!watch.alive())
            return 0;
        if (captured_ == c)
            endCapture(c);  // the system capture had already gone elsewhere
        if (!watch.alive())
            return 0;
        return onMouseMove(wParam, lParam);
    }
    Control* c = enabledControlAt(pointOf(lParam));
    if (!c)
        return 0;
    repaintOnState(c);
    if (!raise(c, left ? event::PrevLButtonUp : event::PrevRButtonUp, kRouteTunnel, wParam, lParam) &&
        watch.alive() && isLiveControl(c))
        raise(c, left ? event::LButtonUp : event::RButtonUp, kRouteBubble, wParam, lParam);
    return 0;
}

LRESULT WindowImpl::onDoubleClick(bool left, WPARAM wParam, LPARAM lParam) {
    Control* c = enabledControlAt(pointOf(lParam));
    if (!c)
        return 0;
    if (!c->hasFlag(flag::doubleClick))
        return onButtonDown(left, wParam, lParam);
    raise(c, left ? event::LButtonDbClick : event::RButtonDbClick, kRouteDirect, wParam, lParam);
    return 0;
}

// ---- Capture ------------------------------------------------------------------------------------------

void WindowImpl::endCapture(Control* control) {
    if (captured_ == control)
        captured_ = nullptr;
    if (!isLiveControl(control))
        return;
    control->invalidate(false);
    control->setFlag(flag::pressed, false);
    raise(control, event::LostCapture, kRouteDirect);
}

void WindowImpl::onCaptureChanged() {
    if (captured_)
        endCapture(captured_);
}

// ---- Wheel, cursor, focus -----------------------------------------------------------------------------

// The control under the pointer when the wheel turned (screen coordinates in lParam), not under where
// the pointer is by the time the message is handled.
LRESULT WindowImpl::onMouseWheel(WPARAM wParam, LPARAM lParam) {
    POINT p = pointOf(lParam);
    ScreenToClient(handle(), &p);
    if (Control* c = enabledControlAt(p))
        raise(c, event::MouseWheel, kRouteBubble, wParam, lParam);
    return 0;
}

bool WindowImpl::onSetCursor() {
    Control* c = controlAt(cursorClientPosition());
    return c && raise(c, event::QueryCursor, kRouteDirect);
}

void WindowImpl::onKillFocus() {
    Control* c = focused_;
    if (!c)
        return;
    invalidateFocusRing(c);
    rememberedFocus_ = c;
    focused_ = nullptr;  // the focused flag stays: the control is focused again on activation
    if (isLiveControl(c))
        raise(c, event::LostFocus, kRouteDirect);
}

void WindowImpl::setFocusedControl(Control* control) {
    if (control == focused_)
        return;
    rememberedFocus_ = nullptr;
    Control* old = focused_;
    invalidateFocusRing(old);
    focused_ = control;
    invalidateFocusRing(control);
    Watch watch(this);
    if (old && isLiveControl(old)) {
        old->setFlag(flag::focused, false);
        raise(old, event::LostFocus, kRouteDirect);
        if (!watch.alive() || focused_ != control)
            return;  // a handler moved the focus on
    }
    if (!control)
        return;
    if (GetFocus() != handle())
        SetFocus(handle());
    if (!watch.alive() || focused_ != control || !isLiveControl(control))
        return;
    control->setFlag(flag::focused, true);
    raise(control, event::GotFocus, kRouteDirect);
}

// ---- Mouse moves and hover ----------------------------------------------------------------------------

LRESULT WindowImpl::onMouseMove(WPARAM wParam, LPARAM lParam) {
    Watch watch(this);
    updateHover(wParam, lParam);
    if (!watch.alive())
        return 0;
    if (captured_) {
        raise(captured_, event::MouseMove, kRouteDirect, wParam, lParam);
    } else if (Control* c = enabledControlAt(pointOf(lParam))) {
        raise(c, event::MouseMove, kRouteBubble, wParam, lParam);
    }
    return 0;
}

void WindowImpl::requestMouseTracking() {
    TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, handle(), HOVER_DEFAULT};
    TrackMouseEvent(&track);
    // Asked while the cursor is elsewhere (the synthetic move of WM_SHOWWINDOW), the request can
    // succeed without tracking anything and without the leave message that would end it; so the flag
    // says what the system really tracks, and the next move asks again.
    TRACKMOUSEEVENT query{sizeof(query), TME_QUERY, nullptr, 0};
    trackingMouse_ = TrackMouseEvent(&query) && query.hwndTrack == handle() && (query.dwFlags & TME_LEAVE);
}

void WindowImpl::updateHover(WPARAM wParam, LPARAM lParam) {
    if (!trackingMouse_)
        requestMouseTracking();
    Control* hit = controlAt(pointOf(lParam));
    if (hit == hovered_)
        return;
    hideTooltip();

    // The new chain keeps the innermost controls when the tree is deeper than the chain.
    HoverStep old[kHoverChainCapacity];
    const int oldLength = takeSteps(chain_, chainLength_, old);
    chainLength_ = 0;
    for (Control* c = hit; c && chainLength_ < kHoverChainCapacity; c = c->parent())
        chain_[chainLength_++] = c;
    hovered_ = hit;
    HoverStep fresh[kHoverChainCapacity];
    const int freshLength = takeSteps(chain_, chainLength_, fresh);

    // Common ancestors (in both chains) get nothing. Leaving and entering go outermost first. A
    // handler may rebuild part of the tree (a relayout makes new scroll bars, perhaps in the cells of
    // the old ones), so each step is checked against the live set and the control's serial.
    Watch watch(this);
    for (int i = oldLength - 1; i >= 0 && watch.alive(); --i) {
        Control* c = old[i].control;
        if (inSteps(fresh, freshLength, c) || !old[i].stillThere())
            continue;
        c->setFlag(flag::hover, false);
        repaintOnState(c);
        raise(c, event::MouseLeave, kRouteDirect, wParam, lParam);
    }
    for (int i = freshLength - 1; i >= 0 && watch.alive(); --i) {
        Control* c = fresh[i].control;
        if (inSteps(old, oldLength, c) || !fresh[i].stillThere())
            continue;
        if (std::find(chain_, chain_ + chainLength_, c) == chain_ + chainLength_)
            continue;  // a handler has moved the hover on meanwhile
        c->setFlag(flag::hover, true);
        repaintOnState(c);
        raise(c, event::MouseEnter, kRouteDirect, wParam, lParam);
    }
}

LRESULT WindowImpl::onMouseLeave(WPARAM wParam, LPARAM lParam) {
    hideTooltip();
    trackingMouse_ = false;
    HoverStep old[kHoverChainCapacity];
    const int oldLength = takeSteps(chain_, chainLength_, old);
    chainLength_ = 0;
    hovered_ = nullptr;
    Watch watch(this);
    for (int i = 0; i < oldLength && watch.alive(); ++i) {
        Control* c = old[i].control;
        if (!old[i].stillThere())
            continue;
        c->setFlag(flag::hover, false);
        repaintOnState(c);
        raise(c, event::MouseLeave, kRouteDirect, wParam, lParam);
    }
    return 0;
}

// ---- Tooltips -----------------------------------------------------------------------------------------

LRESULT WindowImpl::onMouseHover(LPARAM lParam) {
    requestMouseTracking();
    if (captured_)
        return 0;
    Control* c = controlAt(pointOf(lParam));
    const wchar_t* text = c ? c->findText(attr::tooltip) : nullptr;
    if (!text || !*text)
        return 0;
    tooltipText_ = text;
    if (tooltipShown_ || !tooltip_)
        return 0;
    POINT cursor{0, 0};
    GetCursorPos(&cursor);
    const int width = kTooltipCharWidth * static_cast<int>(tooltipText_.size()) + 2;
    const int x = std::max(0, std::min(static_cast<int>(cursor.x), GetSystemMetrics(SM_CXSCREEN) - width));
    const int y = cursor.y + kTooltipBelowCursor;
    SendMessageW(tooltip_.get(), TTM_TRACKPOSITION, 0, MAKELPARAM(x, y));
    SendMessageW(tooltip_.get(), TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&toolInfo_));
    tooltipShown_ = true;
    return 0;
}

void WindowImpl::hideTooltip() {
    if (!tooltipShown_)
        return;
    tooltipShown_ = false;
    if (tooltip_)
        SendMessageW(tooltip_.get(), TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&toolInfo_));
}

// ---- Forgetting ---------------------------------------------------------------------------------------

void WindowImpl::forgetControl(Control* control) {
    if (!control)
        return;
    if (captured_ && isInside(captured_, control)) {
        Control* c = captured_;
        captured_ = nullptr;  // so the WM_CAPTURECHANGED of the release finds nothing to end
        if (GetCapture() == handle())
            ReleaseCapture();
        c->setFlag(flag::pressed, false);
        if (isLiveControl(c))
            raise(c, event::LostCapture, kRouteDirect);
    }
    if (focused_ && isInside(focused_, control)) {
        Control* c = focused_;
        invalidateFocusRing(c);
        rememberedFocus_ = nullptr;
        focused_ = nullptr;
        c->setFlag(flag::focused, false);
        if (isLiveControl(c))
            raise(c, event::LostFocus, kRouteDirect);
    }
    if (rememberedFocus_ && isInside(rememberedFocus_, control))
        rememberedFocus_ = nullptr;
    if (hovered_ && isInside(hovered_, control)) {
        hideTooltip();
        // The part of the chain inside the control leaves; its ancestors stay hovered, so the mouse
        // move posted below compares against them and does not enter them a second time.
        int keep = 0;
        while (keep < chainLength_ && chain_[keep] != control) ++keep;
        keep = keep < chainLength_ ? keep + 1 : chainLength_;
        Control* leaving[kHoverChainCapacity];
        std::copy(chain_, chain_ + keep, leaving);
        std::copy(chain_ + keep, chain_ + chainLength_, chain_);
        chainLength_ -= keep;
        hovered_ = chainLength_ ? chain_[0] : nullptr;
        for (int i = keep - 1; i >= 0; --i) {
            Control* c = leaving[i];
            c->setFlag(flag::hover, false);
            if (isLiveControl(c)) {
                repaintOnState(c);
                raise(c, event::MouseLeave, kRouteDirect);
            }
        }
        if (handle())
            postMouseMove();
    }
}
