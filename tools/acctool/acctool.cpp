// acctool: reads and drives the accessible tree (Microsoft Active Accessibility) of a window of another
// process, such as a running installer, for screen-reader checks and automated installs. Output lines
// are UTF-8 (UTF-16 on a console); see usage() and the README.
#include <windows.h>
#include <oleacc.h>

#include <cstdint>
#include <cwchar>
#include <optional>
#include <string>

#include "acc_client.h"
#include "host/handles.h"
#include "host/text_conv.h"
#include "window/window_base.h"

namespace {

// Exit codes.
constexpr int kOk = 0;
constexpr int kUsage = 1;
constexpr int kNoWindow = 2;
constexpr int kNoMatch = 3;  // no such control, or the state was not reached in time
constexpr int kRefused = 4;  // the control refused the action
constexpr int kFailed = 5;   // the window answers no accessible object, or a call failed

constexpr DWORD kPollMs = 50;

const wchar_t kUsageText[] =
    L"usage:\n"
    L"  acctool list  WINDOW [--out FILE]\n"
    L"  acctool find  WINDOW MATCH [--timeout MS] [--out FILE]\n"
    L"  acctool wait  WINDOW MATCH [--state S[,S...]] [--gone] [--timeout MS] [--out FILE]\n"
    L"  acctool do    WINDOW MATCH [--timeout MS]\n"
    L"  acctool focus WINDOW MATCH [--timeout MS]\n"
    L"  acctool at    X Y [--out FILE]\n"
    L"WINDOW: --title TEXT and/or --class NAME (exact); without them the first visible titled window of\n"
    L"the installer engine's class WINDOW:234:000. MATCH: --id N (layout id), --role ROLE,\n"
    L"--name TEXT; all given must hold. States: names such as checked, focused, unavailable,\n"
    L"invisible; !name means the state must be absent. The timeout (default 5000 ms) also covers\n"
    L"waiting for the window. Exit codes: 0 done, 1 usage, 2 no window, 3 no match or timed out,\n"
    L"4 refused, 5 failed.\n";

struct Options {
    std::wstring command;
    std::optional<std::wstring> title, className, id, role, name;
    std::wstring states;
    bool gone = false;
    DWORD timeoutMs = 5000;
    std::wstring out;
    long x = 0, y = 0;
};

// Lines to standard output (or a file), UTF-16 on a console and UTF-8 elsewhere; each line is written
// at once, so a reader of the file sees it immediately.
class Output {
  public:
    explicit Output(DWORD stdHandle) : handle_(GetStdHandle(stdHandle)) {
        DWORD mode = 0;
        console_ = handle_ && GetConsoleMode(handle_, &mode);
    }
    bool open(const std::wstring& path) {
        file_.reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        handle_ = file_.get();
        console_ = false;
        return static_cast<bool>(file_);
    }
    void line(const std::wstring& text) const {
        if (!handle_ || handle_ == INVALID_HANDLE_VALUE)
            return;
        DWORD written = 0;
        if (console_) {
            const std::wstring full = text + L"\r\n";
            WriteConsoleW(handle_, full.data(), static_cast<DWORD>(full.size()), &written, nullptr);
            return;
        }
        const std::string bytes = win::wideToUtf8(text) + "\n";
        WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }

  private:
    HANDLE handle_;
    bool console_ = false;
    win::unique_file file_;
};

const Output& errors() {
    static const Output output(STD_ERROR_HANDLE);
    return output;
}

bool parse(int argc, wchar_t** argv, Options* o) {
    if (argc < 2)
        return false;
    o->command = argv[1];
    int i = 2;
    if (o->command == L"at") {
        if (argc < 4)
            return false;
        o->x = std::wcstol(argv[2], nullptr, 10);
        o->y = std::wcstol(argv[3], nullptr, 10);
        i = 4;
    }
    for (; i < argc; ++i) {
        const std::wstring key = argv[i];
        if (key == L"--gone") {
            o->gone = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const std::wstring value = argv[++i];
        if (key == L"--title")
            o->title = value;
        else if (key == L"--class")
            o->className = value;
        else if (key == L"--id")
            o->id = value;
        else if (key == L"--role")
            o->role = value;
        else if (key == L"--name")
            o->name = value;
        else if (key == L"--state")
            o->states = value;
        else if (key == L"--timeout")
            o->timeoutMs = static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 10));
        else if (key == L"--out")
            o->out = value;
        else
            return false;
    }
    if (o->command == L"at")
        return true;
    const bool needsMatch =
        o->command == L"find" || o->command == L"wait" || o->command == L"do" || o->command == L"focus";
    if (!needsMatch && o->command != L"list")
        return false;
    if (!o->title && !o->className)
        o->className = kWindowClassName;  // the engine's windows: the installer's main window first
    return !needsMatch || o->id || o->role || o->name;
}

class Deadline {
  public:
    explicit Deadline(DWORD ms) : end_(GetTickCount64() + ms) {}
    bool passed() const { return GetTickCount64() >= end_; }
    DWORD left() const {
        const ULONGLONG now = GetTickCount64();
        return now >= end_ ? 0 : static_cast<DWORD>(end_ - now);
    }

