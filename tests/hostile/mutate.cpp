#include "mutate.h"

#include <algorithm>

namespace hostile {
namespace {

// Positions just after a '<' that opens an element (not a closing tag, comment or declaration).
std::vector<std::size_t> elementStarts(const std::string& text) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '<' && (std::isalpha(static_cast<unsigned char>(text[i + 1])) != 0))
            starts.push_back(i);
    }
    return starts;
}

// The end of the start tag beginning at `start` (the position of its '>' or "/>"), or npos.
std::size_t tagEnd(const std::string& text, std::size_t start) {
    std::size_t end = text.find('>', start);
    if (end == std::string::npos)
        return end;
    return end > 0 && text[end - 1] == '/' ? end - 1 : end;
}

std::string randomElement(Rng& rng, int attributes) {
    std::string name =
        rng.chance(20) ? std::string(rng.chance(50) ? "Frobnicate" : "button") : rng.pick(elementNames());
    std::string out = "<" + name;
    for (int i = 0; i < attributes; ++i)
        out += " " + rng.pick(attributeNames()) + "=\"" + hostileValue(rng) + "\"";
    if (rng.chance(50))
        return out + "/>";
    out += ">";
    if (rng.chance(30))
        out += randomElement(rng, static_cast<int>(rng.below(3)));
    return out + "</" + name + ">";
}

std::string deepNest(Rng& rng, const std::string& inner) {
    static const std::vector<std::string> kPanels = {"Canvas",      "StackPanel", "Grid",    "DockPanel",
                                                     "ScrollPanel", "TabControl", "TabItem", "ListBox"};
    static const std::vector<std::size_t> kDepths = {40, 200, 1000, 5000, 20000};
    std::size_t depth = rng.pick(kDepths);
    std::string open, close;
    for (std::size_t i = 0; i < depth; ++i) {
        const std::string& panel = rng.chance(80) ? kPanels[i % 3] : rng.pick(kPanels);
        open += "<" + panel + (rng.chance(10) ? " width=\"-5\" margin=\"9,9,9,9\"" : "") + ">";
        close.insert(0, "</" + panel + ">");
    }
    return open + inner + close;
}

}  // namespace

const std::vector<std::string>& elementNames() {
    static const std::vector<std::string> names = {
        "Canvas",     "StackPanel",       "DockPanel",    "Grid",        "Window",    "TabControl",
        "ComboBox",   "ToggleIconButton", "Edit",         "Image",       "Label",     "Slider",
        "Button",     "IconButton",       "ToggleButton", "RadioButton", "CheckBox",  "TitleBar",
        "TabItem",    "ListBox",          "ScrollPanel",  "TextBox",     "Seperator", "ImageButton",
        "PowerPoint", "LinkLabel",        "ProgressBar"};  // WebBrowser: see the campaign's notes
    return names;
}

