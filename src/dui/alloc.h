// Process-wide small-object allocator for controls, styles, attribute nodes and other many small
// records. Blocks up to 1,024 bytes come from per-size free lists refilled 100 cells at a time; every
// block carries a 4-byte size header; larger blocks go to the general heap (malloc). UI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

namespace dui {

constexpr std::size_t kSmallObjectLimit = 1024;
constexpr std::size_t kCellsPerRefill = 100;

// Answers an 8-byte aligned block of at least `size` bytes, or null when the general heap fails.
void* smallAlloc(std::size_t size) noexcept;
// Gives a block from smallAlloc back; null is ignored.
void smallFree(void* block) noexcept;

// Counters of general-heap calls made by the allocator since process start.
struct AllocatorStats {
    std::uint64_t heapAllocs;  // malloc calls: refills and large blocks
    std::uint64_t heapFrees;   // free calls: large blocks (refilled cells are kept for the process)
    std::uint64_t liveBlocks;  // blocks handed out and not yet given back
};
AllocatorStats allocatorStats() noexcept;

// Base for classes whose objects come from the small-object allocator. `new` answers null on failure.
class SmallObject {
  public:
    static void* operator new(std::size_t size) noexcept { return smallAlloc(size); }
    static void operator delete(void* block) noexcept { smallFree(block); }
};

// Standard-library allocator over smallAlloc, for node containers inside controls.
template <typename T>
struct SmallAllocator {
    using value_type = T;
    SmallAllocator() noexcept = default;
    template <typename U>
    SmallAllocator(const SmallAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        void* p = smallAlloc(n * sizeof(T));
        if (!p)
            throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) noexcept { smallFree(p); }
    template <typename U>
    bool operator==(const SmallAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace dui
