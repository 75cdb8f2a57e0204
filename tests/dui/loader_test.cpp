#include <gtest/gtest.h>

#include <malloc.h>
#include <memory>
#include <string>

#include "dui/context_parts.h"
#include "dui/factory.h"
#include "dui/loader.h"
#include "dui/panels.h"
#include "host/ui_context.h"
#include "test_window.h"

namespace {

// Stands in for the tab item class in these tests: keeps the page it is given.
class PageProbe : public Control, public PageOwner {
  public:
    ~PageProbe() override { delete page; }
    void setPage(Control* p) override {
        delete page;
        page = p;
        ++pagesSet;
    }
    Control* page = nullptr;
    int pagesSet = 0;
};

Control* findById(Control* c, int32_t id) {
    if (!c)
        return nullptr;
    if (c->getInt(attr::id, -1) == id)
        return c;
    for (Control* child = c->firstChild(); child; child = child->nextSibling())
        if (Control* hit = findById(child, id))
            return hit;
    return nullptr;
}

int countControls(Control* c) {
    int n = c ? 1 : 0;
    for (Control* child = c ? c->firstChild() : nullptr; child; child = child->nextSibling())
        n += countControls(child);
    return n;
}

class Loader : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(uiContext(), nullptr);
        uiParts()->controlCreators->add<PageProbe>(L"TabItem");
        ASSERT_TRUE(loadLayouts(L"test_layouts.lz"));
    }
};

TEST_F(Loader, WindowRootIsAGridWithChildrenInDocumentOrder) {
    std::unique_ptr<Control> root(loadLayout(L"sample_loader.xml"));
    ASSERT_NE(root, nullptr);
    EXPECT_NE(dynamic_cast<Grid*>(root.get()), nullptr);
    EXPECT_STREQ(root->typeName(), L"Panel");
    EXPECT_EQ(root->getInt(attr::id, -1), 1);
    EXPECT_EQ(root->getSize(attr::initSize, SIZE{}).cx, 640);
    EXPECT_STREQ(root->getText(attr::style), L"window.xml");
    auto* grid = static_cast<Panel*>(root.get());
    ASSERT_EQ(grid->childCount(), 2);
    EXPECT_NE(dynamic_cast<StackPanel*>(grid->childAt(0)), nullptr);
    EXPECT_NE(dynamic_cast<PageProbe*>(grid->childAt(1)), nullptr);
    EXPECT_EQ(grid->childAt(0)->parent(), root.get());
    EXPECT_EQ(root->window(), nullptr) << "the tree is built detached";
    EXPECT_FALSE(isLiveControl(root.get()));
}

TEST_F(Loader, UnknownElementsAreSkippedWithTheirSubtree) {
    std::unique_ptr<Control> root(loadLayout(L"sample_loader.xml"));
    ASSERT_NE(root, nullptr);
    auto* stack = static_cast<Panel*>(static_cast<Panel*>(root.get())->childAt(0));
    ASSERT_EQ(stack->childCount(), 3) << "Canvas, Canvas, DockPanel; Frame and its Grid are gone";
    EXPECT_EQ(stack->childAt(0)->getInt(attr::id, -1), 3);
    EXPECT_EQ(stack->childAt(1)->getInt(attr::id, -1), 4);
    EXPECT_EQ(stack->childAt(2)->getInt(attr::id, -1), 5);
    EXPECT_EQ(findById(root.get(), 99), nullptr);
    EXPECT_EQ(findById(root.get(), 98), nullptr);
}

TEST_F(Loader, TabItemKeepsOnlyItsFirstChildAsPage) {
    std::unique_ptr<Control> root(loadLayout(L"sample_loader.xml"));
    auto* tab = dynamic_cast<PageProbe*>(static_cast<Panel*>(root.get())->childAt(1));
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->pagesSet, 1);
    ASSERT_NE(tab->page, nullptr);
    EXPECT_EQ(tab->page->getInt(attr::id, -1), 7);
    EXPECT_EQ(countControls(tab->page), 2) << "the page is built with its own subtree";
    EXPECT_EQ(tab->firstChild(), nullptr);
}

TEST_F(Loader, FlagAttributesTakeOnlyTheCharacterOne) {
    std::unique_ptr<Control> root(loadLayout(L"sample_loader.xml"));
    Control* hiddenByTrue = findById(root.get(), 3);
    Control* shownByOne = findById(root.get(), 4);
    ASSERT_TRUE(hiddenByTrue && shownByOne);
    EXPECT_FALSE(hiddenByTrue->hasFlag(flag::visible)) << "\"true\" clears the bit";
    EXPECT_TRUE(shownByOne->hasFlag(flag::visible));
    EXPECT_FALSE(shownByOne->hasFlag(flag::enabled));
    EXPECT_TRUE(shownByOne->hasFlag(flag::transparent));
    EXPECT_TRUE(hiddenByTrue->hasFlag(flag::enabled)) << "untouched bits keep the class value";
}

