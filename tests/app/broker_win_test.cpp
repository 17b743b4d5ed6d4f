// The broker window on its own thread, asked through SendMessageW as the program does.
#include "app/broker_win.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/broker.h"
#include "app/messages.h"
#include "tests/harness/win_harness.h"

namespace {

struct Seen {
    UINT message;
    WPARAM wp;
    LPARAM lp;
};

// A window of this thread standing in for panes and workers: records what is posted to it.
LRESULT CALLBACK RecorderProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    auto* seen = reinterpret_cast<std::vector<Seen>*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (seen && message >= WM_APP && message < 0xC000) {
        seen->push_back({message, wp, lp});
        return 0;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

class BrokerWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = RecorderProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"Quorle_broker_test_recorder";
        RegisterClassExW(&wc);
        for (int i = 0; i < 2; ++i) {
            panes_[i] = MakeRecorder(&paneSeen_[i]);
            workers_[i] = MakeRecorder(&workerSeen_[i]);
            routing_.panes[i].store(panes_[i]);
            routing_.workers[i].store(workers_[i]);
        }
        ASSERT_TRUE(app::StartBrokerThread(&routing_, thread_));
        broker_ = routing_.broker.load();
        ASSERT_NE(broker_, nullptr);
    }
    void TearDown() override {
        EXPECT_TRUE(thread_.Stop(5000, msg::kBrokerQuit)) << "the broker ends on its quit message";
        for (int i = 0; i < 2; ++i) {
            DestroyWindow(panes_[i]);
            DestroyWindow(workers_[i]);
        }
        for (const Seen& s : workerSeen_[0])
            if (s.message == msg::kThumbReady && s.wp)
                delete reinterpret_cast<msg::LocationRequest*>(s.lp);
        for (const Seen& s : workerSeen_[1])
            if (s.message == msg::kThumbReady && s.wp)
                delete reinterpret_cast<msg::LocationRequest*>(s.lp);
    }
    HWND MakeRecorder(std::vector<Seen>* seen) {
        HWND hwnd = CreateWindowExW(0, L"Quorle_broker_test_recorder", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(seen));
        return hwnd;
    }
    LRESULT Ask(UINT message, WPARAM wp, LPARAM lp) { return SendMessageW(broker_, message, wp, lp); }
    // Returns the number the broker gave the load (0 when no worker took the record).
    uint32_t Navigate(int pane, location::LocationKind kind, const std::wstring& path) {
        auto* request = new msg::LocationRequest;
        request->kind = kind;
        request->path = path;
        request->pane = pane;
        const bool forwarded = routing_.workers[pane].load() != nullptr;
        Ask(msg::kBrokerStartJob, msg::kJobNavigate, reinterpret_cast<LPARAM>(request));
        // A forwarded record waits in the worker recorder's list until TearDown.
        loads_[pane] = forwarded ? request->load : 0;
        return loads_[pane];
    }
    void Done(int pane) {
        PostMessageW(broker_, msg::kBrokerJobDone, msg::kPaneIdle, msg::PaneLoadParam(pane, loads_[pane]));
        harness::PumpUntil([&] { return Ask(msg::kBrokerPaneIdle, 0, pane) == 1; }, 2000);
    }
    app::Routing routing_;
    win::MessageWorker thread_;
    HWND broker_ = nullptr;
    HWND panes_[2] = {};
    HWND workers_[2] = {};
    std::vector<Seen> paneSeen_[2];
    std::vector<Seen> workerSeen_[2];
    uint32_t loads_[2] = {};
};

TEST_F(BrokerWindow, IsAMessageOnlyWindowOfItsOwnThread) {
    wchar_t name[64] = {};
    GetClassNameW(broker_, name, 64);
    EXPECT_STREQ(name, L"Quorle_msg_class");
    EXPECT_NE(GetWindowThreadProcessId(broker_, nullptr), GetCurrentThreadId());
}

