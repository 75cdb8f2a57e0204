// Folder walk shared by packtool's commands: the files an archive of a folder holds and the folders
// the install script creates for them. pack and manifest take both from this one walk, so an archive
// and its manifest always name the same files.
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

struct WalkedFolder {
    std::vector<WalkedFile> files;     // sorted by the byte order of name
    std::vector<std::string> folders;  // every folder below the root, named like files, sorted
};

// The folder's own notes, never packed: a file of this name directly under the root.
inline constexpr char kFolderReadme[] = "README.txt";

// Lists every regular file and folder under root (recursively; links to files are followed, links to
// folders are neither entered nor listed), leaving out kFolderReadme at the top. On failure (root not
// a folder, unreadable folder, a name that is not UTF-8, an entry that is neither file nor folder)
// returns false with a one-line reason in *error.
bool walkFolder(const std::filesystem::path& root, WalkedFolder* out, std::string* error);

}  // namespace packtool
