// unins000.exe, the sample product's uninstaller stand-in: ends at once with code 0.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return 0;
}
