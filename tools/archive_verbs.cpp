// The archive verbs of quorle-tool: list a ZIP or a RAR, extract one member, extract a whole archive.
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "archive/extract.h"
#include "archive/rar_reader.h"
#include "archive/rar_access.h"
#ifdef _WIN32
#include "archive/rar_module_win.h"
#include "image/plugin_host_win.h"
#endif
#include "archive/zip_reader.h"
#include "image/load.h"
#include "common/path.h"
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

void PrintListing(const location::ArchiveListing& listing) {
    std::string out;
    for (const location::ArchiveEntry& e : listing.entries) {
        out += platform::WideToUtf8(e.folder);
        out += '\t';
        out += platform::WideToUtf8(e.name);
        out += '\t' + std::to_string(e.locator) + '\t' + std::to_string(e.size) + '\t' + std::to_string(e.time) + '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

// "--module FOLDER" (Windows): the RAR module looked for in FOLDER first, then where the program
// looks; taken out of `args`. False when the option is malformed or the platform has no module.
bool TakeModuleOption(Args* args, bool* useModule, std::wstring* folder) {
    *useModule = false;
    for (size_t i = 0; i < args->size(); ++i) {
        if ((*args)[i] != L"--module")
            continue;
        if (i + 1 >= args->size())
            return false;
        *useModule = true;
        *folder = (*args)[i + 1];
        args->erase(args->begin() + static_cast<std::ptrdiff_t>(i), args->begin() + static_cast<std::ptrdiff_t>(i) + 2);
        break;
    }
#ifdef _WIN32
    return true;
#else
    return !*useModule;
#endif
}

bool IsRarPath(const std::wstring& path) {
    const std::wstring name = paths::LastComponent(path);
    return name.size() > 4 && paths::EqualFold(name.substr(name.size() - 4), L".rar");
}

} // namespace

int RarList(const Args& given) {
    Args args = given;
    bool useModule = false;
    std::wstring folder;
    if (!TakeModuleOption(&args, &useModule, &folder) || args.size() != 1) {
        std::fprintf(stderr, "rar-list: expected ARCHIVE [--module FOLDER]\n");
        return 1;
    }
    location::ArchiveListing listing;
    bool listed = false;
#ifdef _WIN32
    if (useModule) {
        archive::RarModule module;
        archive::RarContext context;
        if (!module.Load(folder)) {
            std::fprintf(stderr, "rar-list: no RAR module\n");
            return 1;
        }
        listed = archive::ListRarWithModule(module, args[0], context, &listing);
    } else
#endif
        listed = archive::ListRarArchive(args[0], &listing);
    if (!listed) {
        std::fprintf(stderr, "rar-list: nothing listed\n");
        return 1;
    }
    PrintListing(listing);
    return 0;
}

int RarExtract(const Args& given) {
    Args args = given;
    bool useModule = false;
    std::wstring folder;
    uint32_t ordinal = 0;
    if (!TakeModuleOption(&args, &useModule, &folder) || args.size() != 3 || !ParseLocator(args[1], &ordinal)) {
        std::fprintf(stderr, "rar-extract: expected ARCHIVE ORDINAL OUTPUT [--module FOLDER]\n");
        return 1;
    }
    platform::PageBlock block;
    uint32_t size = 0;
    bool fetched = false;
#ifdef _WIN32
    if (useModule) {
        archive::RarModule module;
        archive::RarContext context;
        if (!module.Load(folder)) {
            std::fprintf(stderr, "rar-extract: no RAR module\n");
            return 1;
        }
        fetched = archive::FetchRarWithModule(module, args[0], ordinal, context, &block, &size);
    } else
#endif
        fetched = archive::FetchRarMember(args[0], ordinal, &block, &size);
    if (!fetched) {
        std::fprintf(stderr, "rar-extract: the member could not be extracted\n");
        return 1;
    }
    if (!WriteOutput(args[2], block.Get(), size)) {
        std::fprintf(stderr, "rar-extract: OUTPUT could not be written\n");
        return 1;
    }
    return 0;
}

// Pulls "--plugins FOLDER" out of `args`; false (with a message) when it is malformed or, natively,
// given at all: the plug-ins are Windows modules.
bool TakePluginFolder(const char* verb, Args* args, std::wstring* folder) {
    for (size_t i = 0; i < args->size(); ++i) {
        if ((*args)[i] != L"--plugins")
            continue;
#ifdef _WIN32
        if (i + 1 >= args->size() || !platform::FolderExists((*args)[i + 1])) {
            std::fprintf(stderr, "%s: --plugins needs an existing folder\n", verb);
            return false;
        }
        *folder = (*args)[i + 1];
        args->erase(args->begin() + static_cast<std::ptrdiff_t>(i), args->begin() + static_cast<std::ptrdiff_t>(i) + 2);
        return true;
#else
        (void)folder;
        std::fprintf(stderr, "%s: --plugins needs the Windows build\n", verb);
        return false;
#endif
    }
    return true;
}

#ifdef _WIN32
class ToolFallback : public image::ImagePluginFallback {
  public:
    explicit ToolFallback(std::wstring folder) { host_.folder = std::move(folder); }
    bool DecodeFile(const std::wstring& path, image::DecodedImage& out) override {
        return plugins::DecodeFile(host_, path, out);
    }
    bool DecodeMemory(const uint8_t* data, size_t size, const std::wstring& name, image::DecodedImage& out) override {
        return plugins::DecodeMemory(host_, name, data, size, out);
    }

  private:
    plugins::Host host_;
};
#endif

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
    PrintListing(listing);
    return 0;
}

