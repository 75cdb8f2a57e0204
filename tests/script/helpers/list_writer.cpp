// Test helper: publishes argv[1] as the running-product list (the shared block the installed product's
// programs write), keeps it alive for argv[2] milliseconds (default 30000), then exits.
#include <windows.h>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "host/handles.h"

int wmain(int argc, wchar_t** argv) {
    const wchar_t* text = argc > 1 ? argv[1] : L"";
    DWORD ms = argc > 2 ? static_cast<DWORD>(_wtoi(argv[2])) : 30000;
    win::unique_handle mutex(CreateMutexW(nullptr, FALSE, L"C94F06D2-8B3E-4A17-A5D0-6E2B9F1C7A35"));
    win::unique_handle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                                  L"7E3B52C0-19AD-4F6E-9B21-3C8D5A6E0F47"));
    if (!mutex || !mapping)
        return 2;
    win::unique_view view(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!view)
        return 3;
    WaitForSingleObject(mutex.get(), INFINITE);
    std::memset(view.get(), 0, 4096);
    size_t n = wcslen(text);
    if (n > 2047)
        n = 2047;
    std::memcpy(view.get(), text, n * sizeof(wchar_t));
    ReleaseMutex(mutex.get());
    Sleep(ms);
    return 0;
}
