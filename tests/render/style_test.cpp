// Style parsing and the paint of each style class, read back from a PaintSurface.
#include <algorithm>

#include "dui/context_parts.h"
#include "dui/control.h"
#include "dui/factory.h"
#include "dui/style.h"
#include "host/ui_context.h"
#include "render_fixture.h"

using namespace rendertest;

namespace {

std::string solid(int w, int h, uint32_t rgb) {
    return Rgba(w, h, rgb << 8 | 0xFF).png();
}

const char* kFonts =
    "<font name=\"Default\" face=\"Microsoft YaHei\" size=\"16\"/>"
    "<font name=\"Big\" face=\"Microsoft YaHei\" size=\"22\" bold=\"true\"/>";

std::string styleXml(const char* type, const char* attributes) {
    return std::string("<style type=\"") + type + "\"><a " + attributes + "/></style>";
}

// Pixels of exactly this colour (alpha ignored), and their bounding box.
struct Found {
    int count = 0;
    RECT box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
};
Found find(const PaintSurface& s, uint32_t rgb) {
    Found f;
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x)
            if ((pixel(s, x, y) & 0xFFFFFF) == rgb) {
                ++f.count;
                f.box.left = std::min<LONG>(f.box.left, x);
                f.box.top = std::min<LONG>(f.box.top, y);
                f.box.right = std::max<LONG>(f.box.right, x + 1);
                f.box.bottom = std::max<LONG>(f.box.bottom, y + 1);
            }
    return f;
}

// A slider or scroll bar stand-in that hands its parts to the style.
class PartsControl : public Control, public StyleParts {
  public:
    RECT thumb{0, 0, 0, 0}, up{0, 0, 0, 0}, down{0, 0, 0, 0};
    uint32_t states = 0;
    RECT thumbRect() const override { return thumb; }
    RECT upArrowRect() const override { return up; }
    RECT downArrowRect() const override { return down; }
    uint32_t partStates() const override { return states; }
};

class Styles : public SkinTest {
  protected:
    void SetUp() override {
        SkinTest::SetUp();
        ASSERT_TRUE(surface.resize(120, 40));
        fillSurface(surface, 0xFF000000);
    }
    void paint(const wchar_t* styleName, const Control& control, RECT rect = {0, 0, 120, 40}) {
        Style* style = skin().findStyle(styleName);
        ASSERT_NE(style, nullptr) << "style " << testsupportName(styleName);
        style->paint(surface.dc(), rect, control);
    }
    static std::string testsupportName(const wchar_t* w) { return std::string(w, w + wcslen(w)); }
    void clear() { fillSurface(surface, 0xFF000000); }
    uint32_t at(int x, int y) const { return pixel(surface, x, y) & 0xFFFFFF; }

    PaintSurface surface;
    Control control;
};

}  // namespace

TEST_F(Styles, StateSkinFollowsTheFlagsWithoutFallingBackToAnotherState) {
    loadSkin({{L"up.png", solid(4, 4, 0xFF0000)},
              {L"down.png", solid(4, 4, 0x0000FF)},
              {L"dis.png", solid(4, 4, 0x00FF00)},
              {L"state.xml", styleXml("Style", "upSkin=\"up.png\" downSkin=\"down.png\"")},
              {L"full.xml",
               styleXml("Style", "upSkin=\"up.png\" downSkin=\"down.png\" disabledSkin=\"dis.png\"")}});
    paint(L"state.xml", control);
    EXPECT_EQ(at(60, 20), 0xFF0000u) << "up, stretched over the rectangle";
    EXPECT_EQ(at(119, 39), 0xFF0000u);

    struct Case {
        uint32_t flags;
        uint32_t expected;
    } cases[] = {
        {flag::enabled | flag::hover, 0},           // no overSkin: nothing
        {flag::enabled | flag::focused, 0},         // focus counts as over
        {flag::enabled | flag::pressed, 0x0000FF},  // down
        {flag::enabled | flag::checked, 0x0000FF},  // checked counts as down
        {flag::enabled | flag::pressed | flag::hover, 0x0000FF},
        {flag::visible, 0},  // disabled, no disabledSkin
    };
    for (const Case& c : cases) {
        clear();
        control.setFlags(c.flags);
        paint(L"state.xml", control);
        EXPECT_EQ(at(60, 20), c.expected) << std::hex << c.flags;
    }
    clear();
    control.setFlags(flag::visible | flag::pressed | flag::checked);
    paint(L"full.xml", control);
    EXPECT_EQ(at(60, 20), 0x00FF00u) << "disabled wins over pressed";
}

