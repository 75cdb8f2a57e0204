// TextBox: a single-line text field drawn by itself (no native edit window), for short input such as
// the install path. It holds at most 2000 UTF-16 units, scrolls horizontally to keep its caret in
// view, selects by dragging, double click and Ctrl+A, and cuts, copies and pastes through the
// clipboard (pasted control characters become spaces). It raises ValueChange (direct) after every
// change of its text and for every printable key, also when the text is full. Its look besides the
// text comes from its "style"; it reads "text" when attached. Owns its font copy, measuring DC and
// brush. UI thread only.
#pragma once

#include <windows.h>
#include <string>
#include <string_view>

#include "controls/char_widths.h"
#include "controls/text_input.h"
#include "dui/control.h"
#include "host/handles.h"

class TextBox : public TextInput {
  public:
    static constexpr uint32_t kInitialFlags = 0x8E3;  // as Edit, plus double-click
    static constexpr int kCapacity = 2000;            // units typing and pasting can fill
    static constexpr int kSetTextLimit = 1999;        // units setText stores at most

    TextBox();
    ~TextBox() override;

    void paint(HDC dc, const RECT& rect, const RECT& clip) override;
    const wchar_t* typeName() const override { return L"TextBox"; }
    // Width 0, height of one line plus the vertical padding.
    SIZE measure(SIZE available) override;
    SIZE arrange(SIZE finalSize) override;

    using Object::getText;
    using Object::setText;
    // Stores the text (cut at a character boundary after 1999 units) when it differs from the current
    // one: caret and anchor go to its end, the scroll offset to 0, and ValueChange is raised.
    void setText(std::wstring_view text);
    std::wstring getText() const { return std::wstring(text_, length_); }

    // Editable text named by its tooltip, whose value is the text (changes come with ValueChange).

    // State, for the script host and tests.
    int caret() const { return caret_; }
    int anchor() const { return anchor_; }
    int scrollX() const { return scrollX_; }
    int length() const { return length_; }
    int lineHeight() const { return lineHeight_; }
    POINT padding() const { return POINT{paddingX_, paddingY_}; }
    // Pixels from the start of the text to `position`.
    int xOffset(int position);

  private:
    std::wstring wholeText() const override { return getText(); }
    void attached() override;
    void keyDown(EventRecord& e) override;
    void keyPress(EventRecord& e) override;
    int caretHeight() const override;
    void focusLost() override;
    bool hasSelection() const override { return anchor_ != caret_; }
    void selectAll() override;
    void copySelection(bool cut) override;

    static void onLButtonDown(void* self, Control* sender, EventRecord& e);
    static void onDoubleClick(void* self, Control* sender, EventRecord& e);
    static void onMouseMove(void* self, Control* sender, EventRecord& e);

    void makeFont();
    void handleKey(WPARAM key);
    void type(wchar_t c);
    void paste() override;
    // Removes units [from, to) and moves the scroll offset back by their width.
    void removeRange(int from, int to);
    // Inserts at the caret as much as fits (never half a surrogate pair); answers the units inserted.
    int insertAtCaret(const wchar_t* units, int length);
    void raiseValueChange();
    void keepCaretVisible() override;
    // The position whose offset, counted from the scroll offset, is nearest to x (control pixels).
    int positionAt(int x);
    int stepBack(int position) const;
    int stepForward(int position) const;
    int width() const { return bounds().right - bounds().left; }

    textinput::CharWidths widths_;
    bool fontFromSkin_ = false;
    wchar_t text_[kCapacity];
    int length_ = 0;
    int anchor_ = 0, caret_ = 0;
    int scrollX_ = 0;
    int paddingX_ = 8, paddingY_ = 5;
    int height_ = 0;
    int lineHeight_ = 0;
};
