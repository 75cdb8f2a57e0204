// The concrete controls as a screen reader and acctool see them: roles, names, values and states, and
// default actions that do what a press does (a list item chosen, a combo box's drop-down opened and an
// entry chosen in it from the other process).
#include <oleacc.h>

#include <string>
#include <vector>

#include "access_fixture.h"
#include "controls/combobox.h"
#include "controls/controls.h"
#include "controls/listbox.h"
#include "host/ui_context.h"

using namespace accesstest;
using namespace testsupport;
using windowtest::kDeadline;

namespace {

class ControlsAccessibility : public AccessTest {
  protected:
    void SetUp() override {
        AccessTest::SetUp();
        static const bool registered = [] {
            registerControlCreators(*uiContext()->controlCreators);
            return true;
        }();
        (void)registered;
    }
};

TEST_F(ControlsAccessibility, AListShowsItsItemsAndItsBarAndChoosesAnItemAsAPressDoes) {
    WindowImpl* w = openLayout(L"controls.xml");
    ASSERT_NE(w, nullptr);
    auto* listBox = static_cast<ListBox*>(byId(w, 20));
    std::vector<Line> lines = list();
    const Line listLine = byLayoutId(lines, "20");
    EXPECT_EQ(listLine.role, "list");
    EXPECT_EQ(listLine.name, "水果");
    EXPECT_TRUE(listLine.has("focusable"));
    std::vector<std::string> items;
    for (const Line& l : lines) {
        if (l.role == "listitem" && l.depth == listLine.depth + 1 && l.has("selectable"))
            items.push_back(l.name + "/" + l.action);
    }
    EXPECT_EQ(items, (std::vector<std::string>{"苹果/Select", "香蕉/Select", "樱桃/Select", "葡萄/Select"}));
    size_t last = 0;
    while (last < lines.size() && lines[last].id != "24") ++last;
    ASSERT_LT(last + 1, lines.size());
    EXPECT_EQ(lines[last + 1].role, "scrollbar") << "the items come first, then the bar";
    EXPECT_EQ(lines[last + 1].depth, listLine.depth + 1);
    EXPECT_EQ(lines[last + 1].value, "0");

    // A real press on the second item...
    click(centreOf(w, byId(w, 22)));
    ASSERT_TRUE(happened("20 Notify"));
    EXPECT_EQ(happenings, (std::vector<std::string>{"20 GotFocus", "22 ValueChange", "20 Notify"}));
    // ...and the third one's default action: chosen, and scrolled into view by whole items.
    happenings.clear();
    EXPECT_EQ(runAcctool(L"do " + args + L" --name 樱桃").exitCode, 0);
    ASSERT_TRUE(happened("20 Notify"));
    EXPECT_EQ(happenings, (std::vector<std::string>{"22 ValueChange", "23 ValueChange", "20 Notify"}));
    EXPECT_EQ(listBox->selectedItem(), byId(w, 23));
    EXPECT_EQ(w->focusedControl(), listBox);
    lines = list();
    EXPECT_TRUE(byLayoutId(lines, "23").has("selected"));
    EXPECT_FALSE(byLayoutId(lines, "22").has("selected"));
    for (const Line& l : lines) {
        if (l.role == "scrollbar") {
            EXPECT_EQ(l.value, "24");
        }
    }
}

TEST_F(ControlsAccessibility, AComboBoxOpensItsDropDownAndAnEntryIsChosenThereFromOutside) {
    WindowImpl* w = openLayout(L"controls.xml");
    ASSERT_NE(w, nullptr);
    const Line combo = byLayoutId(list(), "30");
    EXPECT_EQ(combo.role, "combobox");
    EXPECT_EQ(combo.name, "语言") << "the tooltip names it; the text is its value";
    EXPECT_EQ(combo.value, "中文");
    EXPECT_TRUE(combo.has("haspopup"));
    EXPECT_TRUE(combo.has("collapsed"));
    EXPECT_EQ(combo.action, "Open");

    // The drop-down is a window of its own (no title) with a tree of its own: a second tool waits for
    // its entry to show and chooses it while the drop-down's loop runs.
    RunningTool chooser(
        L"do --class WINDOW:234:000 --title \"\" --name English --state !invisible --timeout 15000");
    EXPECT_EQ(runAcctool(L"do " + args + L" --id 30").exitCode, 0);
    ASSERT_TRUE(happened("30 ValueChange"));
    EXPECT_EQ(chooser.finish(), 0);
    EXPECT_STREQ(byId(w, 30)->getText(attr::text), L"English");
    auto* popup = static_cast<ComboBox*>(byId(w, 30))->dropDown();
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(pumpUntil([&] { return !popup->isOpen() && !IsWindowVisible(popup->handle()); }, kDeadline));
    const Line after = byLayoutId(list(), "30");
    EXPECT_EQ(after.value, "English");
    EXPECT_TRUE(after.has("collapsed"));
}

}  // namespace
