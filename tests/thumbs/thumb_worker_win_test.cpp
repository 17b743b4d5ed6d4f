// Worker threads started in this process against recorder windows standing in for the main window,
// the broker and the pane: the idle protocol, a whole production, and a production abandoned for a
// newer request.
#include "thumbs/thumb_worker_win.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/messages.h"
#include "folder/listing.h"
#include "tests/fixtures/byte_writer.h"
#include "tests/harness/win_harness.h"
#include "tests/thumbs/photo_fixtures.h"

namespace {

struct Seen {
    HWND to;
    UINT message;
    WPARAM wp;
    LPARAM lp;
};
std::vector<Seen> g_seen;
// Result batches that reached the pane, kept (and freed) by the test.
std::vector<std::unique_ptr<thumbs::ThumbResults>> g_results;

LRESULT CALLBACK RecorderProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    if (message >= WM_APP && message < 0xC000) {
        g_seen.push_back({hwnd, message, wp, lp});
        if (message == msg::kPaneResults)
            g_results.emplace_back(reinterpret_cast<thumbs::ThumbResults*>(lp));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

HWND Recorder() {
    return CreateWindowExW(0, L"Quorle_worker_test_recorder", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

size_t CountSeen(HWND to, UINT message) {
    size_t n = 0;
    for (const Seen& s : g_seen)
        n += s.to == to && s.message == message ? 1 : 0;
    return n;
}

const Seen* FindSeen(HWND to, UINT message, size_t from = 0) {
    for (size_t i = from; i < g_seen.size(); ++i)
        if (g_seen[i].to == to && g_seen[i].message == message)
            return &g_seen[i];
    return nullptr;
}

class ThumbWorker : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = RecorderProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"Quorle_worker_test_recorder";
        RegisterClassExW(&wc);
        main_ = Recorder();
        broker_ = Recorder();
        pane_ = Recorder();
        routing_.main.store(main_);
        routing_.broker.store(broker_);
        routing_.panes[1].store(pane_);
        g_seen.clear();
        g_results.clear();
    }
    void TearDown() override {
        EXPECT_TRUE(thread_.Stop(10000, msg::kThumbQuit)) << "the worker ends on its quit message";
        harness::PumpFor(50);
        g_results.clear();
        for (HWND h : {main_, broker_, pane_})
            DestroyWindow(h);
    }

    HWND Start() {
        EXPECT_TRUE(thumbs::StartThumbWorker(&routing_, 1, &lock_, thread_));
        EXPECT_TRUE(harness::PumpUntil([] { return !g_seen.empty(); }, 5000));
        worker_ = g_seen.empty() ? nullptr : reinterpret_cast<HWND>(g_seen[0].wp);
        return worker_;
    }

    // A request for every picture of `folder`, as a pane would make it.
    std::unique_ptr<thumbs::ThumbRequest> RequestFor(const std::wstring& folder, uint32_t generation) {
        auto request = std::make_unique<thumbs::ThumbRequest>();
        request->pane = 1;
        request->generation = generation;
        request->path = folder;
        request->listing = std::make_unique<folder::ArchiveListing>();
        folder::PaneLocation location;
        location.path = folder;
        location.valid = 1;
        folder::ListRequest list;
        list.cacheEnabled = false;
        EXPECT_TRUE(folder::ListFolder(location, list, request->listing.get()));
        request->cacheFolder = cache_.Path();
        return request;
    }

    bool Post(HWND worker, std::unique_ptr<thumbs::ThumbRequest> request, WPARAM flags = 1) {
        if (!PostMessageW(worker, msg::kThumbRequest, flags, reinterpret_cast<LPARAM>(request.get())))
            return false;
        request.release();
        return true;
    }

    app::Routing routing_;
    win::CriticalSection section_;
    thumbs::CriticalCacheLock lock_{section_};
    win::MessageWorker thread_;
    HWND main_ = nullptr, broker_ = nullptr, pane_ = nullptr, worker_ = nullptr;
    fixtures::TempFolder cache_;
};

TEST_F(ThumbWorker, ServesTheIdleProtocolUntilItQuits) {
    HWND worker = Start();
    ASSERT_NE(worker, nullptr);
    ASSERT_EQ(g_seen[0].to, main_);
    EXPECT_EQ(g_seen[0].message, msg::kMainWorkerReady);
    EXPECT_EQ(g_seen[0].lp, 1);
    EXPECT_EQ(worker, routing_.workers[1].load());
    EXPECT_EQ(harness::WindowClassName(worker), L"Quorle_thumb2_class");

    // An idle worker bounces a load to the pane window with the same record.
    auto* request = new msg::LocationRequest;
    request->pane = 1;
    ASSERT_TRUE(PostMessageW(worker, msg::kThumbReady, 3, reinterpret_cast<LPARAM>(request)));
    ASSERT_TRUE(harness::PumpUntil([] { return g_seen.size() >= 2; }, 5000));
    EXPECT_EQ(g_seen[1].to, pane_);
    EXPECT_EQ(g_seen[1].message, msg::kPaneLoad);
    EXPECT_EQ(g_seen[1].wp, 3u);
    EXPECT_EQ(g_seen[1].lp, reinterpret_cast<LPARAM>(request));
    delete request;

    // A stop becomes the cancel notice of the load it names, at the broker.
    ASSERT_TRUE(PostMessageW(worker, msg::kThumbReady, 0, msg::PaneLoadParam(1, 9)));
    ASSERT_TRUE(harness::PumpUntil([] { return g_seen.size() >= 3; }, 5000));
    EXPECT_EQ(g_seen[2].to, broker_);
    EXPECT_EQ(g_seen[2].message, msg::kBrokerJobDone);
    EXPECT_EQ(g_seen[2].wp, msg::kPaneCancelled);
    EXPECT_EQ(g_seen[2].lp, msg::PaneLoadParam(1, 9));

    // Records still queued behind the quit are freed with the window, and the thread still ends.
    // The worker is held while they are posted, so all three are queued when it wakes.
    ASSERT_NE(SuspendThread(thread_.Thread()), static_cast<DWORD>(-1));
    EXPECT_TRUE(PostMessageW(worker, msg::kThumbQuit, 0, 0));
    EXPECT_TRUE(PostMessageW(worker, msg::kThumbReady, 1, reinterpret_cast<LPARAM>(new msg::LocationRequest)));
    EXPECT_TRUE(Post(worker, std::make_unique<thumbs::ThumbRequest>()));
    ResumeThread(thread_.Thread());
    EXPECT_EQ(WaitForSingleObject(thread_.Thread(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(routing_.workers[1].load(), nullptr);
}

TEST_F(ThumbWorker, ProducesEveryItemReportsDoneWritesTheCacheThenGoesIdle) {
    fixtures::TempFolder pictures;
    ASSERT_TRUE(photos::WriteJpeg(pictures / L"a.jpg", 400, 300, 1));
    ASSERT_TRUE(photos::WriteBmp(pictures / L"b.bmp", 90, 60, 2));
    fixtures::ByteWriter junk;
    junk.Ascii("not a picture at all");
    ASSERT_TRUE(junk.SaveTo(pictures / L"c.jpg"));
    HWND worker = Start();
    ASSERT_NE(worker, nullptr);

    ASSERT_TRUE(Post(worker, RequestFor(pictures.Path(), 7), 3));
    ASSERT_TRUE(harness::PumpUntil([&] { return CountSeen(broker_, msg::kBrokerJobDone) == 1; }, 20000));

    const Seen* progress = FindSeen(pane_, msg::kPaneProgress);
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->wp, 3u);
    EXPECT_EQ(progress->lp, 7);
    std::vector<const thumbs::ThumbResult*> byIndex(3, nullptr);
    for (const auto& batch : g_results) {
        EXPECT_EQ(batch->generation, 7u);
        EXPECT_EQ(batch->pane, 1);
        for (const thumbs::ThumbResult& r : batch->results)
            if (r.entry < byIndex.size())
                byIndex[r.entry] = &r;
    }
    ASSERT_TRUE(byIndex[0] && byIndex[1] && byIndex[2]) << "every item is reported";
    // The pane gets copies with their own pixels; the broken file is passed with none.
    EXPECT_EQ(byIndex[0]->item.name, L"a.jpg");
    EXPECT_EQ(byIndex[0]->item.width, 400);
    EXPECT_EQ(byIndex[0]->item.thumbWidth, 140);
    EXPECT_EQ(byIndex[0]->item.thumbHeight, 105);
    EXPECT_NE(byIndex[0]->item.pixels, nullptr);
    EXPECT_EQ(byIndex[1]->item.thumbWidth, 90) << "a small picture is not scaled";
    EXPECT_NE(byIndex[1]->item.pixels, nullptr);
    EXPECT_EQ(byIndex[2]->item.pixels, nullptr);
    for (const thumbs::ThumbResult* r : byIndex)
        EXPECT_EQ(r->item.state, 1);

    // Done (with the reset bit and the cache flag) comes before the idle notice.
    const Seen* done = FindSeen(pane_, msg::kPaneDone);
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->wp, msg::kLoadResetScroll);
    EXPECT_EQ(done->lp, 1);
    const Seen* idle = FindSeen(broker_, msg::kBrokerJobDone);
    EXPECT_EQ(idle->wp, msg::kPaneIdle);
    EXPECT_EQ(idle->lp, msg::PaneLoadParam(1, 7)) << "the notice names the load it ends";
    EXPECT_LT(done, idle);
    thumbs::CacheLocation location;
    location.path = pictures.Path();
    EXPECT_TRUE(thumbs::FindLocation(cache_.Path(), location).found);
    EXPECT_EQ(CountSeen(pane_, msg::kPaneMessage), 0u);
}

TEST_F(ThumbWorker, AFolderChangeDuringProductionSkipsTheOldFoldersCacheWrite) {
    fixtures::TempFolder old, next;
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(photos::WriteJpeg(old / (L"p" + std::to_wstring(i) + L".jpg"), 1200, 900, 10 + i));
    HWND worker = Start();
    ASSERT_NE(worker, nullptr);

    // The newer load is queued behind the production before the worker starts it.
    auto* move = new msg::LocationRequest;
    move->path = next.Path();
    move->pane = 1;
    ASSERT_NE(SuspendThread(thread_.Thread()), static_cast<DWORD>(-1));
    EXPECT_TRUE(Post(worker, RequestFor(old.Path(), 1)));
    EXPECT_TRUE(PostMessageW(worker, msg::kThumbReady, 3, reinterpret_cast<LPARAM>(move)));
    ResumeThread(thread_.Thread());

    ASSERT_TRUE(harness::PumpUntil([&] { return CountSeen(pane_, msg::kPaneLoad) == 1; }, 20000));
    const Seen* load = FindSeen(pane_, msg::kPaneLoad);
    EXPECT_EQ(load->lp, reinterpret_cast<LPARAM>(move)) << "the new request goes on to the pane";
    EXPECT_EQ(load->wp, 3u);
    delete move;
    harness::PumpFor(300);

    size_t reported = 0;
    for (const auto& batch : g_results)
        reported += batch->results.size();
    EXPECT_GE(reported, 1u) << "the item in hand completes";
    EXPECT_LT(reported, 12u) << "the rest is dropped";
    EXPECT_EQ(CountSeen(pane_, msg::kPaneDone), 0u);
    EXPECT_EQ(CountSeen(broker_, msg::kBrokerJobDone), 0u) << "the pane stays busy with the new load";
    EXPECT_FALSE(platform::FileExists(thumbs::IndexPath(cache_.Path()))) << "no cache write for the old folder";
}

TEST_F(ThumbWorker, ARequestOvertakenByTheStopOfItsLoadIsNotProduced) {
    fixtures::TempFolder pictures;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(photos::WriteJpeg(pictures / (L"p" + std::to_wstring(i) + L".jpg"), 200, 150, 30 + i));
    HWND worker = Start();
    ASSERT_NE(worker, nullptr);

    // The pane stopped load 5 after asking for its production; the stop reaches the worker first.
    ASSERT_NE(SuspendThread(thread_.Thread()), static_cast<DWORD>(-1));
    EXPECT_TRUE(PostMessageW(worker, msg::kThumbReady, 0, msg::PaneLoadParam(1, 5)));
    EXPECT_TRUE(Post(worker, RequestFor(pictures.Path(), 5)));
    ResumeThread(thread_.Thread());

    ASSERT_TRUE(harness::PumpUntil([&] { return CountSeen(broker_, msg::kBrokerJobDone) == 1; }, 20000));
    harness::PumpFor(300);
    const Seen* cancelled = FindSeen(broker_, msg::kBrokerJobDone);
    EXPECT_EQ(cancelled->wp, msg::kPaneCancelled);
    EXPECT_EQ(cancelled->lp, msg::PaneLoadParam(1, 5));
    EXPECT_EQ(CountSeen(broker_, msg::kBrokerJobDone), 1u) << "the stop alone answers for the load";
    EXPECT_EQ(CountSeen(pane_, msg::kPaneProgress), 0u);
    EXPECT_TRUE(g_results.empty()) << "nothing is produced for a stopped load";
    EXPECT_FALSE(platform::FileExists(thumbs::IndexPath(cache_.Path())));

    // A later load of the pane is produced as usual.
    EXPECT_TRUE(Post(worker, RequestFor(pictures.Path(), 6)));
    ASSERT_TRUE(harness::PumpUntil([&] { return CountSeen(broker_, msg::kBrokerJobDone) == 2; }, 20000));
    EXPECT_FALSE(g_results.empty());
}

TEST(ThumbResultHandOver, MovesFactsAndPixelsButNotWindowsOrSelection) {
    folder::ThumbItem from;
    from.name = L"x.jpg";
    from.path = L"C:\\x.jpg";
    from.width = 640;
    from.thumbWidth = 3;
    from.thumbHeight = 2;
    from.markE = 2;
    from.state = 1;
    from.selected = 1;
    from.cellWindow = reinterpret_cast<void*>(1);
    from.header.width = 3;
    from.header.height = 2;
    from.header.bit_count = 24;
    from.pixels = static_cast<uint8_t*>(platform::PageAlloc(12 * 2 + 4));
    for (int i = 0; i < 24; ++i)
        from.pixels[i] = static_cast<uint8_t>(i + 1);

    folder::ThumbItem copy;
    const uint8_t* block = from.pixels;
    thumbs::HandOverThumbnail(from, copy);
    EXPECT_EQ(copy.pixels, block) << "the one block goes to the pane";
    EXPECT_EQ(from.pixels, nullptr);
    EXPECT_EQ(from.name, L"x.jpg") << "the worker keeps the facts for the cache write";
    EXPECT_EQ(copy.pixels[23], 24);
    EXPECT_EQ(copy.name, L"x.jpg");
    EXPECT_EQ(copy.markE, 2);
    EXPECT_EQ(copy.cellWindow, nullptr);
    EXPECT_EQ(copy.selected, 0);

    folder::ThumbItem target;
    target.cellWindow = reinterpret_cast<void*>(5);
    target.selected = 1;
    thumbs::ApplyThumbResult(copy, target);
    EXPECT_EQ(target.cellWindow, reinterpret_cast<void*>(5)) << "the view's windows stay";
    EXPECT_EQ(target.selected, 1) << "so does the selection";
    EXPECT_EQ(target.width, 640);
    EXPECT_EQ(target.pixels[0], 1);
    EXPECT_EQ(copy.pixels, nullptr);
}

} // namespace
