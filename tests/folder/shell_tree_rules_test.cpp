#include "folder/shell_tree_rules.h"

#include <gtest/gtest.h>

#include "common/platform.h"
#include "tests/fixtures/byte_writer.h"

namespace {

using folder::ArchiveRules;
using folder::ClassifyChild;
using folder::kSkipChild;
namespace sa = folder::shellattr;

ArchiveRules Rules(bool archives = true, bool rar = false, std::vector<std::wstring> plugins = {}) {
    ArchiveRules r;
    r.showArchives = archives;
    r.rarAvailable = rar;
    r.pluginExtensions = std::move(plugins);
    return r;
}

TEST(ShellTreeRules, ClassifiesChildrenByAttributesAndName) {
    const uint32_t fsFolder = sa::kFileSystem | sa::kFolder;
    struct Case {
        uint32_t attributes;
        const wchar_t* path;
        ArchiveRules rules;
        int32_t kind;
    } cases[] = {
        {sa::kFolder, L"", Rules(), 1},                                  // virtual folder
        {0, L"", Rules(), kSkipChild},                                   // virtual non-folder
        {fsFolder, L"C:\\photos", Rules(), 0},                           // plain folder
        {fsFolder | sa::kShare | sa::kHidden, L"C:\\x", Rules(), 0},     // decoration bits do not matter
        {fsFolder | sa::kStream, L"C:\\a\\b.ZIP", Rules(), 2},           // the shell's ZIP folder
        {fsFolder | sa::kStream, L"C:\\a\\b.cab", Rules(), kSkipChild},  // other container files
        {fsFolder | sa::kStream, L"C:\\a\\b.zip", Rules(false), kSkipChild},
        {sa::kFileSystem, L"C:\\a\\b.zip", Rules(), 2},
        {sa::kFileSystem, L"C:\\a\\b.zip", Rules(false), kSkipChild},
        {sa::kFileSystem, L"C:\\a\\b.rar", Rules(), kSkipChild},         // no RAR module
        {sa::kFileSystem, L"C:\\a\\b.Rar", Rules(true, true), 3},
        {sa::kFileSystem, L"C:\\a\\b.lzh", Rules(true, false, {L".lzh"}), 4},
        {sa::kFileSystem, L"C:\\a\\b.LZH", Rules(true, false, {L"lzh"}), 4},
        {sa::kFileSystem, L"C:\\a\\b.lzh.txt", Rules(true, false, {L".lzh"}), kSkipChild},
        {sa::kFileSystem, L"C:\\a\\b.jpg", Rules(), kSkipChild},
        {sa::kFileSystem, L"C:\\a.zip\\b", Rules(), kSkipChild},         // a dot in the folder is no extension
        {sa::kFileSystem, L"C:\\a\\.zip", Rules(), 2},
        {sa::kFileSystem, L"C:\\a\\zip", Rules(), kSkipChild},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClassifyChild(c.attributes, c.path, c.rules), c.kind) << c.path << " attributes " << c.attributes;
}

// A pane given a path: folders stay, archives become archive locations by their extension (RAR only
// with the module, other extensions only when a plug-in claims them), other files give their folder.
TEST(ShellTreeRules, PanePathsClassifiedByWhatIsThere) {
    fixtures::TempFolder dir;
    const std::wstring zipNamed = dir / L"Photos.zip"; // a folder, whatever its name says
    ASSERT_TRUE(platform::CreateFolder(zipNamed));
    for (const wchar_t* name : {L"a.ZIP", L"b.rar", L"c.7z", L"d.jpg"})
        ASSERT_TRUE(fixtures::ByteWriter().U8(1).SaveTo(dir / name));
    struct Case {
        std::wstring path;
        ArchiveRules rules;
        folder::LocationKind kind;
        std::wstring result;
    } cases[] = {
        {zipNamed, Rules(), folder::kFileSystemFolder, zipNamed},
        {zipNamed + L"\\", Rules(), folder::kFileSystemFolder, zipNamed},
        {dir / L"a.ZIP", Rules(), folder::kZipArchive, dir / L"a.ZIP"},
        {dir / L"b.rar", Rules(), folder::kFileSystemFolder, dir.Path()},
        {dir / L"b.rar", Rules(true, true), folder::kRarArchive, dir / L"b.rar"},
        {dir / L"b.rar", Rules(true, false, {L"rar"}), folder::kPluginArchive, dir / L"b.rar"},
        {dir / L"c.7z", Rules(true, false, {L".7z"}), folder::kPluginArchive, dir / L"c.7z"},
        {dir / L"d.jpg", Rules(), folder::kFileSystemFolder, dir.Path()},
        {dir / L"gone.zip", Rules(), folder::kFileSystemFolder, dir / L"gone.zip"},
    };
    for (const Case& c : cases) {
        const folder::PaneTarget t = folder::ClassifyPanePath(c.path, c.rules);
        EXPECT_EQ(t.kind, c.kind) << platform::WideToUtf8(c.path);
        EXPECT_EQ(t.path, c.result) << platform::WideToUtf8(c.path);
    }
}

TEST(ShellTreeRules, FoldersHaveChildrenArchivesDoNot) {
    EXPECT_TRUE(folder::KindHasChildren(folder::kFileSystemFolder));
    EXPECT_TRUE(folder::KindHasChildren(folder::kShellFolder));
    for (folder::LocationKind kind : {folder::kZipArchive, folder::kRarArchive, folder::kPluginArchive})
        EXPECT_FALSE(folder::KindHasChildren(kind));
}

TEST(ShellTreeRules, DriveRootsAreRecognisedWithoutTheDrive) {
    for (const wchar_t* yes : {L"C:\\", L"c:", L"Q:\\", L"\\\\server\\share", L"\\\\server\\share\\"})
        EXPECT_TRUE(folder::IsDriveRoot(yes)) << yes;
    for (const wchar_t* no : {L"", L"C", L"C:\\x", L"1:\\", L"\\\\server", L"\\\\server\\", L"\\\\server\\share\\x",
                              L"\\\\\\share", L"C:x"})
        EXPECT_FALSE(folder::IsDriveRoot(no)) << no;
}

TEST(ShellTreeRules, MarksUseEachPanesColourAndBands) {
    const int row = 18;
    const int band = (row - 1) / 2; // 8
    folder::RowMark none = folder::MarkForRow(false, false, row);
    EXPECT_FALSE(none.marked);
    EXPECT_EQ(none.bandCount, 0);

    folder::RowMark first = folder::MarkForRow(true, false, row);
    EXPECT_TRUE(first.marked);
    EXPECT_EQ(first.text, 0xCC4400u);
    EXPECT_EQ(first.background, 0xFFFFFFu);
    ASSERT_EQ(first.bandCount, 1);
    EXPECT_EQ(first.bands[0].colour, 0xFFF0D8u);
    EXPECT_EQ(first.bands[0].height, band);
    EXPECT_EQ(first.bands[0].top, (row - band) / 2);

    folder::RowMark second = folder::MarkForRow(false, true, row);
    EXPECT_EQ(second.text, 0x008000u);
    ASSERT_EQ(second.bandCount, 1);
    EXPECT_EQ(second.bands[0].colour, 0xE0FFD0u);

    folder::RowMark both = folder::MarkForRow(true, true, row);
    EXPECT_EQ(both.text, 0x300090u);
    ASSERT_EQ(both.bandCount, 2);
    EXPECT_EQ(both.bands[0].top, 0);
    EXPECT_EQ(both.bands[0].colour, 0xFFF0D8u);
    EXPECT_EQ(both.bands[1].top + both.bands[1].height, row) << "the lower band ends at the row's bottom";
    EXPECT_EQ(both.bands[1].colour, 0xE0FFD0u);
    EXPECT_EQ(both.bands[0].height, band);
    EXPECT_EQ(both.bands[1].height, band);

    // Degenerate rows give empty bands, never negative ones.
    for (int h : {0, 1}) {
        folder::RowMark tiny = folder::MarkForRow(true, true, h);
        EXPECT_EQ(tiny.bands[0].height, 0);
        EXPECT_EQ(tiny.bands[1].height, 0);
    }
}

TEST(ShellTreeRules, MarkTextStaysOffTheRowBeingActedOn) {
    struct Case {
        bool drop, anyDrop, selected, focus, coloured;
    } cases[] = {
        {false, false, false, false, true},
        {false, false, true, false, true},  // selection without focus keeps the colour
        {false, false, true, true, false},  // focused selection is drawn as a selection
        {true, true, false, false, false},  // the drop target
        {false, true, true, true, true},    // while dragging, the selection is not highlighted
    };
    for (const Case& c : cases)
        EXPECT_EQ(folder::MarkColoursText(c.drop, c.anyDrop, c.selected, c.focus), c.coloured)
            << c.drop << c.anyDrop << c.selected << c.focus;
}

TEST(ShellTreeRules, SortedInsertPositionFindsTheFirstLaterSibling) {
    const std::vector<int> sorted = {10, 20, 20, 30};
    auto at = [&](int value) {
        return folder::SortedInsertPosition(sorted.size(), [&](size_t i) { return value < sorted[i] ? -1 : value > sorted[i] ? 1 : 0; });
    };
    EXPECT_EQ(at(5), 0u);
    EXPECT_EQ(at(10), 1u);
    EXPECT_EQ(at(20), 3u) << "equal items go after";
    EXPECT_EQ(at(25), 3u);
    EXPECT_EQ(at(99), 4u);
    EXPECT_EQ(folder::SortedInsertPosition(0, [](size_t) { return 0; }), 0u);
}

TEST(ShellTreeRules, RootFolderListEdits) {
    std::vector<settings::TreeRoot> roots = {{L"C:\\Pictures", 0}};
    EXPECT_FALSE(folder::AddRootFolder(roots, L"c:\\pictures")) << "same path, folded";
    EXPECT_FALSE(folder::AddRootFolder(roots, L""));
    EXPECT_TRUE(folder::AddRootFolder(roots, L"C:\\Pictures\\2024"));
    EXPECT_TRUE(folder::AddRootFolder(roots, L"D:\\"));
    ASSERT_EQ(roots.size(), 3u);
    EXPECT_EQ(roots[2].path, L"D:\\");
    EXPECT_EQ(folder::FindRootFolder(roots, L"C:\\PICTURES\\2024"), 1);
    EXPECT_EQ(folder::FindRootFolder(roots, L"C:\\Pictures\\"), -1) << "a trailing backslash is another path";

    EXPECT_TRUE(folder::SetRootExpandAtStart(roots, L"D:\\", true));
    EXPECT_EQ(roots[2].flags, folder::kRootExpandAtStart);
    roots[2].flags |= 0x80; // bits of other meaning are kept
    EXPECT_TRUE(folder::SetRootExpandAtStart(roots, L"d:\\", false));
    EXPECT_EQ(roots[2].flags, 0x80);
    EXPECT_FALSE(folder::SetRootExpandAtStart(roots, L"E:\\", true));

    EXPECT_TRUE(folder::RemoveRootFolder(roots, L"c:\\pictures"));
    EXPECT_FALSE(folder::RemoveRootFolder(roots, L"c:\\pictures"));
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_EQ(roots[0].path, L"C:\\Pictures\\2024");
}

TEST(ShellTreeRules, ArchiveKindsOfPaths) {
    const ArchiveRules rules = Rules(true, true, {L".lzh", L"", L"7z"});
    EXPECT_EQ(folder::ArchiveKindOf(L"x.zip", rules), 2);
    EXPECT_EQ(folder::ArchiveKindOf(L"x.rar", rules), 3);
    EXPECT_EQ(folder::ArchiveKindOf(L"x.7Z", rules), 4);
    EXPECT_EQ(folder::ArchiveKindOf(L"x.", rules), 0) << "an empty plug-in entry matches nothing";
    EXPECT_EQ(folder::ArchiveKindOf(L"x", rules), 0);
    EXPECT_EQ(folder::ArchiveKindOf(L"", rules), 0);
    // The archive test does not look at the switch; the classification does.
    EXPECT_EQ(folder::ArchiveKindOf(L"x.zip", Rules(false)), 2);
}

} // namespace
