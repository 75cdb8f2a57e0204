// packtool as a real process: round trips with non-ASCII names, the written format, bad input.
#include <gtest/gtest.h>
#include <lua.hpp>

#include <algorithm>
#include <cstring>
#include <random>
#include <regex>

#include "archive_builder.h"
#include "pack/pack_archive.h"
#include "run_tool.h"

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using packtest::ArchiveBuilder;
using packtest::Bytes;
using packtest::bytesOf;

namespace {

fs::path packtoolPath() {
    std::string path = PACKTOOL_PATH;
#ifdef _WIN32
    // The build hands over a Unix path; Wine's drive Z: is the Unix root.
    if (path.starts_with("/")) {
        std::replace(path.begin(), path.end(), '/', '\\');
        path = "Z:" + path;
    }
#endif
    return fs::path(path);
}

Bytes readBytes(const fs::path& path) {
    std::string s = packtest::readText(path);
    return Bytes(s.begin(), s.end());
}

void writeBytes(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes textOf(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < size) s += "line " + std::to_string(rng() % 1000) + " of the install log\n";
    s.resize(size);
    return bytesOf(s);
}

Bytes noiseOf(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto& b : out) b = static_cast<unsigned char>(rng());
    return out;
}

int lineCount(const std::string& s) {
    return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
}

struct TreeFile {
    const char8_t* path;  // UTF-8, forward slashes: also the entry name
    const char16_t* name;
    Bytes content;
};

class Packtool : public ::testing::Test {
  protected:
    void SetUp() override {
        static int counter = 0;
        scratch_ = fs::temp_directory_path() /
                   ("pack_tests-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(scratch_);
        fs::create_directories(scratch_);
        tree_ = {
            {u8"中文/文件.txt", u"中文/文件.txt", textOf(5000, 1)},
            {u8"docs/ü b.txt", u"docs/ü b.txt", bytesOf("umlaut and space")},
            {u8"😀.bin", u"😀.bin", noiseOf(3000, 2)},
            {u8"Ａ.txt", u"Ａ.txt", noiseOf(100, 3)},
            {u8"big/text.log", u"big/text.log", textOf(1 << 20, 4)},
            {u8"empty", u"empty", {}},
            {u8"a/b/c/deep.xml", u"a/b/c/deep.xml", textOf(300, 5)},
        };
        for (const TreeFile& f : tree_) writeBytes(in() / fs::path(f.path), f.content);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(scratch_, ec);
    }

    fs::path in() const { return scratch_ / "in"; }
    fs::path at(const char8_t* rel) const { return scratch_ / fs::path(rel); }

    packtest::ToolResult run(std::vector<fs::path> args) {
        return packtest::runTool(packtoolPath(), args, scratch_);
    }

    // Packs the tree; fails the test when packtool does.
    fs::path packTree(const char8_t* out, std::vector<fs::path> options = {}) {
        std::vector<fs::path> args{"pack"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(at(out));
        args.push_back(in());
        packtest::ToolResult r = run(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return at(out);
    }

    // Expects exit code 1 with exactly one line "packtool: ..." on stderr.
    void expectOneLineFailure(const packtest::ToolResult& r, const std::string& context) {
        EXPECT_EQ(r.exitCode, 1) << context << ": " << r.err;
        EXPECT_EQ(lineCount(r.err), 1) << context << ": " << r.err;
        EXPECT_EQ(r.err.rfind("packtool: ", 0), 0u) << context << ": " << r.err;
    }

    fs::path scratch_;
    std::vector<TreeFile> tree_;
};

}  // namespace

TEST_F(Packtool, PackWritesTheFormatTheReaderReads) {
    fs::path archivePath = packTree(u8"out.lz", {"--tag", "pack-v1.1"});
    Bytes block = readBytes(archivePath);
    ASSERT_GE(block.size(), 9u);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 9), bytesOf("pack-v1.1"));

    auto archive = openPackArchive(block.data(), block.size());
    ASSERT_FALSE(archive->isDamaged()) << archive->damage();
    ASSERT_EQ(archive->entries().size(), tree_.size());
    std::uint32_t lowestOffset = 0xFFFFFFFF;
    for (const TreeFile& f : tree_) {
        const PackEntry* entry = archive->find(f.name);
        ASSERT_NE(entry, nullptr) << reinterpret_cast<const char*>(f.path);
        lowestOffset = std::min(lowestOffset, entry->dataOffset);
        std::size_t size = 0;
        void* buffer = extractEntry(*archive, f.name, &size);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(Bytes(static_cast<unsigned char*>(buffer), static_cast<unsigned char*>(buffer) + size),
                  f.content)
            << reinterpret_cast<const char*>(f.path);
        freeEntry(buffer);
    }
    EXPECT_EQ(lowestOffset, 9u) << "the first entry's data follows the tag";

