// The message-only worker thread every worker of the program is built on: start and readiness, the
// payloads of messages still queued when its window goes, and a stop that is bounded whatever the
// handler does.
#include "common/message_worker_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

constexpr UINT kPayload = WM_APP + 10;      // lParam: a Counted* the window owns
constexpr UINT kOtherPayload = WM_APP + 11; // the same, the last of the range
constexpr UINT kOutside = WM_APP + 20;      // outside the range: not the worker's to free
constexpr UINT kHold = WM_APP + 1;          // the handler waits for the test's event, then destroys
constexpr UINT kSpin = WM_APP + 2;          // the handler loops; wParam 1: until stop is requested
constexpr UINT kSpinOnOwnFlag = WM_APP + 3; // the handler loops until its thread's own stop flag is set

struct Counters {
    std::atomic<int> freed{0};
    std::atomic<int> handled{0};
    std::atomic<DWORD> handlerThread{0};
    std::atomic<bool> ready{false};
    std::atomic<bool> sawOwnFlag{false};
};

struct Counted {
    explicit Counted(Counters& c) : counters(c) {}
    ~Counted() { ++counters.freed; }
    Counters& counters;
};

class MessageWorkerTest : public ::testing::Test {
  protected:
    win::MessageWorkerArgs Args(const wchar_t* className) {
        win::MessageWorkerArgs args;
        args.className = className;
        args.threadName = L"Quorle test worker";
        Counters* c = &counters_;
        win::MessageWorker* worker = &worker_;
        HANDLE release = release_.Get();
        args.handler = [c, worker, release](HWND hwnd, UINT message, WPARAM wp, LPARAM lp) -> LRESULT {
            c->handlerThread.store(GetCurrentThreadId());
            switch (message) {
            case kPayload:
            case kOtherPayload:
                ++c->handled;
                delete reinterpret_cast<Counted*>(lp);
                return 0;
            case kHold:
                WaitForSingleObject(release, 5000);
                DestroyWindow(hwnd);
                return 0;
            case kSpin:
                while (wp == 0 || !worker->StopRequested())
                    Sleep(5);
                return 0;
            case kSpinOnOwnFlag: {
                const std::atomic<bool>* stop = win::ThisWorkerStopFlag();
                c->sawOwnFlag.store(stop != nullptr);
                while (stop && !stop->load())
                    Sleep(5);
                return 0;
            }
            }
            return DefWindowProcW(hwnd, message, wp, lp);
        };
        args.onReady = [c](HWND) { c->ready.store(true); };
        args.firstPayload = kPayload;
        args.lastPayload = kOtherPayload;
        args.freePayload = [](UINT message, WPARAM, LPARAM lp) {
            if (message == kPayload || message == kOtherPayload)
                delete reinterpret_cast<Counted*>(lp);
        };
        return args;
    }
    bool PostPayload(HWND hwnd, UINT message) {
        auto* payload = new Counted(counters_);
        if (PostMessageW(hwnd, message, 0, reinterpret_cast<LPARAM>(payload)))
            return true;
        delete payload;
        return false;
    }

    Counters counters_;
    win::Handle release_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    win::MessageWorker worker_;
};

TEST_F(MessageWorkerTest, StartsReadyServesOnItsThreadAndStopsOnItsOwn) {
    ASSERT_TRUE(worker_.Start(Args(L"Quorle_worker_test_a")));
    EXPECT_TRUE(counters_.ready.load()) << "onReady runs before Start returns";
    const HWND hwnd = worker_.Window();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(FindWindowExW(HWND_MESSAGE, nullptr, L"Quorle_worker_test_a", nullptr), hwnd);
    EXPECT_FALSE(worker_.StopRequested());
    EXPECT_FALSE(worker_.Start(Args(L"Quorle_worker_test_a"))) << "one thread per owner";

    auto* payload = new Counted(counters_);
    SendMessageW(hwnd, kPayload, 0, reinterpret_cast<LPARAM>(payload));
    EXPECT_EQ(counters_.handled.load(), 1);
    EXPECT_NE(counters_.handlerThread.load(), GetCurrentThreadId());

    EXPECT_TRUE(worker_.Stop(5000));
    EXPECT_FALSE(worker_);
    EXPECT_EQ(worker_.Window(), nullptr);
    EXPECT_FALSE(IsWindow(hwnd));
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), L"Quorle_worker_test_a", &wc))
        << "the class goes with the thread";
    EXPECT_TRUE(worker_.Stop(10)) << "stopping a stopped worker is harmless";
}

