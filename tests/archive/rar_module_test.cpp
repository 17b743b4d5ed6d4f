// The module path against the module's test double (tools/rar_module_double): the same real
// archives as the built-in reader, plus the password and missing-volume requests the double can
// make on demand.
#include "archive/rar_module_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "archive/rar_reader.h"
#include "common/crc32.h"

using crc::Crc32;
#include "tests/archive/rar_suite.h"
#include "tests/archive/rar_test_support.h"
#include "tests/fixtures/byte_writer.h"

#ifndef QUORLE_MODULE_DOUBLE
#error "QUORLE_MODULE_DOUBLE must name the folder of the module's test double"
#endif

namespace {

using fixtures::RarSetOptions;

// The double's switch for one test, cleared afterwards along with its request counts.
class DoubleSwitch {
  public:
    explicit DoubleSwitch(const wchar_t* value) {
        SetEnvironmentVariableW(L"QUORLE_RAR_DOUBLE", value);
        SetEnvironmentVariableW(L"QUORLE_RAR_DOUBLE_ASKS", nullptr);
    }
    ~DoubleSwitch() {
        SetEnvironmentVariableW(L"QUORLE_RAR_DOUBLE", nullptr);
        SetEnvironmentVariableW(L"QUORLE_RAR_DOUBLE_ASKS", nullptr);
    }
    // How often the double asked for a password and for a volume.
    static std::pair<int, int> Asks() {
        wchar_t buffer[64] = L"0 0";
        GetEnvironmentVariableW(L"QUORLE_RAR_DOUBLE_ASKS", buffer, 64);
        int p = 0, v = 0;
        swscanf(buffer, L"%d %d", &p, &v);
        return {p, v};
    }
};

class RarModuleTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(module_.Load(platform::Utf8ToWide(QUORLE_MODULE_DOUBLE))); }

    std::vector<uint8_t> Fetch(const std::wstring& path, uint32_t ordinal, archive::RarContext& context, bool* ok) {
        platform::PageBlock block;
        uint32_t size = 0;
        *ok = archive::FetchRarWithModule(module_, path, ordinal, context, &block, &size);
        return *ok ? std::vector<uint8_t>(block.Get(), block.Get() + size) : std::vector<uint8_t>();
    }

    // A context whose password dialog is a counter answering `answer` (nothing: Cancel).
    archive::RarContext Asking(int* shown, const wchar_t* answer) {
        archive::RarContext context;
        context.ask = [shown, answer](HWND, std::wstring* password) {
            ++*shown;
            if (!answer)
                return false;
            *password = answer;
            return true;
        };
        return context;
    }

    archive::RarModule module_;
};

TEST_F(RarModuleTest, ModuleIsFoundInTheGivenFolderOnly) {
    EXPECT_TRUE(archive::RarModulePresent(platform::Utf8ToWide(QUORLE_MODULE_DOUBLE)));
    fixtures::TempFolder empty;
    archive::RarModule none;
    // The test's own folder and the system folder hold no module.
    EXPECT_FALSE(none.Load(empty.Path()));
    // A file of that name that is no module with the four functions counts as absent.
    ASSERT_TRUE(fixtures::ByteWriter().Ascii("MZ not really").SaveTo(empty / L"unrar64.dll"));
    EXPECT_TRUE(archive::RarModulePresent(empty.Path()));
    EXPECT_FALSE(none.Load(empty.Path()));
}

// The probe's four answers, the later volume's listing from the first, its extraction into
// "photos", and every member the same as through the built-in reader.
TEST_F(RarModuleTest, LaterVolumeListsAndExtractsTheWholeSet) {
    fixtures::TempFolder dir;
    RarSetOptions o;
    o.volumeData = 1500;
    o.digits = 2;
    const std::vector<std::wstring> set = fixtures::WriteStoredRar(dir / L"photos", rartest::PhotoMembers(), o);
    ASSERT_EQ(3u, set.size());
    RarSetOptions old = o;
    old.naming = fixtures::RarNaming::OldStyle;
    const std::vector<std::wstring> oldSet = fixtures::WriteStoredRar(dir / L"old", rartest::PhotoMembers(), old);
    const std::vector<std::wstring> single = fixtures::WriteStoredRar(dir / L"single", rartest::PhotoMembers());
    EXPECT_EQ(archive::kRarFirstVolume, archive::ProbeRarWithModule(module_, set[0]));
    EXPECT_EQ(archive::kRarLaterVolume, archive::ProbeRarWithModule(module_, set[2]));
    EXPECT_EQ(archive::kRarOldVolume, archive::ProbeRarWithModule(module_, oldSet[1]));
    EXPECT_EQ(archive::kRarNotVolume, archive::ProbeRarWithModule(module_, single[0]));
    EXPECT_EQ(archive::kRarNotVolume, archive::ProbeRarWithModule(module_, dir / L"absent.rar"));

    archive::RarContext context;
    location::ArchiveListing listing;
    ASSERT_TRUE(archive::ListRarWithModule(module_, set[2], context, &listing));
    ASSERT_EQ(3u, listing.entries.size());
    const std::vector<fixtures::RarMember> members = rartest::PhotoMembers();
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(L"photos\\", listing.entries[i].folder);
        EXPECT_EQ(members[i].data.size(), listing.entries[i].size);
        bool ok = false;
        EXPECT_EQ(members[i].data, Fetch(set[2], i, context, &ok));
        EXPECT_TRUE(ok);
    }

    fixtures::TempFolder out;
    archive::SilentProgress progress;
    std::wstring created;
    ASSERT_TRUE(archive::ExtractRarWithModule(module_, set[2], out.Path(), progress, context, &created));
    EXPECT_EQ(out / L"photos", created);
    std::set<std::wstring> files;
    rartest::Walk(created, L"", &files);
    EXPECT_EQ((std::set<std::wstring>{L"a.jpg", L"b.jpg", L"c.jpg"}), files);
    EXPECT_EQ(members[1].data, fixtures::ReadWholeFile(created + L"\\b.jpg"));
}

