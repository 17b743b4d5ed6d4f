// The RAR module's password dialog (template 2800, always at 11 points) and the program's hooks
// for RAR operations: where the module is looked for first and how a password is asked for.
#pragma once

#include <windows.h>

#include <string>

namespace app {

constexpr UINT kRarPasswordEdit = 2801;

// Shows dialog 2800 owned by `owner` with `password` in its edit field; on OK `password` holds
// what was typed. False on Cancel or when the template is missing.
bool AskRarPassword(HWND owner, std::wstring* password);

// Hands the plug-in folder (settings key 60, as it is now) and the dialog to the RAR operations;
// called at start-up and again whenever the setting changes.
void InstallRarHooks(const std::wstring& pluginFolder);

} // namespace app
