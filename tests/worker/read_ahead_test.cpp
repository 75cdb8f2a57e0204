// The decode-ahead of payload entries over the real embedded archives: which names the install script's
// text yields, every answer byte-exact against a plain extraction whatever order the names are asked
// in, the budgets, a damaged entry, and what is left behind when it is dropped halfway.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "host/owned_archive.h"
#include "host/resource_file_system.h"
#include "win_test_support.h"
#include "worker/read_ahead.h"

using testsupport::widen;

namespace {

std::u16string u16(const std::string& utf8) {
    std::wstring wide = widen(utf8);
    return std::u16string(wide.begin(), wide.end());
}

struct Extracted {
    bool present = false;
    std::string bytes;
    PackResult result = PackResult::Missing;
    bool operator==(const Extracted& o) const {
        return present == o.present && bytes == o.bytes && result == o.result;
    }
};

Extracted fromBuffer(const unique_entry& data, size_t size, PackResult result) {
    Extracted e;
    e.present = data != nullptr;
    if (data)
        e.bytes.assign(static_cast<const char*>(data.get()), size);
    e.result = result;
    return e;
}

class ReadAhead : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(payload.openInPlace(currentFileSystem(), L"program.lz"));
        size_t size = 0;
        auto script = readOwnedFile(*currentFileSystem(), L"LG.lua", &size);
        ASSERT_TRUE(script);
        lgLua.assign(static_cast<const char*>(script.get()), size);
        order = expectedEntries(lgLua, *payload.get());
        ASSERT_GT(order.size(), 10u);
    }
    Extracted plain(const PackArchive& archive, const std::u16string& name) {
        size_t size = 0;
        PackResult result;
        unique_entry data(extractEntry(archive, name.c_str(), &size, &result));
        return fromBuffer(data, size, result);
    }
    Extracted take(EntryReadAhead& ahead, const std::u16string& name) {
        size_t size = 0;
        PackResult result;
        unique_entry data = ahead.take(name, &size, &result);
        return fromBuffer(data, size, result);
    }
    // Asks for names in the given order and compares each answer with a plain extraction.
    void expectSameAsPlain(EntryReadAhead& ahead, const std::vector<std::u16string>& asks) {
        for (const auto& name : asks) {
            Extracted want = plain(*payload.get(), name);
            Extracted got = take(ahead, name);
            EXPECT_TRUE(got == want) << testsupport::narrow(std::wstring(name.begin(), name.end()));
        }
    }
    OwnedArchive payload;
    std::string lgLua;
    std::vector<std::u16string> order;
};

TEST_F(ReadAhead, ExpectedEntriesAreTheEntriesTheScriptNamesInItsOrder) {
    // The install script names its files in the manifest, with backslashes, in install order.
    std::vector<std::u16string> manifestFiles;
    std::regex entry(R"(\{1, \[(=*)\[(.*?)\]\1\]\},)");
    for (std::sregex_iterator it(lgLua.begin(), lgLua.end(), entry), end; it != end; ++it) {
        std::string path = (*it)[2];
        std::replace(path.begin(), path.end(), '\\', '/');
        manifestFiles.push_back(u16(path));
    }
    EXPECT_EQ(order, manifestFiles);

    // Quoted and long-bracket literals count, once each; comments, other escapes and unknown names do not.
    std::string text =
        "extractFile(\"configure\\\\camera.ini\", t) -- \"TarvoVCam.ax\"\n"
        "--[[ '.version' ]] x = 'TarvoVCam.ax' .. [==[\n.version]==] .. \"configure\\ncamera.ini\"\n"
        "y = [[configure/camera.ini]] .. \"no such entry\" .. [[TarvoVCam.ax]]";
    EXPECT_EQ(
        expectedEntries(text, *payload.get()),
        (std::vector<std::u16string>{u16("configure/camera.ini"), u16("TarvoVCam.ax"), u16(".version")}));
    EXPECT_TRUE(expectedEntries("[[unclosed .version", *payload.get()).empty());
}

TEST_F(ReadAhead, AnswersMatchAPlainExtractionInOrderSkippingRetryingAndOutOfOrder) {
    {
        EntryReadAhead ahead(payload, order);
        EXPECT_TRUE(ahead.threadRunning());
        expectSameAsPlain(ahead, order);
    }
    {
        // Skips ahead (entries decoded ahead and never asked for are dropped), asks again (a retry),
        // goes back, and asks for names outside the order.
        EntryReadAhead ahead(payload, order);
        size_t n = order.size();
        std::vector<std::u16string> asks = {order[0],         order[3],       order[3],         order[1],
                                            order[n / 2],     u16("no/such"), order[n / 2 + 1], order[n - 1],
                                            order[n / 2 + 2], order[2]};
        expectSameAsPlain(ahead, asks);
    }
    for (EntryReadAhead::Limits limits :
         {EntryReadAhead::Limits{1, 1u << 30}, EntryReadAhead::Limits{8, 1024}}) {
        // One entry at a time; and a budget that leaves most entries to be decoded on demand.
        EntryReadAhead ahead(payload, order, limits);
        expectSameAsPlain(ahead, order);
    }
    EntryReadAhead empty(payload, {});
    EXPECT_FALSE(empty.threadRunning());
    expectSameAsPlain(empty, {order[0], u16("no/such")});
}

TEST_F(ReadAhead, ADamagedEntryFailsWhereItIsAskedFor) {
    OwnedArchive damaged;
    ASSERT_TRUE(damaged.openInPlace(currentFileSystem(), L"damaged.lz"));
    std::vector<std::u16string> names = expectedEntries("f('cut.txt') f('whole.txt')", *damaged.get());
    ASSERT_EQ(names.size(), 2u);
    EntryReadAhead ahead(damaged, names);
    Extracted cut = take(ahead, u16("cut.txt"));
    EXPECT_EQ(cut.result, PackResult::Damaged);
    EXPECT_LT(cut.bytes.size(), 4450u);
    EXPECT_TRUE(cut == plain(*damaged.get(), u16("cut.txt")));
    Extracted whole = take(ahead, u16("whole.txt"));
    EXPECT_EQ(whole.result, PackResult::Ok);
    EXPECT_EQ(whole.bytes.size(), 4450u);
}

TEST_F(ReadAhead, DroppedHalfwayItLeavesNoThreadHandleOrBuffer) {
    const DWORD self = GetCurrentProcessId();
    const int threads = testsupport::threadCount(self);
    DWORD handles = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handles));
    const size_t heap = testsupport::heapInUse();
    {
        EntryReadAhead ahead(payload, order);
        take(ahead, order[0]);
        EXPECT_EQ(testsupport::threadCount(self), threads + 1);
        // Let it fill its budget: the heap grows by what it holds ahead.
        EXPECT_TRUE(testsupport::pumpUntil([&] { return testsupport::heapInUse() > heap + 4096; }, 10000));
    }
    EXPECT_TRUE(testsupport::pumpUntil([&] { return testsupport::threadCount(self) == threads; }, 10000));
    DWORD after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_EQ(after, handles);
    EXPECT_LT(testsupport::heapInUse(), heap + 1024);
}

}  // namespace
