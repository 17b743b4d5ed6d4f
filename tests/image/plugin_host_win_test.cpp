// The plug-in host against real modules: the test doubles of tools/plugin_doubles, copied under the
// names each case needs into a folder of its own. The doubles log their loads and calls to a file, so
// the cases see what the host offered to whom.
#include "image/plugin_host_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "archive/extract.h"
#include "common/path.h"
#include "common/platform.h"
#include "tests/fixtures/byte_writer.h"

#ifndef QUORLE_PLUGIN_DOUBLES
#error "QUORLE_PLUGIN_DOUBLES must name the folder of the plug-in test doubles"
#endif

namespace {

std::wstring DoublePath(const wchar_t* name) {
    return platform::Utf8ToWide(QUORLE_PLUGIN_DOUBLES) + L"\\" + name;
}

// A picture of the image double's format, padded with zeros to `total` bytes, after `header` bytes of
// junk that no plug-in accepts.
fixtures::ByteWriter Picture(uint16_t w, uint16_t h, uint8_t bits, uint8_t mode = 0, size_t header = 0,
                             size_t total = 4096) {
    fixtures::ByteWriter b;
    for (size_t i = 0; i < header; ++i)
        b.U8(0xEE);
    b.Bytes({'Q', 'I', 'M', 'G'}).U16LE(w).U16LE(h).U8(bits).U8(mode);
    while (b.Data().size() < total)
        b.U8(0);
    return b;
}

fixtures::ByteWriter Faulting(char mode) {
    fixtures::ByteWriter b;
    b.Bytes({'Q', 'F', 'L', 'T', static_cast<uint8_t>(mode)});
    while (b.Data().size() < 4096)
        b.U8(0);
    return b;
}

struct Member {
    std::string name;
    std::string data;
};

// An archive of the archive double's format.
fixtures::ByteWriter Archive(const std::vector<Member>& members, char mode = 'n') {
    fixtures::ByteWriter b;
    b.Bytes({'Q', 'A', 'R', 'C', static_cast<uint8_t>(mode), static_cast<uint8_t>(members.size())});
    for (const Member& m : members) {
        b.U8(static_cast<uint8_t>(m.name.size())).Bytes(m.name.data(), m.name.size());
        b.U32LE(static_cast<uint32_t>(m.data.size())).Bytes(m.data.data(), m.data.size());
    }
    while (b.Data().size() < 4096)
        b.U8(0);
    return b;
}

class PluginHost : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(platform::CreateFolder(plugins_));
        SetEnvironmentVariableW(L"QUORLE_PLUGIN_LOG", log_.c_str());
        host_.lock = &lock_;
        host_.folder = plugins_ + L"\\";
    }
    void TearDown() override { SetEnvironmentVariableW(L"QUORLE_PLUGIN_LOG", nullptr); }

    void Install(const wchar_t* double_, const std::wstring& as) {
        ASSERT_TRUE(CopyFileW(DoublePath(double_).c_str(), (plugins_ + L"\\" + as).c_str(), FALSE))
            << platform::WideToUtf8(DoublePath(double_));
    }
    std::wstring Save(const std::wstring& name, const fixtures::ByteWriter& bytes) {
        const std::wstring path = files_ / name;
        EXPECT_TRUE(bytes.SaveTo(path));
        return path;
    }
    // The log since the last call, one line per load or call.
    std::vector<std::string> TakeLog() {
        std::vector<std::string> lines;
        const std::vector<uint8_t> bytes = fixtures::ReadWholeFile(log_);
        std::string line;
        for (uint8_t c : bytes) {
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
            } else if (c != '\r') {
                line += static_cast<char>(c);
            }
        }
        platform::DeleteFileAt(log_);
        return lines;
    }
    static bool Has(const std::vector<std::string>& log, const std::string& text) {
        return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }
    bool Decode(const std::wstring& path, image::DecodedImage& img) { return plugins::DecodeFile(host_, path, img); }

    fixtures::TempFolder files_;
    std::wstring plugins_ = files_ / L"plugins";
    std::wstring log_ = files_ / L"calls.log";
    win::CriticalSection lock_;
    plugins::Host host_;
};

