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

// The process-wide set-up: resource catalogue, UI context, the tests' skin, layouts and test controls.
class WindowEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        files_ = new ResourceFileSystem;
        files_->registerName(L"window_layouts.lz", 301);
        files_->registerName(L"window_skin.lz", 302);
        ASSERT_TRUE(createUiContextWithParts());
        UiParts* ui = uiParts();
        ASSERT_TRUE(ui->skin && ui->skin->loadSkin(L"window_skin.lz"));
        ASSERT_TRUE(loadLayouts(L"window_layouts.lz"));
        ui->controlCreators->add<TestButton>(L"TestButton");
    }
    void TearDown() override { destroyUiContextWithParts(); }

  private:
    ResourceFileSystem* files_ = nullptr;  // lives to the process end, as the catalogue does
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new WindowEnvironment);

// A resting place for the cursor where no test window lies.
constexpr POINT kRestingCursor{1260, 780};

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
    testsupport::moveMouse(kRestingCursor);
    testsupport::pumpFor(0);
}

void WindowTest::TearDown() {
    for (HWND hwnd : windows) {
        if (IsWindow(hwnd))
            DestroyWindow(hwnd);
    }
    testsupport::pumpFor(0);
    EXPECT_EQ(boundWindowCount(), 0u) << "a window object outlived its test";
    EXPECT_EQ(runningTimerCount(), 0u) << "a timer outlived its test";
    EXPECT_EQ(GetCapture(), nullptr);
    g_log = nullptr;
}

HWND WindowTest::create(WindowBase* window, int x, int y, DWORD style, DWORD exStyle) {
    if (!createNativeWindowEx(window, exStyle, L"window test", style, x, y, 0, 0, nullptr, nullptr,
                              nullptr)) {
        ADD_FAILURE() << "the native window was not created";
        return nullptr;
    }
    HWND hwnd = window->handle();
    windows.push_back(hwnd);
    if (style & WS_VISIBLE) {
        EXPECT_TRUE(testsupport::waitVisible(hwnd, true, kDeadline));
    }
    return hwnd;
}

WindowImpl* WindowTest::open(const std::string& xml, int x, int y, DWORD style) {
    Control* root = buildLayout(xml.data(), xml.size());
    EXPECT_NE(root, nullptr) << "the layout text built no tree";
    auto* window = new WindowImpl(root);
    return create(window, x, y, style) ? window : nullptr;
}

WindowImpl* WindowTest::openLayered(const std::string& xml, int x, int y) {
    Control* root = buildLayout(xml.data(), xml.size());
    EXPECT_NE(root, nullptr) << "the layout text built no tree";
    auto* window = new LayeredWindow(root);
    return create(window, x, y, WS_POPUP | WS_VISIBLE) ? window : nullptr;
}

Control* WindowTest::byId(WindowImpl* window, int32_t id) {
    Control* c = window ? window->controlById(id) : nullptr;
    EXPECT_NE(c, nullptr) << "no control with id " << id;
    return c;
}

POINT WindowTest::pointIn(WindowImpl* window, Control* control, int dx, int dy) {
    RECT r{};
    control->windowRect(&r);
    return testsupport::clientToScreen(window->handle(), POINT{r.left + dx, r.top + dy});
}

POINT WindowTest::centreOf(WindowImpl* window, Control* control) {
    RECT r{};
    control->windowRect(&r);
    return pointIn(window, control, (r.right - r.left) / 2, (r.bottom - r.top) / 2);
}

bool WindowTest::settle(WindowImpl* window) {
    HWND hwnd = window->handle();
    return testsupport::pumpUntil(
        [&] {
            MSG msg;
            RECT update;
            return window->dirtyAreas().empty() &&
                   !PeekMessageW(&msg, hwnd, kRepaintMessage, kRepaintMessage, PM_NOREMOVE) &&
                   !GetUpdateRect(hwnd, &update, FALSE);
        },
        kDeadline);
}

}  // namespace windowtest
