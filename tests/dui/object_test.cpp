#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <vector>
#include <memory>
#include <set>
#include <string>

#include "dui/checked.h"
#include "dui/delegate.h"
#include "dui/object.h"
#include "dui/setters.h"

namespace {

TEST(AttributeTable, DistinctNonzeroIdsInOrder) {
    std::set<AttributeId> ids;
    for (AttributeId id = 1; id <= attr::kCount; ++id) {
        const wchar_t* name = attributeName(id);
        ASSERT_NE(name, nullptr) << id;
        EXPECT_EQ(attributeId(name), id) << id;
        ids.insert(attributeId(name));
    }
    EXPECT_EQ(ids.size(), 107u);
    EXPECT_EQ(ids.count(0), 0u);
    EXPECT_EQ(attributeName(0), nullptr);
    EXPECT_EQ(attributeName(108), nullptr);
    // Spot checks at the group borders of the table.
    EXPECT_STREQ(attributeName(1), L"img");
    EXPECT_STREQ(attributeName(47), L"id");
    EXPECT_STREQ(attributeName(87), L"texteditable");
    EXPECT_STREQ(attributeName(88), L"left");
    EXPECT_STREQ(attributeName(100), L"never");
    EXPECT_STREQ(attributeName(101), L"tabIndex");
    EXPECT_EQ(attr::width, attributeId(L"width"));
    EXPECT_EQ(attr::true_, attributeId(L"true"));
    // Exact and case-sensitive.
    EXPECT_EQ(attributeId(L"Width"), 0);
    EXPECT_EQ(attributeId(L"widt"), 0);
    EXPECT_EQ(attributeId(L""), 0);
}

TEST(AttributeTable, KeywordsFillTheTailAndOnlyTheScrollNamesLackASetter) {
    for (AttributeId id = 1; id <= attr::kCount; ++id) {
        EXPECT_EQ(attributeKind(id) == AttributeKind::keyword,
                  id >= attr::kFirstKeyword && id <= attr::kLastKeyword)
            << id;
        EXPECT_EQ(attributeKind(id) == AttributeKind::unset,
                  id == attr::scrollvertical || id == attr::scrollhorizontal)
            << id;
    }
    EXPECT_EQ(attributeKind(0), AttributeKind::unset);
    EXPECT_EQ(attributeKind(attr::kCount + 1), AttributeKind::unset);
}

TEST(AttributeStore, SetOverwritesInPlaceAndDefaultsApply) {
    Object o;
    EXPECT_EQ(o.getInt(attr::width, -1), -1);
    EXPECT_EQ(o.findInt(attr::width), nullptr);
    RECT zero = o.getRect(attr::margin);
    EXPECT_EQ(zero.left | zero.top | zero.right | zero.bottom, 0);
    EXPECT_STREQ(o.getText(attr::text), L"");
    EXPECT_EQ(o.findText(attr::text), nullptr);
    EXPECT_FALSE(o.hasIntegers());

    o.setInt(attr::width, 10);
    const int32_t* first = o.findInt(attr::width);
    o.setInt(attr::width, 20);
    EXPECT_EQ(o.findInt(attr::width), first) << "overwrite keeps the node";
    EXPECT_EQ(o.getInt(attr::width, -1), 20);
    EXPECT_TRUE(o.hasIntegers());

    o.setSize(attr::initSize, 3, 4);
    o.setSize(attr::initSize, 5, 6);
    EXPECT_EQ(o.getSize(attr::initSize, SIZE{0, 0}).cx, 5);
    EXPECT_EQ(o.getSize(attr::initSize, SIZE{0, 0}).cy, 6);
    EXPECT_EQ(o.getSize(attr::roundCorner, SIZE{7, 8}).cx, 7);

    o.setRect(attr::margin, 1, 2, 3, 4);
    RECT m = o.getRect(attr::margin);
    EXPECT_EQ(m.left, 1);
    EXPECT_EQ(m.bottom, 4);

    // Same key in different lists is independent.
    o.setText(attr::width, L"wide");
    EXPECT_EQ(o.getInt(attr::width, -1), 20);
    EXPECT_STREQ(o.getText(attr::width), L"wide");

    o.setText(attr::text, L"short");
    o.setText(attr::style, L"a.xml");
    o.setText(attr::text, L"a much longer text than before, to force a new node");
    EXPECT_STREQ(o.getText(attr::text), L"a much longer text than before, to force a new node");
    EXPECT_STREQ(o.getText(attr::style), L"a.xml");
    o.setText(attr::text, nullptr);
    EXPECT_NE(o.findText(attr::text), nullptr);
    EXPECT_STREQ(o.getText(attr::text), L"");
    // Long texts (beyond the small-object limit) work too.
    std::wstring big(3000, L'x');
    o.setText(attr::url, big.c_str());
    EXPECT_EQ(std::wcslen(o.getText(attr::url)), 3000u);
}

TEST(AttributeStore, NodesComeFromTheSmallObjectAllocator) {
    // Warm the free lists, then check that a second round costs no general-heap call.
    auto round = [] {
        auto o = std::make_unique<Object>();
        for (AttributeId id = 1; id <= 40; ++id) {
            o->setInt(id, id);
            o->setRect(id, id, id, id, id);
            o->setText(id, L"some text");
        }
    };
    round();
    dui::AllocatorStats before = dui::allocatorStats();
    round();
    dui::AllocatorStats after = dui::allocatorStats();
    EXPECT_EQ(after.heapAllocs, before.heapAllocs);
    EXPECT_EQ(after.liveBlocks, before.liveBlocks);
}

TEST(SmallAllocator, SizeClassesLargeBlocksAndAlignment) {
    dui::AllocatorStats s0 = dui::allocatorStats();
    void* a = dui::smallAlloc(1);
    void* b = dui::smallAlloc(1024);
    void* c = dui::smallAlloc(1025);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 8, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 8, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(c) % 8, 0u);
    std::memset(b, 0xAB, 1024);
    std::memset(c, 0xCD, 1025);
    dui::AllocatorStats s1 = dui::allocatorStats();
    EXPECT_GE(s1.heapAllocs, s0.heapAllocs + 1) << "the large block is a heap call";
    dui::smallFree(c);
    EXPECT_EQ(dui::allocatorStats().heapFrees, s1.heapFrees + 1);
    dui::smallFree(b);
    dui::smallFree(a);
    // A freed cell is reused by the next request of its class; a checked build quarantines it first.
    if (dui::checkedBuild())
        dui::flushSmallQuarantine();
    void* again = dui::smallAlloc(1);
    EXPECT_EQ(again, a);
    dui::smallFree(again);
    dui::smallFree(nullptr);
    EXPECT_EQ(dui::allocatorStats().liveBlocks, s0.liveBlocks);

