// Image decoding, blitting, blending (with and without msimg32's AlphaBlend) and nine-grids, read back
// from a PaintSurface.
#include <cstdlib>

#include "host/ui_context.h"
#include "render/skin_image.h"
#include "render_fixture.h"

using namespace rendertest;

namespace {

SkinImage decoded(const Rgba& image) {
    SkinImage out;
    const std::string png = image.png();
    EXPECT_TRUE(out.decodeImage(png.data(), png.size()));
    return out;
}

int channelDistance(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        int d = std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
        worst = d > worst ? d : worst;
    }
    return worst;
}

// Runs a block once with AlphaBlend and once with the entry point removed from the context.
class BlendPaths : public SkinTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        SkinTest::SetUp();
        saved_ = uiContext()->alphaBlend;
        if (!GetParam())
            uiContext()->alphaBlend = nullptr;
    }
    void TearDown() override {
        uiContext()->alphaBlend = saved_;
        SkinTest::TearDown();
    }
    bool real() const { return GetParam(); }

  private:
    AlphaBlendFn saved_ = nullptr;
};

}  // namespace

TEST(ImageDecode, PremultipliesWithTruncationAndKeepsOpaqueWordsAsTheyAre) {
    Rgba image(3, 1, 0x102030FF);
    image.set(1, 0, 0xC8643380);  // r 200, g 100, b 51, a 128
    image.set(2, 0, 0xFFFFFF00);  // fully transparent white
    SkinImage decodedImage = decoded(image);
    ASSERT_NE(decodedImage.bitmap(), nullptr);
    EXPECT_EQ(decodedImage.width(), 3);
    EXPECT_EQ(decodedImage.height(), 1);
    EXPECT_TRUE(decodedImage.hasAlpha());
    EXPECT_EQ(decodedImage.pixels()[0], 0xFF102030u);
    EXPECT_EQ(decodedImage.pixels()[1], 0x80643219u);  // 100, 50, 25 after truncating division
    EXPECT_EQ(decodedImage.pixels()[2], 0x00000000u);

    // The section is top-down: the second row of a 1x2 image is the second word.
    Rgba tall(1, 2, 0x000000FF);
    tall.set(0, 1, 0xFF0000FF);
    SkinImage t = decoded(tall);
    EXPECT_EQ(t.pixels()[1], 0xFFFF0000u);
    EXPECT_FALSE(t.hasAlpha());
}

TEST(ImageDecode, MarkerByteIsSkippedAndBadDataLeavesNoBitmap) {
    Rgba image(4, 4, 0x336699FF);
    image.set(2, 3, 0x11223344);
    const std::string png = image.png();
    SkinImage plain, marked;
    ASSERT_TRUE(plain.decodeImage(png.data(), png.size()));
    const std::string withMarker = "\x01" + png;
    ASSERT_TRUE(marked.decodeImage(withMarker.data(), withMarker.size()));
    ASSERT_EQ(marked.width(), plain.width());
    ASSERT_EQ(marked.height(), plain.height());
    EXPECT_EQ(marked.hasAlpha(), plain.hasAlpha());
    for (int i = 0; i < 16; ++i) EXPECT_EQ(marked.pixels()[i], plain.pixels()[i]) << i;

    SkinImage bad;
    const char junk[] = "this is not an image";
    EXPECT_FALSE(bad.decodeImage(junk, sizeof(junk)));
    EXPECT_EQ(bad.bitmap(), nullptr);
    EXPECT_FALSE(bad.decodeImage("\x01", 1));
    EXPECT_FALSE(bad.decodeImage(nullptr, 0));

    PaintSurface surface;
    ASSERT_TRUE(surface.resize(4, 4));
    fillSurface(surface, 0xFF0000FF);
    EXPECT_FALSE(bad.drawImage(surface.dc(), 0, 0, 4, 4, 0, 0, 4, 4));
    EXPECT_FALSE(bad.drawNineGrid(surface.dc(), RECT{0, 0, 4, 4}, RECT{1, 1, 1, 1}));
    EXPECT_EQ(pixel(surface, 2, 2), 0xFF0000FFu);

    // A second decode replaces the first image completely.
    ASSERT_TRUE(plain.decodeImage(Rgba(2, 1, 0x000000FF).png().data(), Rgba(2, 1, 0x000000FF).png().size()));
    EXPECT_EQ(plain.width(), 2);
    EXPECT_FALSE(plain.hasAlpha());
}

