// Process functions: sleeping, program start, matching by full path or image name, the
// running-product list.
#include <windows.h>
#include <aclapi.h>
#include <psapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/cleanup.h"
#include "host/handles.h"
#include "sysfunc/lua_text.h"
#include "sysfunc/sys_internal.h"

namespace script::sys {

namespace {

constexpr DWORD kEndExitCode = 0xFFFFFFF8;
constexpr DWORD kEndWaitMs = 10000;
constexpr wchar_t kListMutexName[] = L"C94F06D2-8B3E-4A17-A5D0-6E2B9F1C7A35";
constexpr wchar_t kListMappingName[] = L"7E3B52C0-19AD-4F6E-9B21-3C8D5A6E0F47";
constexpr DWORD kListBytes = 4096;
constexpr DWORD kListWaitMs = 100;

bool equalNoCase(const std::wstring& a, const wchar_t* b) {
    return lstrcmpiW(a.c_str(), b) == 0;
}

// The process opened with `access` (plus query and read rights) when its main module's full path
// equals `path` ignoring case; otherwise an empty owner.
win::unique_handle openIfPathMatches(DWORD pid, const std::wstring& path, DWORD access) {
    win::unique_handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | access, FALSE, pid));
    if (!process)
        return {};
    wchar_t image[MAX_PATH + 1] = {};
    if (!K32GetModuleFileNameExW(process.get(), nullptr, image, MAX_PATH))
        return {};
    if (!equalNoCase(path, image))
        return {};
    return process;
}

// True for a process that no script may end: the installer itself, or one whose executable lives in
// the Windows or system folder. A process whose image cannot be found counts as protected.
bool isProtectedProcess(DWORD pid) {
    if (pid == GetCurrentProcessId() || pid == 0)
        return true;
    win::unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process)
        return true;
    wchar_t image[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameW(process.get(), 0, image, &size) &&
        !K32GetModuleFileNameExW(process.get(), nullptr, image, MAX_PATH))
        return true;
    wchar_t folders[2][MAX_PATH + 1] = {};
    GetWindowsDirectoryW(folders[0], MAX_PATH);
    GetSystemDirectoryW(folders[1], MAX_PATH);
    for (const wchar_t* folder : folders) {
        size_t n = wcslen(folder);
        while (n > 0 && folder[n - 1] == L'\\') --n;
        if (n == 0 || wcslen(image) <= n)
            continue;
        if (CompareStringOrdinal(image, static_cast<int>(n), folder, static_cast<int>(n), TRUE) ==
                CSTR_EQUAL &&
            (image[n] == L'\\' || image[n] == L'/'))
            return true;
    }
    return false;
}

void endAndWait(HANDLE process) {
    TerminateProcess(process, kEndExitCode);
    WaitForSingleObject(process, kEndWaitMs);
}

// Ends processes whose full path equals `path`: all of them, or only the first when `firstOnly`.
void endByFullPath(const std::wstring& path, bool firstOnly) {
    forEachProcess([&](const PROCESSENTRY32W& entry) {
        if (entry.th32ProcessID == GetCurrentProcessId())
            return true;
        win::unique_handle process =
            openIfPathMatches(entry.th32ProcessID, path, PROCESS_TERMINATE | SYNCHRONIZE);
        if (!process)
            return true;
        endAndWait(process.get());
        return !firstOnly;
    });
}

// Gives a kernel object the low mandatory label so that low-integrity processes may open it. The
// system may refuse (older or emulated systems); the object stays usable either way.
bool applyLowIntegrityLabel(HANDLE object) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"S:(ML;;NW;;;LW)", SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return false;
    win::unique_hlocal owner(descriptor);
    BOOL present = FALSE, defaulted = FALSE;
    PACL sacl = nullptr;
    if (!GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted) || !present)
        return false;
    return SetSecurityInfo(object, SE_KERNEL_OBJECT, LABEL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                           sacl) == ERROR_SUCCESS;
}

bool waitList(HANDLE mutex) {
    DWORD r = WaitForSingleObject(mutex, kListWaitMs);
    return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

// Reads the running-product list; false when it cannot be read. `text` ends at the first NUL.
bool readRunningList(std::wstring& text) {
    win::unique_handle mutex(CreateMutexW(nullptr, FALSE, kListMutexName));
    if (!mutex)
        return false;
    applyLowIntegrityLabel(mutex.get());
    if (!waitList(mutex.get()))
        return false;
    win::unique_handle mapping(
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kListBytes, kListMappingName));
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    win::unique_view view;
    if (mapping) {
        if (!existed)
            applyLowIntegrityLabel(mapping.get());
        view.reset(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
        if (view && !existed)
            std::memset(view.get(), 0, kListBytes);
    }
    ReleaseMutex(mutex.get());
    if (!view)
        return false;

    wchar_t copy[kListBytes / sizeof(wchar_t) + 1] = {};
    if (!waitList(mutex.get()))
        return false;
    std::memcpy(copy, view.get(), kListBytes);
    ReleaseMutex(mutex.get());
    text.assign(copy);
    return true;
}

}  // namespace

