#include "tests/fixtures/byte_writer.h"

#include <gtest/gtest.h>

#include "common/platform.h"

namespace {

TEST(ByteWriter, EndiannessPatchesAndAlignment) {
    fixtures::ByteWriter w;
    w.U8(1).U16LE(0x0203).U32LE(0x04050607).U16BE(0x0809).U32BE(0x0A0B0C0D).Utf16LE(L"A");
    EXPECT_EQ(w.Data(), (std::vector<uint8_t>{1, 3, 2, 7, 6, 5, 4, 8, 9, 10, 11, 12, 13, 'A', 0}));
    w.PatchU32LE(1, 0xAABBCCDD);
    EXPECT_EQ(w.Data()[1], 0xDD);
    EXPECT_EQ(w.Data()[4], 0xAA);
    w.Align(4, 0xFF);
    EXPECT_EQ(w.Size(), 16u);
    EXPECT_EQ(w.Data()[15], 0xFF);
    w.PatchU32BE(12, 0x01020304);
    EXPECT_EQ(w.Data()[12], 1);
    EXPECT_EQ(w.Data()[15], 4);
}

TEST(ByteWriter, SavedFilesReadBackAndTempFoldersVanish) {
    std::wstring kept;
    {
        fixtures::TempFolder dir;
        ASSERT_FALSE(dir.Path().empty());
        kept = dir / L"f.bin";
        fixtures::ByteWriter w;
        w.Fill(3, 0x7F).U64LE(0x1122334455667788ULL);
        ASSERT_TRUE(w.SaveTo(kept));
        EXPECT_EQ(fixtures::ReadWholeFile(kept), w.Data());
        fixtures::ByteWriter empty;
        ASSERT_TRUE(empty.SaveTo(dir / L"empty"));
        EXPECT_TRUE(platform::FileExists(dir / L"empty"));
    }
    EXPECT_FALSE(platform::PathExists(kept)) << "the folder and its files are removed";
    EXPECT_TRUE(fixtures::ReadWholeFile(kept).empty());
}

} // namespace