TEST_P(BlendPaths, OpaqueImageOverwritesAndOneTranslucentPixelSwitchesToBlending) {
    PaintSurface surface;
    ASSERT_TRUE(surface.resize(8, 8));

    // Opaque: every word is copied, the surface's own alpha byte included.
    fillSurface(surface, 0x80FFFFFF);
    SkinImage opaque = decoded(Rgba(2, 2, 0x204060FF));
    EXPECT_FALSE(opaque.hasAlpha());
    EXPECT_TRUE(opaque.drawImage(surface.dc(), 0, 0, 4, 4, 0, 0, 2, 2));
    EXPECT_EQ(pixel(surface, 0, 0), 0xFF204060u);
    EXPECT_EQ(pixel(surface, 3, 3), 0xFF204060u);
    EXPECT_EQ(pixel(surface, 4, 4), 0x80FFFFFFu);  // outside the destination

    // Alpha 254 on one pixel: blended over white, every other pixel still lands as it is.
    fillSurface(surface, 0xFFFFFFFF);
    Rgba mostly(2, 1, 0x000000FF);
    mostly.set(1, 0, 0x000000FE);
    SkinImage blended = decoded(mostly);
    EXPECT_TRUE(blended.hasAlpha());
    EXPECT_TRUE(blended.drawImage(surface.dc(), 0, 0, 2, 1, 0, 0, 2, 1));
    EXPECT_EQ(pixel(surface, 0, 0) & 0xFFFFFF, 0u);
    // A copy would leave 0xFE000000; blending lets 1/255 of the white through.
    EXPECT_LE(channelDistance(pixel(surface, 1, 0), 0xFF010101u), 1) << std::hex << pixel(surface, 1, 0);

    // Half alpha: 100, 50, 25 premultiplied over white gives about 227, 177, 152.
    fillSurface(surface, 0xFFFFFFFF);
    SkinImage half = decoded(Rgba(1, 1, 0xC8643380));
    EXPECT_TRUE(half.drawImage(surface.dc(), 2, 2, 2, 2, 0, 0, 1, 1));
    const uint32_t expected = 0xFFE3B198;
    if (real())
        EXPECT_LE(channelDistance(pixel(surface, 3, 3), expected), 1) << std::hex << pixel(surface, 3, 3);
    else
        EXPECT_EQ(pixel(surface, 3, 3), expected);
    EXPECT_EQ(pixel(surface, 1, 1), 0xFFFFFFFFu);

    // Fully transparent pixels leave what lies beneath.
    fillSurface(surface, 0xFF123456);
    SkinImage clear = decoded(Rgba(2, 2, 0xFFFFFF00));
    EXPECT_TRUE(clear.drawImage(surface.dc(), 0, 0, 8, 8, 0, 0, 2, 2));
    EXPECT_EQ(pixel(surface, 5, 5), 0xFF123456u);
}

TEST_P(BlendPaths, BlendingHonoursTheClipRegionAndStretches) {
    PaintSurface surface;
    ASSERT_TRUE(surface.resize(10, 10));
    fillSurface(surface, 0xFF000000);
    Rgba image(2, 2, 0xFF0000C0);  // translucent red, so the blending path runs
    image.set(1, 0, 0x00FF00C0);
    image.set(0, 1, 0x0000FFC0);
    image.set(1, 1, 0xFFFFFFC0);
    SkinImage blended = decoded(image);
    {
        auto saved = win::save_dc(surface.dc());
        win::unique_hrgn clip(CreateRectRgn(0, 0, 5, 10));
        SelectClipRgn(surface.dc(), clip.get());
        EXPECT_TRUE(blended.drawImage(surface.dc(), 0, 0, 8, 8, 0, 0, 2, 2));
    }
    // 0xC0 * 0xFF / 255 = 0xC0 premultiplied, over black stays 0xC0.
    EXPECT_LE(channelDistance(pixel(surface, 1, 1), 0xFFC00000u), 1) << std::hex << pixel(surface, 1, 1);
    EXPECT_LE(channelDistance(pixel(surface, 1, 6), 0xFF0000C0u), 1) << std::hex << pixel(surface, 1, 6);
    EXPECT_LE(channelDistance(pixel(surface, 3, 1), 0xFFC00000u), 1);  // source column 0 covers x 0-3
    EXPECT_LE(channelDistance(pixel(surface, 4, 1), 0xFF00C000u), 1);  // column 1 from x 4, clipped at 5
    EXPECT_EQ(pixel(surface, 6, 1), 0xFF000000u);                      // clipped away
    EXPECT_EQ(pixel(surface, 6, 6), 0xFF000000u);
    EXPECT_EQ(pixel(surface, 1, 9), 0xFF000000u);  // below the destination

    // A source rectangle outside the image draws nothing.
    EXPECT_FALSE(blended.drawImage(surface.dc(), 0, 0, 2, 2, 1, 1, 2, 2));
    EXPECT_FALSE(blended.drawImage(surface.dc(), 0, 0, 0, 2, 0, 0, 2, 2));
}

