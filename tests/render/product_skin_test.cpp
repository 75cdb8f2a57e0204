// The installer's own skin ("style.lz" as setup.exe embeds it) against its main layout: every style,
// font and image the pages name is there, every button looks different when hovered, pressed and
// disabled, the check box has all its faces, and the page headings and captions stay readable.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "dui/control.h"
#include "dui/style.h"
#include "host/text_conv.h"
#include "render/text.h"
#include "render_fixture.h"

using namespace rendertest;

namespace {

std::string readFile(const char* path) {
    std::ifstream in(std::string("Z:") + path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every value of `name="..."` in the layout, as wide strings, once each.
std::set<std::wstring> valuesOf(const std::string& xml, const std::string& name) {
    std::set<std::wstring> out;
    const std::regex pattern("\\s" + name + "=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), pattern); it != std::sregex_iterator(); ++it)
        out.insert(win::utf8ToWide((*it)[1].str()));
    return out;
}

std::string narrow(const std::wstring& w) {
    return std::string(w.begin(), w.end());
}
std::string narrow(const wchar_t* w) {
    return narrow(std::wstring(w ? w : L""));
}

// Mean brightness (0..255) of the pixels a rectangle of the surface holds.
int brightness(const PaintSurface& s, const RECT& r) {
    long sum = 0, n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x, ++n) {
            const uint32_t p = pixel(s, x, y);
            sum += ((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) / 3;
        }
    return n ? static_cast<int>(sum / n) : -1;
}

class ProductSkin : public SkinTest {
  protected:
    void SetUp() override {
        SkinTest::SetUp();
        const std::string archive = readFile(TARVO_TEST_PRODUCT_STYLE_LZ);
        ASSERT_FALSE(archive.empty()) << TARVO_TEST_PRODUCT_STYLE_LZ;
        void* bytes = std::malloc(archive.size());
        std::memcpy(bytes, archive.data(), archive.size());
        ASSERT_TRUE(skin().loadSkinArchive(bytes, archive.size(), nullptr));
        mainframe = readFile(TARVO_TEST_MAINFRAME_XML);
        ASSERT_FALSE(mainframe.empty());
    }
    // The style's named image, decoded.
    bool hasImage(Style& style, AttributeId id) {
        const wchar_t* name = style.findText(id);
        SkinImage* image = name ? skin().findImage(name) : nullptr;
        return image && image->bitmap();
    }
    // The style painted for a control in `flags` with a caption; the surface's centre pixel.
    uint32_t paintCentre(const wchar_t* styleName, uint32_t flags, const wchar_t* text = nullptr) {
        Style* style = skin().findStyle(styleName);
        if (!style || !surface.resize(120, 36))
            return 0xDEADBEEF;
        fillSurface(surface, 0xFF000000);
        Control control(flags);
        if (text)
            control.setText(attr::text, text);
        style->paint(surface.dc(), RECT{0, 0, 120, 36}, control);
        return pixel(surface, 60, 4) & 0xFFFFFF;  // the face above the caption
    }

    std::string mainframe;
    PaintSurface surface;
};

}  // namespace

TEST_F(ProductSkin, EveryStyleFontAndImageOfThePagesIsThere) {
    for (const std::wstring& name : valuesOf(mainframe, "style"))
        EXPECT_NE(skin().findStyle(name), nullptr) << "style " << narrow(name);
    for (const std::wstring& name : valuesOf(mainframe, "font"))
        EXPECT_NE(skin().findFont(name), nullptr) << "font " << narrow(name);
    EXPECT_NE(skin().findFont(L"Default"), nullptr) << "every text without a font uses Default";
    for (const char* attribute : {"progressbkimg", "progressimg", "src", "img", "icon"})
        for (const std::wstring& name : valuesOf(mainframe, attribute)) {
            SkinImage* image = skin().findImage(name);
            EXPECT_TRUE(image && image->bitmap()) << attribute << " " << narrow(name);
        }
    EXPECT_NE(skin().findStyle(L"shadow.xml"), nullptr) << "the drop shadow's layout names it";
}

TEST_F(ProductSkin, EveryButtonOfThePagesShowsHoverPressedAndDisabled) {
    // The styles the layout gives its buttons.
    const std::regex button("<Button [^>]*style=\"([^\"]+)\"");
    std::set<std::wstring> styles;
    for (auto it = std::sregex_iterator(mainframe.begin(), mainframe.end(), button);
         it != std::sregex_iterator(); ++it)
        styles.insert(win::utf8ToWide((*it)[1].str()));
    ASSERT_GE(styles.size(), 3u) << "primary, secondary and close";
    for (const std::wstring& name : styles) {
        Style* style = skin().findStyle(name);
        ASSERT_NE(style, nullptr) << narrow(name);
        for (AttributeId id : {attr::upSkin, attr::overSkin, attr::downSkin, attr::disabledSkin})
            EXPECT_TRUE(hasImage(*style, id)) << narrow(name) << " " << narrow(attributeName(id));
        const uint32_t up = paintCentre(name.c_str(), flag::enabled | flag::visible);
        const uint32_t over = paintCentre(name.c_str(), flag::enabled | flag::visible | flag::hover);
        const uint32_t down =
            paintCentre(name.c_str(), flag::enabled | flag::visible | flag::hover | flag::pressed);
        const uint32_t disabled = paintCentre(name.c_str(), flag::visible);
        EXPECT_NE(over, up) << narrow(name) << ": hover changes the face";
        EXPECT_NE(down, over) << narrow(name) << ": pressing changes it again";
        EXPECT_NE(disabled, over) << narrow(name);
    }
    Style* check = skin().findStyle(L"checkbox.xml");
    ASSERT_NE(check, nullptr);
    for (AttributeId id :
         {attr::upIcon, attr::overIcon, attr::downIcon, attr::disabledIcon, attr::checkedUpIcon,
          attr::checkedOverIcon, attr::checkedDownIcon, attr::checkedDisabledIcon})
        EXPECT_TRUE(hasImage(*check, id)) << "checkbox.xml " << narrow(attributeName(id));
}

TEST_F(ProductSkin, CaptionsAndHeadingsContrastWithWhatTheyAreDrawnOn) {
    // A page heading in its layout colour on the page background: dark strokes on a light page.
    ASSERT_TRUE(surface.resize(240, 40));
    fillSurface(surface, 0xFF000000);
    Style* page = skin().findStyle(L"panel.xml");
    ASSERT_NE(page, nullptr);
    Control panel;
    page->paint(surface.dc(), RECT{0, 0, 240, 40}, panel);
    const int pageLight = brightness(surface, RECT{100, 2, 140, 6});
    drawTextWithFont(surface.dc(), RECT{0, 0, 240, 40}, L"\u5B89\u88C5\u5B8C\u6210",
                     skin().findFont(L"Heading"), RGB(0x33, 0x33, 0x33),
                     DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    int darkest = 255;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x)
            darkest = std::min(darkest, static_cast<int>(pixel(surface, x, y) & 0xFF));
    EXPECT_GT(pageLight, 230) << "a light page";
    EXPECT_LT(darkest, 0x50) << "the heading's strokes are dark";

    // Button captions: white strokes on the saturated primary face, dark ones on the white secondary.
    auto count = [&](auto test) {
        int n = 0;
        for (int y = 0; y < 36; ++y)
            for (int x = 0; x < 120; ++x) n += test(pixel(surface, x, y));
        return n;
    };
    auto grey = [](uint32_t p) {
        return static_cast<int>(((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) / 3);
    };
    const uint32_t primary =
        paintCentre(L"button.xml", flag::enabled | flag::visible, L"\u7ACB\u5373\u5B89\u88C5");
    EXPECT_LT(grey(primary), 0xB0) << "a saturated face";
    EXPECT_GT(count([&](uint32_t p) { return grey(p) > 0xF0; }), 40) << "a white caption";
    const uint32_t secondary = paintCentre(L"button2.xml", flag::enabled | flag::visible, L"\u8FD4\u56DE");
    EXPECT_GT(grey(secondary), 0xF0) << "a white face";
    EXPECT_GT(count([&](uint32_t p) { return grey(p) < 0x60; }), 20) << "a dark caption";
}

TEST_F(ProductSkin, TheLayoutsTextColoursReachAContrastOfFourAndAHalfOnThePage) {
    ASSERT_TRUE(surface.resize(64, 64));
    Style* page = skin().findStyle(L"panel.xml");
    ASSERT_NE(page, nullptr);
    Control panel;
    page->paint(surface.dc(), RECT{0, 0, 64, 64}, panel);
    const uint32_t paper = pixel(surface, 32, 32);
    // WCAG relative luminance of 8-bit sRGB channels.
    auto luminance = [](int r, int g, int b) {
        auto linear = [](int c) {
            const double s = c / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b);
    };
    const double light = luminance(paper >> 16 & 0xFF, paper >> 8 & 0xFF, paper & 0xFF);
    // Every label on a page. The title sits on the title bar, and the links' colours are the UI
    // script's (it sets them on every hover and leave).
    const std::regex label("<Label ([^>]*)>");
    const std::regex colour("color=\"#([0-9A-Fa-f]{6})\"");
    int checked = 0;
    for (auto it = std::sregex_iterator(mainframe.begin(), mainframe.end(), label);
         it != std::sregex_iterator(); ++it) {
        const std::string attributes = (*it)[1].str();
        std::smatch m;
        if (attributes.find("font=\"Title\"") != std::string::npos ||
            attributes.find("font=\"Link\"") != std::string::npos ||
            !std::regex_search(attributes, m, colour))
            continue;
        // The skin's colour text is one hexadecimal number with red in the low byte.
        const unsigned long v = std::stoul(m[1].str(), nullptr, 16);
        const double text = luminance(v & 0xFF, v >> 8 & 0xFF, v >> 16 & 0xFF);
        EXPECT_GE((light + 0.05) / (text + 0.05), 4.5) << attributes;
        ++checked;
    }
    EXPECT_GE(checked, 10);
}
