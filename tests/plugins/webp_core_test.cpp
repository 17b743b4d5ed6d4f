// The WebP plug-in's core against libwebp's own decoder (dwebp of the same library version): the same
// pixels, alpha composited onto white, in the interface's bottom-up 24-bit rows; damage fails cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugins/webp/webp_core.h"
#include "tests/plugins/plugin_fixtures.h"

using namespace webp_plugin;
namespace fx = plugin_fixtures;

namespace {

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

TEST(WebpCore, DecodesLikeDwebpInBottomUpRows) {
    for (const fx::WebpCase& c : fx::kWebpCases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> file = fx::Read(std::string(c.name) + ".webp");
        const fx::Bitmap want = fx::ReferenceBitmap(std::string(c.name) + ".pam");
        ASSERT_FALSE(file.empty());
        ASSERT_FALSE(want.bits.empty());
        ASSERT_TRUE(WebpIsSupported(file.data(), file.size()));

        WebpInfo info;
        ASSERT_EQ(WebpReadInfo(file.data(), file.size(), &info), WebpError::Ok);
        EXPECT_EQ(info.width, want.width);
        EXPECT_EQ(info.height, want.height);
        EXPECT_EQ(info.lossless, c.lossless);
        EXPECT_EQ(info.has_alpha, c.alpha);

        const size_t size = WebpDibSize(info);
        ASSERT_EQ(size, want.bits.size());
        // Poisoned, so padding the decoder forgot to write shows.
        std::vector<uint8_t> bits(size, 0xA5);
        ASSERT_EQ(WebpDecodeInto(file.data(), file.size(), bits.data(), bits.size()), WebpError::Ok);
        EXPECT_TRUE(bits == want.bits);

        uint8_t header[kInfoHeaderSize];
        WebpFillInfoHeader(info, header);
        EXPECT_EQ(Le32(header), 40u);
        EXPECT_EQ(static_cast<int32_t>(Le32(header + 8)), want.height);  // positive: bottom-up
        EXPECT_EQ(header[14], 24);
        EXPECT_EQ(Le32(header + 16), 0u);  // BI_RGB
        EXPECT_EQ(Le32(header + 20), size);
    }
}

TEST(WebpCore, DamageAndLimitsFailCleanly) {
    const std::vector<uint8_t> file = fx::Read("lossy_odd.webp");
    WebpInfo info;
    ASSERT_EQ(WebpReadInfo(file.data(), file.size(), &info), WebpError::Ok);
    std::vector<uint8_t> bits(WebpDibSize(info));

    // Cut anywhere after the headers: a clean failure, never a partial success.
    for (size_t cut : {file.size() / 2, file.size() - 1, size_t{40}}) {
        SCOPED_TRACE(cut);
        EXPECT_NE(WebpDecodeInto(file.data(), cut, bits.data(), bits.size()), WebpError::Ok);
    }
    const std::vector<uint8_t> truncated = fx::Read("truncated.webp");
    EXPECT_EQ(WebpDecodeInto(truncated.data(), truncated.size(), bits.data(), bits.size()), WebpError::Broken);

    EXPECT_EQ(WebpDecodeInto(file.data(), file.size(), bits.data(), bits.size() - 1), WebpError::BadSize);
    EXPECT_EQ(WebpDecodeInto(file.data(), file.size(), bits.data(), bits.size(), 1000), WebpError::TooLarge);
    EXPECT_EQ(WebpDecodeInto(file.data(), file.size(), nullptr, 0), WebpError::BadSize);

    // Heads that are not still WebP pictures.
    std::vector<uint8_t> head(file.begin(), file.begin() + 64);
    EXPECT_TRUE(WebpIsSupported(head.data(), head.size()));
    head[8] = 'X';  // RIFF, but not WEBP
    EXPECT_FALSE(WebpIsSupported(head.data(), head.size()));
    const uint8_t animated[32] = {'R', 'I', 'F', 'F', 24, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X', 10, 0, 0, 0, 0x02};
    EXPECT_FALSE(WebpIsSupported(animated, sizeof animated));
    EXPECT_EQ(WebpReadInfo(animated, sizeof animated, &info), WebpError::NotWebp);
    EXPECT_FALSE(WebpIsSupported(file.data(), 20));
}

} // namespace
