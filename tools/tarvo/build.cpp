// tarvo check and tarvo build.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "archive_writer.h"
#include "commands.h"
#include "pe_image.h"
#include "product.h"
#include "text.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace fs = std::filesystem;
using packtool::pathFromUtf8;
using packtool::pathToUtf8;

namespace tarvo {
namespace {

constexpr std::uint16_t kLanguage = 2052;  // every resource of the installer but one manifest
constexpr char kStubName[] = "setup-stub.exe";

// Progress on standard error: a bar that redraws itself on a terminal, else one line per stage.
class Progress {
  public:
    Progress() : terminal_(isatty(fileno(stderr)) != 0) {}
    void stage(const std::string& line) { std::fprintf(stderr, "tarvo: %s\n", line.c_str()); }
    void startPacking(const std::string& name, std::size_t files, std::uint64_t bytes) {
        name_ = name;
        files_ = files;
        bytes_ = bytes;
        start_ = std::chrono::steady_clock::now();
    }
    void packed(std::size_t files, std::uint64_t bytes) {
        if (!terminal_)
            return;
        const double seconds = elapsed();
        const double rate = seconds > 0.05 ? bytes / seconds : 0;
        const int width = 24;
        const int filled = bytes_ ? static_cast<int>(width * bytes / bytes_) : width;
        std::string bar = std::string(filled, '#') + std::string(width - filled, '.');
        std::string left = "";
        if (rate > 0 && bytes < bytes_) {
            const int s = static_cast<int>((bytes_ - bytes) / rate);
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, ", %d:%02d left", s / 60, s % 60);
            left = buffer;
        }
        std::fprintf(stderr, "\r\033[K%s [%s] %zu/%zu files, %.1f/%.1f MiB, %.1f MiB/s%s", name_.c_str(),
                     bar.c_str(), files, files_, bytes / 1048576.0, bytes_ / 1048576.0, rate / 1048576.0,
                     left.c_str());
        std::fflush(stderr);
    }
    void donePacking(std::size_t archiveSize) {
        if (terminal_)
            std::fprintf(stderr, "\r\033[K");
        stage("packed " + name_ + ": " + std::to_string(files_) + " files, " + mib(bytes_) + " -> " +
              mib(archiveSize) + " in " + seconds(elapsed()));
    }
    static std::string mib(std::uint64_t bytes) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.1f MiB", bytes / 1048576.0);
        return buffer;
    }
    static std::string seconds(double s) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.1f s", s);
        return buffer;
    }

  private:
    double elapsed() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }
    bool terminal_;
    std::string name_;
    std::size_t files_ = 0;
    std::uint64_t bytes_ = 0;
    std::chrono::steady_clock::time_point start_;
};

bool pack(const std::string& name, const packtool::WalkedFolder& folder, const std::string& tag,
          Progress* progress, std::vector<unsigned char>* out, std::string* error) {
    std::uint64_t bytes = 0;
    for (const packtool::WalkedFile& f : folder.files) bytes += f.size;
    progress->startPacking(name, folder.files.size(), bytes);
    packtool::ArchiveOptions options;
    options.tag = tag;
    out->clear();
    auto sink = [&](const unsigned char* data, std::size_t size) {
        out->insert(out->end(), data, data + size);
        return true;
    };
    if (!packtool::writeArchive(
            folder.files, options, sink, [&](std::size_t f, std::uint64_t b) { progress->packed(f, b); },
            error)) {
        *error = name + ": " + *error;
        return false;
    }
    progress->donePacking(out->size());
    return true;
}

Resource tarvoResource(std::uint16_t id, std::vector<unsigned char> data) {
    return {ResourceKey::named(u"_TarvoResc"), {id, {}}, kLanguage, std::move(data)};
}

std::vector<unsigned char> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

