// packtool list, extract and verify: read an archive file through the installer's own reader.
#include <cstdio>
#include <fstream>
#include <memory>
#include <system_error>

#include "commands.h"
#include "pack/pack_archive.h"
#include "text.h"

namespace fs = std::filesystem;

namespace packtool {
namespace {

struct EntryBuffer {
    void* data = nullptr;
    std::size_t size = 0;
    PackResult result = PackResult::Ok;
    ~EntryBuffer() { freeEntry(data); }
};

struct OpenedArchive {
    std::string label;  // the path as given, for messages
    std::vector<unsigned char> block;
    std::unique_ptr<PackArchive> archive;
};

// Reads and indexes the archive file; false (message printed) when the file cannot be read.
bool openArchiveFile(const std::string& path, OpenedArchive* opened) {
    opened->label = path;
    std::error_code ec;
    fs::path p = pathFromUtf8(path);
    if (!fs::is_regular_file(p, ec)) {
        fail(path + ": cannot read the archive (" + (ec ? ec.message() : "not a file") + ")");
        return false;
    }
    std::ifstream in(p, std::ios::binary);
    std::uint64_t size = fs::file_size(p, ec);
    if (!in || ec) {
        fail(path + ": cannot read the archive");
        return false;
    }
    opened->block.resize(size);
    in.read(reinterpret_cast<char*>(opened->block.data()), static_cast<std::streamsize>(size));
    if (in.gcount() != static_cast<std::streamsize>(size)) {
        fail(path + ": cannot read the archive");
        return false;
    }
    opened->archive = openPackArchive(opened->block.data(), opened->block.size());
    return true;
}

int reportDamage(const OpenedArchive& opened) {
    return fail(opened.label + ": damaged archive: " + opened.archive->damage());
}

// Decodes one entry; false unless it yields its whole content.
bool decode(const PackArchive& archive, const PackEntry& entry, EntryBuffer* buffer) {
    buffer->data = extractEntry(archive, entry, &buffer->size, &buffer->result);
    return buffer->result == PackResult::Ok;
}

std::string describeBad(const std::string& name, const PackEntry& entry, const EntryBuffer& buffer) {
    if (buffer.result == PackResult::OutOfMemory)
        return "entry \"" + name + "\": out of memory";
    return "entry \"" + name + "\" is damaged: yields " + std::to_string(buffer.size) + " of " +
           std::to_string(entry.contentSize()) + " bytes";
}

// An entry name may only lead below the target folder: relative, no empty, "." or ".." components,
// no characters the platform reads as separators or drive letters.
bool isSafeName(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.back() == '/')
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        std::string_view part(name.data() + start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (part.find_first_of(std::string_view("\\:\0", 3)) != std::string_view::npos)
            return false;
        start = end + 1;
    }
    return true;
}

bool writeFile(const fs::path& path, const EntryBuffer& buffer, std::string* error) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out)
        out.write(static_cast<const char*>(buffer.data), static_cast<std::streamsize>(buffer.size));
    out.close();
    if (!out) {
        *error = pathToUtf8(path) + ": cannot write the file" + (ec ? " (" + ec.message() + ")" : "");
        return false;
    }
    return true;
}

}  // namespace

int runList(const Args& args) {
    if (args.size() != 1)
        return 2;
    OpenedArchive opened;
    if (!openArchiveFile(args[0], &opened))
        return 1;
    for (const auto& [name, entry] : opened.archive->entries()) {
        std::printf("%s\t%u\t%u\t%s\n", utf16ToUtf8(name).c_str(), entry.storedSize, entry.contentSize(),
                    entry.compressed() ? "lzma" : "stored");
    }
    std::fflush(stdout);
    return opened.archive->isDamaged() ? reportDamage(opened) : 0;
}

int runExtract(const Args& args) {
    if (args.size() < 2)
        return 2;
    OpenedArchive opened;
    if (!openArchiveFile(args[0], &opened))
        return 1;
    const PackArchive& archive = *opened.archive;
    const fs::path dir = pathFromUtf8(args[1]);

    std::vector<std::pair<std::string, const PackEntry*>> wanted;
    int rc = 0;
    if (args.size() == 2) {
        for (const auto& [name, entry] : archive.entries()) wanted.emplace_back(utf16ToUtf8(name), &entry);
    }
    for (std::size_t i = 2; i < args.size(); ++i) {
        std::optional<std::u16string> name = utf8ToUtf16(args[i]);
        const PackEntry* entry = name ? archive.find(*name) : nullptr;
        if (!entry) {
            rc = fail(opened.label + ": no entry named \"" + args[i] + "\"");
            continue;
        }
        wanted.emplace_back(args[i], entry);
    }
    for (const auto& [name, entry] : wanted) {
        if (!isSafeName(name)) {
            rc = fail("entry \"" + name + "\": name would leave the target folder; not extracted");
            continue;
        }
        EntryBuffer buffer;
        if (!decode(archive, *entry, &buffer)) {
            rc = fail(describeBad(name, *entry, buffer) + "; not extracted");
            continue;
        }
        std::string error;
        if (!writeFile(dir / pathFromUtf8(name), buffer, &error))
            rc = fail(error);
    }
    if (archive.isDamaged())
        rc = reportDamage(opened);
    return rc;
}

int runVerify(const Args& args) {
    if (args.size() != 1)
        return 2;
    OpenedArchive opened;
    if (!openArchiveFile(args[0], &opened))
        return 1;
    const PackArchive& archive = *opened.archive;
    int rc = 0;
    std::size_t sound = 0;
    for (const auto& [name, entry] : archive.entries()) {
        EntryBuffer buffer;
        if (decode(archive, entry, &buffer)) {
            ++sound;
        } else {
            rc = fail(describeBad(utf16ToUtf8(name), entry, buffer));
        }
    }
    if (archive.isDamaged())
        rc = reportDamage(opened);
    std::printf("%s: %zu of %zu entries sound\n", opened.label.c_str(), sound, archive.entries().size());
    return rc;
}

}  // namespace packtool
