#include "thumbs/thumb_worker_win.h"

#include <process.h>

#include <memory>

#include "app/messages.h"

namespace thumbs {

namespace {

const wchar_t* const kWorkerClass[2] = {L"Quorle_thumb1_class", L"Quorle_thumb2_class"};

struct Worker {
    app::Routing* routing;
    int index;
};

// What an idle worker does with a load request: hand it to the pane window (or, for a stop,
// report the pane idle to the broker).
void Bounce(Worker& w, WPARAM flags, LPARAM lp) {
    if (flags == 0) {
        PostMessageW(w.routing->broker.load(), msg::kBrokerJobDone, msg::kPaneCancelled, w.index);
        return;
    }
    std::unique_ptr<msg::LocationRequest> request(reinterpret_cast<msg::LocationRequest*>(lp));
    if (PostMessageW(w.routing->panes[w.index].load(), msg::kPaneLoad, flags, lp)) {
        request.release();
        return;
    }
    PostMessageW(w.routing->broker.load(), msg::kBrokerJobDone, msg::kPaneCancelled, w.index);
}

// Requests still queued when the window goes would otherwise be lost with their records. PeekMessage
// hands out WM_QUIT whatever the filter, so a quit met here is posted again.
void DropQueuedRequests(HWND hwnd) {
    MSG m;
    while (PeekMessageW(&m, hwnd, msg::kThumbReady, msg::kThumbReady, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            return;
        }
        if (m.wParam)
            delete reinterpret_cast<msg::LocationRequest*>(m.lParam);
    }
}

LRESULT CALLBACK WorkerWndProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    Worker* w = reinterpret_cast<Worker*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        return TRUE;
    case msg::kThumbReady:
        Bounce(*w, wp, lp);
        return 0;
    case msg::kThumbQuit:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        w->routing->workers[w->index].store(nullptr);
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        DropQueuedRequests(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

unsigned __stdcall WorkerThreadMain(void* arg) {
    std::unique_ptr<Worker> w(static_cast<Worker*>(arg));
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WorkerWndProc;
    wc.hInstance = instance;
    wc.lpszClassName = kWorkerClass[w->index];
    RegisterClassExW(&wc);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, w.get());
    if (!hwnd)
        return 1;
    w->routing->workers[w->index].store(hwnd);
    PostMessageW(w->routing->main.load(), msg::kMainWorkerReady, reinterpret_cast<WPARAM>(hwnd), w->index);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0)
        DispatchMessageW(&m);
    UnregisterClassW(wc.lpszClassName, instance);
    return 0;
}

} // namespace

win::Handle StartThumbWorker(app::Routing* routing, int index) {
    Worker* w = new Worker{routing, index & 1};
    uintptr_t thread = _beginthreadex(nullptr, 0, WorkerThreadMain, w, 0, nullptr);
    if (!thread)
        delete w;
    return win::Handle(reinterpret_cast<HANDLE>(thread));
}

} // namespace thumbs
