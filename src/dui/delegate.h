// Event records and delegates. Delegate records come from a fixed pool of 50,000 created at process
// start and go back to it when the last shared reference is released. UI thread only.
#pragma once

#include <cstddef>
#include <cstdint>

class Control;

enum EventRoute : int32_t { kRouteTunnel = 0, kRouteBubble = 1, kRouteDirect = 2 };

struct EventRecord {
    int32_t id = 0;
    int32_t route = kRouteDirect;
    int64_t wParam = 0;
    int64_t lParam = 0;
    int32_t handled = 0;  // nonzero stops the dispatch
};
static_assert(sizeof(EventRecord) == 32, "EventRecord is a 32-byte record");

// A record for `id` on `route` with zero parameters, not handled.
constexpr EventRecord makeEvent(int32_t id, int32_t route = kRouteDirect) {
    EventRecord e;
    e.id = id;
    e.route = route;
    return e;
}

// Event ids shared by native code and scripts.
namespace event {
constexpr int32_t Attached = 0;
constexpr int32_t Detached = 1;
constexpr int32_t GotFocus = 2;
constexpr int32_t LostFocus = 3;
constexpr int32_t PrevKeyDown = 4;
constexpr int32_t KeyDown = 5;
constexpr int32_t PrevKeyUp = 6;
constexpr int32_t KeyUp = 7;
constexpr int32_t PrevKeyPress = 8;
constexpr int32_t KeyPress = 9;
constexpr int32_t GotCapture = 10;
constexpr int32_t LostCapture = 11;
constexpr int32_t PrevLButtonDown = 12;
constexpr int32_t LButtonDown = 13;
constexpr int32_t PrevLButtonUp = 14;
constexpr int32_t LButtonUp = 15;
constexpr int32_t PrevRButtonDown = 16;
constexpr int32_t RButtonDown = 17;
constexpr int32_t PrevRButtonUp = 18;
constexpr int32_t RButtonUp = 19;
constexpr int32_t LButtonDbClick = 20;
constexpr int32_t RButtonDbClick = 21;
constexpr int32_t PrevMouseWheel = 22;
constexpr int32_t MouseWheel = 23;
constexpr int32_t MouseMove = 25;
constexpr int32_t MouseEnter = 26;
constexpr int32_t MouseLeave = 27;
constexpr int32_t QueryCursor = 28;
constexpr int32_t Click = 30;
constexpr int32_t ValueChange = 31;
constexpr int32_t Notify = 32;
constexpr int32_t DragEnter = 33;
constexpr int32_t DragOver = 34;
constexpr int32_t DragLeave = 35;
constexpr int32_t Drop = 36;
}  // namespace event

using EventFn = void (*)(void* context, Control* sender, EventRecord& event);

class Delegate {
  public:
    static constexpr std::size_t kPoolSize = 50000;

    // A new delegate holding one reference, or null when the pool is exhausted.
    static Delegate* create(void* context, EventFn function);
    // Records still free in the pool.
    static std::size_t poolAvailable();

    void addRef();
    // Drops one reference; the record returns to the pool with the last one.
    void release();

    // A disarmed delegate keeps its context but calls nothing.
    void disarm() { function_ = nullptr; }
    bool armed() const { return function_ != nullptr; }
    void* context() const { return context_; }
    EventFn function() const { return function_; }
    void invoke(Control* sender, EventRecord& event) const;

  private:
    friend struct DelegatePool;
    Delegate() = default;
    union {
        void* context_;
        Delegate* nextFree_;
    };
    EventFn function_ = nullptr;
    uint32_t refs_ = 0;
};
