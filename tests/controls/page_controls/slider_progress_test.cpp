// Slider geometry and input (press, drag past the ends, a drag handled late, hover over the thumb, the
// wheel) and the progress bar's range, position and clipped fill.
#include "controls/progress_bar.h"
#include "controls/slider.h"
#include "page_fixture.h"

using namespace pagetest;
using namespace testsupport;

namespace {

// The skin's slider thumb is 20 x 12; its track and bar images are 4 pixels high.
const char kPage[] = R"(
<Canvas initSize="400,220">
  <Slider id="10" x="20" y="20" width="220"/>
  <Slider id="11" x="300" y="20" height="120" orientation="vertical"/>
  <ProgressBar id="20" x="20" y="100" width="310" height="20" progressbkimg="grey.png"
               progressimg="green.png" progressmargin="5,3,5,3"/>
  <ProgressBar id="21" x="20" y="140" width="100" height="20" progressimg="green.png"/>
  <Slider id="12" x="20" y="180" width="20"/>
</Canvas>)";

class SliderAndProgress : public PageTest {
  protected:
    void SetUp() override {
        PageTest::SetUp();
        w = open(kPage);
        ASSERT_NE(w, nullptr);
        slider = as<Slider>(w, 10);
        ASSERT_NE(slider, nullptr);
    }
    // A point of the horizontal slider's middle row, x pixels from its left edge.
    POINT along(int x) { return pointIn(w, slider, x, 6); }

    WindowImpl* w = nullptr;
    Slider* slider = nullptr;
};

}  // namespace

TEST_F(SliderAndProgress, ThumbGeometryAndMeasure) {
    EXPECT_EQ(slider->bounds().bottom - slider->bounds().top, 12) << "as high as the thumb";
    const RECT thumb = slider->thumbRect();
    EXPECT_EQ(thumb.left, 100) << "value 50 of 100 in 220 pixels with a 20-pixel thumb";
    EXPECT_EQ(thumb.right, 120);
    EXPECT_EQ(pixelIn(w, slider, 101, 1), kRed);
    EXPECT_EQ(pixelIn(w, slider, 50, 5), kBlue) << "the track up to the thumb's centre";
    EXPECT_EQ(pixelIn(w, slider, 150, 5), kGrey) << "the bar after it";

    auto* column = as<Slider>(w, 11);
    ASSERT_NE(column, nullptr);
    EXPECT_EQ(column->bounds().right - column->bounds().left, 20) << "as wide as the thumb";
    const RECT upright = column->thumbRect();
    EXPECT_EQ(upright.top, (120 - 12) * 50 / 100);
    EXPECT_EQ(upright.bottom - upright.top, 12);
}

TEST_F(SliderAndProgress, PressAndDragSetTheValueAndPinItAtTheEnds) {
    Counter changes(slider, event::ValueChange);
    moveTo(w, along(60));
    press(w);
    EXPECT_EQ(slider->value(), 25) << "(60 - 10) * 100 / (220 - 20)";
    EXPECT_EQ(pixelIn(w, slider, 51, 1), kOrange) << "the pressed thumb";
    moveTo(w, along(210));
    EXPECT_EQ(slider->value(), 100);
    const int afterEnd = changes.count();
    moveTo(w, along(300));
    moveTo(w, along(400));
    EXPECT_EQ(slider->value(), 100);
    EXPECT_EQ(changes.count(), afterEnd) << "pinned: no change, no event";
    moveTo(w, along(-80));
    EXPECT_EQ(slider->value(), 0);
    release(w);
    EXPECT_EQ(changes.count(), afterEnd + 1);
    slider->setValue(0);
    EXPECT_EQ(changes.count(), afterEnd + 1);
}

// Press, drag and release are all queued before the window handles any of them, and the pointer has
// moved on by then: the value is the one at the release.
TEST_F(SliderAndProgress, ADragHandledLateEndsAtTheReleasePoint) {
    moveMouse(along(60));
    mouseDown();
    moveMouse(along(110));
    moveMouse(along(160));
    mouseUp();
    moveMouse(along(210));
    EXPECT_TRUE(
        pumpUntil([&] { return !slider->hasFlag(flag::pressed) && slider->value() == 75; }, kDeadline))
        << "(160 - 10) * 100 / (220 - 20), not " << slider->value();
}

TEST_F(SliderAndProgress, ATrackNoLongerThanTheThumbKeepsItsValue) {
    // The pointer's value would divide by the track less the thumb, here 0.
    auto* stub = as<Slider>(w, 12);
    ASSERT_NE(stub, nullptr);
    clickAt(w, centreOf(w, stub));
    EXPECT_EQ(stub->value(), 50);
    EXPECT_EQ(stub->thumbRect().left, 0);
}