int List(const Args& given) {
    Args args = given;
    std::wstring plugins;
    if (!TakePluginFolder("list", &args, &plugins))
        return 1;
    if (args.size() != 1) {
        std::fprintf(stderr, "list: expected ARCHIVE [--plugins FOLDER]\n");
        return 1;
    }
    // By the name first, as the program classifies archives; the plug-ins get what is left.
    const std::wstring ext = paths::LastComponent(args[0]).size() > 4 ? args[0].substr(args[0].size() - 4) : L"";
    location::ArchiveListing listing;
    bool listed = (paths::EqualFold(ext, L".zip") && archive::ListZipArchive(args[0], &listing)) ||
                  (paths::EqualFold(ext, L".rar") && archive::ListRar(args[0], &listing));
#ifdef _WIN32
    if (!listed && !plugins.empty()) {
        plugins::Host host;
        host.folder = plugins;
        listed = plugins::ListArchive(host, args[0], &listing);
    }
#endif
    if (!listed) {
        std::fprintf(stderr, "list: nothing listed\n");
        return 1;
    }
    PrintListing(listing);
    return 0;
}

// For decode: installs the plug-ins of "--plugins FOLDER" as the decoders' fallback and returns the
// folder the load options must name; empty without the option.
bool UsePluginsForDecode(Args* args, std::wstring* folder) {
    if (!TakePluginFolder("decode", args, folder))
        return false;
#ifdef _WIN32
    if (!folder->empty()) {
        static std::unique_ptr<ToolFallback> fallback;
        fallback = std::make_unique<ToolFallback>(*folder);
        image::SetImagePluginFallback(fallback.get());
    }
#endif
    return true;
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

int Extract(const Args& given) {
    Args args = given;
    bool useModule = false;
    std::wstring folder;
    if (!TakeModuleOption(&args, &useModule, &folder) || args.size() != 2) {
        std::fprintf(stderr, "extract: expected ARCHIVE TARGET_FOLDER [--module FOLDER]\n");
        return 1;
    }
    archive::SilentProgress progress;
    std::wstring created;
    bool extracted = false;
    if (!IsRarPath(args[0])) {
        extracted = archive::ExtractZipToFolder(args[0], args[1], progress, &created);
    } else {
#ifdef _WIN32
        if (useModule) {
            archive::RarModule module;
            archive::RarContext context;
            extracted = module.Load(folder) &&
                        archive::ExtractRarWithModule(module, args[0], args[1], progress, context, &created);
        } else
#endif
            extracted = archive::ExtractRarToFolder(args[0], args[1], progress, &created);
    }
    if (!extracted) {
        std::fprintf(stderr, "extract: nothing extracted\n");
        return 1;
    }
    PrintUtf8Line(created);
    return 0;
}

} // namespace tool
