// Help and properties: the commands that hand over to the system's HTML Help, the browser and the
// shell's properties sheet.
#pragma once

#include <windows.h>

#include <string>

#include "ui/help_path.h"

namespace help {

// Online help pages, opened when no help file lies beside the executable.
extern const wchar_t kProgramHelpPage[];
extern const wchar_t kViewerHelpPage[];

// HTML Help for the program's lifetime: the system folder's control (a file of that name beside the
// program is never loaded), initialised on creation and uninitialised on destruction. Without it,
// help opens in the browser.
class HtmlHelpSession {
  public:
    HtmlHelpSession();
    ~HtmlHelpSession();
    HtmlHelpSession(const HtmlHelpSession&) = delete;
    HtmlHelpSession& operator=(const HtmlHelpSession&) = delete;

  private:
    HMODULE module_ = nullptr;
    DWORD_PTR cookie_ = 0;
};

// Opens the ".chm" beside `exe` with HTML Help (display topic) when it exists and a session is
// open, else `page` in the browser. False when neither could be opened.
bool OpenHelp(HWND owner, const std::wstring& exe, const wchar_t* page);
// The shell's properties sheet of one file or folder.
bool ShowProperties(HWND owner, const std::wstring& path);

} // namespace help
