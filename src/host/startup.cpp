#include "host/startup.h"

#include <windows.h>

#include "host/ui_context.h"
#include "dui/delegate.h"
#include "dui/factory.h"
#include "dui/loader.h"
#include "dui/setters.h"
#include "dui/control.h"
#include "dui/style.h"
#include "script/script_engine.h"
#include "worker/sr_service.h"

void startDispatcher() {
    SRService::start();
}
void stopDispatcher() {
    SRService::stop();
}

void createContextParts(UiContext& context) {
    context.setters = createSetterRegistry();
    context.controlCreators = createControlCreators();
    context.styleCreators = createStyleCreators();
    context.layouts = new LayoutStore;
    if (context.styleCreators)
        registerStyleCreators(*context.styleCreators);
    context.skin = new SkinStore(styleFactory());
    setStylePainter(paintControlStyle);
}
void releaseLayoutsAndSkin(UiContext& context) {
    delete context.layouts;
    context.layouts = nullptr;
    if (context.skin)
        context.skin->clearSkin();
    delete context.skin;
    context.skin = nullptr;
}
void releaseContextParts(UiContext& context) {
    for (auto& [id, handlers] : context.messageHandlers) {
        for (Delegate* handler : handlers) handler->release();
        handlers.clear();
    }
    destroySetterRegistry(context.setters);
    destroyControlCreators(context.controlCreators);
    destroyStyleCreators(context.styleCreators);
    context.setters = nullptr;
    context.controlCreators = nullptr;
    context.styleCreators = nullptr;
}

void loadSkinStep() {
    if (UiContext* context = uiContext(); context && context->skin)
        context->skin->loadSkin(L"style.lz");
}
void loadLayoutsStep() {
    loadLayouts(L"frame.lz");
}

void createScriptEngineStep() {
    createScriptEngine(scriptEngine());
}
void runUiScriptStep() {
    runUiScript(scriptEngine(), L"UI.lua");
}
