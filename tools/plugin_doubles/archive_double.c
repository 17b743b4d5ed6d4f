/* An archive plug-in over a trivial format, for the host's tests:
     "QARC", mode u8, count u8, then per member: name length u8, name (ANSI, "/" between folders),
     size u32, the bytes
   Each entry's position is the offset of its member record, so GetFile finds it again. Modes give the
   host hostile answers: 't' a list without its terminating record, 'p' a path field of 200 bytes
   without a NUL, 's' member handles one byte shorter than listed, 'f' an access violation in GetFile,
   'g' one in GetArchiveInfo. */
#include "double_common.h"

DOUBLE_DLLMAIN

typedef int(WINAPI* Progress)(int, int, LONG_PTR);

#pragma pack(push, 1)
typedef struct {
    unsigned char method[8];
    ULONG_PTR position;
    ULONG_PTR compsize;
    ULONG_PTR filesize;
    ULONG_PTR timestamp;
    char path[200];
    char filename[200];
    unsigned long crc;
    char dummy[4];
} FileInfo;
#pragma pack(pop)

static int* volatile g_null = NULL;

int WINAPI GetPluginInfo(int infono, LPSTR buf, int buflen) {
    switch (infono) {
    case 0: return CopyAnswer(buf, buflen, "00AM");
    case 1: return CopyAnswer(buf, buflen, "Quorle test archive plug-in");
    case 2: return CopyAnswer(buf, buflen, "*.qarc");
    case 3: return CopyAnswer(buf, buflen, "Test archives");
    default: return 0;
    }
}

int WINAPI IsSupported(LPCSTR filename, const void* dw) {
    (void)filename;
    LogCall("IsSupported");
    return memcmp(dw, "QARC", 4) == 0;
}

int WINAPI GetArchiveInfo(LPCSTR buf, LONG_PTR len, unsigned int flag, HLOCAL* lphInf) {
    *lphInf = NULL;
    if ((flag & 7) != 0)
        return -1;
    unsigned char head[6];
    if (!ReadAt(buf, len, head, 6) || memcmp(head, "QARC", 4) != 0)
        return 2;
    const char mode = (char)head[4];
    const int count = head[5];
    if (mode == 'g')
        *g_null = 1;
    void* data;
    HLOCAL h = NewHandle((SIZE_T)count * sizeof(FileInfo) + (mode == 't' ? 0 : 1), &data);
    if (!h)
        return 4;
    FileInfo* entries = (FileInfo*)data;
    LONG_PTR at = 6;
    for (int i = 0; i < count; ++i) {
        unsigned char nameLength;
        char name[256];
        DWORD size;
        if (!ReadAt(buf, len + at, &nameLength, 1) || !ReadAt(buf, len + at + 1, name, nameLength) ||
            !ReadAt(buf, len + at + 1 + nameLength, &size, 4)) {
            LocalUnlock(h);
            LocalFree(h);
            return 3;
        }
        name[nameLength] = 0;
        FileInfo* e = &entries[i];
        memcpy(e->method, "store", 6);
        e->position = (ULONG_PTR)at;
        e->compsize = e->filesize = size;
        e->timestamp = 1600000000;
        char* slash = strrchr(name, '/');
        if (slash) {
            *slash = 0;
            snprintf(e->path, sizeof e->path, "%s\\", name);
            snprintf(e->filename, sizeof e->filename, "%s", slash + 1);
        } else {
            snprintf(e->filename, sizeof e->filename, "%s", name);
        }
        if (mode == 'p' && i == 0)
            memset(e->path, 'x', sizeof e->path);
        at += 1 + nameLength + 4 + size;
    }
    LocalUnlock(h);
    *lphInf = h;
    return 0;
}

int WINAPI GetFile(LPCSTR src, LONG_PTR len, LPSTR dest, unsigned int flag, Progress progress, LONG_PTR data) {
    if ((flag & 0x700) != 0x100 || (flag & 7) != 0)
        return -1;
    unsigned char mode;
    unsigned char nameLength;
    char name[256];
    DWORD size;
    if (!ReadAt(src, 4, &mode, 1) || !ReadAt(src, len, &nameLength, 1) || !ReadAt(src, len + 1, name, nameLength) ||
        !ReadAt(src, len + 1 + nameLength, &size, 4))
        return 3;
    if (mode == 'f')
        *g_null = 1;
    if (progress)
        progress(0, 1, data);
    void* bytes;
    HLOCAL h = NewHandle(mode == 's' && size > 0 ? size - 1 : size, &bytes);
    if (!h)
        return 4;
    if (size && !ReadAt(src, len + 1 + nameLength + 4, bytes, mode == 's' ? size - 1 : size)) {
        LocalUnlock(h);
        LocalFree(h);
        return 6;
    }
    LocalUnlock(h);
    *(HLOCAL*)dest = h;
    return 0;
}
