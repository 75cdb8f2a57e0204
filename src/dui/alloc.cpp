#include "dui/alloc.h"

#include <cstdlib>
#include <cstring>

namespace dui {
namespace {

// A cell is an 8-byte prefix (4 bytes unused, then the 4-byte size header) followed by the payload,
// so payloads stay 8-byte aligned. Free cells link through their payload.
constexpr std::size_t kGranule = 8;
constexpr std::size_t kPrefix = 8;
constexpr std::size_t kClassCount = kSmallObjectLimit / kGranule;

struct FreeCell {
    FreeCell* next;
};

FreeCell* freeLists[kClassCount];
AllocatorStats stats;

std::uint32_t* sizeHeader(void* payload) {
    return reinterpret_cast<std::uint32_t*>(static_cast<char*>(payload) - 4);
}

bool refill(std::size_t cls) {
    std::size_t payload = (cls + 1) * kGranule;
    std::size_t stride = kPrefix + payload;
    char* block = static_cast<char*>(std::malloc(stride * kCellsPerRefill));
    if (!block)
        return false;
    ++stats.heapAllocs;
    for (std::size_t i = kCellsPerRefill; i-- > 0;) {
        char* cell = block + i * stride + kPrefix;
        auto* fc = reinterpret_cast<FreeCell*>(cell);
        fc->next = freeLists[cls];
        freeLists[cls] = fc;
    }
    return true;
}

}  // namespace

void* smallAlloc(std::size_t size) noexcept {
    if (size == 0)
        size = 1;
    if (size > kSmallObjectLimit) {
        if (size > UINT32_MAX - kPrefix)
            return nullptr;
        char* block = static_cast<char*>(std::malloc(kPrefix + size));
        if (!block)
            return nullptr;
        ++stats.heapAllocs;
        ++stats.liveBlocks;
        void* payload = block + kPrefix;
        *sizeHeader(payload) = static_cast<std::uint32_t>(size);
        return payload;
    }
    std::size_t cls = (size - 1) / kGranule;
    if (!freeLists[cls] && !refill(cls))
        return nullptr;
    FreeCell* cell = freeLists[cls];
    freeLists[cls] = cell->next;
    ++stats.liveBlocks;
    *sizeHeader(cell) = static_cast<std::uint32_t>((cls + 1) * kGranule);
    return cell;
}

void smallFree(void* block) noexcept {
    if (!block)
        return;
    std::uint32_t size = *sizeHeader(block);
    --stats.liveBlocks;
    if (size > kSmallObjectLimit) {
        ++stats.heapFrees;
        std::free(static_cast<char*>(block) - kPrefix);
        return;
    }
    auto* cell = static_cast<FreeCell*>(block);
    std::size_t cls = size / kGranule - 1;
    cell->next = freeLists[cls];
    freeLists[cls] = cell;
}

AllocatorStats allocatorStats() noexcept {
    return stats;
}

}  // namespace dui
