#include "archive/extract.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "archive/zip_reader.h"
#include "common/path.h"
#include "tests/archive/zip_fixtures.h"
#include "tests/fixtures/byte_writer.h"

namespace {

using location::ArchiveEntry;
using testzip::Bytes;
using testzip::Member;
using testzip::Text;

Member M(const std::string& name, const std::string& text, uint16_t method = 8) {
    Member m;
    m.name = name;
    m.data = Text(text);
    m.method = method;
    return m;
}

// Every file and folder below `root`, relative, folders ending in "\".
void Walk(const std::wstring& root, const std::wstring& rel, std::set<std::wstring>* out) {
    platform::ListFolder(paths::Join(root, rel), L"*", [&](const platform::FolderEntry& e) {
        const std::wstring path = rel.empty() ? e.name : rel + L"\\" + e.name;
        if (e.attributes & platform::attr::kDirectory) {
            out->insert(path + L"\\");
            Walk(root, path, out);
        } else {
            out->insert(path);
        }
        return true;
    });
}

std::set<std::wstring> Tree(const std::wstring& root) {
    std::set<std::wstring> out;
    Walk(root, L"", &out);
    return out;
}

std::string Contents(const std::wstring& path) {
    const Bytes b = fixtures::ReadWholeFile(path);
    return std::string(b.begin(), b.end());
}

// Records what an extraction reports and stops after `stopAfter` questions.
class RecordingProgress : public archive::JobProgress {
  public:
    explicit RecordingProgress(int stopAfter = -1) : stopAfter_(stopAfter) {}
    void SetRange(uint32_t total) override { range = total; }
    void Step() override { ++steps; }
    bool Cancelled() override { return ++asked == stopAfter_; }
    uint32_t range = 0;
    uint32_t steps = 0;
    int asked = 0;

  private:
    int stopAfter_;
};

class Extract : public ::testing::Test {
  protected:
    Extract() { EXPECT_TRUE(platform::CreateFolder(target_)); }

    std::wstring Save(const std::wstring& name, const fixtures::ByteWriter& bytes) {
        const std::wstring path = tmp_ / name;
        EXPECT_TRUE(bytes.SaveTo(path));
        return path;
    }
    std::wstring Save(const std::wstring& name, const std::vector<Member>& members) {
        return Save(name, testzip::Make(members).bytes);
    }
    std::wstring Run(const std::wstring& archivePath, archive::JobProgress& progress) {
        std::wstring created;
        EXPECT_TRUE(archive::ExtractZipToFolder(archivePath, target_, progress, &created));
        return created;
    }
    std::wstring Run(const std::wstring& archivePath) {
        archive::SilentProgress silent;
        return Run(archivePath, silent);
    }