TEST_F(PluginHost, HeaderIsSkippedInEveryCallAfterTheHeadMatched) {
    Install(L"qimage.sph", L"qimage.sph");
    image::DecodedImage img;
    const fixtures::ByteWriter bytes = Picture(5, 3, 24, 0, 128);
    ASSERT_TRUE(Decode(Save(L"mac.qim", bytes), img));
    EXPECT_EQ(image::Width(img), 5);
    EXPECT_EQ(image::Height(img), 3);
    EXPECT_EQ(image::BitCount(img), 24);
    EXPECT_EQ(img.format, 0u);
    EXPECT_EQ(img.source_bits, 24u);
    EXPECT_EQ(img.source_size, 4096u);
    EXPECT_NE(img.source_time, 0u);
    // Pixel (x 2, y 1) of the double's pattern: blue 2 * 3 + 1 * 5, green x, red y.
    const uint8_t* px = img.pixels + image::Stride(img) + 2 * 3;
    EXPECT_EQ(px[0], 11);
    EXPECT_EQ(px[1], 2);
    EXPECT_EQ(px[2], 1);
    std::vector<std::string> log = TakeLog();
    EXPECT_TRUE(Has(log, "GetPictureInfo file 128"));
    EXPECT_TRUE(Has(log, "GetPicture file 128"));
    EXPECT_FALSE(Has(log, "file 0"));

    // From memory the block is handed on past the header, with its remaining length.
    ASSERT_TRUE(plugins::DecodeMemory(host_, L"mac.qim", bytes.Data().data(), bytes.Data().size(), img));
    EXPECT_EQ(image::Width(img), 5);
    log = TakeLog();
    EXPECT_TRUE(Has(log, "GetPicture memory 3968"));
    // A picture without the header is read from offset 0.
    ASSERT_TRUE(Decode(Save(L"plain.qim", Picture(4, 4, 8)), img));
    EXPECT_TRUE(Has(TakeLog(), "GetPicture file 0"));
    // No module outlives its operation.
    EXPECT_EQ(GetModuleHandleW((plugins_ + L"\\qimage.sph").c_str()), nullptr);
}

TEST_F(PluginHost, ShortFilesAndExcludedModulesAreNeverOffered) {
    Install(L"qimage.sph", L"qimage.sph");
    image::DecodedImage img;
    EXPECT_FALSE(Decode(Save(L"small.qim", Picture(2, 2, 24, 0, 0, 2000)), img));
    EXPECT_FALSE(Has(TakeLog(), "IsSupported"));
    // From memory a short block is offered zero-padded.
    const fixtures::ByteWriter small = Picture(2, 2, 24, 0, 0, 100);
    EXPECT_TRUE(plugins::DecodeMemory(host_, L"m.qim", small.Data().data(), small.Data().size(), img));
    TakeLog();

    host_.excluded = {L"QIMAGE.SPH"};
    EXPECT_FALSE(Decode(Save(L"big.qim", Picture(2, 2, 24)), img));
    EXPECT_FALSE(Has(TakeLog(), "load"));
    EXPECT_TRUE(plugins::PluginExtensions(host_.folder, host_.excluded, &lock_).empty());
    EXPECT_FALSE(Has(TakeLog(), "load"));

    host_.folder = files_ / L"missing\\";
    host_.excluded.clear();
    EXPECT_FALSE(Decode(files_ / L"big.qim", img));
}

// Depths 1, 4 and 8 come out as 8-bit indices, 24 as is; a 32-bit answer and answers whose sizes
// disagree with their handles fail, leaving no picture.
TEST_F(PluginHost, BitDepthsAndUntrustedAnswers) {
    Install(L"qimage.sph", L"qimage.sph");
    image::DecodedImage img;
    for (uint8_t bits : {1, 4, 8}) {
        ASSERT_TRUE(Decode(Save(L"d.qim", Picture(9, 2, bits)), img)) << int(bits);
        EXPECT_EQ(image::BitCount(img), 8);
        EXPECT_EQ(img.source_bits, bits);
        const int mask = bits == 1 ? 1 : bits == 4 ? 15 : 255;
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(img.pixels[image::Stride(img) + x], (x * 3 + 5) & mask) << int(bits) << " x " << x;
    }
    const struct {
        const char* what;
        uint8_t bits;
        uint8_t mode;
    } failing[] = {{"32 bits", 32, 0},        {"pixel handle short", 24, 1}, {"header beyond handle", 8, 2},
                   {"compressed", 8, 3},       {"top-down", 24, 4}};
    for (const auto& f : failing) {
        image::DecodedImage bad;
        EXPECT_FALSE(Decode(Save(L"bad.qim", Picture(6, 4, f.bits, f.mode)), bad)) << f.what;
        EXPECT_EQ(bad.pixels, nullptr) << f.what;
    }
}

