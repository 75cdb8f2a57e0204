#include "controls/text_box.h"

#include <oleacc.h>

#include <algorithm>
#include <cstring>

#include "controls/text_input.h"
#include "dui/style.h"
#include "dui/window_host.h"

using textinput::isControlUnit;
using textinput::isHighSurrogate;
using textinput::isLowSurrogate;

TextBox::TextBox() : TextInput(kInitialFlags) {
    makeFont();
    addDelegate(event::LButtonDown, this, onLButtonDown);
    addDelegate(event::LButtonDbClick, this, onDoubleClick);
    addDelegate(event::MouseMove, this, onMouseMove);
}

TextBox::~TextBox() = default;

void TextBox::makeFont() {
    HFONT source = textinput::skinFont(nullptr);
    fontFromSkin_ = source != nullptr;
    widths_.setFont(source);
    const TEXTMETRICW& metrics = widths_.metrics();
    lineHeight_ = metrics.tmAscent + metrics.tmDescent;
}

// ---- Text -----------------------------------------------------------------------------------------

void TextBox::setText(std::wstring_view text) {
    int n = static_cast<int>(std::min<std::size_t>(text.size(), kSetTextLimit));
    if (n < static_cast<int>(text.size())) {
        if (n > 0 && isHighSurrogate(text[n - 1]) && isLowSurrogate(text[n]))
            --n;
        wchar_t line[120];
        swprintf(line, 120, L"TextBox: text of %zu units cut to %d\n", text.size(), n);
        OutputDebugStringW(line);
    }
    if (n == length_ && std::wmemcmp(text_, text.data(), n) == 0)
        return;
    std::wmemcpy(text_, text.data(), n);
    length_ = n;
    scrollX_ = 0;
    caret_ = anchor_ = length_;
    raiseValueChange();
    invalidate(false);
    if (hasFlag(flag::focused))
        keepCaretVisible();
}

int TextBox::xOffset(int position) {
    const int target = std::clamp(position, 0, length_);
    int x = 0;
    for (int p = 0; p < target;) {
        if (isHighSurrogate(text_[p]) && p + 1 < length_ && isLowSurrogate(text_[p + 1])) {
            if (p + 2 > target)
                break;
            x += widths_.pairWidth(text_[p], text_[p + 1]);
            p += 2;
        } else {
            x += widths_.unitWidth(text_[p]);
            ++p;
        }
    }
    return x;
}

int TextBox::stepBack(int position) const {
    if (position >= 2 && isLowSurrogate(text_[position - 1]) && isHighSurrogate(text_[position - 2]))
        return position - 2;
    return std::max(0, position - 1);
}

int TextBox::stepForward(int position) const {
    if (position + 1 < length_ && isHighSurrogate(text_[position]) && isLowSurrogate(text_[position + 1]))
        return position + 2;
    return std::min(length_, position + 1);
}

void TextBox::removeRange(int from, int to) {
    const int a = std::clamp(from, 0, length_);
    const int b = std::clamp(to, a, length_);
    const int removedWidth = xOffset(b) - xOffset(a);
    std::wmemmove(text_ + a, text_ + b, length_ - b);
    length_ -= b - a;
    scrollX_ = std::max(0, scrollX_ - removedWidth);
}

int TextBox::insertAtCaret(const wchar_t* units, int length) {
    int n = std::min(length, kCapacity - length_);
    if (n <= 0)
        return 0;
    if (n < length && isHighSurrogate(units[n - 1]) && isLowSurrogate(units[n]))
        --n;
    std::wmemmove(text_ + caret_ + n, text_ + caret_, length_ - caret_);
    std::wmemcpy(text_ + caret_, units, n);
    length_ += n;
    caret_ += n;
    return n;
}

void TextBox::raiseValueChange() {
    EventRecord e;
    e.id = event::ValueChange;
    e.route = kRouteDirect;
    raiseEvent(e);
}

