// The hostile-input campaign: generated layouts, styles, "font.xml", skin images and UI scripts run
// inside the real engine under Wine. Each case is loaded, measured, arranged, painted and driven with
// mouse and keyboard messages in a real window (or, for scripts, run in the UI interpreter against
// real windows). A crash, a hang, a failed poison check of the checked build or a Lua error escaping
// past the engine's own error path ends the run with a failure, the case's input kept on disk.
//
//   hostile_input [--seconds N] [--seed S] [--out DIR]   generated cases for N seconds (default 60)
//   hostile_input --seed S --case N                      only case N of that seed
//   hostile_input --replay DIR                            every regression input under DIR
//
// Message boxes that the engine raises ("错误" for script errors) are answered at once and counted.
#include <windows.h>
#include <lua.hpp>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "dui/checked.h"
#include "dui/context_parts.h"
#include "dui/control.h"
#include "dui/loader.h"
#include "app/startup.h"
#include "host/ui_context.h"
#include "mutate.h"
#include "render/skin_store.h"
#include "script/lua_window.h"
#include "script/script_engine.h"
#include "win_test_support.h"
#include "window/window_impl.h"
#include "worker/lua_work.h"
#include "archive_builder.h"

namespace {

using hostile::Rng;

enum Kind { kLayout, kStyle, kFont, kImage, kScript, kKindCount };
const char* const kKindNames[kKindCount] = {"layout", "style", "font", "image", "script"};

// ---- Campaign state shared with the watchdog and the fault filter ---------------------------------

std::atomic<uint64_t> progress{0};  // moves with every step of every case
std::wstring currentInputPath;      // the running case's input, written before it starts
char currentCase[160] = "start-up";
std::atomic<bool> failed{false};

void fail(const std::string& what) {
    std::fprintf(stderr, "FAILURE in %s: %s\n", currentCase, what.c_str());
    std::fflush(stderr);
    failed = true;
}

LONG WINAPI onFault(EXCEPTION_POINTERS* info) {
    std::fprintf(stderr, "CRASH (exception 0x%08lX at %p) in %s; its input is %ls\n",
                 info->ExceptionRecord->ExceptionCode, info->ExceptionRecord->ExceptionAddress, currentCase,
                 currentInputPath.c_str());
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

void onPoisonFailure(const char* what, const void* address) {
    std::fprintf(stderr, "POISON CHECK FAILED (%s at %p) in %s; its input is %ls\n", what, address,
                 currentCase, currentInputPath.c_str());
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 5);
}

// A case that makes no progress for this long hangs (--hang-ms changes it).
DWORD kHangMs = 30000;

void watchdog() {
    uint64_t seen = progress;
    DWORD since = GetTickCount();
    for (;;) {
        Sleep(500);
        if (progress != seen) {
            seen = progress;
            since = GetTickCount();
        } else if (GetTickCount() - since > kHangMs) {
            std::fprintf(stderr, "HANG (no progress for %lu ms) in %s; its input is %ls\n", kHangMs,
                         currentCase, currentInputPath.c_str());
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 4);
        }
    }
}

// ---- Message boxes and stuck modal loops -----------------------------------------------------------

std::map<std::string, int> boxTexts;  // first line of each message box text -> count
int boxCount = 0;
int unstuck = 0;

