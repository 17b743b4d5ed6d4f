#include "ui/shortcut_dialog_win.h"

#include <commctrl.h>

#include <algorithm>

#include "app/language_win.h"
#include "common/dpi.h"
#include "common/dpi_win.h"

namespace shortcuts {

namespace {

constexpr UINT kTemplate = 1500;

constexpr int kKeyList = 1520;
constexpr int kMouseList = 1521;
constexpr int kAssign = 1530;
constexpr int kClear = 1531;
constexpr int kDefaults = 1532;
constexpr int kClose = 1533;
constexpr int kCtrlBox = 1540;
constexpr int kShiftBox = 1541;
constexpr int kRows = 1550;
constexpr int kKeyboardRadio = 1560;
constexpr int kMouseRadio = 1561;

constexpr UINT kCommandHeader = 20500;
constexpr UINT kKeyHeader = 1560;
constexpr UINT kMouseHeader = 1561;
constexpr UINT kRefusalCaption = 20501;
constexpr UINT kDefaultsQuestion = 20505;
constexpr UINT kDefaultsCaption = 1532;
constexpr UINT kFirstMouseActionName = 20900;

constexpr int kKeyColumn = 1;
constexpr int kMouseColumn = 2;
constexpr int kColumnPadding = 12;
constexpr COLORREF kOtherModeText = RGB(0x80, 0x80, 0x80);
constexpr uint16_t kCapsLockKey = 240;

struct DialogState {
    Assignments* a;
    const std::array<std::wstring, 8>* toolNames;
    bool mouseMode;
    COLORREF itemText; // the list's own text colour of the item being drawn (selected or not)
};

HWND Rows(HWND dlg) { return GetDlgItem(dlg, kRows); }

std::wstring LanguageText(unsigned id) { return lang::Text(id); }

int StringWidth(HWND list, const std::wstring& s) {
    return static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(s.c_str())));
}

std::wstring MouseText(const Assignments& a, uint16_t command) {
    const int action = MouseActionOf(a.mouse, command);
    return action < 0 ? std::wstring() : lang::Text(kFirstMouseActionName + action);
}

