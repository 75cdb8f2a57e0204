#include "product.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}
#include <rapidxml.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "dui/attribute_table.h"
#include "pack/pack_archive.h"
#include "render/xml_depth.h"
#include "text.h"
#include "ui_script.h"

namespace fs = std::filesystem;
using packtool::pathToUtf8;

namespace tarvo {

int Findings::errors() const {
    return static_cast<int>(
        std::count_if(list_.begin(), list_.end(), [](const Finding& f) { return f.error; }));
}
int Findings::warnings() const {
    return static_cast<int>(list_.size()) - errors();
}

void Findings::print(std::FILE* to) const {
    for (const Finding& f : list_) {
        std::string where = f.path + (f.line > 0 ? ":" + std::to_string(f.line) : "");
        std::fprintf(to, "%s: %s: %s\n", where.c_str(), f.error ? "error" : "warning", f.message.c_str());
    }
}

namespace {

// The element names the layout loader builds; the containers among them take children.
const std::set<std::string> kElements = {
    "Canvas",           "StackPanel",  "DockPanel", "Grid",        "Window",     "TabControl", "ComboBox",
    "ToggleIconButton", "Edit",        "Image",     "Label",       "Slider",     "Button",     "IconButton",
    "ToggleButton",     "RadioButton", "CheckBox",  "TitleBar",    "TabItem",    "ListBox",    "ScrollPanel",
    "TextBox",          "WebBrowser",  "Seperator", "ImageButton", "PowerPoint", "LinkLabel",  "ProgressBar"};
const std::set<std::string> kContainers = {"Canvas",     "StackPanel", "DockPanel",   "Grid",   "Window",
                                           "TabControl", "ListBox",    "ScrollPanel", "TabItem"};
const std::set<std::string> kStyleTypes = {
    "Background", "Button",           "CheckButton", "ComboBox", "Edit",          "Slider", "ToggleButton",
    "IconButton", "ToggleIconButton", "ScrollBar",   "ButtonEx", "CheckButtonEx", "Style"};
// Text attributes that hold something other than an image name.
const std::set<std::string> kNotImages = {"tooltip", "style", "text",      "font",           "offText",
                                          "grayTip", "url",   "imagelist", "accessibleName", "labelledBy"};

std::string ascii(std::wstring_view w) {
    return std::string(w.begin(), w.end());
}

const std::map<std::string, AttributeKind>& attributeKinds() {
    static const std::map<std::string, AttributeKind> kinds = [] {
        std::map<std::string, AttributeKind> m;
        for (const attr::Row& row : attr::kTable) {
            if (row.kind != AttributeKind::keyword)
                m[ascii(row.name)] = row.kind;
        }
        return m;
    }();
    return kinds;
}

bool isFlagAttribute(const std::string& name) {
    return name == "visible" || name == "enabled" || name == "transparent";
}
bool namesImage(const std::string& name) {
    auto it = attributeKinds().find(name);
    return it != attributeKinds().end() && it->second == AttributeKind::text && !kNotImages.count(name);
}

std::string label(const fs::path& p) {
    return pathToUtf8(p);
}

bool readText(const fs::path& p, std::string* out) {
    std::ifstream in(p, std::ios::binary);
    if (!in)
        return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Compiles text as a Lua 5.2 chunk without running it. mapLine turns a line of text into a line of
// the file the user edits.
void checkLua(const std::string& path, const std::string& text, const std::function<int(int)>& mapLine,
              Findings* findings) {
    lua_State* L = luaL_newstate();
    if (!L) {
        findings->error(path, 0, "out of memory compiling the script");
        return;
    }
    if (luaL_loadbuffer(L, text.data(), text.size(), "=script") != LUA_OK) {
        std::string message = lua_tostring(L, -1) ? lua_tostring(L, -1) : "cannot compile";
        static const std::regex located("^script:(\\d+): (.*)$");
        std::smatch m;
        if (std::regex_match(message, m, located))
            findings->error(path, mapLine(std::stoi(m[1])), "Lua: " + m[2].str());
        else
            findings->error(path, 0, "Lua: " + message);
    }
    lua_close(L);
}

struct XmlText {
    std::string pristine;  // for line numbers: parsing writes into `buffer`
    std::vector<char> buffer;
    int lineOf(const char* p) const {
        std::size_t at = std::min<std::size_t>(p - buffer.data(), pristine.size());
        return 1 + static_cast<int>(std::count(pristine.begin(), pristine.begin() + at, '\n'));
    }
};

// Parses an XML entry as the engine does (no entity translation); false after reporting why.
bool parseXml(const std::string& path, const std::string& text, XmlText* xml,
              rapidxml::xml_document<char>* doc, Findings* findings) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        findings->error(path, 1, "malformed XML: expected < (the file starts with a byte-order mark)");
        return false;
    }
    if (!packtool::utf8ToUtf16(text)) {
        findings->error(path, 0, "not UTF-8 text");
        return false;
    }
    xml->pristine = text;
    xml->buffer.assign(text.begin(), text.end());
    xml->buffer.push_back('\0');
    try {
        xmlguard::checkDepth(xml->buffer.data());  // the engine refuses such a document outright
        doc->parse<rapidxml::parse_no_entity_translation>(xml->buffer.data());
    } catch (const rapidxml::parse_error& e) {
        findings->error(path, xml->lineOf(e.where<char>()), std::string("malformed XML: ") + e.what());
        return false;
    }
    return true;
}

// Reads and parses one XML file (path is its name in findings); false, with a finding, when it cannot.
bool readXml(const std::string& path, const fs::path& file, XmlText* xml, rapidxml::xml_document<char>* doc,
             Findings* findings) {
    std::string text;
    if (!readText(file, &text)) {
        findings->error(path, 0, "cannot read the file");
        return false;
    }
    return parseXml(path, text, xml, doc, findings);
}

using XmlCheck =
    std::function<void(const std::string& path, const XmlText& xml, rapidxml::xml_node<char>* root)>;

// Runs check on every .xml file of the folder but `skip`, once it has been read and parsed (readXml
// reports a file that cannot be); root is the document's first element, null when it has none.
void forEachXml(const fs::path& dir, const packtool::WalkedFolder& walked, const std::string& skip,
                Findings* findings, const XmlCheck& check) {
    for (const packtool::WalkedFile& f : walked.files) {
        if (!f.name.ends_with(".xml") || f.name == skip)
            continue;
        const std::string path = label(dir / packtool::pathFromUtf8(f.name));
        XmlText xml;
        rapidxml::xml_document<char> doc;
        if (readXml(path, f.path, &xml, &doc, findings))
            check(path, xml, doc.first_node());
    }
}

struct Skin {
    std::set<std::string> entries;
    std::map<std::string, fs::path> files;  // entry name -> file, for image sizes
    std::set<std::string> fonts;
};

// Width and height from the header of a PNG, JPEG, GIF or BMP file; false when the file is none of
// these or too short to tell.
bool imageSize(const fs::path& file, int* w, int* h) {
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> d(64 * 1024);
    in.read(reinterpret_cast<char*>(d.data()), static_cast<std::streamsize>(d.size()));
    d.resize(static_cast<std::size_t>(in.gcount()));
    auto be16 = [&](std::size_t i) { return d[i] << 8 | d[i + 1]; };
    auto le16 = [&](std::size_t i) { return d[i] | d[i + 1] << 8; };
    auto le32 = [&](std::size_t i) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(le16(i)) | le16(i + 2) << 16);
    };
    if (d.size() >= 24 && std::memcmp(d.data(), "\x89PNG\r\n\x1a\n", 8) == 0 &&
        std::memcmp(&d[12], "IHDR", 4) == 0) {
        *w = be16(16) << 16 | be16(18);
        *h = be16(20) << 16 | be16(22);
        return *w >= 0 && *h >= 0;
    }
    if (d.size() >= 10 &&
        (std::memcmp(d.data(), "GIF87a", 6) == 0 || std::memcmp(d.data(), "GIF89a", 6) == 0)) {
        *w = le16(6), *h = le16(8);
        return true;
    }
    if (d.size() >= 26 && d[0] == 'B' && d[1] == 'M') {
        if (le32(14) == 12) {  // the old core header: 16-bit sizes
            *w = le16(18), *h = le16(20);
        } else {
            *w = std::abs(le32(18)), *h = std::abs(le32(22));  // negative height: top-down rows
        }
        return true;
    }
    if (d.size() >= 4 && d[0] == 0xFF && d[1] == 0xD8) {
        for (std::size_t i = 2; i + 9 < d.size();) {
            if (d[i] != 0xFF)
                return false;
            const int marker = d[i + 1];
            if (marker == 0xFF) {
                ++i;
                continue;
            }
            if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
                *h = be16(i + 5), *w = be16(i + 7);
                return true;
            }
            i += 2 + be16(i + 2);
        }
    }
    return false;
}

