// Controls that only show a picture: Drawing (the "Image" element) shows the image named by "src",
// Seperator shows its Style. Both are transparent to the mouse. UI thread only.
#pragma once

#include <cstdint>

#include "dui/control.h"

namespace duiFactory {
class ControlCreatorRegistry;
}

// The "src" image stretched over the rectangle; no Style. Measures as the image's size (0 by 0
// without one).
class Drawing : public Control {
  public:
    static constexpr uint32_t kInitialFlags = 0x403;

    Drawing() : Control(kInitialFlags) {}
    const wchar_t* typeName() const override { return L"Image"; }
    SIZE measure(SIZE available) override;
    void paint(HDC dc, const RECT& rect, const RECT& clip) override;
};

// A divider line or any other decoration drawn by its "style".
class Seperator : public Control {
  public:
    static constexpr uint32_t kInitialFlags = 0x403;

    Seperator() : Control(kInitialFlags) {}
    int32_t accessibleRole() const override;
};

// "Image", "Seperator".
void registerDrawingCreators(duiFactory::ControlCreatorRegistry& registry);
