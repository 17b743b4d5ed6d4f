// The rename rules (the extension never changes through the dialog, names that would move a file are
// refused), the pane-delete rule and the placing of the name dialog.
#include "fileops/file_rules.h"

#include <gtest/gtest.h>

#include "common/platform.h"

namespace {

using fileops::Box;

TEST(RenameRules, APaneItemKeepsItsExtensionWhateverIsTyped) {
    struct Case {
        const wchar_t* oldName;
        const wchar_t* typed;
        const wchar_t* expected; // "" renames nothing
    };
    const Case cases[] = {
        {L"photo.jpg", L"holiday", L"holiday.jpg"},
        {L"photo.jpg", L"holiday.png", L"holiday.png.jpg"},
        {L"photo.tar.gz", L"trip", L"trip.gz"},        // only the last extension is kept
        {L"README", L"notes", L"notes"},               // none to keep
        {L"photo.jpg", L"", L""},                      // an empty name renames nothing
        {L"photo.jpg", L"photo", L""},                 // the same name: nothing to do
        {L"photo.jpg", L"Photo", L"Photo.jpg"},        // a change of case is a rename
        {L"photo.jpg", L"..\\photo", L""},             // would move the file to the parent
        {L"photo.jpg", L"sub/photo", L""},
        {L"photo.jpg", L"a:b", L""},
        {L"photo.jpg", L"..", L""},
        {L"photo.jpg", L"tab\there", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fileops::RenamedFileName(c.oldName, c.typed), c.expected)
            << platform::WideToUtf8(c.oldName) << " / " << platform::WideToUtf8(c.typed);
    EXPECT_EQ(fileops::StemOf(L"photo.jpg"), L"photo");
    EXPECT_EQ(fileops::StemOf(L"README"), L"README");
}

TEST(RenameRules, ATreeArchiveKeepsItsExtensionAFolderTakesTheTypedName) {
    EXPECT_EQ(fileops::RenamedTreePath(L"C:\\pics\\album.zip", L"trip", true), L"C:\\pics\\trip.zip");
    EXPECT_EQ(fileops::TreeRenameText(L"C:\\pics\\album.zip", true), L"album");
    // A folder's dots are part of its name.
    EXPECT_EQ(fileops::RenamedTreePath(L"C:\\pics\\2020.summer", L"2021.winter", false), L"C:\\pics\\2021.winter");
    EXPECT_EQ(fileops::TreeRenameText(L"C:\\pics\\2020.summer", false), L"2020.summer");
    EXPECT_EQ(fileops::RenamedTreePath(L"C:\\pics\\album.zip", L"", true), L"");
    EXPECT_EQ(fileops::RenamedTreePath(L"C:\\pics\\album", L"album", false), L"");
    EXPECT_EQ(fileops::RenamedTreePath(L"C:\\pics\\album", L"..\\..\\Windows", false), L"");
    EXPECT_EQ(fileops::RenamedTreePath(L"album", L"trip", false), L"") << "no parent folder to stay in";
}

TEST(PaneDelete, OnlyAFinishedListedFolderWithASelection) {
    using location::LocationKind;
    EXPECT_TRUE(fileops::PaneDeleteAllowed(location::kFileSystemFolder, false, true, 2));
    EXPECT_TRUE(fileops::PaneDeleteAllowed(location::kShellFolder, false, true, 1));
    EXPECT_FALSE(fileops::PaneDeleteAllowed(location::kShellFolder, true, true, 1)) << "recycle bin view";
    for (LocationKind archive : {location::kZipArchive, location::kRarArchive, location::kPluginArchive})
        EXPECT_FALSE(fileops::PaneDeleteAllowed(archive, false, true, 1)) << archive;
    EXPECT_FALSE(fileops::PaneDeleteAllowed(location::kFileSystemFolder, false, false, 2)) << "load still running";
    EXPECT_FALSE(fileops::PaneDeleteAllowed(location::kFileSystemFolder, false, true, 0));
}

TEST(NameDialogPlace, UnderTheCellAboveAtTheBottomInsideSideways) {
    const Box work = {0, 0, 1000, 700};
    // Centred under the cell.
    Box b = fileops::PlaceUnderCell({400, 100, 500, 220}, 200, 80, work);
    EXPECT_EQ(b.left, 350);
    EXPECT_EQ(b.top, 220);
    EXPECT_EQ(b.Width(), 200);
    // No room below: just above the cell.
    b = fileops::PlaceUnderCell({400, 600, 500, 690}, 200, 80, work);
    EXPECT_EQ(b.top, 520);
    // A cell at the left edge keeps the dialog inside the work area.
    b = fileops::PlaceUnderCell({-20, 100, 60, 200}, 200, 80, work);
    EXPECT_EQ(b.left, 0);
    b = fileops::PlaceUnderCell({950, 100, 1010, 200}, 200, 80, work);
    EXPECT_EQ(b.right, 1000);

    // Beside the tree at the item's height, moved up at the bottom of the work area.
    b = fileops::PlaceBesideTree(250, 300, 200, 80, work);
    EXPECT_EQ(b.left, 250);
    EXPECT_EQ(b.top, 300);
    b = fileops::PlaceBesideTree(250, 680, 200, 80, work);
    EXPECT_EQ(b.bottom, 700);
    // Larger than the work area: the caption stays reachable.
    b = fileops::PlaceBesideTree(250, 10, 200, 900, work);
    EXPECT_EQ(b.top, 0);
}

} // namespace
