// Pictures handed to other programs by the real program: the companion viewer's test double records
// the command line of every launch, for a folder and for a ZIP pane, and its windows are closed when
// the program exits. The wallpaper command writes and installs a turned picture; the version box
// holds the main window disabled until Escape or its close button.
#include "tests/e2e/quorle_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/commands.h"
#include "common/path.h"
#include "common/platform.h"
#include "image/load.h"
#include "image/scale.h"
#include "tests/archive/zip_fixtures.h"
#include "tests/image/jpeg_fixtures.h"
#include "tests/thumbs/photo_fixtures.h"

namespace {

using e2e::ChildById;
using e2e::kMainClass;
using e2e::QuorleCopy;
using e2e::RemoteStatusText;

constexpr wchar_t kViewerClass[] = L"Drova_vwin_class";
constexpr wchar_t kViewerExClass[] = L"Drova Ex_vwin_class";
// A tool slot's text as typed, with characters a command shell would take for its own.
constexpr wchar_t kToolText[] = L"-p %1 & x";

std::vector<std::wstring> Lines(const std::wstring& file) {
    const std::vector<uint8_t> bytes = fixtures::ReadWholeFile(file);
    std::vector<std::wstring> lines;
    std::string line;
    for (uint8_t b : bytes) {
        if (b == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(platform::Utf8ToWide(line));
            line.clear();
        } else {
            line += static_cast<char>(b);
        }
    }
    return lines;
}

std::wstring Q(const std::wstring& path) { return L"\"" + path + L"\""; }

// Keys pressed as a keyboard would (SendInput), in order, then released in reverse.
void Keys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> in;
    for (WORD k : keys) {
        INPUT i = {};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = k;
        in.push_back(i);
    }
    for (auto k = keys.end(); k != keys.begin();) {
        INPUT i = {};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = *--k;
        i.ki.dwFlags = KEYEVENTF_KEYUP;
        in.push_back(i);
    }
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

void ClickAt(POINT screen) {
    INPUT in[3] = {};
    for (INPUT& i : in) {
        i.type = INPUT_MOUSE;
        i.mi.dx = static_cast<LONG>(screen.x * 65535LL / (GetSystemMetrics(SM_CXSCREEN) - 1));
        i.mi.dy = static_cast<LONG>(screen.y * 65535LL / (GetSystemMetrics(SM_CYSCREEN) - 1));
        i.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    }
    in[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    in[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
    SendInput(3, in, sizeof(INPUT));
}

class ExternalE2e : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running";
        CloseDoubles();
        const std::wstring drova = harness::OutputFolder() + L"\\Drova.exe";
        const std::wstring folder = copy_.Folder() + L"\\Drova";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        viewer_ = folder + L"\\Drova.exe";
        viewerEx_ = folder + L"\\DrovaEx.exe";
        tool_ = copy_.Folder() + L"\\Tool Prog.exe";
        ASSERT_TRUE(CopyFileW(drova.c_str(), viewer_.c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(drova.c_str(), viewerEx_.c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(drova.c_str(), tool_.c_str(), FALSE));
        settings_.viewerPath = viewer_;
        settings_.clickOpensPreview = false;
        settings_.tools[0] = {tool_, L"Tool", kToolText};
        settings_.tools[1] = {viewerEx_, L"Viewer as a tool", L""};
    }
    void TearDown() override {
        if (main_) {
            EXPECT_EQ(QuorleCopy::Close(process_, main_), 0u);
        }
        CloseDoubles();
        SetCursorPos(0, 0);
    }
    static void CloseDoubles() {
        for (const wchar_t* cls : {kViewerClass, kViewerExClass})
            while (HWND w = FindWindowW(cls, nullptr)) {
                PostMessageW(w, WM_CLOSE, 0, 0);
                if (!harness::PumpUntil([&] { return !IsWindow(w); }, 5000))
                    break;
            }
    }
    // Starts the copy on `path` and waits until pane 1 shows `count` items.
    void Start(const std::wstring& path, const std::wstring& count) {
        ASSERT_TRUE(copy_.WriteSettings(settings_));
        main_ = copy_.Start(process_, Q(path));
        ASSERT_NE(main_, nullptr);
        ASSERT_TRUE(harness::PumpUntil([&] { return (status_ = GetDlgItem(ChildById(main_, 500), 503)) != nullptr; },
                                       10000));
        ASSERT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(status_, 4) == count; }, 60000))
            << platform::WideToUtf8(RemoteStatusText(status_, 4));
        harness::PumpFor(300);
    }
    // Clicks item `index` (the focus), then selects every item.
    void FocusThenSelectAll(size_t index, const std::wstring& allSelected) {
        HWND cell = nullptr;
        for (const harness::ChildInfo& c : harness::Children(main_))
            if (c.className == L"Quorle_thimg1_class" && c.visible &&
                static_cast<size_t>(GetWindowLongPtrW(c.hwnd, GWLP_USERDATA)) == index)
                cell = c.hwnd;
        ASSERT_NE(cell, nullptr);
        // A click inside a selection keeps it (it may start a drag): clear it first.
        if (RemoteStatusText(status_, 4) == allSelected) {
            PostMessageW(main_, WM_COMMAND, cmd::kSelectAll, 0);
            ASSERT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(status_, 4).rfind(L"0/", 0) == 0; }, 10000));
        }
        PostMessageW(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        PostMessageW(cell, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
        ASSERT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(status_, 4).rfind(L"1/", 0) == 0; }, 10000));
        // Select-all toggles: with one item the click has selected everything already.
        if (RemoteStatusText(status_, 4) == allSelected)
            return;
        PostMessageW(main_, WM_COMMAND, cmd::kSelectAll, 0);
        ASSERT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(status_, 4) == allSelected; }, 10000));
    }
    // Runs `command` and returns the line the double named `exe` recorded for it.
    std::wstring Recorded(int command, const std::wstring& exe) {
        std::wstring log = exe.substr(0, exe.size() - 4) + L".args.txt";
        const size_t before = Lines(log).size();
        PostMessageW(main_, WM_COMMAND, static_cast<WPARAM>(command), 0);
        if (!harness::PumpUntil([&] { return Lines(log).size() > before; }, 20000))
            return L"<nothing recorded for " + std::to_wstring(command) + L">";
        return Lines(log).back();
    }

    QuorleCopy copy_;
    harness::Process process_;
    settings::Settings settings_;
    HWND main_ = nullptr;
    HWND status_ = nullptr;
    std::wstring viewer_, viewerEx_, tool_;
};

