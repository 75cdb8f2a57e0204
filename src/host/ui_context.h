// The user-interface context: one per process, created by start-up and destroyed at shutdown, UI
// thread only except for postDeferredCall (any thread). Members owned by other modules are created
// and released by those modules' functions; a member is null until its module is built.
#pragma once

#include <windows.h>
#include <cstdint>
#include <map>
#include <vector>

class Control;
class Delegate;
class SkinStore;
class LayoutStore;
namespace duiField {
class SetterRegistry;
}
namespace duiFactory {
class ControlCreatorRegistry;
class StyleCreatorRegistry;
}  // namespace duiFactory

using AlphaBlendFn = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);
using GradientFillFn = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

struct UiContext {
    HMODULE msimg32 = nullptr;              // loaded from the system folder; may be null
    AlphaBlendFn alphaBlend = nullptr;      // null when msimg32 or the entry point is missing
    GradientFillFn gradientFill = nullptr;  // looked up, not used

    duiField::SetterRegistry* setters = nullptr;                    // owned
    duiFactory::ControlCreatorRegistry* controlCreators = nullptr;  // owned
    duiFactory::StyleCreatorRegistry* styleCreators = nullptr;      // owned

    // Application message id -> handlers in order; every stored pointer holds one shared reference.
    std::map<int32_t, std::vector<Delegate*>> messageHandlers;

    SkinStore* skin = nullptr;        // owned
    LayoutStore* layouts = nullptr;   // owned
    HWND dispatcherWindow = nullptr;  // hidden window of class "Dispatcher_Kestrel124"
};

// The live context, or null before creation / after destruction. UI thread only.
UiContext* uiContext();

// Creates the context (start-up, after the dispatcher) and destroys it (first at shutdown, once the UI
// script has returned). UI thread only.
bool createUiContext();
void destroyUiContext();

// A deferred call: fn(target, sender, arg) runs later on the UI thread. Any thread. Answers false and
// posts nothing when there is no context.
using DeferredFn = void (*)(Control* target, Control* sender, intptr_t arg);
bool postDeferredCall(Control* target, DeferredFn fn, Control* sender, intptr_t arg);
