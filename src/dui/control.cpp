#include "dui/control.h"

#include <oleacc.h>
#include <windowsx.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "dui/window_host.h"
#include "host/ui_context.h"

namespace {

const StylePainter* stylePainter = nullptr;
ScriptObjectOwner* scriptObjectOwner = nullptr;
uint32_t nextSerial = 1;

// The live-control set: open addressing with linear probing over a power-of-two table that only
// grows, so attaching and detaching in steady state does not touch the general heap.
class LiveSet {
  public:
    bool contains(const void* p) const {
        if (!slots_ || !p)
            return false;
        for (std::size_t i = slotOf(p);; i = (i + 1) & mask_) {
            if (slots_[i] == p)
                return true;
            if (!slots_[i])
                return false;
        }
    }
    void insert(const void* p) {
        if (contains(p))
            return;
        if ((count_ + 1) * 2 > capacity_ && !grow())
            return;
        place(p);
        ++count_;
    }
    void erase(const void* p) {
        if (!slots_ || !p)
            return;
        std::size_t i = slotOf(p);
        while (slots_[i] != p) {
            if (!slots_[i])
                return;
            i = (i + 1) & mask_;
        }
        // Backward-shift deletion keeps every probe chain unbroken.
        std::size_t hole = i;
        for (std::size_t j = (i + 1) & mask_; slots_[j]; j = (j + 1) & mask_) {
            std::size_t home = slotOf(slots_[j]);
            bool movable = hole <= j ? (home <= hole || home > j) : (home <= hole && home > j);
            if (movable) {
                slots_[hole] = slots_[j];
                hole = j;
            }
        }
        slots_[hole] = nullptr;
        --count_;
    }
    std::size_t size() const { return count_; }

  private:
    std::size_t slotOf(const void* p) const {
        auto v = reinterpret_cast<uintptr_t>(p) >> 3;
        return static_cast<std::size_t>(v * 0x9E3779B97F4A7C15ull >> 20) & mask_;
    }
    void place(const void* p) {
        std::size_t i = slotOf(p);
        while (slots_[i]) i = (i + 1) & mask_;
        slots_[i] = p;
    }
    bool grow() {
        std::size_t capacity = capacity_ ? capacity_ * 2 : 1024;
        auto* slots = static_cast<const void**>(std::calloc(capacity, sizeof(void*)));
        if (!slots)
            return false;
        const void** old = slots_;
        std::size_t oldCapacity = capacity_;
        slots_ = slots;
        capacity_ = capacity;
        mask_ = capacity - 1;
        for (std::size_t i = 0; i < oldCapacity; ++i) {
            if (old[i])
                place(old[i]);
        }
        std::free(old);
        return true;
    }

    const void** slots_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t mask_ = 0;
    std::size_t count_ = 0;
};

LiveSet& liveSet() {
    static LiveSet set;
    return set;
}

// A posted event waiting for delivery: the serial tells a new control at a reused address.
struct PostedEvent : dui::SmallObject {
    EventRecord record;
    uint32_t serial;
};

void deliverPosted(Control* target, Control*, intptr_t arg) {
    auto* posted = reinterpret_cast<PostedEvent*>(arg);
    if (isLiveControl(target) && target->serial() == posted->serial)
        target->raiseEvent(posted->record);
    delete posted;
}

// Sum of the left/top offsets of the control and of each ancestor that has a parent.
POINT windowOffset(const Control* control) {
    POINT offset{0, 0};
    for (const Control* c = control; c && c->parent(); c = c->parent()) {
        offset.x += c->bounds().left;
        offset.y += c->bounds().top;
    }
    return offset;
}

}  // namespace

void setStylePainter(const StylePainter* painter) {
    stylePainter = painter;
}
void setScriptObjectOwner(ScriptObjectOwner* owner) {
    scriptObjectOwner = owner;
}

bool isLiveControl(const void* control) {
    return liveSet().contains(control);
}
std::size_t liveControlCount() {
    return liveSet().size();
}

struct Control::DelegateLink : dui::SmallObject {
    DelegateLink* prev;
    DelegateLink* next;
    Delegate* delegate;
};

Control::Control(uint32_t initialFlags) : flags_(initialFlags), serial_(nextSerial++) {}

