#include "archive/rar_reader.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "archive/extract.h"
#include "archive/rar_libarchive.h"
#include "common/crc32.h"
#include "common/path.h"

namespace archive {

namespace {

constexpr size_t kReadChunk = 64 * 1024;
// Members of a solid set kept after being passed over: about what the decode threads ask ahead.
constexpr size_t kKeptMembers = 8;
constexpr uint64_t kKeptBytes = 64ull << 20;
// 100-ns steps between 1601-01-01 and 1970-01-01.
constexpr int64_t kUnixEpochAsFileTime = 116444736000000000ll;

// A RAR set opened at its first volume with every volume that exists handed to the library.
class RarSet {
  public:
    bool Open(const std::wstring& path) {
        const RarProbe probe = ProbeRarFile(path);
        first_ = FirstRarVolume(path, probe);
        volumes_ = RarVolumeSet(first_, probe, &complete_);
        records_ = RarRecords(volumes_);
        uint32_t flags = 0;
        solid_ = ReadRarMainFlags(first_, &flags) && (flags & rarflags::kSolid) != 0;
        return Restart();
    }

    // Back to the set's first member, the volumes and records found by Open kept.
    bool Restart() { return reader_.Open(volumes_); }

    // Whether `data` is what the headers record for member `ordinal`. The library checks compressed
    // data but not stored data, so every member is checked here; a member the headers walk did not
    // reach (or whose size disagrees) keeps the library's word alone.
    bool MatchesRecord(uint32_t ordinal, const uint8_t* data, uint64_t size) const {
        return MatchesCrc(ordinal, size, crc::Crc32(data, static_cast<size_t>(size)));
    }
    bool MatchesCrc(uint32_t ordinal, uint64_t size, uint32_t crc) const {
        if (ordinal >= records_.size() || records_[ordinal].size != size || !records_[ordinal].hasCrc)
            return true;
        return crc == records_[ordinal].crc;
    }

    // The next header, or false at the end or on damage.
    bool Next(rarlib::Entry* entry) { return reader_.Next(entry); }

    // The current entry's `size` bytes into `out`, never asking past the entry's end (the RAR 4
    // reader can lose its last block when asked for more). False when the bytes run short or the
    // library's own check fails.
    bool ReadAll(uint8_t* out, uint64_t size) {
        uint64_t left = size;
        int64_t got = 0;
        while ((got = ReadSome(out + (size - left), kReadChunk, &left)) > 0) {
        }
        return got == 0 && left == 0;
    }

    // Up to `capacity` bytes, at most `left`; 0 once `left` is 0.
    int64_t ReadSome(uint8_t* out, size_t capacity, uint64_t* left) {
        if (*left == 0)
            return 0;
        const size_t ask = static_cast<size_t>(std::min<uint64_t>(*left, capacity));
        const int64_t got = reader_.Read(out, ask);
        if (got <= 0)
            return -1;
        *left -= static_cast<uint64_t>(got);
        return got;
    }

    bool Complete() const { return complete_; }
    const std::vector<RarRecord>& Records() const { return records_; }
    const std::vector<std::wstring>& Volumes() const { return volumes_; }
    // Whether passing over a member means unpacking it.
    bool Solid() const { return solid_; }