// sleep(ms) -> nothing
int sleep(lua_State* L) {
    Sleep(static_cast<DWORD>(argInteger(L, 1)));
    return 0;
}

// killProcess(fullPath) -> nothing
int killProcess(lua_State* L) {
    std::wstring path = argText(L, 1);
    if (!path.empty())
        endByFullPath(path, false);
    return 0;
}

// shellExecuteEx(file, parameters, verb, show, mask) -> boolean [, exit code]
int shellExecuteEx(lua_State* L) {
    std::wstring file = argText(L, 1), parameters = argText(L, 2), verb = argText(L, 3);
    SHELLEXECUTEINFOW request = {};
    request.cbSize = sizeof(request);
    request.fMask = static_cast<ULONG>(argInteger(L, 5));
    request.lpVerb = verb.c_str();
    request.lpFile = file.c_str();
    request.lpParameters = parameters.c_str();
    request.nShow = static_cast<int>(argInteger(L, 4));
    if (!ShellExecuteExW(&request)) {
        pushBoolean(L, false);
        return 1;
    }
    if (!(request.fMask & SEE_MASK_NOCLOSEPROCESS)) {
        pushBoolean(L, true);
        return 1;
    }
    win::unique_handle process(request.hProcess);
    DWORD code = 0;
    bool haveCode = false;
    if (process) {
        WaitForSingleObject(process.get(), INFINITE);
        haveCode = GetExitCodeProcess(process.get(), &code) != 0;
    }
    pushBoolean(L, true);
    if (!haveCode)
        return 1;
    pushInteger(L, code);
    return 2;
}

// isProcessRunning(fullPath) -> true or nothing
int isProcessRunning(lua_State* L) {
    std::wstring path = argText(L, 1);
    bool found = false;
    forEachProcess([&](const PROCESSENTRY32W& entry) {
        found = static_cast<bool>(openIfPathMatches(entry.th32ProcessID, path, 0));
        return !found;
    });
    if (!found)
        return 0;
    pushBoolean(L, true);
    return 1;
}

// getProcessPath() -> string or nothing
int getProcessPath(lua_State* L) {
    wchar_t path[MAX_PATH + 1] = {};
    if (!K32GetModuleFileNameExW(GetCurrentProcess(), nullptr, path, MAX_PATH))
        return 0;
    pushText(L, path);
    return 1;
}

// getRunningProcess() -> string or nothing
int getRunningProcess(lua_State* L) {
    std::wstring text;
    if (!readRunningList(text) || text.empty())
        return 0;
    pushText(L, text);
    return 1;
}

// killRunningProcess() -> nothing. The list is writable by low-integrity programs, so it never ends
// the installer itself nor a program of the Windows or system folder.
int killRunningProcess(lua_State* L) {
    (void)L;
    std::wstring text;
    readRunningList(text);
    std::vector<std::wstring> pieces;
    for (size_t start = 0;;) {
        size_t end = text.find(L';', start);
        if (end == std::wstring::npos)
            break;  // a last piece without a semicolon does not count
        if (end > start)
            pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    auto endByName = [](const std::wstring& name) {
        OutputDebugStringW(name.c_str());
        forEachProcess([&](const PROCESSENTRY32W& entry) {
            if (!equalNoCase(name, entry.szExeFile) || isProtectedProcess(entry.th32ProcessID))
                return true;
            win::unique_handle process(OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
            if (process)
                TerminateProcess(process.get(), 0);
            return true;
        });
    };
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
        OutputDebugStringW(it->c_str());
        size_t slash = it->find_last_of(L"\\/");
        endByName(slash == std::wstring::npos ? *it : it->substr(slash + 1));
    }
    endByName(L"TarvoVirtualCamera.exe");
    return 0;
}

// killProcessesByPath(folder) -> nothing
int killProcessesByPath(lua_State* L) {
    std::wstring folder = argText(L, 1);
    for (const std::wstring& path : listFiles(folder, L"*.exe"))
        if (path.find(L"tarvovcamon.exe") == std::wstring::npos)
            endByFullPath(path, true);
    killProcessesByImageName(L"tarvovcamon.exe");
    killProcessesByImageName(L"vtarvostream.exe");
    return 0;
}

}  // namespace script::sys
