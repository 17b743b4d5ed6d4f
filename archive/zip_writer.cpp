// The archive as written, offsets from the start of each record, all fields little-endian:
//
//   local header (30 bytes, then the name; one per entry, in list order, each followed by its data)
//     0 signature 0x04034B50   4 version needed 20   6 flags 0x0800   8 method 0/8
//    10 DOS time   12 DOS date   14 CRC-32   18 compressed size   22 size   26 name length   28 extra 0
//   central header (46 bytes, then the name; one per entry, in list order, after all the data)
//     0 signature 0x02014B50   4 version made by 20   6..29 the local header's bytes 4..27
//    30 extra 0   32 comment 0   34 disk 0   36 internal attributes 0
//    38 external attributes 0x10 folder / 0x20 file   42 offset of the local header
//   end record (22 bytes)
//     0 signature 0x06054B50   4 disk 0   6 directory disk 0   8 entries here   10 entries in all
//    12 directory size   16 directory offset   20 comment length 0
//
// Folder entries and stored empty files carry no data, CRC 0 and sizes 0; an empty file deflated
// carries the two-byte empty deflate stream (compressed size 2), which every reader accepts. Since bit 3
// (sizes after the data) is never set, a file's local header is written with zero CRC and sizes,
// its data streamed after it, and the header patched once the data is out: memory stays at two
// pieces and the deflate state, whatever the file sizes.
#include "archive/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "archive/zip_format.h"
#include "common/crc32.h"
#include "common/path.h"
#include "common/platform.h"
#include "common/unique_name.h"

namespace archive {

namespace {

using namespace zipformat;

constexpr uint16_t kVersion = 20;
constexpr size_t kMaxNameBytes = 260;
constexpr size_t kMaxEntries = 0xFFFF;    // the end record counts in 16 bits
constexpr uint64_t kMaxField = 0xFFFFFFFF; // sizes and offsets are 32-bit without ZIP64
constexpr size_t kPieceBytes = size_t{1} << 20;
constexpr uint32_t kFolderAttributes = 0x10;
constexpr uint32_t kFileAttributes = 0x20;

struct Entry {
    std::string name; // as written: UTF-8, "/" between components, a folder's ending in "/"
    bool folder = false;
    uint16_t method = 0;
    uint16_t time = 0;
    uint16_t date = 0;
    uint32_t crc = 0;
    uint32_t packedSize = 0;
    uint32_t size = 0;
    uint32_t offset = 0; // of the local header
};

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    Put16(p, static_cast<uint16_t>(v));
    Put16(p + 2, static_cast<uint16_t>(v >> 16));
}

void FillLocalHeader(uint8_t* h, const Entry& e) {
    Put32(h, kLocalSignature);
    Put16(h + 4, kVersion);
    Put16(h + 6, kFlagUtf8);
    Put16(h + 8, e.method);
    Put16(h + 10, e.time);
    Put16(h + 12, e.date);
    Put32(h + 14, e.crc);
    Put32(h + 18, e.packedSize);
    Put32(h + 22, e.size);
    Put16(h + 26, static_cast<uint16_t>(e.name.size()));
    Put16(h + 28, 0);
}

void FillCentralHeader(uint8_t* h, const Entry& e) {
    uint8_t local[kLocalSize];
    FillLocalHeader(local, e);
    Put32(h, kDirectorySignature);
    Put16(h + 4, kVersion);
    std::copy(local + 4, local + 28, h + 6);
    Put16(h + 30, 0);
    Put16(h + 32, 0);
    Put16(h + 34, 0);
    Put16(h + 36, 0);
    Put32(h + 38, e.folder ? kFolderAttributes : kFileAttributes);
    Put32(h + 42, e.offset);
}

// Times outside the DOS range (1980 to 2107) take its nearest end rather than failing the job:
// files stamped 1970 by build tools are common.
void ToDosTime(platform::FileTime utc, Entry* e) {
    if (platform::UtcToDosDateTime(utc, &e->date, &e->time))
        return;
    constexpr platform::FileTime kYear2000 = 125911584000000000ULL;
    if (utc > kYear2000) {
        e->date = static_cast<uint16_t>((127 << 9) | (12 << 5) | 31);
        e->time = static_cast<uint16_t>((23 << 11) | (59 << 5) | 29);
    } else {
        e->date = static_cast<uint16_t>((1 << 5) | 1);
        e->time = 0;
    }
}

// The temporary archive: appends, and patches what is already written.
class Output {
  public:
    explicit Output(platform::File& file) : file_(file) {}
    bool Write(const void* data, size_t bytes) {
        if (file_.Write(data, bytes) != bytes)
            return false;
        offset_ += bytes;
        return true;
    }
    bool Patch(uint64_t at, const void* data, size_t bytes) {
        return file_.Seek(at) && file_.Write(data, bytes) == bytes && file_.Seek(offset_);
    }
    uint64_t Offset() const { return offset_; }

