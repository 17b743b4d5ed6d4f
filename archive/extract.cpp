#include "archive/extract.h"

#include <set>
#include <unordered_set>

#include "archive/zip_reader.h"
#include "common/path.h"
#include "common/unique_name.h"

namespace archive {

namespace {

bool IsForbiddenChar(wchar_t c) {
    if (c < 0x20)
        return true;
    switch (c) {
    case L'<': case L'>': case L':': case L'"': case L'|': case L'?': case L'*': case L'\\': case L'/':
        return true;
    default:
        return false;
    }
}

// Windows opens the device, not a file, for these names whatever extension follows them.
bool IsDeviceName(const std::wstring& component) {
    std::wstring stem = component.substr(0, component.find(L'.'));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();
    for (wchar_t& c : stem)
        c = paths::FoldAscii(c);
    static const wchar_t* const kPlain[] = {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"};
    for (const wchar_t* name : kPlain)
        if (stem == name)
            return true;
    if (stem.size() == 4 && (stem.compare(0, 3, L"com") == 0 || stem.compare(0, 3, L"lpt") == 0)) {
        const wchar_t d = stem[3];
        // Superscript 1, 2 and 3 count as digits here too.
        return (d >= L'0' && d <= L'9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
    }
    return false;
}

// Paths beyond the classic limit fail on Windows anyway; refusing them here keeps both sides alike.
bool Fits(const std::wstring& path) { return path.size() <= paths::kMaxPathChars; }

// "Photos.zip" -> "Photos": the file name without its last extension.
std::wstring BaseName(const std::wstring& archivePath) {
    std::wstring name = paths::LastComponent(archivePath);
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos)
        name.resize(dot);
    return CleanPathComponent(name);
}

// Where each listed member goes, relative to the new folder.
struct Placement {
    std::wstring folder; // cleaned, no trailing "\"; empty at the top
    std::wstring name;   // cleaned; empty for folder members and names with nothing left
};

std::vector<Placement> PlaceEntries(const std::vector<location::ArchiveEntry>& entries, const std::wstring& base) {
    std::vector<Placement> placed;
    placed.reserve(entries.size());
    bool allUnderBase = !entries.empty();
    for (const location::ArchiveEntry& e : entries) {
        Placement p{CleanRelativePath(e.folder), CleanPathComponent(e.name)};
        const std::wstring top = p.folder.substr(0, p.folder.find(paths::kSeparator));
        if (!paths::EqualFold(top, base))
            allUnderBase = false;
        placed.push_back(std::move(p));
    }
    if (allUnderBase) {
        // An archive made from the folder "Photos" unpacks into "Photos", not "Photos\Photos".
        for (Placement& p : placed) {
            const size_t slash = p.folder.find(paths::kSeparator);
            p.folder = slash == std::wstring::npos ? std::wstring() : p.folder.substr(slash + 1);
        }
    }
    return placed;
}

// Creates every level of every folder the members need; levels that exist are left alone.
void CreateFolders(const std::wstring& root, const std::vector<Placement>& placed) {
    std::set<std::wstring> done;
    for (const Placement& p : placed) {
        if (p.folder.empty() || !done.insert(p.folder).second)
            continue;
        size_t end = 0;
        do {
            end = p.folder.find(paths::kSeparator, end + 1);
            const std::wstring level = paths::Join(root, p.folder.substr(0, end));
            if (!Fits(level))
                break;
            if (!platform::FolderExists(level))
                platform::CreateFolder(level);
        } while (end != std::wstring::npos);
    }
}

} // namespace

std::wstring CleanPathComponent(const std::wstring& component) {
    std::wstring out = component;
    for (wchar_t& c : out)
        if (IsForbiddenChar(c))
            c = L'_';
    // Windows drops trailing dots and spaces, so ".." and " . " would name the folder itself.
    while (!out.empty() && (out.back() == L'.' || out.back() == L' '))
        out.pop_back();
    if (!out.empty() && IsDeviceName(out))
        out.insert(out.begin(), L'_');
    return out;
}

std::wstring CleanRelativePath(const std::wstring& path) {
    std::wstring out;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of(L"\\/", start);
        if (end == std::wstring::npos)
            end = path.size();
        const std::wstring piece = CleanPathComponent(path.substr(start, end - start));
        if (!piece.empty()) {
            if (!out.empty())
                out += paths::kSeparator;
            out += piece;
        }
        start = end + 1;
    }
    return out;
}

bool WriteFileViaTemp(const std::wstring& target, const uint8_t* data, size_t size, platform::FileTime time) {
    const std::wstring temp = platform::MakeTempFile();
    if (temp.empty())
        return false;
    bool written = false;
    {
        platform::File file;
        if (file.Open(temp, platform::OpenMode::CreateAlways) && (size == 0 || file.Write(data, size) == size)) {
            written = true;
            if (time != 0)
                file.SetLastWriteTime(time);
        }
    }
    bool copied = false;
    if (written) {
        const bool existed = platform::PathExists(target);
        // A new name on the temporary folder's volume is taken by a rename, whole at once; the rest
        // (another volume, a name that exists) is copied over.
        copied = (!existed && platform::MoveNew(temp, target)) || platform::CopyOver(temp, target);
        if (copied)
            platform::AnnounceFileCreated(target);
        else if (!existed)
            platform::DeleteFileAt(target);
    }
    platform::DeleteFileAt(temp);
    return copied;
}

bool PlanExtraction(const std::vector<location::ArchiveEntry>& entries, const std::wstring& base,
                    const std::wstring& targetFolder, ExtractionPlan* plan) {
    *plan = ExtractionPlan();
    const std::wstring cleanBase = CleanPathComponent(base);
    if (cleanBase.empty())
        return false;
    const std::wstring root = paths::MakeUniqueName(paths::Join(targetFolder, cleanBase), false);
    if (root.empty() || !platform::CreateFolder(root))
        return false;
    plan->root = root;
    const std::vector<Placement> placed = PlaceEntries(entries, cleanBase);
    CreateFolders(root, placed);
    platform::AnnounceFolderCreated(root);
    plan->targets.reserve(placed.size());
    for (const Placement& p : placed) {
        std::wstring target;
        if (!p.name.empty()) {
            target = paths::Join(paths::Join(root, p.folder), p.name);
            if (!Fits(target))
                target.clear();
        }
        plan->targets.push_back(std::move(target));
    }
    return true;
}

bool ExtractZipToFolder(const std::wstring& archivePath, const std::wstring& targetFolder, JobProgress& progress,
                        std::wstring* createdFolder) {
    if (createdFolder)
        createdFolder->clear();
    platform::File file;
    location::ArchiveListing listing;
    if (!file.Open(archivePath, platform::OpenMode::ReadShared) || !ListZipArchive(file, &listing))
        return false;

    ExtractionPlan plan;
    if (!PlanExtraction(listing.entries, BaseName(archivePath), targetFolder, &plan))
        return false;
    if (createdFolder)
        *createdFolder = plan.root;

    progress.SetRange(static_cast<uint32_t>(plan.targets.size()) + 1);
    progress.Step();
    // A directory that names one local header many times would write its data as often as it likes;
    // a member is extracted once.
    std::unordered_set<uint32_t> seen;
    for (size_t i = 0; i < plan.targets.size(); ++i) {
        const std::wstring& target = plan.targets[i];
        progress.Step();
        if (target.empty())
            continue;
        platform::PageBlock block;
        uint32_t size = 0;
        platform::FileTime time = 0;
        if (seen.insert(listing.entries[i].locator).second &&
            ExtractZipEntry(file, listing.entries[i].locator, &block, &size, &time))
            WriteFileViaTemp(target, block.Get(), size, time);
        if (progress.Cancelled())
            break;
    }
    return true;
}

size_t ExtractListedToFolder(const std::wstring& archivePath, const std::vector<location::ArchiveEntry>& entries,
                             const std::wstring& targetFolder, JobProgress& progress, const MemberFetch& fetch,
                             std::wstring* createdFolder) {
    if (createdFolder)
        createdFolder->clear();
    ExtractionPlan plan;
    if (!PlanExtraction(entries, BaseName(archivePath), targetFolder, &plan))
        return 0;
    if (createdFolder)
        *createdFolder = plan.root;
    progress.SetRange(static_cast<uint32_t>(plan.targets.size()) + 1);
    progress.Step();
    size_t written = 0;
    std::unordered_set<uint32_t> seen;
    for (size_t i = 0; i < plan.targets.size(); ++i) {
        progress.Step();
        platform::PageBlock block;
        size_t size = 0;
        if (!plan.targets[i].empty() && seen.insert(entries[i].locator).second && fetch(entries[i], &block, &size) &&
            size <= block.Size() && WriteFileViaTemp(plan.targets[i], block.Get(), size, entries[i].time))
            ++written;
        if (progress.Cancelled())
            break;
    }
    return written;
}

size_t CopyMembersToFolder(const std::wstring& targetFolder, const std::vector<location::ArchiveEntry>& members,
                           const MemberFetch& fetch) {
    size_t written = 0;
    for (const location::ArchiveEntry& member : members) {
        const std::wstring name = CleanPathComponent(member.name);
        if (name.empty())
            continue;
        platform::PageBlock block;
        size_t size = 0;
        if (!fetch(member, &block, &size) || (size > 0 && size > block.Size()))
            continue;
        const std::wstring target = paths::MakeUniqueName(paths::Join(targetFolder, name), true);
        if (target.empty())
            continue;
        platform::File file;
        // The name was free a moment ago; CreateNew makes sure it still is.
        if (!file.Open(target, platform::OpenMode::CreateNew))
            continue;
        const bool ok = size == 0 || file.Write(block.Get(), size) == size;
        file.Close();
        if (ok) {
            platform::AnnounceFileCreated(target);
            ++written;
        } else {
            platform::DeleteFileAt(target);
        }
    }
    return written;
}

} // namespace archive
