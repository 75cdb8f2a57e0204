#include "controls/edit.h"

#include <oleacc.h>

#include <algorithm>
#include <climits>

#include "controls/text_input.h"
#include "dui/style.h"
#include "dui/window_host.h"
#include "render/skin_store.h"

using textinput::Line;

Edit::Edit() : TextInput(kInitialFlags), textColour_(textinput::kTextColour) {
    addDelegate(event::LButtonDown, this, onLButtonDown);
    addDelegate(event::MouseWheel, this, onMouseWheel);
    addDelegate(event::MouseMove, this, onMouseMove);
}

Edit::~Edit() = default;

void Edit::setText(std::wstring_view text) {
    text_.assign(text.data(), static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX)));
    invalidate(false);
    notifyAccessible(EVENT_OBJECT_VALUECHANGE);
}

uint32_t Edit::accessibleState() const {
    return Control::accessibleState() | (editable_ ? 0 : STATE_SYSTEM_READONLY);
}

int Edit::visibleLines() const {
    return std::max(0, (height_ - 2 * paddingY_) / lineHeight_);
}

// ---- Attributes and layout ------------------------------------------------------------------------

void Edit::readAttributes() {
    lineSpacing_ = getInt(attr::textspace, 0);
    const SIZE padding = getSize(attr::textpadding, SIZE{5, 5});
    paddingX_ = padding.cx;
    paddingY_ = padding.cy;
    editable_ = getInt(attr::texteditable, 1) != 0;
    textColour_ = static_cast<COLORREF>(getInt(attr::color, static_cast<int32_t>(textinput::kTextColour)));

    widths_.setFont(textinput::skinFont(findText(attr::font)));
    const TEXTMETRICW& metrics = widths_.metrics();
    lineHeight_ = std::max(1, lineSpacing_ + static_cast<int>(metrics.tmHeight));
    averageCharWidth_ = metrics.tmAveCharWidth;
    width_ = bounds().right - bounds().left;
    height_ = bounds().bottom - bounds().top;
}

void Edit::attached() {
    readAttributes();
    // The new font measures differently: wrap with it, then take the layout's text.
    text_.setWrapWidth(textAreaWidth());
    setText(getText(attr::text));
}

SIZE Edit::arrange(SIZE finalSize) {
    if (finalSize.cx != width_) {
        width_ = finalSize.cx;
        text_.setWrapWidth(textAreaWidth());
    }
    height_ = finalSize.cy;
    if (hasFlag(flag::focused))
        placeCaret();
    invalidate(false);
    return finalSize;
}

// ---- Caret and scrolling --------------------------------------------------------------------------

void Edit::clampState() {
    caret_ = text_.characterStart(caret_);
    anchor_ = text_.characterStart(anchor_);
    topLine_ = std::clamp(topLine_, 0, std::max(0, text_.lineCount() - 1));
}

void Edit::applyScrollLimit() {
    if (!editable_)
        topLine_ = std::min(topLine_, text_.lineCount() - visibleLines());
    topLine_ = std::max(0, topLine_);
}

void Edit::placeCaret() {
    WindowHost* host = window();
    RECT area;
    if (!host || !windowRect(&area))
        return;
    const int line = text_.lineAt(caret_);
    if (line < topLine_ || line >= topLine_ + std::max(1, visibleLines())) {
        host->hideCaret();
        return;
    }
    host->showCaret(area.left + paddingX_ + text_.xOffset(caret_),
                    area.top + paddingY_ + (line - topLine_) * lineHeight_);
}

void Edit::keepCaretVisible() {
    clampState();
    const int line = text_.lineAt(caret_);
    const int visible = std::max(1, visibleLines());  // a very low Edit still follows its caret
    const int before = topLine_;
    if (line < topLine_)
        topLine_ = line;
    else if (line >= topLine_ + visible)
        topLine_ = line - visible + 1;
    applyScrollLimit();
    if (topLine_ != before)
        invalidate(false);
    if (hasFlag(flag::focused))
        placeCaret();
}

void Edit::collapseTo(int position) {
    if (anchor_ != caret_)
        invalidate(false);  // the old selection disappears
    caret_ = anchor_ = std::clamp(position, 0, text_.length());
    keepCaretVisible();
}

void Edit::moveToLine(int line) {
    collapseTo(text_.positionAtX(std::clamp(line, 0, text_.lineCount() - 1), preferredX_));
}

// ---- Keys and typing ------------------------------------------------------------------------------

void Edit::keyDown(EventRecord& e) {
    handleKey(static_cast<WPARAM>(e.wParam));  // never marks it handled
}