    fixtures::TempFolder tmp_;
    std::wstring target_ = tmp_ / L"target";
};

TEST(CleanPath, ComponentsAreMadeSafe) {
    const struct {
        const wchar_t* in;
        const wchar_t* out;
    } cases[] = {
        {L"photo.jpg", L"photo.jpg"}, {L"..a", L"..a"}, {L"", L""}, {L".", L""}, {L"..", L""}, {L"...", L""},
        {L" . ", L""}, {L"name. . ", L"name"}, {L"C:", L"C_"}, {L"a.jpg:s", L"a.jpg_s"},
        {L"a<b>c\"d|e?f*g", L"a_b_c_d_e_f_g"}, {L"tab\there\x01", L"tab_here_"}, {L"CON", L"_CON"},
        {L"con", L"_con"}, {L"aux.jpg", L"_aux.jpg"}, {L"Nul.tar.gz", L"_Nul.tar.gz"}, {L"LPT1", L"_LPT1"},
        {L"com9.txt", L"_com9.txt"}, {L"CON .txt", L"_CON .txt"}, {L"prn.", L"_prn"}, {L"CONIN$", L"_CONIN$"},
        {L"COM10", L"COM10"}, {L"console", L"console"}, {L"lpt", L"lpt"}, {L"auxiliary.jpg", L"auxiliary.jpg"},
        {L"\x00DCn\x00EF.jpg", L"\x00DCn\x00EF.jpg"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(archive::CleanPathComponent(c.in), c.out) << "for \"" << platform::WideToUtf8(c.in) << "\"";
}

TEST(CleanPath, RelativePathsNeverClimbOrRoot) {
    const struct {
        const wchar_t* in;
        const wchar_t* out;
    } cases[] = {
        {L"a\\b\\", L"a\\b"}, {L"a/b/c", L"a\\b\\c"}, {L"..\\..\\x.jpg", L"x.jpg"}, {L"../x", L"x"},
        {L"a/../../b", L"a\\b"}, {L"C:\\x", L"C_\\x"}, {L"C:x", L"C_x"}, {L"\\x", L"x"}, {L"/x", L"x"},
        {L"\\\\server\\share\\x", L"server\\share\\x"}, {L"\\\\?\\C:\\x", L"_\\C_\\x"}, {L"./a/./b", L"a\\b"},
        {L"aux/con.jpg", L"_aux\\_con.jpg"}, {L"", L""}, {L"..", L""}, {L"/../.\\", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(archive::CleanRelativePath(c.in), c.out) << "for \"" << platform::WideToUtf8(c.in) << "\"";
}

TEST_F(Extract, TopFolderNamedLikeTheArchiveIsDroppedAndTakenNamesGetACounter) {
    // Folder members and differing case still count as lying under the top folder.
    const std::wstring zip = Save(L"Photos.zip", {M("photos/", "", 0), M("photos/a.jpg", "A"),
                                                  M("PHOTOS/trip/b.jpg", "B", 0), M("photos/trip/", "", 0)});
    const std::wstring first = Run(zip);
    EXPECT_EQ(first, target_ + L"\\Photos");
    EXPECT_EQ(Tree(first), (std::set<std::wstring>{L"a.jpg", L"trip\\", L"trip\\b.jpg"}));
    EXPECT_EQ(Contents(first + L"\\trip\\b.jpg"), "B");

    // The member's local-header time is applied.
    platform::FileTime expected = 0, actual = 0;
    ASSERT_TRUE(platform::DosDateTimeToUtc(testzip::kJune15th2020, testzip::kNoon, &expected));
    ASSERT_TRUE(platform::GetLastWriteTime(first + L"\\a.jpg", &actual));
    EXPECT_EQ(actual, expected);

    EXPECT_EQ(Run(zip), target_ + L"\\Photos+1");
    EXPECT_EQ(Tree(target_ + L"\\Photos+1").size(), 3u);
}

TEST_F(Extract, TopFolderStaysWhenAnyMemberLiesElsewhere) {
    const std::wstring created =
        Run(Save(L"Photos.zip", {M("root.jpg", "R"), M("Photos/a.jpg", "A"), M("Photos/deep/b.jpg", "B")}));
    EXPECT_EQ(Tree(created), (std::set<std::wstring>{L"root.jpg", L"Photos\\", L"Photos\\a.jpg", L"Photos\\deep\\",
                                                      L"Photos\\deep\\b.jpg"}));
    const std::wstring other = Run(Save(L"Trip.zip", {M("Photos/a.jpg", "A")}));
    EXPECT_EQ(Tree(other), (std::set<std::wstring>{L"Photos\\", L"Photos\\a.jpg"}));
}

TEST_F(Extract, HostileNamesStayInsideTheNewFolder) {
    const std::wstring zip =
        Save(L"evil.zip", {M("..\\..\\up.jpg", "1"), M("../x", "2"), M("C:\\drive.jpg", "3"), M("\\root.jpg", "4"),
                           M("/slash.jpg", "5"), M("a.jpg:stream", "6"), M("CON", "7"), M("aux.jpg", "8"),
                           M("sub/LPT1", "9"), M("nul.txt", "10"), M("dots. . ", "11"), M("ctl\x01.jpg", "12"),
                           M("<>:\"|?*.jpg", "13"), M("..", "14"), M("a/../../../../b/../c.jpg", "15")});
    const std::wstring created = Run(zip);
    std::set<std::wstring> everything = {L"evil.zip", L"target\\", L"target\\evil\\"};
    for (const std::wstring& p : Tree(created))
        everything.insert(L"target\\evil\\" + p);
    EXPECT_EQ(Tree(tmp_.Path()), everything);
    EXPECT_EQ(Tree(created), (std::set<std::wstring>{L"up.jpg", L"x", L"C_\\", L"C_\\drive.jpg", L"root.jpg",
                                                     L"slash.jpg", L"a.jpg_stream", L"_CON", L"_aux.jpg", L"sub\\",
                                                     L"sub\\_LPT1", L"_nul.txt", L"dots", L"ctl_.jpg",
                                                     L"_______.jpg", L"a\\", L"a\\b\\", L"a\\b\\c.jpg"}));
    EXPECT_EQ(Contents(created + L"\\C_\\drive.jpg"), "3");
}

TEST_F(Extract, DamagedMembersArePassedOverAndTheRestIsWritten) {
    Member badCrc = M("bad.jpg", "spoilt");
    badCrc.crcXor = 1;
    Member tooLong = M("long.jpg", "claims more than the file holds", 0);
    tooLong.sizeDelta = 0x70000000;
    Member inflated = M("inflated.jpg", std::string(64, 'z'));
    inflated.sizeDelta = 0x7FFFFF00; // beyond what 1032:1 deflate can produce from a few bytes
    const std::wstring created =
        Run(Save(L"mixed.zip", {M("one.jpg", "1"), badCrc, tooLong, inflated, M("two.jpg", "2", 0)}));
    EXPECT_EQ(Tree(created), (std::set<std::wstring>{L"one.jpg", L"two.jpg"}));
}

TEST_F(Extract, ADirectoryNamingOneMemberManyTimesWritesItOnce) {
    testzip::Zip zip = testzip::Make({M("a.jpg", std::string(4000, 'a'))});
    std::vector<uint8_t>& data = zip.bytes.Data();
    const size_t endRecord = data.size() - 22;
    const std::vector<uint8_t> header(data.begin() + zip.directoryOffset, data.begin() + endRecord);
    data.resize(endRecord);
    const uint16_t copies = 500;
    for (int i = 1; i < copies; ++i)
        data.insert(data.end(), header.begin(), header.end());
    zip.bytes.U32LE(0x06054B50).U16LE(0).U16LE(0).U16LE(copies).U16LE(copies);
    zip.bytes.U32LE(static_cast<uint32_t>(header.size() * copies)).U32LE(zip.directoryOffset).U16LE(0);
    RecordingProgress progress;
    const std::wstring created = Run(Save(L"bomb.zip", zip.bytes), progress);
    EXPECT_EQ(Tree(created), (std::set<std::wstring>{L"a.jpg"}));
    EXPECT_EQ(progress.range, copies + 1u);
    EXPECT_EQ(progress.steps, copies + 1u);
}

TEST_F(Extract, CancelStopsBetweenMembersAndStillSucceeds) {
    RecordingProgress progress(2);
    const std::wstring created =
        Run(Save(L"many.zip", {M("1.jpg", "1"), M("2.jpg", "2"), M("3.jpg", "3"), M("4.jpg", "4")}), progress);
    EXPECT_EQ(Tree(created), (std::set<std::wstring>{L"1.jpg", L"2.jpg"}));
    EXPECT_EQ(progress.range, 5u);
    EXPECT_EQ(progress.steps, 3u);
}

TEST_F(Extract, NothingListedOrNoFolderMeansFailureWithNothingCreated) {
    archive::SilentProgress silent;
    std::wstring created = L"stale";
    fixtures::ByteWriter junk;
    junk.Ascii("not an archive at all, not even close");
    EXPECT_FALSE(archive::ExtractZipToFolder(Save(L"junk.zip", junk), target_, silent, &created));
    EXPECT_EQ(created, L"");
    EXPECT_FALSE(archive::ExtractZipToFolder(tmp_ / L"missing.zip", target_, silent, &created));
    const std::wstring zip = Save(L"ok.zip", {M("a.jpg", "A")});
    EXPECT_FALSE(archive::ExtractZipToFolder(zip, tmp_ / L"no\\such\\folder", silent, &created));
    EXPECT_TRUE(Tree(target_).empty());
}

TEST_F(Extract, WriteFileViaTempReplacesTheTargetAndLeavesNoTemporaryFile) {
    const fixtures::TempFolder temp;
#ifdef _WIN32
    ASSERT_EQ(_wputenv_s(L"TMP", temp.Path().c_str()), 0);
#else
    ASSERT_EQ(setenv("TMPDIR", platform::WideToUtf8(temp.Path()).c_str(), 1), 0);
#endif
    const std::wstring target = tmp_ / L"out.jpg";
    fixtures::ByteWriter old;
    old.Ascii("old contents, longer than the new");
    ASSERT_TRUE(old.SaveTo(target));
    const uint8_t data[] = {'n', 'e', 'w'};
    const platform::FileTime time = 132360000000000000ULL; // 2020-06-07 10:40 UTC
    EXPECT_TRUE(archive::WriteFileViaTemp(target, data, sizeof data, time));
    EXPECT_TRUE(archive::WriteFileViaTemp(tmp_ / L"empty.jpg", data, 0, time));
    EXPECT_FALSE(archive::WriteFileViaTemp(tmp_ / L"no\\such\\out.jpg", data, sizeof data, time));
    EXPECT_EQ(Contents(target), "new");
    platform::FileTime actual = 0;
    ASSERT_TRUE(platform::GetLastWriteTime(target, &actual));
    EXPECT_EQ(actual, time);
    EXPECT_TRUE(platform::FileExists(tmp_ / L"empty.jpg"));
    EXPECT_TRUE(Tree(temp.Path()).empty());
#ifdef _WIN32
    _wputenv_s(L"TMP", L"");
#else
    unsetenv("TMPDIR");
#endif
}

// The fetch a pane of a ZIP archive passes in.
archive::MemberFetch ZipFetch(const std::wstring& zip) {
    return [zip](const ArchiveEntry& e, platform::PageBlock* block, size_t* size) {
        uint32_t n = 0;
        const bool ok = archive::ExtractZipEntry(zip, e.locator, block, &n);
        *size = n;
        return ok;
    };
}

TEST_F(Extract, CopiedMembersDropTheirFolderAndNeverReplaceAFile) {
    Member bad = M("c/bad.jpg", "x");
    bad.crcXor = 7;
    const std::wstring zip = Save(L"copy.zip", {M("a/x.jpg", "first"), M("b/x.jpg", "second", 0), bad,
                                                M("../../up.jpg", "up"), M("d/CON", "dev"), M("e/", "")});
    location::ArchiveListing listing;
    ASSERT_TRUE(archive::ListZipArchive(zip, &listing));
    fixtures::ByteWriter existing;
    existing.Ascii("keep me");
    ASSERT_TRUE(existing.SaveTo(target_ + L"\\up.jpg"));

    EXPECT_EQ(archive::CopyMembersToFolder(target_, listing.entries, ZipFetch(zip)), 4u);
    EXPECT_EQ(Tree(target_), (std::set<std::wstring>{L"x.jpg", L"x+1.jpg", L"up.jpg", L"up+1.jpg", L"_CON"}));
    EXPECT_EQ(Contents(target_ + L"\\x.jpg"), "first");
    EXPECT_EQ(Contents(target_ + L"\\x+1.jpg"), "second");
    EXPECT_EQ(Contents(target_ + L"\\up.jpg"), "keep me");
    EXPECT_EQ(Contents(target_ + L"\\up+1.jpg"), "up");

    const auto never = [](const ArchiveEntry&, platform::PageBlock*, size_t*) { return false; };
    EXPECT_EQ(archive::CopyMembersToFolder(target_, listing.entries, never), 0u);
    EXPECT_EQ(archive::CopyMembersToFolder(tmp_ / L"missing", listing.entries, ZipFetch(zip)), 0u);
}

} // namespace

// Archives read through a plug-in: its entries are placed like a ZIP's, whatever names the plug-in
// reports, and a locator listed twice is fetched once.
TEST_F(Extract, ListedMembersStayInsideTheNewFolder) {
    std::vector<ArchiveEntry> entries(5);
    const wchar_t* const names[][2] = {{L"", L"a.jpg"},       {L"..\\..\\", L"up.jpg"}, {L"C:\\Windows\\", L"sys.jpg"},
                                       {L"sub\\", L"b.jpg"}, {L"", L"again.jpg"}};
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].folder = names[i][0];
        entries[i].name = names[i][1];
        entries[i].locator = static_cast<uint32_t>(i);
    }
    entries[4].locator = 0;
    int fetched = 0;
    const archive::MemberFetch fetch = [&](const ArchiveEntry& e, platform::PageBlock* block, size_t* size) {
        ++fetched;
        const std::string text = "member " + std::to_string(e.locator);
        *block = platform::PageBlock(text.size() + 4);
        std::copy(text.begin(), text.end(), block->Get());
        *size = text.size();
        return e.name != L"b.jpg"; // one member the plug-in cannot give
    };
    RecordingProgress progress;
    std::wstring created;
    const std::wstring archivePath = tmp_ / L"Shots.7z";
    EXPECT_EQ(archive::ExtractListedToFolder(archivePath, entries, target_, progress, fetch, &created), 3u);
    EXPECT_EQ(fetched, 4);
    EXPECT_EQ(created, target_ + L"\\Shots");
    EXPECT_EQ(Tree(target_), (std::set<std::wstring>{L"Shots\\", L"Shots\\a.jpg", L"Shots\\up.jpg", L"Shots\\C_\\",
                                                     L"Shots\\C_\\Windows\\", L"Shots\\C_\\Windows\\sys.jpg",
                                                     L"Shots\\sub\\"}));
    EXPECT_EQ(Contents(created + L"\\C_\\Windows\\sys.jpg"), "member 2");
    EXPECT_EQ(progress.range, 6u);
}
