// The archive verbs of quorle-tool: list a ZIP, extract one member, extract a whole archive.
#include <cstdio>
#include <string>
#include <vector>

#include "archive/extract.h"
#include "archive/zip_reader.h"
#include "common/platform.h"
#include "common/unique_name.h"

namespace tool {

namespace {

using Args = std::vector<std::wstring>;

void PrintUtf8Line(const std::wstring& text) {
    const std::string line = platform::WideToUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
}

bool ParseLocator(const std::wstring& text, uint32_t* value) {
    if (text.empty() || text.size() > 10)
        return false;
    uint64_t v = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
        v = v * 10 + static_cast<uint64_t>(c - L'0');
    }
    if (v > UINT32_MAX)
        return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

// An existing OUTPUT is replaced only once the whole member is on disk beside it.
bool WriteOutput(const std::wstring& output, const uint8_t* data, size_t size) {
    const std::wstring partial = paths::MakeUniqueName(output + L".partial", false);
    if (partial.empty())
        return false;
    platform::File file;
    if (!file.Open(partial, platform::OpenMode::CreateNew))
        return false;
    const bool written = (size == 0 || file.Write(data, size) == size) && file.Flush();
    file.Close();
    if (written && platform::MoveOver(partial, output))
        return true;
    platform::DeleteFileAt(partial);
    return false;
}

} // namespace

int ZipList(const Args& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "zip-list: expected ARCHIVE\n");
        return 1;
    }
    location::ArchiveListing listing;
    if (!archive::ListZipArchive(args[0], &listing)) {
        std::fprintf(stderr, "zip-list: nothing listed\n");
        return 1;
    }
    std::string out;
    for (const location::ArchiveEntry& e : listing.entries) {
        out += platform::WideToUtf8(e.folder);
        out += '\t';
        out += platform::WideToUtf8(e.name);
        out += '\t' + std::to_string(e.locator) + '\t' + std::to_string(e.size) + '\t' + std::to_string(e.time) + '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int ZipExtract(const Args& args) {
    uint32_t locator = 0;
    if (args.size() != 3 || !ParseLocator(args[1], &locator)) {
        std::fprintf(stderr, "zip-extract: expected ARCHIVE LOCATOR OUTPUT\n");
        return 1;
    }
    platform::PageBlock block;
    uint32_t size = 0;
    if (!archive::ExtractZipEntry(args[0], locator, &block, &size)) {
        std::fprintf(stderr, "zip-extract: the member could not be extracted\n");
        return 1;
    }
    if (!WriteOutput(args[2], block.Get(), size)) {
        std::fprintf(stderr, "zip-extract: OUTPUT could not be written\n");
        return 1;
    }
    return 0;
}

int Extract(const Args& args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "extract: expected ARCHIVE TARGET_FOLDER\n");
        return 1;
    }
    archive::SilentProgress progress;
    std::wstring created;
    if (!archive::ExtractZipToFolder(args[0], args[1], progress, &created)) {
        std::fprintf(stderr, "extract: nothing extracted\n");
        return 1;
    }
    PrintUtf8Line(created);
    return 0;
}

} // namespace tool
