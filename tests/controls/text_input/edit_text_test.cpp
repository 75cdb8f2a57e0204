// The Edit's text model without a window: blocks, line layout, stepping and hit-testing, checked
// against a plain string and against a fresh layout of the whole text after every edit.
#include <windows.h>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "controls/char_widths.h"
#include "controls/edit_text.h"

using textinput::EditText;
using textinput::Line;

namespace {

// Fixed widths: most units 10 px, 'i' 4, 'W' 14, CJK 20, a surrogate pair 20, a tab four spaces.
class FixedWidths : public textinput::CharMeasure {
  public:
    int unitWidth(wchar_t c) override {
        if (c == L'\t')
            return 40;
        if (c == L'i')
            return 4;
        if (c == L'W')
            return 14;
        if (c >= 0x3000 && c < 0xD800)
            return 20;
        return 10;
    }
    int pairWidth(wchar_t, wchar_t) override { return 20; }
};

class EditTextTest : public ::testing::Test {
  protected:
    FixedWidths widths;
    EditText text{widths};

    void assign(const std::wstring& s) { text.assign(s.data(), static_cast<int>(s.size())); }
    void expectConsistent() { EXPECT_EQ(text.checkConsistency(), ""); }
    std::vector<int> blockSizes() const {
        std::vector<int> sizes;
        for (int i = 0; i < text.blockCount(); ++i) sizes.push_back(text.blockLength(i));
        return sizes;
    }
};

// ---- Lines ------------------------------------------------------------------------------------------

TEST_F(EditTextTest, LineKindsFollowTheirTerminators) {
    text.setWrapWidth(1000);
    assign(L"ab\ncd\r\nef");
    ASSERT_EQ(text.lineCount(), 3);
    EXPECT_EQ(text.line(0).kind, textinput::kLineFeed);
    EXPECT_EQ(text.line(0).end, 2);
    EXPECT_EQ(text.line(1).kind, textinput::kLineCarriageReturn);
    EXPECT_EQ(text.line(1).start, 3);
    EXPECT_EQ(text.line(1).end, 6);  // the line feed after the carriage return belongs to it
    EXPECT_EQ(text.line(2).kind, textinput::kLineWrapped);
    EXPECT_EQ(text.line(2).start, 7);
    EXPECT_EQ(text.line(2).end, 8);
    expectConsistent();
}

TEST_F(EditTextTest, ATextEndingInALineBreakHasAnEmptyLastLine) {
    text.setWrapWidth(1000);
    assign(L"ab\n");
    ASSERT_EQ(text.lineCount(), 2);
    const Line last = text.line(1);
    EXPECT_EQ(last.start, 3);
    EXPECT_EQ(last.end, 2);
    EXPECT_EQ(text.lineAt(3), 1);  // the caret after the line feed stands on it
    assign(L"ab\r\n");
    EXPECT_EQ(text.lineCount(), 2);
    assign(L"");
    ASSERT_EQ(text.lineCount(), 1);
    EXPECT_EQ(text.line(0).start, 0);
    EXPECT_EQ(text.line(0).end, -1);
    EXPECT_EQ(text.blockCount(), 1);
    expectConsistent();
}

TEST_F(EditTextTest, WrapsAtCharacterBoundariesWhenTheNextCharacterDoesNotFit) {
    text.setWrapWidth(35);
    assign(L"aaaaaaa");
    ASSERT_EQ(text.lineCount(), 3);
    EXPECT_EQ(text.line(0).end, 2);
    EXPECT_EQ(text.line(1).start, 3);
    EXPECT_EQ(text.line(2).start, 6);
    // Exactly filling the width still fits.
    text.setWrapWidth(30);
    EXPECT_EQ(text.line(0).end, 2);
    EXPECT_EQ(text.lineCount(), 3);
    expectConsistent();
}

TEST_F(EditTextTest, EveryLineHoldsAtLeastOneCharacterHoweverNarrow) {
    assign(
        L"ab\xD840\xDC00"
        L"c");
    for (int width : {-10, 0, 5}) {
        text.setWrapWidth(width);
        ASSERT_EQ(text.lineCount(), 4) << width;
        EXPECT_EQ(text.line(2).start, 2);
        EXPECT_EQ(text.line(2).end, 3) << "a surrogate pair is never split over two lines";
        expectConsistent();
    }
}

TEST_F(EditTextTest, AnEditReportsTheLinesItLaidOutAgain) {
    text.setWrapWidth(1000);
    std::wstring s;
    for (int i = 0; i < 50; ++i) s += L"line of text\n";
    assign(s);
    text.insert(text.line(20).start + 4, L"x", 1);
    EXPECT_EQ(text.lastChange().firstLine, 19) << "from the line before the edit";
    EXPECT_EQ(text.lastChange().lastLine, 20);
    EXPECT_FALSE(text.lastChange().linesMoved);
    text.insert(text.line(30).start, L"new\n", 4);
    EXPECT_EQ(text.lastChange().firstLine, 29);
    EXPECT_EQ(text.lastChange().lastLine, 30);
    EXPECT_TRUE(text.lastChange().linesMoved);
    text.erase(text.line(10).start, text.line(12).start);
    EXPECT_EQ(text.lastChange().firstLine, 9);
    EXPECT_TRUE(text.lastChange().linesMoved);
    text.erase(text.line(48).start, text.length());
    EXPECT_EQ(text.lastChange().lastLine, text.lineCount() - 1) << "laid out to the end";
    expectConsistent();
}

// ---- Stepping and hit-testing -----------------------------------------------------------------------

TEST_F(EditTextTest, PositionAtXTakesTheNearerSideOfACharacter) {
    text.setWrapWidth(1000);
    assign(L"abc\ndef");
    EXPECT_EQ(text.positionAtX(0, 0), 0);
    EXPECT_EQ(text.positionAtX(0, 5), 0);  // exactly the middle: before
    EXPECT_EQ(text.positionAtX(0, 6), 1);
    EXPECT_EQ(text.positionAtX(0, 500), 3) << "the line feed stops the search at itself";
    EXPECT_EQ(text.positionAtX(1, 500), 7) << "the last line reaches the end of the text";
    EXPECT_EQ(text.xOffset(2), 20);
    EXPECT_EQ(text.xOffset(5), 10);
}

TEST_F(EditTextTest, PositionAtXStaysOnAWrappedLine) {
    text.setWrapWidth(30);
    assign(L"abcdef");
    // The position after "abc" belongs to the second line; a click right of the first stays on it.
    EXPECT_EQ(text.positionAtX(0, 500), 2);
    EXPECT_EQ(text.lineAt(text.positionAtX(0, 500)), 0);
}

// ---- Blocks -----------------------------------------------------------------------------------------

TEST_F(EditTextTest, SetTextCutsIntoBlocksOf1500) {
    assign(std::wstring(4000, L'a'));
    EXPECT_EQ(blockSizes(), (std::vector<int>{1500, 1500, 1000}));
    expectConsistent();
}

TEST_F(EditTextTest, AnInsertBeyond2000UnitsRedistributesTheBlock) {
    struct Case {
        int insert;
        std::vector<int> sizes;
    };
    // A 1500-unit block grows by `insert`: up to 2000 it stays one block; above, it becomes
    // combined / 1500 blocks, one more when the remainder exceeds 500.
    for (const Case& c : {Case{500, {2000}}, Case{501, {1001, 1000}}, Case{2000, {1750, 1750}},
                          Case{2001, {1167, 1167, 1167}}, Case{3000, {1500, 1500, 1500}}}) {
        assign(std::wstring(1500, L'a'));
        const std::wstring s(c.insert, L'b');
        EXPECT_EQ(text.insert(700, s.data(), c.insert), c.insert);
        EXPECT_EQ(blockSizes(), c.sizes) << c.insert;
        std::wstring model(1500, L'a');
        model.insert(700, s);
        EXPECT_EQ(text.text(), model);
        expectConsistent();
    }
}

TEST_F(EditTextTest, AHugeInsertNeverOverfillsABlock) {
    // combined / m blocks with the whole remainder on the first would put 2999 units in it.
    text.setWrapWidth(100000);
    assign(std::wstring(1500, L'a'));
    const int n = 1500 * 1999 + 1000 - 1500;
    std::wstring s(n, L'b');
    ASSERT_EQ(text.insert(10, s.data(), n), n);
    EXPECT_EQ(text.blockCount(), 2000);
    expectConsistent();
    EXPECT_EQ(text.length(), n + 1500);
}

TEST_F(EditTextTest, DeletingMergesNeighboursThatFitInto1500) {
    assign(std::wstring(4000, L'a'));  // 1500, 1500, 1000
    text.erase(1600, 2400);            // the middle block keeps 700: 700 + 1000 does not fit
    EXPECT_EQ(blockSizes(), (std::vector<int>{1500, 700, 1000}));
    text.erase(1500, 1700);  // 500 + 1000 fit exactly
    EXPECT_EQ(blockSizes(), (std::vector<int>{1500, 1500}));
    text.erase(0, 1500);  // the emptied block is dropped
    EXPECT_EQ(blockSizes(), (std::vector<int>{1500}));
    text.erase(0, 1500);
    EXPECT_EQ(blockSizes(), (std::vector<int>{0}));
    EXPECT_EQ(text.lineCount(), 1);
    expectConsistent();
}

TEST_F(EditTextTest, TextBeyondTheBlockIndexIsCutAtACharacterBoundary) {
    std::wstring s(EditText::kMaxLength + 10, L'a');
    s[EditText::kMaxLength - 1] = 0xD840;  // a pair across the limit
    s[EditText::kMaxLength] = 0xDC00;
    text.setWrapWidth(100000);
    EXPECT_EQ(text.assign(s.data(), static_cast<int>(s.size())), EditText::kMaxLength - 1);
    EXPECT_EQ(text.blockCount(), EditText::kMaxBlocks);
    // The index is full: only what the last blocks can still take goes in.
    const std::wstring more(5000, L'c');
    const int room = text.insert(text.length(), more.data(), 5000);
    EXPECT_LT(room, 5000);
    EXPECT_EQ(text.blockCount(), EditText::kMaxBlocks);
    expectConsistent();
}

// Random inserts and deletes against a plain string: text, blocks and lines must agree after each.
TEST_F(EditTextTest, RandomEditsAgreeWithAPlainStringModel) {
    std::mt19937 random(20240613);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    const wchar_t alphabet[] = {L'a', L'b', L'i', L'W', L' ', L'\t', L'\n', L'\r', 0x4E2D, 0xD840, 0x6587};
    auto randomText = [&](int n) {
        std::wstring s;
        while (static_cast<int>(s.size()) < n) {
            const wchar_t c = alphabet[pick(0, 10)];
            if (c == 0xD840) {
                s += L"\xD840\xDC00";
            } else if (c == L'\r' && pick(0, 1)) {
                s += L"\r\n";
            } else {
                s += c;
            }
        }
        return s;
    };
    std::wstring model = randomText(9000);
    text.setWrapWidth(120);
    assign(model);
    for (int step = 0; step < 1500; ++step) {
        const int op = pick(0, 9);
        if (op < 5) {
            const int p = pick(0, static_cast<int>(model.size()));
            const std::wstring s = randomText(pick(0, 1) ? pick(1, 4) : pick(1, 2600));
            ASSERT_EQ(text.insert(p, s.data(), static_cast<int>(s.size())), static_cast<int>(s.size()));
            model.insert(p, s);
        } else if (op < 9) {
            const int a = pick(0, static_cast<int>(model.size()));
            const int b =
                std::min<int>(static_cast<int>(model.size()), a + (pick(0, 1) ? pick(0, 3) : pick(0, 4000)));
            text.erase(a, b);
            model.erase(a, b - a);
        } else {
            text.setWrapWidth(pick(-5, 300));
        }
        ASSERT_EQ(text.length(), static_cast<int>(model.size())) << "step " << step;
        ASSERT_EQ(text.checkConsistency(), "") << "step " << step;
    }
    EXPECT_EQ(text.text(), model);
}

// ---- Real font ------------------------------------------------------------------------------------

TEST(CharWidthsTest, MeasuresWithItsOwnCopyOfTheFont) {
    textinput::CharWidths widths;
    LOGFONTW logFont{};
    logFont.lfHeight = -16;
    wcscpy(logFont.lfFaceName, L"Tahoma");
    win::unique_hfont source(CreateFontIndirectW(&logFont));
    ASSERT_TRUE(widths.setFont(source.get()));
    EXPECT_NE(widths.font(), source.get());
    EXPECT_GT(widths.metrics().tmHeight, 0);
    EXPECT_GT(widths.unitWidth(L'W'), widths.unitWidth(L'i'));
    EXPECT_EQ(widths.unitWidth(L'\t'), 4 * widths.unitWidth(L' '));
    // Remembered widths are forgotten with a new font.
    const int w = widths.unitWidth(L'W');
    logFont.lfHeight = -32;
    win::unique_hfont larger(CreateFontIndirectW(&logFont));
    widths.setFont(larger.get());
    EXPECT_GT(widths.unitWidth(L'W'), w);
}

}  // namespace