void checkImage(const std::string& path, int line, const std::string& attribute, const std::string& value,
                const Skin& skin, Findings* findings) {
    if (attribute == "imagelist") {
        for (std::size_t start = 0; start <= value.size();) {
            std::size_t end = std::min(value.find(';', start), value.size());
            if (end > start)
                checkImage(path, line, "img", value.substr(start, end - start), skin, findings);
            start = end + 1;
        }
        return;
    }
    if (!value.empty() && !skin.entries.count(value))
        findings->error(path, line, attribute + " names the image \"" + value + "\", which is not in skin/");
}

// Reads up to `count` comma-separated integers as the engine's setters do (src/dui/setters.cpp,
// scanIntegers: "%d" each, white space before the sign allowed); answers how many were read. `wide`
// is set when one of them does not fit in 32 bits (the engine wraps it).
int readIntegers(const std::string& text, int count, std::vector<long long>* out, bool* wide) {
    const char* p = text.c_str();
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            if (*p != ',')
                return i;
            ++p;
        }
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\v' || *p == '\f') ++p;
        const char* start = p;
        if (*p == '+' || *p == '-')
            ++p;
        if (*p < '0' || *p > '9')
            return i;
        while (*p >= '0' && *p <= '9') ++p;
        errno = 0;
        const long long v = std::strtoll(std::string(start, p).c_str(), nullptr, 10);
        if (errno == ERANGE || v > INT32_MAX || v < INT32_MIN)
            *wide = true;
        out->push_back(v);
    }
    return count;
}

