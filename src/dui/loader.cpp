#include "dui/loader.h"

#include <windows.h>
#include <algorithm>
#include <new>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include "dui/context_parts.h"
#include "dui/control.h"
#include "dui/factory.h"
#include "dui/panels.h"
#include "dui/setters.h"
#include "host/resource_file_system.h"
#include "host/text_conv.h"
#include "pack/pack_archive.h"
#include "render/xml_depth.h"

namespace {

using XmlNode = rapidxml::xml_node<wchar_t>;

std::wstring_view nameOf(const XmlNode& node) {
    return std::wstring_view(node.name(), node.name_size());
}

// buildLayout; a parse error propagates, its position in the text (UTF-16 units) stored in *errorOffset
// when asked for.
Control* buildFrom(const char* utf8, std::size_t size, std::size_t* errorOffset) {
    // The text and the document are owned here, so a parse error releases them on its way out.
    std::wstring text = utf8 ? win::utf8ToWide(std::string_view(utf8, size)) : std::wstring();
    // rapidxml stops at the first zero, so a text with an embedded zero ends there.
    text.resize(std::wcslen(text.c_str()));
    // The parser classifies a wide character by its low byte alone (U+5F00 would end a value like a
    // zero, U+4E22 like a quote). It parses a copy in which every non-ASCII unit is a plain letter;
    // parsing is in place and only writes terminators over ASCII delimiters, so putting the original
    // units back afterwards gives names and values their real text.
    std::vector<std::size_t> wide;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= 0x80) {
            wide.push_back(i);
        }
    }
    const std::wstring original = wide.empty() ? std::wstring() : text;
    for (std::size_t i : wide) text[i] = L'x';
    xmlguard::checkDepth(text.data());
    auto document = std::make_unique<rapidxml::xml_document<wchar_t>>();
    try {
        document->parse<kLayoutParseFlags>(text.data());
    } catch (const rapidxml::parse_error& e) {
        const wchar_t* where = e.where<wchar_t>();
        if (errorOffset)
            *errorOffset = where ? static_cast<std::size_t>(where - text.data()) : text.size();
        throw;
    }
    for (std::size_t i : wide) text[i] = original[i];
    return buildControl(document->first_node());
}

}  // namespace

bool loadLayouts(const wchar_t* resourceName) {
    UiParts* parts = uiParts();
    if (!parts)
        return false;
    if (!parts->layouts)
        parts->layouts.reset(new (std::nothrow) LayoutStore);
    if (!parts->layouts)
        return false;
    return parts->layouts->open(currentFileSystem(), resourceName);
}

namespace {

// The layout entry's text from the layout store, or null when there is no store or no such entry.
unique_entry extractLayout(const wchar_t* entryName, std::size_t* size) {
    UiParts* parts = uiParts();
    if (!parts || !parts->layouts)
        return unique_entry();
    return parts->layouts->extract(entryName, size);
}

}  // namespace

Control* loadLayout(const wchar_t* entryName) {
    std::size_t size = 0;
    unique_entry entry = extractLayout(entryName, &size);
    if (!entry)
        return nullptr;
    return buildLayout(static_cast<const char*>(entry.get()), size);
}

Control* buildLayout(const char* utf8, std::size_t size) {
    return buildFrom(utf8, size, nullptr);
}

Control* loadLayoutReporting(const wchar_t* entryName, std::wstring* error) {
    error->clear();
    std::size_t size = 0;
    unique_entry entry = extractLayout(entryName, &size);
    if (!entry)
        return nullptr;
    const char* utf8 = static_cast<const char*>(entry.get());
    std::size_t offset = 0;
    try {
        return buildFrom(utf8, size, &offset);
    } catch (const rapidxml::parse_error& e) {
        // Line and column are counted in a fresh copy: the parsed text is gone with the error.
        const std::wstring text = win::utf8ToWide(std::string_view(utf8, size));
        offset = std::min(offset, text.size());
        int line = 1;
        std::size_t lineStart = 0;
        for (std::size_t i = 0; i < offset; ++i) {
            if (text[i] == L'\n') {
                ++line;
                lineStart = i + 1;
            }
        }
        *error = std::wstring(entryName) + L":" + std::to_wstring(line) + L":" +
                 std::to_wstring(offset - lineStart + 1) + L": " + win::utf8ToWide(e.what());
        return nullptr;
    }
}

Control* buildControl(const XmlNode* element) {
    if (!element || element->type() != rapidxml::node_element)
        return nullptr;
    UiParts* parts = uiParts();
    if (!parts || !parts->controlCreators)
        return nullptr;
    const duiFactory::Creator<Control>* creator = parts->controlCreators->find(nameOf(*element));
    if (!creator) {
        // Skipped with its subtree; say so where a layout author can see it.
        std::wstring line = L"layout: no control is registered as <";
        line.append(nameOf(*element));
        line += L">; the element and everything inside it are skipped\n";
        OutputDebugStringW(line.c_str());
        return nullptr;
    }
    Control* control = creator->create();
    if (!control)
        return nullptr;
    applyAttributes(*control, *element);

    if (nameOf(*element) == L"TabItem") {
        Control* page = buildControl(element->first_node());
        if (auto* owner = dynamic_cast<PageOwner*>(control)) {
            owner->setPage(page);
        } else {
            delete page;
        }
        return control;
    }
    if (auto* owner = dynamic_cast<ItemOwner*>(control)) {
        for (const XmlNode* child = element->first_node(); child; child = child->next_sibling()) {
            if (Control* built = buildControl(child)) {
                if (!owner->addItem(built))
                    delete built;
            }
        }
        return control;
    }
    if (!control->hasFlag(flag::container))
        return control;  // children only under containers
    for (const XmlNode* child = element->first_node(); child; child = child->next_sibling()) {
        if (Control* built = buildControl(child)) {
            if (!addChild(control, built))
                delete built;
        }
    }
    return control;
}

void applyAttributes(Object& object, const XmlNode& element) {
    UiParts* parts = uiParts();
    const duiField::SetterRegistry* setters = parts ? parts->setters.get() : nullptr;
    auto* control = dynamic_cast<Control*>(&object);
    for (const rapidxml::xml_attribute<wchar_t>* a = element.first_attribute(); a; a = a->next_attribute()) {
        std::wstring_view name(a->name(), a->name_size());
        if (const duiField::ISetter* setter = setters ? setters->find(name) : nullptr) {
            // Values are zero-terminated in place by the parser; an empty one is L"".
            setter->apply(object, a->value_size() ? a->value() : L"");
            continue;
        }
        uint32_t mask = name == L"visible"       ? flag::visible
                        : name == L"enabled"     ? flag::enabled
                        : name == L"transparent" ? flag::transparent
                                                 : 0;
        if (!mask || !control)
            continue;
        bool on = a->value_size() == 1 && a->value()[0] == L'1';
        control->setFlag(mask, on);
    }
}
