#include "controls/text_input.h"

#include <windowsx.h>
#include <cstring>

#include "controls/edit.h"
#include "controls/text_box.h"
#include "dui/control.h"
#include "dui/factory.h"
#include "dui/window_host.h"
#include "host/handles.h"
#include "render/skin_store.h"

void registerTextInputCreators(duiFactory::ControlCreatorRegistry& registry) {
    registry.add<Edit>(L"Edit");
    registry.add<TextBox>(L"TextBox");
}

namespace textinput {

bool copyToClipboard(HWND owner, const wchar_t* text, std::size_t length) {
    auto clipboard = win::open_clipboard(owner);
    if (!clipboard)
        return false;
    EmptyClipboard();
    win::unique_hglobal block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (length + 1) * sizeof(wchar_t)));
    if (!block)
        return false;
    {
        auto locked = win::global_lock(block.get());
        if (!locked.get())
            return false;
        if (length > 0)
            std::memcpy(locked.get(), text, length * sizeof(wchar_t));
        static_cast<wchar_t*>(locked.get())[length] = 0;
    }
    if (!SetClipboardData(CF_UNICODETEXT, block.get()))
        return false;
    block.release();  // the clipboard owns it now
    return true;
}

bool clipboardHasText() {
    return IsClipboardFormatAvailable(CF_TEXT) || IsClipboardFormatAvailable(CF_UNICODETEXT);
}

bool readClipboardText(HWND owner, std::wstring* out) {
    out->clear();
    auto clipboard = win::open_clipboard(owner);
    if (!clipboard)
        return false;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data)
        return false;
    auto locked = win::global_lock(data);
    if (!locked.get())
        return false;
    // The block may be larger than its text; never read past it.
    const std::size_t units = GlobalSize(data) / sizeof(wchar_t);
    const wchar_t* text = static_cast<const wchar_t*>(locked.get());
    std::size_t n = 0;
    while (n < units && text[n]) ++n;
    out->assign(text, n);
    return true;
}

bool controlKeyDown() {
    return (GetKeyState(VK_CONTROL) & 0x8000) != 0;
}

POINT controlPoint(const Control& control, long long lParam) {
    POINT origin{0, 0};
    control.toWindowPoint(&origin);
    const LPARAM l = static_cast<LPARAM>(lParam);
    return POINT{GET_X_LPARAM(l) - origin.x, GET_Y_LPARAM(l) - origin.y};
}

HWND windowOf(const Control& control) {
    return control.window() ? control.window()->windowHandle() : nullptr;
}

HFONT skinFont(const wchar_t* name) {
    SkinStore* skin = currentSkin();
    return skin ? skin->findFont(name && *name ? name : L"Default") : nullptr;
}

void hideCaret(const Control& control) {
    if (WindowHost* host = control.window())
        host->hideCaret();
}

}  // namespace textinput

// ---- TextInput ------------------------------------------------------------------------------------

TextInput::TextInput(uint32_t initialFlags) : Control(initialFlags) {
    selectionBrush_.reset(CreateSolidBrush(textinput::kSelectionColour));
    addDelegate(event::Attached, this, onAttached);
    addDelegate(event::GotFocus, this, onGotFocus);
    addDelegate(event::LostFocus, this, onLostFocus);
    addDelegate(event::KeyDown, this, onKeyDown);
    addDelegate(event::KeyPress, this, onKeyPress);
    addDelegate(event::QueryCursor, this, onQueryCursor);
}

std::wstring TextInput::accessibleName() const {
    return Object::getText(attr::tooltip);
}

bool TextInput::accessibleValue(std::wstring* value) const {
    *value = wholeText();
    return true;
}

bool TextInput::handleControlKey(WPARAM key) {
    if (!textinput::controlKeyDown())
        return false;
    switch (key) {
        case 'A':
            selectAll();
            return true;
        case 'C':
        case 'X':
            if (editable() && hasSelection())
                copySelection(key == 'X');
            return true;
        case 'V':
            if (editable() && textinput::clipboardHasText())
                paste();
            return true;
        default:
            return false;
    }
}

void TextInput::drawTextAndSelection(HDC dc, const wchar_t* text, int length, const RECT& box, UINT format,
                                     COLORREF colour, const RECT& selection, const RECT& clip) const {
    {
        auto coloured = win::set_text_color(dc, colour);
        RECT r = box;
        DrawTextW(dc, text, length, &r, format);
    }
    RECT shown;
    if (!IntersectRect(&shown, &selection, &clip))
        return;
    FillRect(dc, &shown, selectionBrush_.get());
    auto clipped = win::clip_to(dc, shown);
    auto coloured = win::set_text_color(dc, textinput::kSelectedTextColour);
    RECT r = box;
    DrawTextW(dc, text, length, &r, format);
}

void TextInput::onAttached(void* self, Control*, EventRecord&) {
    static_cast<TextInput*>(self)->attached();
}

void TextInput::onGotFocus(void* self, Control*, EventRecord&) {
    TextInput& input = *static_cast<TextInput*>(self);
    if (WindowHost* host = input.window())
        host->setCaretSize(1, input.caretHeight());
    input.keepCaretVisible();
}

void TextInput::onLostFocus(void* self, Control*, EventRecord&) {
    TextInput& input = *static_cast<TextInput*>(self);
    textinput::hideCaret(input);
    input.focusLost();
}

void TextInput::onKeyDown(void* self, Control*, EventRecord& e) {
    static_cast<TextInput*>(self)->keyDown(e);
}

void TextInput::onKeyPress(void* self, Control*, EventRecord& e) {
    static_cast<TextInput*>(self)->keyPress(e);
}

void TextInput::onQueryCursor(void* self, Control*, EventRecord& e) {
    if (!static_cast<TextInput*>(self)->showsIBeam())
        return;
    SetCursor(LoadCursorW(nullptr, IDC_IBEAM));
    e.handled = 1;
}
