#include "fileops/comment_edit_win.h"

#include <algorithm>
#include <vector>

#include "app/language_win.h"
#include "common/path.h"
#include "common/platform.h"
#include "fileops/shell_ops_win.h"
#include "image/jpeg.h"
#include "image/png.h"

namespace fileops {

namespace {

constexpr UINT kNotReplaced = 50003;

// A file name the folder does not have yet, made by the system (prefix "tmp") and left empty.
std::wstring NewFileBeside(const std::wstring& folder) {
    wchar_t name[MAX_PATH] = {};
    if (!GetTempFileNameW(folder.c_str(), L"tmp", 0, name))
        return std::wstring();
    return name;
}

// The original's last link to its old contents after the swap; removed from the folder (to the recycle
// bin) when the swap has succeeded.
bool RecycleSilently(HWND owner, const std::wstring& path) {
    ShellOperation op;
    op.operation = FO_DELETE;
    op.sources = {path};
    op.flags = kReplaceDeleteFlags;
    return RunShellOperation(owner, op);
}

} // namespace

int CComEditJ::WriteComment(const std::wstring& source, const std::wstring& dest, const std::wstring& comment,
                            image::CommentChange* change) {
    image::JpegContext ctx;
    return image::WriteJpegComment(ctx, source, dest, platform::WideToAnsi(comment), change);
}

bool CComEditJ::ReadComment(const std::wstring& path, std::wstring* comment) {
    image::JpegContext ctx;
    comment->clear();
    return image::ReadJpegComment(ctx, path, comment);
}

int CComEditP::WriteComment(const std::wstring& source, const std::wstring& dest, const std::wstring& comment,
                            image::CommentChange* change) {
    image::PngContext ctx;
    return image::WritePngComment(ctx, source, dest, comment, change);
}

bool CComEditP::ReadComment(const std::wstring& path, std::wstring* comment) {
    image::PngContext ctx;
    comment->clear();
    return image::ReadPngComment(ctx, path, comment);
}

std::unique_ptr<CComEdit> CommentEditorFor(int format) {
    switch (static_cast<image::ImageFormat>(format)) {
    case image::ImageFormat::Jpeg: return std::make_unique<CComEditJ>();
    case image::ImageFormat::Png: return std::make_unique<CComEditP>();
    default: return nullptr;
    }
}

bool CommentFits(const std::wstring& comment) {
    const std::string bytes = platform::WideToAnsi(comment);
    return static_cast<size_t>(bytes.size() - static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\r'))) <=
           kMaxCommentBytes;
}

CommentOutcome ReplaceComment(HWND owner, CComEdit& editor, const std::wstring& path, const std::wstring& comment) {
    CommentOutcome out;
    out.written = -1;
    out.error = kNotReplaced;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (!CommentFits(comment) || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
        return out;
    const std::wstring folder = paths::Parent(path);
    const std::wstring edited = NewFileBeside(folder);
    if (edited.empty())
        return out;
    image::CommentChange change;
    const int written = editor.WriteComment(path, edited, comment, &change);
    if (written <= 0) {
        DeleteFileW(edited.c_str());
        if (written == 0)
            out = CommentOutcome{};
        return out;
    }
    // The backup name is taken by the system and freed again at once: ReplaceFileW wants a name that
    // no file holds.
    const std::wstring backup = NewFileBeside(folder);
    if (backup.empty() || !DeleteFileW(backup.c_str())) {
        DeleteFileW(edited.c_str());
        return out;
    }
    if (!ReplaceFileW(path.c_str(), edited.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                      nullptr)) {
        // This failure leaves the original under the backup name: it goes back.
        if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 && !platform::PathExists(path))
            MoveFileExW(backup.c_str(), path.c_str(), 0);
        DeleteFileW(edited.c_str());
        return out;
    }
    if (platform::PathExists(backup))
        RecycleSilently(owner, backup);
    out.written = 1;
    out.error = 0;
    out.sizeDelta = change.size_delta;
    return out;
}

namespace {

struct CommentDialog {
    CComEdit* editor = nullptr;
    std::wstring path;
    std::wstring comment;
    CommentOutcome outcome;
};

std::wstring EditText(HWND dlg) {
    HWND edit = GetDlgItem(dlg, kCommentEdit);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(edit, &text[0], static_cast<int>(text.size()))));
    return text;
}

void OnOk(HWND dlg, CommentDialog& d) {
    const std::wstring text = EditText(dlg);
    // Too long: nothing is written and the text stays, to be shortened.
    if (!CommentFits(text)) {
        lang::ShowError(dlg, kNotReplaced);
        return;
    }
    d.outcome = ReplaceComment(dlg, *d.editor, d.path, text);
    if (d.outcome.error)
        lang::ShowError(dlg, d.outcome.error);
    EndDialog(dlg, d.outcome.written == 1 ? IDOK : IDCANCEL);
}

INT_PTR CALLBACK CommentProc(HWND dlg, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dlg, DWLP_USER, lp);
        auto* d = reinterpret_cast<CommentDialog*>(lp);
        SetDlgItemTextW(dlg, kCommentEdit, d->comment.c_str());
        return TRUE;
    }
    auto* d = reinterpret_cast<CommentDialog*>(GetWindowLongPtrW(dlg, DWLP_USER));
    if (!d || message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wp)) {
    case kCommentOk: OnOk(dlg, *d); return TRUE;
    case IDCANCEL: EndDialog(dlg, IDCANCEL); return TRUE;
    }
    return FALSE;
}

} // namespace

bool EditComment(HWND owner, const std::wstring& path, int format, int64_t* sizeDelta) {
    std::unique_ptr<CComEdit> editor = CommentEditorFor(format);
    if (!editor || !platform::FileExists(path))
        return false;
    CommentDialog d;
    d.editor = editor.get();
    d.path = path;
    if (!editor->ReadComment(path, &d.comment))
        return false;
    if (lang::DialogBoxFromModule(kCommentDialog, owner, CommentProc, reinterpret_cast<LPARAM>(&d)) != IDOK)
        return false;
    *sizeDelta = d.outcome.sizeDelta;
    return true;
}

} // namespace fileops
