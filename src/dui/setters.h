// Attribute setters: turn an XML attribute's text into a typed value of an Object's attribute store.
// The registry maps attribute names (exact, case-sensitive) to setters; filled once at start-up and
// owned by the UiContext. Setters never fail: text that does not parse stores 0 for the missing parts
// and reading never goes past the text's terminator. UI thread only.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "dui/object.h"

namespace duiField {

class ISetter {
  public:
    explicit ISetter(AttributeId id) : id_(id) {}
    virtual ~ISetter() = default;
    // `value` is zero-terminated; null counts as empty.
    virtual void apply(Object& object, const wchar_t* value) const = 0;
    AttributeId id() const { return id_; }

  protected:
    AttributeId id_;
};

// Any text, stored as it is.
class TextSetter : public ISetter {
  public:
    using ISetter::ISetter;
    void apply(Object& object, const wchar_t* value) const override;
};

// A decimal integer read as with "%d".
class IntSetter : public ISetter {
  public:
    using ISetter::ISetter;
    void apply(Object& object, const wchar_t* value) const override;
};

// "%d,%d,%d,%d": left, top, right, bottom.
class RectSetter : public ISetter {
  public:
    using ISetter::ISetter;
    void apply(Object& object, const wchar_t* value) const override;
};

// "%d,%d": cx, cy.
class SizeSetter : public ISetter {
  public:
    using ISetter::ISetter;
    void apply(Object& object, const wchar_t* value) const override;
};

// One of the 13 keywords of the attribute table, stored as the keyword's AttributeId; else 0.
class EnumSetter : public ISetter {
  public:
    using ISetter::ISetter;
    void apply(Object& object, const wchar_t* value) const override;
};

// "#" and three hex pairs read as one number: the first pair lands in bits 16-23 (COLORREF blue).
class ColorSetter : public ISetter {
  public:
    using ISetter::ISetter;
    void apply(Object& object, const wchar_t* value) const override;
};

// Reads integers the way "%d" does: optional white space, optional sign, at least one digit.
// Answers the number of fields read from the comma-separated list, at most `count`.
int scanIntegers(const wchar_t* text, int32_t* out, int count);

class SetterRegistry {
  public:
    // Null when the name has no setter.
    const ISetter* find(std::wstring_view name) const;
    // Replaces an earlier setter of the same name.
    void add(std::wstring_view name, std::unique_ptr<ISetter> setter);
    std::size_t size() const { return setters_.size(); }

  private:
    std::map<std::wstring, std::unique_ptr<ISetter>, std::less<>> setters_;
};

}  // namespace duiField

// The registry with a setter for every attribute of the table that has one (85 names), of the class
// its kind names; each setter stores under the id of its own name.
// Owned by the caller (the UiContext); null when allocation fails.
duiField::SetterRegistry* createSetterRegistry();
void destroySetterRegistry(duiField::SetterRegistry* registry);
