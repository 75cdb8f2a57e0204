// worker_bench [notify|install|decode|install-only|all]: prints figures as "name=value" lines.
//  notify:       median µs of notifyMessage with a trivial handler (UI thread in a GetMessage loop)
//                and, in the same run between the same two threads, of a bare event ping-pong (the
//                floor).
//  install:      MB/s of unpacked payload from the first notification to {code=2} for the embedded
//                LG.lua + program.lz, against a bare decode of every entry into memory; peak private
//                memory.
//  decode:       the bare decode alone, and install-only the install alone, so that a sampler outside
//                the process sees the peak memory of each by itself.
#include <windows.h>
#include <psapi.h>

#include <lua.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench_timing.h"
#include "dui/delegate.h"
#include "host/cleanup.h"
#include "host/handles.h"
#include "dui/context_parts.h"
#include "host/owned_archive.h"
#include "host/resource_file_system.h"
#include "host/text_conv.h"
#include "host/ui_context.h"
#include "worker/lua_work.h"
#include "worker/sr_service.h"

namespace {

double ticksToMicros(LONGLONG ticks) {
    static LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return static_cast<double>(ticks) * 1e6 / static_cast<double>(frequency);
}

LONGLONG now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

struct Handler {
    Delegate* delegate = nullptr;
    void attach(EventFn fn, void* context) {
        delegate = Delegate::create(context, fn);
        uiContext()->messageHandlers.add(1024, delegate);
    }
    void detach() {
        uiContext()->messageHandlers.remove(1024, delegate);
        delegate->release();
    }
};

void pumpUntil(const std::atomic<bool>& done) {
    MSG msg;
    while (!done) {
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0)
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
}

void benchNotify(int rounds) {
    Handler handler;
    handler.attach([](void*, Control*, EventRecord& record) { record.lParam = 1; }, nullptr);
    std::vector<double> notify, pingpong;
    std::atomic<bool> done{false};
    bench::EventPingPong pingPong;
    std::thread worker([&] {
        lua_State* L = luaL_newstate();
        lua_pushcfunction(L, LuaWork::notifyMessage);
        lua_setglobal(L, "notifyMessage");
        for (int i = 0; i < rounds; ++i) {
            lua_getglobal(L, "notifyMessage");
            lua_pushstring(L, "{code=1}");
            LONGLONG t0 = now();
            lua_call(L, 1, 1);
            notify.push_back(ticksToMicros(now() - t0));
            lua_pop(L, 1);
        }
        lua_close(L);
        done = true;
        PostThreadMessageW(0, 0, 0, 0);
        pingpong = pingPong.measure(rounds);
    });
    pumpUntil(done);
    pingPong.serve(rounds);
    worker.join();
    handler.detach();
    std::printf("notify_rounds=%d\nnotify_median_us=%.1f\nevent_pingpong_median_us=%.1f\n", rounds,
                bench::median(notify), bench::median(pingpong));
}

struct InstallTimes {
    LONGLONG first = 0;
    LONGLONG finish = 0;
    LONGLONG firstEntry = 0;    // position 2: the first manifest entry
    LONGLONG registerStep = 0;  // the last code 4
    int notes = 0;
    std::atomic<bool> ended{false};
};

struct BareDecode {
    double seconds = 0;
    uint64_t unpacked = 0;
    size_t entries = 0;
    size_t archiveSize = 0;
};

// The embedded payload's sizes and, when decode is set, every entry decoded into memory and dropped,
// on this thread alone. The decode reads a private copy already in memory, so that neither page faults
// nor page releases count; sizes alone are read from the payload in place.
bool readPayload(bool decode, BareDecode* out) {
    FileSystem* files = currentFileSystem();
    size_t archiveSize = 0;
    OwnedArchive archive;
    if (!(decode ? archive.open(files, L"program.lz") : archive.openInPlace(files, L"program.lz")) ||
        !files->mapFile(L"program.lz", &archiveSize)) {
        std::printf("error=no payload resource\n");
        return false;
    }
    out->archiveSize = archiveSize;
    out->entries = archive.get()->entries().size();
    LONGLONG t0 = now();
    for (const auto& [name, entry] : archive.get()->entries()) {
        size_t got = 0;
        if (!decode)
            out->unpacked += entry.contentSize();
        else if (unique_entry(extractEntry(*archive.get(), entry, &got)))
            out->unpacked += got;
    }
    out->seconds = ticksToMicros(now() - t0) / 1e6;
    return true;
}

void printPayload(const BareDecode& bare, bool decoded) {
    double mb = static_cast<double>(bare.unpacked) / 1e6;
    std::printf("entries=%zu\nunpacked_MB=%.1f\narchive_MB=%.1f\n", bare.entries, mb,
                static_cast<double>(bare.archiveSize) / 1e6);
    if (decoded)
        std::printf("bare_decode_s=%.2f\nbare_decode_MBps=%.1f\n", bare.seconds, mb / bare.seconds);
}

struct InstallRun {
    double seconds = 0;
    double entrySeconds = 0;
    int notes = 0;
    bool completed = false;
};

// The embedded install script run by the worker into a fresh folder under %TEMP%, with this thread as
// the user-interface thread answering every notification at once.
InstallRun runInstall() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring target = std::wstring(temp) + L"worker_bench_install\\";
    std::string utf8 = win::wideToUtf8(target);