  private:
    std::wstring first_;
    std::vector<std::wstring> volumes_;
    bool complete_ = true;
    bool solid_ = false;
    std::vector<RarRecord> records_;
    rarlib::Reader reader_;
};

// The library's entry as the listing keeps it.
void FillEntry(const rarlib::Entry& entry, uint32_t ordinal, location::ArchiveEntry* out) {
    location::SplitMemberPath(entry.path, entry.folder, out);
    out->locator = ordinal;
    out->size = static_cast<uint32_t>(entry.size);
    out->time = 0;
    if (entry.timeKnown) {
        const int64_t ticks = entry.seconds * 10000000 + entry.nanoseconds / 100 + kUnixEpochAsFileTime;
        if (ticks > 0)
            out->time = static_cast<platform::FileTime>(ticks);
    }
}

bool Fetchable(const rarlib::Entry& entry) {
    return !entry.folder && entry.sizeKnown && entry.size >= 0 && static_cast<uint64_t>(entry.size) < kRarMaxFetch &&
           !entry.encrypted;
}

bool ReadMemberInto(RarSet& set, uint32_t ordinal, const rarlib::Entry& entry, platform::PageBlock* block,
                    uint32_t* size) {
    if (!Fetchable(entry))
        return false;
    const uint64_t length = static_cast<uint64_t>(entry.size);
    platform::PageBlock data(static_cast<size_t>(length) + 4);
    if (!data || !set.ReadAll(data.Get(), length) || !set.MatchesRecord(ordinal, data.Get(), length))
        return false;
    *block = std::move(data);
    *size = static_cast<uint32_t>(length);
    return true;
}

} // namespace

struct RarSequence::State {
    RarSet set;
    uint64_t size = 0;
    uint64_t left = 0;
    uint32_t crc = crc::kCrc32Init;
    bool readable = false;
    uint32_t ordinal = 0; // of the next member
};

RarSequence::RarSequence() = default;
RarSequence::~RarSequence() = default;

bool RarSequence::Open(const std::wstring& path) {
    state_ = std::make_unique<State>();
    return state_->set.Open(path);
}

bool RarSequence::Complete() const { return state_ && state_->set.Complete(); }

bool RarSequence::Next(location::ArchiveEntry* entry, uint64_t* size, bool* folder, bool* encrypted) {
    rarlib::Entry e;
    if (!state_ || !state_->set.Next(&e))
        return false;
    FillEntry(e, state_->ordinal++, entry);
    *folder = e.folder;
    *encrypted = e.encrypted;
    *size = e.sizeKnown && e.size > 0 ? static_cast<uint64_t>(e.size) : 0;
    state_->size = state_->left = *size;
    state_->crc = crc::kCrc32Init;
    state_->readable = !*folder && !*encrypted;
    return true;
}

int64_t RarSequence::Read(uint8_t* buffer, size_t capacity) {
    if (!state_ || !state_->readable)
        return -1;
    const int64_t got = state_->set.ReadSome(buffer, capacity, &state_->left);
    if (got > 0)
        state_->crc = crc::Crc32Update(state_->crc, buffer, static_cast<size_t>(got));
    if (got == 0 && !state_->set.MatchesCrc(state_->ordinal - 1, state_->size, crc::Crc32Final(state_->crc)))
        return -1;
    return got;
}

struct RarMemberReader::State {
    struct Kept {
        uint32_t ordinal = 0;
        platform::PageBlock block;
        uint32_t size = 0;
    };

    std::mutex lock;
    std::wstring path;
    std::unique_ptr<RarSet> set; // null before the first fetch and after a failure
    uint32_t next = 0;           // ordinal of the member the reader's next header is
    std::deque<Kept> kept;
    uint64_t keptBytes = 0;

    bool TakeKept(uint32_t ordinal, platform::PageBlock* block, uint32_t* size) {
        for (auto it = kept.begin(); it != kept.end(); ++it) {
            if (it->ordinal != ordinal)
                continue;
            *block = std::move(it->block);
            *size = it->size;
            keptBytes -= it->size;
            kept.erase(it);
            return true;
        }
        return false;
    }

    // A member of a solid set passed over on the way: unpacking it cannot be avoided, so it is kept
    // for a thread that asks for it a moment later.
    void Keep(uint32_t ordinal, const rarlib::Entry& entry) {
        if (!Fetchable(entry) || static_cast<uint64_t>(entry.size) > kKeptBytes)
            return;
        Kept k;
        k.ordinal = ordinal;
        if (!ReadMemberInto(*set, ordinal, entry, &k.block, &k.size))
            return;
        while (!kept.empty() && (kept.size() >= kKeptMembers || keptBytes + k.size > kKeptBytes)) {
            keptBytes -= kept.front().size;
            kept.pop_front();
        }
        keptBytes += k.size;
        kept.push_back(std::move(k));
    }
};

RarMemberReader::RarMemberReader(const std::wstring& path) : state_(new State) { state_->path = path; }
RarMemberReader::~RarMemberReader() = default;

bool RarMemberReader::View(uint32_t ordinal, platform::MappedView* view, const uint8_t** data, uint32_t* size) {
    *data = nullptr;
    *size = 0;
    State& s = *state_;
    std::wstring volume;
    RarRecord record;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        if (!s.set) {
            s.set = std::make_unique<RarSet>();
            s.next = 0;
            if (!s.set->Open(s.path)) {
                s.set.reset();
                return false;
            }
        }
        const std::vector<RarRecord>& records = s.set->Records();
        if (ordinal >= records.size())
            return false;
        record = records[ordinal];
        if (!record.stored || !record.hasCrc || record.size >= kRarMaxFetch || record.volume >= s.set->Volumes().size())
            return false;
        volume = s.set->Volumes()[record.volume];
    }
    // The check runs outside the lock: threads viewing neighbouring members need not wait.
    if (!view->Open(volume) || record.offset > view->Size() || record.size > view->Size() - record.offset)
        return false;
    const uint8_t* bytes = view->Data() + record.offset;
    if (crc::Crc32(bytes, static_cast<size_t>(record.size)) != record.crc)
        return false;
    *data = bytes;
    *size = static_cast<uint32_t>(record.size);
    return true;
}

