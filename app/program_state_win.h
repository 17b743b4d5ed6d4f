// The state every window of the running program shares: created by start-up, read by the windows,
// torn down in a fixed order when the main window closes (app/program_win.cpp).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/routing_win.h"
#include "app/settings.h"
#include "app/shortcut_table.h"
#include "common/message_worker_win.h"
#include "common/scoped_win.h"

namespace app {

// What the plug-in host works from, copied from the settings when they change; guarded by the
// plug-in lock, since the thumbnail workers read it while the options are applied.
struct PluginState {
    std::wstring folder;                        // settings key 60
    std::vector<std::wstring> excluded;         // settings key 102
    std::vector<std::wstring> imageExtensions;  // for the panes' type filter
    std::vector<std::wstring> archiveExtensions; // plug-in archives (kind 4) for the tree and open paths
};

struct Program {
    HINSTANCE instance = nullptr;
    HANDLE heap = nullptr; // the private heap, for large buffers
    int osClass = 0;
    std::wstring programFolder;
    std::wstring settingsPath;
    std::wstring cacheFolder;
    bool cacheFolderIsDefault = true;

    settings::Settings settings;
    shortcuts::ShortcutTable shortcuts;
    win::AcceleratorTable accelerators;
    // While non-zero the message loop does not translate accelerators.
    int acceleratorsSuspended = 0;

    // Extra size of a sizeable popup with a client edge.
    int frameWidth = 0;
    int frameHeight = 0;
    // Default and upper bound of the popup preview size (settings key 46).
    int screenBound = 0;

    Routing routing;
    win::MessageWorker broker;
    win::MessageWorker thumbWorkers[2]; // pane 1, pane 2

    win::CriticalSection pluginLock;
    PluginState plugins; // under pluginLock
    win::CriticalSection cacheLock;
};

// The running program's state; set by start-up before the first window exists.
Program& TheProgram();
void SetTheProgram(Program* program);
// The full path of the running executable.
std::wstring ExecutablePath();
HANDLE PrivateHeap();

// Measures the frame of a sizeable popup with a client edge (again on WM_WININICHANGE).
void MeasureFrame(Program& p);
// Makes the live HACCEL from the shortcut table's live entries.
void BuildAccelerators(Program& p);
// Copies the live accelerators back into the settings (at most 53 entries).
void StoreAccelerators(Program& p);

} // namespace app
