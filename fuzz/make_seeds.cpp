// Writes a small seed corpus for every fuzz target: whole files made by the test fixture builders,
// plus one input per start-up template of each target (byte 0 picks the template, nothing patched).
// The build runs it once; the Windows build replays the corpora under Wine, and the libFuzzer runs
// start from them.
//   fuzz_seeds OUTPUT_FOLDER      writes OUTPUT_FOLDER/<target>/<name>, exit code 0 or 1
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/platform.h"
#include "image/bmp.h"
#include "image/decoded_image.h"
#include "tests/app/settings_fixture.h"
#include "tests/archive/zip_fixtures.h"
#include "tests/fixtures/rar_writer.h"
#include "tests/fixtures/byte_writer.h"
#include "tests/image/exif_fixtures.h"
#include "tests/image/gif_fixtures.h"
#include "tests/image/jpeg_fixtures.h"
#include "tests/image/png_fixtures.h"
#include "tests/image/tiff_fixtures.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Corpus {
  public:
    explicit Corpus(std::filesystem::path root) : root_(std::move(root)) {}

    void Add(const std::string& target, const std::string& name, const Bytes& bytes) {
        std::error_code ec;
        const std::filesystem::path folder = root_ / target;
        std::filesystem::create_directories(folder, ec);
        std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "cannot write %s/%s\n", target.c_str(), name.c_str());
            ok_ = false;
        }
        ++written_;
    }

    // One unpatched input per template: the target's own pictures decoded as they are.
    void AddTemplates(const std::string& target, int count, const Bytes& tail = {}) {
        for (int i = 0; i < count; ++i) {
            Bytes input = {static_cast<uint8_t>(i), 0};
            input.insert(input.end(), tail.begin(), tail.end());
            Add(target, "template-" + std::to_string(i), input);
        }
    }

    bool Ok() const { return ok_ && written_ > 0; }
    int Written() const { return written_; }

  private:
    std::filesystem::path root_;
    bool ok_ = true;
    int written_ = 0;
};

uint8_t Ramp(int x, int y, int c) { return static_cast<uint8_t>(x * 7 + y * 13 + c * 50); }

void JpegSeeds(Corpus& corpus) {
    testjpeg::Picture colour;
    colour.width = 40;
    colour.height = 30;
    colour.sample = Ramp;
    corpus.Add("jpeg", "baseline.jpg", testjpeg::Make(colour));

    testjpeg::Picture progressive = colour;
    progressive.width = 33;
    progressive.height = 17;
    progressive.progressive = true;
    corpus.Add("jpeg", "progressive.jpg", testjpeg::Make(progressive));

    testjpeg::Picture grey = colour;
    grey.kind = testjpeg::Kind::Grey;
    const Bytes greyFile = testjpeg::Make(grey);
    corpus.Add("jpeg", "grey-turned.jpg", testjpeg::InsertAfterSoi(greyFile, testjpeg::ExifSegment(6)));

    testjpeg::Picture cmyk = colour;
    cmyk.kind = testjpeg::Kind::Cmyk;
    cmyk.jfif = false;
    corpus.Add("jpeg", "cmyk.jpg", testjpeg::Make(cmyk));

    corpus.Add("jpeg", "comment.jpg", testjpeg::InsertAfterSoi(testjpeg::Make(colour), testjpeg::CommentSegment("seed")));
    corpus.AddTemplates("jpeg", 5, {0});
}

