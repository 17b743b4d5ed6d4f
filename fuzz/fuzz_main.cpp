// Plain driver for fuzz targets where libFuzzer is unavailable (the Windows build): feeds every file of
// the folders or files named on the command line to LLVMFuzzerTestOneInput once. Exit code: 0, or 1
// when an input could not be read, or a folder or file named is missing or holds nothing: a replay of
// an absent corpus must not pass for one that ran.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool RunFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int failures = 0, inputs = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        std::filesystem::path arg(argv[i]);
        int found = 0;
        if (std::filesystem::is_directory(arg, ec)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg, ec)) {
                if (!entry.is_regular_file())
                    continue;
                ++found;
                failures += RunFile(entry.path()) ? 0 : 1;
            }
        } else if (std::filesystem::exists(arg, ec)) {
            ++found;
            failures += RunFile(arg) ? 0 : 1;
        }
        if (found == 0) {
            std::printf("no inputs in %s\n", argv[i]);
            ++failures;
        }
        inputs += found;
    }
    // An empty input always runs, so the target's setup is exercised even without a corpus.
    LLVMFuzzerTestOneInput(nullptr, 0);
    std::printf("replayed %d inputs, %d failures\n", inputs, failures);
    return failures ? 1 : 0;
}
