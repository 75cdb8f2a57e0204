#include "dui/style.h"

#include <rapidxml.hpp>

#include <string>

#include "dui/context_parts.h"
#include "dui/control.h"
#include "dui/factory.h"
#include "dui/loader.h"
#include "dui/setters.h"
#include "host/handles.h"
#include "host/text_conv.h"
#include "render/text.h"
#include "render/xml_depth.h"

namespace {

constexpr UINT kCentred = DT_CENTER | DT_VCENTER | DT_SINGLELINE;  // 37
constexpr UINT kLeft = DT_VCENTER | DT_SINGLELINE;                 // 36
constexpr UINT kBelow = DT_CENTER | DT_SINGLELINE;                 // 33
constexpr UINT kMeasure = DT_CALCRECT | DT_SINGLELINE;             // 1056
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kBlack = 0;

SkinImage* image(const Object& object, AttributeId id) {
    return findSkinImage(object.getText(id));
}

// The control's "font" attribute, "Default" when absent.
HFONT controlFont(const Control& control) {
    return findSkinFont(control.findText(attr::font));
}

int width(const RECT& r) {
    return r.right - r.left;
}
int height(const RECT& r) {
    return r.bottom - r.top;
}

// Image stretched to rect, or nine-grid when the style has the grid rectangle.
void drawSkin(const Style& style, HDC dc, const RECT& rect, SkinImage* skin, AttributeId grid) {
    drawImageInto(skin, dc, rect, style.findRect(grid));
}

void drawWhole(HDC dc, SkinImage* skin, int x, int y) {
    if (skin)
        skin->drawImage(dc, x, y, skin->width(), skin->height(), 0, 0, skin->width(), skin->height());
}

// The four-state choice: not enabled -> disabled; pressed -> down; hover -> over; else up.
AttributeId fourState(const Control& c, AttributeId up, AttributeId over, AttributeId down,
                      AttributeId disabled) {
    if (!c.hasFlag(flag::enabled))
        return disabled;
    if (c.hasFlag(flag::pressed))
        return down;
    if (c.hasFlag(flag::hover))
        return over;
    return up;
}

// Frame of a state strip: 0 normal, 1 hover, 2 pressed, 3 disabled.
int stripFrame(const Control& c) {
    if (!c.hasFlag(flag::enabled))
        return 3;
    if (c.hasFlag(flag::pressed))
        return 2;
    if (c.hasFlag(flag::hover))
        return 1;
    return 0;
}

// "downOffset" 1 moves the text of a pressed control one pixel right and down.
RECT offsetWhenPressed(const Style& style, const Control& control, RECT r) {
    if (style.getInt(attr::downOffset, 0) == 1 && control.hasFlag(flag::pressed))
        OffsetRect(&r, 1, 1);
    return r;
}

COLORREF textColour(const Style& style, COLORREF fallback) {
    return static_cast<COLORREF>(style.getInt(attr::textColor, static_cast<int32_t>(fallback)));
}

// The button caption: centred, the control's font, white unless the style says otherwise.
void drawCaption(const Style& style, HDC dc, const RECT& rect, const Control& control) {
    const wchar_t* text = control.getText(attr::text);
    if (!*text)
        return;
    drawTextWithFont(dc, offsetWhenPressed(style, control, rect), text, controlFont(control),
                     textColour(style, kWhite), kCentred);
}

SIZE measureText(HDC dc, const wchar_t* text) {
    if (!*text)
        return SIZE{0, 0};
    RECT r{0, 0, 0, 0};
    DrawTextW(dc, text, -1, &r, kMeasure);
    return SIZE{width(r), height(r)};
}

// Icon and text of IconButton and ToggleIconButton, placed by "textPlacement" and "iconGap".
void drawIconAndText(const Style& style, HDC dc, const RECT& rect, const Control& control, SkinImage* icon,
                     const wchar_t* text) {
    HFONT font = controlFont(control);
    auto selected = win::select_object(dc, font);
    const COLORREF colour = textColour(style, kBlack);
    if (!icon) {
        drawText(dc, offsetWhenPressed(style, control, rect), text, colour, kCentred);
        return;
    }
    const SIZE t = measureText(dc, text);
    const int gap = style.getInt(attr::iconGap, 2);
    const int iw = icon->width(), ih = icon->height();
    const int32_t placement = style.getInt(attr::textPlacement, attr::right);
    RECT textRect = rect;
    UINT format = kLeft;
    if (placement == attr::right) {
        const int x = (rect.left + rect.right - gap - t.cx - iw) / 2;
        drawWhole(dc, icon, x, rect.top + (height(rect) - ih) / 2);
        textRect.left = x + iw + gap;
    } else if (placement == attr::left) {
        const int x = (rect.left + rect.right - gap - t.cx - iw) / 2;
        textRect.left = x;
        textRect.right = x + t.cx;
        drawWhole(dc, icon, x + t.cx + gap, rect.top + (height(rect) - ih) / 2);
    } else if (placement == attr::bottom) {
        const int y = (rect.top + rect.bottom - t.cy - gap - ih) / 2;
        drawWhole(dc, icon, rect.left + (width(rect) - iw) / 2, y);
        textRect.top = y + ih + gap;
        format = kBelow;
    }
    if (*text)
        drawText(dc, offsetWhenPressed(style, control, textRect), text, colour, format);
}

}  // namespace

