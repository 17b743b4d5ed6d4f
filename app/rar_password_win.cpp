#include "app/rar_password_win.h"

#include "app/language_win.h"
#include "app/program_state_win.h"
#include "archive/rar_access.h"

namespace app {

namespace {

constexpr UINT kPasswordDialog = 2800;
constexpr uint16_t kPasswordPoints = 11; // whatever the large-font option says

INT_PTR CALLBACK PasswordProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lp);
        const std::wstring* password = reinterpret_cast<const std::wstring*>(lp);
        SetDlgItemTextW(dialog, kRarPasswordEdit, password->c_str());
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            std::wstring* password = reinterpret_cast<std::wstring*>(GetWindowLongPtrW(dialog, DWLP_USER));
            HWND edit = GetDlgItem(dialog, kRarPasswordEdit);
            const int length = edit ? GetWindowTextLengthW(edit) : 0;
            std::wstring text(static_cast<size_t>(length) + 1, L'\0');
            const int n = edit ? GetWindowTextW(edit, &text[0], length + 1) : 0;
            text.resize(static_cast<size_t>(n > 0 ? n : 0));
            *password = text;
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace

bool AskRarPassword(HWND owner, std::wstring* password) {
    return lang::DialogBoxFromModule(kPasswordDialog, owner, PasswordProc, reinterpret_cast<LPARAM>(password),
                                     kPasswordPoints) == IDOK;
}

void InstallRarHooks(const std::wstring& pluginFolder) {
    archive::RarHooks hooks;
    hooks.pluginFolder = [pluginFolder] { return pluginFolder; };
    hooks.ask = [](intptr_t owner, std::wstring* password) {
        // A member fetched for a thumbnail has no window of its own: the main window owns the dialog.
        HWND window = reinterpret_cast<HWND>(owner);
        if (!window)
            window = TheProgram().routing.main.load();
        return AskRarPassword(window, password);
    };
    archive::SetRarHooks(std::move(hooks));
}

} // namespace app