TEST_F(SliderAndProgress, OneWheelNotchMovesTheValueByTwo) {
    Counter changes(slider, event::ValueChange);
    moveTo(w, along(30));
    wheel(1);
    EXPECT_TRUE(pumpUntil([&] { return slider->value() == 52; }, kDeadline));
    wheel(-2);
    EXPECT_TRUE(pumpUntil([&] { return slider->value() == 48; }, kDeadline));
    EXPECT_EQ(changes.count(), 2);
    slider->setFlag(flag::wheelAdjust, false);
    wheel(1);
    drain();
    pumpFor(50);
    EXPECT_EQ(slider->value(), 48) << "without wheel-adjust the wheel does nothing";
}

TEST_F(SliderAndProgress, HoveringTheThumbShowsItsOverSkin) {
    moveTo(w, along(110));
    EXPECT_TRUE(slider->hasFlag(flag::checked));
    EXPECT_EQ(pixelIn(w, slider, 101, 1), kYellow);
    moveTo(w, along(30));
    EXPECT_FALSE(slider->hasFlag(flag::checked)) << "over the track, not the thumb";
    EXPECT_EQ(pixelIn(w, slider, 101, 1), kRed);
    moveTo(w, along(110));
    const RECT r = windowRect(w->handle());
    moveTo(w, POINT{r.right + 60, r.bottom + 60});
    EXPECT_TRUE(pumpUntil([&] { return !slider->hasFlag(flag::checked); }, kDeadline)) << "left the slider";
}

TEST_F(SliderAndProgress, PositionIsLimitedByTheRangeAndKeptWhenTheRangeGrows) {
    auto* bar = as<ProgressBar>(w, 20);
    ASSERT_NE(bar, nullptr);
    bar->setRange(100);
    bar->setPosition(150);
    EXPECT_EQ(bar->position(), 100);
    bar->setRange(200);
    EXPECT_EQ(bar->position(), 100);
    EXPECT_EQ(bar->range(), 200);
}

TEST_F(SliderAndProgress, TheFillShowsPositionOverRangeOfTheFillArea) {
    auto* bar = as<ProgressBar>(w, 20);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(pixelIn(w, bar, 6, 10), kGrey) << "no fill at position 0";
    bar->setRange(200);
    bar->setPosition(50);
    EXPECT_EQ(pixelIn(w, bar, 5, 10), kGreen);
    EXPECT_EQ(pixelIn(w, bar, 5 + 74, 10), kGreen) << "75 of 300 pixels";
    EXPECT_EQ(pixelIn(w, bar, 5 + 75, 10), kGrey);
    EXPECT_EQ(pixelIn(w, bar, 2, 10), kGrey) << "the margin shows the background";
    EXPECT_EQ(pixelIn(w, bar, 10, 1), kGrey);
    bar->setPosition(200);
    EXPECT_EQ(pixelIn(w, bar, 5 + 299, 10), kGreen);
    EXPECT_EQ(pixelIn(w, bar, 5 + 300, 10), kGrey);

    // A range in bytes of a large payload: width * position does not fit in 32 bits.
    bar->setRange(240000000);
    bar->setPosition(60000000);
    EXPECT_EQ(pixelIn(w, bar, 5 + 74, 10), kGreen);
    EXPECT_EQ(pixelIn(w, bar, 5 + 75, 10), kGrey);

    // An install of many files: a step that leaves the edge in its pixel asks for no repaint.
    bar->setRange(40000);
    EXPECT_TRUE(settle(w));
    bar->setPosition(10000);
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, w->handle(), kRepaintMessage, kRepaintMessage, PM_NOREMOVE));
    EXPECT_TRUE(settle(w));
    bar->setPosition(10001);
    EXPECT_FALSE(PeekMessageW(&msg, w->handle(), kRepaintMessage, kRepaintMessage, PM_NOREMOVE));
    EXPECT_EQ(pixelIn(w, bar, 5 + 74, 10), kGreen) << "a quarter of 300 pixels";
    EXPECT_EQ(pixelIn(w, bar, 5 + 75, 10), kGrey);

    auto* bare = as<ProgressBar>(w, 21);
    ASSERT_NE(bare, nullptr);
    bare->setPosition(1);
    EXPECT_EQ(pixelIn(w, bare, 99, 19), kGreen) << "without a margin the fill area is the whole bar";
}
