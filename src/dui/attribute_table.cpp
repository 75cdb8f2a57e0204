#include "dui/attribute_table.h"

#include <cwchar>

AttributeId attributeId(const wchar_t* name, std::size_t length) {
    if (!name)
        return 0;
    const std::wstring_view wanted(name, length);
    for (int i = 0; i < attr::kCount; ++i) {
        if (attr::kTable[i].name == wanted)
            return i + 1;
    }
    return 0;
}

AttributeId attributeId(const wchar_t* name) {
    return name ? attributeId(name, std::wcslen(name)) : 0;
}

// Every name in the table is a literal, so its view ends at a zero.
const wchar_t* attributeName(AttributeId id) {
    return id >= 1 && id <= attr::kCount ? attr::kTable[id - 1].name.data() : nullptr;
}

AttributeKind attributeKind(AttributeId id) {
    return id >= 1 && id <= attr::kCount ? attr::kTable[id - 1].kind : AttributeKind::unset;
}
