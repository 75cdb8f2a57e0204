// payloadgen: writes the sample product's payload folder, the same bytes for the same seed.
//   payloadgen [--full] [--seed N] OUT_DIR [NAME=FILE ...]
// Every NAME=FILE copies a real program of the product (built for Windows) into OUT_DIR/NAME. The
// default payload is small (tens of files, a few MiB); --full gives the product's shape: 1,534 files
// in 139 folders, about 228 MiB of text, binaries and already-compressed data.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {  // splitmix64
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t n) { return n ? next() % n : 0; }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }

  private:
    std::uint64_t state_;
};

struct Shape {
    int files;    // generated files, besides .version, configure's files and the copied programs
    int folders;  // generated folders besides "configure"
    std::uint64_t bytes;
};

constexpr int kConfigureFiles = 6;

enum class Kind { Text, Binary, Packed };

const char* const kWords[] = {"camera", "frame",  "stream", "device", "filter", "render", "buffer",
                              "codec",  "format", "width",  "height", "pixel",  "source", "sample",
                              "clock",  "driver", "output", "input",  "layer",  "effect", "value"};
const char* const kFolderNames[] = {"bin",     "codecs",  "plugins", "resources", "skins",  "locales",
                                    "effects", "filters", "models",  "shaders",   "themes", "data",
                                    "fonts",   "images",  "sounds",  "presets",   "docs",   "lib"};

std::string textBytes(Random& rng, std::uint64_t size) {
    std::string out;
    out.reserve(size);
    while (out.size() < size) {
        out += kWords[rng.below(std::size(kWords))];
        out += rng.below(8) == 0 ? "=" + std::to_string(rng.below(4096)) + "\r\n" : " ";
    }
    out.resize(size);
    return out;
}

// Machine-code-like data: repeated instruction shapes with random operands; compresses about 2:1.
std::string binaryBytes(Random& rng, std::uint64_t size) {
    static const unsigned char kShapes[][4] = {{0x48, 0x8B, 0x45, 0x00},
                                               {0x48, 0x89, 0x4C, 0x24},
                                               {0xE8, 0x00, 0x00, 0x00},
                                               {0x0F, 0x1F, 0x44, 0x00}};
    std::string out;
    out.reserve(size);
    while (out.size() < size) {
        const unsigned char* shape = kShapes[rng.below(4)];
        out.append(reinterpret_cast<const char*>(shape), 4);
        std::uint64_t r = rng.next();
        out.append(reinterpret_cast<const char*>(&r), 1 + rng.below(3));
    }
    out.resize(size);
    return out;
}

std::string packedBytes(Random& rng, std::uint64_t size) {
    std::string out(size, '\0');
    for (std::uint64_t i = 0; i < size; i += 8) {
        std::uint64_t r = rng.next();
        std::copy_n(reinterpret_cast<const char*>(&r), std::min<std::uint64_t>(8, size - i), out.data() + i);
    }
    return out;
}

bool writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

int fail(const std::string& message) {
    std::fprintf(stderr, "payloadgen: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    bool full = false;
    std::uint64_t seed = 20240607;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--full")
            full = true;
        else if (arg == "--seed" && i + 1 < argc)
            seed = std::stoull(argv[++i]);
        else
            positional.push_back(arg);
    }
    if (positional.empty()) {
        std::fprintf(stderr, "usage: payloadgen [--full] [--seed N] OUT_DIR [NAME=FILE ...]\n");
        return 2;
    }
    const fs::path root = positional[0];
    std::vector<std::pair<std::string, fs::path>> programs;
    for (std::size_t i = 1; i < positional.size(); ++i) {
        auto eq = positional[i].find('=');
        if (eq == std::string::npos || eq == 0)
            return fail("expected NAME=FILE: " + positional[i]);
        programs.emplace_back(positional[i].substr(0, eq), positional[i].substr(eq + 1));
    }

    // 1,534 files = 1 .version + configure's files + the programs + the generated ones; 139 folders =
    // "configure" + the generated ones.
    const int fixedFiles = 1 + kConfigureFiles + static_cast<int>(programs.size());
    Shape shape = full ? Shape{1534 - fixedFiles, 138, 228ull << 20} : Shape{36, 5, 3ull << 20};
    if (shape.files < 1)
        return fail("too many programs");

    std::error_code ec;
    fs::remove_all(root, ec);
    fs::create_directories(root / "configure", ec);
    if (ec)
        return fail(root.string() + ": " + ec.message());
    Random rng(seed);

    if (!writeFile(root / ".version", "9.0.4.6"))
        return fail("cannot write .version");
    for (int i = 0; i < kConfigureFiles; ++i) {
        std::string name = "configure/" + std::string(kWords[i]) + ".ini";
        std::string text = "[" + std::string(kWords[i]) + "]\r\n" + textBytes(rng, 200 + rng.below(2000));
        if (!writeFile(root / name, text))
            return fail("cannot write " + name);
    }
    for (auto& [name, source] : programs) {
        fs::copy_file(source, root / name, fs::copy_options::overwrite_existing, ec);
        if (ec)
            return fail(source.string() + ": " + ec.message());
    }

    // Folders: each below a random earlier one (or the root), at most 6 levels deep.
    std::vector<std::pair<std::string, int>> folders;  // relative path, depth
    for (int i = 0; i < shape.folders; ++i) {
        std::string parent;
        int depth = 1;
        if (!folders.empty() && rng.below(3) != 0) {
            auto& p = folders[rng.below(folders.size())];
            if (p.second < 6) {
                parent = p.first + "/";
                depth = p.second + 1;
            }
        }
        std::string name = parent + kFolderNames[rng.below(std::size(kFolderNames))] + std::to_string(i);
        folders.emplace_back(name, depth);
        fs::create_directories(root / name, ec);
        if (ec)
            return fail(name + ": " + ec.message());
    }

    // Sizes: mostly small files and a few large ones, scaled to the shape's total.
    std::vector<double> weights(shape.files);
    double sum = 0;
    for (double& w : weights) {
        double u = rng.unit();
        w = u < 0.97 ? 1.0 + 40.0 * u : 400.0 + 4000.0 * rng.unit();
        sum += w;
    }
    std::uint64_t written = 0;
    for (int i = 0; i < shape.files; ++i) {
        // Every folder gets at least one file, so none is empty; the rest land anywhere.
        std::string folder = i < shape.folders   ? folders[i].first
                             : rng.below(8) == 0 ? std::string()
                                                 : folders[rng.below(folders.size())].first;
        auto size = static_cast<std::uint64_t>(weights[i] / sum * static_cast<double>(shape.bytes));
        if (i == shape.files - 1)
            size = shape.bytes > written ? shape.bytes - written : 0;
        written += size;
        Kind kind = static_cast<Kind>(rng.below(3));
        static const char* const kExt[] = {".txt", ".bin", ".pak"};
        std::string name = (folder.empty() ? "" : folder + "/") + kWords[rng.below(std::size(kWords))] + "_" +
                           std::to_string(i) + kExt[static_cast<int>(kind)];
        std::string bytes = kind == Kind::Text     ? textBytes(rng, size)
                            : kind == Kind::Binary ? binaryBytes(rng, size)
                                                   : packedBytes(rng, size);
        if (!writeFile(root / name, bytes))
            return fail("cannot write " + name);
    }
    return 0;
}
