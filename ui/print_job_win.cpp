#include "ui/print_job_win.h"

#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace printing {

namespace {

constexpr DWORD kMaxRanges = 8;

// A copy of the kept DEVMODE for a dialog, which may free or replace the block it is given.
HGLOBAL CopyOfDevMode(HGLOBAL source) {
    if (!source)
        return nullptr;
    const SIZE_T bytes = GlobalSize(source);
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, bytes);
    void* from = GlobalLock(source);
    void* to = copy ? GlobalLock(copy) : nullptr;
    if (from && to)
        std::memcpy(to, from, bytes);
    if (to)
        GlobalUnlock(copy);
    if (from)
        GlobalUnlock(source);
    if (copy && (!from || !to)) {
        GlobalFree(copy);
        copy = nullptr;
    }
    return copy;
}

bool PrintPages(const Sheet& sheet, const settings::Settings& s, const std::vector<uint32_t>& pages,
                const std::wstring& documentName) {
    HDC dc = sheet.printer.Get();
    DOCINFOW doc = {};
    doc.cbSize = sizeof doc;
    doc.lpszDocName = documentName.c_str();
    if (StartDocW(dc, &doc) <= 0)
        return false;
    for (uint32_t page : pages) {
        if (StartPage(dc) <= 0) {
            AbortDoc(dc);
            return false;
        }
        DrawPrinterPage(sheet, page, s);
        if (EndPage(dc) <= 0) {
            AbortDoc(dc);
            return false;
        }
    }
    return EndDoc(dc) > 0;
}

} // namespace

JobOutcome PrintSheet(HWND owner, Sheet& sheet, settings::Settings& s, const std::wstring& documentName) {
    PRINTPAGERANGE ranges[kMaxRanges] = {};
    PRINTDLGEXW pd = {};
    pd.lStructSize = sizeof pd;
    pd.hwndOwner = owner;
    pd.hDevMode = CopyOfDevMode(KeptDevMode());
    pd.Flags = PD_RETURNDC | PD_NOSELECTION | PD_USEDEVMODECOPIESANDCOLLATE;
    pd.nMinPage = 1;
    pd.nMaxPage = static_cast<DWORD>(std::max<size_t>(sheet.pageCount, 1));
    const DWORD lastPage = pd.nMaxPage;
    // The whole sheet as the initial range: the dialog shows it in its page box, and the user's
    // choice comes back in place of it. Wine's dialog writes a chosen range only into a range it
    // was given, and reports it without PD_PAGENUMS (see below).
    ranges[0].nFromPage = 1;
    ranges[0].nToPage = lastPage;
    pd.nPageRanges = 1;
    pd.nMaxPageRanges = kMaxRanges;
    pd.lpPageRanges = ranges;
    pd.nCopies = 1;
    pd.nStartPage = START_PAGE_GENERAL;
    const HRESULT hr = PrintDlgExW(&pd);
    if (pd.hDevNames)
        GlobalFree(pd.hDevNames);
    if (FAILED(hr)) {
        if (pd.hDevMode)
            GlobalFree(pd.hDevMode);
        if (pd.hDC)
            DeleteDC(pd.hDC);
        return JobOutcome::Failed;
    }
    if (pd.dwResultAction == PD_RESULT_CANCEL || !pd.hDC) {
        if (pd.hDevMode)
            GlobalFree(pd.hDevMode);
        if (pd.hDC)
            DeleteDC(pd.hDC);
        return JobOutcome::Cancelled;
    }
    if (!(GetDeviceCaps(pd.hDC, RASTERCAPS) & RC_STRETCHDIB)) {
        if (pd.hDevMode)
            GlobalFree(pd.hDevMode);
        DeleteDC(pd.hDC);
        return JobOutcome::Failed;
    }
    if (pd.hDevMode)
        KeepDevMode(pd.hDevMode);
    sheet.printer.Reset(pd.hDC);
    AdoptPrinter(sheet, s);
    if (pd.dwResultAction != PD_RESULT_PRINT)
        return JobOutcome::PrinterChanged;

    // Windows marks a chosen range with PD_PAGENUMS. Wine returns the chosen range in place of the
    // one given but leaves the flag out, so a range other than the whole sheet counts as chosen too.
    const bool wholeSheet = pd.nPageRanges == 1 && ranges[0].nFromPage == 1 && ranges[0].nToPage == lastPage;
    std::vector<PageRange> chosen;
    if ((pd.Flags & PD_PAGENUMS) || (!(pd.Flags & PD_CURRENTPAGE) && pd.nPageRanges > 0 && !wholeSheet)) {
        for (DWORD i = 0; i < pd.nPageRanges && i < kMaxRanges; ++i)
            chosen.push_back({ranges[i].nFromPage, ranges[i].nToPage});
    } else if (pd.Flags & PD_CURRENTPAGE) {
        chosen.push_back({sheet.currentPage, sheet.currentPage});
    } else {
        chosen.push_back({1, static_cast<uint32_t>(sheet.pageCount)});
    }
    const std::vector<uint32_t> pages = PagesToPrint(chosen, sheet.grid, sheet.items.size());
    if (pages.empty())
        return JobOutcome::Printed;
    return PrintPages(sheet, s, pages, documentName) ? JobOutcome::Printed : JobOutcome::Failed;
}

} // namespace printing
