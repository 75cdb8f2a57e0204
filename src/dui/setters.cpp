#include "dui/setters.h"

#include <cwctype>
#include <new>

namespace duiField {
namespace {

// One "%d" conversion: skips white space, then needs a digit after the optional sign. Overflow
// wraps in 32 bits.
bool scanInt(const wchar_t*& p, int32_t& out) {
    const wchar_t* s = p;
    while (*s && std::iswspace(*s)) ++s;
    bool negative = false;
    if (*s == L'+' || *s == L'-')
        negative = *s++ == L'-';
    if (*s < L'0' || *s > L'9')
        return false;
    uint32_t value = 0;
    while (*s >= L'0' && *s <= L'9') value = value * 10u + static_cast<uint32_t>(*s++ - L'0');
    out = static_cast<int32_t>(negative ? 0u - value : value);
    p = s;
    return true;
}

int hexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return 0;
}

}  // namespace

int scanIntegers(const wchar_t* text, int32_t* out, int count) {
    if (!text)
        return 0;
    const wchar_t* p = text;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            if (*p != L',')
                return i;
            ++p;
        }
        if (!scanInt(p, out[i]))
            return i;
    }
    return count;
}

void TextSetter::apply(Object& object, const wchar_t* value) const {
    object.setText(id_, value);
}

void IntSetter::apply(Object& object, const wchar_t* value) const {
    int32_t v[1] = {0};
    scanIntegers(value, v, 1);
    object.setInt(id_, v[0]);
}

void RectSetter::apply(Object& object, const wchar_t* value) const {
    int32_t v[4] = {0, 0, 0, 0};
    scanIntegers(value, v, 4);
    object.setRect(id_, v[0], v[1], v[2], v[3]);
}

void SizeSetter::apply(Object& object, const wchar_t* value) const {
    int32_t v[2] = {0, 0};
    scanIntegers(value, v, 2);
    object.setSize(id_, v[0], v[1]);
}

void EnumSetter::apply(Object& object, const wchar_t* value) const {
    AttributeId id = value ? attributeId(value) : 0;
    object.setInt(id_, attributeKind(id) == AttributeKind::keyword ? id : 0);
}

// Characters 1-6 after the leading one; characters past the end of a short text count as 0.
void ColorSetter::apply(Object& object, const wchar_t* value) const {
    uint32_t color = 0;
    bool ended = !value || !*value;
    for (int i = 1; i <= 6; ++i) {
        int digit = 0;
        if (!ended) {
            if (!value[i]) {
                ended = true;
            } else {
                digit = hexDigit(value[i]);
            }
        }
        color = (color << 4) | static_cast<uint32_t>(digit);
    }
    object.setInt(id_, static_cast<int32_t>(color));
}

const ISetter* SetterRegistry::find(std::wstring_view name) const {
    auto it = setters_.find(name);
    return it == setters_.end() ? nullptr : it->second.get();
}

void SetterRegistry::add(std::wstring_view name, std::unique_ptr<ISetter> setter) {
    setters_.insert_or_assign(std::wstring(name), std::move(setter));
}

}  // namespace duiField

namespace {

std::unique_ptr<duiField::ISetter> makeSetter(AttributeKind kind, AttributeId id) {
    using namespace duiField;
    switch (kind) {
        case AttributeKind::text:
            return std::make_unique<TextSetter>(id);
        case AttributeKind::integer:
            return std::make_unique<IntSetter>(id);
        case AttributeKind::rect:
            return std::make_unique<RectSetter>(id);
        case AttributeKind::size:
            return std::make_unique<SizeSetter>(id);
        case AttributeKind::choice:
            return std::make_unique<EnumSetter>(id);
        case AttributeKind::color:
            return std::make_unique<ColorSetter>(id);
        case AttributeKind::unset:
        case AttributeKind::keyword:
            break;
    }
    return nullptr;
}

}  // namespace

duiField::SetterRegistry* createSetterRegistry() {
    auto* registry = new (std::nothrow) duiField::SetterRegistry;
    if (!registry)
        return nullptr;
    for (AttributeId id = 1; id <= attr::kCount; ++id) {
        if (auto setter = makeSetter(attributeKind(id), id))
            registry->add(attributeName(id), std::move(setter));
    }
    return registry;
}

void destroySetterRegistry(duiField::SetterRegistry* registry) {
    delete registry;
}
