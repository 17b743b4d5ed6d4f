// Test harness for the Windows side, shared by in-process UI tests, end-to-end tests and the probe.
//
// In-process UI tests create the real windows inside the test executable and drive them with
// messages; PumpUntil runs the test thread's message loop while they react. End-to-end tests start
// the real Quorle.exe and look at its windows from outside (FindTopWindow, Children, SendCopyData,
// PostClose). Screenshots go to the build folder's "screenshots" folder as PNG.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace harness {

// Runs this thread's message loop until `done` returns true or `timeoutMs` passes.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);
// Runs this thread's message loop for `ms` milliseconds.
void PumpFor(DWORD ms);

// A top-level window of `className` (and, when given, owned by process `pid`), waiting up to
// `timeoutMs` for it to appear; null when none did.
HWND FindTopWindow(const std::wstring& className, DWORD timeoutMs = 0, DWORD pid = 0);
// A dialog box (class "#32770") of process `pid` once it is shown, holding control `withId` when that
// is not 0, waiting up to `timeoutMs` (0: one look). A modal dialog is made hidden and shown only
// after its WM_INITDIALOG, so its controls hold their first values by then; the bare class search can
// find it in between.
HWND FindShownDialog(DWORD timeoutMs, DWORD pid, int withId = 0);
// Waits until no top-level window of `className` exists.
bool WaitWindowGone(const std::wstring& className, DWORD timeoutMs);

struct ChildInfo {
    HWND hwnd;
    std::wstring className;
    std::wstring text;
    int id;
    RECT rect; // in the client coordinates of the top-level window
    bool visible;
};
std::wstring WindowText(HWND hwnd);
std::wstring WindowClassName(HWND hwnd);
// Every descendant window, in EnumChildWindows order.
std::vector<ChildInfo> Children(HWND top);

// The single-instance handoff: WM_COPYDATA with a block of 260 UTF-16 units holding `path`.
LRESULT SendCopyData(HWND target, const std::wstring& path, DWORD timeoutMs = 5000);
bool PostClose(HWND hwnd);

// A started process, terminated by the destructor if it is still running.
class Process {
  public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Start(const std::wstring& exe, const std::wstring& args, const std::wstring& workDir = L"");
    // Waits for the end; returns false on timeout.
    bool Wait(DWORD timeoutMs, DWORD* exitCode = nullptr);
    DWORD Id() const { return pid_; }
    HANDLE Get() const { return process_; }

  private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// Folder of the running executable, without a trailing backslash.
std::wstring ExeFolder();
// Folder of the build tree's programs (Quorle.exe, English.dll, tools): <build>\out.
std::wstring OutputFolder();
// <build>\screenshots, created on first use.
std::wstring ScreenshotFolder();

// Captures the whole screen (hwnd null) or the screen area of a window into a PNG file.
bool SaveScreenshot(const std::wstring& path, HWND hwnd = nullptr);
// Captures a window and saves it as <build>\screenshots\<name>.png; returns the path or empty.
std::wstring SaveNamedScreenshot(const std::wstring& name, HWND hwnd = nullptr);

} // namespace harness
