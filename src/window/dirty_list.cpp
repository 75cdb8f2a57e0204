#include "window/dirty_list.h"

#include <algorithm>

namespace {
bool contains(const RECT& outer, const RECT& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
}
}  // namespace

bool DirtyList::absorb(const RECT& r) {
    if (r.left >= r.right || r.top >= r.bottom)
        return true;
    for (int i = 0; i < count_; ++i) {
        if (contains(rects_[i], r))
            return true;
    }
    // Drop what r covers; the last entry moves into the hole and is looked at next.
    for (int i = 0; i < count_;) {
        if (contains(r, rects_[i]))
            rects_[i] = rects_[--count_];
        else
            ++i;
    }
    for (int i = 0; i < count_; ++i) {
        RECT& e = rects_[i];
        if (e.left == r.left && e.right == r.right && r.bottom >= e.top && e.bottom >= r.top) {
            e.top = std::min(e.top, r.top);
            e.bottom = std::max(e.bottom, r.bottom);
            return true;
        }
        if (e.top == r.top && e.bottom == r.bottom && r.right >= e.left && e.right >= r.left) {
            e.left = std::min(e.left, r.left);
            e.right = std::max(e.right, r.right);
            return true;
        }
    }
    return false;
}

void DirtyList::append(const RECT& r) {
    if (count_ < kCapacity)
        rects_[count_++] = r;
}

void DirtyList::mergeAll() {
    for (int i = 1; i < count_; ++i) UnionRect(&rects_[0], &rects_[0], &rects_[i]);
    count_ = std::min(count_, 1);
}