TEST_F(Loader, AttributesGoThroughTheSetters) {
    std::unique_ptr<Control> root(loadLayout(L"sample_loader.xml"));
    Control* stack = findById(root.get(), 2);
    ASSERT_NE(stack, nullptr);
    EXPECT_EQ(stack->getInt(attr::width, -1), 120) << "the later duplicate wins";
    EXPECT_EQ(stack->getInt(attr::orientation, 0), attr::horizontal);
    RECT m = stack->getRect(attr::margin);
    EXPECT_EQ(m.left + m.top + m.right + m.bottom, 10);
    Control* dock = findById(root.get(), 5);
    ASSERT_NE(dock, nullptr);
    EXPECT_STREQ(dock->getText(attr::tooltip), L"&amp; stays &lt;literal&gt;") << "no entity translation";
    EXPECT_EQ(dock->getInt(attr::horizontalAlign, -1), 0);
    EXPECT_EQ(dock->findInt(attr::scrollvertical), nullptr) << "no setter: XML cannot set it";
}

TEST_F(Loader, TwoLoadsGiveIndependentTrees) {
    std::unique_ptr<Control> a(loadLayout(L"sample_loader.xml"));
    std::unique_ptr<Control> b(loadLayout(L"sample_loader.xml"));
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(countControls(a.get()), countControls(b.get()));
    findById(a.get(), 2)->setInt(attr::width, 1);
    EXPECT_EQ(findById(b.get(), 2)->getInt(attr::width, -1), 120);
    a.reset();
    EXPECT_EQ(findById(b.get(), 5)->getInt(attr::id, -1), 5);
}

TEST_F(Loader, SamplePanelsLayOutAsExpected) {
    std::unique_ptr<Control> root(loadLayout(L"sample_panels.xml"));
    ASSERT_NE(root, nullptr);
    TestWindow window(400, 300);
    root->attach(&window);
    EXPECT_EQ(window.ids.size(), 9u);
    measureControl(root.get(), SIZE{400, 300});
    arrangeControl(root.get(), RECT{0, 0, 400, 300});
    auto rectOf = [&](int id) { return window.ids.at(id)->bounds(); };
    auto same = [](RECT r, RECT e) {
        return r.left == e.left && r.top == e.top && r.right == e.right && r.bottom == e.bottom;
    };
    EXPECT_TRUE(same(rectOf(2), RECT{0, 0, 400, 300}));
    EXPECT_TRUE(same(rectOf(10), RECT{0, 0, 400, 50}));
    EXPECT_TRUE(same(rectOf(11), RECT{0, 0, 400, 20}));
    EXPECT_TRUE(same(rectOf(12), RECT{0, 20, 400, 50}));
    EXPECT_TRUE(same(rectOf(13), RECT{0, 50, 100, 300}));
    EXPECT_TRUE(same(rectOf(14), RECT{50, 230, 90, 240}));
    EXPECT_TRUE(same(rectOf(15), RECT{105, 55, 395, 295}));
    EXPECT_TRUE(same(rectOf(16), RECT{240, 0, 290, 240}));
    RECT r;
    ASSERT_TRUE(window.ids.at(16)->windowRect(&r));
    EXPECT_TRUE(same(r, RECT{345, 55, 395, 295}));
    root->detach();
}

TEST_F(Loader, MissingEntriesArchivesAndElementsAnswerNull) {
    EXPECT_EQ(loadLayout(L"no_such_entry.xml"), nullptr);
    EXPECT_EQ(loadLayout(L"Sample_Loader.xml"), nullptr) << "names are case-sensitive";
    ASSERT_TRUE(loadLayouts(L"bad_layouts.lz"));
    EXPECT_EQ(loadLayout(L"empty.xml"), nullptr);
    EXPECT_EQ(loadLayout(L"frame_root.xml"), nullptr);
    EXPECT_FALSE(loadLayouts(L"missing.lz"));
    EXPECT_EQ(loadLayout(L"sample_loader.xml"), nullptr) << "the old store was released";
    EXPECT_EQ(buildLayout("", 0), nullptr);
}

std::string parseErrorOf(const wchar_t* entry) {
    try {
        std::unique_ptr<Control> root(loadLayout(entry));
    } catch (const rapidxml::parse_error& e) {
        return e.what();
    }
    return "no error";
}

