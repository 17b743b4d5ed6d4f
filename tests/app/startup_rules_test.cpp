#include "app/startup_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(OsClass, FollowsTheVersionTable) {
    struct Case {
        uint32_t major, minor;
        int expected;
    } cases[] = {{4, 0, 0}, {5, 0, 0}, {5, 1, 1}, {5, 2, 1}, {6, 0, 2}, {6, 1, 3},
                 {6, 2, 4}, {6, 3, 5}, {6, 4, 5}, {7, 0, 5}, {10, 0, 5}};
    for (const Case& c : cases)
        EXPECT_EQ(startup::OsClass(c.major, c.minor), c.expected) << c.major << "." << c.minor;
}

TEST(ExecutableName, OnlyQuorleInAnyCaseWithAnyExtension) {
    struct Case {
        const wchar_t* path;
        bool accepted;
    } cases[] = {
        {L"C:\\Program Files\\Quorle\\Quorle.exe", true},
        {L"C:\\Apps\\QUORLE.EXE", true},
        {L"C:\\Apps\\quorle.bin", true},
        {L"C:\\Apps\\Quorle", true},
        {L"C:\\Apps.d\\Quorle", true},       // the dot of a folder is not an extension
        {L"C:\\Apps\\Quorle.tar.exe", false}, // only the last extension is removed
        {L"C:\\Apps\\Quorle2.exe", false},
        {L"C:\\Apps\\Quorlé.exe", false},     // folding is ASCII only
        {L"C:\\Quorle\\Viewer.exe", false},
        {L"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(startup::ExecutableNameIsQuorle(c.path), c.accepted);
}

TEST(CacheFolder, DefaultBesideTheSettingsUnlessKey167SaysOtherwise) {
    const std::wstring settingsPath = L"C:\\Users\\u\\AppData\\Roaming\\Quorle\\Quorle.ini";
    const std::wstring beside = L"C:\\Users\\u\\AppData\\Roaming\\Quorle\\cache";
    struct Case {
        int count;
        bool isInline;
        uint32_t value;
        std::wstring expected;
    } cases[] = {
        {172, true, 0, L"D:\\Thumbs"},  // flag clear: key 164
        {172, true, 1, beside},
        {172, true, 2, L"D:\\Thumbs"},  // only bit 0 counts
        {172, false, 0, beside},        // not inline: default
        {167, true, 0, beside},         // a file that does not reach key 167
        {168, true, 0, L"D:\\Thumbs"},
        {0, false, 0, beside},
    };
    for (const Case& c : cases) {
        startup::CacheKeys keys{c.count, c.isInline, c.value, L"D:\\Thumbs"};
        EXPECT_EQ(startup::CacheFolder(keys, settingsPath), c.expected) << c.count << " " << c.value;
    }
}

TEST(FirstShow, MaximisedOnlyWhenTheStartDoesNotAskForAState) {
    const int kNormal = 1, kMinimized = 2, kMaximized = 3, kMinNoActive = 7, kShowDefault = 10;
    EXPECT_EQ(startup::FirstShowCommand(kNormal, 0), kNormal);
    EXPECT_EQ(startup::FirstShowCommand(kNormal, 1), kMaximized);
    EXPECT_EQ(startup::FirstShowCommand(kShowDefault, 3), kMaximized);
    EXPECT_EQ(startup::FirstShowCommand(kMinimized, 1), kMaximized);
    EXPECT_EQ(startup::FirstShowCommand(kMaximized, 1), kNormal);
    EXPECT_EQ(startup::FirstShowCommand(kMaximized, 0), kNormal);
    EXPECT_EQ(startup::FirstShowCommand(kMinNoActive, 1), kNormal);
    EXPECT_EQ(startup::FirstShowCommand(kNormal, 2), kNormal); // bit 0 only
}

TEST(Language, CandidatesInOrderWithoutRepeats) {
    using V = std::vector<std::wstring>;
    EXPECT_EQ(startup::LanguageCandidates(L"", 1033), (V{L"English", L"Japanese"}));
    EXPECT_EQ(startup::LanguageCandidates(L"", 1041), (V{L"Japanese", L"English"}));
    EXPECT_EQ(startup::LanguageCandidates(L"German", 1041), (V{L"German", L"English", L"Japanese"}));
    EXPECT_EQ(startup::LanguageCandidates(L"ENGLISH", 1033), (V{L"ENGLISH", L"Japanese"}));
}

TEST(Language, OnlyPlainNamesOfTheProgramFolder) {
    for (const wchar_t* ok : {L"English", L"Japanese", L"English.dll", L"Deutsch (CH)"})
        EXPECT_TRUE(startup::IsPlainModuleName(ok)) << "accepted";
    for (const wchar_t* bad : {L"", L".", L"..", L"..\\English", L"C:\\x\\English", L"C:English", L"sub/English",
                               L"\\\\server\\share\\English", L"English.dll:stream"})
        EXPECT_FALSE(startup::IsPlainModuleName(bad)) << "refused";
}

TEST(ErrorBox, ThreeFamiliesAndNothingElse) {
    struct Case {
        uint32_t id;
        bool shown;
        uint32_t caption, prefix;
    } cases[] = {
        {30000, false, 0, 0}, {30001, true, 30000, 0}, {30013, true, 30000, 0}, {30014, false, 0, 0},
        {50000, false, 0, 0}, {50001, true, 50000, 0}, {50010, true, 50000, 0}, {50011, true, 50000, 50007},
        {50024, true, 50000, 50007}, {50025, false, 0, 0}, {0, false, 0, 0}, {5000, false, 0, 0},
    };
    for (const Case& c : cases) {
        startup::ErrorBoxTexts t;
        ASSERT_EQ(startup::ErrorBoxFor(c.id, &t), c.shown) << c.id;
        if (!c.shown)
            continue;
        EXPECT_EQ(t.caption, c.caption) << c.id;
        EXPECT_EQ(t.prefix, c.prefix) << c.id;
        EXPECT_EQ(t.text, c.id);
    }
}

} // namespace
