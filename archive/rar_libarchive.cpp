#include "archive/rar_libarchive.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstring>
#ifndef _WIN32
#include <clocale>
#include <locale.h>
#endif

#include "common/platform.h"

namespace rarlib {

namespace {

constexpr size_t kReadChunk = 64 * 1024;

// One volume as the library's client data: opened when the library switches to it.
struct Volume {
    std::wstring path;
    platform::File file;
    uint64_t position = 0;
    uint64_t size = 0;
    std::vector<uint8_t> buffer;
};

int OpenVolume(struct archive*, void* data) {
    Volume* v = static_cast<Volume*>(data);
    if (!v->file.Open(v->path, platform::OpenMode::ReadShared) || !v->file.Size(&v->size))
        return ARCHIVE_FATAL;
    v->position = 0;
    v->buffer.resize(kReadChunk);
    return ARCHIVE_OK;
}

la_ssize_t ReadVolume(struct archive*, void* data, const void** out) {
    Volume* v = static_cast<Volume*>(data);
    const size_t n = v->file.Read(v->buffer.data(), v->buffer.size());
    v->position += n;
    *out = v->buffer.data();
    return static_cast<la_ssize_t>(n);
}

la_int64_t SeekVolume(struct archive*, void* data, la_int64_t offset, int whence) {
    Volume* v = static_cast<Volume*>(data);
    const int64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? static_cast<int64_t>(v->position)
                                              : static_cast<int64_t>(v->size);
    const int64_t target = base + offset;
    if (target < 0 || !v->file.Seek(static_cast<uint64_t>(target)))
        return ARCHIVE_FATAL;
    v->position = static_cast<uint64_t>(target);
    return target;
}

la_int64_t SkipVolume(struct archive*, void* data, la_int64_t request) {
    Volume* v = static_cast<Volume*>(data);
    const uint64_t left = v->size > v->position ? v->size - v->position : 0;
    const uint64_t step = std::min<uint64_t>(static_cast<uint64_t>(request), left);
    if (!v->file.Seek(v->position + step))
        return 0;
    v->position += step;
    return static_cast<la_int64_t>(step);
}

int CloseVolume(struct archive*, void* data) {
    static_cast<Volume*>(data)->file.Close();
    return ARCHIVE_OK;
}

int SwitchVolume(struct archive* a, void* from, void* to) {
    if (from)
        CloseVolume(a, from);
    return to ? OpenVolume(a, to) : ARCHIVE_OK;
}

std::wstring EntryPath(struct archive_entry* entry) {
    if (const wchar_t* wide = archive_entry_pathname_w(entry))
        return wide;
    // Names outside the ANSI code page come only as UTF-8.
    if (const char* utf8 = archive_entry_pathname_utf8(entry))
        return platform::Utf8ToWide(utf8);
    const char* raw = archive_entry_pathname(entry);
    return raw ? platform::AnsiToWide(raw) : std::wstring();
}

// The library converts names through the C library's locale. Natively a program runs in the "C"
// locale, where no name outside ASCII survives; the calls run in a UTF-8 locale on their thread
// only. Windows converts through its own code-page calls.
class NameLocale {
  public:
#ifndef _WIN32
    NameLocale() {
        static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        if (utf8)
            previous_ = uselocale(utf8);
    }
    ~NameLocale() {
        if (previous_)
            uselocale(previous_);
    }

  private:
    locale_t previous_ = static_cast<locale_t>(0);
#else
    NameLocale() {}
    ~NameLocale() {}
#endif
};

} // namespace

struct Reader::State {
    std::vector<std::unique_ptr<Volume>> volumes; // outlive the handle (destroyed after it)
    struct archive* a = nullptr;
    // The library's current block of the entry's data, as the archiver's own tools read it.
    const uint8_t* block = nullptr;
    size_t blockLeft = 0;
    int64_t position = 0; // entry offset of the next byte handed out
    uint64_t gapLeft = 0; // zeros still owed before `block`
    bool ended = false;
    ~State() {
        if (a)
            archive_read_free(a);
    }
};

Reader::Reader() : state_(new State) {}
Reader::~Reader() = default;

bool Reader::Open(const std::vector<std::wstring>& volumes) {
    NameLocale names;
    state_.reset(new State);
    for (const std::wstring& name : volumes) {
        state_->volumes.push_back(std::make_unique<Volume>());
        state_->volumes.back()->path = name;
    }
    struct archive* a = state_->a = archive_read_new();
    if (!a || archive_read_support_format_rar(a) != ARCHIVE_OK || archive_read_support_format_rar5(a) != ARCHIVE_OK)
        return false;
    archive_read_set_open_callback(a, OpenVolume);
    archive_read_set_read_callback(a, ReadVolume);
    archive_read_set_seek_callback(a, SeekVolume);
    archive_read_set_skip_callback(a, SkipVolume);
    archive_read_set_close_callback(a, CloseVolume);
    archive_read_set_switch_callback(a, SwitchVolume);
    for (const std::unique_ptr<Volume>& v : state_->volumes)
        if (archive_read_append_callback_data(a, v.get()) != ARCHIVE_OK)
            return false;
    return archive_read_open1(a) == ARCHIVE_OK;
}

bool Reader::Next(Entry* out) {
    NameLocale names;
    struct archive_entry* entry = nullptr;
    const int r = state_->a ? archive_read_next_header(state_->a, &entry) : ARCHIVE_FATAL;
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN)
        return false;
    *out = Entry();
    out->path = EntryPath(entry);
    out->folder = archive_entry_filetype(entry) == AE_IFDIR;
    out->encrypted = archive_entry_is_encrypted(entry) != 0;
    out->sizeKnown = archive_entry_size_is_set(entry) != 0;
    out->size = archive_entry_size(entry);
    out->timeKnown = archive_entry_mtime_is_set(entry) != 0;
    out->seconds = archive_entry_mtime(entry);
    out->nanoseconds = archive_entry_mtime_nsec(entry);
    state_->block = nullptr;
    state_->blockLeft = 0;
    state_->position = 0;
    state_->gapLeft = 0;
    state_->ended = false;
    return true;
}

int64_t Reader::Read(void* out, size_t size) {
    NameLocale names;
    State& s = *state_;
    if (!s.a)
        return -1;
    while (s.blockLeft == 0 && s.gapLeft == 0 && !s.ended) {
        const void* data = nullptr;
        size_t length = 0;
        la_int64_t offset = 0;
        const int r = archive_read_data_block(s.a, &data, &length, &offset);
        if (r == ARCHIVE_EOF) {
            s.ended = true;
            break;
        }
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN)
            return -1;
        // Each block says where it belongs in the entry: a block ahead of the position leaves a
        // hole that reads as zeros (as archive_read_data fills it); one behind it would have to
        // overwrite bytes already handed out, so the entry is refused rather than reordered.
        if (offset < s.position)
            return -1;
        s.gapLeft = static_cast<uint64_t>(offset - s.position);
        s.block = static_cast<const uint8_t*>(data);
        s.blockLeft = length;
    }
    size_t n = 0;
    if (s.gapLeft > 0) {
        n = static_cast<size_t>(std::min<uint64_t>(size, s.gapLeft));
        std::memset(out, 0, n);
        s.gapLeft -= n;
    } else if (s.blockLeft > 0) {
        n = std::min(size, s.blockLeft);
        std::memcpy(out, s.block, n);
        s.block += n;
        s.blockLeft -= n;
    }
    s.position += static_cast<int64_t>(n);
    return static_cast<int64_t>(n);
}

} // namespace rarlib
