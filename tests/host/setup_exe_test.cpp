// The installer executable seen from outside: its refusals, clean-up, exit codes, resources and the
// libraries it loads. Each test starts real processes in the prefix.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <iostream>

#include "host_test_paths.h"
#include "win_test_support.h"

using namespace testsupport;

namespace {

const wchar_t kRunning[] = L"检测到Tarvo安装或卸载程序正在运行，请结束后重试。";
const wchar_t kRestart[] = L"检测到Tarvo安装或卸载操作尚未完成，需要重启电脑。";

std::wstring specialFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE) ? path : L"";
}

// What one run of an installer executable did.
struct SetupRun {
    int exitCode = kNotStarted;
    std::vector<std::wstring> errors;  // texts of "错误" boxes, each answered with OK
    std::vector<std::wstring> others;  // titles of any other dialog (left open until the timeout)
};

// Starts exe and waits for it to end, answering script-error boxes; any other dialog is recorded.
SetupRun runToExit(const std::wstring& exe, DWORD timeoutMs = 30000) {
    SetupRun run;
    Process process = startProcess(exe);
    if (!process)
        return run;
    DWORD start = GetTickCount();
    while (WaitForSingleObject(process.handle.get(), 50) == WAIT_TIMEOUT) {
        for (HWND dialog : topLevelWindows(process.pid, L"#32770")) {
            if (!IsWindowVisible(dialog))
                continue;
            std::wstring title = windowText(dialog);
            if (title == L"错误") {
                run.errors.push_back(dialogText(dialog));
                pressButton(dialog, IDOK);
                waitWindowGone(dialog, 5000);
            } else if (std::find(run.others.begin(), run.others.end(), title) == run.others.end()) {
                run.others.push_back(title);
            }
        }
        if (GetTickCount() - start > timeoutMs)
            break;
    }
    run.exitCode = waitExit(process, 0);
    return run;
}

const unsigned long long kShutdownTime = 0x01DB49A1C0FFEE11ull;

FILETIME exitTime(const Process& process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(process.handle.get(), &created, &exited, &kernel, &user);
    return exited;
}

unsigned long long ticks(FILETIME t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// Starts exe and waits for its message box with this title.
void startUntilBox(const std::wstring& exe, const wchar_t* title, Process* process, HWND* box) {
    *process = startProcess(exe);
    ASSERT_TRUE(*process) << narrow(exe);
    *box = findDialog(process->pid, title, 15000);
    ASSERT_NE(*box, nullptr) << "no box titled " << narrow(title);
}

// An installer started while another runs: turned away with the one-button refusal; OK ends it with 0.
void expectTurnedAway(const std::wstring& exe) {
    Process refused;
    HWND refusal = nullptr;
    ASSERT_NO_FATAL_FAILURE(startUntilBox(exe, L"提示", &refused, &refusal));
    EXPECT_EQ(dialogText(refusal), kRunning);
    ASSERT_EQ(dialogButtons(refusal).size(), 1u);
    ASSERT_TRUE(pressButton(refusal, IDOK));
    EXPECT_EQ(waitExit(refused, 15000), 0);
}

}  // namespace

TEST(SetupExe, WithoutAUiScriptStartsAndShutsDownCleanly) {
    DeleteFileW(markerPath().c_str());
    SetupRun run = runToExit(setupNoScriptExe());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.others.empty());
    EXPECT_TRUE(processesByName(L"setup_noscript.exe").empty());
}

