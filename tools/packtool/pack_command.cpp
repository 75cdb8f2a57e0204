// packtool pack: writes DIR's files into one archive. Entries are compressed independently on every
// core and written in name order, so the same input always gives the same bytes.
#include <lzma.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>

#include "commands.h"
#include "pack/pack_archive.h"
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

constexpr std::uint32_t kDictionarySize = 64u << 20;            // written in every entry's properties
constexpr unsigned char kPropertiesByte = (2 * 5 + 0) * 9 + 3;  // pb 2, lp 0, lc 3 = 0x5D
constexpr std::uint64_t kMaxArchiveSize = 0x7FFFFFFF;  // the directory offset is a signed 32-bit value

struct PackedFile {
    std::vector<unsigned char> data;  // stored bytes or properties + stream
    std::uint32_t unpackedSize = 0;   // 0 = stored
    std::string error;
    bool done = false;
};

void put32(std::vector<unsigned char>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

bool readWholeFile(const fs::path& path, std::uint64_t size, std::vector<unsigned char>* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out->resize(size);
    in.read(reinterpret_cast<char*>(out->data()), static_cast<std::streamsize>(size));
    return in.gcount() == static_cast<std::streamsize>(size) &&
           in.peek() == std::ifstream::traits_type::eof();
}

// Compresses content into properties + raw LZMA1 stream without end marker; false when the result
// would not be smaller than the content.
bool compress(const std::vector<unsigned char>& content, std::vector<unsigned char>* out) {
    if (content.size() <= 6)
        return false;
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 6))
        return false;
    // The encoder never needs a window larger than its input; the properties still name 64 MiB.
    options.dict_size = static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(content.size(), LZMA_DICT_SIZE_MIN, kDictionarySize));
    options.lc = 3;
    options.lp = 0;
    options.pb = 2;
    options.ext_flags = 0;  // no end marker
    options.ext_size_low = 0;
    options.ext_size_high = 0;
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    out->resize(content.size() - 1);
    (*out)[0] = kPropertiesByte;
    for (int i = 0; i < 4; ++i) (*out)[1 + i] = static_cast<unsigned char>(kDictionarySize >> (8 * i));
    std::size_t pos = 5;
    if (lzma_raw_buffer_encode(filters, nullptr, content.data(), content.size(), out->data(), &pos,
                               out->size()) != LZMA_OK) {
        return false;
    }
    out->resize(pos);
    return true;
}

void packOne(const WalkedFile& file, bool store, PackedFile* result) {
    std::vector<unsigned char> content;
    if (file.size > kMaxArchiveSize || !readWholeFile(file.path, file.size, &content)) {
        result->error = file.name + ": cannot read the file (or it changed while packing)";
        return;
    }
    if (!store && compress(content, &result->data)) {
        result->unpackedSize = static_cast<std::uint32_t>(content.size());
    } else {
        result->data = std::move(content);
    }
}

class Progress {
  public:
    Progress(std::size_t files, std::uint64_t bytes) : files_(files), bytes_(bytes) {
        enabled_ = isatty(fileno(stderr)) != 0;
    }
    void show(std::size_t files, std::uint64_t bytes, bool last) {
        if (!enabled_)
            return;
        std::fprintf(stderr, "\rpacking %zu/%zu files, %.1f/%.1f MiB%s", files, files_, bytes / 1048576.0,
                     bytes_ / 1048576.0, last ? "\n" : "");
        std::fflush(stderr);
    }

  private:
    std::size_t files_;
    std::uint64_t bytes_;
    bool enabled_;
};

