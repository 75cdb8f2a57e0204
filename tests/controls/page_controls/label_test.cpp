// Labels, links, images and separators: text measure with padding, text colour and alignment,
// image measure and stretching, mouse transparency, and a link that opens on the press.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "controls/label.h"
#include "page_fixture.h"
#include "render/skin_store.h"
#include "render/text.h"
#include "win_test_support.h"

using namespace pagetest;
using namespace testsupport;

namespace {

const char kLabels[] = R"(
<Canvas initSize="420,260">
  <Label id="10" x="10" y="10" text="Tarvo" padding="4,2,4,2"/>
  <Label id="11" x="10" y="40" padding="4,2,4,2"/>
  <Label id="12" x="10" y="60" text="Tarvo" font="Big"/>
  <Label id="13" x="10" y="110" width="300" height="24" text="IIII" color="#0000FF" textAlign="right"
         padding="0,0,20,0"/>
  <Label id="14" x="10" y="140" width="300" height="24" text="IIII" textAlign="center"/>
  <Image id="20" x="330" y="10" src="blue.png"/>
  <Image id="21" x="330" y="30" width="40" height="20" src="green.png"/>
  <Image id="22" x="330" y="60" src="missing.png"/>
  <Button id="30" x="10" y="180" width="120" height="30" style="button.xml"/>
  <Label id="31" x="10" y="180" width="60" height="30" text="over"/>
  <Seperator id="32" x="70" y="180" width="60" height="30" style="strip.xml"/>
  <LinkLabel id="40" x="200" y="180" width="80" height="30" text="link"/>
  <LinkLabel id="41" x="300" y="180" width="80" height="30" text="no url"/>
</Canvas>)";

// The extent of one line of text in a skin font, measured apart from the label.
SIZE extentOf(const wchar_t* text, const wchar_t* font) {
    HDC dc = textMeasureDC();
    auto selected = win::select_object(dc, findSkinFont(font));
    SIZE size{};
    GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
    return size;
}

void countPress(void* context, Control*, EventRecord&) {
    ++*static_cast<int*>(context);
}

class Labels : public PageTest {
  protected:
    void SetUp() override {
        PageTest::SetUp();
        w = open(kLabels);
        ASSERT_NE(w, nullptr);
    }
    // Columns (relative to the control) in which some pixel passes `is`.
    std::vector<int> columns(Control* c, bool (*is)(uint32_t)) {
        std::vector<int> out;
        EXPECT_TRUE(settle(w));
        RECT b{};
        c->windowRect(&b);
        for (int x = 0; x < b.right - b.left; ++x) {
            for (int y = 0; y < b.bottom - b.top; ++y) {
                if (is(bufferPixel(w, b.left + x, b.top + y))) {
                    out.push_back(x);
                    break;
                }
            }
        }
        return out;
    }
    WindowImpl* w = nullptr;
};

bool reddish(uint32_t p) {
    return ((p >> 16) & 0xFF) > 128 && ((p >> 8) & 0xFF) < 64 && (p & 0xFF) < 64;
}
bool inked(uint32_t p) {
    return p != 0;
}

}  // namespace

TEST_F(Labels, MeasureIsTheTextExtentPlusThePadding) {
    const SIZE text = extentOf(L"Tarvo", L"Default");
    ASSERT_GT(text.cx, 0);
    EXPECT_EQ(byId(w, 10)->desiredSize().cx, text.cx + 8);
    EXPECT_EQ(byId(w, 10)->desiredSize().cy, text.cy + 4);
    EXPECT_EQ(byId(w, 11)->desiredSize().cx, 8) << "no text: the padding alone";
    EXPECT_EQ(byId(w, 11)->desiredSize().cy, 4);
    const SIZE big = extentOf(L"Tarvo", L"Big");
    EXPECT_GT(big.cy, text.cy);
    EXPECT_EQ(byId(w, 12)->desiredSize().cx, big.cx) << "measured in the label's own font";
    EXPECT_EQ(byId(w, 12)->desiredSize().cy, big.cy);
}

