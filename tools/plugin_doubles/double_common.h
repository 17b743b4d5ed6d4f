/* Shared by the plug-in test doubles: a call log the tests read, and memory handles made the way
   careful hosts must expect (moveable, so a host that forgets LocalLock fails visibly). */
#pragma once

#include <windows.h>

#include <stdio.h>
#include <string.h>

extern HMODULE g_self;

/* Appends "<module file name> <text>" to the file named by QUORLE_PLUGIN_LOG, when it is set. */
__attribute__((unused)) static void LogCall(const char* text) {
    char path[MAX_PATH], module[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("QUORLE_PLUGIN_LOG", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    if (!GetModuleFileNameA(g_self, module, MAX_PATH))
        return;
    const char* base = strrchr(module, '\\');
    base = base ? base + 1 : module;
    FILE* f = fopen(path, "a");
    if (!f)
        return;
    fprintf(f, "%s %s\n", base, text);
    fclose(f);
}

/* The first letter of the module's own file name, so tests can tell copies apart. */
__attribute__((unused)) static int ModuleTag(void) {
    char module[MAX_PATH];
    if (!GetModuleFileNameA(g_self, module, MAX_PATH))
        return 0;
    const char* base = strrchr(module, '\\');
    return (unsigned char)(base ? base[1] : module[0]);
}

__attribute__((unused)) static HLOCAL NewHandle(SIZE_T size, void** data) {
    HLOCAL h = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, size ? size : 1);
    *data = h ? LocalLock(h) : NULL;
    return h;
}

__attribute__((unused)) static int CopyAnswer(LPSTR buf, int buflen, const char* text) {
    int n = (int)strlen(text);
    if (buflen <= 0)
        return 0;
    if (n >= buflen)
        n = buflen - 1;
    memcpy(buf, text, (size_t)n);
    buf[n] = 0;
    return n;
}

/* Reads `size` bytes at `offset` of a file named in the ANSI code page; 0 on failure. */
__attribute__((unused)) static int ReadAt(LPCSTR name, LONG_PTR offset, void* out, DWORD size) {
    HANDLE f = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    LARGE_INTEGER at;
    at.QuadPart = offset;
    DWORD got = 0;
    int ok = SetFilePointerEx(f, at, NULL, FILE_BEGIN) && ReadFile(f, out, size, &got, NULL) && got == size;
    CloseHandle(f);
    return ok;
}

#define DOUBLE_DLLMAIN                                                      \
    HMODULE g_self;                                                         \
    BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {    \
        (void)reserved;                                                     \
        if (reason == DLL_PROCESS_ATTACH) {                                 \
            g_self = self;                                                  \
            LogCall("load");                                                \
        }                                                                   \
        return TRUE;                                                        \
    }
