// Path helpers of the whole program. Paths are Windows paths held in std::wstring: "\" separates
// components, and comparison folds ASCII letters only (A-Z with a-z; every other unit compares
// exactly), which is the rule the file system applies to the names we care about.
#pragma once

#include <string>

namespace paths {

constexpr wchar_t kSeparator = L'\\';

// A..Z folded onto a..z; everything else unchanged.
wchar_t FoldAscii(wchar_t c);
// Same length and equal under ASCII case folding.
bool EqualFold(const std::wstring& a, const std::wstring& b);
// True when `path` equals `folder` or starts with `folder` followed by "\" (folded). A folder that
// already ends in "\" (a drive root such as "C:\") is not given a second one. An empty folder
// contains nothing.
bool AtOrUnder(const std::wstring& path, const std::wstring& folder);

bool EndsWithSeparator(const std::wstring& path);
// `path` without any trailing "\".
std::wstring TrimTrailingSeparators(const std::wstring& path);
// `name` appended to `folder` with exactly the one "\" between them that `folder` may already end
// in; an empty folder gives `name` alone.
std::wstring Join(const std::wstring& folder, const std::wstring& name);
// The part after the last "\"; the whole path when there is none (so "C:\a\" gives "").
std::wstring LastComponent(const std::wstring& path);
// Everything before the last "\"; the path itself when there is none.
std::wstring Parent(const std::wstring& path);
// The folder that holds `path` as a navigable location: a drive keeps its root backslash
// ("C:\a" gives "C:\"). Empty when the path has no "\" or ends in one (a root has no parent here).
std::wstring ParentFolder(const std::wstring& path);

} // namespace paths
