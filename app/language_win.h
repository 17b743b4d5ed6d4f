// The language module: a resource-only DLL beside the executable that holds every text and dialog
// template the user sees. It is mapped as an image resource, never executed, so a module of the
// wrong kind cannot run code in the program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lang {

// Maps `name` (".dll" added when it has no extension) from `folder` as a resource image and checks
// its signature; null when it cannot be mapped or is not a Quorle language module.
HMODULE OpenModule(const std::wstring& folder, const std::wstring& name);
// The first 7 bytes of RT_RCDATA 1 are "Quorle" and a zero byte.
bool HasSignature(HMODULE module);

// Where dialog-template copies are made (the private heap; the process heap until this is called)
// and where the large-font option lives: it is read each time a dialog is made, so a change reaches
// the next dialog. `largeFont` must outlive every dialog made after this call; null means 9 points.
void SetDialogOptions(HANDLE heap, const bool* largeFont);

// Tries the stored name (or the default for the UI language), then English, then Japanese. On
// success `name` holds the name that loaded and the module is the current one.
bool Load(const std::wstring& folder, std::wstring& name);
// Makes module `name` of `folder` the current one, with no fallback to other languages: when it cannot
// be mapped or is not a Quorle language module, the current module stays and the result is false.
bool Switch(const std::wstring& folder, const std::wstring& name);
// Frees the current module.
void Unload();
HMODULE Current();

// String `id` of the current module (at most 127 units); empty when it is missing.
std::wstring Text(UINT id);

// The error box of a message id (30001..30013, 50001..50024); other ids, or no module, show nothing.
void ShowError(HWND owner, UINT id);
// The texts ShowError would show; false when the id shows nothing.
bool ErrorTexts(UINT id, std::wstring* caption, std::wstring* text);

// Dialogs from the module's extended templates with the font set to 9 or 11 points. The copy of
// the template lives on the private heap until the dialog exists (modeless) or has ended (modal).
HWND CreateDialogFromModule(UINT templateId, HWND owner, DLGPROC proc, LPARAM param);
// -1 when the template is missing or not extended. `points`, when not 0, is the font size whatever
// the large-font option says.
INT_PTR DialogBoxFromModule(UINT templateId, HWND owner, DLGPROC proc, LPARAM param, uint16_t points = 0);

// Names of the language modules in `folder`: the current one unopened, others after a signature
// check, in directory order.
std::vector<std::wstring> LanguageList(const std::wstring& folder, const std::wstring& current);

} // namespace lang
