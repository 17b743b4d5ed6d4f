#include "fileops/transfer_win.h"

#include "app/language_win.h"
#include "archive/extract.h"
#include "common/path.h"
#include "folder/location_source.h"

namespace fileops {

namespace {

constexpr UINT kMoveTitle = 20210;
constexpr UINT kCopyTitle = 20211;

// Recycle-bin bookkeeping is only data read from disk: a displayed name is used as one component,
// never as a path that could climb out of the target folder.
std::wstring TargetName(const TransferItem& item) {
    std::wstring name = archive::CleanPathComponent(item.name);
    if (name.empty())
        name = archive::CleanPathComponent(paths::LastComponent(item.path));
    return name;
}

bool CopyMembers(const Transfer& t) {
    std::vector<location::ArchiveEntry> members;
    members.reserve(t.items.size());
    for (const TransferItem& item : t.items) {
        location::ArchiveEntry e;
        e.name = item.name;
        e.folder = item.path;
        e.locator = item.locator;
        e.size = item.size;
        members.push_back(std::move(e));
    }
    const folder::LocationSource& source = folder::SourceFor(t.archiveKind);
    const std::wstring& archivePath = t.archivePath;
    const archive::MemberFetch fetch = [&source, &archivePath](const location::ArchiveEntry& e,
                                                               platform::PageBlock* block, size_t* size) {
        return source.ReadMember(archivePath, e, block, size);
    };
    return archive::CopyMembersToFolder(t.targetFolder, members, fetch) > 0;
}

} // namespace

ShellOperation PlanShellTransfer(const Transfer& t, const std::wstring& moveTitle, const std::wstring& copyTitle) {
    ShellOperation op;
    if (t.source == TransferSource::Archive || t.items.empty() || t.targetFolder.empty())
        return op;
    const bool move = t.move && t.source == TransferSource::Folder;
    op.operation = move ? FO_MOVE : FO_COPY;
    op.flags = move ? kMoveFlags : kCopyFlags;
    op.progressTitle = move ? moveTitle : copyTitle;
    for (const TransferItem& item : t.items) {
        if (t.source == TransferSource::RecycleBin) {
            const std::wstring name = TargetName(item);
            if (name.empty())
                continue;
            op.targets.push_back(paths::Join(t.targetFolder, name));
        } else if (move) {
            // A move names each target: the same result as moving into the folder, and the form
            // every shell engine carries out (Wine's refuses several files moved into one folder).
            op.targets.push_back(paths::Join(t.targetFolder, paths::LastComponent(item.path)));
        }
        op.sources.push_back(item.path);
    }
    if (t.source == TransferSource::Folder && !move)
        op.targets.push_back(t.targetFolder);
    return op;
}

bool TransferToFolder(HWND owner, const Transfer& t) {
    if (t.items.empty() || t.targetFolder.empty())
        return false;
    if (t.source == TransferSource::Archive)
        return CopyMembers(t);
    const ShellOperation op = PlanShellTransfer(t, lang::Text(kMoveTitle), lang::Text(kCopyTitle));
    return !op.sources.empty() && RunShellOperation(owner, op);
}

} // namespace fileops
