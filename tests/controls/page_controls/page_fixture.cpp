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

[[maybe_unused]] ::testing::Environment* const environment = testsupport::addUiEnvironment(
    {{{L"page_skin.lz", 401}}, L"page_skin.lz", nullptr, [](duiFactory::ControlCreatorRegistry& creators) {
         registerControlCreators(creators);
         creators.add<Probe>(L"Probe");
     }});

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

WindowImpl* PageTest::open(const std::string& xml, int x, int y) {
    WindowImpl* window = WindowFixture::open(xml, x, y);
    if (window) {
        EXPECT_TRUE(settle(window));
    }
    return window;
}

uint32_t PageTest::pixel(WindowImpl* window, int x, int y) {
    EXPECT_TRUE(settle(window));
    return bufferPixel(window, x, y);
}

uint32_t PageTest::bufferPixel(WindowImpl* window, int x, int y) {
    return testsupport::backBufferPixel(window, x, y);
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
