// WindowImpl: creation, size, painting, the caret and the message table. Input routing is in
// window_input.cpp.
#include "window/window_impl.h"

#include <imm.h>
#include <windowsx.h>

#include "dui/panels.h"
#include "render/skin_store.h"

namespace {

constexpr SIZE kMeasureLimit{1024, 768};

// The thread's input-method context of a window for one call, released at the end.
class InputContext {
  public:
    explicit InputContext(HWND window) : window_(window), context_(ImmGetContext(window)) {}
    InputContext(const InputContext&) = delete;
    InputContext& operator=(const InputContext&) = delete;
    ~InputContext() {
        if (context_)
            ImmReleaseContext(window_, context_);
    }
    HIMC get() const { return context_; }

  private:
    HWND window_;
    HIMC context_;
};

void registerTooltipClass() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)registered;
}

HFONT defaultFont() {
    SkinStore* skin = currentSkin();
    return skin ? skin->findFont(L"Default") : nullptr;
}

// The performance counter in milliseconds.
double nowMs() {
    static const double perMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / perMs;
}

// One frame of the display in milliseconds (60 Hz when the display does not say).
double displayFrameMs() {
    static const double frame = [] {
        auto screen = win::get_dc(nullptr);
        const int hz = screen.get() ? GetDeviceCaps(screen.get(), VREFRESH) : 0;
        return 1000.0 / (hz > 1 && hz <= 240 ? hz : 60);
    }();
    return frame;
}

constexpr UINT_PTR kPushTimerId = 0x5055;  // the window's own timer for held-back pushes

// Mouse or key input waits in this thread's queue (with posted: or a posted message).
bool inputWaiting(UINT also = 0) {
    return HIWORD(GetQueueStatus(QS_INPUT | also)) != 0;
}

}  // namespace

WindowImpl::WindowImpl(Control* root) : root_(root) {
    caretTimer_.setInterval(GetCaretBlinkTime());
}

WindowImpl::~WindowImpl() {
    caretTimer_.stop();
    // Deleted without WM_DESTROY (creation failed): the tree still points here.
    if (root_ && root_->window() == this)
        root_->detach();
    root_.reset();
    // An owned tooltip dies with this window's native window; only a living one is destroyed here.
    if (tooltip_ && !IsWindow(tooltip_.get()))
        tooltip_.release();
}

void WindowImpl::setRoot(Control* root) {
    root_.reset(root);
}

void WindowImpl::setLayered(bool perPixelAlpha) {
    layered_ = true;
    perPixelAlpha_ = perPixelAlpha;
}

Control* WindowImpl::controlById(int32_t id) const {
    auto it = ids_.find(id);
    return it == ids_.end() ? nullptr : it->second;
}

void WindowImpl::eraseControlId(Control* control) {
    for (auto it = ids_.begin(); it != ids_.end();)
        it = it->second == control ? ids_.erase(it) : std::next(it);
}

POINT WindowImpl::cursorClientPosition() const {
    POINT p{0, 0};
    GetCursorPos(&p);
    ScreenToClient(handle(), &p);
    return p;
}

