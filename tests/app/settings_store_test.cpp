#include "app/settings_store.h"

#include <gtest/gtest.h>

#include "tests/app/settings_fixture.h"
#include "tests/fixtures/byte_writer.h"

using settings::SettingsReader;
using settings::SettingsWriter;
using settings_fixture::EntryFirst;
using settings_fixture::EntrySecond;
using settings_fixture::SettingsFile;

namespace {

std::vector<uint8_t> Units(const std::wstring& text) {
    fixtures::ByteWriter w;
    w.Utf16LE(text);
    return w.Data();
}

TEST(SettingsReader, UnusableFilesAreNotLoaded) {
    fixtures::TempFolder dir;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    fixtures::ByteWriter shortDirectory;
    shortDirectory.U16LE(172).U16LE(3560).Fill(8 * 100); // 100 of the 172 entries announced
    fixtures::ByteWriter hugeCount;
    hugeCount.U16LE(0xFFFF).U16LE(3560).Fill(8 * 20); // 65535 announced, 20 present
    const Case cases[] = {
        {"empty", {}},
        {"three bytes", {0xAC, 0x00, 0xE8}},
        {"directory cut short", shortDirectory.Data()},
        {"huge count", hugeCount.Data()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring path = dir / L"Quorle.ini";
        fixtures::ByteWriter w;
        w.Bytes(c.bytes);
        ASSERT_TRUE(w.SaveTo(path));
        SettingsReader r;
        EXPECT_FALSE(r.Open(path));
        EXPECT_FALSE(r.Loaded());
        EXPECT_EQ(r.ReadInline(13, 140), 140u);
        std::wstring s = L"stale";
        EXPECT_EQ(r.ReadString(0, s), 0);
        EXPECT_TRUE(s.empty());
        EXPECT_EQ(r.ReadBlock(58, nullptr, 0), 0u);
        EXPECT_TRUE(r.ReadStringList(101).empty());
    }
    SettingsReader missing;
    EXPECT_FALSE(missing.Open(dir / L"absent.ini"));
    EXPECT_EQ(missing.ReadInline(6, 2), 2u);
}

TEST(SettingsReader, CountAboveKeySpaceIsCapped) {
    fixtures::TempFolder dir;
    SettingsFile f(200, 3560);
    f.Inline(171, 0x11).Inline(199, 0x22);
    f.String(180, L"beyond"); // block of an entry past the cap
    ASSERT_TRUE(f.SaveTo(dir / L"s.ini"));
    SettingsReader r;
    ASSERT_TRUE(r.Open(dir / L"s.ini"));
    EXPECT_EQ(r.EntryCount(), 172);
    EXPECT_EQ(r.FormatVersion(), 3560);
    EXPECT_EQ(r.ReadInline(171, 0), 0x11u);
    EXPECT_EQ(r.ReadInline(172, 5), 5u);
    EXPECT_EQ(r.ReadInline(199, 5), 5u);

    SettingsFile headerOnly(0, 3560); // count 0: the file is just the 4 header bytes
    ASSERT_TRUE(headerOnly.SaveTo(dir / L"h.ini"));
    ASSERT_TRUE(r.Open(dir / L"h.ini"));
    EXPECT_EQ(r.EntryCount(), 0);
    std::wstring s;
    EXPECT_EQ(r.ReadString(0, s), 0); // key 0 lies beyond a count of 0
}

TEST(SettingsReader, ValuesByKind) {
    fixtures::TempFolder dir;
    SettingsFile f;
    f.Inline(13, 300);
    f.String(0, L"English.dll");
    f.Block(58, {1, 0, 0x2E, 0, 0x9C, 0x13});
    // "a", "bc", then "d" without its terminator
    f.Block(101, {'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 'd', 0});
    f.Block(102, {'x', 0, 0, 0, 0, 0, 'y', 0, 0, 0, 7}); // "x", "", "y" and a stray odd byte
    f.Entry(14, 0, 0);
    ASSERT_TRUE(f.SaveTo(dir / L"s.ini"));

    SettingsReader r;
    ASSERT_TRUE(r.Open(dir / L"s.ini"));
    EXPECT_EQ(r.ReadInline(13, 0), 300u);
    EXPECT_EQ(r.ReadInline(14, 105), 105u);
    EXPECT_EQ(r.ReadInline(0, 7), 7u); // a block is not an inline value

    std::wstring s;
    EXPECT_EQ(r.ReadString(0, s), 1);
    EXPECT_EQ(s, L"English.dll");
    s = L"stale";
    EXPECT_EQ(r.ReadString(13, s), 1); // inline entry: no string
    EXPECT_TRUE(s.empty());

    uint8_t small[4];
    uint8_t exact[6] = {};
    EXPECT_EQ(r.ReadBlock(58, nullptr, 0), 6u);
    EXPECT_EQ(r.ReadBlock(58, small, sizeof small), 6u);
    EXPECT_EQ(r.ReadBlock(58, exact, sizeof exact), 6u);
    EXPECT_EQ(exact[2], 0x2E);
    EXPECT_EQ(exact[4], 0x9C);
    EXPECT_EQ(r.ReadBlock(13, exact, sizeof exact), 0u);

    EXPECT_EQ(r.ReadStringList(101), (std::vector<std::wstring>{L"a", L"bc", L"d"}));
    EXPECT_EQ(r.ReadStringList(102), (std::vector<std::wstring>{L"x", L"", L"y"}));
}

TEST(SettingsReader, DamagedBlocksFallBackPerKey) {
    fixtures::TempFolder dir;
    SettingsFile f;
    f.String(0, L"ok");
    size_t size = f.bytes.Size() + 8; // the file after the 8 bytes of key 59's block below
    f.Entry(60, static_cast<uint32_t>(size + 100), 4);            // starts past the end
    f.Entry(61, static_cast<uint32_t>(size - 4), 8);              // runs past the end
    f.Entry(62, 1400, 100000);                                    // longer than the value-block area
    f.Entry(63, 1380, 0);                                         // zero length
    f.Entry(64, 0xFFFFFFF0u, 4);                                  // offset near the 32-bit limit
    f.Block(59, Units(L"view"));
    ASSERT_EQ(f.bytes.Size(), size);
    ASSERT_TRUE(f.SaveTo(dir / L"s.ini"));

    SettingsReader r;
    ASSERT_TRUE(r.Open(dir / L"s.ini"));
    for (int key : {60, 61, 62, 63, 64}) {
        SCOPED_TRACE(key);
        std::wstring s = L"stale";
        EXPECT_EQ(r.ReadString(key, s), 1);
        EXPECT_TRUE(s.empty());
        uint8_t buffer[16];
        EXPECT_EQ(r.ReadBlock(key, buffer, sizeof buffer), 0u);
        EXPECT_TRUE(r.ReadStringList(key).empty());
    }
    // A length that fits the area is reported before the read that would fail.
    EXPECT_EQ(r.ReadBlock(60, nullptr, 0), 4u);
    EXPECT_EQ(r.ReadBlock(62, nullptr, 0), 0u);
    std::wstring s;
    r.ReadString(0, s);
    EXPECT_EQ(s, L"ok");
    r.ReadString(59, s);
    EXPECT_EQ(s, L"view");
}

TEST(SettingsWriter, NewFileLayout) {
    fixtures::TempFolder dir;
    std::wstring path = dir / L"Quorle.ini";
    {
        SettingsWriter w;
        ASSERT_TRUE(w.Open(path));
        w.WriteString(0, L"English.dll");
        w.WriteInline(13, 200);
        w.WriteString(60, L"");
        w.WriteStringList(101, {L"C:\\a", L"D:\\"});
        w.WriteBlock(105, "\x01\x00\x01", 3);
        ASSERT_TRUE(w.Finish());
    }
    std::vector<uint8_t> b = fixtures::ReadWholeFile(path);
    ASSERT_GE(b.size(), 1380u);
    EXPECT_EQ(b[0], 0xAC); // 172 entries
    EXPECT_EQ(b[1], 0x00);
    EXPECT_EQ(b[2], 0xE8); // version 3560
    EXPECT_EQ(b[3], 0x0D);
    EXPECT_EQ(EntryFirst(b, 0), 1380u); // the first block follows the directory
    EXPECT_EQ(EntrySecond(b, 0), 22u);
    EXPECT_EQ(EntryFirst(b, 13), 1u);
    EXPECT_EQ(EntrySecond(b, 13), 200u);
    EXPECT_EQ(EntryFirst(b, 60), 0u); // empty string: no value
    EXPECT_EQ(EntryFirst(b, 101), 1380u + 22);
    EXPECT_EQ(EntrySecond(b, 101), 2u * (5 + 4));
    EXPECT_EQ(b.size(), 1380u + 22 + 18 + 3);

    SettingsReader r;
    ASSERT_TRUE(r.Open(path));
    EXPECT_EQ(r.ReadStringList(101), (std::vector<std::wstring>{L"C:\\a", L"D:\\"}));
    uint8_t flags[3];
    EXPECT_EQ(r.ReadBlock(105, flags, sizeof flags), 3u);
    EXPECT_EQ(flags[2], 1);
}

TEST(SettingsWriter, CarriesKeysItDoesNotRewrite) {
    fixtures::TempFolder dir;
    std::wstring path = dir / L"Quorle.ini";
    SettingsFile old(172, 3479);
    old.String(0, L"Old.dll");
    old.Block(10, {'k', 'e', 'e', 'p'}); // a key this version does not know
    old.Inline(11, 77);
    old.Block(12, {9, 9});
    old.Inline(13, 333);
    ASSERT_TRUE(old.SaveTo(path));

    {
        SettingsWriter w;
        ASSERT_TRUE(w.Open(path));
        w.WriteString(0, L"New.dll");
        w.WriteBlock(58, "\x01\x00\x41\x00\x9C\x13", 6);
        w.WriteBlock(12, nullptr, 0); // rewritten as empty: its old block must not come back
        ASSERT_TRUE(w.Finish());
    }
    std::vector<uint8_t> b = fixtures::ReadWholeFile(path);
    ASSERT_EQ(b.size(), 1380u + 14 + 6 + 4);
    EXPECT_EQ(EntryFirst(b, 10), 1380u + 14 + 6); // moved behind the new blocks
    EXPECT_EQ(EntrySecond(b, 10), 4u);
    EXPECT_EQ(std::string(b.begin() + 1400, b.end()), "keep");
    EXPECT_EQ(EntryFirst(b, 12), 0u);

    SettingsReader r;
    ASSERT_TRUE(r.Open(path));
    EXPECT_EQ(r.FormatVersion(), 3560);
    EXPECT_EQ(r.ReadInline(11, 0), 77u);  // old inline value kept
    EXPECT_EQ(r.ReadInline(13, 0), 333u); // not rewritten, so kept too
    std::wstring s;
    r.ReadString(0, s);
    EXPECT_EQ(s, L"New.dll");
}

TEST(SettingsWriter, DropsOldBlocksItCannotCarry) {
    fixtures::TempFolder dir;
    std::wstring path = dir / L"Quorle.ini";
    SettingsFile old(180, 3560); // 8 entries past the cap: the old blocks start at 4 + 8 * 180
    old.Block(10, {'o', 'k'});
    old.Block(175, {'l', 'o', 's', 't'});
    old.Entry(11, 1000000, 4);  // past the end
    old.Entry(12, 8, 4);        // inside the old directory, not a block
    old.Entry(53, 0xFFFFFFFEu, 4);
    old.Inline(170, 1);
    ASSERT_TRUE(old.SaveTo(path));

    {
        SettingsWriter w;
        ASSERT_TRUE(w.Open(path));
        w.WriteInline(1, 1);
        ASSERT_TRUE(w.Finish());
    }
    std::vector<uint8_t> b = fixtures::ReadWholeFile(path);
    ASSERT_EQ(b.size(), 1380u + 2);
    EXPECT_EQ(EntryFirst(b, 10), 1380u);
    for (int key : {11, 12, 53}) {
        EXPECT_EQ(EntryFirst(b, key), 0u) << key;
        EXPECT_EQ(EntrySecond(b, key), 0u) << key;
    }
    EXPECT_EQ(EntryFirst(b, 170), 1u);
}

TEST(SettingsWriter, RewritesDamagedAndForeignFiles) {
    fixtures::TempFolder dir;
    std::wstring path = dir / L"Quorle.ini";
    fixtures::ByteWriter junk;
    junk.U16LE(172).U16LE(1).Fill(30, 0xEE); // header, then a directory cut short
    ASSERT_TRUE(junk.SaveTo(path));
    {
        SettingsWriter w;
        ASSERT_TRUE(w.Open(path));
        w.WriteString(0, L"x");
    } // the destructor finishes
    std::vector<uint8_t> b = fixtures::ReadWholeFile(path);
    ASSERT_EQ(b.size(), 1382u);
    for (int key = 1; key < 172; ++key)
        ASSERT_EQ(EntryFirst(b, key), 0u) << key; // a short old directory counts as all empty
}

TEST(SettingsWriter, UnopenableFileWritesNothing) {
    fixtures::TempFolder dir;
    std::wstring path = dir / L"missing\\Quorle.ini";
    SettingsWriter w;
    EXPECT_FALSE(w.Open(path));
    w.WriteInline(1, 1);
    w.WriteString(0, L"x");
    EXPECT_FALSE(w.Finish());
    EXPECT_TRUE(fixtures::ReadWholeFile(path).empty());
}

// The real disk with one step made to fail. A failing write first puts half its bytes on the disk,
// as a disk that fills up part-way would.
class FailingFiles : public settings::SettingsFiles {
  public:
    enum Step { kNone, kCreate, kWrite, kFlush, kMove };
    FailingFiles(Step step, int nth) : step_(step), nth_(nth) {}

    bool Create(const std::wstring& path) override { return !Fails(kCreate) && disk_->Create(path); }
    bool Write(const void* bytes, size_t length) override {
        ++writes;
        if (Fails(kWrite)) {
            disk_->Write(bytes, length / 2);
            return false;
        }
        return disk_->Write(bytes, length);
    }
    bool Flush() override { return !Fails(kFlush) && disk_->Flush(); }
    void Close() override { disk_->Close(); }
    bool MoveOver(const std::wstring& from, const std::wstring& to) override {
        return !Fails(kMove) && disk_->MoveOver(from, to);
    }
    bool Delete(const std::wstring& path) override { return disk_->Delete(path); }

    int writes = 0;

  private:
    bool Fails(Step step) { return step == step_ && seen_[step]++ == nth_; }

    std::unique_ptr<settings::SettingsFiles> disk_ = settings::MakeDiskFiles();
    Step step_;
    int nth_;
    int seen_[5] = {};
};

SettingsFile OldSettings() {
    SettingsFile old(172, 3479);
    old.String(0, L"Old.dll");
    old.Block(10, {'k', 'e', 'e', 'p'});
    old.Inline(13, 333);
    old.String(59, L"viewer");
    return old;
}

// The keys a shutdown rewrites: several blocks, so the new file takes several writes.
bool Rewrite(settings::SettingsFiles& files, const std::wstring& path) {
    SettingsWriter w(files);
    if (!w.Open(path))
        return false;
    w.WriteString(0, L"New.dll");
    w.WriteInline(13, 200);
    w.WriteStringList(101, {L"C:\\a", L"D:\\"});
    w.WriteBlock(105, "\x01\x00\x01", 3);
    return w.Finish();
}

TEST(SettingsWriter, AnyFailedStepLeavesTheOldFileAsItWas) {
    fixtures::TempFolder dir;
    const std::wstring path = dir / L"Quorle.ini";
    const std::wstring temp = settings::SettingsTempPath(path);
    ASSERT_TRUE(OldSettings().SaveTo(path));
    const std::vector<uint8_t> oldBytes = fixtures::ReadWholeFile(path);

    FailingFiles counting(FailingFiles::kNone, 0);
    ASSERT_TRUE(Rewrite(counting, path));
    const std::vector<uint8_t> newBytes = fixtures::ReadWholeFile(path);
    EXPECT_NE(newBytes, oldBytes);
    EXPECT_FALSE(platform::FileExists(temp));
    // Header, three new blocks and the two carried ones.
    ASSERT_EQ(counting.writes, 6);

    struct Case {
        FailingFiles::Step step;
        int nth;
    };
    std::vector<Case> cases = {{FailingFiles::kCreate, 0}, {FailingFiles::kFlush, 0}, {FailingFiles::kMove, 0}};
    for (int i = 0; i < counting.writes; ++i)
        cases.push_back({FailingFiles::kWrite, i});
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "step " << c.step << ", occurrence " << c.nth);
        ASSERT_TRUE(OldSettings().SaveTo(path));
        FailingFiles failing(c.step, c.nth);
        EXPECT_FALSE(Rewrite(failing, path));
        EXPECT_EQ(fixtures::ReadWholeFile(path), oldBytes);
        EXPECT_FALSE(platform::FileExists(temp)) << "the half-written file is removed";
        // The next shutdown, with a disk that works again, writes the same file as the first did.
        FailingFiles working(FailingFiles::kNone, 0);
        EXPECT_TRUE(Rewrite(working, path));
        EXPECT_EQ(fixtures::ReadWholeFile(path), newBytes);
    }
}

TEST(SettingsWriter, ALeftoverTemporaryFileIsNeverRead) {
    fixtures::TempFolder dir;
    const std::wstring path = dir / L"Quorle.ini";
    const std::wstring temp = settings::SettingsTempPath(path);
    ASSERT_TRUE(OldSettings().SaveTo(path));
    // What a rewrite cut off after its header leaves: a directory pointing past the end.
    SettingsFile cut;
    cut.Entry(0, 1380, 100);
    ASSERT_TRUE(cut.SaveTo(temp));

    SettingsReader r;
    ASSERT_TRUE(r.Open(path));
    std::wstring language;
    r.ReadString(0, language);
    EXPECT_EQ(language, L"Old.dll");
    r.Close();

    // A writer replaces it, and start-up removes one left behind.
    {
        SettingsWriter w;
        ASSERT_TRUE(w.Open(path));
        w.WriteInline(13, 1);
        ASSERT_TRUE(w.Finish());
    }
    EXPECT_FALSE(platform::FileExists(temp));
    ASSERT_TRUE(cut.SaveTo(temp));
    settings::RemoveLeftoverTemp(path);
    EXPECT_FALSE(platform::FileExists(temp));
    EXPECT_TRUE(platform::FileExists(path));
}

} // namespace