    // Compressible files are LZMA with 0x5D and a 64 MiB dictionary, and their streams carry no end
    // marker (a strict decoder that refuses one accepts them); noise and the empty file are stored.
    const PackEntry* big = archive->find(u"big/text.log");
    ASSERT_TRUE(big->compressed());
    EXPECT_LT(big->storedSize, big->unpackedSize / 4);
    const unsigned char* data = block.data() + big->dataOffset;
    EXPECT_EQ(data[0], 0x5D);
    EXPECT_EQ(Bytes(data + 1, data + 5), (Bytes{0, 0, 0, 4}));
    lzma_options_lzma strict{};
    strict.dict_size = 64u << 20;
    strict.lc = 3;
    strict.pb = 2;
    strict.ext_flags = 0;
    strict.ext_size_low = big->unpackedSize;
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &strict}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes out(big->unpackedSize);
    std::size_t inPos = 0, outPos = 0;
    EXPECT_EQ(lzma_raw_buffer_decode(filters, nullptr, data + 5, &inPos, big->storedSize - 5, out.data(),
                                     &outPos, out.size()),
              LZMA_OK);
    EXPECT_EQ(inPos, big->storedSize - 5u);
    EXPECT_FALSE(archive->find(u"😀.bin")->compressed());
    EXPECT_FALSE(archive->find(u"empty")->compressed());

    // Data lies in the byte order of the UTF-8 names: U+FF21 (EF BC A1) before U+1F600 (F0 ...),
    // although the index orders the surrogate pair (D83D) first.
    EXPECT_LT(archive->find(u"Ａ.txt")->dataOffset, archive->find(u"😀.bin")->dataOffset);
    EXPECT_LT(archive->find(u"a/b/c/deep.xml")->dataOffset, archive->find(u"big/text.log")->dataOffset);
}

TEST_F(Packtool, OutputIsDeterministicAndStoreKeepsBytesAsTheyAre) {
    Bytes first = readBytes(packTree(u8"one.lz"));
    Bytes second = readBytes(packTree(u8"two.lz"));
    EXPECT_EQ(first, second);

    // An archive left inside the packed folder is not packed into the next one.
    fs::copy_file(at(u8"one.lz"), in() / "old.lz");
    Bytes again = readBytes(packTree(u8"in/old.lz"));
    EXPECT_EQ(again, first);
    fs::remove(in() / "old.lz");

    Bytes stored = readBytes(packTree(u8"stored.lz", {"--store"}));
    auto archive = openPackArchive(stored.data(), stored.size());
    ASSERT_EQ(archive->entries().size(), tree_.size());
    for (const auto& [name, entry] : archive->entries()) EXPECT_FALSE(entry.compressed());
    EXPECT_EQ(archive->find(u"big/text.log")->storedSize, 1u << 20);
    EXPECT_EQ(archive->find(u"a/b/c/deep.xml")->dataOffset, 0u) << "no tag: data starts at byte 0";
}