LRESULT WindowImpl::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return onCreate();
        case WM_SIZE:
            return onSize(wParam);
        case WM_PAINT:
            return onPaint();
        case WM_ERASEBKGND:
            return 1;
        case WM_PRINTCLIENT:
            if (lParam & PRF_CLIENT) {
                auto dc = reinterpret_cast<HDC>(wParam);
                auto saved = win::save_dc(dc);
                SetBkMode(dc, TRANSPARENT);
                RECT client{};
                GetClientRect(handle(), &client);
                paintTree(dc, client);
            }
            return 0;
        case kRepaintMessage:
            if (layered_)
                flushDirtyAreas();
            else
                repaintPlain(wParam == kRepaintPaced);
            return 0;
        case WM_KEYDOWN:
            if (onNavigationKey(message, wParam, lParam))
                return 0;
            return onKey(event::PrevKeyDown, event::KeyDown, wParam, lParam);
        case WM_KEYUP:
            if (onNavigationKey(message, wParam, lParam))
                return 0;
            return onKey(event::PrevKeyUp, event::KeyUp, wParam, lParam);
        case WM_CHAR:
            if (swallowChar(wParam))
                return 0;
            return onKey(event::PrevKeyPress, event::KeyPress, wParam, lParam);
        case WM_SYSKEYDOWN:
            if (onNavigationKey(message, wParam, lParam))
                return 0;
            break;
        case WM_LBUTTONDOWN:
            return onButtonDown(true, wParam, lParam);
        case WM_RBUTTONDOWN:
            return onButtonDown(false, wParam, lParam);
        case WM_LBUTTONUP:
            return onButtonUp(true, wParam, lParam);
        case WM_RBUTTONUP:
            return onButtonUp(false, wParam, lParam);
        case WM_LBUTTONDBLCLK:
            return onDoubleClick(true, wParam, lParam);
        case WM_RBUTTONDBLCLK:
            return onDoubleClick(false, wParam, lParam);
        case WM_MOUSEWHEEL:
            return onMouseWheel(wParam, lParam);
        case WM_MOUSEMOVE:
            return onMouseMove(wParam, lParam);
        case WM_MOUSEHOVER:
            return onMouseHover(lParam);
        case WM_MOUSELEAVE:
            return onMouseLeave(wParam, lParam);
        case WM_CAPTURECHANGED:
            onCaptureChanged();
            return 0;
        case WM_SETCURSOR:
            if (onSetCursor())
                return TRUE;
            break;
        case WM_KILLFOCUS:
            onKillFocus();
            break;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_ACTIVE && rememberedFocus_)
                setFocusedControl(rememberedFocus_);
            // The default processing is skipped, and with it the system focus it would give: an active
            // window without it would get every key as a system key, so Tab and Enter need it here.
            if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam) && GetFocus() != handle())
                SetFocus(handle());
            return 0;
        case WM_SHOWWINDOW:
            if (wParam) {
                POINT p = cursorClientPosition();
                SendMessageW(handle(), WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
            } else {
                SendMessageW(handle(), WM_MOUSELEAVE, 0, 0);
            }
            break;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_MAXIMIZE || (wParam & 0xFFF0) == SC_RESTORE)
                postMouseMove();
            break;
        case WM_IME_STARTCOMPOSITION:
            if (caretTimer_.running()) {
                COMPOSITIONFORM form{};
                form.dwStyle = CFS_POINT;
                form.ptCurrentPos = POINT{caretX_, caretY_};
                SendMessageW(ImmGetDefaultIMEWnd(handle()), WM_IME_CONTROL, IMC_SETCOMPOSITIONWINDOW,
                             reinterpret_cast<LPARAM>(&form));
            }
            break;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header && header->hwndFrom == tooltip_.get() && header->code == TTN_GETDISPINFOW) {
                auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
                info->lpszText = tooltipText_.data();
                info->hinst = nullptr;
                return 0;
            }
            break;
        }
        case WM_GETOBJECT:
            if (LRESULT answer = accessible_.answerGetObject(wParam, lParam))
                return answer;
            break;
        case WM_DESTROY:
            if (root_ && root_->window() == this)
                root_->detach();
            break;  // the base deletes this object
        default:
            break;
    }
    return WindowBase::handleMessage(message, wParam, lParam);
}

// ---- Creation and size ------------------------------------------------------------------------------

LRESULT WindowImpl::onCreate() {
    if (root_) {
        root_->attach(this);
        fitToLayout();
    }
    applyRoundCorner();
    createTooltip();
    if (layered_) {
        SetWindowLongPtrW(handle(), GWL_EXSTYLE, GetWindowLongPtrW(handle(), GWL_EXSTYLE) | WS_EX_LAYERED);
        if (root_)
            root_->invalidate(false);
    }
    return 0;
}

void WindowImpl::fitToLayout(UINT flags) {
    Control* root = root_.get();
    if (!root || !isLiveControl(root))
        return;
    SIZE size;
    if (const SIZE* initial = root->findSize(attr::initSize)) {
        size = *initial;
        measureControl(root, size);
    } else {
        size = measureControl(root, kMeasureLimit);
    }
    arrangeControl(root, RECT{0, 0, size.cx, size.cy});
    SetWindowPos(handle(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | flags);
    // The back buffer follows from WM_SIZE; when the size did not change no WM_SIZE comes.
    RECT client{};
    GetClientRect(handle(), &client);
    backBuffer_.resize(client.right, client.bottom);
}

LRESULT WindowImpl::onSize(WPARAM kind) {
    if (kind == SIZE_MINIMIZED)
        return 0;
    RECT client{};
    GetClientRect(handle(), &client);
    backBuffer_.resize(client.right, client.bottom);
    applyRoundCorner();
    Control* root = root_.get();
    if (root && isLiveControl(root)) {
        const RECT& b = root->bounds();
        if (b.right - b.left != client.right || b.bottom - b.top != client.bottom) {
            measureControl(root, SIZE{client.right, client.bottom});
            arrangeControl(root, client);
        }
        root->invalidate(false);
    }
    return 0;
}

void WindowImpl::applyRoundCorner() {
    const SIZE* corner = root_ ? root_->findSize(attr::roundCorner) : nullptr;
    if (!corner)
        return;
    RECT client{};
    GetClientRect(handle(), &client);
    win::unique_hrgn region(
        CreateRoundRectRgn(0, 0, client.right + 1, client.bottom + 1, corner->cx, corner->cy));
    // The system owns a region it accepted (and deletes the one it replaces).
    if (region && SetWindowRgn(handle(), region.get(), TRUE))
        region.release();
}

void WindowImpl::createTooltip() {
    registerTooltipClass();
    tooltip_.reset(CreateWindowExW(
        WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle(), nullptr, GetModuleHandleW(nullptr), nullptr));
    if (!tooltip_)
        return;
    toolInfo_ = TTTOOLINFOW{};
    toolInfo_.cbSize = TTTOOLINFOW_V2_SIZE;
    toolInfo_.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
    toolInfo_.hwnd = handle();
    toolInfo_.uId = reinterpret_cast<UINT_PTR>(handle());
    toolInfo_.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(tooltip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&toolInfo_));
}

