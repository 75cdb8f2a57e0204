// Folder walk shared by packtool's commands: the files under a folder in the order archives list them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace packtool {

struct WalkedFile {
    std::string name;            // path relative to the root, UTF-8, '/' between components
    std::filesystem::path path;  // full path to open
    std::uint64_t size = 0;
};

// Lists every regular file under root (recursively; links to files are followed, links to folders are
// not entered), sorted by the byte order of name. Empty folders contribute nothing. On failure (root
// not a folder, unreadable folder, a name that is not UTF-8, an entry that is neither file nor folder)
// returns false with a one-line reason in *error.
bool walkFolder(const std::filesystem::path& root, std::vector<WalkedFile>* files, std::string* error);

}  // namespace packtool
