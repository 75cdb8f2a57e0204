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
    win::clipboard_guard clipboard(owner);
    if (!clipboard)
        return false;
    EmptyClipboard();
    win::unique_hglobal block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (length + 1) * sizeof(wchar_t)));
    if (!block)
        return false;
    {
        win::global_lock_guard locked(block.get());
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
    win::clipboard_guard clipboard(owner);
    if (!clipboard)
        return false;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data)
        return false;
    win::global_lock_guard locked(data);
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
