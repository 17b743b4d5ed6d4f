// Our PNG, GIF and TIFF decoders against the public test pictures of the format libraries, with those
// libraries as reference decoders. scripts/fetch-test-suites.sh puts the pictures into
// QUORLE_TEST_SUITES before the tests run; a missing folder fails every case.
//
// Transparency is compared flattened onto white (our compositing with the configured colour, no
// file background), gamma correction off. Each folder's table lists every file in it with the status
// and size we expect, so a new or vanished file shows up as a failure too.
#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <set>
#include <string>
#include <vector>

#include "image/gif.h"
#include "image/mul_table.h"
#include "image/png.h"
#include "image/tiff.h"
#include "tests/fixtures/byte_writer.h"

#ifndef QUORLE_TEST_SUITES
#error "QUORLE_TEST_SUITES must name the folder of the fetched test pictures"
#endif

namespace {

using image::DecodedImage;
namespace status = image::status;

struct Expect {
    std::string file;
    uint32_t status;
    int width;
    int height;
    int bits; // bit count of our picture
    // The reference refuses the file (it checks the zlib checksum after the last row; we do not).
    bool reference_refuses = false;
};

std::string Folder(const char* name) { return std::string(QUORLE_TEST_SUITES) + "/" + name; }

std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return names;
    while (const dirent* e = readdir(dir))
        if (e->d_name[0] != '.')
            names.push_back(e->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> ReadFile(const std::string& path) { return fixtures::ReadWholeFile(platform::Utf8ToWide(path)); }

// Checks that the folder exists and holds exactly the files of the table.
void CheckFolderMatchesTable(const char* folder, const std::vector<Expect>& table) {
    const std::vector<std::string> present = ListFolder(Folder(folder));
    ASSERT_FALSE(present.empty()) << "test pictures missing in " << Folder(folder)
                                  << ": run scripts/fetch-test-suites.sh";
    std::set<std::string> listed;
    for (const Expect& e : table)
        listed.insert(e.file);
    for (const std::string& name : present)
        EXPECT_TRUE(listed.count(name)) << name << " is not in the table";
    for (const std::string& name : listed)
        EXPECT_TRUE(std::find(present.begin(), present.end(), name) != present.end()) << name << " is missing";
}

struct Rgb {
    uint8_t r, g, b;
};

Rgb OurPixel(const DecodedImage& img, int x, int y) {
    const uint8_t* row = img.pixels + static_cast<size_t>(img.info.header.height - 1 - y) * image::Stride(img);
    if (img.info.header.bit_count == 24)
        return Rgb{row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    const image::RgbQuad& q = img.info.colors[row[x]];
    return Rgb{q.red, q.green, q.blue};
}

uint8_t OverWhite(uint8_t c, uint8_t alpha) {
    const uint8_t* m = image::MulTable();
    return static_cast<uint8_t>(image::Mul255(m, alpha, c) + image::Mul255(m, static_cast<uint8_t>(255 - alpha), 255));
}

// A reference picture: RGBA, top row first.
struct Reference {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

// ---- PNG ------------------------------------------------------------------------------------------

struct PngMemory {
    const std::vector<uint8_t>* data;
    size_t pos;
};

void PngReadFromMemory(png_structp png, png_bytep out, png_size_t n) {
    PngMemory* m = static_cast<PngMemory*>(png_get_io_ptr(png));
    if (n > m->data->size() - m->pos)
        png_error(png, "read past end");
    std::memcpy(out, m->data->data() + m->pos, n);
    m->pos += n;
}

void IgnoreWarning(png_structp, png_const_charp) {}

// libpng with every sample expanded to 8-bit RGBA (16-bit samples by their high byte), no gamma.
bool PngReference(const std::vector<uint8_t>& file, Reference* ref) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, IgnoreWarning);
    png_infop info = png_create_info_struct(png);
    PngMemory mem{&file, 0};
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &mem, PngReadFromMemory);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    ref->width = static_cast<int>(png_get_image_width(png, info));
    ref->height = static_cast<int>(png_get_image_height(png, info));
    ref->rgba.assign(static_cast<size_t>(ref->width) * ref->height * 4, 0);
    rows.resize(ref->height);
    for (int y = 0; y < ref->height; ++y)
        rows[y] = ref->rgba.data() + static_cast<size_t>(y) * ref->width * 4;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

const std::vector<Expect> kPngSuite = {
    {"basn0g01.png", 50000, 32, 32, 8},  {"basn0g02.png", 50000, 32, 32, 8},  {"basn0g04.png", 50000, 32, 32, 8},
    {"basn0g08.png", 50000, 32, 32, 8},  {"basn0g16.png", 50000, 32, 32, 8},  {"basn2c08.png", 50000, 32, 32, 24},
    {"basn2c16.png", 50000, 32, 32, 24}, {"basn3p01.png", 50000, 32, 32, 8},  {"basn3p02.png", 50000, 32, 32, 8},
    {"basn3p04.png", 50000, 32, 32, 8},  {"basn3p08.png", 50000, 32, 32, 8},  {"basn4a08.png", 50000, 32, 32, 8},
    {"basn4a16.png", 50000, 32, 32, 8},  {"basn6a08.png", 50000, 32, 32, 24}, {"basn6a16.png", 50000, 32, 32, 24},
    {"ftbbn0g01.png", 50000, 32, 32, 8}, {"ftbbn0g02.png", 50000, 32, 32, 8}, {"ftbbn0g04.png", 50000, 32, 32, 8},
    {"ftbbn2c16.png", 50000, 32, 32, 24}, {"ftbbn3p08.png", 50000, 32, 32, 8},
    {"ftbgn2c16.png", 50000, 32, 32, 24}, {"ftbgn3p08.png", 50000, 32, 32, 8},
    {"ftbrn2c08.png", 50000, 32, 32, 24}, {"ftbwn0g16.png", 50000, 32, 32, 8},
    {"ftbwn3p08.png", 50000, 32, 32, 8}, {"ftbyn3p08.png", 50000, 32, 32, 8}, {"ftp0n0g08.png", 50000, 32, 32, 8},
    {"ftp0n2c08.png", 50000, 32, 32, 24}, {"ftp0n3p08.png", 50000, 32, 32, 8}, {"ftp1n3p08.png", 50000, 32, 32, 8},
    {"ibasn0g08.png", 50000, 32, 32, 8}, {"ibasn0g16.png", 50000, 32, 32, 8}, {"ibasn2c08.png", 50000, 32, 32, 24},
    {"ibasn2c16.png", 50000, 32, 32, 24}, {"ibasn3p08.png", 50000, 32, 32, 8}, {"ibasn4a08.png", 50000, 32, 32, 8},
    {"ibasn4a16.png", 50000, 32, 32, 8}, {"ibasn6a08.png", 50000, 32, 32, 24}, {"ibasn6a16.png", 50000, 32, 32, 24},
    {"iftbbn2c16.png", 50000, 32, 32, 24}, {"iftbbn3p08.png", 50000, 32, 32, 8},
    {"iftbgn2c16.png", 50000, 32, 32, 24}, {"iftbgn3p08.png", 50000, 32, 32, 8},
    {"iftbrn2c08.png", 50000, 32, 32, 24}, {"iftbwn0g16.png", 50000, 32, 32, 8},
    {"iftbwn3p08.png", 50000, 32, 32, 8}, {"iftbyn3p08.png", 50000, 32, 32, 8}, {"iftp0n0g08.png", 50000, 32, 32, 8},
    {"iftp0n2c08.png", 50000, 32, 32, 24}, {"iftp0n3p08.png", 50000, 32, 32, 8}, {"iftp1n3p08.png", 50000, 32, 32, 8},
};

const std::vector<Expect> kPngSuiteInterlaced = {
    {"ibasn0g01.png", 50000, 32, 32, 8}, {"ibasn0g02.png", 50000, 32, 32, 8}, {"ibasn0g04.png", 50000, 32, 32, 8},
    {"ibasn3p01.png", 50000, 32, 32, 8}, {"ibasn3p02.png", 50000, 32, 32, 8}, {"ibasn3p04.png", 50000, 32, 32, 8},
    {"iftbbn0g01.png", 50000, 32, 32, 8}, {"iftbbn0g02.png", 50000, 32, 32, 8}, {"iftbbn0g04.png", 50000, 32, 32, 8},
};

// Damaged files: each must fail with its status, never crash.
const std::vector<Expect> kPngCrashers = {
    {"bad_iCCP.png", status::kPngCrc, 0, 0, 0},        // IHDR CRC
    {"badadler.png", 50000, 1, 1, 8, true},     // the bad checksum comes after the last row
    {"badcrc.png", status::kPngCrc, 0, 0, 0},          // first IDAT CRC
    {"empty_ancillary_chunks.png", 50000, 1, 1, 8},    // all empty ancillary chunks are ignored
    {"huge_IDAT.png", status::kNotFormat, 0, 0, 0},    // chunk lengths far past the end of the data
    {"huge_bKGD_chunk.png", status::kNotFormat, 0, 0, 0},
    {"huge_cHRM_chunk.png", status::kNotFormat, 0, 0, 0},
    {"huge_eXIf_chunk.png", status::kNotFormat, 0, 0, 0},
    {"huge_gAMA_chunk.png", status::kNotFormat, 0, 0, 0},
    {"huge_hIST_chunk.png", status::kNotFormat, 0, 0, 0},
    {"huge_iCCP_chunk.png", status::kNotFormat, 0, 0, 0},
    {"huge_iTXt_chunk.png", status::kNotFormat, 0, 0, 0},
    {"huge_juNK_unsafe_to_copy.png", status::kNotFormat, 0, 0, 0},
    {"huge_juNk_safe_to_copy.png", status::kNotFormat, 0, 0, 0},
    {"huge_pCAL_chunk.png", status::kNotFormat, 0, 0, 0},
    {"huge_pHYs_chunk.png", status::kNotFormat, 0, 0, 0},
    {"huge_sCAL_chunk.png", status::kNotFormat, 0, 0, 0},
    {"huge_sPLT_chunk.png", status::kNotFormat, 0, 0, 0},
    {"huge_sRGB_chunk.png", status::kNotFormat, 0, 0, 0},
    {"huge_sTER_chunk.png", status::kNotFormat, 0, 0, 0},
    {"huge_tEXt_chunk.png", status::kNotFormat, 0, 0, 0},
    {"huge_tIME_chunk.png", status::kNotFormat, 0, 0, 0},
    {"huge_zTXt_chunk.png", status::kNotFormat, 0, 0, 0},
};

// contrib/testpngs: every colour type and depth, with and without tRNS and gamma chunks; all
// decode, at 32 x 32, except the 1-, 2- and 4-bit ones, which are smaller.
std::vector<Expect> TestPngsTable() {
    std::vector<Expect> table;
    std::vector<std::string> names;
    const char* kinds[] = {"gray-1", "gray-16", "gray-2", "gray-4", "gray-8", "palette-1", "palette-2",
                           "palette-4", "palette-8", "rgb-16", "rgb-8"};
    const char* variants[] = {"-1.8-tRNS", "-1.8", "-linear-tRNS", "-linear", "-sRGB-tRNS", "-sRGB", "-tRNS", ""};
    for (const char* k : kinds)
        for (const char* v : variants)
            names.push_back(std::string(k) + v + ".png");
    for (const char* k : {"gray-alpha-16", "gray-alpha-8", "rgb-alpha-16", "rgb-alpha-8"})
        for (const char* v : {"-1.8", "-linear", "-sRGB", ""})
            names.push_back(std::string(k) + v + ".png");
    for (const std::string& n : names) {
        table.push_back(Expect{n, 50000, -1, -1, n.compare(0, 3, "rgb") == 0 ? 24 : 8});
    }
    return table;
}

void ComparePng(const char* folder, const std::vector<Expect>& table) {
    CheckFolderMatchesTable(folder, table);
    for (const Expect& e : table) {
        SCOPED_TRACE(std::string(folder) + "/" + e.file);
        const std::vector<uint8_t> file = ReadFile(Folder(folder) + "/" + e.file);
        if (file.empty())
            continue;
        image::PngContext ctx;
        ctx.options.composite = true;
        ctx.options.use_file_background = false;
        ctx.options.background = 0xFFFFFF;
        ctx.options.display_gamma = 0;
        DecodedImage img;
        const bool ok = image::PngDecodeFromMemory(ctx, file.data(), file.size(), img);
        EXPECT_EQ(ctx.src.status, e.status);
        if (!ok || e.status != status::kOk)
            continue;
        if (e.width >= 0) {
            EXPECT_EQ(img.info.header.width, e.width);
            EXPECT_EQ(img.info.header.height, e.height);
        }
        EXPECT_EQ(img.info.header.bit_count, e.bits);
        Reference ref;
        const bool referenced = PngReference(file, &ref);
        EXPECT_EQ(referenced, !e.reference_refuses);
        if (!referenced)
            continue;
        ASSERT_EQ(ref.width, img.info.header.width);
        ASSERT_EQ(ref.height, img.info.header.height);
        int differing = 0;
        for (int y = 0; y < ref.height; ++y) {
            for (int x = 0; x < ref.width; ++x) {
                const uint8_t* r = &ref.rgba[(static_cast<size_t>(y) * ref.width + x) * 4];
                const Rgb want{OverWhite(r[0], r[3]), OverWhite(r[1], r[3]), OverWhite(r[2], r[3])};
                const Rgb got = OurPixel(img, x, y);
                if (got.r == want.r && got.g == want.g && got.b == want.b)
                    continue;
                if (++differing <= 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << ": ours " << int(got.r) << "," << int(got.g) << ","
                                  << int(got.b) << " reference " << int(want.r) << "," << int(want.g) << ","
                                  << int(want.b);
            }
        }
    }
}

TEST(Conformance, PngSuite) { ComparePng("pngsuite", kPngSuite); }
TEST(Conformance, PngSuiteInterlaced) { ComparePng("pngsuite-interlaced", kPngSuiteInterlaced); }
TEST(Conformance, PngTestPictures) { ComparePng("testpngs", TestPngsTable()); }
TEST(Conformance, PngCrashers) { ComparePng("png-crashers", kPngCrashers); }

// ---- GIF ------------------------------------------------------------------------------------------

struct GifMemory {
    const std::vector<uint8_t>* data;
    size_t pos;
};

int GifReadFromMemory(GifFileType* gif, GifByteType* out, int n) {
    GifMemory* m = static_cast<GifMemory*>(gif->UserData);
    const size_t take = std::min(static_cast<size_t>(n), m->data->size() - m->pos);
    std::memcpy(out, m->data->data() + m->pos, take);
    m->pos += take;
    return static_cast<int>(take);
}

// giflib's first image placed on the screen: the background index around the frame, and the
// transparent index shown white.
bool GifReference(const std::vector<uint8_t>& file, Reference* ref) {
    GifMemory mem{&file, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&mem, GifReadFromMemory, &error);
    if (!gif)
        return false;
    if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
        DGifCloseFile(gif, &error);
        return false;
    }
    const SavedImage& image = gif->SavedImages[0];
    const GifImageDesc& d = image.ImageDesc;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    GraphicsControlBlock gcb;
    int transparent = -1;
    if (DGifSavedExtensionToGCB(gif, 0, &gcb) == GIF_OK)
        transparent = gcb.TransparentColor;
    ref->width = gif->SWidth;
    ref->height = gif->SHeight;
    ref->rgba.assign(static_cast<size_t>(ref->width) * ref->height * 4, 0);
    for (int y = 0; y < ref->height; ++y) {
        for (int x = 0; x < ref->width; ++x) {
            const bool inside = x >= d.Left && x < d.Left + d.Width && y >= d.Top && y < d.Top + d.Height;
            const int index = inside ? image.RasterBits[(y - d.Top) * d.Width + (x - d.Left)] : gif->SBackGroundColor;
            uint8_t* p = &ref->rgba[(static_cast<size_t>(y) * ref->width + x) * 4];
            p[3] = 255;
            if (index == transparent) {
                p[0] = p[1] = p[2] = 255;
            } else if (map && index < map->ColorCount) {
                p[0] = map->Colors[index].Red;
                p[1] = map->Colors[index].Green;
                p[2] = map->Colors[index].Blue;
            }
        }
    }
    DGifCloseFile(gif, &error);
    return true;
}

// The pictures of giflib's sources and of its documentation.
const std::vector<Expect> kGifPictures = {
    {"fire.gif", 50000, 30, 60, 8},           {"gifgrid.gif", 50000, 100, 100, 8},
    {"porsche.gif", 50000, 320, 200, 8},      {"solid2.gif", 50000, 640, 400, 8},
    {"treescap-interlaced.gif", 50000, 40, 40, 8}, {"treescap.gif", 50000, 40, 40, 8},
    {"welcome2.gif", 50000, 290, 48, 8},      {"x-trans.gif", 50000, 100, 100, 8},
};

const std::vector<Expect> kGifDocPictures = {
    {"comment_ext.gif", 50000, 400, 160, 8},
    {"gif_file_stream.gif", 50000, 700, 220, 8},
    {"global_color_table.gif", 50000, 370, 110, 8},
    {"graphic_control_ext.gif", 50000, 400, 240, 8},
    {"header_block.gif", 50000, 275, 100, 8},
    {"highlight_green.gif", 50000, 125, 25, 8},
    {"highlight_purple.gif", 50000, 125, 25, 8},
    {"image_data_block.gif", 50000, 340, 150, 8},
    {"image_descriptor_block.gif", 50000, 400, 240, 8},
    {"logical_screen_desc_block.gif", 50000, 350, 230, 8},
    {"lzw_decoding_bytes.gif", 50000, 500, 220, 8},
    {"lzw_encoding_codes.gif", 50000, 500, 220, 8},
    {"sample_1.gif", 50000, 10, 10, 8},
    {"sample_1_enlarged.gif", 50000, 100, 100, 8},
    {"sample_1_trans.gif", 50000, 10, 10, 8},
    {"sample_1_trans_blue.gif", 50000, 10, 10, 8},
    {"sample_1_trans_red.gif", 50000, 10, 10, 8},
    {"sample_2_animation_green.gif", 50000, 11, 29, 8},
    {"sample_2_animation_red.gif", 50000, 11, 29, 8},
    {"sample_2_animation_yellow.gif", 50000, 11, 29, 8},
    {"sample_2_green_large.gif", 50000, 33, 87, 8},
    {"sample_2_green_yellow_diff.gif", 50000, 33, 87, 8},
    {"sample_2_yellow_large.gif", 50000, 33, 87, 8},
    {"trailer_block.gif", 50000, 140, 90, 8},
};

// ---- TIFF -----------------------------------------------------------------------------------------

void IgnoreTiffMessage(const char*, const char*, va_list) {}

// libtiff's RGBA reading of the first IFD, top row first.
bool TiffReference(const std::string& path, Reference* ref) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif)
        return false;
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    std::vector<uint32_t> raster(static_cast<size_t>(w) * h);
    const bool ok = w && h && TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 0);
    TIFFClose(tif);
    if (!ok)
        return false;
    ref->width = static_cast<int>(w);
    ref->height = static_cast<int>(h);
    ref->rgba.resize(raster.size() * 4);
    for (size_t i = 0; i < raster.size(); ++i) {
        ref->rgba[4 * i] = static_cast<uint8_t>(TIFFGetR(raster[i]));
        ref->rgba[4 * i + 1] = static_cast<uint8_t>(TIFFGetG(raster[i]));
        ref->rgba[4 * i + 2] = static_cast<uint8_t>(TIFFGetB(raster[i]));
        ref->rgba[4 * i + 3] = 255;
    }
    return true;
}

