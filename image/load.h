// Whole-picture entry points (printing, wallpaper, the command-line tool): detect the format, run the
// matching built-in decoder, fall back to the image plug-ins, and deliver a 24-bit picture.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/platform.h"
#include "image/decoded_image.h"

namespace image {

// Transparency handling of the PNG and GIF decoders, from the settings store.
struct BackgroundOptions {
    bool composite = true;
    bool use_file_background = true;
    uint32_t background = 0xFFFFFF; // red in the lowest byte
    uint32_t display_gamma = 2200;  // thousandths; 0 turns gamma correction off
};

// The image plug-in host (Windows side). Implementations take their own lock.
class ImagePluginFallback {
  public:
    virtual ~ImagePluginFallback() = default;
    virtual bool DecodeFile(const std::wstring& path, DecodedImage& out) = 0;
    virtual bool DecodeMemory(const uint8_t* data, size_t size, const std::wstring& name, DecodedImage& out) = 0;
};

// Installs the host used when the built-in decoders cannot read a picture; null (the default)
// disables the fallback. The host must outlive every decode that may use it.
void SetImagePluginFallback(ImagePluginFallback* host);

struct LoadOptions {
    BackgroundOptions background;
    std::wstring plugin_folder; // the fallback is tried only when this names an existing folder
    ImageLimits limits;
    // While it reads true, decoding stops at the next row band and the load fails without a picture
    // (and without trying the plug-ins). Owned by the caller; must outlive the load.
    const std::atomic<bool>* cancel = nullptr;
    // A progressive JPEG reduced by 8 may be decoded from its DC scans alone (image/jpeg_dc.h);
    // false decodes every scan.
    bool jpeg_dc_only = true;
};

// One fact a decoder reports about the picture it read (for example "progressive").
struct DecoderFact {
    const char* key;
    uint32_t value;
};

// What happened during a load, for callers that want more than the picture.
struct LoadReport {
    ImageFormat format = ImageFormat::Unknown; // detected from the signature
    uint32_t status = status::kOk;             // of the built-in decoder
    bool from_plugin = false;
    uint32_t orientation = 1;
    std::vector<DecoderFact> facts;
};

using ImagePtr = std::unique_ptr<DecodedImage>;

// `fit_size` 0 decodes at full size; otherwise a JPEG may be reduced towards a square box of that
// side while decoding. `orientation` (may be null) receives the JPEG's Exif orientation, else 1.
// Returns null when the file is missing or cannot be decoded.
ImagePtr LoadImageFromFile(const std::wstring& path, int* orientation, uint32_t fit_size,
                           const LoadOptions& options = LoadOptions(), LoadReport* report = nullptr);

// The member of an archive that a pane shows. The archive layer fills the block (page-allocated,
// size + 4 bytes with the spare bytes zero).
class ArchiveMemberSource {
  public:
    virtual ~ArchiveMemberSource() = default;
    virtual bool ReadMember(platform::PageBlock* block, size_t* length) = 0;
    // The member's bytes where they lie, without a copy (a stored member of a mapped archive):
    // `data` stays valid while `view` is open. False when the member must be read.
    virtual bool ViewMember(platform::MappedView* /*view*/, const uint8_t** /*data*/, size_t* /*length*/) {
        return false;
    }
    virtual std::wstring MemberName() const = 0;
};

ImagePtr LoadImageFromArchiveMember(ArchiveMemberSource& member, int* orientation, uint32_t fit_size,
                                    const LoadOptions& options = LoadOptions(), LoadReport* report = nullptr);

// ---- Per-format dispatch ------------------------------------------------------------------------

// A picture's bytes: a path to map, or a block in memory.
struct DecodeInput {
    const std::wstring* path = nullptr;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

struct DecodeRequest {
    uint32_t fit_size = 0;
    const LoadOptions* options = nullptr;
};

// Decodes with a fresh context of its format; fills `report` (status, orientation, facts).
using FormatDecodeFn = bool (*)(const DecodeInput& in, const DecodeRequest& request, DecodedImage& out,
                                LoadReport& report);

// The built-in decoder of a format, or null when there is none yet (treated like a failed decode).
FormatDecodeFn BuiltInDecoder(ImageFormat format);

} // namespace image
