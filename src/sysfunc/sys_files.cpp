// File, folder, special-folder and shortcut functions.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <io.h>

#include <string>
#include <vector>

#include "host/cleanup.h"
#include "host/handles.h"
#include "sysfunc/lua_text.h"
#include "sysfunc/sys_internal.h"

namespace script::sys {

namespace {

bool isFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// True when a full path names the root of a drive or of a share, with or without a trailing backslash
// or the "\\?\" prefix.
bool isRoot(std::wstring full) {
    if (full.starts_with(L"\\\\?\\UNC\\"))
        full.replace(0, 8, L"\\\\");
    else if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\"))
        full.erase(0, 4);
    while (full.size() > 1 && full.back() == L'\\') full.pop_back();
    return PathIsRootW(full.c_str()) || PathIsRootW((full + L'\\').c_str());
}

// The system's full form of a path (current drive and folder applied, "." and ".." resolved, trailing
// dots and spaces of the last name dropped); empty when the system gives none.
std::wstring fullPathOf(const std::wstring& path) {
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(n, L'\0');
    n = n ? GetFullPathNameW(path.c_str(), n, full.data(), nullptr) : 0;
    full.resize(n < full.size() ? n : 0);
    return full;
}

// The path without trailing separators (a drive root keeps its own): with one, the system looks at a
// link's target rather than at the link.
std::wstring entryPath(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

// The special folder, created when missing; nothing when the shell has none.
int pushSpecialFolder(lua_State* L, int csidl) {
    wchar_t path[MAX_PATH + 1] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE))
        return 0;
    pushText(L, path);
    return 1;
}

}  // namespace

// removeFile(path) -> boolean
int removeFile(lua_State* L) {
    std::wstring path = argText(L, 1);
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    pushBoolean(L, DeleteFileW(path.c_str()) != 0);
    return 1;
}

// moveFile(source, target) -> boolean
int moveFile(lua_State* L) {
    std::wstring from = argText(L, 1), to = argText(L, 2);
    pushBoolean(
        L, MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0);
    return 1;
}

// copyFile(source, target) -> boolean
int copyFile(lua_State* L) {
    std::wstring from = argText(L, 1), to = argText(L, 2);
    pushBoolean(L, CopyFileW(from.c_str(), to.c_str(), FALSE) != 0);
    return 1;
}

// removeDirectory(path) -> nothing. A path whose full form is the root of a drive or share, however
// it is spelt ("", "C:", "C:\.", "C:\Windows\..", "\" on the current drive), is refused rather than
// emptied.
int removeDirectory(lua_State* L) {
    std::wstring path = argText(L, 1);
    std::wstring trimmed = path;
    while (!trimmed.empty() && (trimmed.back() == L'\\' || trimmed.back() == L'/')) trimmed.pop_back();
    bool driveRoot = trimmed.empty() || (trimmed.size() == 2 && trimmed[1] == L':');
    if (!driveRoot) {
        const std::wstring full = fullPathOf(path);
        driveRoot = full.empty() || isRoot(full);
    }
    if (!driveRoot)
        removeTreeForced(path);
    return 0;
}

// createDirectory(path) -> boolean; every folder on the way is created, failures on the way ignored.
// The leading backslashes of the path (a root-relative path, a \\server\share name) are kept, so the
// folders are made where the path says, never under the current folder; the answer tests that path.
int createDirectory(lua_State* L) {
    std::wstring path = argText(L, 1);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    std::wstring built(path, 0, path.find_first_not_of(L'\\'));
    size_t start = built.size();
    while (start <= path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.size();
        if (end > start) {
            built.append(path, start, end - start);
            built += L'\\';
            CreateDirectoryW(built.c_str(), nullptr);
        }
        start = end + 1;
    }
    pushBoolean(L, !path.empty() && isFolder(path));
    return 1;
}

// getFullPath(path) -> string or nothing: the system's full form of the path, which need not exist.
int getFullPath(lua_State* L) {
    const std::wstring full = fullPathOf(argText(L, 1));
    if (full.empty())
        return 0;
    pushText(L, full);
    return 1;
}

// fileExists(path) -> boolean; folders do not count.
int fileExists(lua_State* L) {
    std::wstring path = argText(L, 1);
    DWORD attributes = GetFileAttributesW(path.c_str());
    pushBoolean(L, attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY));
    return 1;
}

