#include "fileops/folder_chooser_win.h"

#include <shlobj.h>

#include "common/scoped_win.h"

namespace fileops {

namespace {

int CALLBACK Callback(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data)
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

} // namespace

bool ChooseFolder(HWND owner, const std::wstring& title, const std::wstring& initial, std::wstring* chosen) {
    BROWSEINFOW bi = {};
    bi.hwndOwner = owner;
    bi.lpszTitle = title.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    bi.lpfn = Callback;
    bi.lParam = initial.empty() ? 0 : reinterpret_cast<LPARAM>(initial.c_str());
    win::IdList item(SHBrowseForFolderW(&bi));
    if (!item)
        return false;
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(item.Get(), path) || !path[0])
        return false;
    *chosen = path;
    return true;
}

} // namespace fileops
