// The running program on a folder of 200 camera-sized JPEGs, looked at from outside:
//   first screen  process start until every visible picture cell of pane 1 shows a picture, against
//                 the headless tool producing the same items (raw, and with the program's own start-up
//                 time taken off); the phases in between and a run on a folder of only those items
//                 show where any difference goes;
//   memory        private bytes and working set while the folder is produced, above the idle program.
// Results are `name=value` lines; nothing is asserted. Usage:
//   program_bench [PHOTO_FOLDER] [--rounds N] [--against OTHER_EXE]
// PHOTO_FOLDER keeps the photographs between runs (default <build root>\bench-photos).
// --against times only the first screen, of this build's program and of OTHER_EXE (with the
// English.dll beside it) in alternating rounds, so both see the same load of a shared machine.
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "app/settings.h"
#include "common/path.h"
#include "tests/e2e/quorle_copy.h"
#include "tests/fixtures/byte_writer.h"
#include "tests/harness/win_harness.h"
#include "tests/thumbs/photo_fixtures.h"

namespace {

constexpr int kPhotos = 200;
constexpr int kPhotoWidth = 4000;
constexpr int kPhotoHeight = 3000;
constexpr DWORD kPollMs = 20;
constexpr wchar_t kCellClass[] = L"Quorle_thimg1_class";

double Now() {
    static const double perSecond = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / perSecond;
}

std::string Narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

void Print(const char* name, double value) { std::printf("%s=%.3f\n", name, value); }
void PrintInt(const char* name, long long value) { std::printf("%s=%lld\n", name, value); }

std::wstring PhotoName(int i) {
    wchar_t name[32];
    std::swprintf(name, 32, L"photo%03d.jpg", i + 1);
    return name;
}

bool FileHasBytes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
           (data.nFileSizeHigh != 0 || data.nFileSizeLow != 0);
}

// Written under a temporary name and renamed, so an interrupted run never leaves a cut file behind
// to be reused.
bool EnsurePhotos(const std::wstring& folder) {
    CreateDirectoryW(folder.c_str(), nullptr);
    int written = 0;
    for (int i = 0; i < kPhotos; ++i) {
        const std::wstring path = folder + L"\\" + PhotoName(i);
        if (FileHasBytes(path))
            continue;
        const std::wstring part = path + L".part";
        if (!photos::WriteJpeg(part, kPhotoWidth, kPhotoHeight, 1000u + static_cast<uint32_t>(i)) ||
            !MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            std::fprintf(stderr, "cannot write %s\n", Narrow(path).c_str());
            return false;
        }
        ++written;
    }
    PrintInt("photos_written", written);
    return true;
}

HWND PaneStatus(HWND main) { return GetDlgItem(e2e::ChildById(main, 500), 503); }