TEST_F(Styles, ParsingTakesTheTypeFromTheRootAndAttributesFromItsFirstChild) {
    loadSkin({{L"up.png", solid(4, 4, 0xFF0000)},
              {L"unknown.xml", styleXml("Frobnicate", "upSkin=\"up.png\"")},
              {L"anyattr.xml",
               "<s kind=\"Style\" other=\"x\"><first upSkin=\"up.png\"/><second upSkin=\"none\"/></s>"},
              {L"onroot.xml", "<style type=\"Style\" upSkin=\"up.png\"><a/></style>"},
              {L"noattr.xml", "<style><a upSkin=\"up.png\"/></style>"},
              {L"nochild.xml", "<style type=\"Button\"/>"},
              {L"broken.xml", "<style type=\"Style\"><a upSkin=\"up.png\"></style>"},
              {L"empty.xml", ""}});
    paint(L"unknown.xml", control);
    EXPECT_EQ(at(5, 5), 0xFF0000u) << "an unregistered type paints like Style";
    clear();
    paint(L"anyattr.xml", control);
    EXPECT_EQ(at(5, 5), 0xFF0000u);
    clear();
    paint(L"onroot.xml", control);
    EXPECT_EQ(find(surface, 0xFF0000).count, 0) << "attributes on the root are not read";
    EXPECT_EQ(skin().findStyle(L"onroot.xml")->findText(attr::upSkin), nullptr);
    paint(L"noattr.xml", control);
    EXPECT_EQ(at(5, 5), 0xFF0000u) << "no type attribute: a plain Style";
    paint(L"nochild.xml", control);  // a Button without attributes draws nothing and does not fail

    // Malformed XML is remembered as no style; nothing escapes into the paint.
    EXPECT_EQ(skin().findStyle(L"broken.xml"), nullptr);
    EXPECT_EQ(skin().findStyle(L"broken.xml"), nullptr);
    EXPECT_EQ(skin().findStyle(L"empty.xml"), nullptr);
    EXPECT_EQ(skin().findStyle(L"absent.xml"), nullptr);
    EXPECT_EQ(skin().findStyle(L"unknown.xml"), skin().findStyle(L"unknown.xml")) << "cached";

    ASSERT_NE(uiParts()->styleCreators, nullptr);
    EXPECT_EQ(uiParts()->styleCreators->size(), 13u);
    EXPECT_NE(dynamic_cast<Style_CheckButtonEx*>(uiParts()->styleCreators->create(L"CheckButtonEx")),
              nullptr);
}

TEST_F(Styles, ButtonTextColourReadsBlueGreenRedAndDownOffsetOneMovesIt) {
    loadSkin({{L"font.xml", kFonts},
              {L"red.xml", styleXml("Button", "textColor=\"#0000FF\"")},
              {L"blue.xml", styleXml("Button", "textColor=\"#FF0000\" downOffset=\"2\"")},
              {L"white.xml", styleXml("Button", "downOffset=\"1\"")}});
    control.setText(attr::text, L"WWW");
    paint(L"red.xml", control);
    Found red = find(surface, 0x0000FF);  // pixel words are 0xRRGGBB: red is 0xFF0000
    Found redWord = find(surface, 0xFF0000);
    EXPECT_EQ(red.count, 0);
    EXPECT_GT(redWord.count, 20) << "digits 0000FF draw red";

    clear();
    paint(L"blue.xml", control);
    const Found blueUp = find(surface, 0x0000FF);
    EXPECT_GT(blueUp.count, 20) << "digits FF0000 draw blue";
    // Centred: the text's box straddles the middle.
    EXPECT_LT(blueUp.box.left, 60);
    EXPECT_GT(blueUp.box.right, 60);

    clear();
    control.setFlag(flag::pressed, true);
    paint(L"blue.xml", control);
    const Found bluePressed = find(surface, 0x0000FF);
    EXPECT_TRUE(EqualRect(&blueUp.box, &bluePressed.box)) << "downOffset 2 does not move the text";

    control.setFlag(flag::pressed, false);
    clear();
    paint(L"white.xml", control);
    const Found whiteUp = find(surface, 0xFFFFFF);
    EXPECT_GT(whiteUp.count, 20) << "white by default";
    control.setFlag(flag::pressed, true);
    clear();
    paint(L"white.xml", control);
    const Found whitePressed = find(surface, 0xFFFFFF);
    EXPECT_EQ(whitePressed.box.left, whiteUp.box.left + 1);
    EXPECT_EQ(whitePressed.box.top, whiteUp.box.top + 1);
    EXPECT_EQ(whitePressed.count, whiteUp.count);

    // The control's "font" attribute picks the font; a missing one leaves the DC's font.
    control.setFlag(flag::pressed, false);
    control.setText(attr::font, L"Big");
    clear();
    paint(L"white.xml", control);
    const Found big = find(surface, 0xFFFFFF);
    EXPECT_GT(big.box.right - big.box.left, whiteUp.box.right - whiteUp.box.left);
    control.setText(attr::font, L"NoSuchFont");
    clear();
    paint(L"white.xml", control);
    EXPECT_GT(find(surface, 0xFFFFFF).count, 0);
}

