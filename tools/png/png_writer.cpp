#include "png_writer.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

std::uint32_t crc32(const unsigned char* data, std::size_t size, std::uint32_t crc = 0) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void put32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void chunk(std::string& out, const char* type, const std::string& data) {
    put32(out, static_cast<std::uint32_t>(data.size()));
    std::string body(type, 4);
    body += data;
    out += body;
    put32(out, crc32(reinterpret_cast<const unsigned char*>(body.data()), body.size()));
}

// Positive and at most 2^28 pixels, so that every byte count below fits.
bool validSize(int width, int height) {
    return width > 0 && height > 0 && static_cast<long long>(width) * height <= (1LL << 28);
}

}  // namespace

std::string encodePng(int width, int height, const std::uint8_t* rgba) {
    if (!validSize(width, height) || !rgba)
        return {};
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    std::vector<unsigned char> raw;
    raw.reserve((rowBytes + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        raw.insert(raw.end(), rgba + y * rowBytes, rgba + (y + 1) * rowBytes);
    }

    std::string zlib("\x78\x01", 2);
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min<std::size_t>(raw.size() - pos, 65535);
        const bool last = pos + n == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<char>(n & 0xFF));
        zlib.push_back(static_cast<char>(n >> 8));
        zlib.push_back(static_cast<char>(~n & 0xFF));
        zlib.push_back(static_cast<char>((~n >> 8) & 0xFF));
        zlib.append(reinterpret_cast<const char*>(raw.data() + pos), n);
        pos += n;
    } while (pos < raw.size());
    put32(zlib, b << 16 | a);

    std::string header;
    put32(header, static_cast<std::uint32_t>(width));
    put32(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no filter, no interlace

    std::string png("\x89PNG\r\n\x1a\n", 8);
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", zlib);
    chunk(png, "IEND", {});
    return png;
}

std::string encodePngFromBgra(int width, int height, const std::uint32_t* words, bool opaque) {
    if (!validSize(width, height) || !words)
        return {};
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
    for (std::size_t i = 0; i < rgba.size() / 4; ++i) {
        const std::uint32_t w = words[i];
        rgba[i * 4] = static_cast<std::uint8_t>(w >> 16);
        rgba[i * 4 + 1] = static_cast<std::uint8_t>(w >> 8);
        rgba[i * 4 + 2] = static_cast<std::uint8_t>(w);
        rgba[i * 4 + 3] = opaque ? 255 : static_cast<std::uint8_t>(w >> 24);
    }
    return encodePng(width, height, rgba.data());
}
