// Closing the real program from outside: that its process ends on its own, what the close leaves on
// disk (the settings file, the thumbnail cache), and what a process killed while it writes leaves.
// How soon the window and the process go is printed, a measurement for the close-time figures; the
// tests hold no timed assertion (a shared machine makes any such bound flaky).
#include "tests/e2e/quorle_copy.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <cstring>

#include "common/scoped_win.h"
#include "tests/image/jpeg_fixtures.h"
#include "tests/thumbs/photo_fixtures.h"
#include "thumbs/thumb_cache.h"

namespace {

using e2e::ChildById;
using e2e::kMainClass;
using e2e::QuorleCopy;

class ShutdownE2e : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running"; }
};

struct CloseTimes {
    ULONGLONG windowMs = 0;
    ULONGLONG processMs = 0;
    bool ended = false;
    DWORD exitCode = 259;
};

// Posts WM_CLOSE and measures, from that moment, when the window and the process are gone.
CloseTimes TimeClose(harness::Process& process, HWND main) {
    CloseTimes t;
    const ULONGLONG start = GetTickCount64();
    harness::PostClose(main);
    // The process handle is waited on in short steps so that the window's end is seen too.
    while (IsWindow(main) && GetTickCount64() - start < 20000)
        if (WaitForSingleObject(process.Get(), 2) == WAIT_OBJECT_0)
            break;
    t.windowMs = GetTickCount64() - start;
    t.ended = process.Wait(20000, &t.exitCode);
    t.processMs = GetTickCount64() - start;
    return t;
}

int CountProcesses(const wchar_t* exeName) {
    win::Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
        if (lstrcmpiW(entry.szExeFile, exeName) == 0)
            ++count;
    return count;
}

HWND PaneStatus(HWND main, int pane) { return GetDlgItem(ChildById(main, 500 + pane), 503); }

// Waits until pane 1 shows `count` items and is idle.
bool WaitIdle(HWND main, int count) {
    HWND status = nullptr;
    if (!harness::PumpUntil([&] { return (status = PaneStatus(main, 0)) != nullptr; }, 10000))
        return false;
    const std::wstring idle = L"0/" + std::to_wstring(count);
    return harness::PumpUntil([&] { return e2e::RemoteStatusText(status, 4) == idle; }, 60000);
}

int Width(const RECT& r) { return r.right - r.left; }

TEST_F(ShutdownE2e, AnIdleProgramEndsOnItsOwnAndReportsHowSoon) {
    QuorleCopy copy;
    fixtures::TempFolder root;
    const std::wstring photos = e2e::WritePhotos(root, L"Holiday photos", 3);
    for (bool withFolder : {false, true}) {
        SCOPED_TRACE(withFolder ? "a folder shown" : "nothing shown");
        harness::Process quorle;
        HWND main = copy.Start(quorle, withFolder ? L"\"" + photos + L"\"" : L"");
        ASSERT_NE(main, nullptr);
        if (withFolder)
            ASSERT_TRUE(WaitIdle(main, 3));
        else
            harness::PumpFor(1500);
        const CloseTimes t = TimeClose(quorle, main);
        ASSERT_TRUE(t.ended);
        EXPECT_EQ(t.exitCode, 0u);
        EXPECT_EQ(CountProcesses(L"Quorle.exe"), 0) << "no process is left behind";
        // Targets: window within 500 ms, process within 1,500 ms.
        printf("idle close (%s): window %llu ms, process %llu ms\n", withFolder ? "folder" : "empty", t.windowMs,
               t.processMs);
    }
}

// 48-megapixel progressive JPEGs with photograph-like noise: the library gathers every scan before
// the first row comes out, so a close meets the decode in the middle of a picture.
std::wstring WriteBigProgressivePictures(const fixtures::TempFolder& root, int count) {
    const std::wstring folder = root / L"Big pictures";
    EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    testjpeg::Picture p;
    p.width = 8000;
    p.height = 6000;
    p.progressive = true;
    p.quality = 90;
    p.sample = [](int x, int y, int c) {
        uint32_t h = static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u ^ static_cast<uint32_t>(c) * 97u;
        h ^= h >> 15;
        return static_cast<uint8_t>((x / 40 + y / 30 + c * 70 + (h & 63)) & 255);
    };
    const std::vector<uint8_t> bytes = testjpeg::Make(p);
    for (int i = 0; i < count; ++i) {
        fixtures::ByteWriter w;
        w.Bytes(bytes);
        EXPECT_TRUE(w.SaveTo(folder + L"\\big" + std::to_wstring(i + 1) + L".jpg"));
    }
    return folder;
}

bool HasRecordFor(const std::wstring& cacheFolder, const std::wstring& path, uint32_t* number) {
    std::vector<thumbs::CacheEntryInfo> entries;
    if (!thumbs::ListCacheEntries(cacheFolder, &entries))
        return false;
    for (const thumbs::CacheEntryInfo& e : entries)
        if (lstrcmpiW(e.record.path.c_str(), path.c_str()) == 0) {
            *number = e.record.number;
            return true;
        }
    return false;
}

