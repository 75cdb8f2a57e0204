// The user-interface context: one per process, created by start-up and destroyed at shutdown, UI
// thread only except for postDeferredCall (any thread). The parts that belong to higher modules
// (registries, stores, message handlers) are created after createUiContext and released before
// destroyUiContext by start-up, which sees every module; they are null while absent.
#pragma once

#include <windows.h>
#include <cstdint>

#include "host/message_handlers.h"

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

// The application message whose handlers receive the worker's notification texts (event.wParam).
constexpr int32_t kNotificationMessage = 1024;

using AlphaBlendFn = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);
using GradientFillFn = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

struct UiContext {
    HMODULE msimg32 = nullptr;              // loaded from the system folder; may be null
    AlphaBlendFn alphaBlend = nullptr;      // null when msimg32 or the entry point is missing
    GradientFillFn gradientFill = nullptr;  // looked up, not used

    duiField::SetterRegistry* setters = nullptr;                    // owned
    duiFactory::ControlCreatorRegistry* controlCreators = nullptr;  // owned
    duiFactory::StyleCreatorRegistry* styleCreators = nullptr;      // owned

    // Application message id -> handlers in order (kNotificationMessage carries worker notifications).
    MessageHandlerMap<Delegate> messageHandlers;

    SkinStore* skin = nullptr;        // owned
    LayoutStore* layouts = nullptr;   // owned
    HWND dispatcherWindow = nullptr;  // hidden window of class "Dispatcher_Kestrel124"
};

// The live context, or null before creation / after destruction. UI thread only.
UiContext* uiContext();

// Creates the context with the AlphaBlend entry point and the deferred-call window, and destroys it
// after running the calls still queued. UI thread only.
bool createUiContext();
void destroyUiContext();

// A deferred call: fn(target, sender, arg) runs later on the UI thread. Any thread. Answers false and
// posts nothing when there is no context.
using DeferredFn = void (*)(Control* target, Control* sender, intptr_t arg);
bool postDeferredCall(Control* target, DeferredFn fn, Control* sender, intptr_t arg);