int pack(const fs::path& outPath, const fs::path& dir, bool store, const std::string& tag) {
    WalkedFolder walked;
    std::string error;
    if (!walkFolder(dir, &walked, &error))
        return fail(error);
    std::vector<WalkedFile>& files = walked.files;

    // An earlier archive inside the folder must not pack itself.
    std::error_code ec;
    std::erase_if(files, [&](const WalkedFile& f) { return fs::equivalent(f.path, outPath, ec); });

    std::vector<std::u16string> names;
    std::uint64_t totalBytes = 0;
    for (const WalkedFile& f : files) {
        std::u16string name = *utf8ToUtf16(f.name);
        if (name.size() + 1 > kPackMaxNameArea / 2)
            return fail(f.name + ": name longer than 1023 UTF-16 units");
        names.push_back(std::move(name));
        totalBytes += f.size;
    }

    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    if (!out)
        return fail(pathToUtf8(outPath) + ": cannot create the archive");
    auto abandon = [&](const std::string& message) {
        out.close();
        fs::remove(outPath, ec);
        return fail(message);
    };

    // Workers take files in order; at most `window` finished results wait for the writer.
    std::vector<PackedFile> results(files.size());
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0, written = 0;
    const unsigned threads = std::max(1u, std::min<unsigned>(std::thread::hardware_concurrency(), 16));
    const std::size_t window = 4 * threads;
    auto worker = [&] {
        for (;;) {
            std::size_t i;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return next >= files.size() || next < written + window; });
                if (next >= files.size())
                    return;
                i = next++;
            }
            PackedFile result;
            packOne(files[i], store, &result);
            std::lock_guard lock(mutex);
            results[i] = std::move(result);
            results[i].done = true;
            changed.notify_all();
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < std::min<std::size_t>(threads, files.size()); ++t) pool.emplace_back(worker);

    Progress progress(files.size(), totalBytes);
    std::vector<unsigned char> directory;
    std::uint64_t position = tag.size();
    std::uint64_t doneBytes = 0;
    out.write(tag.data(), static_cast<std::streamsize>(tag.size()));
    for (std::size_t i = 0; i < files.size() && error.empty(); ++i) {
        PackedFile result;
        {
            std::unique_lock lock(mutex);
            while (!changed.wait_for(lock, std::chrono::milliseconds(200), [&] { return results[i].done; })) {
                progress.show(i, doneBytes, false);
            }
            result = std::move(results[i]);
            written = i + 1;
            changed.notify_all();
        }
        if (!result.error.empty()) {
            error = result.error;
            break;
        }
        if (position + result.data.size() > kMaxArchiveSize) {
            error = "archive would exceed 2 GiB";
            break;
        }
        const std::u16string& name = names[i];
        const std::size_t words = (name.size() + 2) / 2;  // name, NUL, padding to whole words
        put32(directory, static_cast<std::uint32_t>(16 + 4 * words));
        put32(directory, static_cast<std::uint32_t>(position));
        put32(directory, static_cast<std::uint32_t>(result.data.size()));
        put32(directory, result.unpackedSize);
        for (std::size_t w = 0; w < words; ++w) {
            std::uint32_t lo = 2 * w < name.size() ? name[2 * w] : 0;
            std::uint32_t hi = 2 * w + 1 < name.size() ? name[2 * w + 1] : 0;
            put32(directory, (lo | hi << 16) ^ kPackArchiveKey);
        }
        out.write(reinterpret_cast<const char*>(result.data.data()),
                  static_cast<std::streamsize>(result.data.size()));
        position += result.data.size();
        doneBytes += files[i].size;
        progress.show(i + 1, doneBytes, false);
    }
    {
        std::lock_guard lock(mutex);
        next = files.size();  // stop the workers early after a failure
        changed.notify_all();
    }
    for (std::thread& t : pool) t.join();
    if (!error.empty())
        return abandon(error);
    progress.show(files.size(), doneBytes, true);

    put32(directory, 0);
    if (position + directory.size() + 4 > kMaxArchiveSize)
        return abandon("archive would exceed 2 GiB");
    put32(directory, static_cast<std::uint32_t>(position) ^ kPackArchiveKey);
    out.write(reinterpret_cast<const char*>(directory.data()),
              static_cast<std::streamsize>(directory.size()));
    out.close();
    if (!out)
        return abandon(pathToUtf8(outPath) + ": write failed");
    return 0;
}

}  // namespace

int runPack(const Args& args) {
    bool store = false;
    std::string tag;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--store") {
            store = true;
        } else if (args[i] == "--tag" && i + 1 < args.size()) {
            tag = args[++i];
        } else if (args[i].starts_with("--")) {
            return 2;
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2)
        return 2;
    return pack(pathFromUtf8(positional[0]), pathFromUtf8(positional[1]), store, tag);
}

}  // namespace packtool
