// The accessible tree of a window read and driven from outside: acctool, a second process, lists names
// (CJK), roles, layout ids, states, values and screen rectangles, hit-tests points, waits for states
// and performs default actions; a WinEvent hook in this process hears the changes; a client in another
// apartment navigates and outlives the window. The controls are test controls with the type names and
// the click behaviour of the real ones, so the window layer and the object model's defaults are what is
// under test here.
#include <oleacc.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "access_fixture.h"
#include "dui/context_parts.h"
#include "dui/factory.h"
#include "host/ui_context.h"

using namespace accesstest;
using namespace testsupport;
using windowtest::kDeadline;

namespace {

// ---- Test controls --------------------------------------------------------------------------------------

EventRecord makeRecord(int32_t id) {
    EventRecord e;
    e.id = id;
    e.route = kRouteDirect;
    return e;
}

// The button family: a release inside the control after a press on it posts Click.
class AccButton : public Control {
  public:
    AccButton() : Control(0x163) { addDelegate(event::LButtonUp, this, detectClick); }
    const wchar_t* typeName() const override { return L"Button"; }

  private:
    static void detectClick(void*, Control* sender, EventRecord& event) {
        if (!sender->hasFlag(flag::pressed))
            return;
        event.handled = 1;
        RECT area;
        if (sender->windowRect(&area) && PtInRect(&area, sender->window()->cursorClientPosition()))
            sender->postEvent(makeRecord(event::Click));
    }
};

// A check box: Click toggles the checked flag (ValueChange) before later handlers see the Click.
class AccCheck : public AccButton {
  public:
    AccCheck() {
        addDelegate(event::Click, this,
                    [](void*, Control* c, EventRecord&) { c->setChecked(!c->hasFlag(flag::checked)); });
    }
    int32_t accessibleRole() const override { return ROLE_SYSTEM_CHECKBUTTON; }
    const wchar_t* defaultActionName() const override {
        return hasFlag(flag::checked) ? L"Uncheck" : L"Check";
    }
};

// A label: transparent to the mouse; the default role (static text) and name.
class AccLabel : public Control {
  public:
    AccLabel() : Control(0x403) {}
};

// A text field: the default role, its text as the value, named by its tooltip, focused by a press.
class AccEdit : public Control {
  public:
    AccEdit() : Control(0xE3) {}
    const wchar_t* typeName() const override { return L"Edit"; }
    std::wstring accessibleName() const override { return getText(attr::tooltip); }
    bool accessibleValue(std::wstring* value) const override {
        *value = getText(attr::text);
        return true;
    }
};

// A progress bar: the percentage as the value; a new position is told as a value change.
class AccProgress : public Control {
  public:
    AccProgress() : Control(0x403) {}
    const wchar_t* typeName() const override { return L"ProgressBar"; }
    bool accessibleValue(std::wstring* value) const override {
        *value = std::to_wstring(position_) + L"%";
        return true;
    }
    void setPosition(int percent) {
        position_ = percent;
        notifyAccessible(EVENT_OBJECT_VALUECHANGE);
    }

  private:
    int position_ = 0;
};

// A link: the press opens it (counted here) and is spent.
class AccLink : public Control {
  public:
    AccLink() : Control(0x3) { addDelegate(event::LButtonDown, this, onPress); }
    int32_t accessibleRole() const override { return ROLE_SYSTEM_LINK; }
    uint32_t accessibleState() const override { return Control::accessibleState() | STATE_SYSTEM_LINKED; }
    const wchar_t* defaultActionName() const override { return L"Jump"; }
    bool doDefaultAction() override {
        EventRecord press = makeRecord(event::LButtonDown);
        press.route = kRouteBubble;
        raiseEvent(press);
        return true;
    }
    static int opened;