    // One refill serves 100 cells of a class.
    std::vector<void*> cells;
    dui::AllocatorStats r0 = dui::allocatorStats();
    for (int i = 0; i < 100; ++i) cells.push_back(dui::smallAlloc(1000));
    uint64_t refills = dui::allocatorStats().heapAllocs - r0.heapAllocs;
    EXPECT_LE(refills, 2u);
    for (void* p : cells) dui::smallFree(p);
}

// The checked build: a write into a freed block or delegate record fails a check when the memory is
// next reused, and a freed block reads as the poison pattern until then.
struct PoisonFailures {
    static inline std::vector<std::string> seen;
    static void record(const char* what, const void*) { seen.push_back(what); }
};

TEST(CheckedBuild, FreedMemoryIsPoisonedQuarantinedAndCheckedOnReuse) {
    if (!dui::checkedBuild())
        GTEST_SKIP() << "built without TARVO_CHECKED";
    dui::PoisonFailureFn previous = dui::setPoisonFailureHandler(PoisonFailures::record);
    PoisonFailures::seen.clear();

    auto* block = static_cast<unsigned char*>(dui::smallAlloc(40));
    std::memset(block, 0x11, 40);
    dui::smallFree(block);
    EXPECT_EQ(block[39], dui::kPoisonByte) << "freed payload is poisoned";
    void* other = dui::smallAlloc(40);
    EXPECT_NE(other, block) << "a freed cell waits in quarantine";
    dui::smallFree(other);
    dui::flushSmallQuarantine();
    EXPECT_TRUE(PoisonFailures::seen.empty());

    // Written after free: the check fails when the cell leaves the quarantine or is reused.
    auto* stale = static_cast<unsigned char*>(dui::smallAlloc(40));
    dui::smallFree(stale);
    stale[20] = 0x42;
    dui::flushSmallQuarantine();
    ASSERT_EQ(PoisonFailures::seen.size(), 1u);
    EXPECT_NE(PoisonFailures::seen[0].find("written after it was freed"), std::string::npos);

    // A delegate released twice, or called after its last release, is caught at that call.
    PoisonFailures::seen.clear();
    Delegate* d = Delegate::create(nullptr, nullptr);
    ASSERT_NE(d, nullptr);
    d->release();
    d->release();
    EventRecord e;
    d->invoke(nullptr, e);
    ASSERT_EQ(PoisonFailures::seen.size(), 2u);
    EXPECT_NE(PoisonFailures::seen[0].find("released after"), std::string::npos);
    EXPECT_NE(PoisonFailures::seen[1].find("called after"), std::string::npos);
    dui::flushDelegateQuarantine();
    EXPECT_EQ(PoisonFailures::seen.size(), 2u) << "nothing wrote into the record";
    dui::setPoisonFailureHandler(previous);
}

