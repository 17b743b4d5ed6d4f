#include "ui/options_pages_win.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <new>
#include <set>

#include "app/language_win.h"
#include "app/program_state_win.h"
#include "common/dpi.h"
#include "common/dpi_win.h"
#include "common/path.h"
#include "common/platform.h"
#include "fileops/external_programs_win.h"
#include "fileops/folder_chooser_win.h"
#include "ui/main_window_win.h"
#include "ui/options_links_win.h"
#include "ui/picture_info_win.h"
#include "ui/shortcut_dialog_win.h"

namespace ui {
namespace optionsui {

namespace {

constexpr UINT kOutOfMemory = 30001;
constexpr UINT kMouseChoiceTexts[] = {5210, 5212, 5211, 5030, 5239};
constexpr UINT kToolsMenuText = 5229;
constexpr UINT kScalingTexts[] = {20140, 20141, 20142, 20143};
constexpr UINT kProgramTitle = 20420;
constexpr UINT kPluginColumns[] = {20430, 20431, 20432};
constexpr int kFileColumnWidth = 100, kDescriptionWidth = 135;
constexpr UINT kFolderTitle = 20700;
constexpr UINT kAllFilesFilter = 21000, kProgramsFilter = 21001;
constexpr COLORREF kSectionText = 0xC86848, kSectionLine = 0xE0B0A0, kPathText = 0xA05000, kCueText = 0x808080;
constexpr int kToolCount = 8;

OptionsDialog* DialogOf(HWND page) { return reinterpret_cast<OptionsDialog*>(GetWindowLongPtrW(page, DWLP_USER)); }

HWND Page(const OptionsDialog& d, int index) { return d.pages[static_cast<size_t>(index)]; }

// The page holding control `id`, found by the ids' ranges.
HWND PageOf(const OptionsDialog& d, int id) {
    if (id < 1180)
        return Page(d, 0);
    if (id < 1230)
        return Page(d, 1);
    if (id < 1300)
        return Page(d, 2);
    if (id < 1400)
        return Page(d, 3);
    if (id < 1430)
        return Page(d, 4);
    return Page(d, 5);
}

HWND Control(const OptionsDialog& d, int id) { return GetDlgItem(PageOf(d, id), id); }

std::wstring TextOf(HWND control) {
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, &text[0], length + 1)));
    return text;
}
std::wstring Text(const OptionsDialog& d, int id) { return TextOf(Control(d, id)); }
void SetText(const OptionsDialog& d, int id, const std::wstring& text) { SetWindowTextW(Control(d, id), text.c_str()); }
bool Checked(const OptionsDialog& d, int id) { return SendMessageW(Control(d, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
void Check(const OptionsDialog& d, int id, bool on) {
    SendMessageW(Control(d, id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}
int Selection(const OptionsDialog& d, int id) { return static_cast<int>(SendMessageW(Control(d, id), CB_GETCURSEL, 0, 0)); }
void AddChoice(HWND combo, const std::wstring& text) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
// Selects `text` in a list combo box, adding it when the list lacks it.
void SelectText(HWND combo, const std::wstring& text) {
    LRESULT at = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
    if (at == CB_ERR && !text.empty())
        at = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(combo, CB_SETCURSEL, at == CB_ERR ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(at), 0);
}

void SetUpDown(const OptionsDialog& d, int edit, int upDown, int low, int high, int limit) {
    SendMessageW(Control(d, edit), EM_LIMITTEXT, static_cast<WPARAM>(limit), 0);
    HWND ud = Control(d, upDown);
    SendMessageW(ud, UDM_SETBUDDY, reinterpret_cast<WPARAM>(Control(d, edit)), 0);
    SendMessageW(ud, UDM_SETRANGE32, static_cast<WPARAM>(low), high);
}

// --- Filling ---

void FillMouseChoices(OptionsDialog& d, const options::OptionsValues& v) {
    const settings::Settings& s = d.program->settings;
    for (int list = 0; list < 4; ++list) {
        HWND combo = Control(d, kMouseChoice + list);
        SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        for (UINT id : kMouseChoiceTexts)
            AddChoice(combo, shortcuts::StripMnemonics(lang::Text(id)));
        for (int i = 0; i < kToolCount; ++i) {
            const std::wstring& name = s.tools[static_cast<size_t>(i)].name;
            AddChoice(combo, !name.empty() ? name
                                           : shortcuts::StripMnemonics(lang::Text(kToolsMenuText)) + L" " +
                                                 std::to_wstring(i + 1));
        }
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(v.mouseChoices[static_cast<size_t>(list)]), 0);
    }
}

void FillPluginList(OptionsDialog& d) {
    HWND list = Control(d, kPluginList);
    const bool wasFilling = d.filling;
    d.filling = true;
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    const std::vector<std::wstring>& excluded = d.program->settings.plugins;
    int row = 0;
    for (options::PluginRow& r : optionslinks::ListPlugins(*d.program, d.pluginFolder)) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = row++;
        item.pszText = &r.fileName[0];
        const int at = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (at < 0)
            continue;
        ListView_SetCheckState(list, at, !options::IsExcluded(r.fileName, excluded));
        item.iItem = at;
        item.iSubItem = 1;
        item.pszText = &r.description1[0];
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&item));
        item.iSubItem = 2;
        item.pszText = &r.description2[0];
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&item));
    }
    d.filling = wasFilling;
}

