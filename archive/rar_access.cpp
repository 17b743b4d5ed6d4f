#include "archive/rar_access.h"

#include <mutex>

#include "archive/rar_reader.h"
#ifdef _WIN32
#include "archive/rar_module_win.h"
#endif

namespace archive {

namespace {

std::mutex g_hooksLock;
RarHooks g_hooks;

#ifdef _WIN32
RarHooks Hooks() {
    std::lock_guard<std::mutex> hold(g_hooksLock);
    return g_hooks;
}

std::wstring PluginFolder(const RarHooks& hooks) { return hooks.pluginFolder ? hooks.pluginFolder() : std::wstring(); }

void PrepareContext(const RarHooks& hooks, intptr_t owner, RarContext* context) {
    context->owner = reinterpret_cast<HWND>(owner);
    if (hooks.ask)
        context->ask = [ask = hooks.ask](HWND window, std::wstring* password) {
            return ask(reinterpret_cast<intptr_t>(window), password);
        };
}
#endif

} // namespace

void SetRarHooks(RarHooks hooks) {
    std::lock_guard<std::mutex> hold(g_hooksLock);
    g_hooks = std::move(hooks);
}

RarReader RarReaderInUse() {
#ifdef _WIN32
    RarModule module;
    if (module.Load(PluginFolder(Hooks())))
        return RarReader::Module;
#endif
    return RarReader::BuiltIn;
}

bool ListRar(const std::wstring& path, location::ArchiveListing* listing) {
#ifdef _WIN32
    const RarHooks hooks = Hooks();
    RarModule module;
    if (module.Load(PluginFolder(hooks))) {
        RarContext context;
        PrepareContext(hooks, 0, &context);
        return ListRarWithModule(module, path, context, listing);
    }
#endif
    return ListRarArchive(path, listing);
}

bool FetchRar(const std::wstring& path, uint32_t ordinal, platform::PageBlock* block, uint32_t* size) {
#ifdef _WIN32
    const RarHooks hooks = Hooks();
    RarModule module;
    if (module.Load(PluginFolder(hooks))) {
        RarContext context;
        PrepareContext(hooks, 0, &context);
        return FetchRarWithModule(module, path, ordinal, context, block, size);
    }
#endif
    return FetchRarMember(path, ordinal, block, size);
}

RarLoad::RarLoad(const std::wstring& path) : path_(path) {
    if (RarReaderInUse() == RarReader::BuiltIn)
        builtIn_ = std::make_unique<RarMemberReader>(path);
}

RarLoad::~RarLoad() = default;

bool RarLoad::Fetch(uint32_t ordinal, platform::PageBlock* block, uint32_t* size) {
    return builtIn_ ? builtIn_->Fetch(ordinal, block, size) : FetchRar(path_, ordinal, block, size);
}

bool RarLoad::View(uint32_t ordinal, platform::MappedView* view, const uint8_t** data, uint32_t* size) {
    return builtIn_ && builtIn_->View(ordinal, view, data, size);
}

bool ExtractRar(const std::wstring& path, const std::wstring& targetFolder, JobProgress& progress, intptr_t owner,
                std::wstring* createdFolder) {
#ifdef _WIN32
    const RarHooks hooks = Hooks();
    RarModule module;
    if (module.Load(PluginFolder(hooks))) {
        RarContext context;
        PrepareContext(hooks, owner, &context);
        return ExtractRarWithModule(module, path, targetFolder, progress, context, createdFolder);
    }
#else
    (void)owner;
#endif
    return ExtractRarToFolder(path, targetFolder, progress, createdFolder);
}

} // namespace archive
