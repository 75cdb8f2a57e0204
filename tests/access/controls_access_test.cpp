// The concrete controls as a screen reader and acctool see them: roles, names, values and states, and
// default actions that do what a press does (buttons, check boxes, radio buttons, links and tabs, a list
// item chosen, a combo box's drop-down opened and an entry chosen in it from the other process).
#include <oleacc.h>

#include <algorithm>
#include <string>
#include <vector>

#include "access_fixture.h"
#include "controls/combobox.h"
#include "controls/controls.h"
#include "controls/listbox.h"
#include "controls/progress_bar.h"
#include "controls/slider.h"
#include "host/handles.h"
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

TEST_F(ControlsAccessibility, AComboBoxWithoutEntriesHasNoActionAndRefusesOne) {
    WindowImpl* w = openLayout(L"controls.xml");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(byLayoutId(list(), "33").action, "");
    EXPECT_EQ(runAcctool(L"do " + args + L" --id 33").exitCode, 4) << "a press that opens nothing";
}

TEST_F(ControlsAccessibility, EachControlTellsItsRoleNameValueAndAction) {
    WindowImpl* w = openLayout(L"gallery.xml");
    ASSERT_NE(w, nullptr);
    const std::vector<Line> lines = list();
    auto expect = [&](const char* id, const char* role, const char* name, const char* action) {
        const Line l = byLayoutId(lines, id);
        EXPECT_EQ(l.role, role) << "id " << id;
        EXPECT_EQ(l.name, name) << "id " << id;
        EXPECT_EQ(l.action, action) << "id " << id;
        return l;
    };
    expect("40", "titlebar", "安装向导", "");
    expect("41", "pushbutton", "安装", "Press");
    expect("42", "checkbutton", "我同意", "Check");
    expect("43", "radiobutton", "典型安装", "Check");
    expect("44", "statictext", "安装位置", "");
    EXPECT_TRUE(expect("45", "link", "许可协议", "Jump").has("linked"));
    expect("46", "graphic", "标志", "");
    expect("47", "separator", "", "");
    EXPECT_EQ(expect("48", "slider", "音量", "").value, "50");
    EXPECT_EQ(expect("49", "progressbar", "进度", "").value, "0%");
    const Line edit = expect("50", "text", "说明", "");
    EXPECT_EQ(edit.value, "第一行");
    EXPECT_TRUE(edit.has("focusable"));
    EXPECT_EQ(expect("51", "text", "路径", "").value, "C:\\Program Files\\Tarvo");
    expect("52", "pagetablist", "", "");
    EXPECT_TRUE(expect("53", "pagetab", "常规", "Switch").has("selected"));
    const Line second = expect("54", "pagetab", "高级", "Switch");
    EXPECT_TRUE(second.has("selectable"));
    EXPECT_FALSE(second.has("selected"));
    EXPECT_FALSE(second.has("checked"));

    // The selected tab holds its page; the other tab's page is not in the tree.
    std::vector<std::string> tabs;
    for (const Line& l : lines) {
        if (l.id >= "52" && l.id <= "58")
            tabs.push_back(l.id + "@" + std::to_string(l.depth));
    }
    EXPECT_EQ(tabs, (std::vector<std::string>{"52@1", "53@2", "55@3", "56@4", "54@2"}));
}

