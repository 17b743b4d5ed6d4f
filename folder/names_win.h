// The system's name order for the Windows program.
#pragma once

namespace folder {

// Makes CompareNames use StrCmpLogicalW. Called once at start-up, before any thread sorts.
void UseSystemNameOrder();

// StrCmpLogicalW on two names, for tests that hold the portable order against it.
int SystemLogicalCompare(const wchar_t* a, const wchar_t* b);

} // namespace folder
