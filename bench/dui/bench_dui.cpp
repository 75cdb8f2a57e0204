// Builds a 2,001-control layout from a layout archive, attaches, measures, arranges, detaches and
// destroys it, and reports the time and the general-heap calls per control (steady state).
#include <windows.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>

#include "bench_timing.h"
#include "dui/alloc.h"
#include "dui/loader.h"
#include "dui/panels.h"
#include "dui/window_host.h"
#include "host/resource_file_system.h"
#include "dui/context_parts.h"
#include "host/ui_context.h"

// Every operator new of the process is counted (standard containers, strings, the XML pool).
static std::atomic<unsigned long long> newCalls{0};
void* operator new(std::size_t n) {
    ++newCalls;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    ++newCalls;
    return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept {
    return operator new(n, t);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

class BenchWindow : public WindowHost {
  public:
    BenchWindow() {
        hwnd_ =
            CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
    }
    ~BenchWindow() { DestroyWindow(hwnd_); }
    HWND windowHandle() const override { return hwnd_; }
    void storeControlId(int32_t id, Control* c) override { ids_[id] = c; }
    void eraseControlId(Control*) override {}
    void forgetControl(Control*) override {}
    void addDirtyArea(const RECT&) override {}
    POINT cursorClientPosition() const override { return POINT{0, 0}; }

  private:
    HWND hwnd_;
    std::map<int32_t, Control*> ids_;
};

int countControls(Control* c) {
    int n = 1;
    for (Control* child = c->firstChild(); child; child = child->nextSibling()) n += countControls(child);
    return n;
}

}  // namespace

int main() {
    ResourceFileSystem files;
    files.registerName(L"bench.lz", 201);
    if (!createUiContextWithParts() || !loadLayouts(L"bench.lz")) {
        std::printf("set-up failed\n");
        return 1;
    }
    BenchWindow window;
    auto once = [&](int* controls) {
        Control* root = loadLayout(L"bench.xml");
        if (!root)
            return false;
        if (controls)
            *controls = countControls(root);
        root->attach(&window);
        measureControl(root, SIZE{800, 600});
        arrangeControl(root, RECT{0, 0, 800, 600});
        root->detach();
        delete root;
        return true;
    };
    int controls = 0;
    for (int i = 0; i < 3; ++i) {  // warm-up: free lists, id map, live set reach their sizes
        if (!once(&controls)) {
            std::printf("layout did not load\n");
            return 1;
        }
    }
    const int kRounds = bench::rounds(50);
    unsigned long long news0 = newCalls;
    dui::AllocatorStats a0 = dui::allocatorStats();
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < kRounds; ++i) once(nullptr);
    QueryPerformanceCounter(&t1);
    dui::AllocatorStats a1 = dui::allocatorStats();
    unsigned long long news = newCalls - news0;
    unsigned long long poolHeap = a1.heapAllocs - a0.heapAllocs;
    double seconds = double(t1.QuadPart - t0.QuadPart) / double(f.QuadPart);
    double perControlUs = seconds * 1e6 / (double(kRounds) * controls);
    // One extractEntry buffer per load is a malloc outside both counters.
    double heapPerControl = double(news + poolHeap + kRounds) / (double(kRounds) * controls);
    std::printf("controls per layout: %d\n", controls);
    std::printf("rounds: %d, total %.3f s\n", kRounds, seconds);
    std::printf("time per control (load+attach+measure+arrange+detach+destroy): %.3f us\n", perControlUs);
    std::printf("operator new calls per round: %.1f\n", double(news) / kRounds);
    std::printf("small-object allocator heap calls per round: %.1f\n", double(poolHeap) / kRounds);
    std::printf("general-heap allocations per control: %.4f\n", heapPerControl);
    destroyUiContextWithParts();
    return 0;
}
