// The multi-line Edit in a real window under real keyboard and mouse input: typing (CJK through
// WM_CHAR), line breaks, caret keys, read-only mode, the wheel, mouse selection, the clipboard shared
// with another process, the caret and the selection's paint.
#include <string>

#include "text_input_fixture.h"
#include "window/timer.h"

using namespace textinputtest;

namespace {

const char kLayout[] = R"(<Window initSize="420,320"><Canvas>
  <Edit id="1" x="10" y="10" width="300" height="130"/>
  <Edit id="2" x="10" y="150" width="300" height="90" texteditable="0"/>
  <TextBox id="3" x="10" y="260" width="200" style="edit.xml"/>
</Canvas></Window>)";

std::wstring numberedLines(int count) {
    std::wstring s;
    for (int i = 0; i < count; ++i) s += L"line " + std::to_wstring(i) + L"\r\n";
    return s;
}

class EditInput : public TextInputTest {
  protected:
    void SetUp() override {
        TextInputTest::SetUp();
        ASSERT_NE(open(kLayout), nullptr);
        e = edit(1);
        ASSERT_NE(e, nullptr);
    }
    // A point inside the Edit on `line` (counted from the first visible one), `x` pixels into the text.
    POINT onLine(int line, int x) const {
        return POINT{e->padding().x + x, e->padding().y + line * e->lineHeight() + e->lineHeight() / 2};
    }
    void clickLine(int line, int x) {
        const POINT p = onLine(line, x);
        clickAt(e, p.x, p.y);
    }
    // The caret's rectangle in client coordinates where the Edit says it stands.
    RECT expectedCaret() const {
        RECT r{};
        e->windowRect(&r);
        const int line = e->text().lineAt(e->caret());
        const int x = r.left + e->padding().x + e->text().xOffset(e->caret());
        const int y = r.top + e->padding().y + (line - e->topLine()) * e->lineHeight();
        return RECT{x, y, x + 1, y + e->lineHeight()};
    }
    Edit* e = nullptr;
};

// ---- Typing -----------------------------------------------------------------------------------------

TEST_F(EditInput, EnterInsertsCarriageReturnAndLineFeedThatMoveAsOne) {
    clickLine(0, 2);
    ASSERT_TRUE(e->hasFlag(flag::focused));
    type(L"ab");
    press(VK_RETURN);
    type(L"c");
    EXPECT_EQ(e->getText(), L"ab\r\nc");
    EXPECT_EQ(e->caret(), 5);
    EXPECT_EQ(e->text().lineAt(5), 1);
    press(VK_LEFT);
    EXPECT_EQ(e->caret(), 4);
    press(VK_LEFT);
    EXPECT_EQ(e->caret(), 2) << "Left steps over the line break at once";
    press(VK_RIGHT);
    EXPECT_EQ(e->caret(), 4) << "Right too";
    press(VK_BACK);
    EXPECT_EQ(e->getText(), L"abc") << "one Backspace removes both";
    EXPECT_EQ(e->caret(), 2);
    EXPECT_EQ(e->anchor(), 2);
    const RECT caret = window->caretRect();
    const RECT expected = expectedCaret();
    EXPECT_EQ(caret.left, expected.left);
    EXPECT_EQ(caret.top, expected.top);
    EXPECT_EQ(caret.bottom - caret.top, e->lineHeight());
}

TEST_F(EditInput, CjkAndCharactersBeyondTheBasicPlaneArriveThroughWmChar) {
    clickLine(0, 2);
    type(L"中文\U00020000x");
    EXPECT_EQ(e->getText(), L"中文\U00020000x");
    EXPECT_EQ(e->caret(), 5);
    EXPECT_GT(e->text().xOffset(1), e->text().xOffset(5) - e->text().xOffset(4)) << "中 is wider than x";
    press(VK_LEFT, 2);
    EXPECT_EQ(e->caret(), 2) << "a surrogate pair is one step";
    press(VK_RIGHT);
    EXPECT_EQ(e->caret(), 4);
    press(VK_BACK);
    EXPECT_EQ(e->getText(), L"中文x") << "Backspace removes the whole pair";
    EXPECT_EQ(window->caretRect().left, expectedCaret().left);
}

