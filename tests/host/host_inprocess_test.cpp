// The host module in this process: resource catalogue, clean-up primitives, restart check, UI context
// and deferred calls; plus the PNG encoder of the test-support library.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <winioctl.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <iostream>
#include <sstream>
#include <cstring>
#include <thread>

#include "host/cleanup.h"
#include "host/handles.h"
#include "host/resource_file_system.h"
#include "host/ui_context.h"
#include "host_test_paths.h"
#include "pack/pack_archive.h"
#include "win_test_support.h"

using namespace testsupport;

namespace {

std::wstring tempFile(const wchar_t* name) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring path = temp;
    if (path.back() != L'\\')
        path += L'\\';
    return path + name;
}

}  // namespace

// ---- Resource catalogue ----------------------------------------------------------------------------

struct EmbeddedInput {
    const wchar_t* name;
    const char* path;
};
const EmbeddedInput kInputs[] = {{L"UI.lua", TARVO_TEST_UI_LUA},
                                 {L"frame.lz", TARVO_TEST_FRAME_LZ},
                                 {L"LG.lua", TARVO_TEST_LG_LUA},
                                 {L"program.lz", TARVO_TEST_PROGRAM_LZ},
                                 {L"style.lz", TARVO_TEST_STYLE_LZ}};

TEST(ResourceCatalogue, ReadsEachEmbeddedFileWithFourZeroBytesAfterIt) {
    ResourceFileSystem files;
    registerInstallerResources(files);
    EXPECT_EQ(currentFileSystem(), &files);
    for (const EmbeddedInput& input : kInputs) {
        SCOPED_TRACE(narrow(input.name));
        std::optional<std::string> expected = readFile(buildPath(input.path));
        ASSERT_TRUE(expected.has_value());
        std::size_t size = 0xDEAD;
        void* buffer = files.readFile(input.name, &size);
        ASSERT_NE(buffer, nullptr);
        ASSERT_EQ(size, expected->size());
        EXPECT_EQ(std::memcmp(buffer, expected->data(), size), 0);
        const unsigned char* tail = static_cast<const unsigned char*>(buffer) + size;
        EXPECT_EQ(tail[0] | tail[1] | tail[2] | tail[3], 0);
        files.freeBuffer(buffer);
    }
}

// In place: a view of the executable file itself (not the loader's image), the same view every time,
// byte-exact; pages given back read back the same.
TEST(ResourceCatalogue, MapsEachEmbeddedFileInPlaceAndReleasedPagesReadBackTheSame) {
    ResourceFileSystem files;
    registerInstallerResources(files);
    const auto* image = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
    const unsigned char* imageEnd = image + nt->OptionalHeader.SizeOfImage;
    for (const EmbeddedInput& input : kInputs) {
        SCOPED_TRACE(narrow(input.name));
        std::optional<std::string> expected = readFile(buildPath(input.path));
        ASSERT_TRUE(expected.has_value());
        std::size_t size = 0xDEAD;
        const auto* view = static_cast<const unsigned char*>(files.mapFile(input.name, &size));
        ASSERT_NE(view, nullptr);
        ASSERT_EQ(size, expected->size());
        EXPECT_TRUE(view + size <= image || view >= imageEnd) << "a view of the file, not of the image";
        EXPECT_EQ(std::memcmp(view, expected->data(), size), 0);
        std::size_t again = 0;
        EXPECT_EQ(files.mapFile(input.name, &again), view);
        files.releaseMapped(view, size);
        files.releaseMapped(view + 1, size - 1);
        EXPECT_EQ(std::memcmp(view, expected->data(), size), 0) << "read back after release";
    }
    std::size_t size = 0xDEAD;
    EXPECT_EQ(files.mapFile(L"nosuch.lz", &size), nullptr);
    EXPECT_EQ(size, 0xDEADu);
    int outside = 0;
    files.releaseMapped(&outside, sizeof(outside));  // not the view's: ignored
    EXPECT_EQ(outside, 0);
}

