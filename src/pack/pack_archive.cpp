#include "pack/pack_archive.h"

#include <lzma.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

// Pack archive layout (all integers little-endian, offsets from the first byte of the block):
//
//   [entry data ...][directory: records ..., u32 0][i32 directory offset ^ key]
//
// A record is  u32 length (>= 16, header included) | u32 data offset | u32 stored size |
// u32 unpacked size (0 = stored) | name area of length - 16 bytes. The name area holds the UTF-16LE
// name, a NUL code unit and padding; its first (length - 16) / 4 words are XORed with the key. The
// next record starts at this record's start + length; a zero length word ends the directory.
// Compressed data is 5 LZMA property bytes (lc/lp/pb byte, u32 dictionary size) and a raw LZMA1
// stream without size field; the end marker is optional. Bytes outside the listed ranges (such as a
// leading tag) are never read.
//
// Damaged input: every length, offset and range is checked before it is used.
//  - Directory offset not inside the block (before the trailing offset word): empty index.
//  - A record with length 0 < n < 16, running past the directory end, with a name area over 2048
//    bytes or without a NUL code unit in its unscrambled words, or a directory without end marker:
//    reading stops there; the records read before it stay indexed.
//  - A record whose data range is outside the block (or a compressed entry shorter than its 5 property
//    bytes) is left out of the index and reading goes on; an earlier record of that name stays.
// Each of these marks the archive damaged.

namespace {

std::uint32_t load32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::string at(std::size_t offset) {
    return " at offset " + std::to_string(offset);
}

// Decodes the raw LZMA1 stream of a compressed entry into out (capacity = unpacked size); *produced is
// the number of bytes decoded. Stops when the output is full, the input ends or the stream is corrupt.
// Ok only when the output was filled.
PackResult decodeLzma(const unsigned char* data, std::size_t storedSize, unsigned char* out,
                      std::size_t unpackedSize, std::size_t* produced) {
    *produced = 0;
    unsigned props = data[0];
    if (props >= 9 * 5 * 5)
        return PackResult::Damaged;
    lzma_options_lzma options{};
    options.lc = props % 9;
    options.lp = (props / 9) % 5;
    options.pb = props / 45;
    // A dictionary larger than the whole output is never used; capping it spares the allocation.
    std::size_t dict =
        std::max<std::size_t>(LZMA_DICT_SIZE_MIN, std::min<std::size_t>(load32(data + 1), unpackedSize));
    options.dict_size = static_cast<std::uint32_t>(dict);
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options.ext_size_low = static_cast<std::uint32_t>(unpackedSize);
    options.ext_size_high = 0;
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    lzma_stream stream = LZMA_STREAM_INIT;
    lzma_ret ret = lzma_raw_decoder(&stream, filters);
    if (ret == LZMA_OK) {
        stream.next_in = data + 5;
        stream.avail_in = storedSize - 5;
        stream.next_out = out;
        stream.avail_out = unpackedSize;
        do {
            ret = lzma_code(&stream, LZMA_FINISH);
        } while (ret == LZMA_OK);
        *produced = unpackedSize - stream.avail_out;
    }
    lzma_end(&stream);
    if (ret == LZMA_MEM_ERROR)
        return PackResult::OutOfMemory;
    return *produced == unpackedSize ? PackResult::Ok : PackResult::Damaged;
}

}  // namespace

PackArchive::PackArchive(const void* block, std::size_t size)
    : base_(static_cast<const unsigned char*>(block)) {
    readDirectory(block ? size : 0);
}

void PackArchive::noteDamage(std::string what) {
    if (damage_.empty())
        damage_ = std::move(what);
}

