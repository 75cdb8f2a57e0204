#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dui/checked.h"
#include "dui/control.h"
#include "dui/panels.h"
#include "dui/context_parts.h"
#include "host/ui_context.h"
#include "test_window.h"

namespace {

// Every handler call appends "<label>:<event id>" to the log.
std::vector<std::string> calls;

struct Tag {
    std::string label;
    bool handle = false;            // sets handled
    Control* removeFrom = nullptr;  // removes `removeTarget` from this control
    Tag* removeTarget = nullptr;
    Control* addTo = nullptr;  // adds `addTag` to this control during the call
    Tag* addTag = nullptr;
};

EventRecord lastEvent;
Control* lastSender = nullptr;

void record(void* context, Control* sender, EventRecord& e) {
    auto* tag = static_cast<Tag*>(context);
    lastEvent = e;
    lastSender = sender;
    calls.push_back(tag->label + ":" + std::to_string(e.id));
    if (tag->handle)
        e.handled = 1;
    if (tag->removeFrom)
        tag->removeFrom->removeDelegate(e.id, tag->removeTarget, record);
    if (tag->addTo)
        tag->addTo->addDelegate(e.id, tag->addTag, record);
}

std::vector<std::string> raise(Control& c, int32_t id, int32_t route) {
    calls.clear();
    EventRecord e = makeEvent(id, route);
    c.raiseEvent(e);
    return calls;
}

using Log = std::vector<std::string>;

// root (Grid) > panel (StackPanel) > button (Control), attached to a real window.
class Tree : public ::testing::Test {
  protected:
    void SetUp() override {
        calls.clear();
        root = new Grid;
        panel = new StackPanel;
        button = new Control;
        root->addChild(panel);
        panel->addChild(button);
        rootOwner.reset(root);
    }
    void attach() { root->attach(&window); }
    void TearDown() override {
        if (root->window())
            root->detach();
    }

