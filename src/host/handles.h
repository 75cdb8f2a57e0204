// RAII owners for Win32 handles. Move-only; the invalid value is part of each owner's type; closing
// preserves the caller's last error. put() resets the owner and hands out the address for a creating
// call. Include this header for every kernel, GDI, registry, COM and hook handle.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <cstdint>
#include <utility>

namespace win {

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
        if (h_ != Invalid) {
            DWORD err = GetLastError();
            Close(h_);
            SetLastError(err);
        }
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

// A registered window class, unregistered on destruction.
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
        if (atom_) {
            DWORD err = GetLastError();
            UnregisterClassW(MAKEINTATOM(atom_), instance_);
            SetLastError(err);
            atom_ = 0;
        }
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

// Scope guards for paint state: SelectObject and SaveDC are undone when the guard ends.
class select_guard {
  public:
    select_guard(HDC dc, HGDIOBJ obj) : dc_(dc), old_(obj ? SelectObject(dc, obj) : nullptr) {}
    select_guard(const select_guard&) = delete;
    select_guard& operator=(const select_guard&) = delete;
    ~select_guard() {
        if (old_)
            SelectObject(dc_, old_);
    }

  private:
    HDC dc_;
    HGDIOBJ old_;
};

class savedc_guard {
  public:
    explicit savedc_guard(HDC dc) : dc_(dc), state_(SaveDC(dc)) {}
    savedc_guard(const savedc_guard&) = delete;
    savedc_guard& operator=(const savedc_guard&) = delete;
    ~savedc_guard() {
        if (state_)
            RestoreDC(dc_, state_);
    }

  private:
    HDC dc_;
    int state_;
};

// A window's client DC from GetDC, released with ReleaseDC. Null when GetDC failed.
class window_dc {
  public:
    explicit window_dc(HWND window) : window_(window), dc_(GetDC(window)) {}
    window_dc(const window_dc&) = delete;
    window_dc& operator=(const window_dc&) = delete;
    ~window_dc() {
        if (dc_) {
            DWORD err = GetLastError();
            ReleaseDC(window_, dc_);
            SetLastError(err);
        }
    }
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

  private:
    HWND window_;
    HDC dc_;
};

// BeginPaint/EndPaint for one WM_PAINT.
class paint_guard {
  public:
    explicit paint_guard(HWND window) : window_(window), dc_(BeginPaint(window, &ps_)) {}
    paint_guard(const paint_guard&) = delete;
    paint_guard& operator=(const paint_guard&) = delete;
    ~paint_guard() { EndPaint(window_, &ps_); }
    HDC dc() const { return dc_; }
    const RECT& area() const { return ps_.rcPaint; }

  private:
    HWND window_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// Narrows the DC's clip region to a rectangle (intersected with the current one) and restores the
// previous region, or no region, when the guard ends.
class clip_guard {
  public:
    clip_guard(HDC dc, const RECT& area) : dc_(dc), saved_(CreateRectRgn(0, 0, 0, 0)) {
        if (saved_ && GetClipRgn(dc, saved_) != 1) {
            DeleteObject(saved_);
            saved_ = nullptr;  // there was no clip region
        }
        IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
    }
    clip_guard(const clip_guard&) = delete;
    clip_guard& operator=(const clip_guard&) = delete;
    ~clip_guard() {
        SelectClipRgn(dc_, saved_);  // a null region removes clipping
        if (saved_)
            DeleteObject(saved_);
    }

  private:
    HDC dc_;
    HRGN saved_;
};

// SetTextColor undone when the guard ends.
class text_color_guard {
  public:
    text_color_guard(HDC dc, COLORREF color) : dc_(dc), old_(SetTextColor(dc, color)) {}
    text_color_guard(const text_color_guard&) = delete;
    text_color_guard& operator=(const text_color_guard&) = delete;
    ~text_color_guard() {
        if (old_ != CLR_INVALID)
            SetTextColor(dc_, old_);
    }

  private:
    HDC dc_;
    COLORREF old_;
};

// OpenClipboard for one scope, CloseClipboard when it ends if the open succeeded.
class clipboard_guard {
  public:
    explicit clipboard_guard(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
    clipboard_guard(const clipboard_guard&) = delete;
    clipboard_guard& operator=(const clipboard_guard&) = delete;
    ~clipboard_guard() {
        if (open_) {
            DWORD err = GetLastError();
            CloseClipboard();
            SetLastError(err);
        }
    }
    explicit operator bool() const { return open_; }

  private:
    bool open_;
};

// GlobalLock for one scope; get() is null when the lock failed.
class global_lock_guard {
  public:
    explicit global_lock_guard(HGLOBAL block) : block_(block), data_(block ? GlobalLock(block) : nullptr) {}
    global_lock_guard(const global_lock_guard&) = delete;
    global_lock_guard& operator=(const global_lock_guard&) = delete;
    ~global_lock_guard() {
        if (data_)
            GlobalUnlock(block_);
    }
    void* get() const { return data_; }

  private:
    HGLOBAL block_;
    void* data_;
};

// OleInitialize for the calling thread, undone when the guard ends if it succeeded (S_FALSE counts).
class ole_scope {
  public:
    ole_scope() : result_(OleInitialize(nullptr)) {}
    ole_scope(const ole_scope&) = delete;
    ole_scope& operator=(const ole_scope&) = delete;
    ~ole_scope() {
        if (SUCCEEDED(result_))
            OleUninitialize();
    }
    HRESULT result() const { return result_; }

  private:
    HRESULT result_;
};

// CoInitializeEx for the calling thread, undone when the guard ends if it succeeded.
class com_scope {
  public:
    explicit com_scope(DWORD model = COINIT_APARTMENTTHREADED) : result_(CoInitializeEx(nullptr, model)) {}
    com_scope(const com_scope&) = delete;
    com_scope& operator=(const com_scope&) = delete;
    ~com_scope() {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    HRESULT result() const { return result_; }

  private:
    HRESULT result_;
};

// A critical section with the project's spin count.
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

// Holds a critical_section for one scope.
class lock_guard {
  public:
    explicit lock_guard(critical_section& lock) : lock_(lock) { lock_.lock(); }
    lock_guard(const lock_guard&) = delete;
    lock_guard& operator=(const lock_guard&) = delete;
    ~lock_guard() { lock_.unlock(); }

  private:
    critical_section& lock_;
};

}  // namespace win