// Corners red (top-left), green (top-right), blue (bottom-right), yellow (bottom-left); edges and the
// centre grey; the image is 30 x 30 with margins of 10.
Rgba quadrants(uint8_t alpha) {
    Rgba image(30, 30, 0x808080FF);
    auto a = [alpha](uint32_t rgb) { return rgb << 8 | alpha; };
    image.fill(0, 0, 30, 30, a(0x808080));
    image.fill(0, 0, 10, 10, a(0xFF0000));
    image.fill(20, 0, 10, 10, a(0x00FF00));
    image.fill(20, 20, 10, 10, a(0x0000FF));
    image.fill(0, 20, 10, 10, a(0xFFFF00));
    image.fill(10, 0, 10, 10, a(0x400000));   // top edge
    image.fill(20, 10, 10, 10, a(0x004000));  // right edge
    image.fill(10, 20, 10, 10, a(0x000040));  // bottom edge
    image.fill(0, 10, 10, 10, a(0x404000));   // left edge
    return image;
}

TEST_P(BlendPaths, NineGridKeepsCornersAndSkipsTheCentreOfASmallDestination) {
    for (uint8_t alpha : {uint8_t(255), uint8_t(254)}) {
        SCOPED_TRACE(alpha);
        SkinImage grid = decoded(quadrants(alpha));
        ASSERT_EQ(grid.hasAlpha(), alpha != 255);
        PaintSurface surface;
        ASSERT_TRUE(surface.resize(20, 20));
        fillSurface(surface, 0xFF000000);
        EXPECT_TRUE(grid.drawNineGrid(surface.dc(), RECT{0, 0, 15, 15}, RECT{10, 10, 10, 10}));
        // Alpha 254 premultiplies every channel down by about one step.
        auto is = [&](int x, int y, uint32_t rgb) {
            return channelDistance(pixel(surface, x, y) & 0xFFFFFF, rgb) <= 2;
        };
        EXPECT_TRUE(is(2, 2, 0xFF0000));    // top-left corner
        EXPECT_TRUE(is(12, 2, 0x00FF00));   // top-right corner, drawn after the top-left
        EXPECT_TRUE(is(12, 12, 0x0000FF));  // bottom-right
        EXPECT_TRUE(is(2, 12, 0xFFFF00));   // bottom-left, drawn last
        EXPECT_TRUE(is(7, 7, 0xFFFF00));    // the overlap shows the last corner drawn
        EXPECT_TRUE(is(7, 2, 0x00FF00));
        EXPECT_TRUE(is(12, 7, 0x0000FF));
        EXPECT_TRUE(is(16, 16, 0));  // outside
        for (int y = 0; y < 15; ++y)
            for (int x = 0; x < 15; ++x) ASSERT_FALSE(is(x, y, 0x808080)) << x << "," << y;  // no centre

        // A roomy destination: corners unscaled, edges stretched along one axis, centre both.
        ASSERT_TRUE(surface.resize(60, 40));
        fillSurface(surface, 0xFF000000);
        EXPECT_TRUE(grid.drawNineGrid(surface.dc(), RECT{5, 5, 55, 35}, RECT{10, 10, 10, 10}));
        EXPECT_TRUE(is(5, 5, 0xFF0000));
        EXPECT_TRUE(is(14, 14, 0xFF0000));
        EXPECT_TRUE(is(15, 5, 0x400000));  // top edge from x 15 to 44
        EXPECT_TRUE(is(44, 14, 0x400000));
        EXPECT_TRUE(is(45, 5, 0x00FF00));  // top-right corner at 45..54
        EXPECT_TRUE(is(54, 34, 0x0000FF));
        EXPECT_TRUE(is(50, 20, 0x004000));  // right edge
        EXPECT_TRUE(is(30, 30, 0x000040));  // bottom edge
        EXPECT_TRUE(is(8, 20, 0x404000));   // left edge
        EXPECT_TRUE(is(30, 20, 0x808080));  // centre
        EXPECT_TRUE(is(4, 4, 0));
        EXPECT_TRUE(is(55, 35, 0));
    }
}

