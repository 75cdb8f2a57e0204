#include "pe_image.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>

namespace tarvo {
namespace {

// Field offsets of the PE32+ headers.
constexpr std::size_t kCoffSections = 2, kCoffTimestamp = 4, kCoffOptionalSize = 16;
constexpr std::size_t kOptInitializedData = 8, kOptSectionAlign = 32, kOptFileAlign = 36, kOptImageSize = 56;
constexpr std::size_t kOptChecksum = 64, kOptDirCount = 108, kOptDirs = 112;
constexpr int kDirResource = 2, kDirSecurity = 4, kDirBaseReloc = 5;
constexpr std::uint32_t kInitializedData = 0x40;
constexpr std::uint32_t kHighBit = 0x80000000u;

std::uint16_t get16(const std::vector<unsigned char>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t get32(const std::vector<unsigned char>& b, std::size_t at) {
    return get16(b, at) | static_cast<std::uint32_t>(get16(b, at + 2)) << 16;
}
void set16(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}
void set32(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {
    set16(b, at, v & 0xFFFF);
    set16(b, at + 2, v >> 16);
}
std::uint32_t alignUp(std::uint64_t v, std::uint32_t a) {
    return static_cast<std::uint32_t>((v + a - 1) / a * a);
}

char16_t upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

// Resource directories list named entries first, by name, then ids ascending.
bool keyLess(const ResourceKey& a, const ResourceKey& b) {
    if (a.name.empty() != b.name.empty())
        return !a.name.empty();
    return a.name.empty() ? a.id < b.id : a.name < b.name;
}
struct KeyOrder {
    bool operator()(const ResourceKey& a, const ResourceKey& b) const { return keyLess(a, b); }
};

// The serialised resource section: directories, data entries and names in `head`, then every
// resource's bytes at its offset (8-byte aligned), `size` bytes in all.
struct RsrcLayout {
    std::vector<unsigned char> head;
    std::vector<std::pair<std::uint32_t, const std::vector<unsigned char>*>> blobs;
    std::uint32_t size = 0;
};

RsrcLayout layoutResources(const std::vector<Resource>& resources, std::uint32_t rva, std::uint32_t stamp) {
    using Langs = std::map<std::uint16_t, const Resource*>;
    using Names = std::map<ResourceKey, Langs, KeyOrder>;
    std::map<ResourceKey, Names, KeyOrder> tree;
    for (const Resource& r : resources) tree[r.type][r.name][r.language] = &r;

    // Pass 1: offsets of every directory, then the data entries, the names and the blobs.
    std::uint32_t at = 16 + 8 * static_cast<std::uint32_t>(tree.size());
    std::map<const Names*, std::uint32_t> nameDirs;
    std::map<const Langs*, std::uint32_t> langDirs;
    for (auto& [type, names] : tree) {
        nameDirs[&names] = at;
        at += 16 + 8 * static_cast<std::uint32_t>(names.size());
    }
    std::uint32_t leaves = 0;
    for (auto& [type, names] : tree) {
        for (auto& [name, langs] : names) {
            langDirs[&langs] = at;
            at += 16 + 8 * static_cast<std::uint32_t>(langs.size());
            leaves += static_cast<std::uint32_t>(langs.size());
        }
    }
    const std::uint32_t dataEntries = at;
    at += 16 * leaves;
    std::map<std::u16string, std::uint32_t> strings;
    auto addString = [&](const ResourceKey& k) {
        if (!k.name.empty() && !strings.count(k.name)) {
            strings[k.name] = at;
            at += 2 + 2 * static_cast<std::uint32_t>(k.name.size());
        }
    };
    for (auto& [type, names] : tree) {
        addString(type);
        for (auto& [name, langs] : names) addString(name);
    }
    RsrcLayout out;
    at = alignUp(at, 8);
    out.head.assign(at, 0);
    std::vector<unsigned char>& h = out.head;

    // Pass 2: fill in.
    auto writeDir = [&](std::uint32_t off, std::size_t named, std::size_t ids) {
        set32(h, off + 4, stamp);
        set16(h, off + 12, static_cast<std::uint32_t>(named));
        set16(h, off + 14, static_cast<std::uint32_t>(ids));
    };
    auto keyField = [&](const ResourceKey& k) {
        return k.name.empty() ? k.id : (strings[k.name] | kHighBit);
    };
    auto counts = [](const auto& map) {
        std::size_t named = 0;
        for (auto& [k, v] : map) named += !k.name.empty();
        return std::pair{named, map.size() - named};
    };
    for (auto& [text, off] : strings) {
        set16(h, off, static_cast<std::uint32_t>(text.size()));
        for (std::size_t i = 0; i < text.size(); ++i) set16(h, off + 2 + 2 * i, text[i]);
    }
    auto [tn, ti] = counts(tree);
    writeDir(0, tn, ti);
    std::uint32_t entry = 16, leaf = dataEntries;
    for (auto& [type, names] : tree) {
        set32(h, entry, keyField(type));
        set32(h, entry + 4, nameDirs[&names] | kHighBit);
        entry += 8;
        auto [nn, ni] = counts(names);
        writeDir(nameDirs[&names], nn, ni);
        std::uint32_t e2 = nameDirs[&names] + 16;
        for (auto& [name, langs] : names) {
            set32(h, e2, keyField(name));
            set32(h, e2 + 4, langDirs[&langs] | kHighBit);
            e2 += 8;
            writeDir(langDirs[&langs], 0, langs.size());
            std::uint32_t e3 = langDirs[&langs] + 16;
            for (auto& [lang, r] : langs) {
                set32(h, e3, lang);
                set32(h, e3 + 4, leaf);
                e3 += 8;
                set32(h, leaf, rva + at);
                set32(h, leaf + 4, static_cast<std::uint32_t>(r->data.size()));
                out.blobs.emplace_back(at, &r->data);
                at = alignUp(at + r->data.size(), 8);
                leaf += 16;
            }
        }
    }
    out.size = at;
    return out;
}

// Writes a file while summing its 16-bit words for the header checksum.
class ChecksumWriter {
  public:
    explicit ChecksumWriter(std::ofstream& out) : out_(out) {}
    void write(const unsigned char* p, std::size_t n) {
        out_.write(reinterpret_cast<const char*>(p), static_cast<std::streamsize>(n));
        for (std::size_t i = 0; i < n; ++i, ++length_) {
            sum_ += (length_ & 1) ? static_cast<std::uint64_t>(p[i]) << 8 : p[i];
            if ((length_ & 0xFFFFF) == 0)
                fold();
        }
    }
    void zeros(std::size_t n) {
        static const unsigned char zero[4096] = {};
        while (n) {
            std::size_t k = std::min(n, sizeof zero);
            write(zero, k);
            n -= k;
        }
    }
    std::uint64_t length() const { return length_; }
    std::uint32_t checksum() {
        fold();
        fold();
        return static_cast<std::uint32_t>((sum_ & 0xFFFF) + length_);
    }

  private:
    void fold() {
        while (sum_ >> 16) sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
    }
    std::ofstream& out_;
    std::uint64_t sum_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace

ResourceKey ResourceKey::named(const std::u16string& text) {
    ResourceKey k;
    for (char16_t c : text) k.name.push_back(upper(c));
    return k;
}

std::string ResourceKey::text() const {
    if (name.empty())
        return std::to_string(id);
    std::string s;
    for (char16_t c : name) s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return s;
}

const PeImage::Section* PeImage::sectionAt(std::uint32_t rva) const {
    for (const Section& s : sections_) {
        if (rva >= s.virtualAddress && rva < s.virtualAddress + std::max(s.virtualSize, s.rawSize))
            return &s;
    }
    return nullptr;
}

bool PeImage::load(const std::filesystem::path& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read the file";
        return false;
    }
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const std::vector<unsigned char>& b = bytes_;
    auto bad = [&](const std::string& why) {
        *error = why;
        return false;
    };
    if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z')
        return bad("not a Windows executable");
    peOffset_ = get32(b, 0x3C);
    if (peOffset_ + 24 > b.size() || std::memcmp(&b[peOffset_], "PE\0\0", 4) != 0)
        return bad("not a Windows executable");
    const std::size_t coff = peOffset_ + 4;
    optionalOffset_ = coff + 20;
    const std::size_t optionalSize = get16(b, coff + kCoffOptionalSize);
    if (optionalOffset_ + std::max<std::size_t>(optionalSize, kOptDirs) > b.size() ||
        get16(b, optionalOffset_) != 0x20B)
        return bad("not a 64-bit Windows executable");
    if (optionalSize < kOptDirs + 8 * 16 || get32(b, optionalOffset_ + kOptDirCount) < 16)
        return bad("executable header without the full data directory");
    sectionAlignment_ = get32(b, optionalOffset_ + kOptSectionAlign);
    fileAlignment_ = get32(b, optionalOffset_ + kOptFileAlign);
    if (fileAlignment_ == 0 || sectionAlignment_ == 0)
        return bad("executable header with zero alignment");
    const std::size_t count = get16(b, coff + kCoffSections);
    const std::size_t table = optionalOffset_ + optionalSize;
    if (table + 40 * count > b.size())
        return bad("section table runs past the end of the file");
    sections_.clear();
    for (std::size_t i = 0; i < count; ++i) {
        Section s;
        s.headerOffset = table + 40 * i;
        std::memcpy(s.name, &b[s.headerOffset], 8);
        s.virtualSize = get32(b, s.headerOffset + 8);
        s.virtualAddress = get32(b, s.headerOffset + 12);
        s.rawSize = get32(b, s.headerOffset + 16);
        s.rawPointer = get32(b, s.headerOffset + 20);
        if (static_cast<std::uint64_t>(s.rawPointer) + s.rawSize > b.size())
            return bad(std::string("section ") + s.name + " runs past the end of the file");
        sections_.push_back(s);
    }
    resources_.clear();
    resourceSection_ = -1;
    const std::uint32_t rsrcRva = get32(b, optionalOffset_ + kOptDirs + 8 * kDirResource);
    if (rsrcRva == 0)
        return bad("the executable has no resources (the engine stub carries its manifests)");
    const Section* s = sectionAt(rsrcRva);
    if (!s)
        return bad("resource directory outside every section");
    resourceSection_ = static_cast<int>(s - sections_.data());
    return readTree(s->rawPointer + (rsrcRva - s->virtualAddress), 0, Resource{}, error);
}

bool PeImage::readTree(std::uint32_t dir, int level, Resource partial, std::string* error) {
    const std::vector<unsigned char>& b = bytes_;
    const Section& s = sections_[resourceSection_];
    const std::uint32_t root =
        s.rawPointer + (get32(b, optionalOffset_ + kOptDirs + 8 * kDirResource) - s.virtualAddress);
    const std::uint32_t end = s.rawPointer + s.rawSize;
    auto bad = [&] {
        *error = "damaged resource directory";
        return false;
    };
    if (dir + 16 > end)
        return bad();
    const std::size_t entries = get16(b, dir + 12) + static_cast<std::size_t>(get16(b, dir + 14));
    if (dir + 16 + 8 * entries > end)
        return bad();
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint32_t nameField = get32(b, dir + 16 + 8 * i);
        const std::uint32_t target = get32(b, dir + 16 + 8 * i + 4);
        ResourceKey key;
        if (nameField & kHighBit) {
            const std::uint32_t at = root + (nameField & ~kHighBit);
            if (at + 2 > end || at + 2 + 2 * get16(b, at) > end)
                return bad();
            for (std::size_t c = 0; c < get16(b, at); ++c) key.name.push_back(get16(b, at + 2 + 2 * c));
        } else {
            key.id = static_cast<std::uint16_t>(nameField);
        }
        Resource r = partial;
        if (level == 0)
            r.type = key;
        else if (level == 1)
            r.name = key;
        else
            r.language = static_cast<std::uint16_t>(nameField);
        const bool subdir = (target & kHighBit) != 0;
        if (subdir != (level < 2))
            return bad();
        if (subdir) {
            if (!readTree(root + (target & ~kHighBit), level + 1, r, error))
                return false;
            continue;
        }
        const std::uint32_t leaf = root + target;
        if (leaf + 16 > end)
            return bad();
        const std::uint32_t dataRva = get32(b, leaf), size = get32(b, leaf + 4);
        const Section* ds = sectionAt(dataRva);
        if (!ds || dataRva - ds->virtualAddress + static_cast<std::uint64_t>(size) > ds->rawSize)
            return bad();
        const std::size_t from = ds->rawPointer + (dataRva - ds->virtualAddress);
        r.data.assign(b.begin() + from, b.begin() + from + size);
        resources_.push_back(std::move(r));
    }
    return true;
}

void PeImage::put(Resource r) {
    for (Resource& old : resources_) {
        if (old.type == r.type && old.name == r.name && old.language == r.language) {
            old = std::move(r);
            return;
        }
    }
    resources_.push_back(std::move(r));
}

void PeImage::removeType(std::uint16_t type) {
    std::erase_if(resources_, [&](const Resource& r) { return r.type.name.empty() && r.type.id == type; });
}

const Resource* PeImage::find(const ResourceKey& type, const ResourceKey& name) const {
    for (const Resource& r : resources_) {
        if (r.type == type && r.name == name)
            return &r;
    }
    return nullptr;
}

std::uint32_t PeImage::timestamp() const {
    return get32(bytes_, peOffset_ + 4 + kCoffTimestamp);
}

bool PeImage::write(const std::filesystem::path& path, std::uint32_t stamp, std::string* error) const {
    const int r = resourceSection_;
    const Section& rsrc = sections_[r];
    for (int i = 0; i < static_cast<int>(sections_.size()); ++i) {
        const Section& s = sections_[i];
        if (i < r && s.rawSize && s.rawPointer + s.rawSize > rsrc.rawPointer) {
            *error = std::string("stub: section ") + s.name + " lies after the resources in the file";
            return false;
        }
        if (i > r && std::strcmp(s.name, ".reloc") != 0) {
            *error = std::string("stub: section ") + s.name +
                     " follows the resources and cannot be moved (link the stub stripped)";
            return false;
        }
    }
    const std::uint32_t rsrcRva = get32(bytes_, optionalOffset_ + kOptDirs + 8 * kDirResource);
    const std::uint32_t dirOffset = rsrcRva - rsrc.virtualAddress;
    const RsrcLayout layout = layoutResources(resources_, rsrcRva, stamp);

    // New places of the resource section and of the sections after it.
    std::vector<unsigned char> head(bytes_.begin(), bytes_.begin() + rsrc.rawPointer);
    std::vector<Section> placed = sections_;
    placed[r].virtualSize = dirOffset + layout.size;
    placed[r].rawSize = alignUp(placed[r].virtualSize, fileAlignment_);
    for (std::size_t i = r + 1; i < placed.size(); ++i) {
        placed[i].virtualAddress = alignUp(
            placed[i - 1].virtualAddress + std::uint64_t{placed[i - 1].virtualSize}, sectionAlignment_);
        placed[i].rawPointer = placed[i - 1].rawPointer + placed[i - 1].rawSize;
        if (placed[i].rawSize == 0)
            placed[i].rawPointer = 0;
    }
    for (std::size_t i = r; i < placed.size(); ++i) {
        set32(head, placed[i].headerOffset + 8, placed[i].virtualSize);
        set32(head, placed[i].headerOffset + 12, placed[i].virtualAddress);
        set32(head, placed[i].headerOffset + 16, placed[i].rawSize);
        set32(head, placed[i].headerOffset + 20, placed[i].rawPointer);
    }
    const std::size_t dirs = optionalOffset_ + kOptDirs;
    for (int d = 0; d < 16; ++d) {
        const std::uint32_t rva = get32(bytes_, dirs + 8 * d);
        for (std::size_t i = r + 1; i < placed.size() && d != kDirSecurity; ++i) {
            if (rva >= sections_[i].virtualAddress &&
                rva < sections_[i].virtualAddress + sections_[i].virtualSize)
                set32(head, dirs + 8 * d, rva - sections_[i].virtualAddress + placed[i].virtualAddress);
        }
    }
    set32(head, dirs + 8 * kDirResource + 4, layout.size);
    set32(head, dirs + 8 * kDirSecurity, 0);  // a signature of the stub does not cover the new image
    set32(head, dirs + 8 * kDirSecurity + 4, 0);
    (void)kDirBaseReloc;
    const Section& last = placed.back();
    set32(head, optionalOffset_ + kOptImageSize,
          alignUp(last.virtualAddress + std::uint64_t{last.virtualSize}, sectionAlignment_));
    std::uint64_t initialized = 0;
    for (const Section& s : placed) {
        if (get32(bytes_, s.headerOffset + 36) & kInitializedData)
            initialized += s.rawSize;
    }
    set32(head, optionalOffset_ + kOptInitializedData, static_cast<std::uint32_t>(initialized));
    set32(head, peOffset_ + 4 + kCoffTimestamp, stamp);
    set32(head, optionalOffset_ + kOptChecksum, 0);
    if (static_cast<std::uint64_t>(last.rawPointer) + last.rawSize > 0xFFFFFFFFull) {
        *error = "the installer would exceed 4 GiB";
        return false;
    }

    // What follows the last section in the input, without a signature.
    std::size_t inputEnd = 0;
    for (const Section& s : sections_) inputEnd = std::max<std::size_t>(inputEnd, s.rawPointer + s.rawSize);
    std::size_t overlayEnd = bytes_.size();
    if (const std::uint32_t cert = get32(bytes_, dirs + 8 * kDirSecurity); cert && cert >= inputEnd)
        overlayEnd = std::min<std::size_t>(overlayEnd, cert);

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        *error = "cannot create the file";
        return false;
    }
    ChecksumWriter w(out);
    w.write(head.data(), head.size());
    w.write(&bytes_[rsrc.rawPointer], dirOffset);  // anything ahead of the directory stays
    w.write(layout.head.data(), layout.head.size());
    std::uint64_t at = layout.head.size();
    for (auto& [offset, data] : layout.blobs) {
        w.zeros(offset - at);
        w.write(data->data(), data->size());
        at = offset + data->size();
    }
    w.zeros(placed[r].rawSize - dirOffset - at);
    for (std::size_t i = r + 1; i < placed.size(); ++i)
        w.write(&bytes_[sections_[i].rawPointer], sections_[i].rawSize);
    if (overlayEnd > inputEnd)
        w.write(&bytes_[inputEnd], overlayEnd - inputEnd);
    const std::uint32_t sum = w.checksum();
    out.seekp(static_cast<std::streamoff>(optionalOffset_ + kOptChecksum));
    const unsigned char sumBytes[4] = {static_cast<unsigned char>(sum), static_cast<unsigned char>(sum >> 8),
                                       static_cast<unsigned char>(sum >> 16),
                                       static_cast<unsigned char>(sum >> 24)};
    out.write(reinterpret_cast<const char*>(sumBytes), 4);
    out.close();
    if (!out) {
        *error = "write failed";
        return false;
    }
    return true;
}

}  // namespace tarvo
