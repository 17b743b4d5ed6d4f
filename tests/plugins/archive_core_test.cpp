// The archive plug-in's core on archives made by 7z, gcab and Python's tarfile: the right kind from the
// head alone, the members in order, and every member's bytes exactly; awkward names reported as
// given; damaged archives fail without a wrong member.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugins/archive/archive_core.h"
#include "tests/plugins/plugin_fixtures.h"

using namespace archive_plugin;
namespace fx = plugin_fixtures;

namespace {

struct CollectSink : MemberSink {
    std::vector<uint8_t> bytes;
    bool began = false;
    bool Begin(const Member&) override { return began = true; }
    bool Write(const uint8_t* data, size_t n) override {
        bytes.insert(bytes.end(), data, data + n);
        return true;
    }
};

ArchiveKind KindOfFile(const std::vector<uint8_t>& file) {
    std::vector<uint8_t> head(2048, 0);
    std::memcpy(head.data(), file.data(), file.size() < head.size() ? file.size() : head.size());
    return SniffArchive(head.data(), head.size());
}

TEST(ArchiveCore, ListsAndExtractsPhotographsOfEveryFormat) {
    const ArchiveKind kinds[] = {ArchiveKind::SevenZip, ArchiveKind::Tar, ArchiveKind::TarGz, ArchiveKind::TarXz,
                                 ArchiveKind::Cab};
    for (size_t k = 0; k < std::size(fx::kPhotoArchives); ++k) {
        SCOPED_TRACE(fx::kPhotoArchives[k]);
        const std::vector<uint8_t> file = fx::Read(fx::kPhotoArchives[k]);
        ASSERT_FALSE(file.empty());
        EXPECT_EQ(KindOfFile(file), kinds[k]);

        MemorySource source(file.data(), file.size());
        std::vector<Member> members;
        ASSERT_EQ(ListMembers(source, &members), ArchiveError::Ok);
        ASSERT_EQ(members.size(), std::size(fx::kPhotos));
        for (const Member& m : members) {
            // Archive order differs between tools (7z sorts by type); find each photograph by name.
            const fx::Photo* photo = nullptr;
            for (const fx::Photo& p : fx::kPhotos) {
                if (m.name == p.stored)
                    photo = &p;
            }
            ASSERT_NE(photo, nullptr) << m.name;
            const std::vector<uint8_t> original = fx::Read(photo->original);
            EXPECT_EQ(m.size, original.size());
            EXPECT_GT(m.mtime, 1500000000);
            std::string folder, name;
            SplitMemberPath(m.name, &folder, &name);
            EXPECT_EQ(folder, photo->folder);
            EXPECT_EQ(name, photo->file);

            CollectSink sink;
            ASSERT_EQ(ExtractMember(source, m.ordinal, uint64_t{1} << 30, &sink), ArchiveError::Ok);
            EXPECT_TRUE(sink.bytes == original) << m.name;
        }
    }
}

TEST(ArchiveCore, AwkwardMembersAreReportedAsGivenAndFetchedByOrdinal) {
    const std::vector<uint8_t> file = fx::Read("awkward.tar");
    MemorySource source(file.data(), file.size());
    std::vector<Member> members;
    ASSERT_EQ(ListMembers(source, &members), ArchiveError::Ok);
    // Regular files only: the link, the hard link and the folder (ordinals 5, 6, 7) are not listed.
    const struct {
        uint64_t ordinal;
        const char* folder;
        const char* file;
        bool fits;
    } want[] = {
        {0, "..\\", "escape.txt", true}, {1, "\\abs\\", "root.txt", true}, {2, "", "CON.txt", true},
        {3, nullptr, "deep.txt", false}, {4, "", nullptr, false},         {8, "", "ok.txt", true},
        {9, "", "empty.txt", true},
    };
    ASSERT_EQ(members.size(), std::size(want));
    for (size_t i = 0; i < members.size(); ++i) {
        SCOPED_TRACE(members[i].name);
        EXPECT_EQ(members[i].ordinal, want[i].ordinal);
        std::string folder, name;
        SplitMemberPath(members[i].name, &folder, &name);
        if (want[i].folder) {
            EXPECT_EQ(folder, want[i].folder);
        }
        if (want[i].file) {
            EXPECT_EQ(name, want[i].file);
        }
        plugin_abi::FileInfo record;
        ASSERT_EQ(FillFileInfo(ArchiveKind::Tar, members[i], folder, name, &record), want[i].fits);
        if (want[i].fits) {
            EXPECT_STREQ(reinterpret_cast<const char*>(record.method), "tar");
            EXPECT_EQ(record.position, want[i].ordinal);
            EXPECT_EQ(record.timestamp, 1600000000u);
        }
    }

    CollectSink escape;
    ASSERT_EQ(ExtractMember(source, 0, 100, &escape), ArchiveError::Ok);
    EXPECT_EQ(std::string(escape.bytes.begin(), escape.bytes.end()), "up");
    CollectSink empty;
    ASSERT_EQ(ExtractMember(source, 9, 100, &empty), ArchiveError::Ok);
    EXPECT_TRUE(empty.began);
    EXPECT_TRUE(empty.bytes.empty());
    for (uint64_t not_a_file : {5u, 6u, 7u, 10u, 1000u}) {
        CollectSink sink;
        EXPECT_EQ(ExtractMember(source, not_a_file, 100, &sink), ArchiveError::NotFound) << not_a_file;
        EXPECT_FALSE(sink.began);
    }
    CollectSink limited;
    EXPECT_EQ(ExtractMember(source, 8, 3, &limited), ArchiveError::TooLarge);
}

TEST(ArchiveCore, FileNamesSafeToCreateInAFolder) {
    for (const char* good : {"ok.txt", "photo 1.jpg", ".hidden", "CONSOLE.txt", "COM10.txt", "a..b"})
        EXPECT_TRUE(IsSafeFileName(good)) << good;
    for (const char* bad : {"", ".", "..", "a\\b", "a/b", "c:x", "x:stream", "what?.jpg", "star*", "pipe|",
                            "trailing.", "trailing ", "CON", "con.txt", "Nul", "aux .jpg", "COM1.jpg", "lpt9",
                            "tab\there"})
        EXPECT_FALSE(IsSafeFileName(bad)) << bad;
}

TEST(ArchiveCore, DamagedOrForeignInputFailsWithoutAWrongMember) {
    // Heads that start no archive of ours: a gzip that is not a tar, a JPEG, zeros.
    for (const char* name : {"notar.gz", "photo1.jpg"})
        EXPECT_EQ(KindOfFile(fx::Read(name)), ArchiveKind::None) << name;
    EXPECT_EQ(KindOfFile(std::vector<uint8_t>(4096, 0)), ArchiveKind::None);

    for (const char* name : fx::kPhotoArchives) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> whole = fx::Read(name);
        const std::vector<uint8_t> photo1 = fx::Read("photo1.jpg");
        // Cut in two, and with bytes flipped in the middle: a member either comes out exactly or fails.
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + whole.size() / 2);
        std::vector<uint8_t> flipped = whole;
        for (size_t i = whole.size() / 2; i < whole.size() / 2 + 64; ++i)
            flipped[i] ^= 0x5A;
        for (const std::vector<uint8_t>* damaged : {&cut, &flipped}) {
            MemorySource source(damaged->data(), damaged->size());
            std::vector<Member> members;
            if (ListMembers(source, &members) != ArchiveError::Ok)
                continue;
            for (const Member& m : members) {
                CollectSink sink;
                const ArchiveError error = ExtractMember(source, m.ordinal, uint64_t{1} << 30, &sink);
                if (error == ArchiveError::Ok) {
                    EXPECT_EQ(sink.bytes.size(), m.size) << m.name;
                }
            }
        }
    }
}

