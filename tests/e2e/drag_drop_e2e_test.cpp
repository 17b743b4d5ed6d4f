// Dragging in the real program with real pointer input (SendInput, as a person's mouse would): the
// selected thumbnails of a pane onto the other pane and onto tree folders, from a ZIP pane, the
// tree opening a folder under a held pointer, and files dropped from outside.
#include <gtest/gtest.h>

#include "tests/e2e/quorle_copy.h"
#include "tests/e2e/steps.h"
#include "tests/e2e/remote_buffer.h"

#include "folder/shell_tree_win.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/path.h"
#include "common/platform.h"
#include "tests/archive/zip_fixtures.h"
#include "tests/thumbs/photo_fixtures.h"

namespace {

using e2e::ChildById;
using e2e::ChildNamed;
using e2e::kMainClass;
using e2e::NextItem;
using e2e::QuorleCopy;
using e2e::RemoteBuffer;

POINT Centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// Presses at `from`, moves in small steps to `to` as a hand would, and stays there with the button
// held; Release() lets go.
void PressAndMove(POINT from, POINT to, bool left) {
    e2e::PointerTo(from);
    harness::PumpFor(150);
    e2e::PointerTo(from, left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN);
    harness::PumpFor(150);
    constexpr int kSteps = 12;
    for (int i = 1; i <= kSteps; ++i) {
        e2e::PointerTo({from.x + (to.x - from.x) * i / kSteps, from.y + (to.y - from.y) * i / kSteps});
        harness::PumpFor(40);
    }
    harness::PumpFor(300);
}
void Release(POINT at, bool left) {
    e2e::PointerTo(at, left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP);
    harness::PumpFor(300);
}

size_t CountFiles(const std::wstring& folder) {
    size_t n = 0;
    platform::ListFolder(folder, L"*", [&](const platform::FolderEntry& e) {
        if (!(e.attributes & platform::attr::kDirectory))
            ++n;
        return true;
    });
    return n;
}

class DragDropE2e : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running"; }
    void TearDown() override {
        // A failed step may leave a button down in the shared input state.
        e2e::PointerTo({0, 0}, MOUSEEVENTF_LEFTUP);
        e2e::PointerTo({0, 0}, MOUSEEVENTF_RIGHTUP);
        if (main_) {
            EXPECT_EQ(QuorleCopy::Close(process_, main_), 0u);
        }
        SetCursorPos(0, 0);
    }
    // Starts on `open` with `root` an expanded root folder of the tree.
    void Start(const std::wstring& root, const std::wstring& open) {
        settings::Settings s;
        s.treeRoots = {{root, 1}};
        ASSERT_TRUE(copy_.WriteSettings(s));
        main_ = copy_.Start(process_, L"\"" + open + L"\"");
        ASSERT_NE(main_, nullptr);
        ASSERT_TRUE(harness::PumpUntil([&] { return (tree_ = ChildById(main_, 402)) != nullptr; }, 10000));
        // The program fills the tree once the first screen of thumbnails is out (or at once without
        // a folder, and within a few seconds in any case); its mark says the roots are all in.
        ASSERT_TRUE(harness::PumpUntil([&] { return GetPropW(tree_, shelltree::kFilledProperty) != nullptr; }, 30000))
            << "the folder tree was not filled";
        ASSERT_GE(SendMessageW(tree_, TVM_GETCOUNT, 0, 0), 2);
        remote_ = std::make_unique<RemoteBuffer>(tree_);
        ASSERT_TRUE(remote_->Ok());
        harness::PumpFor(1000);
    }
    HWND Pane(int i) { return ChildById(main_, 500 + i); }
    bool Highlighted(HTREEITEM item) {
        return (SendMessageW(tree_, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_DROPHILITED) &
                TVIS_DROPHILITED) != 0;
    }
    HWND Status(int pane) { return GetDlgItem(Pane(pane), 503); }
    HWND Area(int pane) { return GetDlgItem(Pane(pane), 502); }
    std::wstring Count(int pane) { return remote_->StatusText(Status(pane), 4); }
    bool WaitCount(int pane, const std::wstring& text) {
        return harness::PumpUntil([&] { return Count(pane) == text; }, 30000);
    }
    // The tree item of the root folder's child `name`.
    HTREEITEM Folder(const std::wstring& name) {
        HTREEITEM roots = NextItem(tree_, NextItem(tree_, nullptr, TVGN_ROOT), TVGN_NEXT);
        HTREEITEM item = nullptr;
        harness::PumpUntil(
            [&] { return (item = ChildNamed(tree_, *remote_, NextItem(tree_, roots, TVGN_CHILD), name)) != nullptr; },
            10000);
        return item;
    }
    POINT ItemCentre(HTREEITEM item) {
        POINT p = Centre(remote_->ItemRect(tree_, item, true));
        ClientToScreen(tree_, &p);
        return p;
    }
    // The first thumbnail cell of a pane, on screen.
    POINT FirstCell(int pane) {
        const std::wstring cls = L"Quorle_thimg" + std::to_wstring(pane + 1) + L"_class";
        RECT best = {};
        bool found = false;
        for (const harness::ChildInfo& c : harness::Children(main_)) {
            if (c.className != cls || !c.visible)
                continue;
            const RECT r = e2e::ScreenRect(c.hwnd);
            if (!found || r.top < best.top || (r.top == best.top && r.left < best.left))
                best = r;
            found = true;
        }
        EXPECT_TRUE(found) << "pane " << pane << " shows no thumbnail";
        return Centre(best);
    }
    void SelectAll(int pane, const std::wstring& count) {
        PostMessageW(Area(pane), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(2, 2));
        ASSERT_TRUE(WaitCount(pane, count)) << platform::WideToUtf8(Count(pane));
    }
    // Shift and a click on the tree item load the other pane.
    void LoadPane2(HTREEITEM item) {
        const RECT r = remote_->ItemRect(tree_, item, true);
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        {
            e2e::SharedShift shift(main_);
            PostMessageW(tree_, WM_LBUTTONDOWN, MK_LBUTTON, at);
            PostMessageW(tree_, WM_LBUTTONUP, 0, at);
            harness::PumpFor(800);
        }
    }

