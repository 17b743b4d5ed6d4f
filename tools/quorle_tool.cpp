// quorle-tool: command-line front end of the portable core, for tests, fuzzing, benchmarks and anyone
// debugging a picture.
//
//   quorle-tool decode INPUT OUTPUT.bmp [--fit N] [--whole] [--no-gamma] [--no-composite]
//                      [--no-file-background] [--background RRGGBB]
//       Decodes INPUT as the program would (24-bit result, optionally reduced towards an N x N box
//       while decoding, a progressive JPEG reduced by 8 from its DC scans as the thumbnails are),
//       writes it as a bitmap and prints key=value lines: format, width, height, source_bits, status,
//       orientation and the decoder's own facts (progressive, exif, comments, dc_only, interlaced,
//       transparent, texts, description). --whole decodes every scan of a progressive JPEG, for
//       comparing the two. The other options set the PNG and GIF
//       transparency and gamma handling; their defaults are the settings' defaults. Exit code 0 when
//       a picture was written, 1 otherwise.
//
//       --plugins FOLDER (Windows build) lets the image plug-ins of FOLDER read what the built-in
//       decoders cannot; from_plugin=1 says they did.
//
//   quorle-tool exif INPUT
//       Prints the Exif items of a JPEG that are present, in item order, one
//       "index<TAB>label<TAB>value" line each, with the built-in English words. Exit code 0 when the
//       file could be read, 1 otherwise.
//
//   quorle-tool thumbs FOLDER CACHE_FOLDER [--box W H] [--method M] [--quality Q] [--force]
//                      [--threads N] [--whole]
//       Runs the thumbnail pipeline of the running program over a file-system folder: lists it,
//       reads and looks up the folder's cache in CACHE_FOLDER, decodes and fits what is missing
//       (box W x H, default 140 x 105; scaling method M 0..3, default 0, where 3, the system's
//       stretch, falls back to 0 without a device context; cache JPEG quality Q, default 80), then
//       writes index.dat and the data file.
//       --force ignores the cache and rewrites it. --threads N decodes on N threads (1: all on the
//       calling thread; default: the program's rule, one per core, at most 4). Prints items, decoded,
//       from_cache, threads and seconds lines; the items and the cache come out the same for any N.
//       --whole decodes every scan of progressive JPEGs (the pipeline before the reduced path).
//       Exit code 0 when the folder held pictures and the cache could be written.
//
//   quorle-tool zip-create FOLDER DESTINATION [--deflate]
//       Packs FOLDER into a new ZIP (tools/pack_verb.cpp).
//   quorle-tool zip-list ARCHIVE
//       One line per listed member: folder<TAB>name<TAB>locator<TAB>size<TAB>time (a 64-bit file time
//       in decimal), in UTF-8. Exit code 1 when nothing is listed.
//
//   quorle-tool list ARCHIVE [--plugins FOLDER]
//       The same lines for any archive: a ".zip" or ".rar" name through the built-in readers, anything
//       else (or what they cannot read) through the archive plug-ins of FOLDER (Windows build).
//
//   quorle-tool zip-extract ARCHIVE LOCATOR OUTPUT
//       Writes the bytes of the member whose local header lies at LOCATOR. Exit code 1 when the member
//       cannot be extracted.
//
//   quorle-tool rar-list ARCHIVE [--module FOLDER]
//   quorle-tool rar-extract ARCHIVE ORDINAL OUTPUT [--module FOLDER]
//       As zip-list and zip-extract for a RAR archive or volume set (any volume may be named); the
//       locator is the member's ordinal. The built-in reader serves unless --module (Windows only)
//       asks for the RAR module, looked for in FOLDER first and then where the program looks.
//
//   quorle-tool extract ARCHIVE TARGET_FOLDER [--module FOLDER]
//       Extracts the whole archive (ZIP, or RAR by its ".rar" name) into a new folder below
//       TARGET_FOLDER, as the program's extraction command does, and prints the folder's path. Exit
//       code 1 when nothing could be extracted.
//
// A new verb is one entry in kVerbs.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/platform.h"
#include "image/bmp.h"
#include "image/exif.h"
#include "image/exif_strings_en.h"
#include "image/load.h"
#include "thumbs/decode_pool.h"
#include "thumbs/thumb_pipeline.h"

int ZipCreate(const std::vector<std::wstring>& args);
namespace tool {
// archive_verbs.cpp
int RarList(const std::vector<std::wstring>& args);
int RarExtract(const std::vector<std::wstring>& args);
int ZipList(const std::vector<std::wstring>& args);
int ZipExtract(const std::vector<std::wstring>& args);
int Extract(const std::vector<std::wstring>& args);
int List(const std::vector<std::wstring>& args);
bool UsePluginsForDecode(std::vector<std::wstring>* args, std::wstring* folder);
} // namespace tool

