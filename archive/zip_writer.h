// Packs a folder with all its sub-folders into a new ZIP archive, each file stored or deflated.
//
// The archive is built in a temporary file and copied to its destination only when complete, so a
// failed or cancelled job leaves nothing there. Names are UTF-8 and flagged so (bit 11). The layout
// is the classic one without ZIP64: no extra fields, no data descriptors, so every limit of that
// format (entries, sizes and offsets) is a reason to fail rather than to write a damaged archive.
#pragma once

#include <cstdint>
#include <string>

#include "archive/job_progress.h"

namespace archive {

enum class ZipMethod : uint16_t {
    Stored = 0,
    Deflated = 8,
};

// Why a job failed; the program shows one message for all of them, the tool prints the text.
enum class PackFailure {
    None,
    NoSourceFolder,     // the source is not an existing folder
    NothingToPack,      // the folder holds neither files nor sub-folders
    FolderUnreadable,   // a folder could not be listed, or vanished before its entry was written
    FileUnreadable,     // a file could not be opened or read (locked, vanished, no access)
    FileTooLarge,       // a file of 4 GiB or more
    NameTooLong,        // a name whose UTF-8 form is longer than 260 bytes, or has no UTF-8 form
    TooManyEntries,     // more than 65,535 entries
    ArchiveTooLarge,    // an offset or size past 4 GiB - 1
    NoFreeName,         // no free destination name within 259 characters
    TempFileFailed,     // the temporary file could not be made or written
    DeflateFailed,
    Cancelled,
    CopyFailed,         // the complete archive could not be copied to the destination
};

const char* PackFailureText(PackFailure failure);

// `chosenFolder`\ + the source folder's name cut at its last "." + ".zip" ("trip.2015" -> "trip.zip").
std::wstring ZipDestination(const std::wstring& chosenFolder, const std::wstring& sourceFolder);

// The name a job writes before looking for a free one: the source path + ".zip" when `destination`
// is empty, otherwise `destination` with its extension made ".zip" (replaced, or added when absent).
std::wstring ZipPathFor(const std::wstring& sourceFolder, const std::wstring& destination);

// The whole job, on the calling thread. Progress runs over entries + 2 steps; cancel is honoured
// between entries and between the pieces of a large file. On success `written` receives the path of
// the new archive (ZipPathFor, made unique with "+N"). On failure nothing is left at the destination
// or in the temporary folder, and `failure` (when given) says why.
bool PackFolderToZip(const std::wstring& sourceFolder, const std::wstring& destination, ZipMethod method,
                     JobProgress& progress, std::wstring* written, PackFailure* failure = nullptr);

} // namespace archive
