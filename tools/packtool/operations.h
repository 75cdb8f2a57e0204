// The install script's manifest (`operations`): folders and files of a payload folder in the order the
// install script creates and extracts them, and the Lua text that lists them. Pure functions.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "walk.h"

namespace packtool {

inline constexpr std::size_t kMaxBackslashes = 8;  // deepest path the install script takes

struct Operation {
    int kind;          // 1 file, 0 folder
    std::string path;  // relative, backslashes
};

// The operations for a walked payload folder: ".version" first, then files before sub-folders in
// each folder, each folder before everything inside it, "configure" the first folder. False with a
// reason when a path is too deep, holds a backslash or collides with another when case is ignored.
bool buildOperations(const WalkedFolder& walked, std::vector<Operation>* out, std::string* error);

// "local operations = {...}" with one entry per line.
std::string formatOperations(const std::vector<Operation>& ops);

// The template with its line holding "@OPERATIONS@" replaced by list; false when no line holds it.
bool applyOperationsTemplate(const std::string& text, const std::string& list, std::string* out);

// ASCII lower case, as Windows compares the file names the manifest may hold twice.
std::string lowerAscii(std::string text);

}  // namespace packtool
