// The dispatcher on the real message queue of the test's main thread: items posted from other threads
// run on this thread, in order, also inside a message box's modal loop; stop discards what is left and
// waits for watched threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "host/handles.h"
#include "win_test_support.h"
#include "worker/sr_service.h"

using testsupport::pumpUntil;

namespace {

struct Recorder : SRService::IRunable {
    std::vector<int>* order = nullptr;
    int value = 0;
    DWORD ranOn = 0;
    bool discarded = false;
    void run() override {
        ranOn = GetCurrentThreadId();
        if (order)
            order->push_back(value);
    }
    void discard() override { discarded = true; }
};

// Each test starts from its own dispatcher run; the one the worker tests share is put back after.
class Dispatcher : public ::testing::Test {
  protected:
    void SetUp() override {
        SRService::stop();
        ASSERT_TRUE(SRService::start());
    }
    void TearDown() override {
        SRService::stop();
        SRService::start();
    }
};

class DispatcherStopped : public ::testing::Test {
  protected:
    void SetUp() override { SRService::stop(); }
    void TearDown() override { SRService::start(); }
};

TEST_F(DispatcherStopped, RefusesItemsAndIgnoresThreads) {
    auto item = std::make_shared<Recorder>();
    EXPECT_EQ(SRService::post(item), -1);
    EXPECT_FALSE(SRService::running());
    // A watched thread while stopped is not waited for: stop returns while it still runs.
    win::unique_handle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE raw = release.get();
    HANDLE thread = CreateThread(
        nullptr, 0, [](void* e) -> DWORD { return WaitForSingleObject(static_cast<HANDLE>(e), 20000); }, raw,
        0, nullptr);
    win::unique_handle own;
    DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), own.put(), 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    SRService::watchThread(win::unique_handle(thread));
    SRService::stop();
    EXPECT_EQ(WaitForSingleObject(own.get(), 0), WAIT_TIMEOUT);
    SetEvent(raw);
    EXPECT_EQ(WaitForSingleObject(own.get(), 5000), WAIT_OBJECT_0);
    SRService::watchThread(win::unique_handle());  // ignored, no crash
}

TEST_F(Dispatcher, RunsItemsFromOtherThreadsInPostingOrderOnTheUiThread) {
    std::vector<int> order;
    std::vector<std::shared_ptr<Recorder>> items;
    for (int i = 0; i < 200; ++i) {
        auto r = std::make_shared<Recorder>();
        r->order = &order;
        r->value = i;
        items.push_back(r);
    }
    std::atomic<int> results{0};
    std::thread poster([&] {
        for (auto& r : items) results += SRService::post(r);
    });
    poster.join();
    EXPECT_EQ(results.load(), 0);
    ASSERT_TRUE(pumpUntil([&] { return order.size() == items.size(); }, 5000));
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[i], i);
    for (auto& r : items) {
        EXPECT_EQ(r->ranOn, GetCurrentThreadId());
        EXPECT_EQ(r.use_count(), 1) << "the queue must drop its share after running";
    }
}

TEST_F(Dispatcher, RunsItemsInsideAMessageBoxLoopAndInGetMessageLoops) {
    struct CloseBox : SRService::IRunable {
        std::atomic<bool> ran{false};
        DWORD ranOn = 0;
        HWND box = nullptr;
        void run() override {
            ranOn = GetCurrentThreadId();
            ran = true;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    };
    auto item = std::make_shared<CloseBox>();
    std::thread helper([&] {
        HWND box = testsupport::findDialog(GetCurrentProcessId(), L"dispatcher-modal", 10000);
        if (!box)
            return;
        item->box = box;
        SRService::post(item);
        if (!testsupport::waitWindowGone(box, 5000))
            testsupport::pressButton(box, IDCANCEL);
    });
    int answer = MessageBoxW(nullptr, L"waiting for an item", L"dispatcher-modal", MB_OKCANCEL);
    helper.join();
    EXPECT_TRUE(item->ran.load());
    EXPECT_EQ(item->ranOn, GetCurrentThreadId());
    EXPECT_EQ(answer, IDOK) << "the item closed the box from inside its modal loop";

    // A plain GetMessage loop runs items as well, and the null messages reach it afterwards.
    std::vector<int> order;
    auto r = std::make_shared<Recorder>();
    r->order = &order;
    std::thread([&] { SRService::post(r); }).join();
    MSG msg;
    ASSERT_GT(GetMessageW(&msg, nullptr, 0, 0), 0);
    while (order.empty() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    }
    EXPECT_EQ(order.size(), 1u);
}

TEST_F(Dispatcher, StopDiscardsQueuedItemsAndRefusesLaterOnes) {
    auto queued = std::make_shared<Recorder>();
    ASSERT_EQ(SRService::post(queued), 0);
    SRService::stop();
    EXPECT_TRUE(queued->discarded);
    EXPECT_EQ(queued->ranOn, 0u);
    EXPECT_EQ(queued.use_count(), 1);
    auto late = std::make_shared<Recorder>();
    EXPECT_EQ(SRService::post(late), -1);
    EXPECT_EQ(late.use_count(), 1);
    // Pumping the leftover null messages must run nothing now that the hook is gone.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    EXPECT_EQ(queued->ranOn, 0u);
    // The dispatcher starts again after a stop.
    ASSERT_TRUE(SRService::start());
    auto again = std::make_shared<Recorder>();
    ASSERT_EQ(SRService::post(again), 0);
    EXPECT_TRUE(pumpUntil([&] { return again->ranOn != 0; }, 2000));
}

TEST_F(Dispatcher, StopWaitsForEveryWatchedThreadBeyondOneWaitsLimit) {
    constexpr int kThreads = 70;  // more than one WaitForMultipleObjects can take
    static std::atomic<int> finished;
    finished = 0;
    for (int i = 0; i < kThreads; ++i) {
        HANDLE t = CreateThread(
            nullptr, 0,
            [](void* p) -> DWORD {
                Sleep(200 + static_cast<DWORD>(reinterpret_cast<uintptr_t>(p)) * 5);
                ++finished;
                return 0;
            },
            reinterpret_cast<void*>(static_cast<uintptr_t>(i)), 0, nullptr);
        ASSERT_NE(t, nullptr);
        SRService::watchThread(win::unique_handle(t));
    }
    SRService::stop();
    EXPECT_EQ(finished.load(), kThreads);
}

TEST_F(Dispatcher, StopWaitsForAThreadWatchedLongAfterTheWatcherStarted) {
    // The watcher is in its 10-second wait when the second thread arrives; stop still waits for it.
    std::atomic<bool> done{false};
    HANDLE first = CreateThread(
        nullptr, 0, [](void*) -> DWORD { return 0; }, nullptr, 0, nullptr);
    SRService::watchThread(win::unique_handle(first));
    Sleep(100);
    static std::atomic<bool>* flag;
    flag = &done;
    HANDLE second = CreateThread(
        nullptr, 0,
        [](void*) -> DWORD {
            Sleep(500);
            *flag = true;
            return 0;
        },
        nullptr, 0, nullptr);
    SRService::watchThread(win::unique_handle(second));
    SRService::stop();
    EXPECT_TRUE(done.load());
}

}  // namespace
