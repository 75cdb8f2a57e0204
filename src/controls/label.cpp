#include "controls/label.h"

#include <oleacc.h>
#include <shellapi.h>

#include "dui/factory.h"
#include "host/handles.h"
#include "render/skin_store.h"
#include "render/text.h"

namespace {

constexpr UINT kLineFormat = DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;

UINT alignment(const Control& label) {
    switch (label.getInt(attr::textAlign, attr::left)) {
        case attr::center:
            return DT_CENTER;
        case attr::right:
            return DT_RIGHT;
        default:
            return DT_LEFT;
    }
}

void showHand(void*, Control*, EventRecord& event) {
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    event.handled = 1;
}

// Opened on the press, so releasing elsewhere does not cancel it. Failures are ignored.
void openLink(void*, Control* sender, EventRecord& event) {
    event.handled = 1;
    const wchar_t* url = sender->findText(attr::url);
    if (url && *url)
        ShellExecuteW(nullptr, nullptr, url, nullptr, nullptr, SW_SHOW);
}

}  // namespace

SIZE Label::measure(SIZE) {
    SIZE size{0, 0};
    const wchar_t* text = findText(attr::text);
    if (text && *text) {
        HDC dc = textMeasureDC();
        auto font = win::select_object(dc, findSkinFont(findText(attr::font)));
        RECT r{0, 0, 0, 0};
        size.cy = DrawTextW(dc, text, -1, &r, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
        size.cx = r.right - r.left;
    }
    const RECT padding = getRect(attr::padding);
    size.cx += padding.left + padding.right;
    size.cy += padding.top + padding.bottom;
    return size;
}

void Label::paint(HDC dc, const RECT& rect, const RECT&) {
    const RECT padding = getRect(attr::padding);
    const RECT inner{rect.left + padding.left, rect.top + padding.top, rect.right - padding.right,
                     rect.bottom - padding.bottom};
    const wchar_t* text = findText(attr::text);
    if (!text || !*text)
        return;
    const auto colour = static_cast<COLORREF>(getInt(attr::color, static_cast<int32_t>(kDefaultColor)));
    drawTextWithFont(dc, inner, text, findSkinFont(findText(attr::font)), colour,
                     kLineFormat | alignment(*this));
}

bool Label::isLiveLink() const {
    if (hasFlag(flag::transparent) || hasFlag(flag::container) || !hasDelegates(event::QueryCursor) ||
        !(hasDelegates(event::LButtonDown) || hasDelegates(event::PrevLButtonDown)))
        return false;
    HCURSOR before = GetCursor();
    EventRecord query = makeEvent(event::QueryCursor);
    const_cast<Label*>(this)->raiseEvent(query);
    const bool hand = GetCursor() == LoadCursorW(nullptr, IDC_HAND);
    SetCursor(before);
    return hand;
}

int32_t Label::accessibleRole() const {
    return isLiveLink() ? ROLE_SYSTEM_LINK : Control::accessibleRole();
}

uint32_t Label::accessibleState() const {
    const uint32_t state = Control::accessibleState();
    return isLiveLink() ? state | STATE_SYSTEM_LINKED | STATE_SYSTEM_FOCUSABLE : state;
}

const wchar_t* Label::defaultActionName() const {
    return isLiveLink() ? L"Jump" : Control::defaultActionName();
}

LinkLabel::LinkLabel() : Label(flag::kControlInitial) {
    addDelegate(event::QueryCursor, this, showHand);
    addDelegate(event::LButtonDown, this, openLink);
}

int32_t LinkLabel::accessibleRole() const {
    return ROLE_SYSTEM_LINK;
}

uint32_t LinkLabel::accessibleState() const {
    return Control::accessibleState() | STATE_SYSTEM_LINKED | STATE_SYSTEM_FOCUSABLE;
}

const wchar_t* LinkLabel::defaultActionName() const {
    return L"Jump";
}

bool LinkLabel::doDefaultAction() {
    raiseClickEvents(this);
    return true;
}

void registerLabelCreators(duiFactory::ControlCreatorRegistry& registry) {
    registry.add<Label>(L"Label");
    registry.add<LinkLabel>(L"LinkLabel");
}
