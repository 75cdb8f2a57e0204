#include "host/cleanup.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>

#include "host/handles.h"

win::unique_handle& instanceMutex() {
    static win::unique_handle mutex;
    return mutex;
}

bool restrictDllSearchPath() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                                   GetProcAddress(kernel, "SetDefaultDllDirectories")))
                             : nullptr;
    // Also drops the current folder from the legacy search order on systems without the call above.
    SetDllDirectoryW(L"");
    return setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

win::unique_hmodule loadSystemLibrary(const wchar_t* name) {
    win::unique_hmodule module(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (module)
        return module;
    // Systems without the search flags reject them as an invalid parameter: use the full path.
    if (GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    wchar_t folder[MAX_PATH];
    UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return module;
    std::wstring path(folder, n);
    path += L'\\';
    path += name;
    module.reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    return module;
}

namespace {

std::wstring withBackslashes(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

// Reads the 8-byte "ShutdownTime"; 0 when the key or the value cannot be read.
unsigned long long currentShutdownTime() {
    unsigned long long value = 0;
    win::unique_hkey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Windows", 0, KEY_READ,
                      key.put()) != ERROR_SUCCESS)
        return 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExW(key.get(), L"ShutdownTime", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS)
        return 0;
    return value;
}

enum class TreeMode { Forced, Plain };

// Deletes one entry found while enumerating; attributes as reported by the enumeration.
void removeEntry(const std::wstring& path, DWORD attributes, TreeMode mode);

// Deletes the contents of folder, then the folder. A link is removed without being entered.
bool removeFolder(const std::wstring& folder, DWORD attributes, TreeMode mode) {
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        std::wstring base = folder;
        while (!base.empty() && base.back() == L'\\') base.pop_back();
        WIN32_FIND_DATAW data;
        win::unique_find find(FindFirstFileW((base + L"\\*").c_str(), &data));
        if (find) {
            do {
                if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0)
                    continue;
                removeEntry(base + L"\\" + data.cFileName, data.dwFileAttributes, mode);
            } while (FindNextFileW(find.get(), &data));
        }
    }
    return RemoveDirectoryW(folder.c_str()) != FALSE;
}

void removeEntry(const std::wstring& path, DWORD attributes, TreeMode mode) {
    if (mode == TreeMode::Forced && (attributes & FILE_ATTRIBUTE_READONLY)) {
        attributes &= ~FILE_ATTRIBUTE_READONLY;
        SetFileAttributesW(path.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        removeFolder(path, attributes, mode);
    else
        DeleteFileW(path.c_str());
}

bool removeTreeWith(std::wstring path, TreeMode mode) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    return removeFolder(path, attributes, mode);
}

std::wstring specialFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE) || path[0] == 0)
        return std::wstring();
    return path;
}

}  // namespace

std::wstring restartMarkerPath() {
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH, temp);
    if (n == 0 || n > MAX_PATH)
        return std::wstring();
    std::wstring marker(temp, n);
    while (!marker.empty() && marker.back() == L'\\') marker.pop_back();
    return marker + L"\\tarvovirtualcamera_restart";
}

void writeRestartMarker() {
    std::wstring marker = restartMarkerPath();
    if (marker.empty())
        return;
    win::unique_file file(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        unsigned long long shutdownTime = currentShutdownTime();
        DWORD written = 0;
        WriteFile(file.get(), &shutdownTime, sizeof(shutdownTime), &written, nullptr);
    }
    MoveFileExW(marker.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

bool isRestartPending() {
    std::wstring marker = restartMarkerPath();
    if (marker.empty())
        return false;
    if (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;

    bool pending = false;
    {
        win::unique_file file(CreateFileW(marker.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            unsigned long long written = 0;
            DWORD got = 0;
            if (ReadFile(file.get(), &written, sizeof(written), &got, nullptr) && got == sizeof(written))
                pending = written == currentShutdownTime();
        }
    }
    if (!pending)
        DeleteFileW(marker.c_str());
    return pending;
}

bool forEachProcess(const std::function<bool(const PROCESSENTRY32W&)>& visit) {
    win::unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (!visit(entry))
            break;
    }
    return true;
}

bool killProcessesByImageName(const std::wstring& name) {
    return forEachProcess([&](const PROCESSENTRY32W& entry) {
        if (_wcsicmp(entry.szExeFile, name.c_str()) != 0)
            return true;
        win::unique_handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (process && TerminateProcess(process.get(), 0xFFFFFFF8))
            WaitForSingleObject(process.get(), 10000);
        return true;
    });
}

std::vector<std::wstring> listFiles(const std::wstring& folder, const std::wstring& pattern) {
    std::vector<std::wstring> files;
    std::wstring base = withBackslashes(folder);
    if (base.empty() || base.back() != L'\\')
        base += L'\\';
    WIN32_FIND_DATAW data;
    win::unique_find find(FindFirstFileW((base + pattern).c_str(), &data));
    if (!find)
        return files;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(base + data.cFileName);
    } while (FindNextFileW(find.get(), &data));
    return files;
}

bool removeTreeForced(const std::wstring& path) {
    return removeTreeWith(withBackslashes(path), TreeMode::Forced);
}

bool removeTree(const std::wstring& path) {
    return removeTreeWith(path, TreeMode::Plain);
}

void cleanUpEarlierInstallation() {
    // Without the application-data folder the helpers' folder cannot be found: leave the helpers running
    // and their folder in place, and clean only the start-up entry.
    std::wstring appData = specialFolder(CSIDL_APPDATA);
    if (!appData.empty()) {
        for (const std::wstring& path : listFiles(appData + L"\\TarvoVirtualCamera\\codecs\\", L"*.exe")) {
            if (path.find(L"tarvovcamon.exe") != std::wstring::npos)
                continue;
            std::wstring name = withBackslashes(path);
            name = name.substr(name.find_last_of(L'\\') + 1);
            killProcessesByImageName(name);
        }
        killProcessesByImageName(L"tarvovcamon.exe");  // always ended last
        removeTreeForced(appData + L"\\TarvoVirtualCamera\\");
    }
    std::wstring startup = specialFolder(CSIDL_COMMON_STARTUP);
    if (!startup.empty())
        removeTree(startup + L"\\Vozizavuv\\");
}
