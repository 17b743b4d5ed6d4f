// The options dialog's pages: their state, control ids, filling and reading, choosers and painting.
// Private to ui/options_dialog_win.cpp and ui/options_pages_win.cpp.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>

#include "app/shortcut_table.h"
#include "common/scoped_win.h"
#include "ui/options_rules.h"

namespace app {
struct Program;
}

namespace ui {

struct MainWindow;

namespace optionsui {

// Frame (template 1000).
constexpr UINT kFrameTemplate = 1000;
constexpr UINT kFirstPageTemplate = 1010;
constexpr int kTree = 1001, kApply = 1002, kPageArea = 1003;

// Page 0.
constexpr int kMouseChoice = 1110; // 1110..1113
constexpr int kAssign = 1122, kThreshold = 1132, kThresholdUpDown = 1133;
// Page 1.
constexpr int kPngGamma = 1181, kPngFlatten = 1182, kPngFileBackground = 1183, kGamma = 1186;
constexpr int kPngColour = 1187, kPngSwatch = 1188, kExifOrientation = 1190, kExifItems = 1191;
constexpr int kViewerPath = 1201, kViewerChoose = 1202, kCloseViewer = 1203;
// Page 2.
constexpr int kScaling = 1232, kCacheEnabled = 1241, kPruneCache = 1242, kMaintenance = 1243;
constexpr int kQuality = 1245, kQualityUpDown = 1246, kDefaultCache = 1251, kCacheFolder = 1252;
constexpr int kCacheChoose = 1253, kBorder = 1261, kPaneSwatch = 1263, kPaneColour = 1264;
constexpr int kPreviewSize = 1282, kPreviewUpDown = 1283;
// Page 3: tool i uses each id + i.
constexpr int kToolName = 1320, kToolParameters = 1330, kToolChoose = 1340, kToolClear = 1350, kToolPath = 1360;
// Page 4.
constexpr int kPluginFolder = 1411, kPluginChoose = 1412, kPluginClear = 1413, kPluginList = 1421;
// Page 5.
constexpr int kLanguage = 1431, kFontFace = 1441, kHeight12 = 1443, kHeight14 = 1444, kHeight16 = 1445;
constexpr int kWeight400 = 1447, kWeight700 = 1448, kDialog9 = 1451, kDialog11 = 1452, kSendTo = 1461;
// Section labels are owner-drawn statics with ids from here up (at most 30 per page).
constexpr int kFirstSectionLabel = 1900, kLastSectionLabel = 1929;

struct OptionsDialog {
    app::Program* program = nullptr;
    MainWindow* window = nullptr;
    HWND frame = nullptr;
    std::array<HWND, options::kPageCount> pages = {};
    std::array<HTREEITEM, options::kPageCount> items = {};
    int current = 0;

    uint32_t pngBackground = 0;   // working copy of key 52
    uint32_t activePaneColour = 0; // working copy of key 31
    int32_t screenBound = 0;
    std::wstring pluginFolder;    // working copy of key 60
    bool borderAtOpen = false;
    bool sendToAtOpen = false;

    bool keysChanged = false;
    bool mouseChanged = false;
    std::unique_ptr<shortcuts::Assignments> assignments; // made on first use of button 1122

    std::wstring lastToolFolder;
    bool filling = false; // changes made while filling do not enable Apply
    win::Brush white;
};

// Page dialog procedure; lParam of WM_INITDIALOG is the OptionsDialog.
INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wp, LPARAM lp);

// Fills every page from the settings.
void FillPages(OptionsDialog& d);
// Everything the controls hold now.
options::OptionsValues ReadPages(const OptionsDialog& d);
// Shows the settings' values again in edits whose text was not taken.
void ShowRejected(OptionsDialog& d, const options::OptionsEffects& e);
// Selects the language in use again (after a module that did not load).
void ShowLanguageInUse(OptionsDialog& d);
// Enables Apply, unless the pages are being filled.
void Changed(OptionsDialog& d);

// The custom colours of the colour chooser, kept for the whole run.
COLORREF* CustomColours();

} // namespace optionsui
} // namespace ui
