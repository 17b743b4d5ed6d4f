#include "image/plugin_records.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <string>
#include <vector>

#include "tests/fixtures/byte_writer.h"

namespace {

using plugins::ConvertPluginBitmap;
using plugins::EntrySize;
using plugins::ParseEntryList;

TEST(PluginRecords, KindsAndAnswers) {
    EXPECT_EQ(plugins::KindFromVersion("00IN", 4), plugins::kImagePlugin);
    EXPECT_EQ(plugins::KindFromVersion("00AM", 4), plugins::kArchivePlugin);
    for (const char* other : {"00XN", "T0XN", "01IN", "00in", "00I"})
        EXPECT_EQ(plugins::KindFromVersion(other, std::strlen(other)), plugins::kNotUsable) << other;

    const char full[4] = {'a', 'b', 'c', 'd'}; // no terminator: the buffer's size bounds it
    EXPECT_EQ(plugins::InfoAnswer(full, 4, 9), "abcd");
    EXPECT_EQ(plugins::InfoAnswer("ab\0cd", 5, 5), "ab"); // a NUL counted in the length
    EXPECT_EQ(plugins::InfoAnswer("abcd", 5, 0), "");
    EXPECT_EQ(plugins::InfoAnswer("abcd", 5, -1), "");

    std::vector<std::wstring> exts = {L"qim"};
    plugins::AddPatternExtensions(L"*.WebP; *.wp2 ;*.JPG;*.tiff;*.*;noext;*.QIM;*.webp;;*.a?c", &exts);
    EXPECT_EQ(exts, (std::vector<std::wstring>{L"qim", L"webp", L"wp2"}));
}

// A bitmap-info block: the header (of `headerSize` bytes) then `colours` entries.
std::vector<uint8_t> Info(int32_t w, int32_t h, uint16_t bits, uint32_t headerSize = 40, int colours = 0,
                          uint32_t compression = 0) {
    fixtures::ByteWriter b;
    b.U32LE(headerSize).U32LE(static_cast<uint32_t>(w)).U32LE(static_cast<uint32_t>(h)).U16LE(1).U16LE(bits);
    b.U32LE(compression).U32LE(0).U32LE(0).U32LE(0).U32LE(0).U32LE(0);
    std::vector<uint8_t> out = b.Data();
    out.resize(headerSize, 0);
    for (int i = 0; i < colours; ++i)
        out.insert(out.end(), {uint8_t(i), uint8_t(2 * i), uint8_t(3 * i), 0});
    return out;
}

std::vector<uint8_t> Cut(std::vector<uint8_t> v, size_t size) {
    v.resize(size);
    return v;
}

TEST(PluginRecords, PackedIndicesAreExpandedRowByRow) {
    // 10 x 2 at 1 bit: rows of 4 bytes; 3 x 2 at 4 bits: rows of 4 bytes.
    const std::vector<uint8_t> oneBit = {0xA5, 0xC0, 0, 0, 0x0F, 0x80, 0, 0};
    image::DecodedImage img;
    const std::vector<uint8_t> info1 = Info(10, 2, 1, 40, 2);
    ASSERT_TRUE(ConvertPluginBitmap(info1.data(), info1.size(), oneBit.data(), oneBit.size(), 0, img));
    EXPECT_EQ(image::BitCount(img), 8);
    EXPECT_EQ(img.source_bits, 1u);
    EXPECT_EQ(img.format, 0u);
    const uint8_t row0[10] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 1}, row1[10] = {0, 0, 0, 0, 1, 1, 1, 1, 1, 0};
    EXPECT_EQ(std::memcmp(img.pixels, row0, 10), 0);
    EXPECT_EQ(std::memcmp(img.pixels + image::Stride(img), row1, 10), 0);
    EXPECT_EQ(img.info.colors[1].green, 2);

    const std::vector<uint8_t> fourBit = {0x12, 0x30, 0, 0, 0xAB, 0xC0, 0, 0};
    const std::vector<uint8_t> info4 = Info(3, 2, 4, 40, 16);
    ASSERT_TRUE(ConvertPluginBitmap(info4.data(), info4.size(), fourBit.data(), fourBit.size(), 4, img));
    const uint8_t four0[3] = {1, 2, 3}, four1[3] = {10, 11, 12};
    EXPECT_EQ(std::memcmp(img.pixels, four0, 3), 0);
    EXPECT_EQ(std::memcmp(img.pixels + image::Stride(img), four1, 3), 0);
}

TEST(PluginRecords, ColourTableFollowsALongerHeader) {
    const std::vector<uint8_t> info = Info(2, 1, 8, 124, 3);
    const std::vector<uint8_t> bits = {2, 1, 0, 0};
    image::DecodedImage img;
    ASSERT_TRUE(ConvertPluginBitmap(info.data(), info.size(), bits.data(), bits.size(), 0, img));
    EXPECT_EQ(img.info.header.size, 40u);
    EXPECT_EQ(img.info.colors[2].red, 6);
    EXPECT_EQ(img.info.colors[3].red, 0); // beyond what the handle held
    EXPECT_EQ(img.pixels[0], 2);
}

