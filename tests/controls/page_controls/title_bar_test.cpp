// The title bar: a press starts the system's move loop, and the window follows the mouse until the
// release.
#include <atomic>
#include <thread>

#include "page_fixture.h"

using namespace pagetest;
using namespace testsupport;

namespace {

void countPress(void* context, Control*, EventRecord&) {
    ++*static_cast<int*>(context);
}

// True while `thread` runs a move or size loop.
bool inMoveLoop(DWORD thread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(thread, &info) && (info.flags & GUI_INMOVESIZE);
}

}  // namespace

using TitleBars = PageTest;

TEST_F(TitleBars, DraggingTheTitleBarMovesTheWindow) {
    WindowImpl* w = open(R"(<Grid initSize="200,100">
                              <TitleBar id="1" height="30" verticalAlign="top" style="red.xml"/></Grid>)",
                         100, 100);
    ASSERT_NE(w, nullptr);
    int rootPresses = 0;
    w->root()->addDelegate(event::LButtonDown, &rootPresses, countPress);
    const POINT grip = centreOf(w, byId(w, 1));
    moveTo(w, grip);

    // The press runs the move loop inside this thread's dispatch; another thread moves the mouse once
    // the loop is running and releases the button.
    const DWORD uiThread = GetCurrentThreadId();
    HWND hwnd = w->handle();
    std::atomic<bool> dragged{false};
    std::thread hand([&] {
        const ULONGLONG deadline = GetTickCount64() + kDeadline;
        auto waitFor = [&](auto&& state) {
            while (!state() && GetTickCount64() < deadline) Sleep(5);
        };
        waitFor([&] { return inMoveLoop(uiThread); });
        for (int step = 1; step <= 4; ++step) {
            moveMouse(grip.x + 20 * step, grip.y + 10 * step);
            waitFor([&] { return windowRect(hwnd).left == 100 + 20 * step; });
        }
        mouseUp();
        dragged = true;
    });
    mouseDown();
    const bool done = pumpUntil(
        [&] { return dragged && !inMoveLoop(uiThread) && windowRect(w->handle()).left != 100; }, kDeadline);
    hand.join();
    ASSERT_TRUE(done) << "the move loop did not run or did not end";
    const RECT r = windowRect(w->handle());
    EXPECT_EQ(r.left, 180);
    EXPECT_EQ(r.top, 140);
    EXPECT_EQ(rootPresses, 1) << "the press is not marked handled";
}