TEST(OwnComposite, OtherTargetsGoThroughAReadBackAndKeepTheirMapping) {
    Rgba image(2, 1, 0xFF0000FF);
    image.set(1, 0, 0x0000FF80);  // half-transparent blue
    const std::string png = image.png();
    SkinImage blended;
    ASSERT_TRUE(blended.decodeImage(png.data(), png.size()));
    ASSERT_EQ(blended.pixels()[1], 0x80000080u);

    // A moved viewport origin: the composite lands where AlphaBlend would put it.
    PaintSurface surface;
    ASSERT_TRUE(surface.resize(8, 4));
    fillSurface(surface, 0xFFFFFFFF);
    {
        auto saved = win::save_dc(surface.dc());
        SetViewportOrgEx(surface.dc(), 3, 1, nullptr);
        EXPECT_TRUE(compositeOver(surface.dc(), 0, 0, 2, 1, blended.pixels(), 2, 1, 0, 0, 2, 1));
    }
    EXPECT_EQ(pixel(surface, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(pixel(surface, 3, 1), 0xFFFF0000u);
    EXPECT_EQ(pixel(surface, 4, 1), 0xFF7F7FFFu) << std::hex << pixel(surface, 4, 1);

    // A device-dependent bitmap has no bits to write into: read back, blend, blit.
    win::unique_hdc dc(CreateCompatibleDC(nullptr));
    win::unique_hbitmap ddb(CreateCompatibleBitmap(win::get_dc(nullptr).get(), 4, 1));
    ASSERT_TRUE(ddb);
    auto selected = win::select_object(dc.get(), ddb.get());
    RECT all{0, 0, 4, 1};
    FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    EXPECT_TRUE(compositeOver(dc.get(), 1, 0, 2, 1, blended.pixels(), 2, 1, 0, 0, 2, 1));
    EXPECT_EQ(GetPixel(dc.get(), 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc.get(), 1, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc.get(), 2, 0), RGB(127, 127, 255));

    EXPECT_FALSE(compositeOver(dc.get(), 0, 0, 1, 1, nullptr, 2, 1, 0, 0, 1, 1));
    EXPECT_FALSE(compositeOver(dc.get(), 0, 0, 1, 1, blended.pixels(), 2, 1, 1, 0, 2, 1));
}

INSTANTIATE_TEST_SUITE_P(AlphaBlend, BlendPaths, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "msimg32" : "ownComposite";
                         });

TEST(PaintSurfaceTest, ResizeKeepsTheSectionForTheSameSizeAndReleaseIsRepeatable) {
    PaintSurface surface;
    surface.release();  // nothing held
    ASSERT_TRUE(surface.resize(30, 20));
    HBITMAP first = surface.bitmap();
    HDC firstDc = surface.dc();
    EXPECT_EQ(GetBkMode(surface.dc()), TRANSPARENT);
    BITMAP info{};
    ASSERT_EQ(GetObjectW(first, sizeof(info), &info), static_cast<int>(sizeof(info)));
    EXPECT_EQ(info.bmWidth, 30);
    EXPECT_EQ(info.bmHeight, 20);
    EXPECT_EQ(info.bmBitsPixel, 32);
    EXPECT_EQ(GetCurrentObject(surface.dc(), OBJ_BITMAP), first);

    ASSERT_TRUE(surface.resize(30, 20));
    EXPECT_EQ(surface.bitmap(), first);
    EXPECT_EQ(surface.dc(), firstDc);

    ASSERT_TRUE(surface.resize(31, 20));
    EXPECT_EQ(surface.width(), 31);
    EXPECT_EQ(GetObjectType(first), 0u) << "the old section is deleted";
    EXPECT_EQ(GetBkMode(surface.dc()), TRANSPARENT);

    // Top-down: a pixel set with SetPixel at row 0 is the first word.
    SetPixel(surface.dc(), 0, 0, RGB(1, 2, 3));
    EXPECT_EQ(pixel(surface, 0, 0) & 0xFFFFFF, 0x010203u);

    surface.release();
    surface.release();
    EXPECT_EQ(surface.bitmap(), nullptr);
    EXPECT_FALSE(surface.resize(0, 5));
    EXPECT_EQ(surface.bitmap(), nullptr);
}
