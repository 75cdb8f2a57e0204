#include "controls/slider.h"

#include <oleacc.h>

#include <windowsx.h>

#include "dui/factory.h"
#include "dui/window_host.h"
#include "render/skin_store.h"

namespace {

const wchar_t* styleName(const Control& slider) {
    const wchar_t* name = slider.findText(attr::style);
    return name && *name ? name : L"slider.xml";
}

POINT pointOf(const EventRecord& event) {
    return POINT{GET_X_LPARAM(event.lParam), GET_Y_LPARAM(event.lParam)};
}

}  // namespace

Slider::Slider() : Control(kInitialFlags) {
    addDelegate(event::LButtonDown, this, onPress);
    addDelegate(event::MouseMove, this, onMove);
    addDelegate(event::MouseLeave, this, onLeave);
    addDelegate(event::MouseWheel, this, onWheel);
}

bool Slider::horizontal() const {
    return getInt(attr::orientation, attr::horizontal) == attr::horizontal;
}

SIZE Slider::thumbSize() const {
    SkinStore* skin = currentSkin();
    const Style* style = skin ? skin->findStyle(styleName(*this)) : nullptr;
    const SkinImage* thumb = style ? findSkinImage(style->getText(attr::thumbUpSkin)) : nullptr;
    if (!thumb || thumb->width() <= 0 || thumb->height() <= 0)
        return SIZE{0, 0};
    return SIZE{thumb->width(), thumb->height()};
}

RECT Slider::thumbRect() const {
    const SIZE thumb = thumbSize();
    if (thumb.cx <= 0 || maximum_ == 0)
        return RECT{0, 0, 0, 0};
    const RECT& b = bounds();
    const int64_t w = b.right - b.left, h = b.bottom - b.top;
    if (horizontal()) {
        const int64_t half = thumb.cx / 2;
        const auto left = static_cast<LONG>((w - 2 * half) * value_ / maximum_);
        return RECT{left, 0, left + thumb.cx, static_cast<LONG>(h)};
    }
    const int64_t half = thumb.cy / 2;
    const auto top = static_cast<LONG>((h - 2 * half) * value_ / maximum_);
    return RECT{0, top, static_cast<LONG>(w), top + thumb.cy};
}

bool Slider::valueAt(POINT p, int32_t* value) const {
    const SIZE thumb = thumbSize();
    RECT area;
    if (thumb.cx <= 0 || !windowRect(&area))
        return false;
    const bool across = horizontal();
    const int64_t half = across ? thumb.cx / 2 : thumb.cy / 2;
    const int64_t start = across ? area.left : area.top;
    const int64_t track = (across ? area.right : area.bottom) - 2 * half - start;
    if (track == 0)
        return false;
    const int64_t v = ((across ? p.x : p.y) - half - start) * maximum_ / track;
    *value = static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
    return true;
}

void Slider::setValue(int32_t v) {
    if (v > maximum_)
        v = maximum_;
    if (v < 0)
        v = 0;
    if (v == value_)
        return;
    value_ = v;
    EventRecord changed = makeEvent(event::ValueChange);
    raiseEvent(changed);
    invalidate(false);
}

SIZE Slider::measure(SIZE available) {
    const SIZE thumb = thumbSize();
    if (thumb.cx <= 0)
        return available;
    return horizontal() ? SIZE{available.cx, thumb.cy} : SIZE{thumb.cx, available.cy};
}

void Slider::paint(HDC dc, const RECT& rect, const RECT&) {
    paintControlStyle(*this, dc, rect, styleName(*this));
}

void Slider::onPress(void* context, Control*, EventRecord& event) {
    auto* self = static_cast<Slider*>(context);
    int32_t v = 0;
    if (self->valueAt(pointOf(event), &v))
        self->setValue(v);
    event.handled = 1;
}

// Dragging while pressed; otherwise the checked flag tells the Style that the pointer is over the
// thumb.
void Slider::onMove(void* context, Control*, EventRecord& event) {
    auto* self = static_cast<Slider*>(context);
    const POINT p = pointOf(event);
    if (self->hasFlag(flag::pressed)) {
        int32_t v = 0;
        if (self->valueAt(p, &v))
            self->setValue(v);
        return;
    }
    POINT local{0, 0};
    if (!self->toWindowPoint(&local))
        return;
    const RECT thumb = self->thumbRect();
    const bool over = PtInRect(&thumb, POINT{p.x - local.x, p.y - local.y}) != FALSE;
    if (over == self->hasFlag(flag::checked))
        return;
    self->setFlag(flag::checked, over);
    self->invalidate(false);
}

void Slider::onLeave(void* context, Control*, EventRecord&) {
    static_cast<Slider*>(context)->setFlag(flag::checked, false);
}

// One notch (120) moves the value by 2; the posted mouse move lets hover follow the moved thumb.
void Slider::onWheel(void* context, Control*, EventRecord& event) {
    auto* self = static_cast<Slider*>(context);
    if (!self->hasFlag(flag::wheelAdjust))
        return;
    self->setValue(self->value_ + GET_WHEEL_DELTA_WPARAM(event.wParam) / 60);
    if (WindowHost* window = self->window()) {
        const POINT cursor = window->cursorClientPosition();
        PostMessageW(window->windowHandle(), WM_MOUSEMOVE, 0, MAKELPARAM(cursor.x, cursor.y));
    }
}

bool Slider::keyStep(int step) {
    setValue(value_ + step);
    return true;
}

int32_t Slider::accessibleRole() const {
    return ROLE_SYSTEM_SLIDER;
}

bool Slider::accessibleValue(std::wstring* value) const {
    *value = std::to_wstring(value_);
    return true;
}

void registerSliderCreators(duiFactory::ControlCreatorRegistry& registry) {
    registry.add<Slider>(L"Slider");
}