TEST_F(ExternalE2e, AFolderPaneHandsOverQuotedPathsAndTheViewerClosesAtExit) {
    fixtures::TempFolder root;
    const std::wstring folder = root / L"Ph\u00f6tos & more %1";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring a = folder + L"\\a one.jpg", b = folder + L"\\b \u00e9t\u00e9.jpg", c = folder + L"\\c.jpg";
    for (const std::wstring& p : {a, b, c})
        ASSERT_TRUE(photos::WriteJpeg(p, 160, 120, static_cast<int>(p.size())));
    settings_.closeViewerOnExit = true;
    ASSERT_NO_FATAL_FAILURE(Start(folder, L"0/3"));
    ASSERT_NO_FATAL_FAILURE(FocusThenSelectAll(1, L"3/3"));

    EXPECT_EQ(Recorded(cmd::kViewerView, viewer_), L"/v " + Q(a) + L" " + Q(b) + L" " + Q(c));
    EXPECT_EQ(Recorded(cmd::kViewerSlideShow, viewer_), L"/s " + Q(b));
    EXPECT_EQ(Recorded(cmd::kViewerFullScreen, viewer_), L"/f " + Q(b));
    EXPECT_EQ(Recorded(cmd::kReader, viewer_), L"/a " + Q(b));
    EXPECT_EQ(Recorded(cmd::kStartViewer, viewer_), L"/o");
    EXPECT_EQ(Recorded(cmd::kToolFirst, tool_), std::wstring(kToolText) + L" " + Q(a) + L" " + Q(b) + L" " + Q(c));
    EXPECT_EQ(Recorded(cmd::kToolFirst + 1, viewerEx_), Q(a) + L" " + Q(b) + L" " + Q(c));
    // Six doubles of the first class (the tool is one under another name) and one of the second.
    ASSERT_TRUE(harness::PumpUntil([] { return FindWindowW(kViewerExClass, nullptr) != nullptr; }, 10000));
    ASSERT_TRUE(harness::PumpUntil([] { return e2e::CountTopWindows(kViewerClass) >= 6; }, 10000));

    EXPECT_EQ(QuorleCopy::Close(process_, main_), 0u);
    main_ = nullptr;
    EXPECT_EQ(e2e::CountTopWindows(kViewerClass), 0);
    EXPECT_EQ(e2e::CountTopWindows(kViewerExClass), 0);
}

