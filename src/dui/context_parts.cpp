#include "dui/context_parts.h"

#include "dui/control.h"
#include "dui/delegate.h"
#include "dui/style.h"
#include "host/ui_context.h"

namespace {
std::unique_ptr<UiParts> g_parts;
}  // namespace

UiParts* uiParts() {
    return g_parts.get();
}

bool createUiContextWithParts() {
    if (!createUiContext())
        return false;
    auto parts = std::make_unique<UiParts>();
    parts->setters.reset(createSetterRegistry());
    parts->controlCreators.reset(createControlCreators());
    parts->styleCreators.reset(createStyleCreators());
    parts->layouts = std::make_unique<LayoutStore>();
    if (parts->styleCreators)
        registerStyleCreators(*parts->styleCreators);
    parts->skin = std::make_unique<SkinStore>(styleFactory());
    setCurrentSkin(parts->skin.get());
    setStylePainter(&skinStylePainter());
    g_parts = std::move(parts);
    return true;
}

void destroyUiContextWithParts() {
    UiContext* context = uiContext();
    if (!context)
        return;
    if (g_parts) {
        g_parts->layouts.reset();
        if (g_parts->skin)
            g_parts->skin->clearSkin();
        setCurrentSkin(nullptr);
        g_parts->skin.reset();
    }
    context->messageHandlers.clear();
    g_parts.reset();  // the registries
    destroyUiContext();
}
