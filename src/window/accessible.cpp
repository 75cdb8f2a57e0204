// The IAccessible objects of a window's control tree. Every call runs on the UI thread; a call looks its
// control up again (by child id, from the window's root), so objects never point at controls.
#include "window/accessible.h"

#include <oleacc.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "dui/control.h"
#include "host/handles.h"
#include "host/ui_context.h"
#include "window/window_impl.h"

namespace {

constexpr int kMaxDepth = 64;  // guards the searches against a tree that points back at itself

std::vector<Control*> childrenOf(const Control* control) {
    std::vector<Control*> out;
    control->accessibleChildren(&out);
    return out;
}

// Depth-first search below `from` for the control with a negative child id.
Control* search(Control* from, LONG id, Control** parent, int depth = 0) {
    if (depth > kMaxDepth)
        return nullptr;
    for (Control* child : childrenOf(from)) {
        if (child->accessibleId() == id) {
            if (parent)
                *parent = from;
            return child;
        }
        if (Control* found = search(child, id, parent, depth + 1))
            return found;
    }
    return nullptr;
}

bool isInside(const Control* inner, const Control* outer, int depth = 0) {
    if (inner == outer)
        return true;
    if (depth > kMaxDepth)
        return false;
    for (Control* child : childrenOf(outer)) {
        if (isInside(inner, child, depth + 1))
            return true;
    }
    return false;
}

POINT clientOrigin(HWND window) {
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    return origin;
}

// The part of the control its ancestors let show, in client coordinates.
RECT shownRect(const Control* control) {
    RECT shown{0, 0, 0, 0};
    if (!control->windowRect(&shown))
        return RECT{0, 0, 0, 0};
    for (const Control* c = control->parent(); c; c = c->parent()) {
        RECT outer;
        if (c->windowRect(&outer))
            IntersectRect(&shown, &shown, &outer);
    }
    return shown;
}

// The deepest visible control at a client point, the last child first (it is painted on top).
Control* deepestAt(Control* control, POINT point, int depth = 0) {
    if (depth > kMaxDepth || (control->accessibleState() & STATE_SYSTEM_INVISIBLE))
        return nullptr;
    std::vector<Control*> children = childrenOf(control);
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        if (Control* hit = deepestAt(*it, point, depth + 1))
            return hit;
    }
    const RECT shown = shownRect(control);
    return PtInRect(&shown, point) ? control : nullptr;
}

bool childIdOf(const VARIANT& child, LONG* id) {
    switch (child.vt) {
        case VT_EMPTY:
            *id = CHILDID_SELF;
            return true;
        case VT_I4:
        case VT_INT:
            *id = child.lVal;
            return true;
        case VT_I2:
            *id = child.iVal;
            return true;
        default:
            return false;
    }
}

// An out value's empty answer, set before anything can fail.
void clearAnswer(BSTR* out) {
    *out = nullptr;
}
void clearAnswer(VARIANT* out) {
    VariantInit(out);
}
void clearAnswer(long* out) {
    *out = 0;
}

// A BSTR result: S_FALSE and null for an empty text.
HRESULT answerText(const std::wstring& text, BSTR* out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (text.empty())
        return S_FALSE;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// The press's focus rule of the window (focus-on-press, unfocus-on-press), then the control's own
// action. The control may have gone, or changed, since the request.
void runDefaultAction(Control* target, Control*, intptr_t serial) {
    auto stillThere = [&] {
        return isLiveControl(target) && target->serial() == static_cast<uint32_t>(serial);
    };
    if (!stillThere() || (target->accessibleState() & (STATE_SYSTEM_UNAVAILABLE | STATE_SYSTEM_INVISIBLE)))
        return;
    if (WindowHost* window = target->window()) {
        if (target->hasFlag(flag::focusOnPress))
            window->setFocusedControl(target);
        else if (target->hasFlag(flag::unfocusOnPress))
            window->setFocusedControl(nullptr);
    }
    if (stillThere())
        target->doDefaultAction();
}

void runTakeFocus(Control* target, Control*, intptr_t serial) {
    if (!isLiveControl(target) || target->serial() != static_cast<uint32_t>(serial))
        return;
    if (WindowHost* window = target->window())
        window->setFocusedControl(target);
}

}  // namespace