// Packs one installer (the product's, or its uninstaller) into a copy of the stub and writes it to out.
bool assemble(PeImage image, const ScriptSet& scripts, const Product& product,
              const packtool::WalkedFolder& payload, std::uint32_t stamp, const fs::path& out,
              Progress* progress, std::string* error) {
    std::vector<unsigned char> frame, style, program;
    if (!pack("frame.lz", scripts.layouts, "", progress, &frame, error) ||
        !pack("style.lz", product.skin, "", progress, &style, error) ||
        !pack("program.lz", payload, "pack-v1.1", progress, &program, error))
        return false;
    image.put(tarvoResource(111, bytesOf(scripts.uiLua)));
    image.put(tarvoResource(113, std::move(frame)));
    image.put(tarvoResource(114, bytesOf(scripts.lgLua)));
    image.put(tarvoResource(115, std::move(program)));
    image.put(tarvoResource(116, std::move(style)));
    if (!product.icon.empty()) {
        std::vector<Resource> icon;
        if (!iconResources(product.icon, 2, kLanguage, &icon, error))
            return false;
        image.removeType(rt::kIcon);
        image.removeType(rt::kGroupIcon);
        for (Resource& r : icon) image.put(std::move(r));
    }
    image.removeType(rt::kVersion);
    image.put(versionResource(product.version, kLanguage));
    if (!image.write(out, stamp, error)) {
        *error = pathToUtf8(out) + ": " + *error;
        return false;
    }
    return true;
}

// Runs a program found on PATH with arguments; its exit code, or -1 when it could not be started.
int runProgram(const std::vector<std::string>& argv) {
#ifdef _WIN32
    std::vector<std::wstring> wide;
    for (const std::string& a : argv) wide.push_back(pathFromUtf8(a).wstring());
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& w : wide) pointers.push_back(w.c_str());
    pointers.push_back(nullptr);
    return static_cast<int>(_wspawnvp(_P_WAIT, pointers[0], pointers.data()));
#else
    std::vector<char*> pointers;
    for (const std::string& a : argv) pointers.push_back(const_cast<char*>(a.c_str()));
    pointers.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, pointers[0], nullptr, nullptr, pointers.data(), environ) != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) < 0 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status) == 127 ? -1 : WEXITSTATUS(status);
#endif
}

bool haveProgram(const std::string& name) {
#ifdef _WIN32
    return runProgram({name, "--version"}) >= 0;
#else
    const char* path = std::getenv("PATH");
    for (std::string dirs = path ? path : ""; !dirs.empty();) {
        const std::size_t colon = dirs.find(':');
        const std::string dir = dirs.substr(0, colon);
        dirs = colon == std::string::npos ? "" : dirs.substr(colon + 1);
        if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0)
            return true;
    }
    return false;
#endif
}

// Removes a file when it goes out of scope, unless kept.
struct TempFile {
    fs::path path;
    ~TempFile() {
        std::error_code ec;
        if (!path.empty())
            fs::remove(path, ec);
    }
};

struct BuildArgs {
    std::string dir, out, stub, payload, cert, key;
    bool uninstaller = true;
};

bool parseBuildArgs(const Args& args, BuildArgs* b) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* to) {
            if (i + 1 >= args.size())
                return false;
            *to = args[++i];
            return true;
        };
        if (a == "-o" || a == "--output") {
            if (!value(&b->out))
                return false;
        } else if (a == "--stub") {
            if (!value(&b->stub))
                return false;
        } else if (a == "--payload") {
            if (!value(&b->payload))
                return false;
        } else if (a == "--no-uninstaller") {
            b->uninstaller = false;
        } else if (a == "--sign") {
            if (!value(&b->cert) || !value(&b->key))
                return false;
        } else if (a.starts_with("-") || !b->dir.empty()) {
            return false;
        } else {
            b->dir = a;
        }
    }
    return !b->dir.empty() && !b->out.empty();
}

}  // namespace

int runCheck(const Args& args) {
    if (args.size() != 1)
        return 2;
    Findings findings;
    Product product;
    loadProduct(pathFromUtf8(args[0]), LoadOptions{}, &product, &findings);
    findings.print(stdout);
    std::printf("%s: %d error%s, %d warning%s\n", args[0].c_str(), findings.errors(),
                findings.errors() == 1 ? "" : "s", findings.warnings(), findings.warnings() == 1 ? "" : "s");
    return findings.errors() ? 1 : 0;
}