TEST_F(Styles, CheckButtonPlacesImageAndTextByTheGap) {
    loadSkin(
        {{L"font.xml", kFonts},
         {L"off.png", solid(10, 10, 0x00FF00)},
         {L"on.png", solid(10, 10, 0xFF00FF)},
         {L"check.xml",
          styleXml("CheckButton", "upIcon=\"off.png\" checkedUpIcon=\"on.png\" textColor=\"#0000FF\"")},
         {L"gap.xml", styleXml("CheckButton", "upIcon=\"off.png\" iconGap=\"10\" textColor=\"#0000FF\"")},
         {L"noimage.xml", styleXml("CheckButton", "upIcon=\"gone.png\" textColor=\"#0000FF\"")}});
    control.setText(attr::text, L"I");
    {
        auto font = win::select_object(surface.dc(), skin().findFont(L"Default"));
        const RECT rect{10, 0, 110, 40};
        paint(L"check.xml", control, rect);
        const Found image = find(surface, 0x00FF00);
        EXPECT_EQ(image.count, 100);
        EXPECT_EQ(image.box.left, 12) << "2 pixels inside the left edge";
        EXPECT_EQ(image.box.top, 15) << "vertically centred";
        const Found text = find(surface, 0xFF0000);
        ASSERT_GT(text.count, 0);

        // The same text drawn by hand where it should start: 2 pixels after the image's right edge.
        PaintSurface reference;
        ASSERT_TRUE(reference.resize(120, 40));
        fillSurface(reference, 0xFF000000);
        auto refFont = win::select_object(reference.dc(), skin().findFont(L"Default"));
        SetTextColor(reference.dc(), RGB(255, 0, 0));
        RECT expected{12 + 10 + 2, 0, 110, 40};
        DrawTextW(reference.dc(), L"I", -1, &expected, DT_VCENTER | DT_SINGLELINE);
        const Found want = find(reference, 0xFF0000);
        EXPECT_TRUE(EqualRect(&want.box, &text.box)) << text.box.left << " vs " << want.box.left;

        clear();
        paint(L"gap.xml", control, rect);
        EXPECT_EQ(find(surface, 0xFF0000).box.left, want.box.left + 8);

        clear();
        control.setFlag(flag::checked, true);
        paint(L"check.xml", control, rect);
        EXPECT_EQ(find(surface, 0xFF00FF).count, 100);
        EXPECT_EQ(find(surface, 0x00FF00).count, 0);

        clear();
        paint(L"noimage.xml", control, rect);  // no image: nothing for it, the text still shows
        EXPECT_GT(find(surface, 0xFF0000).count, 0);
    }
}

