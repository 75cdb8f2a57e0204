// The install worker end to end: the real LG.lua and payload archive embedded in this executable, the
// real dispatcher, files, registry, regsvr32 and sample processes of the Wine prefix. The test's main
// thread plays the user interface: it pumps messages and answers each notification through the
// application message-handler map, evaluating the text as the UI script does ("return " .. text).
#include <gtest/gtest.h>
#include <lua.hpp>

#include <atomic>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "dui/delegate.h"
#include "host/handles.h"
#include "host/resource_file_system.h"
#include "dui/context_parts.h"
#include "host/ui_context.h"
#include "win_test_support.h"
#include "worker/lua_work.h"
#include "worker/sr_service.h"

using testsupport::narrow;
using testsupport::pumpUntil;
using testsupport::widen;

namespace {

const std::wstring kPayloadDir = widen(TARVO_TEST_PAYLOAD_DIR);
const wchar_t kComponentsKey[] = L"Software\\TarvoSample\\Components";

struct Note {
    std::string raw;
    bool parsed = false;
    int code = -1;
    std::map<std::string, std::string> fields;  // values as Lua's tostring gives them
    std::string field(const std::string& name) const {
        auto it = fields.find(name);
        return it == fields.end() ? std::string() : it->second;
    }
};

// The UI side: one delegate under message id 1024 in the live UiContext.
class UiHarness {
  public:
    UiHarness() : eval_(luaL_newstate()) {}
    ~UiHarness() {
        detach();
        lua_close(eval_);
    }
    void attach() {
        if (delegate_)
            return;
        delegate_ = Delegate::create(this, &UiHarness::onMessage);
        uiContext()->messageHandlers.add(1024, delegate_);
    }
    void detach() {
        if (!delegate_ || !uiContext())
            return;
        uiContext()->messageHandlers.remove(1024, delegate_);
        delegate_->disarm();
        delegate_->release();
        delegate_ = nullptr;
    }
    std::vector<Note> notes;
    std::function<int(const Note&)> answer;  // default: 1 (OK) for everything

  private:
    static void onMessage(void* context, Control*, EventRecord& record) {
        auto* self = static_cast<UiHarness*>(context);
        Note note = self->evaluate(reinterpret_cast<const char*>(static_cast<intptr_t>(record.wParam)));
        self->notes.push_back(note);
        record.lParam = self->answer ? self->answer(self->notes.back()) : 1;
    }
    Note evaluate(const char* text) {
        Note note;
        note.raw = text;
        lua_settop(eval_, 0);
        std::string chunk = std::string("return ") + text;
        if (luaL_loadstring(eval_, chunk.c_str()) == LUA_OK && lua_pcall(eval_, 0, 1, 0) == LUA_OK &&
            lua_istable(eval_, -1)) {
            note.parsed = true;
            lua_pushnil(eval_);
            while (lua_next(eval_, 1)) {
                lua_pushvalue(eval_, -2);
                std::string key = lua_tostring(eval_, -1);
                lua_pop(eval_, 1);
                luaL_tolstring(eval_, -1, nullptr);
                note.fields[key] = lua_tostring(eval_, -1);
                lua_pop(eval_, 2);
            }
            note.code = std::atoi(note.field("code").c_str());
        }
        lua_settop(eval_, 0);
        return note;
    }
    lua_State* eval_;
    Delegate* delegate_ = nullptr;
};

bool waitWorker(DWORD timeoutMs = 180000) {
    return pumpUntil([] { return !isWorkRunning(); }, timeoutMs);
}

struct Operation {
    int kind;
    std::string path;  // backslashes, as the script names it
};

// The manifest as the generated LG.lua holds it.
std::vector<Operation> manifest() {
    auto text = testsupport::readFile(widen(TARVO_TEST_LG_LUA));
    std::vector<Operation> ops;
    if (!text)
        return ops;
    std::regex entry(R"(\{([01]), \[(=*)\[(.*?)\]\2\]\},)");
    for (std::sregex_iterator it(text->begin(), text->end(), entry), end; it != end; ++it)
        ops.push_back({std::stoi((*it)[1]), (*it)[3]});
    return ops;
}

std::wstring payloadFile(const std::string& path) {
    return kPayloadDir + L"/" + widen(path);
}

std::string configFor(const std::wstring& installPath) {
    return "{installPath=[==[" + narrow(installPath) + "]==]}";
}

std::optional<DWORD> componentCount(const std::wstring& name) {
    auto bytes = testsupport::regReadBinary(HKEY_CURRENT_USER, kComponentsKey, name);
    if (!bytes || bytes->size() != 4)
        return std::nullopt;
    DWORD value;
    memcpy(&value, bytes->data(), 4);
    return value;
}

std::wstring componentValue(const std::wstring& name) {
    auto bytes = testsupport::regReadBinary(HKEY_CURRENT_USER, kComponentsKey, name);
    if (!bytes || bytes->size() < 2)
        return {};
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes->data()), bytes->size() / 2 - 1);
}

