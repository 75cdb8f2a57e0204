#include "controls/button.h"

#include <oleacc.h>
#include <windowsx.h>

#include "dui/factory.h"
#include "dui/style.h"
#include "dui/window_host.h"
#include "render/skin_store.h"

namespace {

// The window sends LButtonUp straight to the control holding the capture, before it clears pressed.
// A release inside the control's window rectangle posts Click; one outside does not. Either way the
// release is spent here. The point is the release's own (client coordinates in lParam), not where the
// pointer is by the time the message is handled: a busy window must not lose or invent clicks.
void detectClick(void*, Control* sender, EventRecord& event) {
    if (!sender->hasFlag(flag::pressed))
        return;
    event.handled = 1;
    RECT area;
    if (!sender->window() || !sender->windowRect(&area))
        return;
    const auto lParam = static_cast<LPARAM>(event.lParam);
    if (PtInRect(&area, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}))
        sender->postEvent(makeEvent(event::Click));
}

void toggleChecked(void*, Control* sender, EventRecord&) {
    sender->setChecked(!sender->hasFlag(flag::checked));
}

void checkOnce(void*, Control* sender, EventRecord&) {
    if (sender->hasFlag(flag::checked))
        return;
    sender->setFlag(flag::checked, true);
    EventRecord changed = makeEvent(event::ValueChange);
    sender->raiseEvent(changed);
    sender->invalidate(false);
}

}  // namespace

Button::Button(uint32_t initialFlags) : Control(initialFlags) {
    addDelegate(event::LButtonUp, this, detectClick);
}

CheckBox::CheckBox() {
    addDelegate(event::Click, this, toggleChecked);
}

void CheckBox::paint(HDC dc, const RECT& rect, const RECT&) {
    const wchar_t* style = findText(attr::style);
    paintControlStyle(*this, dc, rect, style ? style : L"checkbox.xml");
}

int32_t CheckBox::accessibleRole() const {
    return ROLE_SYSTEM_CHECKBUTTON;
}

const wchar_t* CheckBox::defaultActionName() const {
    return hasFlag(flag::checked) ? L"Uncheck" : L"Check";
}

RadioButton::RadioButton() {
    addDelegate(event::Click, this, checkOnce);
}

void RadioButton::paint(HDC dc, const RECT& rect, const RECT&) {
    paintControlStyle(*this, dc, rect, L"radiobutton.xml");
}

int32_t RadioButton::accessibleRole() const {
    return ROLE_SYSTEM_RADIOBUTTON;
}

const wchar_t* RadioButton::defaultActionName() const {
    return L"Check";
}

ToggleButton::ToggleButton() {
    addDelegate(event::Click, this, toggleChecked);
}

void ImageButton::paint(HDC dc, const RECT& rect, const RECT& clip) {
    drawImageInto(findSkinImage(findText(attr::img)), dc, rect);
    Button::paint(dc, rect, clip);
}

void registerButtonCreators(duiFactory::ControlCreatorRegistry& registry) {
    registry.add<Button>(L"Button");
    registry.add<CheckBox>(L"CheckBox");
    registry.add<RadioButton>(L"RadioButton");
    registry.add<ToggleButton>(L"ToggleButton");
    registry.add<IconButton>(L"IconButton");
    registry.add<ToggleIconButton>(L"ToggleIconButton");
    registry.add<ImageButton>(L"ImageButton");
}
