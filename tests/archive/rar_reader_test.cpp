#include "archive/rar_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "archive/rar_volumes.h"
#include "common/crc32.h"

using crc::Crc32;
#include "tests/archive/rar_suite.h"
#include "tests/archive/rar_test_support.h"
#include "tests/fixtures/byte_writer.h"

namespace {

using fixtures::RarMember;
using fixtures::RarNaming;
using fixtures::RarSetOptions;
using rartest::File;
using rartest::Pattern;

std::vector<uint8_t> Fetch(const std::wstring& path, uint32_t ordinal, bool* ok) {
    platform::PageBlock block;
    uint32_t size = 0;
    *ok = archive::FetchRarMember(path, ordinal, &block, &size);
    if (!*ok)
        return {};
    // The spare four bytes after the member are zero.
    EXPECT_GE(block.Size(), size + 4u);
    EXPECT_EQ(0, std::memcmp(block.Get() + size, "\0\0\0\0", 4));
    return std::vector<uint8_t>(block.Get(), block.Get() + size);
}

TEST(RarVolumes, SetNamesFollowBothStylesAndKeepTheDigitWidth) {
    using archive::FirstRarVolume;
    using archive::NextRarVolume;
    EXPECT_EQ(L"C:\\p\\photos.part1.rar", FirstRarVolume(L"C:\\p\\photos.part3.rar", archive::kRarLaterVolume));
    EXPECT_EQ(L"C:\\p\\photos.part01.rar", FirstRarVolume(L"C:\\p\\photos.part10.rar", archive::kRarLaterVolume));
    EXPECT_EQ(L"x.part0001.RAR", FirstRarVolume(L"x.part0004.RAR", archive::kRarLaterVolume));
    EXPECT_EQ(L"C:\\p\\photos.rar", FirstRarVolume(L"C:\\p\\photos.r02", archive::kRarOldVolume));
    // Only a later new-style volume is renamed.
    EXPECT_EQ(L"a.part3.rar", FirstRarVolume(L"a.part3.rar", archive::kRarNotVolume));
    EXPECT_EQ(L"a.rar", FirstRarVolume(L"a.rar", archive::kRarLaterVolume));

    EXPECT_EQ(L"a.part10.rar", NextRarVolume(L"a.part9.rar", true));
    EXPECT_EQ(L"a.part10.rar", NextRarVolume(L"a.part09.rar", true));
    EXPECT_EQ(L"a.part100.rar", NextRarVolume(L"a.part99.rar", true));
    EXPECT_EQ(L"a.r00", NextRarVolume(L"a.rar", false));
    EXPECT_EQ(L"a.r10", NextRarVolume(L"a.r09", false));
    EXPECT_EQ(L"a.s00", NextRarVolume(L"a.r99", false));
    EXPECT_EQ(L"", NextRarVolume(L"a.rar", true));

    EXPECT_EQ(L"photos", archive::RarBaseName(L"C:\\p\\photos.part3.rar", archive::kRarLaterVolume));
    EXPECT_EQ(L"photos", archive::RarBaseName(L"C:\\p\\photos.part1.rar", archive::kRarFirstVolume));
    EXPECT_EQ(L"photos.part3", archive::RarBaseName(L"C:\\p\\photos.part3.rar", archive::kRarNotVolume));
    EXPECT_EQ(L"old", archive::RarBaseName(L"old.rar", archive::kRarOldVolume));
}

// photos.part3.rar: the probe knows it is a later volume, the listing covers the whole set from
// the first volume, the split member reads whole, and extraction makes a folder named "photos".
TEST(RarReader, LaterVolumeStandsForTheWholeSet) {
    for (bool rar5 : {false, true}) {
        SCOPED_TRACE(rar5 ? "RAR 5" : "RAR 4");
        fixtures::TempFolder dir;
        RarSetOptions o;
        o.volumeData = 1500;
        o.rar5 = rar5;
        const std::vector<RarMember> members = rartest::PhotoMembers();
        const std::vector<std::wstring> volumes = fixtures::WriteStoredRar(dir / L"photos", members, o);
        ASSERT_EQ(3u, volumes.size());
        EXPECT_EQ(archive::kRarFirstVolume, archive::ProbeRarArchive(volumes[0]));
        EXPECT_EQ(archive::kRarLaterVolume, archive::ProbeRarArchive(volumes[2]));

        location::ArchiveListing listing;
        ASSERT_TRUE(archive::ListRarArchive(volumes[2], &listing));
        ASSERT_EQ(3u, listing.entries.size());
        for (uint32_t i = 0; i < 3; ++i) {
            EXPECT_EQ(L"photos\\", listing.entries[i].folder);
            EXPECT_EQ(i, listing.entries[i].locator);
            EXPECT_EQ(members[i].data.size(), listing.entries[i].size);
            bool ok = false;
            EXPECT_EQ(members[i].data, Fetch(volumes[2], i, &ok));
            EXPECT_TRUE(ok);
        }
        EXPECT_EQ(L"b.jpg", listing.entries[1].name);

        fixtures::TempFolder out;
        archive::SilentProgress progress;
        std::wstring created;
        ASSERT_TRUE(archive::ExtractRarToFolder(volumes[2], out.Path(), progress, &created));
        EXPECT_EQ(out / L"photos", created);
        // The archive's own top folder "photos" is not repeated inside the new one.
        EXPECT_EQ(members[1].data, fixtures::ReadWholeFile(created + L"\\b.jpg"));
        std::set<std::wstring> files;
        rartest::Walk(created, L"", &files);
        EXPECT_EQ((std::set<std::wstring>{L"a.jpg", L"b.jpg", L"c.jpg"}), files);
    }
}

// Sets of ten volumes pad their numbers (part01 ... part10); old-style sets go .rar, .r00, .r01.
TEST(RarReader, PaddedAndOldStyleSetsReadFromAnyVolume) {
    fixtures::TempFolder dir;
    const std::vector<RarMember> members = {File(L"long.bin", Pattern(9500, 9))};
    RarSetOptions padded;
    padded.volumeData = 1000;
    padded.digits = 2;
    const std::vector<std::wstring> set = fixtures::WriteStoredRar(dir / L"trip", members, padded);
    ASSERT_EQ(10u, set.size());
    EXPECT_EQ(dir / L"trip.part10.rar", set.back());
    bool ok = false;
    EXPECT_EQ(members[0].data, Fetch(set[6], 0, &ok));
    EXPECT_TRUE(ok);
    // Unpadded, the tenth volume still finds part1.
    RarSetOptions plain;
    plain.volumeData = 1000;
    const std::vector<std::wstring> plainSet = fixtures::WriteStoredRar(dir / L"plain", members, plain);
    ASSERT_EQ(dir / L"plain.part10.rar", plainSet.back());
    EXPECT_EQ(members[0].data, Fetch(plainSet.back(), 0, &ok));
    EXPECT_TRUE(ok);

    RarSetOptions old;
    old.volumeData = 4000;
    old.naming = RarNaming::OldStyle;
    const std::vector<std::wstring> oldSet = fixtures::WriteStoredRar(dir / L"old", members, old);
    ASSERT_EQ(3u, oldSet.size());
    EXPECT_EQ(dir / L"old.r01", oldSet[2]);
    EXPECT_EQ(archive::kRarOldVolume, archive::ProbeRarArchive(oldSet[0]));
    EXPECT_EQ(members[0].data, Fetch(oldSet[0], 0, &ok));
    EXPECT_TRUE(ok);
}

// What must give nothing rather than wrong bytes: a member of 4 GiB or more (listed with the low
// 32 bits of its size), an encrypted member, stored bytes that fail their CRC, a member whose later
// volume is missing; and a set with a missing volume is not extracted at all.
TEST(RarReader, UnreadableMembersGiveNothing) {
    fixtures::TempFolder dir;
    RarMember huge = File(L"huge.bin", Pattern(16, 1));
    huge.declaredSize = (1ull << 32) + 5;
    RarMember locked = File(L"locked.jpg", Pattern(64, 2));
    locked.encrypted = true;
    const std::vector<std::wstring> single =
        fixtures::WriteStoredRar(dir / L"odd", {huge, locked, File(L"fine.txt", Pattern(100, 3))});
    ASSERT_EQ(1u, single.size());
    location::ArchiveListing listing;
    ASSERT_TRUE(archive::ListRarArchive(single[0], &listing));
    ASSERT_EQ(3u, listing.entries.size());
    EXPECT_EQ(5u, listing.entries[0].size);
    EXPECT_EQ(L"locked.jpg", listing.entries[1].name);
    bool ok = true;
    Fetch(single[0], 0, &ok);
    EXPECT_FALSE(ok);
    Fetch(single[0], 1, &ok);
    EXPECT_FALSE(ok);
    Fetch(single[0], 2, &ok);
    EXPECT_TRUE(ok);
    Fetch(single[0], 3, &ok);
    EXPECT_FALSE(ok);

    // One stored byte changed: the CRC no longer matches.
    std::vector<uint8_t> bytes = fixtures::ReadWholeFile(single[0]);
    bytes[bytes.size() - 20] ^= 0x40;
    ASSERT_TRUE(fixtures::ByteWriter().Bytes(bytes).SaveTo(dir / L"damaged.rar"));
    Fetch(dir / L"damaged.rar", 2, &ok);
    EXPECT_FALSE(ok);

    for (bool rar5 : {false, true}) {
        SCOPED_TRACE(rar5 ? "RAR 5" : "RAR 4");
        fixtures::TempFolder setDir;
        RarSetOptions o;
        o.volumeData = 1500;
        o.rar5 = rar5;
        const std::vector<std::wstring> set = fixtures::WriteStoredRar(setDir / L"photos", rartest::PhotoMembers(), o);
        ASSERT_EQ(3u, set.size());
        ASSERT_TRUE(platform::DeleteFileAt(set[2]));
        Fetch(set[0], 0, &ok);
        EXPECT_TRUE(ok);
        Fetch(set[0], 1, &ok); // its second half was in the missing volume
        EXPECT_FALSE(ok);
        fixtures::TempFolder out;
        archive::SilentProgress progress;
        std::wstring created = L"x";
        EXPECT_FALSE(archive::ExtractRarToFolder(set[0], out.Path(), progress, &created));
        EXPECT_TRUE(created.empty());
        std::set<std::wstring> files;
        rartest::Walk(out.Path(), L"", &files);
        EXPECT_TRUE(files.empty());
    }
}

// One reader kept for a whole load: a member that fails its check, one flagged encrypted and one
// past the end leave the reader serving the members after and before them; stored members are seen
// in place only when their bytes match their CRC.
TEST(RarReader, KeptReaderServesOnAfterAFailedMember) {
    for (bool rar5 : {false, true}) {
        SCOPED_TRACE(rar5 ? "RAR 5" : "RAR 4");
        fixtures::TempFolder dir;
        std::vector<RarMember> members;
        for (size_t i = 0; i < 4; ++i)
            members.push_back(File(L"m" + std::to_wstring(i) + L".jpg", Pattern(3000 + 100 * i, static_cast<uint8_t>(10 + i))));
        if (!rar5) {
            members[3].encrypted = true;
            members.push_back(File(L"m4.jpg", Pattern(500, 20)));
        }
        RarSetOptions o;
        o.rar5 = rar5;
        const std::vector<std::wstring> written = fixtures::WriteStoredRar(dir / L"kept", members, o);
        ASSERT_EQ(1u, written.size());
        // Member 1's stored bytes damaged in its middle.
        std::vector<uint8_t> bytes = fixtures::ReadWholeFile(written[0]);
        const std::vector<uint8_t>& m1 = members[1].data;
        const auto at = std::search(bytes.begin(), bytes.end(), m1.begin(), m1.end());
        ASSERT_NE(bytes.end(), at);
        at[1500] ^= 0x40;
        ASSERT_TRUE(fixtures::ByteWriter().Bytes(bytes).SaveTo(written[0]));

        archive::RarMemberReader reader(written[0]);
        auto fetch = [&](uint32_t ordinal, bool* ok) {
            platform::PageBlock block;
            uint32_t size = 0;
            *ok = reader.Fetch(ordinal, &block, &size);
            return *ok ? std::vector<uint8_t>(block.Get(), block.Get() + size) : std::vector<uint8_t>();
        };
        auto view = [&](uint32_t ordinal, bool* ok) {
            platform::MappedView mapped;
            const uint8_t* data = nullptr;
            uint32_t size = 0;
            *ok = reader.View(ordinal, &mapped, &data, &size);
            return *ok ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>();
        };
        bool ok = false;
        EXPECT_EQ(members[0].data, fetch(0, &ok));
        fetch(1, &ok);
        EXPECT_FALSE(ok);
        EXPECT_EQ(members[2].data, fetch(2, &ok));
        EXPECT_TRUE(ok);
        EXPECT_EQ(members[0].data, fetch(0, &ok)); // back to the start
        fetch(99, &ok);
        EXPECT_FALSE(ok);
        EXPECT_EQ(members[2].data, fetch(2, &ok));
        view(1, &ok);
        EXPECT_FALSE(ok);
        EXPECT_EQ(members[2].data, view(2, &ok));
        EXPECT_TRUE(ok);
        if (!rar5) {
            fetch(3, &ok);
            EXPECT_FALSE(ok);
            view(3, &ok);
            EXPECT_FALSE(ok);
            EXPECT_EQ(members[4].data, fetch(4, &ok));
            EXPECT_EQ(members[4].data, view(4, &ok));
        }
    }
}

// Member names never lead a file outside the new folder.
TEST(RarReader, ExtractionStaysInsideTheNewFolder) {
    fixtures::TempFolder dir;
    const std::vector<std::wstring> rar = fixtures::WriteStoredRar(
        dir / L"evil", {File(L"..\\..\\up.txt", Pattern(5, 1)), File(L"C:\\Windows\\drive.txt", Pattern(6, 2)),
                        File(L"\\root.txt", Pattern(7, 3)), File(L"a\\..\\..\\b\\deep.txt", Pattern(8, 4))});
    fixtures::TempFolder out;
    const std::wstring target = out / L"target";
    ASSERT_TRUE(platform::CreateFolder(target));
    archive::SilentProgress progress;
    std::wstring created;
    ASSERT_TRUE(archive::ExtractRarToFolder(rar[0], target, progress, &created));
    std::set<std::wstring> all;
    rartest::Walk(out.Path(), L"", &all);
    ASSERT_EQ(4u, all.size());
    for (const std::wstring& file : all)
        EXPECT_EQ(0u, file.rfind(L"target\\evil\\", 0)) << platform::WideToUtf8(file);
}

// libarchive's own archives, made by the original archiver: RAR 4 (compressed, PPMd, filters,
// Unicode names, multi-volume with padded numbers) and RAR 5 (stored, compressed, solid, multi-volume
// and solid multi-volume). Every file member fetches whole with the CRC its header records.
struct SuiteSet {
    const char* stem;
    const char* suffix;
    int volumes; // 0: a single archive "<stem>.rar"
    int digits;
};

const SuiteSet kSuite[] = {
    {"test_read_format_rar", "", 0, 0},
    {"test_read_format_rar_compress_normal", "", 0, 0},
    {"test_read_format_rar_compress_best", "", 0, 0},
    {"test_read_format_rar_unicode", "", 0, 0},
    {"test_read_format_rar_windows", "", 0, 0},
    {"test_read_format_rar_filter", "", 0, 0},
    {"test_read_format_rar_multivolume", "", 4, 4},
    {"test_rar_multivolume_single_file", "", 3, 1},
    {"test_rar_multivolume_multiple_files", "", 6, 1},
    {"test_rar_multivolume_uncompressed_files", "", 10, 2},
    {"test_read_format_rar5_stored", "", 0, 0},
    {"test_read_format_rar5_compressed", "", 0, 0},
    {"test_read_format_rar5_solid", "", 0, 0},
    {"test_read_format_rar5_multiple_files", "", 0, 0},
    {"test_read_format_rar5_multiple_files_solid", "", 0, 0},
    {"test_read_format_rar5_win32", "", 0, 0},
    {"test_read_format_rar5_blake2", "", 0, 0},
    {"test_read_format_rar5_multiarchive", "", 8, 2},
    {"test_read_format_rar5_multiarchive_solid", "", 4, 2},
};

std::vector<std::wstring> DecodeSet(const SuiteSet& s, const std::wstring& folder) {
    std::vector<std::string> names;
    if (s.volumes == 0)
        names.push_back(std::string(s.stem) + ".rar");
    for (int i = 1; i <= s.volumes; ++i) {
        std::string n = std::to_string(i);
        n.insert(0, static_cast<size_t>(std::max(0, s.digits - static_cast<int>(n.size()))), '0');
        names.push_back(std::string(s.stem) + ".part" + n + ".rar");
    }
    std::vector<std::wstring> paths;
    for (const std::string& name : names) {
        if (!rarsuite::Decode(name, folder))
            return {};
        paths.push_back(folder + L"\\" + platform::Utf8ToWide(name));
    }
    return paths;
}

TEST(RarSuite, EveryMemberFetchesWithItsRecordedCrc) {
    size_t checked = 0;
    for (const SuiteSet& s : kSuite) {
        SCOPED_TRACE(s.stem);
        fixtures::TempFolder dir;
        const std::vector<std::wstring> volumes = DecodeSet(s, dir.Path());
        ASSERT_FALSE(volumes.empty()) << "missing from " << platform::WideToUtf8(rarsuite::SuiteFolder());
        const std::vector<rarsuite::Recorded> recorded = rarsuite::RecordedMembers(volumes);
        ASSERT_FALSE(recorded.empty());
        location::ArchiveListing listing;
        // Opened at its last volume, a set still lists from its first.
        ASSERT_TRUE(archive::ListRarArchive(volumes.back(), &listing));
        size_t matched = 0;
        for (const rarsuite::Recorded& r : recorded) {
            if (r.size > (64u << 20))
                continue; // decoded in MembersLongerThanTheWindowDecodeWhole (slow under Wine)

            const auto found = std::find_if(listing.entries.begin(), listing.entries.end(),
                                            [&](const location::ArchiveEntry& e) { return rarsuite::SamePath(r, e.folder + e.name); });
            std::wstring listed;
            for (const location::ArchiveEntry& e : listing.entries)
                listed += e.folder + e.name + L" | ";
            ASSERT_NE(listing.entries.end(), found) << platform::WideToUtf8(r.path) << " not in " << platform::WideToUtf8(listed);
            EXPECT_EQ(static_cast<uint32_t>(r.size), found->size);
            bool ok = false;
            const std::vector<uint8_t> data = Fetch(volumes.back(), found->locator, &ok);
            EXPECT_TRUE(ok) << platform::WideToUtf8(r.path);
            EXPECT_EQ(r.size, data.size());
            if (r.hasCrc) {
                EXPECT_EQ(r.crc, Crc32(data.data(), data.size())) << platform::WideToUtf8(r.path);
            }
            ++matched;
        }
        checked += matched;

        // Through one kept reader, as a pane's decode threads ask: neighbours swapped (1, 0, 3, 2 ...),
        // which in a solid archive must neither restart nor lose the member passed over, and each
        // stored member also in place.
        archive::RarMemberReader reader(volumes.back());
        const size_t n = listing.entries.size();
        for (size_t k = 0; k < n; ++k) {
            const size_t i = (k ^ 1) < n ? (k ^ 1) : k;
            const location::ArchiveEntry& e = listing.entries[i];
            const auto r = std::find_if(recorded.begin(), recorded.end(),
                                        [&](const rarsuite::Recorded& x) { return rarsuite::SamePath(x, e.folder + e.name); });
            if (r == recorded.end() || r->size > (64u << 20) || !r->hasCrc || e.name.empty())
                continue;
            platform::PageBlock block;
            uint32_t size = 0;
            ASSERT_TRUE(reader.Fetch(e.locator, &block, &size)) << platform::WideToUtf8(r->path);
            EXPECT_EQ(r->crc, Crc32(block.Get(), size)) << platform::WideToUtf8(r->path);
            platform::MappedView view;
            const uint8_t* data = nullptr;
            if (reader.View(e.locator, &view, &data, &size)) {
                EXPECT_EQ(r->crc, Crc32(data, size)) << platform::WideToUtf8(r->path);
            }
        }
    }
    EXPECT_GT(checked, 40u);
}

// Members longer than the decoder's window (20 MB of LZSS in one archive; 241 MB, PPMd then LZSS,
// split over four volumes): a match running past the end of one window-long stretch used to wrap
// onto its first bytes before they were copied out. Both fetch whole, and a member streamed in odd
// chunks passes the same check.
TEST(RarSuite, MembersLongerThanTheWindowDecodeWhole) {
    for (const SuiteSet& set : {SuiteSet{"test_read_format_rar_multi_lzss_blocks", "", 0, 0},
                                SuiteSet{"test_read_format_rar_multivolume", "", 4, 4}}) {
        SCOPED_TRACE(set.stem);
        fixtures::TempFolder dir;
        const std::vector<std::wstring> volumes = DecodeSet(set, dir.Path());
        ASSERT_FALSE(volumes.empty());
        const std::vector<rarsuite::Recorded> recorded = rarsuite::RecordedMembers(volumes);
        ASSERT_FALSE(recorded.empty());
        ASSERT_TRUE(recorded[0].hasCrc);
        ASSERT_GT(recorded[0].size, 16u << 20);
        {
            bool ok = false;
            const std::vector<uint8_t> data = Fetch(volumes.back(), 0, &ok);
            ASSERT_TRUE(ok);
            ASSERT_EQ(recorded[0].size, data.size());
            EXPECT_EQ(recorded[0].crc, Crc32(data.data(), data.size()));
        }

        archive::RarSequence sequence;
        ASSERT_TRUE(sequence.Open(volumes[0]));
        location::ArchiveEntry entry;
        uint64_t size = 0;
        bool folder = false, encrypted = false;
        ASSERT_TRUE(sequence.Next(&entry, &size, &folder, &encrypted));
        ASSERT_EQ(recorded[0].size, size);
        std::vector<uint8_t> chunk(40000 + 7);
        uint64_t at = 0;
        uint32_t crc = crc::kCrc32Init;
        int64_t got = 0;
        while ((got = sequence.Read(chunk.data(), chunk.size())) > 0) {
            crc = crc::Crc32Update(crc, chunk.data(), static_cast<size_t>(got));
            at += static_cast<uint64_t>(got);
        }
        EXPECT_EQ(0, got) << "the member's check passes at its end";
        EXPECT_EQ(size, at);
        EXPECT_EQ(recorded[0].crc, crc::Crc32Final(crc));
    }
}

} // namespace
