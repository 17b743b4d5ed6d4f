// The program's path test: ASCII-only case folding (A-Z with a-z, every other unit exactly), and
// "at or under" meaning equal to a folder or inside it.
#pragma once

#include <string>

namespace paths {

// Same length and equal under ASCII case folding.
bool EqualFold(const std::wstring& a, const std::wstring& b);
// True when `path` equals `folder` or starts with `folder` followed by "\" (folded). A folder that
// already ends in "\" (a drive root such as "C:\") is not given a second one. An empty folder
// contains nothing.
bool AtOrUnder(const std::wstring& path, const std::wstring& folder);

} // namespace paths