// Process-wide set-up shared by every test: the catalogue, the dispatcher and the UI context.
class WorkerEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        files_.registerName(L"LG.lua", 114);
        files_.registerName(L"program.lz", 115);
        files_.registerName(L"probe.lua", 300);
        files_.registerName(L"bad.lua", 301);
        files_.registerName(L"damaged.lz", 302);
        ASSERT_TRUE(SRService::start());
        ASSERT_TRUE(createUiContextWithParts());
    }
    void TearDown() override {
        destroyUiContextWithParts();
        SRService::stop();
    }

  private:
    ResourceFileSystem files_;
};
[[maybe_unused]] auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new WorkerEnvironment);

class Worker : public ::testing::Test {
  protected:
    void SetUp() override {
        ops = manifest();
        ASSERT_GT(ops.size(), 10u);
        root = testsupport::makeTempFolder(L"worker");
        ASSERT_FALSE(root.empty());
        installPath = root + L"\\Product\\";
        ui.attach();
    }
    void TearDown() override {
        ui.detach();
        SetCurrentDirectoryW(kPayloadDir.c_str());  // the script made the install folder current
        testsupport::deleteTree(root);
    }
    void install(const std::string& config) {
        ui.notes.clear();
        startWork(L"LG.lua", L"program.lz", config);
        ASSERT_TRUE(waitWorker());
    }
    bool sameAsPayload(const std::string& path) {
        auto want = testsupport::readFile(payloadFile(std::string(path)));
        auto got = testsupport::readFile(installPath + widen(path));
        return want && got && *want == *got;
    }
    std::vector<Operation> ops;
    std::wstring root;
    std::wstring installPath;
    UiHarness ui;
};

