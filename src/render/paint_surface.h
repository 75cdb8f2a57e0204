// A window's back buffer: a memory DC with a 32-bit top-down DIB section selected, background mode
// TRANSPARENT. Owned by its window; UI thread only. Without a bitmap (creation failed) drawing into
// dc() has no visible effect.
#pragma once

#include <windows.h>

#include "host/handles.h"

class PaintSurface {
  public:
    PaintSurface() = default;
    PaintSurface(const PaintSurface&) = delete;
    PaintSurface& operator=(const PaintSurface&) = delete;
    ~PaintSurface() { release(); }

    // Recreates the DC and section at the new size; nothing happens when the size is unchanged. False
    // when the surface holds no bitmap afterwards.
    bool resize(int width, int height);
    // Gives back the section and the DC; safe when nothing is held.
    void release();

    HDC dc() const { return dc_.get(); }
    HBITMAP bitmap() const { return bitmap_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    win::unique_hdc dc_;
    win::unique_hbitmap bitmap_;
    HGDIOBJ previousBitmap_ = nullptr;  // selected into dc_ before bitmap_, put back on release
    int width_ = 0;
    int height_ = 0;
};

// True when `bitmap` is the section of a live PaintSurface, so its bits are 32-bit words in top-down
// rows (a section's own description does not tell its row order). UI thread only.
bool isSurfaceBitmap(HGDIOBJ bitmap);