// The archive read from its first byte counts as one opening (an opening reads there a few times).
struct CountingSource : Source {
    explicit CountingSource(const std::vector<uint8_t>& bytes) : inner(bytes.data(), bytes.size()) {}
    MemorySource inner;
    int fromStart = 0;
    uint64_t Size() const override { return inner.Size(); }
    bool ReadAt(uint64_t offset, void* buf, size_t n, size_t* got) override {
        fromStart += offset == 0 ? 1 : 0;
        return inner.ReadAt(offset, buf, n, got);
    }
};

struct RefusingSink : MemberSink {
    bool Begin(const Member&) override { return false; }
    bool Write(const uint8_t*, size_t) override { return true; }
};

// A pane's members are asked for one after another: the cursor reads the archive once for all of them
// and starts over only for an earlier member, another archive or after a failure.
TEST(ArchiveCore, ACursorReadsEveryMemberInOnePassAndStartsOverWhenItMust) {
    for (const char* name : fx::kPhotoArchives) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> file = fx::Read(name);
        CountingSource source(file);
        std::vector<Member> members;
        ASSERT_EQ(ListMembers(source, &members), ArchiveError::Ok);
        ASSERT_EQ(members.size(), 3u);
        std::vector<std::vector<uint8_t>> expected;
        source.fromStart = 0;
        for (const Member& m : members) {
            CollectSink sink;
            ASSERT_EQ(ExtractMember(source, m.ordinal, uint64_t{1} << 30, &sink), ArchiveError::Ok);
            expected.push_back(sink.bytes);
        }
        const int opening = source.fromStart / 3;
        ASSERT_GT(opening, 0);

        MemberCursor cursor;
        auto read = [&](const std::string& identity, size_t k) {
            CollectSink sink;
            EXPECT_EQ(cursor.Extract(source, identity, members[k].ordinal, uint64_t{1} << 30, &sink), ArchiveError::Ok);
            EXPECT_TRUE(sink.bytes == expected[k]) << k;
        };
        source.fromStart = 0;
        for (size_t k = 0; k < 3; ++k)
            read("a", k);
        EXPECT_EQ(source.fromStart, opening) << "one pass for every member in order";

        // After the last member the archive was let go; an earlier member and another archive start over.
        source.fromStart = 0;
        read("a", 1);
        read("a", 0);
        read("b", 1);
        EXPECT_EQ(source.fromStart, 3 * opening);
        // A member the sink refused leaves nothing half-read behind: the next read starts over.
        RefusingSink refuse;
        EXPECT_EQ(cursor.Extract(source, "b", members[2].ordinal, uint64_t{1} << 30, &refuse), ArchiveError::SinkFailed);
        source.fromStart = 0;
        read("b", 2);
        EXPECT_EQ(source.fromStart, opening);
        // Without an identity nothing is kept.
        source.fromStart = 0;
        read("", 0);
        read("", 1);
        EXPECT_EQ(source.fromStart, 2 * opening);
    }
}

} // namespace
