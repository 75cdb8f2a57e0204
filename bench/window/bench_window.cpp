// Window speed under Wine: a full repaint of a layered 600 x 400 page through the dirty list and
// UpdateLayeredWindow, a progress-style update of one small control, and start-up to first paint of a
// window from a layout against a bare Win32 window (both started as new processes in this run).
// Prints milliseconds.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_page.h"
#include "bench_timing.h"
#include "dui/loader.h"
#include "window/window_impl.h"

namespace {

// Runs f `rounds` times; median and mean of single runs in ms.
template <typename F>
void report(const char* what, int rounds, F&& f) {
    rounds = bench::rounds(rounds);
    f();  // warm-up: images decoded, surfaces made
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        bench::Clock clock;
        f();
        times.push_back(clock.ms());
    }
    double sum = 0;
    for (double t : times) sum += t;
    std::printf("%-58s median %7.3f ms  mean %7.3f ms  (%d runs)\n", what, bench::median(times), sum / rounds,
                rounds);
}

class LayeredPage : public WindowImpl {
  public:
    explicit LayeredPage(Control* root) : WindowImpl(root) { setLayered(true); }
};

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Milliseconds from process creation to the program's first-paint signal; negative on failure.
double startToFirstPaint(const std::wstring& exe) {
    static int serial = 0;
    const std::wstring name =
        L"TarvoBenchFirstPaint" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++serial);
    win::unique_handle painted(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    std::wstring commandLine = L"\"" + exe + L"\" " + name;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    bench::Clock clock;
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return -1;
    win::unique_handle process(pi.hProcess);
    win::unique_handle thread(pi.hThread);
    HANDLE both[2] = {painted.get(), process.get()};
    const DWORD which = WaitForMultipleObjects(2, both, FALSE, 20000);
    const double ms = clock.ms();
    WaitForSingleObject(process.get(), 20000);
    return which == WAIT_OBJECT_0 ? ms : -1;
}

std::wstring besideMe(const wchar_t* file) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L"\\/") + 1) + file;
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (!loadBenchPage())
        return 1;
    Control* root = loadLayout(L"page.xml");
    if (!root) {
        std::printf("page.xml did not load\n");
        return 1;
    }
    auto* window = new LayeredPage(root);
    if (!createNativeWindow(window, L"", WS_POPUP | WS_VISIBLE, 100, 100, 0, 0, nullptr, nullptr, nullptr))
        return 1;
    HWND hwnd = window->handle();
    pump();
    RECT client{};
    GetClientRect(hwnd, &client);
    std::printf("layered page %ldx%ld, %s\n", client.right, client.bottom,
                window->backBuffer().bitmap() ? "back buffer ready" : "no back buffer");

    report("full repaint: dirty list, paint, UpdateLayeredWindow", 200, [&] {
        window->addDirtyArea(client);
        SendMessageW(hwnd, kRepaintMessage, 0, 0);
    });
    report("  of which painting the page into the back buffer", 200, [&] {
        auto clip = win::clip_to(window->backBuffer().dc(), client);
        RECT bounds = window->root()->bounds();
        window->root()->paint(window->backBuffer().dc(), bounds, client);
    });
    report("  of which UpdateLayeredWindow of the whole buffer", 200, [&] {
        RECT r{};
        GetWindowRect(hwnd, &r);
        POINT position{r.left, r.top}, source{0, 0};
        SIZE size{r.right - r.left, r.bottom - r.top};
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        UpdateLayeredWindow(hwnd, nullptr, &position, &size, window->backBuffer().dc(), &source, 0, &blend,
                            ULW_ALPHA);
    });
    Control* bar = window->controlById(31);
    RECT barRect{};
    bar->windowRect(&barRect);
    int step = 0;
    report("progress update: one bar invalidated, flushed, pushed", 500, [&] {
        bar->setInt(attr::width, 100 + (step++ % 400));
        bar->invalidate(true);
    });
    report("  of which painting the bar into the back buffer", 500, [&] {
        auto clip = win::clip_to(window->backBuffer().dc(), barRect);
        RECT bounds = window->root()->bounds();
        window->root()->paint(window->backBuffer().dc(), bounds, barRect);
    });
    report("  of which UpdateLayeredWindowIndirect of the bar only", 500, [&] {
        RECT r{};
        GetWindowRect(hwnd, &r);
        POINT position{r.left, r.top}, source{0, 0};
        SIZE size{r.right - r.left, r.bottom - r.top};
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        UPDATELAYEREDWINDOWINFO info{sizeof(info), nullptr, &position, &size,     window->backBuffer().dc(),
                                     &source,      0,       &blend,    ULW_ALPHA, &barRect};
        UpdateLayeredWindowIndirect(hwnd, &info);
    });
    DestroyWindow(hwnd);
    pump();

    // Start-up to first paint, alternating so that both see the same machine state.
    const std::wstring layoutExe = besideMe(L"bench_window_start.exe");
    const std::wstring bareExe = besideMe(L"bench_bare_window.exe");
    if (!bench::smokeRun()) {
        startToFirstPaint(layoutExe);  // warm-up: file cache
        startToFirstPaint(bareExe);
    }
    std::vector<double> layout, bare;
    for (int i = 0; i < (bench::smokeRun() ? 1 : 15); ++i) {
        bare.push_back(startToFirstPaint(bareExe));
        layout.push_back(startToFirstPaint(layoutExe));
    }
    // Medians, and the fastest runs (which suffer least from other work on a shared machine).
    const double l = bench::median(layout), b = bench::median(bare);
    const double lf = *std::min_element(layout.begin(), layout.end());
    const double bf = *std::min_element(bare.begin(), bare.end());
    std::printf("%-58s median %7.1f ms  fastest %7.1f ms\n", "start to first paint: bare Win32 window", b,
                bf);
    std::printf("%-58s median %7.1f ms  fastest %7.1f ms\n",
                "start to first paint: shadowed window from page.xml", l, lf);
    std::printf("%-58s median %7.2f x   fastest %7.2f x\n", "ratio", b > 0 ? l / b : 0.0,
                bf > 0 ? lf / bf : 0.0);
    return 0;
}
