// The user-interface context: one per process, created by start-up and destroyed at shutdown, UI
// thread only except for postDeferredCall (any thread). The parts that belong to the object model and
// the renderer (registries, stores) are theirs: see UiParts in dui/context_parts.h.
#pragma once

#include <windows.h>
#include <cstdint>

#include "host/message_handlers.h"

class Control;
class Delegate;

// The application message whose handlers receive the worker's notification texts (event.wParam).
constexpr int32_t kNotificationMessage = 1024;

using AlphaBlendFn = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);
using GradientFillFn = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

struct UiContext {
    HMODULE msimg32 = nullptr;              // loaded from the system folder; may be null
    AlphaBlendFn alphaBlend = nullptr;      // null when msimg32 or the entry point is missing
    GradientFillFn gradientFill = nullptr;  // looked up, not used

    // Application message id -> handlers in order (kNotificationMessage carries worker notifications).
    MessageHandlerMap<Delegate> messageHandlers;

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