TEST_F(Styles, StripStylesPickTheirFrameByState) {
    // 8 frames of 20 x 20, frame i filled with colour 0x10*(i+1) in red.
    Rgba strip(20, 160, 0);
    for (int i = 0; i < 8; ++i)
        strip.fill(0, i * 20, 20, 20, static_cast<uint32_t>(0x10 * (i + 1)) << 24 | 0xFF);
    Rgba four(8, 40, 0);
    for (int i = 0; i < 4; ++i)
        four.fill(0, i * 10, 8, 10, static_cast<uint32_t>(0x20 * (i + 1)) << 16 | 0xFF);
    loadSkin({{L"font.xml", kFonts},
              {L"strip.png", strip.png()},
              {L"four.png", four.png()},
              {L"checkex.xml", styleXml("CheckButtonEx", "src=\"strip.png\"")},
              {L"buttonex.xml", styleXml("ButtonEx", "src=\"four.png\"")},
              {L"noimage.xml", styleXml("CheckButtonEx", "src=\"gone.png\"")}});
    control.setFlags(flag::enabled | flag::visible | flag::hover | flag::checked);
    paint(L"checkex.xml", control, RECT{5, 5, 115, 35});
    EXPECT_EQ(at(5, 5), 0x600000u) << "checked and hovered: frame 5 (rows 100-119)";
    EXPECT_EQ(at(24, 24), 0x600000u);
    EXPECT_EQ(at(25, 5), 0u) << "drawn at its own width";
    EXPECT_EQ(at(5, 25), 0u) << "and frame height";

    struct Case {
        uint32_t flags;
        uint32_t checkEx;
        uint32_t buttonEx;
    } cases[] = {
        {flag::enabled, 0x100000, 0x002000},
        {flag::enabled | flag::hover, 0x200000, 0x004000},
        {flag::enabled | flag::hover | flag::pressed, 0x300000, 0x006000},
        {flag::hover, 0x400000, 0x008000},
        {flag::enabled | flag::checked | flag::pressed, 0x700000, 0x006000},
        {flag::checked, 0x800000, 0x008000},
    };
    for (const Case& c : cases) {
        control.setFlags(c.flags);
        clear();
        paint(L"checkex.xml", control);
        EXPECT_EQ(at(10, 10), c.checkEx) << std::hex << c.flags;
        clear();
        paint(L"buttonex.xml", control);
        EXPECT_EQ(at(100, 30), c.buttonEx) << std::hex << c.flags << " (stretched over the rectangle)";
    }
    clear();
    control.setText(attr::text, L"I");
    paint(L"noimage.xml", control);
    const Found text = find(surface, 0xFFFFFF);
    EXPECT_GT(text.count, 0) << "no strip image: the text still draws";
    EXPECT_GE(text.box.left, 4) << "from the gap, as for an image of width 0";
}

TEST_F(Styles, BackgroundEditToggleAndComboBoxSkins) {
    loadSkin(
        {{L"font.xml", kFonts},
         {L"r.png", solid(6, 6, 0xFF0000)},
         {L"g.png", solid(6, 6, 0x00FF00)},
         {L"b.png", solid(6, 6, 0x0000FF)},
         {L"y.png", solid(6, 6, 0xFFFF00)},
         {L"drop.png", solid(10, 12, 0xFF00FF)},
         {L"bg.xml", styleXml("Background", "img=\"r.png\" upSkin=\"g.png\"")},
         {L"edit.xml",
          styleXml("Edit", "upSkin=\"r.png\" overSkin=\"g.png\" downSkin=\"b.png\" disabledSkin=\"y.png\"")},
         {L"toggle.xml", styleXml("ToggleButton",
                                  "upSkin=\"r.png\" overSkin=\"g.png\" checkedUpSkin=\"b.png\" "
                                  "checkedOverSkin=\"y.png\" scaleGrid=\"1,1,1,1\"")},
         {L"combo.xml",
          styleXml("ComboBox", "upSkin=\"g.png\" dropBtn=\"drop.png\" textColor=\"#FFFFFF\"")}});
    control.setFlags(flag::enabled | flag::pressed | flag::hover);
    paint(L"bg.xml", control);
    EXPECT_EQ(at(60, 20), 0xFF0000u) << "Background ignores the state";
    paint(L"edit.xml", control);
    EXPECT_EQ(at(60, 20), 0x00FF00u) << "Edit has no pressed state: hover";
    control.setFlags(flag::pressed);
    paint(L"edit.xml", control);
    EXPECT_EQ(at(60, 20), 0xFFFF00u);

    control.setFlags(flag::enabled | flag::hover);
    paint(L"toggle.xml", control);
    EXPECT_EQ(at(60, 20), 0x00FF00u);
    control.setFlags(flag::enabled | flag::hover | flag::checked);
    paint(L"toggle.xml", control);
    EXPECT_EQ(at(60, 20), 0xFFFF00u);
    control.setFlags(flag::enabled | flag::checked | flag::focused);
    paint(L"toggle.xml", control);
    EXPECT_EQ(at(60, 20), 0x0000FFu) << "focus is not hover for the four-state choice";

    clear();
    control.setFlags(flag::enabled);
    control.setText(attr::text, L"WW");
    paint(L"combo.xml", control);
    EXPECT_EQ(at(115, 20), 0xFF00FFu) << "drop button against the right edge";
    EXPECT_EQ(at(109, 20), 0x00FF00u);
    EXPECT_EQ(at(115, 13), 0x00FF00u) << "vertically centred: rows 14-25";
    EXPECT_EQ(find(surface, 0xFFFFFF).count, 0) << "the combo box text is always black";
    const Found text = find(surface, 0x000000);
    ASSERT_GT(text.count, 0);
    EXPECT_GE(text.box.left, 12);
}

