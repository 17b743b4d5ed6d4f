/* An image plug-in that faults, for the host's fault containment. It accepts files that start with
   "QFLT" and then faults by the fifth byte: 'I' an access violation in IsSupported, 'Z' a division by
   zero in GetPictureInfo, 'S' a stack overflow in GetPicture, 'A' an access violation in GetPicture.
   Its extension patterns and its configuration dialog always fault. */
#include "double_common.h"

DOUBLE_DLLMAIN

typedef int(WINAPI* Progress)(int, int, LONG_PTR);

static volatile int g_zero = 0;
static int* volatile g_null = NULL;

static void AccessViolation(void) { *g_null = 1; }

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
static int Recurse(int depth) {
    volatile char pad[4096];
    pad[0] = (char)depth;
    return Recurse(depth + 1) + pad[0];
}
#pragma GCC diagnostic pop

static char ModeOf(LPCSTR buf, LONG_PTR len, unsigned int flag) {
    unsigned char head[5];
    if ((flag & 7) == 1) {
        if (len < 5)
            return 0;
        memcpy(head, buf, 5);
    } else if (!ReadAt(buf, len, head, 5)) {
        return 0;
    }
    return memcmp(head, "QFLT", 4) == 0 ? (char)head[4] : 0;
}

int WINAPI GetPluginInfo(int infono, LPSTR buf, int buflen) {
    if (infono == 0)
        return CopyAnswer(buf, buflen, "00IN");
    if (infono == 1)
        return CopyAnswer(buf, buflen, "Quorle faulting plug-in");
    AccessViolation();
    return 0;
}

int WINAPI IsSupported(LPCSTR filename, const void* dw) {
    (void)filename;
    LogCall("IsSupported");
    const unsigned char* head = (const unsigned char*)dw;
    if (memcmp(head, "QFLT", 4) != 0)
        return 0;
    if (head[4] == 'I')
        AccessViolation();
    return 1;
}

int WINAPI GetPictureInfo(LPCSTR buf, LONG_PTR len, unsigned int flag, void* info) {
    (void)info;
    LogCall("GetPictureInfo");
    if (ModeOf(buf, len, flag) == 'Z')
        return 10 / g_zero;
    return -1;
}

int WINAPI GetPicture(LPCSTR buf, LONG_PTR len, unsigned int flag, HLOCAL* pHBInfo, HLOCAL* pHBm, Progress progress,
                      LONG_PTR data) {
    (void)progress;
    (void)data;
    LogCall("GetPicture");
    *pHBInfo = *pHBm = NULL;
    const char mode = ModeOf(buf, len, flag);
    if (mode == 'S')
        return Recurse(0);
    if (mode == 'A')
        AccessViolation();
    return 2;
}

int WINAPI ConfigurationDlg(HWND parent, int fnc) {
    (void)parent;
    (void)fnc;
    AccessViolation();
    return 0;
}
