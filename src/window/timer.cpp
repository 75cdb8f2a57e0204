#include "window/timer.h"

#include <map>

#include "host/static_order.h"

namespace {
// System timer id -> running timer.
TARVO_STATIC_ORDER(kThreadTimers) std::map<UINT_PTR, Timer*> g_timers;

std::map<UINT_PTR, Timer*>& timers() {
    return g_timers;
}
}  // namespace

Timer::~Timer() {
    stop();
}

bool Timer::start() {
    if (running_)
        return true;
    UINT_PTR id = SetTimer(nullptr, 0, interval_, onSystemTimer);
    if (!id)
        return false;
    running_ = true;
    id_ = id;
    timers()[id] = this;
    tick();  // last: the tick may delete this timer
    return true;
}

void Timer::stop() {
    if (!running_)
        return;
    running_ = false;
    KillTimer(nullptr, id_);
    auto& all = timers();
    auto it = all.find(id_);
    if (it != all.end() && it->second == this)
        all.erase(it);
    id_ = 0;
}

void CALLBACK Timer::onSystemTimer(HWND, UINT, UINT_PTR id, DWORD) {
    auto& all = timers();
    auto it = all.find(id);
    if (it != all.end() && it->second->running_)
        it->second->tick();
}

std::size_t runningTimerCount() {
    return timers().size();
}
