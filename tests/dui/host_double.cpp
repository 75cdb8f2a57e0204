// Test double of the host's UI context, used only while the host module is not part of the build:
// a context object and a real hidden deferred-call window that runs posted calls on message 1025.
#include <windows.h>

#include "host/ui_context.h"

namespace {

UiContext* context = nullptr;

struct Call {
    Control* target;
    DeferredFn fn;
    Control* sender;
    intptr_t arg;
};

LRESULT CALLBACK dispatcherProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_USER + 1) {
        auto* call = reinterpret_cast<Call*>(wp);
        call->fn(call->target, call->sender, call->arg);
        delete call;
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

UiContext* uiContext() {
    return context;
}

bool createUiContext() {
    if (context)
        return true;
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = dispatcherProc;
    wc.lpszClassName = L"Dispatcher_Kestrel124";
    RegisterClassW(&wc);
    context = new UiContext;
    context->dispatcherWindow = CreateWindowExW(WS_EX_TOOLWINDOW, L"Dispatcher_Kestrel124", L"", WS_POPUP, 0,
                                                0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    return context->dispatcherWindow != nullptr;
}

void destroyUiContext() {
    if (!context)
        return;
    HWND w = context->dispatcherWindow;
    delete context;
    context = nullptr;
    MSG msg;
    while (w && PeekMessageW(&msg, w, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (w)
        DestroyWindow(w);
}

bool postDeferredCall(Control* target, DeferredFn fn, Control* sender, intptr_t arg) {
    if (!context || !context->dispatcherWindow)
        return false;
    auto* call = new Call{target, fn, sender, arg};
    if (!PostMessageW(context->dispatcherWindow, WM_USER + 1, reinterpret_cast<WPARAM>(call), 0)) {
        delete call;
        return false;
    }
    return true;
}