TEST_F(Styles, IconButtonPlacesIconAndTextByPlacement) {
    loadSkin(
        {{L"font.xml", kFonts},
         {L"icon.png", solid(10, 10, 0x00FF00)},
         {L"right.xml", styleXml("IconButton", "iconGap=\"4\" textColor=\"#0000FF\"")},
         {L"left.xml", styleXml("IconButton", "iconGap=\"4\" textPlacement=\"left\" textColor=\"#0000FF\"")},
         {L"bottom.xml", styleXml("IconButton", "textPlacement=\"bottom\" textColor=\"#0000FF\"")},
         {L"other.xml", styleXml("IconButton", "textPlacement=\"center\" textColor=\"#0000FF\"")},
         {L"toggle.xml", styleXml("ToggleIconButton", "textColor=\"#0000FF\"")},
         {L"up.png", solid(4, 4, 0x808080)},
         {L"down.png", solid(4, 4, 0xFFFF00)},
         {L"dis.png", solid(4, 4, 0x00FFFF)},
         {L"togglebg.xml",
          styleXml("ToggleIconButton", "upSkin=\"up.png\" downSkin=\"down.png\" disabledSkin=\"dis.png\"")}});
    control.setText(attr::icon, L"icon.png");
    control.setText(attr::text, L"WW");
    SIZE t{};
    {
        auto font = win::select_object(surface.dc(), skin().findFont(L"Default"));
        RECT r{0, 0, 0, 0};
        DrawTextW(surface.dc(), L"WW", -1, &r, DT_CALCRECT | DT_SINGLELINE);
        t = SIZE{r.right, r.bottom};
    }
    const int x = (0 + 120 - 4 - t.cx - 10) / 2;
    paint(L"right.xml", control);
    Found icon = find(surface, 0x00FF00);
    EXPECT_EQ(icon.box.left, x);
    EXPECT_EQ(icon.box.top, 15);
    Found text = find(surface, 0xFF0000);
    EXPECT_GE(text.box.left, x + 10 + 4);
    EXPECT_LE(text.box.right, x + 10 + 4 + t.cx + 1);

    clear();
    paint(L"left.xml", control);
    icon = find(surface, 0x00FF00);
    EXPECT_EQ(icon.box.left, x + t.cx + 4);
    text = find(surface, 0xFF0000);
    EXPECT_GE(text.box.left, x);
    EXPECT_LT(text.box.right, icon.box.left);

    clear();
    paint(L"bottom.xml", control);
    icon = find(surface, 0x00FF00);
    EXPECT_EQ(icon.box.left, 55);
    const int y = (0 + 40 - t.cy - 2 - 10) / 2;
    EXPECT_EQ(icon.box.top, y);
    EXPECT_GE(find(surface, 0xFF0000).box.top, y + 10 + 2);

    clear();
    paint(L"other.xml", control);
    EXPECT_EQ(find(surface, 0x00FF00).count, 0) << "another keyword: no icon";
    EXPECT_LT(find(surface, 0xFF0000).box.left, 5) << "text from the left edge";

    clear();
    control.setText(attr::icon, L"missing.png");
    paint(L"right.xml", control);
    text = find(surface, 0xFF0000);
    EXPECT_LT(text.box.left, 60);
    EXPECT_GT(text.box.right, 60) << "without an icon the text is centred";

    // ToggleIconButton takes offIcon / offText when checked.
    clear();
    control.setText(attr::offIcon, L"icon.png");
    control.setText(attr::offText, L"");
    control.setFlag(flag::checked, true);
    paint(L"toggle.xml", control);
    EXPECT_EQ(find(surface, 0x00FF00).box.left, (120 - 2 - 10) / 2);
    EXPECT_EQ(find(surface, 0xFF0000).count, 0);

    // Its background follows pressed and hover only: disabled, checked or focused keep the up skin.
    for (uint32_t flags : {flag::visible, flag::enabled | flag::checked | flag::focused}) {
        control.setFlags(flags);
        paint(L"togglebg.xml", control);
        EXPECT_EQ(at(2, 2), 0x808080u) << std::hex << flags;
    }
    control.setFlags(flag::pressed);
    paint(L"togglebg.xml", control);
    EXPECT_EQ(at(2, 2), 0xFFFF00u);
}

