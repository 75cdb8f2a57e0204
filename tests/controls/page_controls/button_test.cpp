// The button family under real mouse input: when a press and release make a Click, checked toggling
// and radio checking, and the styles each class paints with in each state.
#include "controls/button.h"
#include "page_fixture.h"

using namespace pagetest;
using namespace testsupport;

namespace {

const char kButtons[] = R"(
<Canvas initSize="420,200">
  <Button id="10" x="20" y="20" width="80" height="40" style="button.xml"/>
  <Button id="11" x="120" y="20" width="80" height="40" style="button.xml"/>
  <ImageButton id="12" x="220" y="20" width="80" height="40" img="blue.png" style="pressonly.xml"/>
  <CheckBox id="20" x="20" y="80" width="80" height="30"/>
  <ToggleButton id="21" x="120" y="80" width="80" height="30" style="checkbox.xml"/>
  <ToggleIconButton id="22" x="220" y="80" width="80" height="30" style="checkbox.xml"/>
  <RadioButton id="30" x="20" y="140" width="80" height="30" style="red.xml"/>
  <RadioButton id="31" x="120" y="140" width="80" height="30"/>
</Canvas>)";

class Buttons : public PageTest {
  protected:
    void SetUp() override {
        PageTest::SetUp();
        w = open(kButtons);
        ASSERT_NE(w, nullptr);
    }
    // A point of the screen well outside the window.
    POINT outside() const {
        const RECT r = windowRect(w->handle());
        return POINT{r.right + 60, r.bottom + 60};
    }
    WindowImpl* w = nullptr;
};

}  // namespace

TEST_F(Buttons, ClickNeedsTheReleaseInsideAfterThePress) {
    Control* button = byId(w, 10);
    Counter clicks(button, event::Click);
    moveTo(w, centreOf(w, button));
    EXPECT_EQ(pixelIn(w, button, 5, 5), kYellow) << "hover shows overSkin";

    press(w);
    EXPECT_TRUE(button->hasFlag(flag::pressed));
    EXPECT_EQ(pixelIn(w, button, 5, 5), kOrange) << "a press shows downSkin";
    moveTo(w, outside());
    release(w);
    EXPECT_EQ(clicks.count(), 0) << "released outside";
    EXPECT_FALSE(button->hasFlag(flag::pressed));
    EXPECT_EQ(pixelIn(w, button, 5, 5), kGrey);

    moveTo(w, centreOf(w, button));
    press(w);
    moveTo(w, outside());
    moveTo(w, pointIn(w, button, 1, 1));
    release(w);
    ASSERT_EQ(clicks.count(), 1) << "dragged back inside before the release";
    EXPECT_EQ(clicks.at(flag::pressed), std::vector<bool>{false})
        << "Click is posted: it arrives after the release has been handled";
}

TEST_F(Buttons, AReleaseOverAnotherButtonClicksNeither) {
    Control* first = byId(w, 10);
    Control* second = byId(w, 11);
    Counter firstClicks(first, event::Click), secondClicks(second, event::Click);
    moveTo(w, centreOf(w, first));
    press(w);
    moveTo(w, centreOf(w, second));
    release(w);
    EXPECT_EQ(firstClicks.count(), 0);
    EXPECT_EQ(secondClicks.count(), 0);

    // The right edge is outside: a release on the last column but one clicks, on the edge it does not.
    moveTo(w, pointIn(w, first, 79, 39));
    press(w);
    release(w);
    EXPECT_EQ(firstClicks.count(), 1);
    press(w);
    moveTo(w, pointIn(w, first, 80, 20));
    release(w);
    EXPECT_EQ(firstClicks.count(), 1);
}

TEST_F(Buttons, AFastSecondClickIsASecondClick) {
    Control* button = byId(w, 10);
    Counter clicks(button, event::Click);
    doubleClick(centreOf(w, button));
    EXPECT_TRUE(pumpUntil([&] { return clicks.count() == 2; }, kDeadline));
}

TEST_F(Buttons, ADisabledButtonShowsDisabledSkinAndNeverClicks) {
    Control* button = byId(w, 10);
    button->setEnabled(false);
    Counter clicks(button, event::Click);
    EXPECT_EQ(pixelIn(w, button, 5, 5), kPurple);
    clickAt(w, centreOf(w, button));
    EXPECT_FALSE(button->hasFlag(flag::pressed));
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(pixelIn(w, button, 5, 5), kPurple);
}

TEST_F(Buttons, CheckBoxesAndTogglesFlipBeforeTheScriptSeesTheClick) {
    for (int32_t id : {20, 21, 22}) {
        SCOPED_TRACE(id);
        Control* box = byId(w, id);
        Counter changes(box, event::ValueChange), clicks(box, event::Click);
        EXPECT_EQ(pixelIn(w, box, 5, 5), kBlue);
        for (int i = 0; i < 3; ++i) clickAt(w, centreOf(w, box));
        EXPECT_TRUE(box->hasFlag(flag::checked));
        EXPECT_EQ(changes.count(), 3);
        EXPECT_EQ(clicks.at(flag::checked), (std::vector<bool>{true, false, true}))
            << "a handler added after construction sees the new state";
        moveTo(w, outside());
        EXPECT_EQ(pixelIn(w, box, 5, 5), kCyan) << "checked shows downSkin";
    }
}

TEST_F(Buttons, ARadioButtonOnlyEverChecksAndIgnoresItsStyle) {
    Control* radio = byId(w, 30);
    Control* other = byId(w, 31);
    Counter changes(radio, event::ValueChange), clicks(radio, event::Click);
    EXPECT_EQ(pixelIn(w, radio, 5, 5), kGreen) << "radiobutton.xml, not red.xml";

    clickAt(w, centreOf(w, radio));
    EXPECT_TRUE(radio->hasFlag(flag::checked));
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(clicks.count(), 1);
    clickAt(w, centreOf(w, radio));
    EXPECT_TRUE(radio->hasFlag(flag::checked)) << "a click never unchecks";
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(clicks.count(), 2);

    clickAt(w, centreOf(w, other));
    EXPECT_TRUE(other->hasFlag(flag::checked));
    EXPECT_TRUE(radio->hasFlag(flag::checked)) << "grouping is the script's work";
    moveTo(w, outside());
    EXPECT_EQ(pixelIn(w, radio, 5, 5), kMagenta);
}

TEST_F(Buttons, AnImageButtonDrawsItsImageUnderItsStyle) {
    Control* button = byId(w, 12);
    EXPECT_EQ(pixelIn(w, button, 40, 20), kBlue) << "the style draws nothing while up";
    moveTo(w, centreOf(w, button));
    press(w);
    EXPECT_EQ(pixelIn(w, button, 40, 20), kOrange) << "downSkin on top of the image";
    release(w);
    EXPECT_EQ(pixelIn(w, button, 40, 20), kBlue);
}
