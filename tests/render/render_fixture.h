// Shared pieces of the rendering tests: archives and PNG images built in memory, a live UiContext
// with a skin store, and surface pixel read-back. Test code only; UI thread.
#pragma once

#include <windows.h>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/paint_surface.h"
#include "render/skin_store.h"

namespace rendertest {

// A pack archive of stored entries, written byte by byte: name -> content.
std::string packArchive(const std::map<std::wstring, std::string>& entries);

// An RGBA image of w x h pixels with every pixel `rgba` (0xRRGGBBAA); set() changes one pixel.
struct Rgba {
    int width, height;
    std::vector<uint8_t> bytes;
    Rgba(int w, int h, uint32_t rgba);
    void set(int x, int y, uint32_t rgba);
    void fill(int x, int y, int w, int h, uint32_t rgba);
    std::string png() const;
};

// The surface's pixel words (0xAARRGGBB), read straight from its DIB section after GdiFlush.
uint32_t pixel(const PaintSurface& surface, int x, int y);
void fillSurface(PaintSurface& surface, uint32_t word);  // every pixel set to word

// Creates the process's UiContext (once) with a skin store; each test loads its own archive.
class SkinTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Loads an in-memory archive of the entries as the current skin.
    void loadSkin(const std::map<std::wstring, std::string>& entries);
    SkinStore& skin();
};

}  // namespace rendertest