// tiff's test pictures: everything compressed, tiled, 16-bit grey, with extra samples or of another
// photometric interpretation is refused.
const std::vector<Expect> kTiffPictures = {
    {"custom_dir_EXIF_GPS.tiff", 50000, 1, 1, 24},
    {"deflate-last-strip-extra-data.tiff", status::kBadFormat, 0, 0, 0},
    {"logluv-3c-16b.tiff", status::kBadFormat, 0, 0, 0},
    {"lzw-single-strip.tiff", status::kBadFormat, 0, 0, 0},
    {"minisblack-1c-16b.tiff", status::kBadFormat, 0, 0, 0},
    {"minisblack-1c-8b.tiff", 50000, 157, 151, 8},
    {"minisblack-2c-8b-alpha.tiff", status::kBadFormat, 0, 0, 0},
    {"miniswhite-1c-1b.tiff", 50000, 157, 151, 8},
    {"ojpeg_chewey_subsamp21_multi_strip.tiff", status::kBadFormat, 0, 0, 0},
    {"ojpeg_single_strip_no_rowsperstrip.tiff", status::kBadFormat, 0, 0, 0},
    {"ojpeg_zackthecat_subsamp22_single_strip.tiff", status::kBadFormat, 0, 0, 0},
    {"palette-1c-1b.tiff", 50000, 157, 151, 8},
    {"palette-1c-4b.tiff", 50000, 157, 151, 8},
    {"palette-1c-8b.tiff", 50000, 157, 151, 8},
    {"quad-lzw-compat.tiff", status::kBadFormat, 0, 0, 0},
    {"quad-tile.jpg.tiff", status::kBadFormat, 0, 0, 0},
    {"rgb-3c-16b.tiff", 50000, 157, 151, 24},
    {"rgb-3c-8b.tiff", 50000, 157, 151, 24},
    {"test_float64_predictor2_be_lzw.tif", status::kBadFormat, 0, 0, 0},
    {"test_float64_predictor2_le_lzw.tif", status::kBadFormat, 0, 0, 0},
    {"test_ifd_loop_to_first.tif", 50000, 1, 1, 8}, // only the first IFD is read, so no loop
    {"test_ifd_loop_to_self.tif", 50000, 20, 20, 8},
    {"test_two_ifds.tif", 50000, 1, 1, 8},
    {"testfax4.tiff", status::kBadFormat, 0, 0, 0},
    {"tiff_with_subifd_chain.tif", status::kBadFormat, 0, 0, 0},
};