void drawStateSkin(const Style& style, HDC dc, const Control& control, const RECT& rect) {
    AttributeId which = attr::upSkin;
    if (!control.hasFlag(flag::enabled))
        which = attr::disabledSkin;
    else if (control.hasFlag(flag::pressed) || control.hasFlag(flag::checked))
        which = attr::downSkin;
    else if (control.hasFlag(flag::hover) || control.hasFlag(flag::focused))
        which = attr::overSkin;
    drawSkin(style, dc, rect, image(style, which), attr::scaleGrid);
}

void Style::paint(HDC dc, const RECT& rect, const Control& control) const {
    drawStateSkin(*this, dc, control, rect);
}

void Style_Background::paint(HDC dc, const RECT& rect, const Control&) const {
    drawSkin(*this, dc, rect, image(*this, attr::img), attr::scaleGrid);
}

void Style_Edit::paint(HDC dc, const RECT& rect, const Control& control) const {
    AttributeId which = attr::upSkin;
    if (!control.hasFlag(flag::enabled))
        which = attr::disabledSkin;
    else if (control.hasFlag(flag::hover))
        which = attr::overSkin;
    drawSkin(*this, dc, rect, image(*this, which), attr::scaleGrid);
}

void Style_Button::paint(HDC dc, const RECT& rect, const Control& control) const {
    drawStateSkin(*this, dc, control, rect);
    drawCaption(*this, dc, rect, control);
}

void Style_ToggleButton::paint(HDC dc, const RECT& rect, const Control& control) const {
    const AttributeId which =
        control.hasFlag(flag::checked)
            ? fourState(control, attr::checkedUpSkin, attr::checkedOverSkin, attr::checkedDownSkin,
                        attr::checkedDisabledSkin)
            : fourState(control, attr::upSkin, attr::overSkin, attr::downSkin, attr::disabledSkin);
    drawImageInto(image(*this, which), dc, rect);
}

void Style_CheckButton::paint(HDC dc, const RECT& rect, const Control& control) const {
    const AttributeId which =
        control.hasFlag(flag::checked)
            ? fourState(control, attr::checkedUpIcon, attr::checkedOverIcon, attr::checkedDownIcon,
                        attr::checkedDisabledIcon)
            : fourState(control, attr::upIcon, attr::overIcon, attr::downIcon, attr::disabledIcon);
    SkinImage* check = image(*this, which);
    const int iw = check ? check->width() : 0;
    if (check)
        drawWhole(dc, check, rect.left + 2, rect.top + (height(rect) - check->height()) / 2);
    RECT textRect = rect;
    textRect.left += iw + getInt(attr::iconGap, 2) + 2;
    drawText(dc, textRect, control.getText(attr::text), textColour(*this, kWhite), kLeft);
}

void Style_ComboBox::paint(HDC dc, const RECT& rect, const Control& control) const {
    drawStateSkin(*this, dc, control, rect);
    RECT textRect = rect;
    if (SkinImage* drop = image(*this, attr::dropBtn)) {
        const int x = rect.right - drop->width();
        drawWhole(dc, drop, x, rect.top + (height(rect) - drop->height()) / 2);
        textRect.right = x - 2;
    }
    textRect.left += 12;
    drawText(dc, textRect, control.getText(attr::text), kBlack, kLeft);
}

void Style_IconButton::paint(HDC dc, const RECT& rect, const Control& control) const {
    drawStateSkin(*this, dc, control, rect);
    drawIconAndText(*this, dc, rect, control, image(control, attr::icon), control.getText(attr::text));
}

