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
    // A name without the Unicode flag is in a code page the readers may each guess differently:
    // only its ASCII start and end are compared.
    bool codePageName = false;
    uint64_t size = 0;
    uint32_t crc = 0;
    bool hasCrc = false; // RAR 5 may carry a BLAKE2 hash instead
};

// Whether a listed path is the recorded one.
inline bool SamePath(const Recorded& r, const std::wstring& listed) {
    if (!r.codePageName)
        return listed == r.path;
    size_t head = 0, tail = 0;
    while (head < r.path.size() && r.path[head] < 0x80)
        ++head;
    while (tail < r.path.size() - head && r.path[r.path.size() - 1 - tail] < 0x80)
        ++tail;
    return listed.size() >= head + tail && listed.compare(0, head, r.path, 0, head) == 0 &&
           listed.compare(listed.size() - tail, tail, r.path, r.path.size() - tail, tail) == 0;
}

// The file members (not folders, links or service blocks) recorded in the volumes, in order; a
// member split across volumes once, with the CRC of its last part (the whole member's).
std::vector<Recorded> RecordedMembers(const std::vector<std::wstring>& volumes);

} // namespace rarsuite
