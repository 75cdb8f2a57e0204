#include "render/paint_surface.h"

#include <algorithm>
#include <vector>

#include "render/skin_image.h"

namespace {
// Sections of the live surfaces; a handful at most (one per window).
std::vector<HGDIOBJ>& surfaceBitmaps() {
    static std::vector<HGDIOBJ> bitmaps;
    return bitmaps;
}
}  // namespace

bool isSurfaceBitmap(HGDIOBJ bitmap) {
    const auto& all = surfaceBitmaps();
    return bitmap && std::find(all.begin(), all.end(), bitmap) != all.end();
}

bool PaintSurface::resize(int width, int height) {
    if (bitmap_ && width == width_ && height == height_)
        return true;
    release();
    width_ = width;
    height_ = height;
    dc_.reset(CreateCompatibleDC(nullptr));
    if (!dc_ || width <= 0 || height <= 0)
        return false;
    BITMAPINFO info = topDownInfo(width, height);
    void* bits = nullptr;
    bitmap_.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (bitmap_) {
        previousBitmap_ = SelectObject(dc_.get(), bitmap_.get());
        surfaceBitmaps().push_back(bitmap_.get());
    }
    SetBkMode(dc_.get(), TRANSPARENT);
    return static_cast<bool>(bitmap_);
}

void PaintSurface::release() {
    if (dc_ && previousBitmap_)
        SelectObject(dc_.get(), previousBitmap_);
    previousBitmap_ = nullptr;
    if (bitmap_) {
        auto& all = surfaceBitmaps();
        all.erase(std::remove(all.begin(), all.end(), static_cast<HGDIOBJ>(bitmap_.get())), all.end());
    }
    bitmap_.reset();
    dc_.reset();
    width_ = height_ = 0;
}