bool isKeyword(const std::string& word) {
    for (const attr::Row& row : attr::kTable) {
        if (row.kind == AttributeKind::keyword && ascii(row.name) == word)
            return true;
    }
    return false;
}

std::string keywordList() {
    std::string list;
    for (const attr::Row& row : attr::kTable) {
        if (row.kind == AttributeKind::keyword)
            list += (list.empty() ? "" : ", ") + ascii(row.name);
    }
    return list;
}

// A value its setter cannot read: the engine stores 0 (or wraps a number too wide) and goes on.
void checkValue(const std::string& path, int line, const std::string& name, AttributeKind kind,
                const std::string& value, Findings* findings) {
    const std::string quoted = name + "=\"" + value + "\"";
    if (kind == AttributeKind::choice) {
        if (!isKeyword(value))
            findings->warning(path, line, quoted + " is not one of " + keywordList() + ": it reads as none");
        return;
    }
    if (kind == AttributeKind::color) {
        static const std::regex colour("^#[0-9A-Fa-f]{6}$");
        if (!std::regex_match(value, colour))
            findings->warning(path, line,
                              quoted + " is not a colour \"#RRGGBB\": it reads as another colour");
        return;
    }
    const int want = kind == AttributeKind::integer ? 1
                     : kind == AttributeKind::size  ? 2
                     : kind == AttributeKind::rect  ? 4
                                                    : 0;
    if (want == 0)
        return;
    std::vector<long long> numbers;
    bool wide = false;
    const int got = readIntegers(value, want, &numbers, &wide);
    if (got < want) {
        findings->warning(
            path, line,
            quoted +
                (want == 1 ? " is not a number"
                           : " needs " + std::to_string(want) + " numbers separated by commas") +
                ": the missing ones read as 0");
    } else if (wide) {
        findings->warning(path, line, quoted + " is outside the 32-bit range: it wraps to another number");
    }
}

// The nine-grid that cuts an image attribute's image, or "" for none: "scaleGrid" cuts the state
// skins and "img"; "thumbScaleGrid", "progressScaleGrid" and every other *ScaleGrid of the attribute
// table cut the images named with its prefix (the longest prefix wins: "progressbkimg" is
// "progressbkScaleGrid"'s). Icons, scroll arrows and strips are drawn without one.
std::string gridOf(const std::string& image) {
    if (image.ends_with("Icon") || image.ends_with("icon") || image.find("Arrow") != std::string::npos)
        return "";
    std::string owner = image == "img" || image.ends_with("Skin") ? "scaleGrid" : "";
    std::size_t longest = 0;
    for (const auto& [name, kind] : attributeKinds()) {
        if (kind != AttributeKind::rect || !name.ends_with("ScaleGrid"))
            continue;
        const std::string prefix = name.substr(0, name.size() - std::strlen("ScaleGrid"));
        if (prefix.size() > longest && image.starts_with(prefix))
            owner = name, longest = prefix.size();
    }
    return owner;
}