TEST(ResourceCatalogue, UnknownNamesAndMissingIdsGiveNullAndLeaveTheSize) {
    ResourceFileSystem files;
    registerInstallerResources(files);
    std::size_t size = 12345;
    EXPECT_EQ(files.readFile(L"missing.lua", &size), nullptr);
    EXPECT_EQ(files.readFile(L"ui.lua", &size), nullptr);  // names are case-sensitive
    EXPECT_EQ(files.readFile(L"", &size), nullptr);
    files.registerName(L"gap", 112);  // no resource has id 112
    EXPECT_EQ(files.readFile(L"gap", &size), nullptr);
    EXPECT_EQ(size, 12345u);
    files.freeBuffer(nullptr);
}

TEST(ResourceCatalogue, SecondRegistrationWinsAndEveryReadIsAFreshCopy) {
    ResourceFileSystem files;
    registerInstallerResources(files);
    files.registerName(L"UI.lua", 114);
    std::optional<std::string> lg = readFile(buildPath(TARVO_TEST_LG_LUA));
    ASSERT_TRUE(lg);
    std::size_t a = 0, b = 0;
    void* first = files.readFile(L"UI.lua", &a);
    void* second = files.readFile(L"UI.lua", &b);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(a, lg->size());
    EXPECT_EQ(b, a);
    EXPECT_EQ(std::memcmp(first, second, a), 0);
    static_cast<char*>(first)[0] ^= 0x55;  // copies are private and writable
    EXPECT_NE(static_cast<char*>(first)[0], static_cast<char*>(second)[0]);
    files.freeBuffer(first);
    files.freeBuffer(second);
}

TEST(ResourceCatalogue, LatestConstructedIsCurrentAndReadsWorkFromAnotherThread) {
    ResourceFileSystem older;
    ResourceFileSystem newer;
    registerInstallerResources(newer);
    EXPECT_EQ(currentFileSystem(), &newer);
    std::size_t size = 0;
    void* buffer = nullptr;
    std::thread([&] { buffer = currentFileSystem()->readFile(L"program.lz", &size); }).join();
    ASSERT_NE(buffer, nullptr);
    ASSERT_GE(size, 9u);
    EXPECT_EQ(std::memcmp(buffer, "pack-v1.1", 9), 0);
    // The embedded payload archive is a sound pack of the payload folder: every entry is a file of it.
    auto archive = openPackArchive(buffer, size);
    EXPECT_FALSE(archive->isDamaged()) << archive->damage();
    EXPECT_GT(archive->entries().size(), 1u);
    const std::wstring payload = buildPath(TARVO_TEST_PAYLOAD_DIR);
    for (const auto& [name, record] : archive->entries()) {
        std::wstring relative(name.begin(), name.end());
        SCOPED_TRACE(narrow(relative));
        std::replace(relative.begin(), relative.end(), L'/', L'\\');
        std::optional<std::string> original = readFile(payload + L"\\" + relative);
        std::size_t entrySize = 0;
        void* entry = extractEntry(*archive, record, &entrySize);
        ASSERT_NE(entry, nullptr);
        ASSERT_TRUE(original);
        EXPECT_EQ(std::string(static_cast<char*>(entry), entrySize), *original);
        freeEntry(entry);
    }
    currentFileSystem()->freeBuffer(buffer);
}

// ---- Restart marker --------------------------------------------------------------------------------

TEST(RestartMarker, EqualValueIsPendingAndKeepsTheMarker) {
    PendingRestart guard;
    const unsigned long long now = 0x01DB2C3D4E5F6071ull;
    ASSERT_TRUE(regWriteBinary(HKEY_LOCAL_MACHINE, kWindowsKey, L"ShutdownTime", &now, 8));
    std::wstring marker = tempFile(L"tarvovirtualcamera_restart");
    ASSERT_TRUE(writeFile(marker, bytes8(now)));
    EXPECT_TRUE(isRestartPending());
    EXPECT_TRUE(fileExists(marker));
    EXPECT_TRUE(isRestartPending());  // asking again changes nothing
}

TEST(RestartMarker, DifferentShortOrMissingMarkersAreNotPending) {
    PendingRestart guard;
    const unsigned long long now = 0x01DB2C3D4E5F6071ull;
    ASSERT_TRUE(regWriteBinary(HKEY_LOCAL_MACHINE, kWindowsKey, L"ShutdownTime", &now, 8));
    std::wstring marker = tempFile(L"tarvovirtualcamera_restart");

    ASSERT_TRUE(writeFile(marker, bytes8(now + 1)));  // rebooted since
    EXPECT_FALSE(isRestartPending());
    EXPECT_FALSE(fileExists(marker));

    ASSERT_TRUE(writeFile(marker, bytes8(now).substr(0, 7)));  // too short
    EXPECT_FALSE(isRestartPending());
    EXPECT_FALSE(fileExists(marker));

    ASSERT_TRUE(writeFile(marker, ""));
    EXPECT_FALSE(isRestartPending());
    EXPECT_FALSE(fileExists(marker));

    EXPECT_FALSE(isRestartPending());  // no marker at all
}

