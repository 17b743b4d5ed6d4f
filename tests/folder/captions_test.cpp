#include "folder/captions.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(Captions, ThousandsSeparators) {
    struct Case {
        uint64_t value;
        const wchar_t* text;
    } cases[] = {
        {0, L"0"},
        {999, L"999"},
        {1000, L"1,000"},
        {123456, L"123,456"},
        {1234567, L"1,234,567"},
        {UINT64_MAX, L"18,446,744,073,709,551,615"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(folder::GroupThousands(c.value), c.text) << c.value;
}

TEST(Captions, KiBTexts) {
    struct Case {
        uint32_t bytes;
        const wchar_t* text;
    } cases[] = {
        {0, L"0KB"},
        {1, L"1KB"},
        {1023, L"1KB"},
        {1024, L"1KB"},
        {1025, L"2KB"},
        {1234567u * 1024u, L"1,234,567KB"},
        {0xFFFFFFFFu, L"4,194,304KB"}, // must not wrap
    };
    for (const Case& c : cases)
        EXPECT_EQ(folder::KiBText(c.bytes), c.text) << c.bytes;
}

TEST(Captions, StatusCounts) {
    EXPECT_EQ(folder::SelectionCountText(0, 0), L"-");
    EXPECT_EQ(folder::SelectionCountText(0, 12), L"0/12");
    EXPECT_EQ(folder::SelectionCountText(3, 12), L"3/12");
    EXPECT_STREQ(folder::kLoadingCountText, L"0/0");
}

TEST(Captions, InfoLines) {
    folder::ThumbItem item;
    item.width = 4000;
    item.height = 3000;
    item.size = 2000000;
    item.bitDepth = 24;
    EXPECT_EQ(folder::SizeLine(item), L"4000x3000 (1,954KB)");

    struct Case {
        int32_t format, markC, markE, markI, markA;
        bool autoRotate;
        const wchar_t* text;
    } cases[] = {
        {3, 0, 0, 0, 0, true, L"24bit"},
        {3, 2, 2, 1, 0, true, L"24bit P Exif R C"},
        {3, 1, 2, 0, 0, false, L"24bit Exif C"},
        {3, 0, 1, 0, 1, true, L"24bit Exif"}, // mark A means nothing for JPEG
        {2, 3, 2, 1, 1, true, L"24bit A I Text"}, // PNG comment count is not shown
        {5, 1, 0, 1, 1, true, L"24bit A I C"},
        {4, 1, 0, 1, 1, true, L"24bit C"},
        {1, 1, 1, 1, 1, true, L"24bit"},
    };
    for (const Case& c : cases) {
        item.format = c.format;
        item.markC = c.markC;
        item.markE = c.markE;
        item.markI = c.markI;
        item.markA = c.markA;
        EXPECT_EQ(folder::BitsLine(item, c.autoRotate), c.text) << c.format;
    }
    EXPECT_EQ(folder::DateLine(2024, 3, 7, 9, 5, 0), L"2024-03-07 09:05:00");
    EXPECT_EQ(folder::BoxText(140, 105), L"140x105");
}

TEST(Grid, ColumnsRowsAndScrolling) {
    EXPECT_EQ(folder::GridColumns(50, 142), 1); // narrower than one cell
    EXPECT_EQ(folder::GridColumns(600, 142), 4);
    EXPECT_EQ(folder::GridRows(10, 160), 1);
    EXPECT_EQ(folder::ScrollMaximum(160, 10, 4), 3 * 160 - 1);
    EXPECT_EQ(folder::ScrollMaximum(160, 8, 4), 2 * 160 - 1);
    EXPECT_EQ(folder::ScrollMaximum(160, 0, 4), -1);
    EXPECT_EQ(folder::SnapToRow(160, 79), 0);
    EXPECT_EQ(folder::SnapToRow(160, 80), 160);
    EXPECT_EQ(folder::SnapToRow(160, 239), 160);
    EXPECT_EQ(folder::SnapToRow(160, 240), 320);
}

} // namespace
