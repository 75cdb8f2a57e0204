// Helper process for the host tests, copied under other names. No arguments: sleeps for a minute.
// "--load NAME": loads NAME by plain LoadLibraryW (the default search order) and exits with 0 when
// it loaded, 1 otherwise.
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    const wchar_t* load = std::wcsstr(commandLine, L"--load ");
    if (load)
        return LoadLibraryW(load + 7) ? 0 : 1;
    Sleep(60000);
    return 0;
}
