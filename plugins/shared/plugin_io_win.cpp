#include "plugins/shared/plugin_io_win.h"

#include <cstring>

namespace plugin_io {

std::wstring WideFromAnsi(const char* name) {
    if (!name)
        return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (n <= 1)
        return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name, -1, &out[0], n);
    out.resize(static_cast<size_t>(n) - 1);
    return out;
}

bool ReadFileFrom(const char* name, uint64_t offset, size_t limit, std::vector<uint8_t>* out) {
    out->clear();
    const std::wstring path = WideFromAnsi(name);
    if (path.empty())
        return false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = false;
    LARGE_INTEGER size, to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (GetFileSizeEx(file, &size) && static_cast<uint64_t>(size.QuadPart) >= offset &&
        SetFilePointerEx(file, to, nullptr, FILE_BEGIN)) {
        uint64_t left = static_cast<uint64_t>(size.QuadPart) - offset;
        if (left > limit)
            left = limit;
        try {
            out->resize(static_cast<size_t>(left));
            ok = true;
        } catch (...) {
            ok = false;
        }
        size_t done = 0;
        while (ok && done < out->size()) {
            const size_t want = out->size() - done;
            DWORD got = 0;
            if (!ReadFile(file, out->data() + done, want > (1u << 30) ? (1u << 30) : static_cast<DWORD>(want), &got,
                          nullptr) ||
                got == 0)
                ok = false;
            done += got;
        }
    }
    CloseHandle(file);
    if (!ok)
        out->clear();
    return ok;
}

HLOCAL LocalCopy(const void* data, size_t size) {
    HLOCAL handle = LocalAlloc(LMEM_MOVEABLE | (data ? 0 : LMEM_ZEROINIT), size ? size : 1);
    if (!handle)
        return nullptr;
    if (data && size) {
        void* p = LocalLock(handle);
        if (!p) {
            LocalFree(handle);
            return nullptr;
        }
        std::memcpy(p, data, size);
        LocalUnlock(handle);
    }
    return handle;
}

bool Cancelled(ProgressCallback callback, int num, int denom, LONG_PTR data) {
    return callback && callback(num, denom, data) != 0;
}

} // namespace plugin_io