// Warns when a nine-grid's margins are wider or taller than an image it cuts: the engine then draws
// the middle and the edges of nothing.
void checkGrids(const std::string& path, const XmlText& xml, rapidxml::xml_node<char>* node, const Skin& skin,
                Findings* findings) {
    for (auto* g = node->first_attribute(); g; g = g->next_attribute()) {
        const std::string grid = g->name();
        if (!grid.ends_with("ScaleGrid") && !grid.ends_with("scaleGrid"))
            continue;
        std::vector<long long> m;
        bool wide = false;
        if (readIntegers(g->value(), 4, &m, &wide) < 4 || wide)
            continue;  // reported as a value
        for (auto* a = node->first_attribute(); a; a = a->next_attribute()) {
            if (!namesImage(a->name()) || gridOf(a->name()) != grid)
                continue;
            auto file = skin.files.find(a->value());
            int w = 0, h = 0;
            if (file == skin.files.end() || !imageSize(file->second, &w, &h))
                continue;
            if (m[0] + m[2] > w || m[1] + m[3] > h) {
                findings->warning(path, xml.lineOf(g->name()),
                                  grid + " \"" + g->value() + "\" is larger than " + a->name() + " \"" +
                                      a->value() + "\" (" + std::to_string(w) + "x" + std::to_string(h) +
                                      "): its middle and edges are not drawn");
                break;  // once a grid
            }
        }
    }
}

// Checks one element's attributes against the setter table and the skin.
void checkAttributes(const std::string& path, const XmlText& xml, rapidxml::xml_node<char>* node,
                     const Skin& skin, bool layout, Findings* findings) {
    checkGrids(path, xml, node, skin, findings);
    for (auto* a = node->first_attribute(); a; a = a->next_attribute()) {
        const std::string name = a->name(), value = a->value();
        const int line = xml.lineOf(a->name());
        if (!attributeKinds().count(name) && !(layout && isFlagAttribute(name))) {
            findings->warning(path, line,
                              "unknown attribute \"" + name + "\" on <" + node->name() + "> is ignored");
            continue;
        }
        if (name != "id" && attributeKinds().count(name))
            checkValue(path, line, name, attributeKinds().at(name), value, findings);
        else if (isFlagAttribute(name) && value != "0" && value != "1")
            findings->warning(path, line, name + "=\"" + value + "\" is neither 1 nor 0: it reads as 0");
        if (namesImage(name) || name == "imagelist") {
            checkImage(path, line, name, value, skin, findings);
        } else if (name == "style" && layout && !skin.entries.count(value)) {
            findings->warning(path, line,
                              "style \"" + value + "\" is not in skin/: the control draws no skin");
        } else if (name == "font" && !value.empty() && !skin.fonts.count(value)) {
            findings->error(path, line, "font \"" + value + "\" is not in skin/font.xml");
        }
    }
}

void checkElement(const std::string& path, const XmlText& xml, rapidxml::xml_node<char>* node,
                  const Skin& skin, std::map<long, int>* ids, Findings* findings) {
    const std::string name = node->name();
    const int line = xml.lineOf(node->name());
    if (!kElements.count(name)) {
        findings->warning(path, line, "unknown element <" + name + "> is skipped with everything inside it");
        return;
    }
    checkAttributes(path, xml, node, skin, true, findings);
    for (auto* a = node->first_attribute("id"); a; a = a->next_attribute("id")) {
        char* end = nullptr;
        long id = std::strtol(a->value(), &end, 10);
        if (end == a->value()) {
            findings->error(path, xml.lineOf(a->name()),
                            "id \"" + std::string(a->value()) + "\" is not a number");
        } else if (auto [it, fresh] = ids->emplace(id, xml.lineOf(a->name())); !fresh) {
            findings->error(path, xml.lineOf(a->name()),
                            "id " + std::to_string(id) + " is used twice (first on line " +
                                std::to_string(it->second) + ")");
        }
    }
    bool first = true;
    for (auto* child = node->first_node(); child; child = child->next_sibling()) {
        if (child->type() != rapidxml::node_element)
            continue;
        if (!kContainers.count(name)) {
            findings->warning(path, xml.lineOf(child->name()),
                              "<" + name + "> holds no children; <" + child->name() + "> is not built");
            continue;
        }
        if (name == "TabItem" && !first) {
            findings->warning(path, xml.lineOf(child->name()), "a <TabItem> keeps only its first child");
            continue;
        }
        first = false;
        checkElement(path, xml, child, skin, ids, findings);
    }
}

