// The records of the image and archive plug-in interface as a 64-bit module hands them to its host,
// in plain fixed-size types so the portable cores can fill them and native tests can check them.
// The interface packs them to 1 byte with explicit padding: 32 and 448 bytes on x64.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plugin_abi {

#pragma pack(push, 1)
struct PictureInfo {
    int32_t left, top;
    int32_t width, height;
    uint16_t x_density, y_density;
    int16_t color_depth;
    char dummy[2];
    uint64_t info_handle;  // HLOCAL with text about the picture; we never have any
};

struct FileInfo {
    unsigned char method[8];  // method[0] == 0 ends the list
    uint64_t position;        // handed back unchanged to GetFile
    uint64_t compsize;
    uint64_t filesize;
    uint64_t timestamp;       // seconds since 1970-01-01 UTC
    char path[200];           // folder inside the archive with a trailing backslash, or ""
    char filename[200];
    uint32_t crc;
    char dummy[4];
};
#pragma pack(pop)

static_assert(sizeof(PictureInfo) == 32, "x64 picture-info record");
static_assert(offsetof(PictureInfo, info_handle) == 24, "x64 picture-info record");
static_assert(sizeof(FileInfo) == 448, "x64 entry records are 448 bytes apart");
static_assert(offsetof(FileInfo, path) == 40 && offsetof(FileInfo, filename) == 240 &&
                  offsetof(FileInfo, crc) == 440,
              "x64 entry record");

// Result codes of every call but GetPluginInfo and IsSupported.
enum Result : int {
    kNotImplemented = -1,
    kOk = 0,
    kCancelled = 1,
    kUnknownFormat = 2,
    kBrokenData = 3,
    kNoMemory = 4,
    kMemoryError = 5,
    kReadError = 6,
    kInternalError = 8,
    kWriteError = 9,
};

// Flag bits: where the input is (bits 0–2) and, for GetFile, where the output goes (bits 8–10).
constexpr unsigned kInputMask = 7, kInputFile = 0, kInputMemory = 1;
constexpr unsigned kOutputMask = 0x700, kOutputFile = 0, kOutputMemory = 0x100;

// GetPluginInfo's answer for `infono` from a table of strings (version, about, then pattern and
// description pairs): copies at most buflen - 1 characters, always terminated; 0 past the table.
int CopyPluginInfo(const char* const* table, int count, int infono, char* buf, int buflen);

} // namespace plugin_abi
