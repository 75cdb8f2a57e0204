// ListBox: a scroll panel whose content is a column of items. A press on an item selects it (the
// checked flag moves to it) and raises Notify on the list; Up and Down move the selection; the wheel
// and the bar move by whole items. The items are the child elements written inside the "ListBox"
// element of a layout, or whatever addItem is given. UI thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "controls/scroll.h"
#include "dui/loader.h"

namespace duiFactory {
class ControlCreatorRegistry;
}

// The column of a list's items. An item without its own "height" is as tall as the list's
// "itemHeight". Paint and hit tests visit only the items in reach, so their cost does not grow with the
// number of items.
class ListItemStack : public StackPanel {
  public:
    SIZE measure(SIZE available) override;
    SIZE arrange(SIZE finalSize) override;
    void paint(HDC dc, const RECT& rect, const RECT& clip) override;
    Control* hitTest(POINT point) override;

    // The item whose slot holds the stack-local y, or null.
    Control* itemAtY(int32_t y) const;
    // Position of an item in the column, -1 when it is not one.
    int32_t indexOf(const Control* item) const;

    // Accessibility: the children are the list's items, chosen by their default action.
    int32_t childAccessibleRole() const override;
    bool doChildDefaultAction(Control& child) override;

  private:
    bool indexed() const { return static_cast<int32_t>(items_.size()) == childCount(); }
    // First index whose slot ends below y.
    std::size_t firstEndingBelow(int32_t y) const;

    // Filled by arrange: the items in order and where each slot starts and ends.
    std::vector<Control*> items_;
    std::vector<int32_t> slotTops_;
    std::vector<int32_t> slotBottoms_;
};

class ListBox : public ScrollPanel, public ItemOwner {
  public:
    // Used when "itemHeight" is absent or not above 0.
    static constexpr int32_t kDefaultItemHeight = 24;

    ListBox();

    // Appends an item to the column (owned from now on).
    bool addItem(Control* item) override;
    ListItemStack* itemStack() const { return stack_; }
    int32_t itemCount() const { return stack_ ? stack_->childCount() : 0; }
    int32_t itemHeight() const;

    Control* selectedItem() const { return selected_; }
    // The selected item's "text", empty without a selection.
    const wchar_t* selectedText() const;
    // Moves the selection (and the checked flag) to `item`, one of this list's items, or clears it
    // with null; the item is scrolled into view. Raises nothing.
    void select(Control* item);
    // Scrolls the least distance, in whole items, that shows the item entirely.
    void makeVisible(const Control* item);
    // What a press on one of this list's items does: the list takes the focus, selects the item and
    // raises Notify with its index.
    void choose(Control* item);

    // Accessibility: a focusable list whose children are its items, then its bars.
    int32_t accessibleRole() const override;
    uint32_t accessibleState() const override;
    void accessibleChildren(std::vector<Control*>* out) const override;

  protected:
    int32_t requestedPosition(const ScrollBar& bar, int32_t request, int64_t value) const override;
    int32_t wheelStep() const override { return itemHeight(); }

  private:
    static void onPrevLButtonDown(void* self, Control*, EventRecord&);
    static void onLButtonDown(void* self, Control* sender, EventRecord&);
    static void onKeyDown(void* self, Control*, EventRecord& event);

    ListItemStack* stack_ = nullptr;  // the first child
    Control* selected_ = nullptr;     // one of the stack's items, or null
};

// Registers "ScrollPanel", "ListBox" and "ComboBox".
void registerListCreators(duiFactory::ControlCreatorRegistry& registry);
