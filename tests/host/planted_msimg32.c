/* A stand-in "msimg32.dll" for the DLL-planting test: when loaded it creates "msimg32_loaded.txt"
   beside itself. */
#define NOGDI
#include <windows.h>

__declspec(dllexport) BOOL AlphaBlend(void) {
    return FALSE;
}
__declspec(dllexport) BOOL GradientFill(void) {
    return FALSE;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH + 32];
        DWORD n = GetModuleFileNameW(instance, path, MAX_PATH);
        while (n > 0 && path[n - 1] != L'\\') --n;
        lstrcpyW(path + n, L"msimg32_loaded.txt");
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    return TRUE;
}
