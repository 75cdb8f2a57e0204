// Page-control speed under Wine: one progress-bar step as the installer makes one per file (set the
// position, which invalidates and posts the repaint request; the request paints the dirty area and
// pushes the window), in a per-pixel-alpha layered window and in a plain one, with the pieces of the
// layered step apart; and one slideshow cross-fade frame of 600 x 300 pixels (the blend alone, and
// blend plus drawing it). Prints ms per operation as "median (best)" of 9 batches: the machine is
// shared, so a single batch is noisy.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_timing.h"
#include "controls/controls.h"
#include "controls/power_point.h"
#include "controls/progress_bar.h"
#include "dui/context_parts.h"
#include "dui/loader.h"
#include "host/handles.h"
#include "host/resource_file_system.h"
#include "host/ui_context.h"
#include "render/paint_surface.h"
#include "render/skin_image.h"
#include "render/skin_store.h"
#include "window/window_impl.h"

namespace {

template <typename F>
void measure(const char* what, int rounds, F&& f) {
    rounds = bench::rounds(rounds);
    f();  // warm-up
    std::vector<double> batches;
    for (int b = 0; b < bench::rounds(9); ++b) {
        bench::Clock clock;
        for (int i = 0; i < rounds; ++i) f();
        GdiFlush();
        batches.push_back(clock.ms() / rounds);
    }
    std::sort(batches.begin(), batches.end());
    std::printf("%s: %.3f ms/op (best %.3f)\n", what, batches[batches.size() / 2], batches.front());
}

// Dispatches what is queued now (the repaint request a change posted).
void drain() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

class LayeredWindow : public WindowImpl {
  public:
    explicit LayeredWindow(Control* root) : WindowImpl(root) { setLayered(true); }
};

// The progress page's size, with the bar across it.
const char kProgressPage[] = R"(
<Canvas initSize="600,400" style="panel.xml">
  <ProgressBar id="1" x="40" y="300" width="520" height="10" progressbkimg="progress_bk.png"
               progressbkScaleGrid="4,4,4,4" progressimg="progress_fill.png" progressScaleGrid="4,4,4,4"/>
</Canvas>)";

// Files of a large install: the 520-pixel bar's edge moves by under a pixel a step.
constexpr int kFiles = 40000;

void progressSteps(bool layered) {
    Control* root = buildLayout(kProgressPage, sizeof(kProgressPage) - 1);
    WindowImpl* window = layered ? new LayeredWindow(root) : new WindowImpl(root);
    if (!createNativeWindow(window, L"bench", WS_POPUP | WS_VISIBLE, 50, 50, 0, 0, nullptr, nullptr, nullptr))
        return;
    HWND hwnd = window->handle();
    drain();
    auto* bar = dynamic_cast<ProgressBar*>(window->controlById(1));
    if (!bar)
        return;
    const char* kind = layered ? "layered" : "plain";
    char what[200];
    // 520 files for the 520-pixel bar: every step moves the edge by a pixel, repaints and pushes.
    bar->setRange(520);
    drain();
    int position = 0;
    std::snprintf(what, sizeof(what), "progress step moving the edge a pixel, %s 600x400 window", kind);
    measure(what, 50, [&] {
        bar->setPosition(++position % 520);
        drain();
    });
    // 40,000 files: the edge moves every 77th step; the others repaint nothing.
    bar->setRange(kFiles);
    drain();
    position = 0;
    std::snprintf(what, sizeof(what), "progress step of a 40,000-file install, %s 600x400 window", kind);
    measure(what, 770, [&] {
        bar->setPosition(++position % kFiles);
        drain();
    });
    if (layered) {
        RECT r{}, area{};
        GetWindowRect(hwnd, &r);
        bar->windowRect(&area);
        HDC buffer = window->backBuffer().dc();
        POINT at{r.left, r.top}, source{0, 0};
        SIZE size{r.right - r.left, r.bottom - r.top};
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        measure("  push of the whole window alone (UpdateLayeredWindow)", 100, [&] {
            UpdateLayeredWindow(hwnd, nullptr, &at, &size, buffer, &source, 0, &blend, ULW_ALPHA);
        });
        const RECT sliver{area.left + 200, area.top, area.left + 202, area.bottom};
        UPDATELAYEREDWINDOWINFO info{sizeof(info), nullptr, nullptr, nullptr,   buffer,
                                     &source,      0,       &blend,  ULW_ALPHA, &sliver};
        measure("  push of a 2-pixel dirty sliver alone (UpdateLayeredWindowIndirect)", 100,
                [&] { UpdateLayeredWindowIndirect(hwnd, &info); });
        measure("  painting the whole bar's area into the back buffer (a step paints a sliver)", 200, [&] {
            auto clip = win::clip_to(buffer, area);
            RECT all = window->root()->bounds();
            window->root()->paint(buffer, all, area);
        });
    }
    DestroyWindow(hwnd);
    drain();
}

// A 600 x 300 picture of varying colour and alpha, premultiplied.
void fillPicture(SkinImage& image, uint32_t seed) {
    image.createBlank(600, 300);
    uint32_t* p = image.pixels();
    for (uint32_t y = 0; y < 300; ++y)
        for (uint32_t x = 0; x < 600; ++x) {
            const uint32_t a = 160 + ((x + y + seed) & 95);
            const uint32_t r = x * a / 600, g = y * a / 300, b = ((x ^ y ^ seed) & 0xFF) * a / 255;
            p[y * 600 + x] = a << 24 | r << 16 | g << 8 | b;
        }
}

}  // namespace

int main() {
    ResourceFileSystem files;
    files.registerName(L"style.lz", 116);
    if (!createUiContextWithParts() || !uiParts()->skin->loadSkin(L"style.lz")) {
        std::printf("set-up failed\n");
        return 1;
    }
    registerControlCreators(*uiParts()->controlCreators);

    progressSteps(true);
    progressSteps(false);

    SkinImage current, previous, frame;
    fillPicture(current, 0);
    fillPicture(previous, 77);
    frame.createBlank(600, 300);
    const std::size_t words = 600 * 300;
    int count = 0;
    measure("cross-fade blend of 600x300 (two product tables, one pass)", 100, [&] {
        PowerPoint::crossFade(frame.pixels(), current.pixels(), previous.pixels(), words,
                              PowerPoint::fadeWeight(count++ % 40));
    });
    PaintSurface surface;
    surface.resize(640, 340);
    measure("cross-fade frame of translucent pictures: blend + AlphaBlend into the back buffer", 100, [&] {
        GdiFlush();  // the last draw has read the frame
        PowerPoint::crossFade(frame.pixels(), current.pixels(), previous.pixels(), words,
                              PowerPoint::fadeWeight(count++ % 40));
        frame.drawImage(surface.dc(), 20, 20, 600, 300, 0, 0, 600, 300);
    });
    SkinImage opaque;
    opaque.createBlank(600, 300, false);
    measure("cross-fade frame of opaque pictures: blend + copy into the back buffer", 100, [&] {
        GdiFlush();
        PowerPoint::crossFade(opaque.pixels(), current.pixels(), previous.pixels(), words,
                              PowerPoint::fadeWeight(count++ % 40));
        opaque.drawImage(surface.dc(), 20, 20, 600, 300, 0, 0, 600, 300);
    });
    destroyUiContextWithParts();
    return 0;
}