class Setters : public ::testing::Test {
  protected:
    void SetUp() override { registry.reset(createSetterRegistry()); }
    void apply(const wchar_t* name, const wchar_t* value) {
        const duiField::ISetter* s = registry->find(name);
        ASSERT_NE(s, nullptr) << "no setter";
        s->apply(o, value);
    }
    std::unique_ptr<duiField::SetterRegistry> registry;
    Object o;
};

TEST_F(Setters, RegistryHoldsTheNinetyTwoNamesWithTheirOwnIds) {
    ASSERT_EQ(registry->size(), 92u);
    int withSetter = 0;
    for (AttributeId id = 1; id <= attr::kCount; ++id) {
        const duiField::ISetter* s = registry->find(attributeName(id));
        if (!s)
            continue;
        ++withSetter;
        EXPECT_EQ(s->id(), id) << id;
    }
    EXPECT_EQ(withSetter, 92);
    EXPECT_EQ(registry->find(L"scrollvertical"), nullptr);
    EXPECT_EQ(registry->find(L"scrollhorizontal"), nullptr);
    EXPECT_EQ(registry->find(L"left"), nullptr);
    EXPECT_EQ(registry->find(L"visible"), nullptr);
    EXPECT_EQ(registry->find(L"Width"), nullptr);
    // Classes by name.
    EXPECT_NE(dynamic_cast<const duiField::TextSetter*>(registry->find(L"url")), nullptr);
    EXPECT_NE(dynamic_cast<const duiField::IntSetter*>(registry->find(L"texteditable")), nullptr);
    EXPECT_NE(dynamic_cast<const duiField::RectSetter*>(registry->find(L"progressScaleGrid")), nullptr);
    EXPECT_NE(dynamic_cast<const duiField::SizeSetter*>(registry->find(L"textpadding")), nullptr);
    EXPECT_NE(dynamic_cast<const duiField::EnumSetter*>(registry->find(L"tabPlacement")), nullptr);
    EXPECT_NE(dynamic_cast<const duiField::ColorSetter*>(registry->find(L"color")), nullptr);
}

TEST_F(Setters, IntegersReadLikePercentD) {
    apply(L"width", L"120");
    EXPECT_EQ(o.getInt(attr::width, -1), 120);
    apply(L"x", L"  -50px");
    EXPECT_EQ(o.getInt(attr::x, 0), -50);
    apply(L"y", L"+7");
    EXPECT_EQ(o.getInt(attr::y, 0), 7);
    apply(L"height", L"");
    EXPECT_EQ(o.getInt(attr::height, -1), 0) << "an empty value stores 0";
    apply(L"id", L"abc");
    EXPECT_EQ(o.getInt(attr::id, -1), 0);
    apply(L"multiline", L"true");
    EXPECT_EQ(o.getInt(attr::multiline, -1), 0) << "booleans are 1/0, not true/false";
    apply(L"multiline", L"1");
    EXPECT_EQ(o.getInt(attr::multiline, -1), 1);
    apply(L"rows", L"-");
    EXPECT_EQ(o.getInt(attr::rows, -1), 0);
}