const std::vector<std::string>& attributeNames() {
    static const std::vector<std::string> names = {"img",
                                                   "upSkin",
                                                   "downSkin",
                                                   "overSkin",
                                                   "disabledSkin",
                                                   "upIcon",
                                                   "overIcon",
                                                   "downIcon",
                                                   "disabledIcon",
                                                   "checkedUpIcon",
                                                   "checkedOverIcon",
                                                   "checkedDownIcon",
                                                   "checkedDisabledIcon",
                                                   "cloUpSkin",
                                                   "cloOverSkin",
                                                   "cloDownSkin",
                                                   "dropBtn",
                                                   "barSkin",
                                                   "trackSkin",
                                                   "thumbUpSkin",
                                                   "thumbOverSkin",
                                                   "thumbDownSkin",
                                                   "checkedUpSkin",
                                                   "checkedDownSkin",
                                                   "checkedOverSkin",
                                                   "checkedDisabledSkin",
                                                   "upArrowUpSkin",
                                                   "upArrowOverSkin",
                                                   "upArrowDownSkin",
                                                   "upArrowDisabledSkin",
                                                   "downArrowUpSkin",
                                                   "downArrowOverSkin",
                                                   "downArrowDownSkin",
                                                   "downArrowDisabledSkin",
                                                   "thumbUpIcon",
                                                   "thumbOverIcon",
                                                   "thumbDownIcon",
                                                   "tooltip",
                                                   "style",
                                                   "text",
                                                   "icon",
                                                   "font",
                                                   "offIcon",
                                                   "offText",
                                                   "src",
                                                   "grayTip",
                                                   "progressbkimg",
                                                   "progressimg",
                                                   "imagelist",
                                                   "url",
                                                   "downOffset",
                                                   "iconGap",
                                                   "multiline",
                                                   "disabledAlpha",
                                                   "id",
                                                   "x",
                                                   "y",
                                                   "width",
                                                   "height",
                                                   "rows",
                                                   "columns",
                                                   "tabHeight",
                                                   "tabOffset",
                                                   "itemHeight",
                                                   "textspace",
                                                   "texteditable",
                                                   "scaleGrid",
                                                   "margin",
                                                   "thumbScaleGrid",
                                                   "padding",
                                                   "progressbkScaleGrid",
                                                   "progressmargin",
                                                   "progressScaleGrid",
                                                   "initSize",
                                                   "roundCorner",
                                                   "textpadding",
                                                   "textPlacement",
                                                   "horizontalAlign",
                                                   "verticalAlign",
                                                   "dock",
                                                   "orientation",
                                                   "textAlign",
                                                   "tabPlacement",
                                                   "textColor",
                                                   "color",
                                                   "visible",
                                                   "enabled",
                                                   "transparent",
                                                   "scrollvertical",
                                                   "name",
                                                   "face",
                                                   "size",
                                                   "bold",
                                                   "underline",
                                                   "type",
                                                   "bogus"};
    return names;
}

std::string hostileValue(Rng& rng) {
    static const std::vector<std::string> kValues = {"2147483648",
                                                     "-2147483649",
                                                     "2147483647",
                                                     "-2147483648",
                                                     "-1",
                                                     "-99999",
                                                     "99999999999999999999",
                                                     "0",
                                                     "1",
                                                     "abc",
                                                     "",
                                                     " ",
                                                     "1,2",
                                                     "1,2,3,4,5",
                                                     ",,,",
                                                     "-1,-1,-1,-1",
                                                     "2147483647,2147483647,1,1",
                                                     "9999,9999,9999,9999",
                                                     "-30000,-30000",
                                                     "40000,40000",
                                                     "#",
                                                     "#GGGGGG",
                                                     "#12",
                                                     "#FF00FF00FF",
                                                     "true",
                                                     "false",
                                                     "middle",
                                                     "stretch",
                                                     "center",
                                                     "auto",
                                                     "vertical",
                                                     "horizontal",
                                                     "bottom",
                                                     "\xC3\x28",
                                                     "\xF0\x90\x80",
                                                     "\xFF\xFE\xFD",
                                                     "\xED\xA0\x80",
                                                     "中文文本",
                                                     "%s%n%d%x",
                                                     "0x10",
                                                     " 12",
                                                     "1e9",
                                                     "nan",
                                                     "missing.png",
                                                     "fuzz.png",
                                                     "fuzz.xml",
                                                     "button.xml",
                                                     "nope.xml",
                                                     "Default",
                                                     "Title",
                                                     "font.xml",
                                                     "1.5",
                                                     "+7",
                                                     "--3",
                                                     "\t\n"};
    switch (rng.below(12)) {
        case 0:
            return std::string(rng.chance(30) ? 100000 : 2000, "W中"[rng.below(2)]);
        case 1:
            return std::to_string(static_cast<int64_t>(rng.next()));
        case 2: {
            std::string s;
            for (std::size_t i = rng.below(40); i > 0; --i) s += static_cast<char>(1 + rng.below(255));
            s.erase(std::remove(s.begin(), s.end(), '"'), s.end());
            return s;
        }
        default:
            return rng.pick(kValues);
    }
}

