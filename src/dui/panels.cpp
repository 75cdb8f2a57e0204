#include "dui/panels.h"

#include <algorithm>

#include "host/handles.h"

namespace {

int32_t alignKeyword(const Control* c, AttributeId id) {
    return c->getInt(id, attr::stretch);
}

}  // namespace

SIZE measureControl(Control* control, SIZE available) {
    if (!control || !isLiveControl(control))
        return SIZE{0, 0};
    SIZE desired{0, 0};
    if (!control->hasFlag(flag::collapsed)) {
        RECT m = control->getRect(attr::margin);
        LONG mw = m.left + m.right;
        LONG mh = m.top + m.bottom;
        LONG w = available.cx - mw;
        LONG h = available.cy - mh;
        if (w >= 1 && h >= 1) {
            LONG W = control->getInt(attr::width, -1);
            LONG H = control->getInt(attr::height, -1);
            SIZE content = control->measure(SIZE{W != -1 ? W : w, H != -1 ? H : h});
            desired.cx = mw + (W != -1 ? W : content.cx);
            desired.cy = mh + (H != -1 ? H : content.cy);
        }
    }
    control->setDesiredSize(desired);
    return desired;
}

void arrangeControl(Control* control, const RECT& slot) {
    if (!control)
        return;
    const RECT zero{0, 0, 0, 0};
    if (!isLiveControl(control)) {
        control->setBounds(zero);
        return;
    }
    RECT m = control->getRect(attr::margin);
    LONG mw = m.left + m.right;
    LONG mh = m.top + m.bottom;
    LONG aw = slot.right - slot.left - mw;
    LONG ah = slot.bottom - slot.top - mh;
    if (aw <= 0 || ah <= 0) {
        control->setBounds(zero);
        return;
    }
    SIZE desired = control->desiredSize();
    LONG dw = desired.cx - mw;
    LONG dh = desired.cy - mh;
    LONG ha = alignKeyword(control, attr::horizontalAlign);
    LONG va = alignKeyword(control, attr::verticalAlign);
    LONG width = ha == attr::stretch ? std::max(aw, dw) : dw;
    LONG height = va == attr::stretch ? std::max(ah, dh) : dh;
    width = control->getInt(attr::width, -1) != -1 ? control->getInt(attr::width, -1) : width;
    height = control->getInt(attr::height, -1) != -1 ? control->getInt(attr::height, -1) : height;

    SIZE used = control->arrange(SIZE{width, height});
    if (used.cx <= 0 || used.cy <= 0) {
        control->setBounds(zero);
        return;
    }
    LONG x0 = slot.left + m.left;
    LONG x1 = slot.right - m.right - used.cx;
    LONG left = (ha == attr::center || ha == attr::stretch) ? (x0 + x1) / 2 : ha == attr::right ? x1 : x0;
    left = std::max(left, x0);
    LONG y0 = slot.top + m.top;
    LONG y1 = slot.bottom - m.bottom - used.cy;
    LONG top = (va == attr::center || va == attr::stretch) ? (y0 + y1) / 2 : va == attr::bottom ? y1 : y0;
    top = std::max(top, y0);
    control->setBounds(RECT{left, top, left + used.cx, top + used.cy});
}

Panel::~Panel() {
    // Last to first; the list stays consistent while each child dies.
    while (last_) {
        Control* child = last_;
        last_ = child->prev_;
        if (last_) {
            last_->next_ = nullptr;
        } else {
            first_ = nullptr;
        }
        --count_;
        delete child;
    }
}

void Panel::addChild(Control* child) {
    if (!child)
        return;
    child->parent_ = this;
    child->prev_ = last_;
    child->next_ = nullptr;
    if (last_) {
        last_->next_ = child;
    } else {
        first_ = child;
    }
    last_ = child;
    ++count_;
    if (window())
        child->attach(window());
}

Control* Panel::removeChild(Control* child) {
    if (!child || child->parent_ != this)
        return nullptr;
    if (child->window())
        child->detach();
    (child->prev_ ? child->prev_->next_ : first_) = child->next_;
    (child->next_ ? child->next_->prev_ : last_) = child->prev_;
    child->parent_ = child->prev_ = child->next_ = nullptr;
    --count_;
    return child;
}

Control* Panel::childAt(int32_t index) const {
    if (index < 0)
        return nullptr;
    Control* c = first_;
    while (c && index-- > 0) c = c->nextSibling();
    return c;
}

void paintChild(Control* child, HDC dc, const RECT& parentRect, const RECT& clip) {
    if (!child || !child->hasFlag(flag::visible) || child->hasFlag(flag::collapsed))
        return;
    RECT moved = child->bounds();
    OffsetRect(&moved, parentRect.left, parentRect.top);
    RECT area;
    if (!IntersectRect(&area, &moved, &clip))
        return;
    // Whatever the child changes in the DC is undone after it, the narrowed clip included.
    auto saved = win::save_dc(dc);
    auto clipped = win::clip_to(dc, area);
    child->paint(dc, moved, area);
}

void Panel::paint(HDC dc, const RECT& rect, const RECT& clip) {
    Control::paint(dc, rect, clip);
    for (Control* child = first_; child; child = child->nextSibling()) paintChild(child, dc, rect, clip);
}

void Panel::adopt(Control* control) {
    if (!control)
        return;
    control->parent_ = this;
    control->prev_ = nullptr;
    control->next_ = nullptr;
}