TEST(RestartMarker, UnreadableShutdownTimeCountsAsZero) {
    PendingRestart guard;
    ASSERT_TRUE(regDeleteValue(HKEY_LOCAL_MACHINE, kWindowsKey, L"ShutdownTime"));
    std::wstring marker = tempFile(L"tarvovirtualcamera_restart");
    ASSERT_TRUE(writeFile(marker, bytes8(0)));
    EXPECT_TRUE(isRestartPending());
    ASSERT_TRUE(writeFile(marker, bytes8(7)));
    EXPECT_FALSE(isRestartPending());
    EXPECT_FALSE(fileExists(marker));
}

// ---- Clean-up primitives ---------------------------------------------------------------------------

TEST(CleanUp, ListFilesGivesFullPathsOfMatchingFilesOnly) {
    std::wstring dir = makeTempFolder(L"list");
    ASSERT_FALSE(dir.empty());
    ASSERT_TRUE(writeFile(dir + L"\\a.exe", "a"));
    ASSERT_TRUE(writeFile(dir + L"\\b.EXE", "b"));
    ASSERT_TRUE(writeFile(dir + L"\\c.txt", "c"));
    ASSERT_TRUE(makeFolders(dir + L"\\folder.exe"));
    std::wstring slashed = dir;
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');

    std::vector<std::wstring> found = listFiles(slashed, L"*.exe");
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::wstring>{dir + L"\\a.exe", dir + L"\\b.EXE"}));
    EXPECT_EQ(listFiles(dir + L"\\", L"*.txt"), std::vector<std::wstring>{dir + L"\\c.txt"});
    EXPECT_TRUE(listFiles(dir + L"\\nowhere", L"*.exe").empty());
    EXPECT_TRUE(listFiles(dir, L"*.dll").empty());
    deleteTree(dir);
}