void SetCellText(HWND list, int row, int column, const std::wstring& text) {
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

int RowSlot(HWND list, int row) {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return -1;
    return static_cast<int>(item.lParam);
}

int SelectedSlot(HWND dlg) {
    const int row = static_cast<int>(SendMessageW(Rows(dlg), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return row < 0 ? -1 : RowSlot(Rows(dlg), row);
}

void InsertColumn(HWND list, int index, UINT header, int width) {
    const std::wstring text = lang::Text(header);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(text.c_str());
    column.cx = width;
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

void AddColumns(HWND list) {
    const int d = dpi::OfWindow(list);
    const int padding = dpi::Scale(kColumnPadding, d);
    const int keyWidth = StringWidth(list, L"Ctrl+Shift+") + StringWidth(list, L"Z") + padding;
    const int mouseWidth = std::max(StringWidth(list, lang::Text(kFirstMouseActionName + 1)),
                                    StringWidth(list, lang::Text(kFirstMouseActionName + 6))) +
                           padding;
    RECT client = {};
    GetClientRect(list, &client);
    const int commandWidth =
        (client.right - client.left) - keyWidth - mouseWidth - dpi::SystemMetric(SM_CXVSCROLL, d) - padding;
    InsertColumn(list, 0, kCommandHeader, std::max(commandWidth, padding));
    InsertColumn(list, kKeyColumn, kKeyHeader, keyWidth);
    InsertColumn(list, kMouseColumn, kMouseHeader, mouseWidth);
}

void UpdateRowTexts(HWND list, const Assignments& a) {
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        const int slot = RowSlot(list, row);
        if (slot < 0 || static_cast<size_t>(slot) >= kSlotCount)
            continue;
        const uint16_t command = a.slots[slot].command;
        SetCellText(list, row, kKeyColumn, ShortcutText(a.slots, command));
        SetCellText(list, row, kMouseColumn, MouseText(a, command));
    }
}

void AddRows(HWND list, const DialogState& state) {
    int row = 0;
    for (size_t slot = 0; slot < kSlotCount; ++slot) {
        if (state.a->slots[slot].command == 0)
            continue;
        const std::wstring name = SlotCommandName(slot, LanguageText, *state.toolNames);
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = row++;
        item.pszText = const_cast<wchar_t*>(name.c_str());
        item.lParam = static_cast<LPARAM>(slot);
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    UpdateRowTexts(list, *state.a);
}

void FillChoiceLists(HWND dlg) {
    const HWND keys = GetDlgItem(dlg, kKeyList);
    for (uint8_t key : KeyListOrder())
        SendMessageW(keys, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(KeyName(key)));
    const HWND actions = GetDlgItem(dlg, kMouseList);
    for (size_t i = 0; i < kMouseActionCount; ++i) {
        const std::wstring name = lang::Text(static_cast<UINT>(kFirstMouseActionName + i));
        SendMessageW(actions, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
}

// The chosen key, or 0 when the key list has no selection.
uint16_t ChosenKey(HWND dlg) {
    const LRESULT index = SendDlgItemMessageW(dlg, kKeyList, LB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<size_t>(index) >= kKeyNameCount)
        return 0;
    return KeyListOrder()[static_cast<size_t>(index)];
}

int ChosenAction(HWND dlg) {
    const LRESULT index = SendDlgItemMessageW(dlg, kMouseList, LB_GETCURSEL, 0, 0);
    return index < 0 || static_cast<size_t>(index) >= kMouseActionCount ? -1 : static_cast<int>(index);
}

// Shift+CapsLock cannot be formed, so the box goes grey and empty while CapsLock is chosen.
void UpdateShiftBox(HWND dlg, const DialogState& state) {
    const bool capsLock = ChosenKey(dlg) == kCapsLockKey;
    if (capsLock)
        CheckDlgButton(dlg, kShiftBox, BST_UNCHECKED);
    EnableWindow(GetDlgItem(dlg, kShiftBox), !state.mouseMode && !capsLock);
}

void SetMode(HWND dlg, DialogState& state, bool mouseMode) {
    state.mouseMode = mouseMode;
    CheckRadioButton(dlg, kKeyboardRadio, kMouseRadio, mouseMode ? kMouseRadio : kKeyboardRadio);
    ShowWindow(GetDlgItem(dlg, kKeyList), mouseMode ? SW_HIDE : SW_SHOW);
    ShowWindow(GetDlgItem(dlg, kMouseList), mouseMode ? SW_SHOW : SW_HIDE);
    EnableWindow(GetDlgItem(dlg, kCtrlBox), !mouseMode);
    UpdateShiftBox(dlg, state);
    // The greyed column follows the mode.
    InvalidateRect(Rows(dlg), nullptr, TRUE);
}

void OnInitDialog(HWND dlg, DialogState& state) {
    const HWND list = Rows(dlg);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES,
                 LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    AddColumns(list);
    AddRows(list, state);
    FillChoiceLists(dlg);
    SetMode(dlg, state, state.mouseMode);
}

void ShowRefusal(HWND dlg, EditResult result) {
    const unsigned id = EditResultMessage(result);
    if (id == 0)
        return;
    MessageBoxW(dlg, lang::Text(id).c_str(), lang::Text(kRefusalCaption).c_str(), MB_OK | MB_ICONERROR);
}

void OnAssign(HWND dlg, DialogState& state) {
    const int slot = SelectedSlot(dlg);
    EditResult result;
    if (slot < 0)
        result = EditResult::NoRowSelected;
    else if (state.mouseMode)
        result = AssignMouse(*state.a, slot, ChosenAction(dlg));
    else
        result = AssignKey(*state.a, slot, ChosenKey(dlg), IsDlgButtonChecked(dlg, kCtrlBox) == BST_CHECKED,
                           IsDlgButtonChecked(dlg, kShiftBox) == BST_CHECKED);
    if (result == EditResult::Done)
        UpdateRowTexts(Rows(dlg), *state.a);
    else
        ShowRefusal(dlg, result);
}

void OnClear(HWND dlg, DialogState& state) {
    const EditResult result = ClearAssignment(*state.a, SelectedSlot(dlg), state.mouseMode);
    if (result == EditResult::Done)
        UpdateRowTexts(Rows(dlg), *state.a);
    else
        ShowRefusal(dlg, result);
}

void OnDefaults(HWND dlg, DialogState& state) {
    const std::wstring text = lang::Text(kDefaultsQuestion);
    const std::wstring caption = lang::Text(kDefaultsCaption);
    if (MessageBoxW(dlg, text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    RestoreDefaults(*state.a, state.mouseMode);
    UpdateRowTexts(Rows(dlg), *state.a);
}

void OnClose(HWND dlg) { EndDialog(dlg, IsDlgButtonChecked(dlg, kMouseRadio) == BST_CHECKED ? 1 : 0); }

void OnCommand(HWND dlg, DialogState& state, int id, int code) {
    switch (id) {
    case kAssign: OnAssign(dlg, state); break;
    case kClear: OnClear(dlg, state); break;
    case kDefaults: OnDefaults(dlg, state); break;
    case kClose:
    case IDCANCEL: OnClose(dlg); break;
    case kKeyboardRadio:
    case kMouseRadio:
        if (code == BN_CLICKED)
            SetMode(dlg, state, id == kMouseRadio);
        break;
    case kKeyList:
        if (code == LBN_SELCHANGE)
            UpdateShiftBox(dlg, state);
        break;
    }
}

// The column of the mode not being edited is drawn in grey.
LRESULT OnCustomDraw(DialogState& state, NMLVCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        state.itemText = draw.clrText;
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
        // The colour set for one cell carries over to the next, so every cell gets one.
        const int grey = state.mouseMode ? kKeyColumn : kMouseColumn;
        draw.clrText = draw.iSubItem == grey ? kOtherModeText : state.itemText;
        return CDRF_NEWFONT;
    }
    }
    return CDRF_DODEFAULT;
}

INT_PTR CALLBACK DialogProc(HWND dlg, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dlg, DWLP_USER, lp);
        OnInitDialog(dlg, *reinterpret_cast<DialogState*>(lp));
        return TRUE;
    }
    auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dlg, DWLP_USER));
    if (!state)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        OnCommand(dlg, *state, LOWORD(wp), HIWORD(wp));
        return TRUE;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        if (hdr->idFrom != kRows || hdr->code != NM_CUSTOMDRAW)
            return FALSE;
        SetWindowLongPtrW(dlg, DWLP_MSGRESULT, OnCustomDraw(*state, *reinterpret_cast<NMLVCUSTOMDRAW*>(lp)));
        return TRUE;
    }
    }
    return FALSE;
}

} // namespace

DialogOutcome RunAssignmentDialog(HWND owner, Assignments& a, bool mouseMode,
                                  const std::array<std::wstring, 8>& toolNames) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    const Assignments before = a;
    DialogState state = {&a, &toolNames, mouseMode, CLR_DEFAULT};
    const INT_PTR ended = lang::DialogBoxFromModule(kTemplate, owner, DialogProc, reinterpret_cast<LPARAM>(&state));
    DialogOutcome outcome;
    outcome.mouseMode = ended < 0 ? mouseMode : ended == 1;
    outcome.keysChanged = !SameSlots(before.slots, a.slots);
    outcome.mouseChanged = before.mouse != a.mouse;
    return outcome;
}

} // namespace shortcuts
