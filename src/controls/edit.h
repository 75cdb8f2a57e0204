// Edit: a multi-line text editor drawn by itself (no native edit window). It wraps its text at
// character boundaries to its width, moves a caret with the keys, the mouse and the wheel, selects by
// dragging and Ctrl+A, and cuts, copies and pastes through the clipboard; with "texteditable" 0 it is
// a read-only viewer (no typing, cut, copy or paste; Ctrl+A still selects). It shows the window's
// caret while focused and raises no events of its own. Attributes, read when attached: "textspace",
// "textpadding", "texteditable", "color", "font" and "text"; "style" (default "edit.xml") paints the
// background. Owns its text, its font copy, measuring DC and brush. UI thread only.
#pragma once

#include <windows.h>
#include <string>
#include <string_view>

#include "controls/char_widths.h"
#include "controls/edit_text.h"
#include "dui/control.h"
#include "host/handles.h"

class Edit : public Control {
  public:
    static constexpr uint32_t kInitialFlags = 0xE3;  // enabled, visible, repaint-on-state, capture, focus

    Edit();
    ~Edit() override;

    void paint(HDC dc, const RECT& rect, const RECT& clip) override;
    const wchar_t* typeName() const override { return L"Edit"; }
    // Wraps the whole text again when the width changed and moves or hides the caret.
    SIZE arrange(SIZE finalSize) override;

    using Object::getText;
    using Object::setText;
    // Replaces the whole text (cut at a character boundary beyond the block index). Caret, anchor and
    // first visible line stay where they are and are clamped when next used.
    void setText(std::wstring_view text);
    std::wstring getText() const { return text_.text(); }

    // Editable text (read-only with "texteditable" 0) named by its tooltip, whose value is the text;
    // every change of the text is told as a value change.
    std::wstring accessibleName() const override;
    bool accessibleValue(std::wstring* value) const override;
    uint32_t accessibleState() const override;

    // State, for the script host and tests.
    int caret() const { return caret_; }
    int anchor() const { return anchor_; }
    int topLine() const { return topLine_; }
    int preferredX() const { return preferredX_; }
    bool editable() const { return editable_; }
    int lineHeight() const { return lineHeight_; }
    POINT padding() const { return POINT{paddingX_, paddingY_}; }
    // Fully visible lines: (height - 2 * paddingY) / lineHeight.
    int visibleLines() const;
    const textinput::EditText& text() const { return text_; }

  private:
    static void onAttached(void* self, Control* sender, EventRecord& e);
    static void onGotFocus(void* self, Control* sender, EventRecord& e);
    static void onLostFocus(void* self, Control* sender, EventRecord& e);
    static void onKeyDown(void* self, Control* sender, EventRecord& e);
    static void onKeyPress(void* self, Control* sender, EventRecord& e);
    static void onLButtonDown(void* self, Control* sender, EventRecord& e);
    static void onMouseWheel(void* self, Control* sender, EventRecord& e);
    static void onMouseMove(void* self, Control* sender, EventRecord& e);
    static void onQueryCursor(void* self, Control* sender, EventRecord& e);

    void readAttributes();
    void handleKey(WPARAM key);
    void type(wchar_t c);
    // Removes the selection (if any) and inserts `units` there; caret and anchor end after them.
    void replaceSelection(const wchar_t* units, int length);
    void copySelection(bool cut);
    // Repaints what the last change of the text laid out again.
    void repaintChange();
    void paste();

    // Caret, anchor and topLine brought back into the text and off the middle of a character (setText
    // may have left them beyond it or between the halves of a line break or a surrogate pair).
    void clampState();
    // Collapses the selection at `position` and keeps the caret visible.
    void collapseTo(int position);
    void moveToLine(int line);
    void keepCaretVisible();
    void applyScrollLimit();
    // Shows the caret at its place when its line is visible, hides it otherwise.
    void placeCaret();
    int lineAtPoint(int y) const;
    int textAreaWidth() const { return width_ - 2 * paddingX_; }
    void paintLine(HDC dc, const RECT& rect, const RECT& clip, const textinput::Line& line, int top);

    textinput::CharWidths widths_;
    textinput::EditText text_{widths_};
    win::unique_hbrush selectionBrush_;
    std::wstring lineBuffer_;  // the drawn form of one line (tabs as four spaces)

    int paddingX_ = 5, paddingY_ = 5;
    bool editable_ = true;
    int lineSpacing_ = 0;
    int lineHeight_ = 1;
    int averageCharWidth_ = 0;
    int width_ = 0, height_ = 0;
    COLORREF textColour_;
    int topLine_ = 0;
    int preferredX_ = 0;
    int anchor_ = 0, caret_ = 0;
};
