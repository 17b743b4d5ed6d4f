#include "fileops/archive_jobs_win.h"

#include "app/broker.h"
#include "app/commands.h"
#include "app/language_win.h"
#include "app/messages.h"
#include "app/program_state_win.h"
#include "app/shortcut_table.h"
#include "archive/extract.h"
#include "archive/plugin_archives.h"
#include "archive/rar_access.h"
#include "archive/zip_writer.h"
#include "common/path.h"
#include "fileops/folder_chooser_win.h"
#include "fileops/progress_window_win.h"

namespace fileops {

namespace {

constexpr UINT kChooseTargetText = 20800;
constexpr UINT kCancelText = 20801;

HWND Broker() { return app::TheProgram().routing.broker.load(); }

// A menu caption as a window title: without its "&" marks.
std::wstring TitleOf(UINT id) { return shortcuts::StripMnemonics(lang::Text(id)); }

// The worker threads' bodies. The window lives and dies on the worker's thread.
uint32_t RunExtract(broker::FileOpJob& job) {
    ProgressWindow progress(job.title, job.cancelText, &job.progressWindow);
    std::wstring created;
    if (job.kind == location::kPluginArchive)
        return archive::ExtractWithPlugins(job.firstFolder, job.secondFolder, progress, &created) ? 1 : 0;
    if (job.kind == location::kRarArchive)
        return archive::ExtractRar(job.firstFolder, job.secondFolder, progress,
                                   reinterpret_cast<intptr_t>(progress.Window()), &created) ? 1 : 0;
    if (job.kind != location::kZipArchive)
        return 0;
    return archive::ExtractZipToFolder(job.firstFolder, job.secondFolder, progress, &created) ? 1 : 0;
}

// The second try after a ZIP or RAR extraction failed: the archive plug-ins may read what the
// built-in readers could not.
uint32_t RunPluginExtract(broker::FileOpJob& job) {
    ProgressWindow progress(job.title, job.cancelText, &job.progressWindow);
    std::wstring created;
    return archive::ExtractWithPlugins(job.firstFolder, job.secondFolder, progress, &created) ? 1 : 0;
}

uint32_t RunPack(broker::FileOpJob& job) {
    ProgressWindow progress(job.title, job.cancelText, &job.progressWindow);
    const archive::ZipMethod method =
        job.operation == broker::kOpPackDeflate ? archive::ZipMethod::Deflated : archive::ZipMethod::Stored;
    const std::wstring destination = archive::ZipDestination(job.secondFolder, job.firstFolder);
    std::wstring written;
    return archive::PackFolderToZip(job.firstFolder, destination, method, progress, &written) ? 1 : 0;
}

// The destination folder, asked for while no other job runs. The job record is asked for only
// afterwards: the chooser is modal, and a record held across it could be discarded meanwhile (the
// program closing), leaving the pointer dangling.
bool ChooseTarget(HWND owner, const std::wstring& startFolder, std::wstring* target) {
    return ArchiveJobPossible() && ChooseFolder(owner, lang::Text(kChooseTargetText), startFolder, target);
}

// The job record, or null while another job exists.
broker::FileOpJob* NewJob() {
    HWND broker = Broker();
    return broker ? reinterpret_cast<broker::FileOpJob*>(SendMessageW(broker, msg::kBrokerFileOp, 1, 0)) : nullptr;
}

// Hands the filled record to the broker, which starts its worker or reports why it could not.
void Start() { SendMessageW(Broker(), msg::kBrokerFileOp, 0, 0); }

} // namespace

bool ArchiveJobPossible() {
    HWND broker = Broker();
    return broker && SendMessageW(broker, msg::kBrokerFileOp, msg::kFileOpQueryOnly, 0) == 1;
}

void ExtractArchiveToFolder(HWND owner, location::LocationKind kind, const std::wstring& archivePath) {
    std::wstring target;
    if (!location::IsArchiveKind(kind) || archivePath.empty() ||
        !ChooseTarget(owner, paths::ParentFolder(archivePath), &target))
        return;
    broker::FileOpJob* job = NewJob();
    if (!job)
        return;
    job->firstFolder = archivePath;
    job->secondFolder = target;
    job->operation = broker::kOpExtract;
    job->kind = kind;
    job->title = TitleOf(cmd::kExtractArchive);
    job->cancelText = lang::Text(kCancelText);
    job->run = RunExtract;
    if (kind != location::kPluginArchive)
        job->retry = RunPluginExtract;
    Start();
}

void PackFolderToZip(HWND owner, const std::wstring& folder, bool deflate) {
    std::wstring target;
    if (folder.empty() || !ChooseTarget(owner, paths::ParentFolder(folder), &target))
        return;
    broker::FileOpJob* job = NewJob();
    if (!job)
        return;
    job->firstFolder = folder;
    job->secondFolder = target;
    job->operation = deflate ? broker::kOpPackDeflate : broker::kOpPackStored;
    job->title = TitleOf(deflate ? cmd::kZipDeflated : cmd::kZipStored);
    job->cancelText = lang::Text(kCancelText);
    job->run = RunPack;
    Start();
}

} // namespace fileops