Control* Panel::hitTest(POINT point) {
    if (!Control::hitTest(point))
        return nullptr;
    POINT local{point.x - bounds().left, point.y - bounds().top};
    for (Control* child = last_; child; child = child->previousSibling()) {
        if (Control* hit = child->hitTest(local))
            return hit;
    }
    return this;
}

SIZE Canvas::measure(SIZE) {
    for (Control* c = firstChild(); c; c = c->nextSibling())
        measureControl(c, SIZE{kUnlimitedLength, kUnlimitedLength});
    return SIZE{0, 0};
}

SIZE Canvas::arrange(SIZE size) {
    for (Control* c = firstChild(); c; c = c->nextSibling()) {
        LONG x = c->getInt(attr::x, 0);
        LONG y = c->getInt(attr::y, 0);
        if (x < 0)
            x += size.cx;
        if (y < 0)
            y += size.cy;
        SIZE d = c->desiredSize();
        arrangeControl(c, RECT{x, y, x + d.cx, y + d.cy});
    }
    return size;
}

namespace {
bool isHorizontal(const Control* c) {
    return c->getInt(attr::orientation, attr::vertical) == attr::horizontal;
}
}  // namespace

SIZE StackPanel::measure(SIZE available) {
    bool horizontal = isHorizontal(this);
    SIZE total{0, 0};
    for (Control* c = firstChild(); c; c = c->nextSibling()) {
        SIZE d = measureControl(
            c, horizontal ? SIZE{kUnlimitedLength, available.cy} : SIZE{available.cx, kUnlimitedLength});
        if (horizontal) {
            total.cx += d.cx;
            total.cy = std::max(total.cy, d.cy);
        } else {
            total.cx = std::max(total.cx, d.cx);
            total.cy += d.cy;
        }
    }
    return total;
}

SIZE StackPanel::arrange(SIZE size) {
    bool horizontal = isHorizontal(this);
    LONG offset = 0;
    for (Control* c = firstChild(); c; c = c->nextSibling()) {
        SIZE d = c->desiredSize();
        if (horizontal) {
            arrangeControl(c, RECT{offset, 0, offset + d.cx, size.cy});
            offset += d.cx;
        } else {
            arrangeControl(c, RECT{0, offset, size.cx, offset + d.cy});
            offset += d.cy;
        }
    }
    return size;
}

namespace {
LONG dockOf(const Control* c) {
    return c->getInt(attr::dock, attr::left);
}
}  // namespace

SIZE DockPanel::measure(SIZE available) {
    LONG usedW = 0, usedH = 0, bandH = 0, bandW = 0;
    for (Control* c = firstChild(); c; c = c->nextSibling()) {
        SIZE d = measureControl(
            c, SIZE{std::max<LONG>(0, available.cx - usedW), std::max<LONG>(0, available.cy - usedH)});
        LONG dock = dockOf(c);
        if (dock == attr::left || dock == attr::right) {
            bandH = std::max(bandH, usedH + d.cy);
            usedW += d.cx;
        } else if (dock == attr::top || dock == attr::bottom) {
            bandW = std::max(bandW, usedW + d.cx);
            usedH += d.cy;
        }
    }
    return SIZE{std::max(usedW, bandW), std::max(usedH, bandH)};
}

SIZE DockPanel::arrange(SIZE size) {
    LONG L = 0, T = 0, R = size.cx, B = size.cy, usedRight = 0, usedBottom = 0;
    for (Control* c = firstChild(); c; c = c->nextSibling()) {
        if (!c->nextSibling()) {
            arrangeControl(c, RECT{L, T, R, B});
            break;
        }
        SIZE d = c->desiredSize();
        LONG dock = dockOf(c);
        if (dock == attr::left) {
            arrangeControl(c, RECT{L, T, L + d.cx, B});
            L += d.cx;
        } else if (dock == attr::top) {
            arrangeControl(c, RECT{L, T, R, T + d.cy});
            T += d.cy;
        } else if (dock == attr::right) {
            usedRight += d.cx;
            R = size.cx - usedRight;
            LONG x = std::max(L, R);
            arrangeControl(c, RECT{x, T, x + d.cx, B});
        } else {
            usedBottom += d.cy;
            B = size.cy - usedBottom;
            LONG y = std::max(T, B);
            arrangeControl(c, RECT{L, y, R, y + d.cy});
        }
    }
    return size;
}

SIZE Grid::measure(SIZE available) {
    SIZE largest{0, 0};
    for (Control* c = firstChild(); c; c = c->nextSibling()) {
        SIZE d = measureControl(c, available);
        largest.cx = std::max(largest.cx, d.cx);
        largest.cy = std::max(largest.cy, d.cy);
    }
    return largest;
}

SIZE Grid::arrange(SIZE size) {
    for (Control* c = firstChild(); c; c = c->nextSibling()) arrangeControl(c, RECT{0, 0, size.cx, size.cy});
    return size;
}

bool addChild(Control* parent, Control* child) {
    auto* panel = parent && parent->hasFlag(flag::container) ? dynamic_cast<Panel*>(parent) : nullptr;
    if (!panel)
        return false;
    panel->addChild(child);
    return true;
}

Control* childAt(const Control* parent, int32_t index) {
    auto* panel = dynamic_cast<const Panel*>(parent);
    return panel ? panel->childAt(index) : nullptr;
}
