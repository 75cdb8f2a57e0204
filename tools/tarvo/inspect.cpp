// tarvo inspect: what a support engineer needs to see inside an installer.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>

#include "commands.h"
#include "pack/pack_archive.h"
#include "pe_image.h"
#include "product.h"
#include "text.h"

namespace tarvo {
namespace {

const char* typeName(const ResourceKey& type) {
    if (!type.name.empty())
        return nullptr;
    switch (type.id) {
        case rt::kIcon:
            return "ICON";
        case rt::kGroupIcon:
            return "GROUP_ICON";
        case rt::kVersion:
            return "VERSION";
        case rt::kManifest:
            return "MANIFEST";
        default:
            return nullptr;
    }
}

const std::map<int, const char*> kTarvoNames = {
    {111, "UI.lua"}, {113, "frame.lz"}, {114, "LG.lua"}, {115, "program.lz"}, {116, "style.lz"}};

// Decodes every entry; the summary line, and false when something is damaged.
bool verifyArchive(const std::vector<unsigned char>& data, std::set<std::string>* names,
                   std::string* summary) {
    std::unique_ptr<PackArchive> archive = openPackArchive(data.data(), data.size());
    std::size_t sound = 0;
    std::uint64_t bytes = 0;
    for (const auto& [name, entry] : archive->entries()) {
        std::size_t size = 0;
        PackResult result;
        void* content = extractEntry(*archive, entry, &size, &result);
        freeEntry(content);
        if (result == PackResult::Ok)
            ++sound;
        bytes += size;
        names->insert(packtool::utf16ToUtf8(name));
    }
    const std::size_t total = archive->entries().size();
    *summary = std::to_string(total) + " entries, " + std::to_string(bytes) + " bytes unpacked, " +
               (sound == total && !archive->isDamaged()
                    ? std::string("all sound")
                    : std::to_string(total - sound) + " damaged" +
                          (archive->isDamaged() ? ", " + archive->damage() : ""));
    return sound == total && !archive->isDamaged();
}

// The text values of a version block (key -> value).
void versionStrings(const std::vector<unsigned char>& b, std::size_t at, std::size_t end,
                    std::map<std::string, std::string>* out, int depth = 0) {
    auto get16 = [&](std::size_t p) { return static_cast<std::size_t>(b[p] | b[p + 1] << 8); };
    while (at + 6 <= end && depth < 4) {
        const std::size_t length = get16(at), valueLength = get16(at + 2), type = get16(at + 4);
        if (length < 6 || at + length > end)
            return;
        std::u16string key;
        std::size_t p = at + 6;
        while (p + 1 < at + length && get16(p)) key.push_back(static_cast<char16_t>(get16(p))), p += 2;
        p = (p + 2 + 3) & ~std::size_t{3};
        const std::size_t valueBytes = type == 1 ? valueLength * 2 : valueLength;
        if (type == 1 && valueLength && depth == 3) {
            std::u16string value;
            for (std::size_t q = p; q + 1 < p + valueBytes && q + 1 < at + length && get16(q); q += 2)
                value.push_back(static_cast<char16_t>(get16(q)));
            (*out)[packtool::utf16ToUtf8(key)] = packtool::utf16ToUtf8(value);
        }
        const std::size_t children = (p + valueBytes + 3) & ~std::size_t{3};
        versionStrings(b, children, at + length, out, depth + 1);
        at = (at + length + 3) & ~std::size_t{3};
    }
}

}  // namespace

int runInspect(const Args& args) {
    std::string saveTo;
    if (args.size() == 3 && args[1] == "--save")
        saveTo = args[2];
    else if (args.size() != 1)
        return 2;
    PeImage image;
    std::string error;
    if (!image.load(packtool::pathFromUtf8(args[0]), &error))
        return fail(args[0] + ": " + error);
    bool sound = true;
    std::printf("%s: time stamp %u, file alignment %u\n", args[0].c_str(), image.timestamp(),
                image.fileAlignment());
    std::set<std::string> payload;
    std::string lg;
    for (const Resource& r : image.resources()) {
        const char* known = typeName(r.type);
        std::string line = "  " + (known ? std::string(known) : r.type.text()) + " " + r.name.text() +
                           " (language " + std::to_string(r.language) +
                           "): " + std::to_string(r.data.size()) + " bytes";
        if (r.type == ResourceKey::named(u"_TarvoResc") && kTarvoNames.count(r.name.id)) {
            const std::string name = kTarvoNames.at(r.name.id);
            line += "  " + name;
            std::set<std::string> names;
            std::string summary;
            if (name.ends_with(".lz")) {
                sound = verifyArchive(r.data, name == "program.lz" ? &payload : &names, &summary) && sound;
                line += ": " + summary;
            }
            if (name == "LG.lua")
                lg.assign(r.data.begin(), r.data.end());
            if (!saveTo.empty()) {
                const std::filesystem::path dir = packtool::pathFromUtf8(saveTo);
                std::error_code ec;
                std::filesystem::create_directories(dir, ec);
                std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
                out.write(reinterpret_cast<const char*>(r.data.data()),
                          static_cast<std::streamsize>(r.data.size()));
                if (!out)
                    return fail(saveTo + "/" + name + ": cannot write");
            }
        }
        if (r.type.name.empty() && r.type.id == rt::kVersion) {
            std::map<std::string, std::string> strings;
            versionStrings(r.data, 0, r.data.size(), &strings);
            for (auto& [k, v] : strings) line += "\n      " + k + " = " + v;
        }
        std::printf("%s\n", line.c_str());
    }
    for (const auto& [id, name] : kTarvoNames) {
        if (!image.find(ResourceKey::named(u"_TarvoResc"), {static_cast<std::uint16_t>(id), {}})) {
            std::printf("missing: _TarvoResc %d (%s)\n", id, name);
            sound = false;
        }
    }
    std::vector<ListedOperation> ops;
    if (!lg.empty()) {
        if (!readOperations(lg, &ops)) {
            std::printf("LG.lua: no manifest found\n");
            sound = false;
        } else {
            std::size_t files = 0, folders = 0, absent = 0;
            std::set<std::string> listed;
            for (const ListedOperation& op : ops) {
                (op.kind == 1 ? files : folders)++;
                if (op.kind != 1)
                    continue;
                std::string name = op.path;
                std::replace(name.begin(), name.end(), '\\', '/');
                listed.insert(name);
                if (!payload.empty() && !payload.count(name)) {
                    std::printf("LG.lua: \"%s\" is not in program.lz\n", op.path.c_str());
                    ++absent;
                }
            }
            std::size_t unlisted = 0;
            for (const std::string& name : payload) unlisted += !listed.count(name);
            std::printf("manifest: %zu entries, %zu files, %zu folders; ", ops.size(), files, folders);
            if (payload.empty())
                std::printf("program.lz is empty (an uninstaller's manifest names what was installed)\n");
            else
                std::printf("%zu files missing from program.lz, %zu entries of program.lz not installed\n",
                            absent, unlisted);
            sound = sound && absent == 0;
        }
    }
    return sound ? 0 : 1;
}

}  // namespace tarvo