    TestWindow window;
    std::unique_ptr<Control> rootOwner;
    Grid* root;
    StackPanel* panel;
    Control* button;
    Tag r1{"r1"}, r2{"r2"}, p1{"p1"}, p2{"p2"}, b1{"b1"}, b2{"b2"};
};

TEST_F(Tree, RoutingOrderForBubbleTunnelAndDirect) {
    attach();
    for (auto [c, t] : {std::pair<Control*, Tag*>{root, &r1},
                        {root, &r2},
                        {panel, &p1},
                        {panel, &p2},
                        {button, &b1},
                        {button, &b2}})
        ASSERT_TRUE(c->addDelegate(event::LButtonDown, t, record));
    EXPECT_EQ(raise(*button, event::LButtonDown, kRouteBubble),
              (Log{"b1:13", "b2:13", "p1:13", "p2:13", "r1:13", "r2:13"}));
    EXPECT_EQ(raise(*button, event::LButtonDown, kRouteTunnel),
              (Log{"r1:13", "r2:13", "p1:13", "p2:13", "b1:13", "b2:13"}));
    EXPECT_EQ(raise(*button, event::LButtonDown, kRouteDirect), (Log{"b1:13", "b2:13"}));
    EXPECT_EQ(lastSender, button) << "handlers get the control the event was raised on";
    // Another id reaches nobody; raising on the panel skips the button.
    EXPECT_TRUE(raise(*button, event::LButtonUp, kRouteBubble).empty());
    EXPECT_EQ(raise(*panel, event::LButtonDown, kRouteBubble), (Log{"p1:13", "p2:13", "r1:13", "r2:13"}));
}

TEST_F(Tree, HandledStopsTheRestAndAPresetFlagCallsNothing) {
    attach();
    b1.handle = true;
    button->addDelegate(event::KeyDown, &b1, record);
    button->addDelegate(event::KeyDown, &b2, record);
    panel->addDelegate(event::KeyDown, &p1, record);
    EXPECT_EQ(raise(*button, event::KeyDown, kRouteBubble), (Log{"b1:5"}));
    // Tunnel: the root's handler stops the target's.
    r1.handle = true;
    root->addDelegate(event::PrevKeyDown, &r1, record);
    button->addDelegate(event::PrevKeyDown, &b2, record);
    EXPECT_EQ(raise(*button, event::PrevKeyDown, kRouteTunnel), (Log{"r1:4"}));

    calls.clear();
    EventRecord e = makeEvent(event::KeyDown, kRouteBubble);
    e.handled = 1;
    button->raiseEvent(e);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Tree, RemovalAndAdditionDuringDispatch) {
    attach();
    // b1 removes b2 while the dispatch already holds it: b2 is disarmed and skipped.
    b1.removeFrom = button;
    b1.removeTarget = &b2;
    button->addDelegate(event::Click, &b1, record);
    button->addDelegate(event::Click, &b2, record);
    panel->addDelegate(event::Click, &p1, record);
    EXPECT_EQ(raise(*button, event::Click, kRouteBubble), (Log{"b1:30", "p1:30"}));
    // p1 adds p2: not part of this dispatch, called by the next one.
    b1.removeFrom = nullptr;
    p1.addTo = panel;
    p1.addTag = &p2;
    EXPECT_EQ(raise(*button, event::Click, kRouteBubble), (Log{"b1:30", "p1:30"}));
    p1.addTo = nullptr;
    EXPECT_EQ(raise(*button, event::Click, kRouteBubble), (Log{"b1:30", "p1:30", "p2:30"}));
}

TEST_F(Tree, RemoveThenAddGivesExactlyOneCall) {
    attach();
    button->addDelegate(event::Click, &b1, record);
    button->addDelegate(event::Click, &b1, record);  // the same pair twice is allowed
    EXPECT_EQ(raise(*button, event::Click, kRouteDirect), (Log{"b1:30", "b1:30"}));
    button->removeDelegate(event::Click, &b1, record);
    button->removeDelegate(event::Click, &b1, record);
    button->removeDelegate(event::Click, &b1, record);   // nothing left: no error
    button->removeDelegate(event::Notify, &b1, record);  // no list: no error
    EXPECT_TRUE(raise(*button, event::Click, kRouteDirect).empty());
    button->addDelegate(event::Click, &b1, record);
    EXPECT_EQ(raise(*button, event::Click, kRouteDirect), (Log{"b1:30"}));
    // Removing by a different context leaves the delegate.
    button->removeDelegate(event::Click, &b2, record);
    EXPECT_EQ(raise(*button, event::Click, kRouteDirect), (Log{"b1:30"}));
}

TEST_F(Tree, ADispatchCallsAtMostSixteenDelegatesInCallingOrder) {
    attach();
    std::vector<Tag> tags(40);
    for (int i = 0; i < 20; ++i) {
        tags[i].label = "b" + std::to_string(i);
        button->addDelegate(event::MouseMove, &tags[i], record);
    }
    Log bubble = raise(*button, event::MouseMove, kRouteBubble);
    ASSERT_EQ(bubble.size(), 16u);
    EXPECT_EQ(bubble.front(), "b0:25");
    EXPECT_EQ(bubble.back(), "b15:25");
    // Tunnel keeps the first 16 of its own order: the root's ten, then the target's first six.
    for (int i = 0; i < 10; ++i) {
        tags[20 + i].label = "r" + std::to_string(i);
        root->addDelegate(event::PrevLButtonDown, &tags[20 + i], record);
        tags[30 + i].label = "b" + std::to_string(i);
        button->addDelegate(event::PrevLButtonDown, &tags[30 + i], record);
    }
    Log tunnel = raise(*button, event::PrevLButtonDown, kRouteTunnel);
    ASSERT_EQ(tunnel.size(), 16u);
    EXPECT_EQ(tunnel[0], "r0:12");
    EXPECT_EQ(tunnel[9], "r9:12");
    EXPECT_EQ(tunnel[10], "b0:12");
    EXPECT_EQ(tunnel[15], "b5:12");
    // The references the dispatch took are all given back.
    std::size_t before = Delegate::poolAvailable();
    raise(*button, event::MouseMove, kRouteBubble);
    EXPECT_EQ(Delegate::poolAvailable(), before);
}

TEST_F(Tree, NothingIsDeliveredToAControlThatIsNotLive) {
    button->addDelegate(event::Click, &b1, record);
    EXPECT_FALSE(isLiveControl(button));
    EXPECT_TRUE(raise(*button, event::Click, kRouteDirect).empty());
    RECT r;
    EXPECT_FALSE(button->windowRect(&r));
    EXPECT_FALSE(button->invalidate(true));
    POINT p{1, 1};
    EXPECT_FALSE(button->toWindowPoint(&p));
    EXPECT_EQ(p.x, 1);
    attach();
    EXPECT_TRUE(isLiveControl(button));
    EXPECT_EQ(raise(*button, event::Click, kRouteDirect), (Log{"b1:30"}));
    root->detach();
    EXPECT_FALSE(isLiveControl(button));
    EXPECT_FALSE(isLiveControl(root));
    EXPECT_TRUE(raise(*button, event::Click, kRouteDirect).empty());
}

TEST_F(Tree, PostedEventsAreDeliveredLaterAndOnlyToLiveControls) {
    attach();
    button->addDelegate(event::Click, &b1, record);
    EventRecord e = makeEvent(event::Click, kRouteDirect);
    e.handled = 1;  // the copy's flag is reset
    e.wParam = 7;
    calls.clear();
    ASSERT_TRUE(button->postEvent(e));
    EXPECT_TRUE(calls.empty()) << "posted, not raised";
    TestWindow::pump();
    EXPECT_EQ(calls, (Log{"b1:30"}));
    EXPECT_EQ(lastEvent.wParam, 7);
    EXPECT_EQ(lastEvent.route, kRouteDirect);
    EXPECT_EQ(lastSender, button);
    EXPECT_EQ(e.handled, 1) << "the caller's record is untouched";

    // Detached between posting and delivery: nothing arrives.
    calls.clear();
    ASSERT_TRUE(button->postEvent(makeEvent(event::Click, kRouteDirect)));
    root->detach();
    TestWindow::pump();
    EXPECT_TRUE(calls.empty());
}

TEST(PostedEvents, ANewControlAtAReusedAddressDoesNotReceiveAnOldPost) {
    TestWindow window;
    calls.clear();
    Tag t{"new"};
    auto* first = new Control;
    first->attach(&window);
    ASSERT_TRUE(first->postEvent(makeEvent(event::Click, kRouteDirect)));
    first->detach();
    delete first;
    // The small-object allocator hands the same cell to the next control of that size (a checked build
    // once the cell has left its quarantine).
    if (dui::checkedBuild())
        dui::flushSmallQuarantine();
    auto* second = new Control;
    second->addDelegate(event::Click, &t, record);
    second->attach(&window);
    EXPECT_EQ(static_cast<void*>(second), static_cast<void*>(first));
    TestWindow::pump();
    EXPECT_TRUE(calls.empty());
    second->detach();
    delete second;
}

TEST(PostedEvents, NoDeferredCallWindowMeansFalseAndNoDelivery) {
    TestWindow window;
    calls.clear();
    Tag t{"c"};
    Control c;
    c.addDelegate(event::Click, &t, record);
    c.attach(&window);
    destroyUiContextWithParts();
    EXPECT_FALSE(c.postEvent(makeEvent(event::Click, kRouteDirect)));
    ASSERT_TRUE(createUiContextWithParts());
    TestWindow::pump();
    EXPECT_TRUE(calls.empty());
    c.detach();
}

TEST_F(Tree, FlagSettersChangeOnlyWhenTheValueDiffers) {
    button->setInt(attr::height, 20);
    measureControl(root, SIZE{400, 300});
    arrangeControl(root, RECT{0, 0, 400, 300});
    attach();
    measureControl(root, SIZE{400, 300});
    arrangeControl(root, RECT{0, 0, 400, 300});
    window.dirty.clear();
    button->setVisible(true);  // already visible: nothing, not even a repaint
    button->setEnabled(true);
    button->setChecked(false);
    EXPECT_TRUE(window.dirty.empty());
    EXPECT_TRUE(window.forgotten.empty());

    button->addDelegate(event::ValueChange, &b1, record);
    calls.clear();
    button->setChecked(true);
    button->setChecked(true);
    EXPECT_TRUE(button->hasFlag(flag::checked));
    EXPECT_EQ(calls, (Log{"b1:31"}));
    EXPECT_EQ(window.dirty.size(), 1u);

    button->setEnabled(false);
    EXPECT_FALSE(button->hasFlag(flag::enabled));
    ASSERT_EQ(window.forgotten.size(), 1u);
    EXPECT_EQ(window.forgotten[0], button);
    button->setEnabled(true);
    EXPECT_EQ(window.forgotten.size(), 1u) << "enabling forgets nothing";
}

TEST(HitTest, EdgesAndTransparency) {
    Control c;
    c.setBounds(RECT{10, 20, 30, 40});
    EXPECT_EQ(c.hitTest(POINT{10, 20}), &c);
    EXPECT_EQ(c.hitTest(POINT{29, 39}), &c);
    EXPECT_EQ(c.hitTest(POINT{30, 25}), nullptr) << "right edge is exclusive";
    EXPECT_EQ(c.hitTest(POINT{15, 40}), nullptr) << "bottom edge is exclusive";
    EXPECT_EQ(c.hitTest(POINT{9, 25}), nullptr);
    c.setFlag(flag::transparent, true);
    EXPECT_EQ(c.hitTest(POINT{15, 25}), nullptr);
    c.setFlag(flag::transparent, false);
    c.setFlag(flag::visible, false);
    EXPECT_EQ(c.hitTest(POINT{15, 25}), nullptr);

    // Panels: later children on top; a transparent child lets the panel answer; a transparent panel
    // hides its subtree.
    Grid g;
    g.setBounds(RECT{100, 100, 200, 200});
    auto* a = new Control;
    auto* b = new Control;
    a->setBounds(RECT{0, 0, 50, 50});
    b->setBounds(RECT{0, 0, 50, 50});
    g.addChild(a);
    g.addChild(b);
    EXPECT_EQ(g.hitTest(POINT{110, 110}), b);
    b->setFlag(flag::transparent, true);
    EXPECT_EQ(g.hitTest(POINT{110, 110}), a);
    EXPECT_EQ(g.hitTest(POINT{160, 160}), &g);
    EXPECT_EQ(g.hitTest(POINT{200, 150}), nullptr);
    g.setFlag(flag::transparent, true);
    EXPECT_EQ(g.hitTest(POINT{110, 110}), nullptr);
}

TEST_F(Tree, AttachAndDetachOrderIdMapAndLiveSet) {
    Tag rootA{"rA"}, panelA{"pA"}, buttonA{"bA"}, rootD{"rD"}, panelD{"pD"}, buttonD{"bD"};
    root->addDelegate(event::Attached, &rootA, record);
    panel->addDelegate(event::Attached, &panelA, record);
    button->addDelegate(event::Attached, &buttonA, record);
    root->addDelegate(event::Detached, &rootD, record);
    panel->addDelegate(event::Detached, &panelD, record);
    button->addDelegate(event::Detached, &buttonD, record);
    panel->setInt(attr::id, 5);
    button->setInt(attr::id, 5);
    std::size_t liveBefore = liveControlCount();
    calls.clear();
    attach();
    EXPECT_EQ(calls, (Log{"rA:0", "pA:0", "bA:0"}));
    EXPECT_EQ(liveControlCount(), liveBefore + 3);
    EXPECT_EQ(window.ids[5], button) << "a later control with the same id replaces the earlier";
    EXPECT_EQ(button->window(), &window);

    // A child added to an attached panel is attached at once.
    auto* late = new Control;
    late->setInt(attr::id, 9);
    panel->addChild(late);
    EXPECT_TRUE(isLiveControl(late));
    EXPECT_EQ(window.ids[9], late);

    calls.clear();
    root->detach();
    EXPECT_EQ(calls, (Log{"bD:1", "pD:1", "rD:1"})) << "children leave first";
    EXPECT_EQ(liveControlCount(), liveBefore);
    EXPECT_EQ(button->window(), nullptr);
    EXPECT_EQ(window.ids.size(), 2u) << "detach leaves the id map";
    EXPECT_EQ(window.forgotten.size(), 4u) << "each detached control is forgotten";
}

TEST_F(Tree, DestroyingAnAttachedControlLeavesNoPointerBehind) {
    auto* extra = new Control;
    extra->setInt(attr::id, 42);
    root->addChild(extra);
    attach();
    Control* doomed = root->childAt(1);
    ASSERT_EQ(doomed, extra);
    EXPECT_EQ(window.ids[42], extra);
    std::size_t live = liveControlCount();
    // Destroy the whole attached tree: every control leaves the live set and the id map.
    rootOwner.reset();
    EXPECT_EQ(liveControlCount(), live - 4);
    EXPECT_FALSE(isLiveControl(extra));
    EXPECT_TRUE(window.ids.empty());
    rootOwner.reset(root = new Grid);  // for TearDown
}

void deleteSender(void* context, Control* sender, EventRecord& e) {
    record(context, sender, e);
    delete sender;
}

TEST(Destruction, DisarmsDelegatesThatADispatchStillHolds) {
    TestWindow window;
    auto* victim = new Control;
    Tag first{"first"}, second{"second"};
    victim->addDelegate(event::Click, &first, deleteSender);
    victim->addDelegate(event::Click, &second, record);
    victim->attach(&window);
    std::size_t available = Delegate::poolAvailable();
    calls.clear();
    EventRecord e = makeEvent(event::Click, kRouteDirect);
    victim->raiseEvent(e);  // the first handler destroys the control; the second is disarmed
    EXPECT_EQ(calls, (Log{"first:30"}));
    EXPECT_FALSE(isLiveControl(victim));
    EXPECT_EQ(Delegate::poolAvailable(), available + 2) << "the dispatch gave the last references back";
}

TEST_F(Tree, InvalidationAndWindowCoordinates) {
    attach();
    measureControl(root, SIZE{400, 300});
    arrangeControl(root, RECT{0, 0, 400, 300});
    root->setBounds(RECT{0, 0, 400, 300});
    panel->setBounds(RECT{10, 20, 390, 280});
    button->setBounds(RECT{5, 6, 105, 56});
    RECT r;
    ASSERT_TRUE(button->windowRect(&r));
    EXPECT_EQ(r.left, 15);
    EXPECT_EQ(r.top, 26);
    EXPECT_EQ(r.right, 115);
    EXPECT_EQ(r.bottom, 76);
    POINT p{1, 2};
    ASSERT_TRUE(button->toWindowPoint(&p));
    EXPECT_EQ(p.x, 16);
    EXPECT_EQ(p.y, 28);
    window.cursor = POINT{20, 30};
    ASSERT_TRUE(button->fromWindowPoint(&p));
    EXPECT_EQ(p.x, 5);
    EXPECT_EQ(p.y, 4);
    // A mouse event's own point (negative coordinates too: off to the left and above, under capture)
    // rather than the cursor's.
    EventRecord move;
    move.lParam = MAKELPARAM(-3, 40);
    ASSERT_TRUE(button->eventPoint(move, &p));
    EXPECT_EQ(p.x, -18);
    EXPECT_EQ(p.y, 14);

    window.dirty.clear();
    int before = window.repaintRequests;
    EXPECT_TRUE(button->invalidate(true));
    EXPECT_EQ(window.repaintRequests, before + 1) << "sent: handled before invalidate returns";
    ASSERT_EQ(window.dirty.size(), 1u);
    EXPECT_EQ(window.dirty[0].left, 15);
    EXPECT_EQ(window.dirty[0].bottom, 76);

    EXPECT_TRUE(button->invalidate(false));
    EXPECT_EQ(window.repaintRequests, before + 1);
    TestWindow::pump();
    EXPECT_EQ(window.repaintRequests, before + 2) << "posted: handled by the message loop";

    // Clipped to the client area; wholly outside answers false.
    button->setBounds(RECT{350, 250, 450, 350});
    window.dirty.clear();
    EXPECT_TRUE(button->invalidate(true));
    ASSERT_EQ(window.dirty.size(), 1u);
    EXPECT_EQ(window.dirty[0].right, 400);
    EXPECT_EQ(window.dirty[0].bottom, 300);
    button->setBounds(RECT{500, 500, 600, 600});
    EXPECT_FALSE(button->invalidate(true));
    button->setBounds(RECT{0, 0, 0, 0});
    EXPECT_FALSE(button->invalidate(true));
}

TEST(DelegatePool, ExhaustionFailsCleanlyAndRecovers) {
    std::size_t available = Delegate::poolAvailable();
    ASSERT_LE(available, Delegate::kPoolSize);
    std::vector<Delegate*> taken;
    taken.reserve(available);
    for (Delegate* d; (d = Delegate::create(nullptr, record)) != nullptr;) taken.push_back(d);
    EXPECT_EQ(taken.size(), available);
    EXPECT_EQ(Delegate::poolAvailable(), 0u);
    Control c;
    Tag t{"t"};
    EXPECT_FALSE(c.addDelegate(event::Click, &t, record));
    EXPECT_EQ(Delegate::create(nullptr, record), nullptr);
    for (Delegate* d : taken) d->release();
    EXPECT_EQ(Delegate::poolAvailable(), available);
    EXPECT_TRUE(c.addDelegate(event::Click, &t, record));

    // Shared references: the record goes back with the last one only.
    Delegate* d = Delegate::create(&t, record);
    d->addRef();
    d->release();
    EXPECT_EQ(Delegate::poolAvailable(), available - 2);
    d->disarm();
    EXPECT_FALSE(d->armed());
    calls.clear();
    EventRecord e;
    d->invoke(nullptr, e);
    EXPECT_TRUE(calls.empty());
    d->release();
    EXPECT_EQ(Delegate::poolAvailable(), available - 1);
}

TEST(ControlBasics, InitialStateAndTypeNames) {
    Control c;
    EXPECT_EQ(c.flags(), 0x3u);
    EXPECT_STREQ(c.typeName(), L"Control");
    EXPECT_EQ(c.parent(), nullptr);
    EXPECT_EQ(c.window(), nullptr);
    EXPECT_EQ(c.desiredSize().cx, 0);
    Grid g;
    Canvas cv;
    StackPanel sp;
    DockPanel dp;
    for (Panel* p : std::initializer_list<Panel*>{&g, &cv, &sp, &dp}) {
        EXPECT_EQ(p->flags(), 0x2003u);
        EXPECT_STREQ(p->typeName(), L"Panel");
    }
    EXPECT_EQ(sizeof(EventRecord), 32u);
    EXPECT_NE(Control().serial(), c.serial());
}

}  // namespace