enum class Format { Gif, Tiff };

void CompareIndexed(Format format, const char* folder, const std::vector<Expect>& table) {
    CheckFolderMatchesTable(folder, table);
    TIFFSetWarningHandler(IgnoreTiffMessage);
    TIFFSetErrorHandler(IgnoreTiffMessage);
    for (const Expect& e : table) {
        SCOPED_TRACE(std::string(folder) + "/" + e.file);
        const std::string path = Folder(folder) + "/" + e.file;
        const std::vector<uint8_t> file = ReadFile(path);
        if (file.empty())
            continue;
        DecodedImage img;
        bool ok = false;
        uint32_t got_status = 0;
        if (format == Format::Gif) {
            image::GifContext ctx;
            ctx.options.use_file_background = false;
            ctx.options.background = 0xFFFFFF;
            ok = image::GifDecodeFromMemory(ctx, file.data(), file.size(), img);
            got_status = ctx.src.status;
        } else {
            image::TiffContext ctx;
            ok = image::TiffDecodeFromMemory(ctx, file.data(), file.size(), img);
            got_status = ctx.src.status;
        }
        EXPECT_EQ(got_status, e.status);
        if (!ok || e.status != status::kOk)
            continue;
        EXPECT_EQ(img.info.header.width, e.width);
        EXPECT_EQ(img.info.header.height, e.height);
        EXPECT_EQ(img.info.header.bit_count, e.bits);
        Reference ref;
        const bool referenced = format == Format::Gif ? GifReference(file, &ref) : TiffReference(path, &ref);
        EXPECT_EQ(referenced, !e.reference_refuses);
        if (!referenced)
            continue;
        ASSERT_EQ(ref.width, img.info.header.width);
        ASSERT_EQ(ref.height, img.info.header.height);
        // libtiff turns a 16-bit sample s into (s + 128) / 257 (rounded scaling), we take its high
        // byte, s / 256: the two differ by one wherever the rounding of s / 257 crosses a step.
        const int tolerance = format == Format::Tiff && img.source_bits == 48 ? 1 : 0;
        int differing = 0;
        for (int y = 0; y < ref.height; ++y) {
            for (int x = 0; x < ref.width; ++x) {
                const uint8_t* r = &ref.rgba[(static_cast<size_t>(y) * ref.width + x) * 4];
                const Rgb got = OurPixel(img, x, y);
                const bool close = std::abs(r[0] - got.r) <= tolerance && std::abs(r[1] - got.g) <= tolerance &&
                                   std::abs(r[2] - got.b) <= tolerance;
                if (!close && ++differing <= 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << ": ours " << int(got.r) << "," << int(got.g) << ","
                                  << int(got.b) << " reference " << int(r[0]) << "," << int(r[1]) << "," << int(r[2]);
            }
        }
    }
}

TEST(Conformance, GifPictures) { CompareIndexed(Format::Gif, "gif", kGifPictures); }
TEST(Conformance, GifDocumentationPictures) { CompareIndexed(Format::Gif, "gif-doc", kGifDocPictures); }
TEST(Conformance, TiffPictures) { CompareIndexed(Format::Tiff, "tiff", kTiffPictures); }

} // namespace
