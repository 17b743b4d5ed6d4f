#include "tests/image/jpeg_fixtures.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "tests/fixtures/byte_writer.h"

namespace testjpeg {

std::vector<uint8_t> Make(const Picture& p) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err); // fixtures are valid: a library error ends the test run
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(p.width);
    cinfo.image_height = static_cast<JDIMENSION>(p.height);
    int comps = 3;
    switch (p.kind) {
    case Kind::Colour: cinfo.in_color_space = JCS_RGB; break;
    case Kind::Grey: cinfo.in_color_space = JCS_GRAYSCALE; comps = 1; break;
    case Kind::Cmyk:
    case Kind::Ycck: cinfo.in_color_space = JCS_CMYK; comps = 4; break;
    }
    cinfo.input_components = comps;
    jpeg_set_defaults(&cinfo);
    if (p.kind == Kind::Cmyk)
        jpeg_set_colorspace(&cinfo, JCS_CMYK);
    if (p.kind == Kind::Ycck)
        jpeg_set_colorspace(&cinfo, JCS_YCCK);
    jpeg_set_quality(&cinfo, p.quality, TRUE);
    if (p.progressive)
        jpeg_simple_progression(&cinfo);
    std::vector<jpeg_scan_info> script;
    for (const Scan& scan : p.scans) {
        jpeg_scan_info info{};
        info.comps_in_scan = static_cast<int>(scan.components.size());
        for (size_t i = 0; i < scan.components.size(); ++i)
            info.component_index[i] = scan.components[i];
        info.Ss = scan.ss;
        info.Se = scan.se;
        info.Ah = scan.ah;
        info.Al = scan.al;
        script.push_back(info);
    }
    if (!script.empty()) {
        cinfo.scan_info = script.data();
        cinfo.num_scans = static_cast<int>(script.size());
    }
    cinfo.arith_code = p.arithmetic ? TRUE : FALSE;
    cinfo.write_JFIF_header = p.jfif ? TRUE : FALSE;
    cinfo.density_unit = p.density_unit;
    cinfo.X_density = p.x_density;
    cinfo.Y_density = p.y_density;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(p.width) * comps);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < p.width; ++x)
            for (int c = 0; c < comps; ++c)
                row[x * comps + c] = p.sample ? p.sample(x, y, c) : static_cast<uint8_t>((x * 7 + y * 3 + c * 50) & 255);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

std::vector<Scan> DcFirstScript() {
    return {{{0, 1, 2}, 0, 0, 0, 0}, {{0}, 1, 63, 0, 0}, {{1}, 1, 63, 0, 0}, {{2}, 1, 63, 0, 0}};
}

std::vector<Scan> LumaFirstScript() {
    return {{{0}, 0, 0, 0, 0}, {{0}, 1, 63, 0, 0}, {{1, 2}, 0, 0, 0, 0}, {{1}, 1, 63, 0, 0}, {{2}, 1, 63, 0, 0}};
}

std::vector<Scan> DcRefinedLaterScript() {
    return {{{0, 1, 2}, 0, 0, 0, 1}, {{1}, 1, 63, 0, 0}, {{2}, 1, 63, 0, 0}, {{0, 1, 2}, 0, 0, 1, 0},
            {{0}, 1, 63, 0, 0}};
}

std::vector<uint8_t> ExifSegment(int orientation, bool little_endian) {
    // TIFF block: byte order, 42, offset 8 of IFD0; IFD0 with one SHORT entry; next-IFD offset 0.
    fixtures::ByteWriter tiff;
    auto u16 = [&](uint16_t v) { little_endian ? tiff.U16LE(v) : tiff.U16BE(v); };
    auto u32 = [&](uint32_t v) { little_endian ? tiff.U32LE(v) : tiff.U32BE(v); };
    tiff.Ascii(little_endian ? "II" : "MM");
    u16(42);
    u32(8);
    if (orientation > 0) {
        u16(1);   // entry count
        u16(274); // orientation
        u16(3);   // SHORT
        u32(1);   // count
        u16(static_cast<uint16_t>(orientation));
        u16(0); // value field padding
    } else {
        u16(0);
    }
    u32(0);
    fixtures::ByteWriter seg;
    seg.Bytes({0xFF, 0xE1}).U16BE(static_cast<uint16_t>(2 + 6 + tiff.Size()));
    seg.Ascii("Exif").Bytes({0, 0}).Bytes(tiff.Data());
    return seg.Data();
}

std::vector<uint8_t> CommentSegment(const std::string& text) {
    fixtures::ByteWriter seg;
    seg.Bytes({0xFF, 0xFE}).U16BE(static_cast<uint16_t>(text.size() + 2)).Ascii(text);
    return seg.Data();
}

std::vector<uint8_t> InsertAfterSoi(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& segment) {
    std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

size_t ScanDataOffset(const std::vector<uint8_t>& jpeg) {
    size_t pos = 2;
    while (pos + 4 <= jpeg.size()) {
        const uint8_t marker = jpeg[pos + 1];
        const size_t length = (static_cast<size_t>(jpeg[pos + 2]) << 8) | jpeg[pos + 3];
        if (marker == 0xDA)
            return pos + 2 + length;
        pos += 2 + length;
    }
    return jpeg.size();
}

} // namespace testjpeg