void SetUpPluginList(OptionsDialog& d) {
    HWND list = Control(d, kPluginList);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    RECT client = {};
    GetClientRect(list, &client);
    const int screenDpi = dpi::OfWindow(list);
    const int file = dpi::Scale(kFileColumnWidth, screenDpi), description = dpi::Scale(kDescriptionWidth, screenDpi);
    const int widths[] = {file, description, std::max<int>(client.right - file - description, 0)};
    for (int i = 0; i < 3; ++i) {
        std::wstring title = lang::Text(kPluginColumns[i]);
        LVCOLUMNW col = {};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        col.cx = widths[i];
        col.pszText = &title[0];
        col.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col));
    }
}

int CALLBACK AddFontFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM lp) {
    // Vertical faces ("@name") are not offered.
    if (font->lfFaceName[0] != L'@')
        reinterpret_cast<std::set<std::wstring>*>(lp)->insert(font->lfFaceName);
    return 1;
}

void FillLanguageAndFonts(OptionsDialog& d, const options::OptionsValues& v) {
    HWND languages = Control(d, kLanguage);
    SendMessageW(languages, CB_RESETCONTENT, 0, 0);
    for (const std::wstring& name : lang::LanguageList(d.program->programFolder, v.language))
        AddChoice(languages, name);
    SelectText(languages, v.language);

    HWND faces = Control(d, kFontFace);
    SendMessageW(faces, CB_RESETCONTENT, 0, 0);
    std::set<std::wstring> names;
    LOGFONTW any = {};
    any.lfCharSet = DEFAULT_CHARSET;
    win::WindowDC dc(d.frame);
    EnumFontFamiliesExW(dc.Get(), &any, AddFontFace, reinterpret_cast<LPARAM>(&names), 0);
    for (const std::wstring& name : names)
        AddChoice(faces, name);
    SelectText(faces, v.fontFace);

    CheckRadioButton(Page(d, 5), kHeight12, kHeight16, kHeight12 + v.fontHeightChoice);
    CheckRadioButton(Page(d, 5), kWeight400, kWeight700, kWeight400 + v.fontWeightChoice);
    CheckRadioButton(Page(d, 5), kDialog9, kDialog11, v.largeDialogFont ? kDialog11 : kDialog9);
    Check(d, kSendTo, d.sendToAtOpen);
}

