#include "fileops/delete_rename_win.h"

#include "app/broker.h"
#include "app/language_win.h"
#include "app/messages.h"
#include "app/program_state_win.h"
#include "app/shortcut_table.h"
#include "common/path.h"
#include "common/platform.h"
#include "fileops/shell_ops_win.h"

namespace fileops {

namespace {

constexpr UINT kRefused = 30013;

HWND Broker() { return app::TheProgram().routing.broker.load(); }

LRESULT AskBroker(uint32_t code, const std::wstring* path) {
    HWND broker = Broker();
    return broker ? SendMessageW(broker, msg::kBrokerAcquire, code, reinterpret_cast<LPARAM>(path)) : 0;
}

bool Rename(HWND owner, const std::wstring& from, const std::wstring& to, UINT titleId) {
    ShellOperation op;
    op.operation = FO_RENAME;
    op.sources = {from};
    op.targets = {to};
    op.flags = kRenameFlags;
    op.progressTitle = shortcuts::StripMnemonics(lang::Text(titleId));
    return RunShellOperation(owner, op);
}

bool Recycle(HWND owner, const std::vector<std::wstring>& paths) {
    ShellOperation op;
    op.operation = FO_DELETE;
    op.sources = paths;
    op.flags = kDeleteFlags;
    return RunShellOperation(owner, op);
}

} // namespace

Admission::Admission(uint32_t code, const std::wstring* path) : granted_(AskBroker(code, path) != 0) {}

Admission::~Admission() {
    if (granted_)
        AskBroker(0, nullptr);
}

uint32_t PathCode(int pane) { return broker::kClassPath | (static_cast<uint32_t>(pane) & broker::kCodePaneBit); }
uint32_t FolderCode() { return broker::kClassFolder; }
uint32_t PaneCode(int pane) { return broker::kClassPane | (static_cast<uint32_t>(pane) & broker::kCodePaneBit); }

bool TestAdmission(uint32_t code, const std::wstring* path) {
    return AskBroker(code | broker::kCodeTestOnly, path) != 0;
}

bool TreeItemOffersChanges(const std::wstring& path) {
    return PassesTreeGuard(path) && TestAdmission(FolderCode(), &path);
}

Outcome DeleteTreeItem(HWND owner, const std::wstring& path) {
    if (!PassesTreeGuard(path))
        return {false, kRefused};
    Admission admission(FolderCode(), &path);
    if (!admission.Granted())
        return {false, kRefused};
    return {Recycle(owner, {path}), 0};
}

Outcome RenameTreeItem(HWND owner, const std::wstring& path, bool archive, const AskNewName& ask,
                       std::wstring* newPath) {
    if (!PassesTreeGuard(path))
        return {false, kRefused};
    Admission admission(FolderCode(), &path);
    if (!admission.Granted())
        return {false, kRefused};
    std::wstring typed;
    if (ask(&typed) != NameAnswer::kOk)
        return {};
    const std::wstring target = RenamedTreePath(path, typed, archive);
    if (target.empty())
        return {};
    if (!Rename(owner, path, target, 5521))
        return {};
    *newPath = target;
    return {true, 0};
}

Outcome DeletePaneItems(HWND owner, const PaneDelete& request) {
    if (!PaneDeleteAllowed(request.kind, request.recycleBin, request.loadFinished, request.paths.size()))
        return {false, kRefused};
    Admission admission(PaneCode(request.pane), nullptr);
    if (!admission.Granted())
        return {false, kRefused};
    return {Recycle(owner, request.paths), 0};
}

Outcome RenamePaneItem(HWND owner, int pane, const std::wstring& path, const AskNewName& ask,
                       std::wstring* newPath) {
    Admission admission(PathCode(pane), &path);
    if (!admission.Granted())
        return {false, kRefused};
    std::wstring typed;
    if (ask(&typed) != NameAnswer::kOk)
        return {};
    const std::wstring name = RenamedFileName(paths::LastComponent(path), typed);
    if (name.empty())
        return {};
    const std::wstring target = paths::Join(paths::Parent(path), name);
    if (!Rename(owner, path, target, 5030))
        return {};
    *newPath = target;
    return {true, 0};
}

} // namespace fileops
