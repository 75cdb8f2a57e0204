// The catalogue of named files embedded in the executable's resources. Readers get private copies, or
// a read-only view of the bytes in place when they ask for one.
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "host/handles.h"

// A source of named files. Buffers from readFile are malloc'd, belong to the caller and go back
// through freeBuffer.
class FileSystem {
  public:
    // The whole file followed by four zero bytes (*size excludes them), or null with *size untouched.
    virtual void* readFile(const wchar_t* name, std::size_t* size) = 0;
    virtual void freeBuffer(void* buffer) = 0;  // null is accepted
    // A read-only view of the whole file, valid while the file system lives, with nothing to release;
    // null (and *size untouched) when the file is missing or this file system keeps no such view, in
    // which case readFile is the way to the bytes.
    virtual const void* mapFile(const wchar_t* name, std::size_t* size);
    // Tells the file system that these bytes of a mapFile view will not be read again soon: it may give
    // their memory back (a later read brings them back from the file). Any thread; a hint only.
    virtual void releaseMapped(const void* bytes, std::size_t size);
};

// Gives a readFile buffer back to the file system it came from; with no file system, to free().
struct FileBufferFree {
    FileSystem* files = nullptr;  // not owned
    void operator()(void* buffer) const;
};
using unique_file_buffer = std::unique_ptr<void, FileBufferFree>;

// files.readFile in an owner; null (and *size untouched) when the file is missing.
unique_file_buffer readOwnedFile(FileSystem& files, const wchar_t* name, std::size_t* size);

// Maps names to integer ids of resources of type "_TarvoResc" in the running executable. Names are
// registered on the main thread before other threads exist; afterwards readFile is safe from any thread.
// Constructing one makes it the current file system; it must outlive every reader.
class ResourceFileSystem : public FileSystem {
  public:
    ResourceFileSystem();
    ResourceFileSystem(const ResourceFileSystem&) = delete;
    ResourceFileSystem& operator=(const ResourceFileSystem&) = delete;

    // Sets the resource id for name, replacing an earlier one.
    void registerName(const wchar_t* name, uintptr_t id);
    void* readFile(const wchar_t* name, std::size_t* size) override;
    void freeBuffer(void* buffer) override;
    // The resource's bytes in place, no terminating zeros: inside a read-only view of the executable
    // file, mapped on first use, so that releaseMapped can give its pages back; in the loader's image
    // when the file cannot be mapped.
    const void* mapFile(const wchar_t* name, std::size_t* size) override;
    // Drops the whole pages of a range of the file view from the process's memory.
    void releaseMapped(const void* bytes, std::size_t size) override;

  private:
    // The locked resource of a registered name, or null.
    const void* lockResource(const wchar_t* name, DWORD* length) const;
    // The executable file mapped read-only, or null when it cannot be; made once (any thread).
    const unsigned char* fileView();

    win::critical_section viewLock_;  // guards the three fields below
    bool viewTried_ = false;
    win::unique_view view_;
    std::size_t viewSize_ = 0;

    std::map<std::wstring, uintptr_t> names_;  // ordered by unsigned 16-bit code units
    HMODULE module_;                           // the running executable's image; not owned
};

// The last ResourceFileSystem constructed; never cleared. Null before the first one.
FileSystem* currentFileSystem();

// Registers the five embedded files of the installer under their fixed resource ids.
void registerInstallerResources(ResourceFileSystem& files);
