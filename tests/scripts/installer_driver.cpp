#include "installer_driver.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <utility>

#include "ui_test_support.h"

namespace e2e {

using namespace testsupport;

namespace {

constexpr DWORD kPollMs = 20;
constexpr DWORD kClickAgainMs = 3000;

std::wstring helpText(const acc::Element& element) {
    win::unique_bstr help;
    if (FAILED(element.object->get_accHelp(element.childVariant(), help.put())) || !help)
        return std::wstring();
    return std::wstring(help.get(), SysStringLen(help.get()));
}

// Pumps this thread (COM answers and WinEvents arrive through it) between polls of `done`.
bool poll(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done())
            return true;
        if (GetTickCount64() >= end)
            return false;
        pumpUntil([] { return false; }, kPollMs);
    }
}

}  // namespace

testsupport::Process startQuiet(const std::wstring& exe, const std::wstring& args) {
    Process result;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    win::unique_file nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inherit, OPEN_EXISTING, 0, nullptr));
    if (!nul)
        return result;
    std::wstring commandLine = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    const std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/"));
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul.get();
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                        &si, &pi))
        return result;
    win::unique_handle thread(pi.hThread);
    result.handle.reset(pi.hProcess);
    result.pid = pi.dwProcessId;
    return result;
}

// ---- Installer -------------------------------------------------------------------------------------

Installer::Installer(const std::wstring& exe, const wchar_t* title)
    : process_(startQuiet(exe)), title_(title) {}

Installer::Installer(testsupport::Process process, const wchar_t* title)
    : process_(std::move(process)), title_(title) {}

Installer::~Installer() {
    if (process_ && processAlive(process_.pid))
        testsupport::waitExit(process_, 0);
}

