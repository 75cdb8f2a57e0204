// The shipped installer as a user meets it: setup.exe started from outside, its controls found by layout
// id through the accessible tree and pressed with real mouse and keyboard input, its message boxes read
// and answered from outside; afterwards the prefix's registry, files and shortcut are checked exactly.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "installer_driver.h"
#include "ui_test_support.h"
#include "win_test_support.h"

using namespace testsupport;
using namespace e2e;
using namespace e2e::installer;

namespace {

constexpr wchar_t kProductKey[] = L"Software\\DuvureVEdadiz";
constexpr wchar_t kPolicyKey[] =
    L"SOFTWARE\\Microsoft\\Internet Explorer\\Low Rights\\ElevationPolicy\\"
    L"{0D4E5A61-3C2B-4F7A-9E18-2B6C7D8E9F01}";
constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kOldServerKey[] = L"CLSID\\{7A2C9E41-5B3D-4C6E-8F10-A1B2C3D4E5F6}";
constexpr wchar_t kRestartMarker[] = L"tarvovirtualcamera_restart";

// The path checks' refusal of a path that is not a full path of a folder.
constexpr wchar_t kFullPathMessage[] = L"你必须输入带驱动器卷标的完整路径，例如：\n\nC:\\Program Files\\";

std::wstring payloadFolder() {
    return e2e::windowsPath(TARVO_TEST_PAYLOAD_DIR);
}

std::wstring desktopShortcut() {
    return e2e::specialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Vozizavuv.lnk";
}

// Saves the window with its shadow (the screen around it) into the test's build folder.
void screenshot(HWND window, const wchar_t* name) {
    RECT r = windowRect(window);
    RECT around{r.left - 20, r.top - 14, r.right + 16, r.bottom + 21};
    Image image;
    if (captureScreen(around, &image))
        writePng(e2e::windowsPath(TARVO_TEST_SHOT_DIR) + L"\\" + name, image);
}

// The install script's operations in order: kind 1 extracts a file, kind 0 creates a folder.
struct Operation {
    int kind;
    std::wstring path;
};
std::vector<Operation> manifest() {
    std::vector<Operation> ops;
    std::istringstream in(readFile(e2e::windowsPath(TARVO_TEST_LG_LUA)).value_or(""));
    const std::regex entry(R"(^\s*\{([01]), \[\[(.*)\]\]\},?\s*$)");
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_match(line, m, entry))
            ops.push_back(Operation{m[1] == "1" ? 1 : 0, widen(m[2])});
    }
    return ops;
}

// The product as never installed: no settings, registration, files, shortcut or restart marker.
void forgetProduct(const std::wstring& folder = installFolder()) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kProductKey);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kPolicyKey);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"rozoz");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kOldServerKey);
    RegDeleteTreeW(HKEY_CURRENT_USER, kComponentsKey);
    regDeleteValue(HKEY_CURRENT_USER, kRunKey, L"TarvoVirtualCamera");
    deleteTree(folder);
    DeleteFileW(desktopShortcut().c_str());
    DeleteFileW((tempFolder() + kRestartMarker).c_str());
}

bool hasValue(HKEY root, const std::wstring& key, const wchar_t* name) {
    return e2e::regValue(root, key, name).has_value();
}

void expectString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& text) {
    std::optional<e2e::RegValue> value = e2e::regValue(root, key, name);
    ASSERT_TRUE(value) << narrow(key) << " \"" << (name ? narrow(name) : "") << "\" is missing";
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ)) << narrow(key) << " " << (name ? narrow(name) : "");
    EXPECT_EQ(value->text, text) << narrow(key) << " " << (name ? narrow(name) : "");
}

void expectNumber(HKEY root, const std::wstring& key, const wchar_t* name, DWORD number) {
    std::optional<e2e::RegValue> value = e2e::regValue(root, key, name);
    ASSERT_TRUE(value) << narrow(key) << " \"" << narrow(name) << "\" is missing";
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD)) << narrow(key) << " " << narrow(name);
    EXPECT_EQ(value->number, number) << narrow(key) << " " << narrow(name);
}

// Every value the finish writes for the product installed at `path`, with its type, and the shortcut.
void expectRegistered(const std::wstring& path) {
    const std::wstring program = path + kProgram;
    expectString(HKEY_CURRENT_USER, kProductKey, L"InstallPath", path);
    expectString(HKEY_CURRENT_USER, kProductKey, L"Run", program);
    expectString(HKEY_CURRENT_USER, kProductKey, L"Version", L"9.0.4.6");
    expectNumber(HKEY_CURRENT_USER, kProductKey, L"New", 1);

    expectString(HKEY_LOCAL_MACHINE, kPolicyKey, L"AppName", kProgram);
    expectString(HKEY_LOCAL_MACHINE, kPolicyKey, L"AppPath", path);
    expectNumber(HKEY_LOCAL_MACHINE, kPolicyKey, L"Policy", 524291);

    expectString(HKEY_CLASSES_ROOT, L"rozoz", nullptr, L"URL:Tarvo直播专用链");
    expectString(HKEY_CLASSES_ROOT, L"rozoz", L"URL Protocol", program);
    expectString(HKEY_CLASSES_ROOT, L"rozoz\\shell\\open\\command", nullptr, L"\"" + program + L"\" %1");

    // The start-with-Windows box is checked on completion.
    expectString(HKEY_CURRENT_USER, kRunKey, L"TarvoVirtualCamera", program);

    expectString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayIcon", program);
    expectString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName", L"Vozizavuv");
    expectString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion", L"9.0.4.6");
    expectString(HKEY_LOCAL_MACHINE, kUninstallKey, L"Publisher", L"北京Tarvo科技有限公司");
    expectString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString", path + L"unins000.exe");
    expectString(HKEY_LOCAL_MACHINE, kUninstallKey, L"URLInfoAbout", L"https://www.example.com/vozizavuv/");

    // regsvr32 ran the payload's components: the install script's and the finish's.
    expectString(HKEY_CURRENT_USER, kComponentsKey, L"rirezirudaru.dll", path + L"rirezirudaru.dll");
    expectNumber(HKEY_CURRENT_USER, kComponentsKey, L"rirezirudaru.dll.registered", 1);
    expectString(HKEY_CURRENT_USER, kComponentsKey, L"TarvoVCam.ax", path + L"TarvoVCam.ax");
    expectNumber(HKEY_CURRENT_USER, kComponentsKey, L"TarvoVCam.ax.registered", 1);

    EXPECT_EQ(e2e::shortcutTarget(desktopShortcut()), program);
}

