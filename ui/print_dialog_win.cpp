#include "ui/print_dialog_win.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cstring>

#include "app/language_win.h"
#include "app/messages.h"
#include "app/program_state_win.h"
#include "common/dpi_win.h"
#include "fileops/delete_rename_win.h"
#include "thumbs/thumb_view_win.h"
#include "ui/browse_pane_win.h"
#include "ui/print_job_win.h"
#include "ui/print_preview_win.h"

namespace ui {

namespace {

using printing::Sheet;

constexpr UINT kTemplate = 2500;
constexpr UINT kPrintFailed = 30010;
constexpr UINT kInUse = 30013;
constexpr int kPrint = 2501, kPageSetup = 2502, kClose = IDCANCEL;
constexpr int kAll = 2511, kSelected = 2512, kPlaceholder = 2520;
constexpr int kColumns = 2522, kColumnsUpDown = 2523;
constexpr int kPageCount = 2532, kCurrentPage = 2534, kPrevious = 2535, kNext = 2536;

app::Program& P() { return app::TheProgram(); }
HWND Broker() { return P().routing.broker.load(); }

// The program-wide busy flag, taken for the command and cleared on every way out.
class BusyFlag {
  public:
    BusyFlag() : taken_(Broker() && SendMessageW(Broker(), msg::kBrokerBusyFlag, 1, 0) != 0) {}
    ~BusyFlag() {
        if (taken_)
            SendMessageW(Broker(), msg::kBrokerBusyFlag, 0, 0);
    }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;
    bool Taken() const { return taken_; }