TEST_F(Packtool, ListVerifyExtractRoundTrip) {
    fs::path archive = packTree(u8"out.lz", {"--tag", "pack-v1.1"});

    packtest::ToolResult r = run({"list", archive});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    Bytes block = readBytes(archive);
    auto reader = openPackArchive(block.data(), block.size());
    const std::string big = std::to_string(reader->find(u"big/text.log")->storedSize);
    const std::string deep = std::to_string(reader->find(u"a/b/c/deep.xml")->storedSize);
    const std::string cjk = std::to_string(reader->find(u"中文/文件.txt")->storedSize);
    const std::string expected = "a/b/c/deep.xml\t" + deep + "\t300\tlzma\n" + "big/text.log\t" + big +
                                 "\t1048576\tlzma\n" + "docs/ü b.txt\t16\t16\tstored\n" +
                                 "empty\t0\t0\tstored\n" + "中文/文件.txt\t" + cjk + "\t5000\tlzma\n" +
                                 "😀.bin\t3000\t3000\tstored\n" + "Ａ.txt\t100\t100\tstored\n";
    EXPECT_EQ(r.out, expected);

    r = run({"verify", archive});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("7 of 7 entries sound"), std::string::npos) << r.out;

    r = run({"extract", archive, at(u8"all")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const TreeFile& f : tree_) {
        EXPECT_EQ(readBytes(at(u8"all") / fs::path(f.path)), f.content)
            << reinterpret_cast<const char*>(f.path);
    }

    r = run({"extract", archive, at(u8"some"), fs::path(u8"中文/文件.txt"), "empty"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readBytes(at(u8"some/中文/文件.txt")), tree_[0].content);
    EXPECT_TRUE(fs::exists(at(u8"some/empty")));
    EXPECT_FALSE(fs::exists(at(u8"some/big")));

    r = run({"extract", archive, at(u8"missing"), "empty", "Empty"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("\"Empty\""), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(at(u8"missing/empty"))) << "names that exist are still extracted";
}

TEST_F(Packtool, BadArchiveFilesGetOneLineAndExitOne) {
    Bytes good = readBytes(packTree(u8"good.lz"));
    writeBytes(at(u8"empty.lz"), {});
    writeBytes(at(u8"truncated.lz"), Bytes(good.begin(), good.end() - 10));
    writeBytes(at(u8"cut-in-half.lz"), Bytes(good.begin(), good.begin() + good.size() / 2));
    writeBytes(at(u8"random.lz"), noiseOf(4096, 77));
    for (const char8_t* file :
         {u8"does-not-exist.lz", u8"empty.lz", u8"truncated.lz", u8"cut-in-half.lz", u8"random.lz", u8"in"}) {
        const std::string label = reinterpret_cast<const char*>(file);
        expectOneLineFailure(run({"list", at(file)}), "list " + label);
        expectOneLineFailure(run({"verify", at(file)}), "verify " + label);
        expectOneLineFailure(run({"extract", at(file), at(u8"x")}), "extract " + label);
    }
    expectOneLineFailure(run({"pack", at(u8"p.lz"), at(u8"no-such-folder")}), "pack of a missing folder");
    EXPECT_FALSE(fs::exists(at(u8"p.lz")));

    EXPECT_EQ(run({}).exitCode, 2);
    EXPECT_EQ(run({"unpack", at(u8"good.lz")}).exitCode, 2);
    EXPECT_EQ(run({"pack", at(u8"x.lz")}).exitCode, 2);
    EXPECT_EQ(run({"list"}).exitCode, 2);
    EXPECT_EQ(run({"pack", "--fast", at(u8"x.lz"), in()}).exitCode, 2);
}

TEST_F(Packtool, DamagedEntriesAndDirectoriesAreNamed) {
    fs::path archive = packTree(u8"out.lz");
    Bytes block = readBytes(archive);
    {
        auto reader = openPackArchive(block.data(), block.size());
        const PackEntry* big = reader->find(u"big/text.log");
        // Keep the properties; cut the stream short by zeroing its second half.
        std::size_t from = big->dataOffset + big->storedSize / 2;
        std::fill(block.begin() + from, block.begin() + big->dataOffset + big->storedSize, 0);
    }
    writeBytes(at(u8"bad-entry.lz"), block);
    packtest::ToolResult r = run({"verify", at(u8"bad-entry.lz")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("\"big/text.log\""), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("6 of 7 entries sound"), std::string::npos) << r.out;

    r = run({"extract", at(u8"bad-entry.lz"), at(u8"x")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("big/text.log"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(at(u8"x/big/text.log"))) << "a damaged entry is not written";
    EXPECT_TRUE(fs::exists(at(u8"x/a/b/c/deep.xml")));

    // A malformed record after two sound ones: list shows the two, then reports the damage.
    ArchiveBuilder b;
    b.stored(u"one", bytesOf("1"));
    b.stored(u"two", bytesOf("22"));
    b.rawRecord(9, 0, 0, 0, {});
    writeBytes(at(u8"bad-directory.lz"), b.finish());
    r = run({"list", at(u8"bad-directory.lz")});
    EXPECT_EQ(r.out, "one\t1\t1\tstored\ntwo\t2\t2\tstored\n");
    expectOneLineFailure(r, "list of a damaged directory");
    EXPECT_NE(r.err.find("damaged"), std::string::npos) << r.err;
    expectOneLineFailure(run({"verify", at(u8"bad-directory.lz")}), "verify of a damaged directory");
}

TEST_F(Packtool, ExtractRefusesNamesThatLeaveTheTargetFolder) {
    ArchiveBuilder b;
    for (const char16_t* name : {u"../evil.txt", u"/abs.txt", u"ok/../../evil2.txt", u"c:evil3.txt",
                                 u"dir\\..\\evil4.txt", u"dir//x", u"./dot", u"trailing/"}) {
        b.stored(name, bytesOf("evil"));
    }
    b.stored(u"fine/ok.txt", bytesOf("fine"));
    writeBytes(at(u8"evil.lz"), b.finish());
    packtest::ToolResult r = run({"extract", at(u8"evil.lz"), at(u8"target/inner")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(lineCount(r.err), 8) << r.err;
    EXPECT_EQ(readBytes(at(u8"target/inner/fine/ok.txt")), bytesOf("fine"));
    EXPECT_FALSE(fs::exists(at(u8"target/evil.txt")));
    EXPECT_FALSE(fs::exists(at(u8"evil2.txt")));
    EXPECT_FALSE(fs::exists(at(u8"target/evil2.txt")));
    EXPECT_FALSE(fs::exists("/abs.txt"));
    int files = 0;
    for (const auto& e : fs::recursive_directory_iterator(at(u8"target"))) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

// ---- packtool manifest: the install script's operations list --------------------------------------

namespace {

struct Operation {
    int kind;          // 1 file, 0 folder
    std::string path;  // backslashes, as the script names it
    bool operator==(const Operation&) const = default;
};

class PacktoolManifest : public Packtool {
  protected:
    void SetUp() override {
        Packtool::SetUp();
        fs::remove_all(in());
    }
    void file(const char8_t* rel) { writeBytes(in() / fs::path(rel), bytesOf("x")); }

    // Runs manifest over in(); the operations it wrote, in order.
    std::vector<Operation> manifest() {
        packtest::ToolResult r = run({"manifest", at(u8"ops.lua"), in()});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        text = packtest::readText(at(u8"ops.lua"));
        std::vector<Operation> ops;
        std::regex line(R"(    \{([01]), \[(=*)\[(.*)\]\2\]\},\n)");
        for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it)
            ops.push_back({std::stoi((*it)[1]), (*it)[3]});
        return ops;
    }
    std::string text;
};

}  // namespace

TEST_F(PacktoolManifest, VersionFirstThenFilesBeforeFoldersAndEachFolderBeforeItsContent) {
    for (const char8_t* rel : {u8"zeta.txt", u8".version", u8"alpha/one.txt", u8"alpha/inner/two.txt",
                               u8"configure/camera.ini", u8"Beta.txt"})
        file(rel);
    fs::create_directories(in() / "empty");
    const std::vector<Operation> expected = {{1, ".version"},
                                             {1, "Beta.txt"},
                                             {1, "zeta.txt"},
                                             {0, "configure"},
                                             {1, "configure\\camera.ini"},
                                             {0, "alpha"},
                                             {1, "alpha\\one.txt"},
                                             {0, "alpha\\inner"},
                                             {1, "alpha\\inner\\two.txt"},
                                             {0, "empty"}};
    EXPECT_EQ(manifest(), expected);
    EXPECT_EQ(text.rfind("local operations = {\n", 0), 0u) << text;
}

TEST_F(PacktoolManifest, NamesExactlyTheArchivesEntriesAndBothLeaveTheFoldersReadmeOut) {
    // The folder's own README.txt at its top documents it; one in a sub-folder is payload.
    const struct {
        const char8_t* path;
        const char16_t* entry;
        const char* listed;
    } files[] = {{u8"a.bin", u"a.bin", "a.bin"},
                 {u8"docs/README.txt", u"docs/README.txt", "docs\\README.txt"},
                 {u8"中文/文件.txt", u"中文/文件.txt", "中文\\文件.txt"}};
    for (const auto& f : files) file(f.path);
    file(u8"README.txt");
    std::vector<std::string> listed;
    for (const Operation& op : manifest())
        if (op.kind == 1)
            listed.push_back(op.path);
    Bytes block = readBytes(packTree(u8"out.lz"));
    auto archive = openPackArchive(block.data(), block.size());
    EXPECT_EQ(archive->entries().size(), std::size(files));
    EXPECT_EQ(listed.size(), std::size(files)) << text;
    for (const auto& f : files) {
        EXPECT_NE(archive->find(f.entry), nullptr) << f.listed;
        EXPECT_NE(std::find(listed.begin(), listed.end(), f.listed), listed.end()) << f.listed;
    }
}

TEST_F(PacktoolManifest, NamesEndingInABracketGetALongStringTheyCannotClose) {
    for (const char8_t* rel : {u8"a]", u8"b]]c", u8"plain"}) file(rel);
    const std::vector<Operation> expected = {{1, "a]"}, {1, "b]]c"}, {1, "plain"}};
    EXPECT_EQ(manifest(), expected);
    EXPECT_NE(text.find("{1, [=[a]]=]},"), std::string::npos) << text;
    EXPECT_NE(text.find("{1, [=[b]]c]=]},"), std::string::npos) << text;
    EXPECT_NE(text.find("{1, [[plain]]},"), std::string::npos) << text;
}

TEST_F(PacktoolManifest, PathsDeeperThanNineLevelsAreRefused) {
    file(u8"1/2/3/4/5/6/7/8/nine.txt");
    EXPECT_EQ(manifest().back(), (Operation{1, "1\\2\\3\\4\\5\\6\\7\\8\\nine.txt"}));
    fs::create_directories(in() / "1/2/3/4/5/6/7/8/9/10");
    expectOneLineFailure(run({"manifest", at(u8"deep.lua"), in()}), "an empty folder ten levels down");
    EXPECT_FALSE(fs::exists(at(u8"deep.lua")));
}

#ifndef _WIN32  // names that differ only in case cannot both exist on the Windows side
TEST_F(PacktoolManifest, NamesThatDifferOnlyInCaseAreRefused) {
    file(u8"docs/a.txt");
    file(u8"Docs/b.txt");
    expectOneLineFailure(run({"manifest", at(u8"folders.lua"), in()}), "folders Docs and docs");
    fs::remove_all(in());
    file(u8"x/Read.me");
    file(u8"x/read.ME");
    packtest::ToolResult r = run({"manifest", at(u8"files.lua"), in()});
    expectOneLineFailure(r, "files Read.me and read.ME");
    EXPECT_NE(r.err.find("case"), std::string::npos) << r.err;
}
#endif

TEST_F(PacktoolManifest, TemplateLineIsReplacedAndATemplateWithoutTheMarkIsRefused) {
    file(u8"f");
    writeBytes(at(u8"t.lua.in"), bytesOf("-- head\n  @OPERATIONS@ here\nreturn operations\n"));
    packtest::ToolResult r = run({"manifest", "--template", at(u8"t.lua.in"), at(u8"t.lua"), in()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(packtest::readText(at(u8"t.lua")),
              "-- head\nlocal operations = {\n    {1, [[f]]},\n}\nreturn operations\n");
    writeBytes(at(u8"bad.lua.in"), bytesOf("-- no mark\n"));
    expectOneLineFailure(run({"manifest", "--template", at(u8"bad.lua.in"), at(u8"u.lua"), in()}),
                         "template without @OPERATIONS@");
}

// ---- packtool ui-script: the UI script after its framework glue -----------------------------------

TEST_F(Packtool, UiScriptRunsTheGlueAsItsOwnChunkAndKeepsTheLinesOfBoth) {
    // The glue has CR LF line ends and, in a long string, a quote, a backslash and a NUL before a
    // digit: each must reach the interpreter as it is.
    const std::string glue = std::string("-- glue\r\nglued = [[x\0", 21) +
                             "7\"\\]]\r\nfunction failInGlue() error('glue failed') end\r\n";
    const std::string ui = R"(-- the UI script
assert(glued == 'x\0' .. '7"\\', glued)
local ok, message = pcall(failInGlue)
assert(message == 'glue.lua:3: glue failed', message)
error('ui failed')
)";
    writeBytes(at(u8"glue.lua"), bytesOf(glue));
    writeBytes(at(u8"UI.lua"), bytesOf(ui));
    packtest::ToolResult r =
        run({"ui-script", "--glue", at(u8"glue.lua"), at(u8"joined.lua"), at(u8"UI.lua")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string joined = packtest::readText(at(u8"joined.lua"));
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    ASSERT_EQ(luaL_loadbuffer(L, joined.data(), joined.size(), "=UI.lua"), LUA_OK) << lua_tostring(L, -1);
    EXPECT_EQ(lua_pcall(L, 0, 0, 0), LUA_ERRRUN);
    EXPECT_STREQ(lua_tostring(L, -1), "UI.lua:5: ui failed");
    lua_close(L);

    // Without glue, the script as it is.
    ASSERT_EQ(run({"ui-script", at(u8"alone.lua"), at(u8"UI.lua")}).exitCode, 0);
    EXPECT_EQ(packtest::readText(at(u8"alone.lua")), ui);
}
