// What a control tells assistive technology by default: role by type name and flags, name, state bits
// from its own flags and its ancestors', the button family's default action, child ids, and the
// WinEvents that flag, name and value changes send.
#include <gtest/gtest.h>

#include <oleacc.h>

#include <memory>
#include <string>
#include <vector>

#include "dui/control.h"
#include "dui/panels.h"
#include "host/handles.h"
#include "test_window.h"

namespace {

// A control answering a given type name, with the flags of its class.
class Typed : public Control {
  public:
    Typed(const wchar_t* type, uint32_t flags) : Control(flags), type_(type) {}
    const wchar_t* typeName() const override { return type_; }

  private:
    const wchar_t* type_;
};

// A control with a value, as text controls and progress bars have.
class Valued : public Control {
  public:
    bool accessibleValue(std::wstring* value) const override {
        *value = L"7";
        return true;
    }
};

struct Heard {
    DWORD event;
    LONG child;
    bool operator==(const Heard& o) const { return event == o.event && child == o.child; }
};
std::vector<Heard> heard;
HWND heardWindow = nullptr;

void CALLBACK onWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
    if (window == heardWindow && object == OBJID_CLIENT)
        heard.push_back(Heard{event, child});
}

// A column whose children are list items; choosing one is recorded.
class ItemColumn : public Panel {
  public:
    int32_t childAccessibleRole() const override { return ROLE_SYSTEM_LISTITEM; }
    bool doChildDefaultAction(Control& child) override {
        chosen = &child;
        return true;
    }
    Control* chosen = nullptr;
};

int clicks = 0;
void countClick(void*, Control*, EventRecord&) {
    ++clicks;
}

}  // namespace

TEST(AccessibleDefaults, RolesFollowTheTypeNameAndTheFlags) {
    EXPECT_EQ(Control().accessibleRole(), ROLE_SYSTEM_GRAPHIC) << "a control that only shows its style";
    Control text;
    text.setText(attr::text, L"说明");
    EXPECT_EQ(text.accessibleRole(), ROLE_SYSTEM_STATICTEXT);
    EXPECT_EQ(Panel().accessibleRole(), ROLE_SYSTEM_GROUPING);
    EXPECT_EQ(Typed(L"Button", 0x163).accessibleRole(), ROLE_SYSTEM_PUSHBUTTON);
    EXPECT_EQ(Typed(L"Edit", 0xE3).accessibleRole(), ROLE_SYSTEM_TEXT);
    EXPECT_EQ(Typed(L"TextBox", 0x8E3).accessibleRole(), ROLE_SYSTEM_TEXT);
    EXPECT_EQ(Typed(L"ProgressBar", 0x403).accessibleRole(), ROLE_SYSTEM_PROGRESSBAR);
    EXPECT_EQ(Typed(L"Image", 0x403).accessibleRole(), ROLE_SYSTEM_GRAPHIC);
    EXPECT_EQ(Typed(L"PowerPoint", 0x3).accessibleRole(), ROLE_SYSTEM_ANIMATION);
    EXPECT_EQ(Typed(L"Panel", 0x2003).accessibleRole(), ROLE_SYSTEM_GROUPING);
}

TEST(AccessibleDefaults, TheNameIsTheTextElseTheTooltip) {
    Control c;
    EXPECT_EQ(c.accessibleName(), L"");
    c.setText(attr::tooltip, L"提示");
    EXPECT_EQ(c.accessibleName(), L"提示");
    c.setText(attr::text, L"安装");
    EXPECT_EQ(c.accessibleName(), L"安装");
    c.setText(attr::text, L"");
    EXPECT_EQ(c.accessibleName(), L"提示") << "an empty text does not name";
    std::wstring value;
    EXPECT_FALSE(c.accessibleValue(&value));
}