void TextBox::type(wchar_t c) {
    if (isControlUnit(c))
        return;  // Enter, Tab, Ctrl+Backspace and the Ctrl letters type nothing
    if (anchor_ != caret_) {
        const int from = std::min(anchor_, caret_);
        removeRange(from, std::max(anchor_, caret_));
        caret_ = from;
    }
    // The halves of a character beyond the basic plane arrive one by one: the first is taken only
    // with room for both, the second only right after the first.
    bool take = length_ < kCapacity;
    if (isHighSurrogate(c))
        take = length_ <= kCapacity - 2;
    else if (isLowSurrogate(c))
        take = take && caret_ > 0 && isHighSurrogate(text_[caret_ - 1]);
    if (take)
        insertAtCaret(&c, 1);
    anchor_ = caret_;
    raiseValueChange();
    keepCaretVisible();
}

void TextBox::paste() {
    std::wstring units;
    if (!textinput::readClipboardText(textinput::windowOf(*this), &units))
        return;
    for (wchar_t& c : units)
        if (isControlUnit(c))
            c = L' ';  // tabs, line breaks and DEL cannot live in one line
    if (anchor_ != caret_) {
        const int from = std::min(anchor_, caret_);
        removeRange(from, std::max(anchor_, caret_));
        caret_ = from;
    }
    insertAtCaret(units.data(), static_cast<int>(std::min<std::size_t>(units.size(), kCapacity)));
    anchor_ = caret_;
    raiseValueChange();
    keepCaretVisible();
}

// ---- Keys -----------------------------------------------------------------------------------------

void TextBox::keyDown(EventRecord& e) {
    handleKey(static_cast<WPARAM>(e.wParam));
    e.handled = 1;  // also keys that do nothing
}

void TextBox::handleKey(WPARAM key) {
    caret_ = std::clamp(caret_, 0, length_);
    anchor_ = std::clamp(anchor_, 0, length_);
    switch (key) {
        case VK_BACK: {
            if (anchor_ == caret_) {
                if (caret_ == 0)
                    return;
                anchor_ = stepBack(caret_);
            }
            const int from = std::min(anchor_, caret_);
            removeRange(from, std::max(anchor_, caret_));
            caret_ = anchor_ = from;
            raiseValueChange();
            keepCaretVisible();
            return;
        }
        case VK_LEFT:
        case VK_UP:
            if (caret_ > 0) {
                caret_ = anchor_ = stepBack(caret_);
                keepCaretVisible();
            }
            return;
        case VK_RIGHT:
        case VK_DOWN:
            if (caret_ < length_) {
                caret_ = anchor_ = stepForward(caret_);
                keepCaretVisible();
            }
            return;
        default:
            break;
    }
    handleControlKey(key);
}

void TextBox::selectAll() {
    anchor_ = 0;
    caret_ = length_;
    keepCaretVisible();
}

void TextBox::copySelection(bool cut) {
    const int from = std::min(anchor_, caret_);
    const int to = std::max(anchor_, caret_);
    textinput::copyToClipboard(textinput::windowOf(*this), text_ + from, to - from);
    if (!cut)
        return;
    removeRange(from, to);
    caret_ = anchor_ = from;
    raiseValueChange();
    keepCaretVisible();
}

void TextBox::keyPress(EventRecord& e) {
    type(static_cast<wchar_t>(e.wParam));
    e.handled = 1;
}

// ---- Caret and mouse ------------------------------------------------------------------------------

void TextBox::keepCaretVisible() {
    const int s = xOffset(caret_);
    const int inner = width() - 2 * paddingX_;
    if (s > scrollX_ + inner)
        scrollX_ = s - inner;
    else if (s < scrollX_)
        scrollX_ = s;
    scrollX_ = std::max(0, scrollX_);
    invalidate(false);
    RECT area;
    if (hasFlag(flag::focused) && window() && windowRect(&area))
        window()->showCaret(area.left + paddingX_ + s - scrollX_, area.top + paddingY_);
}

int TextBox::positionAt(int x) {
    const int target = x - paddingX_ + scrollX_;
    int sum = 0;
    for (int p = 0; p < length_;) {
        int units = 1;
        int w;
        if (isHighSurrogate(text_[p]) && p + 1 < length_ && isLowSurrogate(text_[p + 1])) {
            w = widths_.pairWidth(text_[p], text_[p + 1]);
            units = 2;
        } else {
            w = widths_.unitWidth(text_[p]);
        }
        if (2 * target <= 2 * sum + w)  // not past the middle of this character
            return p;
        sum += w;
        p += units;
    }
    return length_;
}

