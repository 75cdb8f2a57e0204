// TarvoVirtualCameraUI.exe, the sample product's main program: while it runs, its full path stands in
// the product's running-program list (shared block + mutex, "path;" per program); it stays until its
// hidden window is closed (WM_CLOSE) or the process is ended, and takes its entry out on a clean exit.
#include <windows.h>

#include <string>

#include "host/handles.h"

namespace {

constexpr wchar_t kListName[] = L"7E3B52C0-19AD-4F6E-9B21-3C8D5A6E0F47";
constexpr wchar_t kMutexName[] = L"C94F06D2-8B3E-4A17-A5D0-6E2B9F1C7A35";
constexpr DWORD kListBytes = 4096;
constexpr size_t kListUnits = kListBytes / sizeof(wchar_t);

class RunningList {
  public:
    bool open() {
        mutex_.reset(CreateMutexW(nullptr, FALSE, kMutexName));
        mapping_.reset(
            CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kListBytes, kListName));
        if (!mutex_ || !mapping_)
            return false;
        view_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, kListBytes));
        return static_cast<bool>(view_);
    }
    // Appends or removes "entry;" under the mutex; false when the text would not fit.
    bool edit(const std::wstring& entry, bool add) {
        if (WaitForSingleObject(mutex_.get(), 5000) != WAIT_OBJECT_0)
            return false;
        auto* text = static_cast<wchar_t*>(view_.get());
        std::wstring list(text, wcsnlen(text, kListUnits));
        std::wstring item = entry + L";";
        if (add) {
            list += item;
        } else {
            auto at = list.find(item);
            if (at != std::wstring::npos)
                list.erase(at, item.size());
        }
        bool fits = list.size() < kListUnits;
        if (fits) {
            std::fill(text, text + kListUnits, L'\0');
            list.copy(text, list.size());
        }
        ReleaseMutex(mutex_.get());
        return fits;
    }

  private:
    win::unique_handle mutex_;
    win::unique_handle mapping_;
    win::unique_view view_;
};

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    RunningList list;
    if (!list.open() || !list.edit(self, true))
        return 1;

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"TarvoVirtualCameraUI";
    win::unique_wndclass cls(RegisterClassExW(&wc), instance);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"TarvoVirtualCameraUI", WS_OVERLAPPEDWINDOW, 0, 0,
                                  200, 100, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    list.edit(self, false);
    return 0;
}
