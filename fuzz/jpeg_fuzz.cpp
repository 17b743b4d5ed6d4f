// JPEG fuzzer: decoding at several fit sizes, the marker scan, and the comment read/write pair.
//
// An input that starts with FF D8 is taken as a file. Anything else patches one of a few valid
// pictures made at start-up (baseline with Exif and comments, progressive, grey, CMYK, restart
// intervals): byte 0 picks the picture, bytes 1-2 the offset, the rest is written there. That way
// short runs still reach deep into the decoder. The last byte chooses the extra fit size and the
// scaling and rotation applied to the result.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "common/platform.h"
#include "fuzz/fuzz_support.h"
#include "image/jpeg.h"
#include "image/scale.h"

namespace {

using fuzz::Check;

struct Template {
    int width, height, comps;
    J_COLOR_SPACE space;
    bool progressive;
    int restart;
};

std::vector<uint8_t> MakeTemplate(const Template& t) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(t.width);
    cinfo.image_height = static_cast<JDIMENSION>(t.height);
    cinfo.input_components = t.comps;
    cinfo.in_color_space = t.space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 70, TRUE);
    if (t.progressive)
        jpeg_simple_progression(&cinfo);
    cinfo.restart_interval = static_cast<unsigned int>(t.restart);
    jpeg_start_compress(&cinfo, TRUE);
    // Exif with orientation 6 (big-endian) and a comment, written as markers after the JFIF header.
    static const uint8_t kExif[] = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                                    0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, kExif, sizeof(kExif));
    static const char kComment[] = "fuzz\r\ncomment";
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(kComment), sizeof(kComment) - 1);
    std::vector<uint8_t> row(static_cast<size_t>(t.width) * t.comps);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<uint8_t>(i * 5 + cinfo.next_scanline * 3);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

const std::vector<std::vector<uint8_t>>& Templates() {
    static const std::vector<std::vector<uint8_t>> all = [] {
        const Template kinds[] = {
            {40, 30, 3, JCS_RGB, false, 0}, {33, 17, 3, JCS_RGB, true, 0}, {24, 24, 1, JCS_GRAYSCALE, false, 0},
            {16, 16, 4, JCS_CMYK, false, 0}, {48, 32, 3, JCS_RGB, false, 1},
        };
        std::vector<std::vector<uint8_t>> v;
        for (const Template& t : kinds)
            v.push_back(MakeTemplate(t));
        return v;
    }();
    return all;
}

struct TempFiles {
    std::wstring source = platform::MakeTempFile();
    std::wstring dest = platform::MakeTempFile();
    ~TempFiles() {
        platform::DeleteFileAt(source);
        platform::DeleteFileAt(dest);
    }
};

bool WriteFile(const std::wstring& path, const uint8_t* data, size_t size) {
    platform::File f;
    return f.Open(path, platform::OpenMode::CreateAlways) && (size == 0 || f.Write(data, size) == size);
}

void CheckPicture(const image::JpegContext& ctx, const image::DecodedImage& img) {
    const image::BitmapInfoHeader& h = img.info.header;
    Check(img.pixels != nullptr);
    Check(h.width > 0 && h.height > 0);
    Check(h.bit_count == 8 || h.bit_count == 24);
    Check(static_cast<uint32_t>(h.width) <= ctx.stored_width && static_cast<uint32_t>(h.height) <= ctx.stored_height);
    Check(ctx.orientation == 1 || ctx.orientation == 3 || ctx.orientation == 6 || ctx.orientation == 8);
    // Touch the first and last byte of the block.
    volatile uint8_t sink = img.pixels[0];
    sink = img.pixels[image::Stride(img) * h.height - 1];
    (void)sink;
}

void ScaleAndRotate(image::DecodedImage& img, uint8_t options) {
    if (!image::ConvertTo24Bit(img))
        return;
    const int w = img.info.header.width, h = img.info.header.height;
    const image::PictureSize fit = image::FitToBox(w, h, 24 + options % 40, 18 + options % 30);
    image::Scaler scaler;
    platform::PageBlock scaled = image::ScaleImage(scaler, img.pixels, w, h, fit.width, fit.height, (options >> 3) % 3, nullptr);
    const uint8_t* src = scaled ? scaled.Get() : img.pixels;
    int rw = scaled ? fit.width : w, rh = scaled ? fit.height : h;
    platform::PageBlock turned = image::RotateImage(src, &rw, &rh, 1 + (options >> 5) % 5);
    Check(static_cast<bool>(turned));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TempFiles files;
    std::vector<uint8_t> input;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) {
        input.assign(data, data + size);
    } else {
        const auto& templates = Templates();
        input = templates[size ? data[0] % templates.size() : 0];
        if (size >= 3) {
            size_t at = ((static_cast<size_t>(data[1]) << 8) | data[2]) % input.size();
            for (size_t i = 3; i < size && at < input.size(); ++i, ++at)
                input[at] = data[i];
        }
    }
    const uint8_t options = size ? data[size - 1] : 0;

    image::JpegContext ctx;
    ctx.src.limits.max_pixels = 1u << 20;
    ctx.src.limits.max_jpeg_scans = 200;
    ctx.src.limits.max_codec_memory = 256u << 20;
    const uint32_t fits[3] = {0, 140, static_cast<uint32_t>(1 + options * 3)};
    image::DecodedImage img;
    for (uint32_t fit : fits) {
        image::JpegSetFit(ctx, fit);
        if (image::JpegDecodeFromMemory(ctx, input.data(), input.size(), img)) {
            CheckPicture(ctx, img);
            if (fit == 140)
                ScaleAndRotate(img, options);
        } else {
            Check(img.pixels == nullptr);
        }
    }

    image::JpegContext scan;
    scan.src.begin = input.data();
    scan.src.end = input.data() + input.size();
    image::JpegMarkerHooks hooks;
    hooks.on_exif = image::JpegOrientationHandler;
    const uint32_t orientation = image::JpegScanMarkers(scan, hooks);
    Check(orientation <= 8);

    // A comment written into the file must read back, line ends turned into CR LF.
    if (!files.source.empty() && !files.dest.empty() && WriteFile(files.source, input.data(), input.size())) {
        std::wstring before;
        image::ReadJpegComment(ctx, files.source, &before);
        image::CommentChange change;
        if (image::WriteJpegComment(ctx, files.source, files.dest, "new\ncomment", &change) == 1) {
            std::wstring after;
            Check(image::ReadJpegComment(ctx, files.dest, &after));
            Check(after == L"new\r\ncomment");
        }
    }
    return 0;
}