  private:
    static void onPress(void*, Control*, EventRecord& event) {
        ++opened;
        event.handled = 1;
    }
};
int AccLink::opened = 0;

// ---- The fixture -----------------------------------------------------------------------------------------

class Accessibility : public AccessTest {
  protected:
    void SetUp() override {
        AccessTest::SetUp();
        static const bool registered = [] {
            auto& creators = *uiParts()->controlCreators;
            creators.add<AccButton>(L"AccButton");
            creators.add<AccCheck>(L"AccCheck");
            creators.add<AccLabel>(L"AccLabel");
            creators.add<AccEdit>(L"AccEdit");
            creators.add<AccProgress>(L"AccProgress");
            creators.add<AccLink>(L"AccLink");
            return true;
        }();
        (void)registered;
        AccLink::opened = 0;
    }

    // The test page (layouts/access.xml).
    WindowImpl* openPage() { return openLayout(L"access.xml"); }
};

// ---- Reading the tree ------------------------------------------------------------------------------------

TEST_F(Accessibility, TheTreeMirrorsTheControlsWithNamesRolesIdsAndScreenRectangles) {
    WindowImpl* w = openPage();
    ASSERT_NE(w, nullptr);
    const std::vector<Line> lines = list();
    ASSERT_EQ(lines.size(), 13u);

    // The window's own object: the client area, named by the window title.
    EXPECT_EQ(lines[0].role, "client");
    EXPECT_EQ(lines[0].depth, 0);
    EXPECT_EQ(lines[0].name, narrow(windowText(w->handle())));
    EXPECT_EQ(lines[0].id, "100");
    EXPECT_TRUE(sameRect(lines[0].rect, clientScreenRect(w->handle())));

    // Tree order and depth follow the layout.
    std::vector<std::string> order;
    for (size_t i = 1; i < lines.size(); ++i)
        order.push_back(lines[i].id + "@" + std::to_string(lines[i].depth));
    EXPECT_EQ(order, (std::vector<std::string>{"1@1", "2@1", "3@1", "4@1", "5@1", "6@1", "7@1", "8@1", "9@2",
                                               "10@2", "11@1", "12@2"}));

    const Line install = byLayoutId(lines, "1");
    EXPECT_EQ(install.role, "pushbutton");
    EXPECT_EQ(install.name, "安装") << "the text comes before the tooltip";
    EXPECT_EQ(install.action, "Press");
    EXPECT_FALSE(install.hasValue);
    EXPECT_EQ(byLayoutId(lines, "2").name, "关闭") << "without a text the tooltip names it";
    const Line agree = byLayoutId(lines, "3");
    EXPECT_EQ(agree.role, "checkbutton");
    EXPECT_EQ(agree.name, "我同意许可协议");
    EXPECT_EQ(agree.action, "Check");
    const Line label = byLayoutId(lines, "4");
    EXPECT_EQ(label.role, "statictext");
    EXPECT_EQ(label.action, "") << "a label does nothing when clicked";
    const Line path = byLayoutId(lines, "5");
    EXPECT_EQ(path.role, "text");
    EXPECT_EQ(path.name, "路径");
    EXPECT_EQ(path.value, "C:\\Program Files\\Tarvo");
    EXPECT_TRUE(path.has("focusable"));
    const Line progress = byLayoutId(lines, "6");
    EXPECT_EQ(progress.role, "progressbar");
    EXPECT_EQ(progress.value, "0%");
    const Line link = byLayoutId(lines, "7");
    EXPECT_EQ(link.role, "link");
    EXPECT_TRUE(link.has("linked"));
    EXPECT_EQ(byLayoutId(lines, "8").role, "grouping");

    // Every rectangle is the control's own, on the screen.
    for (size_t i = 1; i < lines.size(); ++i) {
        Control* c = byId(w, std::stoi(lines[i].id));
        ASSERT_NE(c, nullptr);
        EXPECT_TRUE(sameRect(lines[i].rect, screenRectOf(w, c))) << "id " << lines[i].id;
    }
}

TEST_F(Accessibility, StatesFollowEnablingHidingCheckingHoverAndFocus) {
    WindowImpl* w = openPage();
    ASSERT_NE(w, nullptr);
    std::vector<Line> lines = list();
    EXPECT_TRUE(byLayoutId(lines, "10").has("unavailable")) << "disabled in the layout";
    EXPECT_TRUE(byLayoutId(lines, "11").has("invisible"));
    EXPECT_TRUE(byLayoutId(lines, "12").has("invisible")) << "inside a hidden panel";
    EXPECT_FALSE(byLayoutId(lines, "3").has("checked"));
    EXPECT_FALSE(byLayoutId(lines, "1").has("unavailable"));

    byId(w, 1)->setEnabled(false);
    byId(w, 3)->setChecked(true);
    byId(w, 8)->setVisible(false);
    byId(w, 10)->setEnabled(true);
    ASSERT_TRUE(bringToFront(w->handle()));
    w->setFocusedControl(byId(w, 5));
    moveMouse(centreOf(w, byId(w, 2)));
    ASSERT_TRUE(pumpUntil([&] { return byId(w, 2)->hasFlag(flag::hover); }, kDeadline));

    lines = list();
    EXPECT_TRUE(byLayoutId(lines, "1").has("unavailable"));
    EXPECT_TRUE(byLayoutId(lines, "3").has("checked"));
    EXPECT_EQ(byLayoutId(lines, "3").action, "Uncheck");
    EXPECT_TRUE(byLayoutId(lines, "8").has("invisible"));
    EXPECT_TRUE(byLayoutId(lines, "9").has("invisible")) << "its panel is hidden";
    EXPECT_FALSE(byLayoutId(lines, "10").has("unavailable"));
    EXPECT_TRUE(byLayoutId(lines, "5").has("focused"));
    EXPECT_TRUE(byLayoutId(lines, "2").has("hottracked"));
    EXPECT_FALSE(lines[0].has("focused")) << "the focus rests on a control";

    // Hold the mouse on a button: pressed.
    moveMouse(centreOf(w, byId(w, 9)));
    byId(w, 8)->setVisible(true);
    mouseDown();
    ASSERT_TRUE(pumpUntil([&] { return byId(w, 9)->hasFlag(flag::pressed); }, kDeadline));
    EXPECT_TRUE(byLayoutId(list(), "9").has("pressed"));
    mouseUp();
    ASSERT_TRUE(pumpUntil([&] { return !byId(w, 9)->hasFlag(flag::pressed); }, kDeadline));
}

TEST_F(Accessibility, HitTestingFindsTheDeepestShownControlAtAScreenPoint) {
    WindowImpl* w = openPage();
    ASSERT_NE(w, nullptr);
    auto at = [&](POINT p) {
        ToolResult r = runAcctool(L"at " + std::to_wstring(p.x) + L" " + std::to_wstring(p.y));
        EXPECT_EQ(r.exitCode, 0);
        Line line;
        EXPECT_TRUE(!r.lines.empty() && parseLine(r.lines[0], &line));
        return line;
    };
    EXPECT_EQ(at(centreOf(w, byId(w, 4))).id, "4") << "a label is found although the mouse passes through it";
    EXPECT_EQ(at(centreOf(w, byId(w, 9))).id, "9") << "inside a panel";
    EXPECT_EQ(at(pointIn(w, byId(w, 8), 5, 110)).id, "8") << "the panel where no child lies";
    EXPECT_EQ(at(centreOf(w, byId(w, 12))).id, "100") << "a hidden control is not hit";
    EXPECT_EQ(at(pointIn(w, byId(w, 1), 99, 29)).id, "1") << "the last pixel inside";
    EXPECT_EQ(at(pointIn(w, byId(w, 1), 100, 15)).id, "100") << "right edge excluded";
}

// ---- Operating controls ----------------------------------------------------------------------------------

TEST_F(Accessibility, DefaultActionsHaveTheEffectsAndEventsOfARealClick) {
    WindowImpl* w = openPage();
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(bringToFront(w->handle()));
    Control* agree = byId(w, 3);

    // A real click on the check box while the edit has the focus...
    w->setFocusedControl(byId(w, 5));
    happenings.clear();
    click(centreOf(w, agree));
    ASSERT_TRUE(happened("3 Click"));
    const std::vector<std::string> byMouse = happenings;
    EXPECT_EQ(byMouse, (std::vector<std::string>{"5 LostFocus", "3 ValueChange", "3 Click"}));
    EXPECT_TRUE(agree->hasFlag(flag::checked));

    // ...and its default action from the other process do the same.
    w->setFocusedControl(byId(w, 5));
    moveMouse(POINT{1260, 780});
    happenings.clear();
    EXPECT_EQ(runAcctool(L"do " + args + L" --id 3").exitCode, 0);
    ASSERT_TRUE(happened("3 Click"));
    EXPECT_EQ(happenings, byMouse);
    EXPECT_FALSE(agree->hasFlag(flag::checked)) << "toggled back";

    // A push button: Click; a link: opened on the press, the same by mouse and by its action.
    happenings.clear();
    EXPECT_EQ(runAcctool(L"do " + args + L" --name 安装").exitCode, 0);
    ASSERT_TRUE(happened("1 Click"));
    click(centreOf(w, byId(w, 7)));
    ASSERT_TRUE(pumpUntil([] { return AccLink::opened == 1; }, kDeadline));
    EXPECT_EQ(runAcctool(L"do " + args + L" --role link").exitCode, 0);
    EXPECT_TRUE(pumpUntil([] { return AccLink::opened == 2; }, kDeadline));
}

TEST_F(Accessibility, TheDefaultActionRunsAfterTheCallHasReturned) {
    WindowImpl* w = openPage();
    ASSERT_NE(w, nullptr);
    // A Click handler that runs long (a nested message loop until the tool has ended): were the action
    // done inside the COM call, the tool could not end before the handler did.
    static RunningTool* tool = nullptr;
    static bool toolEndedDuringTheHandler = false;
    toolEndedDuringTheHandler = false;
    byId(w, 9)->addDelegate(event::Click, nullptr, [](void*, Control*, EventRecord&) {
        toolEndedDuringTheHandler = tool && tool->finish(kToolDeadline) == 0;
    });
    RunningTool running(L"do " + args + L" --id 9");
    tool = &running;
    ASSERT_TRUE(happened("9 Click"));
    tool = nullptr;
    EXPECT_TRUE(toolEndedDuringTheHandler) << "the action ran inside the COM call";
}

TEST_F(Accessibility, DisabledHiddenAndActionlessControlsRefuse) {
    WindowImpl* w = openPage();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(runAcctool(L"do " + args + L" --id 10").exitCode, 4) << "disabled";
    EXPECT_EQ(runAcctool(L"do " + args + L" --id 12").exitCode, 4) << "inside a hidden panel";
    EXPECT_EQ(runAcctool(L"do " + args + L" --id 4").exitCode, 4) << "a label has no action";
    byId(w, 1)->setEnabled(false);
    EXPECT_EQ(runAcctool(L"do " + args + L" --id 1").exitCode, 4) << "disabled while running";
    pumpFor(300);
    EXPECT_TRUE(happenings.empty()) << happenings.front();
    EXPECT_EQ(runAcctool(L"do " + args + L" --id 77 --timeout 200").exitCode, 3) << "no such control";
}

TEST_F(Accessibility, WaitEndsWhenTheStateIsReachedOrTheDeadlinePasses) {
    WindowImpl* w = openPage();
    ASSERT_NE(w, nullptr);
    RunningTool waiting(L"wait " + args + L" --id 3 --state checked,!unavailable --timeout 15000");
    pumpFor(200);
    byId(w, 3)->setChecked(true);
    EXPECT_EQ(waiting.finish(), 0);
    ASSERT_FALSE(waiting.lines().empty());
    Line line;
    ASSERT_TRUE(parseLine(waiting.lines()[0], &line));
    EXPECT_TRUE(line.has("checked"));

    EXPECT_EQ(runAcctool(L"wait " + args + L" --id 3 --state pressed --timeout 300").exitCode, 3);
    EXPECT_EQ(runAcctool(L"wait " + args + L" --id 3 --state bogus").exitCode, 1);
    EXPECT_EQ(runAcctool(L"wait " + args + L" --id 77 --gone").exitCode, 0);
    EXPECT_EQ(runAcctool(L"find --title nowhere --id 1 --timeout 200").exitCode, 2);
}

TEST_F(Accessibility, FocusCanBeAskedForFocusableControlsOnly) {
    WindowImpl* w = openPage();
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(bringToFront(w->handle()));
    EXPECT_EQ(runAcctool(L"focus " + args + L" --id 5").exitCode, 0);
    EXPECT_TRUE(pumpUntil([&] { return w->focusedControl() == byId(w, 5); }, kDeadline));
    EXPECT_EQ(runAcctool(L"focus " + args + L" --id 1").exitCode, 0) << "a button takes the keyboard's focus";
    EXPECT_TRUE(pumpUntil([&] { return w->focusedControl() == byId(w, 1); }, kDeadline));
    EXPECT_EQ(runAcctool(L"focus " + args + L" --id 4").exitCode, 4) << "a label does not";
}

// ---- Events ---------------------------------------------------------------------------------------------

struct HeardEvent {
    DWORD event;
    LONG child;
};
std::vector<HeardEvent> heard;
HWND listenedWindow = nullptr;

void CALLBACK onWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
    if (window == listenedWindow && object == OBJID_CLIENT)
        heard.push_back(HeardEvent{event, child});
}

