// Reader of pack archives: one block of bytes holding named entries, stored or LZMA1-compressed, with a
// scrambled directory at the end. Portable; no platform headers.
//
// Lifetime: a PackArchive borrows the block it was opened on; the block must stay valid and unchanged
// while the archive is used. An opened archive is immutable: any number of threads may extract at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

// Key XORed into the directory offset and into every 32-bit word of the entry names.
inline constexpr std::uint32_t kPackArchiveKey = 0x5A17C3E9u;

// Longest name area of a record in bytes (the name, its NUL code unit and padding).
inline constexpr std::size_t kPackMaxNameArea = 2048;

// One entry of the index. The data range lies inside the block (checked when the archive is opened).
struct PackEntry {
    std::uint32_t dataOffset = 0;
    std::uint32_t storedSize = 0;    // bytes in the block; includes the 5 property bytes when compressed
    std::uint32_t unpackedSize = 0;  // 0 for a stored entry
    bool compressed() const { return unpackedSize != 0; }
    // Size of the content a sound entry yields.
    std::uint32_t contentSize() const { return compressed() ? unpackedSize : storedSize; }
};

class PackArchive {
  public:
    // Names ordered code unit by code unit as unsigned 16-bit values; a proper prefix orders first.
    using Index = std::map<std::u16string, PackEntry, std::less<>>;

    PackArchive(const void* block, std::size_t size);
    PackArchive(const PackArchive&) = delete;
    PackArchive& operator=(const PackArchive&) = delete;

    // True when the directory could not be read to its end marker or some record was left out of the
    // index; the index then holds only what was sound (see pack_archive.cpp).
    bool isDamaged() const { return !damage_.empty(); }
    // What was wrong, for messages ("" when sound). Names the first fault found.
    const std::string& damage() const { return damage_; }

    const Index& entries() const { return index_; }
    // Exact, case-sensitive lookup; null when missing.
    const PackEntry* find(std::u16string_view name) const;

    const unsigned char* base() const { return base_; }

  private:
    void readDirectory(std::size_t size);
    void noteDamage(std::string what);

    const unsigned char* base_;  // not owned
    Index index_;
    std::string damage_;
};

// Indexes the block once, without copying entry data. Never null; damaged input gives an archive with
// what could be read and isDamaged() set.
std::unique_ptr<PackArchive> openPackArchive(const void* block, std::size_t size);

// What an extraction found. Like liblzma's return codes, it tells a caller's wrong name from damaged
// data and from a lack of memory, so that each can be answered differently (retry, report, give up).
enum class PackResult {
    Ok,           // the whole content: exactly the entry's contentSize() bytes
    Missing,      // no entry has that name (or the name is null); no buffer
    Damaged,      // the stream ended early or is corrupt; the buffer holds what was decoded before it
    OutOfMemory,  // the output buffer or the decoder's state could not be allocated; no buffer
};

// Returns a new malloc'd buffer with the entry's content (never null for an existing entry, even when
// empty, unless memory runs out), or null when no entry has that name or memory runs out. *size is set
// whenever a buffer is returned (size may be null). A damaged compressed entry yields what the decoder
// produced before it stopped, with that length. No terminating zero is appended. *result (may be
// null) says which case it was.
void* extractEntry(const PackArchive& archive, const char16_t* name, std::size_t* size,
                   PackResult* result = nullptr);
void* extractEntry(const PackArchive& archive, const PackEntry& entry, std::size_t* size,
                   PackResult* result = nullptr);

// Releases a buffer from extractEntry (it is free()).
void freeEntry(void* buffer);