namespace {

using Args = std::vector<std::wstring>;

void PrintValue(const char* key, const std::string& value) { std::printf("%s=%s\n", key, value.c_str()); }
void PrintValue(const char* key, uint64_t value) { std::printf("%s=%llu\n", key, static_cast<unsigned long long>(value)); }

bool ParseCount(const std::wstring& text, uint32_t* value) {
    if (text.empty() || text.size() > 9)
        return false;
    uint32_t v = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
        v = v * 10 + static_cast<uint32_t>(c - L'0');
    }
    *value = v;
    return true;
}

// RRGGBB as the settings store a colour: red in the lowest byte.
bool ParseColour(const std::wstring& text, uint32_t* colour) {
    if (text.size() != 6)
        return false;
    uint32_t rgb = 0;
    for (wchar_t c : text) {
        uint32_t digit = 0;
        if (c >= L'0' && c <= L'9')
            digit = static_cast<uint32_t>(c - L'0');
        else if (c >= L'a' && c <= L'f')
            digit = static_cast<uint32_t>(c - L'a' + 10);
        else if (c >= L'A' && c <= L'F')
            digit = static_cast<uint32_t>(c - L'A' + 10);
        else
            return false;
        rgb = rgb << 4 | digit;
    }
    *colour = (rgb >> 16) | (rgb & 0x00FF00) | ((rgb & 0xFF) << 16);
    return true;
}

int Decode(const Args& given) {
    Args args = given;
    std::vector<std::wstring> files;
    uint32_t fit = 0;
    image::LoadOptions options;
    if (!tool::UsePluginsForDecode(&args, &options.plugin_folder))
        return 1;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--fit") {
            if (i + 1 >= args.size() || !ParseCount(args[i + 1], &fit)) {
                std::fprintf(stderr, "decode: --fit needs a number\n");
                return 1;
            }
            ++i;
        } else if (args[i] == L"--background") {
            if (i + 1 >= args.size() || !ParseColour(args[i + 1], &options.background.background)) {
                std::fprintf(stderr, "decode: --background needs a colour RRGGBB\n");
                return 1;
            }
            ++i;
        } else if (args[i] == L"--whole") {
            options.jpeg_dc_only = false;
        } else if (args[i] == L"--no-gamma") {
            options.background.display_gamma = 0;
        } else if (args[i] == L"--no-composite") {
            options.background.composite = false;
        } else if (args[i] == L"--no-file-background") {
            options.background.use_file_background = false;
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2) {
        std::fprintf(stderr, "decode: expected INPUT and OUTPUT.bmp\n");
        return 1;
    }

    int orientation = 1;
    image::LoadReport report;
    image::ImagePtr img = image::LoadImageFromFile(files[0], &orientation, fit, options, &report);
    uint32_t status = report.status;
    bool written = false;
    if (img) {
        image::BmpWriter writer = image::BmpWriterFor(*img);
        written = image::WriteBmp(writer, files[1], nullptr, img->pixels);
        if (!written)
            status = writer.status;
    }
    PrintValue("format", image::ImageFormatName(report.format));
    PrintValue("width", img ? static_cast<uint64_t>(img->info.header.width) : 0);
    PrintValue("height", img ? static_cast<uint64_t>(img->info.header.height) : 0);
    PrintValue("source_bits", img ? img->source_bits : 0);
    PrintValue("from_plugin", report.from_plugin ? 1 : 0);
    PrintValue("status", status);
    PrintValue("orientation", static_cast<uint64_t>(orientation));
    for (const image::DecoderFact& fact : report.facts)
        PrintValue(fact.key, fact.value);
    return written ? 0 : 1;
}

int Exif(const Args& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "exif: expected INPUT\n");
        return 1;
    }
    image::ExifStrings strings;
    strings.lookup = image::ExifEnglishString;
    image::ExifInfo info;
    image::ExifLoadLabels(info, strings);
    image::JpegContext ctx;
    image::ReadExifInfo(ctx, args[0], info, strings);
    for (int i = 0; i < image::kExifItemCount; ++i) {
        const image::ExifItem& item = info.items[i];
        if (item.present)
            std::printf("%d\t%s\t%s\n", i, platform::WideToUtf8(item.label).c_str(),
                        platform::WideToUtf8(item.value).c_str());
    }
    if (ctx.src.status != image::status::kOk)
        std::fprintf(stderr, "exif: status %u\n", ctx.src.status);
    return platform::FileExists(args[0]) ? 0 : 1;
}

