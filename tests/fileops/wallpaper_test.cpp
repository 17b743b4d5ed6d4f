// The wallpaper's layout preset and values, and the bitmap file that replaces the wallpaper file.
#include "fileops/wallpaper.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/platform.h"
#include "tests/fixtures/byte_writer.h"

namespace {

using wallpaper::Layout;
using wallpaper::OneCharValue;

OneCharValue One(wchar_t c) { return {true, c}; }
const OneCharValue kTooLong = {false, 0};

TEST(WallpaperLayout, PresetFromTheDesktopValues) {
    EXPECT_EQ(wallpaper::PresetLayout(One(L'0'), One(L'0')), Layout::Centred);
    EXPECT_EQ(wallpaper::PresetLayout(One(L'0'), One(L'2')), Layout::Stretched);
    EXPECT_EQ(wallpaper::PresetLayout(One(L'0'), One(L'6')), Layout::Stretched);
    EXPECT_EQ(wallpaper::PresetLayout(One(L'1'), One(L'2')), Layout::Tiled);
    // A style such as "10" (fill) does not fit one character and presets nothing of its own.
    EXPECT_EQ(wallpaper::PresetLayout(One(L'0'), kTooLong), Layout::Centred);
    EXPECT_EQ(wallpaper::PresetLayout(kTooLong, One(L'2')), Layout::Centred);
}

TEST(WallpaperLayout, ButtonsAndRegistryValuesRoundTrip) {
    const struct {
        Layout layout;
        int button;
        const wchar_t* tile;
        const wchar_t* style;
    } cases[] = {{Layout::Centred, 2210, L"0", L"0"}, {Layout::Stretched, 2211, L"0", L"2"}, {Layout::Tiled, 2212, L"1", L"0"}};
    for (const auto& c : cases) {
        EXPECT_EQ(wallpaper::ButtonOf(c.layout), c.button);
        EXPECT_EQ(wallpaper::LayoutOfButton(c.button), c.layout);
        const wallpaper::RegistryValues v = wallpaper::ValuesOf(c.layout);
        EXPECT_STREQ(v.tile, c.tile);
        EXPECT_STREQ(v.style, c.style);
        // What was written is preset the next time.
        EXPECT_EQ(wallpaper::PresetLayout(One(v.tile[0]), One(v.style[0])), c.layout);
    }
}

// A 24-bit picture whose pixel (x, y), top row first, is (x, y, 200) as blue, green, red.
image::DecodedImage Picture(int width, int height) {
    image::DecodedImage img;
    image::SetBitmapHeader(img, width, height, 24);
    image::AdoptPixels(img, image::AllocPixelBlock(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 24));
    const size_t stride = image::StrideFor(static_cast<uint32_t>(width), 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = img.pixels + static_cast<size_t>(height - 1 - y) * stride + 3 * static_cast<size_t>(x);
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = 200;
        }
    return img;
}

struct Bmp {
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bits = 0;
    std::vector<uint8_t> bytes;
    // Blue and green of pixel (x, y), top row first.
    std::pair<int, int> At(int x, int y) const {
        uint32_t offset = 0;
        std::memcpy(&offset, &bytes[10], 4);
        const size_t stride = image::StrideFor(static_cast<uint32_t>(width), bits);
        const size_t at = offset + static_cast<size_t>(height - 1 - y) * stride + 3 * static_cast<size_t>(x);
        return {bytes[at], bytes[at + 1]};
    }
};

Bmp ReadBmp(const std::wstring& path) {
    Bmp b;
    b.bytes = fixtures::ReadWholeFile(path);
    if (b.bytes.size() >= 54 && b.bytes[0] == 'B' && b.bytes[1] == 'M') {
        std::memcpy(&b.width, &b.bytes[18], 4);
        std::memcpy(&b.height, &b.bytes[22], 4);
        std::memcpy(&b.bits, &b.bytes[28], 2);
    }
    return b;
}

TEST(WallpaperFile, TurnedByOrientationAndWrittenAs24Bits) {
    fixtures::TempFolder folder;
    const std::wstring file = folder / L"save_wp.bmp";
    image::DecodedImage img = Picture(5, 3);
    ASSERT_TRUE(wallpaper::WriteWallpaperFile(img, 6, true, file));
    const Bmp turned = ReadBmp(file);
    ASSERT_EQ(turned.width, 3);
    ASSERT_EQ(turned.height, 5);
    EXPECT_EQ(turned.bits, 24);
    // A quarter turn clockwise: the new top row is the old left column read bottom to top.
    EXPECT_EQ(turned.At(0, 0), std::make_pair(0, 2));
    EXPECT_EQ(turned.At(2, 0), std::make_pair(0, 0));
    EXPECT_EQ(turned.At(0, 4), std::make_pair(4, 2));
    EXPECT_FALSE(platform::PathExists(file + L".new"));

    // With turning off the orientation is ignored; the file is replaced.
    image::DecodedImage upright = Picture(5, 3);
    ASSERT_TRUE(wallpaper::WriteWallpaperFile(upright, 6, false, file));
    const Bmp same = ReadBmp(file);
    EXPECT_EQ(same.width, 5);
    EXPECT_EQ(same.height, 3);
    EXPECT_EQ(same.At(4, 1), std::make_pair(4, 1));

    // Orientation 8 turns counter-clockwise, anything else unknown half a turn.
    image::DecodedImage left = Picture(5, 3);
    ASSERT_TRUE(wallpaper::WriteWallpaperFile(left, 8, true, file));
    EXPECT_EQ(ReadBmp(file).At(0, 0), std::make_pair(4, 0));
    image::DecodedImage half = Picture(5, 3);
    ASSERT_TRUE(wallpaper::WriteWallpaperFile(half, 3, true, file));
    EXPECT_EQ(ReadBmp(file).At(0, 0), std::make_pair(4, 2));
}

TEST(WallpaperFile, GreyPicturesBecome24Bits) {
    fixtures::TempFolder folder;
    const std::wstring file = folder / L"save_wp.bmp";
    image::DecodedImage grey;
    image::SetBitmapHeader(grey, 4, 2, 8);
    image::SetGreyRamp(grey);
    image::AdoptPixels(grey, image::AllocPixelBlock(4, 2, 8));
    grey.pixels[1] = 77; // bottom row, second pixel
    ASSERT_TRUE(wallpaper::WriteWallpaperFile(grey, 1, true, file));
    const Bmp b = ReadBmp(file);
    EXPECT_EQ(b.bits, 24);
    EXPECT_EQ(b.At(1, 1), std::make_pair(77, 77));
}

TEST(WallpaperFile, AFailureLeavesTheOldWallpaperAlone) {
    fixtures::TempFolder folder;
    const std::wstring file = folder / L"save_wp.bmp";
    image::DecodedImage first = Picture(5, 3);
    ASSERT_TRUE(wallpaper::WriteWallpaperFile(first, 1, true, file));
    const std::vector<uint8_t> before = fixtures::ReadWholeFile(file);

    image::DecodedImage nothing; // a failed decode leaves no pixels
    EXPECT_FALSE(wallpaper::WriteWallpaperFile(nothing, 1, true, file));
    EXPECT_EQ(fixtures::ReadWholeFile(file), before);

    // The folder of the wallpaper file is gone: nothing is written anywhere.
    image::DecodedImage second = Picture(2, 2);
    EXPECT_FALSE(wallpaper::WriteWallpaperFile(second, 1, true, folder / L"gone\\save_wp.bmp"));
    EXPECT_EQ(fixtures::ReadWholeFile(file), before);
    EXPECT_FALSE(platform::PathExists(file + L".new"));
}

} // namespace
