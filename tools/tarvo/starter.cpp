// tarvo new: writes the starter product folder (the sample product's scripts, layouts and skin, built
// into this program) to a new or empty folder.
#include <fstream>
#include <system_error>

#include "commands.h"
#include "starter_files.h"
#include "text.h"

namespace fs = std::filesystem;

namespace tarvo {

namespace {

constexpr char kPayloadReadme[] =
    "Put the files your product installs here, in the folders they go in. Everything in this folder\r\n"
    "except this README is packed into the installer and installed into the folder the user picks;\r\n"
    "the install script's manifest is written from it at build time.\r\n";

bool writeFile(const fs::path& path, const void* data, std::size_t size) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

int runNew(const Args& args) {
    if (args.size() != 1)
        return 2;
    const fs::path dir = packtool::pathFromUtf8(args[0]);
    std::error_code ec;
    if (fs::exists(dir, ec) && !(fs::is_directory(dir, ec) && fs::is_empty(dir, ec)))
        return fail(args[0] + ": not empty; tarvo new writes only into a new or empty folder");
    for (const StarterFile& f : kStarterFiles) {
        if (!writeFile(dir / packtool::pathFromUtf8(f.name), f.data, f.size))
            return fail(args[0] + "/" + f.name + ": cannot write");
    }
    if (!writeFile(dir / "payload" / "README.txt", kPayloadReadme, sizeof kPayloadReadme - 1))
        return fail(args[0] + "/payload/README.txt: cannot write");
    std::printf("%s: starter product written; edit it, then: tarvo build %s -o setup.exe\n", args[0].c_str(),
                args[0].c_str());
    return 0;
}

}  // namespace tarvo