// The host refuses what it cannot hold and what a volume request would otherwise leave hanging:
// a member of 4 GiB or more, a deleted later volume and the double's own volume request all give
// nothing, and the user is never asked for anything.
TEST_F(RarModuleTest, OversizeAndMissingVolumesGiveNothingWithoutAsking) {
    fixtures::TempFolder dir;
    fixtures::RarMember huge = rartest::File(L"huge.bin", rartest::Pattern(16, 1));
    huge.declaredSize = (1ull << 32) + 7;
    const std::vector<std::wstring> odd = fixtures::WriteStoredRar(dir / L"odd", {huge, rartest::File(L"x", {1, 2})});
    int shown = 0;
    archive::RarContext context = Asking(&shown, L"none");
    location::ArchiveListing listing;
    ASSERT_TRUE(archive::ListRarWithModule(module_, odd[0], context, &listing));
    EXPECT_EQ(7u, listing.entries[0].size);
    bool ok = true;
    Fetch(odd[0], 0, context, &ok);
    EXPECT_FALSE(ok);

    RarSetOptions o;
    o.volumeData = 1500;
    const std::vector<std::wstring> set = fixtures::WriteStoredRar(dir / L"photos", rartest::PhotoMembers(), o);
    ASSERT_TRUE(platform::DeleteFileAt(set[2]));
    {
        DoubleSwitch counts(L"");
        Fetch(set[0], 1, context, &ok);
        EXPECT_FALSE(ok);
        EXPECT_EQ(1, DoubleSwitch::Asks().second); // asked once, refused at once
        fixtures::TempFolder out;
        archive::SilentProgress progress;
        std::wstring created;
        EXPECT_FALSE(archive::ExtractRarWithModule(module_, set[0], out.Path(), progress, context, &created));
    }
    const std::vector<std::wstring> whole = fixtures::WriteStoredRar(dir / L"whole", rartest::PhotoMembers());
    {
        DoubleSwitch ask(L"ask-volume");
        Fetch(whole[0], 0, context, &ok);
        EXPECT_FALSE(ok);
        EXPECT_EQ(1, DoubleSwitch::Asks().second);
    }
    EXPECT_EQ(0, shown);
}

// With a password the double requests it for every member; the user is asked once per operation,
// a wrong one gives nothing and Cancel ends the operation.
TEST_F(RarModuleTest, PasswordIsAskedOncePerOperation) {
    fixtures::TempFolder dir;
    const std::vector<std::wstring> rar = fixtures::WriteStoredRar(dir / L"locked", rartest::PhotoMembers());
    DoubleSwitch locked(L"password:s3cret");

    int shown = 0;
    archive::RarContext extraction = Asking(&shown, L"s3cret");
    fixtures::TempFolder out;
    archive::SilentProgress progress;
    std::wstring created;
    ASSERT_TRUE(archive::ExtractRarWithModule(module_, rar[0], out.Path(), progress, extraction, &created));
    EXPECT_EQ(1, shown);
    EXPECT_EQ(3, DoubleSwitch::Asks().first);
    std::set<std::wstring> files;
    rartest::Walk(created, L"", &files);
    EXPECT_EQ(3u, files.size());

    // Each fetch is an operation of its own.
    shown = 0;
    for (uint32_t i = 0; i < 2; ++i) {
        archive::RarContext fetch = Asking(&shown, L"s3cret");
        bool ok = false;
        EXPECT_EQ(rartest::PhotoMembers()[i].data, Fetch(rar[0], i, fetch, &ok));
        EXPECT_TRUE(ok);
    }
    EXPECT_EQ(2, shown);

    shown = 0;
    archive::RarContext wrong = Asking(&shown, L"guess");
    bool ok = true;
    Fetch(rar[0], 0, wrong, &ok);
    EXPECT_FALSE(ok);

    archive::RarContext cancel = Asking(&shown, nullptr);
    fixtures::TempFolder out2;
    EXPECT_FALSE(archive::ExtractRarWithModule(module_, rar[0], out2.Path(), progress, cancel, &created));
    EXPECT_EQ(2, shown);
    std::set<std::wstring> none;
    rartest::Walk(out2.Path(), L"", &none);
    EXPECT_TRUE(none.empty());
}

