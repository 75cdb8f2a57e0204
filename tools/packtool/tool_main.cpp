#include "tool_main.h"

#include <cstdio>
#include <exception>
#include <filesystem>

#include "text.h"

namespace packtool {

int reportFailure(const char* tool, const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", tool, message.c_str());
    return 1;
}

#ifdef _WIN32
int runTool(const char* tool, int argc, wchar_t** argv, ToolRun run) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(pathToUtf8(std::filesystem::path(argv[i])));
#else
int runTool(const char* tool, int argc, char** argv, ToolRun run) {
    std::vector<std::string> args(argv + 1, argv + argc);
#endif
    try {
        return run(std::move(args));
    } catch (const std::exception& e) {
        return reportFailure(tool, e.what());
    }
}

}  // namespace packtool