TEST_F(BrokerWindow, ALoadMakesThePaneBusyAndReachesItsWorker) {
    Navigate(1, location::kFileSystemFolder, L"C:\\Photos");
    EXPECT_EQ(Ask(msg::kBrokerPaneIdle, 0, 1), 0);
    EXPECT_EQ(Ask(msg::kBrokerPaneIdle, 0, 0), 1);
    EXPECT_EQ(Ask(msg::kBrokerPaneIdle, 0, 2), 0);
    ASSERT_TRUE(harness::PumpUntil([&] { return !workerSeen_[1].empty(); }, 2000));
    EXPECT_TRUE(workerSeen_[0].empty());
    const Seen& s = workerSeen_[1][0];
    EXPECT_EQ(s.message, msg::kThumbReady);
    EXPECT_EQ(s.wp, msg::kJobNavigate);
    EXPECT_EQ(reinterpret_cast<msg::LocationRequest*>(s.lp)->path, L"C:\\Photos");
    EXPECT_NE(reinterpret_cast<msg::LocationRequest*>(s.lp)->load, 0u) << "the load is numbered";

    Done(1);
    EXPECT_EQ(Ask(msg::kBrokerPaneIdle, 0, 2), 1);
    ASSERT_TRUE(harness::PumpUntil([&] { return !paneSeen_[1].empty(); }, 2000));
    EXPECT_EQ(paneSeen_[1][0].message, msg::kPaneIdle);
}

TEST_F(BrokerWindow, AStopIsForwardedWithoutChangingTheBusyWord) {
    Ask(msg::kBrokerStartJob, 0, 0);
    ASSERT_TRUE(harness::PumpUntil([&] { return !workerSeen_[0].empty(); }, 2000));
    EXPECT_EQ(workerSeen_[0][0].message, msg::kThumbReady);
    EXPECT_EQ(workerSeen_[0][0].wp, 0u);
    EXPECT_EQ(workerSeen_[0][0].lp, 0);
    EXPECT_EQ(Ask(msg::kBrokerPaneIdle, 0, 0), 1);
}

TEST_F(BrokerWindow, TheIdleNoticeOfAnEarlierLoadNeitherFreesThePaneNorReachesIt) {
    // The second load reaches the broker before the first one's idle notice.
    const uint32_t first = Navigate(1, location::kFileSystemFolder, L"C:\\Photos");
    const uint32_t second = Navigate(1, location::kFileSystemFolder, L"C:\\Photos");
    ASSERT_NE(first, second);
    PostMessageW(broker_, msg::kBrokerJobDone, msg::kPaneIdle, msg::PaneLoadParam(1, first));
    // A notice that ends no load goes through the same queue behind it and is delivered.
    PostMessageW(broker_, msg::kBrokerJobDone, msg::kPaneCancelled, msg::PaneLoadParam(1, 0));
    ASSERT_TRUE(harness::PumpUntil([&] { return !paneSeen_[1].empty(); }, 2000));
    EXPECT_EQ(paneSeen_[1][0].message, msg::kPaneCancelled) << "the stale notice was dropped";
    EXPECT_EQ(Ask(msg::kBrokerPaneIdle, 0, 1), 0) << "the second load still runs";

    // A stop names the latest load, so its cancel notice ends that one.
    Ask(msg::kBrokerStartJob, 0, 1);
    ASSERT_TRUE(harness::PumpUntil([&] { return workerSeen_[1].size() == 3; }, 2000));
    EXPECT_EQ(workerSeen_[1][2].wp, 0u);
    EXPECT_EQ(workerSeen_[1][2].lp, msg::PaneLoadParam(1, second));
    Done(1);
    EXPECT_EQ(Ask(msg::kBrokerPaneIdle, 0, 1), 1);
}

TEST_F(BrokerWindow, ALoadWithoutAWorkerEndsAsAFailedLoad) {
    routing_.workers[0].store(nullptr);
    Navigate(0, location::kFileSystemFolder, L"C:\\Photos");
    EXPECT_EQ(Ask(msg::kBrokerPaneIdle, 0, 0), 1);
    ASSERT_TRUE(harness::PumpUntil([&] { return !paneSeen_[0].empty(); }, 2000));
    EXPECT_EQ(paneSeen_[0][0].message, msg::kPaneCancelled);
}

