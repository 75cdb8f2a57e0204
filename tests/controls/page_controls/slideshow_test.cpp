// The slideshow: the fade weights and the byte blend, and a real run on the window's timer that shows
// image 0, fades to 1, to 2 and back to 0, skipping missing images and blending only equal sizes.
#include <map>

#include "controls/power_point.h"
#include "page_fixture.h"

using namespace pagetest;
using namespace testsupport;

namespace {

// Slides are 40 x 20: red, green, blue; slide_small.png is 20 x 10 cyan. The root is purple.
const char kShow[] = R"(
<Canvas initSize="200,100" style="strip.xml">
  <PowerPoint id="1" x="10" y="10" width="60" height="30" imagelist="slide0.png;slide1.png;slide2.png"/>
  <PowerPoint id="2" x="100" y="10" width="60" height="30"
              imagelist="slide0.png;missing.png;slide_small.png;"/>
</Canvas>)";

// One picture change takes 151 ticks of 30 ms; leave room for a busy machine.
constexpr DWORD kChangeDeadline = 20000;

uint32_t blendOf(uint32_t current, uint32_t previous, int weight) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t a = (current >> shift) & 0xFF, b = (previous >> shift) & 0xFF;
        out |= ((a * weight + b * (256 - weight)) >> 8) << shift;
    }
    return out;
}

}  // namespace

TEST(FadeWeights, ASineEaseFromZeroTo255OverFortyTicks) {
    const std::map<int, int> expected{{0, 0},  {1, 0},    {2, 1},    {3, 3},    {4, 6},    {5, 9},
                                      {6, 13}, {19, 117}, {20, 128}, {21, 138}, {38, 254}, {39, 255}};
    for (const auto& [count, weight] : expected) EXPECT_EQ(PowerPoint::fadeWeight(count), weight) << count;
}

TEST(FadeWeights, EveryByteAlphaIncludedIsMixedByTheWeight) {
    const uint32_t current[] = {0x80FF4020, 0xFFFFFFFF, 0x12345678};
    const uint32_t previous[] = {0x00102030, 0x00000000, 0x9ABCDEF0};
    uint32_t out[3] = {};
    PowerPoint::crossFade(out, current, previous, 3, 9);
    EXPECT_EQ(out[0], 0x0418212Fu);  // (a * 9 + b * 247) >> 8 per byte
    PowerPoint::crossFade(out, current, previous, 3, 0);
    EXPECT_EQ(out[2], previous[2]) << "weight 0 is the previous picture exactly";
    PowerPoint::crossFade(out, current, previous, 3, 255);
    EXPECT_EQ(out[1], 0xFEFEFEFEu) << "weight 255 never quite reaches the current picture";
}

class Slideshow : public PageTest {
  protected:
    void SetUp() override {
        PageTest::SetUp();
        w = open(kShow);
        ASSERT_NE(w, nullptr);
        show = as<PowerPoint>(w, 1);
        other = as<PowerPoint>(w, 2);
        ASSERT_TRUE(show && other);
    }
    void TearDown() override {
        if (show)
            show->playStop();
        if (other)
            other->playStop();
        PageTest::TearDown();
    }
    // Pumps until the show reaches `index`; every state seen on the way with a count below `watch`
    // is recorded with the pixel the window shows for it.
    bool runUntil(int32_t index, int32_t watch = 0) {
        seen.clear();
        return pumpUntil(
            [&] {
                drain();  // the repaint request of the tick just handled
                if (show->currentIndex() == index && show->tickCount() < watch) {
                    RECT r{};
                    show->windowRect(&r);
                    seen[show->tickCount()] = bufferPixel(w, r.left + 20, r.top + 10);
                }
                return show->currentIndex() == index && show->tickCount() >= watch;
            },
            kChangeDeadline);
    }

    WindowImpl* w = nullptr;
    PowerPoint* show = nullptr;
    PowerPoint* other = nullptr;
    std::map<int32_t, uint32_t> seen;  // tick count -> pixel
};

TEST_F(Slideshow, ZeroThenFadesToOneToTwoAndBackToZero) {
    EXPECT_EQ(show->imageCount(), 3u);
    EXPECT_EQ(other->imageCount(), 3u) << "a trailing \";\" names no image";
    EXPECT_EQ(show->frameSize().cx, 40);
    EXPECT_EQ(pixelIn(w, show, 20, 10), kRed) << "stopped: image 0 unblended";
    EXPECT_EQ(pixelIn(w, show, 45, 10), kPurple) << "drawn at the frame size, not stretched";

    show->playStart();
    other->playStart();
    EXPECT_TRUE(show->playing());
    EXPECT_EQ(show->tickCount(), 51) << "the count starts at 50 and the first tick comes at once";
    show->playStart();
    EXPECT_EQ(show->tickCount(), 51) << "starting a running show changes nothing";
    EXPECT_EQ(pixelIn(w, show, 20, 10), kRed) << "the first picture without a fade";

    ASSERT_TRUE(runUntil(1, 6));
    for (const auto& [count, shown] : seen)
        EXPECT_EQ(shown, blendOf(kGreen, kRed, PowerPoint::fadeWeight(count))) << "tick " << count;
    EXPECT_EQ(seen.count(0), 1u) << "the change itself was painted";
    // The two shows tick on timers of their own, which may drift apart by lost ticks.
    ASSERT_TRUE(pumpUntil([&] { return other->currentIndex() == 1; }, kChangeDeadline));
    EXPECT_EQ(pixelIn(w, other, 20, 10), kPurple) << "a missing image shows nothing";

    ASSERT_TRUE(runUntil(2, 3));
    for (const auto& [count, shown] : seen)
        EXPECT_EQ(shown, blendOf(kBlue, kGreen, PowerPoint::fadeWeight(count))) << "tick " << count;
    ASSERT_TRUE(pumpUntil([&] { return other->currentIndex() == 2; }, kChangeDeadline));
    EXPECT_EQ(pixelIn(w, other, 5, 5), kCyan) << "another size: shown as it is, not blended";
    EXPECT_EQ(pixelIn(w, other, 30, 15), kPurple);

    ASSERT_TRUE(runUntil(0, 3));
    for (const auto& [count, shown] : seen)
        EXPECT_EQ(shown, blendOf(kRed, kBlue, PowerPoint::fadeWeight(count))) << "tick " << count;
    show->playStop();
    EXPECT_FALSE(show->playing());
    EXPECT_EQ(pixelIn(w, show, 20, 10), kRed) << "stopped inside a fade: the current picture unblended";
}
