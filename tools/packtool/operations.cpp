// The install script's manifest, from the same folder walk that packing uses.
#include "operations.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>

namespace packtool {

namespace {

struct Folder {
    std::set<std::string> files;
    std::set<std::string> folders;
};

using Tree = std::map<std::string, Folder>;  // relative folder path ('/' separated, "" = root)

std::string parentOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string leafOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Registers folder and all its ancestors in the tree.
void addFolder(Tree& tree, const std::string& folder) {
    tree[folder];
    if (folder.empty())
        return;
    std::string parent = parentOf(folder);
    tree[parent].folders.insert(leafOf(folder));
    addFolder(tree, parent);
}

std::string backslashed(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string join(const std::string& folder, const std::string& leaf) {
    return folder.empty() ? leaf : folder + "/" + leaf;
}

void emit(const Tree& tree, const std::string& folder, std::vector<Operation>* out) {
    const Folder& f = tree.at(folder);
    for (const std::string& file : f.files) {
        std::string path = join(folder, file);
        if (path != ".version")
            out->push_back({1, backslashed(path)});
    }
    std::vector<std::string> subfolders(f.folders.begin(), f.folders.end());
    if (folder.empty()) {
        auto configure = std::find(subfolders.begin(), subfolders.end(), "configure");
        if (configure != subfolders.end())
            std::rotate(subfolders.begin(), configure, configure + 1);
    }
    for (const std::string& sub : subfolders) {
        std::string path = join(folder, sub);
        out->push_back({0, backslashed(path)});
        emit(tree, path, out);
    }
}

// The text as a Lua long string whose closing bracket does not occur inside it: level 0 ("[[...]]")
// unless the text holds "]]" or ends in "]".
std::string longBracket(const std::string& text) {
    for (std::size_t level = 0;; ++level) {
        std::string close = "]" + std::string(level, '=') + "]";
        if ((text + close).find(close) == text.size()) {
            // A long string drops a line break right after its opening bracket: give it one to drop.
            bool leadingBreak = !text.empty() && (text[0] == '\n' || text[0] == '\r');
            return "[" + std::string(level, '=') + "[" + (leadingBreak ? "\n" : "") + text + close;
        }
    }
}

}  // namespace

bool buildOperations(const WalkedFolder& walked, std::vector<Operation>* out, std::string* error) {
    Tree tree;
    tree[""];
    for (const std::string& folder : walked.folders) addFolder(tree, folder);
    bool hasVersion = false;
    for (const WalkedFile& file : walked.files) {
        if (file.name.find('\\') != std::string::npos) {
            *error = file.name + ": a name holding a backslash cannot be installed";
            return false;
        }
        addFolder(tree, parentOf(file.name));
        tree[parentOf(file.name)].files.insert(leafOf(file.name));
        hasVersion = hasVersion || file.name == ".version";
    }
    out->clear();
    if (hasVersion)
        out->push_back({1, ".version"});
    emit(tree, "", out);

    std::set<std::string> seen;  // Windows folders ignore case: two such names would collide
    for (const Operation& op : *out) {
        if (static_cast<std::size_t>(std::count(op.path.begin(), op.path.end(), '\\')) > kMaxBackslashes) {
            *error = op.path + ": deeper than " + std::to_string(kMaxBackslashes + 1) + " levels";
            return false;
        }
        if (!seen.insert(lowerAscii(op.path)).second) {
            *error = op.path + ": occurs twice when case is ignored";
            return false;
        }
    }
    return true;
}

std::string formatOperations(const std::vector<Operation>& ops) {
    std::ostringstream text;
    text << "local operations = {\n";
    for (const Operation& op : ops) text << "    {" << op.kind << ", " << longBracket(op.path) << "},\n";
    text << "}\n";
    return text.str();
}

std::string lowerAscii(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool applyOperationsTemplate(const std::string& text, const std::string& list, std::string* out) {
    auto mark = text.find("@OPERATIONS@");
    if (mark == std::string::npos)
        return false;
    auto lineStart = text.rfind('\n', mark);
    lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
    auto lineEnd = text.find('\n', mark);
    lineEnd = lineEnd == std::string::npos ? text.size() : lineEnd + 1;
    *out = text.substr(0, lineStart) + list + text.substr(lineEnd);
    return true;
}

}  // namespace packtool
