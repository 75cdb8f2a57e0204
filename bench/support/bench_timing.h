// Timing helpers shared by the benchmarks: the performance counter in microseconds, a stopwatch in
// milliseconds, the median of samples, and the bare cross-thread event ping-pong that notification
// round trips are weighed against.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "host/handles.h"

namespace bench {

// A smoke run (TARVO_BENCH_SMOKE set, as the test command runs every benchmark): the whole course with
// a few rounds of each loop, which tells nothing about speed but that the program still runs to its end.
inline bool smokeRun() {
    static const bool smoke = std::getenv("TARVO_BENCH_SMOKE") != nullptr;
    return smoke;
}
// `full` rounds, or a few in a smoke run.
inline int rounds(int full) {
    return smokeRun() ? std::min(full, 3) : full;
}

inline double nowMicros() {
    static const double perMicro = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1e6;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / perMicro;
}

// Milliseconds since it was made.
class Clock {
  public:
    double ms() const { return (nowMicros() - start_) / 1000.0; }

  private:
    double start_ = nowMicros();
};

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Two auto-reset events bounced between two threads: one thread calls measure, the other serve with
// the same number of rounds. Each sample is one SetEvent and the wait for the answer.
class EventPingPong {
  public:
    EventPingPong()
        : ping_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          pong_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    bool valid() const { return ping_ && pong_; }

    std::vector<double> measure(int rounds) {
        std::vector<double> samples;
        samples.reserve(rounds);
        for (int i = 0; i < rounds; ++i) {
            double t0 = nowMicros();
            SetEvent(ping_.get());
            WaitForSingleObject(pong_.get(), INFINITE);
            samples.push_back(nowMicros() - t0);
        }
        return samples;
    }

    void serve(int rounds) {
        for (int i = 0; i < rounds; ++i) {
            WaitForSingleObject(ping_.get(), INFINITE);
            SetEvent(pong_.get());
        }
    }

  private:
    win::unique_handle ping_;
    win::unique_handle pong_;
};

}  // namespace bench
