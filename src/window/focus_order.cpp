#include "window/focus_order.h"

#include <algorithm>

#include "dui/control.h"

namespace focus {
namespace {

constexpr int kMaxDepth = 64;

bool selfShown(const Control* c) {
    return (c->flags() & (flag::visible | flag::collapsed)) == flag::visible;
}

bool isStop(const Control* c) {
    if (!c->hasFlag(flag::enabled))
        return false;
    if (const int32_t* stop = c->findInt(attr::tabStop))
        return *stop != 0;
    return c->isTabStop();
}

// Pre-order over the shown part of the tree, as assistive technology sees it (a selected tab holds its
// page); a control whose children are items is visited without its items.
void collect(Control* c, std::vector<Control*>* out, int depth) {
    if (depth > kMaxDepth || !selfShown(c))
        return;
    if (isStop(c))
        out->push_back(c);
    if (c->childAccessibleRole() != 0)
        return;
    std::vector<Control*> children;
    c->accessibleChildren(&children);
    for (Control* child : children) collect(child, out, depth + 1);
}

Control* findFlagged(Control* c, AttributeId id, int depth) {
    if (depth > kMaxDepth || !selfShown(c))
        return nullptr;
    if (const int32_t* on = c->findInt(id); on && *on == 1)
        return c;
    std::vector<Control*> children;
    c->accessibleChildren(&children);
    for (Control* child : children) {
        if (Control* found = findFlagged(child, id, depth + 1))
            return found;
    }
    return nullptr;
}

Control* enabledOrNull(Control* c) {
    return c && c->hasFlag(flag::enabled) ? c : nullptr;
}

}  // namespace

bool shown(const Control* control) {
    for (const Control* c = control; c; c = c->parent()) {
        if (!selfShown(c))
            return false;
    }
    return control != nullptr;
}

std::vector<Control*> order(Control* root) {
    std::vector<Control*> out;
    if (root && isLiveControl(root))
        collect(root, &out, 0);
    std::stable_sort(out.begin(), out.end(), [](const Control* a, const Control* b) {
        return a->getInt(attr::tabIndex, 0) < b->getInt(attr::tabIndex, 0);
    });
    return out;
}

Control* next(Control* root, const Control* from, bool backward) {
    const std::vector<Control*> stops = order(root);
    if (stops.empty())
        return nullptr;
    auto at = std::find(stops.begin(), stops.end(), from);
    if (at == stops.end())
        return backward ? stops.back() : stops.front();
    const size_t i = static_cast<size_t>(at - stops.begin());
    const size_t n = stops.size();
    return stops[backward ? (i + n - 1) % n : (i + 1) % n];
}

Control* defaultButton(Control* root) {
    return root && isLiveControl(root) ? enabledOrNull(findFlagged(root, attr::default_, 0)) : nullptr;
}

Control* cancelButton(Control* root) {
    return root && isLiveControl(root) ? enabledOrNull(findFlagged(root, attr::cancel, 0)) : nullptr;
}

}  // namespace focus
