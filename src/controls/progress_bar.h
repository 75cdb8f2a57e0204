// ProgressBar: a background image and a fill image revealed over position / range of the fill area.
// The images and their nine-grid margins are the control's own attributes ("progressbkimg",
// "progressbkScaleGrid", "progressimg", "progressScaleGrid", "progressmargin"); it has no Style. A
// missing image draws nothing. UI thread only.
#pragma once

#include <cstdint>

#include "dui/control.h"

namespace duiFactory {
class ControlCreatorRegistry;
}

// Transparent to the mouse (flags enabled, visible, transparent).
class ProgressBar : public Control {
  public:
    static constexpr uint32_t kInitialFlags = 0x403;

    ProgressBar() : Control(kInitialFlags) {}
    const wchar_t* typeName() const override { return L"ProgressBar"; }
    void paint(HDC dc, const RECT& rect, const RECT& clip) override;
    // The percentage done ("45%"); a change of range or position that changes it is told as a value
    // change (an install moves the position by far less than a percent with most files).
    bool accessibleValue(std::wstring* value) const override;

    // Stores the range and repaints what changed; the position stays as it is.
    void setRange(int32_t range);
    // Stores the smaller of p and the range, and repaints what changed: the band between the old and
    // the new edge of the fill, nothing when the edge stays in its pixel.
    void setPosition(int32_t p);
    int32_t range() const { return range_; }
    int32_t position() const { return position_; }

    // The filled part of `rect` (the fill area, cut at position / range); empty while the range or
    // the position is 0, or when the part has no width.
    RECT fillRect(const RECT& rect) const;

  private:
    RECT localRect() const;
    int64_t percent() const;
    // Repaints the fill's change from `before` and tells a change of the percentage from `percentBefore`.
    void changed(const RECT& before, int64_t percentBefore);
    void repaintFill(const RECT& before);

    int32_t range_ = 1;
    int32_t position_ = 0;
};

// "ProgressBar".
void registerProgressBarCreators(duiFactory::ControlCreatorRegistry& registry);