TEST_F(BrokerWindow, AdmissionClassesThroughMessages) {
    const std::wstring parent = L"C:\\Photos", child = L"C:\\Photos\\2020\\a.jpg", other = L"D:\\x";
    auto acquire = [&](uint32_t code, const std::wstring& path) {
        return Ask(msg::kBrokerAcquire, code, reinterpret_cast<LPARAM>(&path));
    };
    Navigate(0, location::kFileSystemFolder, L"C:\\Photos\\2020");
    EXPECT_EQ(acquire(broker::kClassPath | 0, other), 0);     // class 1, pane 1 busy
    EXPECT_EQ(acquire(broker::kClassPath | 1, other), 1);     // class 1, pane 2 idle
    EXPECT_EQ(acquire(broker::kClassFolder, parent), 0);      // class 2: a busy pane inside
    EXPECT_EQ(acquire(broker::kClassFolder, other), 1);
    EXPECT_EQ(acquire(broker::kClassPane | 0, other), 0);     // class 3, pane 1 busy
    EXPECT_EQ(acquire(broker::kClassProgram, other), 0);      // class 4
    EXPECT_EQ(Ask(msg::kBrokerAcquire, 0, 0), 0);             // release
    Done(0);
    EXPECT_EQ(acquire(broker::kClassFolder, parent), 1);
    EXPECT_EQ(acquire(broker::kClassProgram | broker::kCodeTestOnly, child), 1);
    const std::wstring busyFolder = L"c:\\photos\\2020";
    EXPECT_EQ(Ask(msg::kBrokerPathFree, reinterpret_cast<WPARAM>(&busyFolder), 0), 1);
}

TEST_F(BrokerWindow, BusyFlag) {
    EXPECT_EQ(Ask(msg::kBrokerBusyFlag, 1, 0), 1);
    EXPECT_EQ(Ask(msg::kBrokerBusyFlag, 1, 0), 0);
    EXPECT_EQ(Ask(msg::kBrokerBusyFlag, 2, 0), 0);
    EXPECT_EQ(Ask(msg::kBrokerBusyFlag, 0, 0), 0);
    EXPECT_EQ(Ask(msg::kBrokerBusyFlag, 2, 0), 1);
}

HANDLE g_jobRan = nullptr;

uint32_t QuickJob(broker::FileOpJob&) {
    SetEvent(g_jobRan);
    return 1;
}

uint32_t EndlessJob(broker::FileOpJob&) {
    SetEvent(g_jobRan);
    for (;;)
        Sleep(50);
}