// A cache entry of a folder that is gone by the time the program starts.
std::wstring WriteEntryOfAVanishedFolder(const fixtures::TempFolder& root, const std::wstring& cacheFolder) {
    const std::wstring gone = root / L"Gone before the start";
    folder::ThumbItem item;
    image::DecodedImage picture;
    image::SetBitmapHeader(picture, 4, 3, 24);
    image::AdoptPixels(picture, image::AllocPixelBlock(4, 3, 24));
    std::memset(picture.pixels, 90, image::Stride(picture) * 3);
    folder::AttachThumbnail(item, picture);
    item.name = L"a.jpg";
    item.thumbWidth = 4;
    item.thumbHeight = 3;
    thumbs::CacheLocation location;
    location.path = gone;
    EXPECT_TRUE(thumbs::WriteLocation(cacheFolder, location, 0, 90, &item, 1));
    folder::FreeThumbnail(item);
    return gone;
}

TEST_F(ShutdownE2e, ClosingWhileAPaneDecodesBigPicturesStopsItsWorkersOnTheirOwn) {
    QuorleCopy copy;
    settings::Settings s;
    s.treeWidth = 230;
    // The exit purge is skipped once a worker had to be killed, so it shows that the decode gave up
    // when asked instead of being cut off at the end of the wait.
    s.pruneCacheOnExit = true; // key 45
    ASSERT_TRUE(copy.WriteSettings(s));
    const std::vector<uint8_t> before = fixtures::ReadWholeFile(copy.SettingsPath());
    fixtures::TempFolder root;
    const std::wstring cache = copy.Folder() + L"\\cache";
    const std::wstring gone = WriteEntryOfAVanishedFolder(root, cache);
    const std::wstring big = WriteBigProgressivePictures(root, 3);

    harness::Process quorle;
    HWND main = copy.Start(quorle, L"\"" + big + L"\"");
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(harness::PumpUntil([&] { return harness::WindowText(main) == L"<1> Big pictures"; }, 30000));
    // Production has begun: the first picture is being decoded.
    harness::PumpFor(300);
    const CloseTimes t = TimeClose(quorle, main);
    ASSERT_TRUE(t.ended);
    EXPECT_EQ(t.exitCode, 0u);
    // Target: process within 2,500 ms.
    printf("close while decoding: window %llu ms, process %llu ms\n", t.windowMs, t.processMs);
    EXPECT_EQ(CountProcesses(L"Quorle.exe"), 0) << "no process is left behind";
    EXPECT_EQ(e2e::CountTopWindows(kMainClass), 0);

    // The settings were written: a complete file of this version, with the run's values.
    EXPECT_NE(fixtures::ReadWholeFile(copy.SettingsPath()), before);
    settings::SettingsReader reader;
    const settings::Settings saved = copy.ReadSettings(&reader);
    EXPECT_TRUE(reader.Loaded());
    EXPECT_EQ(reader.FormatVersion(), settings::kFormatVersion);
    EXPECT_EQ(saved.treeWidth, 230);
    EXPECT_FALSE(saved.accelerators.empty());

    uint32_t number = 0;
    EXPECT_FALSE(HasRecordFor(cache, gone, &number)) << "the exit purge ran: no worker was killed";
}

// What a killed run must leave: the old file byte for byte, or a complete file of this version with
// the same values. A file cut part-way reads other keys' bytes and fails one of these.
void ExpectOldOrCompleteNew(const QuorleCopy& copy, const std::vector<uint8_t>& old, bool* replaced) {
    const std::vector<uint8_t> now = fixtures::ReadWholeFile(copy.SettingsPath());
    *replaced = now != old;
    if (!*replaced)
        return;
    settings::SettingsReader reader;
    const settings::Settings s = copy.ReadSettings(&reader);
    ASSERT_TRUE(reader.Loaded());
    EXPECT_EQ(reader.FormatVersion(), settings::kFormatVersion);
    EXPECT_EQ(s.treeWidth, 230);
    EXPECT_EQ(s.windowWidth, 700);
    std::vector<uint8_t> kept(8);
    EXPECT_EQ(reader.ReadBlock(10, kept.data(), kept.size()), 4u) << "the unknown key was carried";
    EXPECT_EQ(std::string(kept.begin(), kept.begin() + 4), "keep");
}