TEST(AccessibleDefaults, StatesComeFromTheFlagsAndHiddenAncestors) {
    TestWindow window;
    auto* root = new Panel;
    std::unique_ptr<Panel> owner(root);
    auto* group = new Panel;
    auto* button = new Typed(L"Button", 0x163);
    auto* edit = new Typed(L"Edit", 0xE3);
    auto* plain = new Control;
    root->addChild(group);
    group->addChild(button);
    group->addChild(edit);
    root->addChild(plain);
    root->attach(&window);

    // Both take the keyboard focus: the edit from a press too, the button from Tab only.
    EXPECT_EQ(button->accessibleState(), static_cast<uint32_t>(STATE_SYSTEM_FOCUSABLE));
    EXPECT_EQ(edit->accessibleState(), static_cast<uint32_t>(STATE_SYSTEM_FOCUSABLE));
    EXPECT_EQ(plain->accessibleState(), 0u);
    button->setFlag(flag::hover, true);
    button->setFlag(flag::pressed, true);
    button->setChecked(true);
    EXPECT_EQ(button->accessibleState(),
              static_cast<uint32_t>(STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_HOTTRACKED | STATE_SYSTEM_PRESSED |
                                    STATE_SYSTEM_CHECKED));
    plain->setFlag(flag::checked, true);
    EXPECT_EQ(plain->accessibleState(), 0u) << "the checked flag means checked for the button family only";
    button->setEnabled(false);
    EXPECT_TRUE(button->accessibleState() & STATE_SYSTEM_UNAVAILABLE);
    group->setVisible(false);
    EXPECT_TRUE(edit->accessibleState() & STATE_SYSTEM_INVISIBLE) << "its panel is hidden";
    EXPECT_FALSE(plain->accessibleState() & STATE_SYSTEM_INVISIBLE);
    group->setVisible(true);
    group->setFlag(flag::collapsed, true);
    EXPECT_TRUE(edit->accessibleState() & STATE_SYSTEM_INVISIBLE) << "collapsed counts as hidden";

    // Focused only while the window has the keyboard focus.
    edit->setFlag(flag::focused, true);
    SetFocus(nullptr);
    EXPECT_FALSE(edit->accessibleState() & STATE_SYSTEM_FOCUSED);
    root->detach();
}

TEST(AccessibleDefaults, TheButtonFamilysActionPostsClickAndOthersHaveNone) {
    TestWindow window;
    std::unique_ptr<Panel> root(new Panel);
    auto* button = new Typed(L"Button", 0x163);
    auto* label = new Control(0x403);
    root->addChild(button);
    root->addChild(label);
    root->attach(&window);
    button->addDelegate(event::Click, nullptr, countClick);
    clicks = 0;

    EXPECT_STREQ(button->defaultActionName(), L"Press");
    EXPECT_TRUE(button->doDefaultAction());
    EXPECT_EQ(clicks, 0) << "Click is posted, as a release posts it";
    TestWindow::pump();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(label->defaultActionName(), nullptr);
    EXPECT_FALSE(label->doDefaultAction());
    root->detach();
}

std::vector<std::string> clickEvents;
void noteClickEvent(void*, Control*, EventRecord& e) {
    clickEvents.push_back(std::to_string(e.id) + (e.route == kRouteTunnel ? "t" : "b"));
}

TEST(AccessibleDefaults, ALeafThatListensToItsOwnClickGetsTheClicksEvents) {
    TestWindow window;
    std::unique_ptr<Panel> root(new Panel);
    auto* label = new Control(0x403);  // transparent, as a label starts
    root->addChild(label);
    root->attach(&window);
    label->addDelegate(event::LButtonDown, nullptr, noteClickEvent);
    EXPECT_EQ(label->defaultActionName(), nullptr) << "the mouse passes through it";
    label->setFlag(flag::transparent, false);
    EXPECT_STREQ(label->defaultActionName(), L"Click");
    for (int32_t id : {event::PrevLButtonDown, event::PrevLButtonUp, event::LButtonUp})
        label->addDelegate(id, nullptr, noteClickEvent);
    clickEvents.clear();
    EXPECT_TRUE(label->doDefaultAction());
    EXPECT_EQ(clickEvents, (std::vector<std::string>{"12t", "13b", "14t", "15b"}));
    EXPECT_EQ(root->defaultActionName(), nullptr) << "containers are not clicked for their children";
    EXPECT_EQ(Typed(L"Edit", 0xE3).defaultActionName(), nullptr);
    root->detach();
}

