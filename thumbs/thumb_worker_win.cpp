#include "thumbs/thumb_worker_win.h"

#include <utility>

#include "app/messages.h"
#include "common/message_worker_win.h"
#include "image/scale_gdi_win.h"
#include "thumbs/decode_pool.h"

namespace thumbs {

namespace {

const wchar_t* const kWorkerClass[2] = {L"Quorle_thumb1_class", L"Quorle_thumb2_class"};

// A batch goes out after this long or this many items, whichever comes first, so that a folder
// filled from the cache does not flood the pane's queue (it holds at most 10,000 messages). It also
// goes out whenever the worker is about to wait for a decode: a made thumbnail is never held back
// behind the next one, and decodes are too slow to flood anything.
constexpr ULONGLONG kBatchMs = 40;
constexpr size_t kBatchItems = 256;

struct Worker {
    app::Routing* routing = nullptr;
    int index = 0;
    CacheLock* cacheLock = nullptr;
    // The last load a stop ended. The pane may already have asked for that load's production, and
    // the request can still be on its way here: it is dropped, as the stop has answered for it.
    uint32_t stoppedLoad = 0;
    // The decode threads both workers share, taken at the first production; joined when the last
    // worker record goes. Null on a single core.
    std::shared_ptr<DecodePool> pool;
    bool poolAsked = false;
};

HWND Broker(const Worker& w) { return w.routing->broker.load(); }
HWND PaneWindow(const Worker& w) { return w.routing->panes[w.index].load(); }

// The notice that ends load `load`; the broker drops it when a newer load has been asked for since.
void PostIdle(const Worker& w, WPARAM notice, uint32_t load) {
    PostMessageW(Broker(w), msg::kBrokerJobDone, notice, msg::PaneLoadParam(w.index, load));
}

// What an idle worker does with a load request: hand it to the pane window (or, for a stop,
// report the pane idle to the broker).
void Bounce(Worker& w, WPARAM flags, LPARAM lp) {
    if (flags == 0) {
        w.stoppedLoad = msg::ParamLoad(lp);
        PostIdle(w, msg::kPaneCancelled, w.stoppedLoad);
        return;
    }
    std::unique_ptr<msg::LocationRequest> request(reinterpret_cast<msg::LocationRequest*>(lp));
    if (PostMessageW(PaneWindow(w), msg::kPaneLoad, flags, lp)) {
        request.release();
        return;
    }
    PostIdle(w, msg::kPaneCancelled, request->load);
}

// A thread's drawing resources: the memory DC that method 3 stretches through. The worker makes one
// per request; each pool thread keeps one for its life.
class ThumbContext : public PoolThreadState {
  public:
    ThumbContext() : dc_(nullptr) {
        if (!dc_.Get())
            return;
        SetStretchBltMode(dc_.Get(), HALFTONE);
        SetBrushOrgEx(dc_.Get(), 0, 0, nullptr);
        image::ScalerUseDc(scaler_, dc_.Get());
    }
    ~ThumbContext() override { image::ScalerUseDc(scaler_, nullptr); }
    ThumbContext(const ThumbContext&) = delete;
    ThumbContext& operator=(const ThumbContext&) = delete;
    bool Ok() const { return dc_.Get() != nullptr; }
    image::Scaler& Scaler() override { return scaler_; }

