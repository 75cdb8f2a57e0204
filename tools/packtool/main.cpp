// packtool: writes and inspects pack archives. Usage in kCommands below.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "commands.h"
#include "text.h"
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

int guarded(std::vector<std::string> args) {
    try {
        return run(std::move(args));
    } catch (const std::exception& e) {
        return packtool::fail(e.what());
    }
}

}  // namespace

namespace packtool {

int fail(const std::string& message) {
    std::fprintf(stderr, "packtool: %s\n", message.c_str());
    return 1;
}

}  // namespace packtool

#ifdef _WIN32
// Wide arguments so that non-ASCII paths survive the ANSI code page.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(packtool::pathToUtf8(std::filesystem::path(argv[i])));
    return guarded(std::move(args));
}
#else
int main(int argc, char** argv) {
    return guarded(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