void Style_ToggleIconButton::paint(HDC dc, const RECT& rect, const Control& control) const {
    // Only pressed and hover choose the background: a disabled or checked toggle shows its up skin.
    const AttributeId which = control.hasFlag(flag::pressed) ? attr::downSkin
                              : control.hasFlag(flag::hover) ? attr::overSkin
                                                             : attr::upSkin;
    drawSkin(*this, dc, rect, image(*this, which), attr::scaleGrid);
    const bool on = control.hasFlag(flag::checked);
    drawIconAndText(*this, dc, rect, control, image(control, on ? attr::offIcon : attr::icon),
                    control.getText(on ? attr::offText : attr::text));
}

void Style_ButtonEx::paint(HDC dc, const RECT& rect, const Control& control) const {
    SkinImage* strip = image(*this, attr::src);
    const int frameHeight = strip ? strip->height() / 4 : 0;
    if (frameHeight > 0)
        strip->drawImage(dc, rect.left, rect.top, width(rect), height(rect), 0,
                         stripFrame(control) * frameHeight, strip->width(), frameHeight);
    drawCaption(*this, dc, rect, control);
}

void Style_CheckButtonEx::paint(HDC dc, const RECT& rect, const Control& control) const {
    SkinImage* strip = image(*this, attr::src);
    const int frameHeight = strip ? strip->height() / 8 : 0;
    const int iw = frameHeight > 0 ? strip->width() : 0;
    if (frameHeight > 0) {
        const int frame = (control.hasFlag(flag::checked) ? 4 : 0) + stripFrame(control);
        strip->drawImage(dc, rect.left, rect.top, iw, frameHeight, 0, frame * frameHeight, iw, frameHeight);
    }
    RECT textRect = rect;
    textRect.left += iw + getInt(attr::iconGap, 2) + 2;
    drawText(dc, textRect, control.getText(attr::text), textColour(*this, kWhite), kLeft);
}

void Style_Slider::paint(HDC dc, const RECT& rect, const Control& control) const {
    auto parts = dynamic_cast<const StyleParts*>(&control);
    RECT thumb = parts ? parts->thumbRect() : RECT{0, 0, 0, 0};
    OffsetRect(&thumb, rect.left, rect.top);
    const int centre = parts ? (thumb.left + thumb.right) / 2 : rect.left;
    auto band = [&](AttributeId id, int left, int right) {
        SkinImage* skin = image(*this, id);
        if (!skin)
            return;
        const int top = rect.top + (height(rect) - skin->height()) / 2;
        drawSkin(*this, dc, RECT{left, top, right, top + skin->height()}, skin, attr::scaleGrid);
    };
    band(attr::trackSkin, rect.left, centre);
    band(attr::barSkin, centre, rect.right);
    if (!parts)
        return;
    const AttributeId which = control.hasFlag(flag::pressed)   ? attr::thumbDownSkin
                              : control.hasFlag(flag::checked) ? attr::thumbOverSkin
                                                               : attr::thumbUpSkin;
    drawImageInto(image(*this, which), dc, thumb);
}

void Style_ScrollBar::paint(HDC dc, const RECT& rect, const Control& control) const {
    drawSkin(*this, dc, rect, image(*this, attr::barSkin), attr::scaleGrid);
    auto parts = dynamic_cast<const StyleParts*>(&control);
    if (!parts)
        return;
    const bool enabled = control.hasFlag(flag::enabled);
    const uint32_t states = parts->partStates();
    auto stretched = [&](RECT r, AttributeId id) {
        OffsetRect(&r, rect.left, rect.top);
        drawImageInto(image(*this, id), dc, r);
    };
    auto arrow = [&](uint32_t pressed, uint32_t hover, AttributeId up, AttributeId over, AttributeId down,
                     AttributeId disabled) {
        if (!enabled)
            return disabled;
        if (states & pressed)
            return down;
        if (states & hover)
            return over;
        return up;
    };
    stretched(parts->upArrowRect(),
              arrow(scrollPart::upPressed, scrollPart::upHover, attr::upArrowUpSkin, attr::upArrowOverSkin,
                    attr::upArrowDownSkin, attr::upArrowDisabledSkin));
    stretched(parts->downArrowRect(),
              arrow(scrollPart::downPressed, scrollPart::downHover, attr::downArrowUpSkin,
                    attr::downArrowOverSkin, attr::downArrowDownSkin, attr::downArrowDisabledSkin));
    if (!enabled)
        return;
    RECT thumb = parts->thumbRect();
    OffsetRect(&thumb, rect.left, rect.top);
    const bool pressed = states & scrollPart::thumbPressed, hover = states & scrollPart::thumbHover;
    RECT narrowed{thumb.left + 1, thumb.top, thumb.right - 1, thumb.bottom};
    drawSkin(*this, dc, narrowed,
             image(*this, pressed ? attr::thumbDownSkin
                          : hover ? attr::thumbOverSkin
                                  : attr::thumbUpSkin),
             attr::thumbScaleGrid);
    SkinImage* icon = image(*this, pressed ? attr::thumbDownIcon
                                   : hover ? attr::thumbOverIcon
                                           : attr::thumbUpIcon);
    if (icon)
        drawWhole(dc, icon, thumb.left + (width(thumb) - icon->width()) / 2,
                  thumb.top + (height(thumb) - icon->height()) / 2);
}

