// The shared entry of the command-line tools (packtool, tarvo): UTF-8 arguments and one way to report a
// failure. Any thread.
#pragma once

#include <string>
#include <vector>

namespace packtool {

// "TOOL: <message>" on stderr; returns 1.
int reportFailure(const char* tool, const std::string& message);

// Runs the tool on the arguments after the program name, as UTF-8; an exception that escapes `run` is
// reported with reportFailure. Returns the exit code.
using ToolRun = int (*)(std::vector<std::string> args);
#ifdef _WIN32
// Wide arguments so that non-ASCII paths survive the ANSI code page.
int runTool(const char* tool, int argc, wchar_t** argv, ToolRun run);
#else
int runTool(const char* tool, int argc, char** argv, ToolRun run);
#endif

}  // namespace packtool