TEST_F(Labels, TextIsDrawnInItsColourAlignedInsideThePadding) {
    const std::vector<int> red = columns(byId(w, 13), reddish);
    ASSERT_FALSE(red.empty()) << "\"#0000FF\" reads blue, green, red: red text";
    const int width = extentOf(L"IIII", L"Default").cx;
    EXPECT_GE(red.front(), 300 - 20 - width - 1) << "right-aligned";
    EXPECT_LT(red.back(), 300 - 20) << "nothing in the right padding";

    const std::vector<int> ink = columns(byId(w, 14), inked);
    ASSERT_FALSE(ink.empty());
    EXPECT_LE(std::abs((ink.front() + ink.back()) / 2 - 150), 3) << "centred";
    // The default colour 0x0092794D has more blue than green and more green than red.
    auto sum = [](uint32_t p) { return (p >> 16) + ((p >> 8) & 0xFF) + (p & 0xFF); };
    RECT area{};
    byId(w, 14)->windowRect(&area);
    uint32_t strongest = 0;
    for (int x : ink) {
        for (int y = 0; y < 24; ++y) {
            const uint32_t p = bufferPixel(w, area.left + x, area.top + y);
            if (sum(p) > sum(strongest))
                strongest = p;
        }
    }
    const uint32_t r = strongest >> 16, g = (strongest >> 8) & 0xFF, b = strongest & 0xFF;
    EXPECT_GT(b, g);
    EXPECT_GT(g, r);
}

TEST_F(Labels, ImagesMeasureAsTheirPictureAndStretchOverTheirBounds) {
    EXPECT_EQ(byId(w, 20)->desiredSize().cx, 8);
    EXPECT_EQ(byId(w, 20)->desiredSize().cy, 8);
    EXPECT_EQ(pixelIn(w, byId(w, 20), 7, 7), kBlue);
    EXPECT_EQ(pixelIn(w, byId(w, 21), 39, 19), kGreen) << "stretched to 40 x 20";
    EXPECT_EQ(byId(w, 22)->desiredSize().cx, 0) << "a missing image measures 0 by 0";
    EXPECT_EQ(byId(w, 22)->desiredSize().cy, 0);
}

TEST_F(Labels, LabelsSeparatorsAndImagesLetTheMouseThrough) {
    Control* button = byId(w, 30);
    Counter clicks(button, event::Click);
    EXPECT_EQ(pixelIn(w, byId(w, 32), 5, 5), kPurple) << "a separator shows its style";
    clickAt(w, centreOf(w, byId(w, 31)));
    clickAt(w, centreOf(w, byId(w, 32)));
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(Labels, ALinkOpensOnThePressAndKeepsThePressToItself) {
    const std::wstring target = selfFolder() + L"\\link_target.exe";
    const std::wstring marker = target + L".opened";
    DeleteFileW(marker.c_str());
    Control* link = byId(w, 40);
    link->setText(attr::url, target.c_str());
    int rootPresses = 0;
    w->root()->addDelegate(event::LButtonDown, &rootPresses, countPress);

    moveTo(w, centreOf(w, link));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    press(w);
    const RECT r = windowRect(w->handle());
    moveTo(w, POINT{r.right + 60, r.bottom + 60});
    release(w);
    EXPECT_TRUE(
        pumpUntil([&] { return GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES; }, kDeadline))
        << "released elsewhere, the link was still opened";
    EXPECT_EQ(rootPresses, 0);
    DeleteFileW(marker.c_str());
}

TEST_F(Labels, ALinkWithoutUrlStillShowsTheHandAndSwallowsThePress) {
    int rootPresses = 0;
    w->root()->addDelegate(event::LButtonDown, &rootPresses, countPress);
    moveTo(w, centreOf(w, byId(w, 41)));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    clickAt(w, centreOf(w, byId(w, 41)));
    EXPECT_EQ(rootPresses, 0);
    moveTo(w, centreOf(w, byId(w, 31)));
    EXPECT_NE(GetCursor(), LoadCursorW(nullptr, IDC_HAND)) << "a plain label is not a link";
    clickAt(w, centreOf(w, byId(w, 30)));
    EXPECT_EQ(rootPresses, 1) << "the press of a plain button bubbles to the root";
}
