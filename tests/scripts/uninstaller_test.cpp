// The uninstaller as a user meets it: the product installed by the real setup.exe, then unins000.exe
// started as "UninstallString" names it; it hands over to its copy in the temporary folder, whose
// window is driven through its accessible tree with real input. Afterwards the prefix is compared
// with its state before the install: files and folders, registry values, the shortcut.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "installer_driver.h"
#include "ui_test_support.h"
#include "win_test_support.h"

using namespace testsupport;
using namespace e2e;

namespace {

constexpr wchar_t kUninstallTitle[] = L"veze卸载程序";
constexpr wchar_t kCopyName[] = L"tarvo_unins000.exe";
constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kRunningRefusal[] = L"检测到Tarvo安装或卸载程序正在运行，请结束后重试。";

// Control ids of the uninstaller's window (the installer's are e2e::installer's).
enum : int {
    kPathLabel = 1012,
    kUninstallButton = 1003,
    kCancelButton = 1005,
    kProgressPage = 3000,
    kFinishPage = 4000,
    kRestartNote = 4012,
    kFinishButton = 4002,
    kCloseButton = 5000,
};

std::wstring restartMarker() {
    return tempFolder() + L"tarvovirtualcamera_restart";
}

// The installed product's files in the install script's order (relative paths).
std::vector<std::wstring> manifestFiles() {
    std::vector<std::wstring> files;
    std::istringstream in(readFile(e2e::windowsPath(TARVO_TEST_LG_LUA)).value_or(""));
    const std::regex entry(R"(^\s*\{1, \[\[(.*)\]\]\},?\s*$)");
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_match(line, m, entry))
            files.push_back(widen(m[1]));
    }
    return files;
}

// ---- The prefix as lines: one per file, folder and registry value ----------------------------------

// Folders end in a backslash; links are listed, never entered.
void listTree(const std::wstring& folder, std::set<std::wstring>* out) {
    e2e::walkTree(folder, [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            out->insert(path);
            return false;
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            out->insert(path + L" -> link");
            return false;
        }
        out->insert(path + L"\\");
        return true;
    });
}