  private:
    platform::File& file_;
    uint64_t offset_ = 0;
};

// One raw deflate state for the whole job, reset between files (a reset stream writes exactly what a
// new one would).
class Deflater {
  public:
    Deflater() = default;
    ~Deflater() {
        if (ready_)
            deflateEnd(&zs_);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    bool Start() {
        if (ready_)
            return deflateReset(&zs_) == Z_OK;
        ready_ = deflateInit2(&zs_, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) == Z_OK;
        return ready_;
    }
    // Compresses one piece (the last one with `finish`) and writes what comes out.
    PackFailure Feed(const uint8_t* data, size_t bytes, bool finish, uint8_t* buffer, size_t bufferBytes,
                     Output& out) {
        zs_.next_in = const_cast<uint8_t*>(data);
        zs_.avail_in = static_cast<uInt>(bytes);
        int result;
        do {
            zs_.next_out = buffer;
            zs_.avail_out = static_cast<uInt>(bufferBytes);
            result = deflate(&zs_, finish ? Z_FINISH : Z_NO_FLUSH);
            if (result == Z_STREAM_ERROR)
                return PackFailure::DeflateFailed;
            const size_t produced = bufferBytes - zs_.avail_out;
            if (produced && !out.Write(buffer, produced))
                return PackFailure::TempFileFailed;
            // Nothing left to do before more input; finishing always has output room here.
            if (result == Z_BUF_ERROR) {
                if (finish)
                    return PackFailure::DeflateFailed;
                break;
            }
        } while (zs_.avail_out == 0 || (finish && result != Z_STREAM_END));
        return zs_.avail_in == 0 ? PackFailure::None : PackFailure::DeflateFailed;
    }

  private:
    z_stream zs_ = {};
    bool ready_ = false;
};

struct Job {
    Job(const std::wstring& sourceFolder, ZipMethod zipMethod, JobProgress& jobProgress, Output& output)
        : source(sourceFolder), method(zipMethod), progress(jobProgress), out(output) {}
    std::wstring source;
    ZipMethod method;
    JobProgress& progress;
    Output& out;
    Deflater deflater;
    std::unique_ptr<uint8_t[]> piece{new uint8_t[kPieceBytes]};
    std::unique_ptr<uint8_t[]> packed;
};

// The entry's path on disk. Names are only accepted when UTF-8 gives back the same UTF-16, so the
// archive name is enough to find the file again.
std::wstring DiskPath(const std::wstring& source, const Entry& e) {
    std::wstring relative = platform::Utf8ToWide(e.name);
    if (e.folder)
        relative.pop_back();
    for (wchar_t& c : relative)
        if (c == L'/')
            c = paths::kSeparator;
    return paths::Join(source, relative);
}

PackFailure AddEntry(const std::wstring& relative, bool folder, std::vector<Entry>* entries) {
    std::wstring name = relative;
    for (wchar_t& c : name)
        if (c == paths::kSeparator)
            c = L'/';
    if (folder)
        name += L'/';
    Entry e;
    e.name = platform::WideToUtf8(name);
    e.folder = folder;
    if (e.name.size() > kMaxNameBytes || platform::Utf8ToWide(e.name) != name)
        return PackFailure::NameTooLong;
    entries->push_back(std::move(e));
    return PackFailure::None;
}

// Folders breadth-first from the source, sub-folders in listing order, those starting with "."
// left out; each folder's entry is followed by its files'.
PackFailure CollectEntries(const std::wstring& source, std::vector<Entry>* entries) {
    std::vector<std::wstring> folders{std::wstring()};
    for (size_t i = 0; i < folders.size(); ++i) {
        const std::wstring folder = folders[i];
        if (i > 0) {
            const PackFailure failure = AddEntry(folder, true, entries);
            if (failure != PackFailure::None)
                return failure;
        }
        std::vector<std::wstring> files;
        bool tooMany = false;
        const bool listed = platform::ListFolder(
            folder.empty() ? source : paths::Join(source, folder), L"*", [&](const platform::FolderEntry& item) {
                const std::wstring relative = folder.empty() ? item.name : folder + paths::kSeparator + item.name;
                if (!(item.attributes & platform::attr::kDirectory))
                    files.push_back(relative);
                else if (item.name[0] != L'.')
                    folders.push_back(relative);
                // Every folder still queued gives one entry too; a loop of links ends here.
                tooMany = entries->size() + files.size() + (folders.size() - 1 - i) > kMaxEntries;
                return !tooMany;
            });
        if (tooMany)
            return PackFailure::TooManyEntries;
        if (!listed)
            return PackFailure::FolderUnreadable;
        for (const std::wstring& file : files) {
            const PackFailure failure = AddEntry(file, false, entries);
            if (failure != PackFailure::None)
                return failure;
        }
    }
    return PackFailure::None;
}

PackFailure WriteHeader(Output& out, Entry* e) {
    if (out.Offset() > kMaxField)
        return PackFailure::ArchiveTooLarge;
    e->offset = static_cast<uint32_t>(out.Offset());
    uint8_t header[kLocalSize];
    FillLocalHeader(header, *e);
    return out.Write(header, sizeof header) && out.Write(e->name.data(), e->name.size())
               ? PackFailure::None
               : PackFailure::TempFileFailed;
}

PackFailure WriteFolder(Job& job, Entry* e) {
    platform::FileTime time = 0;
    if (!platform::GetLastWriteTime(DiskPath(job.source, *e), &time))
        return PackFailure::FolderUnreadable;
    ToDosTime(time, e);
    return WriteHeader(job.out, e);
}

PackFailure WriteFile(Job& job, Entry* e) {
    platform::File in;
    uint64_t size = 0;
    platform::FileTime time = 0;
    if (!in.Open(DiskPath(job.source, *e), platform::OpenMode::ReadShared) || !in.Size(&size) ||
        !in.LastWriteTime(&time))
        return PackFailure::FileUnreadable;
    if (size > kMaxField)
        return PackFailure::FileTooLarge;
    ToDosTime(time, e);
    e->method = static_cast<uint16_t>(job.method);
    const bool deflated = job.method == ZipMethod::Deflated;
    // A stored file that cannot end below 4 GiB fails before it is copied.
    if (!deflated && job.out.Offset() + kLocalSize + e->name.size() + size > kMaxField + 1)
        return PackFailure::ArchiveTooLarge;
    PackFailure failure = WriteHeader(job.out, e);
    if (failure != PackFailure::None || (size == 0 && !deflated))
        return failure;
    if (size == 0) {
        // No bytes at all is no deflate stream, and readers reject it: an empty file deflated is the
        // two-byte final empty block, as zlib itself writes it.
        static const uint8_t kEmptyStream[2] = {0x03, 0x00};
        if (!job.out.Write(kEmptyStream, sizeof kEmptyStream))
            return PackFailure::TempFileFailed;
        e->packedSize = sizeof kEmptyStream;
        uint8_t header[kLocalSize];
        FillLocalHeader(header, *e);
        return job.out.Patch(uint64_t{e->offset} + 14, header + 14, 12) ? PackFailure::None
                                                                           : PackFailure::TempFileFailed;
    }

    const uint64_t dataStart = job.out.Offset();
    if (deflated) {
        if (!job.packed)
            job.packed.reset(new uint8_t[kPieceBytes]);
        if (!job.deflater.Start())
            return PackFailure::DeflateFailed;
    }
    uint32_t crc = crc::kCrc32Init;
    // The size read at opening is what is packed: a file that grows meanwhile is cut there, one
    // that shrinks fails.
    for (uint64_t left = size; left > 0;) {
        const size_t bytes = left < kPieceBytes ? static_cast<size_t>(left) : kPieceBytes;
        if (!in.ReadExact(job.piece.get(), bytes))
            return PackFailure::FileUnreadable;
        left -= bytes;
        crc = crc::Crc32Update(crc, job.piece.get(), bytes);
        if (deflated)
            failure = job.deflater.Feed(job.piece.get(), bytes, left == 0, job.packed.get(), kPieceBytes, job.out);
        else if (!job.out.Write(job.piece.get(), bytes))
            failure = PackFailure::TempFileFailed;
        if (failure != PackFailure::None)
            return failure;
        if (left > 0 && job.progress.Cancelled())
            return PackFailure::Cancelled;
    }
    const uint64_t packedSize = job.out.Offset() - dataStart;
    if (packedSize > kMaxField)
        return PackFailure::ArchiveTooLarge;
    e->crc = crc::Crc32Final(crc);
    e->size = static_cast<uint32_t>(size);
    e->packedSize = static_cast<uint32_t>(packedSize);
    uint8_t header[kLocalSize];
    FillLocalHeader(header, *e);
    return job.out.Patch(uint64_t{e->offset} + 14, header + 14, 12) ? PackFailure::None : PackFailure::TempFileFailed;
}

PackFailure WriteDirectory(Output& out, const std::vector<Entry>& entries) {
    const uint64_t directoryOffset = out.Offset();
    if (directoryOffset > kMaxField)
        return PackFailure::ArchiveTooLarge;
    // Headers go out in batches rather than one write call each.
    std::vector<uint8_t> batch;
    batch.reserve(64 * 1024);
    for (const Entry& e : entries) {
        uint8_t header[kDirectorySize];
        FillCentralHeader(header, e);
        batch.insert(batch.end(), header, header + sizeof header);
        batch.insert(batch.end(), e.name.begin(), e.name.end());
        if (batch.size() >= 60 * 1024) {
            if (!out.Write(batch.data(), batch.size()))
                return PackFailure::TempFileFailed;
            batch.clear();
        }
    }
    const uint64_t directoryBytes = out.Offset() + batch.size() - directoryOffset;
    uint8_t end[kEndSize];
    Put32(end, kEndSignature);
    Put16(end + 4, 0);
    Put16(end + 6, 0);
    Put16(end + 8, static_cast<uint16_t>(entries.size()));
    Put16(end + 10, static_cast<uint16_t>(entries.size()));
    Put32(end + 12, static_cast<uint32_t>(directoryBytes));
    Put32(end + 16, static_cast<uint32_t>(directoryOffset));
    Put16(end + 20, 0);
    batch.insert(batch.end(), end, end + sizeof end);
    return out.Write(batch.data(), batch.size()) ? PackFailure::None : PackFailure::TempFileFailed;
}

// Deleted when the job ends, however it ends; the file itself must be closed first.
struct TempPath {
    std::wstring path;
    ~TempPath() {
        if (!path.empty())
            platform::DeleteFileAt(path);
    }
};

PackFailure Pack(const std::wstring& sourceFolder, const std::wstring& destination, ZipMethod method,
                 JobProgress& progress, std::wstring* written) {
    if (!platform::FolderExists(sourceFolder))
        return PackFailure::NoSourceFolder;
    std::vector<Entry> entries;
    PackFailure failure = CollectEntries(sourceFolder, &entries);
    if (failure != PackFailure::None)
        return failure;
    if (entries.empty())
        return PackFailure::NothingToPack;
    const std::wstring wanted = ZipPathFor(sourceFolder, destination);
    if (wanted.empty() || paths::MakeUniqueName(wanted, true).empty())
        return PackFailure::NoFreeName;

    TempPath temp{platform::MakeTempFile()};
    if (temp.path.empty())
        return PackFailure::TempFileFailed;
    platform::File file;
    if (!file.Open(temp.path, platform::OpenMode::CreateAlways))
        return PackFailure::TempFileFailed;
    Output out(file);
    Job job(sourceFolder, method, progress, out);

    progress.SetRange(static_cast<uint32_t>(entries.size() + 2));
    for (Entry& e : entries) {
        failure = e.folder ? WriteFolder(job, &e) : WriteFile(job, &e);
        if (failure != PackFailure::None)
            return failure;
        progress.Step();
        if (progress.Cancelled())
            return PackFailure::Cancelled;
    }
    failure = WriteDirectory(out, entries);
    if (failure != PackFailure::None)
        return failure;
    progress.Step();
    file.Close();

    // The name is taken again just before the copy, so a file made there meanwhile is not replaced.
    const std::wstring target = paths::MakeUniqueName(wanted, true);
    if (target.empty())
        return PackFailure::NoFreeName;
    // A rename shows the archive at once and whole; across volumes it is copied as the last step.
    if (!platform::MoveNew(temp.path, target) && !platform::CopyOver(temp.path, target)) {
        platform::DeleteFileAt(target);
        return PackFailure::CopyFailed;
    }
    platform::AnnounceFileCreated(target);
    progress.Step();
    if (written)
        *written = target;
    return PackFailure::None;
}

} // namespace

const char* PackFailureText(PackFailure failure) {
    switch (failure) {
    case PackFailure::None: return "no failure";
    case PackFailure::NoSourceFolder: return "the source is not an existing folder";
    case PackFailure::NothingToPack: return "the folder holds nothing to pack";
    case PackFailure::FolderUnreadable: return "a folder could not be listed or found";
    case PackFailure::FileUnreadable: return "a file could not be opened or read";
    case PackFailure::FileTooLarge: return "a file of 4 GiB or more cannot be packed";
    case PackFailure::NameTooLong: return "a name is longer than 260 bytes in UTF-8 or has no UTF-8 form";
    case PackFailure::TooManyEntries: return "more than 65535 entries";
    case PackFailure::ArchiveTooLarge: return "the archive would reach 4 GiB";
    case PackFailure::NoFreeName: return "no free name for the archive";
    case PackFailure::TempFileFailed: return "the temporary file could not be written";
    case PackFailure::DeflateFailed: return "compression failed";
    case PackFailure::Cancelled: return "cancelled";
    case PackFailure::CopyFailed: return "the archive could not be copied to its destination";
    }
    return "unknown failure";
}

std::wstring ZipDestination(const std::wstring& chosenFolder, const std::wstring& sourceFolder) {
    std::wstring name = paths::LastComponent(paths::TrimTrailingSeparators(sourceFolder));
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos)
        name.resize(dot);
    return paths::Join(chosenFolder, name + L".zip");
}

std::wstring ZipPathFor(const std::wstring& sourceFolder, const std::wstring& destination) {
    if (destination.empty()) {
        // A root ("C:\", "\") has no name to give the archive.
        const std::wstring source = paths::TrimTrailingSeparators(sourceFolder);
        const std::wstring name = paths::LastComponent(source);
        if (name.empty() || name.back() == L':')
            return std::wstring();
        return source + L".zip";
    }
    const size_t slash = destination.rfind(paths::kSeparator);
    const size_t dot = destination.rfind(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
        return destination + L".zip";
    if (paths::EqualFold(destination.substr(dot), L".zip"))
        return destination;
    return destination.substr(0, dot) + L".zip";
}

bool PackFolderToZip(const std::wstring& sourceFolder, const std::wstring& destination, ZipMethod method,
                     JobProgress& progress, std::wstring* written, PackFailure* failure) {
    const PackFailure result = Pack(sourceFolder, destination, method, progress, written);
    if (failure)
        *failure = result;
    return result == PackFailure::None;
}

} // namespace archive