TEST_F(Accessibility, WinEventsTellFocusStateNameAndValueChanges) {
    WindowImpl* w = openPage();
    ASSERT_NE(w, nullptr);
    listenedWindow = w->handle();
    heard.clear();
    win::unique_hwineventhook hook(SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_VALUECHANGE, nullptr,
                                                   onWinEvent, GetCurrentProcessId(), 0,
                                                   WINEVENT_OUTOFCONTEXT));
    ASSERT_TRUE(hook);
    auto expectHeard = [&](DWORD event, Control* control, const char* what) {
        const LONG child = control->accessibleId();
        EXPECT_TRUE(pumpUntil(
            [&] {
                for (const HeardEvent& e : heard) {
                    if (e.event == event && e.child == child)
                        return true;
                }
                return false;
            },
            kDeadline))
            << what;
    };
    ASSERT_TRUE(bringToFront(w->handle()));
    byId(w, 3)->setChecked(true);
    expectHeard(EVENT_OBJECT_STATECHANGE, byId(w, 3), "checked");
    byId(w, 1)->setEnabled(false);
    expectHeard(EVENT_OBJECT_STATECHANGE, byId(w, 1), "disabled");
    byId(w, 8)->setVisible(false);
    expectHeard(EVENT_OBJECT_HIDE, byId(w, 8), "hidden");
    byId(w, 4)->setText(attr::text, L"新的名字");
    expectHeard(EVENT_OBJECT_NAMECHANGE, byId(w, 4), "renamed");
    static_cast<AccProgress*>(byId(w, 6))->setPosition(70);
    expectHeard(EVENT_OBJECT_VALUECHANGE, byId(w, 6), "progress");
    w->setFocusedControl(byId(w, 5));
    expectHeard(EVENT_OBJECT_FOCUS, byId(w, 5), "focus");

    // What the event names is what a screen reader reads through it.
    win::com_ptr<IAccessible> object;
    win::unique_variant child;
    ASSERT_TRUE(SUCCEEDED(AccessibleObjectFromEvent(w->handle(), static_cast<DWORD>(OBJID_CLIENT),
                                                    static_cast<DWORD>(byId(w, 4)->accessibleId()),
                                                    object.put(), child.put())));
    win::unique_bstr name;
    ASSERT_TRUE(object);
    EXPECT_EQ(object->get_accName(child.get(), name.put()), S_OK);
    EXPECT_EQ(std::wstring(name.get() ? name.get() : L""), L"新的名字");
    listenedWindow = nullptr;
}