void TextBox::onLButtonDown(void* self, Control*, EventRecord& e) {
    TextBox& box = *static_cast<TextBox*>(self);
    const int position = box.positionAt(textinput::controlPoint(box, e.lParam).x);
    const bool hadSelection = box.anchor_ != box.caret_;
    if (position != box.caret_) {
        box.caret_ = position;
        box.keepCaretVisible();
    }
    box.anchor_ = box.caret_;
    if (hadSelection)
        box.invalidate(false);
    e.handled = 1;
}

void TextBox::onDoubleClick(void* self, Control*, EventRecord& e) {
    TextBox& box = *static_cast<TextBox*>(self);
    box.anchor_ = 0;
    box.caret_ = box.length_;
    box.keepCaretVisible();
    e.handled = 1;
}

void TextBox::onMouseMove(void* self, Control*, EventRecord& e) {
    TextBox& box = *static_cast<TextBox*>(self);
    e.handled = 1;
    if (!box.hasFlag(flag::pressed))
        return;
    // Beyond either edge by up to one W: the text scrolls by that much per move.
    const int w = box.widths_.unitWidth(L'W');
    const int x = std::clamp<int>(textinput::controlPoint(box, e.lParam).x, box.paddingX_ - w,
                                  std::max(box.paddingX_ - w, box.width() - box.paddingX_ + w));
    box.caret_ = box.positionAt(x);
    box.keepCaretVisible();
}

// ---- Focus, attachment and layout -----------------------------------------------------------------

void TextBox::attached() {
    paddingX_ = 8;
    paddingY_ = 5;
    if (!fontFromSkin_)
        makeFont();  // created before the skin was there
    setText(getText(attr::text));
}

int TextBox::caretHeight() const {
    return std::max(lineHeight_, height_ - 2 * paddingY_);
}

void TextBox::focusLost() {
    anchor_ = caret_;
    invalidate(false);
}

SIZE TextBox::measure(SIZE) {
    return SIZE{0, lineHeight_ + 2 * paddingY_};
}

SIZE TextBox::arrange(SIZE finalSize) {
    height_ = finalSize.cy;
    if (hasFlag(flag::focused))
        keepCaretVisible();
    return finalSize;
}

// ---- Painting -------------------------------------------------------------------------------------

void TextBox::paint(HDC dc, const RECT& rect, const RECT& clip) {
    const wchar_t* styleName = findText(attr::style);
    if (styleName && *styleName)
        paintControlStyle(*this, dc, rect, styleName);

    const RECT inner{rect.left + paddingX_, rect.top + paddingY_, rect.right - paddingX_,
                     rect.bottom - paddingY_};
    RECT visible;
    if (!IntersectRect(&visible, &inner, &clip))
        return;
    // Clip region, background mode and font all come back when the saved state returns.
    auto saved = win::save_dc(dc);
    IntersectClipRect(dc, visible.left, visible.top, visible.right, visible.bottom);
    SetBkMode(dc, TRANSPARENT);
    SelectObject(dc, widths_.font());
    RECT selection{};
    if (anchor_ != caret_) {
        const int from = std::min(anchor_, caret_);
        const int to = std::max(anchor_, caret_);
        selection =
            RECT{std::clamp(inner.left + xOffset(from) - scrollX_, inner.left, inner.right), inner.top,
                 std::clamp(inner.left + xOffset(to) - scrollX_, inner.left, inner.right), inner.bottom};
    }
    // Only the left edge moves with the scroll offset, so text past the offset is not cut off early.
    const RECT textRect{inner.left - scrollX_, inner.top, inner.right, inner.bottom};
    drawTextAndSelection(dc, text_, length_, textRect,
                         DT_NOPREFIX | DT_SINGLELINE | DT_WORDBREAK | DT_VCENTER, textinput::kTextColour,
                         selection, visible);
}
