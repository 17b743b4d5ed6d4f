// A stand-in for the external RAR module, for tests: the same exports and records, built on the
// built-in reader, so the program's module path runs against real RAR files. It serves sets from
// their first volume (a later volume opens for its flags only, as a probe needs).
//
// QUORLE_RAR_DOUBLE in the environment switches on what real archives here cannot show:
//   password:SECRET  every member is protected by SECRET; the password is requested through the
//                    callback for each member processed, as a module that keeps none would
//   ask-volume       the first member processed needs a volume that is missing
// Both requests are counted in QUORLE_RAR_DOUBLE_ASKS (password asks, volume asks), so tests see
// what the host was asked.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/rar_module_abi.h"
#include "archive/rar_reader.h"
#include "archive/rar_volumes.h"
#include "common/path.h"

namespace {

// Bounded retries when the host keeps answering "retry" to a volume request.
constexpr int kMaxVolumeRetries = 3;
constexpr size_t kChunk = 64 * 1024;

std::wstring Switch() {
    wchar_t buffer[256];
    const DWORD n = GetEnvironmentVariableW(L"QUORLE_RAR_DOUBLE", buffer, 256);
    return n > 0 && n < 256 ? std::wstring(buffer, n) : std::wstring();
}

void CountAsk(int which) {
    wchar_t buffer[64] = L"0 0";
    GetEnvironmentVariableW(L"QUORLE_RAR_DOUBLE_ASKS", buffer, 64);
    int counts[2] = {0, 0};
    swscanf(buffer, L"%d %d", &counts[0], &counts[1]);
    ++counts[which];
    swprintf(buffer, 64, L"%d %d", counts[0], counts[1]);
    SetEnvironmentVariableW(L"QUORLE_RAR_DOUBLE_ASKS", buffer);
}

struct Handle {
    std::wstring path;
    unsigned mode = 0;
    rarabi::Callback callback = nullptr;
    intptr_t userData = 0;
    archive::RarSequence sequence;
    bool opened = false;      // the sequence could be opened (a first volume)
    bool current = false;     // a header was read and not processed yet
    location::ArchiveEntry entry;
    uint64_t size = 0;
    bool folder = false;
    bool encrypted = false;
    std::wstring password;    // what the switch demands; empty: none
    bool askVolume = false;
    std::vector<std::wstring> volumes;
    std::wstring missing; // the volume the set lacks, if any
};

int Call(Handle* h, unsigned msg, intptr_t p1, intptr_t p2) {
    return h->callback ? h->callback(msg, h->userData, p1, p2) : -1;
}

// A missing volume: asked for until the host gives up (-1) or the retries run out.
int AskForVolume(Handle* h, const std::wstring& name) {
    for (int i = 0; i < kMaxVolumeRetries; ++i) {
        CountAsk(1);
        std::vector<wchar_t> buffer(1024, 0);
        std::copy_n(name.begin(), std::min<size_t>(name.size(), 1023), buffer.begin());
        if (Call(h, rarabi::kChangeVolumeW, reinterpret_cast<intptr_t>(buffer.data()), rarabi::kVolAsk) == -1)
            break;
    }
    return rarabi::kEOpen;
}

int CheckPassword(Handle* h) {
    if (h->password.empty())
        return 0;
    CountAsk(0);
    wchar_t buffer[128] = {0};
    if (Call(h, rarabi::kNeedPasswordW, reinterpret_cast<intptr_t>(buffer), 128) == -1)
        return rarabi::kMissingPassword;
    return h->password == buffer ? 0 : rarabi::kBadData;
}

int Deliver(Handle* h, int operation, const std::wstring& target) {
    HANDLE out = INVALID_HANDLE_VALUE;
    if (operation == rarabi::kExtract) {
        out = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE)
            return rarabi::kECreate;
    }
    std::vector<uint8_t> chunk(kChunk);
    int result = 0;
    for (;;) {
        const int64_t got = h->sequence.Read(chunk.data(), chunk.size());
        if (got == 0)
            break;
        if (got < 0) {
            result = h->sequence.Complete() ? rarabi::kBadData : AskForVolume(h, h->missing);
            break;
        }
        if (Call(h, rarabi::kProcessData, reinterpret_cast<intptr_t>(chunk.data()), static_cast<intptr_t>(got)) == -1) {
            result = rarabi::kUnknown;
            break;
        }
        DWORD written = 0;
        if (out != INVALID_HANDLE_VALUE &&
            (!WriteFile(out, chunk.data(), static_cast<DWORD>(got), &written, nullptr) || written != got)) {
            result = rarabi::kEWrite;
            break;
        }
    }
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    return result;
}

} // namespace

