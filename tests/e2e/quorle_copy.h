// A private copy of the program for one end-to-end test: Quorle.exe (under any name) and English.dll
// in a fresh folder, with a Quorle.ini beside them so the run is portable and shares no settings.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "tests/fixtures/byte_writer.h"
#include "tests/harness/win_harness.h"

namespace e2e {

constexpr wchar_t kMainClass[] = L"Quorle_main_class";

class QuorleCopy {
  public:
    explicit QuorleCopy(const std::wstring& exeName = L"Quorle.exe");
    // Writes the settings file the next start reads.
    bool WriteSettings(const settings::Settings& s) const;
    settings::Settings ReadSettings(settings::SettingsReader* reader = nullptr) const;

    // Starts the copy with `args` and waits for its main window (null when none appears).
    HWND Start(harness::Process& process, const std::wstring& args = L"") const;
    // Asks the window to close and waits for the process; returns its exit code (or 259 on timeout).
    static DWORD Close(harness::Process& process, HWND main);

    const std::wstring& Folder() const { return folder_.Path(); }
    std::wstring Exe() const { return folder_ / exe_; }
    std::wstring SettingsPath() const { return folder_ / L"Quorle.ini"; }

  private:
    fixtures::TempFolder folder_;
    std::wstring exe_;
};

int CountTopWindows(const std::wstring& className);
// The descendant with control id `id`, or null.
HWND ChildById(HWND top, int id);
RECT ScreenRect(HWND hwnd);
// Sends a message whose lParam points to `size` bytes to another process's window: the bytes are
// copied into a block of that process, and back when the message returns.
bool RemoteSend(HWND hwnd, UINT message, WPARAM wp, void* buffer, size_t size, LRESULT* result = nullptr);
// SB_GETTEXTW of another process's status bar.
std::wstring RemoteStatusText(HWND status, int part);
// The texts of every tool of another process's tooltip window.
std::vector<std::wstring> RemoteToolTexts(HWND tooltip);
// The tooltip window `owner` owns, or null.
HWND ToolTipOf(HWND owner);
// TB_GETITEMRECT of another process's toolbar, in screen coordinates.
RECT RemoteItemRect(HWND toolbar, int index);
// `count` photographs in the folder `name` made under `root`: JPEG landscape and portrait, and BMP.
std::wstring WritePhotos(const fixtures::TempFolder& root, const std::wstring& name, int count);

} // namespace e2e
