// A pack archive together with the bytes it reads from: the resource copy and the file system that must
// free that copy (or a view the file system keeps), and the PackArchive over it. Not copyable; the bytes
// outlive the index and go back to their owner when the archive is closed. Opened archives are immutable, so
// any number of threads may extract at once; opening and closing are for the one thread that owns the object.
#pragma once

#include <cstddef>
#include <memory>

#include "host/resource_file_system.h"
#include "pack/pack_archive.h"

// An entry buffer from extractEntry, released with freeEntry.
struct EntryFree {
    void operator()(void* buffer) const { freeEntry(buffer); }
};
using unique_entry = std::unique_ptr<void, EntryFree>;

class OwnedArchive {
  public:
    OwnedArchive() = default;
    OwnedArchive(const OwnedArchive&) = delete;
    OwnedArchive& operator=(const OwnedArchive&) = delete;

    // Closes, then reads the named file through files and opens it. False (and empty) when files is
    // null or has no such file. A damaged block still opens; see PackArchive::isDamaged.
    bool open(FileSystem* files, const wchar_t* name);
    // Like open, but reads the file where files keeps it (FileSystem::mapFile) when it can, so that
    // no copy is made; files must then outlive the archive. Falls back to a copy.
    bool openInPlace(FileSystem* files, const wchar_t* name);
    // Closes, then takes bytes the caller hands over: they go back through owner->freeBuffer, or free()
    // when owner is null. False (and empty) when bytes is null.
    bool adopt(void* bytes, std::size_t size, FileSystem* owner);
    // Drops the index, then releases the bytes. Harmless when empty.
    void close();

    const PackArchive* get() const { return archive_.get(); }
    explicit operator bool() const { return archive_ != nullptr; }

    // The named entry's content with its size in *size, or null when the archive is empty, has no such
    // entry, or the buffer cannot be allocated (see extractEntry).
    unique_entry extract(const wchar_t* name, std::size_t* size) const;
    // Any thread: the entry's stored bytes will not be read again soon. For an archive read in place,
    // the file system may give their memory back (FileSystem::releaseMapped); otherwise nothing.
    void release(const PackEntry& entry) const;

  private:
    unique_file_buffer bytes_;              // declared first: the index must go before its bytes;
                                            // null while reading a view in place
    std::unique_ptr<PackArchive> archive_;  // reads bytes_
    FileSystem* viewOwner_ = nullptr;       // the file system keeping the view read in place; not owned
};