TEST_F(ShutdownE2e, AProgramKilledWhileWritingItsSettingsLeavesAFileTheNextStartReads) {
    QuorleCopy copy;
    settings::Settings s;
    s.windowLeft = 100;
    s.windowTop = 80;
    s.windowWidth = 700;
    s.windowHeight = 500;
    s.treeWidth = 230;
    ASSERT_TRUE(copy.WriteSettings(s));
    // An older version's file with a key this version does not know: every rewrite changes it.
    {
        std::vector<uint8_t> bytes = fixtures::ReadWholeFile(copy.SettingsPath());
        bytes[2] = 0xAC; // version 3500
        const uint32_t offset = static_cast<uint32_t>(bytes.size());
        for (char c : std::string("keep"))
            bytes.push_back(static_cast<uint8_t>(c));
        for (int i = 0; i < 4; ++i) {
            bytes[4 + 8 * 10 + i] = static_cast<uint8_t>(offset >> (8 * i));
            bytes[8 + 8 * 10 + i] = static_cast<uint8_t>(i == 0 ? 4 : 0);
        }
        fixtures::ByteWriter w;
        w.Bytes(bytes);
        ASSERT_TRUE(w.SaveTo(copy.SettingsPath()));
    }
    const std::wstring temp = settings::SettingsTempPath(copy.SettingsPath());

    // Kills at moments spread over the close: as soon as the temporary file shows, and after fixed
    // delays. Whatever the moment, the file is the old one or a complete new one.
    int killedWithTemp = 0, replacedCount = 0;
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        const std::vector<uint8_t> old = fixtures::ReadWholeFile(copy.SettingsPath());
        harness::Process quorle;
        HWND main = copy.Start(quorle);
        ASSERT_NE(main, nullptr);
        harness::PumpFor(300);
        EXPECT_FALSE(platform::FileExists(temp)) << "start-up removes what the last kill left";
        harness::PostClose(main);
        const ULONGLONG start = GetTickCount64();
        const DWORD delay = round % 2 == 0 ? 0 : static_cast<DWORD>(round * 3);
        bool sawTemp = false;
        while (WaitForSingleObject(quorle.Get(), 0) == WAIT_TIMEOUT && GetTickCount64() - start < 10000) {
            sawTemp = platform::FileExists(temp);
            if (delay == 0 ? sawTemp : GetTickCount64() - start >= delay)
                break;
        }
        TerminateProcess(quorle.Get(), 1);
        ASSERT_TRUE(quorle.Wait(10000));
        killedWithTemp += sawTemp && delay == 0;
        bool replaced = false;
        ExpectOldOrCompleteNew(copy, old, &replaced);
        replacedCount += replaced;
    }
    printf("killed with the temporary file present: %d of 4; file replaced in %d of 8 rounds\n", killedWithTemp,
           replacedCount);

    // The next start reads the values, whichever file it found.
    harness::Process quorle;
    HWND main = copy.Start(quorle);
    ASSERT_NE(main, nullptr);
    harness::PumpFor(500);
    EXPECT_FALSE(platform::FileExists(temp));
    const RECT r = e2e::ScreenRect(main);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(Width(r), 700);
    EXPECT_EQ(Width(e2e::ScreenRect(ChildById(main, 400))), 230);
    EXPECT_EQ(QuorleCopy::Close(quorle, main), 0u);
}

void DeleteTree(const std::wstring& folder) {
    platform::ListFolder(folder, L"*", [&](const platform::FolderEntry& e) {
        DeleteFileW((folder + L"\\" + e.name).c_str());
        return true;
    });
    RemoveDirectoryW(folder.c_str());
}

TEST_F(ShutdownE2e, TheExitPurgeDropsTheEntryOfAFolderDeletedDuringTheRun) {
    QuorleCopy copy;
    settings::Settings s;
    s.pruneCacheOnExit = true; // key 45
    ASSERT_TRUE(copy.WriteSettings(s));
    fixtures::TempFolder root;
    const std::wstring gone = e2e::WritePhotos(root, L"Renamed later", 2);
    const std::wstring stays = e2e::WritePhotos(root, L"Still here", 2);
    const std::wstring cache = copy.Folder() + L"\\cache";

    harness::Process quorle;
    HWND main = copy.Start(quorle, L"\"" + gone + L"\"");
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(WaitIdle(main, 2));
    // Away from the folder, so that nothing of the program holds it open, then it goes.
    harness::SendCopyData(main, stays);
    ASSERT_TRUE(harness::PumpUntil([&] { return harness::WindowText(main) == L"<1> Still here"; }, 30000));
    ASSERT_TRUE(WaitIdle(main, 2));
    uint32_t goneNumber = 0, staysNumber = 0;
    ASSERT_TRUE(harness::PumpUntil([&] { return HasRecordFor(cache, stays, &staysNumber); }, 10000));
    ASSERT_TRUE(HasRecordFor(cache, gone, &goneNumber));
    DeleteTree(gone);
    ASSERT_FALSE(platform::FolderExists(gone));
    EXPECT_TRUE(HasRecordFor(cache, gone, &goneNumber)) << "the entry stays while the program runs";

    EXPECT_EQ(QuorleCopy::Close(quorle, main), 0u);
    EXPECT_FALSE(HasRecordFor(cache, gone, &goneNumber));
    EXPECT_FALSE(platform::FileExists(thumbs::DataFilePath(cache, goneNumber)));
    EXPECT_TRUE(HasRecordFor(cache, stays, &staysNumber));
    EXPECT_TRUE(platform::FileExists(thumbs::DataFilePath(cache, staysNumber)));
}

} // namespace
