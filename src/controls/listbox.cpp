#include "controls/listbox.h"

#include <oleacc.h>

#include <algorithm>

#include "controls/combobox.h"
#include "dui/factory.h"

// ---- ListItemStack ----------------------------------------------------------------------------------

SIZE ListItemStack::measure(SIZE available) {
    auto* list = dynamic_cast<ListBox*>(parent());
    const int32_t itemHeight = list ? list->itemHeight() : ListBox::kDefaultItemHeight;
    SIZE total{0, 0};
    for (Control* c = firstChild(); c; c = c->nextSibling()) {
        SIZE d = measureControl(c, SIZE{available.cx, kUnlimitedLength});
        if (isLiveControl(c) && !c->hasFlag(flag::collapsed) && !c->findInt(attr::height)) {
            d.cy = itemHeight;
            c->setDesiredSize(d);
        }
        total.cx = std::max(total.cx, d.cx);
        total.cy += d.cy;
    }
    return total;
}

SIZE ListItemStack::arrange(SIZE size) {
    items_.clear();
    slotTops_.clear();
    slotBottoms_.clear();
    items_.reserve(static_cast<std::size_t>(childCount()));
    slotTops_.reserve(items_.capacity());
    slotBottoms_.reserve(items_.capacity());
    int32_t offset = 0;
    for (Control* c = firstChild(); c; c = c->nextSibling()) {
        const int32_t bottom = offset + c->desiredSize().cy;
        arrangeControl(c, RECT{0, offset, size.cx, bottom});
        items_.push_back(c);
        slotTops_.push_back(offset);
        slotBottoms_.push_back(bottom);
        offset = bottom;
    }
    return size;
}

std::size_t ListItemStack::firstEndingBelow(int32_t y) const {
    return static_cast<std::size_t>(std::upper_bound(slotBottoms_.begin(), slotBottoms_.end(), y) -
                                    slotBottoms_.begin());
}

void ListItemStack::paint(HDC dc, const RECT& rect, const RECT& clip) {
    if (!indexed()) {
        StackPanel::paint(dc, rect, clip);  // items added since the last arrange: visit them all
        return;
    }
    Control::paint(dc, rect, clip);
    const int32_t bottom = clip.bottom - rect.top;
    for (std::size_t i = firstEndingBelow(clip.top - rect.top); i < items_.size() && slotTops_[i] < bottom;
         ++i)
        paintChild(items_[i], dc, rect, clip);
}

Control* ListItemStack::hitTest(POINT point) {
    if (!indexed())
        return StackPanel::hitTest(point);
    if (!Control::hitTest(point))
        return nullptr;
    const POINT local{point.x - bounds().left, point.y - bounds().top};
    if (Control* item = itemAtY(local.y)) {
        if (Control* hit = item->hitTest(local))
            return hit;
    }
    return this;
}

Control* ListItemStack::itemAtY(int32_t y) const {
    if (!indexed()) {
        for (Control* c = firstChild(); c; c = c->nextSibling()) {
            if (y >= c->bounds().top && y < c->bounds().bottom)
                return c;
        }
        return nullptr;
    }
    const std::size_t i = firstEndingBelow(y);
    return i < items_.size() && slotTops_[i] <= y ? items_[i] : nullptr;
}

int32_t ListItemStack::indexOf(const Control* item) const {
    int32_t index = 0;
    for (Control* c = firstChild(); c; c = c->nextSibling(), ++index) {
        if (c == item)
            return index;
    }
    return -1;
}

int32_t ListItemStack::childAccessibleRole() const {
    return ROLE_SYSTEM_LISTITEM;
}

bool ListItemStack::doChildDefaultAction(Control& child) {
    auto* list = dynamic_cast<ListBox*>(parent());
    if (!list || child.parent() != this)
        return false;
    list->choose(&child);
    return true;
}

// ---- ListBox ----------------------------------------------------------------------------------------

ListBox::ListBox() {
    stack_ = new ListItemStack;
    addChild(stack_);
    addDelegate(event::PrevLButtonDown, this, onPrevLButtonDown);
    addDelegate(event::LButtonDown, this, onLButtonDown);
    addDelegate(event::KeyDown, this, onKeyDown);
}

bool ListBox::addItem(Control* item) {
    if (!stack_ || !item)
        return false;
    stack_->addChild(item);
    return true;
}

