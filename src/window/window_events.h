// Small helpers the window's input routing shares (mouse in window_input.cpp, keys in
// window_keys.cpp). UI thread only.
#pragma once

#include <windows.h>

#include "dui/control.h"

namespace windowEvents {

// Raises the event and answers whether a handler marked it handled.
inline bool raise(Control* control, int32_t id, EventRoute route, WPARAM wParam = 0, LPARAM lParam = 0) {
    EventRecord e;
    e.id = id;
    e.route = route;
    e.wParam = static_cast<int64_t>(wParam);
    e.lParam = static_cast<int64_t>(lParam);
    control->raiseEvent(e);
    return e.handled != 0;
}

inline void repaintOnState(Control* control) {
    if (control->hasFlag(flag::repaintOnState))
        control->invalidate(false);
}

}  // namespace windowEvents
