#include "app/startup.h"

#include <windows.h>

#include "controls/controls.h"
#include "dui/context_parts.h"
#include "dui/factory.h"
#include "dui/loader.h"
#include "host/ui_context.h"
#include "render/skin_store.h"
#include "script/script_engine.h"
#include "worker/sr_service.h"

void startDispatcher() {
    SRService::start();
}
void stopDispatcher() {
    SRService::stop();
}

bool createUiContextStep() {
    if (!createUiContextWithParts())
        return false;
    if (duiFactory::ControlCreatorRegistry* creators = uiContext()->controlCreators)
        registerControlCreators(*creators);
    return true;
}
void destroyUiContextStep() {
    destroyUiContextWithParts();
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