TEST_F(Worker, CompleteRunReportsEveryStepWritesEveryFileAndRegistersTheComponent) {
    testsupport::regDeleteValue(HKEY_CURRENT_USER, kComponentsKey, L"TarvoVCam.ax.registered");
    testsupport::regDeleteValue(HKEY_CURRENT_USER, kComponentsKey, L"TarvoVCam.ax.unregistered");
    ASSERT_EQ(ops[0].kind, 1);
    ASSERT_EQ(ops[0].path, ".version");
    std::vector<std::string> foldersMissingAtFileStep;
    ui.answer = [&](const Note& note) {
        const std::string prefix = "解压文件";
        std::string text = note.field("text");
        if (note.code == 4 && text.rfind(prefix, 0) == 0) {
            std::wstring target = installPath + widen(text.substr(prefix.size()));
            std::wstring folder = target.substr(0, target.find_last_of(L'\\'));
            DWORD attributes = GetFileAttributesW(folder.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                foldersMissingAtFileStep.push_back(text);
        }
        return 1;
    };
    install(configFor(installPath));

    const auto& notes = ui.notes;
    const int range = static_cast<int>(ops.size()) + 2;
    ASSERT_EQ(notes.size(), static_cast<size_t>(range) + 3);
    for (const Note& note : notes) EXPECT_TRUE(note.parsed) << note.raw;
    EXPECT_EQ(notes[0].raw, "{code=1}");
    EXPECT_EQ(notes[1].raw, "{code=3,range=" + std::to_string(range) + "}");
    for (int position = 1; position <= range; ++position) {
        const Note& note = notes[position + 1];
        EXPECT_EQ(note.code, 4);
        EXPECT_EQ(note.field("position"), std::to_string(position));
    }
    EXPECT_EQ(notes[2].raw, "{code=4,position=1,text=[[反注册TarvoVCam.ax...]]}");
    for (size_t i = 0; i < ops.size(); ++i) {
        std::string expected =
            ops[i].kind == 1 ? "解压文件" + ops[i].path : "创建文件夹" + narrow(installPath) + ops[i].path;
        EXPECT_EQ(notes[i + 3].field("text"), expected);
    }
    EXPECT_EQ(notes[range + 1].raw,
              "{code=4,position=" + std::to_string(range) + ",text=[[注册TarvoVCam.ax...]]}");
    EXPECT_EQ(notes.back().raw, "{code=2}");
    EXPECT_TRUE(foldersMissingAtFileStep.empty()) << foldersMissingAtFileStep.front();

    for (const Operation& op : ops) {
        if (op.kind == 1)
            EXPECT_TRUE(sameAsPayload(op.path)) << op.path;
        else
            EXPECT_TRUE(GetFileAttributesW((installPath + widen(op.path)).c_str()) &
                        FILE_ATTRIBUTE_DIRECTORY);
    }
    // regsvr32 /s registered the extracted component; /u found nothing to unregister yet.
    EXPECT_EQ(componentValue(L"TarvoVCam.ax"), installPath + L"TarvoVCam.ax");
    EXPECT_EQ(componentCount(L"TarvoVCam.ax.registered"), 1u);
    EXPECT_EQ(componentCount(L"TarvoVCam.ax.unregistered"), std::nullopt);

    // A second run over the installed product unregisters the old component first, then registers.
    install(configFor(installPath));
    EXPECT_EQ(ui.notes.back().raw, "{code=2}");
    EXPECT_EQ(componentCount(L"TarvoVCam.ax.unregistered"), 1u);
    EXPECT_EQ(componentCount(L"TarvoVCam.ax.registered"), 2u);
    EXPECT_EQ(componentValue(L"TarvoVCam.ax"), installPath + L"TarvoVCam.ax");
}

// The first kind-1 entry in a sub-folder that lies halfway through the manifest.
size_t middleFileInFolder(const std::vector<Operation>& ops) {
    for (size_t i = ops.size() / 2; i < ops.size(); ++i)
        if (ops[i].kind == 1 && ops[i].path.find('\\') != std::string::npos)
            return i;
    return 0;
}

TEST_F(Worker, AFileHeldOpenAsksWithItsFullPathRetriesAndCancelStopsBeforeLaterEntries) {
    size_t held = middleFileInFolder(ops);
    ASSERT_GT(held, 0u);
    std::wstring target = installPath + widen(ops[held].path);
    win::unique_file lock = testsupport::writeAndHoldFile(target, "old");
    ASSERT_TRUE(lock);

    // Retry twice while the file is held, then release it and retry once more: it succeeds.
    int asked = 0;
    ui.answer = [&](const Note& note) {
        if (note.code != 5)
            return 1;
        if (++asked == 3)
            lock.reset();
        return 4;
    };
    install(configFor(installPath));
    EXPECT_EQ(asked, 3);
    for (const Note& note : ui.notes)
        if (note.code == 5) {
            EXPECT_EQ(note.raw, "{code=5,file=[[" + narrow(target) + "]]}");
            EXPECT_EQ(note.field("file"), narrow(target));
        }
    EXPECT_EQ(ui.notes.back().raw, "{code=2}");
    EXPECT_TRUE(sameAsPayload(ops[held].path));

    // Cancel: the script ends at once; no later entry is touched.
    std::wstring second = root + L"\\Second\\";
    installPath = second;
    target = second + widen(ops[held].path);
    lock = testsupport::writeAndHoldFile(target, "old");
    ASSERT_TRUE(lock);
    ui.answer = [](const Note& note) { return note.code == 5 ? 2 : 1; };
    install(configFor(second));
    ASSERT_FALSE(ui.notes.empty());
    EXPECT_EQ(ui.notes.back().code, 5);
    EXPECT_EQ(ui.notes.back().field("file"), narrow(target));
    for (size_t i = 0; i < held; ++i)
        if (ops[i].kind == 1) {
            EXPECT_TRUE(sameAsPayload(ops[i].path)) << ops[i].path;
        }
    for (size_t i = held + 1; i < ops.size(); ++i)
        EXPECT_FALSE(testsupport::fileExists(second + widen(ops[i].path))) << ops[i].path;
    lock.reset();
}

// Cancelled at a file held open halfway through, with entries decoded ahead of it: once the worker has
// ended and the dispatcher has let go of it, the process has the threads, handles and heap it had
// before, and every payload file on disk is whole or absent.
TEST_F(Worker, ACancelHalfwayLeavesNoThreadHandleOrBufferAndNoHalfWrittenFile) {
    size_t held = middleFileInFolder(ops);
    ASSERT_GT(held, 0u);
    std::wstring target = installPath + widen(ops[held].path);
    win::unique_file lock = testsupport::writeAndHoldFile(target, "old");
    ASSERT_TRUE(lock);
    // A clean slate: no watcher thread and no ended thread's handle waiting to be closed.
    SRService::stop();
    ASSERT_TRUE(SRService::start());
    const DWORD self = GetCurrentProcessId();
    const int threads = testsupport::threadCount(self);
    DWORD handles = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handles));
    const size_t heap = testsupport::heapInUse();

    int threadsAtPrompt = 0;
    ui.answer = [&](const Note& note) {
        if (note.code != 5)
            return 1;
        threadsAtPrompt = testsupport::threadCount(self);
        return 2;
    };
    install(configFor(installPath));
    ASSERT_FALSE(ui.notes.empty());
    EXPECT_EQ(ui.notes.back().code, 5);
    std::vector<Note>().swap(ui.notes);
    EXPECT_GE(threadsAtPrompt, threads + 3) << "the worker, its decode-ahead and the dispatcher's watcher";

    ui.detach();
    SRService::stop();
    ASSERT_TRUE(SRService::start());
    ui.attach();
    EXPECT_TRUE(pumpUntil([&] { return testsupport::threadCount(self) == threads; }, 10000))
        << testsupport::threadCount(self) << " threads, " << threads << " before";
    DWORD after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_EQ(after, handles);
    EXPECT_LT(testsupport::heapInUse(), heap + 128 * 1024) << heap << " bytes in use before";

    lock.reset();
    EXPECT_EQ(testsupport::readFile(target), std::optional<std::string>("old"));
    for (size_t i = 0; i < ops.size(); ++i) {
        std::wstring file = installPath + widen(ops[i].path);
        if (ops[i].kind != 1 || i == held)
            continue;
        if (i < held)
            EXPECT_TRUE(sameAsPayload(ops[i].path)) << ops[i].path;
        else
            EXPECT_FALSE(testsupport::fileExists(file)) << ops[i].path;
    }
}

