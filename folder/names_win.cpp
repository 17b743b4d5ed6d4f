#include "folder/names_win.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "folder/names.h"

namespace folder {

namespace {

int StrCmpLogical(const std::wstring& a, const std::wstring& b) { return StrCmpLogicalW(a.c_str(), b.c_str()); }

} // namespace

void UseSystemNameOrder() { SetNameCompare(StrCmpLogical); }

int SystemLogicalCompare(const wchar_t* a, const wchar_t* b) { return StrCmpLogicalW(a, b); }

} // namespace folder
