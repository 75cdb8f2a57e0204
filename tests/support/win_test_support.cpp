#include "win_test_support.h"

#include <malloc.h>
#include <tlhelp32.h>

#include "host/cleanup.h"
#include "png_writer.h"

namespace testsupport {

// ---- Processes -------------------------------------------------------------------------------------

Process startProcess(const std::wstring& exe, const std::wstring& args) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!args.empty())
        commandLine += L" " + args;
    std::wstring folder =
        exe.substr(0, exe.find_last_of(L"\\/") == std::wstring::npos ? 0 : exe.find_last_of(L"\\/"));
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    Process result;
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi))
        return result;
    win::unique_handle thread(pi.hThread);
    result.handle.reset(pi.hProcess);
    result.pid = pi.dwProcessId;
    return result;
}

int waitExit(const Process& process, DWORD timeoutMs) {
    if (!process)
        return kNotStarted;
    if (WaitForSingleObject(process.handle.get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.handle.get(), 1);
        WaitForSingleObject(process.handle.get(), 5000);
        return kTimedOut;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.handle.get(), &code);
    return static_cast<int>(code);
}

int runAndWait(const std::wstring& exe, const std::wstring& args, DWORD timeoutMs) {
    Process p = startProcess(exe, args);
    return p ? waitExit(p, timeoutMs) : kNotStarted;
}

bool processAlive(DWORD pid) {
    win::unique_handle h(OpenProcess(SYNCHRONIZE, FALSE, pid));
    return h && WaitForSingleObject(h.get(), 0) == WAIT_TIMEOUT;
}

int threadCount(DWORD pid) {
    win::unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot)
        return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry))
        count += entry.th32OwnerProcessID == pid;
    return count;
}

size_t heapInUse() {
    _HEAPINFO info = {};
    size_t used = 0;
    while (_heapwalk(&info) == _HEAPOK)
        if (info._useflag == _USEDENTRY)
            used += info._size;
    return used;
}

std::vector<DWORD> processesByName(const std::wstring& name) {
    std::vector<DWORD> ids;
    forEachProcess([&](const PROCESSENTRY32W& entry) {
        if (_wcsicmp(entry.szExeFile, name.c_str()) == 0)
            ids.push_back(entry.th32ProcessID);
        return true;
    });
    return ids;
}

std::wstring selfPath() {
    std::wstring path(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    return path;
}

std::wstring selfFolder() {
    std::wstring path = selfPath();
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// ---- Windows and dialogs ---------------------------------------------------------------------------

namespace {
struct EnumState {
    DWORD pid;
    const wchar_t* className;
    std::vector<HWND>* out;
};

BOOL CALLBACK collectTopLevel(HWND hwnd, LPARAM param) {
    auto* state = reinterpret_cast<EnumState*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (state->pid != 0 && owner != state->pid)
        return TRUE;
    if (state->className && windowClass(hwnd) != state->className)
        return TRUE;
    state->out->push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK collectButtons(HWND hwnd, LPARAM param) {
    auto* out = reinterpret_cast<std::vector<std::wstring>*>(param);
    if (_wcsicmp(windowClass(hwnd).c_str(), L"Button") == 0)
        out->push_back(windowText(hwnd));
    return TRUE;
}
}  // namespace

std::vector<HWND> topLevelWindows(DWORD pid, const wchar_t* className) {
    std::vector<HWND> result;
    EnumState state{pid, className, &result};
    EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&state));
    return result;
}

HWND findDialog(DWORD pid, const std::wstring& title, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND hwnd : topLevelWindows(pid, L"#32770")) {
            if (windowText(hwnd) == title)
                return hwnd;
        }
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(50);
    }
}

std::wstring windowText(HWND window) {
    wchar_t buffer[4096] = {};
    // SendMessageTimeout so that a hung target cannot block the test.
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 2000, &copied))
        return std::wstring();
    return std::wstring(buffer, copied);
}