    QuorleCopy copy_;
    harness::Process process_;
    HWND main_ = nullptr;
    HWND tree_ = nullptr;
    std::unique_ptr<RemoteBuffer> remote_;
};

TEST_F(DragDropE2e, ALeftDragOntoTheOtherPaneMovesTheFiles) {
    fixtures::TempFolder root;
    const std::wstring one = e2e::WritePhotos(root, L"one", 3);
    const std::wstring two = root / L"two";
    ASSERT_TRUE(CreateDirectoryW(two.c_str(), nullptr));
    ASSERT_NO_FATAL_FAILURE(Start(root.Path(), one));
    ASSERT_TRUE(WaitCount(0, L"0/3"));
    LoadPane2(Folder(L"two"));
    ASSERT_TRUE(harness::PumpUntil([&] { return remote_->StatusText(Status(1), 5) == L"two"; }, 10000))
        << platform::WideToUtf8(remote_->StatusText(Status(1), 5));
    ASSERT_NO_FATAL_FAILURE(SelectAll(0, L"3/3"));

    const POINT target = Centre(e2e::ScreenRect(Area(1)));
    PressAndMove(FirstCell(0), target, true);
    Release(target, true);

    EXPECT_TRUE(harness::PumpUntil([&] { return CountFiles(two) == 3; }, 10000)) << CountFiles(two);
    EXPECT_EQ(CountFiles(one), 0u);
    EXPECT_TRUE(WaitCount(0, L"-")) << "moved items leave pane 1: " << platform::WideToUtf8(Count(0));
    EXPECT_TRUE(WaitCount(1, L"0/3")) << "pane 2 lists them: " << platform::WideToUtf8(Count(1));
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"drag_moved_to_pane2", main_).empty());
}

