#include "win_resources.h"

#include "text.h"

namespace tarvo {
namespace {

void put16(std::vector<unsigned char>& b, std::uint32_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
void put32(std::vector<unsigned char>& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void pad32(std::vector<unsigned char>& b) {
    while (b.size() % 4) b.push_back(0);
}
void patch16(std::vector<unsigned char>& b, std::size_t at, std::size_t v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}

// One node of a version block: length, value length, type, key, padding, value, padding, children.
// valueLength counts bytes for binary values and characters for text ones, as the format wants.
std::vector<unsigned char> node(const std::u16string& key, const std::vector<unsigned char>& value,
                                std::size_t valueLength, bool text,
                                const std::vector<unsigned char>& children) {
    std::vector<unsigned char> b;
    put16(b, 0);
    put16(b, static_cast<std::uint32_t>(valueLength));
    put16(b, text ? 1 : 0);
    for (char16_t c : key) put16(b, c);
    put16(b, 0);
    pad32(b);
    b.insert(b.end(), value.begin(), value.end());
    if (!children.empty()) {
        pad32(b);
        b.insert(b.end(), children.begin(), children.end());
    }
    patch16(b, 0, b.size());
    return b;
}

std::vector<unsigned char> textValue(const std::string& utf8) {
    std::vector<unsigned char> b;
    for (char16_t c : packtool::utf8ToUtf16(utf8).value_or(u"")) put16(b, c);
    put16(b, 0);
    return b;
}

std::u16string hex4(std::uint32_t v) {
    static const char digits[] = "0123456789ABCDEF";
    std::u16string s;
    for (int shift = 12; shift >= 0; shift -= 4)
        s.push_back(static_cast<char16_t>(digits[(v >> shift) & 15]));
    return s;
}

}  // namespace

bool iconResources(const std::vector<unsigned char>& ico, std::uint16_t group, std::uint16_t language,
                   std::vector<Resource>* out, std::string* error) {
    auto get16 = [&](std::size_t at) { return static_cast<std::uint32_t>(ico[at] | ico[at + 1] << 8); };
    auto get32 = [&](std::size_t at) { return get16(at) | get16(at + 2) << 16; };
    if (ico.size() < 6 || get16(0) != 0 || get16(2) != 1 || get16(4) == 0) {
        *error = "not an icon file";
        return false;
    }
    const std::size_t count = get16(4);
    if (6 + 16 * count > ico.size()) {
        *error = "icon directory runs past the end of the file";
        return false;
    }
    Resource groupRes{{rt::kGroupIcon, {}}, {group, {}}, language, {}};
    put16(groupRes.data, 0);
    put16(groupRes.data, 1);
    put16(groupRes.data, static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t e = 6 + 16 * i;
        const std::uint32_t size = get32(e + 8), offset = get32(e + 12);
        if (std::uint64_t{offset} + size > ico.size() || size == 0) {
            *error = "icon image " + std::to_string(i + 1) + " runs past the end of the file";
            return false;
        }
        groupRes.data.insert(groupRes.data.end(), ico.begin() + e, ico.begin() + e + 12);
        put16(groupRes.data, static_cast<std::uint32_t>(i + 1));
        out->push_back({{rt::kIcon, {}},
                        {static_cast<std::uint16_t>(i + 1), {}},
                        language,
                        std::vector<unsigned char>(ico.begin() + offset, ico.begin() + offset + size)});
    }
    out->push_back(std::move(groupRes));
    return true;
}

Resource versionResource(const VersionInfo& info, std::uint16_t language) {
    const std::uint32_t ms = std::uint32_t{info.version[0]} << 16 | info.version[1];
    const std::uint32_t ls = std::uint32_t{info.version[2]} << 16 | info.version[3];
    std::vector<unsigned char> fixed;
    put32(fixed, 0xFEEF04BD);  // signature
    put32(fixed, 0x00010000);  // structure version 1.0
    put32(fixed, ms);          // file version
    put32(fixed, ls);
    put32(fixed, ms);  // product version
    put32(fixed, ls);
    put32(fixed, 0x3F);     // flags mask
    put32(fixed, 0);        // flags
    put32(fixed, 0x40004);  // VOS_NT_WINDOWS32
    put32(fixed, 1);        // VFT_APP
    put32(fixed, 0);        // subtype
    put32(fixed, 0);        // date
    put32(fixed, 0);

    std::string versionText = info.versionText;
    if (versionText.empty()) {
        for (int i = 0; i < 4; ++i) versionText += (i ? "." : "") + std::to_string(info.version[i]);
    }
    const std::pair<const char16_t*, std::string> strings[] = {
        {u"CompanyName", info.publisher},
        {u"FileDescription", info.description},
        {u"FileVersion", versionText},
        {u"LegalCopyright", info.copyright},
        {u"OriginalFilename", info.originalFilename},
        {u"ProductName", info.productName},
        {u"ProductVersion", versionText},
    };
    std::vector<unsigned char> table;
    for (auto& [key, value] : strings) {
        if (value.empty())
            continue;
        std::vector<unsigned char> v = textValue(value);
        pad32(table);
        std::vector<unsigned char> n = node(key, v, v.size() / 2, true, {});
        table.insert(table.end(), n.begin(), n.end());
    }
    const std::vector<unsigned char> stringTable = node(hex4(language) + u"04B0", {}, 0, true, table);
    const std::vector<unsigned char> stringInfo = node(u"StringFileInfo", {}, 0, true, stringTable);
    std::vector<unsigned char> translation;
    put16(translation, language);
    put16(translation, 1200);  // Unicode
    const std::vector<unsigned char> var = node(u"Translation", translation, 4, false, {});
    const std::vector<unsigned char> varInfo = node(u"VarFileInfo", {}, 0, true, var);
    std::vector<unsigned char> children = stringInfo;
    pad32(children);
    children.insert(children.end(), varInfo.begin(), varInfo.end());
    return {{rt::kVersion, {}},
            {1, {}},
            language,
            node(u"VS_VERSION_INFO", fixed, fixed.size(), false, children)};
}

}  // namespace tarvo