void FillTools(OptionsDialog& d, const options::OptionsValues& v) {
    for (int i = 0; i < kToolCount; ++i) {
        const settings::ExternalTool& t = v.tools[static_cast<size_t>(i)];
        SendMessageW(Control(d, kToolName + i), EM_LIMITTEXT, 31, 0);
        SendMessageW(Control(d, kToolPath + i), EM_LIMITTEXT, 259, 0);
        SendMessageW(Control(d, kToolParameters + i), EM_LIMITTEXT, 31, 0);
        SetText(d, kToolName + i, t.name);
        SetText(d, kToolPath + i, t.path);
        SetText(d, kToolParameters + i, t.parameters);
    }
}

void EnableCacheFolderEdit(const OptionsDialog& d) { EnableWindow(Control(d, kCacheFolder), !Checked(d, kDefaultCache)); }

// --- Choosers ---

bool ChooseColour(OptionsDialog& d, HWND owner, uint32_t* colour, int swatch) {
    CHOOSECOLORW cc = {};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = owner;
    cc.rgbResult = *colour;
    cc.lpCustColors = CustomColours();
    cc.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (!ChooseColorW(&cc))
        return false;
    *colour = cc.rgbResult;
    InvalidateRect(Control(d, swatch), nullptr, TRUE);
    Changed(d);
    return true;
}

void ChooseFolderInto(OptionsDialog& d, HWND owner, int edit) {
    const std::wstring current = edit == kPluginFolder ? d.pluginFolder : Text(d, edit);
    std::wstring chosen;
    if (!fileops::ChooseFolder(owner, lang::Text(kFolderTitle) + current, current, &chosen))
        return;
    if (edit == kPluginFolder) {
        d.pluginFolder = chosen;
        d.filling = true;
        SetText(d, kPluginFolder, chosen);
        d.filling = false;
        FillPluginList(d);
    } else {
        SetText(d, edit, chosen);
    }
    Changed(d);
}

std::wstring ProgramFilesFolder() {
    wchar_t path[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, path)) ? path : L"";
}

void ChooseToolProgram(OptionsDialog& d, HWND owner, int tool) {
    const options::PathFacts facts = {[](const std::wstring& p) { return platform::FileExists(p); },
                                      [](const std::wstring& p) { return platform::FolderExists(p); }};
    const std::wstring initial =
        options::InitialToolFolder(Text(d, kToolPath + tool), d.lastToolFolder, ProgramFilesFolder(), facts);
    const std::wstring title = lang::Text(kProgramTitle);
    std::wstring filter = lang::Text(kAllFilesFilter);
    filter.append(1, L'\0').append(L"*.*").append(1, L'\0');
    filter.append(lang::Text(kProgramsFilter)).append(1, L'\0').append(L"*.exe").append(1, L'\0');
    filter.append(1, L'\0');
    wchar_t chosen[MAX_PATH] = {};
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 2;
    ofn.lpstrFile = chosen;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = initial.empty() ? nullptr : initial.c_str();
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn))
        return;
    const std::wstring path = chosen;
    SetText(d, kToolPath + tool, path);
    if (Text(d, kToolName + tool).empty())
        SetText(d, kToolName + tool, options::ToolNameFromPath(path));
    d.lastToolFolder = paths::Parent(path);
}

void OpenAssignments(OptionsDialog& d, HWND owner) {
    app::Program& p = *d.program;
    if (!d.assignments) {
        d.assignments.reset(new (std::nothrow) shortcuts::Assignments{p.shortcuts.slots, p.settings.mouseCommands});
        if (!d.assignments) {
            lang::ShowError(owner, kOutOfMemory);
            return;
        }
    }
    std::array<std::wstring, 8> toolNames;
    for (int i = 0; i < kToolCount; ++i)
        toolNames[static_cast<size_t>(i)] = p.settings.tools[static_cast<size_t>(i)].name;
    const shortcuts::DialogOutcome outcome =
        shortcuts::RunAssignmentDialog(owner, *d.assignments, p.settings.shortcutDialogMouseMode, toolNames);
    p.settings.shortcutDialogMouseMode = outcome.mouseMode;
    // Compared with what is live, so undoing an edit in a second visit clears the flag.
    d.keysChanged = !shortcuts::SameSlots(d.assignments->slots, p.shortcuts.slots);
    d.mouseChanged = d.assignments->mouse != p.settings.mouseCommands;
    if (outcome.keysChanged || outcome.mouseChanged)
        Changed(d);
}