void expectNothingRegistered() {
    EXPECT_FALSE(hasValue(HKEY_CURRENT_USER, kProductKey, L"InstallPath"));
    EXPECT_FALSE(hasValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"));
    EXPECT_FALSE(hasValue(HKEY_CLASSES_ROOT, L"rozoz", nullptr));
    EXPECT_FALSE(hasValue(HKEY_CURRENT_USER, kRunKey, L"TarvoVirtualCamera"));
    EXPECT_FALSE(fileExists(desktopShortcut()));
}

// The installed files equal the payload's byte for byte, and nothing else was extracted.
// The files under path are those of the payload folder `from` (its top README left out), byte for byte.
void expectInstalledFiles(const std::wstring& path, const std::wstring& from = payloadFolder()) {
    const std::vector<std::wstring> payload = e2e::filesUnder(from);
    ASSERT_FALSE(payload.empty());
    std::vector<std::wstring> expected;
    for (const std::wstring& file : payload)
        if (_wcsicmp(file.c_str(), L"README.txt") != 0)  // the packer leaves the top README out
            expected.push_back(file);
    EXPECT_EQ(e2e::filesUnder(path), expected);
    for (const std::wstring& file : expected)
        EXPECT_TRUE(readFile(path + file) == readFile(from + L"\\" + file)) << narrow(file);
}

// The sample product started from a copy of its program in `folder` (ending in a backslash), as
// a user would have it running; ended with the test.
class RunningProduct {
  public:
    explicit RunningProduct(const std::wstring& folder) : path_(folder + kProgram) {
        if (makeFolders(folder) &&
            CopyFileW((payloadFolder() + L"\\" + kProgram).c_str(), path_.c_str(), FALSE))
            process_ = e2e::startQuiet(path_);
    }
    ~RunningProduct() {
        if (process_ && processAlive(process_.pid))
            waitExit(process_, 0);
    }
    RunningProduct(const RunningProduct&) = delete;
    RunningProduct& operator=(const RunningProduct&) = delete;

    // Until its window exists: it runs and stands in the running-program list.
    bool waitUp() {
        return process_ && pumpUntil([&] { return !topLevelWindows(process_.pid).empty(); }, e2e::kDeadline);
    }
    bool running() const { return processAlive(process_.pid); }
    const std::wstring& path() const { return path_; }

  private:
    std::wstring path_;
    Process process_;
};

// Ends a test's left-over installer and cleans the prefix whatever the test did.
class InstallerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        e2e::leaveUnmanaged({L"setup.exe", L"setup_notify.exe", L"starter.exe", L"own.exe"});
    }
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com_.get()));
        forgetProduct();
    }
    void TearDown() override {
        forgetProduct();
        for (const wchar_t* folder :
             {L"C:\\E2E Target", L"C:\\E2E Elsewhere", L"C:\\BrowseTarget", L"D:\\Apps"})
            deleteTree(folder);
        for (const wchar_t* file : {L"C:\\E2E File", L"old_server.dll", L"setup_notify.exe", L"tarvo_e2e_go"})
            DeleteFileW(file[1] == L':' ? file : (tempFolder() + file).c_str());
    }

    // Starts the installer and waits for its agreement page.
    void open(Installer& setup) {
        ASSERT_TRUE(setup.started()) << narrow(setupExe());
        ASSERT_TRUE(setup.waitWindow()) << "no installer window";
        ASSERT_TRUE(setup.waitShown(kAgreementPage, true));
    }
    // Ticks the agreement and waits until the install button takes it.
    void agree(const Installer& setup) {
        ASSERT_TRUE(setup.click(kAgreeBox));
        ASSERT_TRUE(setup.waitControl(kAgreeBox, [](const View& v) { return v.checked(); }));
        ASSERT_TRUE(setup.waitControl(kInstallButton, [](const View& v) { return v.enabled(); }));
    }
    // From the progress page to the finish page, then the finish button (or the close button, which
    // finishes too once the install is complete): the installer ends with 0.
    void finish(Installer& setup, int button = kFinishButton) {
        ASSERT_TRUE(setup.waitShown(kFinishPage, true, e2e::kInstallDeadline))
            << "no finish page; message boxes: " << boxes(setup);
        EXPECT_TRUE(setup.waitShown(kCloseButton, true));
        ASSERT_TRUE(setup.click(button));
        EXPECT_EQ(setup.waitExit(), 0);
    }
    // Starts the installer and the install on its agreement page.
    void install(Installer& setup) {
        ASSERT_NO_FATAL_FAILURE(open(setup));
        ASSERT_NO_FATAL_FAILURE(agree(setup));
        ASSERT_TRUE(setup.click(kInstallButton));
    }
    // Presses the button and waits for a message box with this title.
    void pressUntilBox(const Installer& setup, int button, const std::wstring& title, HWND* box) {
        ASSERT_TRUE(setup.click(button));
        *box = setup.waitMessageBox(title, e2e::kInstallDeadline);
        ASSERT_NE(*box, nullptr) << "no \"" << narrow(title) << "\" box; message boxes: " << boxes(setup);
    }
    // Starts the install on the agreement page and waits for a message box with this title.
    void installUntilBox(Installer& setup, const std::wstring& title, HWND* box) {
        ASSERT_NO_FATAL_FAILURE(open(setup));
        ASSERT_NO_FATAL_FAILURE(agree(setup));
        ASSERT_NO_FATAL_FAILURE(pressUntilBox(setup, kInstallButton, title, box));
    }
    // Once the product runs, starts the install on the agreement page until the question that names
    // the running programs.
    void installUntilRunningQuestion(Installer& setup, RunningProduct& product, HWND* box) {
        ASSERT_TRUE(product.waitUp()) << "the product did not come up";
        ASSERT_NO_FATAL_FAILURE(installUntilBox(setup, L"提示", box));
        // One name per line: the install script sends CR LF, which the notification's long bracket
        // reads back as a line feed.
        EXPECT_EQ(dialogText(*box), L"立即结束以下程序来继续安装过程吗?\r\n" + product.path() + L"\n");
    }
    // A payload file held open by another program: its path relative to the install folder.
    struct HeldFile {
        std::wstring path;
        win::unique_file handle;
    };
    // Holds a payload file from the middle of the install script's order open, starts the install on
    // the agreement page and waits for the question about the file.
    void installUntilHeldQuestion(Installer& setup, HeldFile* held, HWND* box);
    static std::string boxes(const Installer& setup) {
        std::string out;
        for (const std::wstring& box : setup.messageBoxes()) out += "[" + narrow(box) + "] ";
        return out;
    }
    // Focuses the path box and replaces its text by typing.
    void typePath(const Installer& setup, const std::wstring& text) {
        ASSERT_TRUE(setup.click(kPathBox));
        e2e::pressWithControl('A');
        pressKey(VK_BACK);
        ASSERT_TRUE(setup.waitValue(kPathBox, L""));
        e2e::typeText(text);
    }
    // Replaces the path box's text with the clipboard's, as a user pasting a copied path.
    void pastePath(const Installer& setup, const std::wstring& text) {
        ASSERT_TRUE(setClipboardText(text));
        ASSERT_TRUE(setup.click(kPathBox));
        e2e::pressWithControl('A');
        e2e::pressWithControl('V');
    }
    // Types (or pastes) the path, then presses the path page's start button and waits for a message
    // box with this title.
    void startWithPath(const Installer& setup, const std::wstring& text, const std::wstring& title, HWND* box,
                       bool paste = false) {
        if (paste)
            pastePath(setup, text);
        else
            typePath(setup, text);
        ASSERT_TRUE(setup.waitValue(kPathBox, text));
        ASSERT_NO_FATAL_FAILURE(pressUntilBox(setup, kStartButton, title, box)) << narrow(text);
    }
    // The start button on the path page refuses the typed (or pasted) path with this message.
    void expectRefused(const Installer& setup, const std::wstring& text, const std::wstring& message,
                       bool paste = false) {
        HWND box = nullptr;
        ASSERT_NO_FATAL_FAILURE(startWithPath(setup, text, L"错误", &box, paste));
        EXPECT_EQ(dialogText(box), message) << (paste ? "pasted " : "typed ") << narrow(text);
        EXPECT_TRUE(e2e::answer(box, IDOK));
        EXPECT_TRUE(setup.waitShown(kPathPage, true));
        EXPECT_FALSE(setup.control(kProgressPage).value().shown());
    }
    // Opens the path page with the agreement ticked.
    void openPathPage(Installer& setup) {
        ASSERT_NO_FATAL_FAILURE(open(setup));
        ASSERT_NO_FATAL_FAILURE(agree(setup));
        ASSERT_TRUE(setup.click(kCustomLink));
        ASSERT_TRUE(setup.waitShown(kPathPage, true));
    }
    // Closes the installer before the install: the question, Yes, exit code 0.
    void quit(Installer& setup) {
        ASSERT_TRUE(setup.click(kCloseButton));
        HWND box = setup.waitMessageBox(L"退出安装程序");
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(e2e::answer(box, IDYES));
        EXPECT_EQ(setup.waitExit(), 0);
    }

    decltype(win::co_initialize()) com_ = win::co_initialize();
};

}  // namespace