void checkLayouts(const fs::path& dir, const packtool::WalkedFolder& layouts, const Skin& skin,
                  Findings* findings) {
    forEachXml(dir, layouts, "", findings, [&](const std::string& path, const XmlText& xml, auto* root) {
        if (!root) {
            findings->error(path, 0, "no root element: the window would be empty");
            return;
        }
        if (!kElements.count(root->name())) {
            findings->error(path, xml.lineOf(root->name()),
                            "root element <" + std::string(root->name()) + "> is not one the loader builds");
            return;
        }
        std::map<long, int> ids;
        checkElement(path, xml, root, skin, &ids, findings);
    });
}

// Reads font.xml's names and checks every style entry of the skin.
void checkSkin(const fs::path& dir, const packtool::WalkedFolder& walked, Skin* skin, Findings* findings) {
    for (const packtool::WalkedFile& f : walked.files) {
        skin->entries.insert(f.name);
        skin->files[f.name] = f.path;
    }
    const std::string fontPath = label(dir / "font.xml");
    std::string text;
    if (!skin->entries.count("font.xml")) {
        findings->warning(fontPath, 0, "missing: every control draws its text in the system font");
    } else if (readText(dir / "font.xml", &text)) {
        XmlText xml;
        rapidxml::xml_document<char> doc;
        if (parseXml(fontPath, text, &xml, &doc, findings)) {
            for (auto* n = doc.first_node(); n; n = n->next_sibling()) {
                const int line = xml.lineOf(n->name());
                // The engine skips a font without a name and keeps 31 UTF-16 units of a face.
                if (auto* a = n->first_attribute("name"))
                    skin->fonts.insert(a->value());
                else
                    findings->warning(fontPath, line,
                                      "<" + std::string(n->name()) + "> has no name: the font is skipped");
                if (auto* face = n->first_attribute("face")) {
                    const std::size_t units = packtool::utf8ToUtf16(face->value()).value_or(u"").size();
                    if (units > 31)
                        findings->warning(fontPath, xml.lineOf(face->name()),
                                          "face \"" + std::string(face->value()) +
                                              "\" is longer than 31 characters: it is cut short");
                }
            }
        }
    }
    forEachXml(
        dir, walked, "font.xml", findings, [&](const std::string& path, const XmlText& xml, auto* root) {
            if (!root || !root->first_attribute()) {
                findings->warning(path, root ? xml.lineOf(root->name()) : 0,
                                  "no style type: the style paints as \"Style\"");
            } else if (!kStyleTypes.count(root->first_attribute()->value())) {
                findings->warning(path, xml.lineOf(root->first_attribute()->name()),
                                  "unknown style type \"" + std::string(root->first_attribute()->value()) +
                                      "\": the style paints as \"Style\"");
            }
            rapidxml::xml_node<char>* attributes = root ? root->first_node() : nullptr;
            if (attributes)
                checkAttributes(path, xml, attributes, *skin, false, findings);
        });
}

bool walk(const fs::path& dir, packtool::WalkedFolder* out, Findings* findings) {
    std::string error;
    if (!packtool::walkFolder(dir, out, &error)) {
        findings->error(label(dir), 0, error);
        return false;
    }
    for (const packtool::WalkedFile& f : out->files) {
        if (packtool::utf8ToUtf16(f.name).value_or(u"").size() + 1 > kPackMaxNameArea / 2)
            findings->error(label(dir / packtool::pathFromUtf8(f.name)), 0,
                            "name longer than the 1023 UTF-16 units an archive entry can hold");
    }
    return true;
}

