// Thread timers and modal runs: the first tick at once, stopping for good, ticks inside system modal
// loops; end codes, nesting, dropped close requests, the quit message, the owner, a window destroyed
// during its own run.
#include <functional>
#include <thread>

#include "dui/loader.h"
#include "window_fixture.h"

using namespace windowtest;
using namespace testsupport;

namespace {

// Counts its ticks and runs an action on a chosen tick.
class CountingTimer : public Timer {
  public:
    explicit CountingTimer(UINT interval) : Timer(interval) {}
    void tick() override {
        ++ticks;
        if (onTick)
            onTick(ticks);
    }
    int ticks = 0;
    std::function<void(int)> onTick;
};

const char kSmall[] = R"(<Grid initSize="120,80"/>)";

}  // namespace

using Timers = WindowTest;

TEST_F(Timers, FirstTickAtOnceThenEveryPeriod) {
    CountingTimer timer(30);
    ASSERT_TRUE(timer.start());
    EXPECT_EQ(timer.ticks, 1) << "start ticks once before it returns";
    EXPECT_TRUE(timer.running());
    EXPECT_TRUE(timer.start()) << "starting a running timer changes nothing";
    EXPECT_EQ(timer.ticks, 1);
    EXPECT_TRUE(pumpUntil([&] { return timer.ticks >= 4; }, kDeadline));
    timer.stop();
}

TEST_F(Timers, StopIsForGoodAndARestartTicksAtOnce) {
    CountingTimer timer(20);
    ASSERT_TRUE(timer.start());
    ASSERT_TRUE(pumpUntil([&] { return timer.ticks >= 3; }, kDeadline));
    timer.stop();
    EXPECT_FALSE(timer.running());
    const int stopped = timer.ticks;
    pumpFor(200);  // ten periods
    EXPECT_EQ(timer.ticks, stopped) << "no tick after stop";

    ASSERT_TRUE(timer.start());
    EXPECT_EQ(timer.ticks, stopped + 1);
    EXPECT_TRUE(pumpUntil([&] { return timer.ticks >= stopped + 3; }, kDeadline));
    timer.stop();
}

TEST_F(Timers, ATickMayStopOrDeleteItsOwnTimer) {
    auto* timer = new CountingTimer(10);
    bool deleted = false;
    timer->onTick = [&](int n) {
        if (n == 3) {
            deleted = true;
            delete timer;
        }
    };
    ASSERT_TRUE(timer->start());
    EXPECT_TRUE(pumpUntil([&] { return deleted; }, kDeadline));
    pumpFor(60);
    EXPECT_EQ(runningTimerCount(), 0u);
}