TEST_F(EditInput, TypingReplacesTheSelectionAndControlCharactersTypeNothing) {
    e->setText(L"one two");
    clickLine(0, 2);
    press(VK_DELETE);  // (Tab moves the focus on: the keyboard tests cover it)
    pressWithControl('B');
    SendMessageW(window->windowHandle(), WM_CHAR, 0x7F, 1);  // Ctrl+Backspace on Windows
    EXPECT_EQ(e->getText(), L"one two");
    pressWithControl('A');
    EXPECT_EQ(e->anchor(), 0);
    EXPECT_EQ(e->caret(), 7);
    type(L"x");
    EXPECT_EQ(e->getText(), L"x");
    EXPECT_EQ(e->caret(), 1);
}

// ---- Caret keys -------------------------------------------------------------------------------------

TEST_F(EditInput, UpOnTheFirstLineAndDownOnTheLastKeepTheCaret) {
    e->setText(L"aaa\r\naaa\r\naaa");
    clickLine(0, 1);
    press(VK_HOME);
    press(VK_RIGHT, 2);
    ASSERT_EQ(e->caret(), 2);
    press(VK_UP);
    EXPECT_EQ(e->caret(), 2);
    press(VK_DOWN);
    EXPECT_EQ(e->caret(), 7) << "the same column on the next line";
    press(VK_DOWN);
    EXPECT_EQ(e->caret(), 12);
    press(VK_DOWN);
    EXPECT_EQ(e->caret(), 12);
    press(VK_UP);
    EXPECT_EQ(e->caret(), 7);
}

TEST_F(EditInput, ATextEndingInALineFeedHasAnEmptyLastLineForTheCaret) {
    e->setText(L"ab\n");
    clickLine(0, 1);
    press(VK_DOWN);
    EXPECT_EQ(e->caret(), 3);
    EXPECT_EQ(e->text().lineCount(), 2);
    EXPECT_EQ(e->text().lineAt(3), 1);
    EXPECT_EQ(window->caretRect().top, expectedCaret().top);
    EXPECT_EQ(window->caretRect().left, expectedCaret().left);
    type(L"x");
    EXPECT_EQ(e->getText(), L"ab\nx");
    // A click below the text lands on the last line.
    e->setText(L"ab\n");
    clickLine(4, 1);
    EXPECT_EQ(e->caret(), 3);
}

TEST_F(EditInput, PageKeysMoveByThePageAndKeepTheColumn) {
    e->setText(numberedLines(40));
    clickLine(0, 1);
    const int v = e->visibleLines();
    ASSERT_GE(v, 3);
    press(VK_NEXT);
    EXPECT_EQ(e->topLine(), v);
    EXPECT_EQ(e->text().lineAt(e->caret()), v);
    press(VK_PRIOR);
    EXPECT_EQ(e->topLine(), 0);
    EXPECT_EQ(e->text().lineAt(e->caret()), 0);
    press(VK_END);
    EXPECT_EQ(e->caret(), e->text().length());
    EXPECT_EQ(e->topLine(), e->text().lineCount() - 1)
        << "an editable Edit may scroll its last line to the top";
    press(VK_HOME);
    EXPECT_EQ(e->caret(), 0);
    EXPECT_EQ(e->topLine(), 0);
}

TEST_F(EditInput, SetTextKeepsCaretAndScrollThatAreClampedWhenNextUsed) {
    e->setText(numberedLines(40));
    clickLine(0, 1);
    press(VK_END);
    const int before = e->caret();
    e->setText(L"short");
    EXPECT_EQ(e->caret(), before) << "setText leaves the caret alone";
    type(L"!");
    EXPECT_EQ(e->getText(), L"short!");
    EXPECT_EQ(e->caret(), 6);
    EXPECT_EQ(e->topLine(), 0);
}

TEST_F(EditInput, SetTextMovesACaretLeftInsideALineBreakOrASurrogatePairBeforeIt) {
    e->setText(L"abc");
    clickLine(0, 1);
    press(VK_END);
    e->setText(L"ab\r\ncd");  // the caret (3) now stands between the carriage return and line feed
    type(L"x");
    EXPECT_EQ(e->getText(), L"abx\r\ncd");
    e->setText(L"abc");
    press(VK_END);
    e->setText(L"ab\U00020000");  // the caret (3) now stands between the halves of the pair
    type(L"y");
    EXPECT_EQ(e->getText(), L"aby\U00020000");
}