int32_t ListBox::itemHeight() const {
    const int32_t h = getInt(attr::itemHeight, kDefaultItemHeight);
    return h > 0 ? h : kDefaultItemHeight;
}

const wchar_t* ListBox::selectedText() const {
    return selected_ ? selected_->getText(attr::text) : L"";
}

void ListBox::select(Control* item) {
    if (item && (!stack_ || item->parent() != stack_))
        return;
    if (item != selected_) {
        if (selected_)
            selected_->setChecked(false);
        selected_ = item;
        if (item)
            item->setChecked(true);
    }
    if (item)
        makeVisible(item);
    invalidate(false);
}

void ListBox::makeVisible(const Control* item) {
    ScrollBar* bar = verticalBar();
    if (!item || !bar)
        return;
    const int32_t height = bounds().bottom - bounds().top;
    const int32_t top = contentRect().top + item->bounds().top;
    const int32_t bottom = contentRect().top + item->bounds().bottom;
    const int32_t viewTop = bar->position();
    if (top >= viewTop && bottom <= viewTop + height)
        return;
    bar->EnsurePosition(top < viewTop ? top : bottom - height + height % itemHeight());
}

int32_t ListBox::requestedPosition(const ScrollBar& bar, int32_t request, int64_t value) const {
    // Every request lands on a whole item: a page is the list's height less its partial item.
    const int32_t step = itemHeight();
    const int32_t height = bounds().bottom - bounds().top;
    const int32_t p = bar.position();
    switch (request) {
        case scrollRequest::lineBack:
            return p - step;
        case scrollRequest::lineForward:
            return p + step;
        case scrollRequest::pageBack:
            return p - height + height % step;
        case scrollRequest::pageForward:
            return p + height - height % step;
        case scrollRequest::thumbDrag:
            return static_cast<int32_t>(step * (value / step));
        default:
            return p;
    }
}

void ListBox::choose(Control* item) {
    if (!stack_ || !item || item->parent() != stack_)
        return;
    if (WindowHost* window = this->window())
        window->setFocusedControl(this);
    select(item);
    EventRecord notify;
    notify.id = event::Notify;
    notify.route = kRouteDirect;
    notify.wParam = stack_->indexOf(item);
    raiseEvent(notify);
}

int32_t ListBox::accessibleRole() const {
    return ROLE_SYSTEM_LIST;
}

uint32_t ListBox::accessibleState() const {
    return ScrollPanel::accessibleState() | STATE_SYSTEM_FOCUSABLE;
}

void ListBox::accessibleChildren(std::vector<Control*>* out) const {
    if (stack_)
        stack_->accessibleChildren(out);
    if (verticalBar())
        out->push_back(verticalBar());
    if (horizontalBar())
        out->push_back(horizontalBar());
}

void ListBox::onPrevLButtonDown(void* self, Control*, EventRecord&) {
    auto* list = static_cast<ListBox*>(self);
    if (WindowHost* window = list->window())
        window->setFocusedControl(list);
}

void ListBox::onLButtonDown(void* self, Control* sender, EventRecord& event) {
    auto* list = static_cast<ListBox*>(self);
    // Presses on the bars (or on a nested list's) are not item choices.
    for (Control* c = sender; c && c != list; c = c->parent()) {
        if (dynamic_cast<ScrollBar*>(c) || (c != sender && dynamic_cast<ListBox*>(c)))
            return;
    }
    // The item under the press, whatever was hit: items such as labels are transparent to the mouse.
    POINT p{0, 0};
    ListItemStack* stack = list->stack_;
    if (!stack || !stack->eventPoint(event, &p) || p.x < 0 ||
        p.x >= stack->bounds().right - stack->bounds().left)
        return;
    if (Control* item = stack->itemAtY(p.y))
        list->choose(item);  // the focus came with PrevLButtonDown
}

void ListBox::onKeyDown(void* self, Control*, EventRecord& event) {
    auto* list = static_cast<ListBox*>(self);
    if ((event.wParam != VK_UP && event.wParam != VK_DOWN) || !list->selected_)
        return;
    Control* next =
        event.wParam == VK_UP ? list->selected_->previousSibling() : list->selected_->nextSibling();
    if (!next)
        return;
    list->select(next);
    event.handled = 1;
}

void registerListCreators(duiFactory::ControlCreatorRegistry& registry) {
    registry.add<ListBox>(L"ListBox");
    registry.add<ScrollPanel>(L"ScrollPanel");
    registry.add<ComboBox>(L"ComboBox");
}