Control::~Control() {
    for (auto& [id, list] : delegates_) {
        for (DelegateLink* l = list.head; l; l = l->next) l->delegate->disarm();
    }
    if (scriptObjectOwner)
        scriptObjectOwner->releaseScriptObject(this);  // also when a script cleared has-script-object
    if (window_) {
        // Destroyed while attached: nothing may keep pointing here.
        liveSet().erase(this);
        window_->eraseControlId(this);
        window_->forgetControl(this);
        window_ = nullptr;
    }
    for (auto& [id, list] : delegates_) {
        for (DelegateLink* l = list.head; l;) {
            DelegateLink* next = l->next;
            l->delegate->release();
            delete l;
            l = next;
        }
    }
}

void Control::leaveTree() {
    parent_ = prev_ = next_ = nullptr;
    if (scriptObjectOwner)
        scriptObjectOwner->releaseScriptObject(this);
}

void Control::paint(HDC dc, const RECT& rect, const RECT&) {
    const wchar_t* style = findText(attr::style);
    if (style && *style && stylePainter)
        stylePainter->paintStyle(*this, dc, rect, style);
}

Control* Control::hitTest(POINT point) {
    if ((flags_ & (flag::visible | flag::transparent)) != flag::visible)
        return nullptr;
    if (point.x < bounds_.left || point.x >= bounds_.right || point.y < bounds_.top ||
        point.y >= bounds_.bottom)
        return nullptr;
    return this;
}

void Control::setFlags(uint32_t f) {
    constexpr uint32_t kTold =
        flag::enabled | flag::visible | flag::collapsed | flag::checked | flag::focused;
    const uint32_t changed = (flags_ ^ f) & kTold;
    flags_ = f;
    if (!changed)
        return;
    if (changed & (flag::visible | flag::collapsed)) {
        const bool shown = (f & (flag::visible | flag::collapsed)) == flag::visible;
        notifyAccessible(shown ? EVENT_OBJECT_SHOW : EVENT_OBJECT_HIDE);
    }
    if (changed & ~flag::focused)
        notifyAccessible(EVENT_OBJECT_STATECHANGE);
    if ((changed & flag::focused) && (f & flag::focused))
        notifyAccessible(EVENT_OBJECT_FOCUS);
}

bool Control::addDelegate(int32_t eventId, void* context, EventFn function) {
    Delegate* d = Delegate::create(context, function);
    if (!d)
        return false;
    auto* link = new DelegateLink;
    if (!link) {
        d->release();
        return false;
    }
    DelegateList& list = delegates_[eventId];
    link->prev = list.tail;
    link->next = nullptr;
    link->delegate = d;
    if (list.tail) {
        list.tail->next = link;
    } else {
        list.head = link;
    }
    list.tail = link;
    return true;
}

bool Control::hasDelegates(int32_t eventId) const {
    auto it = delegates_.find(eventId);
    return it != delegates_.end() && it->second.head;
}

void Control::removeDelegate(int32_t eventId, void* context, EventFn function) {
    auto it = delegates_.find(eventId);
    if (it == delegates_.end())
        return;
    DelegateList& list = it->second;
    for (DelegateLink* l = list.head; l; l = l->next) {
        Delegate* d = l->delegate;
        if (d->context() != context || d->function() != function)
            continue;
        d->disarm();
        (l->prev ? l->prev->next : list.head) = l->next;
        (l->next ? l->next->prev : list.tail) = l->prev;
        d->release();
        delete l;
        return;
    }
}

