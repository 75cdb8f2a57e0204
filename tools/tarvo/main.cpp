// tarvo: turns a product folder into its own installer. Usage in kCommands below.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "tool_main.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

struct Command {
    const char* name;
    int (*run)(const tarvo::Args& args);
    const char* usage;
    const char* help;
};

constexpr Command kCommands[] = {
    {"new", tarvo::runNew, "new DIR", "write a starter product folder to DIR (new or empty)"},
    {"check", tarvo::runCheck, "check DIR",
     "report every problem of the product folder as path:line: message"},
    {"build", tarvo::runBuild,
     "build DIR -o OUT.exe [--stub FILE] [--sign CERT KEY] [--payload FOLDER] [--no-uninstaller]",
     "check DIR, then write its installer to OUT.exe"},
    {"inspect", tarvo::runInspect, "inspect FILE.exe [--save DIR]",
     "list an installer's resources, verify its archives and manifest; --save writes the five to DIR"},
};

int usage(std::FILE* to, int rc) {
    std::fprintf(to, "usage:\n");
    for (const Command& c : kCommands) std::fprintf(to, "  tarvo %-70s %s\n", c.usage, c.help);
    return rc;
}

int run(std::vector<std::string> args) {
    if (args.empty())
        return usage(stderr, 2);
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help")
        return usage(stdout, 0);
    for (const Command& c : kCommands) {
        if (args[0] == c.name) {
            args.erase(args.begin());
            if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
                std::printf("usage: tarvo %s\n  %s\n", c.usage, c.help);
                return 0;
            }
            int rc = c.run(args);
            if (rc == 2)
                std::fprintf(stderr, "usage: tarvo %s\n", c.usage);
            return rc;
        }
    }
    std::fprintf(stderr, "tarvo: unknown command \"%s\"\n", args[0].c_str());
    return usage(stderr, 2);
}

}  // namespace

namespace tarvo {

int fail(const std::string& message) {
    return packtool::reportFailure("tarvo", message);
}

std::filesystem::path selfFolder() {
#ifdef _WIN32
    wchar_t buffer[32768];
    DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
    return std::filesystem::path(std::wstring(buffer, n)).parent_path();
#else
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
#endif
}

}  // namespace tarvo

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
    return packtool::runTool("tarvo", argc, argv, run);
}
