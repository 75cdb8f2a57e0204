// The text-input family ("Edit" and "TextBox"): its layout element names, what both controls share
// (clipboard text, the Control key, colours, mouse positions, the skin font, the caret) and their
// base class TextInput. UI thread only.
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <string>

#include "dui/control.h"
#include "host/handles.h"

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

// What Edit and TextBox do alike: the delegates of attachment, focus, keys, typing and the I-beam
// cursor (routed to the hooks below), the accessible name (the tooltip) and value (the text), the
// caret while focused, the Ctrl+A/C/X/V branch and the paint of text with its selection. Each control
// keeps its own key handling, mouse handling and layout. Owns the selection brush.
class TextInput : public Control {
  public:
    std::wstring accessibleName() const override;
    bool accessibleValue(std::wstring* value) const override;
    // False for a read-only control: no cut, copy or paste.
    virtual bool editable() const { return true; }

  protected:
    explicit TextInput(uint32_t initialFlags);

    virtual std::wstring wholeText() const = 0;
    // Attached: read the attributes and take the layout's text.
    virtual void attached() = 0;
    // KeyDown and KeyPress, each control's own.
    virtual void keyDown(EventRecord& e) = 0;
    virtual void keyPress(EventRecord& e) = 0;
    // Focus: the caret gets this height and is shown where it belongs; losing the focus hides it, then
    // calls focusLost.
    virtual int caretHeight() const = 0;
    virtual void keepCaretVisible() = 0;
    virtual void focusLost() {}
    // Whether QueryCursor shows the I-beam now.
    virtual bool showsIBeam() const { return true; }

    // Ctrl+A selects everything; Ctrl+C and Ctrl+X copy or cut a selection and Ctrl+V pastes clipboard
    // text, when editable. Answers false (and does nothing) without the Control key or for other keys.
    bool handleControlKey(WPARAM key);
    virtual bool hasSelection() const = 0;
    virtual void selectAll() = 0;
    virtual void copySelection(bool cut) = 0;
    virtual void paste() = 0;

    // Draws `length` units of `text` into `box` with `colour`, then the part under `selection` that lies
    // in `clip` again, on the selection brush in the selected colour. The DC's colour and clip region
    // come back.
    void drawTextAndSelection(HDC dc, const wchar_t* text, int length, const RECT& box, UINT format,
                              COLORREF colour, const RECT& selection, const RECT& clip) const;

    win::unique_hbrush selectionBrush_;

  private:
    static void onAttached(void* self, Control* sender, EventRecord& e);
    static void onGotFocus(void* self, Control* sender, EventRecord& e);
    static void onLostFocus(void* self, Control* sender, EventRecord& e);
    static void onKeyDown(void* self, Control* sender, EventRecord& e);
    static void onKeyPress(void* self, Control* sender, EventRecord& e);
    static void onQueryCursor(void* self, Control* sender, EventRecord& e);
};
