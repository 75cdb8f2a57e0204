// TitleBar: a press on it lets the user drag the whole window (the system's move loop); painted by
// its "style". UI thread only.
#pragma once

#include "dui/control.h"

namespace duiFactory {
class ControlCreatorRegistry;
}

class TitleBar : public Control {
  public:
    // The press stays unhandled, so it still bubbles to the containers above.
    TitleBar();
    // A title bar; its press starts dragging the window, so there is no default action.
    int32_t accessibleRole() const override;
    const wchar_t* defaultActionName() const override { return nullptr; }
    bool doDefaultAction() override { return false; }
};

// "TitleBar".
void registerTitleBarCreators(duiFactory::ControlCreatorRegistry& registry);