std::string mutateXml(const std::string& seed, Rng& rng, int maxMutations) {
    std::string text = seed;
    int count = 1 + static_cast<int>(rng.below(static_cast<std::size_t>(maxMutations)));
    for (int m = 0; m < count; ++m) {
        std::vector<std::size_t> starts = elementStarts(text);
        std::size_t at = starts.empty() ? 0 : rng.pick(starts);
        std::size_t end = tagEnd(text, at);
        switch (rng.below(12)) {
            case 0:
            case 1:  // an attribute with a hostile value on an existing element (maybe a repeated name)
                if (end != std::string::npos)
                    text.insert(end, " " + rng.pick(attributeNames()) + "=\"" + hostileValue(rng) + "\"");
                break;
            case 2: {  // an attribute's value replaced
                std::size_t q = text.find("=\"", at);
                std::size_t q2 = q == std::string::npos ? q : text.find('"', q + 2);
                if (q2 != std::string::npos && q2 < end + 2)
                    text.replace(q + 2, q2 - q - 2, hostileValue(rng));
                break;
            }
            case 3:
            case 4:  // a new element, known or not, inside or beside another
                if (end != std::string::npos && text[end] == '>')
                    text.insert(end + 1, randomElement(rng, static_cast<int>(rng.below(4))));
                else
                    text.insert(at, randomElement(rng, static_cast<int>(rng.below(4))));
                break;
            case 5: {  // an element repeated (its start tag, self-closed)
                if (end != std::string::npos) {
                    std::string tag = text.substr(at, end - at) + "/>";
                    for (std::size_t i = 1 + rng.below(rng.chance(10) ? 500 : 4); i > 0; --i)
                        text.insert(at, tag);
                }
                break;
            }
            case 6:  // deep nesting around a new element
                if (end != std::string::npos && text[end] == '>')
                    text.insert(end + 1, deepNest(rng, randomElement(rng, 1)));
                break;
            case 7:  // truncated
                text.resize(rng.below(text.size() + 1));
                break;
            case 8:  // byte flips
                for (std::size_t i = 1 + rng.below(6); i > 0 && !text.empty(); --i)
                    text[rng.below(text.size())] ^= static_cast<char>(1u << rng.below(8));
                break;
            case 9:  // enormous or broken text between tags
                if (end != std::string::npos && text[end] == '>')
                    text.insert(end + 1, hostileValue(rng));
                break;
            case 10: {  // a chunk removed
                std::size_t from = rng.below(text.size() + 1);
                text.erase(from, rng.below(64));
                break;
            }
            default:  // a root-level oddity: byte-order mark, a second root, a declaration
                switch (rng.below(3)) {
                    case 0:
                        text.insert(0, "\xEF\xBB\xBF");
                        break;
                    case 1:
                        text += randomElement(rng, 2);
                        break;
                    default:
                        text.insert(0, "<?xml version=\"1.0\"?><!-- x -->");
                }
        }
    }
    return text;
}

std::string mutateImage(const std::string& seed, Rng& rng) {
    std::string bytes = seed;
    switch (rng.below(6)) {
        case 0:  // truncated, often inside the header
            bytes.resize(rng.chance(50) ? rng.below(std::min<std::size_t>(bytes.size(), 64) + 1)
                                        : rng.below(bytes.size() + 1));
            break;
        case 1:
        case 2:  // bit flips
            for (std::size_t i = 1 + rng.below(24); i > 0 && !bytes.empty(); --i)
                bytes[rng.below(bytes.size())] ^= static_cast<char>(1u << rng.below(8));
            break;
        case 3: {  // header words rewritten: sizes 0, 1, huge or negative
            static const uint32_t kWords[] = {0, 1, 0xFFFF, 0x10000, 0x7FFFFFFF, 0xFFFFFFFF, 30000};
            for (std::size_t i = 1 + rng.below(3); i > 0 && bytes.size() > 8; --i) {
                std::size_t at = rng.below(std::min<std::size_t>(bytes.size() - 4, 40));
                uint32_t w = kWords[rng.below(std::size(kWords))];
                for (int k = 0; k < 4; ++k)
                    bytes[at + k] = static_cast<char>(w >> (rng.chance(50) ? 8 * k : 24 - 8 * k));
            }
            break;
        }
        case 4:  // a marker byte, or the start of one image with the tail of garbage
            if (rng.chance(50))
                bytes.insert(0, 1, '\x01');
            else
                bytes.resize(std::min<std::size_t>(bytes.size(), 16 + rng.below(200)),
                             static_cast<char>(rng.next()));
            break;
        default:  // garbage spliced into the middle
            if (!bytes.empty())
                bytes.insert(rng.below(bytes.size()),
                             std::string(1 + rng.below(64), static_cast<char>(rng.next())));
    }
    return bytes;
}

}  // namespace hostile