void Edit::handleKey(WPARAM key) {
    clampState();
    const int visible = visibleLines();
    const int lastLine = text_.lineCount() - 1;
    const int caretLine = text_.lineAt(caret_);
    switch (key) {
        case VK_BACK: {
            if (!editable_)
                return;
            if (anchor_ == caret_) {
                if (caret_ == 0)
                    return;
                anchor_ = text_.stepBack(caret_);
            }
            const int from = std::min(anchor_, caret_);
            text_.erase(from, std::max(anchor_, caret_));
            repaintChange();
            caret_ = anchor_ = from;
            preferredX_ = text_.xOffset(caret_);
            keepCaretVisible();
            return;
        }
        case VK_ESCAPE:
            collapseTo(caret_);
            return;
        case VK_PRIOR:
            if (topLine_ > 0) {
                topLine_ = std::max(0, topLine_ - visible);
                invalidate(false);
            }
            moveToLine(std::max(0, caretLine - visible));
            return;
        case VK_NEXT:
            if (topLine_ != lastLine) {
                topLine_ = std::min(topLine_ + visible, lastLine);
                applyScrollLimit();
                invalidate(false);
            }
            moveToLine(std::min(caretLine + visible, lastLine));
            return;
        case VK_END:
            topLine_ = lastLine;
            applyScrollLimit();
            invalidate(false);
            collapseTo(text_.length());
            return;
        case VK_HOME:
            if (topLine_ != 0) {
                topLine_ = 0;
                invalidate(false);
            }
            collapseTo(0);
            return;
        case VK_LEFT:
        case VK_RIGHT: {
            const int to = key == VK_LEFT ? text_.stepBack(caret_) : text_.stepForward(caret_);
            const bool moved = to != caret_;
            collapseTo(to);
            if (moved)
                preferredX_ = text_.xOffset(caret_);
            return;
        }
        case VK_UP:
            if (caretLine > 0)
                moveToLine(caretLine - 1);
            else
                collapseTo(caret_);
            return;
        case VK_DOWN:
            if (caretLine < lastLine)
                moveToLine(caretLine + 1);
            else
                collapseTo(caret_);
            return;
        default:
            break;
    }
    handleControlKey(key);
}

void Edit::selectAll() {
    anchor_ = 0;
    caret_ = text_.length();
    keepCaretVisible();
    invalidate(false);
}

void Edit::copySelection(bool cut) {
    const int from = std::min(anchor_, caret_);
    const int to = std::max(anchor_, caret_);
    const std::wstring selected = text_.substring(from, to);
    textinput::copyToClipboard(textinput::windowOf(*this), selected.data(), selected.size());
    if (!cut)
        return;
    // A cut deletes the selection also when the clipboard could not take it.
    text_.erase(from, to);
    repaintChange();
    caret_ = anchor_ = from;
    preferredX_ = text_.xOffset(caret_);
    keepCaretVisible();
}

void Edit::paste() {
    std::wstring units;
    if (!textinput::readClipboardText(textinput::windowOf(*this), &units))
        return;
    replaceSelection(units.data(), static_cast<int>(std::min<std::size_t>(units.size(), INT_MAX)));
}

void Edit::replaceSelection(const wchar_t* units, int length) {
    clampState();
    const int from = std::min(anchor_, caret_);
    if (anchor_ != caret_) {
        text_.erase(from, std::max(anchor_, caret_));
        repaintChange();
    }
    caret_ = anchor_ = from + text_.insert(from, units, length);
    repaintChange();
    preferredX_ = text_.xOffset(caret_);
    keepCaretVisible();
}

void Edit::repaintChange() {
    // Only the lines laid out again change, and the ones below them when lines came or went.
    const textinput::EditText::Change& change = text_.lastChange();
    const int first = std::max(change.firstLine, topLine_);
    const int top = paddingY_ + (first - topLine_) * lineHeight_;
    const int bottom =
        change.linesMoved ? height_ : paddingY_ + (change.lastLine - topLine_ + 1) * lineHeight_;
    if (bottom > top)
        invalidate(RECT{0, top, width_, bottom}, false);
    notifyAccessible(EVENT_OBJECT_VALUECHANGE);
}

void Edit::keyPress(EventRecord& e) {
    type(static_cast<wchar_t>(e.wParam));
}

void Edit::type(wchar_t c) {
    if (!editable_)
        return;
    if (c == L'\r') {
        static const wchar_t lineBreak[2] = {L'\r', L'\n'};
        replaceSelection(lineBreak, 2);
    } else if (!textinput::isControlUnit(c)) {
        replaceSelection(&c, 1);
    }
}

// ---- Mouse ----------------------------------------------------------------------------------------

int Edit::lineAtPoint(int y) const {
    // Integer division truncates towards zero, as the layout arithmetic always has.
    const int line = (lineHeight_ * topLine_ + y - paddingY_) / lineHeight_;
    return std::clamp(line, 0, text_.lineCount() - 1);
}

