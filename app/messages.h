// Every private message between the program's windows and threads, in the WM_APP range (0x8000).
// Numbers overlap between receivers: each block below belongs to one kind of window.
//
// Records passed by pointer belong to the receiver, which frees them; a poster that fails to post
// frees the record itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/location.h"

namespace msg {

// Folder-tree worker ("shell_msg_class"); all posted by the user-interface thread.
//   kTreeCheck    0, shelltree::CheckRequest* (the worker frees it)
//   kTreeCancel   0, 0: drops every queued check unanswered
//   kTreeWatch    0, shelltree::WatchRequest*: watch an expanded folder (only where the shell does not
//                 report other programs' changes, that is under Wine)
//   kTreeUnwatch  0, std::wstring* folder, or 0 for every folder
// The folder tree's tree-view control (subclassed), from its worker and the shell:
//   kTreeCheckDone      0, shelltree::CheckResult* (the tree frees it); stale answers are dropped by
//                       generation
//   kTreeFolderChanged  0, std::wstring* folder whose entries changed (the tree frees it)
//   kTreeShellChange    the shell's change notification (SHCNRF_NewDelivery form)
constexpr unsigned kTreeCheck = 0x8000;
constexpr unsigned kTreeCancel = 0x8001;
constexpr unsigned kTreeWatch = 0x8002;
constexpr unsigned kTreeUnwatch = 0x8003;
constexpr unsigned kTreeCheckDone = 0x8200;
constexpr unsigned kTreeFolderChanged = 0x8201;
constexpr unsigned kTreeShellChange = 0x83E8;

// Main window ("Quorle_main_class").
//   kMainWorkerReady   wParam HWND of a thumbnail worker window, lParam worker index 0 or 1 (posted)
//   kMainOpenMenu      wParam 0, lParam command id 5000..5003 of a menu-bar button (posted)
constexpr unsigned kMainWorkerReady = 0x8000;
constexpr unsigned kMainOpenMenu = 0x8002;

// Broker window ("Quorle_msg_class"); all sent unless said otherwise. See app/broker.h for answers.
//   kBrokerQuit         0, 0: destroys the broker window (posted at shutdown)
//   kBrokerStartJob     job kind (non-zero), LocationRequest* (the broker numbers the load and
//                       forwards it), or 0, pane index: stop the pane's latest load
//   kBrokerJobDone      notice to deliver (kPaneCancelled or kPaneIdle), PaneLoadParam of the load it
//                       ends (posted). A notice of an earlier load than the pane's latest is dropped;
//                       load 0 ends none and is only delivered
//   kBrokerAcquire      operation code (0 releases), const std::wstring* path or 0 for the previous one
//   kBrokerFileOp       creation flags, or 0 with lParam 0 (start) / non-zero (discard); the job's
//                       worker posts 0 with its result (1 success, 0 failure)
//   kBrokerCanClose     0 close request, 1 Windows is ending
//   kBrokerBusyFlag     1 take, 2 test, 0 clear
//   kBrokerPathInFileOp const std::wstring* path, or 0 with lParam the pane index
//   kBrokerPathFree     const std::wstring* path
//   kBrokerPaneIdle     0, pane index or 2 for both
constexpr unsigned kBrokerQuit = 0x8000;
constexpr unsigned kBrokerStartJob = 0x8001;
constexpr unsigned kBrokerJobDone = 0x8002;
constexpr unsigned kBrokerAcquire = 0x8003;
constexpr unsigned kBrokerFileOp = 0x8006;
constexpr unsigned kBrokerCanClose = 0x8007;
constexpr unsigned kBrokerBusyFlag = 0x8009;
constexpr unsigned kBrokerPathInFileOp = 0x800A;
constexpr unsigned kBrokerPathFree = 0x800B;
constexpr unsigned kBrokerPaneIdle = 0x800D;

// Creation flag of kBrokerFileOp: only ask whether a job could be created.
constexpr uintptr_t kFileOpQueryOnly = 4;

// Thumbnail worker windows ("Quorle_thumb1_class", "Quorle_thumb2_class"); all posted.
//   kThumbReady    load flags, LocationRequest* (or 0, PaneLoadParam of the load to stop)
//   kThumbRequest  load flags, thumbs::ThumbRequest* (thumbs/thumb_worker_win.h)
//   kThumbQuit     0, 0: destroy the worker window; its thread ends
constexpr unsigned kThumbReady = 0x8000;
constexpr unsigned kThumbRequest = 0x8001;
constexpr unsigned kThumbQuit = 0x8002;

// Browse pane windows ("Quorle_bswin1_class", "Quorle_bswin2_class"); all posted.
//   kPaneLoad       load flags, LocationRequest*: the worker is free, run the load now
//   kPaneItem       picture cell HWND, text cell HWND: repaint both
//   kPaneDone       flags bit 1, 1 when the cache will be written
//   kPaneCancelled  0, 0: the load was cancelled or failed
//   kPaneIdle       0, 0: the pane's worker is idle
//   kPaneMessage    language-module string id to show over the main window
//   kPaneResults    0, thumbs::ThumbResults*: finished items of the load in production (batched)
//   kPaneProgress   item count, load generation: production of that many items has begun
constexpr unsigned kPaneLoad = 0x8001;
constexpr unsigned kPaneItem = 0x8002;
constexpr unsigned kPaneDone = 0x8003;
constexpr unsigned kPaneCancelled = 0x8004;
constexpr unsigned kPaneIdle = 0x8005;
constexpr unsigned kPaneMessage = 0x8006;
constexpr unsigned kPaneResults = 0x8007;
constexpr unsigned kPaneProgress = 0x8008;

// The lParam naming a pane's load: pane index in bit 0, load number above it.
constexpr intptr_t PaneLoadParam(int pane, uint32_t load) {
    return static_cast<intptr_t>((static_cast<uintptr_t>(load) << 1) | static_cast<uintptr_t>(pane & 1));
}
constexpr int ParamPane(intptr_t param) { return static_cast<int>(param & 1); }
constexpr uint32_t ParamLoad(intptr_t param) { return static_cast<uint32_t>(static_cast<uintptr_t>(param) >> 1); }

// Job kind of a navigation (the open-path request).
constexpr uintptr_t kJobNavigate = 3;
// Load flags: bit 0 always, bit 1 reset the scroll position, bit 2 forced refresh.
constexpr uintptr_t kLoadReload = 1;
constexpr uintptr_t kLoadResetScroll = 2;
constexpr uintptr_t kLoadForced = 4;

// A pane's location request, carried by kBrokerStartJob, kThumbReady and kPaneLoad.
struct LocationRequest {
    location::LocationKind kind = location::kFileSystemFolder;
    std::vector<uint8_t> idList; // kind 1: the shell item ID list, as its bytes
    std::wstring path;
    int32_t pane = 0;
    // Set by the broker: the load's number, which becomes the pane's load generation and is carried
    // by the notice that ends the load.
    uint32_t load = 0;
};

} // namespace msg
