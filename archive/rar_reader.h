// The built-in RAR reader (RAR 4 and RAR 5, solid archives, multi-volume sets in both naming styles)
// on the bundled libarchive. It offers what the external module offers: probe, list, fetch a member
// by ordinal and extract the whole archive, and serves whenever the module is absent.
//
// Every call starts at the first volume and hands the reader every volume of the set that exists.
// A member whose bytes run short of its declared size (a missing volume, a truncated file, data that
// cannot be decrypted or fails its check) gives nothing, never a block with a silent tail.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/job_progress.h"
#include "archive/rar_volumes.h"
#include "common/location.h"
#include "common/platform.h"

namespace archive {

// Members of 4 GiB or more are listed with the low 32 bits of their size and are never fetched.
constexpr uint64_t kRarMaxFetch = 0xFFFFFFFFull;

// The probe answer read from the archive's own headers.
RarProbe ProbeRarArchive(const std::wstring& path);

// Every member in archive order, the ordinal as locator; folder members have an empty name. The
// archive time is the last-write time of the file given. False when nothing can be listed.
bool ListRarArchive(const std::wstring& path, location::ArchiveListing* listing);

// Member `ordinal` in a page block of size + 4 bytes whose last four are zero. False for an
// encrypted member, one of 4 GiB or more, or any damage.
bool FetchRarMember(const std::wstring& path, uint32_t ordinal, platform::PageBlock* block, uint32_t* size);

// Members of one set fetched one after another through one open reader, for the length of a pane's
// load: the set is found and its headers walked once, and each fetch moves on from the member
// before, so members asked for in archive order cost one pass (a solid archive is unpacked once).
// An earlier member starts again at the first volume; in a solid set the few members passed over
// on the way to a later one are kept, since threads decoding neighbouring members ask slightly out
// of order. A failed read starts the next fetch afresh. Any thread may fetch; fetches take turns.
class RarMemberReader {
  public:
    explicit RarMemberReader(const std::wstring& path);
    ~RarMemberReader();
    RarMemberReader(const RarMemberReader&) = delete;
    RarMemberReader& operator=(const RarMemberReader&) = delete;

    // As FetchRarMember.
    bool Fetch(uint32_t ordinal, platform::PageBlock* block, uint32_t* size);
    // A member stored whole and unencrypted, in place in its mapped volume once it matches its
    // recorded CRC; false for any other member (Fetch copies those out).
    bool View(uint32_t ordinal, platform::MappedView* view, const uint8_t** data, uint32_t* size);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Extracts the whole archive into a new folder below `targetFolder` named after the set
// (photos.part3.rar -> "photos", "photos+1" when taken), dropping a top folder of that same name.
// Fails, leaving nothing written, when a later volume of the set is missing. Members that cannot be
// read are passed over. True when the folder was made and the members were gone through.
bool ExtractRarToFolder(const std::wstring& archivePath, const std::wstring& targetFolder, JobProgress& progress,
                        std::wstring* createdFolder);

// One pass through a set in archive order, for callers that stream members (the test double of the
// module): the header of each member, then its bytes.
class RarSequence {
  public:
    RarSequence();
    ~RarSequence();
    RarSequence(const RarSequence&) = delete;
    RarSequence& operator=(const RarSequence&) = delete;

    // Opens the set `path` starts (a later volume is turned into the first).
    bool Open(const std::wstring& path);
    // Whether no volume of the set is missing.
    bool Complete() const;
    // The next member; `size` is its full unpacked size. False at the end or on damage.
    bool Next(location::ArchiveEntry* entry, uint64_t* size, bool* folder, bool* encrypted);
    // Up to `capacity` bytes of the current member, never asking past its end: the count, 0 once
    // the member's `size` bytes were all read and its check passed, -1 on failure.
    int64_t Read(uint8_t* buffer, size_t capacity);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace archive
