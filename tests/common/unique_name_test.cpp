#include "common/unique_name.h"

#include <gtest/gtest.h>

#include "common/platform.h"
#include "tests/fixtures/byte_writer.h"

namespace {

TEST(UniqueName, CountsBeforeTheExtensionOrAtTheEnd) {
    fixtures::TempFolder dir;
    const std::wstring photo = dir / L"photo.jpg";
    EXPECT_EQ(paths::MakeUniqueName(photo, true), photo) << "a free name is kept";
    ASSERT_TRUE(fixtures::ByteWriter().U8(1).SaveTo(photo));
    EXPECT_EQ(paths::MakeUniqueName(photo, true), dir / L"photo+1.jpg");
    ASSERT_TRUE(fixtures::ByteWriter().U8(1).SaveTo(dir / L"photo+1.jpg"));
    EXPECT_EQ(paths::MakeUniqueName(photo, true), dir / L"photo+2.jpg");

    // A folder is counted at its end, whatever dots its name holds; a dot in a folder above the
    // name is no extension.
    const std::wstring trip = dir / L"trip.2015";
    ASSERT_TRUE(platform::CreateFolder(trip));
    EXPECT_EQ(paths::MakeUniqueName(trip, false), dir / L"trip.2015+1");
    ASSERT_TRUE(fixtures::ByteWriter().U8(1).SaveTo(trip + L"\\raw"));
    EXPECT_EQ(paths::MakeUniqueName(trip + L"\\raw", true), trip + L"\\raw+1");
}

TEST(UniqueName, StaysWithinTheLengthLimit) {
    fixtures::TempFolder dir;
    std::wstring name = dir.Path() + L"\\";
    name.append(paths::kMaxPathChars - name.size() - 4, L'a');
    name += L".jpg"; // exactly 259 characters
    ASSERT_EQ(name.size(), paths::kMaxPathChars);
    EXPECT_EQ(paths::MakeUniqueName(name, true), name);
    EXPECT_TRUE(paths::MakeUniqueName(name + L"x", true).empty()) << "too long to begin with";
}

TEST(PlatformTimes, DosTimesRoundTripThroughLocalTime) {
    platform::FileTime utc = 0;
    const uint16_t date = (40 << 9) | (6 << 5) | 15; // 2020-06-15
    const uint16_t time = (12 << 11) | (34 << 5) | 28; // 12:34:56
    ASSERT_TRUE(platform::DosDateTimeToUtc(date, time, &utc));
    uint16_t d = 0, t = 0;
    ASSERT_TRUE(platform::UtcToDosDateTime(utc, &d, &t));
    EXPECT_EQ(d, date);
    EXPECT_EQ(t, time);
    // One second later still rounds down to the same two-second step.
    ASSERT_TRUE(platform::UtcToDosDateTime(utc + 10000000ULL, &d, &t));
    EXPECT_EQ(t, time);
    EXPECT_FALSE(platform::UtcToDosDateTime(0, &d, &t)) << "1601 is before the DOS epoch";
}

} // namespace
