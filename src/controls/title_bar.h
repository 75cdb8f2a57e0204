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
    int32_t accessibleRole() const override;
};

// "TitleBar".
void registerTitleBarCreators(duiFactory::ControlCreatorRegistry& registry);