// Only class and visibility: a poll every 20 ms must cost the measured program as little as possible.
BOOL CALLBACK CollectCell(HWND hwnd, LPARAM lp) {
    wchar_t cls[64] = {};
    if (IsWindowVisible(hwnd) && GetClassNameW(hwnd, cls, 64) && std::wcscmp(cls, kCellClass) == 0)
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> VisibleCells(HWND main) {
    std::vector<HWND> cells;
    EnumChildWindows(main, CollectCell, reinterpret_cast<LPARAM>(&cells));
    return cells;
}

// A cell still waiting for its picture shows only the background (plain or selected).
bool ShowsPicture(HDC screen, HWND cell) {
    const RECT r = e2e::ScreenRect(cell);
    const COLORREF c = GetPixel(screen, (r.left + r.right) / 2, r.top + 40);
    return c != CLR_INVALID && c != 0xD4CCCCu && c != 0xA49C9Cu;
}

// Before the cells' first paint the screen there holds whatever was under the window, which could
// pass for pictures. The first cell's caption background, painted with the cells, tells that they
// have been drawn (the bench's settings show captions under a 105-pixel-high box).
bool CellsPainted(HDC screen, const std::vector<HWND>& cells) {
    RECT first = {};
    bool any = false;
    for (HWND cell : cells) {
        const RECT r = e2e::ScreenRect(cell);
        if (!any || r.top < first.top || (r.top == first.top && r.left < first.left))
            first = r;
        any = true;
    }
    return any && GetPixel(screen, first.left + 3, first.top + 105 + 4) == 0xF8F0F0u;
}

size_t CellsWithPicture(const std::vector<HWND>& cells) {
    HDC screen = GetDC(nullptr);
    size_t n = 0;
    if (CellsPainted(screen, cells))
        for (HWND cell : cells)
            n += ShowsPicture(screen, cell) ? 1 : 0;
    ReleaseDC(nullptr, screen);
    return n;
}

settings::Settings BenchSettings() {
    settings::Settings s;
    s.windowLeft = 40;
    s.windowTop = 30;
    s.windowWidth = 1180;
    s.windowHeight = 720;
    return s;
}

// Polls `done` every 20 ms until it holds or `timeoutSeconds` pass.
template <typename F> bool PollUntil(F done, double timeoutSeconds) {
    const double end = Now() + timeoutSeconds;
    while (!done()) {
        if (Now() > end)
            return false;
        Sleep(kPollMs);
    }
    return true;
}

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

double MedianOf(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Startup {
    double window = -1; // the main window exists
    double ready = -1;  // pane 1's status bar says there is no location: the windows are all made
};

// A start without a folder.
Startup MeasureStartup() {
    Startup r;
    e2e::QuorleCopy copy;
    copy.WriteSettings(BenchSettings());
    harness::Process quorle;
    const double t0 = Now();
    if (!quorle.Start(copy.Exe(), L"", copy.Folder()))
        return r;
    HWND main = nullptr;
    if (!PollUntil([&] { return (main = harness::FindTopWindow(e2e::kMainClass, 0, quorle.Id())) != nullptr; }, 60))
        return r;
    r.window = Now() - t0;
    HWND status = nullptr;
    const bool ready = PollUntil(
        [&] { return (status || (status = PaneStatus(main)) != nullptr) && e2e::RemoteStatusText(status, 4) == L"-"; },
        60);
    if (ready)
        r.ready = Now() - t0;
    e2e::QuorleCopy::Close(quorle, main);
    return r;
}

struct FirstScreen {
    bool ok = false;
    double window = 0;       // main window found
    double firstCell = 0;    // first visible picture cell
    double firstPicture = 0; // first cell showing a picture
    double screen = 0;       // every visible cell shows a picture
    double idle = 0;         // status "0/200"
    size_t cells = 0;
};

// Puts another build's program and language module in place of the copy's.
bool UseProgram(const e2e::QuorleCopy& copy, const std::wstring& exe) {
    if (exe.empty())
        return true;
    const std::wstring dll = paths::Parent(exe) + L"\\English.dll";
    return CopyFileW(exe.c_str(), copy.Exe().c_str(), FALSE) &&
           CopyFileW(dll.c_str(), (copy.Folder() + L"\\English.dll").c_str(), FALSE);
}

FirstScreen MeasureFirstScreen(const std::wstring& photos, size_t items, const std::wstring& program = {}) {
    FirstScreen r;
    e2e::QuorleCopy copy;
    if (!UseProgram(copy, program)) {
        std::fprintf(stderr, "cannot copy %s\n", Narrow(program).c_str());
        return r;
    }
    copy.WriteSettings(BenchSettings());
    harness::Process quorle;
    const double t0 = Now();
    if (!quorle.Start(copy.Exe(), Quoted(photos), copy.Folder()))
        return r;
    HWND main = nullptr;
    if (!PollUntil([&] { return (main = harness::FindTopWindow(e2e::kMainClass, 0, quorle.Id())) != nullptr; }, 60))
        return r;
    r.window = Now() - t0;
    bool complete = PollUntil(
        [&] {
            const std::vector<HWND> cells = VisibleCells(main);
            if (cells.empty())
                return false;
            const double t = Now() - t0;
            if (r.firstCell == 0)
                r.firstCell = t;
            const size_t drawn = CellsWithPicture(cells);
            if (drawn > 0 && r.firstPicture == 0)
                r.firstPicture = t;
            if (drawn < cells.size())
                return false;
            r.screen = t;
            r.cells = cells.size();
            return true;
        },
        300);
    const std::wstring idle = L"0/" + std::to_wstring(items);
    HWND status = PaneStatus(main);
    if (complete && PollUntil([&] { return e2e::RemoteStatusText(status, 4) == idle; }, 600))
        r.idle = Now() - t0;
    r.ok = complete && r.idle > 0;
    e2e::QuorleCopy::Close(quorle, main);
    return r;
}

// A running, idle program handed the folder (as a second start or a drop would): from the handover to
// every visible cell showing a picture. The same work as the tool's, start-up left out.
double MeasureHandover(const std::wstring& photos) {
    e2e::QuorleCopy copy;
    copy.WriteSettings(BenchSettings());
    harness::Process quorle;
    HWND main = copy.Start(quorle);
    if (!main)
        return -1;
    HWND status = nullptr;
    if (!PollUntil([&] { return (status || (status = PaneStatus(main)) != nullptr) && e2e::RemoteStatusText(status, 4) == L"-"; },
                   60))
        return -1;
    Sleep(1000);
    const double t0 = Now();
    if (harness::SendCopyData(main, photos) != 1)
        return -1;
    double screen = -1;
    PollUntil(
        [&] {
            const std::vector<HWND> cells = VisibleCells(main);
            if (cells.empty() || CellsWithPicture(cells) < cells.size())
                return false;
            screen = Now() - t0;
            return true;
        },
        300);
    const std::wstring idle = L"0/" + std::to_wstring(kPhotos);
    PollUntil([&] { return e2e::RemoteStatusText(status, 4) == idle; }, 600);
    e2e::QuorleCopy::Close(quorle, main);
    return screen;
}

// Runs a console program and returns what it printed; exit code in *code.
std::string RunCaptured(const std::wstring& exe, const std::wstring& args, DWORD* code) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0))
        return {};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = Quoted(exe) + L" " + args;
    const BOOL started = CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    std::string out;
    if (started) {
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0)
            out.append(buffer, n);
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(readEnd);
    return out;
}