// ---- Read-only --------------------------------------------------------------------------------------

TEST_F(EditInput, AReadOnlyEditTakesNoTypingCutCopyOrPasteButSelectsAll) {
    Edit* ro = edit(2);
    ASSERT_NE(ro, nullptr);
    EXPECT_FALSE(ro->editable());
    const std::wstring text = numberedLines(20);
    ro->setText(text);
    ASSERT_TRUE(peerSetClipboard(L"keep"));
    clickAt(ro, 20, 10);
    type(L"xyz");
    press(VK_RETURN);
    press(VK_BACK);
    pressWithControl('V');
    EXPECT_EQ(ro->getText(), text);
    pressWithControl('A');
    EXPECT_EQ(ro->anchor(), 0);
    EXPECT_EQ(ro->caret(), static_cast<int>(text.size())) << "Ctrl+A works on a read-only Edit";
    pressWithControl('C');
    pressWithControl('X');
    EXPECT_EQ(ro->getText(), text);
    std::wstring clipboard;
    ASSERT_TRUE(peerGetClipboard(&clipboard));
    EXPECT_EQ(clipboard, L"keep") << "a read-only Edit copies nothing";
}

TEST_F(EditInput, AReadOnlyEditDoesNotScrollPastItsLastPage) {
    Edit* ro = edit(2);
    ASSERT_NE(ro, nullptr);
    ro->setText(numberedLines(20));
    clickAt(ro, 20, 10);
    const int lastPage = ro->text().lineCount() - ro->visibleLines();
    ASSERT_GT(lastPage, 0);
    press(VK_END);
    EXPECT_EQ(ro->topLine(), lastPage);
    press(VK_NEXT);
    EXPECT_EQ(ro->topLine(), lastPage);
    press(VK_HOME);
    wheelOver(ro, -10);
    EXPECT_EQ(ro->topLine(), lastPage);
}

// ---- Wheel ------------------------------------------------------------------------------------------

TEST_F(EditInput, OneWheelNotchScrollsThreeLinesWithinBounds) {
    e->setText(numberedLines(30));
    wheelOver(e, -1);
    EXPECT_EQ(e->topLine(), 0) << "only while focused";
    clickLine(0, 1);
    wheelOver(e, -1);
    EXPECT_EQ(e->topLine(), 3);
    wheelOver(e, -1);
    EXPECT_EQ(e->topLine(), 6);
    EXPECT_EQ(runningTimerCount(), 0u) << "the caret's line scrolled out of view: the caret is hidden";
    wheelOver(e, 1);
    EXPECT_EQ(e->topLine(), 3);
    wheelOver(e, 5);
    EXPECT_EQ(e->topLine(), 0) << "never above the first line";
    EXPECT_EQ(runningTimerCount(), 1u) << "the caret is shown again";
    wheelOver(e, -20);
    EXPECT_EQ(e->topLine(), e->text().lineCount() - 1) << "never past the last line";
}

// ---- Mouse ------------------------------------------------------------------------------------------

TEST_F(EditInput, APressPutsTheCaretAtTheNearestPosition) {
    e->setText(L"WWWW\r\nii");
    const int w = e->text().xOffset(1);
    clickLine(0, w + w / 2 + 1);  // past the middle of the second W
    EXPECT_EQ(e->caret(), 2);
    EXPECT_EQ(e->anchor(), 2);
    clickLine(0, 250);  // right of a line: before its line break
    EXPECT_EQ(e->caret(), 4);
    clickLine(1, 250);  // right of the last line: the end of the text
    EXPECT_EQ(e->caret(), 8);
    EXPECT_EQ(window->caretRect().left, expectedCaret().left);
}

TEST_F(EditInput, ADoubleClickActsAsASecondPress) {
    e->setText(L"hello world");
    const POINT p = onLine(0, e->text().xOffset(3));
    doubleClickAt(e, p.x, p.y);
    EXPECT_EQ(e->caret(), 3);
    EXPECT_EQ(e->anchor(), 3) << "no word or text selection";
}

