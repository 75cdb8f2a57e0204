// Drives a running setup.exe from the test process the way a user and a screen reader meet it: its
// controls are found by layout id through the window's accessible tree (acctool's client), acted on
// with real mouse and keyboard input, and its message boxes are read and answered from outside. Also
// the prefix state the installer leaves: registry values with their types, files, shortcuts. Test code
// only; one thread, which must have initialised COM.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "acc_client.h"
#include "win_test_support.h"

namespace e2e {

constexpr wchar_t kTitle[] = L"veze安装程序";
// What the sample product's installer registers and runs, as both the installer's and the uninstaller's
// tests check it.
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DuvureVEdadiz";
constexpr wchar_t kComponentsKey[] = L"Software\\TarvoSample\\Components";
constexpr wchar_t kProgram[] = L"TarvoVirtualCameraUI.exe";
// setup.exe of the build, its default install folder, and the temporary folder (with a backslash).
std::wstring setupExe();
std::wstring installFolder();
std::wstring tempFolder();

// Control ids of the installer's window, as the installer's and the uninstaller's tests press them.
namespace installer {
enum : int {
    kAgreementPage = 1000,
    kAgreeBox = 1001,
    kInstallButton = 1003,
    kCustomLink = 1004,
    kPathPage = 2000,
    kPathBox = 2001,
    kBrowseButton = 2002,
    kStartButton = 2004,
    kBackButton = 2005,
    kProgressPage = 3000,
    kProgressText = 3002,
    kFinishPage = 4000,
    kFinishButton = 4002,
    kStartProgramButton = 4003,
    kCloseButton = 5000,
};
}  // namespace installer

constexpr DWORD kStartDeadline = 30000;
constexpr DWORD kDeadline = 10000;
constexpr DWORD kInstallDeadline = 120000;

// A control as the accessible tree shows it.
struct View {
    acc::Facts facts;
    bool shown() const { return !(facts.state & STATE_SYSTEM_INVISIBLE); }
    bool enabled() const { return !(facts.state & STATE_SYSTEM_UNAVAILABLE); }
    bool checked() const { return (facts.state & STATE_SYSTEM_CHECKED) != 0; }
    bool hot() const { return (facts.state & STATE_SYSTEM_HOTTRACKED) != 0; }
    POINT centre() const {
        return POINT{(facts.rect.left + facts.rect.right) / 2, (facts.rect.top + facts.rect.bottom) / 2};
    }
};

// Starts a program as testsupport::startProcess does, but with its standard handles on the NUL device:
// the installer's descendants (regsvr32, the shell, the started product, Wine's helpers) then never
// hold the test's own output, which ctest reads until every holder has closed it.
testsupport::Process startQuiet(const std::wstring& exe, const std::wstring& args = L"");

// One run of an installer executable (or of the uninstaller, whose window has another title); a
// process still running at destruction is terminated.
class Installer {
  public:
    explicit Installer(const std::wstring& exe, const wchar_t* title = kTitle);
    // A process started otherwise (the uninstaller's copy of itself).
    Installer(testsupport::Process process, const wchar_t* title);
    ~Installer();
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    bool started() const { return static_cast<bool>(process_); }
    DWORD pid() const { return process_.pid; }
    HANDLE process() const { return process_.handle.get(); }
    HWND window() const { return window_; }

    // Until the main window is visible and answers its accessible tree.
    bool waitWindow(DWORD timeoutMs = kStartDeadline);
    std::optional<View> control(int id) const;
    // Until the control exists and `holds` says yes; the last view seen goes to `last`.
    bool waitControl(int id, const std::function<bool(const View&)>& holds, DWORD timeoutMs = kDeadline,
                     View* last = nullptr) const;
    bool waitShown(int id, bool shown, DWORD timeoutMs = kDeadline) const;
    bool waitValue(int id, const std::wstring& value, DWORD timeoutMs = kDeadline) const;
    // A real left click at the centre of the control as the tree places it; false when it is not
    // found or not shown.
    bool click(int id) const;
    // The layout id of the control the tree says is focused; 0 when none is.
    int focusedId() const;
    // Presses Tab (Shift+Tab when backward) `count` times, each time until the focus has moved, and
    // answers the layout ids focused after each press (0 where the focus did not move in time).
    std::vector<int> tab(int count, bool backward = false) const;
    // A key (with a modifier held) pressed and released for real.
    static void key(WORD virtualKey, WORD modifier = 0);