TEST(SetupExe, PendingRestartRefusesAndASecondInstanceIsTurnedAway) {
    PendingRestart restart;
    ASSERT_TRUE(restart.arm(kShutdownTime, bytes8(kShutdownTime)));
    // Both refusals leave before the clean-up: this leftover must outlive them.
    std::wstring leftovers = specialFolder(CSIDL_APPDATA) + L"\\TarvoVirtualCamera";
    ASSERT_TRUE(writeFile(leftovers + L"\\old.txt", "old"));

    // The first instance holds the mutex while it shows the restart refusal.
    Process first;
    HWND firstBox = nullptr;
    ASSERT_NO_FATAL_FAILURE(startUntilBox(setupExe(), L"提示", &first, &firstBox));
    EXPECT_EQ(dialogText(firstBox), kRestart);
    EXPECT_EQ(dialogButtons(firstBox).size(), 1u);
    EXPECT_TRUE(fileExists(markerPath()));  // a pending marker stays

    ASSERT_NO_FATAL_FAILURE(expectTurnedAway(setupExe()));
    EXPECT_TRUE(fileExists(markerPath()));  // the second never reached the restart check

    // The first is untouched: still running, its box still up with its text.
    EXPECT_TRUE(processAlive(first.pid));
    EXPECT_TRUE(IsWindow(firstBox));
    EXPECT_EQ(dialogText(firstBox), kRestart);
    ASSERT_TRUE(pressButton(firstBox, IDOK));
    EXPECT_EQ(waitExit(first, 15000), 0);
    EXPECT_TRUE(fileExists(leftovers + L"\\old.txt"));

    // With the first gone the guard is free again: a run with a stale marker goes through.
    ASSERT_TRUE(restart.arm(kShutdownTime + 1, bytes8(kShutdownTime)));
    SetupRun after = runToExit(setupNoScriptExe());
    EXPECT_EQ(after.exitCode, 0);
    EXPECT_TRUE(after.others.empty());
    EXPECT_FALSE(fileExists(markerPath()));
    EXPECT_FALSE(fileExists(leftovers));
}

TEST(SetupExe, WhileTheUiScriptRunsStartUpIsCompleteAndTheGuardHeld) {
    PendingRestart restart;
    ASSERT_TRUE(restart.arm(kShutdownTime + 1, bytes8(kShutdownTime)));  // stale: deleted by the check
    std::wstring leftovers = specialFolder(CSIDL_APPDATA) + L"\\TarvoVirtualCamera";
    ASSERT_TRUE(writeFile(leftovers + L"\\codecs\\old.txt", "old"));

    // The probe's UI script waits behind one box; all of start-up before the script has happened by then.
    Process probe;
    HWND box = nullptr;
    ASSERT_NO_FATAL_FAILURE(startUntilBox(setupProbeExe(), L"probe", &probe, &box));
    EXPECT_EQ(dialogText(box), L"start-up probe");
    EXPECT_FALSE(fileExists(markerPath()));
    EXPECT_FALSE(fileExists(leftovers));
    std::vector<HWND> dispatchers = topLevelWindows(probe.pid, L"Dispatcher_Kestrel124");
    ASSERT_EQ(dispatchers.size(), 1u);
    EXPECT_FALSE(IsWindowVisible(dispatchers[0]));

    // A second installer started now is turned away and leaves the first as it was.
    ASSERT_NO_FATAL_FAILURE(expectTurnedAway(setupNoScriptExe()));
    EXPECT_TRUE(IsWindow(box));
    EXPECT_TRUE(IsWindow(dispatchers[0]));

    // When the script returns, shutdown runs through to exit code 0 and frees the guard.
    ASSERT_TRUE(pressButton(box, IDOK));
    EXPECT_EQ(waitExit(probe, 15000), 0);
    SetupRun after = runToExit(setupNoScriptExe());
    EXPECT_EQ(after.exitCode, 0);
    EXPECT_TRUE(after.others.empty());
}

TEST(SetupExe, ARefusedInstanceHoldsNoGuardWhileItsRefusalIsShown) {
    DeleteFileW(markerPath().c_str());
    Process first, refused;
    HWND box = nullptr, refusal = nullptr;
    ASSERT_NO_FATAL_FAILURE(startUntilBox(setupProbeExe(), L"probe", &first, &box));
    ASSERT_NO_FATAL_FAILURE(startUntilBox(setupNoScriptExe(), L"提示", &refused, &refusal));
    EXPECT_EQ(dialogText(refusal), kRunning);

    // The first installer ends while the refusal is still up: a third start goes through.
    ASSERT_TRUE(pressButton(box, IDOK));
    EXPECT_EQ(waitExit(first, 15000), 0);
    SetupRun third = runToExit(setupNoScriptExe(), 15000);
    EXPECT_EQ(third.exitCode, 0);
    EXPECT_TRUE(third.others.empty()) << "refused although no installer runs any more";

    ASSERT_TRUE(pressButton(refusal, IDOK));
    EXPECT_EQ(waitExit(refused, 15000), 0);
}

