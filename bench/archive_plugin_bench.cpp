// The archive plug-in's member reads as the host asks for them when it makes a pane's thumbnails: one
// call per member in archive order, each naming its ordinal. Prints the time of those calls each
// decoding the archive from its start against the same calls going on from where the last one ended.
//   archive_plugin_bench ARCHIVE
#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>

#include "plugins/archive/archive_core.h"

namespace {

using Clock = std::chrono::steady_clock;

struct FileSource : archive_plugin::Source {
    std::vector<uint8_t> bytes;
    uint64_t Size() const override { return bytes.size(); }
    bool ReadAt(uint64_t offset, void* buf, size_t n, size_t* got) override {
        archive_plugin::MemorySource m(bytes.data(), bytes.size());
        return m.ReadAt(offset, buf, n, got);
    }
};

struct CountingSink : archive_plugin::MemberSink {
    uint64_t bytes = 0;
    bool Begin(const archive_plugin::Member&) override { return true; }
    bool Write(const uint8_t*, size_t n) override {
        bytes += n;
        return true;
    }
};

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: archive_plugin_bench ARCHIVE\n");
        return 1;
    }
    FileSource source;
    std::ifstream in(argv[1], std::ios::binary);
    source.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::vector<archive_plugin::Member> members;
    auto t0 = Clock::now();
    if (archive_plugin::ListMembers(source, &members) != archive_plugin::ArchiveError::Ok) {
        std::fprintf(stderr, "cannot list %s\n", argv[1]);
        return 1;
    }
    const double list = Seconds(t0);
    t0 = Clock::now();
    uint64_t total = 0;
    for (const archive_plugin::Member& m : members) {
        CountingSink sink;
        if (archive_plugin::ExtractMember(source, m.ordinal, uint64_t{1} << 31, &sink) != archive_plugin::ArchiveError::Ok)
            return 1;
        total += sink.bytes;
    }
    const double calls = Seconds(t0);
    t0 = Clock::now();
    archive_plugin::MemberCursor cursor;
    uint64_t cursorTotal = 0;
    for (const archive_plugin::Member& m : members) {
        CountingSink sink;
        if (cursor.Extract(source, argv[1], m.ordinal, uint64_t{1} << 31, &sink) != archive_plugin::ArchiveError::Ok)
            return 1;
        cursorTotal += sink.bytes;
    }
    const double cursorCalls = Seconds(t0);
    if (cursorTotal != total)
        std::fprintf(stderr, "the cursor read %llu bytes, the single calls %llu\n",
                     static_cast<unsigned long long>(cursorTotal), static_cast<unsigned long long>(total));
    std::printf("members=%zu\nbytes=%llu\nlist_seconds=%.3f\n", members.size(), static_cast<unsigned long long>(total),
                list);
    std::printf("member_calls_each_from_the_start_seconds=%.3f\nmember_calls_going_on_seconds=%.3f\n", calls,
                cursorCalls);
    std::printf("ratio_going_on_to_from_the_start=%.3f\n", cursorCalls / calls);
    return cursorTotal == total ? 0 : 1;
}
