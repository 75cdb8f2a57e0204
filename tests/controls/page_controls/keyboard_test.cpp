// The keyboard on real controls under real key presses: the Tab order (tabIndex, tabStop, disabled and
// hidden controls skipped, wrapping), presses by Space, Enter, Escape and Alt+F4 raising what a click
// raises, arrows in a radio group and on a slider, a script-made link, and the focus ring.
#include <oleacc.h>

#include <algorithm>

#include "controls/button.h"
#include "controls/slider.h"
#include "page_fixture.h"

using namespace pagetest;
using namespace testsupport;

namespace {

// 11 is disabled, 12 hidden and 13 left out; 14 and 15 come last by their tabIndex.
const char kForm[] = R"(
<Canvas initSize="420,240" style="red.xml">
  <Button id="10" x="20" y="20" width="80" height="40" style="button.xml"/>
  <Button id="11" x="120" y="20" width="80" height="40" style="button.xml" enabled="0"/>
  <CheckBox id="20" x="220" y="20" width="80" height="30"/>
  <Button id="12" x="320" y="20" width="80" height="40" style="button.xml" visible="0"/>
  <Button id="13" x="20" y="80" width="80" height="40" style="button.xml" tabStop="0"/>
  <Button id="14" x="120" y="80" width="80" height="40" style="button.xml" tabIndex="1" default="1"/>
  <Button id="15" x="220" y="80" width="80" height="40" style="button.xml" tabIndex="1" cancel="1"/>
  <RadioButton id="30" x="20" y="140" width="80" height="30"/>
  <RadioButton id="31" x="120" y="140" width="80" height="30"/>
  <Slider id="40" x="220" y="140" width="120" height="20"/>
  <Label id="50" x="20" y="200" width="80" height="20" text="link"/>
</Canvas>)";

// The ids of the press, release and click events a control gets, in order.
class Recorder {
  public:
    explicit Recorder(Control* control) : control_(control) {
        for (int32_t id : kIds) control->addDelegate(id, this, record);
    }
    ~Recorder() {
        for (int32_t id : kIds) control_->removeDelegate(id, this, record);
    }
    std::vector<int32_t> seen;

  private:
    static constexpr int32_t kIds[] = {event::PrevLButtonDown, event::LButtonDown, event::GotCapture,
                                       event::PrevLButtonUp,   event::LButtonUp,   event::LostCapture,
                                       event::Click,           event::ValueChange};
    Control* control_;
    static void record(void* self, Control*, EventRecord& e) {
        static_cast<Recorder*>(self)->seen.push_back(e.id);
    }
};

void showHand(void*, Control*, EventRecord& e) {
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    e.handled = 1;
}
void nothing(void*, Control*, EventRecord&) {}

class Keyboard : public PageTest {
  protected:
    void SetUp() override {
        PageTest::SetUp();
        w = open(kForm);
        ASSERT_NE(w, nullptr);
        SetForegroundWindow(w->handle());
        ASSERT_TRUE(pumpUntil([&] { return GetFocus() == w->handle(); }, kDeadline));
    }
    // A key (with a modifier held) and its release, handled.
    void key(WORD vk, WORD modifier = 0) {
        if (modifier)
            keyDown(modifier);
        pressKey(vk);
        if (modifier)
            keyUp(modifier);
        handled();
    }
    // Until the keys sent are handled, with what they posted and repainted.
    void handled() {
        pumpUntil([] { return !(HIWORD(GetQueueStatus(QS_KEY)) & QS_KEY); }, kDeadline);
        drain();
        settle(w);
    }
    int focusedId() {
        Control* f = w->focusedControl();
        return f ? f->getInt(attr::id, -1) : 0;
    }
    // Focus ids visited by n presses of Tab (or Shift+Tab).
    std::vector<int> tabs(int n, bool backward = false) {
        std::vector<int> ids;
        for (int i = 0; i < n; ++i) {
            key(VK_TAB, backward ? VK_SHIFT : 0);
            ids.push_back(focusedId());
        }
        return ids;
    }
    WindowImpl* w = nullptr;
};

}  // namespace

TEST_F(Keyboard, TabVisitsEnabledShownStopsInOrderAndWraps) {
    EXPECT_EQ(tabs(7), (std::vector<int>{10, 20, 30, 40, 14, 15, 10}))
        << "one stop per radio group; tabIndex 1 after the rest; around to the first";
    EXPECT_EQ(tabs(2, true), (std::vector<int>{15, 14}));
    byId(w, 11)->setEnabled(true);
    byId(w, 12)->setVisible(true);
    byId(w, 31)->setChecked(true);
    w->setFocusedControl(byId(w, 10));
    EXPECT_EQ(tabs(4), (std::vector<int>{11, 20, 12, 31})) << "the checked radio button is the group's stop";
}

