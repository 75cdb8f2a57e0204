#include "controls/drawing.h"

#include <oleacc.h>

#include "dui/factory.h"
#include "render/skin_store.h"

SIZE Drawing::measure(SIZE) {
    const SkinImage* image = findSkinImage(findText(attr::src));
    return image ? SIZE{image->width(), image->height()} : SIZE{0, 0};
}

void Drawing::paint(HDC dc, const RECT& rect, const RECT&) {
    drawImageInto(findSkinImage(findText(attr::src)), dc, rect);
}

int32_t Seperator::accessibleRole() const {
    return ROLE_SYSTEM_SEPARATOR;
}

void registerDrawingCreators(duiFactory::ControlCreatorRegistry& registry) {
    registry.add<Drawing>(L"Image");
    registry.add<Seperator>(L"Seperator");
}
