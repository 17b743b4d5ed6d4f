// The name dialog (template 2100): one edit control (2120), OK (1) and Cancel (2). It serves new
// folder, folder rename and file rename; the caller gives the title, the text and the place.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "fileops/file_rules.h"

namespace fileops {

constexpr UINT kNameDialog = 2100;
constexpr int kNameEdit = 2120;

struct NameDialogArgs {
    std::wstring title;
    std::wstring text; // shown selected in the edit
    // Where the dialog goes, given its size in pixels (screen coordinates); null keeps the template's.
    std::function<Box(int width, int height)> place;
};

enum class NameAnswer { kOk, kCancel, kNoTemplate };

// Runs the dialog modally. On OK `typed` gets the edit's text, empty when the user emptied it; a name
// the file system cannot take keeps the dialog open with a beep, so nothing is renamed by accident.
NameAnswer AskName(HWND owner, const NameDialogArgs& args, std::wstring* typed);

} // namespace fileops