TEST_F(Styles, SliderAndScrollBarDrawThePartsTheirControlProvides) {
    loadSkin(
        {{L"track.png", solid(4, 6, 0xFF0000)},
         {L"bar.png", solid(4, 6, 0x00FF00)},
         {L"thumb.png", solid(4, 4, 0x0000FF)},
         {L"thumbover.png", solid(4, 4, 0xFFFF00)},
         {L"up.png", solid(4, 4, 0xFF00FF)},
         {L"upover.png", solid(4, 4, 0x00FFFF)},
         {L"icon.png", solid(2, 2, 0xFFFFFF)},
         {L"slider.xml", styleXml("Slider",
                                  "trackSkin=\"track.png\" barSkin=\"bar.png\" thumbUpSkin=\"thumb.png\" "
                                  "thumbOverSkin=\"thumbover.png\"")},
         {L"scroll.xml", styleXml("ScrollBar",
                                  "barSkin=\"track.png\" upArrowUpSkin=\"up.png\" "
                                  "upArrowOverSkin=\"upover.png\" thumbUpSkin=\"thumb.png\" "
                                  "thumbUpIcon=\"icon.png\"")}});
    PartsControl slider;
    slider.thumb = RECT{40, 10, 50, 30};
    paint(L"slider.xml", slider, RECT{10, 0, 110, 40});
    EXPECT_EQ(at(20, 20), 0xFF0000u) << "track left of the thumb";
    EXPECT_EQ(at(100, 20), 0x00FF00u) << "bar right of the thumb";
    EXPECT_EQ(at(20, 16), 0u) << "as high as the image, centred: rows 17-22";
    EXPECT_EQ(at(20, 17), 0xFF0000u);
    EXPECT_EQ(at(55, 12), 0x0000FFu) << "thumb at its rectangle offset to the surface";
    slider.setFlag(flag::checked, true);
    paint(L"slider.xml", slider, RECT{10, 0, 110, 40});
    EXPECT_EQ(at(55, 12), 0xFFFF00u);

    clear();
    PartsControl bar;
    bar.up = RECT{0, 0, 10, 10};
    bar.down = RECT{0, 30, 10, 40};
    bar.thumb = RECT{0, 12, 10, 22};
    paint(L"scroll.xml", bar, RECT{0, 0, 10, 40});
    EXPECT_EQ(at(5, 5), 0xFF00FFu);
    EXPECT_EQ(at(5, 35), 0xFF0000u) << "no down-arrow image: the bar shows";
    EXPECT_EQ(at(0, 15), 0xFF0000u) << "thumb narrowed by one pixel each side";
    EXPECT_EQ(at(1, 15), 0x0000FFu);
    EXPECT_EQ(at(8, 15), 0x0000FFu);
    EXPECT_EQ(at(9, 15), 0xFF0000u);
    EXPECT_EQ(at(4, 16), 0xFFFFFFu) << "thumb icon centred";
    EXPECT_EQ(at(5, 17), 0xFFFFFFu);
    bar.states = scrollPart::upHover;
    paint(L"scroll.xml", bar, RECT{0, 0, 10, 40});
    EXPECT_EQ(at(5, 5), 0x00FFFFu);
    bar.setFlag(flag::enabled, false);
    clear();
    paint(L"scroll.xml", bar, RECT{0, 0, 10, 40});
    EXPECT_EQ(at(5, 15), 0xFF0000u) << "disabled: no thumb";
    EXPECT_EQ(at(5, 5), 0xFF0000u) << "and no disabled arrow image";

    // A plain control instead of a slider: the track only, nothing fails.
    clear();
    paint(L"slider.xml", control);
    EXPECT_EQ(at(60, 20), 0x00FF00u);
}

TEST_F(Styles, ControlDefaultPaintLooksTheStyleUp) {
    loadSkin({{L"up.png", solid(4, 4, 0xFF0000)}, {L"plain.xml", styleXml("Style", "upSkin=\"up.png\"")}});
    control.setText(attr::style, L"plain.xml");
    const RECT rect{10, 10, 30, 30};
    control.paint(surface.dc(), rect, rect);
    EXPECT_EQ(at(15, 15), 0xFF0000u);
    EXPECT_EQ(at(5, 5), 0u);
    clear();
    control.setText(attr::style, L"nothere.xml");
    control.paint(surface.dc(), rect, rect);
    EXPECT_EQ(find(surface, 0xFF0000).count, 0);
}