// The running-product list as the product's programs keep it.
std::wstring runningList() {
    win::unique_handle mapping(
        OpenFileMappingW(FILE_MAP_READ, FALSE, L"7E3B52C0-19AD-4F6E-9B21-3C8D5A6E0F47"));
    if (!mapping)
        return {};
    win::unique_view view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 4096));
    if (!view)
        return {};
    const auto* text = static_cast<const wchar_t*>(view.get());
    return std::wstring(text, wcsnlen(text, 2048));
}

TEST_F(Worker, RunningProgramsAreNamedOneALineCancelKeepsThemAndOkEndsThem) {
    // Two copies of the product's program, started from two folders outside the install folder.
    std::wstring exeA = root + L"\\a\\TarvoVirtualCameraUI.exe";
    std::wstring exeB = root + L"\\b\\TarvoVirtualCameraUI.exe";
    ASSERT_TRUE(testsupport::makeFolders(root + L"\\a") && testsupport::makeFolders(root + L"\\b"));
    std::wstring sample = payloadFile("TarvoVirtualCameraUI.exe");
    ASSERT_TRUE(CopyFileW(sample.c_str(), exeA.c_str(), FALSE) &&
                CopyFileW(sample.c_str(), exeB.c_str(), FALSE));
    auto a = testsupport::startProcess(exeA);
    ASSERT_TRUE(pumpUntil([&] { return runningList().find(exeA) != std::wstring::npos; }, 10000));
    auto b = testsupport::startProcess(exeB);
    ASSERT_TRUE(pumpUntil([&] { return runningList() == exeA + L";" + exeB + L";"; }, 10000))
        << runningList();

    ui.answer = [](const Note& note) { return note.code == 10 ? 2 : 1; };
    install(configFor(installPath));
    ASSERT_EQ(ui.notes.size(), 4u);
    EXPECT_EQ(ui.notes[2].field("text"), "反注册TarvoVCam.ax...");
    EXPECT_EQ(ui.notes[3].code, 10);
    EXPECT_EQ(ui.notes[3].raw, "{code=10, file=[[" + narrow(exeA) + "\r\n" + narrow(exeB) + "\r\n]]}");
    EXPECT_TRUE(testsupport::processAlive(a.pid));
    EXPECT_TRUE(testsupport::processAlive(b.pid));
    EXPECT_FALSE(testsupport::fileExists(installPath + L".version"));

    ui.answer = [](const Note&) { return 1; };
    install(configFor(installPath));
    EXPECT_EQ(ui.notes[3].code, 10);
    EXPECT_EQ(ui.notes.back().raw, "{code=2}");
    EXPECT_EQ(WaitForSingleObject(a.handle.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(b.handle.get(), 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(sameAsPayload("TarvoVirtualCameraUI.exe"));
}

TEST_F(Worker, AnInstallFolderOnAMissingDriveReportsCode6) {
    std::wstring drive;
    for (wchar_t letter = L'Q'; letter <= L'Y' && drive.empty(); ++letter) {
        std::wstring root = std::wstring(1, letter) + L":\\";
        if (GetDriveTypeW(root.c_str()) == DRIVE_NO_ROOT_DIR)
            drive = root;
    }
    ASSERT_FALSE(drive.empty());
    std::wstring path = drive + L"nowhere\\";
    install(configFor(path));
    ASSERT_EQ(ui.notes.size(), 3u);
    EXPECT_EQ(ui.notes[0].code, 1);
    EXPECT_EQ(ui.notes[1].code, 3);
    EXPECT_EQ(ui.notes[2].raw, "{code=6,error=[[创建文件夹" + narrow(path) + "失败]]}");
}

TEST_F(Worker, NotificationsAreAnsweredWhileTheUiThreadSitsInAMessageBox) {
    std::atomic<bool> finished{false};
    ui.answer = [&](const Note& note) {
        if (note.code == 2)
            finished = true;
        return 1;
    };
    ui.notes.clear();
    startWork(L"LG.lua", L"program.lz", configFor(installPath));
    std::thread closer([&] {
        HWND box = testsupport::findDialog(GetCurrentProcessId(), L"worker-modal", 10000);
        for (int i = 0; i < 1200 && !finished; ++i) Sleep(50);
        if (box)
            testsupport::pressButton(box, IDOK);
    });
    int pressed = MessageBoxW(nullptr, L"installing", L"worker-modal", MB_OK);
    closer.join();
    EXPECT_EQ(pressed, IDOK);
    EXPECT_TRUE(finished.load()) << "the whole installation ran inside the message box's loop";
    EXPECT_TRUE(waitWorker());
    EXPECT_TRUE(sameAsPayload(ops.back().kind == 1 ? ops.back().path : ".version"));
}

std::map<std::string, std::string> readReport(const std::wstring& path) {
    std::map<std::string, std::string> values;
    auto text = testsupport::readFile(path);
    if (!text)
        return values;
    std::regex line(R"(([^=\n]+)=([^\n]*)\n)");
    for (std::sregex_iterator it(text->begin(), text->end(), line), end; it != end; ++it)
        values[(*it)[1]] = (*it)[2];
    return values;
}

TEST_F(Worker, AnswersWithoutHandlerAndWithoutDispatcher) {
    std::wstring out = root + L"\\answer.txt";
    std::string config = "{mode='answer', out=[[" + narrow(out) + "]]}";
    ui.detach();
    startWork(L"probe.lua", L"program.lz", config);
    ASSERT_TRUE(waitWorker());
    EXPECT_EQ(readReport(out)["answer"], "0") << "no handler registered";

    // Refused by a stopped dispatcher: the worker is released at once with Cancel.
    SRService::stop();
    startWork(L"probe.lua", L"program.lz", config);
    bool ended = waitWorker(20000);
    ASSERT_TRUE(SRService::start());
    ASSERT_TRUE(ended);
    EXPECT_EQ(readReport(out)["answer"], "2");
}

TEST_F(Worker, StopWaitsForAWorkerThatIsStillExtracting) {
    int seen = 0;
    ui.answer = [&](const Note&) {
        ++seen;
        return 1;
    };
    startWork(L"LG.lua", L"program.lz", configFor(installPath));
    ASSERT_TRUE(pumpUntil([&] { return seen >= 8; }, 30000));
    ui.detach();
    SRService::stop();  // the worker's later notifications are refused; stop waits for it to finish
    bool running = isWorkRunning();
    ASSERT_TRUE(SRService::start());
    EXPECT_FALSE(running);
    for (const Operation& op : ops)
        if (op.kind == 1) {
            EXPECT_TRUE(sameAsPayload(op.path)) << op.path;
        }
}

TEST_F(Worker, ExtractFileReadsBackslashNamesReplacesReadOnlyFilesAndNeedsTheFolder) {
    ASSERT_TRUE(testsupport::makeFolders(root + L"\\x"));
    std::wstring dir = root + L"\\x\\";
    std::wstring readonlyTarget = dir + L"locked.ini";
    ASSERT_TRUE(testsupport::writeFile(readonlyTarget, "old content"));
    ASSERT_TRUE(SetFileAttributesW(readonlyTarget.c_str(), FILE_ATTRIBUTE_READONLY));
    std::wstring out = root + L"\\extract.txt";
    std::string config = "{mode='extract', out=[[" + narrow(out) + "]], dir=[[" + narrow(dir) +
                         "]], entry=[[configure\\camera.ini]], readonly=[[" + narrow(readonlyTarget) +
                         "]], installPath=[[C:\\Program Files\\Tarvo\\]]}";
    startWork(L"probe.lua", L"program.lz", config);
    ASSERT_TRUE(waitWorker());
    auto report = readReport(out);
    EXPECT_EQ(report["backslash"], "true");
    EXPECT_EQ(report["readonly"], "true");
    EXPECT_EQ(report["nofolder"], "false");
    EXPECT_EQ(report["noentry"], "false");
    EXPECT_EQ(report["installPath"], "C:\\Program Files\\Tarvo\\");
    auto want = testsupport::readFile(payloadFile("configure/camera.ini"));
    ASSERT_TRUE(want);
    EXPECT_EQ(testsupport::readFile(dir + L"plain.ini"), want);
    EXPECT_EQ(testsupport::readFile(readonlyTarget), want);
    EXPECT_FALSE(GetFileAttributesW(readonlyTarget.c_str()) & FILE_ATTRIBUTE_READONLY);
}

// damaged.lz holds "whole.txt" (4,450 bytes, LZMA) and "cut.txt": the same stream cut after half of
// its compressed bytes, still claiming 4,450 bytes. A short file must not pass for an installed one:
// extractFile answers false, so the install script asks and retries.
TEST_F(Worker, ExtractFileAnswersFalseForAnEntryThatDecodesShort) {
    std::wstring dir = root + L"\\";
    std::wstring out = root + L"\\damaged.txt";
    std::string config = "{mode='damaged', out=[[" + narrow(out) + "]], dir=[[" + narrow(dir) + "]]}";
    startWork(L"probe.lua", L"damaged.lz", config);
    ASSERT_TRUE(waitWorker());
    auto report = readReport(out);
    EXPECT_EQ(report["whole"], "true");
    EXPECT_EQ(report["cut"], "false");
    auto whole = testsupport::readFile(dir + L"whole.txt");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->size(), 4450u);
}

TEST_F(Worker, AnInstallPathHoldingClosingBracketsInstalls) {
    installPath = root + L"\\we]]ird]\\";
    install(configFor(installPath));
    for (const Note& note : ui.notes) EXPECT_TRUE(note.parsed) << note.raw;
    ASSERT_FALSE(ui.notes.empty());
    EXPECT_EQ(ui.notes.back().raw, "{code=2}");
    for (const Note& note : ui.notes) {
        std::string text = note.field("text");
        if (text.rfind("创建文件夹", 0) == 0) {
            EXPECT_NE(text.find(narrow(installPath)), std::string::npos);
        }
    }
    for (const Operation& op : ops)
        if (op.kind == 1) {
            EXPECT_TRUE(sameAsPayload(op.path)) << op.path;
        }
}

// Dialogs the worker thread shows: their text, after pressing OK.
std::wstring workerError(const std::wstring& script, const std::wstring& payload) {
    startWork(script, payload, "{installPath=[[C:\\unused\\]]}");
    std::wstring text;
    std::thread reader([&] {
        HWND box = testsupport::findDialog(GetCurrentProcessId(), L"错误", 15000);
        if (!box)
            return;
        text = testsupport::dialogText(box);
        testsupport::pressButton(box, IDOK);
    });
    bool ended = waitWorker(30000);
    reader.join();
    EXPECT_TRUE(ended);
    return text;
}

TEST_F(Worker, MissingResourcesAndScriptErrorsShowAnErrorAndEndTheWorker) {
    EXPECT_NE(workerError(L"nosuch.lua", L"program.lz").find(L"nosuch.lua"), std::wstring::npos);
    EXPECT_NE(workerError(L"LG.lua", L"nosuch.lz").find(L"nosuch.lz"), std::wstring::npos);
    std::wstring syntax = workerError(L"bad.lua", L"program.lz");
    EXPECT_NE(syntax.find(L"bad.lua:1:"), std::wstring::npos) << syntax;
    EXPECT_TRUE(ui.notes.empty());
}

}  // namespace