// A right drag copies; on the tree item of the pane's own folder it is refused and nothing happens.
TEST_F(DragDropE2e, ARightDragCopiesOntoATreeFolderButNotOntoItsOwn) {
    fixtures::TempFolder root;
    const std::wstring one = e2e::WritePhotos(root, L"one", 2);
    const std::wstring three = root / L"three";
    ASSERT_TRUE(CreateDirectoryW(three.c_str(), nullptr));
    ASSERT_NO_FATAL_FAILURE(Start(root.Path(), one));
    ASSERT_TRUE(WaitCount(0, L"0/2"));
    ASSERT_NO_FATAL_FAILURE(SelectAll(0, L"2/2"));

    // On a folder that takes the items the copy cursor shows; on the pane's own folder the same cursor
    // as over a window that takes nothing (the "no" cursor). Handles are compared, not images: the
    // cursor is the one the program's thread set, read through the foreground input state.
    HTREEITEM oneItem = Folder(L"one");
    HTREEITEM threeItem = Folder(L"three");
    const POINT own = ItemCentre(oneItem);
    const auto cursorNow = [] {
        CURSORINFO info = {};
        info.cbSize = sizeof info;
        return GetCursorInfo(&info) ? info.hCursor : nullptr;
    };
    PressAndMove(FirstCell(0), ItemCentre(threeItem), false);
    EXPECT_TRUE(harness::PumpUntil([&] { return Highlighted(threeItem); }, 5000));
    harness::PumpFor(500);
    const HCURSOR copying = cursorNow();
    e2e::PointerTo(own);
    EXPECT_TRUE(harness::PumpUntil([&] { return Highlighted(oneItem) && cursorNow() != copying; }, 5000))
        << "the cursor over the pane's own folder is the copy cursor";
    const HCURSOR overOwn = cursorNow();
    e2e::PointerTo(Centre(e2e::ScreenRect(ChildById(main_, 202))));
    harness::PumpFor(500);
    EXPECT_EQ(cursorNow(), overOwn) << "over the toolbar, which takes nothing";
    e2e::PointerTo(own);
    EXPECT_TRUE(harness::PumpUntil([&] { return Highlighted(oneItem); }, 5000));
    Release(own, false);
    EXPECT_TRUE(harness::PumpUntil([&] { return !Highlighted(oneItem); }, 5000));
    harness::PumpFor(1000);
    EXPECT_EQ(CountFiles(one), 2u);
    EXPECT_EQ(CountFiles(three), 0u);
    EXPECT_EQ(Count(0), L"2/2");
    EXPECT_EQ(harness::FindTopWindow(L"#32770", 0, process_.Id()), nullptr) << "no dialog of any kind";

    const POINT target = ItemCentre(threeItem);
    PressAndMove(FirstCell(0), target, false);
    // The drag in progress: the tree folder under the pointer carries the drop highlight.
    EXPECT_TRUE(harness::PumpUntil([&] { return Highlighted(threeItem); }, 5000));
    harness::PumpFor(200);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"drag_over_tree_folder", main_).empty());
    Release(target, false);
    EXPECT_TRUE(harness::PumpUntil([&] { return CountFiles(three) == 2; }, 10000)) << CountFiles(three);
    EXPECT_EQ(CountFiles(one), 2u);
    EXPECT_EQ(Count(0), L"2/2") << "copied items stay in the pane";
}

TEST_F(DragDropE2e, ADragFromAZipPaneOntoATreeFolderExtractsTheMembers) {
    fixtures::TempFolder root, scratch;
    std::vector<testzip::Member> members;
    for (int i = 0; i < 2; ++i) {
        const std::wstring file = scratch / (L"p" + std::to_wstring(i) + L".jpg");
        ASSERT_TRUE(photos::WriteJpeg(file, 640, 480, 200 + i));
        testzip::Member m;
        m.name = "trip/photo" + std::to_string(i + 1) + ".jpg";
        m.data = fixtures::ReadWholeFile(file);
        m.method = i ? 8 : 0;
        members.push_back(m);
    }
    const std::wstring zip = root / L"Trip.zip";
    const testzip::Zip made = testzip::Make(members);
    ASSERT_TRUE(made.bytes.SaveTo(zip));
    const std::wstring out = root / L"out";
    ASSERT_TRUE(CreateDirectoryW(out.c_str(), nullptr));
    ASSERT_NO_FATAL_FAILURE(Start(root.Path(), zip));
    ASSERT_TRUE(WaitCount(0, L"0/2"));
    ASSERT_NO_FATAL_FAILURE(SelectAll(0, L"2/2"));

    const POINT target = ItemCentre(Folder(L"out"));
    PressAndMove(FirstCell(0), target, true);
    Release(target, true);
    EXPECT_TRUE(harness::PumpUntil([&] { return CountFiles(out) == 2; }, 10000)) << CountFiles(out);
    EXPECT_EQ(fixtures::ReadWholeFile(paths::Join(out, L"photo1.jpg")), members[0].data);
    EXPECT_EQ(fixtures::ReadWholeFile(paths::Join(out, L"photo2.jpg")), members[1].data);
    EXPECT_EQ(fixtures::ReadWholeFile(zip), made.bytes.Data()) << "the archive is left as it was";
    EXPECT_EQ(Count(0), L"2/2");
}

