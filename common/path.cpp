#include "common/path.h"

namespace paths {

namespace {

bool PrefixFold(const std::wstring& text, const std::wstring& prefix) {
    if (prefix.size() > text.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (FoldAscii(text[i]) != FoldAscii(prefix[i]))
            return false;
    return true;
}

} // namespace

wchar_t FoldAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool EqualFold(const std::wstring& a, const std::wstring& b) { return a.size() == b.size() && PrefixFold(a, b); }

bool AtOrUnder(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty())
        return false;
    if (EqualFold(path, folder))
        return true;
    if (EndsWithSeparator(folder))
        return PrefixFold(path, folder);
    return path.size() > folder.size() && path[folder.size()] == kSeparator && PrefixFold(path, folder);
}

bool EndsWithSeparator(const std::wstring& path) { return !path.empty() && path.back() == kSeparator; }

std::wstring TrimTrailingSeparators(const std::wstring& path) {
    size_t end = path.size();
    while (end > 0 && path[end - 1] == kSeparator)
        --end;
    return path.substr(0, end);
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty() || EndsWithSeparator(folder))
        return folder + name;
    return folder + kSeparator + name;
}

std::wstring LastComponent(const std::wstring& path) {
    const size_t slash = path.rfind(kSeparator);
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring Parent(const std::wstring& path) {
    const size_t slash = path.rfind(kSeparator);
    return slash == std::wstring::npos ? path : path.substr(0, slash);
}

std::wstring ParentFolder(const std::wstring& path) {
    const size_t slash = path.rfind(kSeparator);
    if (slash == std::wstring::npos || slash + 1 == path.size())
        return std::wstring();
    std::wstring parent = path.substr(0, slash);
    if (parent.size() == 2 && parent[1] == L':')
        parent += kSeparator;
    return parent;
}

} // namespace paths