  private:
    ULONGLONG end_;
};

const wchar_t* optionalText(const std::optional<std::wstring>& value) {
    return value ? value->c_str() : nullptr;
}

HWND waitForWindow(const Options& o, const Deadline& deadline) {
    for (;;) {
        if (HWND window = acc::findTopLevel(optionalText(o.title), optionalText(o.className)))
            return window;
        if (deadline.passed())
            return nullptr;
        Sleep(kPollMs);
    }
}

bool matches(const Options& o, const acc::Facts& facts) {
    return (!o.id || *o.id == facts.layoutId) && (!o.role || *o.role == facts.roleName) &&
           (!o.name || *o.name == facts.name);
}

// The first element in tree order that matches, with its facts.
bool search(const acc::Element& element, const Options& o, acc::Element* found, acc::Facts* facts,
            int depth = 0) {
    acc::Facts mine = acc::describe(element);
    if (matches(o, mine)) {
        *found = element.share();
        *facts = std::move(mine);
        return true;
    }
    if (depth > 64)
        return false;
    for (const acc::Element& child : acc::children(element)) {
        if (search(child, o, found, facts, depth + 1))
            return true;
    }
    return false;
}

void list(const acc::Element& element, const Output& out, int depth = 0) {
    out.line(std::wstring(static_cast<size_t>(depth) * 2, L' ') + acc::describeLine(acc::describe(element)));
    if (depth > 64)
        return;
    for (const acc::Element& child : acc::children(element)) list(child, out, depth + 1);
}

int runList(const Options& o, const Output& out) {
    HWND window = waitForWindow(o, Deadline(o.timeoutMs));
    if (!window) {
        errors().line(L"acctool: no such window");
        return kNoWindow;
    }
    acc::Element root;
    if (!acc::clientElement(window, &root)) {
        errors().line(L"acctool: the window answers no accessible object");
        return kFailed;
    }
    list(root, out);
    return kOk;
}

// find, wait, do and focus: polls until a matching control is in the state asked for (or, with --gone,
// until none matches), then acts on it.
int runMatch(const Options& o, const Output& out) {
    uint32_t required = 0, forbidden = 0;
    std::wstring bad;
    if (!acc::parseStates(o.states, &required, &forbidden, &bad)) {
        errors().line(L"acctool: unknown state " + bad);
        return kUsage;
    }
    const Deadline deadline(o.timeoutMs);
    if (!waitForWindow(o, deadline)) {
        errors().line(L"acctool: no such window");
        return kNoWindow;
    }
    std::wstring lastSeen;
    for (;;) {
        // The window is looked up on every round: a visible one is preferred as soon as it shows.
        HWND window = acc::findTopLevel(optionalText(o.title), optionalText(o.className));
        acc::Element root, element;
        acc::Facts facts;
        bool found = false;
        if (window && acc::clientElement(window, &root))
            found = search(root, o, &element, &facts);
        if (found)
            lastSeen = acc::describeLine(facts);
        const bool inState = found && (facts.state & required) == required && !(facts.state & forbidden);
        if (o.gone ? !found : inState) {
            if (o.command == L"do" || o.command == L"focus") {
                const VARIANT child = element.childVariant();
                const HRESULT hr = o.command == L"do" ? element.object->accDoDefaultAction(child)
                                                      : element.object->accSelect(SELFLAG_TAKEFOCUS, child);
                if (FAILED(hr)) {
                    wchar_t code[16];
                    swprintf(code, 16, L"0x%08lx", static_cast<unsigned long>(hr));
                    errors().line(L"acctool: refused (" + std::wstring(code) + L"): " + lastSeen);
                    return hr == E_ACCESSDENIED || hr == DISP_E_MEMBERNOTFOUND ? kRefused : kFailed;
                }
            }
            if (found)
                out.line(lastSeen);
            return kOk;
        }
        if (deadline.passed()) {
            errors().line(lastSeen.empty() ? L"acctool: no matching control"
                                           : L"acctool: timed out; last seen: " + lastSeen);
            return kNoMatch;
        }
        Sleep(kPollMs);
    }
}

int runAt(const Options& o, const Output& out) {
    acc::Element element;
    win::unique_variant child;
    if (FAILED(AccessibleObjectFromPoint(POINT{o.x, o.y}, element.object.put(), child.put())) ||
        !element.object) {
        errors().line(L"acctool: nothing accessible at that point");
        return kNoMatch;
    }
    element.child = child.get().vt == VT_I4 ? child.get().lVal : CHILDID_SELF;
    out.line(acc::describeLine(acc::describe(element)));
    return kOk;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options o;
    if (!parse(argc, argv, &o)) {
        errors().line(kUsageText);
        return kUsage;
    }
    Output out(STD_OUTPUT_HANDLE);
    if (!o.out.empty() && !out.open(o.out)) {
        errors().line(L"acctool: cannot write " + o.out);
        return kUsage;
    }
    auto com = win::co_initialize();
    if (FAILED(com.get())) {
        errors().line(L"acctool: COM could not be initialised");
        return kFailed;
    }
    if (o.command == L"list")
        return runList(o, out);
    if (o.command == L"at")
        return runAt(o, out);
    return runMatch(o, out);
}