TEST(AccessibleDefaults, ItemsOfAColumnAreSelectableListItemsChosenByTheColumn) {
    std::unique_ptr<ItemColumn> column(new ItemColumn);
    auto* first = new Control(0x403);
    auto* second = new Typed(L"Button", 0x163);
    column->addChild(first);
    column->addChild(second);
    first->setText(attr::text, L"第一项");
    second->setChecked(true);
    EXPECT_EQ(first->accessibleRole(), ROLE_SYSTEM_LISTITEM);
    EXPECT_EQ(second->accessibleRole(), ROLE_SYSTEM_LISTITEM) << "the column decides, whatever the item is";
    EXPECT_EQ(first->accessibleState(), static_cast<uint32_t>(STATE_SYSTEM_SELECTABLE));
    EXPECT_EQ(second->accessibleState(),
              static_cast<uint32_t>(STATE_SYSTEM_SELECTABLE | STATE_SYSTEM_SELECTED))
        << "the checked flag marks the selected item, not a checked one";
    EXPECT_STREQ(first->defaultActionName(), L"Select");
    EXPECT_TRUE(second->doDefaultAction());
    EXPECT_EQ(column->chosen, second);
    EXPECT_EQ(column->accessibleRole(), ROLE_SYSTEM_GROUPING);
}

TEST(AccessibleDefaults, ChildIdsAreSelfForTheRootAndUniqueNegativeOtherwise) {
    std::unique_ptr<Panel> root(new Panel);
    auto* a = new Control;
    auto* b = new Control;
    root->addChild(a);
    root->addChild(b);
    EXPECT_EQ(root->accessibleId(), CHILDID_SELF);
    EXPECT_LT(a->accessibleId(), 0);
    EXPECT_LT(b->accessibleId(), 0);
    EXPECT_NE(a->accessibleId(), b->accessibleId());
    std::vector<Control*> children;
    root->accessibleChildren(&children);
    EXPECT_EQ(children, (std::vector<Control*>{a, b}));
}

TEST(AccessibleDefaults, ChangesOfLiveControlsAreToldAsWinEvents) {
    TestWindow window;
    std::unique_ptr<Panel> root(new Panel);
    auto* button = new Typed(L"Button", 0x163);
    auto* valued = new Valued;
    root->addChild(button);
    root->addChild(valued);
    heardWindow = window.windowHandle();
    heard.clear();
    win::unique_hwineventhook hook(SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_VALUECHANGE, nullptr,
                                                   onWinEvent, GetCurrentProcessId(), 0,
                                                   WINEVENT_OUTOFCONTEXT));
    ASSERT_TRUE(hook);

    button->setChecked(true);
    TestWindow::pump();
    EXPECT_TRUE(heard.empty()) << "a control that is not attached tells nothing";

    root->attach(&window);
    const LONG id = button->accessibleId();
    auto hear = [&](std::vector<Heard> expected) {
        TestWindow::pump();
        EXPECT_EQ(heard, expected);
        heard.clear();
    };
    button->setChecked(false);
    hear({{EVENT_OBJECT_STATECHANGE, id}});
    button->setEnabled(false);
    hear({{EVENT_OBJECT_STATECHANGE, id}});
    button->setVisible(false);
    hear({{EVENT_OBJECT_HIDE, id}, {EVENT_OBJECT_STATECHANGE, id}});
    button->setFlag(flag::hover, true);
    button->setFlag(flag::pressed, true);
    hear({});
    button->setFlag(flag::focused, true);
    hear({{EVENT_OBJECT_FOCUS, id}});
    button->setText(attr::text, L"新名字");
    button->setText(attr::style, L"button.xml");
    hear({{EVENT_OBJECT_NAMECHANGE, id}});
    EventRecord change;
    change.id = event::ValueChange;
    button->raiseEvent(change);
    hear({});
    valued->raiseEvent(change);
    hear({{EVENT_OBJECT_VALUECHANGE, valued->accessibleId()}});
    root->setText(attr::tooltip, L"窗口");
    hear({{EVENT_OBJECT_NAMECHANGE, CHILDID_SELF}});
    root->detach();
    heardWindow = nullptr;
}
