#include "common/dpi.h"

#include <gtest/gtest.h>

TEST(Dpi, LengthsScaleByTheWindowsDpiAndStoreBackUnchanged) {
    EXPECT_EQ(dpi::Scale(200, 96), 200);
    EXPECT_EQ(dpi::Scale(200, 144), 300);
    EXPECT_EQ(dpi::Scale(200, 192), 400);
    EXPECT_EQ(dpi::Scale(5, 120), 6);   // 6.25
    EXPECT_EQ(dpi::Scale(3, 144), 5);   // 4.5 rounds away from zero
    EXPECT_EQ(dpi::Scale(-3, 144), -5);
    EXPECT_EQ(dpi::Scale(7, 0), 7);     // no answer from the system counts as 96
    for (int d : {96, 120, 144, 168, 192, 288})
        for (int v : {0, 1, 17, 200, 1180})
            EXPECT_EQ(dpi::Unscale(dpi::Scale(v, d), d), v) << v << " at " << d;
}

TEST(Dpi, InterfaceFontHeightsAndArtChoice) {
    EXPECT_EQ(dpi::FontHeight(-12, 144), -18);
    EXPECT_EQ(dpi::FontHeight(-14, 192), -28);
    EXPECT_EQ(dpi::FontHeight(-16, 96), -16);
    EXPECT_EQ(dpi::ArtPercent(96), 100);
    EXPECT_EQ(dpi::ArtPercent(120), 100);
    EXPECT_EQ(dpi::ArtPercent(144), 150);
    EXPECT_EQ(dpi::ArtPercent(168), 150);
    EXPECT_EQ(dpi::ArtPercent(192), 200);
    EXPECT_EQ(dpi::ArtPercent(288), 200);
}