void OnPluginNotify(OptionsDialog& d, HWND page, const NMHDR* hdr) {
    if (hdr->code == LVN_ITEMCHANGED) {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(hdr);
        if ((change->uChanged & LVIF_STATE) &&
            ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) != 0)
            Changed(d);
    } else if (hdr->code == NM_DBLCLK) {
        const int row = reinterpret_cast<const NMITEMACTIVATE*>(hdr)->iItem;
        if (row < 0 || !(ListView_GetItemState(hdr->hwndFrom, row, LVIS_SELECTED) & LVIS_SELECTED))
            return;
        wchar_t name[MAX_PATH] = {};
        ListView_GetItemText(hdr->hwndFrom, row, 0, name, MAX_PATH);
        optionslinks::ConfigurePlugin(page, *d.program, d.pluginFolder, name);
    }
}

// --- Commands ---

void OnNumericFocusLost(OptionsDialog& d, int id) {
    const settings::Settings& s = d.program->settings;
    int32_t value = 0;
    if (id == kThreshold)
        value = options::RangeValue(Text(d, id), options::kThresholdRange, s.gestureThreshold);
    else if (id == kQuality)
        value = options::RangeValue(Text(d, id), options::kQualityRange, s.cacheJpegQuality);
    else
        value = options::RangeValue(Text(d, id), {options::kMinPreviewSize, d.screenBound}, s.previewSize);
    if (Text(d, id) != std::to_wstring(value))
        SetText(d, id, std::to_wstring(value));
}

void OnCommand(OptionsDialog& d, HWND page, int id, int code) {
    switch (id) {
    case kAssign: OpenAssignments(d, page); return;
    case kPngColour: ChooseColour(d, page, &d.pngBackground, kPngSwatch); return;
    case kPaneColour: ChooseColour(d, page, &d.activePaneColour, kPaneSwatch); return;
    case kExifItems:
        if (d.window)
            ChoosePictureInfoItems(*d.window, page);
        return;
    case kViewerChoose:
        if (external::ChooseViewer(page, Control(d, kViewerPath)))
            Changed(d);
        return;
    case kMaintenance: optionslinks::OpenCacheMaintenance(page, *d.program); return;
    case kCacheChoose: ChooseFolderInto(d, page, kCacheFolder); return;
    case kPluginChoose: ChooseFolderInto(d, page, kPluginFolder); return;
    case kPluginClear:
        d.pluginFolder.clear();
        d.filling = true;
        SetText(d, kPluginFolder, L"");
        d.filling = false;
        FillPluginList(d);
        Changed(d);
        return;
    case kDefaultCache:
        EnableCacheFolderEdit(d);
        Changed(d);
        return;
    case kThreshold:
    case kQuality:
    case kPreviewSize:
        if (code == EN_KILLFOCUS)
            OnNumericFocusLost(d, id);
        else if (code == EN_CHANGE)
            Changed(d);
        return;
    case kPluginFolder:
        if (code == EN_CHANGE && !d.filling) {
            const std::wstring typed = Text(d, kPluginFolder);
            if (!paths::EqualFold(typed, d.pluginFolder)) {
                d.pluginFolder = typed;
                FillPluginList(d);
            }
            Changed(d);
        }
        return;
    }
    if (id >= kToolChoose && id < kToolChoose + kToolCount) {
        ChooseToolProgram(d, page, id - kToolChoose);
        return;
    }
    if (id >= kToolClear && id < kToolClear + kToolCount) {
        for (int base : {kToolName, kToolPath, kToolParameters})
            SetText(d, base + id - kToolClear, L"");
        return;
    }
    // Every other check box, radio button, list choice and edit counts as a change.
    if (code == BN_CLICKED || code == CBN_SELCHANGE || code == EN_CHANGE)
        Changed(d);
}