// LG.lua.in with the manifest in place, compiled, its errors on the template's own lines.
void makeInstallScript(const fs::path& templatePath, const std::string& list, std::string* out,
                       Findings* findings) {
    const std::string path = label(templatePath);
    std::string text;
    if (!readText(templatePath, &text)) {
        findings->error(path, 0, "missing (the install script template)");
        return;
    }
    if (!packtool::applyOperationsTemplate(text, list, out)) {
        findings->error(path, 0, "no line holds @OPERATIONS@, where the manifest of payload/ goes");
        return;
    }
    const int markLine =
        1 + static_cast<int>(std::count(text.begin(), text.begin() + text.find("@OPERATIONS@"), '\n'));
    const int listLines = static_cast<int>(std::count(list.begin(), list.end(), '\n'));
    checkLua(
        path, *out,
        [&](int line) {
            return line < markLine ? line : line < markLine + listLines ? markLine : line - listLines + 1;
        },
        findings);
}

// The rules a literal manifest must keep, against the payload it installs.
void checkListedManifest(const std::string& path, const std::string& script,
                         const packtool::WalkedFolder& payload, Findings* findings) {
    std::vector<ListedOperation> ops;
    if (!readOperations(script, &ops)) {
        findings->error(path, 0,
                        "no `local operations = {...}` list (or write LG.lua.in with an @OPERATIONS@ line)");
        return;
    }
    std::set<std::string> files;
    for (const packtool::WalkedFile& f : payload.files) files.insert(f.name);
    std::map<std::string, int> seen;    // lower-case path -> line
    std::set<std::string> folders;      // lower-case folders created so far
    std::set<std::string> listedFiles;  // payload names
    for (const ListedOperation& op : ops) {
        const std::string& p = op.path;
        if (op.kind != 0 && op.kind != 1) {
            findings->error(path, op.line, "entry kind must be 1 (file) or 0 (folder)");
            continue;
        }
        if (p.empty() || p.front() == '\\' || p.find('/') != std::string::npos ||
            p.find(':') != std::string::npos) {
            findings->error(path, op.line, "\"" + p + "\" must be a relative path with backslashes");
            continue;
        }
        if (std::count(p.begin(), p.end(), '\\') > static_cast<long>(packtool::kMaxBackslashes)) {
            findings->error(path, op.line, "\"" + p + "\" has more than 8 backslashes");
        }
        const std::string lower = packtool::lowerAscii(p);
        if (auto [it, fresh] = seen.emplace(lower, op.line); !fresh) {
            findings->error(path, op.line,
                            "\"" + p + "\" is listed twice (first on line " + std::to_string(it->second) +
                                ", case ignored)");
            continue;
        }
        const std::size_t slash = lower.rfind('\\');
        if (slash != std::string::npos && !folders.count(lower.substr(0, slash)))
            findings->error(path, op.line, "\"" + p + "\" comes before an entry creating its folder");
        if (op.kind == 0) {
            folders.insert(lower);
            continue;
        }
        std::string name = p;
        std::replace(name.begin(), name.end(), '\\', '/');
        listedFiles.insert(name);
        if (!files.count(name))
            findings->error(path, op.line, "\"" + p + "\" is not in payload/");
    }
    for (const std::string& name : files) {
        if (!listedFiles.count(name))
            findings->error(path, 0, "payload/" + name + " is not in the manifest");
    }
}

void readMetadata(const fs::path& file, Product* out, Findings* findings) {
    VersionInfo& v = out->version;
    v.productName = pathToUtf8(fs::absolute(out->root).lexically_normal().parent_path().filename());
    if (pathToUtf8(out->root.filename()) != "")
        v.productName = pathToUtf8(out->root.filename());
    std::string text;
    if (!readText(file, &text))
        return;  // optional
    const std::string path = label(file);
    if (!packtool::utf8ToUtf16(text)) {
        findings->error(path, 0, "not UTF-8 text");
        return;
    }
    int lineNo = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNo;
        auto trim = [](std::string s) {
            const char* ws = " \t\r";
            s.erase(0, s.find_first_not_of(ws));
            s.erase(s.find_last_not_of(ws) + 1);
            return s;
        };
        line = trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            findings->error(path, lineNo, "expected \"key = value\"");
            continue;
        }
        const std::string key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
        if (key == "name") {
            v.productName = value;
        } else if (key == "publisher") {
            v.publisher = value;
        } else if (key == "description") {
            v.description = value;
        } else if (key == "copyright") {
            v.copyright = value;
        } else if (key == "version") {
            static const std::regex format("^(\\d{1,5})(\\.\\d{1,5}){0,3}$");
            bool ok = std::regex_match(value, format);
            std::uint16_t parts[4] = {0, 0, 0, 0};
            std::size_t at = 0;
            for (int i = 0; ok && i < 4 && at <= value.size(); ++i) {
                const unsigned long n = std::stoul(value.substr(at));
                ok = n <= 65535;
                parts[i] = static_cast<std::uint16_t>(n);
                at = value.find('.', at);
                if (at == std::string::npos)
                    break;
                ++at;
            }
            if (!ok) {
                findings->error(path, lineNo,
                                "version \"" + value + "\" must be 1 to 4 numbers up to 65535, like 1.2.0");
            } else {
                std::copy(parts, parts + 4, v.version);
                v.versionText = value;
            }
        } else {
            findings->warning(path, lineNo, "unknown key \"" + key + "\" is ignored");
        }
    }
}

