#include "window_fixture.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "dui/context_parts.h"
#include "dui/factory.h"
#include "dui/loader.h"
#include "host/resource_file_system.h"
#include "host/ui_context.h"
#include "render/skin_store.h"
#include "window/timer.h"

namespace windowtest {

namespace {

[[maybe_unused]] ::testing::Environment* const environment = testsupport::addUiEnvironment(
    {{{L"window_layouts.lz", 301}, {L"window_skin.lz", 302}},
     L"window_skin.lz",
     L"window_layouts.lz",
     [](duiFactory::ControlCreatorRegistry& creators) { creators.add<TestButton>(L"TestButton"); }});

}  // namespace

std::string eventName(int32_t id) {
    static const char* const names[] = {
        "Attached",       "Detached",        "GotFocus",        "LostFocus",     "PrevKeyDown",
        "KeyDown",        "PrevKeyUp",       "KeyUp",           "PrevKeyPress",  "KeyPress",
        "GotCapture",     "LostCapture",     "PrevLButtonDown", "LButtonDown",   "PrevLButtonUp",
        "LButtonUp",      "PrevRButtonDown", "RButtonDown",     "PrevRButtonUp", "RButtonUp",
        "LButtonDbClick", "RButtonDbClick",  "PrevMouseWheel",  "MouseWheel",    "24",
        "MouseMove",      "MouseEnter",      "MouseLeave",      "QueryCursor"};
    return id >= 0 && id < static_cast<int32_t>(std::size(names)) ? names[id] : std::to_string(id);
}

namespace {
EventLog* g_log = nullptr;  // the running test's log
}

void EventLog::record(void* context, Control*, EventRecord& event) {
    if (!g_log)
        return;
    const int32_t* id = static_cast<Control*>(context)->findInt(attr::id);
    g_log->entries_.push_back((id ? std::to_string(*id) : std::string("?")) + " " + eventName(event.id));
}

void EventLog::listen(Control* control, bool deep, bool cursorQueries) {
    g_log = this;
    const int32_t last = cursorQueries ? event::QueryCursor : event::MouseLeave;
    for (int32_t id = event::GotFocus; id <= last; ++id) control->addDelegate(id, control, record);
    if (!deep)
        return;
    for (Control* c = control->firstChild(); c; c = c->nextSibling()) listen(c, true, cursorQueries);
}

std::vector<std::string> EventLog::take() {
    return std::exchange(entries_, {});
}

std::vector<std::string> EventLog::only(const std::string& name) const {
    std::vector<std::string> out;
    for (const std::string& e : entries_) {
        if (e.size() > name.size() && e.compare(e.size() - name.size(), name.size(), name) == 0 &&
            e[e.size() - name.size() - 1] == ' ')
            out.push_back(e);
    }
    return out;
}

bool EventLog::contains(const std::string& entry) const {
    return count(entry) > 0;
}

int EventLog::count(const std::string& entry) const {
    return static_cast<int>(std::count(entries_.begin(), entries_.end(), entry));
}

// ---- The fixture --------------------------------------------------------------------------------------

void WindowTest::SetUp() {
    g_log = &log;
    WindowFixture::SetUp();
}

void WindowTest::TearDown() {
    WindowFixture::TearDown();
    g_log = nullptr;
}

WindowImpl* WindowTest::openLayered(const std::string& xml, int x, int y) {
    Control* root = buildLayout(xml.data(), xml.size());
    EXPECT_NE(root, nullptr) << "the layout text built no tree";
    auto* window = new LayeredWindow(root);
    return create(window, x, y, WS_POPUP | WS_VISIBLE) ? window : nullptr;
}

}  // namespace windowtest