TEST_F(EditInput, DraggingSelectsFromThePressToThePointer) {
    e->setText(L"aaaaa\r\naaaaaa\r\naaaaa");
    const int x = e->text().xOffset(2);
    drag(e, {onLine(0, x), onLine(1, x + 5), onLine(2, x)});
    EXPECT_EQ(e->anchor(), 2);
    EXPECT_EQ(e->caret(), e->text().line(2).start + 2);
    // Keyboard moves never extend it: Shift is not consulted.
    pressWithShift(VK_LEFT);
    EXPECT_EQ(e->caret(), e->text().line(2).start + 1);
    EXPECT_EQ(e->anchor(), e->caret());
}

TEST_F(EditInput, DraggingPastTheBottomScrollsOneLinePerMove) {
    e->setText(numberedLines(30));
    const POINT start = onLine(0, 1);
    testsupport::moveMouse(screenPoint(e, start.x, start.y));
    testsupport::mouseDown();
    ASSERT_TRUE(waitFor([&] { return e->hasFlag(flag::pressed); }));
    RECT r{};
    e->windowRect(&r);
    const int below = r.bottom - r.top + 20;
    for (int move = 1; move <= 3; ++move) {
        testsupport::moveMouse(screenPoint(e, 20 + move, below + move));
        EXPECT_TRUE(waitFor([&] { return e->topLine() == move; })) << "move " << move;
    }
    testsupport::mouseUp();
    ASSERT_TRUE(waitFor([&] { return !e->hasFlag(flag::pressed); }));
    EXPECT_EQ(e->anchor(), 0);
    EXPECT_EQ(e->text().lineAt(e->caret()), 3 + e->visibleLines() - 1);
}

// ---- Clipboard with another process -----------------------------------------------------------------

TEST_F(EditInput, CopyPutsExactlyTheSelectionOnTheClipboard) {
    e->setText(L"first\r\nsecond\r\nthird");
    drag(e, {onLine(0, e->text().xOffset(2)), onLine(1, e->text().xOffset(9))});
    ASSERT_EQ(e->anchor(), 2);
    ASSERT_EQ(e->caret(), 9);
    pressWithControl('C');
    std::wstring clipboard;
    ASSERT_TRUE(peerGetClipboard(&clipboard));
    EXPECT_EQ(clipboard, L"rst\r\nse");
    EXPECT_EQ(e->getText(), L"first\r\nsecond\r\nthird");
    pressWithControl('X');
    EXPECT_EQ(e->getText(), L"ficond\r\nthird");
    EXPECT_EQ(e->caret(), 2);
    ASSERT_TRUE(peerGetClipboard(&clipboard));
    EXPECT_EQ(clipboard, L"rst\r\nse");
}

TEST_F(EditInput, PasteInsertsAnotherProcesssTextUnchanged) {
    e->setText(L"ab");
    clickLine(0, e->text().xOffset(1));
    ASSERT_EQ(e->caret(), 1);
    ASSERT_TRUE(peerSetClipboard(L"x\r\ny\tz中"));
    pressWithControl('V');
    EXPECT_EQ(e->getText(), L"ax\r\ny\tz中b");
    EXPECT_EQ(e->caret(), 8);
    EXPECT_EQ(e->anchor(), 8);
    EXPECT_EQ(e->text().lineCount(), 2);
}

// ---- Focus, caret and paint -------------------------------------------------------------------------

TEST_F(EditInput, TheCaretFollowsTheFocus) {
    EXPECT_EQ(runningTimerCount(), 0u);
    clickLine(0, 1);
    EXPECT_EQ(runningTimerCount(), 1u) << "the focused Edit shows the window's caret";
    EXPECT_EQ(window->caretRect().bottom - window->caretRect().top, e->lineHeight());
    TextBox* box = textBox(3);
    ASSERT_NE(box, nullptr);
    clickAt(box, 20, 5);
    EXPECT_FALSE(e->hasFlag(flag::focused));
    RECT r{};
    box->windowRect(&r);
    EXPECT_EQ(window->caretRect().top, r.top + box->padding().y) << "the caret went to the TextBox";
    // Another window takes the keyboard: the caret stops.
    ASSERT_NE(open(R"(<Window initSize="50,50"/>)", 600, 100), nullptr);
    EXPECT_TRUE(waitFor([] { return runningTimerCount() == 0; }));
}

