// packtool pack: writes DIR's files into one archive (archive_writer.h), in name order.
#include <cstdio>
#include <fstream>
#include <system_error>

#include "archive_writer.h"
#include "commands.h"
#include "text.h"
#include "walk.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace packtool {
namespace {

int pack(const fs::path& outPath, const fs::path& dir, const ArchiveOptions& options) {
    WalkedFolder walked;
    std::string error;
    if (!walkFolder(dir, &walked, &error))
        return fail(error);
    std::vector<WalkedFile>& files = walked.files;

    // An earlier archive inside the folder must not pack itself.
    std::error_code ec;
    std::erase_if(files, [&](const WalkedFile& f) { return fs::equivalent(f.path, outPath, ec); });
    std::uint64_t totalBytes = 0;
    for (const WalkedFile& f : files) totalBytes += f.size;

    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    if (!out)
        return fail(pathToUtf8(outPath) + ": cannot create the archive");
    const bool terminal = isatty(fileno(stderr)) != 0;
    auto progress = [&](std::size_t done, std::uint64_t bytes) {
        if (!terminal)
            return;
        std::fprintf(stderr, "\rpacking %zu/%zu files, %.1f/%.1f MiB", done, files.size(), bytes / 1048576.0,
                     totalBytes / 1048576.0);
        std::fflush(stderr);
    };
    auto sink = [&](const unsigned char* data, std::size_t size) {
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        return static_cast<bool>(out);
    };
    bool ok = writeArchive(files, options, sink, progress, &error);
    if (terminal)
        std::fputc('\n', stderr);
    out.close();
    if (ok && !out) {
        ok = false;
        error = pathToUtf8(outPath) + ": write failed";
    }
    if (!ok) {
        fs::remove(outPath, ec);
        return fail(error);
    }
    return 0;
}

}  // namespace

int runPack(const Args& args) {
    ArchiveOptions options;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--store") {
            options.store = true;
        } else if (args[i] == "--tag" && i + 1 < args.size()) {
            options.tag = args[++i];
        } else if (args[i].starts_with("--")) {
            return 2;
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2)
        return 2;
    return pack(pathFromUtf8(positional[0]), pathFromUtf8(positional[1]), options);
}

}  // namespace packtool
