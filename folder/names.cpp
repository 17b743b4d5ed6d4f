#include "folder/names.h"

#include <atomic>

#include "common/path.h"
#include "image/detect.h"

namespace folder {

namespace {

std::atomic<NameCompareFn> g_compare{nullptr};

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

std::wstring WithDot(const std::wstring& ext) { return !ext.empty() && ext[0] == L'.' ? ext : L"." + ext; }

bool EqualFolded(const wchar_t* a, const wchar_t* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (paths::FoldAscii(a[i]) != paths::FoldAscii(b[i]))
            return false;
    return true;
}

} // namespace

int LogicalCompare(const std::wstring& a, const std::wstring& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Compare the two numbers by value without converting them, so any length works:
            // skip leading zeros, then the longer run is larger, else the first differing digit.
            while (i < a.size() && a[i] == L'0')
                ++i;
            while (j < b.size() && b[j] == L'0')
                ++j;
            size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei]))
                ++ei;
            while (ej < b.size() && IsDigit(b[ej]))
                ++ej;
            if (ei - i != ej - j)
                return ei - i < ej - j ? -1 : 1;
            for (; i < ei; ++i, ++j)
                if (a[i] != b[j])
                    return a[i] < b[j] ? -1 : 1;
            continue;
        }
        // A number sorts before any other character, punctuation included, as the system's order does.
        if (IsDigit(a[i]) != IsDigit(b[j]))
            return IsDigit(a[i]) ? -1 : 1;
        const wchar_t ca = paths::FoldAscii(a[i]), cb = paths::FoldAscii(b[j]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

void SetNameCompare(NameCompareFn compare) { g_compare.store(compare); }

int CompareNames(const std::wstring& a, const std::wstring& b) {
    NameCompareFn compare = g_compare.load(std::memory_order_relaxed);
    return compare ? compare(a, b) : LogicalCompare(a, b);
}

std::vector<std::wstring> FilterExtensions(int32_t filter, const std::vector<std::wstring>& pluginExtensions) {
    switch (filter) {
    case kFilterAll: {
        std::vector<std::wstring> all = {L".jpg", L".png", L".gif", L".bmp", L".tif", L".jpe", L".tiff", L".jpeg"};
        for (const std::wstring& ext : pluginExtensions)
            if (!ext.empty())
                all.push_back(WithDot(ext));
        return all;
    }
    case kFilterBmp: return {L".bmp"};
    case kFilterPng: return {L".png"};
    case kFilterJpeg: return {L".jpg", L".jpe", L".jpeg"};
    case kFilterTiff: return {L".tif", L".tiff"};
    case kFilterGif: return {L".gif"};
    default: return {};
    }
}

bool EndsWithExtension(const std::wstring& name, const std::wstring& ext) {
    if (ext.empty() || name.size() <= ext.size())
        return false;
    const size_t at = name.size() - ext.size();
    return name[at] == L'.' && EqualFolded(name.data() + at, ext.data(), ext.size());
}

std::wstring ExtensionOf(const std::wstring& name) {
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : name.substr(dot);
}

bool NameMatchesFilter(const std::wstring& name, int32_t filter, const std::vector<std::wstring>& pluginExtensions) {
    const std::wstring ext = ExtensionOf(name);
    if (ext.empty())
        return false;
    for (const std::wstring& candidate : FilterExtensions(filter, pluginExtensions))
        if (paths::EqualFold(ext, candidate))
            return true;
    return false;
}

bool ArchiveNameMatchesFilter(const std::wstring& name, int32_t filter,
                              const std::vector<std::wstring>& pluginExtensions) {
    const image::ImageFormat format = image::FormatFromExtension(name);
    if (filter != kFilterAll)
        return static_cast<int32_t>(format) == filter;
    if (format != image::ImageFormat::Unknown)
        return true;
    const std::wstring ext = ExtensionOf(name);
    if (ext.empty())
        return false;
    for (const std::wstring& plugin : pluginExtensions)
        if (!plugin.empty() && paths::EqualFold(ext, WithDot(plugin)))
            return true;
    return false;
}

} // namespace folder
