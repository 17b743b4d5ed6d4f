#include "image/detect.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/fixtures/byte_writer.h"

namespace {

using image::ImageFormat;

struct SignatureCase {
    std::vector<uint8_t> head;
    ImageFormat expected;
};

TEST(DetectFormat, SignaturesOfTheFirstEightBytes) {
    const SignatureCase cases[] = {
        {{0x42, 0x4D, 0, 0, 0, 0, 0, 0}, ImageFormat::Bmp},
        {{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}, ImageFormat::Png},
        {{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0B}, ImageFormat::Unknown}, // last byte wrong
        {{0x89, 0x50, 0x4E, 0x48, 0x0D, 0x0A, 0x1A, 0x0A}, ImageFormat::Unknown},
        {{0x89, 0x51, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}, ImageFormat::Unknown},
        {{0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0}, ImageFormat::Jpeg},
        {{0xFF, 0xD9, 0, 0, 0, 0, 0, 0}, ImageFormat::Unknown},
        {{0x49, 0x49, 0x2A, 0, 8, 0, 0, 0}, ImageFormat::Tiff},
        {{0x49, 0x49, 0x2B, 0, 8, 0, 0, 0}, ImageFormat::Unknown},
        {{0x4D, 0x4D, 0x00, 0x2A, 0, 0, 0, 8}, ImageFormat::Tiff},
        {{0x4D, 0x4D, 0x77, 0x2A, 0, 0, 0, 8}, ImageFormat::Tiff}, // third byte is not checked
        {{0x4D, 0x4D, 0x2A, 0x00, 0, 0, 0, 8}, ImageFormat::Unknown},
        {{'G', 'I', 'F', '8', '9', 'a', 1, 0}, ImageFormat::Gif},
        {{'G', 'I', 'X', '8', '9', 'a', 1, 0}, ImageFormat::Unknown},
        {{0, 0, 0, 0, 0, 0, 0, 0}, ImageFormat::Unknown},
    };
    for (const SignatureCase& c : cases)
        EXPECT_EQ(image::DetectFormatFromMemory(c.head.data(), c.head.size()), c.expected)
            << "first bytes " << int(c.head[0]) << " " << int(c.head[1]) << " " << int(c.head[2]);
}

TEST(DetectFormat, ShortDataIsUnreadable) {
    const uint8_t jpeg[8] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0};
    EXPECT_EQ(image::DetectFormatFromMemory(jpeg, 7), ImageFormat::Unreadable);
    EXPECT_EQ(image::DetectFormatFromMemory(nullptr, 0), ImageFormat::Unreadable);

    fixtures::TempFolder dir;
    fixtures::ByteWriter seven;
    seven.Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0});
    ASSERT_TRUE(seven.SaveTo(dir / L"seven.jpg"));
    EXPECT_EQ(image::DetectFormatFromFile(dir / L"seven.jpg"), ImageFormat::Unreadable);
    EXPECT_EQ(image::DetectFormatFromFile(dir / L"missing.jpg"), ImageFormat::Unreadable);
    EXPECT_EQ(image::DetectFormatFromFile(dir.Path()), ImageFormat::Unreadable) << "a folder";

    fixtures::ByteWriter eight;
    eight.Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0});
    ASSERT_TRUE(eight.SaveTo(dir / L"eight.jpg"));
    EXPECT_EQ(image::DetectFormatFromFile(dir / L"eight.jpg"), ImageFormat::Jpeg);
}

TEST(DetectFormat, FileContentWinsOverItsExtension) {
    fixtures::TempFolder dir;
    fixtures::ByteWriter png;
    png.Bytes({0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}).U32BE(13).Ascii("IHDR");
    ASSERT_TRUE(png.SaveTo(dir / L"photo.jpg"));
    EXPECT_EQ(image::DetectFormatFromFile(dir / L"photo.jpg"), ImageFormat::Png);
}

TEST(FormatFromExtension, MapsByTheLastDotIgnoringAsciiCase) {
    const struct {
        const wchar_t* name;
        ImageFormat expected;
    } cases[] = {
        {L"a.jpg", ImageFormat::Jpeg},    {L"a.JPEG", ImageFormat::Jpeg},  {L"a.Jpe", ImageFormat::Jpeg},
        {L"a.png", ImageFormat::Png},     {L"a.gif", ImageFormat::Gif},    {L"a.Bmp", ImageFormat::Bmp},
        {L"a.Tif", ImageFormat::Tiff},    {L"a.TIFF", ImageFormat::Tiff},  {L"a.jpg2", ImageFormat::Unknown},
        {L"jpg", ImageFormat::Unknown},   {L"", ImageFormat::Unknown},     {L"a.png.jpg", ImageFormat::Jpeg},
        {L"a.jpg.txt", ImageFormat::Unknown}, {L".gif", ImageFormat::Gif}, {L"a.", ImageFormat::Unknown},
        {L"a.j\x00F6g", ImageFormat::Unknown},
    };
    for (const auto& c : cases)
        EXPECT_EQ(image::FormatFromExtension(c.name), c.expected) << std::wstring(c.name).size();
}

} // namespace
