// RAR archive sets: which volume of a set a file is, the names of the other volumes, and whether a
// set is whole. Both RAR readers (the external module and the built-in one) start every operation at
// the first volume, so a later volume the user opened is first turned into the first one's name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace archive {

// The answers of a probe, the same from both readers.
enum RarProbe : int {
    kRarNotVolume = 0,   // a single archive, or the open failed
    kRarOldVolume = 1,   // a volume named name.rar, name.r00, name.r01 ...
    kRarLaterVolume = 2, // a volume named name.partN.rar that is not the first
    kRarFirstVolume = 3, // the first volume of a name.partN.rar set
};

// The main-header flags of the module's interface that decide a probe.
namespace rarflags {
constexpr uint32_t kVolume = 0x01;
constexpr uint32_t kSolid = 0x08;
constexpr uint32_t kNewNumbering = 0x10;
constexpr uint32_t kFirstVolume = 0x100;
} // namespace rarflags

// The probe answer for an archive's flags.
RarProbe ProbeFromFlags(uint32_t flags);

// What the archive's own headers say, read without any reader (RAR 4 and RAR 5; a self-extracting
// module before the marker is passed over). `flags` gets the module's flag bits.
bool ReadRarMainFlags(const std::wstring& path, uint32_t* flags);
RarProbe ProbeRarFile(const std::wstring& path);

// The first volume's name for a later new-style volume: photos.part3.rar -> photos.part1.rar and
// photos.part07.rar -> photos.part01.rar (the digit width is kept, unless only photos.part1.rar
// exists: photos.part18.rar of an unpadded set). Old-style photos.r02 ->
// photos.rar. Anything else, and any other probe answer, is returned unchanged.
std::wstring FirstRarVolume(const std::wstring& path, RarProbe probe);

// The name the volume after `path` has: part9 -> part10, part09 -> part10, name.rar -> name.r00,
// name.r99 -> name.s00. Empty when the name follows neither style.
std::wstring NextRarVolume(const std::wstring& path, bool newNumbering);

// The volumes of the set that starts at `first`, in order, as far as they exist on disk. `complete`
// is false when the last one found says that more follow.
std::vector<std::wstring> RarVolumeSet(const std::wstring& first, RarProbe probe, bool* complete);

// What the headers record of a member (one per member, split parts joined), in archive order.
struct RarRecord {
    uint64_t size = 0;
    uint32_t crc = 0;    // of the whole member
    bool hasCrc = false; // RAR 5 may record a BLAKE2 hash instead
    // A member stored whole in one volume, unpacked and not encrypted by its flags: its `size` bytes
    // lie in volume `volume` (of those given) from `offset`.
    bool stored = false;
    uint32_t volume = 0;
    uint64_t offset = 0;
};

// The members recorded in `volumes`, read from the headers alone (stopping at anything unreadable,
// such as encrypted headers). Service blocks are not members.
std::vector<RarRecord> RarRecords(const std::vector<std::wstring>& volumes);

// The archive's name for a folder: "photos" for photos.rar and, with a probe above 1, for
// photos.part3.rar as well.
std::wstring RarBaseName(const std::wstring& path, RarProbe probe);

} // namespace archive
