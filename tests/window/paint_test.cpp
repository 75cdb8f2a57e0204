// Painting: the dirty list of layered windows (containment, merging, the flush at twenty), plain
// windows painting only their invalid area through the back buffer, erase and print-client, layered
// pixels after partial repaints, the caret, and pictures of what a window shows.
#include <algorithm>
#include <vector>

#include <stb_image.h>

#include "dui/loader.h"
#include "dui/panels.h"
#include "render/skin_store.h"
#include "render/text.h"
#include "win_test_support.h"
#include "window_fixture.h"

using namespace windowtest;
using namespace testsupport;
using testsupport::Image;

namespace {

// Fills its rectangle with one colour and remembers every clip rectangle it was painted for; the next
// paint invalidates the areas it is given.
class PaintProbe : public Control {
  public:
    void paint(HDC dc, const RECT& rect, const RECT& clip) override {
        clips.push_back(clip);
        win::unique_hgdiobj brush(CreateSolidBrush(colour));
        FillRect(dc, &rect, static_cast<HBRUSH>(brush.get()));
        const std::vector<RECT> areas = std::move(invalidateWhilePainting);
        invalidateWhilePainting.clear();
        for (const RECT& area : areas) window()->addDirtyArea(area);
    }
    COLORREF colour = RGB(0, 0, 255);
    std::vector<RECT> clips;
    std::vector<RECT> invalidateWhilePainting;
};

PaintProbe* probeOf(int width, int height) {
    auto* probe = new PaintProbe;
    probe->setSize(attr::initSize, width, height);
    return probe;
}

bool sameRect(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != FALSE;
}

// 0xAARRGGBB of a back-buffer pixel.
uint32_t bufferPixel(const PaintSurface& surface, int x, int y) {
    GdiFlush();
    DIBSECTION section{};
    if (GetObjectW(surface.bitmap(), sizeof(section), &section) != sizeof(section))
        return 0xDEADBEEF;
    return static_cast<const uint32_t*>(section.dsBm.bmBits)[y * surface.width() + x];
}

// The test skin's opaque page image under a caption in a dark grey, as a page and its label draw.
class CaptionProbe : public Control {
  public:
    void paint(HDC dc, const RECT& rect, const RECT& clip) override {
        Control::paint(dc, rect, clip);
        drawTextWithFont(dc, rect, L"安装 Setup", findSkinFont(L"Title"), RGB(0x33, 0x33, 0x33),
                         DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
};

// The picture as an image viewer shows it, over white: 0xRRGGBB of each pixel.
std::vector<uint32_t> viewedOverWhite(const std::string& png, int* width, int* height) {
    int channels = 0;
    unsigned char* rgba = stbi_load_from_memory(reinterpret_cast<const unsigned char*>(png.data()),
                                                static_cast<int>(png.size()), width, height, &channels, 4);
    std::vector<uint32_t> out;
    if (!rgba)
        return out;
    for (int i = 0; i < *width * *height; ++i) {
        const unsigned char* p = rgba + i * 4;
        uint32_t word = 0;
        for (int c = 0; c < 3; ++c)
            word = word << 8 | static_cast<uint32_t>((p[c] * p[3] + 255 * (255 - p[3])) / 255);
        out.push_back(word);
    }
    stbi_image_free(rgba);
    return out;
}

}  // namespace

class Paint : public WindowTest {
  protected:
    // A layered window whose root is a probe, settled, with the probe's record emptied.
    WindowImpl* layeredProbe(PaintProbe** probe) {
        *probe = probeOf(200, 120);
        auto* window = new LayeredWindow(*probe);
        if (!create(window, 100, 100, WS_POPUP | WS_VISIBLE) || !settle(window))
            return nullptr;
        (*probe)->clips.clear();
        return window;
    }
};

// ---- The dirty list -------------------------------------------------------------------------------

TEST_F(Paint, TheSameRectangleTwiceIsOneDirtyArea) {
    PaintProbe* probe = nullptr;
    WindowImpl* w = layeredProbe(&probe);
    ASSERT_NE(w, nullptr);
    w->addDirtyArea(RECT{10, 10, 40, 30});
    w->addDirtyArea(RECT{10, 10, 40, 30});
    ASSERT_EQ(w->dirtyAreas().size(), 1);
    // A repaint request paints each area once and empties the list.
    SendMessageW(w->handle(), kRepaintMessage, 0, 0);
    EXPECT_TRUE(w->dirtyAreas().empty());
    ASSERT_EQ(probe->clips.size(), 1u);
    EXPECT_TRUE(sameRect(probe->clips[0], RECT{10, 10, 40, 30}));
    SendMessageW(w->handle(), kRepaintMessage, 0, 0);
    EXPECT_EQ(probe->clips.size(), 1u) << "an empty list paints nothing";
}

TEST_F(Paint, NeighboursOfTheSameWidthOrHeightMerge) {
    PaintProbe* probe = nullptr;
    WindowImpl* w = layeredProbe(&probe);
    ASSERT_NE(w, nullptr);
    w->addDirtyArea(RECT{10, 10, 50, 20});
    w->addDirtyArea(RECT{10, 20, 50, 30});  // touches below
    ASSERT_EQ(w->dirtyAreas().size(), 1);
    EXPECT_TRUE(sameRect(w->dirtyAreas()[0], RECT{10, 10, 50, 30}));
    w->addDirtyArea(RECT{10, 25, 50, 45});  // overlaps
    ASSERT_EQ(w->dirtyAreas().size(), 1);
    EXPECT_TRUE(sameRect(w->dirtyAreas()[0], RECT{10, 10, 50, 45}));
    w->addDirtyArea(RECT{50, 10, 70, 45});  // same top and bottom, touching on the right
    ASSERT_EQ(w->dirtyAreas().size(), 1);
    EXPECT_TRUE(sameRect(w->dirtyAreas()[0], RECT{10, 10, 70, 45}));
    w->addDirtyArea(RECT{10, 50, 70, 60});  // a gap of five rows: no merge
    EXPECT_EQ(w->dirtyAreas().size(), 2);
    w->addDirtyArea(RECT{11, 60, 70, 70});  // touching, but another left edge: no merge
    EXPECT_EQ(w->dirtyAreas().size(), 3);
}

TEST_F(Paint, ContainedAreasAreDroppedEitherWay) {
    PaintProbe* probe = nullptr;
    WindowImpl* w = layeredProbe(&probe);
    ASSERT_NE(w, nullptr);
    w->addDirtyArea(RECT{0, 0, 10, 10});
    w->addDirtyArea(RECT{50, 50, 60, 60});
    w->addDirtyArea(RECT{100, 0, 110, 10});
    w->addDirtyArea(RECT{52, 52, 58, 58});  // inside an existing one
    EXPECT_EQ(w->dirtyAreas().size(), 3);
    w->addDirtyArea(RECT{0, 0, 60, 60});  // contains the first two
    ASSERT_EQ(w->dirtyAreas().size(), 2);
    EXPECT_TRUE(sameRect(w->dirtyAreas()[0], RECT{100, 0, 110, 10})) << "the last entry moved into the hole";
    EXPECT_TRUE(sameRect(w->dirtyAreas()[1], RECT{0, 0, 60, 60}));
}

TEST_F(Paint, TheTwentyFirstAreaFlushesTheTwentyBeforeIt) {
    PaintProbe* probe = nullptr;
    WindowImpl* w = layeredProbe(&probe);
    ASSERT_NE(w, nullptr);
    // Twenty squares on a diagonal: none contains, touches or lines up with another.
    for (int i = 0; i < 20; ++i) w->addDirtyArea(RECT{i * 9, i * 5, i * 9 + 4, i * 5 + 3});
    ASSERT_EQ(w->dirtyAreas().size(), 20);
    EXPECT_TRUE(probe->clips.empty()) << "nothing painted before the list is full";
    probe->colour = RGB(0, 200, 0);
    w->addDirtyArea(RECT{190, 110, 198, 118});
    ASSERT_EQ(w->dirtyAreas().size(), 1) << "the twenty were flushed, the new one waits";
    EXPECT_TRUE(sameRect(w->dirtyAreas()[0], RECT{190, 110, 198, 118}));
    ASSERT_EQ(probe->clips.size(), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(sameRect(probe->clips[i], RECT{i * 9, i * 5, i * 9 + 4, i * 5 + 3}));
    // The flushed areas carry the new colour, the waiting one and the rest do not yet.
    EXPECT_EQ(bufferPixel(w->backBuffer(), 9 + 1, 5 + 1), 0x0000C800u);
    EXPECT_EQ(bufferPixel(w->backBuffer(), 192, 112), 0x000000FFu);
}

TEST_F(Paint, AreasInvalidatedWhilePaintingWaitForTheNextFlush) {
    PaintProbe* probe = nullptr;
    WindowImpl* w = layeredProbe(&probe);
    ASSERT_NE(w, nullptr);
    probe->invalidateWhilePainting = {RECT{150, 80, 160, 90}};
    w->addDirtyArea(RECT{10, 10, 40, 30});
    SendMessageW(w->handle(), kRepaintMessage, 0, 0);
    ASSERT_EQ(probe->clips.size(), 1u);
    ASSERT_EQ(w->dirtyAreas().size(), 1) << "the area invalidated by the paint was lost";
    EXPECT_TRUE(sameRect(w->dirtyAreas()[0], RECT{150, 80, 160, 90}));
    ASSERT_TRUE(settle(w)) << "no flush was asked for it";
    ASSERT_EQ(probe->clips.size(), 2u);
    EXPECT_TRUE(sameRect(probe->clips[1], RECT{150, 80, 160, 90}));

    // More areas than the list holds: kept (coarsely), never flushed inside the running flush.
    for (int i = 0; i < 25; ++i)
        probe->invalidateWhilePainting.push_back(RECT{i * 7, i * 4, i * 7 + 3, i * 4 + 2});
    w->addDirtyArea(RECT{190, 110, 198, 118});
    SendMessageW(w->handle(), kRepaintMessage, 0, 0);
    EXPECT_EQ(probe->clips.size(), 3u) << "a flush ran inside the flush";
    ASSERT_TRUE(settle(w));
    for (int i = 0; i < 25; ++i) {
        const RECT square{i * 7, i * 4, i * 7 + 3, i * 4 + 2};
        EXPECT_TRUE(std::any_of(probe->clips.begin() + 3, probe->clips.end(),
                                [&](const RECT& clip) {
                                    RECT both;
                                    return IntersectRect(&both, &clip, &square) && sameRect(both, square);
                                }))
            << "square " << i << " was not repainted";
    }
}

// ---- Plain windows --------------------------------------------------------------------------------

TEST_F(Paint, APlainWindowRepaintsOnlyTheInvalidAreaThroughTheBackBuffer) {
    PaintProbe* probe = probeOf(160, 100);
    auto* w = new WindowImpl(probe);
    ASSERT_NE(create(w, 100, 100, WS_POPUP | WS_VISIBLE), nullptr);
    ASSERT_TRUE(settle(w));
    ASSERT_EQ(waitScreenPixel(180, 150, 0x0000FF, kDeadline), 0x0000FFu) << "the first paint shows the tree";

    probe->clips.clear();
    probe->colour = RGB(255, 0, 0);
    w->addDirtyArea(RECT{10, 10, 40, 30});
    EXPECT_TRUE(w->dirtyAreas().empty()) << "plain windows keep no list";
    SendMessageW(w->handle(), kRepaintMessage, 0, 0);  // paints now
    ASSERT_EQ(probe->clips.size(), 1u);
    EXPECT_TRUE(sameRect(probe->clips[0], RECT{10, 10, 40, 30}));
    EXPECT_EQ(waitScreenPixel(100 + 20, 100 + 20, 0xFF0000, kDeadline), 0xFF0000u);
    EXPECT_EQ(screenPixel(100 + 60, 100 + 20), 0x0000FFu) << "outside the area nothing was copied";
}

// A progress bar fed by notifications: paced requests paint at most once a display frame (the
// window's timer paints what was held back), and the last state always reaches the screen.
TEST_F(Paint, PacedRequestsPaintOnceAFrameAndTheLastAreaAlwaysReachesTheScreen) {
    PaintProbe* probe = probeOf(160, 100);
    auto* w = new WindowImpl(probe);
    ASSERT_NE(create(w, 100, 100, WS_POPUP | WS_VISIBLE), nullptr);
    ASSERT_TRUE(settle(w));
    probe->clips.clear();
    probe->colour = RGB(255, 0, 0);
    const ULONGLONG start = GetTickCount64();
    constexpr int kRequests = 40;
    for (int i = 0; i < kRequests; ++i) {
        w->addDirtyArea(RECT{i * 3, 10, i * 3 + 3, 30});
        SendMessageW(w->handle(), kRepaintMessage, kRepaintPaced, 0);
    }
    const auto frames = static_cast<size_t>((GetTickCount64() - start) * 60 / 1000 + 2);
    EXPECT_LE(probe->clips.size(), frames) << "more than one paint a frame";
    ASSERT_TRUE(settle(w)) << "the held-back area was never painted";
    EXPECT_EQ(waitScreenPixel(100 + 118, 100 + 20, 0xFF0000, kDeadline), 0xFF0000u) << "the last area";
    EXPECT_EQ(screenPixel(100 + 1, 100 + 20), 0xFF0000u) << "the first area";
    EXPECT_EQ(screenPixel(100 + 130, 100 + 20), 0x0000FFu) << "outside every area";
}

TEST_F(Paint, EraseIsSkippedAndPrintClientPaintsTheTree) {
    PaintProbe* probe = probeOf(80, 60);
    probe->colour = RGB(0, 128, 0);
    auto* w = new WindowImpl(probe);
    ASSERT_NE(create(w, 100, 100, WS_POPUP), nullptr);
    auto screen = win::get_dc(nullptr);
    EXPECT_EQ(SendMessageW(w->handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(screen.get()), 0), 1);
    Image image;
    ASSERT_TRUE(captureWindow(w->handle(), &image));  // PrintWindow asks for WM_PRINTCLIENT
    EXPECT_EQ(image.at(40, 30) & 0xFFFFFF, 0x008000u);
}

// GDI text leaves the alpha byte of the 32-bit back buffer at 0 while images leave it at 255; a
// picture of the screen must not turn that byte into transparency, or dark captions on a light page
// turn white in every viewer.
TEST_F(Paint, APictureOfTheScreenKeepsDarkCaptionsDark) {
    auto* probe = new CaptionProbe;
    probe->setSize(attr::initSize, 240, 60);
    probe->setText(attr::style, L"page.xml");
    auto* w = new WindowImpl(probe);
    ASSERT_NE(create(w, 100, 100, WS_POPUP | WS_VISIBLE), nullptr);
    const RECT area{100, 100, 340, 160};
    ASSERT_EQ(waitScreenPixel(102, 102, 0xF0F0E8, kDeadline), 0xF0F0E8u) << "the page is on the screen";
    Image shot;
    ASSERT_TRUE(captureScreen(area, &shot));
    EXPECT_TRUE(std::all_of(shot.pixels.begin(), shot.pixels.end(), [](uint32_t p) {
        return p >> 24 == 0xFF;
    })) << "screen pixels are opaque";

    int width = 0, height = 0;
    const std::vector<uint32_t> seen = viewedOverWhite(encodePng(shot), &width, &height);
    ASSERT_EQ(width, 240);
    ASSERT_EQ(height, 60);
    const uint32_t page = seen[2 * width + 2];
    int dark = 0;
    for (uint32_t p : seen) dark += (p & 0xFF) < 0x60 && (p >> 8 & 0xFF) < 0x60 && (p >> 16) < 0x60;
    EXPECT_GT(dark, 40) << "the caption's strokes stay dark in the picture";
    EXPECT_EQ(page, 0xF0F0E8u) << "the page keeps its colour";

    Image printed;  // the same through PrintWindow
    ASSERT_TRUE(captureWindow(w->handle(), &printed));
    EXPECT_TRUE(std::all_of(printed.pixels.begin(), printed.pixels.end(),
                            [](uint32_t p) { return p >> 24 == 0xFF; }));
}

// ---- Layered windows ------------------------------------------------------------------------------

TEST_F(Paint, LayeredPixelsAfterPartialRepaints) {
    // A half-transparent red band with nothing below it, and a band that changes its style.
    WindowImpl* w = openLayered(R"(<Canvas initSize="200,100">
                                     <Grid id="2" x="20" y="20" width="60" height="40" style="half.xml"/>
                                     <Grid id="3" x="120" y="20" width="60" height="40" style="state.xml"/>
                                   </Canvas>)");
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(settle(w));
    const uint32_t halfRed = bufferPixel(w->backBuffer(), 40, 30);
    EXPECT_EQ(halfRed & 0xFFFF, 0u) << "red only";
    EXPECT_EQ(halfRed >> 24, (halfRed >> 16) & 0xFF) << "premultiplied: red as strong as the alpha";
    EXPECT_NEAR(static_cast<int>(halfRed >> 24), 128, 1) << "half transparent";
    EXPECT_EQ(bufferPixel(w->backBuffer(), 100, 80), 0u) << "fully transparent where nothing is drawn";
    // Repainting the band again and again must not darken it: each repaint starts from transparent.
    Control* band = byId(w, 2);
    for (int i = 0; i < 5; ++i) {
        band->invalidate(true);
        EXPECT_EQ(bufferPixel(w->backBuffer(), 40, 30), halfRed) << "repaint " << i;
    }
    // A partial repaint changes only its area, on screen too.
    const uint32_t before = screenPixel(100 + 150, 100 + 40);
    const uint32_t pageBefore = screenPixel(100 + 100, 100 + 80);
    byId(w, 3)->setText(attr::style, L"red.xml");
    byId(w, 3)->invalidate(true);
    EXPECT_EQ(bufferPixel(w->backBuffer(), 150, 40), 0xFFC03020u);
    EXPECT_NE(before, 0xC03020u);
    EXPECT_EQ(waitScreenPixel(100 + 150, 100 + 40, 0xC03020, kDeadline), 0xC03020u);
    EXPECT_EQ(screenPixel(100 + 100, 100 + 80), pageBefore);
}

// Repaints that come faster than the display refreshes are painted into the back buffer at once, but
// the screen gets at most one push a frame; what was held back reaches it without another repaint.
TEST_F(Paint, ARepaintStreamIsPushedAtMostOnceAFrameAndItsLastStateAlwaysShows) {
    WindowImpl* w = openLayered(R"(<Canvas initSize="200,100">
                                     <Grid id="3" x="120" y="20" width="60" height="40" style="state.xml"/>
                                   </Canvas>)");
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(settle(w));
    ASSERT_EQ(waitScreenPixel(100 + 150, 100 + 40, 0x2050C0, kDeadline), 0x2050C0u);
    Control* band = byId(w, 3);
    pumpFor(50);
    band->setText(attr::style, L"red.xml");
    band->invalidate(true);
    RECT held = w->heldBackArea();
    EXPECT_TRUE(IsRectEmpty(&held)) << "a repaint after a quiet spell is pushed at once";

    // Alternate quickly until a push is held back (a loaded machine may pause the loop for a frame).
    const wchar_t* styles[] = {L"state.xml", L"red.xml"};
    int i = 0;
    for (; i < 100 && IsRectEmpty(&held); ++i) {
        band->setText(attr::style, styles[i % 2]);
        band->invalidate(true);
        held = w->heldBackArea();
    }
    ASSERT_FALSE(IsRectEmpty(&held)) << "a repaint within a frame of the last push waits";
    EXPECT_TRUE(sameRect(held, RECT{120, 20, 180, 60})) << "what waits is the changed area";
    const bool red = (i - 1) % 2 == 1;
    EXPECT_EQ(bufferPixel(w->backBuffer(), 150, 40), red ? 0xFFC03020u : 0xFF2050C0u) << "painted at once";
    const uint32_t last = red ? 0xC03020 : 0x2050C0;
    EXPECT_EQ(waitScreenPixel(100 + 150, 100 + 40, last, kDeadline), last) << "the last state is pushed";
    EXPECT_TRUE(pumpUntil(
        [&] {
            held = w->heldBackArea();
            return IsRectEmpty(&held);
        },
        kDeadline));
}

TEST_F(Paint, ALayeredWindowWithFullyTransparentPixelsShowsWhatLiesBelow) {
    WindowImpl* below = open(R"(<Grid initSize="200,100" style="state.xml"/>)", 100, 100);
    ASSERT_NE(below, nullptr);
    ASSERT_TRUE(settle(below));
    WindowImpl* w = openLayered(R"(<Canvas initSize="200,100">
                                     <Grid x="0" y="0" width="100" height="100" style="red.xml"/>
                                   </Canvas>)");
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(settle(w));
    EXPECT_EQ(waitScreenPixel(100 + 50, 100 + 50, 0xC03020, kDeadline), 0xC03020u);
    EXPECT_EQ(waitScreenPixel(100 + 150, 100 + 50, 0x2050C0, kDeadline), 0x2050C0u)
        << "the window below shows through";
}

// ---- The caret ------------------------------------------------------------------------------------

TEST_F(Paint, TheCaretFirstHidesThenBlinksAndIsDrawnOverTheTree) {
    PaintProbe* probe = probeOf(120, 60);
    probe->colour = RGB(255, 255, 255);
    auto* w = new WindowImpl(probe);
    ASSERT_NE(create(w, 100, 100, WS_POPUP | WS_VISIBLE), nullptr);
    ASSERT_TRUE(settle(w));
    w->setCaretSize(2, 14);
    w->showCaret(10, 10);
    EXPECT_FALSE(w->caretVisible()) << "the first tick hides a caret that was not blinking";
    const DWORD blink = GetCaretBlinkTime();
    ASSERT_TRUE(pumpUntil([&] { return w->caretVisible(); }, blink * 3));
    EXPECT_EQ(waitScreenPixel(100 + 11, 100 + 15, 0x5A5A5A, kDeadline), 0x5A5A5Au);
    EXPECT_EQ(screenPixel(100 + 13, 100 + 15), 0xFFFFFFu);

    // Moving a blinking caret shows it at once at the new place.
    w->showCaret(40, 20);
    EXPECT_TRUE(w->caretVisible());
    EXPECT_EQ(waitScreenPixel(100 + 41, 100 + 25, 0x5A5A5A, kDeadline), 0x5A5A5Au);
    EXPECT_EQ(waitScreenPixel(100 + 11, 100 + 15, 0xFFFFFF, kDeadline), 0xFFFFFFu)
        << "the old place is repainted";

    w->hideCaret();
    EXPECT_FALSE(w->caretVisible());
    EXPECT_EQ(runningTimerCount(), 0u) << "hiding stops the blinking";
    EXPECT_EQ(waitScreenPixel(100 + 41, 100 + 25, 0xFFFFFF, kDeadline), 0xFFFFFFu);
}
