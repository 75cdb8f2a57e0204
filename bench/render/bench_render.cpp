// Rendering speed: decoding and premultiplying a 1024x768 PNG, nine-grids and captions over a 600x400
// surface, and a full repaint of the sample page (layout of tools/preview/sample) with the installer's
// skin, once through msimg32's AlphaBlend and once through the own composite. Prints ms per operation.
#include <windows.h>
#include <cstdio>
#include <memory>
#include <string>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>
#pragma GCC diagnostic pop

#include "bench_timing.h"
#include "dui/control.h"
#include "dui/loader.h"
#include "dui/panels.h"
#include "dui/window_host.h"
#include "host/handles.h"
#include "host/resource_file_system.h"
#include "dui/context_parts.h"
#include "host/ui_context.h"
#include "render/paint_surface.h"
#include "render/skin_image.h"
#include "render/skin_store.h"
#include "render/text.h"

namespace {

template <typename F>
double perOp(int rounds, F&& f) {
    rounds = bench::rounds(rounds);
    f();  // warm-up
    bench::Clock clock;
    for (int i = 0; i < rounds; ++i) f();
    GdiFlush();
    return clock.ms() / rounds;
}

// Gradients with a varying alpha and some texture, zlib-compressed as a skin's art would be.
std::string testPng(int w, int h) {
    std::string rgba(static_cast<std::size_t>(w) * h * 4, '\0');
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p =
                reinterpret_cast<unsigned char*>(&rgba[(static_cast<std::size_t>(y) * w + x) * 4]);
            p[0] = static_cast<unsigned char>(x * 255 / w);
            p[1] = static_cast<unsigned char>(y * 255 / h);
            p[2] = static_cast<unsigned char>((x ^ y) & 0xFF);
            p[3] = static_cast<unsigned char>(128 + ((x * 7 + y * 3) & 127));
        }
    std::string png;
    stbi_write_png_to_func(
        [](void* context, void* data, int size) {
            static_cast<std::string*>(context)->append(static_cast<char*>(data), size);
        },
        &png, w, h, 4, rgba.data(), w * 4);
    return png;
}

class BenchHost : public WindowHost {
  public:
    HWND windowHandle() const override { return nullptr; }
    void storeControlId(int32_t, Control*) override {}
    void eraseControlId(Control*) override {}
    void forgetControl(Control*) override {}
    void addDirtyArea(const RECT&) override {}
    POINT cursorClientPosition() const override { return POINT{-1, -1}; }
};

}  // namespace

int main() {
    ResourceFileSystem files;
    files.registerName(L"frame.lz", 113);
    files.registerName(L"style.lz", 116);
    if (!createUiContextWithParts() || !uiParts()->skin->loadSkin(L"style.lz") || !loadLayouts(L"frame.lz")) {
        std::printf("set-up failed\n");
        return 1;
    }
    SkinStore& skin = *uiParts()->skin;

    const std::string png = testPng(1024, 768);
    SkinImage big;
    const double decodeMs = perOp(20, [&] { big.decodeImage(png.data(), png.size()); });
    std::printf("decode + premultiply 1024x768 PNG (%zu bytes, alpha %s): %.2f ms/op\n", png.size(),
                big.hasAlpha() ? "yes" : "no", decodeMs);

    PaintSurface surface;
    surface.resize(600, 400);
    HDC dc = surface.dc();
    const RECT all{0, 0, 600, 400};
    SkinImage* panel = skin.findImage(L"panel.png");
    SkinImage* button = skin.findImage(L"btn_up.png");
    HFONT font = skin.findFont(L"Default");
    if (!panel || !button || !font) {
        std::printf("the skin lacks panel.png, btn_up.png or the Default font\n");
        return 1;
    }
    // A window's worth: the page background, 20 buttons of 140x40 with their captions.
    auto windowOfPieces = [&] {
        panel->drawNineGrid(dc, all, RECT{8, 8, 8, 8});
        for (int row = 0; row < 5; ++row)
            for (int column = 0; column < 4; ++column) {
                const RECT r{10 + column * 147, 10 + row * 77, 150 + column * 147, 50 + row * 77};
                button->drawNineGrid(dc, r, RECT{6, 6, 6, 6});
                drawTextWithFont(dc, r, L"\u7ACB\u5373\u5B89\u88C5 Install", font, RGB(255, 255, 255),
                                 DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            }
    };
    auto ninegridsOnly = [&] {
        panel->drawNineGrid(dc, all, RECT{8, 8, 8, 8});
        for (int i = 0; i < 20; ++i) {
            const RECT r{10 + (i % 4) * 147, 10 + (i / 4) * 77, 150 + (i % 4) * 147, 50 + (i / 4) * 77};
            button->drawNineGrid(dc, r, RECT{6, 6, 6, 6});
        }
    };
    auto textOnly = [&] {
        for (int i = 0; i < 20; ++i) {
            const RECT r{10 + (i % 4) * 147, 10 + (i / 4) * 77, 150 + (i % 4) * 147, 50 + (i / 4) * 77};
            drawTextWithFont(dc, r, L"\u7ACB\u5373\u5B89\u88C5 Install", font, RGB(255, 255, 255),
                             DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
    };

    std::unique_ptr<Control> page(loadLayout(L"page.xml"));
    if (!page) {
        std::printf("page.xml did not load\n");
        return 1;
    }
    BenchHost host;
    page->attach(&host);
    measureControl(page.get(), SIZE{600, 400});
    arrangeControl(page.get(), all);
    auto repaint = [&] {
        auto saved = win::save_dc(dc);
        win::unique_hrgn clip(CreateRectRgnIndirect(&all));
        SelectClipRgn(dc, clip.get());
        auto selected = win::select_object(dc, font);
        RECT rect = page->bounds();
        page->paint(dc, rect, all);
    };

    // The own composite alone, one to one: a 600x400 image of mixed alpha straight into the surface.
    const std::string wide = testPng(600, 400);
    SkinImage sheet;
    sheet.decodeImage(wide.data(), wide.size());
    std::printf("own composite of a translucent 600x400 image, unscaled: %.3f ms/op\n", perOp(50, [&] {
                    compositeOver(dc, 0, 0, 600, 400, sheet.pixels(), 600, 400, 0, 0, 600, 400);
                }));

    const AlphaBlendFn alphaBlend = uiContext()->alphaBlend;
    for (int pass = 0; pass < 2; ++pass) {
        uiContext()->alphaBlend = pass == 0 ? alphaBlend : nullptr;
        std::printf("-- %s\n", pass == 0 ? "AlphaBlend from msimg32" : "own composite (no AlphaBlend)");
        std::printf("600x400 background + 20 nine-grid buttons: %.3f ms/op\n", perOp(200, ninegridsOnly));
        std::printf("20 captions (CJK + Latin, Default font): %.3f ms/op\n", perOp(200, textOnly));
        std::printf("both together (a window's worth): %.3f ms/op\n", perOp(200, windowOfPieces));
        std::printf("full repaint of the 600x400 sample page: %.3f ms/op\n", perOp(200, repaint));
    }
    uiContext()->alphaBlend = alphaBlend;
    page->detach();
    page.reset();
    destroyUiContextWithParts();
    return 0;
}
