#include "app/program_win.h"

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <memory>
#include <vector>

#include "app/broker_win.h"
#include "app/plugin_state_win.h"
#include "app/language_win.h"
#include "app/rar_password_win.h"
#include "app/messages.h"
#include "app/startup_rules.h"
#include "common/dpi.h"
#include "common/dpi_win.h"
#include "common/path.h"
#include "folder/shell_tree_win.h"
#include "folder/names_win.h"
#include "image/mul_table.h"
#include "thumbs/thumb_cache.h"
#include "thumbs/thumb_worker_win.h"
#include "ui/help_win.h"
#include "ui/layout.h"
#include "ui/main_window_win.h"
#include "ui/menu_bar_win.h"
#include "ui/menus_win.h"
#include "ui/open_path_win.h"
#include "ui/browse_pane_win.h"
#include "ui/client_window_win.h"
#include "ui/toolbars_win.h"

namespace app {

namespace {

// The three texts shown before any language module is loaded.
const wchar_t kFailedToExecute[] = L"Failed to execute file.";
const wchar_t kLanguageNotFound[] = L"Language file not found.";
const wchar_t kErrorCaption[] = L"Error";

void ShowStartupError(const wchar_t* text) {
    MessageBoxW(nullptr, text, kErrorCaption, MB_SETFOREGROUND | MB_ICONERROR);
}

int DetectOsClass() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&info))
        return 0;
#pragma GCC diagnostic pop
    return startup::OsClass(info.dwMajorVersion, info.dwMinorVersion);
}

void UseLowFragmentationHeaps(HANDLE privateHeap) {
    ULONG lfh = 2;
    HeapSetInformation(privateHeap, HeapCompatibilityInformation, &lfh, sizeof lfh);
    HeapSetInformation(GetProcessHeap(), HeapCompatibilityInformation, &lfh, sizeof lfh);
}

// Step 7: the program folder becomes the current directory; Quorle.ini beside the executable
// means portable use, otherwise the user's application-data folder holds it.
bool ResolveSettingsPath(Program& p) {
    const std::wstring exe = ExecutablePath();
    if (p.osClass == 0 || !startup::ExecutableNameIsQuorle(exe))
        return false;
    p.programFolder = paths::Parent(exe);
    SetCurrentDirectoryW(p.programFolder.c_str());
    const std::wstring portable = paths::Join(p.programFolder, startup::kSettingsFileName);
    if (platform::FileExists(portable)) {
        p.settingsPath = portable;
        return true;
    }
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)))
        return false;
    const std::wstring folder = paths::Join(appData, startup::kAppDataFolderName);
    if (!platform::FolderExists(folder) && !CreateDirectoryW(folder.c_str(), nullptr))
        return false;
    p.settingsPath = paths::Join(folder, startup::kSettingsFileName);
    return true;
}

void ResolveCacheFolder(Program& p, const settings::SettingsReader& reader) {
    startup::CacheKeys keys;
    keys.entryCount = reader.Loaded() ? reader.EntryCount() : 0;
    // ReadInline tells an inline entry from an absent one by trying two fallbacks.
    const uint32_t a = reader.ReadInline(167, 0), b = reader.ReadInline(167, 1);
    keys.key167Inline = a == b;
    keys.key167 = a;
    reader.ReadString(164, keys.key164);
    p.cacheFolderIsDefault = startup::CacheFolderIsDefault(keys);
    p.cacheFolder = startup::CacheFolder(keys, p.settingsPath);
}

// Step 11: a running instance is raised and given the first argument.
void HandOver(HWND running) {
    if (IsIconic(running))
        ShowWindowAsync(running, SW_RESTORE);
    SetForegroundWindow(running);
    int argc = 0;
    win::LocalMemory<LPWSTR*> argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    if (!argv.Get() || argc < 2)
        return;
    wchar_t block[260] = {};
    lstrcpynW(block, argv.Get()[1], 260);
    COPYDATASTRUCT cds;
    cds.dwData = 0;
    cds.cbData = sizeof block;
    cds.lpData = block;
    DWORD_PTR answer = 0;
    // A hung first instance must not hang the second one for ever.
    SendMessageTimeoutW(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds), SMTO_ABORTIFHUNG, 10000, &answer);
}

settings::SettingsEnvironment Environment(const Program& p) {
    settings::SettingsEnvironment env;
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int ww = work.right - work.left, wh = work.bottom - work.top;
    // Key 46 is a length like the others the program lays out: stored at 96 dpi, so its bound is too.
    env.screenBound = dpi::Unscale(ww < wh ? ww - p.frameWidth : wh - p.frameHeight, dpi::OfSystem());
    NONCLIENTMETRICSW ncm = {};
    // The size of the structure before Vista's padded border, accepted by every version.
    ncm.cbSize = 500;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, ncm.cbSize, &ncm, 0))
        env.menuFontFace = ncm.lfMenuFont.lfFaceName;
    wchar_t pictures[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, pictures)))
        env.picturesFolder = pictures;
    env.programFolder = p.programFolder;
    return env;
}