namespace {

std::vector<int> destroyed;
struct Noted : Control {
    int n;
    explicit Noted(int k) : n(k) {}
    ~Noted() override { destroyed.push_back(n); }
};

TEST(Destruction, ChildrenGoLastFirstInnerPanelsFirst) {
    destroyed.clear();
    auto* g = new Grid;
    for (int i = 1; i <= 3; ++i) g->addChild(new Noted(i));
    auto* inner = new Grid;
    inner->addChild(new Noted(4));
    g->addChild(inner);
    delete g;
    EXPECT_EQ(destroyed, (std::vector<int>{4, 3, 2, 1}));
}

TEST(LiveSet, ManyControlsAttachAndDetachInAnyOrder) {
    TestWindow window;
    std::vector<std::unique_ptr<Control>> controls;
    for (int i = 0; i < 5000; ++i) controls.emplace_back(new Control);
    std::size_t base = liveControlCount();
    for (auto& c : controls) c->attach(&window);
    EXPECT_EQ(liveControlCount(), base + 5000);
    for (std::size_t i = 0; i < controls.size(); i += 2) controls[i]->detach();
    for (std::size_t i = 0; i < controls.size(); ++i)
        ASSERT_EQ(isLiveControl(controls[i].get()), i % 2 == 1) << i;
    for (std::size_t i = 1; i < controls.size(); i += 2) controls[i]->detach();
    EXPECT_EQ(liveControlCount(), base);
    EXPECT_FALSE(isLiveControl(nullptr));
    int local = 0;
    EXPECT_FALSE(isLiveControl(&local));
}

}  // namespace