// ---- The object ---------------------------------------------------------------------------------------

class ControlAccessible final : public IAccessible {
  public:
    ControlAccessible(AccessibleBridge* bridge, LONG id) : bridge_(bridge), id_(id) {}
    ControlAccessible(const ControlAccessible&) = delete;
    ControlAccessible& operator=(const ControlAccessible&) = delete;

    // The window is going: every later call answers RPC_E_DISCONNECTED.
    void disconnect() { bridge_ = nullptr; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) {
            if (bridge_)
                bridge_->forget(id_);
            delete this;
        }
        return static_cast<ULONG>(left);
    }

    // IDispatch: clients call the IAccessible methods directly; no type information is offered.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info)
            *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible: the tree.
    STDMETHODIMP get_accParent(IDispatch** out) override;
    STDMETHODIMP get_accChildCount(long* count) override;
    STDMETHODIMP get_accChild(VARIANT child, IDispatch** out) override;
    // Descriptions.
    STDMETHODIMP get_accName(VARIANT child, BSTR* out) override;
    STDMETHODIMP get_accValue(VARIANT child, BSTR* out) override;
    STDMETHODIMP get_accDescription(VARIANT child, BSTR* out) override;
    STDMETHODIMP get_accRole(VARIANT child, VARIANT* out) override;
    STDMETHODIMP get_accState(VARIANT child, VARIANT* out) override;
    STDMETHODIMP get_accHelp(VARIANT child, BSTR* out) override;
    STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
    STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR* out) override;
    STDMETHODIMP get_accFocus(VARIANT* out) override;
    STDMETHODIMP get_accSelection(VARIANT* out) override;
    STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* out) override;
    // Operations.
    STDMETHODIMP accSelect(long flags, VARIANT child) override;
    STDMETHODIMP accLocation(long* left, long* top, long* width, long* height, VARIANT child) override;
    STDMETHODIMP accNavigate(long direction, VARIANT start, VARIANT* out) override;
    STDMETHODIMP accHitTest(long x, long y, VARIANT* out) override;
    STDMETHODIMP accDoDefaultAction(VARIANT child) override;
    STDMETHODIMP put_accName(VARIANT, BSTR) override { return DISP_E_MEMBERNOTFOUND; }
    STDMETHODIMP put_accValue(VARIANT, BSTR) override { return DISP_E_MEMBERNOTFOUND; }

  private:
    ~ControlAccessible() = default;

    // The control that `child` names, seen from this object, and its accessible parent.
    HRESULT resolve(const VARIANT& child, Control** out, Control** parent = nullptr) const;
    // This object's own control and its accessible parent.
    HRESULT resolveSelf(Control** out, Control** parent = nullptr) const;
    // A method's opening: E_POINTER for a null `out`, else `out` cleared and the control `child` names.
    template <typename Out>
    HRESULT begin(Out* out, const VARIANT& child, Control** control) const;
    template <typename Out>
    HRESULT beginSelf(Out* out, Control** self) const;
    // A control as a VARIANT answer: CHILDID_SELF for this object's own control, else its object.
    HRESULT answerControl(Control* self, Control* control, VARIANT* out) const;
    HWND hwnd() const { return bridge_->window().handle(); }
    bool isRoot(const Control* control) const { return control == bridge_->root(); }

    AccessibleBridge* bridge_;  // null once disconnected
    const LONG id_;             // the control's accessibleId (CHILDID_SELF: the window's client object)
    volatile LONG refs_ = 1;
};

