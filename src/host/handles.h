// RAII owners for Win32 handles and guards for begin/end pairs. Owners are move-only; the invalid value is
// part of each owner's type; closing preserves the caller's last error; put() resets the owner and hands
// out the address for a creating call. Begin calls (select_object, save_dc, get_dc, begin_paint, lock...)
// return a [[nodiscard]] scope_exit guard that makes the matching end call once, only if the begin
// succeeded. Include this header for every kernel, GDI, registry, COM and hook handle and every pair.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace win {

namespace detail {
// Runs a closing call without disturbing the caller's last error.
template <typename F>
void keepLastError(F close) {
    DWORD err = GetLastError();
    close();
    SetLastError(err);
}
}  // namespace detail

// InvalidBits is the invalid value's bit pattern (a pointer constant such as INVALID_HANDLE_VALUE cannot
// be a template argument).
template <typename H, auto Close, intptr_t InvalidBits = 0>
class unique_any {
    static inline const H Invalid = (H)(InvalidBits);

  public:
    unique_any() = default;
    explicit unique_any(H h) : h_(h) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& o) noexcept : h_(std::exchange(o.h_, Invalid)) {}
    unique_any& operator=(unique_any&& o) noexcept {
        if (this != &o)
            reset(std::exchange(o.h_, Invalid));
        return *this;
    }
    ~unique_any() { reset(); }

    H get() const { return h_; }
    explicit operator bool() const { return h_ != Invalid; }
    H release() { return std::exchange(h_, Invalid); }
    void reset(H h = Invalid) {
        if (h_ != Invalid)
            detail::keepLastError([this] { Close(h_); });
        h_ = h;
    }
    H* put() {
        reset();
        return &h_;
    }

  private:
    H h_ = Invalid;
};

namespace detail {
inline void closeHandle(HANDLE h) {
    CloseHandle(h);
}
inline void findClose(HANDLE h) {
    FindClose(h);
}
inline void regCloseKey(HKEY h) {
    RegCloseKey(h);
}
inline void freeLibrary(HMODULE h) {
    FreeLibrary(h);
}
inline void destroyWindow(HWND h) {
    DestroyWindow(h);
}
inline void deleteObject(HGDIOBJ h) {
    DeleteObject(h);
}
inline void deleteDC(HDC h) {
    DeleteDC(h);
}
inline void unhookWindowsHookEx(HHOOK h) {
    UnhookWindowsHookEx(h);
}
inline void unmapViewOfFile(void* p) {
    UnmapViewOfFile(p);
}
inline void localFree(HLOCAL p) {
    LocalFree(p);
}
inline void globalFree(HGLOBAL p) {
    GlobalFree(p);
}
}  // namespace detail

using unique_handle = unique_any<HANDLE, detail::closeHandle>;    // null is invalid
using unique_file = unique_any<HANDLE, detail::closeHandle, -1>;  // INVALID_HANDLE_VALUE is invalid
using unique_find = unique_any<HANDLE, detail::findClose, -1>;
using unique_hkey = unique_any<HKEY, detail::regCloseKey>;
using unique_hmodule = unique_any<HMODULE, detail::freeLibrary>;
using unique_hwnd = unique_any<HWND, detail::destroyWindow>;
using unique_hgdiobj = unique_any<HGDIOBJ, detail::deleteObject>;
using unique_hbitmap = unique_any<HBITMAP, detail::deleteObject>;
using unique_hfont = unique_any<HFONT, detail::deleteObject>;
using unique_hbrush = unique_any<HBRUSH, detail::deleteObject>;
using unique_hrgn = unique_any<HRGN, detail::deleteObject>;
using unique_hdc = unique_any<HDC, detail::deleteDC>;  // memory DCs from CreateCompatibleDC
using unique_hhook = unique_any<HHOOK, detail::unhookWindowsHookEx>;
using unique_view = unique_any<void*, detail::unmapViewOfFile>;
using unique_hlocal = unique_any<HLOCAL, detail::localFree>;
using unique_hglobal = unique_any<HGLOBAL, detail::globalFree>;  // release() once SetClipboardData took it

