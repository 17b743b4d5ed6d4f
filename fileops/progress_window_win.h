// The progress window of a background archive job: a bar and a Cancel button, owned by the job's
// worker thread, which drains its messages between items. The main window stays usable meanwhile.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "archive/job_progress.h"
#include "common/scoped_win.h"

namespace fileops {

constexpr wchar_t kProgressClass[] = L"acv_progress_class";
constexpr int kProgressBarId = 1;
constexpr int kProgressCancelId = 2;

class ProgressWindow : public archive::JobProgress {
  public:
    // Shows the window (caption `title`, button text `cancelText`) centred on the monitor under the
    // pointer; `published`, when given, holds the window handle while it exists (the broker brings
    // it to the front or cancels it through it).
    ProgressWindow(const std::wstring& title, const std::wstring& cancelText, std::atomic<intptr_t>* published);
    ~ProgressWindow() override;
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    HWND Window() const { return hwnd_; }
    void SetRange(uint32_t steps) override;
    void Step() override;
    // Handles the window's pending messages: Escape, a press on Cancel or closing the window asks
    // the job to stop; it stays asked.
    bool Cancelled() override;

  private:
    static WNDCLASSEXW ClassOf();
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp);
    // Places the bar and the button and makes the button's font for a screen of `dpi`.
    void LayOut(int dpi);

    win::WindowClass class_;
    win::GdiObject<HFONT> font_;
    HWND hwnd_ = nullptr;
    HWND bar_ = nullptr;
    HWND button_ = nullptr;
    bool cancelled_ = false;
    std::atomic<intptr_t>* published_ = nullptr;
};

} // namespace fileops
