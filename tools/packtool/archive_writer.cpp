#include "archive_writer.h"

#include <lzma.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "pack/pack_archive.h"
#include "text.h"

namespace fs = std::filesystem;

namespace packtool {
namespace {

constexpr std::uint32_t kDictionarySize = 64u << 20;            // written in every entry's properties
constexpr unsigned char kPropertiesByte = (2 * 5 + 0) * 9 + 3;  // pb 2, lp 0, lc 3 = 0x5D
constexpr std::uint64_t kMaxArchiveSize = 0x7FFFFFFF;  // the directory offset is a signed 32-bit value
// Content this large is first tried on a sample: already-compressed data is stored without spending
// the full encoder on it.
constexpr std::size_t kProbeFrom = 512 * 1024;
constexpr std::size_t kProbeSize = 128 * 1024;

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

// Encodes size bytes into out (capacity out->size(), from offset 5) as a raw LZMA1 stream without end
// marker at the given preset; the encoded length, or 0 when it does not fit.
std::size_t encode(const unsigned char* data, std::size_t size, std::uint32_t preset,
                   std::vector<unsigned char>* out) {
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, preset))
        return 0;
    // The encoder never needs a window larger than its input; the properties still name 64 MiB.
    options.dict_size =
        static_cast<std::uint32_t>(std::clamp<std::uint64_t>(size, LZMA_DICT_SIZE_MIN, kDictionarySize));
    options.lc = 3;
    options.lp = 0;
    options.pb = 2;
    options.ext_flags = 0;  // no end marker
    options.ext_size_low = 0;
    options.ext_size_high = 0;
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::size_t pos = 5;
    if (lzma_raw_buffer_encode(filters, nullptr, data, size, out->data(), &pos, out->size()) != LZMA_OK)
        return 0;
    return pos;
}

// Compresses content into properties + raw LZMA1 stream; false when the result would not be smaller
// than the content.
bool compress(const std::vector<unsigned char>& content, std::vector<unsigned char>* out) {
    if (content.size() <= 6)
        return false;
    if (content.size() >= kProbeFrom) {
        std::vector<unsigned char> probe(kProbeSize - kProbeSize / 64 + 5);
        if (encode(content.data(), kProbeSize, 0, &probe) == 0)
            return false;  // the fast preset saves less than 1/64 on the sample: store the file
    }
    out->resize(content.size() - 1);
    (*out)[0] = kPropertiesByte;
    for (int i = 0; i < 4; ++i) (*out)[1 + i] = static_cast<unsigned char>(kDictionarySize >> (8 * i));
    std::size_t size = encode(content.data(), content.size(), 6, out);
    if (size == 0)
        return false;
    out->resize(size);
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

}  // namespace

bool writeArchive(const std::vector<WalkedFile>& files, const ArchiveOptions& options,
                  const ArchiveSink& sink, const ArchiveProgress& progress, std::string* error) {
    std::vector<std::u16string> names;
    for (const WalkedFile& f : files) {
        std::optional<std::u16string> name = utf8ToUtf16(f.name);
        if (!name) {
            *error = f.name + ": name is not valid UTF-8";
            return false;
        }
        if (name->size() + 1 > kPackMaxNameArea / 2) {
            *error = f.name + ": name longer than 1023 UTF-16 units";
            return false;
        }
        names.push_back(std::move(*name));
    }
    auto emit = [&](const void* data, std::size_t size) {
        if (size == 0 || sink(static_cast<const unsigned char*>(data), size))
            return true;
        *error = "cannot write the archive";
        return false;
    };

    // Workers take files in order; at most `window` finished results wait for the writer.
    std::vector<PackedFile> results(files.size());
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0, written = 0;
    unsigned threads = options.threads ? options.threads : std::thread::hardware_concurrency();
    threads = std::clamp(threads, 1u, 16u);
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
            packOne(files[i], options.store, &result);
            std::lock_guard lock(mutex);
            results[i] = std::move(result);
            results[i].done = true;
            changed.notify_all();
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < std::min<std::size_t>(threads, files.size()); ++t) pool.emplace_back(worker);

    std::string failure;
    std::vector<unsigned char> directory;
    std::uint64_t position = options.tag.size();
    std::uint64_t doneBytes = 0;
    if (!emit(options.tag.data(), options.tag.size()))
        failure = *error;
    for (std::size_t i = 0; i < files.size() && failure.empty(); ++i) {
        PackedFile result;
        {
            std::unique_lock lock(mutex);
            while (!changed.wait_for(lock, std::chrono::milliseconds(200), [&] { return results[i].done; })) {
                if (progress) {
                    lock.unlock();
                    progress(i, doneBytes);
                    lock.lock();
                }
            }
            result = std::move(results[i]);
            written = i + 1;
            changed.notify_all();
        }
        if (!result.error.empty()) {
            failure = result.error;
            break;
        }
        if (position + result.data.size() > kMaxArchiveSize) {
            failure = "archive would exceed 2 GiB";
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
        if (!emit(result.data.data(), result.data.size())) {
            failure = *error;
            break;
        }
        position += result.data.size();
        doneBytes += files[i].size;
        if (progress)
            progress(i + 1, doneBytes);
    }
    {
        std::lock_guard lock(mutex);
        next = files.size();  // stop the workers early after a failure
        changed.notify_all();
    }
    for (std::thread& t : pool) t.join();
    if (failure.empty()) {
        put32(directory, 0);
        if (position + directory.size() + 4 > kMaxArchiveSize)
            failure = "archive would exceed 2 GiB";
    }
    if (failure.empty()) {
        put32(directory, static_cast<std::uint32_t>(position) ^ kPackArchiveKey);
        if (!emit(directory.data(), directory.size()))
            failure = *error;
    }
    if (!failure.empty()) {
        *error = failure;
        return false;
    }
    return true;
}

}  // namespace packtool