void Edit::onLButtonDown(void* self, Control*, EventRecord& e) {
    Edit& edit = *static_cast<Edit*>(self);
    edit.clampState();
    const POINT p = textinput::controlPoint(edit, e.lParam);
    const int y =
        std::min<int>(p.y, edit.paddingY_ + std::max(1, edit.visibleLines()) * edit.lineHeight_ - 1);
    const int line = edit.lineAtPoint(y);
    edit.preferredX_ = p.x - edit.paddingX_;
    edit.collapseTo(edit.text_.positionAtX(line, edit.preferredX_));
    edit.invalidate(false);
    e.handled = 1;
}

void Edit::onMouseMove(void* self, Control*, EventRecord& e) {
    Edit& edit = *static_cast<Edit*>(self);
    if (!edit.hasFlag(flag::pressed))
        return;
    edit.clampState();
    const POINT p = textinput::controlPoint(edit, e.lParam);
    const int bottom = edit.paddingY_ + edit.visibleLines() * edit.lineHeight_;
    const int x =
        std::clamp<int>(p.x, edit.paddingX_, std::max(edit.paddingX_, edit.width_ - edit.paddingX_));
    const int y = std::clamp<int>(p.y, edit.paddingY_ - 1, std::max(edit.paddingY_ - 1, bottom + 1));
    const int position = edit.text_.positionAtX(edit.lineAtPoint(y), x - edit.paddingX_);
    if (position == edit.caret_)
        return;
    edit.invalidate(false);
    edit.caret_ = position;  // the anchor stays: the selection grows or shrinks
    edit.keepCaretVisible();
    edit.preferredX_ = x - edit.paddingX_;
}

void Edit::onMouseWheel(void* self, Control*, EventRecord& e) {
    Edit& edit = *static_cast<Edit*>(self);
    if (!edit.hasFlag(flag::focused))
        return;
    edit.clampState();
    const int delta = static_cast<short>(HIWORD(static_cast<DWORD>(e.wParam)));
    edit.topLine_ = std::clamp(edit.topLine_ - delta / 40, 0, std::max(0, edit.text_.lineCount() - 1));
    edit.applyScrollLimit();
    edit.placeCaret();
    edit.invalidate(false);
}

// ---- Painting -------------------------------------------------------------------------------------

void Edit::paint(HDC dc, const RECT& rect, const RECT& clip) {
    const wchar_t* styleName = findText(attr::style);
    SkinStore* skin = currentSkin();
    if (!styleName || !*styleName || !skin || !skin->findStyle(styleName))
        styleName = L"edit.xml";
    paintControlStyle(*this, dc, rect, styleName);

    clampState();
    auto font = win::select_object(dc, widths_.font());
    const int bottom = rect.top + paddingY_ + visibleLines() * lineHeight_;
    for (int number = topLine_; number < text_.lineCount(); ++number) {
        const int top = rect.top + paddingY_ + (number - topLine_) * lineHeight_;
        if (top >= bottom || top >= clip.bottom)
            break;
        if (top + lineHeight_ <= clip.top)
            continue;
        paintLine(dc, rect, clip, text_.line(number), top);
    }
}

void Edit::paintLine(HDC dc, const RECT& rect, const RECT& clip, const Line& line, int top) {
    const int left = rect.left + paddingX_;
    const int selStart = std::min(anchor_, caret_);
    const int selEnd = std::max(anchor_, caret_);
    const wchar_t first = text_.at(line.start);
    if (line.end < line.start || first == L'\n' || first == L'\r') {
        // An empty line shows its selection as one average character.
        if (line.start >= selStart && line.start < selEnd) {
            RECT mark{left, top, left + averageCharWidth_, top + lineHeight_};
            RECT visible;
            if (IntersectRect(&visible, &mark, &clip))
                FillRect(dc, &visible, selectionBrush_.get());
        }
        return;
    }

    // The drawn form: without the terminator, a tab as four spaces (as it is measured).
    lineBuffer_.clear();
    for (int p = line.start; p <= line.end; ++p) {
        const wchar_t c = text_.at(p);
        if (c == L'\r' || c == L'\n')
            break;
        if (c == L'\t')
            lineBuffer_.append(4, L' ');
        else
            lineBuffer_.push_back(c);
    }
    const RECT box{left, top, rect.right - paddingX_, top + lineHeight_};
    const int from = std::max(selStart, line.start);
    const int to = std::min(selEnd, line.end + 1);
    RECT mark{};
    if (from < to)
        mark = RECT{left + text_.xOffset(line, from), top, left + text_.xOffset(line, to), top + lineHeight_};
    drawTextAndSelection(dc, lineBuffer_.data(), static_cast<int>(lineBuffer_.size()), box,
                         DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER, textColour_, mark, clip);
}
