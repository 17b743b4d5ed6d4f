#include "ui/drag_rules.h"

#include <gtest/gtest.h>

using namespace dragrules;

namespace {

SourcePane Pane(location::LocationKind kind, const std::wstring& folder, bool recycleBin = false) {
    SourcePane s;
    s.valid = true;
    s.kind = kind;
    s.folder = folder;
    s.recycleBin = recycleBin;
    return s;
}

TreeTarget Folder(const std::wstring& path, bool accepts = true) {
    TreeTarget t;
    t.kind = location::kFileSystemFolder;
    t.path = path;
    t.brokerAccepts = accepts;
    return t;
}

} // namespace

TEST(DragRules, OnlyALeftDragFromAFolderMoves) {
    const SourcePane folder = Pane(location::kFileSystemFolder, L"C:\\Pictures");
    EXPECT_EQ(ItemDragState(folder, true, true), kMoveItems);
    EXPECT_EQ(ItemDragState(folder, false, true), kCopyItems);
    EXPECT_EQ(ItemDragState(Pane(location::kShellFolder, L"C:\\Shared"), true, true), kMoveItems);
    // The bin's stored files and an archive's members are never taken away by a drag.
    EXPECT_EQ(ItemDragState(Pane(location::kShellFolder, L"::bin", true), true, true), kCopyItems);
    EXPECT_EQ(ItemDragState(Pane(location::kZipArchive, L"C:\\a.zip"), true, true), kCopyItems);
    EXPECT_EQ(ItemDragState(Pane(location::kPluginArchive, L"C:\\a.lzh"), true, true), kCopyItems);
    EXPECT_EQ(ItemDragState(folder, true, false), kBlocked);
    EXPECT_EQ(ItemDragState(SourcePane{}, true, true), kBlocked);
    EXPECT_EQ(kCursorBase + kMoveItems, 110);
    EXPECT_EQ(kCursorBase + kCopyItems, 111);
}

TEST(DragRules, ItemsAreNotDroppedOnTheirOwnFolder) {
    const SourcePane source = Pane(location::kFileSystemFolder, L"C:\\Pictures\\Trip");
    EXPECT_FALSE(TreeAcceptsItems(source, Folder(L"C:\\Pictures\\Trip")));
    EXPECT_FALSE(TreeAcceptsItems(source, Folder(L"c:\\PICTURES\\trip\\")));
    EXPECT_TRUE(TreeAcceptsItems(source, Folder(L"C:\\Pictures\\Trip2")));
    EXPECT_TRUE(TreeAcceptsItems(source, Folder(L"C:\\Pictures")));
    EXPECT_FALSE(TreeAcceptsItems(source, Folder(L"C:\\Pictures", false)));
    TreeTarget virtualFolder;
    virtualFolder.brokerAccepts = true;
    EXPECT_FALSE(TreeAcceptsItems(source, virtualFolder));
    TreeTarget archive = Folder(L"C:\\Pictures\\a.zip");
    archive.kind = location::kZipArchive;
    EXPECT_FALSE(TreeAcceptsItems(source, archive));
    // An archive pane's members may go to the folder that holds the archive.
    EXPECT_TRUE(TreeAcceptsItems(Pane(location::kZipArchive, L"C:\\Pictures\\a.zip"), Folder(L"C:\\Pictures")));
}

TEST(DragRules, TheOtherPaneTakesItemsOnlyAsADifferentIdleFolder) {
    OtherPane o;
    o.bothShown = o.valid = o.idle = o.brokerAccepts = true;
    EXPECT_TRUE(OtherPaneAcceptsItems(o));
    for (bool OtherPane::*fact : {&OtherPane::bothShown, &OtherPane::valid, &OtherPane::idle, &OtherPane::brokerAccepts}) {
        OtherPane off = o;
        off.*fact = false;
        EXPECT_FALSE(OtherPaneAcceptsItems(off));
    }
    OtherPane same = o;
    same.sameLocation = true;
    EXPECT_FALSE(OtherPaneAcceptsItems(same));
    OtherPane archive = o;
    archive.kind = location::kZipArchive;
    EXPECT_FALSE(OtherPaneAcceptsItems(archive));
}

TEST(DragRules, AFolderNeverGoesIntoItselfOrWhereItAlreadyIs) {
    FolderMove m;
    m.mayMove = true;
    m.dragged = L"C:\\Pictures\\Trip";
    m.target = Folder(L"C:\\Archive");
    EXPECT_TRUE(TreeAcceptsFolder(m));
    m.target = Folder(L"C:\\Pictures\\Trip\\Day 1");
    EXPECT_FALSE(TreeAcceptsFolder(m));
    m.target = Folder(L"c:\\pictures\\TRIP\\day 1\\deeper");
    EXPECT_FALSE(TreeAcceptsFolder(m));
    m.target = Folder(L"C:\\Pictures\\Trip");
    EXPECT_FALSE(TreeAcceptsFolder(m));
    // A sibling whose name merely starts the same is another folder.
    m.target = Folder(L"C:\\Pictures\\Trip 2");
    EXPECT_TRUE(TreeAcceptsFolder(m));
    // Onto the folder that holds it already: nothing would change.
    m.target = Folder(L"C:\\Pictures\\");
    EXPECT_FALSE(TreeAcceptsFolder(m));
    m.dragged = L"C:\\Trip";
    m.target = Folder(L"C:\\");
    EXPECT_FALSE(TreeAcceptsFolder(m));

    m.dragged = L"C:\\Pictures\\Trip";
    m.target = Folder(L"C:\\Archive");
    FolderMove refused = m;
    refused.mayMove = false;
    EXPECT_FALSE(TreeAcceptsFolder(refused));
    refused = m;
    refused.sameItem = true;
    EXPECT_FALSE(TreeAcceptsFolder(refused));
    refused = m;
    refused.target.brokerAccepts = false;
    EXPECT_FALSE(TreeAcceptsFolder(refused));
}

TEST(DragRules, TheTreeScrollsOnlyAtItsEdges) {
    // 200 high, items 16 high, a 17-pixel scroll bar: the lowest quiet line is 167.
    EXPECT_EQ(AutoScrollDirection(0, 16, 200, 17), -1);
    EXPECT_EQ(AutoScrollDirection(15, 16, 200, 17), -1);
    EXPECT_EQ(AutoScrollDirection(16, 16, 200, 17), 0);
    EXPECT_EQ(AutoScrollDirection(167, 16, 200, 17), 0);
    EXPECT_EQ(AutoScrollDirection(168, 16, 200, 17), 1);
    EXPECT_EQ(AutoScrollDirection(50, 0, 200, 17), 0);
}
