#include "thumbs/thumb_pipeline.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <utility>

#include "common/path.h"
#include "folder/listing.h"
#include "folder/pane_location.h"
#include "folder/shell_tree_rules.h"
#include "thumbs/decode_pool.h"

namespace thumbs {

namespace {

uint32_t Fact(const image::LoadReport& report, const char* key) {
    for (const image::DecoderFact& fact : report.facts)
        if (std::strcmp(fact.key, key) == 0)
            return fact.value;
    return 0;
}

int32_t AsI32(uint32_t v) { return static_cast<int32_t>(v); }

// The item facts and marks of a fresh decode.
void TakeFacts(folder::ThumbItem& item, const image::DecodedImage& picture, const image::LoadReport& report) {
    item.size = AsI32(picture.source_size);
    item.format = report.from_plugin ? AsI32(picture.format) : static_cast<int32_t>(report.format);
    item.bitDepth = AsI32(picture.source_bits);
    item.time = picture.source_time;
    item.width = image::Width(picture);
    item.height = image::Height(picture);
    if (report.from_plugin)
        return;
    switch (report.format) {
    case image::ImageFormat::Jpeg:
        // The decode may have been reduced; the item shows the stored size.
        if (Fact(report, "stored_width") && Fact(report, "stored_height")) {
            item.width = AsI32(Fact(report, "stored_width"));
            item.height = AsI32(Fact(report, "stored_height"));
        }
        item.markI = AsI32(Fact(report, "progressive"));
        item.markE = Fact(report, "exif") ? (report.orientation != 1 ? 2 : 1) : 0;
        item.markC = AsI32(Fact(report, "comments"));
        break;
    case image::ImageFormat::Png:
        item.markI = AsI32(Fact(report, "interlaced"));
        item.markA = AsI32(Fact(report, "transparency"));
        item.markE = AsI32(Fact(report, "texts"));
        item.markC = AsI32(Fact(report, "comments"));
        break;
    case image::ImageFormat::Gif:
        item.markI = AsI32(Fact(report, "interlaced"));
        item.markA = AsI32(Fact(report, "transparency"));
        item.markC = AsI32(Fact(report, "comment"));
        break;
    case image::ImageFormat::Tiff: item.markC = AsI32(Fact(report, "description")); break;
    default: break;
    }
}

const folder::LocationSource& SourceOf(const ThumbJob& job) {
    return job.source ? *job.source : folder::SourceFor(job.kind);
}

// A fresh decode of the item's source, fitted size aside. `picture` receives the 24-bit result.
bool DecodeSource(const ThumbJob& job, const folder::ArchiveEntry& entry, folder::ThumbItem& item,
                  const ThumbSettings& settings, int* orientation, image::DecodedImage& picture) {
    item.markC = item.markE = item.markI = item.markA = 0;
    const uint32_t target = static_cast<uint32_t>(std::max(settings.boxWidth, settings.boxHeight));
    image::LoadReport report;
    image::ImagePtr decoded;
    const folder::LocationSource& source = SourceOf(job);
    if (source.HoldsMembers()) {
        folder::LocationMember member(SourceOf(job), job.path, entry);
        decoded = image::LoadImageFromArchiveMember(member, orientation, target, settings.load, &report);
    } else {
        decoded = image::LoadImageFromFile(item.path, orientation, target, settings.load, &report);
    }
    if (!decoded || !decoded->pixels || image::BitCount(*decoded) != 24)
        return false;
    TakeFacts(item, *decoded, report);
    if (source.KeepsListedTime(job.shellTimeCheck))
        item.time = entry.time;
    picture = std::move(*decoded);
    return true;
}

bool ScaleToFit(image::DecodedImage& picture, int boxWidth, int boxHeight, const ThumbSettings& settings,
                image::Scaler& scaler) {
    const int w = image::Width(picture), h = image::Height(picture);
    if (w <= boxWidth && h <= boxHeight)
        return true;
    const image::PictureSize fit = image::FitToBox(w, h, boxWidth, boxHeight);
    int method = settings.scaleMethod;
    if (method == image::kScaleSystem && (!scaler.dc || !scaler.system_stretch))
        method = image::kScaleAreaLinear;
    platform::PageBlock scaled =
        image::ScaleImage(scaler, picture.pixels, w, h, fit.width, fit.height, method, &picture.info);
    if (!scaled)
        return false;
    image::AdoptPixels(picture, std::move(scaled));
    picture.info.header.width = fit.width;
    picture.info.header.height = fit.height;
    return true;
}

CacheLocation LocationOf(const ThumbJob& job, const ThumbSettings& settings) {
    CacheLocation location;
    location.kind = job.kind;
    location.path = job.path;
    location.boxWidth = settings.boxWidth;
    location.boxHeight = settings.boxHeight;
    location.locationTime = job.locationTime;
    return location;
}

ThumbSettings Normalised(const ThumbSettings& settings) {
    ThumbSettings s = settings;
    s.boxWidth = ClampBoxSide(s.boxWidth);
    s.boxHeight = ClampBoxSide(s.boxHeight);
    return s;
}

void PrepareItem(const ThumbJob& job, const folder::ArchiveEntry& entry, folder::ThumbItem& item) {
    item.fromCache = 0;
    SourceOf(job).PrepareItem(job.path, entry, item);
}

bool KeepGoing(const ThumbHooks& hooks) { return !hooks.keepGoing || hooks.keepGoing(); }

void ItemDone(const ThumbHooks& hooks, size_t index, folder::ThumbItem& item) {
    if (hooks.itemDone)
        hooks.itemDone(index, item);
}

} // namespace

int32_t ClampBoxSide(int32_t side) { return std::min<int32_t>(800, std::max<int32_t>(32, side)); }

bool FitPicture(image::DecodedImage& picture, folder::ThumbItem& item, int orientation, bool keep,
                const ThumbSettings& settings, image::Scaler& scaler) {
    const int bw = settings.boxWidth, bh = settings.boxHeight;
    if (keep) {
        const image::PictureSize drawn = image::FitToBox(item.width, item.height, bw, bh);
        item.thumbWidth = drawn.width;
        item.thumbHeight = drawn.height;
        return true;
    }
    int rotation = 0;
    int fitWidth = bw, fitHeight = bh;
    if (settings.autoRotate && orientation != 1) {
        if (orientation == 6 || orientation == 8) {
            // A quarter turn comes after scaling, so the picture is fitted into the turned box.
            rotation = orientation == 6 ? 1 : 3;
            std::swap(fitWidth, fitHeight);
        } else {
            rotation = 2;
        }
    }
    if (!ScaleToFit(picture, fitWidth, fitHeight, settings, scaler))
        return false;
    if (rotation != 0) {
        int w = image::Width(picture), h = image::Height(picture);
        platform::PageBlock turned = image::RotateImage(picture.pixels, &w, &h, rotation);
        if (!turned)
            return false;
        image::AdoptPixels(picture, std::move(turned));
        picture.info.header.width = w;
        picture.info.header.height = h;
        if (rotation != 2)
            std::swap(item.width, item.height);
    }
    item.thumbWidth = image::Width(picture);
    item.thumbHeight = image::Height(picture);
    return true;
}

ThumbOutcome ProcessThumbJob(const std::wstring& cacheFolder, const ThumbJob& rawJob, const ThumbSettings& rawSettings,
                             const ThumbHooks& hooks) {
    ThumbOutcome outcome;
    const ThumbSettings settings = Normalised(rawSettings);
    ThumbJob job = rawJob;
    if (!job.listing || !job.items)
        job.count = 0;
    else
        job.count = std::min(job.count, job.listing->entries.size());
    // Members come through one reader for the whole job (a RAR set opened once), released when the
    // job ends or is abandoned, after the last decode has returned.
    const std::unique_ptr<folder::LocationSource> loadSource = job.count ? SourceOf(job).ForLoad(job.path) : nullptr;
    if (loadSource)
        job.source = loadSource.get();
    image::Scaler ownScaler;
    image::Scaler& scaler = hooks.scaler ? *hooks.scaler : ownScaler;
    image::JpegContext jpeg;

    bool dirty = job.forced;
    CacheBlock cache;
    if (settings.cacheEnabled && !dirty && !cacheFolder.empty()) {
        CacheLockGuard guard(hooks.cacheLock);
        ReadLocation(cacheFolder, LocationOf(job, settings), job.filter, job.count, &cache);
    }
    const bool cacheRead = cache.recordCount > 0;
    const bool stale = cacheRead && cache.stale;
    dirty = dirty || cache.dirty;
    LookupContext lookup;
    lookup.kind = job.kind;
    lookup.shellTimeCheck = job.shellTimeCheck;
    lookup.boxWidth = settings.boxWidth;
    lookup.boxHeight = settings.boxHeight;
    lookup.lock = hooks.cacheLock;

    // Each thumbnail is compressed for the cache as soon as it is made, so the item-done hook may take
    // its pixels. Cached thumbnails keep their old records unless the box changed (a stale one is
    // replaced by the second pass anyway).
    const uint32_t slotSize = SlotSize(settings.boxWidth, settings.boxHeight);
    platform::PageBlock scratch;
    if (settings.cacheEnabled && !cacheFolder.empty()) {
        scratch = platform::PageBlock(slotSize);
        outcome.records.resize(job.count);
    }
    const bool encodeCached = cache.boxChanged && !stale;
    auto keep = [&](size_t i, bool made) {
        folder::ThumbItem& item = job.items[i];
        if (!made)
            ++outcome.unmade;
        if (outcome.records.empty())
            return;
        ThumbRecord& record = outcome.records[i];
        record.shown = item.pixels != nullptr;
        record.stream.clear();
        if (record.shown && (!item.fromCache || encodeCached))
            EncodeThumbnail(item, settings.jpegQuality, scratch.Get(), slotSize, &record.stream);
    };

    // Decodes may run on the pool; they watch the run's own flag, which a stop also raises.
    std::atomic<bool> cancelRun{false};
    ThumbSettings poolSettings = settings;
    if (hooks.pool)
        poolSettings.load.cancel = &cancelRun;
    const ThumbSettings& decodeSettings = hooks.pool ? poolSettings : settings;
    const size_t ahead = hooks.pool ? 2 * hooks.pool->Threads() : 0;
    struct ItemWork {
        bool got = false;
        bool fresh = false;
        bool made = true;
    };
    std::vector<ItemWork> work(job.count);
    auto decodeFresh = [&](size_t i, image::Scaler& threadScaler) {
        folder::ThumbItem& item = job.items[i];
        ItemWork& w = work[i];
        int orientation = 1;
        image::DecodedImage picture;
        if (!DecodeSource(job, job.listing->entries[i], item, decodeSettings, &orientation, picture))
            return;
        w.got = w.fresh = true;
        w.made = FitPicture(picture, item, orientation, false, settings, threadScaler);
        if (w.made)
            folder::AttachThumbnail(item, picture);
    };

    OrderedSteps first;
    first.prepare = [&](size_t i) {
        folder::ThumbItem& item = job.items[i];
        PrepareItem(job, job.listing->entries[i], item);
        image::DecodedImage picture;
        if (!cacheRead || !LookupItem(cache, lookup, item, jpeg, picture))
            return true;
        item.fromCache = 1;
        ItemWork& w = work[i];
        w.got = true;
        w.made = FitPicture(picture, item, 1, stale, settings, scaler);
        if (w.made)
            folder::AttachThumbnail(item, picture);
        return false;
    };
    first.produce = [&](size_t i, image::Scaler& threadScaler) { decodeFresh(i, threadScaler); };
    first.waiting = hooks.waiting;
    first.consume = [&](size_t i) {
        folder::ThumbItem& item = job.items[i];
        const ItemWork& w = work[i];
        if (item.fromCache)
            ++outcome.fromCache;
        if (w.fresh) {
            dirty = true;
            ++outcome.decoded;
        }
        keep(i, !w.got || w.made);
        item.state = stale ? 0 : 1;
        ItemDone(hooks, i, item);
        return KeepGoing(hooks);
    };
    bool abandoned = !RunInOrder(hooks.pool, job.count, ahead, first, cancelRun, settings.load.cancel, scaler);
    cache = CacheBlock();

    if (!abandoned && stale) {
        // The provisional thumbnails were drawn stretched; now replace each with one made for the box.
        dirty = true;
        work.assign(job.count, ItemWork());
        OrderedSteps second;
        second.prepare = [&](size_t i) {
            folder::ThumbItem& item = job.items[i];
            if (!item.fromCache)
                return false;
            folder::FreeThumbnail(item);
            item.fromCache = 0;
            work[i].got = true; // a record is kept for it whatever the decode gives
            return true;
        };
        second.produce = [&](size_t i, image::Scaler& threadScaler) { decodeFresh(i, threadScaler); };
        second.waiting = hooks.waiting;
        second.consume = [&](size_t i) {
            folder::ThumbItem& item = job.items[i];
            const ItemWork& w = work[i];
            if (w.fresh)
                ++outcome.decoded;
            if (w.got)
                keep(i, w.made);
            item.state = 1;
            ItemDone(hooks, i, item);
            return KeepGoing(hooks);
        };
        abandoned = !RunInOrder(hooks.pool, job.count, ahead, second, cancelRun, settings.load.cancel, scaler);
    }

    outcome.finished = !abandoned;
    outcome.cacheRead = cacheRead;
    outcome.stale = stale;
    outcome.dirty = dirty;
    // A disabled cache stays unwritten, forced refresh or not.
    outcome.writeCache = outcome.finished && settings.cacheEnabled && dirty && !cacheFolder.empty();
    return outcome;
}

bool WriteThumbCache(const std::wstring& cacheFolder, const ThumbJob& job, const ThumbSettings& rawSettings,
                     const ThumbOutcome& outcome, CacheLock* lock) {
    const ThumbSettings settings = Normalised(rawSettings);
    size_t count = job.items ? job.count : 0;
    if (job.listing)
        count = std::min(count, job.listing->entries.size());
    count = std::min(count, outcome.records.size());
    CacheLockGuard guard(lock);
    return WriteLocation(cacheFolder, LocationOf(job, settings), job.filter, job.items, outcome.records.data(), count);
}

void HandOverThumbnail(folder::ThumbItem& from, folder::ThumbItem& to) {
    folder::FreeThumbnail(to);
    to.state = from.state;
    to.name = from.name;
    to.time = from.time;
    to.width = from.width;
    to.height = from.height;
    to.size = from.size;
    to.format = from.format;
    to.bitDepth = from.bitDepth;
    to.markC = from.markC;
    to.markE = from.markE;
    to.markI = from.markI;
    to.markA = from.markA;
    to.thumbWidth = from.thumbWidth;
    to.thumbHeight = from.thumbHeight;
    to.locator = from.locator;
    to.fromCache = from.fromCache;
    to.path = from.path;
    to.header = from.header;
    to.pixels = from.pixels;
    from.pixels = nullptr;
}

ProduceResult ProduceThumbnails(const std::wstring& folderPath, const std::wstring& cacheFolder,
                                const ProduceOptions& options, const ThumbHooks& hooks,
                                folder::ThumbItemArray* itemsOut) {
    const auto start = std::chrono::steady_clock::now();
    ProduceResult result;
    folder::PaneLocation location;
    folder::ArchiveListing listing;
    folder::ThumbItemArray local;
    folder::ThumbItemArray& items = itemsOut ? *itemsOut : local;
    folder::ReleaseItems(items);
    // A ZIP file is shown as a folder of its pictures, as a pane would show it.
    const folder::PaneTarget target = folder::ClassifyPanePath(folderPath, folder::ArchiveRules());
    if (folder::SetLocation(location, target.kind, {}, target.path, false)) {
        folder::ListRequest request;
        request.filter = options.filter;
        request.hiddenMask = options.hiddenMask;
        request.cacheEnabled = options.settings.cacheEnabled;
        request.forced = options.force;
        request.cachedListing = CachedListingReader(cacheFolder, hooks.cacheLock);
        result.listed = folder::ListFolder(location, request, &listing) &&
                        folder::AllocateItems(items, listing.entries.size());
    }
    if (result.listed) {
        ThumbJob job;
        job.kind = location.kind;
        job.path = location.path;
        job.locationTime = location.archiveTime;
        job.listing = &listing;
        job.items = items.items.data();
        job.count = items.items.size();
        job.filter = options.filter;
        job.forced = options.force;
        const ThumbOutcome outcome = ProcessThumbJob(cacheFolder, job, options.settings, hooks);
        result.items = job.count;
        result.decoded = outcome.decoded;
        result.fromCache = outcome.fromCache;
        if (outcome.writeCache) {
            result.cacheWritten = WriteThumbCache(cacheFolder, job, options.settings, outcome, hooks.cacheLock);
            result.cacheWriteFailed = !result.cacheWritten;
        }
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

} // namespace thumbs
