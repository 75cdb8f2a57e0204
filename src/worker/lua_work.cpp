#include "worker/lua_work.h"

#include <ole2.h>
#include <lua.hpp>

#include <algorithm>
#include <atomic>
#include <memory>

#include "dui/delegate.h"
#include "host/owned_archive.h"
#include "host/text_conv.h"
#include "host/ui_context.h"
#include "sysfunc/system_functions.h"
#include "worker/read_ahead.h"

namespace {

constexpr int32_t kAnswerCancel = 2;

std::atomic<bool> workRunning{false};

// One worker's inputs and resources, owned by its thread.
struct WorkerJob {
    std::wstring scriptName;
    std::wstring payloadName;
    std::string config;
    OwnedArchive archive;                       // the payload, read in place where the catalogue allows
    std::unique_ptr<EntryReadAhead> readAhead;  // over archive; goes first
};

void showError(const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), L"错误", MB_OK);
}

WorkerJob* upvalueJob(lua_State* L) {
    return static_cast<WorkerJob*>(lua_touserdata(L, lua_upvalueindex(1)));
}

// Writes the whole buffer to a new file at target, replacing a read-only one.
bool writeTarget(const std::wstring& target, const void* data, size_t size) {
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(target.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    // Nothing to delete when the lookup found no such file (the usual case of a fresh install).
    if (attributes != INVALID_FILE_ATTRIBUTES || GetLastError() != ERROR_FILE_NOT_FOUND)
        DeleteFileW(target.c_str());
    win::unique_file file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || size > MAXDWORD)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr);
    return ok && written == size;
}

// Runs the install script over the job's open archive: a fresh interpreter with the system functions,
// notifyMessage and extractFile, then the configuration chunk, then the script itself.
void runScript(WorkerJob& job, FileSystem& files) {
    std::unique_ptr<lua_State, decltype(&lua_close)> state(luaL_newstate(), &lua_close);
    if (!state)
        return;
    lua_State* L = state.get();
    luaL_openlibs(L);
    registerSystemFunctions(L);
    lua_pushcfunction(L, LuaWork::notifyMessage);
    lua_setglobal(L, "notifyMessage");
    lua_pushlightuserdata(L, &job);
    lua_pushcclosure(L, LuaWork::extractFile, 1);
    lua_setglobal(L, "extractFile");

    if (!job.config.empty()) {
        job.config = "config = " + job.config;
        OutputDebugStringA((job.config + "\n").c_str());
        if (luaL_loadbuffer(L, job.config.data(), job.config.size(), "=config") == LUA_OK)
            lua_pcall(L, 0, 0, 0);
        lua_settop(L, 0);
    }

    size_t size = 0;
    unique_file_buffer script = readOwnedFile(files, job.scriptName.c_str(), &size);
    if (!script) {
        showError(L"找不到安装脚本“" + job.scriptName + L"”，安装无法进行。");
        return;
    }
    // The entries the script names are decoded ahead in the order it names them.
    job.readAhead = std::make_unique<EntryReadAhead>(
        job.archive, expectedEntries({static_cast<const char*>(script.get()), size}, *job.archive.get()));
    std::string chunkName = "=" + win::wideToUtf8(job.scriptName);
    int status = luaL_loadbuffer(L, static_cast<const char*>(script.get()), size, chunkName.c_str());
    if (status == LUA_OK)
        status = lua_pcall(L, 0, 0, 0);
    if (status != LUA_OK) {
        const char* message = lua_tostring(L, -1);
        showError(message ? win::utf8ToWide(message) : L"(error object is not a string)");
    }
}

DWORD WINAPI workerMain(void* parameter) {
    {
        auto ole = win::ole_initialize();
        std::unique_ptr<WorkerJob> job(static_cast<WorkerJob*>(parameter));  // ends before OLE does
        FileSystem* files = currentFileSystem();
        if (!files)
            showError(L"安装程序的资源目录不可用，安装无法进行。");
        else if (!job->archive.openInPlace(files, job->payloadName.c_str()))
            showError(L"找不到安装数据“" + job->payloadName + L"”，安装无法进行。");
        else
            runScript(*job, *files);
    }
    workRunning = false;
    return 0;
}

}  // namespace

void LuaWork::NotifyRunable::setAnswer(int32_t answer) {
    auto guard = win::lock(lock_);
    answer_ = answer;
    done_ = true;
    WakeAllConditionVariable(&answered_);
}

void LuaWork::NotifyRunable::run() {
    setAnswer(deliverNotification(text_));
}

void LuaWork::NotifyRunable::discard() {
    setAnswer(kAnswerCancel);
}

int32_t LuaWork::NotifyRunable::waitAnswer() const {
    auto guard = win::lock(lock_);
    while (!done_) SleepConditionVariableCS(&answered_, lock_.native(), INFINITE);
    return answer_;
}

int LuaWork::notifyMessage(lua_State* L) {
    const char* text = luaL_checkstring(L, 1);  // raises before any native object exists
    int32_t answer = kAnswerCancel;
    {
        auto item = std::make_shared<NotifyRunable>(text);
        if (SRService::post(item) == 0)
            answer = item->waitAnswer();
    }
    lua_pushinteger(L, answer);
    return 1;
}

int LuaWork::extractFile(lua_State* L) {
    WorkerJob* job = upvalueJob(L);
    std::wstring name = win::utf8ToWide(lua_tostring(L, 1));
    std::wstring target = win::utf8ToWide(lua_tostring(L, 2));
    bool ok = false;
    if (job && job->archive && !name.empty() && !target.empty()) {
        std::replace(name.begin(), name.end(), L'\\', L'/');
        std::u16string_view key(reinterpret_cast<const char16_t*>(name.c_str()), name.size());
        size_t size = 0;
        PackResult result = PackResult::Missing;
        unique_entry data = job->readAhead
                                ? job->readAhead->take(key, &size, &result)
                                : unique_entry(extractEntry(*job->archive.get(), key.data(), &size, &result));
        // Only the whole content is installed: a short or corrupt entry answers false like a missing
        // one, so the script asks and retries instead of leaving a truncated file behind.
        if (result == PackResult::Ok)
            ok = writeTarget(target, data.get(), size);
    }
    lua_pushboolean(L, ok);
    return 1;
}

int32_t deliverNotification(const char* text) {
    EventRecord record;
    record.id = kNotificationMessage;
    record.route = kRouteDirect;
    record.wParam = static_cast<int64_t>(reinterpret_cast<intptr_t>(text));
    UiContext* context = uiContext();
    if (!context)
        return 0;
    if (!context->messageHandlers.raise(kNotificationMessage, static_cast<Control*>(nullptr), record))
        return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(record.lParam));
}

void startWork(const std::wstring& scriptName, const std::wstring& payloadName, const std::string& config) {
    bool idle = false;
    if (!workRunning.compare_exchange_strong(idle, true)) {
        OutputDebugStringW(L"startWork: a worker is still running; request ignored\n");
        return;
    }
    auto job = std::make_unique<WorkerJob>();
    job->scriptName = scriptName;
    job->payloadName = payloadName;
    job->config = config.substr(0, config.find('\0'));
    win::unique_handle thread(CreateThread(nullptr, 0, workerMain, job.get(), 0, nullptr));
    if (!thread) {
        workRunning = false;
        return;
    }
    job.release();  // the thread owns it now
    SRService::watchThread(std::move(thread));
}

bool isWorkRunning() {
    return workRunning.load();
}