// The callback's own rules: data past the block's end abort, a buffer gets the password cut to its
// size, and a notification of a volume is not a request.
TEST(RarModuleCallback, BoundsAndBuffers) {
    uint8_t block[8] = {};
    archive::RarContext c;
    c.collect = true;
    c.out = c.pos = block;
    c.end = block + 6;
    const intptr_t user = reinterpret_cast<intptr_t>(&c);
    const uint8_t data[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(0, archive::RarModuleCallback(rarabi::kProcessData, user, reinterpret_cast<intptr_t>(data), 5));
    EXPECT_EQ(-1, archive::RarModuleCallback(rarabi::kProcessData, user, reinterpret_cast<intptr_t>(data), 2));
    EXPECT_EQ(block + 5, c.pos);
    EXPECT_EQ(0, block[6]);

    wchar_t volume[16] = L"x.part2.rar";
    EXPECT_EQ(0, archive::RarModuleCallback(rarabi::kChangeVolumeW, user, reinterpret_cast<intptr_t>(volume), rarabi::kVolNotify));
    EXPECT_EQ(-1, archive::RarModuleCallback(rarabi::kChangeVolumeW, user, reinterpret_cast<intptr_t>(volume), rarabi::kVolAsk));

    int shown = 0;
    c.ask = [&shown](HWND, std::wstring* password) {
        ++shown;
        *password = L"abcdef";
        return true;
    };
    wchar_t small[4];
    std::fill(std::begin(small), std::end(small), L'#');
    EXPECT_NE(-1, archive::RarModuleCallback(rarabi::kNeedPasswordW, user, reinterpret_cast<intptr_t>(small), 4));
    EXPECT_EQ(std::wstring(L"abc"), small);
    wchar_t large[32] = {};
    EXPECT_NE(-1, archive::RarModuleCallback(rarabi::kNeedPasswordW, user, reinterpret_cast<intptr_t>(large), 32));
    EXPECT_EQ(std::wstring(L"abcdef"), large);
    EXPECT_EQ(1, shown);
}

// The real archives of libarchive's suite through the module path: every file member with the
// CRC its header records, the same bytes as the built-in reader gives.
TEST_F(RarModuleTest, SuiteArchivesMatchTheRecordedCrcs) {
    const char* const kSets[][2] = {
        {"test_read_format_rar.rar", nullptr},
        {"test_read_format_rar_compress_best.rar", nullptr},
        {"test_read_format_rar_unicode.rar", nullptr},
        {"test_read_format_rar5_solid.rar", nullptr},
        {"test_read_format_rar5_multiple_files_solid.rar", nullptr},
        {"test_rar_multivolume_multiple_files.part1.rar", "test_rar_multivolume_multiple_files.part%d.rar"},
        {"test_read_format_rar5_multiarchive.part01.rar", "test_read_format_rar5_multiarchive.part%02d.rar"},
    };
    size_t checked = 0;
    for (const auto& set : kSets) {
        SCOPED_TRACE(set[0]);
        fixtures::TempFolder dir;
        std::vector<std::wstring> volumes;
        for (int i = 1; i <= (set[1] ? 8 : 1); ++i) {
            char name[128];
            if (set[1])
                std::snprintf(name, sizeof name, set[1], i);
            else
                std::snprintf(name, sizeof name, "%s", set[0]);
            if (!rarsuite::Decode(name, dir.Path()))
                break;
            volumes.push_back(dir.Path() + L"\\" + platform::Utf8ToWide(name));
        }
        ASSERT_FALSE(volumes.empty());
        archive::RarContext context;
        location::ArchiveListing listing;
        ASSERT_TRUE(archive::ListRarWithModule(module_, volumes.back(), context, &listing));
        for (const rarsuite::Recorded& r : rarsuite::RecordedMembers(volumes)) {
            const auto found = std::find_if(listing.entries.begin(), listing.entries.end(),
                                            [&](const location::ArchiveEntry& e) { return rarsuite::SamePath(r, e.folder + e.name); });
            ASSERT_NE(listing.entries.end(), found) << platform::WideToUtf8(r.path);
            bool ok = false;
            const std::vector<uint8_t> data = Fetch(volumes.back(), found->locator, context, &ok);
            EXPECT_TRUE(ok);
            if (r.hasCrc) {
                EXPECT_EQ(r.crc, Crc32(data.data(), data.size())) << platform::WideToUtf8(r.path);
            }
            platform::PageBlock builtIn;
            uint32_t size = 0;
            ASSERT_TRUE(archive::FetchRarMember(volumes.back(), found->locator, &builtIn, &size));
            EXPECT_TRUE(size == data.size() && std::memcmp(builtIn.Get(), data.data(), size) == 0);
            ++checked;
        }
    }
    EXPECT_GT(checked, 20u);
}

} // namespace
