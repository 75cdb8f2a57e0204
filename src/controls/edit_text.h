// EditText: the text of a multi-line Edit and its display lines. The text lives in a chain of blocks
// of at most 2000 UTF-16 units, found through an index of at most 2000 blocks by binary search; the
// lines come from wrapping at character boundaries to a pixel width. A local edit touches the block
// that holds it (split or merged at 2000 / 1500 / 500 units) and lays out again only the lines from
// the one before the edit until the new lines meet the old ones, so its cost does not grow with the
// text. Owned by its Edit; UI thread only (widths come from the Edit's measuring DC).
//
// Positions are UTF-16 indexes; position p lies before unit p. A surrogate pair is one character for
// wrapping, stepping and hit-testing. Text that does not fit the block index is cut at a character
// boundary, with a line on the debugger output.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controls/char_widths.h"

namespace textinput {

enum LineKind : int32_t {
    kLineWrapped = 0,         // the next character did not fit (also the text's last line)
    kLineFeed = 1,            // ended by a line feed
    kLineCarriageReturn = 2,  // ended by a carriage return and the unit after it
};

// One display line, positions of the whole text. The text's last line has kind kLineWrapped; when the
// text ends with a line break (or is empty) it is an empty line with end = start - 1.
struct Line {
    int32_t number = 0;
    int32_t kind = kLineWrapped;
    int32_t start = 0;
    int32_t end = -1;  // last unit, terminator included
};

class EditText {
  public:
    static constexpr int kBlockCapacity = 2000;  // units a block holds at most
    static constexpr int kBlockCut = 1500;       // setText cuts the text into blocks of this size
    static constexpr int kMergeLimit = 1500;     // neighbours merge while they fit into this
    static constexpr int kSplitSlack = 500;      // a split remainder above this gets a block of its own
    static constexpr int kMaxBlocks = 2000;      // size of the block index
    static constexpr int kMaxLength = kMaxBlocks * kBlockCut;  // what assign can store

    explicit EditText(CharMeasure& measure);
    ~EditText();
    EditText(const EditText&) = delete;
    EditText& operator=(const EditText&) = delete;

    // Pixels available to a line; a change wraps the whole text again. Every line holds at least one
    // character, however narrow.
    void setWrapWidth(int width);
    int wrapWidth() const { return wrapWidth_; }
    // Lays every line out again (after a font change).
    void relayout();

    // Replaces the text, cut into blocks of 1500 units. Answers the units stored.
    int assign(const wchar_t* text, int length);
    // Inserts at `position` (clamped into the text); answers the units inserted, fewer when the block
    // index would overflow.
    int insert(int position, const wchar_t* text, int length);
    // Removes the units from `from` to `to` (end excluded, clamped into the text).
    void erase(int from, int to);

    int length() const { return length_; }
    wchar_t at(int position) const;  // 0 outside the text
    std::wstring text() const;
    std::wstring substring(int from, int to) const;

    int lineCount() const { return lineCount_; }
    Line line(int number) const;  // clamped into the lines
    // The line a position belongs to: the last line that starts at or before it.
    int lineAt(int position) const;
    // Pixels from the start of `line` to `position` (clamped to the line).
    int xOffset(const Line& line, int position) const;
    int xOffset(int position) const { return xOffset(line(lineAt(position)), position); }
    // The position on `line` nearest to x pixels from its start: a character counts as passed when x
    // lies beyond its middle. A terminator stops the search before itself; on a wrapped line the search
    // stops before its last character (the position after it belongs to the next line).
    int positionAtX(int lineNumber, int x) const;

    // One step back or forward: a carriage return with the unit after it and a surrogate pair count as
    // one step.
    int stepBack(int position) const;
    int stepForward(int position) const;
    // The position clamped into the text and moved back off the middle of a carriage return plus
    // line feed or of a surrogate pair.
    int characterStart(int position) const;

    // Width of the character starting at `position` and its length in units (2 for a surrogate pair).
    int charWidth(int position, int* units) const;

    // The lines the last edit (or assign, or wrap) laid out again. The lines after them kept their
    // text; they moved to other numbers only when linesMoved is set.
    struct Change {
        int firstLine = 0;
        int lastLine = 0;
        bool linesMoved = false;
    };
    const Change& lastChange() const { return change_; }

    int blockCount() const { return static_cast<int>(blocks_.size()); }
    int blockLength(int index) const;
    // Empty when blocks, index and lines agree with each other and with a fresh layout of the whole
    // text; otherwise a description of the first disagreement (for tests).
    std::string checkConsistency() const;

  private:
    // A line stored in the block where it starts, relative to the block's start, so that lines after
    // an edit move with their block.
    struct LineRecord {
        int32_t kind;
        int32_t start;
        int32_t end;
    };
    struct TextBlock {
        int32_t start = 0;      // index of its first unit in the whole text
        int32_t count = 0;      // units held
        int32_t firstLine = 0;  // number of the first line starting here (lines before it)
        std::vector<LineRecord> lines;
        wchar_t characters[kBlockCapacity];
        int32_t end() const { return start + count - 1; }
    };
    using BlockPtr = std::unique_ptr<TextBlock>;
    class Cursor;

    int blockIndexOf(int position) const;
    // Lays out one line from `start` (which must be inside the text).
    Line layoutLine(int start) const;
    // Moves the lines of blocks [first, last] into `out` in whole-text positions, emptying the blocks.
    void detachLines(int first, int last, std::vector<Line>& out);
    // Lays the lines out from `from` until one starts where a line of `old` starts or the text ends.
    // `old` holds lines that start after the edit, in positions of the new text, so from a common
    // start the rest is as it was; it holds the lines of blocks up to `lastDetached`, later blocks are
    // detached as the layout reaches them. `kept` are the unchanged lines before `from`. The result
    // replaces the lines of blocks from `firstBlock` on.
    void layoutFrom(int from, int firstBlock, int lastDetached, std::vector<Line> kept,
                    std::vector<Line> old);
    void restartStarts(int firstBlock);
    void renumber(int firstBlock);
    int roomAt(int blockIndex) const;
    void debugCut(const wchar_t* what, int asked, int stored) const;

    CharMeasure& measure_;  // not owned
    std::vector<BlockPtr> blocks_;
    int length_ = 0;
    int lineCount_ = 0;
    int wrapWidth_ = 0;
    Change change_;
};

}  // namespace textinput