// --- Painting ---

void DrawSectionLabel(const DRAWITEMSTRUCT& di) {
    const std::wstring text = TextOf(di.hwndItem);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(di.hwndItem, WM_GETFONT, 0, 0));
    win::SelectObjectScope select(di.hDC, font);
    SIZE extent = {};
    GetTextExtentPoint32W(di.hDC, text.c_str(), static_cast<int>(text.size()), &extent);
    RECT r = di.rcItem;
    SetBkMode(di.hDC, TRANSPARENT);
    SetTextColor(di.hDC, kSectionText);
    DrawTextW(di.hDC, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    const int y = (di.rcItem.top + di.rcItem.bottom) / 2;
    const int d = dpi::OfWindow(di.hwndItem);
    const int x = di.rcItem.left + extent.cx + dpi::Scale(5, d);
    if (x < di.rcItem.right) {
        win::Pen pen(CreatePen(PS_SOLID, std::max(1, d / dpi::kBase), kSectionLine));
        win::SelectObjectScope selectPen(di.hDC, pen.Get());
        MoveToEx(di.hDC, x, y, nullptr);
        LineTo(di.hDC, di.rcItem.right, y);
    }
}

void DrawSwatch(const DRAWITEMSTRUCT& di, COLORREF colour) {
    win::Brush brush(CreateSolidBrush(colour));
    FillRect(di.hDC, &di.rcItem, brush.Get());
    FrameRect(di.hDC, &di.rcItem, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
}

BOOL OnDrawItem(OptionsDialog& d, const DRAWITEMSTRUCT& di) {
    const int id = static_cast<int>(di.CtlID);
    if (id == kPngSwatch)
        DrawSwatch(di, d.pngBackground);
    else if (id == kPaneSwatch)
        DrawSwatch(di, d.activePaneColour);
    else if (id >= kFirstSectionLabel && id <= kLastSectionLabel)
        DrawSectionLabel(di);
    else
        return FALSE;
    return TRUE;
}

// The cue text of an empty edit: string `cue` in grey at the edit's left text margin.
LRESULT CALLBACK CueEditProc(HWND edit, UINT message, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR cue) {
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(edit, CueEditProc, 0);
    const LRESULT result = DefSubclassProc(edit, message, wp, lp);
    if ((message == WM_PAINT || message == WM_SETFOCUS || message == WM_KILLFOCUS) && GetWindowTextLengthW(edit) == 0 &&
        GetFocus() != edit) {
        const std::wstring text = lang::Text(static_cast<UINT>(cue));
        win::WindowDC dc(edit);
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0));
        win::SelectObjectScope select(dc.Get(), font);
        RECT r = {};
        GetClientRect(edit, &r);
        r.left += LOWORD(SendMessageW(edit, EM_GETMARGINS, 0, 0)) + 1;
        SetBkMode(dc.Get(), TRANSPARENT);
        SetTextColor(dc.Get(), kCueText);
        DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &r,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    return result;
}

void AddCue(HWND page, int id, UINT cue) {
    if (HWND edit = GetDlgItem(page, id))
        SetWindowSubclass(edit, CueEditProc, 0, cue);
}

void OnPageInit(HWND page) {
    for (int i = 0; i < kToolCount; ++i) {
        AddCue(page, kToolName + i, kToolName);
        AddCue(page, kToolPath + i, kToolPath);
        AddCue(page, kToolParameters + i, kToolParameters);
    }
    AddCue(page, kViewerPath, kToolPath);
    AddCue(page, kCacheFolder, kPluginFolder);
    AddCue(page, kPluginFolder, kPluginFolder);
}

} // namespace

