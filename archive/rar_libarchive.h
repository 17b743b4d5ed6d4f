// The bundled libarchive behind a small wall: its `struct archive` cannot share a translation unit
// with this project's `archive` namespace, so only this file's implementation includes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace rarlib {

struct Entry {
    std::wstring path; // as stored, "/" or "\" between folders
    bool folder = false;
    bool encrypted = false;
    bool sizeKnown = false;
    int64_t size = 0;
    bool timeKnown = false;
    int64_t seconds = 0; // since 1970-01-01 UTC
    long nanoseconds = 0;
};

// RAR 4 and RAR 5 read from `volumes` in order, each handed to the library as its own client data.
class Reader {
  public:
    Reader();
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool Open(const std::vector<std::wstring>& volumes);
    // The next header; false at the end or on damage.
    bool Next(Entry* entry);
    // Up to `size` bytes of the current entry from the library's own blocks: bytes read, 0 at its
    // end, negative on failure.
    int64_t Read(void* out, size_t size);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace rarlib
