// A real browse pane with the real broker and thumbnail worker, their messages passed through relay
// windows that can hold them back: the orders of arrival that timing makes rare are made here on
// purpose. The case: a second load reaches the broker before the first load's idle notice, and the
// user sorts or removes items while the second load's results are still on their way.
#include "ui/browse_pane_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/broker_win.h"
#include "app/messages.h"
#include "app/program_state_win.h"
#include "folder/sorting.h"
#include "tests/fixtures/byte_writer.h"
#include "tests/harness/win_harness.h"
#include "tests/thumbs/photo_fixtures.h"
#include "thumbs/thumb_view_win.h"
#include "thumbs/thumb_worker_win.h"

namespace {

constexpr int kPictures = 8;
constexpr UINT kMarker = WM_APP + 0x300;

std::wstring NameOf(int i) { return L"p" + std::to_wstring(i) + L".jpg"; }
int WidthOf(int i) { return 300 + 10 * i; }

// A window of this thread that passes the private messages posted to it on to `target`, or keeps
// them back while `Holds` says so (once it holds, it holds everything after, so order is kept).
struct Relay {
    HWND hwnd = nullptr;
    HWND target = nullptr;
    bool holdAll = false;
    int resultsToPass = -1; // results batches still passed before holding starts; -1 no limit
    std::deque<MSG> held;
    std::vector<UINT> passed;
    size_t markers = 0;

