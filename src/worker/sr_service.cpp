#include "worker/sr_service.h"

#include <algorithm>
#include <deque>
#include <utility>
#include <vector>

#include "host/handles.h"

namespace {

using Item = std::shared_ptr<SRService::IRunable>;

// Guarded by serviceLock unless noted.
struct ServiceState {
    win::critical_section serviceLock;
    win::critical_section queueLock;  // taken inside serviceLock only, or alone by the hook
    bool running = false;
    DWORD uiThreadId = 0;
    win::unique_hhook hook;
    win::unique_handle stopEvent;
    std::deque<Item> queue;  // guarded by queueLock
    std::vector<win::unique_handle> watched;
    win::unique_handle watcher;
};

ServiceState& state() {
    static ServiceState s;
    return s;
}

// Waits until every handle is signalled, in groups of at most MAXIMUM_WAIT_OBJECTS, then closes them.
void waitAllAndClose(std::vector<win::unique_handle>& handles) {
    std::vector<HANDLE> raw;
    for (auto& h : handles) raw.push_back(h.get());
    for (size_t first = 0; first < raw.size(); first += MAXIMUM_WAIT_OBJECTS) {
        DWORD count = static_cast<DWORD>(std::min<size_t>(MAXIMUM_WAIT_OBJECTS, raw.size() - first));
        WaitForMultipleObjects(count, raw.data() + first, TRUE, INFINITE);
    }
    handles.clear();
}

std::vector<win::unique_handle> takeWatched() {
    auto lock = win::lock(state().serviceLock);
    return std::exchange(state().watched, {});
}

DWORD WINAPI watcherMain(void* stopEvent) {
    for (;;) {
        auto handles = takeWatched();
        if (!handles.empty())
            waitAllAndClose(handles);
        if (WaitForSingleObject(static_cast<HANDLE>(stopEvent), 10000) != WAIT_TIMEOUT)
            break;
    }
    auto rest = takeWatched();
    waitAllAndClose(rest);
    return 0;
}

LRESULT CALLBACK getMessageHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg->hwnd == nullptr && msg->message == 0) {
            Item item;
            {
                auto lock = win::lock(state().queueLock);
                if (!state().queue.empty()) {
                    item = std::move(state().queue.front());
                    state().queue.pop_front();
                }
            }
            if (item)
                item->run();
            return 0;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

bool SRService::start() {
    ServiceState& s = state();
    auto lock = win::lock(s.serviceLock);
    if (s.running)
        return true;
    s.stopEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!s.stopEvent)
        return false;
    PostMessageW(nullptr, 0, 0, 0);
    s.running = true;
    s.uiThreadId = GetCurrentThreadId();
    s.hook.reset(SetWindowsHookExW(WH_GETMESSAGE, getMessageHook, nullptr, s.uiThreadId));
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    return true;
}

int SRService::post(std::shared_ptr<IRunable> item) {
    ServiceState& s = state();
    auto lock = win::lock(s.serviceLock);
    if (!s.running || !item)
        return -1;
    auto queueLock = win::lock(s.queueLock);
    s.queue.push_back(std::move(item));
    PostThreadMessageW(s.uiThreadId, 0, 0, 0);
    return 0;
}

void SRService::watchThread(win::unique_handle owned) {
    if (!owned)
        return;
    ServiceState& s = state();
    auto lock = win::lock(s.serviceLock);
    if (!s.running)
        return;
    if (!s.watcher) {
        // Without a watcher (creation failed) stop waits for the list itself.
        s.watcher.reset(CreateThread(nullptr, 0, watcherMain, s.stopEvent.get(), 0, nullptr));
    }
    s.watched.push_back(std::move(owned));
}

void SRService::stop() {
    ServiceState& s = state();
    std::deque<Item> dropped;
    {
        auto lock = win::lock(s.serviceLock);
        if (s.stopEvent) {
            SetEvent(s.stopEvent.get());
            s.running = false;
            s.hook.reset();
            {
                auto queueLock = win::lock(s.queueLock);
                dropped.swap(s.queue);
            }
            for (auto& item : dropped) item->discard();
        }
    }
    dropped.clear();
    if (s.watcher) {
        WaitForSingleObject(s.watcher.get(), INFINITE);
        s.watcher.reset();
    }
    auto unwatched = takeWatched();
    waitAllAndClose(unwatched);
    s.stopEvent.reset();
}

bool SRService::running() {
    auto lock = win::lock(state().serviceLock);
    return state().running;
}
