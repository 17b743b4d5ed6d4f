#include "app/path_compare.h"

namespace paths {

namespace {

wchar_t Fold(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool PrefixFold(const std::wstring& text, const std::wstring& prefix) {
    if (prefix.size() > text.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (Fold(text[i]) != Fold(prefix[i]))
            return false;
    return true;
}

} // namespace

bool EqualFold(const std::wstring& a, const std::wstring& b) { return a.size() == b.size() && PrefixFold(a, b); }

bool AtOrUnder(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty())
        return false;
    if (EqualFold(path, folder))
        return true;
    if (folder.back() == L'\\')
        return PrefixFold(path, folder);
    return path.size() > folder.size() && path[folder.size()] == L'\\' && PrefixFold(path, folder);
}

} // namespace paths