TEST_F(DragDropE2e, HoldingOnACollapsedFoldersButtonExpandsIt) {
    fixtures::TempFolder root;
    const std::wstring one = e2e::WritePhotos(root, L"one", 1);
    ASSERT_TRUE(CreateDirectoryW((root / L"nest").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((root / L"nest\\inner").c_str(), nullptr));
    ASSERT_NO_FATAL_FAILURE(Start(root.Path(), one));
    ASSERT_TRUE(WaitCount(0, L"0/1"));
    HTREEITEM nest = Folder(L"nest");
    ASSERT_NE(nest, nullptr);
    ASSERT_TRUE(harness::PumpUntil([&] { return remote_->ChildrenCount(tree_, nest) == 1; }, 10000))
        << "the folder shows its button";
    ASSERT_EQ(SendMessageW(tree_, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(nest), TVIS_EXPANDED) & TVIS_EXPANDED,
              0);
    // The button lies left of the label: the first point of the row the control calls its button
    // (in screen coordinates; none while the item is out of view).
    auto buttonPoint = [&]() -> POINT {
        const RECT label = remote_->ItemRect(tree_, nest, true);
        POINT button = {-1, -1};
        for (int x = label.left - 1; x >= 0 && button.x < 0; --x) {
            TVHITTESTINFO hit = {};
            hit.pt = {x, (label.top + label.bottom) / 2};
            e2e::RemoteSend(tree_, TVM_HITTEST, 0, &hit, sizeof hit);
            if (hit.flags & TVHT_ONITEMBUTTON)
                button = hit.pt;
        }
        if (button.x >= 0)
            ClientToScreen(tree_, &button);
        return button;
    };
    const POINT button = buttonPoint();
    ASSERT_GE(button.x, 0) << "no button found left of the label";
    auto expanded = [&] {
        return (SendMessageW(tree_, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(nest), TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
    };

    PressAndMove(FirstCell(0), button, true);
    // The tree may still settle (shell notices, its worker's answers) and move the row: the pointer
    // is put back on the button where it is now, and held there again.
    bool opened = harness::PumpUntil(expanded, 2500);
    for (int attempt = 0; attempt < 2 && !opened; ++attempt) {
        const POINT again = buttonPoint();
        if (again.x >= 0) {
            e2e::PointerTo({again.x + 1, again.y});
            harness::PumpFor(40);
            e2e::PointerTo(again);
        }
        opened = harness::PumpUntil(expanded, 2500);
    }
    EXPECT_TRUE(opened) << "still collapsed with the pointer held on its button";
    EXPECT_NE(ChildNamed(tree_, *remote_, nest, L"inner"), nullptr);
    EXPECT_TRUE(Highlighted(nest));
    harness::PumpFor(200);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"drag_expanded_folder", main_).empty());
    // Let go over the window's own toolbar: no target, nothing moves.
    const POINT away = Centre(e2e::ScreenRect(ChildById(main_, 202)));
    e2e::PointerTo(away);
    harness::PumpFor(200);
    Release(away, true);
    harness::PumpFor(500);
    EXPECT_EQ(CountFiles(one), 1u);
}

// A tree folder goes into another folder, never into one of its own sub-folders.
TEST_F(DragDropE2e, ATreeFolderMovesIntoAnotherButNotIntoItsOwnSubFolder) {
    fixtures::TempFolder root;
    const std::wstring one = e2e::WritePhotos(root, L"one", 1);
    const std::wstring src = e2e::WritePhotos(root, L"src", 1);
    ASSERT_TRUE(CreateDirectoryW((root / L"src\\sub").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((root / L"dst").c_str(), nullptr));
    ASSERT_NO_FATAL_FAILURE(Start(root.Path(), one));
    ASSERT_TRUE(WaitCount(0, L"0/1"));
    HTREEITEM srcItem = Folder(L"src");
    ASSERT_NE(srcItem, nullptr);
    SendMessageW(tree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(srcItem));
    HTREEITEM sub = nullptr;
    ASSERT_TRUE(harness::PumpUntil([&] { return (sub = ChildNamed(tree_, *remote_, srcItem, L"sub")) != nullptr; },
                                   10000));

    const POINT from = ItemCentre(srcItem);
    const POINT inside = ItemCentre(sub);
    PressAndMove(from, inside, true);
    EXPECT_TRUE(harness::PumpUntil([&] { return Highlighted(sub); }, 5000)) << "no folder drag under way";
    Release(inside, true);
    harness::PumpFor(1000);
    EXPECT_TRUE(platform::PathExists(src + L"\\sub"));
    EXPECT_EQ(CountFiles(src), 1u);
    EXPECT_EQ(harness::FindTopWindow(L"#32770", 0, process_.Id()), nullptr) << "refused without any dialog";

    const POINT target = ItemCentre(Folder(L"dst"));
    PressAndMove(ItemCentre(Folder(L"src")), target, true);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"drag_tree_folder", main_).empty());
    Release(target, true);
    EXPECT_TRUE(harness::PumpUntil([&] { return platform::PathExists(root / L"dst\\src\\sub"); }, 10000));
    EXPECT_FALSE(platform::PathExists(src));
    EXPECT_EQ(CountFiles(root / L"dst\\src"), 1u);
}

