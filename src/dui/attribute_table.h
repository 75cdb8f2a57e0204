// The attribute table: every attribute name XML may carry, with the kind of value its setter stores,
// followed by the keywords that choice attributes store and then the attributes of the keyboard and of
// screen readers. An attribute's id is its row plus one, so the order is fixed. Ids, names and setters all
// come from this one table. Constant data; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

// Position in the attribute table plus one; 0 means "none".
using AttributeId = int32_t;

// Which setter of duiField (dui/setters.h) reads an attribute's XML text, or what else a row is.
enum class AttributeKind : uint8_t {
    text,     // TextSetter: stored as it is
    integer,  // IntSetter: one decimal integer
    rect,     // RectSetter: left, top, right, bottom
    size,     // SizeSetter: cx, cy
    choice,   // EnumSetter: one of the keywords, stored as the keyword's id
    color,    // ColorSetter: "#" and three hex pairs
    unset,    // a name XML may carry that no setter reads
    keyword,  // not an attribute: a value that choice attributes store
};

namespace attr {

struct Row {
    std::wstring_view name;
    AttributeKind kind;
};

inline constexpr Row kTable[] = {
    {L"img", AttributeKind::text},
    {L"scaleGrid", AttributeKind::rect},
    {L"upSkin", AttributeKind::text},
    {L"downSkin", AttributeKind::text},
    {L"overSkin", AttributeKind::text},
    {L"disabledSkin", AttributeKind::text},
    {L"textColor", AttributeKind::color},
    {L"downOffset", AttributeKind::integer},
    {L"upIcon", AttributeKind::text},
    {L"overIcon", AttributeKind::text},
    {L"downIcon", AttributeKind::text},
    {L"disabledIcon", AttributeKind::text},
    {L"checkedUpIcon", AttributeKind::text},
    {L"checkedOverIcon", AttributeKind::text},
    {L"checkedDownIcon", AttributeKind::text},
    {L"checkedDisabledIcon", AttributeKind::text},
    {L"iconGap", AttributeKind::integer},
    {L"cloUpSkin", AttributeKind::text},
    {L"cloOverSkin", AttributeKind::text},
    {L"cloDownSkin", AttributeKind::text},
    {L"dropBtn", AttributeKind::text},
    {L"margin", AttributeKind::rect},
    {L"multiline", AttributeKind::integer},
    {L"disabledAlpha", AttributeKind::integer},
    {L"textPlacement", AttributeKind::choice},
    {L"barSkin", AttributeKind::text},
    {L"trackSkin", AttributeKind::text},
    {L"thumbUpSkin", AttributeKind::text},
    {L"thumbOverSkin", AttributeKind::text},
    {L"thumbDownSkin", AttributeKind::text},
    {L"checkedUpSkin", AttributeKind::text},
    {L"checkedDownSkin", AttributeKind::text},
    {L"checkedOverSkin", AttributeKind::text},
    {L"checkedDisabledSkin", AttributeKind::text},
    {L"thumbScaleGrid", AttributeKind::rect},
    {L"upArrowUpSkin", AttributeKind::text},
    {L"upArrowOverSkin", AttributeKind::text},
    {L"upArrowDownSkin", AttributeKind::text},
    {L"upArrowDisabledSkin", AttributeKind::text},
    {L"downArrowUpSkin", AttributeKind::text},
    {L"downArrowOverSkin", AttributeKind::text},
    {L"downArrowDownSkin", AttributeKind::text},
    {L"downArrowDisabledSkin", AttributeKind::text},
    {L"thumbUpIcon", AttributeKind::text},
    {L"thumbOverIcon", AttributeKind::text},
    {L"thumbDownIcon", AttributeKind::text},
    {L"id", AttributeKind::integer},
    {L"x", AttributeKind::integer},
    {L"y", AttributeKind::integer},
    {L"width", AttributeKind::integer},
    {L"height", AttributeKind::integer},
    {L"padding", AttributeKind::rect},
    {L"horizontalAlign", AttributeKind::choice},
    {L"verticalAlign", AttributeKind::choice},
    {L"dock", AttributeKind::choice},
    {L"tooltip", AttributeKind::text},
    {L"style", AttributeKind::text},
    {L"orientation", AttributeKind::choice},
    {L"text", AttributeKind::text},
    {L"icon", AttributeKind::text},
    {L"rows", AttributeKind::integer},
    {L"columns", AttributeKind::integer},
    {L"font", AttributeKind::text},
    {L"color", AttributeKind::color},
    {L"textAlign", AttributeKind::choice},
    {L"offIcon", AttributeKind::text},
    {L"offText", AttributeKind::text},
    {L"src", AttributeKind::text},
    {L"tabHeight", AttributeKind::integer},
    {L"tabPlacement", AttributeKind::choice},
    {L"tabOffset", AttributeKind::integer},
    {L"initSize", AttributeKind::size},
    {L"roundCorner", AttributeKind::size},
    {L"grayTip", AttributeKind::text},
    {L"scrollvertical", AttributeKind::unset},
    {L"scrollhorizontal", AttributeKind::unset},
    {L"itemHeight", AttributeKind::integer},
    {L"progressbkimg", AttributeKind::text},
    {L"progressbkScaleGrid", AttributeKind::rect},
    {L"progressmargin", AttributeKind::rect},
    {L"progressimg", AttributeKind::text},
    {L"progressScaleGrid", AttributeKind::rect},
    {L"imagelist", AttributeKind::text},
    {L"url", AttributeKind::text},
    {L"textspace", AttributeKind::integer},
    {L"textpadding", AttributeKind::size},
    {L"texteditable", AttributeKind::integer},
    {L"left", AttributeKind::keyword},
    {L"right", AttributeKind::keyword},
    {L"top", AttributeKind::keyword},
    {L"bottom", AttributeKind::keyword},
    {L"center", AttributeKind::keyword},
    {L"stretch", AttributeKind::keyword},
    {L"horizontal", AttributeKind::keyword},
    {L"vertical", AttributeKind::keyword},
    {L"true", AttributeKind::keyword},
    {L"false", AttributeKind::keyword},
    {L"auto", AttributeKind::keyword},
    {L"always", AttributeKind::keyword},
    {L"never", AttributeKind::keyword},
    // Beyond the keywords, so the ids above stay as they are: what the keyboard and screen readers read.
    {L"tabIndex", AttributeKind::integer},
    {L"tabStop", AttributeKind::integer},
    {L"default", AttributeKind::integer},
    {L"cancel", AttributeKind::integer},
    {L"focusSkin", AttributeKind::text},
    {L"accessibleName", AttributeKind::text},
    {L"labelledBy", AttributeKind::text},
};
inline constexpr int kCount = static_cast<int>(std::size(kTable));

// The id of a name known to be in the table; a name that is not fails to compile.
consteval AttributeId idOf(std::wstring_view name) {
    for (int i = 0; i < kCount; ++i) {
        if (kTable[i].name == name)
            return i + 1;
    }
    throw "not in the attribute table";
}

inline constexpr AttributeId img = idOf(L"img");
inline constexpr AttributeId scaleGrid = idOf(L"scaleGrid");
inline constexpr AttributeId upSkin = idOf(L"upSkin");
inline constexpr AttributeId downSkin = idOf(L"downSkin");
inline constexpr AttributeId overSkin = idOf(L"overSkin");
inline constexpr AttributeId disabledSkin = idOf(L"disabledSkin");
inline constexpr AttributeId textColor = idOf(L"textColor");
inline constexpr AttributeId downOffset = idOf(L"downOffset");
inline constexpr AttributeId upIcon = idOf(L"upIcon");
inline constexpr AttributeId overIcon = idOf(L"overIcon");
inline constexpr AttributeId downIcon = idOf(L"downIcon");
inline constexpr AttributeId disabledIcon = idOf(L"disabledIcon");
inline constexpr AttributeId checkedUpIcon = idOf(L"checkedUpIcon");
inline constexpr AttributeId checkedOverIcon = idOf(L"checkedOverIcon");
inline constexpr AttributeId checkedDownIcon = idOf(L"checkedDownIcon");
inline constexpr AttributeId checkedDisabledIcon = idOf(L"checkedDisabledIcon");
inline constexpr AttributeId iconGap = idOf(L"iconGap");
inline constexpr AttributeId cloUpSkin = idOf(L"cloUpSkin");
inline constexpr AttributeId cloOverSkin = idOf(L"cloOverSkin");
inline constexpr AttributeId cloDownSkin = idOf(L"cloDownSkin");
inline constexpr AttributeId dropBtn = idOf(L"dropBtn");
inline constexpr AttributeId margin = idOf(L"margin");
inline constexpr AttributeId multiline = idOf(L"multiline");
inline constexpr AttributeId disabledAlpha = idOf(L"disabledAlpha");
inline constexpr AttributeId textPlacement = idOf(L"textPlacement");
inline constexpr AttributeId barSkin = idOf(L"barSkin");
inline constexpr AttributeId trackSkin = idOf(L"trackSkin");
inline constexpr AttributeId thumbUpSkin = idOf(L"thumbUpSkin");
inline constexpr AttributeId thumbOverSkin = idOf(L"thumbOverSkin");
inline constexpr AttributeId thumbDownSkin = idOf(L"thumbDownSkin");
inline constexpr AttributeId checkedUpSkin = idOf(L"checkedUpSkin");
inline constexpr AttributeId checkedDownSkin = idOf(L"checkedDownSkin");
inline constexpr AttributeId checkedOverSkin = idOf(L"checkedOverSkin");
inline constexpr AttributeId checkedDisabledSkin = idOf(L"checkedDisabledSkin");
inline constexpr AttributeId thumbScaleGrid = idOf(L"thumbScaleGrid");
inline constexpr AttributeId upArrowUpSkin = idOf(L"upArrowUpSkin");
inline constexpr AttributeId upArrowOverSkin = idOf(L"upArrowOverSkin");
inline constexpr AttributeId upArrowDownSkin = idOf(L"upArrowDownSkin");
inline constexpr AttributeId upArrowDisabledSkin = idOf(L"upArrowDisabledSkin");
inline constexpr AttributeId downArrowUpSkin = idOf(L"downArrowUpSkin");
inline constexpr AttributeId downArrowOverSkin = idOf(L"downArrowOverSkin");
inline constexpr AttributeId downArrowDownSkin = idOf(L"downArrowDownSkin");
inline constexpr AttributeId downArrowDisabledSkin = idOf(L"downArrowDisabledSkin");
inline constexpr AttributeId thumbUpIcon = idOf(L"thumbUpIcon");
inline constexpr AttributeId thumbOverIcon = idOf(L"thumbOverIcon");
inline constexpr AttributeId thumbDownIcon = idOf(L"thumbDownIcon");
inline constexpr AttributeId id = idOf(L"id");
inline constexpr AttributeId x = idOf(L"x");
inline constexpr AttributeId y = idOf(L"y");
inline constexpr AttributeId width = idOf(L"width");
inline constexpr AttributeId height = idOf(L"height");
inline constexpr AttributeId padding = idOf(L"padding");
inline constexpr AttributeId horizontalAlign = idOf(L"horizontalAlign");
inline constexpr AttributeId verticalAlign = idOf(L"verticalAlign");
inline constexpr AttributeId dock = idOf(L"dock");
inline constexpr AttributeId tooltip = idOf(L"tooltip");
inline constexpr AttributeId style = idOf(L"style");
inline constexpr AttributeId orientation = idOf(L"orientation");
inline constexpr AttributeId text = idOf(L"text");
inline constexpr AttributeId icon = idOf(L"icon");
inline constexpr AttributeId rows = idOf(L"rows");
inline constexpr AttributeId columns = idOf(L"columns");
inline constexpr AttributeId font = idOf(L"font");
inline constexpr AttributeId color = idOf(L"color");
inline constexpr AttributeId textAlign = idOf(L"textAlign");
inline constexpr AttributeId offIcon = idOf(L"offIcon");
inline constexpr AttributeId offText = idOf(L"offText");
inline constexpr AttributeId src = idOf(L"src");
inline constexpr AttributeId tabHeight = idOf(L"tabHeight");
inline constexpr AttributeId tabPlacement = idOf(L"tabPlacement");
inline constexpr AttributeId tabOffset = idOf(L"tabOffset");
inline constexpr AttributeId initSize = idOf(L"initSize");
inline constexpr AttributeId roundCorner = idOf(L"roundCorner");
inline constexpr AttributeId grayTip = idOf(L"grayTip");
inline constexpr AttributeId scrollvertical = idOf(L"scrollvertical");
inline constexpr AttributeId scrollhorizontal = idOf(L"scrollhorizontal");
inline constexpr AttributeId itemHeight = idOf(L"itemHeight");
inline constexpr AttributeId progressbkimg = idOf(L"progressbkimg");
inline constexpr AttributeId progressbkScaleGrid = idOf(L"progressbkScaleGrid");
inline constexpr AttributeId progressmargin = idOf(L"progressmargin");
inline constexpr AttributeId progressimg = idOf(L"progressimg");
inline constexpr AttributeId progressScaleGrid = idOf(L"progressScaleGrid");
inline constexpr AttributeId imagelist = idOf(L"imagelist");
inline constexpr AttributeId url = idOf(L"url");
inline constexpr AttributeId textspace = idOf(L"textspace");
inline constexpr AttributeId textpadding = idOf(L"textpadding");
inline constexpr AttributeId texteditable = idOf(L"texteditable");
inline constexpr AttributeId tabIndex = idOf(L"tabIndex");              // keyboard order, default 0
inline constexpr AttributeId tabStop = idOf(L"tabStop");                // 0: Tab passes over it
inline constexpr AttributeId default_ = idOf(L"default");               // 1: Enter presses it
inline constexpr AttributeId cancel = idOf(L"cancel");                  // 1: Escape and Alt+F4 press it
inline constexpr AttributeId focusSkin = idOf(L"focusSkin");            // a style's own focus face
inline constexpr AttributeId accessibleName = idOf(L"accessibleName");  // name for screen readers
inline constexpr AttributeId labelledBy = idOf(L"labelledBy");          // layout ids whose texts name it
inline constexpr AttributeId left = idOf(L"left");
inline constexpr AttributeId right = idOf(L"right");
inline constexpr AttributeId top = idOf(L"top");
inline constexpr AttributeId bottom = idOf(L"bottom");
inline constexpr AttributeId center = idOf(L"center");
inline constexpr AttributeId stretch = idOf(L"stretch");
inline constexpr AttributeId horizontal = idOf(L"horizontal");
inline constexpr AttributeId vertical = idOf(L"vertical");
inline constexpr AttributeId true_ = idOf(L"true");
inline constexpr AttributeId false_ = idOf(L"false");
inline constexpr AttributeId auto_ = idOf(L"auto");
inline constexpr AttributeId always = idOf(L"always");
inline constexpr AttributeId never = idOf(L"never");
inline constexpr AttributeId kFirstKeyword = left;  // keywords fill the table from here to kLastKeyword
inline constexpr AttributeId kLastKeyword = never;

}  // namespace attr

// The id of an attribute or keyword name (exact, case-sensitive), 0 when the name is not in the table.
AttributeId attributeId(const wchar_t* name);
AttributeId attributeId(const wchar_t* name, std::size_t length);
// The name of an id, or null for an id outside the table.
const wchar_t* attributeName(AttributeId id);
// The kind of an id's row; unset for an id outside the table.
AttributeKind attributeKind(AttributeId id);