TEST_F(InstallerTest, DefaultInstallRegistersEverythingAndExitsWithZero) {
    // An old server under the product's class id is unregistered by the finish.
    const std::wstring oldServer = tempFolder() + L"old_server.dll";
    ASSERT_TRUE(CopyFileW((payloadFolder() + L"\\rirezirudaru.dll").c_str(), oldServer.c_str(), FALSE));
    ASSERT_TRUE(
        regWriteString(HKEY_CLASSES_ROOT, std::wstring(kOldServerKey) + L"\\InprocServer32", L"", oldServer));

    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(open(setup));
    e2e::ShowHideLog events(setup.pid());

    // One shadowed 600 x 400 window, 50 px above the screen's centre.
    RECT r = windowRect(setup.window());
    EXPECT_EQ(r.right - r.left, 600);
    EXPECT_EQ(r.bottom - r.top, 400);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 600) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 400 - 100) / 2);
    bool shadowShown = false;
    for (HWND w : topLevelWindows(setup.pid()))
        if (w != setup.window() && IsWindowVisible(w) && (windowExStyle(w) & WS_EX_LAYERED))
            shadowShown = true;
    EXPECT_TRUE(shadowShown) << "the shadow companion is visible";
    EXPECT_TRUE(setup.waitIdle());
    screenshot(setup.window(), L"installer-agreement.png");
    EXPECT_TRUE(setup.control(kCustomLink).value().shown())
        << "no earlier install: the custom path is offered";

    // The install button refuses clicks until the agreement is ticked. The click on it comes before
    // the tick, so once the tick shows it has been handled too.
    std::optional<View> install = setup.control(kInstallButton);
    ASSERT_TRUE(install);
    EXPECT_FALSE(install->enabled());
    EXPECT_FALSE(setup.control(kAgreeBox).value().checked());
    click(install->centre());
    ASSERT_NO_FATAL_FAILURE(agree(setup));
    EXPECT_TRUE(setup.control(kAgreementPage).value().shown());
    // acctool finds the installer's window with no title given, as a newcomer would call it.
    EXPECT_EQ(e2e::runAcctool(L"wait", L"--id 1003 --state !unavailable", e2e::kDeadline, false), 0);
    EXPECT_FALSE(setup.control(kProgressPage).value().shown());
    // Unticking disables it again.
    ASSERT_TRUE(setup.click(kAgreeBox));
    EXPECT_TRUE(setup.waitControl(kInstallButton, [](const View& v) { return !v.enabled(); }));
    ASSERT_NO_FATAL_FAILURE(agree(setup));

    ASSERT_TRUE(setup.click(kInstallButton));
    ASSERT_TRUE(setup.waitShown(kFinishPage, true, e2e::kInstallDeadline))
        << "no finish page; message boxes: " << boxes(setup);
    EXPECT_FALSE(hasValue(HKEY_CURRENT_USER, kProductKey, L"InstallPath")) << "registered before the finish";

    // The pages followed one another, the close button hidden while the progress page showed.
    const std::vector<std::string> seen = events.resolve(setup.window());
    EXPECT_TRUE(
        e2e::inOrder(seen, {"show 3000", "hide 1000", "hide 5000", "show 4000", "hide 3000", "show 5000"}))
        << ::testing::PrintToString(seen);
    ASSERT_NO_FATAL_FAILURE(finish(setup));

    expectRegistered(installFolder());
    expectNumber(HKEY_CURRENT_USER, kComponentsKey, L"old_server.dll.unregistered", 1);
    expectInstalledFiles(installFolder());
    DeleteFileW(oldServer.c_str());
}

TEST_F(InstallerTest, ClosingBeforeTheInstallAsksAndYesEndsWithNothingRegistered) {
    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(open(setup));
    const std::wstring question =
        L"安装程序未完成安装。如果您现在退出，您的程序将不能安装。\n\n"
        L"您可以以后再运行安装程序完成安装。\n\n退出安装程序吗？";

    // A second installer refuses to run beside it.
    Installer second(setupExe());
    ASSERT_TRUE(second.started());
    HWND box = second.waitMessageBox(L"提示", e2e::kStartDeadline);
    ASSERT_NE(box, nullptr) << "no refusal of a second installer";
    EXPECT_EQ(dialogText(box), L"检测到Tarvo安装或卸载程序正在运行，请结束后重试。");
    EXPECT_TRUE(e2e::answer(box, IDOK));
    EXPECT_EQ(second.waitExit(), 0);

    ASSERT_TRUE(setup.click(kCloseButton));
    box = setup.waitMessageBox(L"退出安装程序");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(dialogText(box), question);
    EXPECT_TRUE(e2e::answer(box, IDNO));  // No: the installer stays, and asks again
    ASSERT_TRUE(setup.click(kCloseButton));
    box = setup.waitMessageBox(L"退出安装程序");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(dialogText(box), question);
    EXPECT_TRUE(e2e::answer(box, IDYES));

    EXPECT_EQ(setup.waitExit(), 0);
    expectNothingRegistered();
    EXPECT_FALSE(fileExists(installFolder()));
}

