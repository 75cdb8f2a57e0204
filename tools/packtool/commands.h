// packtool's commands. Each takes the arguments after the command name (UTF-8) and returns the exit
// code: 0 success, 1 failure (a one-line message on stderr), 2 wrong usage.
#pragma once

#include <string>
#include <vector>

namespace packtool {

using Args = std::vector<std::string>;

int runPack(const Args& args);
int runList(const Args& args);
int runExtract(const Args& args);
int runVerify(const Args& args);
int runManifest(const Args& args);  // manifest.cpp
int runUiScript(const Args& args);  // manifest.cpp

// "packtool: <message>" on stderr; returns 1.
int fail(const std::string& message);

}  // namespace packtool