  private:
    win::MemoryDC dc_;
    image::Scaler scaler_;
};

enum class Outcome { Running, NewRequest, Quit };

// One request in production: the private items, the batch on its way to the pane, and what the
// queue check found.
struct Production {
    Worker* worker = nullptr;
    HWND hwnd = nullptr;
    const ThumbRequest* request = nullptr;
    std::unique_ptr<ThumbResults> batch;
    ULONGLONG lastPost = 0;
    Outcome outcome = Outcome::Running;
    WPARAM nextFlags = 0;
    LPARAM nextParam = 0;
};

void NewBatch(Production& p) {
    p.batch = std::make_unique<ThumbResults>();
    p.batch->pane = p.request->pane;
    p.batch->generation = p.request->generation;
}

void FlushBatch(Production& p) {
    if (!p.batch || p.batch->results.empty())
        return;
    ThumbResults* raw = p.batch.release();
    if (!PostMessageW(PaneWindow(*p.worker), msg::kPaneResults, 0, reinterpret_cast<LPARAM>(raw)))
        delete raw;
    p.lastPost = GetTickCount64();
    NewBatch(p);
}

void OnItemDone(Production& p, size_t index, folder::ThumbItem& item) {
    ThumbResult result;
    result.entry = index;
    // The cache record is made already: the pane's thumbnail is the only one.
    HandOverThumbnail(item, result.item);
    p.batch->results.push_back(std::move(result));
    p.batch->done = index + 1;
    if (p.batch->results.size() >= kBatchItems || GetTickCount64() - p.lastPost >= kBatchMs)
        FlushBatch(p);
}

// Takes every message for the worker window in the private range off the queue. The first new
// request or quit ends production after the item in hand; anything else in the range is dropped.
bool KeepGoing(Production& p) {
    // The stop flag also covers a quit that could not be queued (a full queue).
    const std::atomic<bool>* stop = win::ThisWorkerStopFlag();
    if (stop && stop->load())
        p.outcome = Outcome::Quit;
    MSG m;
    while (p.outcome == Outcome::Running && PeekMessageW(&m, p.hwnd, msg::kThumbReady, 0xBFFF, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            // PeekMessage hands out WM_QUIT whatever the filter; the loop must still see it.
            PostQuitMessage(static_cast<int>(m.wParam));
            p.outcome = Outcome::Quit;
        } else if (m.message == msg::kThumbReady) {
            p.outcome = Outcome::NewRequest;
            p.nextFlags = m.wParam;
            p.nextParam = m.lParam;
        } else if (m.message == msg::kThumbQuit) {
            p.outcome = Outcome::Quit;
        } else {
            FreeWorkerPayload(m.message, m.wParam, m.lParam);
        }
    }
    return p.outcome == Outcome::Running;
}

DecodePool* PoolOf(Worker& w) {
    if (!w.poolAsked) {
        w.poolAsked = true;
        w.pool = SharedDecodePool([] { return std::unique_ptr<PoolThreadState>(new ThumbContext()); });
    }
    return w.pool.get();
}

void Produce(Worker& w, HWND hwnd, WPARAM flags, std::unique_ptr<ThumbRequest> request) {
    HWND pane = PaneWindow(w);
    ThumbContext context;
    folder::ThumbItemArray items;
    const size_t count = request->listing ? request->listing->entries.size() : 0;
    if (!context.Ok() || !folder::AllocateItems(items, count)) {
        PostIdle(w, msg::kPaneCancelled, request->generation);
        PostMessageW(pane, msg::kPaneMessage, 30001, 0);
        return;
    }
    PostMessageW(pane, msg::kPaneProgress, count, request->generation);

    Production p;
    p.worker = &w;
    p.hwnd = hwnd;
    p.request = request.get();
    NewBatch(p);

    ThumbJob job;
    job.kind = request->kind;
    job.path = request->path;
    job.shellTimeCheck = request->shellTimeCheck;
    job.locationTime = request->locationTime;
    job.listing = request->listing.get();
    job.items = items.items.data();
    job.count = count;
    job.filter = request->filter;
    job.forced = request->forced;

    // A decode under way when the program closes gives up at its next row band; on the pool too, as
    // the pipeline passes the stop on while the worker waits for an item.
    request->settings.load.cancel = win::ThisWorkerStopFlag();
    ThumbHooks hooks;
    hooks.itemDone = [&p](size_t index, folder::ThumbItem& item) { OnItemDone(p, index, item); };
    hooks.keepGoing = [&p] { return KeepGoing(p); };
    hooks.waiting = [&p] { FlushBatch(p); };
    hooks.cacheLock = w.cacheLock;
    hooks.scaler = &context.Scaler();
    hooks.pool = PoolOf(w);

    const ThumbOutcome outcome = ProcessThumbJob(request->cacheFolder, job, request->settings, hooks);
    FlushBatch(p);

    switch (p.outcome) {
    case Outcome::NewRequest:
        // The abandoned request's cache write is skipped.
        Bounce(w, p.nextFlags, p.nextParam);
        return;
    case Outcome::Quit:
        DestroyWindow(hwnd);
        return;
    case Outcome::Running:
        break;
    }
    const bool writeCache = outcome.writeCache;
    PostMessageW(pane, msg::kPaneDone, flags & msg::kLoadResetScroll, writeCache ? 1 : 0);
    // A picture that was read but got no thumbnail would otherwise pass for one no decoder reads.
    if (outcome.unmade > 0)
        PostMessageW(pane, msg::kPaneMessage, 30001, 0);
    if (writeCache) {
        const bool written = WriteThumbCache(request->cacheFolder, job, request->settings, outcome, w.cacheLock);
        if (!written)
            PostMessageW(pane, msg::kPaneMessage, 30008, 0);
    }
    PostIdle(w, msg::kPaneIdle, request->generation);
}

LRESULT WorkerWndProc(Worker& w, HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case msg::kThumbReady:
        Bounce(w, wp, lp);
        return 0;
    case msg::kThumbRequest: {
        std::unique_ptr<ThumbRequest> request(reinterpret_cast<ThumbRequest*>(lp));
        if (w.stoppedLoad == 0 || request->generation != w.stoppedLoad)
            Produce(w, hwnd, wp, std::move(request));
        return 0;
    }
    case msg::kThumbQuit:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        w.routing->workers[w.index].store(nullptr);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

} // namespace

void ApplyThumbResult(folder::ThumbItem& result, folder::ThumbItem& target) {
    void* cell = target.cellWindow;
    void* text = target.textWindow;
    const int32_t selected = target.selected;
    target = std::move(result);
    target.cellWindow = cell;
    target.textWindow = text;
    target.selected = selected;
}

void FreeWorkerPayload(UINT message, WPARAM wp, LPARAM lp) {
    if (message == msg::kThumbReady && wp)
        delete reinterpret_cast<msg::LocationRequest*>(lp);
    else if (message == msg::kThumbRequest)
        delete reinterpret_cast<ThumbRequest*>(lp);
}

void FreePanePayload(UINT message, WPARAM, LPARAM lp) {
    if (message == msg::kPaneLoad)
        delete reinterpret_cast<msg::LocationRequest*>(lp);
    else if (message == msg::kPaneResults)
        delete reinterpret_cast<ThumbResults*>(lp);
}

bool StartThumbWorker(app::Routing* routing, int index, CacheLock* cacheLock, win::MessageWorker& worker) {
    auto w = std::make_shared<Worker>();
    w->routing = routing;
    w->index = index & 1;
    w->cacheLock = cacheLock;
    win::MessageWorkerArgs args;
    args.className = kWorkerClass[w->index];
    args.threadName = w->index ? L"Quorle thumbnails 2" : L"Quorle thumbnails 1";
    args.handler = [w](HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
        return WorkerWndProc(*w, hwnd, message, wp, lp);
    };
    args.onReady = [w](HWND hwnd) {
        w->routing->workers[w->index].store(hwnd);
        PostMessageW(w->routing->main.load(), msg::kMainWorkerReady, reinterpret_cast<WPARAM>(hwnd), w->index);
    };
    // Requests still queued when the window goes would otherwise be lost with their records.
    args.firstPayload = msg::kThumbReady;
    args.lastPayload = msg::kThumbRequest;
    args.freePayload = FreeWorkerPayload;
    return worker.Start(std::move(args));
}

} // namespace thumbs
