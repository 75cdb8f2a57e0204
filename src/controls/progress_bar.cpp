#include "controls/progress_bar.h"

#include <oleacc.h>

#include <algorithm>

#include "dui/factory.h"
#include "host/handles.h"
#include "render/skin_store.h"

namespace {

// The fill area: the rectangle less "progressmargin" (left and top added, right and bottom taken).
RECT fillArea(const Control& bar, const RECT& rect) {
    const RECT* margin = bar.findRect(attr::progressmargin);
    if (!margin)
        return rect;
    return RECT{rect.left + margin->left, rect.top + margin->top, rect.right - margin->right,
                rect.bottom - margin->bottom};
}

}  // namespace

void ProgressBar::setRange(int32_t range) {
    const RECT before = fillRect(localRect());
    const int64_t percentBefore = percent();
    range_ = range;
    changed(before, percentBefore);
}

void ProgressBar::setPosition(int32_t p) {
    const RECT before = fillRect(localRect());
    const int64_t percentBefore = percent();
    position_ = p < range_ ? p : range_;
    changed(before, percentBefore);
}

void ProgressBar::changed(const RECT& before, int64_t percentBefore) {
    repaintFill(before);
    if (percent() != percentBefore)
        notifyAccessible(EVENT_OBJECT_VALUECHANGE);
}

int64_t ProgressBar::percent() const {
    return range_ > 0 ? static_cast<int64_t>(position_) * 100 / range_ : 0;
}

bool ProgressBar::accessibleValue(std::wstring* value) const {
    *value = std::to_wstring(percent()) + L"%";
    return true;
}

RECT ProgressBar::localRect() const {
    return RECT{0, 0, bounds().right - bounds().left, bounds().bottom - bounds().top};
}

// Only the band between the old and the new edge of the fill changes; an install of many files moves
// the edge by less than a pixel with most steps, and those repaint nothing.
void ProgressBar::repaintFill(const RECT& before) {
    const RECT after = fillRect(localRect());
    if (EqualRect(&before, &after))
        return;
    RECT band;
    if (IsRectEmpty(&before) || IsRectEmpty(&after)) {
        UnionRect(&band, &before, &after);
    } else {
        band = RECT{std::min(before.right, after.right), after.top, std::max(before.right, after.right),
                    after.bottom};
    }
    invalidate(band, false);
}

RECT ProgressBar::fillRect(const RECT& rect) const {
    if (range_ == 0 || position_ == 0)
        return RECT{0, 0, 0, 0};
    const RECT area = fillArea(*this, rect);
    const int64_t width = static_cast<int64_t>(area.right - area.left) * position_ / range_;
    if (width <= 0 || area.bottom <= area.top)
        return RECT{0, 0, 0, 0};
    return RECT{area.left, area.top, static_cast<LONG>(area.left + width), area.bottom};
}

void ProgressBar::paint(HDC dc, const RECT& rect, const RECT&) {
    drawImageInto(findSkinImage(findText(attr::progressbkimg)), dc, rect,
                  findRect(attr::progressbkScaleGrid));
    const RECT filled = fillRect(rect);
    if (IsRectEmpty(&filled))
        return;
    // The fill image covers the whole fill area; the clip shows only the filled part of it.
    auto clip = win::clip_to(dc, filled);
    drawImageInto(findSkinImage(findText(attr::progressimg)), dc, fillArea(*this, rect),
                  findRect(attr::progressScaleGrid));
}

void registerProgressBarCreators(duiFactory::ControlCreatorRegistry& registry) {
    registry.add<ProgressBar>(L"ProgressBar");
}
