// libarchive's own RAR test archives (made by the original archiver, stored uuencoded in its source
// package) decoded into a test's folder, and what their headers record about each member, read
// here independently of both readers under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rarsuite {

// The folder holding the .uu files (set by the build).
std::wstring SuiteFolder();

// Decodes SuiteFolder()/<name>.uu into `folder`/<name>; false when it cannot.
bool Decode(const std::string& name, const std::wstring& folder);

struct Recorded {
    std::wstring path;    // "\" between folders
    std::wstring altPath; // a name without the Unicode flag read as UTF-8 (readers differ there)
    uint64_t size = 0;
    uint32_t crc = 0;
    bool hasCrc = false; // RAR 5 may carry a BLAKE2 hash instead
};

// Whether a listed path is the recorded one.
inline bool SamePath(const Recorded& r, const std::wstring& listed) {
    return listed == r.path || (!r.altPath.empty() && listed == r.altPath);
}

// The file members (not folders, links or service blocks) recorded in the volumes, in order; a
// member split across volumes once, with the CRC of its last part (the whole member's).
std::vector<Recorded> RecordedMembers(const std::vector<std::wstring>& volumes);

} // namespace rarsuite
