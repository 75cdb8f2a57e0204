// The clipboard seen from another process, for the text-input tests (a GUI program, so no console
// host outlives it):
//   text_input_peer set FILE   puts FILE's UTF-16 units on the clipboard as CF_UNICODETEXT
//   text_input_peer get FILE   writes the clipboard's CF_UNICODETEXT (without terminator) to FILE
// Exit code 0 on success, 1 for bad arguments or files, 2 when the clipboard cannot be opened or set, 3
// when it holds no text.
#include <windows.h>
#include <shellapi.h>
#include <cstring>
#include <string>

#include "host/handles.h"
#include "ui_test_support.h"

namespace {

bool readAll(const wchar_t* path, std::string* out) {
    win::unique_file file(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return false;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) out->append(buffer, got);
    return true;
}

bool writeAll(const wchar_t* path, const void* data, DWORD size) {
    win::unique_file file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), data, size, &written, nullptr) && written == size;
}

int setText(const wchar_t* path) {
    std::string bytes;
    if (!readAll(path, &bytes))
        return 1;
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    return testsupport::setClipboardText(text) ? 0 : 2;
}

int getText(const wchar_t* path) {
    auto clipboard = testsupport::openClipboard(nullptr);
    if (!clipboard)
        return 2;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data)
        return 3;
    auto locked = win::global_lock(data);
    const auto* text = static_cast<const wchar_t*>(locked.get());
    if (!text)
        return 3;
    const std::size_t limit = GlobalSize(data) / sizeof(wchar_t);
    std::size_t n = 0;
    while (n < limit && text[n]) ++n;
    return writeAll(path, text, static_cast<DWORD>(n * sizeof(wchar_t))) ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    win::unique_hlocal args(argv);
    if (!argv || argc != 3)
        return 1;
    if (std::wcscmp(argv[1], L"set") == 0)
        return setText(argv[2]);
    if (std::wcscmp(argv[1], L"get") == 0)
        return getText(argv[2]);
    return 1;
}