// The product's framework glue (DIR/glue.lua), compiled on its own lines; empty when the folder has
// none (its UI scripts then carry the glue themselves).
std::string loadGlue(const fs::path& dir, Findings* findings) {
    const fs::path file = dir / "glue.lua";
    std::string glue;
    if (readText(file, &glue))
        checkLua(
            label(file), glue, [](int line) { return line; }, findings);
    return glue;
}

// UI.lua joined to the glue; the join keeps UI.lua's line numbers, so its errors need no mapping.
void loadScripts(const fs::path& dir, const std::string& glue, const std::string& list, const Skin& skin,
                 bool uninstaller, ScriptSet* out, Findings* findings) {
    const fs::path ui = dir / "UI.lua";
    std::string text;
    if (!readText(ui, &text)) {
        findings->error(label(ui), 0,
                        uninstaller ? "missing (the uninstaller's UI script)" : "missing (the UI script)");
    } else {
        out->uiLua = packtool::joinUiScript(glue, text);
        checkLua(
            label(ui), out->uiLua, [](int line) { return line; }, findings);
    }
    std::error_code ec;
    const fs::path layouts = dir / "layouts";
    if (!fs::is_directory(layouts, ec)) {
        findings->error(label(layouts), 0, "missing (the window layouts)");
    } else if (walk(layouts, &out->layouts, findings)) {
        if (out->layouts.files.empty())
            findings->error(label(layouts), 0, "no layouts: the installer has no window to show");
        checkLayouts(layouts, out->layouts, skin, findings);
    }
    if (uninstaller)
        makeInstallScript(dir / "LG.lua.in", list, &out->lgLua, findings);
}

}  // namespace

bool readOperations(const std::string& s, std::vector<ListedOperation>* out) {
    static const std::regex start("(^|\\n)[ \\t]*local[ \\t]+operations[ \\t]*=[ \\t]*\\{");
    std::smatch m;
    if (!std::regex_search(s, m, start))
        return false;
    std::size_t i = m.position(0) + m.length(0);
    int line = 1 + static_cast<int>(std::count(s.begin(), s.begin() + i, '\n'));
    auto skipSpace = [&] {
        for (;;) {
            while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n' ||
                                    s[i] == ',' || s[i] == ';'))
                line += s[i++] == '\n';
            if (s.compare(i, 2, "--") == 0) {
                while (i < s.size() && s[i] != '\n') ++i;
                continue;
            }
            return;
        }
    };
    out->clear();
    for (;;) {
        skipSpace();
        if (i >= s.size())
            return false;
        if (s[i] == '}')
            return true;
        if (s[i] != '{')
            return false;
        ++i;
        skipSpace();
        ListedOperation op;
        op.line = line;
        std::size_t digits = i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        if (digits == i)
            return false;
        op.kind = std::stoi(s.substr(digits, i - digits));
        skipSpace();
        if (s[i] == '[') {  // long string [==[ ... ]==]
            std::size_t level = 0, j = i + 1;
            while (j < s.size() && s[j] == '=') ++level, ++j;
            if (j >= s.size() || s[j] != '[')
                return false;
            const std::string close = "]" + std::string(level, '=') + "]";
            std::size_t end = s.find(close, j + 1);
            if (end == std::string::npos)
                return false;
            std::size_t from = j + 1;
            if (s[from] == '\r')
                ++from;
            if (s[from] == '\n')
                ++from;
            op.path = s.substr(from, end - from);
            line += static_cast<int>(std::count(s.begin() + i, s.begin() + end, '\n'));
            i = end + close.size();
        } else if (s[i] == '"' || s[i] == '\'') {
            const char quote = s[i++];
            while (i < s.size() && s[i] != quote) {
                if (s[i] == '\\' && i + 1 < s.size())
                    ++i;
                op.path.push_back(s[i++]);
            }
            ++i;
        } else {
            return false;
        }
        skipSpace();
        if (i >= s.size() || s[i] != '}')
            return false;
        ++i;
        out->push_back(std::move(op));
    }
}