// ---- Painting -----------------------------------------------------------------------------------------

void WindowImpl::addDirtyArea(const RECT& area) {
    if (!layered_) {
        if (pushTimerArmed_)
            UnionRect(&heldBack_, &heldBack_, &area);  // the timer paints it with the rest
        else
            InvalidateRect(handle(), &area, FALSE);
        return;
    }
    if (dirty_.absorb(area))
        return;
    if (dirty_.full()) {
        if (flushing_)
            dirty_.mergeAll();  // a paint invalidated more than the list holds: no flush inside it
        else
            flushDirtyAreas();
        if (dirty_.absorb(area))
            return;
    }
    dirty_.append(area);
}

void WindowImpl::paintTree(HDC dc, const RECT& area) {
    auto clip = win::clip_to(dc, area);
    auto font = win::select_object(dc, defaultFont());
    if (root_ && isLiveControl(root_.get())) {
        RECT bounds = root_->bounds();
        root_->paint(dc, bounds, area);
        drawFocusRing(dc);
    }
}

// GDI fills leave the alpha byte at 0, so on a per-pixel-alpha window the caret would not show; the
// text controls that use it live on plain windows.
void WindowImpl::drawCaret(HDC dc) {
    if (!caretVisible_)
        return;
    win::unique_hgdiobj brush(CreateSolidBrush(kCaretColor));
    RECT r = caretRect();
    FillRect(dc, &r, static_cast<HBRUSH>(brush.get()));
}

LRESULT WindowImpl::onPaint() {
    auto paint = win::begin_paint(handle());
    const RECT area = paint.get().rcPaint;
    if (layered_ || IsRectEmpty(&area) || !backBuffer_.bitmap())
        return 0;
    paintTree(backBuffer_.dc(), area);
    {
        auto clip = win::clip_to(backBuffer_.dc(), area);
        drawCaret(backBuffer_.dc());
    }
    BitBlt(paint.get().hdc, area.left, area.top, area.right - area.left, area.bottom - area.top,
           backBuffer_.dc(), area.left, area.top, SRCCOPY);
    lastPushMs_ = nowMs();
    return 0;
}

// Under Wine every paint of a plain window is a push of its surface to the display, several server
// round trips and an image sent to X, so a stream of repaint requests (a progress bar and a label fed
// by notifications) is painted at most once a display frame.
void WindowImpl::repaintPlain(bool paced) {
    if (pushTimerArmed_) {
        if (paced)
            return;  // the timer paints what is held back, this area with it
        releaseHeldBack();
    }
    const double wait = lastPushMs_ + displayFrameMs() - nowMs();
    RECT update{};
    if (paced && wait > 0 && GetUpdateRect(handle(), &update, FALSE)) {
        // Held here rather than left invalid, or WM_PAINT would come as soon as the queue is empty.
        heldBack_ = update;
        ValidateRect(handle(), &update);
        armHoldTimer(wait);
        return;
    }
    // Input goes first (the release after a press), and for a paced request posted messages too (the
    // Click a release posts): the area stays invalid and the system paints it once the queue holds
    // nothing else.
    if (!inputWaiting(paced ? QS_POSTMESSAGE : 0))
        UpdateWindow(handle());
}

void WindowImpl::releaseHeldBack() {
    if (pushTimerArmed_) {
        KillTimer(handle(), kPushTimerId);
        pushTimerArmed_ = false;
    }
    if (!IsRectEmpty(&heldBack_))
        InvalidateRect(handle(), &heldBack_, FALSE);
    heldBack_ = RECT{0, 0, 0, 0};
}

// A timer message comes only when no input or posted message waits.
void WindowImpl::armHoldTimer(double delayMs) {
    pushTimerArmed_ = SetTimer(handle(), kPushTimerId, static_cast<UINT>(delayMs) + 1, onPushTimer) != 0;
    if (!pushTimerArmed_) {
        if (layered_) {
            pushHeldBack();
        } else {
            releaseHeldBack();
            UpdateWindow(handle());
        }
    }
}