extern "C" {

__declspec(dllexport) void* RAROpenArchiveEx(rarabi::OpenArchiveDataEx* data) {
    if (!data || !data->arcNameW) {
        if (data)
            data->openResult = rarabi::kEOpen;
        return nullptr;
    }
    auto h = std::make_unique<Handle>();
    h->path = data->arcNameW;
    h->mode = data->openMode;
    h->callback = data->callback;
    h->userData = data->userData;
    uint32_t flags = 0;
    if (GetFileAttributesW(h->path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        data->openResult = rarabi::kEOpen;
        return nullptr;
    }
    if (!archive::ReadRarMainFlags(h->path, &flags)) {
        data->openResult = rarabi::kBadArchive;
        return nullptr;
    }
    data->flags = flags;
    data->openResult = 0;
    const archive::RarProbe probe = archive::ProbeFromFlags(flags);
    if (probe != archive::kRarLaterVolume) {
        h->opened = h->sequence.Open(h->path);
        bool complete = true;
        h->volumes = archive::RarVolumeSet(h->path, probe, &complete);
        if (!complete)
            h->missing = archive::NextRarVolume(h->volumes.back(), probe != archive::kRarOldVolume);
        // Every volume after the first is announced as it is reached; here, all at once.
        for (size_t i = 1; i < h->volumes.size(); ++i) {
            std::vector<wchar_t> name(h->volumes[i].begin(), h->volumes[i].end());
            name.resize(1024, 0);
            if (h->callback &&
                Call(h.get(), rarabi::kChangeVolumeW, reinterpret_cast<intptr_t>(name.data()), rarabi::kVolNotify) == -1)
                h->opened = false;
        }
    }
    const std::wstring mode = Switch();
    if (mode.compare(0, 9, L"password:") == 0)
        h->password = mode.substr(9);
    h->askVolume = mode == L"ask-volume";
    return h.release();
}

__declspec(dllexport) int RARCloseArchive(void* handle) {
    delete static_cast<Handle*>(handle);
    return 0;
}

__declspec(dllexport) int RARReadHeaderEx(void* handle, rarabi::HeaderDataEx* header) {
    Handle* h = static_cast<Handle*>(handle);
    if (!h || !header)
        return rarabi::kBadData;
    if (!h->opened)
        return rarabi::kBadData;
    if (h->current) {
        // Not processed: skipped, as the module does.
        h->current = false;
    }
    if (!h->sequence.Next(&h->entry, &h->size, &h->folder, &h->encrypted)) {
        // The end of what exists; with a volume missing the module would ask for it first.
        return h->sequence.Complete() ? rarabi::kEndArchive : AskForVolume(h, h->missing);
    }
    h->current = true;
    std::wstring name = h->entry.folder + h->entry.name;
    if (h->folder && !name.empty() && name.back() == L'\\')
        name.pop_back();
    const std::wstring arc = h->volumes.empty() ? h->path : h->volumes.front();
    std::copy_n(arc.begin(), std::min<size_t>(arc.size(), 1023), header->arcNameW);
    std::copy_n(name.begin(), std::min<size_t>(name.size(), 1023), header->fileNameW);
    for (size_t i = 0; i < name.size() && i < 1023; ++i)
        header->fileName[i] = name[i] < 0x80 ? static_cast<char>(name[i]) : '?';
    header->flags = (h->folder ? rarabi::kDirectory : 0) | (h->encrypted || !h->password.empty() ? rarabi::kEncrypted : 0);
    header->unpSize = static_cast<unsigned>(h->size & 0xFFFFFFFFu);
    header->unpSizeHigh = static_cast<unsigned>(h->size >> 32);
    header->packSize = header->unpSize;
    header->packSizeHigh = header->unpSizeHigh;
    header->hostOS = 2;
    header->method = 0x30;
    header->fileAttr = h->folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    header->hashType = 1;
    uint16_t date = 0, time = 0;
    if (platform::UtcToDosDateTime(h->entry.time, &date, &time))
        header->fileTime = (static_cast<unsigned>(date) << 16) | time;
    return 0;
}

__declspec(dllexport) int RARProcessFileW(void* handle, int operation, wchar_t* destPath, wchar_t* destName) {
    Handle* h = static_cast<Handle*>(handle);
    if (!h || !h->current)
        return rarabi::kBadData;
    h->current = false;
    if (operation == rarabi::kSkip || h->mode == rarabi::kOmList || h->folder)
        return 0;
    if (h->askVolume) {
        h->askVolume = false;
        return AskForVolume(h, paths::Join(paths::Parent(h->path), L"missing.part2.rar"));
    }
    if (const int refused = CheckPassword(h))
        return refused;
    if (h->encrypted)
        return rarabi::kBadData;
    std::wstring target;
    if (operation == rarabi::kExtract) {
        if (destName)
            target = destName;
        else
            target = paths::Join(destPath ? std::wstring(destPath) : std::wstring(), h->entry.folder + h->entry.name);
    }
    return Deliver(h, operation, target);
}

__declspec(dllexport) int RARGetDllVersion() { return 9; }

} // extern "C"