void Control::raiseEvent(EventRecord& event) {
    if (!isLiveControl(this))
        return;
    if (event.id == event::ValueChange) {
        std::wstring value;
        if (accessibleValue(&value))
            notifyAccessible(EVENT_OBJECT_VALUECHANGE);
    }
    constexpr int kCapacity = 16;
    Delegate* buffer[kCapacity];
    int count = 0;
    const bool tunnel = event.route == kRouteTunnel;

    // Collection order: the target then its ancestors; tail to head within a control for tunnel.
    // Tunnel calls the buffer backwards, so it keeps the last 16 collected (the first 16 called).
    auto forEachCollected = [&](auto&& take) {
        for (Control* c = this; c; c = event.route == kRouteDirect ? nullptr : c->parent_) {
            auto it = c->delegates_.find(event.id);
            if (it == c->delegates_.end())
                continue;
            if (tunnel) {
                for (DelegateLink* l = it->second.tail; l; l = l->prev) take(l->delegate);
            } else {
                for (DelegateLink* l = it->second.head; l; l = l->next) take(l->delegate);
            }
        }
    };
    int skip = 0;
    if (tunnel) {
        int total = 0;
        forEachCollected([&](Delegate*) { ++total; });
        skip = total > kCapacity ? total - kCapacity : 0;
    }
    forEachCollected([&](Delegate* d) {
        if (skip > 0) {
            --skip;
        } else if (count < kCapacity) {
            d->addRef();
            buffer[count++] = d;
        }
    });

    for (int k = 0; k < count; ++k) {
        if (event.handled)
            break;
        buffer[tunnel ? count - 1 - k : k]->invoke(this, event);
    }
    for (int k = 0; k < count; ++k) buffer[k]->release();
}

bool Control::postEvent(const EventRecord& event) {
    auto* posted = new PostedEvent;
    if (!posted)
        return false;
    posted->record = event;
    posted->record.handled = 0;
    posted->serial = serial_;
    if (!postDeferredCall(this, deliverPosted, this, reinterpret_cast<intptr_t>(posted))) {
        delete posted;
        return false;
    }
    return true;
}

bool Control::invalidate(bool synchronous) {
    return invalidate(RECT{0, 0, bounds_.right - bounds_.left, bounds_.bottom - bounds_.top}, synchronous);
}

bool Control::invalidate(const RECT& part, bool synchronous) {
    RECT r;
    if (!windowRect(&r))
        return false;
    RECT area = part;
    OffsetRect(&area, r.left, r.top);
    if (!IntersectRect(&r, &r, &area))
        return false;
    HWND hwnd = window_->windowHandle();
    RECT client{0, 0, 0, 0};
    if (!hwnd || !GetClientRect(hwnd, &client))
        return false;
    RECT dirty;
    if (!IntersectRect(&dirty, &r, &client))
        return false;
    window_->addDirtyArea(dirty);
    if (synchronous) {
        SendMessageW(hwnd, kRepaintMessage, 0, 0);
        return true;
    }
    if (window_->repaintScheduled())
        return true;
    return PostMessageW(hwnd, kRepaintMessage, kRepaintPaced, 0) != FALSE;
}

void Control::setEnabled(bool on) {
    if (hasFlag(flag::enabled) == on)
        return;
    setFlag(flag::enabled, on);
    if (!on && window_)
        window_->forgetControl(this);
    invalidate(false);
}

void Control::setVisible(bool on) {
    if (hasFlag(flag::visible) == on)
        return;
    setFlag(flag::visible, on);
    if (!on && window_)
        window_->forgetControl(this);
    invalidate(false);
}

void Control::setChecked(bool on) {
    if (hasFlag(flag::checked) == on)
        return;
    setFlag(flag::checked, on);
    EventRecord e;
    e.id = event::ValueChange;
    e.route = kRouteDirect;
    raiseEvent(e);
    invalidate(false);
}

bool Control::windowRect(RECT* out) const {
    if (!isLiveControl(this))
        return false;
    POINT offset = windowOffset(parent_);
    *out = bounds_;
    if (parent_)
        OffsetRect(out, offset.x, offset.y);
    return true;
}

bool Control::toWindowPoint(POINT* point) const {
    if (!isLiveControl(this))
        return false;
    POINT offset = windowOffset(this);
    point->x += offset.x;
    point->y += offset.y;
    return true;
}

bool Control::fromWindowPoint(POINT* point) const {
    if (!isLiveControl(this))
        return false;
    POINT offset = windowOffset(this);
    POINT cursor = window_->cursorClientPosition();
    point->x = cursor.x - offset.x;
    point->y = cursor.y - offset.y;
    return true;
}

