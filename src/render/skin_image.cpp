#include "render/skin_image.h"

#include <stb_image.h>

#include <climits>
#include <vector>

#include "host/static_order.h"
#include "host/ui_context.h"

namespace {

// Created before main runs and kept for the life of the process.
struct BlitDc {
    BlitDc() : dc(CreateCompatibleDC(nullptr)) {}
    win::unique_hdc dc;
};
TARVO_STATIC_ORDER(kScreenMemoryDc) BlitDc g_blitDc;

AlphaBlendFn alphaBlendEntry() {
    UiContext* ui = uiContext();
    return ui ? ui->alphaBlend : nullptr;
}

BITMAPINFO topDownInfo(int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
    return info;
}

}  // namespace

HDC blitDC() {
    return g_blitDc.dc.get();
}

bool SkinImage::decodeImage(const void* bytes, std::size_t length) {
    bitmap_.reset();
    pixels_ = nullptr;
    width_ = height_ = 0;
    hasAlpha_ = false;

    auto data = static_cast<const unsigned char*>(bytes);
    if (!data || length == 0)
        return false;
    if (data[0] == 0x01) {
        ++data;
        --length;
    }
    if (length == 0 || length > INT_MAX)
        return false;
    int w = 0, h = 0, channels = 0;
    unsigned char* rgba = stbi_load_from_memory(data, static_cast<int>(length), &w, &h, &channels, 4);
    if (!rgba)
        return false;
    if (w <= 0 || h <= 0 || static_cast<long long>(w) * h > INT_MAX / 4) {
        stbi_image_free(rgba);
        return false;
    }

    BITMAPINFO info = topDownInfo(w, h);
    void* bits = nullptr;
    win::unique_hbitmap section(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!section || !bits) {
        stbi_image_free(rgba);
        return false;
    }

    auto out = static_cast<uint32_t*>(bits);
    const std::size_t count = static_cast<std::size_t>(w) * h;
    bool alpha = false;
    for (std::size_t i = 0; i < count; ++i) {
        uint32_t r = rgba[i * 4], g = rgba[i * 4 + 1], b = rgba[i * 4 + 2], a = rgba[i * 4 + 3];
        if (a != 255) {
            alpha = true;
            r = r * a / 255;
            g = g * a / 255;
            b = b * a / 255;
        }
        out[i] = a << 24 | r << 16 | g << 8 | b;
    }
    stbi_image_free(rgba);

    bitmap_ = std::move(section);
    pixels_ = out;
    width_ = w;
    height_ = h;
    hasAlpha_ = alpha;
    return true;
}

bool SkinImage::drawImage(HDC target, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh) const {
    return drawPiece(target, dx, dy, dw, dh, sx, sy, sw, sh, Copy::Stretch);
}

bool SkinImage::drawPiece(HDC target, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                          Copy copy) const {
    if (!bitmap_ || dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return false;
    if (hasAlpha_) {
        if (AlphaBlendFn blend = alphaBlendEntry()) {
            win::select_guard selected(blitDC(), bitmap_.get());
            BLENDFUNCTION fn = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            return blend(target, dx, dy, dw, dh, blitDC(), sx, sy, sw, sh, fn) != FALSE;
        }
        return compositeOver(target, dx, dy, dw, dh, pixels_, width_, height_, sx, sy, sw, sh);
    }
    win::select_guard selected(blitDC(), bitmap_.get());
    if (copy == Copy::Blit)
        return BitBlt(target, dx, dy, dw, dh, blitDC(), sx, sy, SRCCOPY) != FALSE;
    return StretchBlt(target, dx, dy, dw, dh, blitDC(), sx, sy, sw, sh, SRCCOPY) != FALSE;
}

bool SkinImage::drawNineGrid(HDC target, const RECT& d, const RECT& margins) const {
    if (!bitmap_)
        return false;
    const int L = margins.left, T = margins.top, R = margins.right, B = margins.bottom;
    const int W = width_, H = height_;
    const int cw = d.right - R - d.left - L, ch = d.bottom - d.top - T - B;
    const int sw = W - L - R, sh = H - T - B;
    // Pieces that come out empty or negative are skipped by drawPiece.
    drawPiece(target, d.left + L, d.top + T, cw, ch, L, T, sw, sh, Copy::Stretch);
    if (T > 0) {
        if (L > 0)
            drawPiece(target, d.left, d.top, L, T, 0, 0, L, T, Copy::Blit);
        drawPiece(target, d.left + L, d.top, cw, T, L, 0, sw, T, Copy::Stretch);
    }
    if (R > 0) {
        if (T > 0)
            drawPiece(target, d.right - R, d.top, R, T, W - R, 0, R, T, Copy::Blit);
        drawPiece(target, d.right - R, d.top + T, R, ch, W - R, T, R, sh, Copy::Stretch);
        if (B > 0)
            drawPiece(target, d.right - R, d.bottom - B, R, B, W - R, H - B, R, B, Copy::Blit);
    }
    if (B > 0)
        drawPiece(target, d.left + L, d.bottom - B, cw, B, L, H - B, sw, B, Copy::Stretch);
    if (L > 0) {
        if (B > 0)
            drawPiece(target, d.left, d.bottom - B, L, B, 0, H - B, L, B, Copy::Blit);
        drawPiece(target, d.left, d.top + T, L, ch, 0, T, L, sh, Copy::Stretch);
    }
    return true;
}

bool compositeOver(HDC target, int dx, int dy, int dw, int dh, const uint32_t* source, int sourceWidth,
                   int sourceHeight, int sx, int sy, int sw, int sh) {
    if (!source || dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return false;
    if (sx < 0 || sy < 0 || sw > sourceWidth - sx || sh > sourceHeight - sy)
        return false;

    // Read what lies beneath, blend into that copy, and write it back: the write-back blit applies the
    // target's clip region and mapping, so the composite lands exactly where AlphaBlend would draw.
    BITMAPINFO info = topDownInfo(dw, dh);
    void* bits = nullptr;
    win::unique_hbitmap scratch(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    win::unique_hdc dc(CreateCompatibleDC(nullptr));
    if (!scratch || !bits || !dc)
        return false;
    win::select_guard selected(dc.get(), scratch.get());
    if (!BitBlt(dc.get(), 0, 0, dw, dh, target, dx, dy, SRCCOPY))
        return false;
    GdiFlush();

    auto out = static_cast<uint32_t*>(bits);
    std::vector<int> columns(dw);
    for (int x = 0; x < dw; ++x) columns[x] = sx + static_cast<int>((2LL * x + 1) * sw / (2LL * dw));
    for (int y = 0; y < dh; ++y) {
        const uint32_t* row =
            source + static_cast<std::size_t>(sy + (2LL * y + 1) * sh / (2LL * dh)) * sourceWidth;
        uint32_t* dst = out + static_cast<std::size_t>(y) * dw;
        for (int x = 0; x < dw; ++x) {
            const uint32_t s = row[columns[x]];
            const uint32_t keep = 255 - (s >> 24);
            const uint32_t t = dst[x];
            uint32_t result = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                uint32_t v = ((s >> shift) & 0xFF) + (((t >> shift) & 0xFF) * keep + 127) / 255;
                result |= (v > 255 ? 255 : v) << shift;
            }
            dst[x] = result;
        }
    }
    return BitBlt(target, dx, dy, dw, dh, dc.get(), 0, 0, SRCCOPY) != FALSE;
}
