#include "render/skin_store.h"

#include <rapidxml.hpp>

#include <cstdlib>
#include <string_view>
#include <cstring>
#include <cwchar>
#include <vector>

#include "host/resource_file_system.h"
#include "host/text_conv.h"
#include "render/xml_depth.h"

namespace {

std::wstring valueText(const rapidxml::xml_base<char>* item) {
    return win::utf8ToWide(std::string_view(item->value(), item->value_size()));
}

bool equals(const rapidxml::xml_base<char>* item, const char* text, bool value) {
    const std::size_t n = std::strlen(text);
    return value ? item->value_size() == n && std::memcmp(item->value(), text, n) == 0
                 : item->name_size() == n && std::memcmp(item->name(), text, n) == 0;
}

}  // namespace

SkinStore::SkinStore(StyleFactory styles) : styleFactory_(styles) {}

SkinStore::~SkinStore() {
    clearSkin();
}

bool SkinStore::loadSkin(const wchar_t* resourceName) {
    clearSkin();
    if (!archive_.open(currentFileSystem(), resourceName))
        return false;
    loadFonts();
    return true;
}

bool SkinStore::loadSkinArchive(void* bytes, std::size_t size, FileSystem* owner) {
    clearSkin();
    if (!archive_.adopt(bytes, size, owner))
        return false;
    loadFonts();
    return true;
}

void SkinStore::clearSkin() {
    archive_.close();
    images_.clear();
    styles_.clear();
    fonts_.clear();
}

// One font per top-level element of "font.xml", each starting from DEFAULT_GUI_FONT. The text is
// parsed as UTF-8: the XML parser classifies wide characters by their low byte only, which would
// misread CJK names and faces.
void SkinStore::loadFonts() {
    std::size_t size = 0;
    unique_entry entry = archive_.extract(L"font.xml", &size);
    if (!entry)
        return;
    std::vector<char> text(static_cast<const char*>(entry.get()),
                           static_cast<const char*>(entry.get()) + size);
    entry.reset();
    text.push_back('\0');
    char* start = text.data();
    if (size >= 3 && std::memcmp(start, "\xEF\xBB\xBF", 3) == 0)
        start += 3;

    rapidxml::xml_document<char> doc;
    try {
        xmlguard::checkDepth(start);
        doc.parse<rapidxml::parse_no_entity_translation>(start);
    } catch (const rapidxml::parse_error&) {
        OutputDebugStringW(L"skin: font.xml is not well-formed; no fonts loaded\n");
        return;
    }

    LOGFONTW base = {};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(base), &base);
    for (auto* node = doc.first_node(); node; node = node->next_sibling()) {
        if (node->type() != rapidxml::node_element)
            continue;
        LOGFONTW font = base;
        std::wstring name;
        bool named = false;
        for (auto* attr = node->first_attribute(); attr; attr = attr->next_attribute()) {
            if (equals(attr, "name", false)) {
                name = valueText(attr);
                named = true;
            } else if (equals(attr, "face", false)) {
                std::wstring face = valueText(attr).substr(0, LF_FACESIZE - 1);
                std::wmemset(font.lfFaceName, 0, LF_FACESIZE);
                std::wmemcpy(font.lfFaceName, face.data(), face.size());
            } else if (equals(attr, "size", false)) {
                font.lfHeight = -static_cast<LONG>(
                    std::strtol(std::string(attr->value(), attr->value_size()).c_str(), nullptr, 10));
            } else if (equals(attr, "bold", false)) {
                font.lfWeight = equals(attr, "true", true) ? FW_BOLD : FW_NORMAL;
            } else if (equals(attr, "underline", false)) {
                font.lfUnderline = equals(attr, "true", true) ? 1 : 0;
            }
        }
        if (!named)
            continue;  // a font nobody can name
        fonts_[name].reset(CreateFontIndirectW(&font));
    }
}

HFONT SkinStore::findFont(const std::wstring& name) {
    auto found = fonts_.find(name);
    if (found == fonts_.end())
        found = fonts_.emplace(name, win::unique_hfont()).first;
    return found->second.get();
}

SkinImage* SkinStore::findImage(const std::wstring& name) {
    auto found = images_.find(name);
    if (found != images_.end())
        return found->second.get();
    std::size_t size = 0;
    unique_entry entry = archive_.extract(name.c_str(), &size);
    if (!entry)
        return nullptr;
    auto image = std::make_unique<SkinImage>();
    image->decodeImage(entry.get(), size);
    return images_.emplace(name, std::move(image)).first->second.get();
}

Style* SkinStore::findStyle(const std::wstring& name) {
    auto found = styles_.find(name);
    if (found != styles_.end())
        return found->second.get();
    std::size_t size = 0;
    unique_entry entry = archive_.extract(name.c_str(), &size);
    if (!entry)
        return nullptr;
    std::wstring text = win::utf8ToWide(std::string_view(static_cast<const char*>(entry.get()), size));
    entry.reset();
    Style* style = nullptr;
    if (styleFactory_.parse) {
        // A paint must never unwind through the window procedure: a malformed entry is reported to
        // the debugger and remembered as no style.
        try {
            style = styleFactory_.parse(text.c_str());
        } catch (const rapidxml::parse_error& error) {
            std::wstring message = L"skin: style " + name + L" is not well-formed: ";
            message += win::utf8ToWide(error.what());
            message += L"\n";
            OutputDebugStringW(message.c_str());
            style = nullptr;
        }
    }
    return styles_.emplace(name, StylePtr(style, StyleDeleter{styleFactory_.destroy})).first->second.get();
}

namespace {
SkinStore* g_currentSkin = nullptr;
}  // namespace

SkinStore* currentSkin() {
    return g_currentSkin;
}

void setCurrentSkin(SkinStore* skin) {
    g_currentSkin = skin;
}

SkinImage* findSkinImage(const wchar_t* name) {
    SkinStore* skin = currentSkin();
    return skin && name && *name ? skin->findImage(name) : nullptr;
}

HFONT findSkinFont(const wchar_t* name) {
    SkinStore* skin = currentSkin();
    return skin ? skin->findFont(name ? name : L"Default") : nullptr;
}