COLORREF* CustomColours() {
    static COLORREF colours[16] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                                   0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
    return colours;
}

void Changed(OptionsDialog& d) {
    if (!d.filling && d.frame)
        EnableWindow(GetDlgItem(d.frame, kApply), TRUE);
}

void FillPages(OptionsDialog& d) {
    d.filling = true;
    const app::Program& p = *d.program;
    const options::OptionsValues v = options::ValuesFromSettings(p.settings, p.cacheFolder);
    // Page 0.
    FillMouseChoices(d, v);
    SetUpDown(d, kThreshold, kThresholdUpDown, options::kThresholdRange.low, options::kThresholdRange.high, 2);
    SetText(d, kThreshold, v.threshold);
    // Page 1.
    Check(d, kPngGamma, v.pngGamma);
    Check(d, kPngFlatten, v.pngFlatten);
    Check(d, kPngFileBackground, v.pngFileBackground);
    SendMessageW(Control(d, kGamma), EM_LIMITTEXT, 5, 0);
    SetText(d, kGamma, v.gamma);
    Check(d, kExifOrientation, v.exifOrientation);
    SendMessageW(Control(d, kViewerPath), EM_LIMITTEXT, 259, 0);
    SetText(d, kViewerPath, v.viewerPath);
    Check(d, kCloseViewer, v.closeViewer);
    // Page 2.
    Check(d, kCacheEnabled, v.cacheEnabled);
    Check(d, kPruneCache, v.pruneCache);
    EnableWindow(Control(d, kMaintenance), optionslinks::CacheMaintenanceAvailable());
    SetUpDown(d, kQuality, kQualityUpDown, options::kQualityRange.low, options::kQualityRange.high, 3);
    SetText(d, kQuality, v.quality);
    Check(d, kDefaultCache, v.cacheFolderIsDefault);
    SendMessageW(Control(d, kCacheFolder), EM_LIMITTEXT, 259, 0);
    SetText(d, kCacheFolder, v.cacheFolder);
    EnableCacheFolderEdit(d);
    HWND scaling = Control(d, kScaling);
    SendMessageW(scaling, CB_RESETCONTENT, 0, 0);
    for (UINT id : kScalingTexts)
        AddChoice(scaling, lang::Text(id));
    SendMessageW(scaling, CB_SETCURSEL, static_cast<WPARAM>(v.scalingChoice), 0);
    Check(d, kBorder, v.thumbBorder);
    SetUpDown(d, kPreviewSize, kPreviewUpDown, options::kMinPreviewSize, d.screenBound, 4);
    SetText(d, kPreviewSize, v.previewSize);
    // Page 3.
    FillTools(d, v);
    // Page 4.
    SetUpPluginList(d);
    SendMessageW(Control(d, kPluginFolder), EM_LIMITTEXT, 259, 0);
    SetText(d, kPluginFolder, v.pluginFolder);
    FillPluginList(d);
    // Page 5.
    FillLanguageAndFonts(d, v);
    d.filling = false;
}

