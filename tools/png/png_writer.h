// A minimal PNG encoder: 8-bit RGBA, one IDAT of stored (uncompressed) deflate blocks. Portable; no
// platform headers; no state. Used by the preview tool and by the tests' screenshots and images.
#pragma once

#include <cstdint>
#include <string>

// rgba: width*height pixels, rows top to bottom, bytes red, green, blue, alpha. Empty on a bad size
// (not positive, or more than 2^28 pixels).
std::string encodePng(int width, int height, const std::uint8_t* rgba);
// words: 32-bit pixels as a DIB holds them (0xAARRGGBB). With opaque set every alpha is written as 255
// (GDI leaves the alpha byte of a surface undefined).
std::string encodePngFromBgra(int width, int height, const std::uint32_t* words, bool opaque);