double ValueOf(const std::string& output, const std::string& name) {
    const std::string key = name + "=";
    size_t at = 0;
    while ((at = output.find(key, at)) != std::string::npos) {
        if (at == 0 || output[at - 1] == '\n')
            return std::atof(output.c_str() + at + key.size());
        at += key.size();
    }
    return -1;
}

struct ToolRun {
    bool ok = false;
    double seconds = 0; // the tool's own figure
    double wall = 0;    // including its process start
    double decoded = 0;
};

// The first `count` photographs in name order, linked (or copied) into `items`.
bool LinkFirst(const std::wstring& photos, size_t count, const std::wstring& items) {
    if (!CreateDirectoryW(items.c_str(), nullptr))
        return false;
    for (size_t i = 0; i < count; ++i) {
        const std::wstring from = photos + L"\\" + PhotoName(static_cast<int>(i));
        const std::wstring to = items + L"\\" + PhotoName(static_cast<int>(i));
        if (!CreateHardLinkW(to.c_str(), from.c_str(), nullptr) && !CopyFileW(from.c_str(), to.c_str(), FALSE))
            return false;
    }
    return true;
}

ToolRun MeasureTool(const std::wstring& items, size_t count, const settings::Settings& s) {
    ToolRun r;
    fixtures::TempFolder root;
    const std::wstring cache = root / L"cache";
    CreateDirectoryW(cache.c_str(), nullptr);
    const std::wstring args = L"thumbs " + Quoted(items) + L" " + Quoted(cache) + L" --box " +
                              std::to_wstring(s.thumbWidth) + L" " + std::to_wstring(s.thumbHeight);
    DWORD code = 1;
    const double t0 = Now();
    const std::string out = RunCaptured(harness::OutputFolder() + L"\\quorle-tool.exe", args, &code);
    r.wall = Now() - t0;
    r.seconds = ValueOf(out, "seconds");
    r.decoded = ValueOf(out, "decoded");
    r.ok = code == 0 && r.seconds >= 0 && r.decoded == static_cast<double>(count);
    if (!r.ok)
        std::fprintf(stderr, "tool run failed (exit %lu):\n%s\n", static_cast<unsigned long>(code), out.c_str());
    return r;
}

constexpr double kMiB = 1024.0 * 1024.0;

