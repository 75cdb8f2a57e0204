// Object: the root of the UI object model, carrying a typed attribute store keyed by AttributeId.
// UI thread only. Objects come from the small-object allocator (operator new answers null on failure).
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>

#include "dui/alloc.h"
#include "dui/attribute_table.h"

class Object : public dui::SmallObject {
  public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object();

    // Add or overwrite in place. Answer false only when a new node cannot be allocated.
    bool setInt(AttributeId id, int32_t value);
    bool setSize(AttributeId id, int32_t cx, int32_t cy);
    bool setRect(AttributeId id, int32_t left, int32_t top, int32_t right, int32_t bottom);
    bool setText(AttributeId id, const wchar_t* text);  // null counts as empty
    bool setText(AttributeId id, const wchar_t* text, std::size_t length);

    int32_t getInt(AttributeId id, int32_t fallback) const;
    SIZE getSize(AttributeId id, SIZE fallback) const;
    RECT getRect(AttributeId id) const;            // all zero when absent
    const wchar_t* getText(AttributeId id) const;  // L"" when absent; valid until the key is set again

    // Presence tests; the pointers stay valid until the key is set again or the object dies.
    const int32_t* findInt(AttributeId id) const;
    const SIZE* findSize(AttributeId id) const;
    const RECT* findRect(AttributeId id) const;
    const wchar_t* findText(AttributeId id) const;  // null when absent
    bool hasIntegers() const { return ints_ != nullptr; }

  protected:
    // Called after a text attribute was stored (not when the store failed).
    virtual void textChanged(AttributeId /*id*/) {}

  private:
    struct IntNode;
    struct SizeNode;
    struct RectNode;
    struct TextNode;

    IntNode* ints_ = nullptr;
    SizeNode* sizes_ = nullptr;
    RectNode* rects_ = nullptr;
    TextNode* texts_ = nullptr;
};
