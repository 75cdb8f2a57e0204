// Order of construction of the process-wide objects made before the entry runs. Give such an object
// TARVO_STATIC_ORDER(<its constant>) so that construction follows this list across all modules and
// destruction at exit runs in reverse. Objects without it are built before all of these.
#pragma once

namespace static_order {
enum : int {
    kScreenMemoryDc = 1001,         // memory DC compatible with the screen (render)
    kDelegatePool = 1002,           // the 50,000 Delegate records (dui)
    kLiveControls = 1003,           // the live-control set (dui)
    kWindowRegistry = 1004,         // top-level windows (window)
    kThreadTimers = 1005,           // thread timers by id (window)
    kScriptTimers = 1006,           // script timers by window (script)
    kBrowserInPlaceObjects = 1007,  // active in-place objects of the web browser control (controls)
    kDispatcherState = 1008,        // locks and queues of the cross-thread dispatcher (worker)
};
}  // namespace static_order

#define TARVO_STATIC_ORDER(rank) __attribute__((init_priority(static_order::rank)))
