// The single-line TextBox in a real window under real keyboard and mouse input: typing and its
// ValueChange events, the full buffer, pasting from another process, double click, horizontal
// scrolling and dragging, focus and paint.
#include <string>

#include "text_input_fixture.h"

using namespace textinputtest;

namespace {

const char kLayout[] = R"(<Window initSize="400,120"><Canvas>
  <TextBox id="1" x="10" y="10" width="200" style="edit.xml"/>
  <Edit id="2" x="10" y="60" width="300" height="50"/>
</Canvas></Window>)";

class TextBoxInput : public TextInputTest {
  protected:
    void SetUp() override {
        TextInputTest::SetUp();
        ASSERT_NE(open(kLayout), nullptr);
        box = textBox(1);
        ASSERT_NE(box, nullptr);
        valueChanges = 0;
    }
    void focusBox() {
        clickAt(box, 20, 5);
        ASSERT_TRUE(box->hasFlag(flag::focused));
    }
    int innerWidth() const { return box->bounds().right - box->bounds().left - 2 * box->padding().x; }
    // The caret's left edge in client coordinates where the TextBox says it stands.
    int expectedCaretX() {
        RECT r{};
        box->windowRect(&r);
        return r.left + box->padding().x + box->xOffset(box->caret()) - box->scrollX();
    }
    TextBox* box = nullptr;
};

// ---- Typing and ValueChange ---------------------------------------------------------------------------

TEST_F(TextBoxInput, TypingAndDeletingRaiseValueChangeForEachKey) {
    focusBox();
    type(L"C:\\Tarvo 中文");
    EXPECT_EQ(box->getText(), L"C:\\Tarvo 中文");
    EXPECT_EQ(valueChanges, 11);
    press(VK_BACK);
    EXPECT_EQ(box->getText(), L"C:\\Tarvo 中");
    EXPECT_EQ(valueChanges, 12);
    press(VK_LEFT, 3);
    EXPECT_EQ(box->caret(), 7);
    press(VK_RIGHT);
    EXPECT_EQ(box->caret(), 8);
    press(VK_HOME);  // no Home, End or Delete in a TextBox; Enter, Ctrl letters and DEL type nothing
    press(VK_DELETE);  // (Tab moves the focus on: the keyboard tests cover it)
    press(VK_RETURN);
    pressWithControl('B');
    SendMessageW(window->windowHandle(), WM_CHAR, 0x7F, 1);  // Ctrl+Backspace on Windows
    EXPECT_EQ(box->caret(), 8);
    EXPECT_EQ(box->getText(), L"C:\\Tarvo 中");
    EXPECT_EQ(valueChanges, 12);
    EXPECT_EQ(window->caretRect().left, expectedCaretX());
}

TEST_F(TextBoxInput, AFullTextBoxIgnoresTypingButRaisesValueChangePerKey) {
    focusBox();
    box->setText(std::wstring(1999, L'a'));  // the caret goes to the end
    EXPECT_EQ(valueChanges, 1);
    box->setText(std::wstring(1999, L'a'));  // unchanged: nothing raised
    EXPECT_EQ(valueChanges, 1);
    type(L"bcd");
    EXPECT_EQ(box->length(), TextBox::kCapacity);
    EXPECT_EQ(box->getText().back(), L'b');
    EXPECT_EQ(valueChanges, 4) << "one per key, also for the keys that did not fit";
}

TEST_F(TextBoxInput, ACharacterBeyondTheBasicPlaneNeedsRoomForBothHalves) {
    focusBox();
    box->setText(std::wstring(1999, L'a'));
    type(L"\U00020000");
    EXPECT_EQ(box->length(), 1999) << "half a character is never stored";
    press(VK_BACK);
    type(L"\U00020000");
    EXPECT_EQ(box->length(), 2000);
    EXPECT_EQ(box->getText().substr(1998), L"\U00020000");
    press(VK_LEFT);
    EXPECT_EQ(box->caret(), 1998) << "the pair is one step";
}

TEST_F(TextBoxInput, SetTextStoresAtMost1999UnitsAndRaisesOnlyOnChange) {
    std::wstring long_(2500, L'x');
    long_[1998] = 0xD840;
    long_[1999] = 0xDC00;
    box->setText(long_);
    EXPECT_EQ(box->length(), 1998) << "cut before the pair that straddles the limit";
    EXPECT_EQ(box->caret(), 1998);
    EXPECT_EQ(box->anchor(), 1998);
    EXPECT_EQ(valueChanges, 1);
    box->setText(L"path");
    box->setText(L"path");
    EXPECT_EQ(valueChanges, 2);
    EXPECT_EQ(box->scrollX(), 0);
}

// ---- Clipboard with another process -----------------------------------------------------------------

TEST_F(TextBoxInput, PastingTabsAndLineBreaksStoresSpaces) {
    focusBox();
    type(L"[]");
    press(VK_LEFT);
    ASSERT_TRUE(peerSetClipboard(L"a\tb\r\nc"));
    valueChanges = 0;
    pressWithControl('V');
    EXPECT_EQ(box->getText(), L"[a b  c]");
    EXPECT_EQ(box->caret(), 7);
    EXPECT_EQ(box->anchor(), 7);
    EXPECT_EQ(valueChanges, 1);
    // A paste is cut to the free room.
    box->setText(std::wstring(1990, L'a'));
    ASSERT_TRUE(peerSetClipboard(std::wstring(50, L'b')));
    pressWithControl('V');
    EXPECT_EQ(box->length(), TextBox::kCapacity);
    EXPECT_EQ(box->caret(), TextBox::kCapacity);
}