// ---- A client in another apartment ---------------------------------------------------------------------

// Runs `work` on a thread of its own (a COM apartment of its own, so every call is marshalled through
// the window thread's message loop, as from another process) while this thread pumps.
void fromAnotherApartment(const std::function<void()>& work) {
    std::atomic<bool> done = false;
    std::thread client([&] {
        {
            auto com = win::co_initialize(COINIT_MULTITHREADED);
            work();
        }
        done = true;  // only now: releasing the proxies needs this thread's pumping
    });
    EXPECT_TRUE(pumpUntil([&] { return done.load(); }, kToolDeadline));
    client.join();
}

std::wstring nameOf(IAccessible* object, LONG child = CHILDID_SELF) {
    VARIANT id;
    id.vt = VT_I4;
    id.lVal = child;
    win::unique_bstr name;
    object->get_accName(id, name.put());
    return name.get() ? name.get() : L"";
}

TEST_F(Accessibility, NavigationWalksSiblingsChildrenAndParents) {
    WindowImpl* w = openPage();
    ASSERT_NE(w, nullptr);
    HWND hwnd = w->handle();
    std::vector<std::wstring> seen;
    fromAnotherApartment([&] {
        win::com_ptr<IAccessible> root;
        if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                              root.put_void())))
            return;
        VARIANT self;
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        auto step = [&](IAccessible* from, long direction) {
            win::com_ptr<IAccessible> to;
            win::unique_variant end;
            if (from->accNavigate(direction, self, end.put()) == S_OK && end.get().vt == VT_DISPATCH)
                end.get().pdispVal->QueryInterface(__uuidof(IAccessible), to.put_void());
            return to;
        };
        win::com_ptr<IAccessible> first = step(root.get(), NAVDIR_FIRSTCHILD);
        if (!first)
            return;
        seen.push_back(nameOf(first.get()));
        win::com_ptr<IAccessible> second = step(first.get(), NAVDIR_NEXT);
        seen.push_back(second ? nameOf(second.get()) : L"-");
        win::com_ptr<IAccessible> below = step(first.get(), NAVDIR_DOWN);
        seen.push_back(below ? nameOf(below.get()) : L"-");
        win::com_ptr<IAccessible> back =
            second ? step(second.get(), NAVDIR_PREVIOUS) : win::com_ptr<IAccessible>();
        seen.push_back(back ? nameOf(back.get()) : L"-");
        // Down into the panel by a positional child id, and up again to the client object.
        VARIANT eighth;
        eighth.vt = VT_I4;
        eighth.lVal = 8;
        win::com_ptr<IDispatch> panelDispatch;
        win::com_ptr<IAccessible> panel;
        if (SUCCEEDED(root->get_accChild(eighth, panelDispatch.put())) && panelDispatch)
            panelDispatch->QueryInterface(__uuidof(IAccessible), panel.put_void());
        win::com_ptr<IAccessible> last =
            panel ? step(panel.get(), NAVDIR_LASTCHILD) : win::com_ptr<IAccessible>();
        seen.push_back(last ? nameOf(last.get()) : L"-");
        win::com_ptr<IDispatch> upDispatch;
        win::com_ptr<IAccessible> up;
        if (panel && panel->get_accParent(upDispatch.put()) == S_OK && upDispatch)
            upDispatch->QueryInterface(__uuidof(IAccessible), up.put_void());
        seen.push_back(up ? nameOf(up.get()) : L"-");
        long count = -1;
        root->get_accChildCount(&count);
        seen.push_back(std::to_wstring(count));
    });
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"安装", L"关闭", L"我同意许可协议", L"安装", L"上一步",
                                               windowText(hwnd), L"9"}));
}

