// Styles: Objects whose attributes name skin images, colours and offsets, and whose paint draws a
// control in its current state. Parsed from style entries of the skin archive and owned by the
// SkinStore; one style serves every control that names it and keeps no per-control state. UI thread
// only. Missing images, fonts or attributes draw nothing for their piece and never fail.
#pragma once

#include <windows.h>
#include <cstdint>

#include "dui/object.h"
#include "render/skin_store.h"

class Control;
class StylePainter;
namespace duiFactory {
class StyleCreatorRegistry;
}

class Style : public Object {
  public:
    // Draws for `control` into `rect` (surface coordinates). Style's own paint is drawStateSkin.
    virtual void paint(HDC dc, const RECT& rect, const Control& control) const;
};

// upSkin / overSkin / downSkin / disabledSkin by the control's state (pressed or checked counts as
// down, hover or focused as over), nine-grid with "scaleGrid" when the style has it.
void drawStateSkin(const Style& style, HDC dc, const Control& control, const RECT& rect);

// What a slider or scroll bar provides for its style, rectangles relative to the control. Controls
// implement it beside Control; the style finds it with dynamic_cast and draws only the track or bar
// without it.
class StyleParts {
  public:
    virtual RECT thumbRect() const = 0;
    virtual RECT upArrowRect() const { return RECT{0, 0, 0, 0}; }
    virtual RECT downArrowRect() const { return RECT{0, 0, 0, 0}; }
    // Scroll bar part states: up arrow pressed 0x10 / hover 0x1, down arrow 0x20 / 0x2, thumb 0x40 /
    // 0x4.
    virtual uint32_t partStates() const { return 0; }

  protected:
    ~StyleParts() = default;
};
namespace scrollPart {
constexpr uint32_t upHover = 0x1, downHover = 0x2, thumbHover = 0x4;
constexpr uint32_t upPressed = 0x10, downPressed = 0x20, thumbPressed = 0x40;
}  // namespace scrollPart

// The twelve style classes; each overrides paint only.
#define TARVO_STYLE_CLASS(name)                                                      \
    class name : public Style {                                                      \
      public:                                                                        \
        void paint(HDC dc, const RECT& rect, const Control& control) const override; \
    };
TARVO_STYLE_CLASS(Style_Background)
TARVO_STYLE_CLASS(Style_Button)
TARVO_STYLE_CLASS(Style_CheckButton)
TARVO_STYLE_CLASS(Style_ComboBox)
TARVO_STYLE_CLASS(Style_Edit)
TARVO_STYLE_CLASS(Style_Slider)
TARVO_STYLE_CLASS(Style_ToggleButton)
TARVO_STYLE_CLASS(Style_IconButton)
TARVO_STYLE_CLASS(Style_ToggleIconButton)
TARVO_STYLE_CLASS(Style_ScrollBar)
TARVO_STYLE_CLASS(Style_ButtonEx)
TARVO_STYLE_CLASS(Style_CheckButtonEx)
#undef TARVO_STYLE_CLASS

// Parses a style entry (UTF-16 XML): the root's first attribute value is the type name (an
// unregistered one gives a plain Style), the root's first child element carries the attributes. Null
// when the document has no root element or the style cannot be allocated. Throws
// rapidxml::parse_error for malformed XML. Needs the live UiContext's registries.
Style* parseStyle(const wchar_t* text);
void destroyStyle(Style* style);
// parseStyle and destroyStyle, for SkinStore's constructor.
StyleFactory styleFactory();

// Registers the 13 style type names, "Background" to "CheckButtonEx" then "Style".
void registerStyleCreators(duiFactory::StyleCreatorRegistry& registry);

// The control's default paint: the skin's style named styleName, painted for control.
void paintControlStyle(Control& control, HDC dc, const RECT& rect, const wchar_t* styleName);
// paintControlStyle as the painter the UI parts hand to every control (setStylePainter).
const StylePainter& skinStylePainter();