TEST_F(ExternalE2e, AZipPaneHandsOverTheArchiveAndTheMemberLocator) {
    fixtures::TempFolder root, scratch;
    std::vector<testzip::Member> members;
    for (int i = 0; i < 3; ++i) {
        const std::wstring file = scratch / (L"p" + std::to_wstring(i) + L".jpg");
        ASSERT_TRUE(photos::WriteJpeg(file, 160, 120, 40 + i));
        testzip::Member m;
        m.name = "photo" + std::to_string(i + 1) + ".jpg";
        m.data = fixtures::ReadWholeFile(file);
        m.method = 0;
        members.push_back(m);
    }
    const testzip::Zip made = testzip::Make(members);
    const std::wstring zip = root / L"Holiday \u00e9t\u00e9.zip";
    ASSERT_TRUE(made.bytes.SaveTo(zip));
    ASSERT_EQ(made.locators[0], 0u);
    const std::wstring second = std::to_wstring(made.locators[1]);
    ASSERT_NO_FATAL_FAILURE(Start(zip, L"0/3"));
    ASSERT_NO_FATAL_FAILURE(FocusThenSelectAll(0, L"3/3"));

    // The first member sits at offset 0: locator 0 still names it.
    EXPECT_EQ(Recorded(cmd::kViewerView, viewer_), L"/vz0 " + Q(zip));
    EXPECT_EQ(Recorded(cmd::kViewerSlideShow, viewer_), L"/sz0 " + Q(zip));
    EXPECT_EQ(Recorded(cmd::kViewerFullScreen, viewer_), L"/fz0 " + Q(zip));
    EXPECT_EQ(Recorded(cmd::kReader, viewer_), L"/az0 " + Q(zip));
    EXPECT_EQ(Recorded(cmd::kStartViewer, viewer_), L"/o");
    EXPECT_EQ(Recorded(cmd::kToolFirst, tool_), std::wstring(kToolText) + L" " + Q(zip));
    EXPECT_EQ(Recorded(cmd::kToolFirst + 1, viewerEx_), L"/vz0 " + Q(zip));

    ASSERT_NO_FATAL_FAILURE(FocusThenSelectAll(1, L"3/3"));
    EXPECT_EQ(Recorded(cmd::kViewerSlideShow, viewer_), L"/sz" + second + L" " + Q(zip));
    // Key 55 is off: the viewer's windows stay when the program exits.
    EXPECT_EQ(QuorleCopy::Close(process_, main_), 0u);
    main_ = nullptr;
    EXPECT_GE(e2e::CountTopWindows(kViewerClass), 1);
}

// The desktop's values and wallpaper before the test, put back afterwards: the prefix keeps them.
class DesktopRestorer {
  public:
    DesktopRestorer() {
        tile_ = Read(L"TileWallpaper");
        style_ = Read(L"WallpaperStyle");
        wchar_t path[MAX_PATH] = {};
        SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, path, 0);
        wallpaper_ = path;
    }
    ~DesktopRestorer() {
        Write(L"TileWallpaper", tile_);
        Write(L"WallpaperStyle", style_);
        SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, const_cast<wchar_t*>(wallpaper_.c_str()),
                              SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
    }
    DesktopRestorer(const DesktopRestorer&) = delete;
    DesktopRestorer& operator=(const DesktopRestorer&) = delete;

    static std::wstring Read(const wchar_t* name) {
        wchar_t value[64] = {};
        DWORD bytes = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", name, RRF_RT_REG_SZ, nullptr, value, &bytes) !=
            ERROR_SUCCESS)
            return L"";
        return value;
    }
    static void Write(const wchar_t* name, const std::wstring& value) {
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", name, REG_SZ, value.c_str(),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

  private:
    std::wstring tile_, style_, wallpaper_;
};

std::wstring CurrentWallpaper() { return DesktopRestorer::Read(L"Wallpaper"); }

