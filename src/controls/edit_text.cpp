#include "controls/edit_text.h"

#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstring>

namespace textinput {

// Reads units in rising (or nearby) positions without a binary search per unit.
class EditText::Cursor {
  public:
    explicit Cursor(const EditText& text) : text_(text) {}
    wchar_t at(int position) {
        if (position < 0 || position >= text_.length_)
            return 0;
        if (!block_ || position < block_->start || position > block_->end()) {
            const int next = index_ + 1;
            if (block_ && next < text_.blockCount() && position >= text_.blocks_[next]->start &&
                position <= text_.blocks_[next]->end())
                index_ = next;
            else
                index_ = text_.blockIndexOf(position);
            block_ = text_.blocks_[index_].get();
        }
        return block_->characters[position - block_->start];
    }
    // Width and length in units of the character at `position`.
    int width(int position, int* units) {
        const wchar_t c = at(position);
        if (isHighSurrogate(c) && isLowSurrogate(at(position + 1))) {
            *units = 2;
            return text_.measure_.pairWidth(c, at(position + 1));
        }
        *units = 1;
        return text_.measure_.unitWidth(c);
    }

  private:
    const EditText& text_;
    const TextBlock* block_ = nullptr;
    int index_ = 0;
};

EditText::EditText(CharMeasure& measure) : measure_(measure) {
    blocks_.push_back(std::make_unique<TextBlock>());
    relayout();
}

EditText::~EditText() = default;

void EditText::setWrapWidth(int width) {
    if (width == wrapWidth_)
        return;
    wrapWidth_ = width;
    relayout();
}

void EditText::relayout() {
    std::vector<Line> discarded;
    detachLines(0, blockCount() - 1, discarded);
    layoutFrom(0, 0, blockCount() - 1, {}, {});
}

void EditText::debugCut(const wchar_t* what, int asked, int stored) const {
    wchar_t line[160];
    swprintf(line, 160, L"Edit: %ls of %d units cut to %d (the block index is full)\n", what, asked, stored);
    OutputDebugStringW(line);
}

// Never ends a cut text between the halves of a surrogate pair.
static int cutAtCharacter(const wchar_t* text, int length, int limit) {
    if (length <= limit)
        return length;
    int n = std::max(0, limit);
    if (n > 0 && isHighSurrogate(text[n - 1]) && isLowSurrogate(text[n]))
        --n;
    return n;
}

int EditText::assign(const wchar_t* text, int length) {
    if (!text || length < 0)
        length = 0;
    const int n = cutAtCharacter(text, length, kMaxLength);
    if (n < length)
        debugCut(L"text", length, n);
    blocks_.clear();
    for (int q = 0; q < n || blocks_.empty(); q += kBlockCut) {
        auto block = std::make_unique<TextBlock>();
        block->count = std::min(kBlockCut, n - q);
        if (block->count > 0)
            std::memcpy(block->characters, text + q, sizeof(wchar_t) * block->count);
        blocks_.push_back(std::move(block));
    }
    restartStarts(0);
    layoutFrom(0, 0, blockCount() - 1, {}, {});
    return n;
}

int EditText::roomAt(int blockIndex) const {
    // The block may become as many blocks as the index has free slots plus its own.
    const int slots = kMaxBlocks - (blockCount() - 1);
    const int most = std::max(kBlockCapacity, kBlockCut * slots + kSplitSlack);
    return most - blocks_[blockIndex]->count;
}

int EditText::insert(int position, const wchar_t* text, int length) {
    if (!text || length <= 0)
        return 0;
    const int p = std::clamp(position, 0, length_);
    const int at = blockIndexOf(p);
    const int n = cutAtCharacter(text, length, roomAt(at));
    if (n < length)
        debugCut(L"insertion", length, n);
    if (n <= 0)
        return 0;

    // Lines are laid out again from the one before the line holding p.
    const int from = line(std::max(0, lineAt(p) - 1)).start;
    const int first = std::min(blockIndexOf(from), at);
    int last = at;
    std::vector<Line> old;
    detachLines(first, last, old);

    TextBlock& block = *blocks_[at];
    const int offset = p - block.start;
    const int combined = block.count + n;
    if (combined <= kBlockCapacity) {
        std::memmove(block.characters + offset + n, block.characters + offset,
                     sizeof(wchar_t) * (block.count - offset));
        std::memcpy(block.characters + offset, text, sizeof(wchar_t) * n);
        block.count = combined;
    } else {
        // Redistribute the block and the insertion over m blocks of nearly equal size; the remainder
        // is spread one unit each over the first blocks, so no block exceeds its capacity.
        std::wstring joined;
        joined.reserve(combined);
        joined.append(block.characters, offset);
        joined.append(text, n);
        joined.append(block.characters + offset, block.count - offset);
        const int m = combined / kBlockCut + (combined % kBlockCut > kSplitSlack ? 1 : 0);
        const int each = combined / m;
        const int remainder = combined % m;
        std::vector<BlockPtr> parts;
        int q = 0;
        for (int i = 0; i < m; ++i) {
            auto part = std::make_unique<TextBlock>();
            part->count = each + (i < remainder ? 1 : 0);
            std::memcpy(part->characters, joined.data() + q, sizeof(wchar_t) * part->count);
            q += part->count;
            parts.push_back(std::move(part));
        }
        blocks_.erase(blocks_.begin() + at);
        blocks_.insert(blocks_.begin() + at, std::make_move_iterator(parts.begin()),
                       std::make_move_iterator(parts.end()));
        last = at + m - 1;
    }
    restartStarts(first);

    std::vector<Line> kept, later;
    for (Line l : old) {
        if (l.start < from) {
            kept.push_back(l);
        } else if (l.start >= p) {  // the text from here on is unchanged, n units further on
            l.start += n;
            l.end += n;
            later.push_back(l);
        }
    }
    layoutFrom(from, first, last, std::move(kept), std::move(later));
    return n;
}

void EditText::erase(int from, int to) {
    const int a = std::clamp(from, 0, length_);
    const int b = std::clamp(to, 0, length_);
    if (a >= b)
        return;
    const int start = line(std::max(0, lineAt(a) - 1)).start;
    const int i0 = blockIndexOf(a);
    const int i1 = blockIndexOf(b - 1);
    // The neighbours take part so that they can merge with what is left.
    const int first = std::min(blockIndexOf(start), std::max(0, i0 - 1));
    int last = std::min(blockCount() - 1, i1 + 1);
    std::vector<Line> old;
    detachLines(first, last, old);

    if (i0 == i1) {
        TextBlock& block = *blocks_[i0];
        const int offset = a - block.start;
        std::memmove(block.characters + offset, block.characters + offset + (b - a),
                     sizeof(wchar_t) * (block.count - offset - (b - a)));
        block.count -= b - a;
    } else {
        TextBlock& head = *blocks_[i0];
        head.count = a - head.start;
        TextBlock& tail = *blocks_[i1];
        const int cut = b - tail.start;
        std::memmove(tail.characters, tail.characters + cut, sizeof(wchar_t) * (tail.count - cut));
        tail.count -= cut;
        blocks_.erase(blocks_.begin() + i0 + 1, blocks_.begin() + i1);
        last -= i1 - i0 - 1;
    }
    // Drop empty blocks, then merge neighbours while they fit into one block of kMergeLimit.
    for (int i = first; i <= last && i < blockCount();) {
        if (blocks_[i]->count == 0 && blockCount() > 1) {
            blocks_.erase(blocks_.begin() + i);
            --last;
        } else {
            ++i;
        }
    }
    for (int i = first; i < last;) {
        TextBlock& left = *blocks_[i];
        const TextBlock& right = *blocks_[i + 1];
        if (left.count + right.count <= kMergeLimit) {
            std::memcpy(left.characters + left.count, right.characters, sizeof(wchar_t) * right.count);
            left.count += right.count;
            blocks_.erase(blocks_.begin() + i + 1);
            --last;
        } else {
            ++i;
        }
    }
    const int firstBlock = std::min(first, blockCount() - 1);
    restartStarts(firstBlock);

    std::vector<Line> kept, later;
    for (Line l : old) {
        if (l.start < start) {
            kept.push_back(l);
        } else if (l.start >= b) {
            l.start -= b - a;
            l.end -= b - a;
            later.push_back(l);
        }
    }
    layoutFrom(start, firstBlock, last, std::move(kept), std::move(later));
}

void EditText::layoutFrom(int from, int firstBlock, int lastDetached, std::vector<Line> kept,
                          std::vector<Line> old) {
    if (lastDetached < firstBlock) {  // every detached block was dropped: take the next one
        detachLines(firstBlock, firstBlock, old);
        lastDetached = firstBlock;
    }
    const int linesBefore = lineCount_;
    const int keptCount = static_cast<int>(kept.size());
    std::vector<Line> lines = std::move(kept);
    std::size_t next = 0;  // first line of `old` not yet passed
    int position = from;
    bool reachedEnd = false;
    int relaid = -1;  // lines laid out anew; -1: all up to the end
    for (;;) {
        if (position >= length_) {
            reachedEnd = true;
            break;
        }
        for (;;) {
            while (next < old.size() && old[next].start < position) ++next;
            if (next < old.size() || lastDetached + 1 >= blockCount())
                break;
            ++lastDetached;
            detachLines(lastDetached, lastDetached, old);
        }
        if (next < old.size() && old[next].start == position) {
            // A line starts where an old one started, over the same text: the rest is as it was.
            relaid = static_cast<int>(lines.size()) - keptCount;
            lines.insert(lines.end(), old.begin() + static_cast<std::ptrdiff_t>(next), old.end());
            break;
        }
        const Line l = layoutLine(position);
        lines.push_back(l);
        position = l.end + 1;
    }
    if (reachedEnd) {
        if (lastDetached + 1 < blockCount()) {
            std::vector<Line> passed;
            detachLines(lastDetached + 1, blockCount() - 1, passed);
            lastDetached = blockCount() - 1;
        }
        if (lines.empty() || lines.back().kind != kLineWrapped)
            lines.push_back(Line{0, kLineWrapped, length_, length_ - 1});
    }

    int b = firstBlock;
    for (const Line& l : lines) {
        while (b < lastDetached && l.start > blocks_[b]->end()) ++b;
        TextBlock& block = *blocks_[b];
        block.lines.push_back(LineRecord{l.kind, l.start - block.start, l.end - block.start});
    }
    renumber(firstBlock);

    change_.firstLine = blocks_[firstBlock]->firstLine + keptCount;
    change_.lastLine = relaid < 0 ? lineCount_ - 1 : change_.firstLine + relaid - 1;
    change_.linesMoved = lineCount_ != linesBefore;
}

void EditText::detachLines(int first, int last, std::vector<Line>& out) {
    for (int i = std::max(0, first); i <= last && i < blockCount(); ++i) {
        TextBlock& block = *blocks_[i];
        for (const LineRecord& r : block.lines)
            out.push_back(Line{0, r.kind, block.start + r.start, block.start + r.end});
        block.lines.clear();
    }
}

void EditText::restartStarts(int firstBlock) {
    int start = 0;
    if (firstBlock > 0) {
        const TextBlock& before = *blocks_[firstBlock - 1];
        start = before.start + before.count;
    }
    for (int i = std::max(0, firstBlock); i < blockCount(); ++i) {
        blocks_[i]->start = start;
        start += blocks_[i]->count;
    }
    length_ = start;
}

void EditText::renumber(int firstBlock) {
    int number = 0;
    if (firstBlock > 0) {
        const TextBlock& before = *blocks_[firstBlock - 1];
        number = before.firstLine + static_cast<int>(before.lines.size());
    }
    for (int i = std::max(0, firstBlock); i < blockCount(); ++i) {
        blocks_[i]->firstLine = number;
        number += static_cast<int>(blocks_[i]->lines.size());
    }
    lineCount_ = number;
}

int EditText::blockIndexOf(int position) const {
    auto it = std::upper_bound(blocks_.begin(), blocks_.end(), position,
                               [](int p, const BlockPtr& block) { return p < block->start; });
    const int index = static_cast<int>(it - blocks_.begin()) - 1;
    return std::clamp(index, 0, blockCount() - 1);
}

int EditText::blockLength(int index) const {
    return index >= 0 && index < blockCount() ? blocks_[index]->count : 0;
}

wchar_t EditText::at(int position) const {
    if (position < 0 || position >= length_)
        return 0;
    const TextBlock& block = *blocks_[blockIndexOf(position)];
    return block.characters[position - block.start];
}

std::wstring EditText::substring(int from, int to) const {
    const int a = std::clamp(from, 0, length_);
    const int b = std::clamp(to, 0, length_);
    std::wstring out;
    if (a >= b)
        return out;
    out.reserve(b - a);
    for (int i = blockIndexOf(a); i < blockCount() && blocks_[i]->start < b; ++i) {
        const TextBlock& block = *blocks_[i];
        const int s = std::max(a, block.start);
        const int e = std::min(b, block.start + block.count);
        out.append(block.characters + (s - block.start), e - s);
    }
    return out;
}

std::wstring EditText::text() const {
    return substring(0, length_);
}

Line EditText::layoutLine(int start) const {
    Cursor cursor(*this);
    Line l;
    l.start = start;
    int x = 0;
    int p = start;
    while (p < length_) {
        const wchar_t c = cursor.at(p);
        if (c == L'\n') {
            l.kind = kLineFeed;
            l.end = p;
            return l;
        }
        if (c == L'\r') {  // ends the line together with the unit after it
            l.kind = kLineCarriageReturn;
            l.end = p + 1 < length_ ? p + 1 : p;
            return l;
        }
        int units = 1;
        const int w = cursor.width(p, &units);
        if (p > start && x + w > wrapWidth_) {
            l.kind = kLineWrapped;
            l.end = p - 1;
            return l;
        }
        x += w;
        p += units;
    }
    l.kind = kLineWrapped;
    l.end = length_ - 1;
    return l;
}

Line EditText::line(int number) const {
    const int n = std::clamp(number, 0, std::max(0, lineCount_ - 1));
    auto it = std::upper_bound(blocks_.begin(), blocks_.end(), n,
                               [](int value, const BlockPtr& block) { return value < block->firstLine; });
    const int index = std::clamp(static_cast<int>(it - blocks_.begin()) - 1, 0, blockCount() - 1);
    const TextBlock& block = *blocks_[index];
    const int i = n - block.firstLine;
    if (i < 0 || i >= static_cast<int>(block.lines.size()))
        return Line{};
    const LineRecord& r = block.lines[i];
    return Line{n, r.kind, block.start + r.start, block.start + r.end};
}

int EditText::lineAt(int position) const {
    const int p = std::clamp(position, 0, length_);
    for (int i = blockIndexOf(p); i >= 0; --i) {
        const TextBlock& block = *blocks_[i];
        if (block.lines.empty())
            continue;
        auto it = std::upper_bound(block.lines.begin(), block.lines.end(), p - block.start,
                                   [](int rel, const LineRecord& r) { return rel < r.start; });
        if (it != block.lines.begin())
            return block.firstLine + static_cast<int>(it - block.lines.begin()) - 1;
    }
    return 0;
}

int EditText::charWidth(int position, int* units) const {
    Cursor cursor(*this);
    return cursor.width(position, units);
}

int EditText::xOffset(const Line& line, int position) const {
    const int target = std::clamp(position, line.start, std::max(line.start, line.end + 1));
    Cursor cursor(*this);
    int x = 0;
    for (int p = line.start; p < target;) {
        int units = 1;
        const int w = cursor.width(p, &units);
        if (p + units > target)
            break;
        x += w;
        p += units;
    }
    return x;
}

int EditText::positionAtX(int lineNumber, int x) const {
    const Line l = line(lineNumber);
    int limit = l.end + 1;
    if (l.kind == kLineFeed) {
        limit = l.end;
    } else if (l.kind == kLineCarriageReturn) {
        limit = l.end - 1 >= l.start && at(l.end - 1) == L'\r' ? l.end - 1 : l.end;
    } else if (l.number < lineCount_ - 1 && l.end >= l.start) {
        limit = std::max(l.start, stepBack(l.end + 1));
    }
    Cursor cursor(*this);
    int sum = 0;
    int p = l.start;
    while (p < limit) {
        int units = 1;
        const int w = cursor.width(p, &units);
        if (2 * x <= 2 * sum + w)  // not past the middle of this character
            return p;
        sum += w;
        p += units;
    }
    return std::min(p, limit);
}

int EditText::stepBack(int position) const {
    const int p = std::clamp(position, 0, length_);
    if (p <= 0)
        return 0;
    if (p >= 2 && (at(p - 2) == L'\r' || (isLowSurrogate(at(p - 1)) && isHighSurrogate(at(p - 2)))))
        return p - 2;
    return p - 1;
}

int EditText::stepForward(int position) const {
    const int p = std::clamp(position, 0, length_);
    if (p >= length_)
        return length_;
    const wchar_t c = at(p);
    if (c == L'\r' || (isHighSurrogate(c) && isLowSurrogate(at(p + 1))))
        return std::min(p + 2, length_);
    return p + 1;
}

int EditText::characterStart(int position) const {
    const int p = std::clamp(position, 0, length_);
    if (p <= 0 || p >= length_)
        return p;
    const wchar_t before = at(p - 1);
    const wchar_t after = at(p);
    const bool inside =
        (before == L'\r' && after == L'\n') || (isHighSurrogate(before) && isLowSurrogate(after));
    return inside ? p - 1 : p;
}

std::string EditText::checkConsistency() const {
    char message[200];
    auto fail = [&](const char* what, long long a, long long b) {
        std::snprintf(message, sizeof message, "%s (%lld, %lld)", what, a, b);
        return std::string(message);
    };
    if (blocks_.empty() || blockCount() > kMaxBlocks)
        return fail("block count", blockCount(), kMaxBlocks);
    int start = 0, number = 0;
    std::vector<Line> lines;
    for (int i = 0; i < blockCount(); ++i) {
        const TextBlock& block = *blocks_[i];
        if (block.start != start)
            return fail("block start", i, block.start);
        if (block.count < 0 || block.count > kBlockCapacity || (block.count == 0 && blockCount() > 1))
            return fail("block size", i, block.count);
        if (block.firstLine != number)
            return fail("block first line", i, block.firstLine);
        for (const LineRecord& r : block.lines) {
            const bool trailing = block.start + r.start == length_ && i == blockCount() - 1;
            if (r.start < 0 || (r.start >= block.count && !trailing))
                return fail("line outside its block", i, r.start);
            lines.push_back(Line{number++, r.kind, block.start + r.start, block.start + r.end});
        }
        start += block.count;
    }
    if (start != length_)
        return fail("length", start, length_);
    if (number != lineCount_)
        return fail("line count", number, lineCount_);
    // A fresh layout of the whole text must give the same lines.
    int p = 0;
    std::size_t k = 0;
    for (; p < length_; ++k) {
        const Line l = layoutLine(p);
        if (k >= lines.size())
            return fail("missing line", static_cast<long long>(k), p);
        if (lines[k].start != l.start || lines[k].end != l.end || lines[k].kind != l.kind)
            return fail("line differs from a fresh layout", static_cast<long long>(k), lines[k].start);
        p = l.end + 1;
    }
    if (k == 0 || lines[k - 1].kind != kLineWrapped) {
        if (k >= lines.size() || lines[k].start != length_ || lines[k].end != length_ - 1)
            return fail("trailing empty line", static_cast<long long>(k), length_);
        ++k;
    }
    if (k != lines.size())
        return fail("extra lines", static_cast<long long>(lines.size()), static_cast<long long>(k));
    return std::string();
}

}  // namespace textinput
