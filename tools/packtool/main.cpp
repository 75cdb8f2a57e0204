// packtool: writes and inspects pack archives. Usage in kCommands below.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "tool_main.h"
#include "walk.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const packtool::Args& args);
    const char* usage;
};

// One line per command.
constexpr Command kCommands[] = {
    {"pack", packtool::runPack, "pack [--store] [--tag TEXT] OUT DIR"},
    {"list", packtool::runList, "list ARCHIVE"},
    {"extract", packtool::runExtract, "extract ARCHIVE DIR [NAME...]"},
    {"verify", packtool::runVerify, "verify ARCHIVE"},
    {"manifest", packtool::runManifest, "manifest [--template FILE] OUT DIR"},
    {"ui-script", packtool::runUiScript, "ui-script [--glue FILE] OUT UI"},
};

int usage() {
    std::fprintf(stderr, "usage:\n");
    for (const Command& c : kCommands) std::fprintf(stderr, "  packtool %s\n", c.usage);
    std::fprintf(stderr, "pack and manifest leave out DIR/%s, the folder's own notes.\n",
                 packtool::kFolderReadme);
    return 2;
}

int run(std::vector<std::string> args) {
    if (args.empty())
        return usage();
    for (const Command& c : kCommands) {
        if (args[0] == c.name) {
            args.erase(args.begin());
            int rc = c.run(args);
            if (rc == 2)
                std::fprintf(stderr, "usage: packtool %s\n", c.usage);
            return rc;
        }
    }
    std::fprintf(stderr, "packtool: unknown command \"%s\"\n", args[0].c_str());
    return usage();
}

}  // namespace

namespace packtool {

int fail(const std::string& message) {
    return packtool::reportFailure("packtool", message);
}

}  // namespace packtool

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
    return packtool::runTool("packtool", argc, argv, run);
}