TEST_F(ExternalE2e, ThePortraitPhotographBecomesTheStretchedWallpaperTurnedUpright) {
    DesktopRestorer restore;
    // A two-character style does not fit the dialog's one-character read: centred is preset.
    DesktopRestorer::Write(L"TileWallpaper", L"0");
    DesktopRestorer::Write(L"WallpaperStyle", L"10");
    fixtures::TempFolder root;
    const std::wstring folder = root / L"Portrait";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    // Stored 320 x 200 with orientation 6: a portrait photograph lying on its side. Its left half is
    // red and its right half blue, so a wrong turn shows.
    testjpeg::Picture pic;
    pic.width = 320;
    pic.height = 200;
    pic.sample = [](int x, int y, int ch) {
        const bool left = x < 160;
        return static_cast<uint8_t>(ch == 0 ? (left ? 220 : 20) : ch == 2 ? (left ? 20 : 220) : (y / 2) & 0xFF);
    };
    const std::wstring photo = folder + L"\\portrait.jpg";
    ASSERT_TRUE(fixtures::ByteWriter()
                    .Bytes(testjpeg::InsertAfterSoi(testjpeg::Make(pic), testjpeg::ExifSegment(6)))
                    .SaveTo(photo));
    ASSERT_NO_FATAL_FAILURE(Start(folder, L"0/1"));
    ASSERT_NO_FATAL_FAILURE(FocusThenSelectAll(0, L"1/1"));

    PostMessageW(main_, WM_COMMAND, cmd::kWallpaper, 0);
    HWND dialog = harness::FindShownDialog(10000, process_.Id());
    ASSERT_NE(dialog, nullptr) << "no wallpaper dialog";
    EXPECT_EQ(IsDlgButtonChecked(dialog, 2210), BST_CHECKED);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"wallpaper_dialog", dialog).empty());
    SendMessageW(GetDlgItem(dialog, 2211), BM_CLICK, 0, 0);
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);

    const std::wstring saved = copy_.Folder() + L"\\save_wp.bmp";
    // The system keeps the setting in the desktop's "Wallpaper" value (SPIF_UPDATEINIFILE); another
    // process's SPI_GETDESKWALLPAPER may answer from what it read before.
    ASSERT_TRUE(harness::PumpUntil([&] { return paths::EqualFold(DesktopRestorer::Read(L"Wallpaper"), saved); }, 20000))
        << "the system's wallpaper is not the program's file: " << platform::WideToUtf8(CurrentWallpaper())
        << (platform::FileExists(saved) ? " (the file was written)" : " (no file written)");
    EXPECT_EQ(DesktopRestorer::Read(L"TileWallpaper"), L"0");
    EXPECT_EQ(DesktopRestorer::Read(L"WallpaperStyle"), L"2");

    // The file holds the picture as our decoder reads it, turned a quarter clockwise.
    int orientation = 0;
    image::ImagePtr expected = image::LoadImageFromFile(photo, &orientation, 0);
    ASSERT_TRUE(expected && expected->pixels);
    ASSERT_EQ(orientation, 6);
    int width = image::Width(*expected), height = image::Height(*expected);
    platform::PageBlock turned = image::RotateImage(expected->pixels, &width, &height, 1, 24);
    ASSERT_TRUE(turned);
    image::ImagePtr written = image::LoadImageFromFile(saved, nullptr, 0);
    ASSERT_TRUE(written && written->pixels);
    ASSERT_EQ(image::Width(*written), 200);
    ASSERT_EQ(image::Height(*written), 320);
    ASSERT_EQ(image::BitCount(*written), 24);
    const size_t bytes = static_cast<size_t>(image::StrideFor(200, 24)) * 320;
    EXPECT_TRUE(std::equal(turned.Get(), turned.Get() + bytes, written->pixels));

    ShowWindow(main_, SW_MINIMIZE);
    harness::PumpFor(1000);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"wallpaper_desktop").empty());
    ShowWindow(main_, SW_RESTORE);
}

// A member of a ZIP becomes the wallpaper: the decoded member is written, not the archive; the tiled
// layout is stored as chosen.
TEST_F(ExternalE2e, AZipMemberBecomesTheTiledWallpaper) {
    DesktopRestorer restore;
    DesktopRestorer::Write(L"TileWallpaper", L"0");
    DesktopRestorer::Write(L"WallpaperStyle", L"2");
    fixtures::TempFolder root, scratch;
    std::vector<testzip::Member> members;
    std::vector<std::wstring> files;
    for (int i = 0; i < 2; ++i) {
        files.push_back(scratch / (L"p" + std::to_wstring(i) + L".jpg"));
        ASSERT_TRUE(photos::WriteJpeg(files.back(), 96 + 32 * i, 64, 70 + i));
        testzip::Member m;
        m.name = "photo" + std::to_string(i + 1) + ".jpg";
        m.data = fixtures::ReadWholeFile(files.back());
        m.method = i ? 8 : 0;
        members.push_back(m);
    }
    const std::wstring zip = root / L"Tiles.zip";
    ASSERT_TRUE(testzip::Make(members).bytes.SaveTo(zip));
    ASSERT_NO_FATAL_FAILURE(Start(zip, L"0/2"));
    HWND cell = nullptr;
    for (const harness::ChildInfo& c : harness::Children(main_))
        if (c.className == L"Quorle_thimg1_class" && c.visible && GetWindowLongPtrW(c.hwnd, GWLP_USERDATA) == 1)
            cell = c.hwnd;
    ASSERT_NE(cell, nullptr);
    PostMessageW(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageW(cell, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    ASSERT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(status_, 4) == L"1/2"; }, 10000));

    PostMessageW(main_, WM_COMMAND, cmd::kWallpaper, 0);
    HWND dialog = harness::FindShownDialog(10000, process_.Id());
    ASSERT_NE(dialog, nullptr) << "no wallpaper dialog";
    EXPECT_EQ(IsDlgButtonChecked(dialog, 2211), BST_CHECKED) << "stretched is preset from 0 and 2";
    SendMessageW(GetDlgItem(dialog, 2212), BM_CLICK, 0, 0);
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);

    const std::wstring saved = copy_.Folder() + L"\\save_wp.bmp";
    ASSERT_TRUE(harness::PumpUntil([&] { return paths::EqualFold(CurrentWallpaper(), saved); }, 20000))
        << platform::WideToUtf8(CurrentWallpaper());
    EXPECT_EQ(DesktopRestorer::Read(L"TileWallpaper"), L"1");
    EXPECT_EQ(DesktopRestorer::Read(L"WallpaperStyle"), L"0");
    image::ImagePtr expected = image::LoadImageFromFile(files[1], nullptr, 0);
    image::ImagePtr written = image::LoadImageFromFile(saved, nullptr, 0);
    ASSERT_TRUE(expected && expected->pixels && written && written->pixels);
    ASSERT_EQ(image::Width(*written), 128);
    ASSERT_EQ(image::Height(*written), 64);
    ASSERT_EQ(image::BitCount(*expected), 24);
    const size_t bytes = static_cast<size_t>(image::StrideFor(128, 24)) * 64;
    EXPECT_TRUE(std::equal(expected->pixels, expected->pixels + bytes, written->pixels));
}

