// Slider: a value in [0, maximum] picked with a draggable thumb, horizontal unless "orientation" says
// otherwise. The thumb's size is that of the image its Style names as "thumbUpSkin"; without that
// image the pointer cannot set the value. UI thread only.
#pragma once

#include <cstdint>

#include "dui/control.h"
#include "dui/style.h"

namespace duiFactory {
class ControlCreatorRegistry;
}

class Slider : public Control, public StyleParts {
  public:
    // enabled, visible, repaint-on-state, capture-on-press, unfocus-on-press, wheel-adjust
    static constexpr uint32_t kInitialFlags = 0x8163;

    Slider();
    void paint(HDC dc, const RECT& rect, const RECT& clip) override;
    // The available size with the cross size replaced by the thumb's (unchanged without a thumb).
    SIZE measure(SIZE available) override;

    // Limits v to [0, maximum]; a change raises ValueChange (direct) and repaints.
    void setValue(int32_t v);
    int32_t value() const { return value_; }
    int32_t maximum() const { return maximum_; }
    bool horizontal() const;

    // Accessibility: a slider whose value is its value (its checked flag only marks the hovered thumb).
    // A click acts where the pointer is, so there is no default action.
    int32_t accessibleRole() const override;
    bool accessibleValue(std::wstring* value) const override;
    const wchar_t* defaultActionName() const override { return nullptr; }
    bool doDefaultAction() override { return false; }
    // Arrow keys move the value by one, as a drag to the neighbouring value would.
    bool keyStep(int step) override;

    // The thumb in control-local coordinates; empty without a thumb image.
    RECT thumbRect() const override;
    // The value a pointer at this window point asks for, unlimited; false without a thumb image.
    bool valueAt(POINT windowPoint, int32_t* value) const;

  private:
    SIZE thumbSize() const;
    static void onPress(void* context, Control* sender, EventRecord& event);
    static void onMove(void* context, Control* sender, EventRecord& event);
    static void onLeave(void* context, Control* sender, EventRecord& event);
    static void onWheel(void* context, Control* sender, EventRecord& event);

    int32_t value_ = 50;
    int32_t maximum_ = 100;
};

// "Slider".
void registerSliderCreators(duiFactory::ControlCreatorRegistry& registry);
