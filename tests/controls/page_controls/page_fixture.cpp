#include "page_fixture.h"

#include "controls/controls.h"
#include "dui/context_parts.h"
#include "dui/factory.h"
#include "dui/loader.h"
#include "host/resource_file_system.h"
#include "host/ui_context.h"
#include "render/skin_store.h"
#include "window/timer.h"

namespace pagetest {

namespace {

class PageEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        files_ = new ResourceFileSystem;
        files_->registerName(L"page_skin.lz", 401);
        ASSERT_TRUE(createUiContextWithParts());
        UiParts* ui = uiParts();
        registerControlCreators(*ui->controlCreators);
        ui->controlCreators->add<Probe>(L"Probe");
        ASSERT_TRUE(ui->skin->loadSkin(L"page_skin.lz"));
    }
    void TearDown() override { destroyUiContextWithParts(); }

  private:
    ResourceFileSystem* files_ = nullptr;  // lives to the process end, as the catalogue does
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new PageEnvironment);

// Where the cursor rests between tests, away from every test window.
constexpr POINT kRestingCursor{1260, 780};

}  // namespace

void drain() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // belongs to whichever loop waits for it
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

Counter::Counter(Control* control, int32_t eventId) {
    control->addDelegate(eventId, this, record);
}

void Counter::record(void* context, Control* sender, EventRecord&) {
    static_cast<Counter*>(context)->flagsAt.push_back(sender->flags());
}

std::vector<bool> Counter::at(uint32_t mask) const {
    std::vector<bool> out;
    for (uint32_t f : flagsAt) out.push_back((f & mask) != 0);
    return out;
}

void Probe::paint(HDC dc, const RECT& rect, const RECT&) {
    painted.push_back(POINT{rect.left, rect.top});
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

void PageTest::SetUp() {
    testsupport::moveMouse(kRestingCursor);
    drain();
}

void PageTest::TearDown() {
    if (GetCapture())
        testsupport::mouseUp();
    for (HWND hwnd : windows) {
        if (IsWindow(hwnd))
            DestroyWindow(hwnd);
    }
    drain();
    EXPECT_EQ(boundWindowCount(), 0u) << "a window object outlived its test";
    EXPECT_EQ(runningTimerCount(), 0u) << "a timer outlived its test";
    EXPECT_EQ(GetCapture(), nullptr);
}

WindowImpl* PageTest::open(const std::string& xml, int x, int y) {
    Control* root = buildLayout(xml.data(), xml.size());
    EXPECT_NE(root, nullptr) << "the layout text built no tree";
    auto* window = new WindowImpl(root);
    if (!createNativeWindow(window, L"page test", WS_POPUP | WS_VISIBLE, x, y, 0, 0, nullptr, nullptr,
                            nullptr)) {
        ADD_FAILURE() << "the native window was not created";
        return nullptr;
    }
    windows.push_back(window->handle());
    EXPECT_TRUE(testsupport::waitVisible(window->handle(), true, kDeadline));
    EXPECT_TRUE(settle(window));
    return window;
}

Control* PageTest::byId(WindowImpl* window, int32_t id) {
    Control* c = window ? window->controlById(id) : nullptr;
    EXPECT_NE(c, nullptr) << "no control with id " << id;
    return c;
}

POINT PageTest::pointIn(WindowImpl* window, Control* control, int dx, int dy) {
    RECT r{};
    control->windowRect(&r);
    return testsupport::clientToScreen(window->handle(), POINT{r.left + dx, r.top + dy});
}

POINT PageTest::centreOf(WindowImpl* window, Control* control) {
    RECT r{};
    control->windowRect(&r);
    return pointIn(window, control, (r.right - r.left) / 2, (r.bottom - r.top) / 2);
}

bool PageTest::settle(WindowImpl* window) {
    HWND hwnd = window->handle();
    return testsupport::pumpUntil(
        [&] {
            MSG msg;
            RECT update;
            return !PeekMessageW(&msg, hwnd, kRepaintMessage, kRepaintMessage, PM_NOREMOVE) &&
                   !GetUpdateRect(hwnd, &update, FALSE);
        },
        kDeadline);
}

uint32_t PageTest::pixel(WindowImpl* window, int x, int y) {
    EXPECT_TRUE(settle(window));
    return bufferPixel(window, x, y);
}

uint32_t PageTest::bufferPixel(WindowImpl* window, int x, int y) {
    GdiFlush();
    const PaintSurface& surface = window->backBuffer();
    DIBSECTION section{};
    if (x < 0 || y < 0 || x >= surface.width() || y >= surface.height() ||
        GetObjectW(surface.bitmap(), sizeof(section), &section) != sizeof(section))
        return 0xFFFFFFFF;
    const auto* bits = static_cast<const uint32_t*>(section.dsBm.bmBits);
    return bits[static_cast<std::size_t>(y) * surface.width() + x] & 0xFFFFFF;
}

uint32_t PageTest::pixelIn(WindowImpl* window, Control* control, int dx, int dy) {
    RECT r{};
    control->windowRect(&r);
    return pixel(window, r.left + dx, r.top + dy);
}

void PageTest::moveTo(WindowImpl* window, POINT screen) {
    testsupport::moveMouse(screen);
    const POINT client = [&] {
        POINT p = screen;
        ScreenToClient(window->handle(), &p);
        return p;
    }();
    // Handled once the window reports the cursor there and the move message has been dispatched.
    testsupport::pumpUntil(
        [&] {
            const POINT now = window->cursorClientPosition();
            return now.x == client.x && now.y == client.y && !GetQueueStatus(QS_MOUSEMOVE);
        },
        kDeadline);
}

void PageTest::press(WindowImpl*) {
    testsupport::mouseDown();
    testsupport::pumpUntil(
        [] { return !GetQueueStatus(QS_MOUSEBUTTON) && (GetKeyState(VK_LBUTTON) & 0x8000); }, kDeadline);
    drain();
}

void PageTest::release(WindowImpl*) {
    testsupport::mouseUp();
    testsupport::pumpUntil(
        [] { return !GetQueueStatus(QS_MOUSEBUTTON) && !(GetKeyState(VK_LBUTTON) & 0x8000); }, kDeadline);
    drain();
}

void PageTest::clickAt(WindowImpl* window, POINT screen) {
    moveTo(window, screen);
    press(window);
    release(window);
}

}  // namespace pagetest