// A screen reader's malformed calls: a null out pointer, a child VARIANT of another type, a child
// position past the last child, an id that names no control. Each answers its error with the out value
// already cleared, and nothing is run.
TEST_F(Accessibility, MalformedCallsAnswerErrorsWithClearedResults) {
    WindowImpl* w = openPage();
    ASSERT_NE(w, nullptr);
    win::com_ptr<IAccessible> client;
    ASSERT_TRUE(SUCCEEDED(AccessibleObjectFromWindow(w->handle(), static_cast<DWORD>(OBJID_CLIENT),
                                                     __uuidof(IAccessible), client.put_void())));
    long count = 0;
    ASSERT_EQ(client->get_accChildCount(&count), S_OK);
    ASSERT_GT(count, 0);

    VARIANT self;
    VariantInit(&self);
    VARIANT wrongType;
    VariantInit(&wrongType);
    wrongType.vt = VT_R8;
    wrongType.dblVal = 1.0;
    VARIANT pastLast;
    VariantInit(&pastLast);
    pastLast.vt = VT_I4;
    pastLast.lVal = count + 1;
    VARIANT noControl;
    VariantInit(&noControl);
    noControl.vt = VT_I4;
    noControl.lVal = -0x7ffffff0;

    EXPECT_EQ(client->get_accChildCount(nullptr), E_POINTER);
    EXPECT_EQ(client->get_accParent(nullptr), E_POINTER);
    EXPECT_EQ(client->get_accChild(self, nullptr), E_POINTER);
    EXPECT_EQ(client->get_accName(self, nullptr), E_POINTER);
    EXPECT_EQ(client->get_accValue(self, nullptr), E_POINTER);
    EXPECT_EQ(client->get_accDescription(self, nullptr), E_POINTER);
    EXPECT_EQ(client->get_accRole(self, nullptr), E_POINTER);
    EXPECT_EQ(client->get_accState(self, nullptr), E_POINTER);
    EXPECT_EQ(client->get_accHelp(self, nullptr), E_POINTER);
    EXPECT_EQ(client->get_accKeyboardShortcut(self, nullptr), E_POINTER);
    EXPECT_EQ(client->get_accDefaultAction(self, nullptr), E_POINTER);
    EXPECT_EQ(client->get_accFocus(nullptr), E_POINTER);
    EXPECT_EQ(client->get_accSelection(nullptr), E_POINTER);
    EXPECT_EQ(client->accNavigate(NAVDIR_FIRSTCHILD, self, nullptr), E_POINTER);
    EXPECT_EQ(client->accHitTest(0, 0, nullptr), E_POINTER);
    long left = 0, top = 0, width = 0, height = 0;
    EXPECT_EQ(client->accLocation(nullptr, &top, &width, &height, self), E_POINTER);

    using BstrGetter = HRESULT (STDMETHODCALLTYPE IAccessible::*)(VARIANT, BSTR*);
    const BstrGetter texts[] = {&IAccessible::get_accName,
                                &IAccessible::get_accValue,
                                &IAccessible::get_accDescription,
                                &IAccessible::get_accHelp,
                                &IAccessible::get_accKeyboardShortcut,
                                &IAccessible::get_accDefaultAction};
    for (const VARIANT& bad : {wrongType, pastLast, noControl}) {
        SCOPED_TRACE(testing::Message() << "vt " << bad.vt << " value " << bad.lVal);
        for (BstrGetter get : texts) {
            BSTR text = SysAllocString(L"stale");
            BSTR stale = text;
            EXPECT_EQ((client.get()->*get)(bad, &text), E_INVALIDARG);
            EXPECT_EQ(text, nullptr);
            SysFreeString(stale);
        }
        VARIANT answer;
        answer.vt = VT_I4;
        answer.lVal = 7;
        EXPECT_EQ(client->get_accRole(bad, &answer), E_INVALIDARG);
        EXPECT_EQ(answer.vt, VT_EMPTY);
        answer.vt = VT_I4;
        EXPECT_EQ(client->get_accState(bad, &answer), E_INVALIDARG);
        EXPECT_EQ(answer.vt, VT_EMPTY);
        answer.vt = VT_I4;
        EXPECT_EQ(client->accNavigate(NAVDIR_NEXT, bad, &answer), E_INVALIDARG);
        EXPECT_EQ(answer.vt, VT_EMPTY);
        win::com_ptr<IDispatch> child;
        EXPECT_EQ(client->get_accChild(bad, child.put()), E_INVALIDARG);
        EXPECT_FALSE(child);
        left = top = width = height = 5;
        EXPECT_EQ(client->accLocation(&left, &top, &width, &height, bad), E_INVALIDARG);
        EXPECT_EQ(left | top | width | height, 0);
        EXPECT_EQ(client->accSelect(SELFLAG_TAKEFOCUS, bad), E_INVALIDARG);
        EXPECT_EQ(client->accDoDefaultAction(bad), E_INVALIDARG);
    }
    // The object itself is no child of its own.
    win::com_ptr<IDispatch> itself;
    EXPECT_EQ(client->get_accChild(self, itself.put()), E_INVALIDARG);
    EXPECT_FALSE(itself);
    EXPECT_TRUE(happenings.empty()) << "nothing was run";
}

