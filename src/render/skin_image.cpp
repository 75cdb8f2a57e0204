#include "render/skin_image.h"

#include <stb_image.h>

#include <climits>
#include <vector>

#include "host/static_order.h"
#include "host/ui_context.h"
#include "render/paint_surface.h"

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

}  // namespace

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

bool SkinImage::createBlank(int width, int height, bool hasAlpha) {
    bitmap_.reset();
    pixels_ = nullptr;
    width_ = height_ = 0;
    hasAlpha_ = false;
    if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > INT_MAX / 4)
        return false;
    BITMAPINFO info = topDownInfo(width, height);
    void* bits = nullptr;
    win::unique_hbitmap section(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!section || !bits)
        return false;
    bitmap_ = std::move(section);
    pixels_ = static_cast<uint32_t*>(bits);
    width_ = width;
    height_ = height;
    hasAlpha_ = hasAlpha;
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
            auto selected = win::select_object(blitDC(), bitmap_.get());
            BLENDFUNCTION fn = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            return blend(target, dx, dy, dw, dh, blitDC(), sx, sy, sw, sh, fn) != FALSE;
        }
        return compositeOver(target, dx, dy, dw, dh, pixels_, width_, height_, sx, sy, sw, sh);
    }
    auto selected = win::select_object(blitDC(), bitmap_.get());
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

bool drawImageInto(const SkinImage* image, HDC target, const RECT& dest, const RECT* margins) {
    if (!image)
        return false;
    if (margins)
        return image->drawNineGrid(target, dest, *margins);
    return image->drawImage(target, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, 0, 0,
                            image->width(), image->height());
}

namespace {

// Premultiplied source over destination for one word: d = s + d * (255 - sa) / 255, rounded.
inline uint32_t over(uint32_t s, uint32_t d) {
    const uint32_t keep = 255 - (s >> 24);
    if (keep == 0)
        return s;
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t v = ((s >> shift) & 0xFF) + (((d >> shift) & 0xFF) * keep + 127) / 255;
        result |= (v > 255 ? 255 : v) << shift;
    }
    return result;
}

// Nearest-pixel sampling shared by both composite paths: destination offset i of n maps to source
// offset start + (2i + 1) * length / 2n.
inline int sample(int start, int i, int length, int n) {
    return start + static_cast<int>((2LL * i + 1) * length / (2LL * n));
}

struct Composite {
    const uint32_t* source;
    int sourceWidth, dx, dy, dw, dh, sx, sy, sw, sh;

    // Blends the part of the destination inside `area` into rows of `stride` words at `bits`, whose
    // first word is pixel (originX, originY).
    void into(uint32_t* bits, int stride, int originX, int originY, const RECT& area,
              std::vector<int>& columns) const {
        columns.resize(static_cast<std::size_t>(area.right - area.left));
        for (int x = area.left; x < area.right; ++x) columns[x - area.left] = sample(sx, x - dx, sw, dw);
        for (int y = area.top; y < area.bottom; ++y) {
            const uint32_t* row = source + static_cast<std::size_t>(sample(sy, y - dy, sh, dh)) * sourceWidth;
            uint32_t* out = bits + static_cast<std::ptrdiff_t>(y - originY) * stride + (area.left - originX);
            for (std::size_t i = 0; i < columns.size(); ++i) out[i] = over(row[columns[i]], out[i]);
        }
    }
};

// The fast case: the target is a memory DC holding a PaintSurface's section, in plain device
// coordinates. Blends straight into its bits, one clip rectangle at a time. False
// when the target is not of that kind (nothing drawn).
bool compositeIntoSection(HDC target, const Composite& c) {
    DIBSECTION section{};
    HGDIOBJ bitmap = GetCurrentObject(target, OBJ_BITMAP);
    if (!isSurfaceBitmap(bitmap) || GetObjectW(bitmap, sizeof(section), &section) != sizeof(section) ||
        section.dsBm.bmBitsPixel != 32 || !section.dsBm.bmBits)
        return false;
    POINT viewport{}, window{};
    if (GetMapMode(target) != MM_TEXT || GetGraphicsMode(target) != GM_COMPATIBLE ||
        !GetViewportOrgEx(target, &viewport) || !GetWindowOrgEx(target, &window) || viewport.x ||
        viewport.y || window.x || window.y)
        return false;

    const RECT bounds{0, 0, section.dsBm.bmWidth, section.dsBm.bmHeight};
    const RECT dest{c.dx, c.dy, c.dx + c.dw, c.dy + c.dh};
    RECT limit{};
    if (!IntersectRect(&limit, &bounds, &dest))
        return true;  // nothing of it lands on the bitmap

    std::vector<RECT> areas;
    win::unique_hrgn clip(CreateRectRgn(0, 0, 0, 0));
    const int clipped = clip ? GetClipRgn(target, clip.get()) : -1;
    if (clipped < 0)
        return false;
    if (clipped == 0) {
        areas.push_back(limit);
    } else {
        const DWORD size = GetRegionData(clip.get(), 0, nullptr);
        std::vector<unsigned char> buffer(size);
        auto data = reinterpret_cast<RGNDATA*>(buffer.data());
        if (size < sizeof(RGNDATAHEADER) || GetRegionData(clip.get(), size, data) != size)
            return false;
        const RECT* rects = reinterpret_cast<const RECT*>(data->Buffer);
        for (DWORD i = 0; i < data->rdh.nCount; ++i) {
            RECT area{};
            if (IntersectRect(&area, &rects[i], &limit))
                areas.push_back(area);
        }
    }
    GdiFlush();
    std::vector<int> columns;
    for (const RECT& area : areas)
        c.into(static_cast<uint32_t*>(section.dsBm.bmBits), section.dsBm.bmWidth, 0, 0, area, columns);
    return true;
}

}  // namespace

bool compositeOver(HDC target, int dx, int dy, int dw, int dh, const uint32_t* source, int sourceWidth,
                   int sourceHeight, int sx, int sy, int sw, int sh) {
    if (!source || dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return false;
    if (sx < 0 || sy < 0 || sw > sourceWidth - sx || sh > sourceHeight - sy)
        return false;
    const Composite c{source, sourceWidth, dx, dy, dw, dh, sx, sy, sw, sh};
    if (compositeIntoSection(target, c))
        return true;

    // Any other DC: read what lies beneath, blend into that copy, and write it back. The write-back
    // blit applies the target's clip region and mapping, so the composite lands where AlphaBlend would.
    BITMAPINFO info = topDownInfo(dw, dh);
    void* bits = nullptr;
    win::unique_hbitmap scratch(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    win::unique_hdc dc(CreateCompatibleDC(nullptr));
    if (!scratch || !bits || !dc)
        return false;
    auto selected = win::select_object(dc.get(), scratch.get());
    if (!BitBlt(dc.get(), 0, 0, dw, dh, target, dx, dy, SRCCOPY))
        return false;
    GdiFlush();
    std::vector<int> columns;
    c.into(static_cast<uint32_t*>(bits), dw, dx, dy, RECT{dx, dy, dx + dw, dy + dh}, columns);
    return BitBlt(target, dx, dy, dw, dh, dc.get(), 0, 0, SRCCOPY) != FALSE;
}