bool Installer::waitWindow(DWORD timeoutMs) {
    return poll(
        [&] {
            // The titled window whose tree holds the agreement page (not its shadow companion).
            for (HWND w : topLevelWindows(process_.pid)) {
                acc::Element root;
                if (!IsWindowVisible(w) || windowText(w) != title_ || !acc::clientElement(w, &root))
                    continue;
                elements_.clear();
                index(root);
                if (elements_.count(1000)) {
                    window_ = w;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
}

std::optional<View> Installer::control(int id) const {
    auto known = elements_.find(id);
    if (known == elements_.end()) {
        acc::Element root;
        if (!window_ || !acc::clientElement(window_, &root))
            return std::nullopt;
        elements_.clear();
        index(root);
        known = elements_.find(id);
        if (known == elements_.end())
            return std::nullopt;
    }
    return View{acc::describe(known->second)};
}

void Installer::index(const acc::Element& element, int depth) const {
    const std::wstring help = helpText(element);
    if (help.rfind(L"id=", 0) == 0)
        elements_.emplace(std::stoi(help.substr(3)), element.share());
    if (depth > 64)
        return;
    for (const acc::Element& child : acc::children(element)) index(child, depth + 1);
}

bool Installer::waitControl(int id, const std::function<bool(const View&)>& holds, DWORD timeoutMs,
                            View* last) const {
    return poll(
        [&] {
            std::optional<View> view = control(id);
            if (view && last)
                *last = *view;
            return view && holds(*view);
        },
        timeoutMs);
}

bool Installer::waitShown(int id, bool shown, DWORD timeoutMs) const {
    return waitControl(
        id, [&](const View& v) { return v.shown() == shown; }, timeoutMs);
}

bool Installer::waitValue(int id, const std::wstring& value, DWORD timeoutMs) const {
    return waitControl(
        id, [&](const View& v) { return v.facts.value == value; }, timeoutMs);
}

bool Installer::click(int id) const {
    std::optional<View> view = control(id);
    if (!view || !view->shown())
        return false;
    testsupport::click(view->centre());
    return true;
}

int Installer::focusedId() const {
    if (!control(1000))
        return 0;
    for (const auto& [id, element] : elements_) {
        if (acc::describe(element).state & STATE_SYSTEM_FOCUSED)
            return id;
    }
    return 0;
}

std::vector<int> Installer::tab(int count, bool backward) const {
    std::vector<int> visited;
    for (int i = 0; i < count; ++i) {
        const int before = focusedId();
        key(VK_TAB, backward ? VK_SHIFT : 0);
        int now = 0;
        poll(
            [&] {
                now = focusedId();
                return now != 0 && now != before;
            },
            kDeadline);
        visited.push_back(now != before ? now : 0);
    }
    return visited;
}

void Installer::key(WORD virtualKey, WORD modifier) {
    if (modifier)
        testsupport::keyDown(modifier);
    testsupport::pressKey(virtualKey);
    if (modifier)
        testsupport::keyUp(modifier);
}

HWND Installer::waitMessageBox(const std::wstring& title, DWORD timeoutMs) const {
    HWND found = nullptr;
    poll(
        [&] {
            for (HWND dialog : topLevelWindows(process_.pid, L"#32770")) {
                if (IsWindowVisible(dialog) && windowText(dialog) == title)
                    found = dialog;
            }
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

std::vector<std::wstring> Installer::messageBoxes() const {
    std::vector<std::wstring> boxes;
    for (HWND dialog : topLevelWindows(process_.pid, L"#32770")) {
        if (IsWindowVisible(dialog))
            boxes.push_back(windowText(dialog) + L": " + dialogText(dialog));
    }
    return boxes;
}

bool Installer::waitIdle(DWORD timeoutMs) const {
    return WaitForInputIdle(process_.handle.get(), timeoutMs) == 0;
}

int Installer::waitExit(DWORD timeoutMs) {
    if (!process_)
        return kNotStarted;
    poll([&] { return WaitForSingleObject(process_.handle.get(), 0) == WAIT_OBJECT_0; }, timeoutMs);
    return testsupport::waitExit(process_, 0);
}

int runAcctool(const std::wstring& command, const std::wstring& args, DWORD timeoutMs, bool byTitle) {
    const std::wstring path = selfFolder() + L"\\..\\..\\tools\\acctool\\acctool.exe";
    const std::wstring window = byTitle ? L" --title \"" + std::wstring(kTitle) + L"\"" : L"";
    Process tool = startQuiet(path, command + window + L" " + args);
    if (!tool)
        return kNotStarted;
    return testsupport::waitExit(tool, timeoutMs);
}

// ---- The folder browser ----------------------------------------------------------------------------

namespace {

// Memory allocated in another process, freed on destruction.
class RemoteMemory {
  public:
    RemoteMemory(HANDLE process, size_t size)
        : process_(process), address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
    ~RemoteMemory() {
        if (address_)
            VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;
    void* get() const { return address_; }

  private:
    HANDLE process_;
    void* address_;
};

BOOL CALLBACK collectStatic(HWND child, LPARAM param) {
    if (windowClass(child) == L"Static")
        reinterpret_cast<std::vector<std::wstring>*>(param)->push_back(windowText(child));
    return TRUE;
}

}  // namespace

bool selectInBrowser(const Installer& setup, HWND browser, const std::wstring& path) {
    const size_t bytes = (path.size() + 1) * sizeof(wchar_t);
    RemoteMemory text(setup.process(), bytes);
    SIZE_T written = 0;
    if (!text.get() || !WriteProcessMemory(setup.process(), text.get(), path.c_str(), bytes, &written) ||
        written != bytes)
        return false;
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(text.get()),
                               SMTO_ABORTIFHUNG, kDeadline, &result) != 0;
}

std::vector<std::wstring> staticTexts(HWND dialog) {
    std::vector<std::wstring> texts;
    EnumChildWindows(dialog, collectStatic, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// ---- Input -----------------------------------------------------------------------------------------

bool answer(HWND dialog, int buttonId, DWORD timeoutMs) {
    HWND button = GetDlgItem(dialog, buttonId);
    if (!button)
        return false;
    RECT r{};
    GetWindowRect(button, &r);
    // A click on a box that has just appeared is now and then lost under Wine: press again while the
    // same box still shows.
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        click(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        const ULONGLONG now = GetTickCount64();
        const DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(end > now ? end - now : 0, kClickAgainMs));
        if (poll([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, wait))
            return true;
        if (GetTickCount64() >= end)
            return false;
    }
}

void typeText(const std::wstring& text) {
    for (wchar_t c : text) {
        const SHORT key = VkKeyScanW(c);
        const bool shift = (key >> 8) & 1;
        if (shift)
            keyDown(VK_SHIFT);
        pressKey(static_cast<WORD>(key & 0xFF));
        if (shift)
            keyUp(VK_SHIFT);
    }
}

void pressWithControl(WORD virtualKey) {
    keyDown(VK_CONTROL);
    pressKey(virtualKey);
    keyUp(VK_CONTROL);
}

// ---- Show and hide events --------------------------------------------------------------------------

ShowHideLog* ShowHideLog::current_ = nullptr;

ShowHideLog::ShowHideLog(DWORD pid) {
    current_ = this;
    hook_.reset(SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_HIDE, nullptr, onEvent, pid, 0,
                                WINEVENT_OUTOFCONTEXT));
}

ShowHideLog::~ShowHideLog() {
    hook_.reset();
    current_ = nullptr;
}

void CALLBACK ShowHideLog::onEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                                   DWORD) {
    if (current_ && object == OBJID_CLIENT && child != CHILDID_SELF)
        current_->heard_.push_back(Heard{event, window, child});
}

std::vector<std::string> ShowHideLog::resolve(HWND window) const {
    std::vector<std::string> named;
    for (const Heard& h : heard_) {
        if (h.window != window)
            continue;
        acc::Element element;
        win::unique_variant child;
        if (FAILED(AccessibleObjectFromEvent(window, static_cast<DWORD>(OBJID_CLIENT),
                                             static_cast<DWORD>(h.child), element.object.put(),
                                             child.put())) ||
            !element.object)
            continue;
        element.child = child.get().vt == VT_I4 ? child.get().lVal : CHILDID_SELF;
        std::wstring help = helpText(element);
        if (help.rfind(L"id=", 0) == 0)
            named.push_back((h.event == EVENT_OBJECT_SHOW ? "show " : "hide ") + narrow(help.substr(3)));
    }
    return named;
}

bool inOrder(const std::vector<std::string>& seen, const std::vector<std::string>& want) {
    auto at = seen.begin();
    for (const std::string& w : want) {
        at = std::find(at, seen.end(), w);
        if (at == seen.end())
            return false;
        ++at;
    }
    return true;
}

// ---- The prefix ------------------------------------------------------------------------------------

std::optional<RegValue> regValue(HKEY root, const std::wstring& key, const wchar_t* name) {
    win::unique_hkey opened;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<BYTE> data(4096);
    DWORD type = 0, size = static_cast<DWORD>(data.size());
    if (RegQueryValueExW(opened.get(), name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    RegValue value;
    value.type = type;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        value.text.assign(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
        while (!value.text.empty() && value.text.back() == L'\0') value.text.pop_back();
    } else if (type == REG_DWORD && size == sizeof(DWORD)) {
        memcpy(&value.number, data.data(), sizeof(DWORD));
    }
    return value;
}

std::wstring specialFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE) ? path : L"";
}

std::wstring windowsPath(const std::string& unixPath) {
    std::wstring path = L"Z:" + widen(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

void leaveUnmanaged(std::initializer_list<const wchar_t*> exes) {
    for (const wchar_t* exe : exes)
        testsupport::regWriteString(HKEY_CURRENT_USER,
                                    std::wstring(L"Software\\Wine\\AppDefaults\\") + exe + L"\\X11 Driver",
                                    L"Managed", L"N");
}

std::wstring setupExe() {
    return windowsPath(TARVO_TEST_SETUP_EXE);
}

std::wstring installFolder() {
    return specialFolder(CSIDL_PROGRAM_FILES) + L"\\DuvureVEdadiz\\";
}

std::wstring tempFolder() {
    wchar_t path[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, path);
    return path;
}

std::wstring shortcutTarget(const std::wstring& linkPath) {
    win::com_ptr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.put()))))
        return std::wstring();
    win::com_ptr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put()))) ||
        FAILED(file->Load(linkPath.c_str(), STGM_READ)))
        return std::wstring();
    wchar_t target[MAX_PATH] = {};
    if (FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)))
        return std::wstring();
    return target;
}

void walkTree(const std::wstring& folder,
              const std::function<bool(const std::wstring& path, const WIN32_FIND_DATAW& data)>& visit) {
    WIN32_FIND_DATAW data;
    win::unique_find find(FindFirstFileW((folder + L"*").c_str(), &data));
    if (!find)
        return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (visit(folder + name, data))
            walkTree(folder + name + L"\\", visit);
    } while (FindNextFileW(find.get(), &data));
}

std::vector<std::wstring> filesUnder(const std::wstring& folder) {
    std::wstring base = folder;
    while (!base.empty() && base.back() == L'\\') base.pop_back();
    base += L'\\';
    std::vector<std::wstring> files;
    walkTree(base, [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return true;
        files.push_back(path.substr(base.size()));
        return false;
    });
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace e2e