TEST_F(Accessibility, ObjectsOfADestroyedWindowAnswerErrors) {
    WindowImpl* w = openPage();
    ASSERT_NE(w, nullptr);
    HWND hwnd = w->handle();
    const LONG install = byId(w, 1)->accessibleId();

    // A client in this apartment holds the objects themselves, one in another apartment holds proxies.
    win::com_ptr<IAccessible> local;
    ASSERT_TRUE(SUCCEEDED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT),
                                                     __uuidof(IAccessible), local.put_void())));
    EXPECT_EQ(nameOf(local.get(), install), L"安装");

    bool heldObjects = false;
    HRESULT remoteName = S_OK, remoteAction = S_OK, remoteChildName = S_OK;
    fromAnotherApartment([&] {
        win::com_ptr<IAccessible> root, child;
        win::com_ptr<IDispatch> childDispatch;
        VARIANT id;
        id.vt = VT_I4;
        id.lVal = install;
        if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                              root.put_void())) ||
            FAILED(root->get_accChild(id, childDispatch.put())) || !childDispatch ||
            FAILED(childDispatch->QueryInterface(__uuidof(IAccessible), child.put_void())))
            return;
        heldObjects = true;
        // The window thread closes the window while this client still holds its objects.
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
        const ULONGLONG deadline = GetTickCount64() + kDeadline;
        while (IsWindow(hwnd) && GetTickCount64() < deadline) Sleep(10);
        win::unique_bstr name;
        remoteName = root->get_accName(id, name.put());
        VARIANT self;
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        remoteChildName = child->get_accName(self, name.put());
        remoteAction = child->accDoDefaultAction(self);
    });
    EXPECT_FALSE(IsWindow(hwnd));

    // The stubs are gone: Wine's proxies answer "unknown interface", Windows' "disconnected".
    auto disconnected = [](HRESULT hr) {
        return hr == RPC_E_DISCONNECTED || hr == HRESULT_FROM_WIN32(RPC_S_UNKNOWN_IF);
    };
    ASSERT_TRUE(heldObjects);
    EXPECT_TRUE(disconnected(remoteName)) << std::hex << remoteName;
    EXPECT_TRUE(disconnected(remoteChildName)) << std::hex << remoteChildName;
    EXPECT_TRUE(disconnected(remoteAction)) << std::hex << remoteAction;
    VARIANT id;
    id.vt = VT_I4;
    id.lVal = install;
    win::unique_bstr name;
    EXPECT_EQ(local->get_accName(id, name.put()), RPC_E_DISCONNECTED);
    long count = 0;
    EXPECT_EQ(local->get_accChildCount(&count), RPC_E_DISCONNECTED);
    EXPECT_TRUE(happenings.empty()) << "nothing was clicked";
}

}  // namespace
