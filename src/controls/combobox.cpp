#include "controls/combobox.h"

#include <oleacc.h>
#include <windowsx.h>
#include <algorithm>
#include <cwchar>

#include "dui/panels.h"
#include "dui/style.h"

namespace {

bool isMouseMessage(UINT m) {
    return m >= WM_MOUSEMOVE && m <= WM_MBUTTONDBLCLK;
}
bool isNonClientMouseMessage(UINT m) {
    return m >= WM_NCMOUSEMOVE && m <= WM_NCMBUTTONDBLCLK;
}
bool isKeyboardMessage(UINT m) {
    return m >= WM_KEYDOWN && m <= WM_SYSDEADCHAR;
}
bool isButtonPress(UINT m) {
    return m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_MBUTTONDOWN || m == WM_NCLBUTTONDOWN ||
           m == WM_NCRBUTTONDOWN || m == WM_NCMBUTTONDOWN;
}

}  // namespace

// ---- ComboHelperWnd ---------------------------------------------------------------------------------

ComboHelperWnd::ComboHelperWnd(ComboBox* owner) : combo_(owner) {
    auto* root = new Grid;
    root->setText(attr::style, kBackgroundStyle);
    list_ = new ListBox;
    list_->setRect(attr::margin, 2, 2, 2, 2);
    list_->setInt(attr::itemHeight, kItemHeight);
    root->addChild(list_);
    setRoot(root);
    list_->addDelegate(event::Notify, this, onListNotify);
    root->addDelegate(event::PrevKeyDown, this, onPrevKeyDown);
    root->addDelegate(event::KeyDown, this, onKeyDown);
}

LRESULT ComboHelperWnd::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KILLFOCUS)
        return 0;
    return WindowImpl::handleMessage(message, wParam, lParam);
}

int32_t ComboHelperWnd::heightFor(int32_t itemCount) {
    return std::min(itemCount * kItemHeight + 4, kMaxHeight);
}

