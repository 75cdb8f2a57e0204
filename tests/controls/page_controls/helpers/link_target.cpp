// Stands in for the program a link opens: writes its command line into "<its own path>.opened" and
// ends. A GUI-subsystem program, so starting it brings up no console.
#include <windows.h>

#include <string>

#include "host/handles.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    wchar_t self[MAX_PATH] = {};
    if (!GetModuleFileNameW(nullptr, self, MAX_PATH))
        return 1;
    const std::wstring marker = std::wstring(self) + L".opened";
    win::unique_file file(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    const std::wstring text = commandLine ? commandLine : L"";
    return file && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)),
                             &written, nullptr)
               ? 0
               : 1;
}