HRESULT ControlAccessible::resolve(const VARIANT& child, Control** out, Control** parent) const {
    *out = nullptr;
    if (!bridge_)
        return RPC_E_DISCONNECTED;
    Control* selfParent = nullptr;
    Control* self = bridge_->find(id_, &selfParent);
    if (!self)
        return RPC_E_DISCONNECTED;
    LONG id = CHILDID_SELF;
    if (!childIdOf(child, &id))
        return E_INVALIDARG;
    if (id == CHILDID_SELF) {
        *out = self;
        if (parent)
            *parent = selfParent;
        return S_OK;
    }
    if (id > 0) {
        std::vector<Control*> children = childrenOf(self);
        if (static_cast<size_t>(id) > children.size())
            return E_INVALIDARG;
        *out = children[static_cast<size_t>(id) - 1];
        if (parent)
            *parent = self;
        return S_OK;
    }
    *out = bridge_->find(id, parent);
    return *out ? S_OK : E_INVALIDARG;
}

HRESULT ControlAccessible::resolveSelf(Control** out, Control** parent) const {
    VARIANT self;
    VariantInit(&self);
    return resolve(self, out, parent);
}

template <typename Out>
HRESULT ControlAccessible::begin(Out* out, const VARIANT& child, Control** control) const {
    if (!out)
        return E_POINTER;
    clearAnswer(out);
    return resolve(child, control);
}

template <typename Out>
HRESULT ControlAccessible::beginSelf(Out* out, Control** self) const {
    VARIANT selfId;
    VariantInit(&selfId);
    return begin(out, selfId, self);
}