  private:
    bool taken_;
};

struct Dialog {
    Sheet sheet;
    std::wstring documentName;
    HWND preview = nullptr;
    bool ready = false; // set once WM_INITDIALOG is done; edits before it are the dialog's own
};

Dialog* DialogOf(HWND dialog) { return reinterpret_cast<Dialog*>(GetWindowLongPtrW(dialog, DWLP_USER)); }

// The pane's entries as the sheet keeps them; thumbnails are copied because the pane may reload.
void CopyEntries(HWND pane, Sheet& sheet) {
    const folder::PaneLocation* location = PaneLocationOf(pane);
    thumbs::ThumbView* view = thumbs::ThumbViewOf(PaneFocusTarget(pane));
    if (!location || !view)
        return;
    const size_t count = thumbs::ViewCount(*view);
    const folder::ThumbItemArray& items = thumbs::ViewItems(*view);
    const bool archive = location::IsArchiveKind(location->kind);
    sheet.entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const folder::ThumbItem& item = items.items[i];
        printing::SheetEntry e;
        e.name = item.name;
        e.selected = item.selected != 0;
        e.kind = location->kind;
        if (archive) {
            e.path = location->path;
            e.member.name = item.name;
            e.member.folder = item.path;
            e.member.locator = static_cast<uint32_t>(item.locator);
            e.member.size = static_cast<uint32_t>(item.size);
            e.member.time = item.time;
        } else {
            e.path = item.path;
        }
        e.width = item.width;
        e.height = item.height;
        const image::BitmapInfoHeader& h = item.header;
        size_t bytes = 0;
        if (item.pixels && h.bit_count == 24 &&
            image::PixelBlockSize(static_cast<uint32_t>(h.width), static_cast<uint32_t>(std::abs(h.height)), 24,
                                  &bytes)) {
            e.thumbHeader = h;
            e.thumbBits.assign(item.pixels, item.pixels + (bytes - 4));
        }
        sheet.entries.push_back(std::move(e));
    }
}

void UpdatePageControls(HWND dialog, Dialog& d) {
    const Sheet& s = d.sheet;
    SetDlgItemInt(dialog, kPageCount, static_cast<UINT>(s.pageCount), FALSE);
    SetDlgItemInt(dialog, kCurrentPage, s.currentPage, FALSE);
    EnableWindow(GetDlgItem(dialog, kPrevious), s.currentPage > 1);
    EnableWindow(GetDlgItem(dialog, kNext), s.currentPage != std::max<size_t>(s.pageCount, 1));
    InvalidateRect(d.preview, nullptr, FALSE);
}

void Recompute(HWND dialog, Dialog& d) {
    printing::Recompute(d.sheet);
    UpdatePageControls(dialog, d);
}

void OnInit(HWND dialog, Dialog& d) {
    Sheet& s = d.sheet;
    RECT place = {};
    GetWindowRect(GetDlgItem(dialog, kPlaceholder), &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    RECT client = {};
    GetClientRect(dialog, &client);
    const printing::Rect area = printing::PreviewArea(place.left, client.bottom, dpi::OfWindow(dialog));
    s.previewWidth = area.width;
    s.previewHeight = area.height;
    printing::Recompute(s);
    d.preview = printing::CreatePreview(dialog, s, area.left, area.top);

    const bool mixed = !s.printAll;
    CheckRadioButton(dialog, kAll, kSelected, mixed ? kSelected : kAll);
    EnableWindow(GetDlgItem(dialog, kSelected), mixed);
    SendDlgItemMessageW(dialog, kColumns, EM_LIMITTEXT, 2, 0);
    SendDlgItemMessageW(dialog, kColumnsUpDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(GetDlgItem(dialog, kColumns)), 0);
    SendDlgItemMessageW(dialog, kColumnsUpDown, UDM_SETRANGE32, printing::kMinColumns, printing::kMaxColumns);
    SendDlgItemMessageW(dialog, kColumnsUpDown, UDM_SETPOS32, 0, s.columns);
    SetDlgItemInt(dialog, kColumns, static_cast<UINT>(s.columns), FALSE);
    UpdatePageControls(dialog, d);
    d.ready = true;
}

void OnColumnsChanged(HWND dialog, Dialog& d) {
    BOOL ok = FALSE;
    const int typed = static_cast<int>(GetDlgItemInt(dialog, kColumns, &ok, TRUE));
    if (!ok)
        return;
    const int columns = printing::ClampColumns(typed);
    if (columns == d.sheet.columns)
        return;
    d.sheet.columns = columns;
    P().settings.printColumns = columns;
    SendDlgItemMessageW(dialog, kColumnsUpDown, UDM_SETPOS32, 0, columns);
    Recompute(dialog, d);
}

void OnPrint(HWND dialog, Dialog& d) {
    switch (printing::PrintSheet(dialog, d.sheet, P().settings, d.documentName)) {
    case printing::JobOutcome::Failed:
        lang::ShowError(dialog, kPrintFailed);
        UpdatePageControls(dialog, d);
        break;
    case printing::JobOutcome::Cancelled:
        break;
    default:
        UpdatePageControls(dialog, d);
        break;
    }
}

void OnPageSetup(HWND dialog, Dialog& d) {
    Sheet& s = d.sheet;
    settings::Settings& st = P().settings;
    const printing::StoredMargins least = printing::MinimumMargins(s.metrics);
    PAGESETUPDLGW ps = {};
    ps.lStructSize = sizeof ps;
    ps.hwndOwner = dialog;
    ps.Flags = PSD_INHUNDREDTHSOFMILLIMETERS | PSD_MARGINS | PSD_MINMARGINS;
    ps.rtMinMargin = {least[0], least[2], least[1], least[3]};
    ps.rtMargin = {st.printMargins[0], st.printMargins[2], st.printMargins[1], st.printMargins[3]};
    ps.hDevMode = nullptr;
    if (HGLOBAL kept = printing::KeptDevMode()) {
        const SIZE_T bytes = GlobalSize(kept);
        ps.hDevMode = GlobalAlloc(GMEM_MOVEABLE, bytes);
        void* from = GlobalLock(kept);
        void* to = ps.hDevMode ? GlobalLock(ps.hDevMode) : nullptr;
        if (from && to)
            std::memcpy(to, from, bytes);
        if (to)
            GlobalUnlock(ps.hDevMode);
        if (from)
            GlobalUnlock(kept);
    }
    const BOOL ok = PageSetupDlgW(&ps);
    if (ps.hDevNames)
        GlobalFree(ps.hDevNames);
    if (!ok) {
        if (ps.hDevMode)
            GlobalFree(ps.hDevMode);
        return;
    }
    st.printMargins = {ps.rtMargin.left, ps.rtMargin.right, ps.rtMargin.top, ps.rtMargin.bottom};
    if (ps.hDevMode)
        printing::KeepDevMode(ps.hDevMode);
    Sheet fresh;
    if (!printing::OpenPrinter(fresh)) {
        lang::ShowError(dialog, kPrintFailed);
        return;
    }
    s.printer.Reset(fresh.printer.Get());
    fresh.printer.Release();
    printing::AdoptPrinter(s, st);
    UpdatePageControls(dialog, d);
}

void OnCommand(HWND dialog, Dialog& d, int id, int code) {
    switch (id) {
    case kPrint: OnPrint(dialog, d); break;
    case kPageSetup: OnPageSetup(dialog, d); break;
    case kClose: EndDialog(dialog, IDCANCEL); break;
    case kAll:
    case kSelected:
        if (code == BN_CLICKED && d.sheet.printAll != (id == kAll)) {
            d.sheet.printAll = id == kAll;
            Recompute(dialog, d);
        }
        break;
    case kColumns:
        if (code == EN_KILLFOCUS)
            SetDlgItemInt(dialog, kColumns, static_cast<UINT>(d.sheet.columns), FALSE);
        else if (code == EN_CHANGE && d.ready)
            OnColumnsChanged(dialog, d);
        break;
    case kPrevious:
        if (d.sheet.currentPage > 1) {
            --d.sheet.currentPage;
            UpdatePageControls(dialog, d);
        }
        break;
    case kNext:
        if (d.sheet.currentPage < d.sheet.pageCount) {
            ++d.sheet.currentPage;
            UpdatePageControls(dialog, d);
        }
        break;
    }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lp);
        OnInit(dialog, *reinterpret_cast<Dialog*>(lp));
        return TRUE;
    }
    Dialog* d = DialogOf(dialog);
    if (!d)
        return FALSE;
    if (message == WM_COMMAND) {
        OnCommand(dialog, *d, LOWORD(wp), HIWORD(wp));
        return TRUE;
    }
    return FALSE;
}

} // namespace

