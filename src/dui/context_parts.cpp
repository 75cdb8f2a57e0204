#include "dui/context_parts.h"

#include "dui/control.h"
#include "dui/delegate.h"
#include "dui/factory.h"
#include "dui/loader.h"
#include "dui/setters.h"
#include "dui/style.h"
#include "host/ui_context.h"
#include "render/skin_store.h"

bool createUiContextWithParts() {
    if (!createUiContext())
        return false;
    UiContext& context = *uiContext();
    context.setters = createSetterRegistry();
    context.controlCreators = createControlCreators();
    context.styleCreators = createStyleCreators();
    context.layouts = new LayoutStore;
    if (context.styleCreators)
        registerStyleCreators(*context.styleCreators);
    context.skin = new SkinStore(styleFactory());
    setStylePainter(paintControlStyle);
    return true;
}

void destroyUiContextWithParts() {
    UiContext* context = uiContext();
    if (!context)
        return;
    delete context->layouts;
    context->layouts = nullptr;
    if (context->skin)
        context->skin->clearSkin();
    delete context->skin;
    context->skin = nullptr;
    context->messageHandlers.clear();
    destroySetterRegistry(context->setters);
    destroyControlCreators(context->controlCreators);
    destroyStyleCreators(context->styleCreators);
    context->setters = nullptr;
    context->controlCreators = nullptr;
    context->styleCreators = nullptr;
    destroyUiContext();
}