TEST_F(Loader, MalformedLayoutsRaiseTheParserError) {
    ASSERT_TRUE(loadLayouts(L"bad_layouts.lz"));
    EXPECT_EQ(parseErrorOf(L"bom.xml"), "expected <");
    EXPECT_EQ(parseErrorOf(L"unclosed.xml"), "unexpected end of data");
    EXPECT_EQ(parseErrorOf(L"unquoted.xml"), "expected ' or \"");
}

// Nesting beyond what the stack takes (the parser and every tree walk recurse per level) is refused
// like any malformed layout; the limit leaves room for far deeper layouts than real ones.
TEST_F(Loader, DeeplyNestedLayoutsRaiseTheParserError) {
    auto nested = [](int depth) {
        std::string xml = "<!-- <Grid> --><Grid text=\"<Grid>\">";
        for (int i = 1; i < depth; ++i) xml += "<StackPanel><Canvas/>";
        for (int i = 1; i < depth; ++i) xml += "</StackPanel>";
        return xml + "</Grid>";
    };
    std::string deepest = nested(256);
    std::unique_ptr<Control> root(buildLayout(deepest.data(), deepest.size()));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(countControls(root.get()), 1 + 2 * 255);
    std::string tooDeep = nested(20000);
    try {
        std::unique_ptr<Control> refused(buildLayout(tooDeep.data(), tooDeep.size()));
        ADD_FAILURE() << "a layout nested 20,000 deep was built";
    } catch (const rapidxml::parse_error& e) {
        EXPECT_STREQ(e.what(), "element nesting too deep");
    }
}

// Busy blocks and bytes of the C runtime's heap.
struct HeapCount {
    std::size_t blocks = 0;
    std::size_t bytes = 0;
};
HeapCount crtHeapCount() {
    HeapCount c;
    auto heap = reinterpret_cast<HANDLE>(_get_heap_handle());
    PROCESS_HEAP_ENTRY entry{};
    HeapLock(heap);
    while (HeapWalk(heap, &entry)) {
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
            ++c.blocks;
            c.bytes += entry.cbData;
        }
    }
    HeapUnlock(heap);
    return c;
}

TEST_F(Loader, AParseErrorReleasesTheEntryAndTheText) {
    ASSERT_TRUE(loadLayouts(L"bad_layouts.lz"));
    // Warm up whatever the runtime allocates once for exceptions.
    for (int i = 0; i < 3; ++i) parseErrorOf(L"unclosed.xml");
    HeapCount before = crtHeapCount();
    ASSERT_GT(before.blocks, 0u) << "the heap walk sees the runtime heap";
    for (int i = 0; i < 50; ++i) {
        parseErrorOf(L"unclosed.xml");
        parseErrorOf(L"bom.xml");
    }
    HeapCount after = crtHeapCount();
    EXPECT_EQ(after.blocks, before.blocks);
    EXPECT_EQ(after.bytes, before.bytes);
}

TEST_F(Loader, ChildrenOfNonContainersAreIgnored) {
    uiParts()->controlCreators->add<Control>(L"TestLeaf");
    const char xml[] = "<Grid><TestLeaf id=\"1\"><Grid id=\"2\"/></TestLeaf></Grid>";
    std::unique_ptr<Control> root(buildLayout(xml, sizeof(xml) - 1));
    ASSERT_NE(root, nullptr);
    Control* leaf = root->firstChild();
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->firstChild(), nullptr);
    EXPECT_EQ(countControls(root.get()), 2);
}

TEST(CreatorRegistries, PanelNamesAndExactLookup) {
    std::unique_ptr<duiFactory::ControlCreatorRegistry> controls(createControlCreators());
    ASSERT_NE(controls, nullptr);
    EXPECT_EQ(controls->size(), 5u);
    for (const wchar_t* name : {L"Canvas", L"StackPanel", L"DockPanel", L"Grid", L"Window"}) {
        std::unique_ptr<Control> c(controls->create(name));
        ASSERT_NE(c, nullptr);
        EXPECT_TRUE(c->hasFlag(flag::container));
    }
    std::unique_ptr<Control> w(controls->create(L"Window"));
    EXPECT_NE(dynamic_cast<Grid*>(w.get()), nullptr);
    EXPECT_EQ(controls->find(L"window"), nullptr);
    EXPECT_EQ(controls->create(L"Frame"), nullptr);
    std::unique_ptr<duiFactory::StyleCreatorRegistry> styles(createStyleCreators());
    ASSERT_NE(styles, nullptr);
}

}  // namespace
