// Fuzzer of what the plug-in host reads from a module's memory handles. Byte 0 picks the record: even,
// the rest is an archive entry list; odd, bytes 1 and 2 give the length of a bitmap-info block that the
// rest starts with, and what follows it is the pixel block. Invariants: entry names hold no separator
// and every listed entry has its size record; a converted bitmap has 8 or 24 bits, pixels, and a
// pixel block its rows fit in.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "image/plugin_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using fuzz::Check;
    if (size < 1)
        return 0;
    if ((data[0] & 1) == 0) {
        location::ArchiveListing listing;
        std::vector<plugins::EntrySize> sizes;
        if (plugins::ParseEntryList(data + 1, size - 1, &listing, &sizes)) {
            Check(listing.entries.size() == sizes.size());
            for (const location::ArchiveEntry& e : listing.entries)
                Check(e.name.find(L'\\') == std::wstring::npos && e.name.find(L'/') == std::wstring::npos);
        }
        return 0;
    }
    if (size < 3)
        return 0;
    const size_t infoSize = std::min<size_t>(data[1] | (data[2] << 8), size - 3);
    const uint8_t* info = data + 3;
    const uint8_t* bits = info + infoSize;
    const size_t bitsSize = size - 3 - infoSize;
    image::DecodedImage img;
    if (plugins::ConvertPluginBitmap(info, infoSize, bits, bitsSize, 0, img)) {
        const int bitCount = image::BitCount(img);
        Check(bitCount == 8 || bitCount == 24);
        Check(img.pixels != nullptr && image::Width(img) > 0 && image::Height(img) > 0);
    }
    return 0;
}
