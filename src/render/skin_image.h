// Skin images: decoded once into a 32-bit top-down DIB section with premultiplied alpha (memory order
// blue, green, red, alpha) and drawn with AlphaBlend, StretchBlt or BitBlt. UI thread only.
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>

#include "host/handles.h"

class SkinImage {
  public:
    // Decodes PNG/JPEG/BMP/GIF/PSD/HDR/PIC bytes; a leading 0x01 marker byte is skipped. False (and no
    // bitmap) when the data does not decode or the section cannot be made. Replaces earlier contents.
    bool decodeImage(const void* bytes, std::size_t length);
    // Replaces the contents with a width x height image of zero words, to be written through pixels()
    // (premultiplied). With hasAlpha it is drawn with alpha blending, else copied like an opaque image.
    // False (and no bitmap) when it cannot be made.
    bool createBlank(int width, int height, bool hasAlpha = true);

    // Draws the source rectangle (sx, sy, sw, sh) stretched into (dx, dy, dw, dh). False without
    // drawing when there is no bitmap or a size is not positive.
    bool drawImage(HDC target, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh) const;
    // Draws the image into dest keeping the margins (left, top, right, bottom) unscaled.
    bool drawNineGrid(HDC target, const RECT& dest, const RECT& margins) const;

    HBITMAP bitmap() const { return bitmap_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }
    bool hasAlpha() const { return hasAlpha_; }
    const uint32_t* pixels() const { return pixels_; }  // premultiplied words, null without a bitmap
    uint32_t* pixels() { return pixels_; }              // call GdiFlush before writing after GDI drew into it

  private:
    enum class Copy { Blit, Stretch };
    bool drawPiece(HDC target, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                   Copy copy) const;

    win::unique_hbitmap bitmap_;
    uint32_t* pixels_ = nullptr;  // the section's bits, owned by bitmap_
    int width_ = 0;
    int height_ = 0;
    bool hasAlpha_ = false;
};

// The whole image stretched into dest, or drawn as a nine-grid with `margins` when they are given.
// False without drawing for a null image or one without a bitmap.
bool drawImageInto(const SkinImage* image, HDC target, const RECT& dest, const RECT* margins = nullptr);

// The process-wide memory DC that image bitmaps are selected into for blitting. Created during static
// construction, compatible with the screen, alive until process exit. UI thread only.
HDC blitDC();

// A 32-bit top-down BI_RGB description of width x height pixels.
BITMAPINFO topDownInfo(int width, int height);

// Composites premultiplied 32-bit source pixels over the target's pixels in (dx, dy, dw, dh), stretched
// with nearest-pixel sampling, honouring the target's clipping. This is what drawing uses in place of
// AlphaBlend when msimg32's entry point is missing: straight into the bits when the target holds a
// PaintSurface's section in plain device coordinates, else by reading the area back and blitting
// the result. False when a size is not positive, the source rectangle leaves the image, or the target
// area cannot be read.
bool compositeOver(HDC target, int dx, int dy, int dw, int dh, const uint32_t* source, int sourceWidth,
                   int sourceHeight, int sx, int sy, int sw, int sh);