void RunPrintCommand(MainWindow& w) {
    const int active = P().settings.activePane & 1;
    HWND pane = w.panes[active];
    if (!PaneHasLocation(pane))
        return;
    BusyFlag busy;
    if (!busy.Taken()) {
        lang::ShowError(w.hwnd, kInUse);
        return;
    }
    fileops::Admission admission(fileops::PaneCode(active), nullptr);
    if (!admission.Granted()) {
        lang::ShowError(w.hwnd, kInUse);
        return;
    }
    Dialog d;
    if (!printing::OpenPrinter(d.sheet)) {
        lang::ShowError(w.hwnd, kPrintFailed);
        return;
    }
    settings::Settings& s = P().settings;
    s.printColumns = printing::ClampColumns(s.printColumns);
    d.sheet.columns = s.printColumns;
    d.documentName = PaneLocationText(pane);
    CopyEntries(pane, d.sheet);
    const size_t selected = static_cast<size_t>(
        std::count_if(d.sheet.entries.begin(), d.sheet.entries.end(), [](const auto& e) { return e.selected; }));
    d.sheet.printAll = selected == 0 || selected == d.sheet.entries.size();
    printing::AdoptPrinter(d.sheet, s);
    const win::WindowClass previewClass =
        printing::RegisterPreviewClass(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(w.hwnd, GWLP_HINSTANCE)));
    if (!previewClass || lang::DialogBoxFromModule(kTemplate, w.hwnd, DialogProc, reinterpret_cast<LPARAM>(&d)) == -1)
        lang::ShowError(w.hwnd, kPrintFailed);
}

} // namespace ui
