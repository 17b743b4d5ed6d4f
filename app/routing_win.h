// The windows that threads post to, shared between the user-interface thread, the broker thread and
// the thumbnail workers. Each entry is written once, when its window exists, and read by the others.
#pragma once

#include <windows.h>

#include <atomic>

namespace app {

struct Routing {
    std::atomic<HWND> main{nullptr};
    std::atomic<HWND> broker{nullptr};
    std::atomic<HWND> panes[2] = {{nullptr}, {nullptr}};
    std::atomic<HWND> workers[2] = {{nullptr}, {nullptr}};
};

} // namespace app