TEST_F(EditInput, SelectedTextIsPaintedOnTheSelectionBrush) {
    e->setText(L"WWWW\r\n\r\nW");
    clickLine(0, 1);
    const POINT inFirst{e->padding().x + 3, e->padding().y + 1};
    const POINT onEmpty{e->padding().x + 1, e->padding().y + e->lineHeight() + e->lineHeight() / 2};
    EXPECT_NE(pixelAt(e, inFirst.x, inFirst.y), 0x3399FFu);
    EXPECT_NE(pixelAt(e, onEmpty.x, onEmpty.y), 0x3399FFu);
    pressWithControl('A');
    EXPECT_EQ(pixelAt(e, inFirst.x, inFirst.y), 0x3399FFu);
    EXPECT_EQ(pixelAt(e, onEmpty.x, onEmpty.y), 0x3399FFu) << "a selected empty line shows";
    press(VK_ESCAPE);
    EXPECT_NE(pixelAt(e, inFirst.x, inFirst.y), 0x3399FFu) << "the old selection is repainted";
}

TEST_F(EditInput, TypingRepaintsTheLinesThatChangedAndThoseThatMoved) {
    e->setText(L"aaa\r\nbbb\r\nccc");
    clickLine(0, 0);
    ASSERT_EQ(e->caret(), 0);
    auto row = [&](int line) {
        const int top = e->padding().y + line * e->lineHeight();
        return RECT{e->padding().x + 3, top + 1, e->padding().x + 60, top + e->lineHeight() - 1};
    };
    EXPECT_TRUE(inkIn(e, row(0)));
    EXPECT_FALSE(inkIn(e, row(3)));
    press(VK_RETURN);
    EXPECT_FALSE(inkIn(e, row(0))) << "the first line is empty now";
    EXPECT_TRUE(inkIn(e, row(1)));
    EXPECT_TRUE(inkIn(e, row(3))) << "the lines below moved down";
    press(VK_BACK);
    EXPECT_TRUE(inkIn(e, row(0)));
    EXPECT_FALSE(inkIn(e, row(3))) << "and back up";
    press(VK_END);
    press(VK_HOME);
    press(VK_DOWN, 2);
    type(L"WWWWWW");
    EXPECT_TRUE(inkIn(e, RECT{e->padding().x + e->text().xOffset(e->text().line(2).start + 5), row(2).top,
                              e->padding().x + 140, row(2).bottom}))
        << "the typed characters are painted";
}

// ---- Layout -----------------------------------------------------------------------------------------

TEST_F(EditInput, LayoutNamesFlagsAndAttributes) {
    EXPECT_STREQ(e->typeName(), L"Edit");
    EXPECT_EQ(e->flags() & ~flag::hover, Edit::kInitialFlags);
    EXPECT_EQ(e->padding().x, 5);
    EXPECT_TRUE(e->editable());
    TextBox* box = textBox(3);
    ASSERT_NE(box, nullptr);
    EXPECT_STREQ(box->typeName(), L"TextBox");
    EXPECT_EQ(box->flags() & ~flag::hover, TextBox::kInitialFlags);
    EXPECT_EQ(box->bounds().bottom - box->bounds().top, box->lineHeight() + 10) << "one line plus padding";

    ASSERT_NE(open(R"(<Window initSize="200,200"><Canvas>
        <Edit id="7" width="12" height="150" textpadding="5,3" textspace="4" text="abc" font="Large"/>
        <Edit id="8" y="0" width="100" height="40" font=""/>
        <Edit id="9" y="50" width="100" height="40" font="Large"/>
      </Canvas></Window>)",
                   600, 100),
              nullptr);
    Edit* narrow = edit(7);
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(narrow->getText(), L"abc");
    EXPECT_EQ(narrow->text().lineCount(), 3) << "two pixels of width still hold one character per line";
    EXPECT_EQ(narrow->padding().y, 3);
    EXPECT_GT(narrow->lineHeight(), e->lineHeight() + 4) << "the font attribute and textspace";
    ASSERT_NE(edit(8), nullptr);
    ASSERT_NE(edit(9), nullptr);
    EXPECT_EQ(edit(8)->lineHeight(), e->lineHeight()) << "an empty font name is the skin's Default";
    EXPECT_EQ(edit(9)->lineHeight() + 4, narrow->lineHeight()) << "the same skin font without textspace";
}

}  // namespace