TEST_F(Timers, TicksArriveInsideAMessageBox) {
    CountingTimer timer(20);
    timer.onTick = [&](int n) {
        if (n == 6) {
            // Close the box from inside its own loop.
            if (HWND box = FindWindowW(L"#32770", L"timer box"))
                PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    };
    ASSERT_TRUE(timer.start());
    MessageBoxW(nullptr, L"ticks keep coming", L"timer box", MB_OK);
    EXPECT_GE(timer.ticks, 6);
    timer.stop();
}

using Modal = WindowTest;

TEST_F(Modal, EndCodeFromAHandlerEndsTheRunAndDestroysTheWindow) {
    WindowImpl* w = open(kSmall, 100, 100, WS_POPUP);
    ASSERT_NE(w, nullptr);
    HWND hwnd = w->handle();
    CountingTimer timer(20);
    bool visibleDuringRun = false;
    timer.onTick = [&](int n) {
        visibleDuringRun = visibleDuringRun || IsWindowVisible(hwnd);
        if (n == 3)
            w->endModal(0);  // does not end the run
        if (n == 5)
            w->endModal(3);
    };
    ASSERT_TRUE(timer.start());
    EXPECT_EQ(w->runModal(nullptr), 3);
    EXPECT_GE(timer.ticks, 5);
    EXPECT_TRUE(visibleDuringRun);
    EXPECT_FALSE(IsWindow(hwnd));
    timer.stop();
}

TEST_F(Modal, CloseRequestsAreDropped) {
    WindowImpl* w = open(kSmall, 100, 100, WS_POPUP);
    ASSERT_NE(w, nullptr);
    HWND hwnd = w->handle();
    CountingTimer timer(20);
    bool aliveAfterClose = false;
    timer.onTick = [&](int n) {
        if (n == 2) {
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
            PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        if (n == 6) {
            aliveAfterClose = IsWindow(hwnd) != FALSE;
            w->endModal(7);
        }
    };
    ASSERT_TRUE(timer.start());
    EXPECT_EQ(w->runModal(nullptr), 7);
    EXPECT_TRUE(aliveAfterClose);
    timer.stop();
}

TEST_F(Modal, TheQuitMessageEndsTheRunWithZeroAndStaysQueued) {
    WindowImpl* w = open(kSmall, 100, 100, WS_POPUP);
    ASSERT_NE(w, nullptr);
    CountingTimer timer(20);
    timer.onTick = [&](int n) {
        if (n == 3)
            PostQuitMessage(42);
    };
    ASSERT_TRUE(timer.start());
    EXPECT_EQ(w->runModal(nullptr), 0);
    timer.stop();
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit message stays queued";
    EXPECT_EQ(msg.wParam, 42u);
}

TEST_F(Modal, RunsNestAndTheQuitMessageEndsEveryLevel) {
    WindowImpl* outer = open(kSmall, 100, 100, WS_POPUP);
    WindowImpl* inner = open(kSmall, 300, 100, WS_POPUP);
    ASSERT_TRUE(outer && inner);
    std::vector<std::string> order;
    CountingTimer timer(20);
    int innerResult = -1;
    timer.onTick = [&](int n) {
        if (n == 2) {
            order.push_back("inner starts");
            innerResult = inner->runModal(outer->handle());
            order.push_back("inner ended");
        }
        if (n == 4)
            inner->endModal(2);  // ticks arrive through the inner loop
        if (n == 6)
            outer->endModal(5);
    };
    ASSERT_TRUE(timer.start());
    const int outerResult = outer->runModal(nullptr);
    timer.stop();
    EXPECT_EQ(innerResult, 2);
    EXPECT_EQ(outerResult, 5);
    EXPECT_EQ(order, (std::vector<std::string>{"inner starts", "inner ended"}));

    // The quit message inside the inner run ends both with 0 and is still queued afterwards.
    outer = open(kSmall, 100, 100, WS_POPUP);
    inner = open(kSmall, 300, 100, WS_POPUP);
    ASSERT_TRUE(outer && inner);
    CountingTimer second(20);
    second.onTick = [&](int n) {
        if (n == 2)
            innerResult = inner->runModal(nullptr);
        if (n == 4)
            PostQuitMessage(9);
    };
    ASSERT_TRUE(second.start());
    EXPECT_EQ(outer->runModal(nullptr), 0);
    second.stop();
    EXPECT_EQ(innerResult, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 9u);
}

TEST_F(Modal, TheOwnerIsDisabledDuringTheRunAndRestoredAfter) {
    WindowImpl* owner = open(kSmall, 100, 100);
    WindowImpl* dialog = open(kSmall, 300, 100, WS_POPUP);
    ASSERT_TRUE(owner && dialog);
    CountingTimer timer(20);
    bool ownerEnabledDuringRun = true;
    timer.onTick = [&](int n) {
        if (n == 2)
            ownerEnabledDuringRun = IsWindowEnabled(owner->handle()) != FALSE;
        if (n == 3)
            dialog->endModal(1);
    };
    ASSERT_TRUE(timer.start());
    EXPECT_EQ(dialog->runModal(owner->handle()), 1);
    timer.stop();
    EXPECT_FALSE(ownerEnabledDuringRun);
    EXPECT_TRUE(IsWindowEnabled(owner->handle()));
}

TEST_F(Modal, AWindowDestroyedDuringItsRunEndsTheRun) {
    WindowImpl* w = open(kSmall, 100, 100, WS_POPUP);
    ASSERT_NE(w, nullptr);
    HWND hwnd = w->handle();
    CountingTimer timer(20);
    timer.onTick = [&](int n) {
        if (n == 3) {
            w->endModal(0);
            DestroyWindow(hwnd);
        }
    };
    ASSERT_TRUE(timer.start());
    EXPECT_EQ(w->runModal(nullptr), 0);
    timer.stop();
    EXPECT_FALSE(IsWindow(hwnd));
}

namespace {
constexpr UINT kEndFromOtherThread = WM_APP + 1;
constexpr UINT kMarker = WM_APP + 2;

// Ends its modal run when another thread sends it a message; counts the marker messages it gets.
class EndOnSentMessage : public WindowImpl {
  public:
    EndOnSentMessage(Control* root, int* markers) : WindowImpl(root), markers_(markers) {}
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == kEndFromOtherThread) {
            endModal(8);
            return 0;
        }
        if (message == kMarker)
            ++*markers_;
        return WindowImpl::handleMessage(message, wParam, lParam);
    }

  private:
    int* markers_;
};
}  // namespace

TEST_F(Modal, AMessageFetchedAfterTheEndCodeWasSetIsStillDelivered) {
    // Another thread's sent message sets the end code while the loop fetches; the posted message that
    // the same fetch returns must still be delivered, not dropped.
    int markers = 0;
    auto* w = new EndOnSentMessage(buildLayout(kSmall, sizeof(kSmall) - 1), &markers);
    ASSERT_NE(create(w, 100, 100, WS_POPUP), nullptr);
    HWND hwnd = w->handle();
    std::thread sender;
    CountingTimer timer(20);
    timer.onTick = [&](int n) {
        if (n != 2)
            return;
        PostMessageW(hwnd, kMarker, 0, 0);
        sender = std::thread([hwnd] { SendMessageW(hwnd, kEndFromOtherThread, 0, 0); });
        // Back to the loop only once the sent message waits, so that one fetch meets both.
        const ULONGLONG deadline = GetTickCount64() + kDeadline;
        while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) && GetTickCount64() < deadline)
            SwitchToThread();
    };
    ASSERT_TRUE(timer.start());
    EXPECT_EQ(w->runModal(nullptr), 8);
    timer.stop();
    sender.join();
    EXPECT_EQ(markers, 1);
}
