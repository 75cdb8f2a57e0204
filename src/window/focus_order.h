// The keyboard's view of a control tree: the order in which Tab visits controls, and the buttons that
// Enter and Escape press. Pure functions of the tree's flags and attributes; UI thread only.
#pragma once

#include <vector>

class Control;

namespace focus {

// Whether the control and every ancestor are visible and not collapsed.
bool shown(const Control* control);

// The controls Tab visits, in order: tab stops (Control::isTabStop, or "tabStop" when set) that are
// enabled and shown, sorted by "tabIndex" (default 0; equal indexes keep the layout order). A list's
// items are not visited, only the list; a tab's page is visited after the tab.
std::vector<Control*> order(Control* root);

// The control after (or before) `from` in the order, wrapping around; the first (or last) when `from`
// is null or not in the order; null when the order is empty.
Control* next(Control* root, const Control* from, bool backward);

// The first shown control with "default" (or "cancel") set to 1, in layout order; null when there is
// none or that control is disabled (a disabled default button takes no Enter).
Control* defaultButton(Control* root);
Control* cancelButton(Control* root);

}  // namespace focus
