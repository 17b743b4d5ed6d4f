// The broker's state and its answers: each pane's busy word, the admission of folder operations,
// the program-wide busy flag and the single background file-operation job.
//
// Only the broker thread touches a BrokerState (every question reaches it by SendMessageW), so none
// of this needs a lock. broker_win.cpp turns the messages into these calls.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "common/location.h"

namespace broker {

// What a background job does.
enum FileOperation : int32_t {
    kOpExtract = 0,     // the archive (first folder) into a new folder in the second
    kOpPackStored = 1,  // the first folder into a new ZIP in the second, members stored
    kOpPackDeflate = 2, // the same, members deflated
};

// The one background job (archive extraction or ZIP creation). Filled by whoever asks for it.
struct FileOpJob {
    std::wstring firstFolder;  // the source: the archive, or the folder to pack
    std::wstring secondFolder; // the destination folder chosen
    int32_t mode = 0; // 0: the second folder is the active one, otherwise the first
    FileOperation operation = kOpExtract;
    location::LocationKind kind = location::kZipArchive; // of the archive extracted
    std::wstring title;      // of the progress window
    std::wstring cancelText; // of its button
    // The job's body, run on its own thread; returns 1 on success, 0 on failure. Without one the
    // job cannot start.
    uint32_t (*run)(FileOpJob& job) = nullptr;
    // The second attempt after a failed extraction (the image plug-ins' own); null when there is
    // nothing else to try.
    uint32_t (*retry)(FileOpJob& job) = nullptr;
    bool retried = false;
    void* payload = nullptr; // belongs to `run`
    bool started = false;
    // The broker window, told the result when the body returns (an HWND).
    intptr_t notifyWindow = 0;
    // The worker's progress window while it shows one (an HWND), written by the worker thread.
    std::atomic<intptr_t> progressWindow{0};
    // The worker thread (a HANDLE), owned by the broker's Windows side.
    intptr_t thread = 0;
};

const std::wstring& ActiveFolder(const FileOpJob& job);

// What the broker knows of a pane: its busy word, the number of the load that set it, and the location
// it was last asked to show.
struct PaneState {
    uint32_t busy = 0;
    uint32_t load = 0;
    bool hasLocation = false;
    location::LocationKind kind = location::kFileSystemFolder;
    std::wstring folder;
};

struct BrokerState {
    std::array<PaneState, 2> panes;
    uint32_t lock = 0;
    uint32_t lastCode = 0;
    std::wstring lastPath;
    bool busyFlag = false;
    uint32_t lastLoad = 0; // loads of both panes are numbered from one counter, never 0
    std::unique_ptr<FileOpJob> job;
};

// Operation codes of WM_BROKER_ACQUIRE.
constexpr uint32_t kCodePaneBit = 1;
constexpr uint32_t kCodeClassMask = 0xE;
constexpr uint32_t kCodeTestOnly = 0x10;
constexpr uint32_t kClassPath = 2;     // class 1: a path of a pane
constexpr uint32_t kClassFolder = 4;   // class 2: a folder and everything under it
constexpr uint32_t kClassPane = 6;     // class 3: the folder a pane shows
constexpr uint32_t kClassProgram = 8;  // class 4: the whole program

// A load request for pane `pane` (0 or 1) showing `kind`/`folder`: the pane becomes busy with `word`.
// Returns the load's number, which every notice that ends the load carries.
uint32_t StartJob(BrokerState& s, int pane, uint32_t word, location::LocationKind kind, const std::wstring& folder);
// The notice that load `load` of the pane ended. A notice of an earlier load arrives after a newer load
// was asked for; it changes nothing and is dropped (false), or it would free the pane while the newer
// load runs. Load 0 ends no load: nothing changes but the notice is delivered (true).
bool JobDone(BrokerState& s, int pane, uint32_t load);
// The number of the pane's latest load (0 before its first): what a stop ends.
uint32_t CurrentLoad(const BrokerState& s, int pane);

// Admission; `path` null reuses the previous path. Code 0 releases the lock. Returns 1 or 0.
int Acquire(BrokerState& s, uint32_t code, const std::wstring* path);

// 1 take, 2 test, 0 clear.
int BusyFlag(BrokerState& s, uint32_t op);

// WM_BROKER_PATH_IN_FILEOP: `path` non-null asks about a path, else about pane `pane`.
int PathInFileOp(const BrokerState& s, const std::wstring* path, int pane);
// WM_BROKER_PATH_FREE.
int PathFree(const BrokerState& s, const std::wstring& path);
// WM_BROKER_PANE_IDLE: pane 0 or 1, or 2 for both.
int PaneIdle(const BrokerState& s, int pane);

} // namespace broker