TEST_F(ExternalE2e, TheVersionBoxHoldsTheMainWindowUntilEscapeOrTheCloseButton) {
    fixtures::TempFolder root;
    ASSERT_TRUE(photos::WriteJpeg(root / L"a.jpg", 160, 120, 3));
    ASSERT_NO_FATAL_FAILURE(Start(root.Path(), L"0/1"));
    for (int round = 0; round < 2; ++round) {
        PostMessageW(main_, WM_COMMAND, cmd::kAbout, 0);
        HWND box = harness::FindTopWindow(L"version_info_class", 10000, process_.Id());
        ASSERT_NE(box, nullptr);
        EXPECT_FALSE(IsWindowEnabled(main_));
        EXPECT_EQ(GetWindow(box, GW_OWNER), main_);
        EXPECT_EQ(harness::WindowText(box), L"About Quorle");
        EXPECT_EQ(harness::WindowText(GetDlgItem(box, 100)), L"Quorle version 3.6.0.2 (64-bit)");
        HWND link = GetDlgItem(box, 102);
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(harness::WindowClassName(link), L"version_url_class");
        RECT r = e2e::ScreenRect(box), m = e2e::ScreenRect(main_);
        EXPECT_EQ(r.right - r.left, 2 * GetSystemMetrics(SM_CYDLGFRAME) + 274);
        EXPECT_EQ(r.bottom - r.top, 2 * GetSystemMetrics(SM_CYDLGFRAME) + GetSystemMetrics(SM_CYCAPTION) + 75);
        EXPECT_EQ(r.left, (m.left + m.right - (r.right - r.left)) >> 1);
        if (round == 0) {
            EXPECT_FALSE(harness::SaveNamedScreenshot(L"version_box").empty());
            // Real input while the box is open: a click on the picture and the select-all keys reach
            // nothing of the main window; Escape, queued after them, closes the box.
            SetForegroundWindow(box);
            harness::PumpFor(200);
            RECT cell = {};
            for (const harness::ChildInfo& c : harness::Children(main_))
                if (c.className == L"Quorle_thimg1_class" && c.visible)
                    cell = e2e::ScreenRect(c.hwnd);
            ClickAt({(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2});
            Keys({VK_CONTROL, 'A'});
            Keys({VK_ESCAPE});
        } else {
            PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        ASSERT_TRUE(harness::PumpUntil([&] { return !IsWindow(box); }, 10000));
        ASSERT_TRUE(harness::PumpUntil([&] { return IsWindowEnabled(main_) != FALSE; }, 5000));
        harness::PumpFor(300);
        EXPECT_EQ(RemoteStatusText(status_, 4), L"0/1") << "input reached the main window behind the box";
    }
    // Its classes went with it, and the same keys now select: the program answers its keyboard again.
    SetForegroundWindow(main_);
    harness::PumpFor(200);
    Keys({VK_CONTROL, 'A'});
    EXPECT_TRUE(harness::PumpUntil([&] { return RemoteStatusText(status_, 4) == L"1/1"; }, 10000));
}

} // namespace
