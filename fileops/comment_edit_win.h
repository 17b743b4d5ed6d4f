// Editing the comment stored in a JPEG (COM segment) or a PNG ("Comment" tEXt chunk): the comment
// dialog (template 2000) and the safe replacement of the file with its edited copy.
//
// The edited copy is written beside the original (same folder, so the swap is one rename on one
// volume), takes the original's place in one step (ReplaceFileW, which keeps the old version under a
// backup name), and only then does the old version go to the recycle bin. There is no moment without
// a file at the path, and a failure at any step leaves the original as it was.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "image/decoded_image.h"

namespace fileops {

constexpr UINT kCommentDialog = 2000;
constexpr int kCommentEdit = 2010;
constexpr int kCommentOk = 2020;
// The most comment bytes the writers store (in the ANSI code page, CR bytes dropped).
constexpr size_t kMaxCommentBytes = 4095;

// A comment editor of one picture format. Slot order: write, then read.
class CComEdit {
  public:
    virtual ~CComEdit() = default;
    // Writes `source` to `dest` (another file) with its comment replaced by `comment` (empty removes
    // it): 1 written, 0 nothing to do, -1 failed.
    virtual int WriteComment(const std::wstring& source, const std::wstring& dest, const std::wstring& comment,
                             image::CommentChange* change) = 0;
    // The file's comment (empty when it has none); false when the file cannot be read.
    virtual bool ReadComment(const std::wstring& path, std::wstring* comment) = 0;
};

class CComEditJ : public CComEdit {
  public:
    int WriteComment(const std::wstring& source, const std::wstring& dest, const std::wstring& comment,
                     image::CommentChange* change) override;
    bool ReadComment(const std::wstring& path, std::wstring* comment) override;
};

class CComEditP : public CComEdit {
  public:
    int WriteComment(const std::wstring& source, const std::wstring& dest, const std::wstring& comment,
                     image::CommentChange* change) override;
    bool ReadComment(const std::wstring& path, std::wstring* comment) override;
};

// The editor of a picture format (image::ImageFormat): JPEG and PNG have one, others null.
std::unique_ptr<CComEdit> CommentEditorFor(int format);

// Whether the writers can store `comment` whole: a longer one would be cut silently.
bool CommentFits(const std::wstring& comment);

struct CommentOutcome {
    int written = 0;        // 1 the file was replaced, 0 nothing to do, -1 failed
    UINT error = 0;         // 50003 when the edit could not be put in place
    int64_t sizeDelta = 0;  // new size minus old size
};

// Puts the file at `path` with `comment` in place of the original, as described above. A comment too
// long to store, a read-only, locked or missing file: 50003 and the file stays as it was.
CommentOutcome ReplaceComment(HWND owner, CComEdit& editor, const std::wstring& path, const std::wstring& comment);

// The comment dialog for the JPEG or PNG at `path`. True when the file was replaced; `sizeDelta` gets
// the change of its size. Errors are shown here.
bool EditComment(HWND owner, const std::wstring& path, int format, int64_t* sizeDelta);

} // namespace fileops