// A drop from outside hands over only the first path; the window comes to the front and shows it.
TEST_F(DragDropE2e, DroppedFilesOpenTheFirstPathOnly) {
    fixtures::TempFolder root;
    const std::wstring start = e2e::WritePhotos(root, L"start", 1);
    const std::wstring first = e2e::WritePhotos(root, L"firstdrop", 2);
    const std::wstring second = e2e::WritePhotos(root, L"seconddrop", 1);
    ASSERT_NO_FATAL_FAILURE(Start(root.Path(), start));
    ASSERT_TRUE(WaitCount(0, L"0/1"));

    // The drop handle's bytes are put into the program's own memory, as the shell would hand them.
    std::vector<uint8_t> bytes(sizeof(DROPFILES));
    DROPFILES header = {};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = TRUE;
    std::memcpy(bytes.data(), &header, sizeof header);
    for (const std::wstring& path : {first, second, start}) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(path.c_str());
        bytes.insert(bytes.end(), p, p + (path.size() + 1) * sizeof(wchar_t));
    }
    bytes.insert(bytes.end(), sizeof(wchar_t), 0);
    DWORD pid = 0;
    GetWindowThreadProcessId(main_, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    ASSERT_NE(process, nullptr);
    // Not at the start of the pages: DragFinish hands the handle to the heap, which looks in front
    // of it (and finds no block of its own there, so it frees nothing).
    constexpr size_t kAt = 64;
    void* block = VirtualAllocEx(process, nullptr, kAt + bytes.size(), MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(block, nullptr);
    uint8_t* drop = static_cast<uint8_t*>(block) + kAt;
    ASSERT_TRUE(WriteProcessMemory(process, drop, bytes.data(), bytes.size(), nullptr));
    PostMessageW(main_, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);

    EXPECT_TRUE(harness::PumpUntil([&] { return remote_->StatusText(Status(0), 5) == L"firstdrop"; }, 10000))
        << platform::WideToUtf8(remote_->StatusText(Status(0), 5));
    EXPECT_TRUE(WaitCount(0, L"0/2"));
    harness::PumpFor(500);
    EXPECT_EQ(remote_->StatusText(Status(0), 5), L"firstdrop") << "only the first path is used";
    EXPECT_EQ(GetForegroundWindow(), main_);
    VirtualFreeEx(process, block, 0, MEM_RELEASE);
    CloseHandle(process);
}

} // namespace