bool RarMemberReader::Fetch(uint32_t ordinal, platform::PageBlock* block, uint32_t* size) {
    *block = platform::PageBlock();
    State& s = *state_;
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.TakeKept(ordinal, block, size))
        return true;
    if (!s.set) {
        s.set = std::make_unique<RarSet>();
        s.next = 0;
        if (!s.set->Open(s.path)) {
            s.set.reset();
            return false;
        }
    } else if (ordinal < s.next) {
        s.next = 0;
        if (!s.set->Restart()) {
            s.set.reset();
            return false;
        }
    }
    rarlib::Entry entry;
    for (;;) {
        if (!s.set->Next(&entry)) {
            s.set.reset();
            return false;
        }
        const uint32_t at = s.next++;
        if (at == ordinal)
            break;
        if (s.set->Solid())
            s.Keep(at, entry);
    }
    if (ReadMemberInto(*s.set, ordinal, entry, block, size))
        return true;
    // A read that failed part way leaves the library somewhere inside the member.
    if (Fetchable(entry))
        s.set.reset();
    return false;
}

RarProbe ProbeRarArchive(const std::wstring& path) { return ProbeRarFile(path); }

bool ListRarArchive(const std::wstring& path, location::ArchiveListing* listing) {
    RarSet set;
    if (!set.Open(path))
        return false;
    listing->entries.clear();
    uint32_t ordinal = 0;
    rarlib::Entry entry;
    while (set.Next(&entry)) {
        location::ArchiveEntry e;
        FillEntry(entry, ordinal++, &e);
        listing->entries.push_back(std::move(e));
    }
    if (listing->entries.empty())
        return false;
    platform::FileTime time = 0;
    platform::GetLastWriteTime(path, &time);
    listing->archiveTime = time;
    return true;
}

bool FetchRarMember(const std::wstring& path, uint32_t ordinal, platform::PageBlock* block, uint32_t* size) {
    *block = platform::PageBlock();
    RarSet set;
    if (!set.Open(path))
        return false;
    rarlib::Entry entry;
    for (uint32_t i = 0;; ++i) {
        if (!set.Next(&entry))
            return false;
        if (i == ordinal)
            return ReadMemberInto(set, i, entry, block, size);
    }
}

bool ExtractRarToFolder(const std::wstring& archivePath, const std::wstring& targetFolder, JobProgress& progress,
                        std::wstring* createdFolder) {
    if (createdFolder)
        createdFolder->clear();
    location::ArchiveListing listing;
    const RarProbe probe = ProbeRarFile(archivePath);
    RarSet set;
    // A set with a volume missing would unpack a part of its members: it is refused whole.
    if (!ListRarArchive(archivePath, &listing) || !set.Open(archivePath) || !set.Complete())
        return false;
    ExtractionPlan plan;
    if (!PlanExtraction(listing.entries, RarBaseName(archivePath, probe), targetFolder, &plan))
        return false;
    if (createdFolder)
        *createdFolder = plan.root;

    progress.SetRange(static_cast<uint32_t>(plan.targets.size()) + 1);
    progress.Step();
    // One pass through the set in order: a solid archive is unpacked once, not once per member.
    rarlib::Entry entry;
    for (size_t i = 0; i < plan.targets.size(); ++i) {
        if (!set.Next(&entry))
            break;
        progress.Step();
        platform::PageBlock block;
        uint32_t size = 0;
        if (!plan.targets[i].empty() && ReadMemberInto(set, static_cast<uint32_t>(i), entry, &block, &size))
            WriteFileViaTemp(plan.targets[i], block.Get(), size, listing.entries[i].time);
        if (progress.Cancelled())
            break;
    }
    return true;
}

} // namespace archive
