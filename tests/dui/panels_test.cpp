#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "dui/panels.h"
#include "host/handles.h"
#include "test_window.h"

namespace {

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
#define EXPECT_RECT(r, l, t, ri, b)               \
    EXPECT_TRUE(sameRect((r), RECT{l, t, ri, b})) \
        << (r).left << "," << (r).top << "," << (r).right << "," << (r).bottom

Control* sized(int w, int h) {
    auto* c = new Control;
    if (w >= 0)
        c->setInt(attr::width, w);
    if (h >= 0)
        c->setInt(attr::height, h);
    return c;
}

// A leaf whose content has a fixed size.
struct Fixed : Control {
    SIZE content;
    Fixed(int w, int h) : content{w, h} {}
    SIZE measure(SIZE) override { return content; }
};

// Attaches a root to a real window and runs both layout passes over the window's size.
class Layout : public ::testing::Test {
  protected:
    void run(Control* r, int w, int h) {
        root.reset(r);
        root->attach(&window);
        measureControl(root.get(), SIZE{w, h});
        arrangeControl(root.get(), RECT{0, 0, w, h});
    }
    void TearDown() override {
        if (root && root->window())
            root->detach();
    }
    TestWindow window{800, 600};
    std::unique_ptr<Control> root;
};

TEST_F(Layout, VerticalStackPanelStacksAndStretches) {
    auto* sp = new StackPanel;
    sp->setInt(attr::width, 200);
    sp->setInt(attr::horizontalAlign, attr::left);
    sp->setInt(attr::verticalAlign, attr::top);
    Control* a = sized(-1, 30);
    Control* b = sized(-1, 40);
    sp->addChild(a);
    sp->addChild(b);
    run(sp, 800, 600);
    EXPECT_EQ(sp->desiredSize().cx, 200);
    EXPECT_EQ(sp->desiredSize().cy, 70);
    EXPECT_RECT(sp->bounds(), 0, 0, 200, 70);
    EXPECT_RECT(a->bounds(), 0, 0, 200, 30);
    EXPECT_RECT(b->bounds(), 0, 30, 200, 70);
}

TEST_F(Layout, HorizontalStackPanelSumsWidths) {
    auto* sp = new StackPanel;
    sp->setInt(attr::orientation, attr::horizontal);
    Control* a = sized(50, 10);
    Control* b = sized(70, 20);
    a->setInt(attr::verticalAlign, attr::top);
    b->setInt(attr::verticalAlign, attr::top);
    sp->addChild(a);
    sp->addChild(b);
    run(sp, 300, 100);
    EXPECT_EQ(sp->desiredSize().cx, 120);
    EXPECT_EQ(sp->desiredSize().cy, 20);
    EXPECT_RECT(a->bounds(), 0, 0, 50, 10);
    EXPECT_RECT(b->bounds(), 50, 0, 120, 20);
}

TEST_F(Layout, CanvasCountsNegativePositionsFromTheFarEdges) {
    auto* canvas = new Canvas;
    canvas->setInt(attr::width, 300);
    canvas->setInt(attr::height, 200);
    Control* c = sized(40, 10);
    c->setInt(attr::x, -50);
    c->setInt(attr::y, -20);
    Control* d = sized(5, 5);
    d->setInt(attr::x, 7);
    canvas->addChild(c);
    canvas->addChild(d);
    run(canvas, 800, 600);
    EXPECT_EQ(canvas->desiredSize().cx, 300);
    EXPECT_RECT(c->bounds(), 250, 180, 290, 190);
    EXPECT_RECT(d->bounds(), 7, 0, 12, 5);
}

TEST_F(Layout, DockPanelEdgesAndTheLastChildFills) {
    auto* dock = new DockPanel;
    Control* top = new Fixed(400, 50);
    top->setInt(attr::dock, attr::top);
    Control* left = new Fixed(100, 10);
    Control* fill = new Control;
    fill->setInt(attr::dock, attr::top);  // the last child fills whatever its dock
    dock->addChild(top);
    dock->addChild(left);
    dock->addChild(fill);
    run(dock, 400, 300);
    EXPECT_RECT(top->bounds(), 0, 0, 400, 50);
    EXPECT_RECT(left->bounds(), 0, 50, 100, 300);
    EXPECT_RECT(fill->bounds(), 100, 50, 400, 300);
}

TEST_F(Layout, DockPanelRightBottomAndOtherKeywords) {
    auto* dock = new DockPanel;
    dock->setInt(attr::horizontalAlign, attr::left);
    dock->setInt(attr::verticalAlign, attr::top);
    Control* right = new Fixed(30, 20);
    right->setInt(attr::dock, attr::right);
    Control* centre = new Fixed(10, 15);
    centre->setInt(attr::dock, attr::center);
    Control* bottom = new Fixed(25, 10);
    bottom->setInt(attr::dock, attr::bottom);
    Control* last = new Fixed(5, 5);
    dock->addChild(right);
    dock->addChild(centre);
    dock->addChild(bottom);
    dock->addChild(last);
    run(dock, 400, 300);
    // Measure: right adds 30 wide / band 20 high; centre adds nothing; bottom adds 10 high at width 30+25;
    // the last child (dock absent = left) adds 5 wide, band max(20, 10 + 5).
    EXPECT_EQ(dock->desiredSize().cx, 55);
    EXPECT_EQ(dock->desiredSize().cy, 20);
    // Arrange in 55 x 20: right at 25..55; centre placed at the bottom; bottom above it.
    EXPECT_RECT(right->bounds(), 25, 0, 55, 20);
    EXPECT_RECT(centre->bounds(), 0, 5, 25, 20);
    EXPECT_RECT(bottom->bounds(), 0, 0, 25, 10);  // y = max(T, B) with B = 20 - 15 - 10
    EXPECT_RECT(last->bounds(), 0, 0, 0, 0);      // what is left has a negative height
}

TEST_F(Layout, MarginsWithRightAlignmentAndCentreAlignment) {
    auto* grid = new Grid;
    Control* c = sized(50, -1);
    c->setRect(attr::margin, 5, 5, 5, 5);
    c->setInt(attr::horizontalAlign, attr::right);
    grid->addChild(c);
    Control* d = sized(40, 10);
    d->setInt(attr::horizontalAlign, attr::center);
    d->setInt(attr::verticalAlign, attr::top);
    grid->addChild(d);
    run(grid, 200, 100);
    EXPECT_RECT(c->bounds(), 145, 5, 195, 95);
    EXPECT_EQ(c->desiredSize().cx, 60);

    arrangeControl(d, RECT{0, 0, 101, 50});
    EXPECT_EQ(d->bounds().left, 30);
    EXPECT_EQ(d->bounds().right, 70);
    // Division truncates toward zero: (-11 + -4) / 2 is -7.
    arrangeControl(d, RECT{-11, 0, 29, 50});
    EXPECT_EQ(d->bounds().left, -11);
    d->setInt(attr::width, 4);
    measureControl(d, SIZE{100, 100});
    arrangeControl(d, RECT{-11, 0, 0, 50});
    EXPECT_EQ(d->bounds().left, -7);
    // Bottom alignment and a control larger than its slot.
    d->setInt(attr::verticalAlign, attr::bottom);
    arrangeControl(d, RECT{0, 0, 100, 50});
    EXPECT_RECT(d->bounds(), 48, 40, 52, 50);
    d->setInt(attr::height, 80);
    measureControl(d, SIZE{100, 100});
    arrangeControl(d, RECT{0, 0, 100, 50});
    EXPECT_EQ(d->bounds().top, 0);
    EXPECT_EQ(d->bounds().bottom, 80);
}

TEST_F(Layout, GridStacksChildrenAndTheSecondIsOnTop) {
    auto* grid = new Grid;
    Control* a = new Control;
    Control* b = new Control;
    grid->addChild(a);
    grid->addChild(b);
    grid->setInt(attr::rows, 3);  // accepted, changes nothing
    run(grid, 120, 80);
    EXPECT_RECT(a->bounds(), 0, 0, 120, 80);
    EXPECT_RECT(b->bounds(), 0, 0, 120, 80);
    EXPECT_EQ(grid->hitTest(POINT{10, 10}), b);
    EXPECT_EQ(grid->childAt(0), a);
    EXPECT_EQ(grid->childAt(1), b);
    EXPECT_EQ(grid->childAt(2), nullptr);
    EXPECT_EQ(grid->childAt(-1), nullptr);
    EXPECT_EQ(grid->childCount(), 2);
}

TEST_F(Layout, CollapsedLeavesLayoutInvisibleDoesNot) {
    auto* sp = new StackPanel;
    Control* hidden = sized(-1, 20);
    hidden->setFlag(flag::visible, false);
    Control* collapsed = sized(-1, 30);
    collapsed->setFlag(flag::collapsed, true);
    Control* after = sized(-1, 10);
    sp->addChild(hidden);
    sp->addChild(collapsed);
    sp->addChild(after);
    run(sp, 100, 100);
    EXPECT_RECT(hidden->bounds(), 0, 0, 100, 20);
    EXPECT_EQ(collapsed->desiredSize().cy, 0);
    EXPECT_RECT(collapsed->bounds(), 0, 0, 0, 0);
    EXPECT_RECT(after->bounds(), 0, 20, 100, 30);
    EXPECT_EQ(sp->hitTest(POINT{5, 5}), sp) << "an invisible child is not hit";
}

TEST_F(Layout, ZeroContentStretchesButLeftAlignedGetsNothing) {
    auto* grid = new Grid;
    Control* stretched = new Control;
    Control* leftAligned = new Control;
    leftAligned->setInt(attr::horizontalAlign, attr::left);
    Control* unknownWord = sized(10, 10);
    unknownWord->setInt(attr::horizontalAlign, 0);  // "middle" stores 0: aligned as left
    grid->addChild(stretched);
    grid->addChild(leftAligned);
    grid->addChild(unknownWord);
    run(grid, 60, 40);
    EXPECT_RECT(stretched->bounds(), 0, 0, 60, 40);
    EXPECT_RECT(leftAligned->bounds(), 0, 0, 0, 0);
    EXPECT_RECT(unknownWord->bounds(), 0, 15, 10, 25);
}

TEST_F(Layout, SlotsSmallerThanMarginsAndDetachedControls) {
    auto* grid = new Grid;
    Control* c = new Control;
    c->setRect(attr::margin, 30, 0, 30, 0);
    grid->addChild(c);
    run(grid, 60, 40);
    EXPECT_EQ(c->desiredSize().cx, 0) << "available width after margins is 0";
    EXPECT_RECT(c->bounds(), 0, 0, 0, 0);

    Control loose;
    loose.setInt(attr::width, 10);
    loose.setDesiredSize(SIZE{3, 3});
    loose.setBounds(RECT{1, 2, 3, 4});
    SIZE s = measureControl(&loose, SIZE{100, 100});
    EXPECT_EQ(s.cx, 0);
    EXPECT_EQ(loose.desiredSize().cx, 3) << "left as it was";
    arrangeControl(&loose, RECT{0, 0, 100, 100});
    EXPECT_RECT(loose.bounds(), 0, 0, 0, 0);
}

TEST_F(Layout, UnlimitedLengthForStackAndCanvasChildren) {
    struct Probe : Control {
        SIZE seen{0, 0};
        SIZE measure(SIZE available) override {
            seen = available;
            return SIZE{1, 1};
        }
    };
    auto* canvas = new Canvas;
    auto* probe = new Probe;
    canvas->addChild(probe);
    auto* sp = new StackPanel;
    auto* probe2 = new Probe;
    sp->addChild(probe2);
    auto* grid = new Grid;
    grid->addChild(canvas);
    grid->addChild(sp);
    run(grid, 300, 200);
    EXPECT_EQ(probe->seen.cx, 65536);
    EXPECT_EQ(probe->seen.cy, 65536);
    EXPECT_EQ(probe2->seen.cx, 300);
    EXPECT_EQ(probe2->seen.cy, 65536);
}

// Records what it was asked to paint and the clip box of the DC at that moment.
struct PaintProbe : Control {
    std::vector<RECT>* log;
    explicit PaintProbe(std::vector<RECT>* l) : log(l) {}
    void paint(HDC dc, const RECT& rect, const RECT& clip) override {
        RECT box;
        GetClipBox(dc, &box);
        log->push_back(rect);
        log->push_back(clip);
        log->push_back(box);
    }
};

TEST_F(Layout, PanelPaintsVisibleChildrenClippedAndRestoresTheDc) {
    std::vector<RECT> log;
    auto* grid = new Grid;
    auto* a = new PaintProbe(&log);
    auto* hidden = new PaintProbe(&log);
    auto* collapsed = new PaintProbe(&log);
    auto* outside = new PaintProbe(&log);
    grid->addChild(a);
    grid->addChild(hidden);
    grid->addChild(collapsed);
    grid->addChild(outside);
    run(grid, 100, 100);
    a->setBounds(RECT{10, 10, 60, 60});
    hidden->setBounds(RECT{0, 0, 50, 50});
    hidden->setFlag(flag::visible, false);
    collapsed->setBounds(RECT{0, 0, 50, 50});
    collapsed->setFlag(flag::collapsed, true);
    outside->setBounds(RECT{90, 90, 99, 99});

    win::unique_hdc dc(CreateCompatibleDC(nullptr));
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = 200;
    bi.bmiHeader.biHeight = -200;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    win::unique_hbitmap bmp(CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    auto selected = win::select_object(dc.get(), bmp.get());
    int depth = SaveDC(dc.get());
    RestoreDC(dc.get(), depth);

    // The panel drawn at (20, 20) of the surface, with a clip that cuts the first child.
    grid->paint(dc.get(), RECT{20, 20, 120, 120}, RECT{20, 20, 50, 110});
    ASSERT_EQ(log.size(), 3u) << "hidden, collapsed and clipped-away children are skipped";
    EXPECT_RECT(log[0], 30, 30, 80, 80);
    EXPECT_RECT(log[1], 30, 30, 50, 80);
    EXPECT_RECT(log[2], 30, 30, 50, 80);
    RECT box;
    EXPECT_NE(GetClipBox(dc.get(), &box), ERROR);
    EXPECT_RECT(box, 0, 0, 200, 200) << "the clip region is gone after painting";
    EXPECT_EQ(SaveDC(dc.get()), depth) << "every SaveDC was restored";

    // A clip region of the caller's own is narrowed for the child, not replaced, and is back after.
    log.clear();
    win::unique_hrgn callers(CreateRectRgn(0, 0, 40, 200));
    SelectClipRgn(dc.get(), callers.get());
    grid->paint(dc.get(), RECT{20, 20, 120, 120}, RECT{20, 20, 50, 110});
    ASSERT_EQ(log.size(), 3u);
    EXPECT_RECT(log[2], 30, 30, 40, 80);
    GetClipBox(dc.get(), &box);
    EXPECT_RECT(box, 0, 0, 40, 200);
}

}  // namespace