void loadProduct(const fs::path& dir, const LoadOptions& options, Product* out, Findings* findings) {
    out->root = dir;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        findings->error(label(dir), 0, "no such folder (tarvo new " + label(dir) + " makes a starter one)");
        return;
    }
    if (fs::is_empty(dir, ec)) {
        findings->error(label(dir), 0,
                        "the product folder is empty (tarvo new " + label(dir) + " makes a starter one)");
        return;
    }
    Skin skin;
    const fs::path skinDir = dir / "skin";
    if (!fs::is_directory(skinDir, ec)) {
        findings->error(label(skinDir), 0, "missing (font.xml, styles and images)");
    } else if (walk(skinDir, &out->skin, findings)) {
        checkSkin(skinDir, out->skin, &skin, findings);
    }

    const fs::path payloadDir = options.payload.empty() ? dir / "payload" : options.payload;
    if (!fs::is_directory(payloadDir, ec)) {
        findings->warning(label(payloadDir), 0, "missing: the installer installs no files");
    } else {
        walk(payloadDir, &out->payload, findings);
    }
    const fs::path uninstallDir = dir / "uninstall";
    const bool uninstaller = options.uninstaller && fs::is_directory(uninstallDir, ec);
    if (uninstaller) {
        std::erase_if(out->payload.files,
                      [](const packtool::WalkedFile& f) { return f.name == kUninstallerName; });
        packtool::WalkedFile slot;
        slot.name = kUninstallerName;  // its path is set when the uninstaller is built
        out->payload.files.insert(std::upper_bound(out->payload.files.begin(), out->payload.files.end(), slot,
                                                   [](auto& a, auto& b) { return a.name < b.name; }),
                                  slot);
    }
    std::string error;
    std::string list;
    if (!packtool::buildOperations(out->payload, &out->operations, &error))
        findings->error(label(payloadDir), 0, error);
    else
        list = packtool::formatOperations(out->operations);

    const std::string glue = loadGlue(dir, findings);
    loadScripts(dir, glue, list, skin, false, &out->installer, findings);
    const fs::path lgIn = dir / "LG.lua.in", lg = dir / "LG.lua";
    const bool hasTemplate = fs::exists(lgIn, ec), hasLiteral = fs::exists(lg, ec);
    if (hasTemplate && hasLiteral) {
        findings->error(label(lg), 0, "both LG.lua and LG.lua.in are here: keep one");
    } else if (hasLiteral) {
        if (uninstaller)
            findings->error(
                label(lg), 0,
                "an uninstaller is built: write LG.lua.in, so that unins000.exe is in the manifest");
        if (readText(lg, &out->installer.lgLua)) {
            checkLua(
                label(lg), out->installer.lgLua, [](int line) { return line; }, findings);
            checkListedManifest(label(lg), out->installer.lgLua, out->payload, findings);
        }
    } else if (hasTemplate) {
        makeInstallScript(lgIn, list, &out->installer.lgLua, findings);
    } else {
        findings->error(label(lgIn), 0, "missing (the install script, or LG.lua with its own manifest)");
    }
    if (uninstaller) {
        out->uninstaller.emplace();
        loadScripts(uninstallDir, glue, list, skin, true, &*out->uninstaller, findings);
    }

    readMetadata(dir / "product.ini", out, findings);
    const fs::path icon = dir / "icon.ico";
    if (fs::exists(icon, ec)) {
        std::ifstream in(icon, std::ios::binary);
        out->icon.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        std::vector<Resource> probe;
        if (!iconResources(out->icon, 2, 0, &probe, &error))
            findings->error(label(icon), 0, error);
    }
}

}  // namespace tarvo
