// The system's measures asked for at a dpi other than the screen's, as the windows the program sizes
// itself use them before (or without) being shown on that screen.
#include "common/dpi_win.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Within a pixel or two of `base` x dpi / 96: the system rounds metrics on its own.
void ExpectScaled(int atDpi, int base, int dpiValue, int slack) {
    EXPECT_LE(std::abs(atDpi - base * dpiValue / 96), slack) << base << " at " << dpiValue << " gave " << atDpi;
}

TEST(DpiMetrics, FramesMetricsAndTheMessageFontFollowTheDpi) {
    RECT base = {0, 0, 0, 0};
    dpi::AdjustRectFor(&base, WS_POPUP | WS_THICKFRAME, WS_EX_CLIENTEDGE, 96);
    ASSERT_GT(base.right - base.left, 0);
    const LOGFONTW font96 = dpi::MessageFontFor(96);
    ASSERT_NE(font96.lfHeight, 0);
    for (int d : {144, 192}) {
        SCOPED_TRACE(d);
        RECT frame = {0, 0, 0, 0};
        dpi::AdjustRectFor(&frame, WS_POPUP | WS_THICKFRAME, WS_EX_CLIENTEDGE, d);
        // Frames are not strictly proportional (the system keeps some edges thin), but they grow.
        EXPECT_GT(frame.right - frame.left, base.right - base.left);
        EXPECT_GT(frame.bottom - frame.top, base.bottom - base.top);
        ExpectScaled(dpi::SystemMetric(SM_CXVSCROLL, d), dpi::SystemMetric(SM_CXVSCROLL, 96), d, 1);
        ExpectScaled(dpi::SystemMetric(SM_CYCAPTION, d), dpi::SystemMetric(SM_CYCAPTION, 96), d, 2);
        const LOGFONTW font = dpi::MessageFontFor(d);
        ExpectScaled(font.lfHeight, font96.lfHeight, d, 1);
        EXPECT_STREQ(font.lfFaceName, font96.lfFaceName);
    }
    // A rectangle that is not empty keeps its client inside the frame.
    RECT client = {10, 20, 410, 84};
    dpi::AdjustRectFor(&client, WS_CAPTION, WS_EX_DLGMODALFRAME, 144);
    EXPECT_LT(client.left, 10);
    EXPECT_GT(client.right, 410);
    EXPECT_LT(client.top, 20);
    EXPECT_GT(client.bottom, 84);
}

} // namespace