void listKey(HKEY parent, const std::wstring& name, const std::wstring& shown, std::set<std::wstring>* out) {
    win::unique_hkey key;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return;
    out->insert(shown + L"\\");
    for (DWORD i = 0;; ++i) {
        wchar_t value[16384];
        DWORD valueLength = 16384, type = 0, size = 0;
        if (RegEnumValueW(key.get(), i, value, &valueLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::string data(size, '\0');
        valueLength = 16384;
        RegEnumValueW(key.get(), i, value, &valueLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                      &size);
        std::wstring text;
        if (type == REG_SZ || type == REG_EXPAND_SZ)
            text.assign(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
        else
            for (unsigned char c : data.substr(0, size))
                text += L"0123456789ABCDEF"[c >> 4], text += L"0123456789ABCDEF"[c & 15];
        out->insert(shown + L"\\" + value + L"=" + std::to_wstring(type) + L":" + text);
    }
    for (DWORD i = 0;; ++i) {
        wchar_t sub[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key.get(), i, sub, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        listKey(key.get(), sub, shown + L"\\" + sub, out);
    }
}

// Wine's own churn between two moments: its window-manager and shell state, caches and logs; and the
// sample component's call counters, which exist only for the tests.
bool isChurn(const std::wstring& line) {
    static const wchar_t* const kIgnored[] = {
        L"C:\\windows\\",
        L"HKCU\\Software\\Wine\\",
        L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\",
        L"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
        L"HKCU\\Software\\TarvoSample\\",
    };
    for (const wchar_t* prefix : kIgnored)
        if (line.rfind(prefix, 0) == 0)
            return true;
    return false;
}

std::set<std::wstring> prefixState() {
    std::set<std::wstring> lines;
    listTree(L"C:\\", &lines);
    listKey(HKEY_CURRENT_USER, L"Software", L"HKCU\\Software", &lines);
    listKey(HKEY_LOCAL_MACHINE, L"Software", L"HKLM\\Software", &lines);
    std::erase_if(lines, isChurn);
    return lines;
}

// Lines in `a` that `b` lacks.
std::vector<std::wstring> missingFrom(const std::set<std::wstring>& a, const std::set<std::wstring>& b) {
    std::vector<std::wstring> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

std::string joined(const std::vector<std::wstring>& lines) {
    std::string out;
    for (const std::wstring& line : lines) out += "\n  " + narrow(line);
    return out;
}

std::wstring inUseQuestion(const std::wstring& path) {
    return L"文件正在被其他程序使用，无法删除：\r\n" + path +
           L"\r\n请关闭占用的程序后重试，或取消以在重启电脑后删除";
}

class UninstallerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { e2e::leaveUnmanaged({L"setup.exe", L"unins000.exe", kCopyName}); }
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com_.get()));
        forgetProduct();
    }
    void TearDown() override { forgetProduct(); }

    // Whatever a test left: the product's programs, links, files, registration and restart requests.
    void forgetProduct() {
        for (DWORD pid : processesByName(kProgram)) {
            win::unique_handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
            if (process && TerminateProcess(process.get(), 0))
                WaitForSingleObject(process.get(), e2e::kDeadline);
        }
        unixRemoveLink(installFolder() + linked_);
        deleteTree(L"C:\\E2E Outside");
        // What a run of the real installer registers, as the installer's own tests forget it.
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\DuvureVEdadiz");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                       L"SOFTWARE\\Microsoft\\Internet Explorer\\Low Rights\\ElevationPolicy\\"
                       L"{0D4E5A61-3C2B-4F7A-9E18-2B6C7D8E9F01}");
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"rozoz");
        regDeleteValue(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                       L"TarvoVirtualCamera");
        DeleteFileW((e2e::specialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Vozizavuv.lnk").c_str());
        deleteTree(installFolder());
        DeleteFileW(restartMarker().c_str());
        regDeleteValue(HKEY_LOCAL_MACHINE, kSessionManager, L"PendingFileRenameOperations");
        DeleteFileW((tempFolder() + kCopyName).c_str());
    }

    // The real installer, default path, to its finish. With `whileOpen`, called on the finish page
    // (the files are in place, the installer still runs).
    void install(const std::function<void()>& whileOpen = {}) {
        Installer setup(setupExe());
        ASSERT_TRUE(setup.waitWindow()) << "no installer window";
        ASSERT_TRUE(setup.click(e2e::installer::kAgreeBox));
        ASSERT_TRUE(
            setup.waitControl(e2e::installer::kInstallButton, [](const View& v) { return v.enabled(); }));
        ASSERT_TRUE(setup.click(e2e::installer::kInstallButton));
        ASSERT_TRUE(setup.waitShown(e2e::installer::kFinishPage, true, e2e::kInstallDeadline))
            << "the install did not end";
        if (whileOpen)
            whileOpen();
        ASSERT_TRUE(setup.click(e2e::installer::kFinishButton));
        ASSERT_EQ(setup.waitExit(), 0);
        ASSERT_TRUE(fileExists(installFolder() + L"unins000.exe"));
    }

    // unins000.exe as "UninstallString" names it: it starts its copy and ends; the copy's window shows
    // its confirmation page.
    std::unique_ptr<Installer> startUninstaller() {
        std::optional<e2e::RegValue> command =
            e2e::regValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString");
        EXPECT_TRUE(command) << "no UninstallString";
        if (!command)
            return nullptr;
        Process first = e2e::startQuiet(command->text);
        EXPECT_EQ(waitExit(first, e2e::kStartDeadline), 0) << "the first start hands over and ends";
        std::vector<DWORD> copies;
        EXPECT_TRUE(pumpUntil([&] { return !(copies = processesByName(kCopyName)).empty(); }, e2e::kDeadline))
            << "no copy in the temporary folder";
        if (copies.empty())
            return nullptr;
        Process copy;
        copy.pid = copies.front();
        copy.handle.reset(
            OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, copy.pid));
        auto uninstaller = std::make_unique<Installer>(std::move(copy), kUninstallTitle);
        EXPECT_TRUE(uninstaller->waitWindow()) << "no uninstaller window";
        return uninstaller;
    }

    // From the confirmation page through the uninstall to the finish page.
    void uninstallToFinish(Installer& u) {
        ASSERT_TRUE(u.click(kUninstallButton));
        ASSERT_TRUE(u.waitShown(kFinishPage, true, e2e::kInstallDeadline))
            << "no finish page; message boxes:" << joined(u.messageBoxes());
    }

    // A starting program that refuses with the running message.
    static void expectRefusedWhileRunning(const std::wstring& exe) {
        Installer other(exe);
        ASSERT_TRUE(other.started()) << narrow(exe);
        HWND box = other.waitMessageBox(L"提示", e2e::kStartDeadline);
        ASSERT_NE(box, nullptr) << narrow(exe) << " was not refused";
        EXPECT_EQ(dialogText(box), kRunningRefusal);
        EXPECT_TRUE(e2e::answer(box, IDOK));
        EXPECT_EQ(other.waitExit(), 0);
    }

    std::wstring linked_ = L"no link";
    decltype(win::co_initialize()) com_ = win::co_initialize();
};

}  // namespace

