// The skin store over in-memory archives: the font table, image and style caches, clearing.
#include "render/skin_store.h"
#include "render/text.h"
#include "render_fixture.h"

using namespace rendertest;

namespace {

LOGFONTW logfont(HFONT font) {
    LOGFONTW out{};
    EXPECT_EQ(GetObjectW(font, sizeof(out), &out), static_cast<int>(sizeof(out)));
    return out;
}

LOGFONTW stockFont() {
    LOGFONTW out{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(out), &out);
    return out;
}

}  // namespace

using SkinFonts = SkinTest;

TEST_F(SkinFonts, AttributesApplyOnTheStockGuiFontAndTheLaterNameWins) {
    loadSkin({{L"font.xml",
               "<fonts/>"  // the element name is not examined
               "<font name=\"Default\" face=\"Tahoma\" size=\"12\"/>\n"
               "<font name=\"Plain\" bold=\"false\" underline=\"yes\"/>\n"
               "<font name=\"Heavy\" bold=\"true\" underline=\"true\" size=\"20\"/>\n"
               "<x name=\"Default\" face=\"Microsoft YaHei\" size=\"14\" bold=\"TRUE\" colour=\"red\"/>\n"
               "<font face=\"Nameless\"/>\n"
               "<font name=\"\xE4\xB8\xA2\xE5\xA4\xB1\" size=\"9\"/>\n"  // 丢失: low byte of U+4E22 is '"'
               "<font name=\"Long\" face=\"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\"/>"}});
    const LOGFONTW stock = stockFont();

    HFONT plain = skin().findFont(L"Plain");
    ASSERT_NE(plain, nullptr);
    LOGFONTW p = logfont(plain);
    EXPECT_EQ(p.lfWeight, 400);
    EXPECT_EQ(p.lfUnderline, 0);
    EXPECT_EQ(p.lfHeight, stock.lfHeight);
    EXPECT_STREQ(p.lfFaceName, stock.lfFaceName);

    LOGFONTW heavy = logfont(skin().findFont(L"Heavy"));
    EXPECT_EQ(heavy.lfWeight, 700);
    EXPECT_EQ(heavy.lfUnderline, 1);
    EXPECT_EQ(heavy.lfHeight, -20);

    // The second "Default" replaced the first; its bold "TRUE" is not "true".
    LOGFONTW def = logfont(skin().findFont(L"Default"));
    EXPECT_STREQ(def.lfFaceName, L"Microsoft YaHei");
    EXPECT_EQ(def.lfHeight, -14);
    EXPECT_EQ(def.lfWeight, 400);

    LOGFONTW cjk = logfont(skin().findFont(L"\u4E22\u5931"));
    EXPECT_EQ(cjk.lfHeight, -9);
    EXPECT_EQ(cjk.lfWeight, stock.lfWeight) << "no bold attribute keeps the stock weight";

    EXPECT_STREQ(logfont(skin().findFont(L"Long")).lfFaceName, L"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234");

    EXPECT_EQ(skin().findFont(L"Nameless"), nullptr);
    EXPECT_EQ(skin().findFont(L"default"), nullptr);  // case-sensitive
    EXPECT_EQ(skin().findFont(L"default"), nullptr);  // remembered as unknown, still null
    EXPECT_EQ(skin().findFont(L""), nullptr);
}

TEST_F(SkinFonts, MissingOrBrokenFontTableGivesNoFonts) {
    loadSkin({{L"other.xml", "<font name=\"Default\"/>"}});
    EXPECT_EQ(skin().findFont(L"Default"), nullptr);
    loadSkin({{L"font.xml", "<font name=\"Default\" size=\"12\""}});  // not well-formed
    EXPECT_EQ(skin().findFont(L"Default"), nullptr);
    loadSkin({{L"font.xml", ""}});
    EXPECT_EQ(skin().findFont(L"Default"), nullptr);
    // A byte-order mark in front is accepted.
    loadSkin({{L"font.xml", "\xEF\xBB\xBF<font name=\"Default\" size=\"13\"/>"}});
    ASSERT_NE(skin().findFont(L"Default"), nullptr);
    EXPECT_EQ(logfont(skin().findFont(L"Default")).lfHeight, -13);

    // Nested deeper than the parser's recursion takes: refused like a table that is not well-formed
    // (this overflowed the stack), and so is a style entry nested that deep.
    std::string deep = "<font name=\"Default\" size=\"13\"/>";
    for (int i = 0; i < 20000; ++i) deep += "<a>";
    loadSkin({{L"font.xml", deep}, {L"deep.xml", "<style type=\"Button\">" + deep.substr(32)}});
    EXPECT_EQ(skin().findFont(L"Default"), nullptr);
    EXPECT_EQ(skin().findStyle(L"deep.xml"), nullptr);
}

