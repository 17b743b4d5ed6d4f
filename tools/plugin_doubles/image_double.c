/* An image plug-in over a trivial format, for the host's tests:
     "QIMG", width u16, height u16, bits u8 (1, 4, 8, 24 or 32), mode u8
   anywhere the host points it (so a file may carry a 128-byte header before it). The picture is a
   pattern of x and y; the bitmap header's horizontal density is the first letter of the module's file
   name, so a test sees which copy decoded. Modes give the host hostile answers: 1 a pixel handle one
   byte short, 2 a header size beyond the info handle, 3 a compressed bitmap, 4 a negative height. */
#include "double_common.h"

DOUBLE_DLLMAIN

typedef int(WINAPI* Progress)(int, int, LONG_PTR);

#pragma pack(push, 1)
typedef struct {
    LONG left, top, width, height;
    WORD xDensity, yDensity;
    short colorDepth;
    char dummy[2];
    HLOCAL info;
} PictureInfo;
#pragma pack(pop)

typedef struct {
    int width, height, bits, mode;
} Header;

static int ParseHeader(const unsigned char* p, Header* h) {
    if (memcmp(p, "QIMG", 4) != 0)
        return 0;
    h->width = p[4] | (p[5] << 8);
    h->height = p[6] | (p[7] << 8);
    h->bits = p[8];
    h->mode = p[9];
    return h->width > 0 && h->height > 0;
}

static int Load(LPCSTR buf, LONG_PTR len, unsigned int flag, Header* h) {
    unsigned char head[10];
    if ((flag & 7) == 1) {
        if (len < 10)
            return 0;
        memcpy(head, buf, 10);
    } else if (!ReadAt(buf, len, head, 10)) {
        return 0;
    }
    return ParseHeader(head, h);
}

static void LogOffset(const char* call, LONG_PTR len, unsigned int flag) {
    char text[64];
    sprintf(text, "%s %s %lld", call, (flag & 7) ? "memory" : "file", (long long)len);
    LogCall(text);
}

int WINAPI GetPluginInfo(int infono, LPSTR buf, int buflen) {
    switch (infono) {
    case 0: return CopyAnswer(buf, buflen, "00IN");
    case 1: return CopyAnswer(buf, buflen, "Quorle test image plug-in");
    case 2: return CopyAnswer(buf, buflen, "*.QIM;*.qimg;*.JPG");
    case 3: return CopyAnswer(buf, buflen, "Test pictures");
    case 4: return CopyAnswer(buf, buflen, "*.q2");
    case 5: return CopyAnswer(buf, buflen, "More test pictures");
    default: return 0;
    }
}

int WINAPI IsSupported(LPCSTR filename, const void* dw) {
    (void)filename;
    LogCall("IsSupported");
    Header h;
    return ParseHeader((const unsigned char*)dw, &h);
}

int WINAPI GetPictureInfo(LPCSTR buf, LONG_PTR len, unsigned int flag, PictureInfo* info) {
    LogOffset("GetPictureInfo", len, flag);
    Header h;
    if (!Load(buf, len, flag, &h))
        return 2;
    info->left = info->top = 0;
    info->width = h.width;
    info->height = h.height;
    info->colorDepth = (short)h.bits;
    void* text;
    info->info = NewHandle(8, &text);
    if (info->info) {
        memcpy(text, "info", 5);
        LocalUnlock(info->info);
    }
    return 0;
}

static unsigned char Pattern(int x, int y, int bits) {
    int v = x * 3 + y * 5;
    return (unsigned char)(bits == 1 ? v & 1 : bits == 4 ? v & 15 : v & 255);
}

int WINAPI GetPicture(LPCSTR buf, LONG_PTR len, unsigned int flag, HLOCAL* pHBInfo, HLOCAL* pHBm, Progress progress,
                      LONG_PTR data) {
    LogOffset("GetPicture", len, flag);
    Header h;
    if (!Load(buf, len, flag, &h))
        return 2;
    if (progress)
        progress(0, 1, data);
    const int colours = h.bits <= 8 ? 1 << h.bits : 0;
    const SIZE_T infoSize = sizeof(BITMAPINFOHEADER) + (SIZE_T)colours * sizeof(RGBQUAD);
    const int stride = ((h.width * h.bits + 31) / 32) * 4;
    SIZE_T bitsSize = (SIZE_T)stride * h.height;
    if (h.mode == 1)
        bitsSize -= 1;
    void* infoData;
    void* bitsData;
    *pHBInfo = NewHandle(infoSize, &infoData);
    *pHBm = NewHandle(bitsSize, &bitsData);
    if (!*pHBInfo || !*pHBm)
        return 4;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)infoData;
    bih->biSize = h.mode == 2 ? 4096 : sizeof(BITMAPINFOHEADER);
    bih->biWidth = h.width;
    bih->biHeight = h.mode == 4 ? -h.height : h.height;
    bih->biPlanes = 1;
    bih->biBitCount = (WORD)h.bits;
    bih->biCompression = h.mode == 3 ? BI_RLE8 : BI_RGB;
    bih->biXPelsPerMeter = ModuleTag();
    RGBQUAD* table = (RGBQUAD*)(bih + 1);
    for (int i = 0; i < colours; ++i) {
        table[i].rgbBlue = (BYTE)(i * 255 / (colours - 1));
        table[i].rgbGreen = (BYTE)(255 - i * 255 / (colours - 1));
        table[i].rgbRed = (BYTE)i;
    }
    unsigned char* px = (unsigned char*)bitsData;
    for (int y = 0; y < h.height && h.mode != 1; ++y) {
        unsigned char* row = px + (SIZE_T)y * stride;
        for (int x = 0; x < h.width; ++x) {
            const unsigned char v = Pattern(x, y, h.bits);
            switch (h.bits) {
            case 1: row[x >> 3] |= (unsigned char)(v << (7 - (x & 7))); break;
            case 4: row[x >> 1] |= (unsigned char)((x & 1) ? v : v << 4); break;
            case 8: row[x] = v; break;
            case 24: row[x * 3] = v; row[x * 3 + 1] = (unsigned char)x; row[x * 3 + 2] = (unsigned char)y; break;
            case 32: row[x * 4] = v; row[x * 4 + 3] = 255; break;
            }
        }
    }
    LocalUnlock(*pHBInfo);
    LocalUnlock(*pHBm);
    return 0;
}