TEST_F(TextBoxInput, CutAndCopyPutExactlyTheSelectionOnTheClipboard) {
    focusBox();
    type(L"C:\\Tarvo\\中文");
    pressWithControl('A');
    pressWithControl('C');
    std::wstring clipboard;
    ASSERT_TRUE(peerGetClipboard(&clipboard));
    EXPECT_EQ(clipboard, L"C:\\Tarvo\\中文");
    valueChanges = 0;
    pressWithControl('X');
    EXPECT_EQ(box->getText(), L"");
    EXPECT_EQ(valueChanges, 1);
    ASSERT_TRUE(peerGetClipboard(&clipboard));
    EXPECT_EQ(clipboard, L"C:\\Tarvo\\中文");
    pressWithControl('X');  // nothing selected: nothing cut, nothing raised
    EXPECT_EQ(valueChanges, 1);
}

// ---- Mouse ------------------------------------------------------------------------------------------

TEST_F(TextBoxInput, ADoubleClickSelectsEverything) {
    focusBox();
    type(L"hello");
    press(VK_LEFT, 2);
    // Away from the focusing click, which would otherwise pair with the first click of these two.
    doubleClickAt(box, 80, 5);
    EXPECT_EQ(box->anchor(), 0);
    EXPECT_EQ(box->caret(), 5);
    type(L"x");
    EXPECT_EQ(box->getText(), L"x");
}

TEST_F(TextBoxInput, APressPutsTheCaretAtTheNearestPosition) {
    box->setText(L"WWWW");
    const int w = box->xOffset(1);
    clickAt(box, box->padding().x + w + w / 2 + 1, 5);
    EXPECT_EQ(box->caret(), 2);
    EXPECT_EQ(box->anchor(), 2);
    clickAt(box, innerWidth(), 5);
    EXPECT_EQ(box->caret(), 4);
    EXPECT_EQ(window->caretRect().left, expectedCaretX());
}

TEST_F(TextBoxInput, TheTextScrollsToKeepTheCaretInView) {
    focusBox();
    type(std::wstring(60, L'W'));
    const int s = box->xOffset(60);
    ASSERT_GT(s, innerWidth());
    EXPECT_EQ(box->scrollX(), s - innerWidth());
    RECT r{};
    box->windowRect(&r);
    EXPECT_EQ(window->caretRect().left, r.right - box->padding().x) << "the caret at the right edge";
    const int before = box->scrollX();
    press(VK_BACK);
    EXPECT_EQ(box->scrollX(), before - box->xOffset(1)) << "deleting scrolls back by the width removed";
    press(VK_LEFT, 59);
    EXPECT_EQ(box->caret(), 0);
    EXPECT_EQ(box->scrollX(), 0);
    EXPECT_EQ(window->caretRect().left, r.left + box->padding().x);
}

TEST_F(TextBoxInput, DraggingPastTheLeftEdgeScrollsByAtMostOneWPerMove) {
    box->setText(std::wstring(60, L'W'));
    const int w = box->xOffset(1);
    // The press focuses the box, which scrolls its caret (at the end) into view first.
    testsupport::moveMouse(screenPoint(box, box->padding().x + 1, 5));
    testsupport::mouseDown();
    ASSERT_TRUE(waitFor([&] { return box->hasFlag(flag::pressed); }));
    const int pressedAt = box->caret();
    ASSERT_GT(box->scrollX(), 3 * w);
    EXPECT_EQ(box->anchor(), pressedAt);
    int last = box->scrollX();
    for (int move = 1; move <= 3; ++move) {
        testsupport::moveMouse(screenPoint(box, -40 - move, 5));
        ASSERT_TRUE(waitFor([&] { return box->scrollX() < last; })) << "move " << move;
        EXPECT_LE(last - box->scrollX(), w + w / 2) << "move " << move;
        last = box->scrollX();
    }
    testsupport::mouseUp();
    ASSERT_TRUE(waitFor([&] { return !box->hasFlag(flag::pressed); }));
    EXPECT_EQ(box->anchor(), pressedAt) << "the drag moves only the caret";
    EXPECT_LT(box->caret(), pressedAt);
    EXPECT_EQ(box->scrollX(), box->xOffset(box->caret())) << "the caret at the left edge";
}

// ---- Focus and paint --------------------------------------------------------------------------------

TEST_F(TextBoxInput, LosingTheFocusDropsTheSelectionAndTheCaret) {
    focusBox();
    type(L"abc");
    pressWithControl('A');
    ASSERT_EQ(box->anchor(), 0);
    Edit* other = edit(2);
    ASSERT_NE(other, nullptr);
    clickAt(other, 10, 10);
    EXPECT_FALSE(box->hasFlag(flag::focused));
    EXPECT_EQ(box->anchor(), box->caret());
    EXPECT_EQ(box->caret(), 3);
}

TEST_F(TextBoxInput, TheSelectionAndTheScrolledTextArePainted) {
    focusBox();
    type(std::wstring(40, L'W'));
    const int x = innerWidth() - 4 + box->padding().x;  // near the inner right edge
    const int y = box->padding().y + 1;
    // Text drawn from the scrolled start reaches the right edge of the field.
    bool ink = false;
    for (int dy = 0; dy < box->lineHeight() && !ink; ++dy)
        for (int dx = -12; dx <= 0 && !ink; ++dx) ink = pixelAt(box, x + dx, y + dy) != 0xFFFFFFu;
    EXPECT_TRUE(ink) << "the last characters are drawn";
    EXPECT_NE(pixelAt(box, x, y), 0x3399FFu);
    pressWithControl('A');
    EXPECT_EQ(pixelAt(box, x, y), 0x3399FFu);
    EXPECT_EQ(pixelAt(box, box->padding().x - 2, y), 0xFFFFFFu) << "the selection stays inside the padding";
}

}  // namespace