std::wstring windowClass(HWND window) {
    wchar_t buffer[256] = {};
    int n = GetClassNameW(window, buffer, static_cast<int>(std::size(buffer)));
    return std::wstring(buffer, n > 0 ? n : 0);
}

std::wstring dialogText(HWND dialog) {
    HWND text = GetDlgItem(dialog, 0xFFFF);
    return text ? windowText(text) : std::wstring();
}

std::vector<std::wstring> dialogButtons(HWND dialog) {
    std::vector<std::wstring> result;
    EnumChildWindows(dialog, collectButtons, reinterpret_cast<LPARAM>(&result));
    return result;
}

bool pressButton(HWND dialog, int commandId) {
    if (!IsWindow(dialog))
        return false;
    HWND button = GetDlgItem(dialog, commandId);
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(commandId, BN_CLICKED),
                        reinterpret_cast<LPARAM>(button)) != FALSE;
}

bool waitWindowGone(HWND window, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // The quit message belongs to whichever loop waits for it: leave it queued.
                PostQuitMessage(static_cast<int>(message.wParam));
                Sleep(1);
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
    }
    return true;
}

// ---- Pixels and screenshots ------------------------------------------------------------------------

namespace {
// Reads the pixels of a bitmap selected into nothing, top-down 32-bit, as opaque colours: what a
// window shows has no transparency, whatever its drawing left in the fourth byte (GDI text and fills
// leave 0 there, images drawn with AlphaBlend 255), so that byte must not reach a picture as alpha.
bool readBitmap(HDC dc, HBITMAP bitmap, int width, int height, Image* out) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    out->width = width;
    out->height = height;
    out->pixels.assign(static_cast<size_t>(width) * height, 0);
    if (GetDIBits(dc, bitmap, 0, height, out->pixels.data(), &info, DIB_RGB_COLORS) != height)
        return false;
    for (uint32_t& p : out->pixels) p |= 0xFF000000u;
    return true;
}

// Draws into a screen-compatible bitmap of width x height with draw(memoryDc, screenDc), then reads
// the bitmap's pixels.
template <typename Draw>
bool drawToImage(int width, int height, Image* out, Draw draw) {
    if (width <= 0 || height <= 0)
        return false;
    auto screen = win::get_dc(nullptr);
    if (!screen)
        return false;
    win::unique_hdc memory(CreateCompatibleDC(screen.get()));
    win::unique_hbitmap bitmap(CreateCompatibleBitmap(screen.get(), width, height));
    if (!memory || !bitmap)
        return false;
    bool drawn = false;
    {
        auto select = win::select_object(memory.get(), bitmap.get());
        drawn = draw(memory.get(), screen.get());
    }
    return drawn && readBitmap(memory.get(), bitmap.get(), width, height, out);
}
}  // namespace

bool captureScreen(const RECT& rect, Image* out) {
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    return drawToImage(width, height, out, [&](HDC memory, HDC screen) {
        return BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
    });
}

bool captureWindow(HWND window, Image* out) {
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return false;
    const bool printed =
        drawToImage(rect.right - rect.left, rect.bottom - rect.top, out,
                    [&](HDC memory, HDC) { return PrintWindow(window, memory, 0) != FALSE; });
    return printed || captureScreen(rect, out);
}

std::string encodePng(const Image& image) {
    if (image.pixels.size() != static_cast<size_t>(image.width) * image.height)
        return std::string();
    return encodePngFromBgra(image.width, image.height, image.pixels.data(), false);
}

bool writePng(const std::wstring& path, const Image& image) {
    std::string png = encodePng(image);
    return !png.empty() && writeFile(path, png);
}

// ---- Files and folders -----------------------------------------------------------------------------

std::wstring makeTempFolder(const std::wstring& prefix) {
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH)
        return std::wstring();
    std::wstring base(temp, n);
    if (base.back() != L'\\')
        base += L'\\';
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        std::wstring path = base + prefix + std::to_wstring(GetCurrentProcessId()) + L"_" +
                            std::to_wstring(GetTickCount() + attempt);
        if (CreateDirectoryW(path.c_str(), nullptr))
            return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return std::wstring();
    }
    return std::wstring();
}

