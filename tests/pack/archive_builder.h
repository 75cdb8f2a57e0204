// Writes pack archives byte by byte for the tests, independently of packtool's writer, including
// malformed records.
#pragma once

#include <lzma.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace packtest {

inline constexpr std::uint32_t kKey = 0x5A17C3E9u;

using Bytes = std::vector<unsigned char>;

inline Bytes bytesOf(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

inline void put32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// Raw LZMA1 stream (no properties) with lc 3, lp 0, pb 2; with or without the end marker.
inline Bytes lzmaStream(const Bytes& content, bool endMarker) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 1);
    options.ext_flags = endMarker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    options.ext_size_low = options.ext_size_high = 0;
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes out(content.size() + content.size() / 2 + 1024);
    std::size_t pos = 0;
    if (lzma_raw_buffer_encode(filters, nullptr, content.data(), content.size(), out.data(), &pos,
                               out.size()) != LZMA_OK) {
        return {};
    }
    out.resize(pos);
    return out;
}

// The 5 property bytes: 0x5D (lc 3, lp 0, pb 2) and a 64 MiB dictionary.
inline Bytes lzmaProperties(std::uint32_t dictionary = 64u << 20) {
    Bytes p{0x5D};
    put32(p, dictionary);
    return p;
}

class ArchiveBuilder {
  public:
    // Bytes ahead of the first entry, such as a tag.
    explicit ArchiveBuilder(std::string_view prefix = {}) : block_(bytesOf(prefix)) {}

    // Appends entry data to the data area; returns its offset.
    std::uint32_t data(const Bytes& bytes) {
        auto offset = static_cast<std::uint32_t>(block_.size());
        block_.insert(block_.end(), bytes.begin(), bytes.end());
        return offset;
    }

    void stored(std::u16string_view name, const Bytes& content) {
        std::uint32_t offset = data(content);
        record(name, offset, static_cast<std::uint32_t>(content.size()), 0);
    }

    void compressed(std::u16string_view name, const Bytes& content, bool endMarker = false) {
        Bytes stream = lzmaProperties();
        Bytes raw = lzmaStream(content, endMarker);
        stream.insert(stream.end(), raw.begin(), raw.end());
        std::uint32_t offset = data(stream);
        record(name, offset, static_cast<std::uint32_t>(stream.size()),
               static_cast<std::uint32_t>(content.size()));
    }

    // A well-formed record: name, NUL and zero padding in whole scrambled words.
    void record(std::u16string_view name, std::uint32_t offset, std::uint32_t stored,
                std::uint32_t unpacked) {
        std::u16string units(name);
        units.push_back(0);
        if (units.size() % 2)
            units.push_back(0);
        rawRecord(static_cast<std::uint32_t>(16 + 2 * units.size()), offset, stored, unpacked,
                  scramble(units));
    }

    // Any record header followed by the given name area bytes.
    void rawRecord(std::uint32_t length, std::uint32_t offset, std::uint32_t stored, std::uint32_t unpacked,
                   const Bytes& nameArea) {
        put32(directory_, length);
        put32(directory_, offset);
        put32(directory_, stored);
        put32(directory_, unpacked);
        directory_.insert(directory_.end(), nameArea.begin(), nameArea.end());
    }

    // Arbitrary bytes in the directory (for instance a lone length word).
    void rawDirectory(const Bytes& bytes) { directory_.insert(directory_.end(), bytes.begin(), bytes.end()); }

    // Data area, directory, end marker (unless omitted), scrambled directory offset.
    Bytes finish(bool endMarker = true) const {
        Bytes out = block_;
        auto offset = static_cast<std::uint32_t>(out.size());
        out.insert(out.end(), directory_.begin(), directory_.end());
        if (endMarker)
            put32(out, 0);
        put32(out, offset ^ kKey);
        return out;
    }

    // Scrambles UTF-16 units pairwise into words (an odd count is padded with a zero unit).
    static Bytes scramble(std::u16string_view units) {
        Bytes out;
        for (std::size_t i = 0; i < units.size(); i += 2) {
            std::uint32_t lo = units[i];
            std::uint32_t hi = i + 1 < units.size() ? units[i + 1] : 0;
            put32(out, (lo | hi << 16) ^ kKey);
        }
        return out;
    }

  private:
    Bytes block_;
    Bytes directory_;
};

}  // namespace packtest
