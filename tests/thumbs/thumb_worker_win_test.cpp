// A worker thread started in this process: it announces its window, hands load requests to the
// pane, reports stops to the broker and ends on its quit message.
#include "thumbs/thumb_worker_win.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/messages.h"
#include "tests/harness/win_harness.h"

namespace {

struct Seen {
    HWND to;
    UINT message;
    WPARAM wp;
    LPARAM lp;
};
std::vector<Seen> g_seen;

LRESULT CALLBACK RecorderProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    if (message >= WM_APP && message < 0xC000) {
        g_seen.push_back({hwnd, message, wp, lp});
        return 0;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

HWND Recorder() {
    return CreateWindowExW(0, L"Quorle_worker_test_recorder", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

TEST(ThumbWorker, ServesTheIdleProtocolUntilItQuits) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = RecorderProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Quorle_worker_test_recorder";
    RegisterClassExW(&wc);
    HWND main = Recorder(), broker = Recorder(), pane = Recorder();
    app::Routing routing;
    routing.main.store(main);
    routing.broker.store(broker);
    routing.panes[1].store(pane);
    g_seen.clear();

    win::Handle thread = thumbs::StartThumbWorker(&routing, 1);
    ASSERT_TRUE(thread);
    ASSERT_TRUE(harness::PumpUntil([] { return !g_seen.empty(); }, 5000));
    ASSERT_EQ(g_seen[0].to, main);
    EXPECT_EQ(g_seen[0].message, msg::kMainWorkerReady);
    EXPECT_EQ(g_seen[0].lp, 1);
    HWND worker = reinterpret_cast<HWND>(g_seen[0].wp);
    EXPECT_EQ(worker, routing.workers[1].load());
    EXPECT_EQ(harness::WindowClassName(worker), L"Quorle_thumb2_class");

    // An idle worker bounces a load to the pane window with the same record.
    auto* request = new msg::LocationRequest;
    request->pane = 1;
    ASSERT_TRUE(PostMessageW(worker, msg::kThumbReady, 3, reinterpret_cast<LPARAM>(request)));
    ASSERT_TRUE(harness::PumpUntil([] { return g_seen.size() >= 2; }, 5000));
    EXPECT_EQ(g_seen[1].to, pane);
    EXPECT_EQ(g_seen[1].message, msg::kPaneLoad);
    EXPECT_EQ(g_seen[1].wp, 3u);
    EXPECT_EQ(g_seen[1].lp, reinterpret_cast<LPARAM>(request));
    delete request;

    // A stop becomes the pane's idle notice at the broker.
    ASSERT_TRUE(PostMessageW(worker, msg::kThumbReady, 0, 1));
    ASSERT_TRUE(harness::PumpUntil([] { return g_seen.size() >= 3; }, 5000));
    EXPECT_EQ(g_seen[2].to, broker);
    EXPECT_EQ(g_seen[2].message, msg::kBrokerJobDone);
    EXPECT_EQ(g_seen[2].wp, msg::kPaneCancelled);
    EXPECT_EQ(g_seen[2].lp, 1);

    // A request still queued behind the quit is freed with the window, and the thread still ends.
    ASSERT_TRUE(PostMessageW(worker, msg::kThumbQuit, 0, 0));
    ASSERT_TRUE(PostMessageW(worker, msg::kThumbReady, 1, reinterpret_cast<LPARAM>(new msg::LocationRequest)));
    EXPECT_EQ(WaitForSingleObject(thread.Get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(routing.workers[1].load(), nullptr);
    for (HWND h : {main, broker, pane})
        DestroyWindow(h);
}

} // namespace