    InstallTimes times;
    Handler handler;
    handler.attach(
        [](void* context, Control*, EventRecord& record) {
            auto* t = static_cast<InstallTimes*>(context);
            const char* text = reinterpret_cast<const char*>(static_cast<intptr_t>(record.wParam));
            LONGLONG stamp = now();
            if (!t->notes++)
                t->first = stamp;
            if (std::strncmp(text, "{code=4,position=2,", 19) == 0)
                t->firstEntry = stamp;
            if (std::strstr(text, "text=[[注册TarvoVCam.ax"))
                t->registerStep = stamp;
            if (std::strcmp(text, "{code=2}") == 0)
                t->finish = stamp;
            record.lParam = 1;
        },
        &times);
    // A fresh install, as after the installer's own clean-up: replacing files left by an earlier run
    // would add their deletion (milliseconds per large file) to the figure.
    removeTreeForced(target);
    startWork(L"LG.lua", L"program.lz", "{installPath=[[" + utf8 + "]]}");
    std::atomic<bool> ended{false};
    std::thread waiter([&] {
        while (isWorkRunning()) Sleep(5);
        ended = true;
        PostThreadMessageW(0, 0, 0, 0);
    });
    pumpUntil(ended);
    waiter.join();
    handler.detach();
    removeTreeForced(target);

    InstallRun run;
    run.seconds = ticksToMicros(times.finish - times.first) / 1e6;
    run.entrySeconds = ticksToMicros(times.registerStep - times.firstEntry) / 1e6;
    run.notes = times.notes;
    run.completed = times.finish != 0;
    return run;
}

void printInstall(const InstallRun& run, uint64_t unpacked) {
    double mb = static_cast<double>(unpacked) / 1e6;
    std::printf("install_s=%.2f\ninstall_MBps=%.1f\n", run.seconds, mb / run.seconds);
    std::printf("install_entries_only_s=%.2f\ninstall_entries_only_MBps=%.1f\n", run.entrySeconds,
                mb / run.entrySeconds);
    std::printf("notifications=%d\ncompleted=%d\n", run.notes, run.completed);
}

// Under Wine both counters report the current figure, not the peak: sample from outside for a peak.
void printMemory() {
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof(memory));
    std::printf("peak_private_MB=%.1f\npeak_working_set_MB=%.1f\n",
                static_cast<double>(memory.PeakPagefileUsage) / 1e6,
                static_cast<double>(memory.PeakWorkingSetSize) / 1e6);
}

void benchInstall(bool decode, bool install) {
    BareDecode bare;
    if (!readPayload(decode, &bare))
        return;
    printPayload(bare, decode);
    if (install) {
        InstallRun run = runInstall();
        printInstall(run, bare.unpacked);
        if (decode)
            std::printf("install_vs_bare=%.2f\n", bare.seconds / run.seconds);
    }
    printMemory();
}

}  // namespace

int main(int argc, char** argv) {
    std::string what = argc > 1 ? argv[1] : "all";
    ResourceFileSystem files;
    files.registerName(L"LG.lua", 114);
    files.registerName(L"program.lz", 115);
    SRService::start();
    createUiContextWithParts();
    if (what == "notify" || what == "all")
        benchNotify(argc > 2 ? std::atoi(argv[2]) : bench::rounds(20000));
    if (what == "install" || what == "all")
        benchInstall(true, true);
    else if (what == "decode")
        benchInstall(true, false);
    else if (what == "install-only")
        benchInstall(false, true);
    destroyUiContextWithParts();
    SRService::stop();
    return 0;
}
