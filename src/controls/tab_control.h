// Tabs: a TabControl shows a strip of TabItems and the page of the selected one; selecting another tab
// slides its page in. Each TabItem owns its page (the first child element in the layout); the page
// names the TabControl as its parent, is attached and laid out with it, but is not in its child list.
// UI thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "controls/button.h"
#include "dui/loader.h"
#include "dui/panels.h"

namespace duiFactory {
class ControlCreatorRegistry;
}

class TabItem;

// "tabHeight" is the strip's height (its width with "tabPlacement" left); "tabPlacement" is top (the
// default) or left, and any other value leaves the control unmeasured and unarranged.
class TabControl : public Panel {
  public:
    SIZE measure(SIZE available) override;
    // Selects the first tab when none is selected, then places the tabs along the strip and every
    // page in the page rectangle.
    SIZE arrange(SIZE finalSize) override;
    // The Style in the strip only, then the tabs, then the selected tab's page.
    void paint(HDC dc, const RECT& rect, const RECT& clip) override;
    // In the strip: the tabs, last to first, else this control. Elsewhere: the selected tab's page,
    // else this control.
    Control* hitTest(POINT point) override;

    // Nothing when `tab` is already selected. The previous tab loses its checked flag (ValueChange on
    // it), the new one gains it, ValueChange is raised here; with a previous selection and the tabs on
    // top, the new page slides in from the side of the new tab (about 100 ms, the thread blocked).
    void select(TabItem* tab);
    TabItem* selected() const { return selected_; }
    // In control coordinates, from the last arrange.
    const RECT& tabStrip() const { return strip_; }
    const RECT& pageRect() const { return page_; }

    // Called by a tab when it is attached: the page joins this control and its window.
    void showPage(Control* page);

    // A page tab list; a new selection is told as a reorder, since the shown page changes.
    int32_t accessibleRole() const override;

  private:
    int32_t placement() const;
    int32_t indexOf(const Control* tab) const;
    void slidePage(Control* page, bool fromRight);

    TabItem* selected_ = nullptr;  // a child, or null
    RECT strip_{0, 0, 0, 0};
    RECT page_{0, 0, 0, 0};
    int32_t tabSize_ = 0;
};

// A tab: a press selects it through its TabControl (the press is spent either way). Its checked flag
// marks the selected tab. Owns its page, which may be null (an empty page).
class TabItem : public Button, public PageOwner {
  public:
    // The button's flags without capture-on-press, plus bit 17.
    static constexpr uint32_t kInitialFlags = 0x20123;

    TabItem();
    ~TabItem() override;
    // Takes ownership; an earlier page is detached and destroyed.
    void setPage(Control* page) override;
    Control* page() const { return page_.get(); }

    // A page tab, selectable and selected by its checked flag (not checked), whose action "Switch" is a
    // click (its press selects the tab); the selected tab's page is its child.
    int32_t accessibleRole() const override;
    uint32_t accessibleState() const override;
    const wchar_t* defaultActionName() const override;
    bool doDefaultAction() override;
    void accessibleChildren(std::vector<Control*>* out) const override;

  private:
    // The page joins the TabControl this tab belongs to (nothing under any other parent).
    void joinTabControl();
    static void onPress(void* context, Control* sender, EventRecord& event);
    static void onAttached(void* context, Control* sender, EventRecord& event);
    static void onDetached(void* context, Control* sender, EventRecord& event);

    std::unique_ptr<Control> page_;
};

// "TabControl", "TabItem".
void registerTabCreators(duiFactory::ControlCreatorRegistry& registry);