TEST_F(ControlsAccessibility, ButtonsChecksLinksAndTabsActAsAPressOnThemDoes) {
    WindowImpl* w = openLayout(L"gallery.xml");
    ASSERT_NE(w, nullptr);
    // Presses as the containers see them (a link spends its press before anyone else sees it bubble).
    static std::vector<std::string>* presses = nullptr;
    std::vector<std::string> seen;
    presses = &seen;
    w->root()->addDelegate(event::PrevLButtonDown, nullptr, [](void*, Control* target, EventRecord&) {
        if (presses)
            presses->push_back(std::to_string(target->getInt(attr::id, 0)));
    });

    click(centreOf(w, byId(w, 42)));
    ASSERT_TRUE(happened("42 Click"));
    const std::vector<std::string> checkByMouse = happenings;
    happenings.clear();
    EXPECT_EQ(runAcctool(L"do " + args + L" --id 42").exitCode, 0);
    ASSERT_TRUE(happened("42 Click"));
    EXPECT_EQ(happenings, checkByMouse);
    EXPECT_EQ(checkByMouse, (std::vector<std::string>{"42 ValueChange", "42 Click"}));
    EXPECT_FALSE(byId(w, 42)->hasFlag(flag::checked)) << "checked by the mouse, unchecked by the action";

    happenings.clear();
    EXPECT_EQ(runAcctool(L"do " + args + L" --role radiobutton").exitCode, 0);
    ASSERT_TRUE(happened("43 Click"));
    EXPECT_TRUE(byId(w, 43)->hasFlag(flag::checked));
    EXPECT_EQ(runAcctool(L"do " + args + L" --name 安装").exitCode, 0);
    EXPECT_TRUE(happened("41 Click"));

    // The link acts on the press: its action raises the click's events, as a click does.
    seen.clear();
    click(centreOf(w, byId(w, 45)));
    ASSERT_TRUE(pumpUntil([&] { return !seen.empty(); }, kDeadline));
    const std::vector<std::string> linkByMouse = seen;
    seen.clear();
    EXPECT_EQ(runAcctool(L"do " + args + L" --role link").exitCode, 0);
    ASSERT_TRUE(pumpUntil([&] { return !seen.empty(); }, kDeadline));
    EXPECT_EQ(seen, linkByMouse);
    EXPECT_EQ(seen, (std::vector<std::string>{"45"}));

    // A label that a script made clickable (it takes the mouse and handles the press) is clicked.
    Control* label = byId(w, 44);
    label->setFlag(flag::transparent, false);
    static int labelPresses = 0;
    labelPresses = 0;
    label->addDelegate(event::LButtonDown, nullptr, [](void*, Control*, EventRecord&) { ++labelPresses; });
    EXPECT_EQ(runAcctool(L"do " + args + L" --id 44").exitCode, 0);
    EXPECT_TRUE(pumpUntil([] { return labelPresses == 1; }, kDeadline));

    // A tab: selected, and its page takes the other page's place in the tree.
    happenings.clear();
    EXPECT_EQ(runAcctool(L"do " + args + L" --name 高级").exitCode, 0);
    ASSERT_TRUE(happened("52 ValueChange"));
    EXPECT_EQ(happenings, (std::vector<std::string>{"53 ValueChange", "52 ValueChange"}));
    const std::vector<Line> lines = list();
    EXPECT_TRUE(byLayoutId(lines, "54").has("selected"));
    EXPECT_EQ(byLayoutId(lines, "58").name, "乙");
    for (const Line& l : lines) EXPECT_NE(l.id, "56") << "the hidden page is not in the tree";
    presses = nullptr;
}

TEST_F(ControlsAccessibility, ValuesFollowTypingSlidingAndProgressAndAreToldAsValueChanges) {
    WindowImpl* w = openLayout(L"gallery.xml");
    ASSERT_NE(w, nullptr);
    static std::vector<LONG> changed;
    static HWND watched = nullptr;
    changed.clear();
    watched = w->handle();
    win::unique_hwineventhook hook(SetWinEventHook(
        EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
        [](HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD) {
            if (window == watched && object == OBJID_CLIENT)
                changed.push_back(child);
        },
        GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT));
    ASSERT_TRUE(hook);
    auto told = [&](Control* c) {
        return pumpUntil(
            [&] { return std::find(changed.begin(), changed.end(), c->accessibleId()) != changed.end(); },
            kDeadline);
    };

    auto* progress = static_cast<ProgressBar*>(byId(w, 49));
    progress->setRange(200);
    progress->setPosition(50);
    EXPECT_TRUE(told(progress));
    static_cast<Slider*>(byId(w, 48))->setValue(70);
    EXPECT_TRUE(told(byId(w, 48)));

    // Typing into the text box after asking for its focus from outside.
    ASSERT_TRUE(bringToFront(w->handle()));
    EXPECT_EQ(runAcctool(L"focus " + args + L" --id 51").exitCode, 0);
    ASSERT_TRUE(pumpUntil([&] { return w->focusedControl() == byId(w, 51); }, kDeadline));
    changed.clear();
    pressKey(VK_BACK);
    EXPECT_TRUE(told(byId(w, 51)));

    const std::vector<Line> lines = list();
    EXPECT_EQ(byLayoutId(lines, "49").value, "25%");
    EXPECT_EQ(byLayoutId(lines, "48").value, "70");
    EXPECT_EQ(byLayoutId(lines, "51").value, "C:\\Program Files\\Tarv");
    EXPECT_TRUE(byLayoutId(lines, "51").has("focused"));
    watched = nullptr;
}

}  // namespace
