// quorle-tool zip-create FOLDER DESTINATION [--deflate]
//     Packs FOLDER with its sub-folders into a new ZIP as the program's pack commands do: entries
//     stored, or deflated with --deflate. DESTINATION gets the extension ".zip" and, when taken, a
//     free "+N" name. Prints the path written; exit code 0, or 1 with the reason on failure.
#include <cstdio>
#include <string>
#include <vector>

#include "archive/job_progress.h"
#include "archive/zip_writer.h"
#include "common/platform.h"

int ZipCreate(const std::vector<std::wstring>& args) {
    std::vector<std::wstring> paths;
    archive::ZipMethod method = archive::ZipMethod::Stored;
    for (const std::wstring& arg : args) {
        if (arg == L"--deflate")
            method = archive::ZipMethod::Deflated;
        else
            paths.push_back(arg);
    }
    if (paths.size() != 2) {
        std::fprintf(stderr, "zip-create: expected FOLDER and DESTINATION\n");
        return 1;
    }
    archive::SilentProgress progress;
    archive::PackFailure failure = archive::PackFailure::None;
    std::wstring written;
    if (!archive::PackFolderToZip(paths[0], paths[1], method, progress, &written, &failure)) {
        std::fprintf(stderr, "zip-create: %s\n", archive::PackFailureText(failure));
        return 1;
    }
    std::printf("%s\n", platform::WideToUtf8(written).c_str());
    return 0;
}