int getAppDataFolder(lua_State* L) {
    return pushSpecialFolder(L, CSIDL_APPDATA);
}
int getProgramFolder(lua_State* L) {
    return pushSpecialFolder(L, CSIDL_PROGRAM_FILES);
}
int getDesktopFolder(lua_State* L) {
    return pushSpecialFolder(L, CSIDL_COMMON_DESKTOPDIRECTORY);
}
int getStartMenuFolder(lua_State* L) {
    return pushSpecialFolder(L, CSIDL_COMMON_STARTUP);
}

// getTempFolder() -> string (ending in a backslash) or nothing
int getTempFolder(lua_State* L) {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH, path);
    if (n == 0 || n > MAX_PATH)
        return 0;
    pushText(L, path);
    return 1;
}

// createShortCut(target, linkFile) -> boolean
int createShortCut(lua_State* L) {
    std::wstring target = argText(L, 1), link = argText(L, 2);
    bool saved = false;
    {
        auto com = win::co_initialize();
        win::com_ptr<IShellLinkW> shellLink;
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                       shellLink.put_void()))) {
            shellLink->SetPath(target.c_str());
            win::com_ptr<IPersistFile> file;
            if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, file.put_void())))
                saved = SUCCEEDED(file->Save(link.c_str(), TRUE));
        }
    }
    pushBoolean(L, saved);
    return 1;
}

// volumeExists(root) -> boolean; only fixed disks count.
int volumeExists(lua_State* L) {
    std::wstring root = argText(L, 1);
    pushBoolean(L, GetDriveTypeW(root.c_str()) == DRIVE_FIXED);
    return 1;
}

// directoryEmpty(path) -> boolean; a missing path counts as empty.
int directoryEmpty(lua_State* L) {
    std::wstring path = argText(L, 1);
    bool empty = _waccess(path.c_str(), 0) != 0 || PathIsDirectoryEmptyW(path.c_str());
    pushBoolean(L, empty);
    return 1;
}

// isReparsePoint(path) -> boolean; true for a junction, a symbolic link or any other reparse point.
int isReparsePoint(lua_State* L) {
    std::wstring path = entryPath(argText(L, 1));
    DWORD attributes = GetFileAttributesW(path.c_str());
    pushBoolean(L, attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT));
    return 1;
}

// removeEmptyDirectory(path) -> boolean; removes one folder that holds nothing. A reparse point is
// refused: removing one by name may act on its target.
int removeEmptyDirectory(lua_State* L) {
    std::wstring path = entryPath(argText(L, 1));
    DWORD attributes = GetFileAttributesW(path.c_str());
    bool removed = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                   !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && PathIsDirectoryEmptyW(path.c_str()) &&
                   RemoveDirectoryW(path.c_str());
    pushBoolean(L, removed);
    return 1;
}

// removeLink(path) -> boolean; deletes a junction or symbolic link itself, never its target. The entry
// is opened as the link and deleted through that handle only when the handle reports itself as a
// link; where the system opens the target instead (Wine), nothing is deleted.
int removeLink(lua_State* L) {
    std::wstring path = entryPath(argText(L, 1));
    win::unique_file link(CreateFileW(
        path.c_str(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILE_ATTRIBUTE_TAG_INFO tag{};
    bool isLink = link && GetFileInformationByHandleEx(link.get(), FileAttributeTagInfo, &tag, sizeof(tag)) &&
                  (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                  (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
    FILE_DISPOSITION_INFO dispose{TRUE};
    pushBoolean(
        L, isLink && SetFileInformationByHandle(link.get(), FileDispositionInfo, &dispose, sizeof(dispose)));
    return 1;
}

// deleteAtRestart(path) -> boolean; asks the system to delete the file or empty folder at the next
// restart (the request is kept in the registry and needs administrator rights).
int deleteAtRestart(lua_State* L) {
    std::wstring path = argText(L, 1);
    pushBoolean(L, MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0);
    return 1;
}

// setCurrentDirectory(path) -> nothing
int setCurrentDirectory(lua_State* L) {
    std::wstring path = argText(L, 1);
    SetCurrentDirectoryW(path.c_str());
    return 0;
}

}  // namespace script::sys