// Step 12 up to the main window; false when the window could not be made.
HWND BuildWindowSystem(Program& p, const settings::SettingsReader& reader) {
    image::MulTable();
    MeasureFrame(p);
    const settings::SettingsEnvironment env = Environment(p);
    p.settings = settings::LoadSettings(reader, env);
    p.screenBound = env.screenBound;
    lang::SetDialogOptions(p.heap, &p.settings.largeDialogFont);
    InstallRarHooks(p.settings.pluginFolder);
    RebuildPluginLists(p);
    InstallPluginHost();
    p.shortcuts = shortcuts::LoadShortcuts(p.settings.accelerators, p.settings.noShortcuts);
    BuildAccelerators(p);
    ui::BuildProgramMenus(p);
    INITCOMMONCONTROLSEX icc = {};
    icc.dwSize = sizeof icc;
    icc.dwICC = 0x43F;
    InitCommonControlsEx(&icc);
    if (!ui::RegisterFrameClasses(p.instance))
        return nullptr;
    ui::InstallMenuHook();
    HWND main = ui::CreateMainWindow(p.instance, TearDown);
    if (main)
        p.routing.main.store(main);
    return main;
}

// The workers hold the cache lock through the cache's own lock interface.
thumbs::CacheLock& CacheLockOf(Program& p) {
    static thumbs::CriticalCacheLock lock(p.cacheLock);
    return lock;
}

void StartThreads(Program& p) {
    StartBrokerThread(&p.routing, p.broker);
    thumbs::StartThumbWorker(&p.routing, 0, &CacheLockOf(p), p.thumbWorkers[0]);
    thumbs::StartThumbWorker(&p.routing, 1, &CacheLockOf(p), p.thumbWorkers[1]);
}

int MessageLoop(Program& p, HWND main) {
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (!p.acceleratorsSuspended && p.accelerators.Get() && TranslateAcceleratorW(main, p.accelerators.Get(), &m))
            continue;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return static_cast<int>(m.wParam);
}

// Closes the companion viewer's windows; a window that ignores WM_CLOSE is not asked for ever.
void CloseCompanionViewer() {
    const wchar_t* const kClasses[] = {L"Drova_vwin_class", L"Drova Ex_vwin_class"};
    HWND last = nullptr;
    for (int round = 0; round < 64; ++round) {
        HWND found = nullptr;
        for (const wchar_t* cls : kClasses)
            if (!found)
                found = FindWindowW(cls, nullptr);
        if (!found || found == last)
            return;
        last = found;
        SetForegroundWindow(found);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(found, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    }
}

// Keys 1..5 from the window's placement, its normal rectangle in screen coordinates; the size is
// stored at 96 dpi, like every length the program keeps, so the file reads the same on any screen.
void StoreWindowPlacement(Program& p, HWND hwnd) {
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof wp;
    if (!GetWindowPlacement(hwnd, &wp))
        return;
    p.settings.windowMaximised =
        IsIconic(hwnd) ? (wp.flags & WPF_RESTORETOMAXIMIZED) != 0 : IsZoomed(hwnd) != 0;
    RECT r = wp.rcNormalPosition;
    // The normal rectangle is in work-area coordinates; start-up reads screen coordinates.
    MONITORINFO mi = {};
    mi.cbSize = sizeof mi;
    if (GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &mi))
        OffsetRect(&r, mi.rcWork.left - mi.rcMonitor.left, mi.rcWork.top - mi.rcMonitor.top);
    p.settings.windowLeft = r.left;
    p.settings.windowTop = r.top;
    const layout::Size size = layout::StoredWindowSize(r.right - r.left, r.bottom - r.top, dpi::OfWindow(hwnd));
    p.settings.windowWidth = size.width;
    p.settings.windowHeight = size.height;
}

void WriteSettings(Program& p) {
    settings::SettingsWriter writer;
    if (!writer.Open(p.settingsPath))
        return;
    settings::SaveSettings(writer, p.settings);
    writer.Finish();
}

DWORD Remaining(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now < deadline ? static_cast<DWORD>(deadline - now) : 0;
}

// A worker killed in the middle of its work may have held any lock, the process heap's included, so
// freeing anything more could wait for ever. The settings are on disk by then; the system reclaims
// the rest.
void EndAtOnceIfAWorkerWasKilled(int exitCode) {
    if (win::WorkerWasTerminated())
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
}

// How long the exit purge waits for the cache lock. The workers have ended by then, so the lock is
// free unless something is badly wrong; the purge is skipped rather than waited for.
constexpr ULONGLONG kPurgeLockWaitMs = 250;

