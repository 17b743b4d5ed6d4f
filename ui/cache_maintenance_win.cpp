#include "ui/cache_maintenance_win.h"

#include <commctrl.h>

#include <vector>

#include "app/language_win.h"
#include "app/program_state_win.h"
#include "common/dpi.h"
#include "common/dpi_win.h"
#include "thumbs/thumb_cache.h"
#include "ui/cache_maintenance.h"

namespace ui {

namespace {

constexpr UINT kTemplate = 1600;
constexpr int kIdCheckAll = 1620;
constexpr int kIdUncheckAll = 1621;
constexpr int kIdDelete = 1622;
constexpr int kIdList = 1630;

struct Maintenance {
    app::Program* program = nullptr;
    std::vector<thumbs::CacheEntryInfo> entries; // the index copy the list shows
};

HWND List(HWND dlg) { return GetDlgItem(dlg, kIdList); }

void AddColumn(HWND list, int index, const std::wstring& text, int width, int format) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void SetColumns(HWND list) {
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                 LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    RECT rc = {};
    GetClientRect(list, &rc);
    const int d = dpi::OfWindow(list);
    AddColumn(list, 0, lang::Text(20430), dpi::Scale(cachelist::kNumberWidth, d), LVCFMT_LEFT);
    AddColumn(list, 1, lang::Text(20400),
              cachelist::LocationWidth(rc.right, dpi::SystemMetric(SM_CXVSCROLL, d), d), LVCFMT_LEFT);
    AddColumn(list, 2, lang::Text(20510), dpi::Scale(cachelist::kBoxWidth, d), LVCFMT_CENTER);
    AddColumn(list, 3, lang::Text(20511), dpi::Scale(cachelist::kCountWidth, d), LVCFMT_RIGHT);
    AddColumn(list, 4, lang::Text(20512) + L"(KB)", dpi::Scale(cachelist::kSizeWidth, d), LVCFMT_RIGHT);
}

void SetCell(HWND list, int row, int column, const std::wstring& text) {
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// Shows the entries read last, each row's item data the entry's index.
void FillList(HWND dlg, const Maintenance& m) {
    HWND list = List(dlg);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < m.entries.size(); ++i) {
        const cachelist::RowTexts texts = cachelist::RowTextsOf(m.entries[i]);
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(texts.number.c_str());
        item.lParam = static_cast<LPARAM>(i);
        const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (row < 0)
            continue;
        SetCell(list, row, 1, texts.location);
        SetCell(list, row, 2, texts.box);
        SetCell(list, row, 3, texts.count);
        SetCell(list, row, 4, texts.size);
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

bool ReadEntries(Maintenance& m) {
    // A worker may be writing the cache at the same time unless the lock keeps it out.
    win::CriticalSectionScope lock(&m.program->cacheLock);
    return thumbs::ListCacheEntries(m.program->cacheFolder, &m.entries);
}

void CheckEveryRow(HWND dlg, bool checked) {
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    // Row -1: every row.
    SendMessageW(List(dlg), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
}

std::vector<uint32_t> CheckedNumbers(HWND dlg, const Maintenance& m) {
    HWND list = List(dlg);
    std::vector<uint32_t> numbers;
    const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        const UINT state = static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
        if ((state & LVIS_STATEIMAGEMASK) != INDEXTOSTATEIMAGEMASK(2))
            continue;
        LVITEMW item = {};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        if (SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) &&
            static_cast<size_t>(item.lParam) < m.entries.size())
            numbers.push_back(m.entries[static_cast<size_t>(item.lParam)].record.number);
    }
    return numbers;
}

void DeleteChecked(HWND dlg, Maintenance& m) {
    const std::vector<uint32_t> numbers = CheckedNumbers(dlg, m);
    if (numbers.empty())
        return;
    uint32_t failure = 0;
    {
        win::CriticalSectionScope lock(&m.program->cacheLock);
        failure = thumbs::DeleteCacheEntries(m.program->cacheFolder, numbers);
        // With every entry gone the index is gone too: the list is simply empty.
        if (!thumbs::ListCacheEntries(m.program->cacheFolder, &m.entries))
            m.entries.clear();
    }
    FillList(dlg, m);
    if (failure)
        lang::ShowError(dlg, failure);
}

bool OnInitDialog(HWND dlg, Maintenance& m) {
    if (!ReadEntries(m)) {
        lang::ShowError(GetParent(dlg), 30008);
        EndDialog(dlg, 0);
        return TRUE;
    }
    SetColumns(List(dlg));
    FillList(dlg, m);
    return TRUE;
}

void OnCommand(HWND dlg, Maintenance& m, int id) {
    switch (id) {
    case kIdCheckAll:
        CheckEveryRow(dlg, true);
        break;
    case kIdUncheckAll:
        CheckEveryRow(dlg, false);
        break;
    case kIdDelete:
        DeleteChecked(dlg, m);
        break;
    case IDCANCEL:
        EndDialog(dlg, 0);
        break;
    }
}

INT_PTR CALLBACK DialogProc(HWND dlg, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dlg, DWLP_USER, lp);
        return OnInitDialog(dlg, *reinterpret_cast<Maintenance*>(lp));
    }
    auto* m = reinterpret_cast<Maintenance*>(GetWindowLongPtrW(dlg, DWLP_USER));
    if (!m)
        return FALSE;
    if (message == WM_COMMAND) {
        OnCommand(dlg, *m, LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}

} // namespace

void ShowCacheMaintenance(HWND owner, app::Program& p) {
    Maintenance m;
    m.program = &p;
    // The index copy is freed with `m` when the dialog has ended.
    lang::DialogBoxFromModule(kTemplate, owner, DialogProc, reinterpret_cast<LPARAM>(&m));
}

} // namespace ui