void PackArchive::readDirectory(std::size_t size) {
    if (size < 8) {
        noteDamage("block of " + std::to_string(size) + " bytes is too small for an archive");
        return;
    }
    const std::size_t directoryEnd = size - 4;  // the trailing offset word is not part of the directory
    const std::int32_t offset = static_cast<std::int32_t>(load32(base_ + directoryEnd) ^ kPackArchiveKey);
    if (offset < 0 || static_cast<std::size_t>(offset) > directoryEnd) {
        noteDamage("directory offset " + std::to_string(offset) + " lies outside the block");
        return;
    }

    char16_t name[kPackMaxNameArea / 2];
    std::size_t pos = static_cast<std::size_t>(offset);
    for (;;) {
        if (directoryEnd - pos < 4) {
            noteDamage("directory has no end marker" + at(pos));
            return;
        }
        const unsigned char* record = base_ + pos;
        const std::uint32_t length = load32(record);
        if (length == 0)
            return;
        if (length < 16) {
            noteDamage("record length " + std::to_string(length) + " below 16" + at(pos));
            return;
        }
        if (length > directoryEnd - pos) {
            noteDamage("record length " + std::to_string(length) + " runs past the directory" + at(pos));
            return;
        }
        const std::size_t area = length - 16;
        if (area > kPackMaxNameArea) {
            noteDamage("name area of " + std::to_string(area) + " bytes exceeds 2048" + at(pos));
            return;
        }
        const std::size_t words = area / 4;
        for (std::size_t i = 0; i < words; ++i) {
            std::uint32_t w = load32(record + 16 + 4 * i) ^ kPackArchiveKey;
            name[2 * i] = static_cast<char16_t>(w & 0xFFFF);
            name[2 * i + 1] = static_cast<char16_t>(w >> 16);
        }
        char16_t* nameEnd = std::find(name, name + 2 * words, u'\0');
        if (nameEnd == name + 2 * words) {
            noteDamage("record name has no terminating NUL" + at(pos));
            return;
        }

        PackEntry entry;
        entry.dataOffset = load32(record + 4);
        entry.storedSize = load32(record + 8);
        entry.unpackedSize = load32(record + 12);
        const std::uint64_t dataEnd = std::uint64_t(entry.dataOffset) + entry.storedSize;
        if (dataEnd > size || (entry.compressed() && entry.storedSize < 5)) {
            noteDamage("entry data " + std::to_string(entry.dataOffset) + "+" +
                       std::to_string(entry.storedSize) + " lies outside the block (record" + at(pos) + ")");
        } else {
            index_.insert_or_assign(std::u16string(name, static_cast<std::size_t>(nameEnd - name)), entry);
        }
        pos += length;
    }
}

const PackEntry* PackArchive::find(std::u16string_view name) const {
    auto it = index_.find(name);
    return it == index_.end() ? nullptr : &it->second;
}

std::unique_ptr<PackArchive> openPackArchive(const void* block, std::size_t size) {
    return std::make_unique<PackArchive>(block, size);
}

void* extractEntry(const PackArchive& archive, const PackEntry& entry, std::size_t* size,
                   PackResult* result) {
    PackResult ignored;
    PackResult& outcome = result ? *result : ignored;
    outcome = PackResult::OutOfMemory;
    const unsigned char* data = archive.base() + entry.dataOffset;
    if (!entry.compressed()) {
        // malloc(0) may return null, which would read as a missing entry.
        void* buffer = std::malloc(std::max<std::size_t>(entry.storedSize, 1));
        if (!buffer)
            return nullptr;
        if (entry.storedSize)
            std::memcpy(buffer, data, entry.storedSize);
        if (size)
            *size = entry.storedSize;
        outcome = PackResult::Ok;
        return buffer;
    }
    auto* buffer = static_cast<unsigned char*>(std::malloc(entry.unpackedSize));
    if (!buffer)
        return nullptr;
    std::size_t produced = 0;
    outcome = decodeLzma(data, entry.storedSize, buffer, entry.unpackedSize, &produced);
    if (outcome == PackResult::OutOfMemory) {
        std::free(buffer);
        return nullptr;
    }
    if (size)
        *size = produced;
    return buffer;
}

void* extractEntry(const PackArchive& archive, const char16_t* name, std::size_t* size, PackResult* result) {
    const PackEntry* entry = name ? archive.find(name) : nullptr;
    if (!entry) {
        if (result)
            *result = PackResult::Missing;
        return nullptr;
    }
    return extractEntry(archive, *entry, size, result);
}

void freeEntry(void* buffer) {
    std::free(buffer);
}
