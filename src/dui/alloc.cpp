#include "dui/alloc.h"

#include <cstdlib>
#include <cstring>

#include "dui/checked.h"

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

// ---- Checked build: freed payloads are poisoned and wait in a quarantine before reuse -------------
//
// A freed payload is filled with kPoisonByte and queued; the queue holds up to kQuarantineBytes of
// payload (and at most kQuarantineCells blocks). When a block leaves the queue its poison is checked
// (a write after free shows here), then it joins its free list, where only the link word is written;
// the rest of the poison is checked again when the cell is handed out. A read after free sees the
// pattern: a pointer read from a freed control is non-canonical and faults where it is used.
constexpr std::size_t kQuarantineCells = 4096;
constexpr std::size_t kQuarantineBytes = 1u << 20;

void* quarantine[kQuarantineCells];
std::size_t quarantineHead = 0;  // oldest entry
std::size_t quarantineCount = 0;
std::size_t quarantineBytes = 0;

void pushToFreeList(void* block) {
    auto* cell = static_cast<FreeCell*>(block);
    std::size_t cls = *sizeHeader(block) / kGranule - 1;
    cell->next = freeLists[cls];
    freeLists[cls] = cell;
}

// The oldest quarantined block goes on: to its free list, or back to the general heap when large.
void releaseOldest() {
    void* block = quarantine[quarantineHead];
    quarantineHead = (quarantineHead + 1) % kQuarantineCells;
    --quarantineCount;
    std::uint32_t size = *sizeHeader(block);
    quarantineBytes -= size;
    checkPoison(block, 0, size, "small-object block written after it was freed");
    if (size > kSmallObjectLimit) {
        std::free(static_cast<char*>(block) - kPrefix);
        return;
    }
    pushToFreeList(block);
}

void quarantineBlock(void* block) {
    std::uint32_t size = *sizeHeader(block);
    std::memset(block, kPoisonByte, size);
    while (quarantineCount == kQuarantineCells ||
           (quarantineCount && quarantineBytes + size > kQuarantineBytes))
        releaseOldest();
    quarantine[(quarantineHead + quarantineCount) % kQuarantineCells] = block;
    ++quarantineCount;
    quarantineBytes += size;
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
        if (kCheckedBuild)
            std::memset(cell, kPoisonByte, payload);  // new cells pass the reuse check
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
    std::uint32_t cellSize = static_cast<std::uint32_t>((cls + 1) * kGranule);
    if (kCheckedBuild)
        checkPoison(cell, sizeof(FreeCell), cellSize, "free small-object cell written before reuse");
    *sizeHeader(cell) = cellSize;
    return cell;
}

void smallFree(void* block) noexcept {
    if (!block)
        return;
    std::uint32_t size = *sizeHeader(block);
    --stats.liveBlocks;
    if (size > kSmallObjectLimit)
        ++stats.heapFrees;
    if (kCheckedBuild) {
        quarantineBlock(block);
        return;
    }
    if (size > kSmallObjectLimit) {
        std::free(static_cast<char*>(block) - kPrefix);
        return;
    }
    pushToFreeList(block);
}

void flushSmallQuarantine() noexcept {
    while (quarantineCount) releaseOldest();
}

AllocatorStats allocatorStats() noexcept {
    return stats;
}

}  // namespace dui
