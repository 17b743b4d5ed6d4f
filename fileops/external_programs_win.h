// Handing files to other programs: the companion viewer, the external programs of the tools menu,
// and the file's default program; the shortcut files the program follows and the one it
// puts into the user's Send To folder. Every launch goes through ShellExecuteExW without an owner or
// working folder; the command handlers show error 30006 when a launch fails.
#pragma once

#include <windows.h>

#include <string>

#include "app/settings.h"
#include "fileops/external_commands.h"

namespace external {

// ShellExecuteExW with `verb` (null: the default), SEE_MASK_FLAG_NO_UI and SW_SHOW.
bool Launch(const std::wstring& file, const std::wstring& parameters, const wchar_t* verb = nullptr);
// Whether the file is a program the system can start with parameters (GetBinaryTypeW).
bool IsExecutable(const std::wstring& path);

// Commands 5210..5212 and 5213 (`command`), and 5250. Nothing happens when the viewer is missing.
void RunViewer(HWND errorOwner, const std::wstring& viewerPath, int command, const PaneView& pane);
void StartViewer(HWND errorOwner, const std::wstring& viewerPath);
// Commands 5231..5238 for the tool in that slot; an inactive slot does nothing.
void RunTool(HWND errorOwner, const settings::ExternalTool& tool, const PaneView& pane);
// Command 5239: the one selected file of a listed folder opened with its default program.
void OpenWithDefault(HWND errorOwner, const PaneView& pane);

// The target of a shortcut file, not searched for when it moved; `path` itself for any other path
// or when the link cannot be read.
std::wstring FollowShortcut(const std::wstring& path);

// The Send To shortcut: "<Send To folder>\<program name without extension>.lnk".
std::wstring SendToShortcutPath();
bool SendToShortcutExists();
// Creates it (target and icon: this program) or deletes it.
bool SetSendToShortcut(bool present);

// The open-file dialog that picks the companion viewer for the options dialog; it starts in the
// folder of the path typed in `pathField` (else Program Files) and replaces that field's text.
bool ChooseViewer(HWND owner, HWND pathField);

} // namespace external
