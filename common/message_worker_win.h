// A worker thread that owns one message-only window and serves the messages posted to it: the
// broker, the thumbnail workers and the folder tree's worker are each one of these.
//
// The thread registers the window class, names itself, creates the window, runs `onReady` and
// signals the starter, then pumps messages until the window is gone (WM_DESTROY posts the quit) and
// unregisters the class. Posted payloads still queued in [firstPayload, lastPayload] when the window
// goes are handed to `freePayload`, or they would be lost with their records.
//
// Stop sets a flag long handlers check, posts WM_CLOSE (or the worker's own quit message) and waits
// a bounded time; a thread that does not end within the bound is terminated as the last resort. The
// thread shares its record with the owner, so a terminated thread never sees it freed. A terminated
// thread may have held any lock, the process heap's included: after WorkerWasTerminated() the owner
// takes no lock it cannot give up on. Stop is RequestQuit and Join, so an owner can ask several
// workers at once and then wait for them together.
// Windows-only.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

#include "common/scoped_win.h"

namespace win {

struct MessageWorkerArgs {
    const wchar_t* className = nullptr;  // registered by the thread for its life
    const wchar_t* threadName = nullptr; // for debuggers; null leaves the thread unnamed
    // The window's messages after WM_NCCREATE, as a window procedure: unhandled ones go to
    // DefWindowProcW. WM_DESTROY reaches it before the quit is posted; WM_NCDESTROY is the worker's
    // own (it drains the queue). Whatever the worker works on travels in the handler's captures.
    std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler;
    // Runs on the thread once the window exists, before the starter is released.
    std::function<void(HWND)> onReady;
    // The thread's message loop, for workers that also wait on handles; it returns at WM_QUIT.
    // Without one the thread pumps GetMessageW.
    std::function<void(HWND)> loop;
    // Private messages whose LPARAM payload the window owns.
    UINT firstPayload = 0;
    UINT lastPayload = 0;
    std::function<void(UINT message, WPARAM wp, LPARAM lp)> freePayload;
    bool com = false; // the thread joins a single-threaded COM apartment
};

class MessageWorker {
  public:
    MessageWorker() = default;
    ~MessageWorker();
    MessageWorker(const MessageWorker&) = delete;
    MessageWorker& operator=(const MessageWorker&) = delete;

    // Starts the thread and waits up to `readyMs` for its window. False when the thread could not
    // be started or made no window in time; a thread that is still running stays owned (Stop ends it).
    bool Start(MessageWorkerArgs args, DWORD readyMs = INFINITE);

    // Asks a long handler to give up; the window keeps serving what is queued.
    void RequestStop();
    bool StopRequested() const;

    // Sets the stop flag, posts `quitMessage` to the window (WM_QUIT to the thread when the window is
    // gone) and waits up to `boundMs`; after that the thread is terminated. True when it ended on its own.
    bool Stop(DWORD boundMs, UINT quitMessage = WM_CLOSE);
    // The first half of Stop: sets the stop flag and posts `quitMessage`; does not wait.
    void RequestQuit(UINT quitMessage = WM_CLOSE);
    // The second half: waits up to `boundMs` for the thread, then terminates it. True when it ended
    // on its own (or there was none).
    bool Join(DWORD boundMs);

    // The worker's window while it exists.
    HWND Window() const;
    explicit operator bool() const { return static_cast<bool>(thread_); }

    // The thread while it is owned (to wait for it or hold it still in tests).
    HANDLE Thread() const { return thread_.Get(); }

    struct State;

  private:
    std::shared_ptr<State> state_;
    Handle thread_;
    DWORD threadId_ = 0;
};

// The stop flag of the worker running on the calling thread, or null on any other thread. It lives as
// long as the thread, so the thread's own long jobs (a decode) may keep it and poll it.
const std::atomic<bool>* ThisWorkerStopFlag();

// True once any worker of the process had to be terminated.
bool WorkerWasTerminated();

// Names the calling thread where the system can (SetThreadDescription, Windows 10 1607 on).
void NameThisThread(const wchar_t* name);

} // namespace win
