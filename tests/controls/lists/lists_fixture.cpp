#include "lists_fixture.h"

#include "controls/controls.h"
#include "dui/context_parts.h"
#include "dui/factory.h"
#include "dui/loader.h"
#include "host/resource_file_system.h"
#include "host/ui_context.h"
#include "render/skin_store.h"
#include "window/timer.h"

namespace liststest {

namespace {

class ListsEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        files_ = new ResourceFileSystem;
        files_->registerName(L"lists_skin.lz", 302);
        ASSERT_TRUE(createUiContextWithParts());
        UiParts* ui = uiParts();
        ASSERT_TRUE(ui->skin && ui->skin->loadSkin(L"lists_skin.lz"));
        registerControlCreators(*ui->controlCreators);
        ui->controlCreators->add<TestItem>(L"TestItem");
        ui->controlCreators->add<TestScrollBar>(L"TestScrollBar");
    }
    void TearDown() override { destroyUiContextWithParts(); }

  private:
    ResourceFileSystem* files_ = nullptr;  // lives to the process end, as the catalogue does
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new ListsEnvironment);

// A resting place for the cursor where no test window lies.
constexpr POINT kRestingCursor{1260, 20};

}  // namespace

EventCounter::EventCounter(Control* control, int32_t eventId) : control_(control), id_(eventId) {
    control_->addDelegate(id_, this, record);
}

EventCounter::~EventCounter() {
    if (isLiveControl(control_))
        control_->removeDelegate(id_, this, record);
}

void EventCounter::record(void* self, Control*, EventRecord& event) {
    auto* counter = static_cast<EventCounter*>(self);
    counter->values.push_back(event.wParam);
    counter->details.push_back(event.lParam);
    if (counter->onEvent)
        counter->onEvent();
}

InputScript::InputScript(std::function<void()> steps)
    : thread_([this, steps = std::move(steps)] {
          steps();
          done_ = true;
      }) {}

InputScript::~InputScript() {
    thread_.join();
}

bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= deadline)
            return condition();
        Sleep(5);
    }
    return true;
}

namespace {
bool cursorAt(POINT p) {
    POINT now{};
    return GetCursorPos(&now) && now.x == p.x && now.y == p.y;
}
}  // namespace

void scriptClick(POINT screen) {
    testsupport::moveMouse(screen);
    waitFor([&] { return cursorAt(screen); });
    testsupport::mouseDown();
    testsupport::mouseUp();
}

std::string items(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += "<TestItem text=\"item " + std::to_string(i) + "\"/>";
    return out;
}

void ListsTest::SetUp() {
    testsupport::moveMouse(kRestingCursor);
    testsupport::pumpFor(0);
}

void ListsTest::TearDown() {
    testsupport::mouseUp();
    for (HWND hwnd : windows) {
        if (IsWindow(hwnd))
            DestroyWindow(hwnd);
    }
    // A combo box's drop-down closes through a posted WM_CLOSE.
    testsupport::pumpUntil([] { return boundWindowCount() == 0; }, kDeadline);
    EXPECT_EQ(boundWindowCount(), 0u) << "a window object outlived its test";
    EXPECT_EQ(runningTimerCount(), 0u) << "a timer outlived its test";
    EXPECT_EQ(GetCapture(), nullptr);
}

WindowImpl* ListsTest::open(const std::string& xml, int x, int y) {
    Control* root = buildLayout(xml.data(), xml.size());
    EXPECT_NE(root, nullptr) << "the layout text built no tree";
    auto* window = new WindowImpl(root);
    if (!createNativeWindowEx(window, 0, L"lists test", WS_POPUP | WS_VISIBLE, x, y, 0, 0, nullptr, nullptr,
                              nullptr)) {
        ADD_FAILURE() << "the native window was not created";
        return nullptr;
    }
    windows.push_back(window->handle());
    EXPECT_TRUE(testsupport::waitVisible(window->handle(), true, kDeadline));
    EXPECT_TRUE(testsupport::bringToFront(window->handle()));
    settle(window);
    return window;
}

Control* ListsTest::byId(WindowImpl* window, int32_t id) {
    Control* c = window ? window->controlById(id) : nullptr;
    EXPECT_NE(c, nullptr) << "no control with id " << id;
    return c;
}

POINT ListsTest::pointIn(WindowImpl* window, const Control* control, int dx, int dy) {
    RECT r{};
    control->windowRect(&r);
    return testsupport::clientToScreen(window->handle(), POINT{r.left + dx, r.top + dy});
}

POINT ListsTest::centreOf(WindowImpl* window, const Control* control) {
    RECT r{};
    control->windowRect(&r);
    return pointIn(window, control, (r.right - r.left) / 2, (r.bottom - r.top) / 2);
}

void ListsTest::clickOn(WindowImpl* window, const Control* control) {
    const POINT at = centreOf(window, control);
    testsupport::moveMouse(at);
    EXPECT_TRUE(testsupport::pumpUntil([&] { return cursorAt(at) && window->hoveredControl() == control; },
                                       kDeadline));
    testsupport::mouseDown();
    testsupport::mouseUp();
}

void ListsTest::relayout(WindowImpl* window) {
    RECT client;
    GetClientRect(window->handle(), &client);
    measureControl(window->root(), SIZE{client.right, client.bottom});
    arrangeControl(window->root(), client);
    window->root()->invalidate(false);
}

bool ListsTest::settle(WindowImpl* window) {
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

}  // namespace liststest