TEST(SetupExe, StaleOrShortMarkersAreDeletedAndStartUpGoesOn) {
    PendingRestart restart;
    std::wstring leftovers = specialFolder(CSIDL_APPDATA) + L"\\TarvoVirtualCamera";
    for (const std::string& marker : {bytes8(kShutdownTime - 1), std::string("\x11\xEE\xFF", 3)}) {
        ASSERT_TRUE(restart.arm(kShutdownTime, marker));
        // Clean-up removing this folder shows that start-up went past the check.
        ASSERT_TRUE(writeFile(leftovers + L"\\old.txt", "old"));
        SetupRun run = runToExit(setupNoScriptExe());
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.others.empty());
        EXPECT_FALSE(fileExists(markerPath()));
        EXPECT_FALSE(fileExists(leftovers));
    }
}

TEST(SetupExe, CleanUpEndsTheCodecProcessesLastTheMonitorThenDeletesTheFolders) {
    DeleteFileW(markerPath().c_str());
    std::wstring appData = specialFolder(CSIDL_APPDATA);
    std::wstring startup = specialFolder(CSIDL_COMMON_STARTUP);
    ASSERT_FALSE(appData.empty());
    ASSERT_FALSE(startup.empty());
    std::wstring root = appData + L"\\TarvoVirtualCamera";
    std::wstring codecs = root + L"\\codecs";
    ASSERT_TRUE(makeFolders(codecs));
    // The monitor is listed between the other two, so only the explicit last call can end it last.
    const wchar_t* names[] = {L"acodec.exe", L"tarvovcamon.exe", L"zcodec.exe"};
    std::vector<Process> helpers;
    for (const wchar_t* name : names) {
        ASSERT_TRUE(CopyFileW(sleeperExe().c_str(), (codecs + L"\\" + name).c_str(), FALSE));
        helpers.push_back(startProcess(codecs + L"\\" + name));
        ASSERT_TRUE(helpers.back());
    }
    std::wstring elsewhere = makeTempFolder(L"bystander");
    ASSERT_TRUE(CopyFileW(sleeperExe().c_str(), (elsewhere + L"\\bystander.exe").c_str(), FALSE));
    Process bystander = startProcess(elsewhere + L"\\bystander.exe");
    ASSERT_TRUE(bystander);

    ASSERT_TRUE(writeFile(root + L"\\data\\ro.bin", "readonly"));
    ASSERT_TRUE(SetFileAttributesW((root + L"\\data\\ro.bin").c_str(), FILE_ATTRIBUTE_READONLY));
    std::wstring vozizavuv = startup + L"\\Vozizavuv";
    ASSERT_TRUE(writeFile(vozizavuv + L"\\ro.txt", "readonly"));
    ASSERT_TRUE(SetFileAttributesW((vozizavuv + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(writeFile(vozizavuv + L"\\plain.txt", "plain"));

    SetupRun run = runToExit(setupNoScriptExe(), 60000);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.others.empty());

    for (size_t i = 0; i < helpers.size(); ++i)
        EXPECT_EQ(waitExit(helpers[i], 0), static_cast<int>(0xFFFFFFF8)) << narrow(names[i]);
    unsigned long long monitor = ticks(exitTime(helpers[1]));
    EXPECT_GT(monitor, ticks(exitTime(helpers[0])));
    EXPECT_GT(monitor, ticks(exitTime(helpers[2])));
    EXPECT_TRUE(processAlive(bystander.pid));

    EXPECT_FALSE(fileExists(root));  // with the read-only file and the helpers' images
    EXPECT_TRUE(fileExists(vozizavuv + L"\\ro.txt"));
    EXPECT_FALSE(fileExists(vozizavuv + L"\\plain.txt"));

    TerminateProcess(bystander.handle.get(), 0);
    WaitForSingleObject(bystander.handle.get(), 5000);
    SetFileAttributesW((vozizavuv + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    deleteTree(vozizavuv);
    deleteTree(elsewhere);
}

namespace {
// Points the user's application-data folder (the shell's "AppData" entry) somewhere that does not
// exist, so the shell answers no folder when it may not create one; both entries restored at scope end.
class MissingAppData {
  public:
    MissingAppData() {
        for (Saved& entry : saved_) {
            win::unique_hkey key;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, entry.key, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
                continue;
            DWORD size = 0;
            if (RegQueryValueExW(key.get(), L"AppData", nullptr, &entry.type, nullptr, &size) !=
                ERROR_SUCCESS)
                continue;
            entry.data.resize(size);
            entry.present =
                RegQueryValueExW(key.get(), L"AppData", nullptr, &entry.type,
                                 reinterpret_cast<BYTE*>(entry.data.data()), &size) == ERROR_SUCCESS;
        }
        for (const Saved& entry : saved_) regWriteString(HKEY_CURRENT_USER, entry.key, L"AppData", kNowhere);
    }
    ~MissingAppData() {
        for (const Saved& entry : saved_) {
            win::unique_hkey key;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, entry.key, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
                continue;
            if (entry.present)
                RegSetValueExW(key.get(), L"AppData", 0, entry.type,
                               reinterpret_cast<const BYTE*>(entry.data.data()),
                               static_cast<DWORD>(entry.data.size()));
            else
                RegDeleteValueW(key.get(), L"AppData");
        }
    }
    static constexpr const wchar_t* kNowhere = L"C:\\tarvo-test-no-appdata";

  private:
    struct Saved {
        explicit Saved(const wchar_t* name) : key(name) {}
        const wchar_t* key;
        bool present = false;
        DWORD type = REG_SZ;
        std::string data;
    };
    Saved saved_[2] = {Saved(L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"),
                       Saved(L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders")};
};
}  // namespace

TEST(SetupExe, WithoutAnApplicationDataFolderOnlyTheStartupEntryIsCleaned) {
    DeleteFileW(markerPath().c_str());
    std::wstring appData = specialFolder(CSIDL_APPDATA);
    std::wstring startup = specialFolder(CSIDL_COMMON_STARTUP);
    ASSERT_FALSE(appData.empty());
    ASSERT_FALSE(startup.empty());
    std::wstring leftovers = appData + L"\\TarvoVirtualCamera";
    ASSERT_TRUE(writeFile(leftovers + L"\\old.txt", "old"));
    std::wstring vozizavuv = startup + L"\\Vozizavuv";
    ASSERT_TRUE(writeFile(vozizavuv + L"\\plain.txt", "plain"));
    // The monitor is ended only by the clean-up of the helpers' folder, wherever it runs from.
    std::wstring elsewhere = makeTempFolder(L"monitor");
    ASSERT_TRUE(CopyFileW(sleeperExe().c_str(), (elsewhere + L"\\tarvovcamon.exe").c_str(), FALSE));
    Process monitor = startProcess(elsewhere + L"\\tarvovcamon.exe");
    ASSERT_TRUE(monitor);

    SetupRun run;
    {
        MissingAppData missing;
        wchar_t path[MAX_PATH] = {};
        ASSERT_FALSE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_APPDATA, FALSE)) << narrow(path);
        run = runToExit(setupNoScriptExe());
    }
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.others.empty());
    EXPECT_TRUE(processAlive(monitor.pid));
    EXPECT_TRUE(fileExists(leftovers + L"\\old.txt"));
    EXPECT_FALSE(fileExists(vozizavuv));  // the start-up entry does not depend on it
    EXPECT_FALSE(fileExists(MissingAppData::kNowhere));

    TerminateProcess(monitor.handle.get(), 0);
    WaitForSingleObject(monitor.handle.get(), 5000);
    deleteTree(leftovers);
    deleteTree(elsewhere);
}

TEST(SetupExe, WithNoEarlierInstallationCleanUpDoesNothingVisible) {
    DeleteFileW(markerPath().c_str());
    std::wstring root = specialFolder(CSIDL_APPDATA) + L"\\TarvoVirtualCamera";
    deleteTree(root);
    std::wstring neighbour = specialFolder(CSIDL_APPDATA) + L"\\TarvoNeighbour\\keep.txt";
    ASSERT_TRUE(writeFile(neighbour, "keep"));
    SetupRun run = runToExit(setupNoScriptExe());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.others.empty());
    EXPECT_TRUE(run.errors.empty());
    EXPECT_TRUE(fileExists(neighbour));
    deleteTree(specialFolder(CSIDL_APPDATA) + L"\\TarvoNeighbour");
}

namespace {
// Makes Wine prefer a native msimg32.dll for programs of one file name, as Windows does when the file
// lies in the program's folder (Wine otherwise takes its own). Ignored outside Wine. Undone at scope
// end.
class PreferNativeMsimg32 {
  public:
    explicit PreferNativeMsimg32(const std::wstring& exeName)
        : app_(L"Software\\Wine\\AppDefaults\\" + exeName), overrides_(app_ + L"\\DllOverrides") {
        regWriteString(HKEY_CURRENT_USER, overrides_, L"msimg32", L"native,builtin");
    }
    ~PreferNativeMsimg32() {
        regDeleteValue(HKEY_CURRENT_USER, overrides_, L"msimg32");
        RegDeleteKeyW(HKEY_CURRENT_USER, overrides_.c_str());  // only when nothing else is left in it
        RegDeleteKeyW(HKEY_CURRENT_USER, app_.c_str());
    }

  private:
    std::wstring app_, overrides_;
};
}  // namespace

TEST(SetupExe, APlantedMsimg32BesideTheExecutableIsNotLoaded) {
    DeleteFileW(markerPath().c_str());
    std::wstring dir = makeTempFolder(L"planted");
    ASSERT_FALSE(dir.empty());
    ASSERT_TRUE(CopyFileW(plantedDll().c_str(), (dir + L"\\msimg32.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(setupNoScriptExe().c_str(), (dir + L"\\setup.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(sleeperExe().c_str(), (dir + L"\\naive.exe").c_str(), FALSE));
    std::wstring loaded = dir + L"\\msimg32_loaded.txt";

    PreferNativeMsimg32 naiveTakesPlants(L"naive.exe"), setupTakesPlants(L"setup.exe");

    // Control: a plain LoadLibraryW("msimg32.dll") in that folder takes the plant, so the folder really
    // is dangerous and the installer's run below means something.
    EXPECT_EQ(runAndWait(dir + L"\\naive.exe", L"--load msimg32.dll", 15000), 0);
    bool naiveLoadedIt = fileExists(loaded);
    DeleteFileW(loaded.c_str());
    if (!naiveLoadedIt) {
        deleteTree(dir);
        GTEST_SKIP() << "a plain LoadLibraryW beside the plant did not load it, so a run of the "
                        "installer there would prove nothing";
    }

    SetupRun run = runToExit(dir + L"\\setup.exe");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.others.empty());
    EXPECT_FALSE(fileExists(loaded)) << "the installer loaded the msimg32.dll beside it";
    deleteTree(dir);
}

TEST(SetupExe, CarriesTheFiveResourcesIconAndBothManifests) {
    win::unique_hmodule image(LoadLibraryExW(setupExe().c_str(), nullptr,
                                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(image);
    const struct {
        int id;
        const char* input;
    } files[] = {{111, TARVO_TEST_UI_LUA},
                 {113, TARVO_TEST_FRAME_LZ},
                 {114, TARVO_TEST_LG_LUA},
                 {115, TARVO_TEST_PROGRAM_LZ},
                 {116, TARVO_TEST_STYLE_LZ}};
    const WORD chinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    ASSERT_EQ(chinese, 2052);
    for (const auto& file : files) {
        SCOPED_TRACE(file.id);
        HRSRC found = FindResourceExW(image.get(), L"_TarvoResc", MAKEINTRESOURCEW(file.id), chinese);
        ASSERT_NE(found, nullptr);
        std::optional<std::string> expected = readFile(buildPath(file.input));
        ASSERT_TRUE(expected);
        ASSERT_EQ(SizeofResource(image.get(), found), expected->size());
        const void* bytes = LockResource(LoadResource(image.get(), found));
        EXPECT_EQ(std::memcmp(bytes, expected->data(), expected->size()), 0);
    }
    EXPECT_EQ(FindResourceW(image.get(), MAKEINTRESOURCEW(112), L"_TarvoResc"), nullptr);
    EXPECT_NE(FindResourceExW(image.get(), RT_GROUP_ICON, MAKEINTRESOURCEW(2), chinese), nullptr);

    auto manifest = [&](WORD language) {
        HRSRC found = FindResourceExW(image.get(), RT_MANIFEST, MAKEINTRESOURCEW(1), language);
        if (!found)
            return std::string();
        return std::string(static_cast<const char*>(LockResource(LoadResource(image.get(), found))),
                           SizeofResource(image.get(), found));
    };
    std::string english = manifest(1033);
    std::string chineseManifest = manifest(2052);
    for (const std::string* text : {&english, &chineseManifest}) {
        EXPECT_NE(text->find("level=\"requireAdministrator\" uiAccess=\"false\""), std::string::npos)
            << *text;
    }
    EXPECT_EQ(english.find("Common-Controls"), std::string::npos);
    EXPECT_NE(chineseManifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    EXPECT_NE(chineseManifest.find("{e2011457-1546-43c5-a5fe-008deee3d3f0}"), std::string::npos);  // Vista
    EXPECT_NE(chineseManifest.find("{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"), std::string::npos);  // 7
}