TEST(CleanUp, RemoveTreeForcedDeletesReadOnlyFilesAndAcceptsForwardSlashes) {
    std::wstring dir = makeTempFolder(L"forced");
    ASSERT_TRUE(writeFile(dir + L"\\top.txt", "x"));
    ASSERT_TRUE(writeFile(dir + L"\\sub\\deeper\\ro.bin", "readonly"));
    ASSERT_TRUE(SetFileAttributesW((dir + L"\\sub\\deeper\\ro.bin").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(
        SetFileAttributesW((dir + L"\\sub").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
    std::wstring slashed = dir + L"/";
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
    EXPECT_TRUE(removeTreeForced(slashed));
    EXPECT_FALSE(fileExists(dir));
    EXPECT_FALSE(removeTreeForced(dir));  // nothing left to remove
}

TEST(CleanUp, RemoveTreeLeavesReadOnlyFilesWithTheirFolders) {
    std::wstring dir = makeTempFolder(L"plain");
    ASSERT_TRUE(writeFile(dir + L"\\plain.txt", "x"));
    ASSERT_TRUE(writeFile(dir + L"\\empty\\gone.txt", "x"));
    ASSERT_TRUE(writeFile(dir + L"\\keep\\ro.txt", "readonly"));
    ASSERT_TRUE(SetFileAttributesW((dir + L"\\keep\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(removeTree(dir + L"\\"));
    EXPECT_TRUE(fileExists(dir + L"\\keep\\ro.txt"));
    EXPECT_FALSE(fileExists(dir + L"\\plain.txt"));
    EXPECT_FALSE(fileExists(dir + L"\\empty"));
    deleteTree(dir);
}

namespace {
// A Windows symbolic link to a folder. Wine 8 answers success without making anything, so the result
// is checked by listing the parent.
bool makeSymbolicLink(const std::wstring& link, const std::wstring& target, std::string* error) {
    if (!CreateSymbolicLinkW(link.c_str(), target.c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2 /* allow unprivileged create */)) {
        *error = "CreateSymbolicLinkW error " + std::to_string(GetLastError());
        return false;
    }
    if (GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES) {
        *error = "CreateSymbolicLinkW succeeded but made nothing";
        return false;
    }
    return true;
}

// Makes link a junction (mount point) to target; false with the error when that fails.
bool makeJunction(const std::wstring& link, const std::wstring& target, std::string* error) {
    if (!CreateDirectoryW(link.c_str(), nullptr)) {
        *error = "CreateDirectoryW error " + std::to_string(GetLastError());
        return false;
    }
    win::unique_file dir(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    std::wstring substitute = L"\\??\\" + target;
    // REPARSE_DATA_BUFFER of a mount point: tag, data length, reserved, four name offsets and sizes,
    // then the substitute and print names, each NUL-terminated.
    const unsigned subBytes = static_cast<unsigned>(substitute.size() * 2);
    const unsigned printBytes = static_cast<unsigned>(target.size() * 2);
    const unsigned pathBytes = subBytes + 2 + printBytes + 2;
    std::vector<unsigned char> buffer(16 + pathBytes, 0);
    auto put16 = [&](size_t at, unsigned v) {
        buffer[at] = v & 0xFF;
        buffer[at + 1] = (v >> 8) & 0xFF;
    };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(buffer.data(), &tag, 4);
    put16(4, 8 + pathBytes);
    put16(8, 0);
    put16(10, subBytes);
    put16(12, subBytes + 2);
    put16(14, printBytes);
    std::memcpy(buffer.data() + 16, substitute.c_str(), subBytes + 2);
    std::memcpy(buffer.data() + 16 + subBytes + 2, target.c_str(), printBytes + 2);
    DWORD returned = 0;
    if (dir && DeviceIoControl(dir.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                               static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr))
        return true;
    *error = "FSCTL_SET_REPARSE_POINT error " + std::to_string(GetLastError());
    dir.reset();
    RemoveDirectoryW(link.c_str());
    return false;
}

// The attributes the enumeration of folder reports for its entry name, or INVALID_FILE_ATTRIBUTES.
DWORD listedAttributes(const std::wstring& folder, const std::wstring& name) {
    WIN32_FIND_DATAW data;
    win::unique_find find(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find)
        return INVALID_FILE_ATTRIBUTES;
    do {
        if (name == data.cFileName)
            return data.dwFileAttributes;
    } while (FindNextFileW(find.get(), &data));
    return INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> listedNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    win::unique_find find(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (find) {
        do {
            if (wcscmp(data.cFileName, L".") != 0 && wcscmp(data.cFileName, L"..") != 0)
                names.push_back(data.cFileName);
        } while (FindNextFileW(find.get(), &data));
    }
    return names;
}

// The Unix path of a Windows path under Wine; empty elsewhere.
std::string unixPath(const std::wstring& path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* converted = toUnix ? toUnix(path.c_str()) : nullptr;
    if (!converted)
        return std::string();
    std::string result = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

// Starts a Unix tool and waits until exists(path) equals want; false after 5 s. Wine starts a Unix
// program from a command line naming it (not when it is also the application name) and hands back
// no process handle, so the tool's effect is what can be waited for.
bool runUnixToolUntil(const std::wstring& commandLine, const std::wstring& path, bool want) {
    std::wstring line = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    win::unique_handle process(info.hProcess), thread(info.hThread);
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(5)) {
        if (fileExists(path) == want)
            return true;
    }
    return false;
}

// Under Wine: a Unix symbolic link made by ln. Wine lists a link to a folder as a folder carrying the
// reparse-point attribute, as Windows lists its own links.
bool makeUnixLink(const std::wstring& link, const std::wstring& target, std::string* error) {
    std::string from = unixPath(target), to = unixPath(link);
    if (from.empty() || to.empty()) {
        *error = "no Unix paths (not running under Wine)";
        return false;
    }
    if (!runUnixToolUntil(L"/bin/ln -s \"" + widen(from) + L"\" \"" + widen(to) + L"\"", link, true)) {
        *error = "/bin/ln -s made no link";
        return false;
    }
    return true;
}

// Removes a link left in place. A Unix link goes through rm: Wine's RemoveDirectoryW acts on the
// link's target, not on the link.
void removeLink(const std::wstring& link) {
    std::string posix = unixPath(link);
    if (!posix.empty())
        runUnixToolUntil(L"/bin/rm -f \"" + widen(posix) + L"\"", link, false);
    else
        RemoveDirectoryW(link.c_str());
}
}  // namespace

TEST(CleanUp, LinksInsideTheTreeAreNeverEntered) {
    using MakeLink = bool (*)(const std::wstring&, const std::wstring&, std::string*);
    const struct {
        const char* kind;
        MakeLink make;
    } kinds[] = {
        {"symbolic link", makeSymbolicLink}, {"junction", makeJunction}, {"Unix link", makeUnixLink}};
    const struct {
        const char* name;
        bool (*remove)(const std::wstring&);
    } removers[] = {{"removeTreeForced", removeTreeForced}, {"removeTree", removeTree}};
    int tested = 0;
    std::string notes;
    for (const auto& kind : kinds) {
        for (const auto& remover : removers) {
            SCOPED_TRACE(std::string(kind.kind) + " with " + remover.name);
            // Outside: a plain and a read-only file that either remover would delete if it entered.
            std::wstring outside = makeTempFolder(L"outside");
            std::wstring tree = makeTempFolder(L"tree");
            ASSERT_TRUE(writeFile(outside + L"\\keep.txt", "keep"));
            ASSERT_TRUE(writeFile(outside + L"\\sub\\ro.txt", "keep"));
            ASSERT_TRUE(SetFileAttributesW((outside + L"\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
            ASSERT_TRUE(writeFile(tree + L"\\own.txt", "own"));
            ASSERT_TRUE(writeFile(tree + L"\\folder\\own.txt", "own"));
            const std::wstring link = tree + L"\\link";
            std::string error;
            if (!kind.make(link, outside, &error)) {
                if (notes.find(kind.kind) == std::string::npos)
                    notes += std::string(kind.kind) + ": " + error + "; ";
            } else {
                ++tested;
                DWORD listed = listedAttributes(tree, L"link");
                EXPECT_EQ(listed & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
                          static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
                ASSERT_TRUE(fileExists(link + L"\\keep.txt"));  // the link does lead outside

                bool gone = remover.remove(tree);
                EXPECT_TRUE(fileExists(outside + L"\\keep.txt"));
                EXPECT_TRUE(fileExists(outside + L"\\sub\\ro.txt"));
                EXPECT_FALSE(fileExists(tree + L"\\own.txt"));
                EXPECT_FALSE(fileExists(tree + L"\\folder"));
                // Windows removes the link itself; Wine cannot remove a link to a non-empty folder,
                // which then stays with the tree around it.
                EXPECT_EQ(gone, !fileExists(tree));
                if (!gone) {
                    EXPECT_EQ(listedNames(tree), std::vector<std::wstring>{L"link"});
                }
                removeLink(link);
            }
            EXPECT_TRUE(deleteTree(tree));
            SetFileAttributesW((outside + L"\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
            deleteTree(outside);
        }
    }
    std::cout << "links not available here: " << (notes.empty() ? "none" : notes) << "\n";
    if (tested == 0)
        GTEST_SKIP() << "no working directory link could be made: " << notes;
}

TEST(CleanUp, KillProcessesByImageNameEndsEveryMatchIgnoringCase) {
    std::wstring dir = makeTempFolder(L"kill");
    std::wstring name = L"hostkill" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    ASSERT_TRUE(CopyFileW(sleeperExe().c_str(), (dir + L"\\" + name).c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(sleeperExe().c_str(), (dir + L"\\bystander.exe").c_str(), FALSE));
    Process first = startProcess(dir + L"\\" + name);
    Process second = startProcess(dir + L"\\" + name);
    Process bystander = startProcess(dir + L"\\bystander.exe");
    ASSERT_TRUE(first && second && bystander);

    std::wstring upper = name;
    CharUpperW(upper.data());
    EXPECT_TRUE(killProcessesByImageName(upper));
    EXPECT_EQ(waitExit(first, 0), static_cast<int>(0xFFFFFFF8));
    EXPECT_EQ(waitExit(second, 0), static_cast<int>(0xFFFFFFF8));
    EXPECT_TRUE(processAlive(bystander.pid));
    EXPECT_TRUE(killProcessesByImageName(L"no-such-image.exe"));
    TerminateProcess(bystander.handle.get(), 0);
    WaitForSingleObject(bystander.handle.get(), 5000);
    deleteTree(dir);
}

TEST(CleanUp, LoadSystemLibraryTakesTheSystemCopy) {
    win::unique_hmodule library = loadSystemLibrary(L"msimg32.dll");
    ASSERT_TRUE(library);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(library.get(), path, MAX_PATH);
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(_wcsnicmp(path, system, wcslen(system)), 0) << narrow(path);
    EXPECT_FALSE(loadSystemLibrary(L"tarvo-no-such-library.dll"));
}

// ---- UI context and deferred calls -----------------------------------------------------------------

namespace {
struct CallLog {
    std::vector<intptr_t> args;
    std::vector<DWORD> threads;
    Control* target = nullptr;
    Control* sender = nullptr;
};
CallLog g_log;
std::atomic<int> g_calls{0};

void recordCall(Control* target, Control* sender, intptr_t arg) {
    g_log.args.push_back(arg);
    g_log.threads.push_back(GetCurrentThreadId());
    g_log.target = target;
    g_log.sender = sender;
}
void countCall(Control*, Control*, intptr_t) {
    ++g_calls;
}

}  // namespace

TEST(UiContext, WithoutAContextDeferredCallsAreRefused) {
    ASSERT_EQ(uiContext(), nullptr);
    g_log = {};
    EXPECT_FALSE(postDeferredCall(nullptr, recordCall, nullptr, 1));
    pumpUntil([] { return false; }, 50);
    EXPECT_TRUE(g_log.args.empty());
}

TEST(UiContext, CreatesTheHiddenDispatcherWindowAndLoadsMsimg32FromTheSystem) {
    ASSERT_TRUE(createUiContext());
    EXPECT_FALSE(createUiContext());  // one per process
    UiContext* context = uiContext();
    ASSERT_NE(context, nullptr);
    HWND window = context->dispatcherWindow;
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(windowClass(window), L"Dispatcher_Kestrel124");
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & WS_POPUP, static_cast<LONG>(WS_POPUP));
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.right - rect.left, 1);
    EXPECT_EQ(rect.bottom - rect.top, 1);
    EXPECT_EQ(GetParent(window), nullptr);

    ASSERT_NE(context->msimg32, nullptr);
    EXPECT_NE(context->alphaBlend, nullptr);
    EXPECT_NE(context->gradientFill, nullptr);
    wchar_t path[MAX_PATH] = {}, system[MAX_PATH] = {};
    GetModuleFileNameW(context->msimg32, path, MAX_PATH);
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(_wcsnicmp(path, system, wcslen(system)), 0) << narrow(path);
    EXPECT_TRUE(context->messageHandlers.empty());

    destroyUiContext();
    EXPECT_EQ(uiContext(), nullptr);
    EXPECT_FALSE(IsWindow(window));
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    EXPECT_FALSE(GetClassInfoExW(nullptr, L"Dispatcher_Kestrel124", &info));
}

TEST(UiContext, CallsPostedFromAnotherThreadRunOnTheUiThreadInOrder) {
    ASSERT_TRUE(createUiContext());
    g_log = {};
    Control* target = reinterpret_cast<Control*>(0x1000);
    Control* sender = reinterpret_cast<Control*>(0x2000);
    bool posted[3] = {};
    std::thread poster([&] {
        for (int i = 0; i < 3; ++i) posted[i] = postDeferredCall(target, recordCall, sender, 10 + i);
    });
    poster.join();
    EXPECT_TRUE(posted[0] && posted[1] && posted[2]);
    EXPECT_TRUE(g_log.args.empty());  // nothing runs until the UI thread pumps
    pumpUntil([] { return g_log.args.size() == 3; }, 5000);
    EXPECT_EQ(g_log.args, (std::vector<intptr_t>{10, 11, 12}));
    for (DWORD thread : g_log.threads) EXPECT_EQ(thread, GetCurrentThreadId());
    EXPECT_EQ(g_log.target, target);
    EXPECT_EQ(g_log.sender, sender);
    destroyUiContext();
}

TEST(UiContext, DestroyRunsCallsStillQueuedAndLaterPostsAreRefused) {
    ASSERT_TRUE(createUiContext());
    g_log = {};
    EXPECT_TRUE(postDeferredCall(nullptr, recordCall, nullptr, 1));
    EXPECT_TRUE(postDeferredCall(nullptr, recordCall, nullptr, 2));
    destroyUiContext();
    EXPECT_EQ(g_log.args, (std::vector<intptr_t>{1, 2}));
    EXPECT_FALSE(postDeferredCall(nullptr, recordCall, nullptr, 3));
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(g_log.args.size(), 2u);
}

TEST(UiContext, EveryAcceptedPostRunsExactlyOnceWhileTheContextGoesAway) {
    ASSERT_TRUE(createUiContext());
    g_calls = 0;
    std::atomic<bool> destroyed{false}, stop{false};
    std::atomic<int> accepted{0}, triedAfterDestroy{0}, acceptedAfterDestroy{0};
    std::thread poster([&] {
        while (!stop) {
            bool gone = destroyed;  // read before posting: a post begun after destruction must fail
            bool posted = postDeferredCall(nullptr, countCall, nullptr, 0);
            accepted += posted;
            if (gone) {
                ++triedAfterDestroy;
                acceptedAfterDestroy += posted;
            }
        }
    });
    pumpUntil([] { return g_calls > 200; }, 10000);
    destroyUiContext();
    const int ranByDestroy = g_calls;
    destroyed = true;
    DWORD start = GetTickCount();
    while (triedAfterDestroy < 20 && GetTickCount() - start < 10000) Sleep(1);
    stop = true;
    poster.join();
    pumpUntil([] { return false; }, 20);

    EXPECT_GT(ranByDestroy, 200);
    EXPECT_GE(triedAfterDestroy.load(), 20);
    EXPECT_EQ(acceptedAfterDestroy.load(), 0);
    // Everything accepted before the pointer went null ran, once, before destroyUiContext returned.
    EXPECT_EQ(g_calls.load(), ranByDestroy);
    EXPECT_EQ(g_calls.load(), accepted.load());
}

// ---- Test support: PNG encoder ---------------------------------------------------------------------

TEST(TestSupport, PngEncoderWritesAValidStoredDeflateImage) {
    Image image;
    image.width = 300;  // rows of 1201 bytes: the stream spans several stored blocks
    image.height = 70;
    for (int i = 0; i < image.width * image.height; ++i)
        image.pixels.push_back(0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8));
    std::string png = encodePng(image);
    ASSERT_GT(png.size(), 8u + image.width * image.height * 4u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");
    // The zlib stream: header, then blocks of LEN/NLEN pairs that must complement each other.
    size_t idat = png.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    size_t pos = idat + 4 + 2;
    size_t total = 0;
    for (;;) {
        unsigned char final = static_cast<unsigned char>(png[pos]);
        unsigned len = static_cast<unsigned char>(png[pos + 1]) | static_cast<unsigned char>(png[pos + 2])
                                                                      << 8;
        unsigned nlen = static_cast<unsigned char>(png[pos + 3]) | static_cast<unsigned char>(png[pos + 4])
                                                                       << 8;
        ASSERT_EQ(len ^ 0xFFFF, nlen);
        total += len;
        pos += 5 + len;
        if (final & 1)
            break;
    }
    EXPECT_EQ(total, static_cast<size_t>(image.height) * (1 + 4 * image.width));
    EXPECT_TRUE(encodePng(Image{}).empty());
}

TEST(TestSupport, CapturesAWindowsPixels) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = DefWindowProcW;
    cls.hbrBackground = CreateSolidBrush(RGB(200, 30, 60));
    cls.lpszClassName = L"host_capture_probe";
    win::unique_wndclass registered(RegisterClassW(&cls), nullptr);
    win::unique_hwnd window(CreateWindowExW(WS_EX_TOPMOST, cls.lpszClassName, L"probe", WS_POPUP | WS_VISIBLE,
                                            40, 40, 64, 48, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(window);
    UpdateWindow(window.get());
    pumpUntil([] { return false; }, 200);
    Image image;
    ASSERT_TRUE(captureWindow(window.get(), &image));
    EXPECT_EQ(image.width, 64);
    EXPECT_EQ(image.height, 48);
    EXPECT_EQ(image.at(32, 24) & 0xFFFFFF, 0xC81E3Cu);  // RGB(200, 30, 60) as 0xRRGGBB
    window.reset();
    DeleteObject(cls.hbrBackground);
}