void paintControlStyle(Control& control, HDC dc, const RECT& rect, const wchar_t* styleName) {
    SkinStore* skin = currentSkin();
    if (!skin || !styleName || !*styleName)
        return;
    if (Style* style = skin->findStyle(styleName))
        style->paint(dc, rect, control);
}

const StylePainter& skinStylePainter() {
    struct SkinPainter final : StylePainter {
        void paintStyle(Control& control, HDC dc, const RECT& rect, const wchar_t* styleName) const override {
            paintControlStyle(control, dc, rect, styleName);
        }
    };
    static const SkinPainter painter;
    return painter;
}

// ---- Parsing -----------------------------------------------------------------------------------------

// The document is parsed as UTF-8: the XML parser classifies a wide character by its low byte alone,
// so U+4E22 would end an attribute value like a double quote. Attributes then go through the setter
// registry by their UTF-16 names and values, as layout attributes do.
Style* parseStyle(const wchar_t* text) {
    UiParts* ui = uiParts();
    if (!text || !ui)
        return nullptr;
    std::string utf8 = win::wideToUtf8(text);
    rapidxml::xml_document<char> doc;
    xmlguard::checkDepth(utf8.data());          // throws rapidxml::parse_error
    doc.parse<kLayoutParseFlags>(utf8.data());  // throws rapidxml::parse_error

    const rapidxml::xml_node<char>* root = doc.first_node();
    while (root && root->type() != rapidxml::node_element) root = root->next_sibling();
    if (!root)
        return nullptr;
    const rapidxml::xml_attribute<char>* typeAttr = root->first_attribute();
    const std::wstring type =
        typeAttr ? win::utf8ToWide(std::string_view(typeAttr->value(), typeAttr->value_size()))
                 : std::wstring();

    Style* style = ui->styleCreators ? ui->styleCreators->create(type) : nullptr;
    if (!style)
        style = new Style;
    if (!style)
        return nullptr;

    const rapidxml::xml_node<char>* element = root->first_node();
    while (element && element->type() != rapidxml::node_element) element = element->next_sibling();
    if (!element || !ui->setters)
        return style;
    for (auto* a = element->first_attribute(); a; a = a->next_attribute()) {
        const std::wstring name = win::utf8ToWide(std::string_view(a->name(), a->name_size()));
        if (const duiField::ISetter* setter = ui->setters->find(name))
            setter->apply(*style, win::utf8ToWide(std::string_view(a->value(), a->value_size())).c_str());
    }
    return style;
}

void destroyStyle(Style* style) {
    delete style;
}

StyleFactory styleFactory() {
    return StyleFactory{parseStyle, destroyStyle};
}

void registerStyleCreators(duiFactory::StyleCreatorRegistry& registry) {
    registry.add<Style_Background>(L"Background");
    registry.add<Style_Button>(L"Button");
    registry.add<Style_CheckButton>(L"CheckButton");
    registry.add<Style_ComboBox>(L"ComboBox");
    registry.add<Style_Edit>(L"Edit");
    registry.add<Style_Slider>(L"Slider");
    registry.add<Style_ToggleButton>(L"ToggleButton");
    registry.add<Style_IconButton>(L"IconButton");
    registry.add<Style_ToggleIconButton>(L"ToggleIconButton");
    registry.add<Style_ScrollBar>(L"ScrollBar");
    registry.add<Style_ButtonEx>(L"ButtonEx");
    registry.add<Style_CheckButtonEx>(L"CheckButtonEx");
    registry.add<Style>(L"Style");
}
