// The parameter texts handed to the companion viewer and the external programs.
#include "fileops/external_commands.h"

#include <gtest/gtest.h>

namespace {

using external::PaneItem;
using external::PaneView;
using external::ToolKind;
using external::ViewerSwitch;

// A folder pane with three items, the first two selected and the second focused.
PaneView Folder() {
    PaneView v;
    v.kind = location::kFileSystemFolder;
    v.locationPath = L"C:\\Pictures and more";
    v.selected = {{L"C:\\Pictures and more\\a b.jpg", 0}, {L"C:\\Pictures and more\\\u00e9t\u00e9 %1 & c.png", 0}};
    v.hasFocus = true;
    v.focused = v.selected[1];
    v.hasFirst = true;
    v.first = v.selected[0];
    return v;
}

// A ZIP pane whose focused member is the first in the archive (locator 0).
PaneView Zip(uint32_t focusLocator = 0) {
    PaneView v;
    v.kind = location::kZipArchive;
    v.locationPath = L"D:\\Holiday 2024.zip";
    v.selected = {{L"photos\\", focusLocator}, {L"photos\\", 4096}};
    v.hasFocus = true;
    v.focused = v.selected[0];
    v.hasFirst = true;
    v.first = v.selected[0];
    return v;
}

PaneView RecycleBin() {
    PaneView v = Folder();
    v.kind = location::kShellFolder;
    v.recycleBin = true;
    v.locationPath = L"::{645FF040-5081-101B-9F08-00AA002F954E}";
    return v;
}

TEST(ViewerCommandLine, FolderSelectionBySwitch) {
    const PaneView v = Folder();
    // "/v" hands over every selected file in pane order, quoted, one space apart; the text arrives
    // as typed, "%" and "&" and non-ASCII included.
    EXPECT_EQ(external::ViewerParameters(ViewerSwitch::View, v),
              L"/v \"C:\\Pictures and more\\a b.jpg\" \"C:\\Pictures and more\\\u00e9t\u00e9 %1 & c.png\"");
    // "/s" and "/f" hand over only the focused file, even with two selected.
    EXPECT_EQ(external::ViewerParameters(ViewerSwitch::SlideShow, v),
              L"/s \"C:\\Pictures and more\\\u00e9t\u00e9 %1 & c.png\"");
    EXPECT_EQ(external::ViewerParameters(ViewerSwitch::FullScreen, v),
              L"/f \"C:\\Pictures and more\\\u00e9t\u00e9 %1 & c.png\"");

    PaneView nothing = v;
    nothing.selected.clear();
    EXPECT_EQ(external::ViewerParameters(ViewerSwitch::View, nothing), L"/v");
    PaneView unfocused = v;
    unfocused.hasFocus = false;
    EXPECT_EQ(external::ViewerParameters(ViewerSwitch::SlideShow, unfocused), L"/s");
    EXPECT_EQ(external::ViewerParameters(ViewerSwitch::View, RecycleBin()), L"/v");

    PaneView shell = v;
    shell.kind = location::kShellFolder;
    EXPECT_EQ(external::ViewerParameters(ViewerSwitch::FullScreen, shell),
              L"/f \"C:\\Pictures and more\\\u00e9t\u00e9 %1 & c.png\"");
}

TEST(ViewerCommandLine, ArchiveMemberByLocator) {
    // Locator 0 is a member like any other: "z0", not a missing member.
    EXPECT_EQ(external::ViewerParameters(ViewerSwitch::View, Zip(0)), L"/vz0 \"D:\\Holiday 2024.zip\"");
    EXPECT_EQ(external::ViewerParameters(ViewerSwitch::SlideShow, Zip(1234)), L"/sz1234 \"D:\\Holiday 2024.zip\"");
    PaneView rar = Zip(4294967295u);
    rar.kind = location::kRarArchive;
    EXPECT_EQ(external::ViewerParameters(ViewerSwitch::FullScreen, rar), L"/fz4294967295 \"D:\\Holiday 2024.zip\"");
}

TEST(ReaderCommandLine, FocusedOrFirstItem) {
    std::wstring text = L"stale";
    ASSERT_TRUE(external::ReaderParameters(Folder(), &text));
    EXPECT_EQ(text, L"/a \"C:\\Pictures and more\\\u00e9t\u00e9 %1 & c.png\"");

    PaneView unfocused = Folder();
    unfocused.hasFocus = false;
    ASSERT_TRUE(external::ReaderParameters(unfocused, &text));
    EXPECT_EQ(text, L"/a \"C:\\Pictures and more\\a b.jpg\"");

    ASSERT_TRUE(external::ReaderParameters(Zip(0), &text));
    EXPECT_EQ(text, L"/az0 \"D:\\Holiday 2024.zip\"");

    ASSERT_TRUE(external::ReaderParameters(RecycleBin(), &text));
    EXPECT_EQ(text, L"");

    PaneView empty;
    text = L"kept";
    EXPECT_FALSE(external::ReaderParameters(empty, &text));
    EXPECT_EQ(text, L"kept");
}

TEST(ToolCommandLine, ViewerAndReaderAreKnownByTheirFileNames) {
    EXPECT_EQ(external::ToolKindOf(L"C:\\Tools\\drova"), ToolKind::Viewer);
    EXPECT_EQ(external::ToolKindOf(L"C:\\Tools\\DROVAEX"), ToolKind::Viewer);
    EXPECT_EQ(external::ToolKindOf(L"C:\\Tools\\Drova.exe"), ToolKind::Viewer);
    EXPECT_EQ(external::ToolKindOf(L"C:\\Tools\\DrovaEx.EXE"), ToolKind::Viewer);
    EXPECT_EQ(external::ToolKindOf(L"C:\\Tools\\kelvarin.exe"), ToolKind::Reader);
    EXPECT_EQ(external::ToolKindOf(L"C:\\Tools\\Kelvarin"), ToolKind::Other);
    EXPECT_EQ(external::ToolKindOf(L"C:\\Drova\\Paint.exe"), ToolKind::Other);
    EXPECT_EQ(external::ToolKindOf(L"C:\\Tools\\MyDrova.exe"), ToolKind::Other);
}

TEST(ToolCommandLine, SlotTextThenTheSelection) {
    const PaneView folder = Folder();
    // The slot's text is passed as typed, then the selection as for "/v".
    EXPECT_EQ(external::ToolParameters(L"C:\\p.exe", L"-x %1 & y", folder),
              L"-x %1 & y \"C:\\Pictures and more\\a b.jpg\" \"C:\\Pictures and more\\\u00e9t\u00e9 %1 & c.png\"");
    // No space before the first path when the slot has no text.
    EXPECT_EQ(external::ToolParameters(L"C:\\p.exe", L"", folder),
              L"\"C:\\Pictures and more\\a b.jpg\" \"C:\\Pictures and more\\\u00e9t\u00e9 %1 & c.png\"");
    EXPECT_EQ(external::ToolParameters(L"C:\\p.exe", L"-x", RecycleBin()), L"-x");
    PaneView nothing = folder;
    nothing.selected.clear();
    EXPECT_EQ(external::ToolParameters(L"C:\\p.exe", L"-x", nothing), L"-x");
}

TEST(ToolCommandLine, ArchiveMemberByProgram) {
    const PaneView zip = Zip(77);
    EXPECT_EQ(external::ToolParameters(L"C:\\V\\Drova", L"", zip), L"/vz77 \"D:\\Holiday 2024.zip\"");
    EXPECT_EQ(external::ToolParameters(L"C:\\V\\DrovaEx.exe", L"/s", zip), L"/sz77 \"D:\\Holiday 2024.zip\"");
    // The reader's switch replaces the slot's text.
    EXPECT_EQ(external::ToolParameters(L"C:\\R\\Kelvarin.exe", L"-ignored", zip), L"/z77 \"D:\\Holiday 2024.zip\"");
    // Any other program gets the archive after its text.
    EXPECT_EQ(external::ToolParameters(L"C:\\p.exe", L"-x", zip), L"-x \"D:\\Holiday 2024.zip\"");
    EXPECT_EQ(external::ToolParameters(L"C:\\p.exe", L"", zip), L"\"D:\\Holiday 2024.zip\"");
    // Without a focus the first selected member stands for the selection.
    PaneView unfocused = Zip(77);
    unfocused.hasFocus = false;
    unfocused.selected = {{L"", 4096}, {L"", 77}};
    EXPECT_EQ(external::ToolParameters(L"C:\\V\\Drova", L"", unfocused), L"/vz4096 \"D:\\Holiday 2024.zip\"");
}

} // namespace
