// What the cache maintenance list says of an index entry.
#include "ui/cache_maintenance.h"

#include <gtest/gtest.h>

namespace {

thumbs::CacheEntryInfo Entry(bool readable, uint32_t records, uint64_t bytes) {
    thumbs::CacheEntryInfo e;
    e.record.number = 10000003;
    e.record.boxWidth = 160;
    e.record.boxHeight = 120;
    e.record.path = L"C:\\Photos\\2024";
    e.dataReadable = readable;
    e.recordCount = records;
    e.dataBytes = bytes;
    return e;
}

TEST(CacheRows, SizesAreWholeKibRoundedDownAndGrouped) {
    struct Case {
        uint32_t records;
        uint64_t bytes;
        const wchar_t* count;
        const wchar_t* size;
    } cases[] = {
        {0, 8, L"0", L"0"},                  // an empty data file: header only
        {1, 1023, L"1", L"0"},               // below one KiB
        {1, 44108, L"1", L"43"},             // one 140 x 105 record
        {1000, 1024 * 1000, L"1,000", L"1,000"},
        {23456, 2147483647ull, L"23,456", L"2,097,151"},
    };
    for (const Case& c : cases) {
        const cachelist::RowTexts row = cachelist::RowTextsOf(Entry(true, c.records, c.bytes));
        EXPECT_EQ(row.count, c.count) << c.bytes;
        EXPECT_EQ(row.size, c.size) << c.bytes;
        EXPECT_EQ(row.number, L"10000003");
        EXPECT_EQ(row.box, L"160x120");
        EXPECT_EQ(row.location, L"C:\\Photos\\2024");
    }
    // A data file that cannot be read leaves both columns empty, not "0".
    const cachelist::RowTexts unreadable = cachelist::RowTextsOf(Entry(false, 0, 0));
    EXPECT_TRUE(unreadable.count.empty());
    EXPECT_TRUE(unreadable.size.empty());
    EXPECT_EQ(unreadable.box, L"160x120");
}

TEST(CacheRows, LocationColumnTakesTheRestButNeverLessThanNothing) {
    EXPECT_EQ(cachelist::LocationWidth(600, 17), 600 - 17 - 279);
    EXPECT_EQ(cachelist::LocationWidth(200, 17), 0);
}

} // namespace