// ".spi" files are tried before ".sph" files, then in the order the folder lists them; the module
// that decoded shows in the picture's density field (its file name's first letter).
TEST_F(PluginHost, FirstAcceptingModuleWins) {
    Install(L"qimage.sph", L"b.spi");
    Install(L"qimage.sph", L"a.sph");
    Install(L"qimage.sph", L"c.sph");
    const std::wstring file = Save(L"p.qim", Picture(3, 3, 24));
    image::DecodedImage img;
    ASSERT_TRUE(Decode(file, img));
    EXPECT_EQ(img.info.header.x_pels_per_meter, 'b');

    ASSERT_TRUE(DeleteFileW((plugins_ + L"\\b.spi").c_str()));
    std::wstring first;
    platform::ListFolder(plugins_, L"*.sph", [&](const platform::FolderEntry& e) {
        first = e.name;
        return false;
    });
    ASSERT_TRUE(Decode(file, img));
    EXPECT_EQ(img.info.header.x_pels_per_meter, first[0]);

    const std::vector<plugins::PluginFileInfo> files = plugins::ListPluginFiles(plugins_, &lock_);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].fileName, first);
    EXPECT_EQ(files[0].description1, L"*.QIM;*.qimg;*.JPG;*.q2");
    EXPECT_EQ(files[0].description2, L"Test pictures/More test pictures");
    // Built-in formats are left out; the two copies give each extension once.
    EXPECT_EQ(plugins::PluginExtensions(plugins_, {}, &lock_), (std::vector<std::wstring>{L"qim", L"qimg", L"q2"}));
    EXPECT_TRUE(plugins::PluginExtensionsOfKind(host_, plugins::kArchiveMask).empty());
}

// A fault inside a module fails that call and the operation; the module is not called again in it,
// and the next file decodes.
TEST_F(PluginHost, FaultsFailTheCallAndTheProgramGoesOn) {
    Install(L"qfault.sph", L"a_fault.sph");
    Install(L"qimage.sph", L"qimage.sph");
    const std::wstring good = Save(L"good.qim", Picture(4, 4, 24));
    image::DecodedImage img;
    for (char mode : {'I', 'Z', 'A', 'S', 'Z'}) {
        const std::wstring bad = Save(std::wstring(L"fault_") + wchar_t(mode) + L".qim", Faulting(mode));
        TakeLog();
        EXPECT_FALSE(Decode(bad, img)) << mode;
        const std::vector<std::string> log = TakeLog();
        if (mode == 'I') {
            EXPECT_TRUE(Has(log, "qimage.sph IsSupported")) << "the next module is still asked";
        }
        if (mode == 'Z') {
            EXPECT_EQ(std::count(log.begin(), log.end(), "a_fault.sph GetPicture"), 0)
                << "a module that faulted is called again";
        }
        ASSERT_TRUE(Decode(good, img)) << "after fault " << mode;
        EXPECT_EQ(image::Width(img), 4);
    }
    // The thumbnail workers call the plug-ins on threads of their own: a fault there is caught too.
    bool faulted = true, decoded = false;
    std::thread worker([&] {
        image::DecodedImage local;
        faulted = Decode(files_ / L"fault_A.qim", local);
        decoded = Decode(good, local);
    });
    worker.join();
    EXPECT_FALSE(faulted);
    EXPECT_TRUE(decoded);
    // The faulting module's extension patterns fault: it gives none, the others still count.
    EXPECT_EQ(plugins::PluginExtensions(plugins_, {}, &lock_), (std::vector<std::wstring>{L"qim", L"qimg", L"q2"}));
    const std::vector<plugins::PluginFileInfo> files = plugins::ListPluginFiles(plugins_, &lock_);
    ASSERT_EQ(files.size(), 2u);
    for (const plugins::PluginFileInfo& f : files)
        EXPECT_EQ(f.description1.empty(), f.fileName == L"a_fault.sph");
    EXPECT_FALSE(plugins::ShowPluginConfiguration(nullptr, plugins_, L"a_fault.sph", &lock_));
    EXPECT_FALSE(plugins::ShowPluginConfiguration(nullptr, plugins_, L"qimage.sph", &lock_)) << "it has none";
}

class PluginArchive : public PluginHost {
  protected:
    void SetUp() override {
        PluginHost::SetUp();
        Install(L"qarchive.sph", L"qarchive.sph");
        Install(L"qimage.sph", L"qimage.sph");
    }
    std::vector<Member> members_ = {{"a.qim", "first member"}, {"sub/b.qim", "second"}, {"c.txt", "third member"}};
};