TEST_F(InstallerTest, ThePathPageRefusesBadPathsBlocksKeysAndGoesBack) {
    ASSERT_EQ(GetDriveTypeW(L"Q:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR)) << "the test needs Q: unmapped";
    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(openPathPage(setup));
    EXPECT_FALSE(setup.control(kAgreementPage).value().shown());
    EXPECT_EQ(setup.control(kPathBox).value().facts.value, installFolder());
    // A screen reader names the box (its value is the path, so the name comes from its tooltip).
    EXPECT_EQ(setup.control(kPathBox).value().facts.name, L"安装位置");

    // Each refusal under "错误"; the page stays.
    expectRefused(setup, L"", L"安装路径不能为空");
    expectRefused(setup, L"abc", kFullPathMessage);
    expectRefused(setup, L"Q:\\Apps", L"输入的盘符无效");
    expectRefused(setup, L"C:\\", L"不能安装到盘符根路径");
    expectRefused(setup, L"C:", L"不能安装到盘符根路径");

    // Typed with real keys: a second colon is refused, and so are ? " ' < > | always.
    typePath(setup, L"C::\\a|b?c\"d'e<f>g:");
    EXPECT_TRUE(setup.waitValue(kPathBox, L"C:\\abcdefg"));
    EXPECT_EQ(setup.control(kPathBox).value().facts.value, L"C:\\abcdefg");

    ASSERT_TRUE(setup.click(kBackButton));
    EXPECT_TRUE(setup.waitShown(kAgreementPage, true));
    EXPECT_FALSE(setup.control(kPathPage).value().shown());
    EXPECT_FALSE(setup.control(kProgressPage).value().shown());
    ASSERT_NO_FATAL_FAILURE(quit(setup));
    expectNothingRegistered();
}

// Spellings whose pieces pass the four checks but that would not install into the folder they show:
// names that climb, also "..." which the system's full form reads as the root.
TEST_F(InstallerTest, TypedPathsThatClimbOutAreRefused) {
    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(openPathPage(setup));
    for (const wchar_t* typed :
         {L"C:\\..", L"C:\\Program Files\\..\\Windows", L"c:/E2E Target/./x", L"C:\\..."})
        ASSERT_NO_FATAL_FAILURE(expectRefused(setup, typed, kFullPathMessage));
    ASSERT_NO_FATAL_FAILURE(quit(setup));
    expectNothingRegistered();
    EXPECT_FALSE(fileExists(L"C:\\E2E Target"));
}

// A paste is not filtered as typed keys are: what the keys refuse is refused at the start.
TEST_F(InstallerTest, PastedCharactersThatKeysRefuseAreRefused) {
    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(openPathPage(setup));
    for (const wchar_t* pasted : {L"C:\\Pa|th?\\\"<x>", L"C:\\E2E*", L"C::\\E2E Target", L"C:\\E2E Target:"})
        ASSERT_NO_FATAL_FAILURE(expectRefused(setup, pasted, kFullPathMessage, true));
    ASSERT_NO_FATAL_FAILURE(quit(setup));
    expectNothingRegistered();
    EXPECT_FALSE(fileExists(L"C:\\E2E Target"));
    EXPECT_FALSE(fileExists(installFolder()));
}

// The licence cannot be skipped through the path page: its install button follows the agreement box.
TEST_F(InstallerTest, ThePathPagesInstallButtonWaitsForTheAgreement) {
    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(open(setup));
    ASSERT_TRUE(setup.click(kCustomLink));
    ASSERT_TRUE(setup.waitShown(kPathPage, true));
    EXPECT_FALSE(setup.control(kStartButton).value().enabled());
    // Input is handled in order: once Back, clicked after it, has brought the agreement page back, the
    // click on the install button has been handled, and it started nothing.
    ASSERT_TRUE(setup.click(kStartButton));
    ASSERT_TRUE(setup.click(kBackButton));
    EXPECT_TRUE(setup.waitShown(kAgreementPage, true)) << boxes(setup);
    EXPECT_FALSE(setup.control(kProgressPage).value().shown());
    EXPECT_TRUE(setup.messageBoxes().empty()) << boxes(setup);

    ASSERT_NO_FATAL_FAILURE(agree(setup));
    ASSERT_TRUE(setup.click(kCustomLink));
    ASSERT_TRUE(setup.waitShown(kPathPage, true));
    EXPECT_TRUE(setup.waitControl(kStartButton, [](const View& v) { return v.enabled(); }));
    ASSERT_TRUE(setup.click(kBackButton));
    ASSERT_TRUE(setup.waitShown(kAgreementPage, true));
    ASSERT_TRUE(setup.click(kAgreeBox));
    EXPECT_TRUE(setup.waitControl(kStartButton, [](const View& v) { return !v.enabled(); }));
    ASSERT_NO_FATAL_FAILURE(quit(setup));
    expectNothingRegistered();
    EXPECT_FALSE(fileExists(installFolder()));
}

TEST_F(InstallerTest, ANonEmptyFolderIsQuestionedAndTheTypedPathIsInstalledAndRegistered) {
    const std::wstring folder = L"C:\\E2E Target\\";
    ASSERT_TRUE(writeFile(folder + L"keep.txt", "the user's own file"));
    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(openPathPage(setup));
    const std::wstring question =
        L"文件夹:\r\n\r\nc:\\E2E Target\\\r\n\r\n不为空。您一定要安装到该文件夹中么?";
    HWND box = nullptr;
    ASSERT_NO_FATAL_FAILURE(startWithPath(setup, L"c:/E2E Target", L"提示", &box));
    EXPECT_EQ(dialogText(box), question);
    EXPECT_TRUE(e2e::answer(box, IDCANCEL));  // Cancel: the page stays, nothing starts
    EXPECT_TRUE(setup.waitShown(kPathPage, true));
    EXPECT_FALSE(setup.control(kProgressPage).value().shown());

    ASSERT_NO_FATAL_FAILURE(pressUntilBox(setup, kStartButton, L"提示", &box));
    EXPECT_EQ(dialogText(box), question);
    EXPECT_TRUE(e2e::answer(box, IDOK));
    ASSERT_NO_FATAL_FAILURE(finish(setup));

    const std::wstring installed = L"c:\\E2E Target\\";
    expectRegistered(installed);
    EXPECT_EQ(readFile(folder + L"keep.txt"), "the user's own file");
    DeleteFileW((folder + L"keep.txt").c_str());
    expectInstalledFiles(installed);
    EXPECT_FALSE(fileExists(installFolder()));
    deleteTree(folder);
}

// A folder refused at the question is not where the agreement page's install button installs.
TEST_F(InstallerTest, AFolderRefusedAtTheQuestionIsNotUsedLater) {
    const std::wstring folder = L"C:\\E2E Target\\";
    ASSERT_TRUE(writeFile(folder + L"keep.txt", "the user's own file"));
    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(openPathPage(setup));
    HWND box = nullptr;
    ASSERT_NO_FATAL_FAILURE(startWithPath(setup, L"C:\\E2E Target", L"提示", &box));
    EXPECT_TRUE(e2e::answer(box, IDCANCEL));

    ASSERT_TRUE(setup.click(kBackButton));
    ASSERT_TRUE(setup.waitShown(kAgreementPage, true));
    ASSERT_TRUE(setup.click(kInstallButton));
    ASSERT_NO_FATAL_FAILURE(finish(setup));
    expectRegistered(installFolder());
    EXPECT_EQ(e2e::filesUnder(folder), std::vector<std::wstring>{L"keep.txt"});
}

TEST_F(InstallerTest, BrowsingForARootOrAFolderFillsThePathBox) {
    ASSERT_TRUE(makeFolders(L"C:\\BrowseTarget"));
    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(open(setup));
    ASSERT_TRUE(setup.click(kCustomLink));
    ASSERT_TRUE(setup.waitShown(kPathPage, true));

    const struct {
        const wchar_t* chosen;
        const wchar_t* shown;
    } cases[] = {{L"C:\\", L"C:\\DuvureVEdadiz\\"},
                 {L"C:\\BrowseTarget", L"C:\\BrowseTarget\\DuvureVEdadiz\\"}};
    for (const auto& c : cases) {
        ASSERT_TRUE(setup.click(kBrowseButton));
        HWND browser = nullptr;
        ASSERT_TRUE(pumpUntil(
            [&] {
                for (HWND dialog : topLevelWindows(setup.pid(), L"#32770"))
                    if (IsWindowVisible(dialog))
                        browser = dialog;
                return browser != nullptr;
            },
            e2e::kDeadline))
            << "no folder browser";
        const std::vector<std::wstring> texts = e2e::staticTexts(browser);
        EXPECT_NE(std::find(texts.begin(), texts.end(), L"在列表中选择一个文件夹，然后单击“确定”。"),
                  texts.end());
        ASSERT_TRUE(e2e::selectInBrowser(setup, browser, c.chosen));
        ASSERT_TRUE(e2e::answer(browser, IDOK));
        EXPECT_TRUE(setup.waitValue(kPathBox, c.shown))
            << "chose " << narrow(c.chosen) << ", the box shows "
            << narrow(setup.control(kPathBox).value().facts.value);
    }
    ASSERT_NO_FATAL_FAILURE(quit(setup));
    deleteTree(L"C:\\BrowseTarget");
}

TEST_F(InstallerTest, AStoredPathOnAMappedDriveIsUsedAndHidesTheCustomPath) {
    ASSERT_EQ(GetDriveTypeW(L"D:\\"), static_cast<UINT>(DRIVE_FIXED))
        << "drive D: is not mapped (the installer_windows_drive_d test maps it before this one)";
    deleteTree(L"D:\\Apps");
    ASSERT_TRUE(regWriteString(HKEY_CURRENT_USER, kProductKey, L"InstallPath", L"D:/Apps/X"));
    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(open(setup));
    EXPECT_FALSE(setup.control(kCustomLink).value().shown());
    ASSERT_NO_FATAL_FAILURE(agree(setup));
    ASSERT_TRUE(setup.click(kInstallButton));
    ASSERT_NO_FATAL_FAILURE(finish(setup, kCloseButton));
    expectRegistered(L"D:\\Apps\\X\\");
    expectInstalledFiles(L"D:\\Apps\\X\\");
    EXPECT_FALSE(fileExists(installFolder()));
    deleteTree(L"D:\\Apps");
}

// A stored path on a missing drive, one that climbs out, or one with a character no folder name holds.
TEST_F(InstallerTest, AStoredPathThatCannotBeUsedFallsBackToTheDefault) {
    ASSERT_EQ(GetDriveTypeW(L"Q:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR)) << "the test needs Q: unmapped";
    for (const wchar_t* stored : {L"Q:/Apps/X", L"C:\\Program Files\\..\\Windows", L"C:\\E2E\tTab"}) {
        SCOPED_TRACE(narrow(stored));
        ASSERT_TRUE(regWriteString(HKEY_CURRENT_USER, kProductKey, L"InstallPath", stored));
        Installer setup(setupExe());
        ASSERT_NO_FATAL_FAILURE(open(setup));
        EXPECT_TRUE(setup.control(kCustomLink).value().shown());
        EXPECT_EQ(setup.control(kPathBox).value().facts.value, installFolder());
        ASSERT_NO_FATAL_FAILURE(quit(setup));
    }
}

namespace {

// A payload file in the middle of the install script's order.
std::wstring middleFile(const std::vector<Operation>& ops) {
    std::vector<std::wstring> files;
    for (const Operation& op : ops)
        if (op.kind == 1)
            files.push_back(op.path);
    return files.empty() ? std::wstring() : files[files.size() / 2];
}

std::wstring heldQuestion(const std::wstring& path) {
    return L"文件可能被其他程序占用。\r\n" + path + L"\r\n请关闭占用的程序再重试";
}

void InstallerTest::installUntilHeldQuestion(Installer& setup, HeldFile* held, HWND* box) {
    held->path = middleFile(manifest());
    ASSERT_FALSE(held->path.empty());
    held->handle = writeAndHoldFile(installFolder() + held->path, "held by another program");
    ASSERT_TRUE(held->handle);
    ASSERT_NO_FATAL_FAILURE(installUntilBox(setup, L"异常", box));
    EXPECT_EQ(dialogText(*box), heldQuestion(installFolder() + held->path));
}

}  // namespace

TEST_F(InstallerTest, AHeldFileIsQuestionedAndRetryAfterItsReleaseCompletes) {
    Installer setup(setupExe());
    HeldFile held;
    HWND box = nullptr;
    ASSERT_NO_FATAL_FAILURE(installUntilHeldQuestion(setup, &held, &box));
    // Meanwhile the progress page shows and the close button cannot be reached.
    EXPECT_TRUE(setup.control(kProgressPage).value().shown());
    EXPECT_FALSE(setup.control(kCloseButton).value().shown());

    // Retry while it is still held asks again; after the release it goes through.
    ASSERT_TRUE(e2e::answer(box, IDRETRY));
    box = setup.waitMessageBox(L"异常");
    ASSERT_NE(box, nullptr) << "a retry of a held file asks again";
    EXPECT_EQ(dialogText(box), heldQuestion(installFolder() + held.path));
    held.handle.reset();
    ASSERT_TRUE(e2e::answer(box, IDRETRY));
    ASSERT_NO_FATAL_FAILURE(finish(setup));
    expectRegistered(installFolder());
    expectInstalledFiles(installFolder());
}

TEST_F(InstallerTest, AHeldFileCancelledStopsTheInstallAndKeepsWhatIsWritten) {
    Installer setup(setupExe());
    HeldFile held;
    HWND box = nullptr;
    ASSERT_NO_FATAL_FAILURE(installUntilHeldQuestion(setup, &held, &box));
    ASSERT_TRUE(e2e::answer(box, IDCANCEL));
    // The dialog ends, the worker stops, and the installer exits (it waits for the worker).
    EXPECT_EQ(setup.waitExit(), 0);
    held.handle.reset();

    // Files before the held one are complete, the held one is untouched, later ones never came.
    bool before = true;
    for (const Operation& op : manifest()) {
        if (op.kind != 1)
            continue;
        const std::wstring target = installFolder() + op.path;
        if (op.path == held.path) {
            EXPECT_EQ(readFile(target), "held by another program");
            before = false;
        } else if (before) {
            EXPECT_TRUE(readFile(target) == readFile(payloadFolder() + L"\\" + op.path)) << narrow(op.path);
        } else {
            EXPECT_FALSE(fileExists(target)) << narrow(op.path) << " was written after the cancel";
        }
    }
    expectNothingRegistered();
    EXPECT_FALSE(hasValue(HKEY_CURRENT_USER, kComponentsKey, L"TarvoVCam.ax.registered"))
        << "the install script went on after the cancel";
}

TEST_F(InstallerTest, TheProductRunningFromTheInstallPathIsQuestionedAndCancelEnds) {
    RunningProduct product(installFolder());
    ASSERT_TRUE(product.waitUp()) << "the product did not come up";

    Installer setup(setupExe());
    HWND box = nullptr;
    ASSERT_NO_FATAL_FAILURE(installUntilBox(setup, L"提示", &box));
    EXPECT_EQ(dialogText(box), L"veze正在运行中，是否停止veze？");
    ASSERT_TRUE(e2e::answer(box, IDCANCEL));
    EXPECT_EQ(setup.waitExit(), 0);

    EXPECT_TRUE(product.running()) << "Cancel keeps the product running";
    EXPECT_EQ(e2e::filesUnder(installFolder()), std::vector<std::wstring>{kProgram})
        << "nothing was installed";
    expectNothingRegistered();
}

namespace {

constexpr wchar_t kGoFlag[] = L"tarvo_e2e_go";

// A copy of the installer whose install script is this text; the UI script, layouts, skin, payload and
// engine are the installer's own. Empty on failure.
std::wstring setupWithInstallScript(const std::string& script) {
    const std::wstring path = tempFolder() + L"setup_notify.exe";
    if (!CopyFileW(setupExe().c_str(), path.c_str(), FALSE))
        return std::wstring();
    HANDLE update = BeginUpdateResourceW(path.c_str(), FALSE);
    if (!update)
        return std::wstring();
    const BOOL replaced = UpdateResourceW(
        update, L"_TARVORESC", MAKEINTRESOURCEW(114), MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED),
        const_cast<char*>(script.data()), static_cast<DWORD>(script.size()));
    return EndUpdateResourceW(update, !replaced) && replaced ? path : std::wstring();
}

}  // namespace

// No payload of the product reports position 37 of 120, and the install script never asks for a restart:
// a worker that sends exactly those notifications drives the real UI script.
TEST_F(InstallerTest, TheWorkersProgressAndRestartNotificationsReachTheUser) {
    const std::wstring exe = setupWithInstallScript(
        "notifyMessage('{code=1}')\n"
        "notifyMessage('{code=3,range=120}')\n"
        "notifyMessage('{code=4,position=37,text=[[解压文件.version]]}')\n"
        "local go = getTempFolder() .. 'tarvo_e2e_go'\n"
        "while not fileExists(go) do sleep(20) end\n"
        "removeFile(go)\n"
        "notifyMessage('{code=7}')\n"
        "notifyMessage('{code=2}')\n");
    ASSERT_FALSE(exe.empty());
    const std::wstring marker = tempFolder() + kRestartMarker;
    DeleteFileW((tempFolder() + kGoFlag).c_str());

    Installer setup(exe);
    ASSERT_NO_FATAL_FAILURE(open(setup));
    const std::optional<View> close = setup.control(kCloseButton);
    ASSERT_TRUE(close && close->shown());
    ASSERT_NO_FATAL_FAILURE(agree(setup));
    ASSERT_TRUE(setup.click(kInstallButton));
    View text;
    EXPECT_TRUE(setup.waitControl(
        kProgressText, [](const View& v) { return v.facts.name == L"正在安装30%..."; }, e2e::kDeadline,
        &text))
        << narrow(text.facts.name);
    screenshot(setup.window(), L"installer-progress.png");

    // The close button is hidden: neither a screen reader's press nor a click where it was reaches it.
    EXPECT_FALSE(setup.control(kCloseButton).value().shown());
    EXPECT_EQ(e2e::runAcctool(L"do", L"--id 5000"), 4) << "acctool's press is refused";
    click(close->centre());
    // Input is handled in order: once a move onto the progress page has made it hot (after the click
    // took the mouse off it), the click has been handled too, and a question it raised would have
    // disabled the window for that move.
    EXPECT_TRUE(setup.waitControl(kProgressPage, [](const View& v) { return !v.hot(); }));
    moveMouse(setup.control(kProgressPage).value().centre());
    EXPECT_TRUE(setup.waitControl(kProgressPage, [](const View& v) { return v.hot(); })) << boxes(setup);
    EXPECT_TRUE(setup.messageBoxes().empty()) << boxes(setup);
    EXPECT_FALSE(fileExists(marker));

    ASSERT_TRUE(writeFile(tempFolder() + kGoFlag, ""));
    ASSERT_TRUE(setup.waitShown(kFinishPage, true)) << boxes(setup);
    EXPECT_TRUE(setup.messageBoxes().empty()) << boxes(setup);
    std::optional<std::string> written = readFile(marker);
    ASSERT_TRUE(written) << "a restart request writes the marker";
    EXPECT_EQ(written->size(), 8u);

    // After the dialog the restart is offered; Cancel ends without it.
    ASSERT_TRUE(setup.click(kFinishButton));
    HWND box = setup.waitMessageBox(L"提示");
    ASSERT_NE(box, nullptr) << "no restart question";
    EXPECT_EQ(dialogText(box), L"veze需要重启电脑才能正常使用，是否立即重启?");
    ASSERT_NE(GetDlgItem(box, IDCANCEL), nullptr);
    ASSERT_TRUE(e2e::answer(box, IDCANCEL));
    EXPECT_EQ(setup.waitExit(), 0);

    // Until the machine restarts, the installer refuses to start again.
    Installer again(setupExe());
    ASSERT_TRUE(again.started());
    box = again.waitMessageBox(L"提示", e2e::kStartDeadline);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(dialogText(box), L"检测到Tarvo安装或卸载操作尚未完成，需要重启电脑。");
    EXPECT_TRUE(e2e::answer(box, IDOK));
    EXPECT_EQ(again.waitExit(), 0);
    DeleteFileW(exe.c_str());
}

TEST_F(InstallerTest, AnInstallFolderThatCannotBeCreatedIsReportedAndEndsTheInstaller) {
    // A file stands where the folder should be: as a folder it does not exist, and it cannot be made.
    ASSERT_TRUE(writeFile(L"C:\\E2E File", "a file, not a folder"));
    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(openPathPage(setup));
    HWND box = nullptr;
    ASSERT_NO_FATAL_FAILURE(startWithPath(setup, L"C:\\E2E File", L"错误", &box));
    EXPECT_EQ(dialogText(box), L"安装过程发生异常\r\n\r\n创建文件夹C:\\E2E File\\失败");
    ASSERT_TRUE(e2e::answer(box, IDOK));
    EXPECT_EQ(setup.waitExit(), 0);
    EXPECT_EQ(readFile(L"C:\\E2E File"), "a file, not a folder");
    expectNothingRegistered();
}

TEST_F(InstallerTest, TheProductRunningElsewhereIsNamedAndOkEndsItAndInstalls) {
    RunningProduct product(L"C:\\E2E Elsewhere\\");
    Installer setup(setupExe());
    HWND box = nullptr;
    ASSERT_NO_FATAL_FAILURE(installUntilRunningQuestion(setup, product, &box));
    ASSERT_TRUE(e2e::answer(box, IDOK));
    EXPECT_TRUE(pumpUntil([&] { return !product.running(); }, e2e::kDeadline)) << "OK ends the product";
    ASSERT_NO_FATAL_FAILURE(finish(setup));
    expectRegistered(installFolder());
    expectInstalledFiles(installFolder());
}

TEST_F(InstallerTest, TheProductRunningElsewhereIsNamedAndCancelStopsBeforeAnyFile) {
    RunningProduct product(L"C:\\E2E Elsewhere\\");
    Installer setup(setupExe());
    HWND box = nullptr;
    ASSERT_NO_FATAL_FAILURE(installUntilRunningQuestion(setup, product, &box));
    ASSERT_TRUE(e2e::answer(box, IDCANCEL));
    EXPECT_EQ(setup.waitExit(), 0);
    EXPECT_TRUE(product.running()) << "Cancel keeps the product running";
    EXPECT_TRUE(e2e::filesUnder(installFolder()).empty()) << "no file is extracted after the refusal";
    expectNothingRegistered();
}

TEST_F(InstallerTest, FinishAndStartRegistersAndStartsTheInstalledProgram) {
    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(install(setup));
    ASSERT_NO_FATAL_FAILURE(finish(setup, kStartProgramButton));
    expectRegistered(installFolder());

    // The program that runs is the installed one.
    std::vector<DWORD> running;
    ASSERT_TRUE(pumpUntil([&] { return !(running = processesByName(kProgram)).empty(); }, e2e::kDeadline))
        << "the installed program did not start";
    struct EndPrograms {
        std::vector<DWORD>& ids;
        ~EndPrograms() {
            for (DWORD id : ids) {
                win::unique_handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
                if (process) {
                    TerminateProcess(process.get(), 0);
                    WaitForSingleObject(process.get(), e2e::kDeadline);
                }
            }
        }
    } endPrograms{running};
    win::unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, running.front()));
    wchar_t image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    ASSERT_TRUE(process && QueryFullProcessImageNameW(process.get(), 0, image, &size));
    EXPECT_EQ(_wcsicmp(image, (installFolder() + kProgram).c_str()), 0) << narrow(image);
    // The system reports version 6.1 here: the program is started through the shell, which the
    // installer notes in its log in the install folder.
    const std::string log = readFile(installFolder() + L"devbug.log").value_or("");
    EXPECT_NE(log.find("][ERROR] 2222"), std::string::npos) << log;
}

// Installers that tarvo built on the build machine: the starter folder of `tarvo new` with one file
// added, and a product folder of the test's own (tests/tarvo/own).
TEST_F(InstallerTest, TheStarterFolderBuiltByTarvoInstallsEndToEnd) {
    Installer setup(e2e::windowsPath(TARVO_TEST_STARTER_EXE));
    ASSERT_NO_FATAL_FAILURE(install(setup));
    ASSERT_NO_FATAL_FAILURE(finish(setup));
    // The added file, and the uninstaller tarvo built from the starter's uninstall folder.
    const std::wstring from = e2e::windowsPath(TARVO_TEST_STARTER_PAYLOAD);
    EXPECT_EQ(e2e::filesUnder(installFolder()), (std::vector<std::wstring>{L"unins000.exe", L"说明.txt"}));
    EXPECT_TRUE(readFile(installFolder() + L"说明.txt") == readFile(from + L"\\说明.txt"));
}

TEST_F(InstallerTest, AProductFolderOfItsOwnShowsItsWindowAndInstallsItsFilesByteForByte) {
    // ASCII: the script reads it with os.getenv, which answers in the ANSI code page.
    const std::wstring target = tempFolder() + L"own product target\\";
    deleteTree(target);
    ASSERT_TRUE(SetEnvironmentVariableW(L"TARVO_OWN_TARGET", target.c_str()));
    Installer own(e2e::windowsPath(TARVO_TEST_OWN_EXE), L"自有产品");
    ASSERT_TRUE(own.waitWindow()) << "no window of the product's own layout";
    RECT r = windowRect(own.window());
    EXPECT_EQ(r.right - r.left, 320);
    EXPECT_EQ(r.bottom - r.top, 200);
    ASSERT_TRUE(own.click(1001));
    EXPECT_EQ(own.waitExit(e2e::kInstallDeadline), 0) << "message boxes: " << boxes(own);

    const std::wstring from = e2e::windowsPath(TARVO_TEST_OWN_PAYLOAD);
    std::vector<std::wstring> expected = e2e::filesUnder(from);
    expected.push_back(L"unins000.exe");  // the uninstaller tarvo built into the payload
    std::sort(expected.begin(), expected.end());
    std::vector<std::wstring> installed = e2e::filesUnder(target);
    std::sort(installed.begin(), installed.end());
    EXPECT_EQ(installed, expected);
    for (const std::wstring& file : e2e::filesUnder(from))
        EXPECT_TRUE(readFile(target + file) == readFile(from + L"\\" + file)) << narrow(file);
    EXPECT_EQ(readFile(target + L"empty.dat").value_or("x"), "");
    EXPECT_EQ(readFile(target + L"unins000.exe").value_or("").substr(0, 2), "MZ");
    deleteTree(target);
    SetEnvironmentVariableW(L"TARVO_OWN_TARGET", nullptr);
}

// ---- The keyboard alone -------------------------------------------------------------------------------

namespace {

using Ids = std::vector<int>;
using e2e::Installer;

// The screen's pixel on the focus ring's left edge beside a control (0xFFRRGGBB).
uint32_t ringPixel(const Installer& setup, int id) {
    const RECT r = setup.control(id).value().facts.rect;
    Image image;
    const RECT spot{r.left - 3, (r.top + r.bottom) / 2, r.left - 2, (r.top + r.bottom) / 2 + 1};
    return captureScreen(spot, &image) ? image.at(0, 0) : 0;
}
constexpr uint32_t kRing = 0xFF0054A6;

}  // namespace

TEST_F(InstallerTest, TheKeyboardAloneInstallsByDefaultWithAFocusRingThatFollowsTheKeys) {
    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(open(setup));
    EXPECT_TRUE(setup.waitIdle());
    EXPECT_NE(ringPixel(setup, kAgreeBox), kRing) << "no ring before a key";

    // The install button waits for the agreement, so Tab starts at the check box.
    EXPECT_EQ(setup.tab(1), Ids{kAgreeBox});
    EXPECT_TRUE(pumpUntil([&] { return ringPixel(setup, kAgreeBox) == kRing; }, e2e::kDeadline));
    Installer::key(VK_SPACE);
    ASSERT_TRUE(setup.waitControl(kAgreeBox, [](const View& v) { return v.checked(); }));
    ASSERT_TRUE(setup.waitControl(kInstallButton, [](const View& v) { return v.enabled(); }));
    // The links, the close button last (its tabIndex), then around to the install button.
    EXPECT_EQ(setup.tab(4), (Ids{1002, kCustomLink, kCloseButton, kInstallButton}));
    EXPECT_EQ(setup.tab(1, true), Ids{kCloseButton});
    EXPECT_EQ(setup.tab(1), Ids{kInstallButton});
    EXPECT_TRUE(pumpUntil([&] { return ringPixel(setup, kInstallButton) == kRing; }, e2e::kDeadline));
    EXPECT_NE(ringPixel(setup, kAgreeBox), kRing) << "the ring left the check box";
    screenshot(setup.window(), L"installer-focus.png");

    Installer::key(VK_RETURN);
    ASSERT_TRUE(setup.waitShown(kFinishPage, true, e2e::kInstallDeadline)) << boxes(setup);
    // The finish page: its buttons and the close button; the hidden start-with-Windows box is skipped.
    EXPECT_EQ(setup.tab(3), (Ids{kFinishButton, kStartProgramButton, kCloseButton}));
    Installer::key(VK_RETURN);  // the close button, which finishes once the install is complete
    EXPECT_EQ(setup.waitExit(), 0);
    expectRegistered(installFolder());
}

TEST_F(InstallerTest, TheKeyboardAloneInstallsIntoATypedPath) {
    const std::wstring target = L"C:\\E2E Target\\";
    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(open(setup));
    // The agreement first: the path page's install button waits for it too.
    EXPECT_EQ(setup.tab(1), Ids{kAgreeBox});
    Installer::key(VK_SPACE);
    ASSERT_TRUE(setup.waitControl(kAgreeBox, [](const View& v) { return v.checked(); }));
    EXPECT_EQ(setup.tab(2), (Ids{1002, kCustomLink}));
    Installer::key(VK_RETURN);
    ASSERT_TRUE(setup.waitShown(kPathPage, true));
    // The path page's order: the box, its install button, then browse, back and close; around again.
    EXPECT_EQ(setup.tab(6),
              (Ids{kPathBox, kStartButton, kBrowseButton, kBackButton, kCloseButton, kPathBox}));
    e2e::pressWithControl('A');
    pressKey(VK_BACK);
    e2e::typeText(target);
    ASSERT_TRUE(setup.waitValue(kPathBox, target));
    EXPECT_EQ(setup.tab(1), Ids{kStartButton}) << "Tab leaves the text box";
    Installer::key(VK_RETURN);
    ASSERT_TRUE(setup.waitShown(kFinishPage, true, e2e::kInstallDeadline)) << boxes(setup);
    Installer::key(VK_RETURN);  // the finish button is the page's default
    EXPECT_EQ(setup.waitExit(), 0);
    expectRegistered(target);
}

TEST_F(InstallerTest, EscapeAndAltF4AskToCloseAndTheQuestionIsAnsweredByKeyboard) {
    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(open(setup));
    EXPECT_TRUE(setup.waitIdle());
    Installer::key(VK_ESCAPE);
    HWND box = setup.waitMessageBox(L"退出安装程序");
    ASSERT_NE(box, nullptr);
    // A screen reader can still read the window behind the question.
    acc::Element root;
    ASSERT_TRUE(acc::clientElement(setup.window(), &root));
    EXPECT_EQ(acc::describe(root).name, e2e::kTitle);
    EXPECT_EQ(setup.control(kCloseButton).value().facts.name, L"关闭");
    Installer::key(VK_TAB);  // Yes to No
    Installer::key(VK_RETURN);
    ASSERT_TRUE(waitWindowGone(box, e2e::kDeadline));
    EXPECT_TRUE(IsWindowVisible(setup.window())) << "No keeps the installer";

    Installer::key(VK_F4, VK_MENU);
    box = setup.waitMessageBox(L"退出安装程序");
    ASSERT_NE(box, nullptr) << "Alt+F4 asks the same";
    Installer::key(VK_RETURN);  // Yes
    EXPECT_EQ(setup.waitExit(), 0);
    expectNothingRegistered();
}

TEST_F(InstallerTest, EveryControlIsNamedForAScreenReaderAndTheActiveOnesAreFocusable) {
    Installer setup(setupExe());
    ASSERT_NO_FATAL_FAILURE(open(setup));
    struct Expected {
        int id;
        const char* role;
        const wchar_t* name;
        bool focusable;
    };
    const Expected expected[] = {
        {3, "titlebar", e2e::kTitle, false},
        {kCloseButton, "pushbutton", L"关闭", true},
        {kInstallButton, "pushbutton", L"立即安装", true},
        {kAgreeBox, "checkbutton", L"我已阅读并同意《用户许可协议》", true},
        {1002, "link", L"《用户许可协议》", true},
        {kCustomLink, "link", L"自定义安装", true},
        {kPathBox, "text", L"安装位置", true},
        {kBrowseButton, "pushbutton", L"浏览...", true},
        {kBackButton, "pushbutton", L"返回", true},
        {kStartButton, "pushbutton", L"开始安装", true},
        {3001, "progressbar", L"正在安装 Vozizavuv", false},
        {kFinishButton, "pushbutton", L"完成", true},
        {kStartProgramButton, "pushbutton", L"立即体验", true},
        {5001, "statictext", L"Ver: 9.0.4.6", false},
    };
    for (const Expected& e : expected) {
        std::optional<View> view = setup.control(e.id);
        ASSERT_TRUE(view) << e.id;
        EXPECT_EQ(narrow(view->facts.roleName), e.role) << e.id;
        EXPECT_EQ(view->facts.name, e.name) << e.id;
        EXPECT_EQ((view->facts.state & STATE_SYSTEM_FOCUSABLE) != 0, e.focusable) << e.id;
    }
    Installer::key(VK_ESCAPE);
    HWND box = setup.waitMessageBox(L"退出安装程序");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(e2e::answer(box, IDYES));
    EXPECT_EQ(setup.waitExit(), 0);
}
