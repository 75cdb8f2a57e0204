// A 64-bit Windows executable read into memory with its resource tree, and written back with a new
// resource section. Portable: no Windows headers or calls, so installers are built on any machine.
//
// What it keeps: every section before the resource section byte for byte, and the file and section
// alignment of the image. The resource section is written anew in place of the old one; sections
// after it may only be the base relocations, which move with it. An Authenticode signature of the
// input is dropped (signing comes last). Not thread-safe; one image per thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarvo {

// An integer id, or a name (stored upper-case, as resource compilers do; lookups ignore case).
struct ResourceKey {
    std::uint16_t id = 0;
    std::u16string name;  // empty: the id counts
    static ResourceKey named(const std::u16string& text);
    bool operator==(const ResourceKey&) const = default;
    std::string text() const;  // "_TARVORESC" or "111", for listings
};

struct Resource {
    ResourceKey type;
    ResourceKey name;
    std::uint16_t language = 0;
    std::vector<unsigned char> data;
};

namespace rt {
inline constexpr std::uint16_t kIcon = 3, kGroupIcon = 14, kVersion = 16, kManifest = 24;
}

class PeImage {
  public:
    // Reads a PE32+ executable; false with a reason when it is not one or its resources are damaged.
    bool load(const std::filesystem::path& path, std::string* error);

    std::vector<Resource>& resources() { return resources_; }
    const std::vector<Resource>& resources() const { return resources_; }
    // Adds r, replacing a resource of the same type, name and language.
    void put(Resource r);
    // Drops every resource of the type.
    void removeType(std::uint16_t type);
    const Resource* find(const ResourceKey& type, const ResourceKey& name) const;

    // Writes the image with its current resources to out (a new file), the header's time stamp set to
    // timestamp and its checksum computed. False with a reason on a layout it cannot keep or a failed
    // write.
    bool write(const std::filesystem::path& out, std::uint32_t timestamp, std::string* error) const;

    std::uint32_t timestamp() const;
    std::uint32_t fileAlignment() const { return fileAlignment_; }

  private:
    struct Section {
        char name[9] = {};
        std::uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawPointer = 0;
        std::size_t headerOffset = 0;  // of its 40-byte header in the file
    };
    const Section* sectionAt(std::uint32_t rva) const;
    bool readTree(std::uint32_t dirOffset, int level, Resource partial, std::string* error);

    std::vector<unsigned char> bytes_;  // the input file, certificate and overlay included
    std::vector<Section> sections_;
    std::size_t peOffset_ = 0, optionalOffset_ = 0;
    std::uint32_t fileAlignment_ = 0, sectionAlignment_ = 0;
    int resourceSection_ = -1;
    std::vector<Resource> resources_;
};

}  // namespace tarvo
