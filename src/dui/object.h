// Object: the root of the UI object model, carrying a typed attribute store keyed by AttributeId.
// UI thread only. Objects come from the small-object allocator (operator new answers null on failure).
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>

#include "dui/alloc.h"

// Position in the attribute name table plus one; 0 means "none".
using AttributeId = int32_t;

namespace attr {
// Ids 1-87 name attributes that XML may carry; 88-100 are the keywords enumerated attributes store.
constexpr AttributeId img = 1;
constexpr AttributeId scaleGrid = 2;
constexpr AttributeId upSkin = 3;
constexpr AttributeId downSkin = 4;
constexpr AttributeId overSkin = 5;
constexpr AttributeId disabledSkin = 6;
constexpr AttributeId textColor = 7;
constexpr AttributeId downOffset = 8;
constexpr AttributeId upIcon = 9;
constexpr AttributeId overIcon = 10;
constexpr AttributeId downIcon = 11;
constexpr AttributeId disabledIcon = 12;
constexpr AttributeId checkedUpIcon = 13;
constexpr AttributeId checkedOverIcon = 14;
constexpr AttributeId checkedDownIcon = 15;
constexpr AttributeId checkedDisabledIcon = 16;
constexpr AttributeId iconGap = 17;
constexpr AttributeId cloUpSkin = 18;
constexpr AttributeId cloOverSkin = 19;
constexpr AttributeId cloDownSkin = 20;
constexpr AttributeId dropBtn = 21;
constexpr AttributeId margin = 22;
constexpr AttributeId multiline = 23;
constexpr AttributeId disabledAlpha = 24;
constexpr AttributeId textPlacement = 25;
constexpr AttributeId barSkin = 26;
constexpr AttributeId trackSkin = 27;
constexpr AttributeId thumbUpSkin = 28;
constexpr AttributeId thumbOverSkin = 29;
constexpr AttributeId thumbDownSkin = 30;
constexpr AttributeId checkedUpSkin = 31;
constexpr AttributeId checkedDownSkin = 32;
constexpr AttributeId checkedOverSkin = 33;
constexpr AttributeId checkedDisabledSkin = 34;
constexpr AttributeId thumbScaleGrid = 35;
constexpr AttributeId upArrowUpSkin = 36;
constexpr AttributeId upArrowOverSkin = 37;
constexpr AttributeId upArrowDownSkin = 38;
constexpr AttributeId upArrowDisabledSkin = 39;
constexpr AttributeId downArrowUpSkin = 40;
constexpr AttributeId downArrowOverSkin = 41;
constexpr AttributeId downArrowDownSkin = 42;
constexpr AttributeId downArrowDisabledSkin = 43;
constexpr AttributeId thumbUpIcon = 44;
constexpr AttributeId thumbOverIcon = 45;
constexpr AttributeId thumbDownIcon = 46;
constexpr AttributeId id = 47;
constexpr AttributeId x = 48;
constexpr AttributeId y = 49;
constexpr AttributeId width = 50;
constexpr AttributeId height = 51;
constexpr AttributeId padding = 52;
constexpr AttributeId horizontalAlign = 53;
constexpr AttributeId verticalAlign = 54;
constexpr AttributeId dock = 55;
constexpr AttributeId tooltip = 56;
constexpr AttributeId style = 57;
constexpr AttributeId orientation = 58;
constexpr AttributeId text = 59;
constexpr AttributeId icon = 60;
constexpr AttributeId rows = 61;
constexpr AttributeId columns = 62;
constexpr AttributeId font = 63;
constexpr AttributeId color = 64;
constexpr AttributeId textAlign = 65;
constexpr AttributeId offIcon = 66;
constexpr AttributeId offText = 67;
constexpr AttributeId src = 68;
constexpr AttributeId tabHeight = 69;
constexpr AttributeId tabPlacement = 70;
constexpr AttributeId tabOffset = 71;
constexpr AttributeId initSize = 72;
constexpr AttributeId roundCorner = 73;
constexpr AttributeId grayTip = 74;
constexpr AttributeId scrollvertical = 75;
constexpr AttributeId scrollhorizontal = 76;
constexpr AttributeId itemHeight = 77;
constexpr AttributeId progressbkimg = 78;
constexpr AttributeId progressbkScaleGrid = 79;
constexpr AttributeId progressmargin = 80;
constexpr AttributeId progressimg = 81;
constexpr AttributeId progressScaleGrid = 82;
constexpr AttributeId imagelist = 83;
constexpr AttributeId url = 84;
constexpr AttributeId textspace = 85;
constexpr AttributeId textpadding = 86;
constexpr AttributeId texteditable = 87;
constexpr AttributeId left = 88;
constexpr AttributeId right = 89;
constexpr AttributeId top = 90;
constexpr AttributeId bottom = 91;
constexpr AttributeId center = 92;
constexpr AttributeId stretch = 93;
constexpr AttributeId horizontal = 94;
constexpr AttributeId vertical = 95;
constexpr AttributeId true_ = 96;
constexpr AttributeId false_ = 97;
constexpr AttributeId auto_ = 98;
constexpr AttributeId always = 99;
constexpr AttributeId never = 100;
constexpr int kCount = 100;
constexpr AttributeId kFirstKeyword = left;
}  // namespace attr

// The id of an attribute or keyword name (exact, case-sensitive), 0 when the name is not in the table.
AttributeId attributeId(const wchar_t* name);
AttributeId attributeId(const wchar_t* name, std::size_t length);
// The name of an id, or null for an id outside the table.
const wchar_t* attributeName(AttributeId id);

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
