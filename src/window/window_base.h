// WindowBase: the binding between a native window of the system's one window class and the object that
// handles its messages. UI thread only.
//
// Ownership: once createNativeWindow has been called, the object belongs to its native window. It is
// deleted by its own WM_DESTROY (the base handleMessage), and also when the native window cannot be
// created. Messages reach handleMessage from the window's first message (WM_NCCREATE, or the first
// message the system sends earlier) until WM_DESTROY; later messages go to the default procedure.
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>

class WindowBase {
  public:
    WindowBase() = default;
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;
    // Leaves the window registry (when the entry still names this object) and ends any modal run of
    // this window that is still waiting.
    virtual ~WindowBase();

    // Handles one message of the native window. The base deletes the object on WM_DESTROY (answering
    // 0) and hands everything else to the default window procedure. A subclass that overrides it must
    // not touch its members after calling the base for WM_DESTROY.
    virtual LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    HWND handle() const { return hwnd_; }

    // Shows the window and pumps the thread's messages until endModal stores a non-zero code or the
    // quit message arrives (which stays queued for the loop outside). Close requests for this window
    // are dropped meanwhile. `owner`, when given, is disabled for the run and activated afterwards.
    // The window is hidden and destroyed at the end, so the object is gone when this returns. Runs
    // nest. Answers the end code (0 when the quit message ended the run).
    int32_t runModal(HWND owner);
    // Stores the end code and wakes the loop. A code of 0 does not end the run.
    void endModal(int32_t code);
    int32_t modalEndCode() const { return endCode_; }

    // Marks a stack frame that must learn whether the window object died while it ran (a handler may
    // destroy the window). Frames nest; the newest must end first.
    class Watch {
      public:
        explicit Watch(WindowBase* window);
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;
        ~Watch();
        bool alive() const { return window_ != nullptr; }
        // The end code the window had when it died (0 while alive).
        int32_t endCodeAtDeath() const { return endCode_; }

      private:
        friend class WindowBase;
        WindowBase* window_;
        Watch* outer_;
        int32_t endCode_ = 0;
    };

  private:
    friend LRESULT CALLBACK windowClassProc(HWND, UINT, WPARAM, LPARAM);
    friend void bindPendingWindow(HWND hwnd);

    HWND hwnd_ = nullptr;
    int32_t endCode_ = 0;
    Watch* watches_ = nullptr;
};

// The name of the one window class every WindowBase uses.
constexpr wchar_t kWindowClassName[] = L"WINDOW:234:000";

// Creates the native window for `window` (class "WINDOW:234:000", registered on first use) and binds
// them. False when no native window exists afterwards; the object has then been deleted.
bool createNativeWindow(WindowBase* window, const wchar_t* title, DWORD style, int x, int y, int width,
                        int height, HWND parent, HMENU menu, HINSTANCE instance);
bool createNativeWindowEx(WindowBase* window, DWORD exStyle, const wchar_t* title, DWORD style, int x, int y,
                          int width, int height, HWND parent, HMENU menu, HINSTANCE instance);

// The object bound to a native window, or null.
WindowBase* windowFromHandle(HWND hwnd);
// Number of bound windows (for leak checks).
std::size_t boundWindowCount();
