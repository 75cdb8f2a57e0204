#include "walk.h"

#include <algorithm>
#include <system_error>

#include "text.h"

namespace fs = std::filesystem;

namespace packtool {

bool walkFolder(const fs::path& root, WalkedFolder* out, std::string* error) {
    out->files.clear();
    out->folders.clear();
    std::error_code ec;
    if (!fs::is_directory(root, ec)) {
        *error = pathToUtf8(root) + ": not a folder";
        return false;
    }
    fs::recursive_directory_iterator it(root, fs::directory_options::none, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::string name = genericUtf8(entry.path().lexically_relative(root));
        if (!utf8ToUtf16(name)) {
            *error = pathToUtf8(entry.path()) + ": file name is not valid UTF-8";
            return false;
        }
        fs::file_status link = entry.symlink_status(ec);
        if (ec)
            break;
        if (fs::is_directory(link)) {
            out->folders.push_back(std::move(name));
            continue;
        }
        fs::file_status target = entry.status(ec);
        if (fs::is_directory(target) && fs::is_symlink(link))
            continue;
        if (ec || !fs::is_regular_file(target)) {
            *error = pathToUtf8(entry.path()) + ": not a regular file";
            return false;
        }
        if (name == kFolderReadme)
            continue;
        WalkedFile file;
        file.path = entry.path();
        file.name = std::move(name);
        file.size = entry.file_size(ec);
        if (ec)
            break;
        out->files.push_back(std::move(file));
    }
    if (ec) {
        *error = pathToUtf8(root) + ": " + ec.message();
        return false;
    }
    std::sort(out->files.begin(), out->files.end(),
              [](const WalkedFile& a, const WalkedFile& b) { return a.name < b.name; });
    std::sort(out->folders.begin(), out->folders.end());
    return true;
}

}  // namespace packtool
