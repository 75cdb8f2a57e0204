#include "host/startup.h"

#include <windows.h>

#include "dui/context_parts.h"
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
    return createUiContextWithParts();
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