TEST_F(MessageWorkerTest, PayloadsStillQueuedWhenTheWindowGoesAreFreed) {
    ASSERT_TRUE(worker_.Start(Args(L"Quorle_worker_test_b")));
    const HWND hwnd = worker_.Window();
    ASSERT_TRUE(PostMessageW(hwnd, kHold, 0, 0));
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(PostPayload(hwnd, kPayload));
        ASSERT_TRUE(PostPayload(hwnd, kOtherPayload));
    }
    // Not in the range: left alone (and freed here, as its sender would have to).
    auto* outside = new Counted(counters_);
    ASSERT_TRUE(PostMessageW(hwnd, kOutside, 0, reinterpret_cast<LPARAM>(outside)));
    SetEvent(release_.Get());

    // The quit posted at WM_DESTROY survives the drain, so the thread ends by itself.
    EXPECT_TRUE(worker_.Stop(5000));
    EXPECT_EQ(counters_.handled.load(), 0) << "destroyed before any was served";
    EXPECT_EQ(counters_.freed.load(), 10);
    delete outside;
}

TEST_F(MessageWorkerTest, StopReachesACooperativeHandler) {
    ASSERT_TRUE(worker_.Start(Args(L"Quorle_worker_test_c")));
    ASSERT_TRUE(PostMessageW(worker_.Window(), kSpin, 1, 0));
    Sleep(50);
    const ULONGLONG begin = GetTickCount64();
    EXPECT_TRUE(worker_.Stop(5000)) << "ended without TerminateThread";
    EXPECT_LT(GetTickCount64() - begin, 4000u);
}

// A decode deep in a worker's handler knows nothing of its owner: it polls the flag of the thread it
// runs on. Two workers asked together both end on their own.
TEST_F(MessageWorkerTest, AQuitRequestReachesTheThreadsOwnStopFlag) {
    EXPECT_EQ(win::ThisWorkerStopFlag(), nullptr) << "not a worker thread";
    ASSERT_TRUE(worker_.Start(Args(L"Quorle_worker_test_f")));
    win::MessageWorker other;
    ASSERT_TRUE(other.Start(Args(L"Quorle_worker_test_g")));
    ASSERT_TRUE(PostMessageW(worker_.Window(), kSpinOnOwnFlag, 0, 0));
    ASSERT_TRUE(PostMessageW(other.Window(), kSpinOnOwnFlag, 0, 0));
    worker_.RequestQuit();
    other.RequestQuit();
    EXPECT_TRUE(worker_.Join(5000)) << "ended without TerminateThread";
    EXPECT_TRUE(other.Join(5000));
    EXPECT_TRUE(counters_.sawOwnFlag.load());
    EXPECT_FALSE(worker_);
    EXPECT_TRUE(worker_.Join(10)) << "joining a stopped worker is harmless";
}

TEST_F(MessageWorkerTest, StopIsBoundedWhenTheHandlerIgnoresIt) {
    ASSERT_TRUE(worker_.Start(Args(L"Quorle_worker_test_d")));
    ASSERT_TRUE(PostMessageW(worker_.Window(), kSpin, 0, 0));
    Sleep(50);
    const ULONGLONG begin = GetTickCount64();
    EXPECT_FALSE(worker_.Stop(200)) << "terminated after the bound";
    const ULONGLONG took = GetTickCount64() - begin;
    EXPECT_GE(took, 150u);
    EXPECT_LT(took, 3000u);
    EXPECT_FALSE(worker_);
    EXPECT_TRUE(win::WorkerWasTerminated()) << "the owner learns that locks may be held for ever";
}

TEST_F(MessageWorkerTest, AWindowThatCannotBeMadeFailsTheStart) {
    win::MessageWorkerArgs args = Args(L"Quorle_worker_test_e");
    args.handler = [](HWND hwnd, UINT message, WPARAM wp, LPARAM lp) -> LRESULT {
        return message == WM_CREATE ? -1 : DefWindowProcW(hwnd, message, wp, lp);
    };
    EXPECT_FALSE(worker_.Start(std::move(args), 5000));
    EXPECT_EQ(worker_.Window(), nullptr);
    EXPECT_FALSE(counters_.ready.load());
    EXPECT_TRUE(worker_.Stop(5000)) << "the thread ended by itself";
}

} // namespace
