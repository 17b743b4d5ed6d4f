#include "app/decode_options.h"

#include <gtest/gtest.h>

#include "tests/app/settings_fixture.h"
#include "tests/fixtures/byte_writer.h"

namespace {

settings::Settings Load(const fixtures::TempFolder& dir, const settings_fixture::SettingsFile& file) {
    const std::wstring path = dir / L"Quorle.ini";
    EXPECT_TRUE(file.SaveTo(path));
    settings::SettingsReader r;
    r.Open(path);
    return settings::LoadSettings(r, settings::SettingsEnvironment());
}

TEST(DecodeOptions, DefaultsMatchTheDecodersOwn) {
    const image::LoadOptions fromSettings = settings::DecodeOptionsOf(settings::Settings());
    const image::LoadOptions plain;
    EXPECT_EQ(fromSettings.background.composite, plain.background.composite);
    EXPECT_EQ(fromSettings.background.use_file_background, plain.background.use_file_background);
    EXPECT_EQ(fromSettings.background.background, plain.background.background);
    EXPECT_EQ(fromSettings.background.display_gamma, plain.background.display_gamma);
    EXPECT_TRUE(fromSettings.plugin_folder.empty());
}

TEST(DecodeOptions, EachKeyReachesItsOption) {
    fixtures::TempFolder dir;
    settings_fixture::SettingsFile file;
    file.Inline(49, 1800).Inline(50, 0).Inline(51, 0).Inline(52, 0x336699).String(60, L"C:\\Plug-ins");
    image::LoadOptions o = settings::DecodeOptionsOf(Load(dir, file));
    EXPECT_FALSE(o.background.composite);
    EXPECT_FALSE(o.background.use_file_background);
    EXPECT_EQ(o.background.background, 0x336699u);
    EXPECT_EQ(o.background.display_gamma, 1800u);
    EXPECT_EQ(o.plugin_folder, L"C:\\Plug-ins");

    // Gamma correction off is display gamma 0, whatever key 49 holds.
    file.Inline(48, 0);
    o = settings::DecodeOptionsOf(Load(dir, file));
    EXPECT_EQ(o.background.display_gamma, 0u);
}

} // namespace
