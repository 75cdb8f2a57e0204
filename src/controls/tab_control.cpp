#include "controls/tab_control.h"

#include <oleacc.h>

#include <algorithm>

#include "dui/factory.h"

namespace {

constexpr int kSlideSteps = 10;
constexpr int64_t kStepMs = 10;

// Spins until `ms` milliseconds have passed on the performance counter, counted as ticks * 1024 /
// frequency; the thread handles no messages meanwhile.
void spin(int64_t ms) {
    LARGE_INTEGER frequency, start, now;
    if (ms <= 0 || !QueryPerformanceFrequency(&frequency) || !QueryPerformanceCounter(&start))
        return;
    do {
        QueryPerformanceCounter(&now);
    } while ((now.QuadPart - start.QuadPart) * 1024 / frequency.QuadPart < ms);
}

// The page at `left` (a shift of its resting place), repainted before the call returns; the step is
// then padded to about 10 ms.
void showStep(Control* page, const RECT& rest, LONG shift) {
    page->setBounds(RECT{rest.left + shift, rest.top, rest.right + shift, rest.bottom});
    const DWORD before = GetTickCount();
    page->invalidate(true);
    spin(kStepMs - static_cast<int64_t>(GetTickCount() - before));
}

void raiseValueChange(Control* control) {
    EventRecord changed = makeEvent(event::ValueChange);
    control->raiseEvent(changed);
}

}  // namespace

// ---- TabControl ----------------------------------------------------------------------------------

int32_t TabControl::placement() const {
    return getInt(attr::tabPlacement, attr::top);
}

int32_t TabControl::indexOf(const Control* tab) const {
    int32_t index = 0;
    for (Control* c = firstChild(); c; c = c->nextSibling(), ++index) {
        if (c == tab)
            return index;
    }
    return -1;
}

SIZE TabControl::measure(SIZE available) {
    const int32_t where = placement();
    tabSize_ = getInt(attr::tabHeight, 0);
    if (!firstChild() || (where != attr::top && where != attr::left))
        return SIZE{0, 0};
    const bool top = where == attr::top;
    LONG tabs = 0;
    SIZE pages{0, 0};
    for (Control* c = firstChild(); c; c = c->nextSibling()) {
        const SIZE d = measureControl(c, top ? SIZE{available.cx, tabSize_} : SIZE{tabSize_, available.cy});
        tabs += top ? d.cx : d.cy;
        auto* tab = dynamic_cast<TabItem*>(c);
        if (!tab || !tab->page())
            continue;
        const SIZE p = measureControl(tab->page(), top ? SIZE{available.cx, available.cy - tabSize_}
                                                       : SIZE{available.cx - tabSize_, available.cy});
        pages.cx = std::max(pages.cx, p.cx);
        pages.cy = std::max(pages.cy, p.cy);
    }
    if (top)
        return SIZE{std::max(tabs, pages.cx), tabSize_ + pages.cy};
    return SIZE{tabSize_ + pages.cx, std::max(tabs, pages.cy)};
}

SIZE TabControl::arrange(SIZE size) {
    const int32_t where = placement();
    if (where != attr::top && where != attr::left)
        return size;
    tabSize_ = getInt(attr::tabHeight, 0);
    if (!selected_)
        select(dynamic_cast<TabItem*>(firstChild()));
    const bool top = where == attr::top;
    strip_ = top ? RECT{0, 0, size.cx, tabSize_} : RECT{0, 0, tabSize_, size.cy};
    page_ = top ? RECT{0, tabSize_, size.cx, size.cy} : RECT{tabSize_, 0, size.cx, size.cy};
    LONG along = 0;
    for (Control* c = firstChild(); c; c = c->nextSibling()) {
        const SIZE d = c->desiredSize();
        if (top) {
            arrangeControl(c, RECT{along, 0, along + d.cx, tabSize_});
            along += d.cx;
        } else {
            arrangeControl(c, RECT{0, along, tabSize_, along + d.cy});
            along += d.cy;
        }
        if (auto* tab = dynamic_cast<TabItem*>(c))
            arrangeControl(tab->page(), page_);
    }
    return size;
}

void TabControl::paint(HDC dc, const RECT& rect, const RECT& clip) {
    RECT strip = strip_;
    OffsetRect(&strip, rect.left, rect.top);
    Control::paint(dc, strip, clip);
    for (Control* c = firstChild(); c; c = c->nextSibling()) paintChild(c, dc, rect, clip);
    if (selected_)
        paintChild(selected_->page(), dc, rect, clip);
}

