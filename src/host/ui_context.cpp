#include "host/ui_context.h"

#include <memory>

#include "host/cleanup.h"
#include "host/handles.h"

namespace {

constexpr UINT kDeferredCallMessage = WM_USER + 1;  // 1025
constexpr wchar_t kDispatcherClass[] = L"Dispatcher_Kestrel124";

struct DeferredCall {
    Control* target;
    DeferredFn fn;
    Control* sender;
    intptr_t arg;
};

// The context with the owners of its kernel and window resources.
struct OwnedContext : UiContext {
    win::unique_hmodule library;
    win::unique_wndclass windowClass;
    win::unique_hwnd dispatcher;  // dispatcherWindow's owner, destroyed before its class
};

OwnedContext* g_context = nullptr;

// Guards g_context for posting threads. Lives for the whole process so that a thread racing with
// destroyUiContext never meets a deleted lock.
win::critical_section& contextLock() {
    static win::critical_section lock;
    return lock;
}

LRESULT CALLBACK deferredCallProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kDeferredCallMessage)
        return DefWindowProcW(window, message, wParam, lParam);
    std::unique_ptr<DeferredCall> call(reinterpret_cast<DeferredCall*>(wParam));
    if (call && call->fn)
        call->fn(call->target, call->sender, call->arg);
    return 0;
}

}  // namespace

UiContext* uiContext() {
    return g_context;
}

bool createUiContext() {
    if (g_context)
        return false;
    contextLock();  // created before any thread can post
    auto context = std::make_unique<OwnedContext>();

    context->library = loadSystemLibrary(L"msimg32.dll");
    if (HMODULE library = context->library.get()) {
        context->msimg32 = library;
        context->alphaBlend =
            reinterpret_cast<AlphaBlendFn>(reinterpret_cast<void*>(GetProcAddress(library, "AlphaBlend")));
        context->gradientFill = reinterpret_cast<GradientFillFn>(
            reinterpret_cast<void*>(GetProcAddress(library, "GradientFill")));
    }

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = deferredCallProc;
    windowClass.lpszClassName = kDispatcherClass;
    context->windowClass = win::unique_wndclass(RegisterClassExW(&windowClass), nullptr);
    context->dispatcher.reset(CreateWindowExW(WS_EX_TOOLWINDOW, kDispatcherClass, L"", WS_POPUP, 0, 0, 1, 1,
                                              nullptr, nullptr, nullptr, nullptr));
    context->dispatcherWindow = context->dispatcher.get();

    {
        auto lock = win::lock(contextLock());
        g_context = context.release();
    }
    return true;
}

void destroyUiContext() {
    OwnedContext* context = g_context;
    if (!context)
        return;
    {
        auto lock = win::lock(contextLock());
        context->alphaBlend = nullptr;
        context->gradientFill = nullptr;
        context->msimg32 = nullptr;
        context->library.reset();
        g_context = nullptr;
    }

    // Calls posted before the pointer went null still run, on this thread, before the window goes.
    HWND window = context->dispatcherWindow;
    if (window && IsWindow(window)) {
        MSG message;
        while (PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    context->dispatcherWindow = nullptr;
    delete context;  // destroys the window, then unregisters its class
}

bool postDeferredCall(Control* target, DeferredFn fn, Control* sender, intptr_t arg) {
    auto call = std::make_unique<DeferredCall>(DeferredCall{target, fn, sender, arg});
    bool posted;
    {
        auto lock = win::lock(contextLock());
        posted = g_context && g_context->dispatcherWindow &&
                 PostMessageW(g_context->dispatcherWindow, kDeferredCallMessage,
                              reinterpret_cast<WPARAM>(call.get()), 0);
    }
    if (posted)
        call.release();  // the window procedure frees it
    return posted;
}
