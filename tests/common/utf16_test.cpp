#include "common/utf16.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Utf16, LittleEndianUnitsRoundTrip) {
    const std::wstring smiley = utf16::FromUnits(u"\U0001F600", 2);
    struct Case {
        std::wstring text;
        std::vector<uint8_t> bytes;
        size_t units;
    } cases[] = {
        {L"", {}, 0},
        {L"Ab", {0x41, 0x00, 0x62, 0x00}, 2},
        {L"\u00E9\u65E5", {0xE9, 0x00, 0xE5, 0x65}, 2},
        {smiley, {0x3D, 0xD8, 0x00, 0xDE}, 2}, // a surrogate pair on disk
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out;
        utf16::AppendLE(out, c.text);
        EXPECT_EQ(out, c.bytes);
        EXPECT_EQ(utf16::UnitCount(c.text), c.units);
        EXPECT_EQ(utf16::FromLE(c.bytes.data(), c.bytes.size() / 2), c.text);
    }
    EXPECT_EQ(utf16::ToUnits(smiley), std::u16string(u"\U0001F600"));
}

TEST(Utf16, LoneSurrogatesSurvive) {
    // Names on disk may hold unpaired surrogates; they must round-trip unchanged.
    const uint8_t lone[] = {0x3D, 0xD8, 0x41, 0x00};
    std::wstring text = utf16::FromLE(lone, 2);
    ASSERT_EQ(text.size(), 2u);
    std::vector<uint8_t> out;
    utf16::AppendLE(out, text);
    EXPECT_EQ(out, std::vector<uint8_t>(lone, lone + 4));
}

} // namespace