TEST_F(Keyboard, SpaceAndEnterRaiseWhatAClickRaises) {
    Control* button = byId(w, 10);
    std::vector<int32_t> click;
    {
        Recorder mouse(button);
        clickAt(w, centreOf(w, button));
        drain();
        click = mouse.seen;
    }
    ASSERT_FALSE(click.empty());
    w->setFocusedControl(button);
    moveTo(w, POINT{1260, 780});

    Recorder space(button);
    keyDown(VK_SPACE);
    handled();
    EXPECT_TRUE(button->hasFlag(flag::pressed)) << "Space presses on the key's press";
    EXPECT_EQ(std::count(space.seen.begin(), space.seen.end(), event::Click), 0)
        << "and clicks on its release";
    keyUp(VK_SPACE);
    handled();
    EXPECT_EQ(space.seen, click);
    EXPECT_EQ(w->focusedControl(), button) << "the keyboard keeps the focus where it is";

    Recorder enter(button);
    key(VK_RETURN);
    drain();
    EXPECT_EQ(enter.seen, click);

    // Tab while Space is held takes the press away: no Click, as when a press is dragged off.
    Recorder dropped(button);
    keyDown(VK_SPACE);
    handled();
    key(VK_TAB);
    keyUp(VK_SPACE);
    handled();
    EXPECT_EQ(std::count(dropped.seen.begin(), dropped.seen.end(), event::Click), 0);
    EXPECT_FALSE(button->hasFlag(flag::pressed));

    // A check box toggles with ValueChange inside the Click, as for the mouse.
    Control* box = byId(w, 20);
    ASSERT_EQ(w->focusedControl(), box);
    Recorder toggled(box);
    key(VK_SPACE);
    drain();
    EXPECT_TRUE(box->hasFlag(flag::checked));
    EXPECT_EQ(toggled.seen.back(), event::Click);
    EXPECT_EQ(toggled.seen[toggled.seen.size() - 2], event::ValueChange);
}

TEST_F(Keyboard, EnterPressesTheDefaultAndEscapeOrAltF4TheCancelButton) {
    Counter defaults(byId(w, 14), event::Click), cancels(byId(w, 15), event::Click),
        other(byId(w, 10), event::Click);
    w->setFocusedControl(byId(w, 20));
    key(VK_RETURN);
    drain();
    EXPECT_EQ(defaults.count(), 1) << "Enter on a check box presses the default button";
    EXPECT_FALSE(byId(w, 20)->hasFlag(flag::checked));
    key(VK_ESCAPE);
    key(VK_F4, VK_MENU);
    drain();
    EXPECT_EQ(cancels.count(), 2);
    EXPECT_TRUE(IsWindow(w->handle()));
    byId(w, 14)->setEnabled(false);
    key(VK_RETURN);
    drain();
    EXPECT_EQ(defaults.count(), 1) << "a disabled default button takes no Enter";
    EXPECT_EQ(other.count(), 0);

    // Without a cancel button Alt+F4 is ignored: the window stays.
    byId(w, 15)->setVisible(false);
    key(VK_F4, VK_MENU);
    drain();
    EXPECT_TRUE(IsWindow(w->handle()) && IsWindowVisible(w->handle()));
}

TEST_F(Keyboard, ArrowsChooseWithinARadioGroupAndStepASlider) {
    auto* first = as<RadioButton>(w, 30);
    Counter checks(byId(w, 31), event::ValueChange);
    w->setFocusedControl(first);
    key(VK_RIGHT);
    drain();
    EXPECT_EQ(focusedId(), 31);
    EXPECT_TRUE(byId(w, 31)->hasFlag(flag::checked));
    EXPECT_EQ(checks.count(), 1);
    key(VK_RIGHT);
    EXPECT_EQ(focusedId(), 30) << "the group wraps around";

    auto* slider = as<Slider>(w, 40);
    w->setFocusedControl(slider);
    const int32_t before = slider->value();
    key(VK_RIGHT);
    key(VK_RIGHT);
    key(VK_LEFT);
    EXPECT_EQ(slider->value(), before + 1);
}

TEST_F(Keyboard, ALabelAScriptMadeLiveIsALinkThatEnterPresses) {
    Control* label = byId(w, 50);
    EXPECT_EQ(label->accessibleRole(), ROLE_SYSTEM_STATICTEXT);
    label->setFlag(flag::transparent, false);
    label->addDelegate(event::QueryCursor, nullptr, showHand);
    Recorder presses(label);
    label->addDelegate(event::LButtonDown, nullptr, nothing);
    EXPECT_EQ(label->accessibleRole(), ROLE_SYSTEM_LINK);
    EXPECT_TRUE(label->accessibleState() & STATE_SYSTEM_FOCUSABLE);
    EXPECT_EQ(tabs(5).back(), 50) << "a link takes a place in the order";
    key(VK_RETURN);
    EXPECT_EQ(presses.seen, (std::vector<int32_t>{event::PrevLButtonDown, event::LButtonDown,
                                                  event::PrevLButtonUp, event::LButtonUp}));
}

TEST_F(Keyboard, TheFocusRingShowsOnlyAfterAKeyAndFollowsTheFocus) {
    auto ringAt = [&](int id) {
        const RECT r = w->focusRingRect(byId(w, id));
        return bufferPixel(w, r.left, (r.top + r.bottom) / 2);
    };
    const uint32_t ring = (GetRValue(WindowImpl::kFocusRingColor) << 16) |
                          (GetGValue(WindowImpl::kFocusRingColor) << 8) |
                          GetBValue(WindowImpl::kFocusRingColor);
    const uint32_t background = pixel(w, 410, 230);
    w->setFocusedControl(byId(w, 10));
    settle(w);
    EXPECT_FALSE(w->focusCuesShown());
    EXPECT_EQ(ringAt(10), background) << "a mouse user sees no ring";

    key(VK_TAB);
    ASSERT_EQ(focusedId(), 20);
    EXPECT_TRUE(w->focusCuesShown());
    EXPECT_EQ(ringAt(20), ring);
    EXPECT_EQ(ringAt(10), background) << "the ring left the control the focus left";
    key(VK_TAB, VK_SHIFT);
    EXPECT_EQ(ringAt(10), ring);
    EXPECT_EQ(ringAt(20), background);
}
