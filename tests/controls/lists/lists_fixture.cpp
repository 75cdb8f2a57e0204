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

[[maybe_unused]] ::testing::Environment* const environment = testsupport::addUiEnvironment(
    {{{L"lists_skin.lz", 302}}, L"lists_skin.lz", nullptr, [](duiFactory::ControlCreatorRegistry& creators) {
         registerControlCreators(creators);
         creators.add<TestItem>(L"TestItem");
         creators.add<TestScrollBar>(L"TestScrollBar");
     }});

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

WindowImpl* ListsTest::open(const std::string& xml, int x, int y) {
    WindowImpl* window = WindowFixture::open(xml, x, y);
    if (!window)
        return nullptr;
    EXPECT_TRUE(testsupport::bringToFront(window->handle()));
    settle(window);
    return window;
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

}  // namespace liststest
