// The text-input family ("Edit" and "TextBox"): its layout element names and what both controls share
// (clipboard text, the Control key, colours, mouse positions, the skin font, the caret). UI thread only.
#pragma once

#include <windows.h>
#include <cstddef>
#include <string>

class Control;
namespace duiFactory {
class ControlCreatorRegistry;
}

// Adds "Edit" and "TextBox".
void registerTextInputCreators(duiFactory::ControlCreatorRegistry& registry);

namespace textinput {

constexpr COLORREF kTextColour = 0x00666666;
constexpr COLORREF kSelectedTextColour = 0x00FFFFFF;
constexpr COLORREF kSelectionColour = 0x00FF9933;

// Puts the units on the clipboard as CF_UNICODETEXT with `owner` as the clipboard's window. False
// when the clipboard cannot be opened or the memory block cannot be made (the clipboard then keeps
// what it had, or is empty when only SetClipboardData failed).
bool copyToClipboard(HWND owner, const wchar_t* text, std::size_t length);
// Whether the clipboard offers text (CF_TEXT, or CF_UNICODETEXT where the system does not synthesise).
bool clipboardHasText();
// The clipboard's CF_UNICODETEXT up to its terminator. False when the clipboard cannot be opened or
// holds no such text.
bool readClipboardText(HWND owner, std::wstring* out);

// The Control key was down when the message being handled was posted.
bool controlKeyDown();

// A mouse message's client point (signed words of lParam) in the coordinates of `control`.
POINT controlPoint(const Control& control, long long lParam);
// The window handle of the control's window, null when it is not attached.
HWND windowOf(const Control& control);

// The current skin's font called `name` ("Default" when null or empty); null without a skin or when
// the skin has no font of that name.
HFONT skinFont(const wchar_t* name);
// Hides the caret of the control's window when the control is attached.
void hideCaret(const Control& control);

}  // namespace textinput