// Under Wine another process's PrivateUsage reads 0, so the process's Linux side is read as well
// (through the Z: drive): RssAnon is its resident private memory, VmData its private writable
// mappings, the nearest to committed private bytes.
std::wstring UnixStatusPath(const std::wstring& exe) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(L"Z:\\proc\\*", &found);
    if (find == INVALID_HANDLE_VALUE)
        return {};
    std::wstring match;
    do {
        if (found.cFileName[0] < L'0' || found.cFileName[0] > L'9')
            continue;
        const std::wstring dir = std::wstring(L"Z:\\proc\\") + found.cFileName;
        HANDLE file = CreateFileW((dir + L"\\cmdline").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        char buffer[1024] = {};
        DWORD n = 0;
        ReadFile(file, buffer, sizeof buffer - 1, &n, nullptr);
        CloseHandle(file);
        if (lstrcmpiA(buffer, Narrow(exe).c_str()) == 0)
            match = dir + L"\\status";
    } while (match.empty() && FindNextFileW(find, &found));
    FindClose(find);
    return match;
}

// A "Name:  123 kB" line of a Linux status file, in MiB; -1 when absent.
double StatusMiB(const std::string& text, const char* name) {
    const std::string key = std::string("\n") + name + ":";
    const size_t at = text.find(key);
    return at == std::string::npos ? -1 : std::atof(text.c_str() + at + key.size()) / 1024.0;
}

struct Memory {
    double privateBytes = 0;
    double workingSet = 0;
    double peakWorkingSet = 0; // the system's own peak, which catches what 20 ms samples miss
    double unixAnon = -1;
    double unixData = -1;
};

Memory Sample(HANDLE process, const std::wstring& unixStatus) {
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof pmc;
    Memory m;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc)) {
        m.privateBytes = static_cast<double>(pmc.PrivateUsage) / kMiB;
        m.workingSet = static_cast<double>(pmc.WorkingSetSize) / kMiB;
        m.peakWorkingSet = static_cast<double>(pmc.PeakWorkingSetSize) / kMiB;
    }
    if (unixStatus.empty())
        return m;
    HANDLE file = CreateFileW(unixStatus.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return m;
    std::string text = "\n";
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0)
        text.append(buffer, n);
    CloseHandle(file);
    m.unixAnon = StatusMiB(text, "RssAnon");
    m.unixData = StatusMiB(text, "VmData");
    return m;
}

void Raise(Memory& peak, const Memory& m) {
    peak.privateBytes = std::max(peak.privateBytes, m.privateBytes);
    peak.workingSet = std::max(peak.workingSet, m.workingSet);
    peak.peakWorkingSet = std::max(peak.peakWorkingSet, m.peakWorkingSet);
    peak.unixAnon = std::max(peak.unixAnon, m.unixAnon);
    peak.unixData = std::max(peak.unixData, m.unixData);
}

void PrintMemory(const char* what, const Memory& m, const Memory& idle) {
    const std::string prefix = std::string("mem_") + what + "_";
    auto line = [&](const char* name, double value, double base) {
        if (value >= 0)
            Print((prefix + name).c_str(), value - base);
    };
    line("private_mib", m.privateBytes, idle.privateBytes);
    line("working_set_mib", m.workingSet, idle.workingSet);
    if (m.unixAnon >= 0 && idle.unixAnon >= 0) {
        line("wine_rss_anon_mib", m.unixAnon, idle.unixAnon);
        line("wine_vm_data_mib", m.unixData, idle.unixData);
    }
}

bool MeasureMemory(const std::wstring& photos) {
    e2e::QuorleCopy copy;
    copy.WriteSettings(BenchSettings());
    harness::Process quorle;
    HWND main = copy.Start(quorle);
    if (!main)
        return false;
    HWND status = nullptr;
    if (!PollUntil([&] { return (status = PaneStatus(main)) != nullptr; }, 30))
        return false;
    Sleep(2000);
    const std::wstring unixStatus = UnixStatusPath(copy.Exe());
    const Memory idle = Sample(quorle.Get(), unixStatus);

    const std::wstring done = L"0/" + std::to_wstring(kPhotos);
    const double t0 = Now();
    if (harness::SendCopyData(main, photos) != 1)
        std::fprintf(stderr, "the folder handoff was not acknowledged\n");
    Memory peak = idle;
    double peakAt = 0;
    int samples = 0;
    const bool finished = PollUntil(
        [&] {
            const Memory m = Sample(quorle.Get(), unixStatus);
            ++samples;
            if (std::max(m.privateBytes, m.unixAnon) > std::max(peak.privateBytes, peak.unixAnon))
                peakAt = Now() - t0;
            Raise(peak, m);
            // The status is read across processes: every fifth sample is often enough.
            return samples % 5 == 0 && e2e::RemoteStatusText(status, 4) == done;
        },
        600);
    const double producing = Now() - t0;
    const Memory end = Sample(quorle.Get(), unixStatus);
    Sleep(2000);
    const Memory after = Sample(quorle.Get(), unixStatus);

    // Absolute idle figures, then everything else as the growth over idle.
    Memory zero;
    zero.unixAnon = 0;
    zero.unixData = 0;
    PrintMemory("idle", idle, zero);
    PrintMemory("peak_above_idle", peak, idle);
    Print("mem_system_peak_working_set_above_idle_mib", end.peakWorkingSet - idle.workingSet);
    PrintMemory("after_above_idle", after, idle);
    Print("mem_peak_at_seconds", peakAt);
    Print("mem_producing_seconds", producing);
    PrintInt("mem_samples", samples);
    PrintInt("mem_wine_counters", unixStatus.empty() ? 0 : 1);
    PrintInt("mem_finished", finished ? 1 : 0);
    e2e::QuorleCopy::Close(quorle, main);
    return finished;
}

