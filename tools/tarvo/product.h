// A product folder: what `tarvo check` reads and `tarvo build` packs. Loading checks everything the
// installer would otherwise only find at run time and collects the findings; nothing is written.
//
//   DIR/UI.lua              the UI script
//   DIR/glue.lua            optional: the framework glue, run before UI.lua and the uninstaller's
//                           UI.lua as a chunk of its own (packtool/ui_script.h)
//   DIR/LG.lua.in           the install script; its line holding @OPERATIONS@ becomes the manifest
//                           of payload/ (or DIR/LG.lua, holding its own manifest)
//   DIR/layouts/            every file an entry of "frame.lz"
//   DIR/skin/               font.xml, style XML and images: "style.lz"
//   DIR/payload/            the product's files: "program.lz" (may be empty)
//   DIR/product.ini         optional: name, version, publisher, description, copyright
//   DIR/icon.ico            optional: the installer's icon
//   DIR/uninstall/          optional: UI.lua, LG.lua.in and layouts/ of the uninstaller, which uses
//                           the product's skin and glue and goes into the payload as unins000.exe
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "operations.h"
#include "walk.h"
#include "win_resources.h"

namespace tarvo {

struct Finding {
    std::string path;  // as the user would open it
    int line = 0;      // 0: none
    bool error = true;
    std::string message;
};

class Findings {
  public:
    void error(const std::string& path, int line, const std::string& message) {
        list_.push_back({path, line, true, message});
    }
    void warning(const std::string& path, int line, const std::string& message) {
        list_.push_back({path, line, false, message});
    }
    int errors() const;
    int warnings() const;
    // "path:line: error: message", one a line, in the order found.
    void print(std::FILE* to) const;

  private:
    std::vector<Finding> list_;
};

// One set of the two scripts and the layouts (the installer's, or the uninstaller's).
struct ScriptSet {
    std::string uiLua;  // UI.lua joined to the product's glue, as embedded
    std::string lgLua;  // LG.lua with its manifest in place
    packtool::WalkedFolder layouts;
};

struct Product {
    std::filesystem::path root;
    ScriptSet installer;
    std::optional<ScriptSet> uninstaller;  // when DIR/uninstall/ exists
    packtool::WalkedFolder skin;
    packtool::WalkedFolder payload;  // unins000.exe not yet added
    std::vector<packtool::Operation> operations;
    VersionInfo version;
    std::vector<unsigned char> icon;  // empty: keep the stub's
};

inline constexpr char kUninstallerName[] = "unins000.exe";

struct LoadOptions {
    std::filesystem::path payload;  // packed instead of DIR/payload when not empty
    bool uninstaller = true;        // false: DIR/uninstall is left alone, payload/unins000.exe kept as it is
};

// Reads and checks the folder. The product is complete only when findings holds no error.
void loadProduct(const std::filesystem::path& dir, const LoadOptions& options, Product* out,
                 Findings* findings);

// Paths and their kinds from a literal `local operations = {...}` of an install script; each with the
// line it is on. False when the script has no such list.
struct ListedOperation {
    int kind = -1;
    std::string path;
    int line = 0;
};
bool readOperations(const std::string& script, std::vector<ListedOperation>* out);

}  // namespace tarvo
