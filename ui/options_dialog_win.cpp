#include "ui/options_dialog_win.h"

#include <commctrl.h>

#include "app/broker.h"
#include "app/language_win.h"
#include "app/program_state_win.h"
#include "common/dpi.h"
#include "common/dpi_win.h"
#include "common/platform.h"
#include "fileops/delete_rename_win.h"
#include "fileops/external_programs_win.h"
#include "ui/browse_pane_win.h"
#include "ui/main_window_win.h"
#include "ui/options_links_win.h"
#include "ui/options_pages_win.h"

namespace ui {

namespace {

using namespace optionsui;

constexpr UINT kInUse = 30013;
constexpr int kTreeItemHeight = 20, kTreeIndent = 10;
// Page 2 (template 1012) hangs under page 1.
constexpr int kChildPage = 2, kParentPage = 1;
// The collapse, expand or toggle part of a tree expansion action.
constexpr UINT kExpandActionMask = 3;

OptionsDialog* DialogOf(HWND frame) { return reinterpret_cast<OptionsDialog*>(GetWindowLongPtrW(frame, DWLP_USER)); }

void ShowPage(OptionsDialog& d, int page) {
    if (page < 0 || page >= options::kPageCount || !d.pages[page])
        return;
    for (int i = 0; i < options::kPageCount; ++i)
        if (i != page && d.pages[i])
            ShowWindow(d.pages[i], SW_HIDE);
    ShowWindow(d.pages[page], SW_SHOW);
    d.current = page;
}

void FillTree(OptionsDialog& d) {
    HWND tree = GetDlgItem(d.frame, kTree);
    const int screenDpi = dpi::OfWindow(tree);
    SendMessageW(tree, TVM_SETITEMHEIGHT, static_cast<WPARAM>(dpi::Scale(kTreeItemHeight, screenDpi)), 0);
    SendMessageW(tree, TVM_SETINDENT, static_cast<WPARAM>(dpi::Scale(kTreeIndent, screenDpi)), 0);
    for (int i = 0; i < options::kPageCount; ++i) {
        const std::wstring text = lang::Text(kFirstPageTemplate + static_cast<UINT>(i));
        TVINSERTSTRUCTW ins = {};
        ins.hParent = i == kChildPage ? d.items[kParentPage] : TVI_ROOT;
        ins.hInsertAfter = TVI_LAST;
        ins.item.mask = TVIF_TEXT | TVIF_PARAM;
        ins.item.pszText = const_cast<wchar_t*>(text.c_str());
        ins.item.lParam = i;
        d.items[i] = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
    }
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(d.items[kParentPage]));
}

void CreatePages(OptionsDialog& d) {
    RECT area = {};
    GetWindowRect(GetDlgItem(d.frame, kPageArea), &area);
    MapWindowPoints(nullptr, d.frame, reinterpret_cast<POINT*>(&area), 2);
    for (int i = 0; i < options::kPageCount; ++i) {
        d.pages[i] = lang::CreateDialogFromModule(kFirstPageTemplate + static_cast<UINT>(i), d.frame, PageProc,
                                                  reinterpret_cast<LPARAM>(&d));
        if (d.pages[i])
            SetWindowPos(d.pages[i], HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                         SWP_NOACTIVATE);
    }
}

BOOL OnInit(HWND frame, OptionsDialog& d) {
    d.frame = frame;
    const settings::Settings& s = d.program->settings;
    d.pngBackground = s.pngBackground;
    d.activePaneColour = s.activePaneColour;
    d.pluginFolder = s.pluginFolder;
    d.screenBound = d.program->screenBound > options::kMinPreviewSize ? d.program->screenBound : options::kMinPreviewSize;
    d.white.Reset(CreateSolidBrush(RGB(255, 255, 255)));
    FillTree(d);
    CreatePages(d);
    FillPages(d);
    EnableWindow(GetDlgItem(frame, kApply), FALSE);
    const int page = s.optionsPage >= 0 && s.optionsPage < options::kPageCount ? s.optionsPage : 0;
    // Selecting the item shows its page through TVN_SELCHANGED.
    SendDlgItemMessageW(frame, kTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(d.items[page]));
    ShowPage(d, page);
    return TRUE;
}

// Applying, in the fixed order: settings first, then what each change must redo.
void Apply(OptionsDialog& d) {
    app::Program& p = *d.program;
    settings::Settings& s = p.settings;
    const options::OptionsValues v = ReadPages(d);
    options::OptionsContext c;
    c.screenBound = d.screenBound;
    c.settingsPath = p.settingsPath;
    c.currentLanguage = s.languageModule;
    c.currentCacheFolder = p.cacheFolder;
    c.sendToAtOpen = d.sendToAtOpen;
    c.folderExists = [](const std::wstring& f) { return platform::FolderExists(f); };
    const std::array<settings::ExternalTool, 8> toolsBefore = s.tools;
    const options::OptionsEffects e = options::ApplyOptions(v, c, s);

    if ((d.keysChanged || d.mouseChanged) && d.assignments)
        ApplyShortcutEdits(p, d.window, *d.assignments, d.keysChanged, d.mouseChanged);
    d.keysChanged = d.mouseChanged = false;
    if (e.cacheFolderChanged)
        optionslinks::SwitchCacheFolder(p, d.window, e.cacheFolder);
    if (e.repaintActivePane && d.window)
        SetPaneActiveLook(d.window->panes[s.activePane & 1], true);
    bool toolsChanged = false;
    for (size_t i = 0; i < toolsBefore.size(); ++i)
        toolsChanged |= toolsBefore[i].path != s.tools[i].path || toolsBefore[i].name != s.tools[i].name ||
                        toolsBefore[i].parameters != s.tools[i].parameters;
    if (toolsChanged)
        BuildProgramMenus(p);
    if (e.pluginsChanged)
        optionslinks::RefreshPlugins(p, d.window);
    if (e.sendToChanged && external::SetSendToShortcut(v.sendTo))
        d.sendToAtOpen = v.sendTo;
    if (e.languageOrFont &&
        !optionslinks::SwitchLanguageAndFont(p, d.window, e.language, v.fontFace,
                                             options::FontHeightOfChoice(v.fontHeightChoice),
                                             options::FontWeightOfChoice(v.fontWeightChoice)))
        ShowLanguageInUse(d);
    ShowRejected(d, e);
    EnableWindow(GetDlgItem(d.frame, kApply), FALSE);
}

void OnCommand(HWND frame, OptionsDialog& d, int id) {
    switch (id) {
    case IDOK:
        Apply(d);
        EndDialog(frame, IDOK);
        break;
    case kApply:
        Apply(d);
        break;
    case IDCANCEL:
        EndDialog(frame, IDCANCEL);
        break;
    }
}

LRESULT OnNotify(OptionsDialog& d, const NMHDR* hdr) {
    if (hdr->idFrom != kTree)
        return 0;
    switch (hdr->code) {
    case TVN_ITEMEXPANDINGW:
    case TVN_ITEMEXPANDINGA:
        // The tree always shows every page: collapsing is refused.
        return (reinterpret_cast<const NMTREEVIEWW*>(hdr)->action & kExpandActionMask) == TVE_COLLAPSE ? TRUE : FALSE;
    case TVN_SELCHANGEDW:
    case TVN_SELCHANGEDA:
        ShowPage(d, static_cast<int>(reinterpret_cast<const NMTREEVIEWW*>(hdr)->itemNew.lParam));
        return 0;
    }
    return 0;
}

INT_PTR CALLBACK FrameProc(HWND frame, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(frame, DWLP_USER, lp);
        return OnInit(frame, *reinterpret_cast<OptionsDialog*>(lp));
    }
    OptionsDialog* d = DialogOf(frame);
    if (!d)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        OnCommand(frame, *d, LOWORD(wp));
        return TRUE;
    case WM_NOTIFY:
        SetWindowLongPtrW(frame, DWLP_MSGRESULT, OnNotify(*d, reinterpret_cast<NMHDR*>(lp)));
        return TRUE;
    case WM_DESTROY:
        for (HWND& page : d->pages)
            page = nullptr;
        return FALSE;
    }
    return FALSE;
}

} // namespace

OptionsOutcome RunOptionsDialog(HWND owner, app::Program& p, MainWindow* w) {
    OptionsDialog d;
    d.program = &p;
    d.window = w;
    d.sendToAtOpen = external::SendToShortcutExists();
    d.borderAtOpen = p.settings.thumbBorder;
    OptionsOutcome outcome;
    outcome.shown = lang::DialogBoxFromModule(kFrameTemplate, owner, FrameProc, reinterpret_cast<LPARAM>(&d)) != -1;
    outcome.reloadPanes = outcome.shown && p.settings.thumbBorder != d.borderAtOpen;
    return outcome;
}

void RunOptionsCommand(MainWindow& w) {
    app::Program& p = app::TheProgram();
    OptionsOutcome outcome;
    {
        fileops::Admission admission(broker::kClassProgram, nullptr);
        if (!admission.Granted()) {
            lang::ShowError(w.hwnd, kInUse);
            return;
        }
        outcome = RunOptionsDialog(w.hwnd, p, &w);
    }
    if (outcome.reloadPanes)
        ReloadPanes(w, 1);
}

} // namespace ui