// A registered window class, unregistered on destruction. Not a unique_any: unregistering needs the
// module instance as well as the atom.
class unique_wndclass {
  public:
    unique_wndclass() = default;
    unique_wndclass(ATOM atom, HINSTANCE instance) : atom_(atom), instance_(instance) {}
    unique_wndclass(const unique_wndclass&) = delete;
    unique_wndclass& operator=(const unique_wndclass&) = delete;
    unique_wndclass(unique_wndclass&& o) noexcept
        : atom_(std::exchange(o.atom_, 0)), instance_(o.instance_) {}
    unique_wndclass& operator=(unique_wndclass&& o) noexcept {
        if (this != &o) {
            reset();
            atom_ = std::exchange(o.atom_, 0);
            instance_ = o.instance_;
        }
        return *this;
    }
    ~unique_wndclass() { reset(); }
    ATOM get() const { return atom_; }
    explicit operator bool() const { return atom_ != 0; }
    void reset() {
        if (atom_)
            detail::keepLastError(
                [this] { UnregisterClassW(MAKEINTATOM(std::exchange(atom_, 0)), instance_); });
    }

  private:
    ATOM atom_ = 0;
    HINSTANCE instance_ = nullptr;
};

// A COM interface pointer, released on destruction.
template <typename T>
class com_ptr {
  public:
    com_ptr() = default;
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;
    com_ptr(com_ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    com_ptr& operator=(com_ptr&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    ~com_ptr() { reset(); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() {
        if (p_)
            std::exchange(p_, nullptr)->Release();
    }
    T** put() {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

  private:
    T* p_ = nullptr;
};

namespace detail {
inline void sysFreeString(BSTR s) {
    SysFreeString(s);
}
inline void unhookWinEvent(HWINEVENTHOOK h) {
    UnhookWinEvent(h);
}
}  // namespace detail

// A WinEvent hook from SetWinEventHook.
using unique_hwineventhook = unique_any<HWINEVENTHOOK, detail::unhookWinEvent>;
// A BSTR handed out by a COM call (the caller frees it); put() gives the call its address.
using unique_bstr = unique_any<BSTR, detail::sysFreeString>;

// A VARIANT that a COM call filled, cleared (VariantClear) on destruction and before put() hands it out.
// Not a unique_any: a VARIANT is a value with no invalid state, held in place rather than as a handle.
class unique_variant {
  public:
    unique_variant() { VariantInit(&v_); }
    unique_variant(const unique_variant&) = delete;
    unique_variant& operator=(const unique_variant&) = delete;
    ~unique_variant() { VariantClear(&v_); }
    const VARIANT& get() const { return v_; }
    VARIANT* put() {
        VariantClear(&v_);
        return &v_;
    }

  private:
    VARIANT v_;
};

// A critical section with the project's spin count. Not movable: the system keeps its address.
class critical_section {
  public:
    critical_section() { InitializeCriticalSectionAndSpinCount(&cs_, 100); }
    critical_section(const critical_section&) = delete;
    critical_section& operator=(const critical_section&) = delete;
    ~critical_section() { DeleteCriticalSection(&cs_); }
    void lock() { EnterCriticalSection(&cs_); }
    void unlock() { LeaveCriticalSection(&cs_); }
    CRITICAL_SECTION* native() { return &cs_; }

  private:
    CRITICAL_SECTION cs_;
};

struct no_value {};

// The end half of a begin/end pair: while armed, runs its callable once, when the guard ends or at
// reset(); release() disarms it. It may carry what the begin call produced (a DC, a paint structure, a
// locked pointer, an HRESULT): get() hands it out and the callable receives it. Move-only; a moved-from
// guard is disarmed. Armed means the begin call succeeded, so a failed begin has no end.
template <typename F, typename T = no_value>
class [[nodiscard]] scope_exit {
  public:
    explicit scope_exit(F end) : end_(std::move(end)) {}
    scope_exit(T value, bool armed, F end) : value_(std::move(value)), end_(std::move(end)), armed_(armed) {}
    scope_exit(const scope_exit&) = delete;
    scope_exit& operator=(const scope_exit&) = delete;
    scope_exit(scope_exit&& o) noexcept
        : value_(std::move(o.value_)), end_(std::move(o.end_)), armed_(std::exchange(o.armed_, false)) {}
    scope_exit& operator=(scope_exit&&) = delete;
    ~scope_exit() { reset(); }

    const T& get() const { return value_; }
    explicit operator bool() const { return armed_; }
    void release() { armed_ = false; }
    void reset() {
        if (!std::exchange(armed_, false))
            return;
        if constexpr (std::is_invocable_v<F&, T&>)
            end_(value_);
        else
            end_();
    }

  private:
    T value_{};
    F end_;
    bool armed_ = true;
};

// Guard-returning begin calls, each named for the call it pairs.

// SelectObject, undone when the guard ends; a null object selects nothing.
inline auto select_object(HDC dc, HGDIOBJ obj) {
    HGDIOBJ old = obj ? SelectObject(dc, obj) : nullptr;
    return scope_exit(no_value{}, old != nullptr, [dc, old] { SelectObject(dc, old); });
}

// SaveDC, RestoreDC when the guard ends.
inline auto save_dc(HDC dc) {
    int state = SaveDC(dc);
    return scope_exit(no_value{}, state != 0, [dc, state] { RestoreDC(dc, state); });
}

// Narrows the DC's clip region to a rectangle (intersected with the current one); the previous region,
// or no region, comes back when the guard ends.
inline auto clip_to(HDC dc, const RECT& area) {
    unique_hrgn saved(CreateRectRgn(0, 0, 0, 0));
    if (saved && GetClipRgn(dc, saved.get()) != 1)
        saved.reset();  // there was no clip region
    IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
    // A null region removes clipping.
    return scope_exit([dc, saved = std::move(saved)] { SelectClipRgn(dc, saved.get()); });
}

// SetTextColor, undone when the guard ends.
inline auto set_text_color(HDC dc, COLORREF color) {
    COLORREF old = SetTextColor(dc, color);
    return scope_exit(no_value{}, old != CLR_INVALID, [dc, old] { SetTextColor(dc, old); });
}

// A window's client DC from GetDC (get(); the guard is false when GetDC failed), released with ReleaseDC.
inline auto get_dc(HWND window) {
    HDC dc = GetDC(window);
    return scope_exit(dc, dc != nullptr,
                      [window](HDC d) { detail::keepLastError([&] { ReleaseDC(window, d); }); });
}

// BeginPaint for one WM_PAINT (get().hdc, get().rcPaint); EndPaint when the guard ends, always.
inline auto begin_paint(HWND window) {
    PAINTSTRUCT ps{};
    ps.hdc = BeginPaint(window, &ps);
    return scope_exit(ps, true, [window](PAINTSTRUCT& p) { EndPaint(window, &p); });
}

// OpenClipboard; the guard is false when the open failed, else CloseClipboard when it ends.
inline auto open_clipboard(HWND owner) {
    bool open = OpenClipboard(owner) != FALSE;
    return scope_exit(no_value{}, open, [] { detail::keepLastError([] { CloseClipboard(); }); });
}

// GlobalLock (get(); null and a false guard when the lock failed), GlobalUnlock when the guard ends.
inline auto global_lock(HGLOBAL block) {
    void* data = block ? GlobalLock(block) : nullptr;
    return scope_exit(data, data != nullptr, [block] { GlobalUnlock(block); });
}

// OleInitialize for the calling thread (get() is its result); OleUninitialize when the guard ends if it
// succeeded (S_FALSE counts).
inline auto ole_initialize() {
    HRESULT hr = OleInitialize(nullptr);
    return scope_exit(hr, SUCCEEDED(hr), [] { OleUninitialize(); });
}

// CoInitializeEx for the calling thread (get() is its result); CoUninitialize when the guard ends if it
// succeeded.
inline auto co_initialize(DWORD model = COINIT_APARTMENTTHREADED) {
    HRESULT hr = CoInitializeEx(nullptr, model);
    return scope_exit(hr, SUCCEEDED(hr), [] { CoUninitialize(); });
}

// Holds a critical_section until the guard ends.
inline auto lock(critical_section& section) {
    section.lock();
    return scope_exit([&section] { section.unlock(); });
}

}  // namespace win
