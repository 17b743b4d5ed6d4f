#include "common/byte_cursor.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(ByteCursor, ReadsBothByteOrdersAndSpans) {
    const uint8_t data[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x01};
    bytes::ByteCursor in(data, sizeof data);
    EXPECT_EQ(in.U32BE(), 0x12345678u);
    in.Seek(0);
    EXPECT_EQ(in.U32LE(), 0x78563412u);
    in.Seek(0);
    EXPECT_EQ(in.U16(true), 0x1234);
    EXPECT_EQ(in.U16(false), 0x7856);
    EXPECT_EQ(in.U32(true), 0x9ABCDEF0u);
    EXPECT_EQ(in.Left(), 1u);
    in.Seek(2);
    const uint8_t* span = in.Bytes(3);
    ASSERT_EQ(span, data + 2);
    EXPECT_EQ(in.Pos(), 5u);
    EXPECT_EQ(in.Bytes(4), data + 5); // exactly to the end
    EXPECT_EQ(in.Bytes(0), data + 9);
    EXPECT_TRUE(in.Ok());
}

TEST(ByteCursor, AnyOverrunFailsForGoodAndReadsZero) {
    const uint8_t data[] = {1, 2, 3};
    struct Case {
        const char* what;
        bool (*overrun)(bytes::ByteCursor& in);
    } cases[] = {
        {"U32BE", [](bytes::ByteCursor& in) { return in.U32BE() == 0; }},
        {"U32 little", [](bytes::ByteCursor& in) { return in.U32(false) == 0; }},
        {"Bytes", [](bytes::ByteCursor& in) { return in.Bytes(4) == nullptr; }},
        {"Skip", [](bytes::ByteCursor& in) { return !in.Skip(4); }},
        {"Seek", [](bytes::ByteCursor& in) { return !in.Seek(4); }},
        {"huge Skip", [](bytes::ByteCursor& in) { return !in.Skip(SIZE_MAX); }},
        {"huge Bytes after one byte", [](bytes::ByteCursor& in) { return in.U8() == 1 && !in.Bytes(SIZE_MAX); }},
    };
    for (const Case& c : cases) {
        bytes::ByteCursor in(data, sizeof data);
        EXPECT_TRUE(c.overrun(in)) << c.what;
        EXPECT_FALSE(in.Ok()) << c.what;
        EXPECT_EQ(in.Left(), 0u) << c.what;
        EXPECT_EQ(in.U8(), 0) << c.what; // nothing more comes out
        EXPECT_FALSE(in.Ok()) << c.what;
    }
    bytes::ByteCursor none(nullptr, 100); // no data has no size
    EXPECT_EQ(none.Size(), 0u);
    EXPECT_EQ(none.Bytes(1), nullptr);
}

TEST(ByteCursor, FitsNeverWraps) {
    struct Case {
        size_t size;
        uint64_t at, n;
        bool fits;
    } cases[] = {
        {10, 0, 10, true},    {10, 10, 0, true},  {10, 10, 1, false}, {10, 11, 0, false},
        {10, 4, 6, true},     {10, 4, 7, false},  {0, 0, 0, true},    {10, 1, UINT64_MAX, false},
        {10, UINT64_MAX, 2, false}, // at + n wraps to 1
        {10, 8, UINT64_MAX - 3, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(bytes::Fits(c.size, c.at, c.n), c.fits) << c.size << " " << c.at << " " << c.n;
}

} // namespace