int runBuild(const Args& args) {
    BuildArgs b;
    if (!parseBuildArgs(args, &b))
        return 2;
    Progress progress;
    Findings findings;
    Product product;
    loadProduct(pathFromUtf8(b.dir), LoadOptions{pathFromUtf8(b.payload), b.uninstaller}, &product,
                &findings);
    findings.print(stderr);
    if (findings.errors())
        return fail(std::to_string(findings.errors()) + " error(s) in " + b.dir + "; nothing written");
    progress.stage("checked " + b.dir + " (" + std::to_string(findings.warnings()) + " warnings)");

    // Everything that can fail before the long work is tried first, so a failed build leaves OUT alone.
    const fs::path out = pathFromUtf8(b.out);
    fs::path folder = out.parent_path();
    if (folder.empty())
        folder = ".";
    TempFile temp{out.parent_path() / (out.filename().native() + pathFromUtf8(".tarvo-tmp").native())};
    {
        std::ofstream probe(temp.path, std::ios::binary | std::ios::trunc);
        if (!probe)
            return fail(b.out + ": cannot write into the folder " + pathToUtf8(folder));
    }
    const fs::path stubPath = b.stub.empty() ? selfFolder() / kStubName : pathFromUtf8(b.stub);
    std::error_code ec;
    if (!fs::is_regular_file(stubPath, ec))
        return fail(
            pathToUtf8(stubPath) + ": engine stub not found (" +
            (b.stub.empty() ? std::string("it belongs beside tarvo; or pass --stub FILE") : "--stub") + ")");
    PeImage stub;
    std::string error;
    if (!stub.load(stubPath, &error))
        return fail(pathToUtf8(stubPath) + ": " + error);
    if (!b.cert.empty() && !haveProgram("osslsigncode"))
        return fail(
            "--sign needs osslsigncode, which is not installed (Debian: apt-get install osslsigncode); "
            "nothing written");

    std::uint32_t stamp = stub.timestamp();
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
        char* end = nullptr;
        const unsigned long long v = std::strtoull(epoch, &end, 10);
        if (*end || v > 0xFFFFFFFFull)
            return fail("SOURCE_DATE_EPOCH=\"" + std::string(epoch) +
                        "\" is not a time stamp that fits the header");
        stamp = static_cast<std::uint32_t>(v);
    }

    TempFile uninstaller;
    if (product.uninstaller) {
        uninstaller.path =
            out.parent_path() / (out.filename().native() + pathFromUtf8(".unins.tarvo-tmp").native());
        progress.stage("building the uninstaller");
        if (!assemble(stub, *product.uninstaller, product, {}, stamp, uninstaller.path, &progress, &error))
            return fail(error + "; nothing written");
        for (packtool::WalkedFile& f : product.payload.files) {
            if (f.name == kUninstallerName) {
                f.path = uninstaller.path;
                f.size = fs::file_size(uninstaller.path, ec);
            }
        }
    }
    if (!assemble(stub, product.installer, product, product.payload, stamp, temp.path, &progress, &error))
        return fail(error + "; nothing written");
    if (!b.cert.empty()) {
        TempFile signedFile{temp.path.native() + pathFromUtf8(".signed").native()};
        progress.stage("signing with osslsigncode");
        const int rc = runProgram({"osslsigncode", "sign", "-certs", b.cert, "-key", b.key, "-in",
                                   pathToUtf8(temp.path), "-out", pathToUtf8(signedFile.path)});
        if (rc != 0)
            return fail("osslsigncode failed (exit " + std::to_string(rc) + "); nothing written");
        fs::rename(signedFile.path, temp.path, ec);
        if (ec)
            return fail(pathToUtf8(temp.path) + ": " + ec.message() + "; nothing written");
    }
    fs::permissions(temp.path,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    ec);
    fs::rename(temp.path, out, ec);
    if (ec)
        return fail(b.out + ": cannot put the installer in place (" + ec.message() + ")");
    temp.path.clear();
    progress.stage("wrote " + b.out + " (" + std::to_string(fs::file_size(out, ec)) + " bytes)");
    return 0;
}

}  // namespace tarvo
