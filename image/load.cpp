#include "image/load.h"

#include <atomic>
#include <new>

#include "image/bmp.h"
#include "image/detect.h"
#include "image/gif.h"
#include "image/jpeg.h"
#include "image/png.h"
#include "image/tiff.h"

namespace image {

namespace {

// One entry per built-in format, in ImageFormat order. A format without a decoder yet has a null
// entry and goes straight to the plug-in fallback.
struct RegistryEntry {
    ImageFormat format;
    FormatDecodeFn decode;
};

const RegistryEntry kRegistry[] = {
    {ImageFormat::Bmp, BmpLoad},
    {ImageFormat::Png, PngLoad},
    {ImageFormat::Jpeg, JpegLoad},
    {ImageFormat::Tiff, TiffLoad},
    {ImageFormat::Gif, GifLoad},
};

std::atomic<ImagePluginFallback*> g_plugins{nullptr};

bool PluginsUsable(const LoadOptions& options) {
    return g_plugins.load() && !options.plugin_folder.empty() && platform::FolderExists(options.plugin_folder);
}

// Step 5 of both entry points: every caller gets 24 bits.
ImagePtr Finish(ImagePtr img) {
    if (!img || !img->pixels)
        return nullptr;
    if (img->info.header.bit_count == 24)
        return img;
    return ConvertTo24Bit(*img) ? std::move(img) : nullptr;
}

ImagePtr Load(const DecodeInput& in, ImageFormat format, uint32_t fit_size, const LoadOptions& options,
              const std::wstring& member_name, LoadReport& report) {
    report.format = format;
    ImagePtr img(new (std::nothrow) DecodedImage());
    if (!img) {
        report.status = status::kNoMemory;
        return nullptr;
    }
    bool ok = false;
    if (FormatDecodeFn decode = BuiltInDecoder(format)) {
        DecodeRequest request;
        request.fit_size = fit_size;
        request.options = &options;
        ok = decode(in, request, *img, report);
    } else {
        report.status = format == ImageFormat::Unreadable ? status::kCannotRead : status::kBadFormat;
    }
    if (!ok) {
        FreePixels(*img);
        report.facts.clear();
        report.orientation = 1;
        // A cancelled load ends here: the plug-ins could not be stopped.
        const bool cancelled = options.cancel && options.cancel->load();
        if (!cancelled && PluginsUsable(options)) {
            ImagePluginFallback* host = g_plugins.load();
            ok = in.path ? host->DecodeFile(*in.path, *img) : host->DecodeMemory(in.data, in.size, member_name, *img);
            report.from_plugin = ok;
        }
    }
    if (!ok)
        return nullptr;
    return img;
}

} // namespace

void SetImagePluginFallback(ImagePluginFallback* host) { g_plugins.store(host); }

FormatDecodeFn BuiltInDecoder(ImageFormat format) {
    for (const RegistryEntry& entry : kRegistry)
        if (entry.format == format)
            return entry.decode;
    return nullptr;
}

ImagePtr LoadImageFromFile(const std::wstring& path, int* orientation, uint32_t fit_size,
                           const LoadOptions& options, LoadReport* report) {
    LoadReport local;
    LoadReport& r = report ? *report : local;
    r = LoadReport();
    if (orientation)
        *orientation = 1;
    if (!platform::FileExists(path)) {
        r.format = ImageFormat::Unreadable;
        r.status = status::kCannotRead;
        return nullptr;
    }
    DecodeInput in;
    in.path = &path;
    ImagePtr img = Finish(Load(in, DetectFormatFromFile(path), fit_size, options, std::wstring(), r));
    if (img && orientation)
        *orientation = static_cast<int>(r.orientation);
    return img;
}

ImagePtr LoadImageFromArchiveMember(ArchiveMemberSource& member, int* orientation, uint32_t fit_size,
                                    const LoadOptions& options, LoadReport* report) {
    LoadReport local;
    LoadReport& r = report ? *report : local;
    r = LoadReport();
    if (orientation)
        *orientation = 1;
    platform::MappedView view;
    platform::PageBlock block;
    const uint8_t* data = nullptr;
    size_t length = 0;
    if (!member.ViewMember(&view, &data, &length)) {
        view.Close();
        if (!member.ReadMember(&block, &length) || !block || length > block.Size()) {
            r.status = status::kCannotRead;
            return nullptr;
        }
        data = block.Get();
    }
    DecodeInput in;
    in.data = data;
    in.size = length;
    ImagePtr img = Load(in, DetectFormatFromMemory(data, length), fit_size, options, member.MemberName(), r);
    // The member's bytes are no longer needed once the picture exists.
    block = platform::PageBlock();
    view.Close();
    img = Finish(std::move(img));
    if (img && orientation)
        *orientation = static_cast<int>(r.orientation);
    return img;
}

} // namespace image
