#include "common/message_worker_win.h"

#include <objbase.h>
#include <process.h>

#include <utility>

namespace win {

struct MessageWorker::State {
    MessageWorkerArgs args;
    std::atomic<bool> stop{false};
    std::atomic<HWND> window{nullptr};
    Handle ready; // set once the window exists, or could not be made
};

namespace {

using State = MessageWorker::State;

// The exit code a terminated worker is left with: what a thread still running reports.
constexpr DWORD kStillActive = 259;
constexpr DWORD kDefaultStopMs = 1000;

thread_local const std::atomic<bool>* t_stopFlag = nullptr;
std::atomic<bool> g_terminated{false};

// PeekMessage hands out WM_QUIT whatever the filter; the quit posted at WM_DESTROY is posted again.
void FreeQueuedPayloads(HWND hwnd, const MessageWorkerArgs& a) {
    if (!a.freePayload || a.firstPayload == 0 || a.lastPayload < a.firstPayload)
        return;
    MSG m;
    while (PeekMessageW(&m, hwnd, a.firstPayload, a.lastPayload, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            return;
        }
        a.freePayload(m.message, m.wParam, m.lParam);
    }
}

LRESULT CALLBACK WorkerWndProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    State* s = reinterpret_cast<State*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        return DefWindowProcW(hwnd, message, wp, lp);
    }
    if (!s)
        return DefWindowProcW(hwnd, message, wp, lp);
    const std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>& handler = s->args.handler;
    switch (message) {
    case WM_DESTROY:
        if (handler)
            handler(hwnd, message, wp, lp);
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        FreeQueuedPayloads(hwnd, s->args);
        s->window.store(nullptr);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        return DefWindowProcW(hwnd, message, wp, lp);
    }
    return handler ? handler(hwnd, message, wp, lp) : DefWindowProcW(hwnd, message, wp, lp);
}

unsigned __stdcall WorkerThreadMain(void* arg) {
    // The thread shares the record with its owner, so an owner that gave up on the thread leaves it intact.
    std::unique_ptr<std::shared_ptr<State>> start(static_cast<std::shared_ptr<State>*>(arg));
    std::shared_ptr<State> s = std::move(*start);
    const MessageWorkerArgs& a = s->args;
    t_stopFlag = &s->stop;
    NameThisThread(a.threadName);
    const HRESULT com = a.com ? CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) : E_FAIL;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND hwnd = nullptr;
    {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WorkerWndProc;
        wc.hInstance = instance;
        wc.lpszClassName = a.className;
        WindowClass windowClass(wc);
        hwnd = CreateWindowExW(0, a.className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, s.get());
        if (hwnd) {
            s->window.store(hwnd);
            if (a.onReady)
                a.onReady(hwnd);
        }
        SetEvent(s->ready.Get());
        if (hwnd) {
            if (a.loop) {
                a.loop(hwnd);
            } else {
                MSG m;
                while (GetMessageW(&m, nullptr, 0, 0) > 0)
                    DispatchMessageW(&m);
            }
        }
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    t_stopFlag = nullptr;
    return hwnd ? 0 : 1;
}

} // namespace

const std::atomic<bool>* ThisWorkerStopFlag() { return t_stopFlag; }

bool WorkerWasTerminated() { return g_terminated.load(); }

void NameThisThread(const wchar_t* name) {
    if (!name)
        return;
    using Fn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    Fn fn = kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")))
                   : nullptr;
    if (fn)
        fn(GetCurrentThread(), name);
}

MessageWorker::~MessageWorker() {
    if (thread_)
        Stop(kDefaultStopMs);
}

bool MessageWorker::Start(MessageWorkerArgs args, DWORD readyMs) {
    if (thread_)
        return false;
    auto s = std::make_shared<State>();
    s->args = std::move(args);
    s->ready.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!s->ready)
        return false;
    // Set before the thread runs: its handler may ask StopRequested() at once.
    state_ = s;
    auto* arg = new std::shared_ptr<State>(std::move(s));
    unsigned id = 0;
    thread_.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WorkerThreadMain, arg, 0, &id)));
    if (!thread_) {
        delete arg;
        state_.reset();
        return false;
    }
    threadId_ = id;
    WaitForSingleObject(state_->ready.Get(), readyMs);
    return state_->window.load() != nullptr;
}

void MessageWorker::RequestStop() {
    if (state_)
        state_->stop.store(true);
}

bool MessageWorker::StopRequested() const { return state_ && state_->stop.load(); }

bool MessageWorker::Stop(DWORD boundMs, UINT quitMessage) {
    RequestQuit(quitMessage);
    return Join(boundMs);
}

void MessageWorker::RequestQuit(UINT quitMessage) {
    if (!thread_)
        return;
    state_->stop.store(true);
    HWND hwnd = state_->window.load();
    if (!hwnd || !PostMessageW(hwnd, quitMessage, 0, 0))
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
}

bool MessageWorker::Join(DWORD boundMs) {
    if (!thread_)
        return true;
    const bool ended = WaitForSingleObject(thread_.Get(), boundMs) != WAIT_TIMEOUT;
    if (!ended) {
        g_terminated.store(true);
        TerminateThread(thread_.Get(), kStillActive);
    }
    thread_.Reset();
    state_.reset();
    threadId_ = 0;
    return ended;
}

HWND MessageWorker::Window() const { return state_ ? state_->window.load() : nullptr; }

} // namespace win
