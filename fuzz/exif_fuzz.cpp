// Exif walk fuzzer. The input is the Exif block (TIFF header onwards) of a JPEG's APP1 segment; an
// input that does not start with "II" or "MM" patches a valid block made at start-up (byte 0 picks
// its byte order, byte 1 the offset, the rest is written there). The block is wrapped in a minimal
// JPEG and read with the full handlers; every item text must stay short.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "image/exif.h"
#include "image/exif_strings_en.h"

namespace {

using fuzz::Bytes;
using fuzz::Check;

// IFD0 with text, orientation, resolution and the Exif pointer; an Exif IFD whose entries all point
// at one pool of rationals and bytes.
Bytes MakeBlock(bool big) {
    fuzz::OrderedWriter w{big, {}};
    w.v = {static_cast<uint8_t>(big ? 'M' : 'I'), static_cast<uint8_t>(big ? 'M' : 'I')};
    w.U16(42);
    w.U32(8);
    const uint32_t ifd0_entries = 7, exif_entries = 30;
    const uint32_t exif_at = 8 + 2 + 12 * ifd0_entries + 4;
    const uint32_t pool = exif_at + 2 + 12 * exif_entries + 4;
    w.U16(ifd0_entries);
    w.Entry(271, 2, 12, pool + 64);
    w.Entry(274, 3, 1, 6);
    w.Entry(282, 5, 1, pool);
    w.Entry(283, 5, 1, pool + 8);
    w.Entry(296, 3, 1, 2);
    w.Entry(34665, 4, 1, exif_at);
    w.Entry(34853, 4, 1, 0x1234);
    w.U32(0x40);
    const uint16_t rational_tags[] = {33434, 33437, 37377, 37378, 37379, 37380, 37381, 37382, 37386,
                                      41483, 41486, 41487, 41493, 41988, 42240, 37122};
    const uint16_t short_tags[] = {34850, 34855, 34864, 37383, 37384, 37385, 40961, 40962, 40963,
                                   41488, 41495, 41989, 41996};
    w.U16(exif_entries);
    for (uint16_t tag : rational_tags)
        w.Entry(tag, tag == 37377 || tag == 37379 || tag == 37380 ? 10 : 5, 1, pool + 16 + (tag % 5) * 8);
    for (uint16_t tag : short_tags)
        w.Entry(tag, 3, 1, tag % 7);
    w.Entry(37510, 7, 20, pool + 64);
    w.U32(0);
    for (uint32_t i = 0; i < 8; ++i) {
        w.U32(i * 37 + 1);
        w.U32(i % 3 + 1);
    }
    for (char c : std::string("ASCII\0\0\0made by a test\0", 24))
        w.v.push_back(static_cast<uint8_t>(c));
    return w.v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<Bytes> blocks = {MakeBlock(false), MakeBlock(true)};
    Bytes block;
    if (size >= 2 && ((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M')))
        block.assign(data, data + std::min<size_t>(size, 60000));
    else
        block = fuzz::PatchTemplate(blocks, data, size, 60000);
    Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE1};
    const size_t length = block.size() + 8;
    jpeg.push_back(static_cast<uint8_t>(length >> 8));
    jpeg.push_back(static_cast<uint8_t>(length));
    jpeg.insert(jpeg.end(), {'E', 'x', 'i', 'f', 0, 0});
    jpeg.insert(jpeg.end(), block.begin(), block.end());
    jpeg.insert(jpeg.end(), {0xFF, 0xD9});

    image::ExifStrings strings;
    strings.lookup = image::ExifEnglishString;
    image::ExifInfo info;
    image::JpegContext ctx;
    image::ReadExifInfoFromMemory(ctx, jpeg.data(), jpeg.size(), info, strings);
    for (const image::ExifItem& item : info.items) {
        Check(item.present || item.value.empty());
        Check(item.value.size() < 1200);
    }
    return 0;
}