TEST_F(PluginArchive, ListsFetchesAndIgnoresImagePlugins) {
    const std::wstring path = Save(L"pics.qarc", Archive(members_));
    location::ArchiveListing listing;
    ASSERT_TRUE(plugins::ListArchive(host_, path, &listing));
    ASSERT_EQ(listing.entries.size(), 3u);
    EXPECT_EQ(listing.entries[1].folder, L"sub\\");
    EXPECT_EQ(listing.entries[1].name, L"b.qim");
    EXPECT_EQ(listing.entries[1].size, 6u);
    platform::FileTime written = 0;
    ASSERT_TRUE(platform::GetLastWriteTime(path, &written));
    EXPECT_EQ(listing.archiveTime, written);
    for (size_t i = 0; i < members_.size(); ++i) {
        platform::PageBlock block;
        uint32_t size = 99;
        ASSERT_TRUE(plugins::FetchMember(host_, path, listing.entries[i].locator, &block, &size)) << i;
        ASSERT_EQ(size, members_[i].data.size());
        EXPECT_EQ(std::string(reinterpret_cast<char*>(block.Get()), size), members_[i].data);
        EXPECT_EQ(std::memcmp(block.Get() + size, "\0\0\0\0", 4), 0);
    }
    EXPECT_EQ(plugins::PluginExtensionsOfKind(host_, plugins::kArchiveMask), std::vector<std::wstring>{L"qarc"});
    image::DecodedImage img;
    EXPECT_FALSE(plugins::DecodeFile(host_, path, img)) << "an archive module is no image module";
    EXPECT_FALSE(plugins::ListArchive(host_, Save(L"pic.qim", Picture(2, 2, 24)), &listing));
}

// Lists without their terminator or with unterminated paths, members shorter than listed and faults
// all fail; a session whose module faulted does not call it again.
TEST_F(PluginArchive, UntrustedListsAndMembersFail) {
    location::ArchiveListing listing;
    for (char mode : {'t', 'p', 'g'})
        EXPECT_FALSE(plugins::ListArchive(host_, Save(L"bad.qarc", Archive(members_, mode)), &listing)) << mode;

    plugins::ArchiveSession shortMembers;
    ASSERT_TRUE(shortMembers.Open(host_, Save(L"short.qarc", Archive(members_, 's')), &listing));
    platform::PageBlock block;
    uint32_t size = 0;
    EXPECT_FALSE(shortMembers.Fetch(listing.entries[0].locator, &block, &size));

    plugins::ArchiveSession faulting;
    ASSERT_TRUE(faulting.Open(host_, Save(L"fault.qarc", Archive(members_, 'f')), &listing));
    TakeLog();
    EXPECT_FALSE(faulting.Fetch(listing.entries[0].locator, &block, &size));
    EXPECT_FALSE(faulting.Fetch(listing.entries[1].locator, &block, &size));
    faulting.Close();
    // The lock is free again and the next archive reads.
    ASSERT_TRUE(plugins::ListArchive(host_, Save(L"ok.qarc", Archive(members_)), &listing));
}

TEST_F(PluginArchive, ExtractionKeepsMembersInsideTheNewFolder) {
    const std::vector<Member> hostile = {{"../../up.qim", "up"}, {"C:/x/in.qim", "drive"}, {"ok.qim", "fine"}};
    const std::wstring path = Save(L"Trip.qarc", Archive(hostile));
    const std::wstring target = files_ / L"out";
    ASSERT_TRUE(platform::CreateFolder(target));
    plugins::ArchiveSession session;
    location::ArchiveListing listing;
    ASSERT_TRUE(session.Open(host_, path, &listing));
    archive::SilentProgress progress;
    std::wstring created;
    const size_t written = archive::ExtractListedToFolder(
        path, listing.entries, target, progress,
        [&](const location::ArchiveEntry& e, platform::PageBlock* block, size_t* length) {
            uint32_t size = 0;
            const bool ok = session.Fetch(e.locator, block, &size);
            *length = size;
            return ok;
        },
        &created);
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(created, target + L"\\Trip");
    EXPECT_TRUE(platform::FileExists(created + L"\\up.qim"));
    EXPECT_TRUE(platform::FileExists(created + L"\\C_\\x\\in.qim"));
    EXPECT_FALSE(platform::FileExists(files_ / L"up.qim"));
    // The member's time comes from the list: 2020-09-13 12:26:40 UTC.
    platform::FileTime time = 0;
    ASSERT_TRUE(platform::GetLastWriteTime(created + L"\\ok.qim", &time));
    EXPECT_EQ(time, (1600000000ULL + 11644473600ULL) * 10000000ULL);
}

} // namespace