void BmpSeeds(Corpus& corpus, const std::filesystem::path& scratch) {
    // Written by the program's own bitmap writer, at both depths it writes.
    for (uint16_t bits : {uint16_t(8), uint16_t(24)}) {
        image::DecodedImage img;
        image::SetBitmapHeader(img, 5, 3, bits);
        image::AdoptPixels(img, image::AllocPixelBlock(5, 3, bits));
        if (bits == 8)
            image::SetGreyRamp(img);
        const size_t bytes = image::Stride(img) * 3;
        for (size_t i = 0; i < bytes; ++i)
            img.pixels[i] = static_cast<uint8_t>(i * 29);
        const std::filesystem::path file = scratch / ("seed" + std::to_string(bits) + ".bmp");
        image::BmpWriter writer = image::BmpWriterFor(img);
        if (image::WriteBmp(writer, file.wstring(), img.info.colors, img.pixels))
            corpus.Add("bmp", "written-" + std::to_string(bits) + ".bmp", fixtures::ReadWholeFile(file.wstring()));
        std::error_code ec;
        std::filesystem::remove(file, ec);
    }
    corpus.AddTemplates("bmp", 7);
}

void PngSeeds(Corpus& corpus) {
    testpng::Picture rgb;
    rgb.width = 7;
    rgb.height = 5;
    rgb.sample = [](uint32_t x, uint32_t y, uint32_t c) { return static_cast<uint16_t>(x * 30 + y * 11 + c * 60); };
    corpus.Add("png", "rgb8.png", testpng::Make(rgb, {testpng::Chunk("tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'x'})}));

    testpng::Picture rgba = rgb;
    rgba.colour_type = 6;
    rgba.depth = 16;
    rgba.interlace = true;
    rgba.sample = [](uint32_t x, uint32_t y, uint32_t c) { return static_cast<uint16_t>(x * 3000 + y * 1100 + c * 9000); };
    corpus.Add("png", "rgba16-interlaced.png", testpng::Make(rgba));

    testpng::Picture grey = rgb;
    grey.colour_type = 0;
    grey.depth = 2;
    grey.sample = [](uint32_t x, uint32_t y, uint32_t) { return static_cast<uint16_t>((x + y) & 3); };
    corpus.Add("png", "grey2.png", testpng::Make(grey));

    testpng::Picture palette = rgb;
    palette.colour_type = 3;
    palette.depth = 4;
    palette.sample = [](uint32_t x, uint32_t y, uint32_t) { return static_cast<uint16_t>((x + 2 * y) % 3); };
    corpus.Add("png", "palette4.png",
               testpng::Make(palette, {testpng::Chunk("PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255}),
                                       testpng::Chunk("tRNS", {0, 128})}));
    // The last byte's bit 7 mends every chunk's CRC after patching.
    corpus.AddTemplates("png", 5, {0x80});
}

void GifSeeds(Corpus& corpus) {
    testgif::File plain;
    plain.width = 3;
    plain.height = 2;
    plain.global_bits = 1;
    plain.global_table = {0, 0, 0, 255, 255, 255};
    testgif::Frame frame;
    frame.width = 3;
    frame.height = 2;
    frame.indices = {0, 1, 0, 1, 0, 1};
    frame.min_code_size = 2;
    plain.frames.push_back(frame);
    corpus.Add("gif", "plain.gif", testgif::Make(plain));

    testgif::File rich = plain;
    rich.blocks = testgif::Comment("seed");
    const testgif::Bytes control = testgif::GraphicControl(true, 1);
    rich.blocks.insert(rich.blocks.end(), control.begin(), control.end());
    rich.frames[0].local_bits = 2;
    rich.frames[0].local_table = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
    rich.frames[0].indices = {3, 2, 1, 0, 1, 2};
    corpus.Add("gif", "local-transparent.gif", testgif::Make(rich));
    corpus.AddTemplates("gif", 3, {0});
}

void TiffSeeds(Corpus& corpus) {
    for (bool big : {false, true}) {
        testtiff::File rgb;
        rgb.big_endian = big;
        rgb.tags = testtiff::Baseline(3, 2, {8, 8, 8}, 2);
        rgb.tags.push_back({277, testtiff::kShort, {3}});
        rgb.strips.push_back(testtiff::Bytes(3 * 3 * 2, 0x5A));
        corpus.Add("tiff", big ? "rgb8-mm.tif" : "rgb8-ii.tif", testtiff::Make(rgb));
    }
    testtiff::File bilevel;
    bilevel.tags = testtiff::Baseline(9, 2, {1}, 0);
    bilevel.strips.push_back({0xA5, 0x80, 0x5A, 0x00});
    corpus.Add("tiff", "bilevel.tif", testtiff::Make(bilevel));
    corpus.AddTemplates("tiff", 5);
}

void ExifSeeds(Corpus& corpus) {
    for (bool big : {false, true}) {
        const testexif::Bytes block = testexif::Block(
            big, {testexif::Ascii(271, "Maker"), testexif::Ascii(272, "Model"), {274, testexif::kShort, {6}, {}}},
            {testexif::Rational(33434, 1, 125), testexif::Rational(33437, 28, 10), {34855, testexif::kShort, {200}, {}},
             testexif::Ascii(36867, "2026:12:08 12:00:00")});
        corpus.Add("exif", big ? "block-mm" : "block-ii", block);
    }
    corpus.AddTemplates("exif", 2);
}

void SettingsSeeds(Corpus& corpus) {
    corpus.Add("settings", "empty-directory.ini", settings_fixture::SettingsFile().bytes.Data());
    settings_fixture::SettingsFile rich;
    rich.Inline(13, 160).Inline(14, 120).String(60, L"C:\\Plugins").Block(1, {1, 2, 3, 4, 5, 6, 7, 8});
    corpus.Add("settings", "some-keys.ini", rich.bytes.Data());
    // Odd first byte: patches over the target's own full file; alone, that file as it is.
    corpus.Add("settings", "rich-unpatched", {1});
    corpus.Add("settings", "rich-cut", {1, 0xFF, 0xFF, 0});
}

void DialogSeeds(Corpus& corpus) { corpus.AddTemplates("dialog_template", 4); }

// Thumbnail cache files written byte by byte in their documented layout, with a real JPEG slot.
void ThumbCacheSeeds(Corpus& corpus) {
    fixtures::ByteWriter index;
    index.U8(0).U32LE(0x01900000).U32LE(2);
    for (uint32_t i = 0; i < 2; ++i) {
        const std::wstring path = i == 0 ? L"C:\\fuzz" : L"C:\\Pictures\\a.zip";
        index.U32LE(10000000 + i).I32LE(140).I32LE(105).U64LE(i).U32LE(static_cast<uint32_t>(path.size() * 2));
        index.Utf16LE(path);
    }
    corpus.Add("thumb_cache", "index", index.Data());

    testjpeg::Picture small;
    small.width = 6;
    small.height = 4;
    small.sample = Ramp;
    const Bytes jpeg = testjpeg::Make(small);
    const uint32_t slot = static_cast<uint32_t>(jpeg.size() + 64);
    fixtures::ByteWriter data;
    data.U8(1); // records only: the target writes the header
    for (int32_t locator = 1; locator <= 2; ++locator) {
        const std::wstring name = locator == 1 ? L"a.jpg" : L"B.JPG";
        const std::wstring folderPart = locator == 1 ? L"" : L"sub";
        data.U64LE(0).I32LE(6).I32LE(4).I32LE(static_cast<int32_t>(jpeg.size())).I32LE(4).I32LE(24);
        data.I32LE(0).I32LE(0).I32LE(0).I32LE(0).I32LE(locator).I32LE(0);
        data.U32LE(static_cast<uint32_t>(name.size() * 2))
            .U32LE(static_cast<uint32_t>(folderPart.size() * 2))
            .U32LE(slot);
        data.Utf16LE(name).Utf16LE(folderPart).Bytes(jpeg).Fill(slot - jpeg.size());
    }
    corpus.Add("thumb_cache", "archive-records", data.Data());
}

// Whole archives as the reader meets them; odd first bytes would patch the target's own archive.
void ZipSeeds(Corpus& corpus) {
    testzip::Member stored;
    stored.name = "s.jpg";
    stored.data = testzip::Text("stored");
    stored.method = 0;
    testzip::Member deflated;
    deflated.name = "a/b/c.jpg";
    deflated.data = testzip::Bytes(500, 'z');
    deflated.descriptor = true;
    testzip::Member folderMember = stored;
    folderMember.name = "a/b/";
    folderMember.data.clear();
    corpus.Add("zip", "three-members.zip", testzip::Make({stored, deflated, folderMember}).bytes.Data());
    corpus.Add("zip", "comment.zip", testzip::Make({deflated, stored}, "a comment").bytes.Data());
    testzip::Member hostile = stored;
    hostile.name = "../..\\C:\\aux . /con.jpg:s <|>. ";
    corpus.Add("zip", "hostile-names.zip", testzip::Make({hostile, stored}).bytes.Data());
    corpus.AddTemplates("zip", 2);
}

} // namespace

// Stored RAR 4 and RAR 5 archives, and a volume of a RAR 4 set, made by the tests' writer.
void RarSeeds(Corpus& corpus) {
    const std::filesystem::path scratch = std::filesystem::temp_directory_path() / "quorle-rar-seeds";
    std::error_code ec;
    std::filesystem::create_directories(scratch, ec);
    const std::wstring stem = (scratch / "seed").wstring();
    const std::vector<fixtures::RarMember> members = {{L"photos\\a.jpg", Bytes(200, 'a')}, {L"b.txt", {'b'}}};
    int n = 0;
    for (const bool rar5 : {false, true}) {
        for (const size_t volumeData : {size_t{0}, size_t{120}}) {
            fixtures::RarSetOptions o;
            o.rar5 = rar5;
            o.volumeData = volumeData;
            for (const std::wstring& file : fixtures::WriteStoredRar(stem, members, o)) {
                corpus.Add("rar", "seed" + std::to_string(n++) + ".rar", fixtures::ReadWholeFile(file));
                platform::DeleteFileAt(file);
            }
        }
    }
    std::filesystem::remove_all(scratch, ec);
    corpus.AddTemplates("rar", 2);
}

// The plug-in host's records: a two-entry archive list and an 8-bit bitmap of 3 x 2.
void PluginRecordSeeds(Corpus& corpus) {
    Bytes list = {0};
    for (int i = 0; i < 2; ++i) {
        Bytes e(448, 0);
        const char* name = i ? "b.webp" : "a.jpg";
        std::memcpy(e.data(), "lzma", 4);
        e[8] = static_cast<uint8_t>(10 + i);
        e[24] = 5;
        if (i)
            std::memcpy(e.data() + 40, "sub\\", 4);
        std::memcpy(e.data() + 240, name, std::strlen(name));
        list.insert(list.end(), e.begin(), e.end());
    }
    list.push_back(0);
    corpus.Add("plugin_records", "list.bin", list);
    Bytes bitmap = {1, 40 + 8, 0};
    const uint8_t header[40] = {40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0};
    bitmap.insert(bitmap.end(), header, header + 40);
    bitmap.insert(bitmap.end(), {0, 0, 0, 0, 255, 255, 255, 0});
    bitmap.insert(bitmap.end(), {0, 1, 0, 0, 1, 0, 1, 0});
    corpus.Add("plugin_records", "bitmap.bin", bitmap);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds OUTPUT_FOLDER\n");
        return 1;
    }
    const std::filesystem::path root(argv[1]);
    std::error_code ec;
    std::filesystem::create_directories(root, ec);
    Corpus corpus(root);
    JpegSeeds(corpus);
    BmpSeeds(corpus, root);
    PngSeeds(corpus);
    GifSeeds(corpus);
    TiffSeeds(corpus);
    ExifSeeds(corpus);
    SettingsSeeds(corpus);
    DialogSeeds(corpus);
    ThumbCacheSeeds(corpus);
    ZipSeeds(corpus);
    RarSeeds(corpus);
    PluginRecordSeeds(corpus);
    std::printf("%d seeds written\n", corpus.Written());
    return corpus.Ok() ? 0 : 1;
}
