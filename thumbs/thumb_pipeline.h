// The per-item half of the thumbnail engine: for a pane's listing, fill each item from the thumbnail
// cache or by decoding its source, fit it into the thumbnail box, and rewrite the cache afterwards.
// No windows and no threads here: the Windows worker calls it from its thread with hooks that post
// repaints and peek at its queue; the command-line tool calls ProduceThumbnails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/platform.h"
#include "folder/archive_listing.h"
#include "folder/location_source.h"
#include "folder/thumb_item.h"
#include "image/decoded_image.h"
#include "image/load.h"
#include "image/scale.h"
#include "thumbs/thumb_cache.h"

namespace thumbs {

class DecodePool;

struct ThumbSettings {
    int32_t boxWidth = 140;   // key 13, 32..800
    int32_t boxHeight = 105;  // key 14, 32..800
    int32_t scaleMethod = 3;  // key 168, ScaleMethod
    int32_t jpegQuality = 80; // key 165; above 100 counts as 75
    bool autoRotate = true;   // key 103
    bool cacheEnabled = true; // key 44
    image::LoadOptions load;  // keys 48..52 (transparency), 60 (plug-in folder)
};

// The box side as the settings store allows it.
int32_t ClampBoxSide(int32_t side);

// One request: a pane's items and the listing they were made from, in the same order.
struct ThumbJob {
    folder::LocationKind kind = folder::kFileSystemFolder;
    // Who reads the items' sources; null: the implementation of the kind.
    const folder::LocationSource* source = nullptr;
    std::wstring path; // location path
    bool shellTimeCheck = false; // kind 1 recycle bin: cached records are checked against the listed time
    platform::FileTime locationTime = 0; // archive time of the location
    const folder::ArchiveListing* listing = nullptr;
    folder::ThumbItem* items = nullptr;
    size_t count = 0; // items, and entries of the listing used
    int32_t filter = 0; // the pane's TypeFilter
    bool forced = false; // fresh thumbnails: no cache read, cache rewritten
};

struct ThumbHooks {
    // After each item of either pass (the Windows worker hands it to the pane here). The item's cache
    // record is made by then, so the hook may take its pixels (HandOverThumbnail).
    std::function<void(size_t index, folder::ThumbItem& item)> itemDone;
    // Asked after each item; false abandons the job after the item in hand (a newer request or quit).
    std::function<bool()> keepGoing;
    // Before the calling thread waits for a decode (or, without a pool, starts one): what is done so
    // far can be shown while the next picture is being made.
    std::function<void()> waiting;
    CacheLock* cacheLock = nullptr; // held while the cache files are read or written
    // The thread's scaler; method 3 needs the Windows one. Without it, or natively, method 3 falls
    // back to method 0.
    image::Scaler* scaler = nullptr;
    // Fresh decodes of the items ahead run on these threads (decode_pool.h); the hooks above and the
    // cache are still used on the calling thread only, in item order. Null: all on the caller's.
    DecodePool* pool = nullptr;
};

struct ThumbOutcome {
    bool finished = false;   // every item was visited (not abandoned)
    bool cacheRead = false;  // the location's cache had records
    bool stale = false;      // cached thumbnails were smaller than the box and were replaced
    bool dirty = false;      // something was decoded afresh, or the cache is out of date
    bool writeCache = false; // finished, cache enabled and dirty: call WriteThumbCache
    size_t decoded = 0;      // fresh decodes, both passes
    size_t fromCache = 0;    // items first filled from the cache
    size_t unmade = 0;       // pictures read whose thumbnail could not be made (no memory)
    std::vector<ThumbRecord> records; // per item, for WriteThumbCache; empty with the cache off
};

// Fits a 24-bit picture into the box with the Exif orientation, sets the item's drawn size (and swaps
// its width and height for quarter turns). `keep` leaves the pixels alone: a provisional cached
// thumbnail drawn at the fitted size of the full picture. False when scaling or rotation fails.
bool FitPicture(image::DecodedImage& picture, folder::ThumbItem& item, int orientation, bool keep,
                const ThumbSettings& settings, image::Scaler& scaler);

// Runs the job's items in order, then the second pass over stale cached thumbnails.
ThumbOutcome ProcessThumbJob(const std::wstring& cacheFolder, const ThumbJob& job, const ThumbSettings& settings,
                             const ThumbHooks& hooks);

// Rewrites the location's cache from the job's items and the outcome's records, under the lock.
// False: message 30008.
bool WriteThumbCache(const std::wstring& cacheFolder, const ThumbJob& job, const ThumbSettings& settings,
                     const ThumbOutcome& outcome, CacheLock* lock);

// Gives `to` the item's facts and its thumbnail's pixel block, which `from` then no longer holds: the
// pane's thumbnail is the only one. The windows and selection of `to` stay.
void HandOverThumbnail(folder::ThumbItem& from, folder::ThumbItem& to);

struct ProduceOptions {
    ThumbSettings settings;
    int32_t filter = 0;
    uint32_t hiddenMask = 2; // key 6
    bool force = false;      // fresh thumbnails, cache rewritten
};

struct ProduceResult {
    bool listed = false; // the folder exists and holds pictures
    size_t items = 0;
    size_t decoded = 0;
    size_t fromCache = 0;
    bool cacheWritten = false;
    bool cacheWriteFailed = false;
    double seconds = 0; // listing, thumbnails and cache write
};

// A file-system folder (or a ZIP archive, given its path) from listing to cache write. `itemsOut` (may be null) receives the items.
ProduceResult ProduceThumbnails(const std::wstring& folderPath, const std::wstring& cacheFolder,
                                const ProduceOptions& options, const ThumbHooks& hooks = ThumbHooks(),
                                folder::ThumbItemArray* itemsOut = nullptr);

} // namespace thumbs
