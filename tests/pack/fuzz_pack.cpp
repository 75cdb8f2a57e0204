// libFuzzer target: open any bytes as an archive, extract every indexed entry and look up a name
// taken from the input. Sizes are checked against the index; sanitizers catch out-of-block reads.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pack/pack_archive.h"

namespace {
// Larger claimed sizes would only measure the allocator (and trip libFuzzer's malloc limit).
constexpr std::uint32_t kMaxUnpacked = 16u << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly size bytes, so that a read past the block is a heap overflow.
    auto* block = static_cast<std::uint8_t*>(std::malloc(size ? size : 1));
    if (size)
        std::memcpy(block, data, size);
    auto archive = openPackArchive(block, size);
    for (const auto& [name, entry] : archive->entries()) {
        if (std::uint64_t(entry.dataOffset) + entry.storedSize > size)
            std::abort();
        if (entry.unpackedSize > kMaxUnpacked)
            continue;
        std::size_t produced = 0;
        void* buffer = extractEntry(*archive, name.c_str(), &produced);
        if (!buffer || produced > entry.contentSize())
            std::abort();
        if (produced)
            static_cast<volatile std::uint8_t*>(buffer)[produced - 1];
        freeEntry(buffer);
    }
    if (size >= 4) {
        std::u16string probe(reinterpret_cast<const char16_t*>(block), 0);
        for (std::size_t i = 0; i + 1 < size && i < 16; i += 2)
            probe.push_back(char16_t(block[i] | block[i + 1] << 8));
        probe.erase(probe.find(u'\0') == std::u16string::npos ? probe.size() : probe.find(u'\0'));
        const PackEntry* e = archive->find(probe);
        if (e && e->unpackedSize <= kMaxUnpacked)
            freeEntry(extractEntry(*archive, probe.c_str(), nullptr));
    }
    std::free(block);
    return 0;
}
