#include "folder/shell_listing_win.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>

#include "common/path.h"
#include "common/scoped_win.h"
#include "folder/location_source.h"
#include "folder/names.h"
#include "folder/recycle_bin.h"

namespace folder {

namespace {

bool BindFolder(const win::IdList& list, win::ComPtr<IShellFolder>& out) {
    win::ComPtr<IShellFolder> desktop;
    if (!list.Get() || FAILED(SHGetDesktopFolder(desktop.Out())))
        return false;
    if (list.Get()->mkid.cb == 0) {
        // The desktop itself: the same interface, one more reference.
        desktop->AddRef();
        *out.Out() = desktop.Get();
        return true;
    }
    return SUCCEEDED(desktop->BindToObject(list.Get(), nullptr, IID_IShellFolder, reinterpret_cast<void**>(out.Out())));
}

// Calls `visit` for each non-folder file-system child of the enumeration.
template <typename Visit>
void EachFileChild(IShellFolder* folder, SHCONTF flags, Visit visit) {
    win::ComPtr<IEnumIDList> items;
    if (folder->EnumObjects(nullptr, flags, items.Out()) != S_OK || !items)
        return;
    for (;;) {
        win::IdList child;
        if (items->Next(1, child.Out(), nullptr) != S_OK)
            return;
        LPCITEMIDLIST one = child.Get();
        SFGAOF attributes = SFGAO_FILESYSTEM | SFGAO_FOLDER;
        if (FAILED(folder->GetAttributesOf(1, &one, &attributes)))
            continue;
        if (!(attributes & SFGAO_FILESYSTEM) || (attributes & SFGAO_FOLDER))
            continue;
        if (!visit(one))
            return;
    }
}

std::wstring ParsingName(IShellFolder* folder, LPCITEMIDLIST child) {
    STRRET ret = {};
    if (FAILED(folder->GetDisplayNameOf(child, SHGDN_FORPARSING, &ret)))
        return std::wstring();
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(StrRetToBufW(&ret, child, buffer, MAX_PATH)))
        return std::wstring();
    return buffer;
}

} // namespace

bool ShellSource::List(PaneLocation& location, const ListRequest& request, ArchiveListing* out) const {
    const win::IdList list = win::IdListFromBytes(location.idList);
    win::ComPtr<IShellFolder> folder;
    if (!BindFolder(list, folder))
        return false;
    size_t capacity = 0;
    EachFileChild(folder.Get(), SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, [&](LPCITEMIDLIST) {
        ++capacity;
        return true;
    });
    if (capacity == 0)
        return false;
    const SHCONTF flags = SHCONTF_NONFOLDERS | (request.hiddenMask ? 0 : SHCONTF_INCLUDEHIDDEN);
    out->entries.reserve(capacity);
    EachFileChild(folder.Get(), flags, [&](LPCITEMIDLIST child) {
        const std::wstring path = ParsingName(folder.Get(), child);
        const std::wstring name = paths::LastComponent(path);
        if (name.empty() || !NameMatchesFilter(name, request.filter, request.pluginExtensions))
            return true;
        ArchiveEntry e;
        e.name = name;
        e.folder = path;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
            e.size = SizeInKiB(data.nFileSizeLow);
            e.time = (static_cast<platform::FileTime>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                     data.ftLastWriteTime.dwLowDateTime;
        }
        out->entries.push_back(std::move(e));
        return out->entries.size() < capacity;
    });
    // The shell lists recycled files under their stored names; the bin's bookkeeping knows the
    // names they had and when they were deleted.
    if (location.recycleBin)
        CompleteRecycleBinListing(*out, request.systemLevel);
    return !out->entries.empty();
}

bool IsRecycleBin(const std::vector<uint8_t>& idList) {
    const win::IdList list = win::IdListFromBytes(idList);
    win::IdList bin;
    if (!list.Get() || FAILED(SHGetFolderLocation(nullptr, CSIDL_BITBUCKET, nullptr, 0, bin.Out())))
        return false;
    return ILIsEqual(list.Get(), bin.Get()) != FALSE;
}

} // namespace folder
