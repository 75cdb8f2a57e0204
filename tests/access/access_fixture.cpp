#include "access_fixture.h"

#include <algorithm>

#include "dui/loader.h"
#include "host/handles.h"
#include "window/window_base.h"

namespace accesstest {

namespace {

std::vector<std::string>* noted = nullptr;  // the running test's happenings

void noteEvent(void* context, Control*, EventRecord& event) {
    if (!noted)
        return;
    const char* name = event.id == event::Click         ? "Click"
                       : event.id == event::ValueChange ? "ValueChange"
                       : event.id == event::Notify      ? "Notify"
                       : event.id == event::GotFocus    ? "GotFocus"
                                                        : "LostFocus";
    const int32_t* id = static_cast<Control*>(context)->findInt(attr::id);
    noted->push_back((id ? std::to_string(*id) : std::string("?")) + " " + name);
}

void listen(Control* control) {
    for (int32_t id : {event::GotFocus, event::LostFocus, event::Click, event::ValueChange, event::Notify})
        control->addDelegate(id, control, noteEvent);
    std::vector<Control*> children;
    control->accessibleChildren(&children);
    for (Control* c : children) listen(c);
}

}  // namespace

void AccessTest::SetUp() {
    WindowTest::SetUp();
    static const auto ole = win::ole_initialize();  // the UI thread's apartment, for the whole run
    ASSERT_TRUE(SUCCEEDED(ole.get()));
    noted = &happenings;
}

void AccessTest::TearDown() {
    WindowTest::TearDown();
    noted = nullptr;
}

WindowImpl* AccessTest::openLayout(const wchar_t* entry) {
    Control* root = loadLayout(entry);
    EXPECT_NE(root, nullptr) << "no layout " << testsupport::narrow(entry);
    auto* window = new WindowImpl(root);
    if (!create(window, 100, 100, WS_POPUP | WS_VISIBLE))
        return nullptr;
    args = windowArgs(window->handle());
    listen(window->root());
    return window;
}

std::vector<Line> AccessTest::list() {
    ToolResult r = runAcctool(L"list " + args);
    EXPECT_EQ(r.exitCode, 0);
    return parseLines(r.lines);
}

RECT AccessTest::screenRectOf(WindowImpl* window, Control* control) {
    RECT r{};
    control->windowRect(&r);
    const POINT origin = testsupport::clientToScreen(window->handle(), POINT{0, 0});
    OffsetRect(&r, origin.x, origin.y);
    return r;
}

bool AccessTest::happened(const std::string& entry) {
    return testsupport::pumpUntil(
        [&] { return std::find(happenings.begin(), happenings.end(), entry) != happenings.end(); },
        windowtest::kDeadline);
}

bool sameRect(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != FALSE;
}

}  // namespace accesstest