bool makeFolders(const std::wstring& path) {
    if (path.empty())
        return false;
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 2)
        makeFolders(path.substr(0, slash));
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

win::unique_file holdFile(const std::wstring& path) {
    return win::unique_file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

win::unique_file writeAndHoldFile(const std::wstring& path, const std::string& bytes) {
    return writeFile(path, bytes) ? holdFile(path) : win::unique_file();
}

bool writeFile(const std::wstring& path, const std::string& bytes) {
    size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        makeFolders(path.substr(0, slash));
    win::unique_file file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::optional<std::string> readFile(const std::wstring& path) {
    win::unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
    return bytes;
}

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool deleteTree(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return DeleteFileW(path.c_str()) != FALSE;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW data;
        win::unique_find find(FindFirstFileW((path + L"\\*").c_str(), &data));
        if (find) {
            do {
                std::wstring name = data.cFileName;
                if (name != L"." && name != L"..")
                    deleteTree(path + L"\\" + name);
            } while (FindNextFileW(find.get(), &data));
        }
    }
    return RemoveDirectoryW(path.c_str()) != FALSE;
}

namespace {

// The Unix path of a Windows path through Wine's own export; empty outside Wine.
std::string unixPath(const std::wstring& path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unix = toUnix ? toUnix(path.c_str()) : nullptr;
    std::string out = unix ? unix : "";
    if (unix)
        HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

// Starts a Unix program of the build machine (Wine starts ELF files as they are). Wine hands back no
// process handle to wait on, so callers wait for the program's effect.
bool startUnix(const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info))
        return false;
    for (HANDLE h : {info.hProcess, info.hThread})
        if (h && h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    return true;
}

bool isLink(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool waitFor(const std::function<bool()>& done) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(10))
        if (done())
            return true;
    return false;
}

}  // namespace

bool unixFolderLink(const std::wstring& target, const std::wstring& link) {
    std::string from = unixPath(target), to = unixPath(link);
    return !from.empty() && !to.empty() &&
           startUnix(L"Z:\\bin\\ln -s -- \"" + widen(from) + L"\" \"" + widen(to) + L"\"") &&
           waitFor([&] { return isLink(link); });
}

bool unixRemoveLink(const std::wstring& link) {
    if (!isLink(link))
        return true;
    std::string path = unixPath(link);
    return !path.empty() && startUnix(L"Z:\\bin\\rm -f -- \"" + widen(path) + L"\"") &&
           waitFor([&] { return GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

// ---- Registry --------------------------------------------------------------------------------------

bool regWriteBinary(HKEY root, const std::wstring& key, const std::wstring& value, const void* data,
                    DWORD size) {
    win::unique_hkey k;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, k.put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return RegSetValueExW(k.get(), value.c_str(), 0, REG_BINARY, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

std::optional<std::string> regReadBinary(HKEY root, const std::wstring& key, const std::wstring& value) {
    win::unique_hkey k;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD size = 0;
    if (RegQueryValueExW(k.get(), value.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::string bytes(size, '\0');
    if (RegQueryValueExW(k.get(), value.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(bytes.data()),
                         &size) != ERROR_SUCCESS)
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}

bool regWriteString(HKEY root, const std::wstring& key, const std::wstring& value, const std::wstring& data) {
    win::unique_hkey k;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, k.put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return RegSetValueExW(k.get(), value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool regDeleteValue(HKEY root, const std::wstring& key, const std::wstring& value) {
    win::unique_hkey k;
    LONG rc = RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE, k.put());
    if (rc == ERROR_FILE_NOT_FOUND)
        return true;
    if (rc != ERROR_SUCCESS)
        return false;
    rc = RegDeleteValueW(k.get(), value.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

}  // namespace testsupport