    // A message box of this process with exactly this title, or null after the deadline.
    HWND waitMessageBox(const std::wstring& title, DWORD timeoutMs = kDeadline) const;
    // The visible message boxes of this process, as "title: text".
    std::vector<std::wstring> messageBoxes() const;
    // Until the installer has first waited for input (WaitForInputIdle), so its window has painted.
    // Under Wine this does not prove that input sent since has been handled.
    bool waitIdle(DWORD timeoutMs = kDeadline) const;
    // The exit code, or testsupport::kTimedOut after terminating it.
    int waitExit(DWORD timeoutMs = kDeadline);

  private:
    // Records every control of the tree by layout id: the controls and their accessible objects live
    // as long as the window, and walking the tree across processes is slow.
    void index(const acc::Element& element, int depth = 0) const;

    testsupport::Process process_;
    std::wstring title_;
    HWND window_ = nullptr;
    mutable std::map<int, acc::Element> elements_;
};

// acctool.exe of the build: the command on the installer's window, named by its title or (byTitle
// false) left for acctool to find, with these arguments; the tool's exit code (testsupport::kTimedOut
// when it did not end within the deadline).
int runAcctool(const std::wstring& command, const std::wstring& args, DWORD timeoutMs = kDeadline,
               bool byTitle = true);

// Tells Wine's X11 driver to leave the windows of these programs (file names) unmanaged: without a
// window manager on the test display it waits about two seconds for one after every hide of a managed
// window (each message box). The driver reads this when a process starts.
void leaveUnmanaged(std::initializer_list<const wchar_t*> exes);

// A real click on a message box's button (IDOK, IDCANCEL, IDRETRY, IDYES, ...); true once the box is
// gone.
bool answer(HWND dialog, int buttonId, DWORD timeoutMs = kDeadline);

// Selects the folder in a folder browser of the installer's process, as the dialog's own
// BFFM_SETSELECTION does (the path is written into that process); the caller then presses OK.
bool selectInBrowser(const Installer& setup, HWND browser, const std::wstring& path);
// The texts of a dialog's static controls.
std::vector<std::wstring> staticTexts(HWND dialog);

// Real key strokes: each character by its key and shift state on the current keyboard layout.
void typeText(const std::wstring& text);
void pressWithControl(WORD virtualKey);

// Show and hide events of one process's controls, in order, as "show 3000" / "hide 5000" once
// resolve() has named them by layout id (while their window still lives). The test thread must pump
// messages for events to arrive.
class ShowHideLog {
  public:
    explicit ShowHideLog(DWORD pid);
    ~ShowHideLog();
    ShowHideLog(const ShowHideLog&) = delete;
    ShowHideLog& operator=(const ShowHideLog&) = delete;
    std::vector<std::string> resolve(HWND window) const;

  private:
    static void CALLBACK onEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                                 DWORD);
    struct Heard {
        DWORD event;
        HWND window;
        LONG child;
    };
    static ShowHideLog* current_;
    std::vector<Heard> heard_;
    win::unique_hwineventhook hook_;
};
// True when `want` occurs in `seen` in this order (other entries may come between).
bool inOrder(const std::vector<std::string>& seen, const std::vector<std::string>& want);

// ---- The prefix ----------------------------------------------------------------------------------

struct RegValue {
    DWORD type = REG_NONE;
    std::wstring text;  // REG_SZ
    DWORD number = 0;   // REG_DWORD
};
std::optional<RegValue> regValue(HKEY root, const std::wstring& key, const wchar_t* name);
std::wstring specialFolder(int csidl);
std::wstring windowsPath(const std::string& unixPath);
// The shortcut's target path; empty when it cannot be read.
std::wstring shortcutTarget(const std::wstring& linkPath);
// Calls visit with the full path and find data of every entry under the folder (which ends in a
// backslash), depth first; a sub-folder is entered when visit answers true.
void walkTree(const std::wstring& folder,
              const std::function<bool(const std::wstring& path, const WIN32_FIND_DATAW& data)>& visit);
// Relative paths (backslashes) of every file under the folder, sorted.
std::vector<std::wstring> filesUnder(const std::wstring& folder);

}  // namespace e2e
