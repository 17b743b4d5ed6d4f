// The WebP image plug-in module: the interface's exports over webp_core. Every answer is a fresh
// local-memory handle the host frees; nothing is kept between calls, so any thread may call.
#include <windows.h>

#include <cstring>
#include <vector>

#include "plugins/shared/plugin_abi.h"
#include "plugins/shared/plugin_io_win.h"
#include "plugins/webp/webp_core.h"

using namespace webp_plugin;
namespace spi = plugin_abi;

namespace {

const char* const kInfo[] = {
    "00IN",
    "WebP plug-in 1.0 for Quorle (libwebp 1.2.4 decoder)",
    "*.webp",
    "WebP picture",
};

// GetPictureInfo needs only the headers; an extended file's first chunk is 30 bytes.
constexpr size_t kHeadBytes = 4096;
constexpr size_t kMaxFile = size_t{1} << 30;

int ResultOf(WebpError error) {
    switch (error) {
    case WebpError::Ok: return spi::kOk;
    case WebpError::NotWebp:
    case WebpError::Unsupported: return spi::kUnknownFormat;
    case WebpError::TooLarge: return spi::kNoMemory;
    case WebpError::BadSize: return spi::kInternalError;
    case WebpError::Broken: return spi::kBrokenData;
    }
    return spi::kInternalError;
}

// The input as bytes: a file from an offset, or the host's memory block as it is.
bool Input(LPCSTR buf, LONG_PTR len, unsigned int flag, size_t limit, std::vector<uint8_t>* storage,
           const uint8_t** data, size_t* size) {
    if (!buf)
        return false;
    if ((flag & spi::kInputMask) == spi::kInputMemory) {
        if (len <= 0)
            return false;
        *data = reinterpret_cast<const uint8_t*>(buf);
        *size = static_cast<size_t>(len);
        return true;
    }
    if ((flag & spi::kInputMask) != spi::kInputFile || len < 0)
        return false;
    if (!plugin_io::ReadFileFrom(buf, static_cast<uint64_t>(len), limit, storage))
        return false;
    *data = storage->data();
    *size = storage->size();
    return true;
}

} // namespace

extern "C" {

int __stdcall GetPluginInfo(int infono, LPSTR buf, int buflen) {
    return spi::CopyPluginInfo(kInfo, static_cast<int>(sizeof kInfo / sizeof kInfo[0]), infono, buf, buflen);
}

int __stdcall IsSupported(LPCSTR, const void* dw) {
    // The 64-bit interface hands the first 2 KB; a value that fits in 16 bits is an old-style file
    // handle, which it forbids.
    if (reinterpret_cast<uintptr_t>(dw) <= 0xFFFF)
        return 0;
    return WebpIsSupported(static_cast<const uint8_t*>(dw), 2048) ? 1 : 0;
}

int __stdcall GetPictureInfo(LPCSTR buf, LONG_PTR len, unsigned int flag, spi::PictureInfo* lpInfo) {
    if (!lpInfo)
        return spi::kInternalError;
    std::vector<uint8_t> storage;
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!Input(buf, len, flag, kHeadBytes, &storage, &data, &size))
        return spi::kReadError;
    WebpInfo info;
    const WebpError error = WebpReadInfo(data, size, &info);
    if (error != WebpError::Ok)
        return ResultOf(error);
    std::memset(lpInfo, 0, sizeof *lpInfo);
    lpInfo->width = info.width;
    lpInfo->height = info.height;
    lpInfo->color_depth = 24;
    return spi::kOk;
}

int __stdcall GetPicture(LPCSTR buf, LONG_PTR len, unsigned int flag, HLOCAL* pHBInfo, HLOCAL* pHBm,
                         plugin_io::ProgressCallback progress, LONG_PTR lData) {
    if (!pHBInfo || !pHBm)
        return spi::kInternalError;
    *pHBInfo = nullptr;
    *pHBm = nullptr;
    if (plugin_io::Cancelled(progress, 0, 1, lData))
        return spi::kCancelled;
    std::vector<uint8_t> storage;
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!Input(buf, len, flag, kMaxFile, &storage, &data, &size))
        return spi::kReadError;
    WebpInfo info;
    WebpError error = WebpReadInfo(data, size, &info);
    if (error != WebpError::Ok)
        return ResultOf(error);
    const size_t bits_size = WebpDibSize(info);
    if (bits_size == 0)
        return spi::kNoMemory;
    uint8_t header[kInfoHeaderSize];
    WebpFillInfoHeader(info, header);
    HLOCAL hinfo = plugin_io::LocalCopy(header, sizeof header);
    HLOCAL hbits = LocalAlloc(LMEM_MOVEABLE, bits_size);
    if (!hinfo || !hbits) {
        LocalFree(hinfo);
        LocalFree(hbits);
        return spi::kNoMemory;
    }
    void* bits = LocalLock(hbits);
    error = bits ? WebpDecodeInto(data, size, static_cast<uint8_t*>(bits), bits_size) : WebpError::TooLarge;
    if (bits)
        LocalUnlock(hbits);
    if (error != WebpError::Ok) {
        LocalFree(hinfo);
        LocalFree(hbits);
        return bits ? ResultOf(error) : spi::kMemoryError;
    }
    if (plugin_io::Cancelled(progress, 1, 1, lData)) {
        LocalFree(hinfo);
        LocalFree(hbits);
        return spi::kCancelled;
    }
    *pHBInfo = hinfo;
    *pHBm = hbits;
    return spi::kOk;
}

int __stdcall GetPreview(LPCSTR, LONG_PTR, unsigned int, HLOCAL*, HLOCAL*, plugin_io::ProgressCallback, LONG_PTR) {
    return spi::kNotImplemented;
}

int __stdcall ConfigurationDlg(HWND parent, int function) {
    // Nothing to set: both the about box (0) and the settings (1) show what the module is.
    if (function != 0 && function != 1)
        return spi::kNotImplemented;
    MessageBoxA(parent, kInfo[1], "WebP plug-in", MB_OK | MB_ICONINFORMATION);
    return spi::kOk;
}

} // extern "C"
