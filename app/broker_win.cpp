#include "app/broker_win.h"

#include <process.h>

#include <memory>
#include <utility>

#include "app/broker.h"
#include "app/language_win.h"
#include "app/messages.h"
#include "app/startup_rules.h"
#include "common/message_worker_win.h"

namespace app {

namespace {

const wchar_t kBrokerClass[] = L"Quorle_msg_class";

struct Broker {
    broker::BrokerState state;
    Routing* routing = nullptr;
};

unsigned __stdcall JobThreadMain(void* arg) {
    broker::FileOpJob* job = static_cast<broker::FileOpJob*>(arg);
    const uint32_t result = job->run(*job) ? 1 : 0;
    // The broker frees the job when it reads this, so the record is not touched afterwards.
    PostMessageW(reinterpret_cast<HWND>(job->notifyWindow), msg::kBrokerFileOp, 0, result);
    return result;
}

UINT FailureText(const broker::FileOpJob& job) { return job.operation == broker::kOpExtract ? 30011 : 30012; }

// Starts the job's body (or its retry) on a new thread; false when no thread could be had.
bool StartJobThread(broker::FileOpJob& job) {
    win::Handle old(reinterpret_cast<HANDLE>(job.thread));
    if (old)
        WaitForSingleObject(old.Get(), startup::kJobWaitMs);
    job.thread = 0;
    const uintptr_t thread = job.run ? _beginthreadex(nullptr, 0, JobThreadMain, &job, 0, nullptr) : 0;
    if (!thread)
        return false;
    job.thread = static_cast<intptr_t>(thread);
    job.started = true;
    return true;
}

// Waits 258 ms for a running worker, ends it otherwise, and frees the record.
void DiscardJob(broker::BrokerState& s) {
    if (!s.job)
        return;
    win::Handle thread(reinterpret_cast<HANDLE>(s.job->thread));
    s.job->thread = 0;
    if (thread && WaitForSingleObject(thread.Get(), startup::kJobWaitMs) == WAIT_TIMEOUT)
        TerminateThread(thread.Get(), startup::kStillActive);
    s.job.reset();
}

LRESULT OnStartJob(Broker& b, WPARAM kind, LPARAM lp) {
    if (kind == 0) {
        // The stop names the load it ends, so that its cancel notice cannot end a later one.
        const int pane = static_cast<int>(lp) & 1;
        PostMessageW(b.routing->workers[pane].load(), msg::kThumbReady, 0,
                     msg::PaneLoadParam(pane, broker::CurrentLoad(b.state, pane)));
        return 0;
    }
    std::unique_ptr<msg::LocationRequest> request(reinterpret_cast<msg::LocationRequest*>(lp));
    if (!request)
        return 0;
    const int pane = request->pane & 1;
    request->load = broker::StartJob(b.state, pane, static_cast<uint32_t>(kind), request->kind, request->path);
    HWND worker = b.routing->workers[pane].load();
    if (worker && PostMessageW(worker, msg::kThumbReady, kind, reinterpret_cast<LPARAM>(request.get()))) {
        request.release();
        return 0;
    }
    // No worker to take it: the load ends here as a failed one.
    broker::JobDone(b.state, pane, request->load);
    PostMessageW(b.routing->panes[pane].load(), msg::kPaneCancelled, 0, 0);
    return 0;
}

LRESULT OnJobDone(Broker& b, WPARAM notice, LPARAM param) {
    const int pane = msg::ParamPane(param);
    if (broker::JobDone(b.state, pane, msg::ParamLoad(param)))
        PostMessageW(b.routing->panes[pane].load(), static_cast<UINT>(notice), 0, 0);
    return 0;
}

// Creation (flags), start (lParam 0 on a job not started), the worker's report (lParam 1 success,
// 0 failure, on a started job) and discard (lParam non-zero).
LRESULT OnFileOp(Broker& b, HWND hwnd, WPARAM flags, LPARAM lp) {
    broker::BrokerState& s = b.state;
    if (flags) {
        if (s.job)
            return 0;
        if (flags & msg::kFileOpQueryOnly)
            return 1;
        s.job = std::make_unique<broker::FileOpJob>();
        return reinterpret_cast<LRESULT>(s.job.get());
    }
    if (lp || !s.job) {
        DiscardJob(s);
        return 0;
    }
    broker::FileOpJob& job = *s.job;
    job.notifyWindow = reinterpret_cast<intptr_t>(hwnd);
    if (job.started) {
        // A failed extraction is tried once more by the plug-ins, when there are any.
        if (job.operation == broker::kOpExtract && job.retry && !job.retried) {
            job.retried = true;
            job.run = job.retry;
            if (StartJobThread(job))
                return 0;
        }
        lang::ShowError(b.routing->main.load(), FailureText(job));
        DiscardJob(s);
        return 0;
    }
    if (!StartJobThread(job)) {
        lang::ShowError(b.routing->main.load(), FailureText(job));
        DiscardJob(s);
    }
    return 0;
}

LRESULT OnCanClose(Broker& b, WPARAM endingSession) {
    broker::BrokerState& s = b.state;
    if (!s.job)
        return 1;
    HWND progress = reinterpret_cast<HWND>(s.job->progressWindow.load());
    if (progress && !IsWindow(progress))
        progress = nullptr;
    if (endingSession) {
        if (progress)
            PostMessageW(progress, WM_KEYDOWN, VK_ESCAPE, 0);
    } else if (progress) {
        SetForegroundWindow(progress);
        return 0;
    }
    DiscardJob(s);
    return 1;
}

const std::wstring* PathArg(LPARAM lp) { return reinterpret_cast<const std::wstring*>(lp); }

LRESULT BrokerWndProc(Broker* b, HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case msg::kBrokerQuit:
        DestroyWindow(hwnd);
        return 0;
    case msg::kBrokerStartJob:
        return OnStartJob(*b, wp, lp);
    case msg::kBrokerJobDone:
        return OnJobDone(*b, wp, lp);
    case msg::kBrokerAcquire:
        return broker::Acquire(b->state, static_cast<uint32_t>(wp), PathArg(lp));
    case msg::kBrokerFileOp:
        return OnFileOp(*b, hwnd, wp, lp);
    case msg::kBrokerCanClose:
        return OnCanClose(*b, wp);
    case msg::kBrokerBusyFlag:
        return broker::BusyFlag(b->state, static_cast<uint32_t>(wp));
    case msg::kBrokerPathInFileOp:
        return broker::PathInFileOp(b->state, PathArg(wp), static_cast<int>(lp));
    case msg::kBrokerPathFree:
        return PathArg(wp) ? broker::PathFree(b->state, *PathArg(wp)) : 1;
    case msg::kBrokerPaneIdle:
        return broker::PaneIdle(b->state, static_cast<int>(lp));
    case WM_DESTROY:
        // A job still running when the program ends is not left behind.
        DiscardJob(b->state);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

} // namespace

bool StartBrokerThread(Routing* routing, win::MessageWorker& worker) {
    auto broker = std::make_shared<Broker>();
    broker->routing = routing;
    win::MessageWorkerArgs args;
    args.className = kBrokerClass;
    args.threadName = L"Quorle broker";
    args.handler = [broker](HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
        return BrokerWndProc(broker.get(), hwnd, message, wp, lp);
    };
    args.onReady = [routing](HWND hwnd) { routing->broker.store(hwnd); };
    if (worker.Start(std::move(args)))
        return true;
    worker.Stop(startup::kThreadWaitMs);
    return false;
}

} // namespace app
