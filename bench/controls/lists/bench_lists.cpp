// List speed: a ListBox of 1,000 and of 10,000 text items built from layout text, measured and
// arranged, and scrolled by one wheel notch with the repaint that follows, in a real window with the
// installer's skin. Prints ms per operation for each size; the scroll should not grow with the count.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "controls/controls.h"
#include "controls/listbox.h"
#include "dui/context_parts.h"
#include "dui/factory.h"
#include "dui/loader.h"
#include "host/resource_file_system.h"
#include "host/ui_context.h"
#include "render/skin_store.h"
#include "render/text.h"
#include "window/window_impl.h"

namespace {

// A text item as a label draws it: transparent to the mouse, its text in the window's current font.
class BenchLabel : public Control {
  public:
    BenchLabel() : Control(flag::enabled | flag::visible | flag::transparent) {}
    void paint(HDC dc, const RECT& rect, const RECT&) override {
        RECT r{rect.left + 6, rect.top, rect.right, rect.bottom};
        drawText(dc, r, getText(attr::text), 0x202020, DT_VCENTER | DT_SINGLELINE);
    }
};

double nowMs() {
    static LARGE_INTEGER f = [] {
        LARGE_INTEGER v;
        QueryPerformanceFrequency(&v);
        return v;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / double(f.QuadPart);
}

// Median ms of `rounds` runs.
template <typename F>
double median(int rounds, F&& f) {
    rounds = bench::rounds(rounds);
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const double t0 = nowMs();
        f();
        times.push_back(nowMs() - t0);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void dispatchPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::string layoutFor(int count) {
    std::string xml = R"(<Window initSize="300,400"><ListBox id="1" itemHeight="24">)";
    for (int i = 0; i < count; ++i) xml += "<BenchLabel text=\"Item " + std::to_string(i) + "\"/>";
    return xml + "</ListBox></Window>";
}

void run(int count) {
    const std::string xml = layoutFor(count);
    const double build = median(5, [&] { delete buildLayout(xml.data(), xml.size()); });

    auto* window = new WindowImpl(buildLayout(xml.data(), xml.size()));
    if (!createNativeWindowEx(window, 0, L"bench_lists", WS_POPUP | WS_VISIBLE, 50, 50, 0, 0, nullptr,
                              nullptr, nullptr)) {
        std::printf("no window\n");
        return;
    }
    const HWND hwnd = window->handle();
    dispatchPending();
    Control* root = window->root();
    const double arrange = median(9, [&] {
        measureControl(root, SIZE{300, 400});
        arrangeControl(root, RECT{0, 0, 300, 400});
    });

    // One notch down then one up, each with the repaint it causes (the list posts a mouse move too).
    UpdateWindow(hwnd);
    SetCursorPos(50 + 150, 50 + 200);
    dispatchPending();
    bool down = true;
    const LPARAM at = MAKELPARAM(50 + 150, 50 + 200);
    const double scroll = median(41, [&] {
        SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, down ? -WHEEL_DELTA : WHEEL_DELTA), at);
        dispatchPending();
        UpdateWindow(hwnd);
        down = !down;
    });
    auto* list = dynamic_cast<ListBox*>(window->controlById(1));
    std::printf("%6d items: build %8.2f ms  arrange %7.3f ms  wheel+repaint %6.3f ms  (%d items, at %d)\n",
                count, build, arrange, scroll, list ? list->itemCount() : -1,
                list && list->verticalBar() ? list->verticalBar()->position() : -1);
    DestroyWindow(hwnd);
    dispatchPending();
}

}  // namespace

int main() {
    auto* files = new ResourceFileSystem;  // lives to the process end, as the catalogue does
    files->registerName(L"style.lz", 116);
    if (!createUiContextWithParts() || !uiParts()->skin->loadSkin(L"style.lz")) {
        std::printf("no UI context or skin\n");
        return 1;
    }
    registerControlCreators(*uiParts()->controlCreators);
    uiParts()->controlCreators->add<BenchLabel>(L"BenchLabel");
    run(1000);
    run(10000);
    run(1000);
    run(10000);
    destroyUiContextWithParts();
    return 0;
}
