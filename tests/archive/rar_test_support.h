// Helpers shared by the RAR reader tests of both readers.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "common/path.h"
#include "common/platform.h"
#include "tests/fixtures/rar_writer.h"

namespace rartest {

inline std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return data;
}

inline fixtures::RarMember File(const std::wstring& name, std::vector<uint8_t> data) {
    fixtures::RarMember m;
    m.name = name;
    m.data = std::move(data);
    return m;
}

// Three photographs' worth of members, the second split over two volumes when 1500 bytes go in each.
inline std::vector<fixtures::RarMember> PhotoMembers() {
    return {File(L"photos\\a.jpg", Pattern(1000, 1)), File(L"photos\\b.jpg", Pattern(3000, 2)),
            File(L"photos\\c.jpg", Pattern(400, 3))};
}

// Every file below `root`, relative, "\" between folders.
inline void Walk(const std::wstring& root, const std::wstring& rel, std::set<std::wstring>* out) {
    platform::ListFolder(paths::Join(root, rel), L"*", [&](const platform::FolderEntry& e) {
        const std::wstring path = rel.empty() ? e.name : rel + L"\\" + e.name;
        if (e.attributes & platform::attr::kDirectory)
            Walk(root, path, out);
        else
            out->insert(path);
        return true;
    });
}

} // namespace rartest
