// The button family: leaf controls that keep state flags and raise Click and ValueChange; their look
// comes entirely from their Style. Created by the layout loader and owned by their container. UI
// thread only.
#pragma once

#include <cstdint>

#include "dui/control.h"

namespace duiFactory {
class ControlCreatorRegistry;
}

// Posts Click (direct) when the left button is released inside the control after a press on it. Flags:
// enabled, visible, repaint-on-state, capture-on-press, unfocus-on-press.
class Button : public Control {
  public:
    static constexpr uint32_t kInitialFlags = 0x163;

    Button() : Button(kInitialFlags) {}
    const wchar_t* typeName() const override { return L"Button"; }

  protected:
    explicit Button(uint32_t initialFlags);
};

// Toggles its checked flag on every Click, before any script handler sees the Click. Painted with
// its "style", "checkbox.xml" when it has none.
class CheckBox : public Button {
  public:
    CheckBox();
    void paint(HDC dc, const RECT& rect, const RECT& clip) override;
    // A check button whose action ("Check" or "Uncheck") is the Click that toggles it.
    int32_t accessibleRole() const override;
    const wchar_t* defaultActionName() const override;
};

// A Click checks it (ValueChange once) and never unchecks it; grouping is the script's work. Always
// painted with "radiobutton.xml", whatever its "style" says.
class RadioButton : public Button {
  public:
    RadioButton();
    void paint(HDC dc, const RECT& rect, const RECT& clip) override;
    // A radio button whose action "Check" is the Click that checks it.
    int32_t accessibleRole() const override;
    const wchar_t* defaultActionName() const override;
};

// Toggles its checked flag on every Click, like CheckBox, painted by its "style".
class ToggleButton : public Button {
  public:
    ToggleButton();
};

// Buttons under their own names, for layouts that pair them with the icon styles.
class IconButton : public Button {};
class ToggleIconButton : public ToggleButton {};

// Draws the image named by "img" stretched over its rectangle, then its "style" on top.
class ImageButton : public Button {
  public:
    void paint(HDC dc, const RECT& rect, const RECT& clip) override;
};

// "Button", "CheckBox", "RadioButton", "ToggleButton", "IconButton", "ToggleIconButton", "ImageButton".
void registerButtonCreators(duiFactory::ControlCreatorRegistry& registry);