// Removes the cache entries of locations that no longer exist, when key 45 asks for it. Runs after the
// main window's WM_DESTROY, outside any worker's write.
void PurgeCacheAtExit(Program& p) {
    if (!p.settings.pruneCacheOnExit || p.cacheFolder.empty() || win::WorkerWasTerminated())
        return;
    const ULONGLONG deadline = GetTickCount64() + kPurgeLockWaitMs;
    while (!p.cacheLock.TryEnter()) {
        if (GetTickCount64() >= deadline)
            return;
        Sleep(10);
    }
    thumbs::PurgeCache(p.cacheFolder);
    p.cacheLock.Leave();
}

bool g_tornDown = false;

} // namespace

void TearDown(ui::MainWindow& w) {
    if (g_tornDown)
        return;
    g_tornDown = true;
    Program& p = TheProgram();
    // Every worker is asked at once and winds down while the settings are written.
    for (int pane = 1; pane >= 0; --pane)
        p.thumbWorkers[pane].RequestQuit(msg::kThumbQuit);
    p.broker.RequestQuit(msg::kBrokerQuit);
    // The settings come before anything that can wait, so neither a slow worker nor Windows ending
    // the session part-way can cost them.
    StoreWindowPlacement(p, w.hwnd);
    StoreAccelerators(p);
    WriteSettings(p);
    const ULONGLONG deadline = GetTickCount64() + startup::kThreadWaitMs;
    for (int pane = 1; pane >= 0; --pane)
        p.thumbWorkers[pane].Join(Remaining(deadline));
    p.broker.Join(Remaining(deadline));
    EndAtOnceIfAWorkerWasKilled(0);
    for (int pane = 1; pane >= 0; --pane)
        ui::ReleasePaneView(w.panes[pane]);
    folder::CloseWatch(w.watch);
    ui::RemoveMenuHook();
    if (p.settings.closeViewerOnExit)
        CloseCompanionViewer();
    ui::RemoveToolbarSubclasses(w);
    ui::RemoveTreeSubclasses(w);
    SendMessageW(w.commandBar, TB_SETIMAGELIST, 0, 0);
    w.commandImages.Reset();
    menus::DestroyMenus();
    p.accelerators.Reset();
}

int Run(HINSTANCE instance, int cmdShow) {
    win::Heap heap(HeapCreate(0, 0x4000, 0));
    if (!heap)
        return 0;
    auto program = std::make_unique<Program>();
    Program& p = *program;
    SetTheProgram(&p);
    p.instance = instance;
    p.heap = heap.Get();
    p.osClass = DetectOsClass();
    // Before any thread sorts a listing.
    folder::UseSystemNameOrder();
    if (p.osClass == 1)
        UseLowFragmentationHeaps(p.heap);
    // OLE rather than plain COM: the folder chooser's new style and drag and drop need it.
    HRESULT com = OleInitialize(nullptr);
    // Step 4: the folder tree and its worker thread.
    shelltree::StartShellTree();
    int result = 0;
    {
        help::HtmlHelpSession help;
        if (!ResolveSettingsPath(p)) {
            ShowStartupError(kFailedToExecute);
        } else {
            settings::SettingsReader reader;
            reader.Open(p.settingsPath);
            std::wstring language;
            reader.ReadString(0, language);
            if (!lang::Load(p.programFolder, language)) {
                ShowStartupError(kLanguageNotFound);
            } else {
                ResolveCacheFolder(p, reader);
                if (HWND running = FindWindowW(L"Quorle_main_class", nullptr)) {
                    HandOver(running);
                } else {
                    // Only the one running instance writes the settings, so a temporary file of
                    // theirs found now is what a cut-off rewrite left.
                    settings::RemoveLeftoverTemp(p.settingsPath);
                    if (HWND main = BuildWindowSystem(p, reader)) {
                        p.settings.languageModule = language;
                        // The workers start before the window is shown and the command line is
                        // taken at once: a local folder's pictures are then made while the window
                        // shows and paints itself.
                        StartThreads(p);
                        if (ui::MainWindow* w = ui::TheMainWindow())
                            ui::OpenCommandLineFirst(*w);
                        ShowWindow(main, startup::FirstShowCommand(cmdShow, p.settings.windowMaximised ? 1u : 0u));
                        UpdateWindow(main);
                        reader.Close();
                        result = MessageLoop(p, main);
                        PurgeCacheAtExit(p);
                        lang::SetDialogOptions(nullptr, nullptr);
                    }
                }
            }
            lang::Unload();
        }
    }
    shelltree::StopShellTree();
    EndAtOnceIfAWorkerWasKilled(result);
    SetTheProgram(nullptr);
    program.reset();
    heap.Reset();
    if (SUCCEEDED(com))
        OleUninitialize();
    return result;
}

} // namespace app
