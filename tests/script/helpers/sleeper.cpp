// Test helper: sleeps for argv[1] milliseconds (default 30000), then exits with code argv[2] (default 0).
#include <windows.h>
#include <cstdlib>

int wmain(int argc, wchar_t** argv) {
    DWORD ms = argc > 1 ? static_cast<DWORD>(_wtoi(argv[1])) : 30000;
    int code = argc > 2 ? _wtoi(argv[2]) : 0;
    Sleep(ms);
    return code;
}
