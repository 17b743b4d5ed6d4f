// The two thumbnail worker threads, one per pane, each with a message-only window
// ("Quorle_thumb1_class", "Quorle_thumb2_class"). A worker announces its window to the main window
// with kMainWorkerReady and then serves the protocol in app/messages.h until kThumbQuit.
//
// A worker never touches the pane's items or windows. It fills private items and posts each finished
// item to the pane window (kPaneResults) with its thumbnail's pixels handed over, not copied: the
// cache record was compressed when the thumbnail was made, so the private item keeps only its facts
// for the cache write. The pane applies a batch only while its load generation still matches.
//
// Fresh decodes run on the process's decode pool (decode_pool.h), shared by both workers; the worker
// itself still reports every item, checks its queue after each and writes the cache.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/routing_win.h"
#include "common/message_worker_win.h"
#include "common/scoped_win.h"
#include "folder/archive_listing.h"
#include "folder/thumb_item.h"
#include "thumbs/thumb_cache.h"
#include "thumbs/thumb_pipeline.h"

namespace thumbs {

// One load's production order, made by the pane and owned by the worker once posted.
struct ThumbRequest {
    int32_t pane = 0;
    uint32_t generation = 0; // the load's number (from the broker), echoed in every result and notice
    folder::LocationKind kind = folder::kFileSystemFolder;
    std::wstring path;
    bool shellTimeCheck = false;
    platform::FileTime locationTime = 0;
    std::unique_ptr<folder::ArchiveListing> listing; // the items' listing, in item order
    int32_t filter = 0;
    bool forced = false; // load flags bit 2: no cache read, cache rewritten
    ThumbSettings settings;
    std::wstring cacheFolder;
};

// Finished items for the pane, in the order they were done. Each item owns the thumbnail's pixel
// block; the pane moves the facts and the pixels into its item listed at `entry`.
struct ThumbResult {
    size_t entry = 0; // position in the load's listing; the pane's items may have moved since
    folder::ThumbItem item;
};

struct ThumbResults {
    int32_t pane = 0;
    uint32_t generation = 0;
    size_t done = 0; // items passed in the current pass, for the status bar
    std::vector<ThumbResult> results;
};

// The process-wide cache lock as the pipeline wants it.
class CriticalCacheLock : public CacheLock {
  public:
    explicit CriticalCacheLock(win::CriticalSection& cs) : cs_(cs) {}
    void Lock() override { cs_.Enter(); }
    void Unlock() override { cs_.Leave(); }

  private:
    win::CriticalSection& cs_;
};

// Moves a result's facts and pixels into the pane's item; its windows and selection stay.
void ApplyThumbResult(folder::ThumbItem& result, folder::ThumbItem& target);

// Frees a posted payload of a message of either block: kThumbReady / kThumbRequest at a worker,
// kPaneLoad / kPaneResults at a pane. For messages still queued when their window goes.
void FreeWorkerPayload(UINT message, WPARAM wp, LPARAM lp);
void FreePanePayload(UINT message, WPARAM wp, LPARAM lp);

// Starts worker `index` (0 or 1) in `worker`; it posts kMainWorkerReady to routing->main once its
// window exists. `cacheLock` (may be null) is held around every read and write of the cache files.
// Stop it with kThumbQuit.
bool StartThumbWorker(app::Routing* routing, int index, CacheLock* cacheLock, win::MessageWorker& worker);

} // namespace thumbs