bool Control::eventPoint(const EventRecord& event, POINT* point) const {
    if (!isLiveControl(this))
        return false;
    POINT offset = windowOffset(this);
    point->x = GET_X_LPARAM(event.lParam) - offset.x;
    point->y = GET_Y_LPARAM(event.lParam) - offset.y;
    return true;
}

void Control::attach(WindowHost* window) {
    liveSet().insert(this);
    window_ = window;
    if (const int32_t* id = findInt(attr::id))
        window->storeControlId(*id, this);
    EventRecord e;
    e.id = event::Attached;
    e.route = kRouteDirect;
    raiseEvent(e);
    if (hasFlag(flag::container)) {
        for (Control* c = firstChild(); c; c = c->next_) c->attach(window);
    }
}

void Control::detach() {
    if (hasFlag(flag::container)) {
        for (Control* c = firstChild(); c; c = c->next_) c->detach();
    }
    EventRecord e;
    e.id = event::Detached;
    e.route = kRouteDirect;
    raiseEvent(e);
    if (window_)
        window_->forgetControl(this);
    window_ = nullptr;
    liveSet().erase(this);
}

// ---- Accessibility --------------------------------------------------------------------------------------

namespace {

bool isType(const Control& control, const wchar_t* name) {
    return std::wcscmp(control.typeName(), name) == 0;
}

// A leaf of type "Control" that takes the mouse and listens to its own press or release.
bool takesClicks(const Control& control) {
    if (control.hasFlag(flag::container) || control.hasFlag(flag::transparent) ||
        !isType(control, L"Control"))
        return false;
    for (int32_t id : {event::PrevLButtonDown, event::LButtonDown, event::PrevLButtonUp, event::LButtonUp}) {
        if (control.hasDelegates(id))
            return true;
    }
    return false;
}

// The role a control has as an item of its parent, 0 when it is none.
int32_t itemRole(const Control& control) {
    return control.parent() ? control.parent()->childAccessibleRole() : 0;
}

}  // namespace

int32_t Control::accessibleRole() const {
    if (int32_t role = itemRole(*this))
        return role;
    if (hasFlag(flag::container))
        return ROLE_SYSTEM_GROUPING;
    if (isType(*this, L"Button"))
        return ROLE_SYSTEM_PUSHBUTTON;
    if (isType(*this, L"Edit") || isType(*this, L"TextBox"))
        return ROLE_SYSTEM_TEXT;
    if (isType(*this, L"ProgressBar"))
        return ROLE_SYSTEM_PROGRESSBAR;
    if (isType(*this, L"Image"))
        return ROLE_SYSTEM_GRAPHIC;
    if (isType(*this, L"PowerPoint"))
        return ROLE_SYSTEM_ANIMATION;
    const wchar_t* text = findText(attr::text);
    return text && *text ? ROLE_SYSTEM_STATICTEXT : ROLE_SYSTEM_GRAPHIC;
}

std::wstring Control::accessibleName() const {
    const wchar_t* given = findText(attr::accessibleName);
    if (given && *given)
        return given;
    const wchar_t* text = findText(attr::text);
    if (!text || !*text)
        text = getText(attr::tooltip);
    return text;
}

bool Control::accessibleValue(std::wstring*) const {
    return false;
}

uint32_t Control::accessibleState() const {
    uint32_t state = 0;
    for (const Control* c = this; c; c = c->parent_) {
        if ((c->flags_ & (flag::visible | flag::collapsed)) != flag::visible) {
            state |= STATE_SYSTEM_INVISIBLE;
            break;
        }
    }
    if (!hasFlag(flag::enabled))
        state |= STATE_SYSTEM_UNAVAILABLE;
    const int32_t* tabStop = findInt(attr::tabStop);
    if (hasFlag(flag::focusOnPress) || (tabStop ? *tabStop != 0 : isTabStop()))
        state |= STATE_SYSTEM_FOCUSABLE;
    if (hasFlag(flag::focused) && window_ && window_->windowHandle() && GetFocus() == window_->windowHandle())
        state |= STATE_SYSTEM_FOCUSED;
    if (hasFlag(flag::hover))
        state |= STATE_SYSTEM_HOTTRACKED;
    if (hasFlag(flag::pressed))
        state |= STATE_SYSTEM_PRESSED;
    if (itemRole(*this)) {
        state |= STATE_SYSTEM_SELECTABLE;
        if (hasFlag(flag::checked))
            state |= STATE_SYSTEM_SELECTED;
    } else if (hasFlag(flag::checked) && isType(*this, L"Button")) {
        state |= STATE_SYSTEM_CHECKED;
    }
    return state;
}