using SkinImages = SkinTest;

TEST_F(SkinImages, ImagesAreDecodedOnceAndBadDataIsCachedWithoutABitmap) {
    loadSkin({{L"a.png", Rgba(3, 2, 0x112233FF).png()},
              {L"marked.png", "\x01" + Rgba(3, 2, 0x112233FF).png()},
              {L"junk.png", "not a picture"}});
    SkinImage* a = skin().findImage(L"a.png");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->width(), 3);
    EXPECT_EQ(skin().findImage(L"a.png"), a);
    SkinImage* marked = skin().findImage(L"marked.png");
    ASSERT_NE(marked, nullptr);
    EXPECT_EQ(marked->pixels()[5], a->pixels()[5]);

    SkinImage* junk = skin().findImage(L"junk.png");
    ASSERT_NE(junk, nullptr);
    EXPECT_EQ(junk->bitmap(), nullptr);
    EXPECT_EQ(skin().findImage(L"junk.png"), junk);

    EXPECT_EQ(skin().findImage(L"missing.png"), nullptr);
    EXPECT_EQ(skin().findImage(L"A.png"), nullptr);
    EXPECT_EQ(skin().findImage(L""), nullptr);
    EXPECT_EQ(skin().findStyle(L"missing.xml"), nullptr);

    // Clearing deletes the bitmaps; the store answers null until a skin is loaded again.
    HBITMAP bitmap = a->bitmap();
    skin().clearSkin();
    EXPECT_EQ(GetObjectType(bitmap), 0u);
    EXPECT_EQ(skin().findImage(L"a.png"), nullptr);
    EXPECT_FALSE(skin().hasArchive());
}

TEST_F(SkinImages, LoadingASecondSkinReplacesTheFirst) {
    loadSkin({{L"a.png", Rgba(3, 2, 0x112233FF).png()}, {L"font.xml", "<f name=\"One\"/>"}});
    ASSERT_NE(skin().findImage(L"a.png"), nullptr);
    ASSERT_NE(skin().findFont(L"One"), nullptr);
    loadSkin({{L"b.png", Rgba(1, 1, 0x112233FF).png()}});
    EXPECT_EQ(skin().findImage(L"a.png"), nullptr);
    EXPECT_EQ(skin().findFont(L"One"), nullptr);
    EXPECT_NE(skin().findImage(L"b.png"), nullptr);
    EXPECT_FALSE(skin().loadSkinArchive(nullptr, 0, nullptr));
    EXPECT_EQ(skin().findImage(L"b.png"), nullptr);
    EXPECT_FALSE(skin().loadSkin(L"no such resource"));
}

TEST_F(SkinFonts, TextTakesTheGivenColourPaintsNoBackgroundAndLeavesTheDcAsItWas) {
    loadSkin({{L"font.xml", "<font name=\"Big\" face=\"Microsoft YaHei\" size=\"24\"/>"}});
    PaintSurface surface;
    ASSERT_TRUE(surface.resize(120, 40));
    fillSurface(surface, 0xFF00FF00);
    HFONT before = static_cast<HFONT>(GetCurrentObject(surface.dc(), OBJ_FONT));
    SetTextColor(surface.dc(), RGB(1, 2, 3));
    drawTextWithFont(surface.dc(), RECT{0, 0, 120, 40}, L"\u4E2D\u6587 WM", skin().findFont(L"Big"),
                     RGB(255, 0, 0), DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EXPECT_EQ(GetCurrentObject(surface.dc(), OBJ_FONT), before) << "the previous font is selected again";
    EXPECT_EQ(GetTextColor(surface.dc()), RGB(1, 2, 3)) << "and the previous text colour";
    int red = 0, other = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x) {
            const uint32_t rgb = pixel(surface, x, y) & 0xFFFFFF;
            if (rgb == 0xFF0000)
                ++red;
            else if (rgb != 0x00FF00)
                ++other;  // anti-aliased edges
        }
    EXPECT_GT(red, 40) << "glyphs in the text colour";
    EXPECT_EQ(pixel(surface, 1, 1) & 0xFFFFFF, 0x00FF00u) << "no background box";
    EXPECT_EQ(pixel(surface, 118, 38) & 0xFFFFFF, 0x00FF00u);

    // The CJK face renders: the two ideographs are wider than two box glyphs would be narrow.
    SIZE extent{};
    {
        auto selected = win::select_object(surface.dc(), skin().findFont(L"Big"));
        GetTextExtentPoint32W(surface.dc(), L"\u4E2D\u6587", 2, &extent);
    }
    EXPECT_GE(extent.cx, 40);
    (void)other;
}