TEST_F(Setters, RectanglesAndSizesStoreZeroForMissingParts) {
    apply(L"margin", L"1,2,3,4");
    RECT r = o.getRect(attr::margin);
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.right, 3);
    EXPECT_EQ(r.bottom, 4);
    apply(L"padding", L"5, -6,7");
    r = o.getRect(attr::padding);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, -6);
    EXPECT_EQ(r.right, 7);
    EXPECT_EQ(r.bottom, 0);
    apply(L"scaleGrid", L"9 ,9,9,9");  // a space before the comma ends the match
    r = o.getRect(attr::scaleGrid);
    EXPECT_EQ(r.left, 9);
    EXPECT_EQ(r.top, 0);
    EXPECT_NE(o.findRect(attr::scaleGrid), nullptr);
    apply(L"initSize", L"640,480");
    EXPECT_EQ(o.getSize(attr::initSize, SIZE{}).cx, 640);
    EXPECT_EQ(o.getSize(attr::initSize, SIZE{}).cy, 480);
    apply(L"roundCorner", L"8");
    EXPECT_EQ(o.getSize(attr::roundCorner, SIZE{1, 1}).cx, 8);
    EXPECT_EQ(o.getSize(attr::roundCorner, SIZE{1, 1}).cy, 0);
    apply(L"textpadding", L"");
    EXPECT_EQ(o.getSize(attr::textpadding, SIZE{1, 1}).cx, 0);
}

TEST_F(Setters, KeywordsAreExactAndOthersStoreZero) {
    apply(L"horizontalAlign", L"right");
    EXPECT_EQ(o.getInt(attr::horizontalAlign, -1), attr::right);
    apply(L"orientation", L"horizontal");
    EXPECT_EQ(o.getInt(attr::orientation, -1), attr::horizontal);
    apply(L"dock", L"never");
    EXPECT_EQ(o.getInt(attr::dock, -1), attr::never);
    apply(L"verticalAlign", L"middle");
    EXPECT_EQ(o.getInt(attr::verticalAlign, -1), 0);
    apply(L"textAlign", L"Left");
    EXPECT_EQ(o.getInt(attr::textAlign, -1), 0);
    apply(L"textPlacement", L"width");  // a table name that is no keyword
    EXPECT_EQ(o.getInt(attr::textPlacement, -1), 0);
    apply(L"tabPlacement", L"");
    EXPECT_EQ(o.getInt(attr::tabPlacement, -1), 0);
}

TEST_F(Setters, ColoursReadBlueGreenRed) {
    apply(L"textColor", L"#0000FF");
    EXPECT_EQ(o.getInt(attr::textColor, -1), 0x0000FF);
    EXPECT_EQ(GetRValue(o.getInt(attr::textColor, -1)), 255) << "0000FF is red";
    apply(L"textColor", L"#FF0000");
    EXPECT_EQ(GetBValue(o.getInt(attr::textColor, -1)), 255) << "FF0000 is blue";
    apply(L"color", L"#a1B2c3");
    EXPECT_EQ(o.getInt(attr::color, -1), 0xA1B2C3);
    apply(L"color", L"#zz12gg");
    EXPECT_EQ(o.getInt(attr::color, -1), 0x001200);
    apply(L"color", L"#FF");  // short: the missing digits are 0 and nothing past the end is read
    EXPECT_EQ(o.getInt(attr::color, -1), 0xFF0000);
    apply(L"color", L"");
    EXPECT_EQ(o.getInt(attr::color, -1), 0);
    apply(L"color", L"#123456789");
    EXPECT_EQ(o.getInt(attr::color, -1), 0x123456);
}

TEST_F(Setters, ShortTextsNeverReadPastTheirEnd) {
    // A value at the very end of a guarded page: reading past the terminator would fault.
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    char* pages = static_cast<char*>(
        VirtualAlloc(nullptr, si.dwPageSize * 2, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(pages + si.dwPageSize, si.dwPageSize, PAGE_NOACCESS, &old));
    auto tail = [&](const wchar_t* text) {
        size_t n = std::wcslen(text) + 1;
        wchar_t* p = reinterpret_cast<wchar_t*>(pages + si.dwPageSize) - n;
        std::wmemcpy(p, text, n);
        return p;
    };
    apply(L"color", tail(L"#1"));
    EXPECT_EQ(o.getInt(attr::color, -1), 0x100000);
    apply(L"margin", tail(L"1,2,"));
    EXPECT_EQ(o.getRect(attr::margin).right, 0);
    apply(L"width", tail(L"-"));
    apply(L"dock", tail(L"lef"));
    EXPECT_EQ(o.getInt(attr::dock, -1), 0);
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST_F(Setters, TextTakenAsItIs) {
    apply(L"text", L"&amp; \u5b89\u88c5");
    EXPECT_STREQ(o.getText(attr::text), L"&amp; \u5b89\u88c5");
    apply(L"style", L"");
    EXPECT_NE(o.findText(attr::style), nullptr);
}

}  // namespace
