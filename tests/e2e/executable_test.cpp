// Quorle.exe must be a self-contained 64-bit GUI program: PE32+, x86-64, GUI subsystem, and no
// MinGW runtime DLL among its imports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "tests/fixtures/byte_writer.h"
#include "tests/harness/win_harness.h"

namespace {

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | b.at(at + i);
    return v;
}

struct PeFacts {
    uint16_t machine = 0;
    uint16_t magic = 0;
    uint16_t subsystem = 0;
    std::vector<std::string> imports;
};

PeFacts ReadPe(const std::vector<uint8_t>& f) {
    PeFacts pe;
    const size_t nt = Le(f, 0x3C, 4);
    EXPECT_EQ(Le(f, nt, 4), 0x00004550u) << "PE signature";
    pe.machine = static_cast<uint16_t>(Le(f, nt + 4, 2));
    const size_t sections = Le(f, nt + 6, 2);
    const size_t optSize = Le(f, nt + 20, 2);
    const size_t opt = nt + 24;
    pe.magic = static_cast<uint16_t>(Le(f, opt, 2));
    pe.subsystem = static_cast<uint16_t>(Le(f, opt + 68, 2));
    const uint32_t importRva = Le(f, opt + 112 + 8, 4); // data directory 1 (PE32+ layout)
    auto toOffset = [&](uint32_t rva) -> size_t {
        for (size_t s = 0; s < sections; ++s) {
            size_t sh = opt + optSize + 40 * s;
            uint32_t va = Le(f, sh + 12, 4), vsize = Le(f, sh + 8, 4), raw = Le(f, sh + 20, 4);
            if (rva >= va && rva < va + vsize)
                return raw + (rva - va);
        }
        return 0;
    };
    for (size_t d = toOffset(importRva); d && Le(f, d + 12, 4); d += 20) {
        size_t name = toOffset(Le(f, d + 12, 4));
        std::string dll;
        while (name && f.at(name))
            dll.push_back(static_cast<char>(std::tolower(f.at(name++))));
        pe.imports.push_back(dll);
    }
    return pe;
}

TEST(Executable, IsA64BitGuiProgramWithoutRuntimeDlls) {
    std::vector<uint8_t> file = fixtures::ReadWholeFile(harness::OutputFolder() + L"\\Quorle.exe");
    ASSERT_GT(file.size(), 1024u);
    PeFacts pe = ReadPe(file);
    EXPECT_EQ(pe.machine, 0x8664) << "x86-64";
    EXPECT_EQ(pe.magic, 0x20B) << "PE32+";
    EXPECT_EQ(pe.subsystem, 2) << "Windows GUI subsystem";
    ASSERT_FALSE(pe.imports.empty());
    for (const std::string& dll : pe.imports) {
        EXPECT_EQ(dll.find("libstdc++"), std::string::npos) << dll;
        EXPECT_EQ(dll.find("libgcc"), std::string::npos) << dll;
        EXPECT_EQ(dll.find("libwinpthread"), std::string::npos) << dll;
        EXPECT_EQ(dll.find("zlib"), std::string::npos) << dll;
        EXPECT_EQ(dll.find("jpeg"), std::string::npos) << dll;
    }
    EXPECT_NE(std::find(pe.imports.begin(), pe.imports.end(), "user32.dll"), pe.imports.end());
}

} // namespace
