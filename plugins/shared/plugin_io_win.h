// What both modules do with Windows: read the input the host names (a file by its ANSI name from an
// offset, or a memory block), hand results over in local-memory handles, and report progress.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace plugin_io {

typedef int(__stdcall* ProgressCallback)(int num, int denom, LONG_PTR data);

// The host's ANSI name as a wide path (the system's ANSI code page, as the interface says).
std::wstring WideFromAnsi(const char* name);

// Up to `limit` bytes of the file from `offset`; false when it cannot be opened or read.
bool ReadFileFrom(const char* name, uint64_t offset, size_t limit, std::vector<uint8_t>* out);

// A local-memory block of `size` bytes holding `data` (or zeros); null when allocation fails.
HLOCAL LocalCopy(const void* data, size_t size);

// Calls the host's progress callback when there is one; true when the host asked to stop.
bool Cancelled(ProgressCallback callback, int num, int denom, LONG_PTR data);

} // namespace plugin_io