TEST_F(BrokerWindow, OneFileOperationJobAtATime) {
    EXPECT_EQ(Ask(msg::kBrokerFileOp, msg::kFileOpQueryOnly, 0), 1);
    auto* job = reinterpret_cast<broker::FileOpJob*>(Ask(msg::kBrokerFileOp, 1, 0));
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(Ask(msg::kBrokerFileOp, 1, 0), 0);
    EXPECT_EQ(Ask(msg::kBrokerFileOp, msg::kFileOpQueryOnly, 0), 0);
    EXPECT_EQ(Ask(msg::kBrokerPathInFileOp, 0, 0), 1);

    job->firstFolder = L"C:\\Src";
    job->secondFolder = L"C:\\Dst";
    const std::wstring inside = L"C:\\Dst\\a";
    EXPECT_EQ(Ask(msg::kBrokerPathInFileOp, reinterpret_cast<WPARAM>(&inside), 0), 0);
    EXPECT_EQ(Ask(msg::kBrokerAcquire, broker::kClassProgram, 0), 0);

    win::Handle ran(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_jobRan = ran.Get();
    job->run = QuickJob;
    EXPECT_EQ(Ask(msg::kBrokerFileOp, 0, 0), 0);
    EXPECT_EQ(WaitForSingleObject(ran.Get(), 5000), WAIT_OBJECT_0);
    Ask(msg::kBrokerFileOp, 0, 1); // discard
    EXPECT_EQ(Ask(msg::kBrokerFileOp, msg::kFileOpQueryOnly, 0), 1);
}

uint32_t FailingJob(broker::FileOpJob&) { return 0; }

TEST_F(BrokerWindow, AJobEndsWithItsWorkersReport) {
    // Without a body the start fails and the job goes.
    ASSERT_NE(Ask(msg::kBrokerFileOp, 1, 0), 0);
    EXPECT_EQ(Ask(msg::kBrokerFileOp, 0, 0), 0);
    EXPECT_EQ(Ask(msg::kBrokerFileOp, msg::kFileOpQueryOnly, 0), 1);

    // A worker's report frees the job, success or failure, so the next one can be asked for.
    for (auto body : {QuickJob, FailingJob}) {
        win::Handle ran(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        g_jobRan = ran.Get();
        auto* job = reinterpret_cast<broker::FileOpJob*>(Ask(msg::kBrokerFileOp, 1, 0));
        ASSERT_NE(job, nullptr);
        job->operation = broker::kOpPackDeflate;
        job->run = body;
        EXPECT_EQ(Ask(msg::kBrokerFileOp, 0, 0), 0);
        EXPECT_TRUE(harness::PumpUntil([&] { return Ask(msg::kBrokerFileOp, msg::kFileOpQueryOnly, 0) == 1; }, 5000));
    }
}

TEST_F(BrokerWindow, AFailedExtractionIsTriedOnceMoreByTheRetry) {
    win::Handle ran(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_jobRan = ran.Get();
    auto* job = reinterpret_cast<broker::FileOpJob*>(Ask(msg::kBrokerFileOp, 1, 0));
    ASSERT_NE(job, nullptr);
    job->operation = broker::kOpExtract;
    job->run = FailingJob;
    job->retry = QuickJob;
    EXPECT_EQ(Ask(msg::kBrokerFileOp, 0, 0), 0);
    EXPECT_TRUE(harness::PumpUntil([&] { return Ask(msg::kBrokerFileOp, msg::kFileOpQueryOnly, 0) == 1; }, 5000));
    EXPECT_EQ(WaitForSingleObject(ran.Get(), 0), WAIT_OBJECT_0) << "the retry ran";
}

TEST_F(BrokerWindow, DiscardingEndsAWorkerThatDoesNotStop) {
    auto* job = reinterpret_cast<broker::FileOpJob*>(Ask(msg::kBrokerFileOp, 1, 0));
    ASSERT_NE(job, nullptr);
    win::Handle ran(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_jobRan = ran.Get();
    job->run = EndlessJob;
    Ask(msg::kBrokerFileOp, 0, 0);
    ASSERT_EQ(WaitForSingleObject(ran.Get(), 5000), WAIT_OBJECT_0);
    const ULONGLONG before = GetTickCount64();
    Ask(msg::kBrokerFileOp, 0, 1);
    EXPECT_EQ(Ask(msg::kBrokerFileOp, msg::kFileOpQueryOnly, 0), 1);
    EXPECT_LT(GetTickCount64() - before, 5000u) << "the discard must not wait for ever";
}

TEST_F(BrokerWindow, CloseIsRefusedWhileAJobShowsItsProgressWindow) {
    EXPECT_EQ(Ask(msg::kBrokerCanClose, 0, 0), 1);
    auto* job = reinterpret_cast<broker::FileOpJob*>(Ask(msg::kBrokerFileOp, 1, 0));
    ASSERT_NE(job, nullptr);
    HWND progress = CreateWindowExW(0, L"STATIC", L"progress", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
    job->progressWindow.store(reinterpret_cast<intptr_t>(progress));
    EXPECT_EQ(Ask(msg::kBrokerCanClose, 0, 0), 0);
    EXPECT_EQ(Ask(msg::kBrokerFileOp, msg::kFileOpQueryOnly, 0), 0) << "the job stays";
    // Windows ending: the progress window is told to cancel and the job goes.
    EXPECT_EQ(Ask(msg::kBrokerCanClose, 1, 0), 1);
    EXPECT_EQ(Ask(msg::kBrokerFileOp, msg::kFileOpQueryOnly, 0), 1);
    MSG m;
    EXPECT_TRUE(PeekMessageW(&m, progress, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE));
    EXPECT_EQ(m.wParam, static_cast<WPARAM>(VK_ESCAPE));
    DestroyWindow(progress);
}

TEST_F(BrokerWindow, CloseDiscardsAJobWithoutAProgressWindow) {
    ASSERT_NE(Ask(msg::kBrokerFileOp, 1, 0), 0);
    EXPECT_EQ(Ask(msg::kBrokerCanClose, 0, 0), 1);
    EXPECT_EQ(Ask(msg::kBrokerFileOp, msg::kFileOpQueryOnly, 0), 1);
}

} // namespace
