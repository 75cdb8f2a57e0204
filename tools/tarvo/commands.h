// tarvo's commands. Each takes the arguments after its name (UTF-8) and returns the exit code: 0 done,
// 1 errors found or the job failed (messages on stderr), 2 wrong usage.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarvo {

using Args = std::vector<std::string>;

int runNew(const Args& args);      // starter.cpp
int runCheck(const Args& args);    // build.cpp
int runBuild(const Args& args);    // build.cpp
int runInspect(const Args& args);  // inspect.cpp

// "tarvo: <message>" on stderr; returns 1.
int fail(const std::string& message);
// The folder this program was started from (where the engine stub is looked for).
std::filesystem::path selfFolder();

}  // namespace tarvo