// Answers every dialog of this thread as it activates: Cancel when it has one, else OK, else its
// first button (message boxes with Yes/No only).
LRESULT CALLBACK dialogHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND dialog = reinterpret_cast<HWND>(wParam);
        if (testsupport::windowClass(dialog) == L"#32770") {
            ++boxCount;
            std::string text = testsupport::narrow(testsupport::windowText(dialog) + L": " +
                                                   testsupport::dialogText(dialog));
            text = text.substr(0, std::min(text.find('\n'), std::size_t{100}));
            ++boxTexts[text];
            int id = GetDlgItem(dialog, IDCANCEL) ? IDCANCEL : GetDlgItem(dialog, IDOK) ? IDOK : 0;
            if (!id) {
                HWND button = FindWindowExW(dialog, nullptr, L"Button", nullptr);
                id = button ? GetDlgCtrlID(button) : IDOK;
            }
            PostMessageW(dialog, WM_COMMAND, id, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Ends a modal run of the window and whatever mode holds it: a drop-down's loop ends on Escape, the
// system's move loop (a title bar dragged by a press without a real button) on a release.
BOOL CALLBACK endModalRun(HWND hwnd, LPARAM) {
    if (WindowBase* window = windowFromHandle(hwnd))
        window->endModal(77);
    PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(hwnd, WM_KEYUP, VK_ESCAPE, 0);
    PostMessageW(hwnd, WM_LBUTTONUP, 0, 0);
    SendMessageW(hwnd, WM_CANCELMODE, 0, 0);
    return TRUE;
}

// A UI-thread timer: when a case stands still for a while (a script killed the timer that was to end
// its dialog, a drop-down waits for a click), end every modal run and cancel captured modes.
void CALLBACK unstick(HWND, UINT, UINT_PTR, DWORD) {
    static uint64_t seen = 0;
    static DWORD since = GetTickCount();
    if (progress != seen) {
        seen = progress;
        since = GetTickCount();
        return;
    }
    if (GetTickCount() - since < 600)
        return;
    ++unstuck;
    since = GetTickCount();
    EnumThreadWindows(GetCurrentThreadId(), endModalRun, 0);
    ReleaseCapture();
}

// Dispatches what is queued for this thread (deferred calls, repaint requests), at most `limit`.
void drain(int limit = 400) {
    MSG message;
    for (int i = 0; i < limit && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (message.message == WM_QUIT)
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
        ++progress;
    }
}

BOOL CALLBACK destroyOne(HWND hwnd, LPARAM) {
    if (windowFromHandle(hwnd))
        DestroyWindow(hwnd);
    return TRUE;
}

void destroyThreadWindows() {
    EnumThreadWindows(GetCurrentThreadId(), destroyOne, 0);
    drain();
}

// ---- Inputs from the source tree -------------------------------------------------------------------

std::wstring sourcePath(const std::string& relative) {
    std::wstring path = L"Z:" + testsupport::widen(TARVO_SOURCE_DIR "/" + relative);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

// name -> bytes of the files in a folder matching the pattern.
std::map<std::wstring, std::string> readFolder(const std::wstring& folder, const wchar_t* pattern = L"*") {
    std::map<std::wstring, std::string> files;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return files;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            if (auto bytes = testsupport::readFile(folder + L"\\" + found.cFileName))
                files[found.cFileName] = *bytes;
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return files;
}

struct Seeds {
    std::map<std::wstring, std::string> skin;           // the product's skin entries
    std::vector<std::string> layouts;                   // product and test layouts
    std::vector<std::string> styles;                    // the skin's style entries
    std::vector<std::string> images;                    // the skin's images and the seeds of other formats
    std::string glue;                                   // the UI script's framework glue
    std::string driver;                                 // fuzz.lua
    std::map<std::wstring, std::string> scriptLayouts;  // the layout archive of script cases
};

Seeds loadSeeds() {
    Seeds seeds;
    seeds.skin = readFolder(sourcePath(TARVO_SKIN_DIR));
    for (const char* folder : {TARVO_LAYOUT_DIR, "tests/window/layouts", "tests/access/layouts",
                               "tests/script/layouts", "tests/render/layouts"}) {
        for (auto& [name, text] : readFolder(sourcePath(folder), L"*.xml")) {
            seeds.layouts.push_back(text);
            seeds.scriptLayouts[name] = text;
        }
    }
    for (auto& [name, bytes] : seeds.skin) {
        if (name.size() > 4 && name.substr(name.size() - 4) == L".xml" && name != L"font.xml")
            seeds.styles.push_back(bytes);
        if (name.size() > 4 && name.substr(name.size() - 4) == L".png")
            seeds.images.push_back(bytes);
    }
    for (auto& [name, bytes] : readFolder(sourcePath("tests/hostile/seeds"))) seeds.images.push_back(bytes);
    seeds.glue = testsupport::readFile(sourcePath(TARVO_UI_GLUE)).value_or("");
    seeds.driver = testsupport::readFile(sourcePath("tests/hostile/fuzz.lua")).value_or("");
    return seeds;
}

void* packed(const std::map<std::wstring, std::string>& entries, std::size_t* size) {
    packtest::ArchiveBuilder builder;
    for (const auto& [name, content] : entries)
        builder.stored(std::u16string(name.begin(), name.end()), packtest::bytesOf(content));
    const packtest::Bytes block = builder.finish();
    void* bytes = std::malloc(block.size());
    std::memcpy(bytes, block.data(), block.size());
    *size = block.size();
    return bytes;
}

void loadSkin(const std::map<std::wstring, std::string>& entries) {
    std::size_t size = 0;
    void* bytes = packed(entries, &size);
    uiParts()->skin->loadSkinArchive(bytes, size, nullptr);
}

void loadLayoutArchive(const std::map<std::wstring, std::string>& entries) {
    std::size_t size = 0;
    void* bytes = packed(entries, &size);
    uiParts()->layouts->adopt(bytes, size, nullptr);
}

// ---- Driving one control tree in a real window -------------------------------------------------

// Every control class, each naming the style "fuzz.xml", the image "fuzz.png" and the skin's fonts.
const char kGallery[] = R"(<Canvas initSize="460,400" style="fuzz.xml">
  <TitleBar x="0" y="0" width="460" height="30" text="标题 title" style="fuzz.xml" font="Title"/>
  <Button x="10" y="40" width="100" height="30" text="按钮" style="fuzz.xml" font="Heading"/>
  <CheckBox x="10" y="80" width="160" height="24" text="check" style="fuzz.xml" font="Small"/>
  <RadioButton x="10" y="110" width="160" height="24" text="radio" style="fuzz.xml"/>
  <ToggleButton x="180" y="110" width="60" height="24" style="fuzz.xml"/>
  <IconButton x="250" y="110" width="90" height="30" icon="fuzz.png" text="icon" style="fuzz.xml"/>
  <ToggleIconButton x="350" y="110" width="90" height="30" icon="fuzz.png" offIcon="fuzz.png" text="on" offText="off" style="fuzz.xml"/>
  <ImageButton x="350" y="150" width="40" height="40" style="fuzz.xml" img="fuzz.png"/>
  <Label x="10" y="140" width="200" height="20" text="label 标签" style="fuzz.xml" font="Link" padding="2,2,2,2"/>
  <LinkLabel x="10" y="165" width="120" height="20" text="link" style="fuzz.xml" url="about:blank"/>
  <Image x="220" y="40" width="32" height="32" img="fuzz.png" style="fuzz.xml"/>
  <Seperator x="10" y="190" width="300" height="2" style="fuzz.xml"/>
  <Slider x="10" y="200" width="200" height="20" style="fuzz.xml"/>
  <ProgressBar x="10" y="230" width="300" height="16" style="fuzz.xml" progressbkimg="fuzz.png" progressimg="fuzz.png" progressScaleGrid="3,3,3,3"/>
  <Edit x="250" y="40" width="200" height="60" text="第一行" style="fuzz.xml" multiline="1"/>
  <TextBox x="250" y="200" width="200" height="26" text="C:\x" style="fuzz.xml" grayTip="tip"/>
  <ComboBox x="250" y="240" width="200" height="26" style="fuzz.xml" text="combo"><Label text="a"/><Label text="b"/></ComboBox>
  <ListBox x="10" y="250" width="200" height="60" style="fuzz.xml" itemHeight="20"><Label text="one"/><Label text="two"/><Label text="three"/><Label text="four"/></ListBox>
  <ScrollPanel x="220" y="270" width="100" height="50" style="fuzz.xml"><Canvas width="300" height="300"/></ScrollPanel>
  <PowerPoint x="330" y="280" width="60" height="40" imagelist="fuzz.png;fuzz.png" style="fuzz.xml"/>
  <TabControl x="10" y="320" width="400" height="70" tabHeight="20" style="fuzz.xml">
    <TabItem width="80" text="常规" style="fuzz.xml"><Grid><Button width="80" height="30" text="甲" style="fuzz.xml"/></Grid></TabItem>
    <TabItem width="80" text="高级" style="fuzz.xml"><Grid/></TabItem>
  </TabControl>
</Canvas>)";

// Mouse, keyboard, size and repaint messages at random, each dispatched at once.
void driveWindow(HWND hwnd, WindowImpl* window, Rng& rng, int steps) {
    for (int i = 0; i < steps && IsWindow(hwnd); ++i) {
        ++progress;
        RECT client{};
        GetClientRect(hwnd, &client);
        int x = static_cast<int>(rng.below(client.right + 40)) - 20;
        int y = static_cast<int>(rng.below(client.bottom + 40)) - 20;
        LPARAM at = MAKELPARAM(x, y);
        switch (rng.below(12)) {
            case 0:
            case 1:
            case 2:
                SendMessageW(hwnd, WM_MOUSEMOVE, 0, at);
                break;
            case 3:
                SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
                if (rng.chance(80))
                    SendMessageW(hwnd, WM_LBUTTONUP, 0, at);
                break;
            case 4:
                SendMessageW(hwnd, rng.chance(50) ? WM_LBUTTONDBLCLK : WM_RBUTTONDOWN, 0, at);
                SendMessageW(hwnd, WM_RBUTTONUP, 0, at);
                break;
            case 5:
                SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, rng.chance(50) ? 120 : -360), at);
                break;
            case 6: {
                static const WORD kKeys[] = {VK_TAB,   VK_LEFT,  VK_RIGHT,  VK_UP,   VK_DOWN,
                                             VK_HOME,  VK_END,   VK_DELETE, VK_BACK, VK_RETURN,
                                             VK_SPACE, VK_PRIOR, VK_NEXT,   'A'};
                WORD key = kKeys[rng.below(std::size(kKeys))];
                SendMessageW(hwnd, WM_KEYDOWN, key, 0);
                SendMessageW(hwnd, WM_KEYUP, key, 0);
                break;
            }
            case 7:
                SendMessageW(hwnd, WM_CHAR,
                             static_cast<WPARAM>(rng.chance(50) ? 'a' + rng.below(26) : rng.below(0x10000)),
                             0);
                break;
            case 8: {
                static const int kSizes[] = {0, 1, 7, 120, 480, 1500};
                SetWindowPos(hwnd, nullptr, 0, 0, kSizes[rng.below(6)], kSizes[rng.below(6)],
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
                break;
            }
            case 9:
                if (window)
                    window->fitToLayout();
                break;
            case 10:
                SendMessageW(hwnd, WM_MOUSELEAVE, 0, 0);
                break;
            default:
                RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        }
        drain(50);
    }
}

// Shows the tree in a window, drives it and destroys it.
void exercise(Control* root, Rng& rng, int steps) {
    auto* window = new WindowImpl(root);
    if (!createNativeWindow(window, L"hostile", WS_POPUP | WS_VISIBLE, 10, 10, 0, 0, nullptr, nullptr,
                            GetModuleHandleW(nullptr)))
        return;
    HWND hwnd = window->handle();
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    driveWindow(hwnd, window, rng, steps);
    if (IsWindow(hwnd))
        DestroyWindow(hwnd);
    destroyThreadWindows();
}

// Loads a layout text as the loader would and exercises it; malformed XML ends with the parser's
// error, which is the loader's own result.
int parseErrors = 0;
void runLayout(const std::string& xml, Rng& rng, int steps) {
    Control* root = nullptr;
    try {
        root = buildLayout(xml.data(), xml.size());
    } catch (const rapidxml::parse_error&) {
        ++parseErrors;
        return;
    }
    exercise(root, rng, steps);
}

// ---- Script cases ------------------------------------------------------------------------------

std::vector<std::string> escapes;

int fuzzStep(lua_State*) {
    ++progress;
    return 0;
}

int fuzzEscape(lua_State* L) {
    escapes.push_back(luaL_tolstring(L, 1, nullptr));
    return 0;
}

std::vector<std::wstring> layoutNames;
int fuzzLayouts(lua_State* L) {
    lua_createtable(L, static_cast<int>(layoutNames.size()), 0);
    int i = 0;
    for (const std::wstring& name : layoutNames) {
        lua_pushstring(L, testsupport::narrow(name).c_str());
        lua_rawseti(L, -2, ++i);
    }
    return 1;
}

HWND hwndOfTable(lua_State* L) {
    WindowHost* host = windowFromSelf(L);
    return host ? host->windowHandle() : nullptr;
}

// fuzz_input(window, seed): a burst of mouse and keyboard messages into the window.
int fuzzInput(lua_State* L) {
    HWND hwnd = hwndOfTable(L);
    if (hwnd) {
        Rng rng(static_cast<uint64_t>(lua_tointeger(L, 2)), 7);
        driveWindow(hwnd, nullptr, rng, 6);
    }
    return 0;
}

int fuzzDestroy(lua_State* L) {
    if (HWND hwnd = hwndOfTable(L))
        DestroyWindow(hwnd);
    return 0;
}

int fuzzNotify(lua_State* L) {
    lua_pushinteger(L, deliverNotification(luaL_optstring(L, 1, "")));
    return 1;
}

int fuzzPump(lua_State*) {
    drain(100);
    return 0;
}

// Runs the glue, the driver and `chunk` in a fresh UI interpreter; everything the script opened is
// destroyed afterwards.
void runScript(const Seeds& seeds, const std::string& chunk) {
    ScriptEngine& engine = scriptEngine();
    createScriptEngine(engine);
    lua_State* L = engine.state();
    lua_register(L, "fuzz_step", fuzzStep);
    lua_register(L, "fuzz_escape", fuzzEscape);
    lua_register(L, "fuzz_layouts", fuzzLayouts);
    lua_register(L, "fuzz_input", fuzzInput);
    lua_register(L, "fuzz_destroy", fuzzDestroy);
    lua_register(L, "fuzz_notify", fuzzNotify);
    lua_register(L, "fuzz_pump", fuzzPump);
    for (const std::string* text : {&seeds.glue, &seeds.driver, &chunk}) {
        if (luaL_loadbuffer(L, text->data(), text->size(), "=hostile") != LUA_OK ||
            lua_pcall(L, 0, 0, 0) != LUA_OK) {
            escapes.push_back(lua_tostring(L, -1) ? lua_tostring(L, -1) : "(error)");
            lua_pop(L, 1);
            break;
        }
    }
    destroyThreadWindows();
    closeScriptEngine(engine);
    drain();
}

// ---- Cases -------------------------------------------------------------------------------------

struct Campaign {
    Seeds seeds;
    std::wstring outDir;
    int tried[kKindCount] = {};
    DWORD ms[kKindCount] = {};
};

void saveInput(Campaign& c, const char* kind, const std::string& bytes, const char* ext) {
    currentInputPath = c.outDir + L"\\hostile-current-" + testsupport::widen(kind) + testsupport::widen(ext);
    testsupport::writeFile(currentInputPath, bytes);
}

// The style entry of style and image cases: one of the skin's styles retyped, every skin attribute
// naming "fuzz.png", with a nine-grid that may be larger than the image.
std::string imageStyle(Rng& rng) {
    static const std::vector<std::string> kTypes = {
        "Background",   "Button",     "CheckButton",      "ComboBox",  "Edit",     "Slider",
        "ToggleButton", "IconButton", "ToggleIconButton", "ScrollBar", "ButtonEx", "CheckButtonEx",
        "Style",        "Nope"};
    std::string style = "<style type=\"" + rng.pick(kTypes) + "\"><a";
    for (const std::string& name : hostile::attributeNames()) {
        if (name.find("Skin") != std::string::npos || name.find("Icon") != std::string::npos ||
            name == "img" || name == "src" || name == "dropBtn")
            style += " " + name + "=\"fuzz.png\"";
    }
    static const std::vector<std::string> kGrids = {
        "0,0,0,0",    "1,1,1,1", "6,6,6,6", "500,500,500,500", "-5,-5,-5,-5", "2147483647,0,2147483647,0",
        "3,40000,3,3"};
    style += " scaleGrid=\"" + rng.pick(kGrids) + "\" thumbScaleGrid=\"" + rng.pick(kGrids) + "\"";
    return style + " textPlacement=\"" + (rng.chance(50) ? "bottom" : "left") + "\"/></style>";
}

void runSkinCase(Campaign& c, Kind kind, const std::string& input, const std::string& style, Rng& rng) {
    if (kind != kStyle)
        testsupport::writeFile(c.outDir + L"\\hostile-current-fuzz-style.xml", style);
    std::map<std::wstring, std::string> skin = c.seeds.skin;
    if (kind == kFont)
        skin[L"font.xml"] = input;
    skin[L"fuzz.xml"] = kind == kStyle ? input : style;
    if (kind == kImage)
        skin[L"fuzz.png"] = input;
    else
        skin[L"fuzz.png"] = c.seeds.skin.count(L"btn_up.png") ? c.seeds.skin.at(L"btn_up.png") : "";
    loadSkin(skin);
    runLayout(kGallery, rng, 40);
}

void runCase(Campaign& c, Kind kind, uint64_t seed, uint64_t number) {
    std::snprintf(currentCase, sizeof currentCase, "%s case %llu of seed %llu", kKindNames[kind],
                  static_cast<unsigned long long>(number), static_cast<unsigned long long>(seed));
    Rng rng(seed, number);
    ++c.tried[kind];
    const DWORD started = GetTickCount();
    switch (kind) {
        case kLayout: {
            std::string xml = hostile::mutateXml(rng.pick(c.seeds.layouts), rng);
            saveInput(c, "layout", xml, ".xml");
            runLayout(xml, rng, 60);
            break;
        }
        case kStyle: {
            std::string xml =
                hostile::mutateXml(rng.chance(30) ? imageStyle(rng) : rng.pick(c.seeds.styles), rng, 3);
            saveInput(c, "style", xml, ".xml");
            runSkinCase(c, kind, xml, "", rng);
            break;
        }
        case kFont: {
            std::string xml = hostile::mutateXml(c.seeds.skin[L"font.xml"], rng, 3);
            saveInput(c, "font", xml, ".xml");
            runSkinCase(c, kind, xml, imageStyle(rng), rng);
            break;
        }
        case kImage: {
            std::string bytes = hostile::mutateImage(rng.pick(c.seeds.images), rng);
            saveInput(c, "image", bytes, ".img");
            runSkinCase(c, kind, bytes, imageStyle(rng), rng);
            break;
        }
        default: {
            std::string chunk = "fuzz_run(" + std::to_string(rng.next() % 2000000000) + ", 100)\n";
            saveInput(c, "script", chunk, ".lua");
            runScript(c.seeds, chunk);
        }
    }
    for (const std::string& e : escapes) fail("Lua error escaped to the script: " + e);
    escapes.clear();
    c.ms[kind] += GetTickCount() - started;
}

// Replays every input under dir/<kind>/ (file name order).
int replay(Campaign& c, const std::wstring& dir) {
    for (int kind = 0; kind < kKindCount; ++kind) {
        std::wstring folder = dir + L"\\" + testsupport::widen(kKindNames[kind]);
        for (auto& [name, bytes] : readFolder(folder)) {
            std::snprintf(currentCase, sizeof currentCase, "%s regression %ls", kKindNames[kind],
                          name.c_str());
            currentInputPath = folder + L"\\" + name;
            Rng rng(1, c.tried[kind]++);
            switch (kind) {
                case kLayout:
                    runLayout(bytes, rng, 60);
                    break;
                case kScript:
                    runScript(c.seeds, bytes);
                    break;
                default:
                    runSkinCase(c, static_cast<Kind>(kind), bytes, imageStyle(rng), rng);
            }
            for (const std::string& e : escapes) fail("Lua error escaped to the script: " + e);
            escapes.clear();
        }
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    double seconds = 60;
    uint64_t seed = GetTickCount64() ^ GetCurrentProcessId();
    std::wstring replayDir;
    int64_t onlyCase = -1;
    Campaign c;
    c.outDir = testsupport::selfFolder();
    for (int i = 1; i + 1 < argc; i += 2) {
        std::wstring flag = argv[i];
        if (flag == L"--seconds")
            seconds = _wtof(argv[i + 1]);
        else if (flag == L"--seed")
            seed = _wcstoui64(argv[i + 1], nullptr, 10);
        else if (flag == L"--hang-ms")
            kHangMs = static_cast<DWORD>(_wtoi(argv[i + 1]));
        else if (flag == L"--case")
            onlyCase = _wtoi64(argv[i + 1]);
        else if (flag == L"--out")
            c.outDir = argv[i + 1];
        else if (flag == L"--replay")
            replayDir = argv[i + 1];
        for (wchar_t& ch : replayDir)
            if (ch == L'/')
                ch = L'\\';
    }
    SetUnhandledExceptionFilter(onFault);
    dui::setPoisonFailureHandler(onPoisonFailure);
    ULONG guarantee = 64 * 1024;
    SetThreadStackGuarantee(&guarantee);
    std::thread(watchdog).detach();
    SetWindowsHookExW(WH_CBT, dialogHook, nullptr, GetCurrentThreadId());
    SetTimer(nullptr, 0, 250, unstick);

    if (!createUiContextStep()) {
        std::fprintf(stderr, "no UI context\n");
        return 2;
    }
    c.seeds = loadSeeds();
    if (c.seeds.layouts.empty() || c.seeds.skin.empty() || c.seeds.driver.empty() || c.seeds.glue.empty()) {
        std::fprintf(stderr, "the seed inputs were not found under %s\n", TARVO_SOURCE_DIR);
        return 2;
    }
    loadLayoutArchive(c.seeds.scriptLayouts);
    for (auto& [name, text] : c.seeds.scriptLayouts) layoutNames.push_back(name);
    layoutNames.push_back(L"missing.xml");

    DWORD start = GetTickCount();
    if (!replayDir.empty()) {
        replay(c, replayDir);
    } else {
        std::printf("hostile input: seed %llu for %.0f s (replay: --seed %llu)\n",
                    static_cast<unsigned long long>(seed), seconds, static_cast<unsigned long long>(seed));
        std::fflush(stdout);
        if (onlyCase >= 0)
            runCase(c, static_cast<Kind>(onlyCase % kKindCount), seed, static_cast<uint64_t>(onlyCase));
        // Each kind gets its share of the time (scripts are the slowest per case). A case's number
        // carries its kind (n * 5 + kind) and fixes its input, so --case replays it whatever the timing.
        const double share[kKindCount] = {0.2, 0.15, 0.1, 0.15, 0.4};
        for (uint64_t n = 0; onlyCase < 0 && GetTickCount() - start < seconds * 1000 && !failed; ++n) {
            int next = 0;
            for (int k = 1; k < kKindCount; ++k)
                if (c.ms[k] / share[k] < c.ms[next] / share[next])
                    next = k;
            runCase(c, static_cast<Kind>(next), seed, n * kKindCount + next);
        }
    }
    std::printf("hostile input: %.1f s; tried", (GetTickCount() - start) / 1000.0);
    for (int k = 0; k < kKindCount; ++k)
        std::printf(" %s %d (%.1f s)", kKindNames[k], c.tried[k], c.ms[k] / 1000.0);
    std::printf("; parse errors %d; message boxes %d; unstuck %d\n", parseErrors, boxCount, unstuck);
    for (auto& [text, count] : boxTexts) std::printf("  box x%d: %s\n", count, text.c_str());
    std::printf("%s\n", failed ? "hostile input: FAILED" : "hostile input: no failure");
    std::fflush(stdout);
    destroyThreadWindows();
    if (uiParts() && uiParts()->skin)
        uiParts()->skin->clearSkin();
    destroyUiContextStep();
    return failed ? 1 : 0;
}