    bool Holds(UINT message) {
        if (holdAll || !held.empty())
            return true;
        if (message == msg::kPaneResults && resultsToPass == 0)
            return true;
        if (message == msg::kPaneResults && resultsToPass > 0)
            --resultsToPass;
        return false;
    }
    void Take(UINT message, WPARAM wp, LPARAM lp) {
        if (message == kMarker) {
            ++markers;
        } else if (Holds(message)) {
            MSG m = {};
            m.message = message;
            m.wParam = wp;
            m.lParam = lp;
            held.push_back(m);
        } else {
            Pass(message, wp, lp);
        }
    }
    // Without a target the relay only records.
    void Pass(UINT message, WPARAM wp, LPARAM lp) {
        passed.push_back(message);
        if (target && !PostMessageW(target, message, wp, lp))
            ADD_FAILURE() << "a relayed message was lost";
    }
    // Passes on what was held and stops holding.
    void Open() {
        holdAll = false;
        resultsToPass = -1;
        while (!held.empty()) {
            const MSG m = held.front();
            held.pop_front();
            Pass(m.message, m.wParam, m.lParam);
        }
    }
    size_t Passed(UINT message) const { return static_cast<size_t>(std::count(passed.begin(), passed.end(), message)); }
};

LRESULT CALLBACK RelayProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    auto* relay = reinterpret_cast<Relay*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (relay && message >= WM_APP && message < 0xC000) {
        relay->Take(message, wp, lp);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

// Start-up state every pane reads; one for the whole run, as in the program.
app::Program& TestProgram() {
    static app::Program* program = [] {
        auto* p = new app::Program;
        p->instance = GetModuleHandleW(nullptr);
        p->settings.cacheEnabled = false;
        app::SetTheProgram(p);
        return p;
    }();
    return *program;
}

class PaneRace : public ::testing::Test {
  protected:
    void SetUp() override {
        app::Program& program = TestProgram();
        HINSTANCE instance = program.instance;
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = RelayProc;
        wc.hInstance = instance;
        wc.lpszClassName = L"Quorle_pane_test_relay";
        RegisterClassExW(&wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = L"Quorle_pane_test_top";
        RegisterClassExW(&wc);
        static const bool registered = ui::RegisterBrowsePaneClasses(instance);
        ASSERT_TRUE(registered);
        for (int i = 0; i < kPictures; ++i)
            ASSERT_TRUE(photos::WriteJpeg(pictures_ / NameOf(i), WidthOf(i), 200, 5 + i));
        program.cacheFolder = cache_.Path();

        top_ = CreateWindowExW(0, L"Quorle_pane_test_top", L"", WS_OVERLAPPEDWINDOW, 0, 0, 900, 600, nullptr,
                               nullptr, instance, nullptr);
        main_.hwnd = top_;
        main_.client = top_;
        main_.font.Reset(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
        Attach(&bystander_, nullptr);
        program.routing.main.store(bystander_.hwnd);
        program.routing.panes[0].store(bystander_.hwnd);
        ASSERT_TRUE(app::StartBrokerThread(&program.routing, brokerThread_));
        broker_ = program.routing.broker.load();

        layout::Rect rect;
        rect.right = 860;
        rect.bottom = 500;
        pane_ = ui::CreateBrowsePane(main_, 1, rect);
        ASSERT_NE(pane_, nullptr);
        main_.panes[1] = pane_;
        view_ = thumbs::ThumbViewOf(GetDlgItem(pane_, ui::kIdThumbArea));
        ASSERT_NE(view_, nullptr);

        // The worker reaches the broker and the pane only through the relays.
        Attach(&toBroker_, broker_);
        Attach(&toPane_, pane_);
        workerRouting_.main.store(bystander_.hwnd);
        workerRouting_.broker.store(toBroker_.hwnd);
        workerRouting_.panes[1].store(pane_ ? toPane_.hwnd : nullptr);
        ASSERT_TRUE(thumbs::StartThumbWorker(&workerRouting_, 1, nullptr, workerThread_));
        ASSERT_TRUE(harness::PumpUntil([&] { return workerRouting_.workers[1].load() != nullptr; }, 5000));
        program.routing.workers[1].store(workerRouting_.workers[1].load());
    }

    void TearDown() override {
        app::Program& program = TestProgram();
        EXPECT_TRUE(workerThread_.Stop(10000, msg::kThumbQuit));
        toPane_.Open();
        toBroker_.Open();
        Drain();
        EXPECT_TRUE(brokerThread_.Stop(5000, msg::kBrokerQuit));
        if (pane_)
            ui::ReleasePaneView(pane_);
        DestroyWindow(top_);
        for (Relay* r : {&toBroker_, &toPane_, &bystander_})
            DestroyWindow(r->hwnd);
        for (std::atomic<HWND>* h : {&program.routing.main, &program.routing.broker, &program.routing.panes[0],
                                     &program.routing.panes[1], &program.routing.workers[0], &program.routing.workers[1]})
            h->store(nullptr);
        main_.font.Release(); // a stock object
    }

    void Attach(Relay* relay, HWND target) {
        relay->target = target;
        relay->hwnd = CreateWindowExW(0, L"Quorle_pane_test_relay", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(relay->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(relay));
    }

    folder::ThumbItemArray& Items() { return thumbs::ViewItems(*view_); }
    size_t Finished() {
        size_t n = 0;
        for (size_t i = 0; i < thumbs::ViewCount(*view_); ++i)
            n += Items().items[i].state == 1 ? 1 : 0;
        return n;
    }
    // Everything this thread posted before now has been handled once the marker comes back.
    bool Drain() {
        const size_t before = bystander_.markers;
        PostMessageW(bystander_.hwnd, kMarker, 0, 0);
        return harness::PumpUntil([&] { return bystander_.markers > before; }, 5000);
    }

    // Loads the folder once and keeps its idle notice back; asks for the second load; then lets the
    // first notice reach the broker behind it. Returns with the second load's first result applied
    // and every later one held.
    void SecondLoadOvertakesTheFirstNotice() {
        toBroker_.holdAll = true;
        auto* request = new msg::LocationRequest;
        request->path = pictures_.Path();
        request->pane = 1;
        SendMessageW(broker_, msg::kBrokerStartJob, msg::kJobNavigate, reinterpret_cast<LPARAM>(request));
        ASSERT_TRUE(harness::PumpUntil([&] { return toBroker_.held.size() == 1; }, 20000));
        ASSERT_TRUE(Drain());
        ASSERT_EQ(Finished(), static_cast<size_t>(kPictures)) << "the first load is complete";

        toPane_.resultsToPass = 1;
        ui::ReloadPane(pane_, msg::kLoadReload);
        // The stale notice goes to the broker now, behind the second request; later ones stay held.
        const MSG stale = toBroker_.held.front();
        toBroker_.held.pop_front();
        toBroker_.Pass(stale.message, stale.wParam, stale.lParam);
        // A notice that ends no load, for the other pane, comes back once the broker has read both.
        PostMessageW(broker_, msg::kBrokerJobDone, msg::kPaneIdle, 0);
        ASSERT_TRUE(harness::PumpUntil([&] { return bystander_.Passed(msg::kPaneIdle) == 1; }, 5000));
        ASSERT_TRUE(harness::PumpUntil([&] { return Finished() == 1 && !toPane_.held.empty(); }, 20000))
            << "the second load has started and its first result is in";
    }

    // Lets everything through and waits until the second load's idle notice has reached the broker
    // and everything the worker sent the pane has been handled.
    void FinishTheSecondLoad() {
        toPane_.Open();
        toBroker_.Open();
        ASSERT_TRUE(harness::PumpUntil([&] { return toBroker_.Passed(msg::kBrokerJobDone) == 2; }, 20000));
        ASSERT_TRUE(Drain());
    }

    // Every picture once, each with the facts and thumbnail of its own file, in the pane's order.
    void ExpectEveryThumbnailUnderItsOwnName() {
        const ui::PaneFacts facts = ui::PaneFactsOf(pane_);
        EXPECT_TRUE(facts.idle);
        ASSERT_EQ(thumbs::ViewCount(*view_), static_cast<size_t>(kPictures));
        std::set<std::wstring> names;
        for (size_t i = 0; i < kPictures; ++i) {
            const folder::ThumbItem& item = Items().items[i];
            names.insert(item.name);
            EXPECT_EQ(item.state, 1) << i;
            EXPECT_NE(item.pixels, nullptr) << i;
            EXPECT_EQ(item.path, pictures_ / item.name) << i;
            EXPECT_EQ(NameOf((item.width - 300) / 10), item.name) << "item " << i << " has another file's facts";
            if (i > 0) {
                EXPECT_LT(folder::CompareItems(Items().items[i - 1], item, facts.sortMode, folder::kFileSystemFolder), 0)
                    << "out of sort order at " << i;
            }
        }
        EXPECT_EQ(names.size(), static_cast<size_t>(kPictures)) << "a file is missing and another shown twice";
    }

    fixtures::TempFolder pictures_;
    fixtures::TempFolder cache_;
    ui::MainWindow main_;
    HWND top_ = nullptr;
    HWND broker_ = nullptr;
    HWND pane_ = nullptr;
    thumbs::ThumbView* view_ = nullptr;
    Relay toBroker_, toPane_, bystander_;
    app::Routing workerRouting_;
    win::MessageWorker brokerThread_, workerThread_;
};

TEST_F(PaneRace, SortingWaitsForTheLoadAndEveryThumbnailStaysUnderItsOwnName) {
    SecondLoadOvertakesTheFirstNotice();
    EXPECT_FALSE(ui::PaneFactsOf(pane_).idle) << "the earlier load's notice must not free the pane";
    ui::SetPaneSortMode(pane_, folder::kSortNameDescending);
    FinishTheSecondLoad();
    ExpectEveryThumbnailUnderItsOwnName();

    // Once the load has ended, sorting is applied.
    ui::SetPaneSortMode(pane_, folder::kSortNameDescending);
    EXPECT_EQ(ui::PaneFactsOf(pane_).sortMode, folder::kSortNameDescending);
    EXPECT_EQ(Items().items[0].name, NameOf(kPictures - 1));
    ExpectEveryThumbnailUnderItsOwnName();
}

TEST_F(PaneRace, RemovalWaitsForTheLoad) {
    SecondLoadOvertakesTheFirstNotice();
    Items().items[3].selected = 1;
    ui::RemoveSelected(main_, 1);
    EXPECT_EQ(thumbs::ViewCount(*view_), static_cast<size_t>(kPictures)) << "nothing goes while the load runs";
    Items().items[3].selected = 0;
    FinishTheSecondLoad();
    ExpectEveryThumbnailUnderItsOwnName();
}

} // namespace