void ComboHelperWnd::open(int x, int y, int width, bool below) {
    const HWND popup = handle();
    if (!popup || running_)
        return;
    const int32_t height = heightFor(list_->itemCount());
    measureControl(root(), SIZE{width, height});
    arrangeControl(root(), RECT{0, 0, width, height});
    list_->makeVisible(list_->selectedItem());
    MoveWindow(popup, x, y, width, height, FALSE);
    openedBelow_ = below;
    AnimateWindow(popup, 100, AW_ACTIVATE | AW_SLIDE | (below ? AW_VER_POSITIVE : AW_VER_NEGATIVE));
    setFocusedControl(list_);
    closeRequested_ = false;
    running_ = true;

    // A handler inside the loop may destroy this window (its combo box dying posts WM_CLOSE).
    WindowBase::Watch watch(this);
    bool quit = false;
    WPARAM quitCode = 0;
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            quitCode = msg.wParam;
            break;
        }
        if (got == -1)
            break;
        // Pointer and keys act on the drop-down wherever they happen; a press outside it cancels.
        if (isMouseMessage(msg.message)) {
            POINT p{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
            if (msg.hwnd && msg.hwnd != popup)
                MapWindowPoints(msg.hwnd, popup, &p, 1);
            msg.hwnd = popup;
            msg.lParam = MAKELPARAM(p.x, p.y);
            RECT client;
            GetClientRect(popup, &client);
            if (isButtonPress(msg.message) && !PtInRect(&client, p))
                requestClose();
        } else if (isNonClientMouseMessage(msg.message)) {
            if (msg.hwnd != popup && isButtonPress(msg.message))
                requestClose();
            msg.hwnd = popup;
        } else if (isKeyboardMessage(msg.message) || msg.message == WM_MOUSEWHEEL) {
            msg.hwnd = popup;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        // Checked after each dispatch, so the message that follows a choice is not lost.
        if (!watch.alive() || closeRequested_ || GetActiveWindow() != popup)
            break;
    }
    if (quit)
        PostQuitMessage(static_cast<int>(quitCode));
    if (!watch.alive())
        return;
    running_ = false;
    SetWindowPos(popup, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
}

void ComboHelperWnd::choose() {
    if (combo_ && list_->selectedItem())
        combo_->setChosenText(list_->selectedText());
    requestClose();
}

void ComboHelperWnd::onListNotify(void* self, Control*, EventRecord&) {
    static_cast<ComboHelperWnd*>(self)->choose();
}

void ComboHelperWnd::onPrevKeyDown(void* self, Control*, EventRecord& event) {
    // Up or Down with nothing selected yet starts at the last or the first entry.
    auto* popup = static_cast<ComboHelperWnd*>(self);
    ListBox* list = popup->list_;
    if ((event.wParam != VK_UP && event.wParam != VK_DOWN) || list->selectedItem())
        return;
    ListItemStack* stack = list->itemStack();
    Control* first = event.wParam == VK_DOWN ? stack->firstChild() : stack->lastChild();
    if (first) {
        list->select(first);
        event.handled = 1;
    }
}

void ComboHelperWnd::onKeyDown(void* self, Control*, EventRecord& event) {
    auto* popup = static_cast<ComboHelperWnd*>(self);
    if (event.wParam == VK_RETURN) {
        popup->choose();
        event.handled = 1;
    } else if (event.wParam == VK_ESCAPE) {
        popup->requestClose();
        event.handled = 1;
    }
}

// ---- ComboBox ---------------------------------------------------------------------------------------

ComboBox::ComboBox() : Control(flag::enabled | flag::visible | flag::repaintOnState | flag::unfocusOnPress) {
    auto* popup = new ComboHelperWnd(this);
    // On failure createNativeWindowEx has deleted the object.
    if (createNativeWindowEx(popup, WS_EX_TOOLWINDOW, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                             GetModuleHandleW(nullptr)))
        popup_ = popup->handle();
    addDelegate(event::LButtonDown, this, onLButtonDown);
}

ComboBox::~ComboBox() {
    if (ComboHelperWnd* popup = dropDown()) {
        popup->forgetOwner();
        PostMessageW(popup_, WM_CLOSE, 0, 0);
    }
}

ComboHelperWnd* ComboBox::dropDown() const {
    // The handle of a window that is gone may name another window by now.
    auto* popup = popup_ ? dynamic_cast<ComboHelperWnd*>(windowFromHandle(popup_)) : nullptr;
    return popup && popup->owner() == this ? popup : nullptr;
}

void ComboBox::paint(HDC dc, const RECT& rect, const RECT&) {
    const wchar_t* style = findText(attr::style);
    paintControlStyle(*this, dc, rect, style && *style ? style : kDefaultStyle);
}

bool ComboBox::addItem(Control* item) {
    ComboHelperWnd* popup = dropDown();
    return popup && popup->list()->addItem(item);
}

int32_t ComboBox::itemCount() const {
    ComboHelperWnd* popup = dropDown();
    return popup ? popup->list()->itemCount() : 0;
}

void ComboBox::setChosenText(const wchar_t* text) {
    if (!text || std::wcscmp(text, getText(attr::text)) == 0)
        return;
    setText(attr::text, text);
    invalidate(false);
    EventRecord e;
    e.id = event::ValueChange;
    e.route = kRouteDirect;
    raiseEvent(e);
}

POINT ComboBox::dropDownOrigin(const RECT& screen, int32_t count, int32_t screenHeight, bool* below) {
    const int32_t shown = count < 7 ? count : 6;
    const int32_t comboHeight = screen.bottom - screen.top;
    *below = screen.top + shown * ComboHelperWnd::kItemHeight + comboHeight + 8 < screenHeight;
    return *below ? POINT{screen.left, screen.top + comboHeight}
                  : POINT{screen.left, screen.top - shown * ComboHelperWnd::kItemHeight - 4};
}

void ComboBox::openDropDown() {
    ComboHelperWnd* popup = dropDown();
    RECT r;
    if (!popup || popup->isOpen() || !window() || !windowRect(&r) || itemCount() == 0)
        return;
    POINT topLeft{r.left, r.top};
    ClientToScreen(window()->windowHandle(), &topLeft);
    OffsetRect(&r, topLeft.x - r.left, topLeft.y - r.top);
    // The entry shown now is the list's selection, so the keys go on from it.
    ListBox* list = popup->list();
    Control* current = nullptr;
    for (Control* c = list->itemStack()->firstChild(); c && !current; c = c->nextSibling()) {
        if (std::wcscmp(c->getText(attr::text), getText(attr::text)) == 0)
            current = c;
    }
    list->select(current);
    bool below = true;
    const POINT at = dropDownOrigin(r, itemCount(), GetSystemMetrics(SM_CYSCREEN), &below);
    popup->open(at.x, at.y, r.right - r.left, below);
    // This combo box may be gone now (a handler inside the drop-down's loop may have closed its window).
}

int32_t ComboBox::accessibleRole() const {
    return ROLE_SYSTEM_COMBOBOX;
}

std::wstring ComboBox::accessibleName() const {
    return getText(attr::tooltip);
}

bool ComboBox::accessibleValue(std::wstring* value) const {
    *value = getText(attr::text);
    return true;
}

uint32_t ComboBox::accessibleState() const {
    const ComboHelperWnd* popup = dropDown();
    return Control::accessibleState() | STATE_SYSTEM_HASPOPUP |
           (popup && popup->isOpen() ? STATE_SYSTEM_EXPANDED : STATE_SYSTEM_COLLAPSED);
}

const wchar_t* ComboBox::defaultActionName() const {
    // Without entries, or away from a window, a press opens nothing.
    return itemCount() > 0 && window() && dropDown() ? L"Open" : nullptr;
}

bool ComboBox::doDefaultAction() {
    if (!defaultActionName())
        return false;
    openDropDown();
    return true;
}

void ComboBox::textChanged(AttributeId id) {
    if (id != attr::text)
        Control::textChanged(id);
}

void ComboBox::onLButtonDown(void* self, Control*, EventRecord&) {
    static_cast<ComboBox*>(self)->openDropDown();
}