HRESULT ControlAccessible::answerControl(Control* self, Control* control, VARIANT* out) const {
    VariantInit(out);
    if (!control)
        return S_FALSE;
    if (control == self) {
        out->vt = VT_I4;
        out->lVal = CHILDID_SELF;
        return S_OK;
    }
    out->vt = VT_DISPATCH;
    out->pdispVal = bridge_->objectFor(control);
    return out->pdispVal ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP ControlAccessible::get_accParent(IDispatch** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    Control *control = nullptr, *parent = nullptr;
    if (HRESULT hr = resolveSelf(&control, &parent); FAILED(hr))
        return hr;
    if (!parent) {
        // The client object's parent is the system's object of the window itself.
        HRESULT hr = AccessibleObjectFromWindow(hwnd(), static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                                reinterpret_cast<void**>(out));
        return SUCCEEDED(hr) && *out ? S_OK : S_FALSE;
    }
    *out = bridge_->objectFor(parent);
    return *out ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP ControlAccessible::get_accChildCount(long* count) {
    Control* control = nullptr;
    if (HRESULT hr = beginSelf(count, &control); FAILED(hr))
        return hr;
    *count = static_cast<long>(childrenOf(control).size());
    return S_OK;
}

STDMETHODIMP ControlAccessible::get_accChild(VARIANT child, IDispatch** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    LONG id = CHILDID_SELF;
    if (!childIdOf(child, &id) || id == CHILDID_SELF)
        return E_INVALIDARG;
    Control* control = nullptr;
    if (HRESULT hr = resolve(child, &control); FAILED(hr))
        return hr;
    *out = bridge_->objectFor(control);
    return *out ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP ControlAccessible::get_accName(VARIANT child, BSTR* out) {
    Control* control = nullptr;
    if (HRESULT hr = begin(out, child, &control); FAILED(hr))
        return hr;
    std::wstring name = control->accessibleName();
    if (const wchar_t* ids = control->findText(attr::labelledBy)) {
        // Named by the texts of other controls (or its own id among them), in the order given.
        std::wstring joined;
        for (const wchar_t* at = ids; *at;) {
            wchar_t* end = nullptr;
            const long id = std::wcstol(at, &end, 10);
            if (end == at)
                break;
            at = end;
            if (Control* label = bridge_->window().controlById(static_cast<int32_t>(id)))
                joined += label->getText(attr::text);
        }
        if (!joined.empty())
            name = joined;
    }
    if (isRoot(control) || (name.empty() && control->accessibleRole() == ROLE_SYSTEM_TITLEBAR)) {
        // The window, and a title bar without a caption of its own, are named by the window title.
        const int length = GetWindowTextLengthW(hwnd());
        std::wstring title(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        title.resize(static_cast<size_t>(GetWindowTextW(hwnd(), title.data(), length + 1)));
        if (!title.empty())
            return answerText(title, out);
    }
    return answerText(name, out);
}

STDMETHODIMP ControlAccessible::get_accValue(VARIANT child, BSTR* out) {
    Control* control = nullptr;
    if (HRESULT hr = begin(out, child, &control); FAILED(hr))
        return hr;
    std::wstring value;
    if (!control->accessibleValue(&value))
        return DISP_E_MEMBERNOTFOUND;
    return answerText(value, out);
}

STDMETHODIMP ControlAccessible::get_accDescription(VARIANT child, BSTR* out) {
    Control* control = nullptr;
    const HRESULT hr = begin(out, child, &control);
    return FAILED(hr) ? hr : S_FALSE;
}

STDMETHODIMP ControlAccessible::get_accRole(VARIANT child, VARIANT* out) {
    Control* control = nullptr;
    if (HRESULT hr = begin(out, child, &control); FAILED(hr))
        return hr;
    out->vt = VT_I4;
    out->lVal = isRoot(control) ? ROLE_SYSTEM_CLIENT : control->accessibleRole();
    return S_OK;
}

STDMETHODIMP ControlAccessible::get_accState(VARIANT child, VARIANT* out) {
    Control* control = nullptr;
    if (HRESULT hr = begin(out, child, &control); FAILED(hr))
        return hr;
    uint32_t state = control->accessibleState();
    if (!IsWindowVisible(hwnd()))
        state |= STATE_SYSTEM_INVISIBLE;
    if (isRoot(control)) {
        state |= STATE_SYSTEM_FOCUSABLE;
        Control* focused = bridge_->window().focusedControl();
        if (GetFocus() == hwnd() && (!focused || !isLiveControl(focused)))
            state |= STATE_SYSTEM_FOCUSED;
    }
    out->vt = VT_I4;
    out->lVal = static_cast<LONG>(state);
    return S_OK;
}

STDMETHODIMP ControlAccessible::get_accHelp(VARIANT child, BSTR* out) {
    Control* control = nullptr;
    if (HRESULT hr = begin(out, child, &control); FAILED(hr))
        return hr;
    const int32_t* layoutId = control->findInt(attr::id);
    return layoutId ? answerText(L"id=" + std::to_wstring(*layoutId), out) : S_FALSE;
}

STDMETHODIMP ControlAccessible::get_accHelpTopic(BSTR* file, VARIANT, long* topic) {
    if (file)
        *file = nullptr;
    if (topic)
        *topic = -1;
    return bridge_ ? DISP_E_MEMBERNOTFOUND : RPC_E_DISCONNECTED;
}

STDMETHODIMP ControlAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* out) {
    Control* control = nullptr;
    const HRESULT hr = begin(out, child, &control);
    return FAILED(hr) ? hr : S_FALSE;
}

STDMETHODIMP ControlAccessible::get_accFocus(VARIANT* out) {
    Control* self = nullptr;
    if (HRESULT hr = beginSelf(out, &self); FAILED(hr))
        return hr;
    if (GetFocus() != hwnd())
        return S_FALSE;
    Control* focused = bridge_->window().focusedControl();
    if (!focused || !isLiveControl(focused))
        focused = isRoot(self) ? self : nullptr;
    if (!focused || !isInside(focused, self))
        return S_FALSE;
    return answerControl(self, focused, out);
}

STDMETHODIMP ControlAccessible::get_accSelection(VARIANT* out) {
    Control* self = nullptr;
    if (HRESULT hr = beginSelf(out, &self); FAILED(hr))
        return hr;
    for (Control* child : childrenOf(self)) {
        if (child->accessibleState() & STATE_SYSTEM_SELECTED)
            return answerControl(self, child, out);
    }
    return S_FALSE;
}

STDMETHODIMP ControlAccessible::get_accDefaultAction(VARIANT child, BSTR* out) {
    Control* control = nullptr;
    if (HRESULT hr = begin(out, child, &control); FAILED(hr))
        return hr;
    const wchar_t* action = control->defaultActionName();
    return action ? answerText(action, out) : S_FALSE;
}

STDMETHODIMP ControlAccessible::accSelect(long flags, VARIANT child) {
    Control* control = nullptr;
    if (HRESULT hr = resolve(child, &control); FAILED(hr))
        return hr;
    if (flags != SELFLAG_TAKEFOCUS)
        return DISP_E_MEMBERNOTFOUND;
    const uint32_t state = control->accessibleState();
    if (!(state & STATE_SYSTEM_FOCUSABLE) || (state & (STATE_SYSTEM_UNAVAILABLE | STATE_SYSTEM_INVISIBLE)))
        return E_ACCESSDENIED;
    return postDeferredCall(control, runTakeFocus, nullptr, static_cast<intptr_t>(control->serial()))
               ? S_OK
               : E_FAIL;
}

STDMETHODIMP ControlAccessible::accLocation(long* left, long* top, long* width, long* height, VARIANT child) {
    if (!left || !top || !width || !height)
        return E_POINTER;
    *left = *top = *width = *height = 0;
    Control* control = nullptr;
    if (HRESULT hr = resolve(child, &control); FAILED(hr))
        return hr;
    RECT r{};
    if (!control->windowRect(&r))
        return RPC_E_DISCONNECTED;
    const POINT origin = clientOrigin(hwnd());
    *left = r.left + origin.x;
    *top = r.top + origin.y;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return S_OK;
}

STDMETHODIMP ControlAccessible::accNavigate(long direction, VARIANT start, VARIANT* out) {
    if (!out)
        return E_POINTER;
    VariantInit(out);
    Control *from = nullptr, *parent = nullptr;
    if (HRESULT hr = resolve(start, &from, &parent); FAILED(hr))
        return hr;
    Control* self = nullptr;
    resolveSelf(&self);

    if (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD) {
        std::vector<Control*> children = childrenOf(from);
        if (children.empty())
            return S_FALSE;
        return answerControl(self, direction == NAVDIR_FIRSTCHILD ? children.front() : children.back(), out);
    }
    if (!parent)
        return S_FALSE;  // the client object's neighbours are the system's
    std::vector<Control*> siblings = childrenOf(parent);
    size_t at = 0;
    while (at < siblings.size() && siblings[at] != from) ++at;
    if (at == siblings.size())
        return S_FALSE;
    switch (direction) {
        case NAVDIR_NEXT:
            return at + 1 < siblings.size() ? answerControl(self, siblings[at + 1], out) : S_FALSE;
        case NAVDIR_PREVIOUS:
            return at > 0 ? answerControl(self, siblings[at - 1], out) : S_FALSE;
        case NAVDIR_UP:
        case NAVDIR_DOWN:
        case NAVDIR_LEFT:
        case NAVDIR_RIGHT:
            break;
        default:
            return E_INVALIDARG;
    }
    // Spatial: the nearest sibling whose centre lies that way, sideways distance counting double.
    RECT origin{};
    from->windowRect(&origin);
    const LONG cx = (origin.left + origin.right) / 2, cy = (origin.top + origin.bottom) / 2;
    Control* best = nullptr;
    long long bestScore = LLONG_MAX;
    for (Control* c : siblings) {
        RECT r{};
        if (c == from || !c->windowRect(&r) || (c->accessibleState() & STATE_SYSTEM_INVISIBLE))
            continue;
        const LONG dx = (r.left + r.right) / 2 - cx, dy = (r.top + r.bottom) / 2 - cy;
        const bool vertical = direction == NAVDIR_UP || direction == NAVDIR_DOWN;
        const LONG ahead = direction == NAVDIR_UP     ? -dy
                           : direction == NAVDIR_DOWN ? dy
                           : direction == NAVDIR_LEFT ? -dx
                                                      : dx;
        if (ahead <= 0)
            continue;
        const long long score = ahead + 2LL * std::labs(vertical ? dx : dy);
        if (score < bestScore) {
            bestScore = score;
            best = c;
        }
    }
    return best ? answerControl(self, best, out) : S_FALSE;
}

STDMETHODIMP ControlAccessible::accHitTest(long x, long y, VARIANT* out) {
    Control* self = nullptr;
    if (HRESULT hr = beginSelf(out, &self); FAILED(hr))
        return hr;
    const POINT origin = clientOrigin(hwnd());
    const POINT client{x - origin.x, y - origin.y};
    RECT area{};
    GetClientRect(hwnd(), &area);
    if (!PtInRect(&area, client))
        return S_FALSE;
    return answerControl(self, deepestAt(self, client), out);
}

STDMETHODIMP ControlAccessible::accDoDefaultAction(VARIANT child) {
    Control* control = nullptr;
    if (HRESULT hr = resolve(child, &control); FAILED(hr))
        return hr;
    if (!control->defaultActionName())
        return DISP_E_MEMBERNOTFOUND;
    if (!IsWindowVisible(hwnd()) ||
        (control->accessibleState() & (STATE_SYSTEM_UNAVAILABLE | STATE_SYSTEM_INVISIBLE)))
        return E_ACCESSDENIED;
    return postDeferredCall(control, runDefaultAction, nullptr, static_cast<intptr_t>(control->serial()))
               ? S_OK
               : E_FAIL;
}

// ---- The bridge ---------------------------------------------------------------------------------------

AccessibleBridge::~AccessibleBridge() {
    std::vector<win::com_ptr<ControlAccessible>> held;
    for (auto& [id, object] : objects_) {
        object->AddRef();
        object->disconnect();
        *held.emplace_back().put() = object;
    }
    objects_.clear();
    for (auto& object : held) CoDisconnectObject(object.get(), 0);
}

Control* AccessibleBridge::root() const {
    Control* root = window_.root();
    return root && isLiveControl(root) && root->window() == static_cast<WindowHost*>(&window_) ? root
                                                                                               : nullptr;
}

Control* AccessibleBridge::find(LONG id, Control** parent) const {
    if (parent)
        *parent = nullptr;
    Control* top = root();
    if (!top)
        return nullptr;
    if (id == CHILDID_SELF)
        return top;
    return id < 0 ? search(top, id, parent) : nullptr;
}

ControlAccessible* AccessibleBridge::objectFor(Control* control) {
    const LONG id = control->accessibleId();
    auto it = objects_.find(id);
    if (it != objects_.end()) {
        it->second->AddRef();
        return it->second;
    }
    auto* object = new (std::nothrow) ControlAccessible(this, id);
    if (object)
        objects_.emplace(id, object);
    return object;
}

LRESULT AccessibleBridge::answerGetObject(WPARAM wParam, LPARAM lParam) {
    if (static_cast<LONG>(lParam) != OBJID_CLIENT || !root())
        return 0;
    win::com_ptr<ControlAccessible> client;
    *client.put() = objectFor(root());
    if (!client)
        return 0;
    // The interface id must be the GUID itself: MinGW's import library exports IID_IAccessible in a
    // form whose address is not the GUID.
    const LRESULT answer = LresultFromObject(__uuidof(IAccessible), wParam, client.get());
    return answer > 0 ? answer : 0;
}
