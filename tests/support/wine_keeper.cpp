// Keeps one Wine session alive for a whole test run: started first, with its output discarded, so the
// wineserver, Wine's service processes and the desktop process are started once by it and never inherit
// (and hold open) the output pipe of a test executable. Waits until the session is ended with
// wineserver -k.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    GetDesktopWindow();  // brings up the desktop (explorer.exe) now, as this process's child
    Sleep(INFINITE);
    return 0;
}
