// The dirty rectangles of a layered window between two pushes to the screen: at most 20, kept free of
// rectangles that another contains, with neighbours of the same width (height) that touch or overlap
// vertically (horizontally) merged. Plain data, no window involved.
#pragma once

#include <windows.h>

class DirtyList {
  public:
    static constexpr int kCapacity = 20;

    // Takes `area` in without growing the list when it can: contained in an existing rectangle, or
    // merged into a neighbour (rectangles it contains are dropped on the way). False when it still has
    // to be appended; an empty rectangle counts as taken in.
    bool absorb(const RECT& area);
    // Appends after absorb answered false; the caller flushes a full list first.
    void append(const RECT& area);
    void clear() { count_ = 0; }
    // Replaces the rectangles by the one that bounds them all.
    void mergeAll();

    bool full() const { return count_ == kCapacity; }
    bool empty() const { return count_ == 0; }
    int size() const { return count_; }
    const RECT& operator[](int i) const { return rects_[i]; }
    const RECT* begin() const { return rects_; }
    const RECT* end() const { return rects_ + count_; }

  private:
    RECT rects_[kCapacity];
    int count_ = 0;
};