void WindowImpl::flushDirtyAreas() {
    if (dirty_.empty() || flushing_)
        return;
    // What the paints invalidate collects in dirty_ again, for the next flush.
    const DirtyList painting = dirty_;
    dirty_.clear();
    flushing_ = true;
    HDC dc = backBuffer_.dc();
    RECT changed{0, 0, 0, 0};
    for (const RECT& area : painting) {
        UnionRect(&changed, &changed, &area);
        if (!dc)
            continue;
        // Per-pixel alpha is painted over, so the area starts out fully transparent each time;
        // otherwise every repaint would darken what semi-transparent images drew before.
        {
            auto clip = win::clip_to(dc, area);
            PatBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, BLACKNESS);
        }
        paintTree(dc, area);
        auto clip = win::clip_to(dc, area);
        drawCaret(dc);
    }
    flushing_ = false;
    pushLayered(changed);
    if (!dirty_.empty())
        PostMessageW(handle(), kRepaintMessage, 0, 0);
}

// Under Wine every push of the layered bitmap costs milliseconds however small the changed area, so
// a stream of repaints (a progress bar fed by notifications) is pushed at most once a display frame,
// and input waiting in the queue is handled before the push that a press or a key caused.
void WindowImpl::pushLayered(const RECT& changed) {
    const double now = nowMs();
    if (IsRectEmpty(&heldBack_))
        heldSinceMs_ = now;
    UnionRect(&heldBack_, &heldBack_, &changed);
    const double wait = lastPushMs_ + displayFrameMs() - now;
    // Input goes first, but a stream of input holds a push back by one frame at most.
    const bool inputFirst = inputWaiting() && now - heldSinceMs_ < displayFrameMs();
    if (!inputFirst && wait <= 0) {
        pushHeldBack();
        return;
    }
    if (!pushTimerArmed_)
        armHoldTimer(inputFirst ? USER_TIMER_MINIMUM : wait);  // the timer comes after the input
}

void CALLBACK WindowImpl::onPushTimer(HWND window, UINT, UINT_PTR, DWORD) {
    if (auto* self = dynamic_cast<WindowImpl*>(windowFromHandle(window))) {
        if (self->layered_) {
            self->pushHeldBack();
        } else {
            self->releaseHeldBack();
            UpdateWindow(window);
        }
    } else
        KillTimer(window, kPushTimerId);
}

void WindowImpl::pushHeldBack() {
    if (pushTimerArmed_) {
        KillTimer(handle(), kPushTimerId);
        pushTimerArmed_ = false;
    }
    const RECT changed = heldBack_;
    heldBack_ = RECT{0, 0, 0, 0};
    RECT r{};
    if (IsRectEmpty(&changed) || !backBuffer_.bitmap() || !GetWindowRect(handle(), &r))
        return;
    lastPushMs_ = nowMs();
    POINT position{r.left, r.top};
    SIZE size{r.right - r.left, r.bottom - r.top};
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, constantAlpha_, static_cast<BYTE>(perPixelAlpha_ ? AC_SRC_ALPHA : 0)};
    // The whole buffer is the window's new look; naming the part that changed lets the system copy
    // only that part (the rest of what it holds is already the same).
    UPDATELAYEREDWINDOWINFO info{};
    info.cbSize = sizeof(info);
    info.pptDst = &position;
    info.psize = &size;
    info.hdcSrc = backBuffer_.dc();
    info.pptSrc = &source;
    info.pblend = &blend;
    info.dwFlags = ULW_ALPHA;
    info.prcDirty = &changed;
    UpdateLayeredWindowIndirect(handle(), &info);
}

// ---- Caret --------------------------------------------------------------------------------------------

void WindowImpl::setCaretSize(int width, int height) {
    caretWidth_ = width;
    caretHeight_ = height;
}

void WindowImpl::showCaret(int x, int y) {
    if (caretVisible_)
        invalidateCaret();
    caretX_ = x;
    caretY_ = y;
    caretVisible_ = true;
    invalidateCaret();
    caretTimer_.start();  // a timer that was stopped ticks at once, hiding the caret until the next blink
}

void WindowImpl::hideCaret() {
    caretVisible_ = false;
    invalidateCaret();
    InputContext ime(handle());
    if (ime.get())
        ImmNotifyIME(ime.get(), NI_COMPOSITIONSTR, CPS_CANCEL, 0);
    caretTimer_.stop();
}

void WindowImpl::toggleCaret() {
    caretVisible_ = !caretVisible_;
    invalidateCaret();
}

void WindowImpl::invalidateCaret() {
    RECT client{}, area{};
    const RECT caret = caretRect();
    if (!handle() || !GetClientRect(handle(), &client) || !IntersectRect(&area, &caret, &client))
        return;
    addDirtyArea(area);
    PostMessageW(handle(), kRepaintMessage, 0, 0);
}
