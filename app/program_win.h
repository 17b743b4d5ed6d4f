// The place where the program is put together: start-up, the threads, the message loop and the
// close sequence. Only the entry point includes this; windows share app/program_state_win.h.
#pragma once

#include <windows.h>

#include "app/program_state_win.h"

namespace ui {
struct MainWindow;
}
namespace shelltree {
struct TreeHost;
struct TreeOptions;
}

namespace app {

// The program's entry, called by wWinMain.
int Run(HINSTANCE instance, int cmdShow);

// The close sequence up to the settings file: workers, broker, subclasses, image list, settings,
// accelerators. Runs once; the caller then destroys the window (or Windows ends the process).
void TearDown(ui::MainWindow& w);

} // namespace app
