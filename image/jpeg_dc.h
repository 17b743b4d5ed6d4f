// The scans of a progressive JPEG that a 1/8 decode reads, on their own.
//
// At 1/8 scale the library's inverse DCT of a full-resolution component uses each block's DC
// coefficient alone; a subsampled component (the chroma of a 4:2:0 file) is scaled up in the
// transform instead, whose 2 x 2 form also reads the three lowest AC terms. The library still
// entropy-decodes every scan, and the luminance's AC scans are where a progressive thumbnail spent
// three quarters of its time. So for such a decode the file is copied with only the scans whose
// coefficients the reduced transform reads (frame, tables, DC scans and their refinements, and the
// AC scans of subsampled components that start low enough, in file order), and the copy is decoded
// instead: every coefficient the transform reads is the one the whole file gives, so the picture is
// the same.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/platform.h"

namespace image {

struct JpegDcStream {
    platform::PageBlock block; // SOI, the segments kept, EOI
    size_t size = 0;
    uint32_t width = 0; // from the frame header
    uint32_t height = 0;
    uint32_t kept_scans = 0;
    uint32_t skipped_scans = 0;
};

// Why a file does not take the DC path.
enum class JpegDcRefusal {
    None,
    NotProgressive,  // baseline or extended sequential frame: the library already decodes it cheaply
    Arithmetic,      // arithmetic-coded frame or conditioning tables
    NotEighth,       // the frame is not reduced by 8 for the box
    NoDcFirst,       // the first scan is not a DC scan, or a component never gets its DC
    Truncated,       // the data ends inside a DC scan or before the first scan
    Malformed,       // anything else the walk does not expect; the library decides what it means
    NoMemory,
};

// Builds `out` from `data` when the frame is Huffman-coded progressive, reduced by 8 for the box
// (the scale rule of jpeg.h), and every component's DC arrives in the scans that precede the end of
// the data. Data cut inside a skipped scan still qualifies: the kept scans before the cut are what
// the whole decode has too; a cut inside a kept scan refuses.
JpegDcRefusal BuildJpegDcStream(const uint8_t* data, size_t size, uint32_t box_width, uint32_t box_height,
                                JpegDcStream* out);

} // namespace image
