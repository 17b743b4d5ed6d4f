// The records, codes and function types of the external RAR module's interface (API version 9),
// laid out exactly as the module publishes them: packed, so pointers may sit at odd offsets. Shared
// by the program's binding and the test double that stands in for the module. Only the 64-bit
// layout is used; its offsets are checked below.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rarabi {

constexpr unsigned kOmList = 0;    // RAR_OM_LIST
constexpr unsigned kOmExtract = 1; // RAR_OM_EXTRACT
constexpr int kSkip = 0;           // RAR_SKIP
constexpr int kTest = 1;           // RAR_TEST
constexpr int kExtract = 2;        // RAR_EXTRACT
constexpr intptr_t kVolAsk = 0;    // RAR_VOL_ASK
constexpr intptr_t kVolNotify = 1; // RAR_VOL_NOTIFY

// Callback messages.
constexpr unsigned kChangeVolume = 0;
constexpr unsigned kProcessData = 1;
constexpr unsigned kNeedPassword = 2;
constexpr unsigned kChangeVolumeW = 3;
constexpr unsigned kNeedPasswordW = 4;

// Error codes.
constexpr int kSuccess = 0;
constexpr int kEndArchive = 10;
constexpr int kNoMemory = 11;
constexpr int kBadData = 12;
constexpr int kBadArchive = 13;
constexpr int kUnknownFormat = 14;
constexpr int kEOpen = 15;
constexpr int kECreate = 16;
constexpr int kEClose = 17;
constexpr int kERead = 18;
constexpr int kEWrite = 19;
constexpr int kUnknown = 21;
constexpr int kMissingPassword = 22;

// Header flags (RHDF_*).
constexpr unsigned kSplitBefore = 0x01;
constexpr unsigned kSplitAfter = 0x02;
constexpr unsigned kEncrypted = 0x04;
constexpr unsigned kSolid = 0x10;
constexpr unsigned kDirectory = 0x20;

// x64 calling convention for all of these (the declared __stdcall is ignored there).
using Callback = int (*)(unsigned msg, intptr_t userData, intptr_t p1, intptr_t p2);

#pragma pack(push, 1)
struct OpenArchiveDataEx {
    char* arcName;
    wchar_t* arcNameW;
    unsigned openMode;
    unsigned openResult;
    char* cmtBuf;
    unsigned cmtBufSize;
    unsigned cmtSize;
    unsigned cmtState;
    unsigned flags;
    Callback callback;
    intptr_t userData;
    unsigned opFlags;
    wchar_t* cmtBufW;
    wchar_t* markOfTheWeb;
    unsigned reserved[23];
};

struct HeaderDataEx {
    char arcName[1024];
    wchar_t arcNameW[1024];
    char fileName[1024];
    wchar_t fileNameW[1024];
    unsigned flags;
    unsigned packSize;
    unsigned packSizeHigh;
    unsigned unpSize;
    unsigned unpSizeHigh;
    unsigned hostOS;
    unsigned fileCRC;
    unsigned fileTime;
    unsigned unpVer;
    unsigned method;
    unsigned fileAttr;
    char* cmtBuf;
    unsigned cmtBufSize;
    unsigned cmtSize;
    unsigned cmtState;
    unsigned dictSize;
    unsigned hashType;
    char hash[32];
    unsigned redirType;
    wchar_t* redirName;
    unsigned redirNameSize;
    unsigned dirTarget;
    unsigned mtimeLow, mtimeHigh, ctimeLow, ctimeHigh, atimeLow, atimeHigh;
    wchar_t* arcNameEx;
    unsigned arcNameExSize;
    wchar_t* fileNameEx;
    unsigned fileNameExSize;
    unsigned reserved[982];
};
#pragma pack(pop)

// The module's wide characters are UTF-16: the layout below holds only where wchar_t is 2 bytes
// and pointers 8 (64-bit Windows), the one place the module runs.
#if defined(_WIN64)
static_assert(sizeof(wchar_t) == 2, "the module's strings are UTF-16");
static_assert(sizeof(OpenArchiveDataEx) == 176, "RAROpenArchiveDataEx");
static_assert(offsetof(OpenArchiveDataEx, openMode) == 16, "OpenMode");
static_assert(offsetof(OpenArchiveDataEx, openResult) == 20, "OpenResult");
static_assert(offsetof(OpenArchiveDataEx, flags) == 44, "Flags");
static_assert(offsetof(OpenArchiveDataEx, callback) == 48, "Callback");
static_assert(offsetof(OpenArchiveDataEx, userData) == 56, "UserData");
static_assert(offsetof(OpenArchiveDataEx, cmtBufW) == 68, "CmtBufW");
static_assert(offsetof(OpenArchiveDataEx, reserved) == 84, "Reserved");
static_assert(sizeof(HeaderDataEx) == 10244, "RARHeaderDataEx");
static_assert(offsetof(HeaderDataEx, fileNameW) == 4096, "FileNameW");
static_assert(offsetof(HeaderDataEx, flags) == 6144, "Flags");
static_assert(offsetof(HeaderDataEx, unpSize) == 6156, "UnpSize");
static_assert(offsetof(HeaderDataEx, unpSizeHigh) == 6160, "UnpSizeHigh");
static_assert(offsetof(HeaderDataEx, fileCRC) == 6168, "FileCRC");
static_assert(offsetof(HeaderDataEx, fileTime) == 6172, "FileTime");
static_assert(offsetof(HeaderDataEx, cmtBuf) == 6188, "CmtBuf");
static_assert(offsetof(HeaderDataEx, redirName) == 6252, "RedirName");
static_assert(offsetof(HeaderDataEx, mtimeLow) == 6268, "MtimeLow");
static_assert(offsetof(HeaderDataEx, arcNameEx) == 6292, "ArcNameEx");
static_assert(offsetof(HeaderDataEx, fileNameEx) == 6304, "FileNameEx");
static_assert(offsetof(HeaderDataEx, reserved) == 6316, "Reserved");
#endif

using OpenArchiveExFn = void* (*)(OpenArchiveDataEx*);
using CloseArchiveFn = int (*)(void*);
using ReadHeaderExFn = int (*)(void*, HeaderDataEx*);
using ProcessFileWFn = int (*)(void*, int operation, wchar_t* destPath, wchar_t* destName);

} // namespace rarabi