const wchar_t* Control::defaultActionName() const {
    if (itemRole(*this))
        return L"Select";
    if (isType(*this, L"Button"))
        return L"Press";
    return takesClicks(*this) ? L"Click" : nullptr;
}

bool Control::doDefaultAction() {
    if (itemRole(*this))
        return parent_->doChildDefaultAction(*this);
    if (takesClicks(*this)) {
        raiseClickEvents(this);
        return true;
    }
    if (!isType(*this, L"Button"))
        return false;
    EventRecord click;
    click.id = event::Click;
    click.route = kRouteDirect;
    return postEvent(click);
}

bool Control::isTabStop() const {
    switch (accessibleRole()) {
        case ROLE_SYSTEM_PUSHBUTTON:
        case ROLE_SYSTEM_CHECKBUTTON:
        case ROLE_SYSTEM_LINK:
        case ROLE_SYSTEM_TEXT:
        case ROLE_SYSTEM_SLIDER:
        case ROLE_SYSTEM_LIST:
        case ROLE_SYSTEM_COMBOBOX:
            return true;
        case ROLE_SYSTEM_PAGETAB:
            return hasFlag(flag::checked);
        case ROLE_SYSTEM_RADIOBUTTON: {
            // One stop per group of sibling radio buttons: the checked one, else the first.
            if (hasFlag(flag::checked))
                return true;
            const Control* first = nullptr;
            for (const Control* c = parent_ ? parent_->firstChild() : this; c; c = c->next_) {
                if (c->accessibleRole() != ROLE_SYSTEM_RADIOBUTTON)
                    continue;
                if (c->hasFlag(flag::checked))
                    return false;
                if (!first)
                    first = c;
            }
            return first == this;
        }
        default:
            return false;
    }
}

bool Control::keepsKey(UINT virtualKey, bool control) const {
    if (isType(*this, L"Edit"))
        return virtualKey != VK_TAB || control;
    if (isType(*this, L"TextBox"))
        return virtualKey != VK_TAB && virtualKey != VK_RETURN && virtualKey != VK_ESCAPE;
    if (accessibleRole() == ROLE_SYSTEM_LIST)
        return virtualKey == VK_UP || virtualKey == VK_DOWN;
    return false;
}

void Control::accessibleChildren(std::vector<Control*>* out) const {
    for (Control* c = firstChild(); c; c = c->next_) out->push_back(c);
}

void raiseClickEvents(Control* control) {
    RECT r{0, 0, 0, 0};
    if (!control->windowRect(&r))
        return;
    const int64_t point = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    // Press (button held), then release.
    const int32_t steps[2][2] = {{event::PrevLButtonDown, event::LButtonDown},
                                 {event::PrevLButtonUp, event::LButtonUp}};
    for (const auto& step : steps) {
        EventRecord e;
        e.id = step[0];
        e.route = kRouteTunnel;
        e.wParam = step[0] == event::PrevLButtonDown ? MK_LBUTTON : 0;
        e.lParam = point;
        control->raiseEvent(e);
        if (!isLiveControl(control))
            return;
        if (!e.handled) {
            e.id = step[1];
            e.route = kRouteBubble;
            control->raiseEvent(e);
            if (!isLiveControl(control))
                return;
        }
    }
}

LONG Control::accessibleId() const {
    if (!parent_)
        return CHILDID_SELF;
    return -static_cast<LONG>(serial_ & 0x7FFFFFFF);
}

void Control::notifyAccessible(DWORD winEvent) const {
    if (!window_ || !isLiveControl(this))
        return;
    if (HWND hwnd = window_->windowHandle())
        NotifyWinEvent(winEvent, hwnd, OBJID_CLIENT, accessibleId());
}

void Control::textChanged(AttributeId id) {
    if (id == attr::text || id == attr::tooltip)
        notifyAccessible(EVENT_OBJECT_NAMECHANGE);
}