options::OptionsValues ReadPages(const OptionsDialog& d) {
    options::OptionsValues v;
    for (int i = 0; i < 4; ++i)
        v.mouseChoices[static_cast<size_t>(i)] = Selection(d, kMouseChoice + i);
    v.threshold = Text(d, kThreshold);
    v.pngGamma = Checked(d, kPngGamma);
    v.pngFlatten = Checked(d, kPngFlatten);
    v.pngFileBackground = Checked(d, kPngFileBackground);
    v.gamma = Text(d, kGamma);
    v.pngBackground = d.pngBackground;
    v.exifOrientation = Checked(d, kExifOrientation);
    v.viewerPath = Text(d, kViewerPath);
    v.closeViewer = Checked(d, kCloseViewer);
    v.cacheEnabled = Checked(d, kCacheEnabled);
    v.pruneCache = Checked(d, kPruneCache);
    v.quality = Text(d, kQuality);
    v.cacheFolderIsDefault = Checked(d, kDefaultCache);
    v.cacheFolder = Text(d, kCacheFolder);
    v.scalingChoice = Selection(d, kScaling);
    v.thumbBorder = Checked(d, kBorder);
    v.activePaneColour = d.activePaneColour;
    v.previewSize = Text(d, kPreviewSize);
    for (int i = 0; i < kToolCount; ++i) {
        settings::ExternalTool& t = v.tools[static_cast<size_t>(i)];
        t.name = Text(d, kToolName + i);
        t.path = Text(d, kToolPath + i);
        t.parameters = Text(d, kToolParameters + i);
    }
    v.pluginFolder = Text(d, kPluginFolder);
    HWND list = Control(d, kPluginList);
    const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        wchar_t name[MAX_PATH] = {};
        ListView_GetItemText(list, row, 0, name, MAX_PATH);
        v.plugins.push_back({name, L"", L"", ListView_GetCheckState(list, row) != 0});
    }
    v.sendTo = Checked(d, kSendTo);
    v.page = d.current;
    v.largeDialogFont = Checked(d, kDialog11);
    v.language = Text(d, kLanguage);
    v.fontFace = Text(d, kFontFace);
    v.fontHeightChoice = Checked(d, kHeight12) ? 0 : Checked(d, kHeight14) ? 1 : 2;
    v.fontWeightChoice = Checked(d, kWeight400) ? 0 : 1;
    return v;
}

void ShowRejected(OptionsDialog& d, const options::OptionsEffects& e) {
    const settings::Settings& s = d.program->settings;
    d.filling = true;
    // Numeric edits show what was stored, so a clamped value is seen as such.
    SetText(d, kThreshold, std::to_wstring(s.gestureThreshold));
    SetText(d, kQuality, std::to_wstring(s.cacheJpegQuality));
    SetText(d, kPreviewSize, std::to_wstring(s.previewSize));
    if (e.gammaRejected)
        SetText(d, kGamma, options::GammaText(s.pngDisplayGamma));
    if (e.cacheFolderRejected) {
        Check(d, kDefaultCache, s.cacheFolderIsDefault);
        SetText(d, kCacheFolder, s.cacheFolderIsDefault ? d.program->cacheFolder : s.cacheFolder);
        EnableCacheFolderEdit(d);
    }
    if (e.pluginFolderRejected) {
        d.pluginFolder = s.pluginFolder;
        SetText(d, kPluginFolder, s.pluginFolder);
        FillPluginList(d);
    }
    d.filling = false;
}

void ShowLanguageInUse(OptionsDialog& d) {
    d.filling = true;
    SelectText(Control(d, kLanguage), d.program->settings.languageModule);
    d.filling = false;
}

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(page, DWLP_USER, lp);
        OnPageInit(page);
        return FALSE;
    }
    OptionsDialog* d = DialogOf(page);
    if (!d)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        OnCommand(*d, page, LOWORD(wp), HIWORD(wp));
        return TRUE;
    case WM_NOTIFY: {
        const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lp);
        if (hdr->idFrom == static_cast<UINT_PTR>(kPluginList))
            OnPluginNotify(*d, page, hdr);
        return FALSE;
    }
    case WM_DRAWITEM:
        return OnDrawItem(*d, *reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
    case WM_CTLCOLOREDIT: {
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lp));
        if (id >= kToolPath && id < kToolPath + kToolCount) {
            HDC dc = reinterpret_cast<HDC>(wp);
            SetTextColor(dc, kPathText);
            SetBkColor(dc, RGB(255, 255, 255));
            return reinterpret_cast<INT_PTR>(d->white.Get());
        }
        return FALSE;
    }
    }
    return FALSE;
}

} // namespace optionsui
} // namespace ui