TEST_F(UninstallerTest, InstallThenUninstallLeavesThePrefixAsItWas) {
    const std::set<std::wstring> before = prefixState();
    // The uninstaller cannot start while the installer runs.
    ASSERT_NO_FATAL_FAILURE(install([&] { expectRefusedWhileRunning(installFolder() + L"unins000.exe"); }));

    std::unique_ptr<Installer> u = startUninstaller();
    ASSERT_TRUE(u);
    EXPECT_EQ(u->control(kPathLabel).value().facts.name, installFolder());
    EXPECT_EQ(u->control(kUninstallButton).value().facts.name, L"卸载");
    EXPECT_EQ(u->control(kCancelButton).value().facts.name, L"取消");
    // Nor can the installer, or a second uninstaller, while it runs.
    ASSERT_NO_FATAL_FAILURE(expectRefusedWhileRunning(setupExe()));
    ASSERT_NO_FATAL_FAILURE(expectRefusedWhileRunning(installFolder() + L"unins000.exe"));

    ASSERT_NO_FATAL_FAILURE(uninstallToFinish(*u));
    EXPECT_FALSE(u->control(kRestartNote).value().shown());
    EXPECT_TRUE(u->messageBoxes().empty()) << joined(u->messageBoxes());
    ASSERT_TRUE(u->click(kFinishButton));
    EXPECT_EQ(u->waitExit(), 0);

    // Everything the install made is gone. What is left: the running copy, which the system deletes at
    // the next restart, and the two empty keys above the elevation policy that writing it created on the
    // way; on Windows they belong to the system (Internet Explorer's policies) and are not the product's.
    const std::set<std::wstring> after = prefixState();
    EXPECT_EQ(missingFrom(before, after), std::vector<std::wstring>{})
        << "lost:" << joined(missingFrom(before, after));
    const std::wstring policies = L"HKLM\\Software\\Microsoft\\Internet Explorer\\Low Rights\\";
    std::vector<std::wstring> expected{tempFolder() + kCopyName};
    for (const std::wstring& key : {policies, policies + L"ElevationPolicy\\"})
        if (!before.count(key))
            expected.push_back(key);
    EXPECT_EQ(missingFrom(after, before), expected) << "left:" << joined(missingFrom(after, before));
    std::optional<std::string> pending =
        regReadBinary(HKEY_LOCAL_MACHINE, kSessionManager, L"PendingFileRenameOperations");
    ASSERT_TRUE(pending);
    const std::wstring names(reinterpret_cast<const wchar_t*>(pending->data()),
                             pending->size() / sizeof(wchar_t));
    EXPECT_NE(names.find(tempFolder() + kCopyName), std::wstring::npos) << narrow(names);
    EXPECT_FALSE(fileExists(restartMarker()));
    // The components were unregistered, not just deleted.
    EXPECT_FALSE(e2e::regValue(HKEY_CURRENT_USER, kComponentsKey, L"TarvoVCam.ax"));
    EXPECT_FALSE(e2e::regValue(HKEY_CURRENT_USER, kComponentsKey, L"rirezirudaru.dll"));
    EXPECT_TRUE(e2e::regValue(HKEY_CURRENT_USER, kComponentsKey, L"TarvoVCam.ax.unregistered"));
}