// This build's program against another, alternating rounds: first screen only.
int CompareFirstScreens(const std::wstring& photos, const std::wstring& other, int rounds) {
    std::vector<double> ours, theirs, ourCells, theirCells;
    for (int round = 0; round < rounds; ++round) {
        for (int which = 0; which < 2; ++which) {
            const bool isOther = (round + which) % 2 == 0;
            const FirstScreen f = MeasureFirstScreen(photos, kPhotos, isOther ? other : std::wstring());
            if (!f.ok) {
                std::fprintf(stderr, "round %d: the first screen was not completed\n", round + 1);
                return 1;
            }
            std::printf("round=%d program=%s window_s=%.3f first_cell_s=%.3f first_screen_s=%.3f cells=%zu\n",
                        round + 1, isOther ? "other" : "this", f.window, f.firstCell, f.screen, f.cells);
            (isOther ? theirs : ours).push_back(f.screen);
            (isOther ? theirCells : ourCells).push_back(f.firstCell);
        }
    }
    PrintInt("rounds", rounds);
    Print("other_first_screen_seconds", MedianOf(theirs));
    Print("this_first_screen_seconds", MedianOf(ours));
    Print("other_first_cell_seconds", MedianOf(theirCells));
    Print("this_first_cell_seconds", MedianOf(ourCells));
    Print("ratio_first_screen_this_to_other", MedianOf(ours) / MedianOf(theirs));
    return 0;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    // <build>\out -> <build root>\bench-photos
    std::wstring photos = paths::Parent(paths::Parent(harness::OutputFolder())) + L"\\bench-photos";
    int rounds = 5;
    std::wstring other;
    for (int i = 1; argv && i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, _wtoi(argv[++i]));
        else if (std::wcscmp(argv[i], L"--against") == 0 && i + 1 < argc)
            other = argv[++i];
        else
            photos = argv[i];
    }
    LocalFree(argv);
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    if (!EnsurePhotos(photos))
        return 1;
    if (!harness::WaitWindowGone(e2e::kMainClass, 5000)) {
        std::fprintf(stderr, "another Quorle main window is open\n");
        return 1;
    }
    if (!other.empty())
        return CompareFirstScreens(photos, other, rounds);
    const settings::Settings s = BenchSettings();
    std::vector<double> screens, firstCells, idles, startups, readies, toolSeconds, toolWalls, ownScreens, ownCells,
        handovers;
    size_t cells = 0;
    for (int round = 0; round < rounds; ++round) {
        const FirstScreen f = MeasureFirstScreen(photos, kPhotos);
        if (!f.ok || f.cells == 0) {
            std::fprintf(stderr, "round %d: the first screen was not completed\n", round + 1);
            return 1;
        }
        if (cells != 0 && cells != f.cells)
            std::fprintf(stderr, "round %d: %zu visible cells, earlier %zu\n", round + 1, f.cells, cells);
        cells = f.cells;
        std::printf("round=%d window_s=%.3f first_cell_s=%.3f first_picture_s=%.3f "
                    "first_screen_s=%.3f all_%d_s=%.3f\n",
                    round + 1, f.window, f.firstCell, f.firstPicture, f.screen, kPhotos, f.idle);
        screens.push_back(f.screen);
        firstCells.push_back(f.firstCell);
        idles.push_back(f.idle);

        fixtures::TempFolder root;
        const std::wstring items = root / L"first screen";
        if (!LinkFirst(photos, f.cells, items)) {
            std::fprintf(stderr, "cannot link the first %zu photographs\n", f.cells);
            return 1;
        }
        const ToolRun t = MeasureTool(items, f.cells, s);
        if (!t.ok)
            return 1;
        std::printf("round=%d tool_seconds=%.3f tool_wall_s=%.3f\n", round + 1, t.seconds, t.wall);
        toolSeconds.push_back(t.seconds);
        toolWalls.push_back(t.wall);

        // The program on a folder of only those items: what the other items cost the first screen.
        const FirstScreen own = MeasureFirstScreen(items, f.cells);
        if (own.ok)
            std::printf("round=%d only_first_items_window_s=%.3f only_first_items_first_cell_s=%.3f "
                        "only_first_items_first_screen_s=%.3f\n",
                        round + 1, own.window, own.firstCell, own.screen);
        else
            std::fprintf(stderr, "round %d: the run on the first items alone did not finish\n", round + 1);
        ownScreens.push_back(own.ok ? own.screen : 0);
        ownCells.push_back(own.ok ? own.firstCell : 0);

        const Startup up = MeasureStartup();
        if (up.window < 0 || up.ready < 0) {
            // Also what a rebuild of the program during the run looks like.
            std::fprintf(stderr, "round %d: a start without a folder did not get ready\n", round + 1);
            return 1;
        }
        std::printf("round=%d startup_window_s=%.3f startup_ready_s=%.3f\n", round + 1, up.window, up.ready);
        startups.push_back(up.window);
        readies.push_back(up.ready);

        const double handover = MeasureHandover(photos);
        if (handover < 0) {
            std::fprintf(stderr, "round %d: the handed-over folder did not show its first screen\n", round + 1);
            return 1;
        }
        std::printf("round=%d handover_first_screen_s=%.3f\n", round + 1, handover);
        handovers.push_back(handover);
    }

    const double screen = MedianOf(screens);
    const double tool = MedianOf(toolSeconds);
    const double toolWall = MedianOf(toolWalls);
    const double startup = MedianOf(startups);
    PrintInt("visible_cells", static_cast<long long>(cells));
    PrintInt("rounds", rounds);
    Print("first_screen_seconds", screen);
    Print("first_cell_seconds", MedianOf(firstCells));
    Print("all_items_seconds", MedianOf(idles));
    Print("only_first_items_first_cell_seconds", MedianOf(ownCells));
    Print("only_first_items_first_screen_seconds", MedianOf(ownScreens));
    Print("startup_seconds", startup);
    Print("startup_ready_seconds", MedianOf(readies));
    Print("tool_seconds", tool);
    Print("tool_wall_seconds", toolWall);
    // Raw: the program's whole time from its process start over the tool's own figure.
    Print("ratio_raw", screen / tool);
    Print("ratio_raw_vs_tool_wall", screen / toolWall);
    // Without start-up: the program's start to its main window (no folder) taken off its time.
    Print("ratio_without_startup", (screen - startup) / tool);
    Print("ratio_without_startup_vs_tool_wall", (screen - startup) / toolWall);
    // Best against best: on a shared machine the least disturbed rounds.
    Print("ratio_raw_best", *std::min_element(screens.begin(), screens.end()) /
                                *std::min_element(toolSeconds.begin(), toolSeconds.end()));
    // Without the whole start-up: until a start without a folder has made all its windows.
    Print("ratio_without_ready", (screen - MedianOf(readies)) / tool);
    // Production only: from the first cell on screen (the folder listed and laid out) to the last.
    Print("ratio_from_first_cell", (screen - MedianOf(firstCells)) / tool);
    // The program on the first items alone, start-up taken off: its cost with no other items around.
    Print("ratio_only_first_items_without_startup", (MedianOf(ownScreens) - startup) / tool);
    // A running program handed the folder: listing, layout, production and painting, nothing else.
    Print("handover_first_screen_seconds", MedianOf(handovers));
    Print("ratio_handover", MedianOf(handovers) / tool);
    Print("ratio_handover_vs_tool_wall", MedianOf(handovers) / toolWall);

    return MeasureMemory(photos) ? 0 : 1;
}
