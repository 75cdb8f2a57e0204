// Writes pack archives: entries compressed independently on every core and written in the order
// given, so the same files always give the same bytes. Shared by packtool and tarvo; any thread, but
// one call uses all cores itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "walk.h"

namespace packtool {

// Receives the archive's bytes in order; false stops the write (the writer then reports *error).
using ArchiveSink = std::function<bool(const unsigned char* data, std::size_t size)>;
// Called on the calling thread now and then, and once at the end: files and content bytes written.
using ArchiveProgress = std::function<void(std::size_t files, std::uint64_t bytes)>;

struct ArchiveOptions {
    bool store = false;    // every entry stored uncompressed
    std::string tag;       // bytes ahead of the first entry ("pack-v1.1" for the payload)
    unsigned threads = 0;  // 0: every core
};

// Writes files, in this order, as entries named by their names. On failure (a file unreadable or
// changed meanwhile, a name too long for the format, an archive over 2 GiB, the sink refusing) returns
// false with a one-line reason.
bool writeArchive(const std::vector<WalkedFile>& files, const ArchiveOptions& options,
                  const ArchiveSink& sink, const ArchiveProgress& progress, std::string* error);

}  // namespace packtool
