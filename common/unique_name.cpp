#include "common/unique_name.h"

#include "common/platform.h"

namespace paths {

std::wstring MakeUniqueName(const std::wstring& path, bool keepExtension) {
    if (path.empty() || path.size() > kMaxPathChars)
        return std::wstring();
    if (!platform::PathExists(path))
        return path;
    size_t cut = path.size();
    if (keepExtension) {
        const size_t dot = path.rfind(L'.');
        const size_t slash = path.rfind(L'\\');
        if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash))
            cut = dot;
    }
    const std::wstring stem = path.substr(0, cut);
    const std::wstring extension = path.substr(cut);
    // Bounded so that a folder full of taken names cannot keep a worker busy for ever.
    for (unsigned n = 1; n <= 100000; ++n) {
        std::wstring candidate = stem + L'+' + std::to_wstring(n) + extension;
        if (candidate.size() > kMaxPathChars)
            return std::wstring();
        if (!platform::PathExists(candidate))
            return candidate;
    }
    return std::wstring();
}

} // namespace paths
