// What differs between the kinds of location a pane shows, behind one small interface: how the
// location is listed, how one member's bytes are read, what its items are called, how the thumbnail
// cache dates the location and finds its items' records (the index is keyed by the location's path
// for every kind), and the name the title shows. Each kind has one implementation; the listing, the
// thumbnail pipeline and the cache ask it instead of branching on the kind.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/platform.h"
#include "image/load.h"
#include "folder/archive_listing.h"
#include "folder/pane_location.h"
#include "folder/thumb_item.h"

namespace folder {

struct ListRequest;

// How the thumbnail cache finds an item's record among its location's records.
enum class RecordMatch {
    NameAndFileTime, // folders: the file name, then the file's last-write time must match
    PathAndTime,     // shell folders: the full parsing path, then the file's (or the listed) time
    Locator,         // archives: the member's locator
};

// The time the cache index stores beside a shell folder (folders store 0, archives their file time).
constexpr platform::FileTime kShellCacheTime = 1;

class LocationSource {
  public:
    virtual ~LocationSource() = default;

    // The location's entries, unsorted and filtered by the request; false when it yields nothing.
    // May update the location (an archive's listed time; an archive a plug-in reads becomes kind 4).
    virtual bool List(PaneLocation& location, const ListRequest& request, ArchiveListing* out) const = 0;

    // Whether items are members read through ReadMember rather than files opened by their path.
    virtual bool HoldsMembers() const { return false; }
    // One member's bytes as a member block of length + 4 bytes, the spare four zero.
    virtual bool ReadMember(const std::wstring& /*locationPath*/, const ArchiveEntry& /*entry*/,
                            platform::PageBlock* /*block*/, size_t* /*length*/) const {
        return false;
    }

    // The member's bytes in place, without a copy; false when they must be read with ReadMember.
    virtual bool ViewMember(const std::wstring& /*locationPath*/, const ArchiveEntry& /*entry*/,
                            platform::MappedView* /*view*/, const uint8_t** /*data*/, size_t* /*length*/) const {
        return false;
    }

    // A source for one load of the location that keeps it open between members (a RAR set's
    // reader), used for that load's members and released with it; null when this one serves as well.
    virtual std::unique_ptr<LocationSource> ForLoad(const std::wstring& /*locationPath*/) const { return nullptr; }

    // Gives a fresh item its name, path, locator and (where the listing knows it) time.
    virtual void PrepareItem(const std::wstring& locationPath, const ArchiveEntry& entry, ThumbItem& item) const = 0;
    // Whether a decoded item keeps the listed time rather than its file's.
    virtual bool KeepsListedTime(bool shellTimeCheck) const = 0;

    virtual RecordMatch CacheMatch() const = 0;
    // Whether the cache's entry counts only while the location file's last-write time equals the
    // stored one (archives); other locations are checked item by item.
    virtual bool CacheFollowsFileTime() const { return false; }
    // The time the cache index stores beside the location (`listed`: the archive's listed time).
    virtual platform::FileTime CacheTime(platform::FileTime listed) const = 0;
    // What a cache record of an item stores as its folder part.
    virtual const std::wstring& CacheFolderPart(const ThumbItem& item) const = 0;

    virtual std::wstring DisplayName(const PaneLocation& location) const;
};

// Archives: the listing comes from the cache while the archive is unchanged, else from the reader.
class ArchiveSource : public LocationSource {
  public:
    bool List(PaneLocation& location, const ListRequest& request, ArchiveListing* out) const override;
    bool HoldsMembers() const override { return true; }
    void PrepareItem(const std::wstring& locationPath, const ArchiveEntry& entry, ThumbItem& item) const override;
    bool KeepsListedTime(bool) const override { return true; }
    RecordMatch CacheMatch() const override { return RecordMatch::Locator; }
    bool CacheFollowsFileTime() const override { return true; }
    platform::FileTime CacheTime(platform::FileTime listed) const override { return listed; }
    const std::wstring& CacheFolderPart(const ThumbItem& item) const override { return item.path; }

  protected:
    // The archive's entries with its last-write time, unfiltered; false when it cannot be read.
    // Without a reader for the kind there is nothing.
    virtual bool ReadListing(PaneLocation& /*location*/, ArchiveListing* /*out*/) const { return false; }
};

// Shell namespace folders: items are files known by their parsing paths. Listing goes through the
// shell on Windows; natively there is no namespace and nothing is listed.
class ShellSource : public LocationSource {
  public:
    bool List(PaneLocation& location, const ListRequest& request, ArchiveListing* out) const override;
    void PrepareItem(const std::wstring& locationPath, const ArchiveEntry& entry, ThumbItem& item) const override;
    // The recycle bin's files are checked against the listed time, their names being made up.
    bool KeepsListedTime(bool shellTimeCheck) const override { return shellTimeCheck; }
    RecordMatch CacheMatch() const override { return RecordMatch::PathAndTime; }
    platform::FileTime CacheTime(platform::FileTime) const override { return kShellCacheTime; }
    const std::wstring& CacheFolderPart(const ThumbItem& item) const override { return item.path; }
    std::wstring DisplayName(const PaneLocation& location) const override { return location.path; }
};

// One member of an archive location as the decoders read it (thumbnails, the popup preview).
// The path and the entry must outlive it.
class LocationMember : public image::ArchiveMemberSource {
  public:
    LocationMember(const LocationSource& source, const std::wstring& locationPath, const ArchiveEntry& entry)
        : source_(source), path_(locationPath), entry_(entry) {}
    bool ReadMember(platform::PageBlock* block, size_t* length) override {
        return source_.ReadMember(path_, entry_, block, length);
    }
    bool ViewMember(platform::MappedView* view, const uint8_t** data, size_t* length) override {
        return source_.ViewMember(path_, entry_, view, data, length);
    }
    std::wstring MemberName() const override { return entry_.name; }

  private:
    const LocationSource& source_;
    const std::wstring& path_;
    const ArchiveEntry& entry_;
};

// The implementation of a kind.
const LocationSource& SourceFor(LocationKind kind);

// File-system folders: the portable implementation.
const LocationSource& FolderSource();
const LocationSource& ShellFolderSource();

} // namespace folder
