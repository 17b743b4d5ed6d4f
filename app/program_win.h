// Process-wide state of the running program: created by start-up, read by every window, torn down
// in a fixed order when the main window closes.
#pragma once

#include <windows.h>

#include <string>

#include "app/routing_win.h"
#include "app/settings.h"
#include "common/scoped_win.h"
#include "thumbs/thumb_worker_win.h"
#include "ui/shortcut_table.h"

namespace ui {
struct MainWindow;
}
namespace shelltree {
struct TreeHost;
struct TreeOptions;
}

namespace app {

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
    // Broker, pane-1 worker, pane-2 worker.
    win::Handle threads[3];

    win::CriticalSection pluginLock;
    win::CriticalSection cacheLock;
    thumbs::CriticalCacheLock cacheLockAdapter{cacheLock};
};

Program& TheProgram();
// The full path of the running executable.
std::wstring ExecutablePath();
HANDLE PrivateHeap();

// The program's entry, called by wWinMain.
int Run(HINSTANCE instance, int cmdShow);

// Measures the frame of a sizeable popup with a client edge (again on WM_WININICHANGE).
void MeasureFrame(Program& p);
// Makes the live HACCEL from the shortcut table's live entries.
void BuildAccelerators(Program& p);
// Copies the live accelerators back into the settings (at most 53 entries).
void StoreAccelerators(Program& p);

// Waits up to 1000 ms for a thread, terminates it when it does not end, and closes the handle.
void WaitBounded(win::Handle& thread, DWORD ms);

// The close sequence up to the settings file: workers, broker, subclasses, image list, settings,
// accelerators. Runs once; the caller then destroys the window (or Windows ends the process).
void TearDown(ui::MainWindow& w);

// The folder tree's way into the program: navigation through the broker, pane queries through the
// main window, the menus' look; and its options from the settings (keys 6, 7, 43, 101, 104, 106).
shelltree::TreeHost ProgramTreeHost();
shelltree::TreeOptions ProgramTreeOptions();

// The path a second instance, the command line, a drop or the folder tree hands over: navigate the
// active pane there. A folder opens as itself, a file opens the folder that holds it. Dropped when
// the pane already shows that location.
void OpenPath(const std::wstring& path);
// The folder a path opens: itself for a folder (or a path that does not exist), else its folder.
std::wstring NavigationFolder(const std::wstring& path);

} // namespace app