TEST_F(UninstallerTest, TheUsersFilesAndWhatALinkReachesSurvive) {
    ASSERT_NO_FATAL_FAILURE(install());
    // The user's own file in a folder of their own inside a folder of the product.
    const std::wstring mine = installFolder() + L"configure\\mine\\notes.txt";
    ASSERT_TRUE(writeFile(mine, "mine"));
    // A folder of the product replaced by a link to a folder outside that holds files of the same
    // names: removing through the link would delete them.
    std::vector<std::wstring> files = manifestFiles();
    auto inFolder = std::find_if(files.begin(), files.end(), [](const std::wstring& f) {
        return f.find(L'\\') != std::wstring::npos && f.rfind(L"configure\\", 0) != 0;
    });
    ASSERT_NE(inFolder, files.end()) << "no product folder besides configure";
    linked_ = inFolder->substr(0, inFolder->find(L'\\'));
    const std::wstring outside = L"C:\\E2E Outside\\";
    std::vector<std::wstring> outsideFiles;
    for (const std::wstring& f : files)
        if (f.rfind(linked_ + L"\\", 0) == 0 && f.find(L'\\', linked_.size() + 1) == std::wstring::npos) {
            outsideFiles.push_back(f.substr(linked_.size() + 1));
            ASSERT_TRUE(writeFile(outside + outsideFiles.back(), "outside"));
        }
    ASSERT_TRUE(deleteTree(installFolder() + linked_));
    ASSERT_TRUE(unixFolderLink(L"C:\\E2E Outside", installFolder() + linked_));
    ASSERT_EQ(GetFileAttributesW((installFolder() + linked_).c_str()) & FILE_ATTRIBUTE_REPARSE_POINT,
              static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT));

    std::unique_ptr<Installer> u = startUninstaller();
    ASSERT_TRUE(u);
    ASSERT_NO_FATAL_FAILURE(uninstallToFinish(*u));
    ASSERT_TRUE(u->click(kFinishButton));
    EXPECT_EQ(u->waitExit(), 0);

    for (const std::wstring& f : outsideFiles) EXPECT_EQ(readFile(outside + f), "outside") << narrow(f);
    EXPECT_EQ(readFile(mine), "mine");
    // Of the install folder only the user's file with its folders and the link (which this system
    // cannot remove without reaching its target) stay.
    std::set<std::wstring> left;
    listTree(installFolder(), &left);
    const std::set<std::wstring> expected{installFolder() + L"configure\\",
                                          installFolder() + L"configure\\mine\\", mine,
                                          installFolder() + linked_ + L" -> link"};
    EXPECT_EQ(left, expected) << joined(std::vector<std::wstring>(left.begin(), left.end()));
    EXPECT_FALSE(e2e::regValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"));
}

