// Free names for files and folders the program creates beside existing ones: "photo.jpg" becomes
// "photo+1.jpg", then "photo+2.jpg", and a folder "Photos" becomes "Photos+1".
#pragma once

#include <string>

namespace paths {

// Paths the program creates stay within the classic limit of 259 characters.
constexpr size_t kMaxPathChars = 259;

// `path` itself when nothing exists there; otherwise the first free "+N" form (N from 1), put before
// the extension when `keepExtension` (the last "." after the last "\"), else at the end. Empty when
// no free name fits in kMaxPathChars.
std::wstring MakeUniqueName(const std::wstring& path, bool keepExtension);

} // namespace paths
