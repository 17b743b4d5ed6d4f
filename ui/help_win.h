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

std::wstring ProgramExecutable();
// Opens the ".chm" beside `exe` with HTML Help (display topic) when it exists, else `page` in the
// browser. False when neither could be opened.
bool OpenHelp(HWND owner, const std::wstring& exe, const wchar_t* page);
// The shell's properties sheet of one file or folder.
bool ShowProperties(HWND owner, const std::wstring& path);

} // namespace help
