// Decode-ahead for the install worker: a thread of its own decodes the payload entries the worker is
// expected to ask for next, so that decoding overlaps the worker's writing and its waits for the user
// interface. The expected order is a guess (see expectedEntries); whatever is asked for outside it, or
// again, or is too large for the budget, is decoded on demand on the asking thread, so every answer is
// exactly what extractEntry gives.
//
// Budget: at most kMaxEntries entries and kMaxBytes bytes of decoded content are held or being decoded
// ahead at once (the entry the worker is writing is no longer counted). An entry larger than the byte
// budget is never decoded ahead. The byte budget counts in the installer's peak memory, beside the
// decoder's own dictionary (as large as the entry) and the entry being written; a few MiB ahead are
// enough to keep the writing fed.
#pragma once

#include <windows.h>
#include <cstddef>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "host/handles.h"
#include "host/owned_archive.h"
#include "pack/pack_archive.h"

// The entries of archive that the text names in string literals ("…", '…' or long brackets, a
// backslash in a name read as '/'), each once, in the order of their first mention.
std::vector<std::u16string> expectedEntries(std::string_view text, const PackArchive& archive);

class EntryReadAhead {
  public:
    static constexpr std::size_t kMaxEntries = 32;
    static constexpr std::size_t kMaxBytes = std::size_t{8} << 20;

    struct Limits {
        std::size_t entries = kMaxEntries;
        std::size_t bytes = kMaxBytes;
    };

    // Starts decoding order ahead of the asking thread. archive must be open and outlive this object;
    // the stored bytes of each entry decoded are released (OwnedArchive::release) once decoded. When
    // the thread cannot be created, every take decodes on demand.
    EntryReadAhead(const OwnedArchive& archive, std::vector<std::u16string> order, Limits limits);
    EntryReadAhead(const OwnedArchive& archive, std::vector<std::u16string> order)
        : EntryReadAhead(archive, std::move(order), Limits{}) {}
    EntryReadAhead(const EntryReadAhead&) = delete;
    EntryReadAhead& operator=(const EntryReadAhead&) = delete;
    // Stops the thread (after the entry it is decoding, if any), waits for it and frees every buffer.
    ~EntryReadAhead();

    // The asking thread (one at a time): the named entry as extractEntry(archive, name, size, result)
    // gives it. Entries of the order before name that were decoded ahead are dropped.
    unique_entry take(std::u16string_view name, std::size_t* size, PackResult* result);

    // True while the decoding thread runs (for tests).
    bool threadRunning() const;

  private:
    struct Planned {
        std::u16string name;
        const PackEntry* entry;
    };
    struct Decoded {
        std::size_t index;
        unique_entry data;
        std::size_t size;
        PackResult result;
    };

    static DWORD WINAPI threadMain(void* self);
    void decodeLoop();
    bool mayStartNext() const;  // under lock_
    unique_entry decodeNow(std::u16string_view name, std::size_t* size, PackResult* result) const;

    const OwnedArchive& archive_;
    const Limits limits_;
    std::vector<Planned> order_;
    std::map<std::u16string_view, std::size_t, std::less<>> position_;  // views into order_ names

    mutable win::critical_section lock_;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;  // any change of the guarded state
    // Guarded by lock_:
    std::size_t next_ = 0;             // the next index the thread considers
    std::size_t wantedFrom_ = 0;       // indices below this are no longer wanted
    std::size_t decoding_ = SIZE_MAX;  // the index the thread decodes now, if any
    std::size_t bytesAhead_ = 0;       // content bytes in ready_ and in decoding_
    std::deque<Decoded> ready_;        // ascending indices
    bool stopping_ = false;

    win::unique_handle thread_;  // last: the thread starts when everything else exists
};
