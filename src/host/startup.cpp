#include "host/startup.h"

#include <windows.h>

#include "host/ui_context.h"

namespace {
void notBuilt(const wchar_t* what) {
    OutputDebugStringW(L"setup: ");
    OutputDebugStringW(what);
    OutputDebugStringW(L" is not part of this build; step skipped\n");
}
}  // namespace

void startDispatcher() {
    notBuilt(L"the dispatcher (SRService)");
}
void stopDispatcher() {}

void createContextParts(UiContext&) {
    notBuilt(L"the setter and creator registries, layout and skin stores");
}
void releaseLayoutsAndSkin(UiContext&) {}
void releaseContextParts(UiContext&) {}

void loadSkinStep() {
    notBuilt(L"loadSkin(\"style.lz\")");
}
void loadLayoutsStep() {
    notBuilt(L"loadLayouts(\"frame.lz\")");
}

void createScriptEngineStep() {
    notBuilt(L"the script engine");
}
void runUiScriptStep() {
    notBuilt(L"the UI script run");
}