Control* TabControl::hitTest(POINT point) {
    if (!Control::hitTest(point))
        return nullptr;
    const POINT local{point.x - bounds().left, point.y - bounds().top};
    if (PtInRect(&strip_, local)) {
        for (Control* c = lastChild(); c; c = c->previousSibling()) {
            if (Control* hit = c->hitTest(local))
                return hit;
        }
        return this;
    }
    Control* page = selected_ ? selected_->page() : nullptr;
    Control* hit = page ? page->hitTest(local) : nullptr;
    return hit ? hit : this;
}

void TabControl::select(TabItem* tab) {
    if (tab == selected_)
        return;
    TabItem* previous = selected_;
    const int32_t previousIndex = previous ? indexOf(previous) : -1;
    if (previous) {
        previous->setFlag(flag::checked, false);
        raiseValueChange(previous);
        previous->invalidate(true);
    }
    selected_ = tab;
    if (tab)
        tab->setFlag(flag::checked, true);
    raiseValueChange(this);
    if (previous && tab && tab->page() && placement() == attr::top)
        slidePage(tab->page(), indexOf(tab) > previousIndex);
    invalidate(false);
    notifyAccessible(EVENT_OBJECT_REORDER);
}

int32_t TabControl::accessibleRole() const {
    return ROLE_SYSTEM_PAGETABLIST;
}

// Ten steps of a tenth of the page width each, every step painted before the next.
void TabControl::slidePage(Control* page, bool fromRight) {
    const RECT rest = page->bounds();
    const LONG width = page_.right - page_.left;
    if (fromRight) {
        for (int n = kSlideSteps; n >= 1; --n) showStep(page, rest, n * width / kSlideSteps);
    } else {
        for (int i = 0; i < kSlideSteps; ++i) showStep(page, rest, i * width / kSlideSteps - width);
    }
    page->setBounds(rest);
}

void TabControl::showPage(Control* page) {
    if (!page)
        return;
    adopt(page);
    if (window())
        page->attach(window());
}

// ---- TabItem -------------------------------------------------------------------------------------

TabItem::TabItem() : Button(kInitialFlags) {
    addDelegate(event::LButtonDown, this, onPress);
    addDelegate(event::Attached, this, onAttached);
    addDelegate(event::Detached, this, onDetached);
}

TabItem::~TabItem() = default;

void TabItem::setPage(Control* page) {
    if (page_ && isLiveControl(page_.get()))
        page_->detach();
    page_.reset(page);
    if (window())
        joinTabControl();
}

void TabItem::joinTabControl() {
    if (auto* tabs = dynamic_cast<TabControl*>(parent()))
        tabs->showPage(page());
}

void TabItem::onPress(void* context, Control*, EventRecord& event) {
    auto* self = static_cast<TabItem*>(context);
    event.handled = 1;
    if (self->hasFlag(flag::checked))
        return;
    if (auto* tabs = dynamic_cast<TabControl*>(self->parent()))
        tabs->select(self);
}

void TabItem::onAttached(void* context, Control*, EventRecord&) {
    static_cast<TabItem*>(context)->joinTabControl();
}

void TabItem::onDetached(void* context, Control*, EventRecord&) {
    auto* self = static_cast<TabItem*>(context);
    if (self->page_ && isLiveControl(self->page_.get()))
        self->page_->detach();
}

int32_t TabItem::accessibleRole() const {
    return ROLE_SYSTEM_PAGETAB;
}

uint32_t TabItem::accessibleState() const {
    const uint32_t state = Button::accessibleState() & ~static_cast<uint32_t>(STATE_SYSTEM_CHECKED);
    return state | STATE_SYSTEM_SELECTABLE | (hasFlag(flag::checked) ? STATE_SYSTEM_SELECTED : 0);
}

const wchar_t* TabItem::defaultActionName() const {
    return L"Switch";
}

bool TabItem::doDefaultAction() {
    raiseClickEvents(this);
    return true;
}

void TabItem::accessibleChildren(std::vector<Control*>* out) const {
    if (hasFlag(flag::checked) && page_)
        out->push_back(page_.get());
}

void registerTabCreators(duiFactory::ControlCreatorRegistry& registry) {
    registry.add<TabControl>(L"TabControl");
    registry.add<TabItem>(L"TabItem");
}