// Every answer whose sizes do not add up, or whose depth the program does not take, fails.
TEST(PluginRecords, UntrustedBitmapsFail) {
    const std::vector<uint8_t> bits(64, 7);
    const struct {
        const char* what;
        std::vector<uint8_t> info;
        size_t bitsSize;
    } cases[] = {
        {"32 bits", Info(2, 2, 32), 16},
        {"16 bits", Info(2, 2, 16), 8},
        {"compressed", Info(2, 2, 8, 40, 0, 1), 8},
        {"top-down", Info(2, -2, 24), 16},
        {"zero width", Info(0, 2, 24), 16},
        {"rows beyond the pixel handle", Info(2, 2, 24), 15},
        {"header longer than its handle", Cut(Info(2, 2, 24, 200), 100), 16},
        {"info handle shorter than a header", Cut(Info(2, 2, 24), 39), 16},
        {"huge", Info(0x7FFFFFFF, 0x7FFFFFFF, 24), 64},
    };
    for (const auto& c : cases) {
        image::DecodedImage img;
        EXPECT_FALSE(ConvertPluginBitmap(c.info.data(), c.info.size(), bits.data(), c.bitsSize, 0, img)) << c.what;
        EXPECT_EQ(img.pixels, nullptr) << c.what;
    }
}

// One x64 archive entry record (448 bytes).
void Entry(fixtures::ByteWriter& b, uint64_t position, uint64_t size, const std::string& path, const std::string& name,
           uint64_t seconds = 1600000000) {
    std::vector<uint8_t> e(plugins::kEntryStride, 0);
    std::memcpy(e.data(), "store", 5);
    for (int i = 0; i < 8; ++i) {
        e[8 + i] = static_cast<uint8_t>(position >> (8 * i));
        e[16 + i] = e[24 + i] = static_cast<uint8_t>(size >> (8 * i));
        e[32 + i] = static_cast<uint8_t>(seconds >> (8 * i));
    }
    std::memcpy(e.data() + 40, path.data(), std::min<size_t>(path.size(), 200));
    std::memcpy(e.data() + 240, name.data(), std::min<size_t>(name.size(), 200));
    b.Bytes(e);
}

TEST(PluginRecords, EntryListsAreReadAt448ByteSteps) {
    fixtures::ByteWriter b;
    Entry(b, 10, 300, "", "a.jpg");
    Entry(b, 400, 5, "sub\\deep\\", "b.webp");
    Entry(b, 0x100000000ULL, 5, "", "far.jpg"); // beyond the 32-bit locator
    Entry(b, 500, 0, "", "pics/c.jpg");         // a plug-in that puts the path in the name
    Entry(b, 600, 0, "dir\\", "");              // a folder member
    b.U8(0);                                    // a one-byte terminator is enough
    location::ArchiveListing listing;
    std::vector<EntrySize> sizes;
    ASSERT_TRUE(ParseEntryList(b.Data().data(), b.Data().size(), &listing, &sizes));
    ASSERT_EQ(listing.entries.size(), 4u);
    EXPECT_EQ(listing.entries[0].name, L"a.jpg");
    EXPECT_EQ(listing.entries[0].folder, L"");
    EXPECT_EQ(listing.entries[0].locator, 10u);
    EXPECT_EQ(listing.entries[0].size, 300u);
    EXPECT_EQ(listing.entries[0].time, (1600000000ULL + 11644473600ULL) * 10000000ULL);
    EXPECT_EQ(listing.entries[1].folder, L"sub\\deep\\");
    EXPECT_EQ(listing.entries[1].name, L"b.webp");
    EXPECT_EQ(listing.entries[2].folder, L"pics\\");
    EXPECT_EQ(listing.entries[2].name, L"c.jpg");
    EXPECT_EQ(listing.entries[3].folder, L"dir\\");
    EXPECT_EQ(listing.entries[3].name, L"");
    EXPECT_EQ(sizes[1].position, 400u);
    EXPECT_EQ(sizes[1].fileSize, 5u);
}

TEST(PluginRecords, BrokenEntryListsFail) {
    fixtures::ByteWriter good;
    Entry(good, 10, 300, "", "a.jpg");
    const std::vector<uint8_t> unterminated = good.Data();
    fixtures::ByteWriter cut;
    Entry(cut, 10, 300, "", "a.jpg");
    std::vector<uint8_t> shortRecord = cut.Data();
    shortRecord.resize(plugins::kEntryStride + 300, 1);
    fixtures::ByteWriter longPath;
    Entry(longPath, 10, 3, std::string(200, 'p'), "a.jpg");
    longPath.U8(0);
    fixtures::ByteWriter longName;
    Entry(longName, 10, 3, "", std::string(200, 'n'));
    longName.U8(0);
    const struct {
        const char* what;
        std::vector<uint8_t> data;
    } cases[] = {{"no terminator", unterminated},
                 {"record cut short", shortRecord},
                 {"path without NUL", longPath.Data()},
                 {"name without NUL", longName.Data()},
                 {"empty", {}}};
    for (const auto& c : cases) {
        location::ArchiveListing listing;
        std::vector<EntrySize> sizes;
        EXPECT_FALSE(ParseEntryList(c.data.data(), c.data.size(), &listing, &sizes)) << c.what;
    }
}

} // namespace