int Thumbs(const Args& args) {
    std::vector<std::wstring> folders;
    thumbs::ProduceOptions options;
    options.settings.scaleMethod = image::kScaleAreaLinear;
    uint32_t threads = static_cast<uint32_t>(thumbs::DefaultDecodeThreads());
    for (size_t i = 0; i < args.size(); ++i) {
        uint32_t a = 0, b = 0;
        if (args[i] == L"--box") {
            if (i + 2 >= args.size() || !ParseCount(args[i + 1], &a) || !ParseCount(args[i + 2], &b)) {
                std::fprintf(stderr, "thumbs: --box needs a width and a height\n");
                return 1;
            }
            options.settings.boxWidth = thumbs::ClampBoxSide(static_cast<int32_t>(a));
            options.settings.boxHeight = thumbs::ClampBoxSide(static_cast<int32_t>(b));
            i += 2;
        } else if (args[i] == L"--method") {
            if (i + 1 >= args.size() || !ParseCount(args[i + 1], &a) || a > 3) {
                std::fprintf(stderr, "thumbs: --method needs 0, 1, 2 or 3\n");
                return 1;
            }
            options.settings.scaleMethod = static_cast<int32_t>(a);
            ++i;
        } else if (args[i] == L"--quality") {
            if (i + 1 >= args.size() || !ParseCount(args[i + 1], &a) || a > 100) {
                std::fprintf(stderr, "thumbs: --quality needs 0..100\n");
                return 1;
            }
            options.settings.jpegQuality = static_cast<int32_t>(a);
            ++i;
        } else if (args[i] == L"--force") {
            options.force = true;
        } else if (args[i] == L"--whole") {
            options.settings.load.jpeg_dc_only = false;
        } else if (args[i] == L"--threads") {
            if (i + 1 >= args.size() || !ParseCount(args[i + 1], &a) || a < 1 || a > 64) {
                std::fprintf(stderr, "thumbs: --threads needs 1..64\n");
                return 1;
            }
            threads = a;
            ++i;
        } else {
            folders.push_back(args[i]);
        }
    }
    if (folders.size() != 2) {
        std::fprintf(stderr, "thumbs: expected FOLDER and CACHE_FOLDER\n");
        return 1;
    }
    std::unique_ptr<thumbs::DecodePool> pool;
    if (threads > 1)
        pool = std::make_unique<thumbs::DecodePool>(threads);
    thumbs::ThumbHooks hooks;
    hooks.pool = pool.get();
    const thumbs::ProduceResult result = thumbs::ProduceThumbnails(folders[0], folders[1], options, hooks);
    PrintValue("items", result.items);
    PrintValue("threads", pool ? pool->Threads() : 1);
    PrintValue("decoded", result.decoded);
    PrintValue("from_cache", result.fromCache);
    std::printf("seconds=%.3f\n", result.seconds);
    return result.listed && !result.cacheWriteFailed ? 0 : 1;
}

struct Verb {
    const char* name;
    const char* usage;
    int (*run)(const Args& args);
};

const Verb kVerbs[] = {
    {"decode", "decode INPUT OUTPUT.bmp [--fit N] [--whole] [--no-gamma] [--no-composite] [--no-file-background] "
               "[--background RRGGBB] [--plugins FOLDER]",
     Decode},
    {"exif", "exif INPUT", Exif},
    {"zip-list", "zip-list ARCHIVE", tool::ZipList},
    {"list", "list ARCHIVE [--plugins FOLDER]", tool::List},
    {"zip-extract", "zip-extract ARCHIVE LOCATOR OUTPUT", tool::ZipExtract},
    {"rar-list", "rar-list ARCHIVE [--module FOLDER]", tool::RarList},
    {"rar-extract", "rar-extract ARCHIVE ORDINAL OUTPUT [--module FOLDER]", tool::RarExtract},
    {"extract", "extract ARCHIVE TARGET_FOLDER [--module FOLDER]", tool::Extract},
    {"zip-create", "zip-create FOLDER DESTINATION [--deflate]", ZipCreate},
    {"thumbs", "thumbs FOLDER CACHE_FOLDER [--box W H] [--method M] [--quality Q] [--force] [--threads N] "
               "[--whole]",
     Thumbs},
};

int Usage() {
    std::fprintf(stderr, "usage:\n");
    for (const Verb& verb : kVerbs)
        std::fprintf(stderr, "  quorle-tool %s\n", verb.usage);
    return 1;
}

int Run(const Args& args) {
    if (args.size() < 2)
        return Usage();
    const std::string verb = platform::WideToUtf8(args[1]);
    for (const Verb& v : kVerbs)
        if (verb == v.name)
            return v.run(Args(args.begin() + 2, args.end()));
    std::fprintf(stderr, "unknown verb: %s\n", verb.c_str());
    return Usage();
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return Run(Args(argv, argv + argc)); }
#else
int main(int argc, char** argv) {
    Args args;
    for (int i = 0; i < argc; ++i)
        args.push_back(platform::Utf8ToWide(argv[i]));
    return Run(args);
}
#endif
