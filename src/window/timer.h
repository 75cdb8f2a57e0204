// Timer: a thread timer of the UI thread, without a window. Ticks arrive through whatever message loop
// runs on that thread (modal runs, message boxes, popup loops). Starting ticks once at once; stopping
// is for good (a tick already queued is not delivered). The destructor stops the timer. UI thread only.
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>

class Timer {
  public:
    explicit Timer(UINT interval = 100) : interval_(interval) {}
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    virtual ~Timer();

    // One period elapsed (or the timer was just started). A tick may stop or delete its own timer.
    virtual void tick() = 0;

    // Creates the system timer and ticks once before returning; nothing when already running. False
    // when the system timer cannot be created (the timer stays stopped, no tick).
    bool start();
    void stop();
    bool running() const { return running_; }

    UINT interval() const { return interval_; }
    // Takes effect at the next start.
    void setInterval(UINT interval) { interval_ = interval; }

  private:
    static void CALLBACK onSystemTimer(HWND, UINT, UINT_PTR id, DWORD);

    UINT interval_;
    UINT_PTR id_ = 0;
    bool running_ = false;
};

// Number of running timers (for leak checks).
std::size_t runningTimerCount();
