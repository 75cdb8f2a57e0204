#include "controls/scroll.h"

#include <oleacc.h>

#include <algorithm>
#include <string>

#include "dui/window_host.h"
#include "render/skin_store.h"

namespace {

// The image a style names under `id`, or null when the skin, the attribute or the picture is missing.
SkinImage* styleImage(const Style* style, AttributeId id) {
    SkinStore* skin = currentSkin();
    const wchar_t* name = style ? style->findText(id) : nullptr;
    if (!skin || !name || !*name)
        return nullptr;
    SkinImage* image = skin->findImage(name);
    return image && image->bitmap() ? image : nullptr;
}

const Style* findNamedStyle(const wchar_t* name) {
    SkinStore* skin = currentSkin();
    return skin ? skin->findStyle(name) : nullptr;
}

// Posts a mouse move at the cursor so that hover states follow content that moved under it.
void postCursorMove(const Control& control) {
    WindowHost* window = control.window();
    if (!window || !window->windowHandle())
        return;
    POINT p = window->cursorClientPosition();
    PostMessageW(window->windowHandle(), WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
}

}  // namespace

// ---- ScrollTimer ------------------------------------------------------------------------------------

void ScrollTimer::tick() {
    bar_.onTick();
}

// ---- ScrollBar --------------------------------------------------------------------------------------

ScrollBar::ScrollBar()
    : Control(flag::enabled | flag::visible | flag::repaintOnState | flag::captureOnPress) {
    addDelegate(event::LButtonDown, this, onLButtonDown);
    addDelegate(event::MouseMove, this, onMouseMove);
    addDelegate(event::LostCapture, this, onLostCapture);
    addDelegate(event::MouseLeave, this, onMouseLeave);
}

ScrollBar::~ScrollBar() {
    timer_.stop();
}

const wchar_t* ScrollBar::styleName() const {
    const wchar_t* name = findText(attr::style);
    return name && *name ? name : kDefaultStyle;
}

void ScrollBar::paint(HDC dc, const RECT& rect, const RECT&) {
    paintControlStyle(*this, dc, rect, styleName());
}

int32_t ScrollBar::accessibleRole() const {
    return ROLE_SYSTEM_SCROLLBAR;
}

bool ScrollBar::accessibleValue(std::wstring* value) const {
    *value = std::to_wstring(position_);
    return true;
}

SIZE ScrollBar::arrange(SIZE size) {
    // Without a style or arrow pictures the arrows have no extent and the track spans the bar.
    const Style* style = findNamedStyle(styleName());
    const SkinImage* up = styleImage(style, attr::upArrowUpSkin);
    const SkinImage* down = styleImage(style, attr::downArrowUpSkin);
    const int32_t uw = up ? up->width() : 0, uh = up ? up->height() : 0;
    const int32_t dw = down ? down->width() : 0, dh = down ? down->height() : 0;
    const int32_t w = size.cx, h = size.cy;
    if (vertical_) {
        upArrow_ = RECT{(w - uw) / 2, 0, (w - uw) / 2 + uw, uh};
        downArrow_ = RECT{(w - dw) / 2, h - dh, (w - dw) / 2 + dw, h};
    } else {
        upArrow_ = RECT{0, (h - uh) / 2, uw, (h - uh) / 2 + uh};
        downArrow_ = RECT{w - dw, (h - dh) / 2, w, (h - dh) / 2 + dh};
    }
    return size;
}

void ScrollBar::EnsurePosition(int32_t position) {
    if (!isLiveControl(this)) {
        OutputDebugStringW(L"ScrollBar::EnsurePosition UnExpected Error.\n");
        return;
    }
    const bool usable = page_ < total_;
    if (usable != hasFlag(flag::enabled))
        setEnabled(usable);  // repaints; disabling also ends a press on the bar
    if (!usable || position < 0)
        position = 0;
    // A page larger than the total would give a negative limit; the position never goes below 0.
    position = std::max(0, std::min(position, total_ - page_));
    if (position == position_)
        return;
    position_ = position;
    notifyAccessible(EVENT_OBJECT_VALUECHANGE);
    if (auto* panel = dynamic_cast<ScrollPanel*>(parent()))
        panel->scrollPositionChanged(*this);
    invalidate(false);
}

int32_t ScrollBar::trackStart() const {
    return vertical_ ? upArrow_.bottom : upArrow_.right;
}

int32_t ScrollBar::trackLength() const {
    return (vertical_ ? downArrow_.top : downArrow_.left) - trackStart();
}

int32_t ScrollBar::thumbLength() const {
    if (total_ <= 0)
        return kMinThumbLength;
    const int64_t t = static_cast<int64_t>(page_) * trackLength() / total_ + 1;
    return static_cast<int32_t>(std::max<int64_t>(t, kMinThumbLength));
}

RECT ScrollBar::thumbRect() const {
    const RECT& b = bounds();
    const int32_t w = b.right - b.left, h = b.bottom - b.top;
    const int32_t t = thumbLength();
    const int32_t range = total_ - page_;
    const int64_t free = trackLength() - t;
    const int32_t start = trackStart() + (range > 0 ? static_cast<int32_t>(free * position_ / range) : 0);
    return vertical_ ? RECT{0, start, w, start + t} : RECT{start, 0, start + t, h};
}

uint32_t ScrollBar::hitPart(POINT p) const {
    const RECT& b = bounds();
    if (p.x < 0 || p.y < 0 || p.x >= b.right - b.left || p.y >= b.bottom - b.top)
        return 0;
    if (PtInRect(&upArrow_, p))
        return kUpArrow;
    if (PtInRect(&downArrow_, p))
        return kDownArrow;
    if (page_ >= total_)
        return 0;
    const int32_t at = along(p);
    if (at < trackStart() || at >= trackStart() + trackLength())
        return 0;
    const RECT thumb = thumbRect();
    const int32_t thumbStart = vertical_ ? thumb.top : thumb.left;
    const int32_t thumbEnd = vertical_ ? thumb.bottom : thumb.right;
    if (at < thumbStart)
        return kTrackBefore;
    return at < thumbEnd ? kThumb : kTrackAfter;
}

void ScrollBar::raiseNotify(int32_t request, int64_t value) {
    EventRecord e;
    e.id = event::Notify;
    e.route = kRouteDirect;
    e.wParam = request;
    e.lParam = value;
    raiseEvent(e);
}

void ScrollBar::onTick() {
    const uint32_t held = state_ & kPressedParts;
    if (held & kUpArrow) {
        raiseNotify(scrollRequest::lineBack, 0);
    } else if (held & kDownArrow) {
        raiseNotify(scrollRequest::lineForward, 0);
    } else if (held & (kTrackBefore | kTrackAfter)) {
        // The track repeats only while the pointer is still on the same side of the thumb, so paging
        // stops once the thumb has passed the pointer. A tick has no point of its own: it follows the
        // pointer as it is now.
        POINT p{0, 0};
        if (!fromWindowPoint(&p) || hitPart(p) != held)
            return;
        raiseNotify(held == kTrackBefore ? scrollRequest::pageBack : scrollRequest::pageForward, 0);
    }
}

void ScrollBar::onLButtonDown(void* self, Control*, EventRecord& event) {
    auto* bar = static_cast<ScrollBar*>(self);
    POINT p{0, 0};
    if (!bar->eventPoint(event, &p))
        return;
    const uint32_t part = bar->hitPart(p);
    bar->state_ = (bar->state_ & ~kPressedParts) | part;
    if (part == kThumb) {
        const RECT thumb = bar->thumbRect();
        bar->grabOffset_ = (bar->vertical_ ? thumb.top : thumb.left) - bar->along(p);
    } else if (part) {
        bar->timer_.start();
    }
    bar->invalidate(false);
}

void ScrollBar::onMouseMove(void* self, Control*, EventRecord& event) {
    auto* bar = static_cast<ScrollBar*>(self);
    POINT p{0, 0};
    if (!bar->eventPoint(event, &p))
        return;
    const uint32_t part = bar->hitPart(p);
    if (!bar->hasFlag(flag::pressed)) {
        if (part / 16 != bar->state_) {
            bar->state_ = part / 16;  // also drops the pressed bits of the last press
            bar->invalidate(false);
        }
        return;
    }
    const uint32_t held = bar->state_ & kPressedParts;
    if (held == kThumb) {
        const int32_t free = bar->trackLength() - bar->thumbLength();
        if (free < 1)
            return;
        const int64_t distance = bar->along(p) + bar->grabOffset_ - bar->trackStart();
        bar->raiseNotify(scrollRequest::thumbDrag, distance * (bar->total_ - bar->page_) / free);
    } else if (held) {
        if (part == held) {
            bar->timer_.start();  // resumes with a tick at once; nothing when already running
        } else {
            bar->timer_.stop();
        }
    }
}

void ScrollBar::onLostCapture(void* self, Control*, EventRecord&) {
    auto* bar = static_cast<ScrollBar*>(self);
    if (!(bar->state_ & kThumb))
        bar->timer_.stop();
}

void ScrollBar::onMouseLeave(void* self, Control*, EventRecord&) {
    auto* bar = static_cast<ScrollBar*>(self);
    bar->state_ &= ~(scrollPart::upHover | scrollPart::downHover | scrollPart::thumbHover);
    bar->invalidate(false);
}

// ---- ScrollPanel ------------------------------------------------------------------------------------

ScrollPanel::ScrollPanel() {
    addDelegate(event::MouseWheel, this, onMouseWheel);
}

ScrollBar* ScrollPanel::createScrollBar() {
    return new ScrollBar;
}

int32_t ScrollPanel::verticalBarWidth() const {
    const SkinImage* bar = styleImage(findNamedStyle(L"vscrollbar.xml"), attr::barSkin);
    return bar ? bar->width() : kDefaultBarSize;
}

int32_t ScrollPanel::horizontalBarHeight() const {
    const SkinImage* bar = styleImage(findNamedStyle(L"hscrollbar.xml"), attr::barSkin);
    return bar ? bar->height() : kDefaultBarSize;
}

Control* ScrollPanel::content() const {
    for (Control* c = firstChild(); c; c = c->nextSibling()) {
        if (c != vertical_ && c != horizontal_)
            return c;
    }
    return nullptr;
}

ScrollBar* ScrollPanel::makeBar(bool vertical) {
    ScrollBar* bar = createScrollBar();
    if (!bar)
        return nullptr;
    bar->setVertical(vertical);
    addChild(bar);
    bar->addDelegate(event::Notify, this, onBarNotify);
    return bar;
}

void ScrollPanel::dropBars() {
    delete removeChild(vertical_);
    delete removeChild(horizontal_);
    vertical_ = horizontal_ = nullptr;
}

SIZE ScrollPanel::arrange(SIZE size) {
    const int32_t verticalPosition = vertical_ ? vertical_->position() : 0;
    const int32_t horizontalPosition = horizontal_ ? horizontal_->position() : 0;
    dropBars();

    // 1. Which bars are needed. The content is measured with kUnlimitedLength along each direction
    //    that may scroll.
    const int32_t w = size.cx, h = size.cy;
    const int32_t verticalMode = getInt(attr::scrollvertical, attr::auto_);
    const int32_t horizontalMode = getInt(attr::scrollhorizontal, attr::never);
    const int32_t barWidth = verticalBarWidth(), barHeight = horizontalBarHeight();
    bool needVertical = verticalMode == attr::always;
    bool needHorizontal = horizontalMode == attr::always;
    Control* c = content();
    SIZE measuredWith{-1, -1};
    auto measure = [&](SIZE available) {
        measuredWith = available;
        return measureControl(c, available);
    };
    if (c && verticalMode == attr::never) {
        if (horizontalMode == attr::auto_ && measure(SIZE{kUnlimitedLength, h}).cx > w) {
            needHorizontal = true;
            measure(SIZE{kUnlimitedLength, h - barHeight});
        }
    } else if (c && horizontalMode == attr::never) {
        if (verticalMode == attr::auto_ && measure(SIZE{w, kUnlimitedLength}).cy > h) {
            needVertical = true;
            measure(SIZE{w - barWidth, kUnlimitedLength});
        }
    } else if (c) {
        const SIZE d = measure(SIZE{kUnlimitedLength, kUnlimitedLength});
        if (d.cx > w) {
            needHorizontal = true;
            needVertical = needVertical || d.cy > h - barHeight;
        } else if (d.cy > h) {
            needVertical = true;
            needHorizontal = needHorizontal || d.cx > w - barWidth;
        }
    }
    const int32_t visibleWidth = needVertical ? w - barWidth : w;
    const int32_t visibleHeight = needHorizontal ? h - barHeight : h;
    // A combination the rules above do not measure (a bar forced by "always", or both "never") still
    // measures the content once, in the space it will be shown in.
    const SIZE wanted{horizontalMode == attr::never ? visibleWidth : kUnlimitedLength,
                      verticalMode == attr::never ? visibleHeight : kUnlimitedLength};
    if (c && (measuredWith.cx != wanted.cx || measuredWith.cy != wanted.cy))
        measure(wanted);

    // 2. Bars, made again and placed along the right and bottom edges.
    if (needVertical && (vertical_ = makeBar(true))) {
        measureControl(vertical_, SIZE{barWidth, visibleHeight});
        arrangeControl(vertical_, RECT{w - barWidth, 0, w, visibleHeight});
    }
    if (needHorizontal && (horizontal_ = makeBar(false))) {
        measureControl(horizontal_, SIZE{visibleWidth, barHeight});
        arrangeControl(horizontal_, RECT{0, h - barHeight, visibleWidth, h});
    }

    // 3. The content at its full size, at least the visible area; then the kept positions.
    RECT slot{0, 0, visibleWidth, visibleHeight};
    if (c) {
        const SIZE d = c->desiredSize();
        slot.right = std::max<LONG>(d.cx, visibleWidth);
        slot.bottom = std::max<LONG>(d.cy, visibleHeight);
        arrangeControl(c, slot);
        contentRect_ = c->bounds();
    }
    if (vertical_) {
        vertical_->setTotal(slot.bottom);
        vertical_->setPage(visibleHeight);
        vertical_->EnsurePosition(verticalPosition);
    }
    if (horizontal_) {
        horizontal_->setTotal(slot.right);
        horizontal_->setPage(visibleWidth);
        horizontal_->EnsurePosition(horizontalPosition);
    }
    return size;
}

void ScrollPanel::scrollPositionChanged(const ScrollBar& bar) {
    Control* c = content();
    if (!c || (&bar != vertical_ && &bar != horizontal_))
        return;
    // Each bar moves the content along its own direction only, so the other offset is kept.
    RECT r = c->bounds();
    if (bar.vertical()) {
        r.top = contentRect_.top - bar.position();
        r.bottom = contentRect_.bottom - bar.position();
    } else {
        r.left = contentRect_.left - bar.position();
        r.right = contentRect_.right - bar.position();
    }
    c->setBounds(r);
    invalidate(false);
}

int32_t ScrollPanel::requestedPosition(const ScrollBar& bar, int32_t request, int64_t value) const {
    const int32_t p = bar.position();
    switch (request) {
        case scrollRequest::lineBack:
            return p - kLineStep;
        case scrollRequest::lineForward:
            return p + kLineStep;
        case scrollRequest::pageBack:
            return p - bar.page();
        case scrollRequest::pageForward:
            return p + bar.page();
        case scrollRequest::thumbDrag:
            return static_cast<int32_t>(value);
        default:
            return p;
    }
}

void ScrollPanel::onBarNotify(void* self, Control* sender, EventRecord& event) {
    auto* panel = static_cast<ScrollPanel*>(self);
    ScrollBar* bar = sender == panel->vertical_     ? panel->vertical_
                     : sender == panel->horizontal_ ? panel->horizontal_
                                                    : nullptr;
    if (!bar)
        return;
    bar->EnsurePosition(panel->requestedPosition(*bar, static_cast<int32_t>(event.wParam), event.lParam));
}

void ScrollPanel::onMouseWheel(void* self, Control*, EventRecord& event) {
    auto* panel = static_cast<ScrollPanel*>(self);
    ScrollBar* bar = panel->vertical_;
    if (!bar || !bar->hasFlag(flag::enabled))
        return;  // nothing to scroll here: an outer panel may take the wheel
    const int32_t delta = GET_WHEEL_DELTA_WPARAM(static_cast<WPARAM>(event.wParam));
    bar->EnsurePosition(bar->position() - panel->wheelStep() * (delta / 60));
    postCursorMove(*panel);
    event.handled = 1;  // the innermost panel that scrolls takes the wheel
}
