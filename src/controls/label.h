// Text controls: a single line of "text" in the "font" (default "Default") and "color" (default
// 0x0092794D), aligned by "textAlign" inside "padding". No Style is drawn behind them. UI thread only.
#pragma once

#include <cstdint>

#include "dui/control.h"

namespace duiFactory {
class ControlCreatorRegistry;
}

// Transparent to the mouse (flags enabled, visible, transparent).
class Label : public Control {
  public:
    static constexpr uint32_t kInitialFlags = 0x403;
    static constexpr COLORREF kDefaultColor = 0x0092794D;

    Label() : Control(kInitialFlags) {}
    // The text's extent (0 by 0 without text) plus the padding.
    SIZE measure(SIZE available) override;
    void paint(HDC dc, const RECT& rect, const RECT& clip) override;
    // A label that a script made live (it takes the mouse, handles its own press and shows the hand
    // cursor) is a link: reachable by Tab, pressed by Enter and Space, read as "link".
    int32_t accessibleRole() const override;
    uint32_t accessibleState() const override;
    const wchar_t* defaultActionName() const override;

  protected:
    // Is this a label made live by a script? Asks the label's QueryCursor handlers which cursor they
    // set, and puts the cursor back.
    bool isLiveLink() const;
    explicit Label(uint32_t initialFlags) : Control(initialFlags) {}
};

// A label that takes the mouse: the hand cursor over it, and a press opens its "url" with the user's
// default handler (the url is whatever the layout names: a web address, a document or a program).
// The press is spent here with or without a url.
class LinkLabel : public Label {
  public:
    LinkLabel();
    // A link whose action "Jump" is a click (its press opens the link).
    int32_t accessibleRole() const override;
    uint32_t accessibleState() const override;
    const wchar_t* defaultActionName() const override;
    bool doDefaultAction() override;
};

// "Label", "LinkLabel".
void registerLabelCreators(duiFactory::ControlCreatorRegistry& registry);
