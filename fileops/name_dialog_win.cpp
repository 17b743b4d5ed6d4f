#include "fileops/name_dialog_win.h"

#include "app/language_win.h"

namespace fileops {

namespace {

struct DialogState {
    const NameDialogArgs* args;
    std::wstring typed;
};

std::wstring EditText(HWND dlg) {
    HWND edit = GetDlgItem(dlg, kNameEdit);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(edit, &text[0], static_cast<int>(text.size()))));
    return text;
}

void OnInitDialog(HWND dlg, DialogState& state) {
    const NameDialogArgs& args = *state.args;
    SetWindowTextW(dlg, args.title.c_str());
    HWND edit = GetDlgItem(dlg, kNameEdit);
    SetWindowTextW(edit, args.text.c_str());
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SetFocus(edit);
    if (args.place) {
        RECT r = {};
        GetWindowRect(dlg, &r);
        const Box at = args.place(r.right - r.left, r.bottom - r.top);
        SetWindowPos(dlg, nullptr, at.left, at.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void OnOk(HWND dlg, DialogState& state) {
    std::wstring text = EditText(dlg);
    if (!text.empty() && !IsPlainName(text)) {
        MessageBeep(MB_ICONWARNING);
        SendDlgItemMessageW(dlg, kNameEdit, EM_SETSEL, 0, -1);
        SetFocus(GetDlgItem(dlg, kNameEdit));
        return;
    }
    state.typed = std::move(text);
    EndDialog(dlg, IDOK);
}

INT_PTR CALLBACK DialogProc(HWND dlg, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dlg, DWLP_USER, lp);
        OnInitDialog(dlg, *reinterpret_cast<DialogState*>(lp));
        return FALSE; // the focus is set
    }
    auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dlg, DWLP_USER));
    if (!state || message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wp)) {
    case IDOK: OnOk(dlg, *state); return TRUE;
    case IDCANCEL: EndDialog(dlg, IDCANCEL); return TRUE;
    }
    return FALSE;
}

} // namespace

NameAnswer AskName(HWND owner, const NameDialogArgs& args, std::wstring* typed) {
    DialogState state = {&args, {}};
    const INT_PTR answer = lang::DialogBoxFromModule(kNameDialog, owner, DialogProc, reinterpret_cast<LPARAM>(&state));
    if (answer == -1)
        return NameAnswer::kNoTemplate;
    if (answer != IDOK)
        return NameAnswer::kCancel;
    *typed = std::move(state.typed);
    return NameAnswer::kOk;
}

} // namespace fileops