TEST_F(UninstallerTest, AFileInUseIsQuestionedRetriedAndOtherwiseLeftForTheRestart) {
    ASSERT_NO_FATAL_FAILURE(install());
    // The uninstaller goes backwards through the list: the later file is asked about first.
    const std::vector<std::wstring> files = manifestFiles();
    ASSERT_GE(files.size(), 4u);
    const std::wstring retried = installFolder() + files[files.size() / 2 + 1];
    const std::wstring cancelled = installFolder() + files[files.size() / 2];
    win::unique_file holdRetried = holdFile(retried), holdCancelled = holdFile(cancelled);
    ASSERT_TRUE(holdRetried && holdCancelled);

    std::unique_ptr<Installer> u = startUninstaller();
    ASSERT_TRUE(u);
    ASSERT_TRUE(u->click(kUninstallButton));
    HWND box = u->waitMessageBox(L"异常", e2e::kInstallDeadline);
    ASSERT_NE(box, nullptr) << "no question about the file in use";
    EXPECT_EQ(dialogText(box), inUseQuestion(retried));
    EXPECT_TRUE(u->control(kProgressPage).value().shown());
    EXPECT_FALSE(u->control(kCloseButton).value().shown());
    ASSERT_TRUE(e2e::answer(box, IDRETRY));
    box = u->waitMessageBox(L"异常");
    ASSERT_NE(box, nullptr) << "Retry while it is held asks again";
    EXPECT_EQ(dialogText(box), inUseQuestion(retried));
    holdRetried.reset();
    ASSERT_TRUE(e2e::answer(box, IDRETRY));

    box = u->waitMessageBox(L"异常", e2e::kInstallDeadline);
    ASSERT_NE(box, nullptr) << "no question about the second file";
    EXPECT_EQ(dialogText(box), inUseQuestion(cancelled));
    ASSERT_TRUE(e2e::answer(box, IDCANCEL));
    ASSERT_TRUE(u->waitShown(kFinishPage, true, e2e::kInstallDeadline)) << joined(u->messageBoxes());
    EXPECT_TRUE(u->control(kRestartNote).value().shown());
    ASSERT_TRUE(u->click(kFinishButton));
    box = u->waitMessageBox(L"提示");
    ASSERT_NE(box, nullptr) << "no restart offer";
    EXPECT_EQ(dialogText(box), L"部分文件需要重启电脑后才能删除，是否立即重启?");
    ASSERT_TRUE(e2e::answer(box, IDCANCEL));
    EXPECT_EQ(u->waitExit(), 0);

    EXPECT_FALSE(fileExists(retried));
    EXPECT_TRUE(fileExists(cancelled)) << "a cancelled file stays until the restart";
    holdCancelled.reset();
    std::optional<std::string> pending =
        regReadBinary(HKEY_LOCAL_MACHINE, kSessionManager, L"PendingFileRenameOperations");
    ASSERT_TRUE(pending);
    const std::wstring names(reinterpret_cast<const wchar_t*>(pending->data()),
                             pending->size() / sizeof(wchar_t));
    EXPECT_NE(names.find(cancelled), std::wstring::npos) << narrow(names);
    EXPECT_EQ(readFile(restartMarker()).value_or("").size(), 8u) << "no restart marker";

    // Until the restart, the installer refuses to start.
    Installer setup(setupExe());
    box = setup.waitMessageBox(L"提示", e2e::kStartDeadline);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(dialogText(box), L"检测到Tarvo安装或卸载操作尚未完成，需要重启电脑。");
    EXPECT_TRUE(e2e::answer(box, IDOK));
    EXPECT_EQ(setup.waitExit(), 0);
}

TEST_F(UninstallerTest, TheProductRunningFromTheInstallFolderIsQuestionedAndCancelKeepsEverything) {
    ASSERT_NO_FATAL_FAILURE(install());
    Process product = e2e::startQuiet(installFolder() + kProgram);
    ASSERT_TRUE(pumpUntil([&] { return !topLevelWindows(product.pid).empty(); }, e2e::kDeadline));
    std::set<std::wstring> installed;
    listTree(installFolder(), &installed);

    std::unique_ptr<Installer> u = startUninstaller();
    ASSERT_TRUE(u);
    ASSERT_TRUE(u->click(kUninstallButton));
    HWND box = u->waitMessageBox(L"提示");
    ASSERT_NE(box, nullptr) << "no question about the running product";
    EXPECT_EQ(dialogText(box), L"veze正在运行中，卸载前需要关闭veze。是否立即关闭？");
    ASSERT_TRUE(e2e::answer(box, IDCANCEL));
    EXPECT_EQ(u->waitExit(), 0);

    EXPECT_TRUE(processAlive(product.pid)) << "Cancel keeps the product running";
    std::set<std::wstring> now;
    listTree(installFolder(), &now);
    EXPECT_EQ(now, installed);
    EXPECT_TRUE(e2e::regValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"));
    EXPECT_TRUE(e2e::regValue(HKEY_CURRENT_USER, kComponentsKey, L"TarvoVCam.ax")) << "still registered";
}
