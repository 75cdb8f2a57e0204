// Text-input speed with the installer's skin in a real window (380 x 300 Edit, wrapping on):
//   setText of 10 K, 100 K and 1 M UTF-16 units (cut into blocks, every line laid out);
//   typing one character in the middle of such a text: the KeyPress handling (insert, layout of the
//   lines around it) and the synchronous repaint of the Edit's visible lines (UpdateWindow).
// Prints the median ms per operation (the machine is shared; the median is steadier than the mean).
// Run under Wine with a display.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "bench_timing.h"
#include "controls/controls.h"
#include "controls/edit.h"
#include "dui/context_parts.h"
#include "dui/loader.h"
#include "host/resource_file_system.h"
#include "host/ui_context.h"
#include "render/skin_store.h"
#include "window/window_events.h"
#include "window/window_impl.h"

namespace {

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Lines of 20 to 90 units, mostly Latin with some CJK, ended by CR LF.
std::wstring sampleText(int units) {
    static const wchar_t words[][12] = {L"install", L"路径",     L"program ", L"files ",    L"中文文本 ",
                                        L"Tarvo ",  L"licence ", L"the ",     L"agreement", L" and "};
    std::wstring s;
    s.reserve(units);
    unsigned seed = 12345;
    int lineLength = 0;
    while (static_cast<int>(s.size()) < units) {
        seed = seed * 1103515245u + 12345u;
        s += words[(seed >> 16) % 10];
        lineLength += 8;
        if (lineLength > 20 + static_cast<int>((seed >> 8) % 70)) {
            s += L"\r\n";
            lineLength = 0;
        }
    }
    s.resize(units);
    return s;
}

}  // namespace

int main() {
    ResourceFileSystem files;
    files.registerName(L"style.lz", 116);
    if (!createUiContextWithParts() || !uiParts()->skin->loadSkin(L"style.lz")) {
        std::printf("no UI context or skin\n");
        return 1;
    }
    registerControlCreators(*uiParts()->controlCreators);
    const std::string layout =
        R"(<Window initSize="400,320"><Canvas><Edit id="1" x="10" y="10" width="380" height="300"/></Canvas></Window>)";
    auto* window = new WindowImpl(buildLayout(layout.data(), layout.size()));
    if (!createNativeWindow(window, L"bench_text_input", WS_POPUP | WS_VISIBLE, 50, 50, 0, 0, nullptr,
                            nullptr, nullptr)) {
        std::printf("no window\n");
        return 1;
    }
    HWND hwnd = window->handle();
    auto* edit = dynamic_cast<Edit*>(window->controlById(1));
    window->setFocusedControl(edit);
    pump();

    std::printf("%-10s %12s %8s %16s %14s\n", "units", "setText ms", "lines", "type+paint ms", "type ms");
    // The first pass only warms the glyph and width caches.
    bool warmUp = true;
    const std::vector<int> sizes =
        bench::smokeRun() ? std::vector<int>{1000, 1000} : std::vector<int>{10000, 10000, 100000, 1000000};
    for (int units : sizes) {
        const std::wstring text = sampleText(units);
        std::vector<double> assign;
        for (int i = 0; i < 5; ++i) {
            bench::Clock clock;
            edit->setText(text);
            assign.push_back(clock.ms());
            pump();
        }

        // Scroll the middle line into view and press on it: the caret stands in the middle.
        const int middle = edit->text().lineCount() / 2;
        while (edit->topLine() < middle)
            windowEvents::raise(edit, event::MouseWheel, kRouteBubble,
                                MAKEWPARAM(0, static_cast<WORD>(-120 * 200)), 0);
        RECT area{};
        edit->windowRect(&area);
        const int x = area.left + 30;
        const int y = area.top + edit->padding().y + edit->lineHeight() / 2;
        windowEvents::raise(edit, event::LButtonDown, kRouteBubble, MK_LBUTTON, MAKELPARAM(x, y));
        pump();
        UpdateWindow(hwnd);

        // Each character: the KeyPress handling, then the repaint it asked for, drawn at once.
        const int rounds = bench::rounds(400);
        std::vector<double> typed, typedOnly;
        for (int i = 0; i < rounds; ++i) {
            bench::Clock clock;
            windowEvents::raise(edit, event::KeyPress, kRouteBubble, L'x', 0);
            const double handled = clock.ms();
            UpdateWindow(hwnd);
            GdiFlush();
            typed.push_back(clock.ms());
            typedOnly.push_back(handled);
            if (i % 50 == 0)
                pump();
        }
        pump();

        if (edit->text().length() != units + rounds || !edit->text().checkConsistency().empty()) {
            std::printf("the text model disagrees after typing\n");
            return 1;
        }
        if (std::exchange(warmUp, false))
            continue;
        std::printf("%-10d %12.2f %8d %16.3f %14.3f\n", units, bench::median(assign),
                    edit->text().lineCount(), bench::median(typed), bench::median(typedOnly));
    }
    DestroyWindow(hwnd);
    destroyUiContextWithParts();
    return 0;
}
